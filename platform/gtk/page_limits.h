// What the engine module lets a page cost the program: how its script
// dialogs are answered, and what follows when its process ends on its own.
// Decisions only, on a millisecond clock the caller reads; no toolkit, so
// they are tested without a display.
#pragma once

#include <cstdint>

namespace gtkplat {

// Dialogs (alert, confirm, prompt) are answered without UI. A page asks a
// few in a row and gets them at once; one that keeps asking gets its
// answers at a trickle, so its loop idles instead of spinning both
// processes; one still asking after that gets no answer at all, and its
// script stays paused until the page goes.
class DialogLimit {
 public:
  enum class Answer { kNow, kLater, kNever };

  static constexpr int kAtOnce = 5;
  // A pause this long between two dialogs starts a new row.
  static constexpr std::int64_t kPauseMs = 2000;
  // Beyond the row's first few, each dialog waits this long for its answer.
  static constexpr std::int64_t kTrickleMs = 100;
  // Ten seconds of trickle is a loop, not a conversation.
  static constexpr int kTrickled = 100;

  // The next dialog of the shown document, asked at `nowMs`.
  Answer Next(std::int64_t nowMs);
  // A new document: it starts with a clean slate.
  void NewDocument() { *this = DialogLimit(); }

 private:
  int inRow_ = 0;
  int trickled_ = 0;
  std::int64_t lastMs_ = 0;
};

// The page's process ended on its own (crashed, killed, over its memory
// limit). The first time the page is loaded again; ending again soon after
// is a page that cannot be shown, and the program says so instead of
// loading it round and round. A navigation the frame asks for starts over.
class ProcessEnds {
 public:
  static constexpr std::int64_t kSoonMs = 8000;

  // True: reload the page; false: show that it stopped.
  bool ReloadAfterEnd(std::int64_t nowMs);
  void NewNavigation() { ended_ = false; }

 private:
  bool ended_ = false;
  std::int64_t lastMs_ = 0;
};

}  // namespace gtkplat
