// Pointer feedback, capture and dragging, driven the way a backend drives
// them: raw pointer events into the form's router, looks read back from the
// buttons' images pixel by pixel.
#include <gtest/gtest.h>

#include <algorithm>

#include "frame/skin.h"
#include "test_support.h"

namespace {

using frame::Cell;
using testing_support::Decode;
using testing_support::Decoded;
using testing_support::Harness;

constexpr forms::Color kWhite = forms::Rgb(255, 255, 255);
constexpr forms::Color kHot = forms::Rgb(18, 18, 54);
constexpr int kL = forms::kLeftButton, kR = forms::kRightButton, kM = forms::kMiddleButton;

// True when every pixel of `button` shows `cell` of its skin.
::testing::AssertionResult Shows(forms::Control& button, const Cell& cell) {
  for (int y = 0; y < cell.h; ++y) {
    for (int x = 0; x < cell.w; ++x) {
      const Decoded want{cell.holder, cell.x + x, cell.y + y};
      const Decoded got = Decode(button.Image()->Pixel(x, y));
      if (got != want) {
        return ::testing::AssertionFailure()
               << button.Name() << "(" << button.Index() << ") pixel " << x << "," << y
               << " shows holder " << got.tag << " at " << got.x << "," << got.y << ", want "
               << want.tag << " at " << want.x << "," << want.y;
      }
    }
  }
  return ::testing::AssertionSuccess();
}

Cell CategoryHover(int k) { return frame::CategoryCell(frame::kCategoryHoverHolder, k); }
Cell CategoryNormal(int k) { return frame::CategoryCell(frame::kCategoryNormalHolder, k); }
Cell CategorySelected(int k) { return frame::CategoryCell(frame::kCategorySelectedHolder, k); }

// Centre of a control in the form's client area.
forms::PointL Centre(const forms::Control& c) {
  const forms::PointL o = c.OriginInForm();
  return {o.x + c.Width() / 2, o.y + c.Height() / 2};
}

struct Pointer : ::testing::Test {
  Harness h{true, true, true};
  frame::BA1& b = *h.ba1;
  fake::FakePlatform& os = h.platform;

