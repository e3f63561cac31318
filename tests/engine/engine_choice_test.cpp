// When the engine composites on the GPU, and how long a hidden page keeps
// its process: both read from the machine and the environment, so wrong
// answers cost a second per start or a page that never comes back.
#include <gtest/gtest.h>

#include "engine_loader.h"

namespace gtkplat {
namespace {

RenderFacts Gpu() {
  RenderFacts f;
  f.renderNode = true;
  return f;
}

TEST(Acceleration, SoftwareOnlyMachinesNeverComposite) {
  RenderFacts noNode;  // no render node at all: Mesa's llvmpipe or nothing
  EXPECT_EQ(ChooseAcceleration(noNode), Acceleration::kNever);

  RenderFacts forced = Gpu();
  forced.softwareForced = true;
  EXPECT_EQ(ChooseAcceleration(forced), Acceleration::kNever);

  // A virtual X server (Xvfb, Xvnc) offers no direct rendering even where
  // the machine has a GPU.
  RenderFacts virtualX = Gpu();
  virtualX.x11 = true;
  EXPECT_EQ(ChooseAcceleration(virtualX), Acceleration::kNever);
}

TEST(Acceleration, AGpuWithDirectRenderingIsLeftToTheEngine) {
  RenderFacts x = Gpu();
  x.x11 = true;
  x.x11Direct = true;
  EXPECT_EQ(ChooseAcceleration(x), Acceleration::kEngineDefault);
  // Wayland: no X server to ask; the render node decides.
  EXPECT_EQ(ChooseAcceleration(Gpu()), Acceleration::kEngineDefault);
}

TEST(Acceleration, TheUsersChoiceWinsEitherWay) {
  RenderFacts noNode;
  noNode.override = "engine";
  EXPECT_EQ(ChooseAcceleration(noNode), Acceleration::kEngineDefault);
  RenderFacts gpu = Gpu();
  gpu.x11 = gpu.x11Direct = true;
  gpu.override = "never";
  EXPECT_EQ(ChooseAcceleration(gpu), Acceleration::kNever);
  // Anything else is no choice: the machine decides.
  gpu.override = "NEVER ";
  EXPECT_EQ(ChooseAcceleration(gpu), Acceleration::kEngineDefault);
}

TEST(ReleaseHiddenAfter, WholeSecondsUpToADay) {
  EXPECT_EQ(ReleaseHiddenAfterMs("0", 20000), 0u);
  EXPECT_EQ(ReleaseHiddenAfterMs("3", 20000), 3000u);
  EXPECT_EQ(ReleaseHiddenAfterMs("86400", 20000), 86400000u);
}

TEST(ReleaseHiddenAfter, AnythingElseKeepsTheDefault) {
  for (const char* bad :
       {"", "-1", "1.5", " 3", "3s", "86401", "99999", "4294967296", "0x10", "\xe4\xb8\x80"}) {
    EXPECT_EQ(ReleaseHiddenAfterMs(bad, 20000), 20000u) << bad;
  }
  EXPECT_EQ(ReleaseHiddenAfterMs(nullptr, 20000), 20000u);
}

}  // namespace
}  // namespace gtkplat

// The loader, with no engine module beside the test: requests wait for the
// frame, a cancelled one is never called, and a module that cannot be
// loaded reaches the others as "no engine" rather than as a crash.
namespace gtkplat {
namespace {

bool RunUntil(const bool& done) {
  const gint64 deadline = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
  while (!done && g_get_monotonic_time() < deadline) g_main_context_iteration(nullptr, FALSE);
  return done;
}

TEST(EngineLoader, RequestsWaitForTheFrameAndSurviveAMissingModule) {
  int calls = 0, cancelledCalls = 0;
  bool delivered = false;
  KivoCreateWebEngine got = reinterpret_cast<KivoCreateWebEngine>(1);
  RequestEngine([&](KivoCreateWebEngine create) {
    ++calls;
    got = create;
    delivered = true;
  });
  const unsigned cancelled = RequestEngine([&](KivoCreateWebEngine) { ++cancelledCalls; });
  CancelEngineRequest(cancelled);
  CancelEngineRequest(cancelled);  // twice: nothing
  CancelEngineRequest(12345);      // never given: nothing
  ScheduleEngineLoad();
  // Nothing is loaded before the frame: the short wait here would see it.
  for (int i = 0; i < 50; ++i) g_main_context_iteration(nullptr, FALSE);
  EXPECT_EQ(calls, 0);
  NoteFramePainted();
  ASSERT_TRUE(RunUntil(delivered));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(got, nullptr);
  EXPECT_EQ(cancelledCalls, 0);

  // Asked again after the load: answered at once, on the loop.
  bool again = false;
  RequestEngine([&](KivoCreateWebEngine create) { again = create == nullptr; });
  ASSERT_TRUE(RunUntil(again));
  FinishEngineLoad();
}

}  // namespace
}  // namespace gtkplat
