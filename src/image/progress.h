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

// One of several equal passes over a stage's work (a float input read
// twice), reporting to the whole stage's progress as its share of it.
struct PassProgress {
  Progress progress;  // what the pass reports to
  const Progress* whole = nullptr;
  int64_t pass = 0;
  int64_t passes = 1;
};

// Makes pass->progress report pass index of passes to whole.
inline void startPass(PassProgress* pass, const Progress* whole, int64_t index,
                      int64_t passes) {
  pass->whole = whole;
  pass->pass = index;
  pass->passes = passes;
  pass->progress.context = pass;
  pass->progress.update = [](void* context, int64_t done, int64_t total) {
    const PassProgress* at = static_cast<const PassProgress*>(context);
    reportProgress(at->whole, total * at->pass + done, total * at->passes);
  };
}

#endif  // QUILLORN_IMAGE_PROGRESS_H_
