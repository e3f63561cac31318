// A display-less platform for unit tests: it keeps the window-procedure
// chain, the style bits and the region like a window system would, records
// every request the program makes, and lets tests feed in the user's side
// (sizes, states, typed text) through the form layer's entry points.
// Besides the per-topic records below, every side effect also lands in one
// ordered log (FakePlatform::events), so tests can assert on sequences
// across windows, the browser, the pointer and the tray.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "forms/control.h"
#include "forms/form.h"
#include "forms/platform.h"
#include "forms/region.h"
#include "forms/wndproc_chain.h"

namespace fake {

class FakePlatform;

// What a new window's style holds before the program touches it (WS_POPUP |
// WS_CLIPCHILDREN), so adding bits can be told from replacing them.
inline constexpr std::intptr_t kInitialStyle = 0x82000000;

struct FakeWindow {
  FakeWindow();
  forms::Form* form = nullptr;
  FakePlatform* platform = nullptr;
  forms::SoftWindowLongs longs;
  std::optional<forms::RoundRectRegion> region;
  int regionsSet = 0;
  bool lastRedraw = false;
  std::vector<std::string> navigations;
  std::vector<std::string> log;  // "show", "hide", "size 888x700", "state 1", "move-loop", ...
  std::map<const forms::Control*, int> refreshes;
  const forms::Control* pointerOver = nullptr;  // the last ShowPointer
  int pointerChanges = 0;
  bool destroyed = false;
  forms::WindowHandle owner = nullptr;  // as last set
  forms::IconHandle icon = nullptr;
  // The browser control's side: its history, and the document it shows.
  std::vector<std::string> history;
  int historyAt = -1;
  int reloads = 0;
  std::vector<bool> silentSets;
  std::size_t monitor = 0;  // index into FakePlatform::monitors; a move changes it
  forms::DocumentHandle document = nullptr;   // what Document() answers
  forms::DocumentHandle connected = nullptr;  // whose events are connected
  int connects = 0;
  int stops = 0;
  // Each error page shown: the address, then its HTML.
  std::vector<std::pair<std::string, std::string>> errorPages;
};

struct ShellExecuteCall {
  forms::WindowHandle owner;
  std::string verb, file, parameters, directory;
  int showCmd;
};

// One control's window; windowless controls get none.
struct FakeControlWindow {
  forms::Control* control = nullptr;
};

// Names a control the way the logs do: "npc 3", "sok", or "surface".
std::string NameOf(const forms::Control* control);

// The link between instances, kept in the process: another instance is
// whatever the test says, and executes reach the served handlers directly.
class FakeLink final : public forms::LinkTransport {
 public:
  bool otherInstance = false;    // what PrevInstance answers
  bool otherAccepts = true;      // what Execute answers
  std::vector<std::string> log;  // "serve app|topic", "execute app|topic: cmd", ...
  std::vector<std::string>* events = nullptr;  // the platform's ordered log

  bool PrevInstance() override;
  bool Serve(std::string_view application, std::string_view topic,
             ExecuteHandler onExecute) override;
  void StopServing(std::string_view application, std::string_view topic) override;
  bool Execute(std::string_view application, std::string_view topic, std::string_view command,
               int timeoutMs) override;
  // Another instance's command for application|topic; false when nobody
  // serves it or the receiver refused it.
  bool Deliver(const std::string& applicationAndTopic, std::string_view command);

 private:
  void Note(std::string entry);
  std::map<std::string, ExecuteHandler> served_;
};

class FakePlatform : public forms::Platform {
 public:
  FakePlatform();
  ~FakePlatform() override;

  // Machine set-up.
  forms::RectL workArea{0, 0, 1920, 1040};
  bool workAreaFails = false;
  int screenWidthPx = 1920;  // the primary monitor
  int screenHeightPx = 1080;
  // Every monitor with its work area; a window is on the one its
  // FakeWindow::monitor names. None (or a window on none): the platform
  // cannot tell.
  struct Monitor {
    forms::RectL monitor, workArea;
  };
  std::vector<Monitor> monitors;
  std::map<int, forms::Picture> bitmaps;  // resource id -> picture
  std::map<std::string, forms::Picture> designPictures;
  forms::Color windowColor = forms::Rgb(255, 255, 255);
  forms::Color windowTextColor = forms::Rgb(0, 0, 0);