  void MoveOver(const forms::Control& c, int held = 0) {
    const auto p = Centre(c);
    os.MoveTo(b, p.x, p.y, held);
  }
  void Click(const forms::Control& c, std::uint32_t gap = 1000) {
    const auto p = Centre(c);
    os.ClickAt(b, p.x, p.y, gap);
  }
  forms::Control* CaptureHolder() { return b.ControlOf(os.GetCapture()); }
  int MoveLoops() {
    auto& log = h.Window().log;
    return static_cast<int>(std::count(log.begin(), log.end(), "move-loop"));
  }
};

TEST_F(Pointer, CaptionAndCategoryButtonsShowTheirHoverLookWhileThePointerIsOverThem) {
  struct Case {
    int index;
    Cell hover, normal;
  };
  const Case cases[] = {{0, frame::kCloseHover, frame::kCloseNormal},
                        {1, frame::kMinimizeHover, frame::kMinimizeNormal},
                        {3, CategoryHover(3), CategoryNormal(3)},
                        {13, CategoryHover(13), CategoryNormal(13)}};
  for (const auto& c : cases) {
    forms::Control& button = *b.npc[c.index];
    const std::string name = fake::NameOf(&button);
    auto mark = os.Mark();
    MoveOver(button);
    EXPECT_TRUE(Shows(button, c.hover));
    EXPECT_EQ(CaptureHolder(), &button);
    // Drawn, then shown on screen, then captured.
    const std::vector<std::string> over = {"blt " + name, "refresh " + name, "capture " + name};
    EXPECT_EQ(os.Events({"blt", "refresh", "capture", "release"}, mark), over);
    // Captured, it hears the move that takes the pointer far outside.
    mark = os.Mark();
    os.MoveTo(b, 400, 400);
    EXPECT_TRUE(Shows(button, c.normal));
    EXPECT_EQ(os.GetCapture(), nullptr);
    const std::vector<std::string> out = {"blt " + name, "refresh " + name, "release"};
    EXPECT_EQ(os.Events({"blt", "refresh", "capture", "release"}, mark), out);
  }
}

TEST_F(Pointer, TheSelectedCategoryKeepsItsLookAndTakesNoCapture) {
  MoveOver(*b.npc[2]);
  EXPECT_TRUE(Shows(*b.npc[2], CategorySelected(2)));
  EXPECT_EQ(os.GetCapture(), nullptr);
  // Neither does it through its handler with a pointer outside it.
  b.npc_MouseMove(2, 0, 0, 500, 500);
  EXPECT_TRUE(Shows(*b.npc[2], CategorySelected(2)));
}

TEST_F(Pointer, SearchButtonHoverPressAndRelease) {
  MoveOver(*b.sok);
  EXPECT_TRUE(Shows(*b.sok, frame::kSearchHover));
  const auto p = Centre(*b.sok);
  os.Press(b, p.x, p.y, kL);
  EXPECT_TRUE(Shows(*b.sok, frame::kSearchPressed));
  // Moving over it while pressing replaces the pressed look with the hover one.
  os.MoveTo(b, p.x + 1, p.y, kL);
  EXPECT_TRUE(Shows(*b.sok, frame::kSearchHover));
  const auto navigations = h.Window().navigations.size();
  os.Release(b, p.x + 1, p.y, kL);
  // Normal although the pointer is still over it, until the next move.
  EXPECT_TRUE(Shows(*b.sok, frame::kSearchNormal));
  EXPECT_EQ(h.Window().navigations.size(), navigations + 1);  // the Click searched
  os.MoveTo(b, p.x, p.y);
  EXPECT_TRUE(Shows(*b.sok, frame::kSearchHover));
}

TEST_F(Pointer, SearchButtonChangesNothingForOtherButtonMasks) {
  for (int mask : {kR, kM, kL | kR, kL | kM}) {
    b.sok_MouseMove(0, 0, 5, 5);
    ASSERT_TRUE(Shows(*b.sok, frame::kSearchHover));
    b.sok_MouseDown(mask, 0, 5, 5);
    EXPECT_TRUE(Shows(*b.sok, frame::kSearchHover)) << "down " << mask;
    b.sok_MouseDown(kL, 0, 5, 5);
    b.sok_MouseUp(mask, 0, 5, 5);
    EXPECT_TRUE(Shows(*b.sok, frame::kSearchPressed)) << "up " << mask;
    b.sok_MouseUp(kL, 0, 5, 5);
  }
  // A right click through the router neither presses nor searches.
  const auto navigations = h.Window().navigations.size();
  const auto p = Centre(*b.sok);
  os.Press(b, p.x, p.y, kR);
  EXPECT_FALSE(Shows(*b.sok, frame::kSearchPressed));
  os.Release(b, p.x, p.y, kR);
  EXPECT_EQ(h.Window().navigations.size(), navigations);
}

TEST_F(Pointer, InsideTestCountsBothUpperBoundsInside) {
  struct Case {
    int x, y;
    bool inside;
  };
  const Case cases[] = {{0, 0, true},   {130, 39, true}, {131, 0, false}, {0, 40, false},
                        {-1, 5, false}, {5, -1, false},  {130, 0, true},  {0, 39, true}};
  for (const auto& c : cases) {
    b.npc_MouseMove(4, 0, 0, c.x, c.y);
    EXPECT_TRUE(Shows(*b.npc[4], c.inside ? CategoryHover(4) : CategoryNormal(4)))
        << c.x << "," << c.y;
    EXPECT_EQ(os.GetCapture() != nullptr, c.inside) << c.x << "," << c.y;
  }
  const Case sok[] = {{72, 28, true}, {73, 28, false}, {72, 29, false}};
  for (const auto& c : sok) {
    b.sok_MouseMove(0, 0, c.x, c.y);
    EXPECT_TRUE(Shows(*b.sok, c.inside ? frame::kSearchHover : frame::kSearchNormal));
  }
}

TEST_F(Pointer, OnlyOneButtonShowsItsHoverLookAtATime) {
  // Down the column: the captured button sees the pointer leave (its row
  // 39 is the next button's row 0, still inside by the inclusive test).
  for (int y = 85; y < 85 + 12 * 39; y += 7) {
    os.MoveTo(b, 60, y);
    int hovering = 0;
    for (int k = 3; k <= 13; ++k) hovering += Shows(*b.npc[k], CategoryHover(k)) ? 1 : 0;
    EXPECT_LE(hovering, 1) << "y " << y;
  }
  // The capture only ever moves through the handlers: released, then taken.
  auto& log = os.pointerLog;
  for (std::size_t i = 1; i < log.size(); ++i) {
    if (log[i].rfind("capture", 0) == 0) {
      EXPECT_EQ(log[i - 1], "release") << i << ": " << log[i];
    }
  }
}

TEST_F(Pointer, LinkLabelsTurnDarkAndBackThroughEveryResetPath) {
  using Reset = void (*)(Pointer&);
  const std::pair<const char*, Reset> resets[] = {
      {"surface", [](Pointer& t) { t.os.MoveTo(t.b, 250, 20); }},
      {"category", [](Pointer& t) { t.MoveOver(*t.b.npc[6]); }},
      {"caption", [](Pointer& t) { t.MoveOver(*t.b.npc[0]); }},
      {"search", [](Pointer& t) { t.MoveOver(*t.b.sok); }},
      {"status label click", [](Pointer& t) { t.b.la_Click(2); }},
  };
  for (const auto& [name, reset] : resets) {
    for (int i : {0, 1}) {
      os.MoveTo(b, 250, 20);  // off any captured button first
      // Redrawn for the new colour, not again while it stays.
      auto mark = os.Mark();
      MoveOver(*b.la[i]);
      EXPECT_GE(os.Count("refresh " + fake::NameOf(b.la[i]), mark), 1) << name;
      mark = os.Mark();
      MoveOver(*b.la[i]);
      EXPECT_EQ(os.Count("refresh " + fake::NameOf(b.la[i]), mark), 0) << name;
      EXPECT_EQ(forms::Resolve(os, b.la[i]->ForeColor()), kHot) << name;
      EXPECT_EQ(forms::Resolve(os, b.la[1 - i]->ForeColor()), kWhite) << name;
      EXPECT_TRUE(b.labelHot);
      reset(*this);
      EXPECT_EQ(forms::Resolve(os, b.la[i]->ForeColor()), kWhite) << name;
      EXPECT_FALSE(b.labelHot) << name;
    }
  }
  // Straight onto the logo or the search field: still dark.
  MoveOver(*b.la[0]);
  MoveOver(*b.logo);
  MoveOver(*b.sotext);
  EXPECT_EQ(forms::Resolve(os, b.la[0]->ForeColor()), kHot);
  // The status label never changes.
  MoveOver(*b.la[2]);
  b.la_MouseMove(2, 0, 0, 1, 1);
  EXPECT_EQ(b.la[2]->ForeColor(), forms::ColorSetting::Fixed(forms::Rgb(0, 0, 0)));
}

TEST_F(Pointer, LabelsShowTheHandPointerSecondOneFromItsFirstMove) {
  ASSERT_NE(b.la[0]->MouseIcon(), nullptr);
  EXPECT_EQ(b.la[1]->MouseIcon(), nullptr);
  MoveOver(*b.la[1]);
  EXPECT_EQ(b.la[1]->MouseIcon(), b.la[0]->MouseIcon());
  EXPECT_EQ(h.Window().pointerOver, b.la[1]);
  MoveOver(*b.la[0]);
  EXPECT_EQ(h.Window().pointerOver, b.la[0]);
  os.MoveTo(b, 250, 20);
  EXPECT_EQ(h.Window().pointerOver, nullptr);
  const int changes = h.Window().pointerChanges;
  os.MoveTo(b, 251, 20);
  EXPECT_EQ(h.Window().pointerChanges, changes);  // only changes are shown
}

TEST_F(Pointer, DragStartsOnlyInsideTheStrictBounds) {
  const int sw = b.ScaleWidth(), sh = b.ScaleHeight();
  struct Case {
    int button, x, y;
    bool moves;
  };
  const Case cases[] = {
      {kL, 3, 50, false},      {kL, 4, 50, true},       {kL, 250, 3, false},
      {kL, 250, 4, true},      {kL, sw - 3, 50, false}, {kL, sw - 4, 50, true},
      {kL, 250, sh - 1, true}, {kR, 250, 50, false},    {kL | kR, 250, 50, false},
      {kM, 250, 50, false},    {0, 250, 50, false},
  };
  for (const auto& c : cases) {
    const int before = MoveLoops();
    b.Form_MouseMove(c.button, 0, c.x, c.y);
    EXPECT_EQ(MoveLoops() - before, c.moves ? 1 : 0) << c.button << " at " << c.x << "," << c.y;
  }
  b.SetWindowState(forms::WindowState::kMaximized);
  const int before = MoveLoops();
  b.Form_MouseMove(kL, 0, 250, 50);
  EXPECT_EQ(MoveLoops(), before);
}

TEST_F(Pointer, DraggingTheSurfaceGivesUpTheCaptureBeforeTheMoveLoop) {
  os.Press(b, 250, 20, kL);
  EXPECT_EQ(os.pointerLog.back(), "capture surface");
  os.MoveTo(b, 260, 25, kL);
  EXPECT_EQ(MoveLoops(), 1);
  EXPECT_EQ(os.GetCapture(), nullptr);
  // The move loop ate the release; the next press is a press of its own.
  os.MoveTo(b, 300, 30, 0);
  os.Press(b, 250, 20, kL);
  os.Release(b, 250, 20, kL);
  EXPECT_EQ(os.GetCapture(), nullptr);
  // A press that began on a button and slid off it never drags.
  const auto p = Centre(*b.sok);
  os.Press(b, p.x, p.y, kL);
  os.MoveTo(b, 250, 20, kL);
  os.MoveTo(b, 240, 20, kL);
  EXPECT_EQ(MoveLoops(), 1);
  EXPECT_TRUE(Shows(*b.sok, frame::kSearchNormal));
}

TEST_F(Pointer, CategoryClickLeavesNoCaptureBehind) {
  MoveOver(*b.npc[5]);
  EXPECT_EQ(CaptureHolder(), b.npc[5]);
  Click(*b.npc[5]);
  EXPECT_EQ(b.selectedCategory, 5);
  EXPECT_EQ(os.GetCapture(), nullptr);
  EXPECT_TRUE(Shows(*b.npc[5], CategorySelected(5)));
  MoveOver(*b.npc[5]);
  EXPECT_EQ(os.GetCapture(), nullptr);
  // The caption buttons show their normal look after their click.
  MoveOver(*b.npc[1]);
  Click(*b.npc[1]);
  EXPECT_TRUE(Shows(*b.npc[1], frame::kMinimizeNormal));
  EXPECT_EQ(os.GetCapture(), nullptr);
}

TEST_F(Pointer, AClickNeedsPressAndReleaseOnTheSameControl) {
  auto& nav = h.Window().navigations;
  const auto la0 = Centre(*b.la[0]), la1 = Centre(*b.la[1]);
  os.Press(b, la0.x, la0.y, kL);
  os.MoveTo(b, la1.x, la1.y, kL);
  os.Release(b, la1.x, la1.y, kL);
  EXPECT_TRUE(nav.size() == 1) << nav.back();  // the home page only
  // Surface to label, label to surface: neither clicks.
  b.sotext->NativeText("");
  os.Press(b, 250, 20, kL);
  os.Release(b, la0.x, la0.y, kL);
  os.Press(b, la0.x, la0.y, kL);
  os.Release(b, 250, 20, kL);
  EXPECT_EQ(nav.size(), 1u);
  EXPECT_EQ(b.sotext->Text(), "");  // no surface click refilled it
  // A category button pressed and released on its neighbour: no click.
  const auto n3 = Centre(*b.npc[3]), n4 = Centre(*b.npc[4]);
  os.Press(b, n3.x, n3.y, kL);
  os.MoveTo(b, n4.x, n4.y, kL);
  os.Release(b, n4.x, n4.y, kL);
  EXPECT_EQ(b.selectedCategory, 2);
  // The same on one control clicks.
  Click(*b.la[1]);
  EXPECT_EQ(nav.size(), 2u);
  os.ClickAt(b, 250, 20);
  EXPECT_EQ(b.sotext->Text(), "3d肉蒲团");
}

TEST_F(Pointer, ADoubleClickClicksOnce) {
  auto& nav = h.Window().navigations;
  b.sotext->NativeText("film");
  Click(*b.sok);
  const auto p = Centre(*b.sok);
  os.clock += 100;
  os.Press(b, p.x, p.y, kL);
  // The second press is a DblClick, not a MouseDown: no pressed look.
  EXPECT_TRUE(Shows(*b.sok, frame::kSearchNormal));
  os.Release(b, p.x, p.y, kL);
  EXPECT_EQ(nav.size(), 2u);  // home page and one search
  EXPECT_TRUE(Shows(*b.sok, frame::kSearchNormal));
  // Slower than the system's double-click time: two clicks.
  Click(*b.sok, 2000);
  EXPECT_EQ(nav.size(), 3u);
  Click(*b.la[0], 2000);
  Click(*b.la[0], 100);
  EXPECT_EQ(nav.size(), 4u);
  // A third press starts afresh.
  Click(*b.la[0], 100);
  EXPECT_EQ(nav.size(), 5u);
  // The time and the box count up to their last millisecond and pixel: 500
  // ms and 2 pixels each way (the box is 4 wide) still make a double click.
  const auto q = Centre(*b.la[0]);
  os.ClickAt(b, q.x, q.y, 2000);
  os.ClickAt(b, q.x + 2, q.y - 2, 480);  // each event takes 10 ms: 500 ms apart
  EXPECT_EQ(nav.size(), 6u);
  os.ClickAt(b, q.x, q.y, 2000);
  os.ClickAt(b, q.x, q.y, 481);
  EXPECT_EQ(nav.size(), 8u);
  os.ClickAt(b, q.x, q.y, 2000);
  os.ClickAt(b, q.x + 3, q.y, 100);
  EXPECT_EQ(nav.size(), 10u);
}

TEST_F(Pointer, ReleasedOutsideTheWindowNothingIsClickedAndTheLookIsNormal) {
  MoveOver(*b.sok);
  const auto p = Centre(*b.sok);
  os.Press(b, p.x, p.y, kL);
  os.MoveTo(b, -50, -50, kL);
  os.Release(b, -50, -50, kL);
  EXPECT_TRUE(Shows(*b.sok, frame::kSearchNormal));
  EXPECT_EQ(h.Window().navigations.size(), 1u);
  EXPECT_EQ(os.GetCapture(), nullptr);
  // Another grab kept the release of a label's press: the next move without
  // buttons ends the press, the label turns back, a late release clicks nothing.
  MoveOver(*b.la[0]);
  const auto l = Centre(*b.la[0]);
  os.Press(b, l.x, l.y, kL);
  os.MoveTo(b, 250, 20);
  EXPECT_FALSE(b.labelHot);
  os.MoveTo(b, l.x, l.y);
  os.Release(b, l.x, l.y, kL);
  EXPECT_EQ(h.Window().navigations.size(), 1u);
}

TEST_F(Pointer, ALostCaptureOrAHiddenWindowLeavesNoHoverLook) {
  MoveOver(*b.npc[7]);
  ASSERT_TRUE(Shows(*b.npc[7], CategoryHover(7)));
  os.NativeCaptureLost(b.npc[7]->hWnd());  // Alt+Tab, a popup, another program
  EXPECT_TRUE(Shows(*b.npc[7], CategoryNormal(7)));
  EXPECT_EQ(os.GetCapture(), nullptr);

  MoveOver(*b.npc[0]);
  const auto p = Centre(*b.sok);
  MoveOver(*b.sok);
  os.Press(b, p.x, p.y, kL);
  ASSERT_TRUE(Shows(*b.sok, frame::kSearchPressed));
  b.Hide();
  b.Show();
  EXPECT_TRUE(Shows(*b.sok, frame::kSearchNormal));
  EXPECT_TRUE(Shows(*b.npc[0], frame::kCloseNormal));
  EXPECT_EQ(os.GetCapture(), nullptr);
  // The release that follows clicks nothing.
  os.Release(b, p.x, p.y, kL);
  EXPECT_EQ(h.Window().navigations.size(), 1u);

  // The close button's own click hides the window with the normal look.
  MoveOver(*b.npc[0]);
  Click(*b.npc[0]);
  EXPECT_FALSE(b.Visible());
  EXPECT_TRUE(Shows(*b.npc[0], frame::kCloseNormal));
}

TEST_F(Pointer, EventsForControlsThatAreGoneOrForeignAreDropped) {
  Harness other;
  forms::PointerInput in;
  in.kind = forms::PointerInput::Kind::kPress;
  in.window = other.ba1->sok;  // a control of another form
  in.button = in.held = kL;
  b.Pointer().Input(in);
  EXPECT_EQ(os.GetCapture(), nullptr);
  // A capture request for a window that is not ours is refused.
  EXPECT_EQ(os.SetCapture(other.ba1->npc[3]->hWnd()), nullptr);
  EXPECT_EQ(os.GetCapture(), nullptr);
  // A lost capture for a window that does not hold it changes nothing.
  MoveOver(*b.npc[3]);
  os.NativeCaptureLost(b.npc[4]->hWnd());
  EXPECT_EQ(CaptureHolder(), b.npc[3]);
  // A hidden control gives up the capture and takes no more input.
  b.npc[3]->SetVisible(false);
  EXPECT_EQ(os.GetCapture(), nullptr);
  EXPECT_NE(b.Pointer().HitTest(Centre(*b.npc[3]).x, Centre(*b.npc[3]).y), b.npc[3]);
}

TEST_F(Pointer, HitTestFollowsStackingAndClipping) {
  EXPECT_EQ(b.Pointer().HitTest(Centre(*b.npc[9]).x, Centre(*b.npc[9]).y), b.npc[9]);
  EXPECT_EQ(b.Pointer().HitTest(Centre(*b.sotext).x, Centre(*b.sotext).y), b.sotext);
  EXPECT_EQ(b.Pointer().HitTest(Centre(*b.la[0]).x, Centre(*b.la[0]).y), b.la[0]);
  // The browser reaches 2 pixels past Pic2, which clips it.
  const auto pic2 = b.Pic2->OriginInForm();
  EXPECT_EQ(b.Pointer().HitTest(pic2.x + 5, pic2.y + 5), b.Web1);
  EXPECT_EQ(b.Pointer().HitTest(pic2.x - 1, pic2.y + 5), b.npc[2]);
  EXPECT_EQ(b.Pointer().HitTest(pic2.x - 1, pic2.y + 12 * 39), b.Pic1);
  EXPECT_EQ(b.Pointer().HitTest(250, 20), nullptr);
  EXPECT_EQ(b.Pointer().HitTest(-1, 20), nullptr);
  // Hidden holders never take input.
  EXPECT_EQ(b.Pointer().HitTest(Centre(*b.ppt[2]).x, Centre(*b.ppt[2]).y) == b.ppt[2], false);
  // Windowless controls own their first row and column and end one pixel
  // before Left + Width and Top + Height, on each axis alone.
  for (const forms::Control* c : {b.la[0], b.la[1], b.la[2], b.logo, b.so}) {
    const auto o = c->OriginInForm();
    const int right = o.x + c->Width() - 1, bottom = o.y + c->Height() - 1;
    for (auto [x, y] : {std::pair{o.x, o.y}, {right, o.y}, {o.x, bottom}, {right, bottom}}) {
      EXPECT_EQ(b.Pointer().HitTest(x, y), c) << fake::NameOf(c) << " at " << x << "," << y;
    }
    for (auto [x, y] : {std::pair{o.x - 1, o.y},
                        {o.x, o.y - 1},
                        {right + 1, o.y},
                        {o.x, bottom + 1},
                        {right + 1, bottom},
                        {right, bottom + 1}}) {
      EXPECT_NE(b.Pointer().HitTest(x, y), c) << fake::NameOf(c) << " at " << x << "," << y;
    }
  }
  // The text box lies on the search image: windowed above windowless.
  const auto box = b.sotext->OriginInForm();
  EXPECT_EQ(b.Pointer().HitTest(box.x, box.y), b.sotext);
  EXPECT_EQ(b.Pointer().HitTest(box.x - 1, box.y), b.so);
  EXPECT_EQ(b.Pointer().HitTest(box.x, box.y - 1), b.so);
  // Of two labels on one spot the later one lies above; hidden, it is not
  // there and the one beneath takes the point.
  b.la[1]->Move(b.la[0]->Left() + 10, b.la[0]->Top() + 3);
  EXPECT_EQ(b.Pointer().HitTest(b.la[1]->Left(), b.la[1]->Top()), b.la[0]);
  b.la[0]->SetVisible(false);
  EXPECT_EQ(b.Pointer().HitTest(b.la[1]->Left(), b.la[1]->Top()), b.la[1]);
  EXPECT_EQ(b.Pointer().HitTest(b.la[0]->Left(), b.la[0]->Top()), nullptr);
  // A hidden container hides its visible children too.
  b.Pic1->SetVisible(false);
  EXPECT_EQ(b.Pointer().HitTest(Centre(*b.npc[3]).x, Centre(*b.npc[3]).y), b.zz);
}

TEST_F(Pointer, FocusLossRaisesLostFocusOnlyForAMoveInsideTheProgram) {
  b.sotext->NativeText("  ");
  b.NativeFocus(b.sotext);
  b.NativeFocus(nullptr);  // another program took it, or the window hid
  b.NativeFocus(b.sotext);
  EXPECT_EQ(b.sotext->Text(), "  ");
  // A press on a button does not take the focus: a blank box is refilled by
  // the search itself, which then loads nothing; the next click searches.
  Click(*b.sok);
  EXPECT_EQ(b.Focused(), b.sotext);
  EXPECT_EQ(b.sotext->Text(), "3d肉蒲团");
  EXPECT_EQ(h.Window().navigations.size(), 1u);
  Click(*b.sok);
  EXPECT_EQ(h.Window().navigations.size(), 2u);
  // Tab to another control is a move inside the program.
  b.sotext->NativeText("");
  b.NativeFocus(b.NextInTabOrder(b.sotext, false));
  EXPECT_EQ(b.sotext->Text(), "3d肉蒲团");
}

TEST_F(Pointer, TabOrderFollowsTabIndexAndSkipsWhatCannotTakeTheFocus) {
  std::vector<std::string> order;
  const forms::Control* at = b.sotext;
  for (int i = 0; i < 22; ++i) {
    at = b.NextInTabOrder(at, false);
    order.push_back(fake::NameOf(at));
  }
  const std::vector<std::string> want = {"sok",    "npc 1",  "npc 0", "zz",     "Pic1",   "Pic2",
                                         "Web1",   "npc 2",  "npc 3", "npc 4",  "npc 5",  "npc 6",
                                         "npc 7",  "npc 8",  "npc 9", "npc 10", "npc 11", "npc 12",
                                         "npc 13", "sotext", "sok",   "npc 1"};
  EXPECT_EQ(order, want);
  EXPECT_EQ(b.NextInTabOrder(b.npc[1], true), b.sok);
  EXPECT_EQ(b.NextInTabOrder(b.sotext, true), b.npc[13]);
  // From a label (no stop of its own): the next stop after its TabIndex.
  EXPECT_EQ(b.NextInTabOrder(b.la[0], false), b.npc[2]);
  EXPECT_EQ(b.NextInTabOrder(nullptr, false), b.npc[1]);
  b.npc[0]->SetVisible(false);
  EXPECT_EQ(b.NextInTabOrder(b.npc[1], false), b.zz);
}

}  // namespace
