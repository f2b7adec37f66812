// Every compiler and instruction-set gate of the tool in one place. The fast
// kernels ask these macros, never the compiler or the target directly, so a
// port (another compiler, another processor) changes this file alone.
//
// QUILLORN_PORTABLE_KERNELS (the CMake option of that name) builds the plain
// C++ kernels only: no intrinsics, no multiversioned clones.
#ifndef QUILLORN_PLATFORM_COMPILER_H_
#define QUILLORN_PLATFORM_COMPILER_H_

// Keeps a function out of line (a small hot loop keeps its registers).
#if defined(_MSC_VER)
#define QUILLORN_NOINLINE __declspec(noinline)
#elif defined(__GNUC__)
#define QUILLORN_NOINLINE __attribute__((noinline))
#else
#define QUILLORN_NOINLINE
#endif

// Promises that a pointer's bytes are reached through no other pointer.
#if defined(_MSC_VER) || defined(__GNUC__)
#define QUILLORN_RESTRICT __restrict
#else
#define QUILLORN_RESTRICT
#endif

// Asks for the cache line holding an address, soon to be read (or
// written). A hint only: the address is never read, and need not lie in any
// object.
#if defined(__GNUC__)
#define QUILLORN_PREFETCH_READ(address) __builtin_prefetch((address), 0)
#define QUILLORN_PREFETCH_WRITE(address) __builtin_prefetch((address), 1)
#else
#define QUILLORN_PREFETCH_READ(address) ((void)(address))
#define QUILLORN_PREFETCH_WRITE(address) ((void)(address))
#endif

// x86-64 intrinsics with per-function target attributes and a run-time
// processor check: GCC and clang.
#if !defined(QUILLORN_PORTABLE_KERNELS) && defined(__x86_64__) && \
    defined(__GNUC__)
#define QUILLORN_X86_KERNELS 1
#define QUILLORN_TARGET(isa) __attribute__((target(isa)))
// True when the processor running the tool has SSSE3 (pshufb).
inline bool processorHasSsse3() {
  static const bool has = __builtin_cpu_supports("ssse3");
  return has;
}
// True when the processor running the tool has AVX2 and FMA (Haswell, Zen
// and later).
inline bool processorHasAvx2Fma() {
  static const bool has =
      __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
  return has;
}
#endif

// WebAssembly SIMD (the browser build's -msimd128): every engine that runs
// the module has it, so no run-time check.
#if !defined(QUILLORN_PORTABLE_KERNELS) && defined(__wasm_simd128__)
#define QUILLORN_WASM_KERNELS 1
#endif

// Function multiversioning for the hot loops: on x86-64 Linux GCC builds an
// AVX2 clone beside the baseline (SSE2) one and the loader picks the one the
// processor runs. Elsewhere the plain function is built alone (clang 14 does
// not export clones of functions declared without the attribute, and
// Windows has no loader support for them).
#if defined(QUILLORN_X86_KERNELS) && defined(__linux__) && \
    !defined(__clang__) && defined(__has_attribute)
#if __has_attribute(target_clones)
#define QUILLORN_VECTORIZED __attribute__((target_clones("avx2", "default")))
#endif
#endif
#ifndef QUILLORN_VECTORIZED
#define QUILLORN_VECTORIZED
#endif

#endif  // QUILLORN_PLATFORM_COMPILER_H_