  FakeLink link;
  std::string commandLine;
  int ends = 0;

  // Observations.
  // Every side effect in the order it happened, one entry each:
  //   "refresh npc 3", "refresh BA1" (a form), "blt npc 3", "stretch BA1",
  //   "navigate URL", "back", "forward", "reload", "stop", "silent 1",
  //   "connect", "error-page URL", "show BA1", "hide BA1", "size BA1 888x700",
  //   "state BA1 1", "activate tip", "owner tip BA1", "icon tip",
  //   "style BA1 0x82030000", "wndproc BA1", "region BA1 0,0,889,701",
  //   "move-loop BA1", "pointer BA1 la 0", "capture npc 3", "release",
  //   "focus sotext", "select sotext 0+4", "popup BA1 7", "popup-cancel BA1",
  //   "tray add", "tray delete", "msgbox", "shell-execute open URL",
  //   "cancel-downloads", "show-downloads", "end", "quit-loop", "link ...".
  std::vector<std::string> events;
  std::size_t Mark() const { return events.size(); }
  // The entries from `mark` on whose first word is one of `kinds` (all
  // entries when `kinds` is empty).
  std::vector<std::string> Events(std::initializer_list<std::string_view> kinds = {},
                                  std::size_t mark = 0) const;
  // How many entries from `mark` on are exactly `entry`.
  int Count(std::string_view entry, std::size_t mark = 0) const;
  void Record(std::string entry) { events.push_back(std::move(entry)); }
  // The control or form drawing into `dc`, or owning `handle`, as the log
  // names it ("none" for a null handle, "?" for one that is not ours).
  std::string SurfaceName(forms::Dc dc) const;
  std::string WindowName(forms::WindowHandle handle) const;

  int stretchBlts = 0;
  std::vector<int> bitmapRequests;
  // "capture npc 3", "release", "focus sotext", "select sotext 0+4", in order.
  std::vector<std::string> pointerLog;
  std::uint32_t clock = 1000;  // ms stamped on the pointer events below
  // Popup menus: what each showed, on which window, and how the user
  // answered (by default: Escape). The answer may run anything first, as
  // the menu loop would.
  std::vector<std::vector<forms::PopupItem>> popups;
  std::vector<forms::WindowHandle> popupWindows;
  std::function<int(const std::vector<forms::PopupItem>&)> onPopup;
  std::optional<std::string> nextChoice;
  int popupCancels = 0;
  // A host that draws menus itself (a panel's menu of a tray item): while
  // set, popups are served to it and their way back kept here.
  bool hostDrawsMenus = false;
  forms::MenuChoice servedChoice;
  // The notification area: every record given, with its message.
  std::vector<std::pair<std::uint32_t, forms::NotifyIconData>> trayCalls;
  std::vector<std::size_t> trayLoadedForms;  // forms still loaded at each call
  bool trayFails = false;
  bool trayPresent = true;  // what TrayPresent answers
  std::vector<ShellExecuteCall> shellExecutes;
  int loopQuits = 0;
  // Message boxes asked for, and what the user answers; the downloads the
  // platform says are running, and how often they were all cancelled.
  struct MessageBoxCall {
    forms::WindowHandle owner;
    std::string text, caption;
    std::uint32_t type;
  };
  std::vector<MessageBoxCall> messageBoxes;
  int messageBoxAnswer = forms::kIdCancel;
  int runningDownloads = 0;
  int downloadCancels = 0;
  int downloadShows = 0;
  bool hasDownloadList = true;

  // The browser's events, raised as the backend raises them.
  void BrowserEvent(forms::Form& form, forms::EventKind kind);
  // The user asks the page for its context menu: true when the engine's
  // own menu would show.
  bool PageContextMenu(forms::Form& form);
  // A key going down, as the backend hands it to the form: true when the
  // form swallowed it.
  bool KeyDown(forms::Form& form, int keyCode, int shift = 0);
  // A top-level navigation of the browser failed.
  void NavigateError(forms::Form& form, const std::string& address, forms::NavigateFailure failure,
                     int status = 0);
  // The choice of the item with `caption` on the next popup.
  void ChooseNext(const std::string& caption);
  int AnswerPopup(const std::vector<forms::PopupItem>& items);

