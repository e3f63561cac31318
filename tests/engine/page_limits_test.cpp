// What a page may cost: dialogs at once, at a trickle, then not at all;
// a page whose process ends reloaded once, and stopped when it ends again
// soon. Wrong answers spin a core for ever or reload a crashing page in a
// loop.
#include "page_limits.h"

#include <gtest/gtest.h>

namespace gtkplat {
namespace {

using Answer = DialogLimit::Answer;

// Asks `n` dialogs `stepMs` apart from `startMs`; the answers counted.
struct Tally {
  int now = 0, later = 0, never = 0;
};
Tally Ask(DialogLimit& limit, int n, std::int64_t startMs, std::int64_t stepMs) {
  Tally t;
  for (int i = 0; i < n; ++i) {
    switch (limit.Next(startMs + i * stepMs)) {
      case Answer::kNow: ++t.now; break;
      case Answer::kLater: ++t.later; break;
      case Answer::kNever: ++t.never; break;
    }
  }
  return t;
}

TEST(DialogLimit, ALoopGetsAFewAtOnceThenATrickleThenNothing) {
  DialogLimit limit;
  // An answered-at-once loop asks again in the same millisecond.
  const Tally t = Ask(limit, DialogLimit::kAtOnce, 1000, 0);
  EXPECT_EQ(t.now, DialogLimit::kAtOnce);
  // The rest wait their trickle each; the loop asks again as each is answered.
  const Tally rest = Ask(limit, DialogLimit::kTrickled + 3, 1000, DialogLimit::kTrickleMs);
  EXPECT_EQ(rest.now, 0);
  EXPECT_EQ(rest.later, DialogLimit::kTrickled);
  EXPECT_EQ(rest.never, 3);
  // Silenced for good: even after a long pause.
  EXPECT_EQ(limit.Next(1000 + 3'600'000), Answer::kNever);
}

TEST(DialogLimit, APageThatAsksNowAndThenIsAlwaysAnsweredAtOnce) {
  DialogLimit limit;
  const Tally t = Ask(limit, 500, 0, DialogLimit::kPauseMs);
  EXPECT_EQ(t.now, 500);
  // Rows of a few, each after a pause, never add up to a loop.
  DialogLimit rows;
  for (int row = 0; row < 50; ++row) {
    EXPECT_EQ(Ask(rows, DialogLimit::kAtOnce, row * 10'000, 10).now, DialogLimit::kAtOnce) << row;
  }
}

TEST(DialogLimit, FiftyAlertsAndTwoQuestionsAllGetTheirAnswer) {
  // A page that spams but ends: it must get through, however slowly.
  DialogLimit limit;
  std::int64_t t = 0;
  for (int i = 0; i < 52; ++i) {
    const Answer a = limit.Next(t);
    ASSERT_NE(a, Answer::kNever) << i;
    if (a == Answer::kLater) t += DialogLimit::kTrickleMs;
  }
  EXPECT_LE(t, 5 * 1000);
}

TEST(DialogLimit, ANewDocumentStartsAfresh) {
  DialogLimit limit;
  Ask(limit, DialogLimit::kAtOnce + DialogLimit::kTrickled + 1, 0, 1);
  ASSERT_EQ(limit.Next(5000), Answer::kNever);
  limit.NewDocument();
  EXPECT_EQ(Ask(limit, DialogLimit::kAtOnce, 5000, 0).now, DialogLimit::kAtOnce);
  EXPECT_EQ(limit.Next(5000), Answer::kLater);
}

TEST(ProcessEnds, ReloadedOnceThenStoppedWhenItEndsAgainSoon) {
  ProcessEnds ends;
  EXPECT_TRUE(ends.ReloadAfterEnd(10'000));
  EXPECT_FALSE(ends.ReloadAfterEnd(10'000 + ProcessEnds::kSoonMs - 1));
  // Our page in its place may end too: still no reload loop.
  EXPECT_FALSE(ends.ReloadAfterEnd(10'000 + ProcessEnds::kSoonMs + 100));
  // A page that ran a good while before ending is worth a reload again.
  EXPECT_TRUE(ends.ReloadAfterEnd(10'000 + 3 * ProcessEnds::kSoonMs));
}

TEST(ProcessEnds, TheFramesNavigationStartsOver) {
  ProcessEnds ends;
  EXPECT_TRUE(ends.ReloadAfterEnd(0));
  ends.NewNavigation();
  EXPECT_TRUE(ends.ReloadAfterEnd(1));
  EXPECT_FALSE(ends.ReloadAfterEnd(2));
}

}  // namespace
}  // namespace gtkplat
