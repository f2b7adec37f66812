// Progress reports from long stages to whoever draws them.
#ifndef QUILLORN_IMAGE_PROGRESS_H_
#define QUILLORN_IMAGE_PROGRESS_H_

#include <cstdint>

// Where a stage reports how far it got: done of total units (0 <= done <=
// total), as often as it likes; the receiver decides what to show. A null
// Progress* means nobody is listening.
struct Progress {
  void (*update)(void* context, int64_t done, int64_t total) = nullptr;
  void* context = nullptr;
};

inline void reportProgress(const Progress* progress, int64_t done,
                           int64_t total) {
  if (progress != nullptr && progress->update != nullptr) {
    progress->update(progress->context, done, total);
  }
}

#endif  // QUILLORN_IMAGE_PROGRESS_H_