  // The user's pointer, as a backend would pass it in: at (x, y) of the
  // form's client area; the window receiving it is the capture holder's
  // or the one under the pointer.
  void MoveTo(forms::Form& form, int x, int y, int held = 0, int shift = 0);
  void Press(forms::Form& form, int x, int y, int button, int held = -1);
  void Release(forms::Form& form, int x, int y, int button, int held = 0);
  // A press and release of the left button, `gapMs` after the last event.
  void ClickAt(forms::Form& form, int x, int y, std::uint32_t gapMs = 1000);

  FakeWindow& Window(forms::WindowHandle handle);
  FakeWindow& WindowOf(const forms::Form& form);
  // Sends a message into the window's procedure chain, as the system would.
  forms::LResult Send(forms::WindowHandle window, std::uint32_t message, forms::WParam wParam,
                      forms::LParam lParam);

  std::unique_ptr<forms::FormNative> CreateFormNative(forms::Form& form) override;
  bool SystemParametersInfo(std::uint32_t action, std::uint32_t param, void* data,
                            std::uint32_t flags) override;
  std::intptr_t GetWindowLongPtr(forms::WindowHandle window, int index) override;
  std::intptr_t SetWindowLongPtr(forms::WindowHandle window, int index,
                                 std::intptr_t value) override;
  int SetWindowRgn(forms::WindowHandle window, forms::RegionHandle region, bool redraw) override;
  forms::RegionHandle CreateRoundRectRgn(int left, int top, int right, int bottom, int ellipseW,
                                         int ellipseH) override;
  bool BitBlt(forms::Dc dst, int x, int y, int w, int h, forms::Dc src, int sx, int sy,
              std::uint32_t rop) override;
  bool StretchBlt(forms::Dc dst, int x, int y, int w, int h, forms::Dc src, int sx, int sy, int sw,
                  int sh, std::uint32_t rop) override;
  bool MonitorWorkArea(forms::WindowHandle window, forms::RectL& workArea,
                       forms::RectL& monitor) override;
  int ScreenWidthTwips() override { return screenWidthPx * 15; }
  int ScreenHeightTwips() override { return screenHeightPx * 15; }
  forms::Color SystemColor(forms::SysColor color) override;
  std::string CommandLine() override { return commandLine; }
  forms::LinkTransport& Link() override { return link; }
  forms::LResult SendMessage(forms::WindowHandle window, std::uint32_t message,
                             forms::WParam wParam, forms::LParam lParam) override;
  std::optional<forms::Picture> LoadBitmapResource(int id) override;
  std::optional<forms::Picture> LoadDesignPicture(std::string_view name) override;
  bool Shell_NotifyIcon(std::uint32_t message, const forms::NotifyIconData& data) override;
  bool TrayPresent() override { return trayPresent; }
  std::intptr_t ShellExecute(forms::WindowHandle owner, std::string_view verb,
                             std::string_view file, std::string_view parameters,
                             std::string_view directory, int showCmd) override;
  forms::IconHandle LoadIconResource(int id) override;
  int MsgBox(forms::WindowHandle owner, std::string_view text, std::string_view caption,
             std::uint32_t type) override {
    messageBoxes.push_back({owner, std::string(text), std::string(caption), type});
    Record("msgbox");
    return messageBoxAnswer;
  }
  int RunningDownloads() override { return runningDownloads; }
  bool ShowDownloads() override {
    ++downloadShows;
    Record("show-downloads");
    return hasDownloadList;
  }
  void CancelDownloads() override {
    ++downloadCancels;
    Record("cancel-downloads");
    runningDownloads = 0;
  }

 protected:
  void GrabPointer(forms::WindowHandle window) override;
  void UngrabPointer() override;
  void EndProcess() override {
    ++ends;
    Record("end");
  }
  void QuitLoop() override {
    ++loopQuits;
    Record("quit-loop");
  }

 private:
  void Deliver(forms::Form& form, forms::PointerInput input, int formX, int formY);
  void SendPointer(forms::Form& form, forms::PointerInput::Kind kind, int x, int y, int button,
                   int held, int shift);
  std::vector<std::unique_ptr<FakeWindow>> windows_;
  std::vector<std::unique_ptr<forms::RoundRectRegion>> pendingRegions_;
};

}  // namespace fake
