// The main window BA1: its controls, its interaction state and its handlers.
// The handlers are spread over the subsystems that own them (frame/, browse/,
// app/); this header is the one place that names them all.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "forms/form.h"

namespace tray {
class tip;
}

namespace frame {

struct Cell;

class BA1 : public forms::Form {
 public:
  explicit BA1(forms::Platform& platform);
  ~BA1() override;

  // Public methods other windows call.
  void p_p(int skinSet);
  // The exit sequence: the tray icon goes, then this window, then tip.
  void ttt_v();
  // What closing the window does: it hides into the tray, or, on a desktop
  // with no notification area to bring it back from, ends the program.
  void CloseToTray();

  // The about box, which also holds the popup menus; the object lives as
  // long as this window, its window only while loaded.
  tray::tip& tip();

  // Load handler: hands the command line to a running instance and ends, or
  // runs the start-up sequence of the first one.
  void Form_Load();
  // A second instance's command arrived: bring the window to the front.
  void Form_LinkExecute(std::string_view CmdStr, int& Cancel);

  // Interaction state.
  int selectedCategory = 2;
  bool labelHot = false;
  // The document shown by Web1 whose events reach us; empty until the first
  // download completes, and while the page shown is not HTML.
  forms::DocumentHandle M_M1 = nullptr;

  // Controls, by the names the design gives them.
  std::array<forms::Control*, 14> npc{};
  std::array<forms::Control*, 6> ppt{};
  std::array<forms::Control*, 3> la{};
  forms::Control* sok = nullptr;
  forms::Control* sotext = nullptr;
  forms::Control* zz = nullptr;
  forms::Control* Pic1 = nullptr;
  forms::Control* Pic2 = nullptr;
  forms::Control* Web1 = nullptr;
  forms::Control* dde = nullptr;
  forms::Control* logo = nullptr;
  forms::Control* so = nullptr;

  // Handlers, public so the tests can drive each one directly.
  void Form_Resize();
  void Form_Click();
  void npc_Click(int Index);
  void la_Click(int Index);
  void sotext_Click();
  void sotext_LostFocus();
  void sotext_KeyPress(int& KeyAscii);
  void sok_Click();
  // The browser's keys, seen before the focused control (KeyPreview);
  // KeyCode 0 when one was used.
  void Form_KeyDown(int& KeyCode, int Shift);

  // Pointer feedback and dragging.
  void npc_MouseMove(int Index, int Button, int Shift, int X, int Y);
  void sok_MouseMove(int Button, int Shift, int X, int Y);
  void sok_MouseDown(int Button, int Shift, int X, int Y);
  void sok_MouseUp(int Button, int Shift, int X, int Y);
  void la_MouseMove(int Index, int Button, int Shift, int X, int Y);
  void Form_MouseMove(int Button, int Shift, int X, int Y);

  // Browser and document events.
  void Web1_DownloadBegin();
  void Web1_DownloadComplete();
  bool M_M1_oncontextmenu();
  // A top-level navigation failed: our own page in its place.
  void Web1_NavigateError(std::string_view URL, forms::NavigateFailure Failure, int StatusCode);

  // A close request from the system hides to the tray; the end of the
  // session or of the process runs the exit sequence.
  void Form_QueryUnload(int& Cancel, forms::UnloadMode UnloadMode);

  void PlaceControls();
  void PaintButtons();
  void PaintFrame();

 protected:
  void OnEvent(const forms::Event& event) override;
  void OnResize() override { Form_Resize(); }
  void OnQueryUnload(int& cancel, forms::UnloadMode mode) override;

 private:
  void Build();
  void SecondInstance();
  void FirstInstance();
  // BitBlt of a skin cell onto a button's persistent image, then Refresh.
  void ShowCell(forms::Control& button, forms::Control& skin, int sx, int sy, int w, int h);
  // Both link labels back to white, if one shows its hover colour.
  void LabelReset();
  // The hover look of a picture button, or its normal one with the capture
  // given up, by where the pointer is.
  void HoverButton(forms::Control& button, bool inside, const Cell& hover,
                   const Cell& normal);
  void Navigate(const std::string& address);

  std::unique_ptr<tray::tip> tip_;
};

}  // namespace frame
