// Function multiversioning for the hot loops: on x86-64 Linux GCC builds an
// AVX2 clone beside the baseline (SSE2) one and the loader picks the one the
// processor runs. Elsewhere the plain function is built alone (clang 14 does
// not export clones of functions declared without the attribute).
#ifndef QUILLORN_IMAGE_VECTORIZE_H_
#define QUILLORN_IMAGE_VECTORIZE_H_

#if defined(__x86_64__) && defined(__linux__) && defined(__GNUC__) && \
    !defined(__clang__) && defined(__has_attribute) &&                \
    !defined(QUILLORN_NO_MULTIVERSION)
#if __has_attribute(target_clones)
#define QUILLORN_VECTORIZED __attribute__((target_clones("avx2", "default")))
#endif
#endif

#ifndef QUILLORN_VECTORIZED
#define QUILLORN_VECTORIZED
#endif

#endif  // QUILLORN_IMAGE_VECTORIZE_H_
