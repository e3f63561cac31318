#include "fake_platform.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace fake {
namespace {

forms::WindowHandle HandleOf(FakeWindow* window) {
  return reinterpret_cast<forms::WindowHandle>(window);
}

// The window's own procedure: the system's default handling, recorded.
forms::LResult FakeDefaultProc(forms::WindowHandle window, std::uint32_t message,
                               forms::WParam wParam, forms::LParam) {
  if (message == forms::kWmNcLButtonDown && wParam == forms::kHtCaption) {
    auto* w = reinterpret_cast<FakeWindow*>(window);
    w->log.push_back("move-loop");
    if (w->platform) w->platform->Record("move-loop " + w->form->Name());
  }
  return 0;
}

std::string Hex(std::intptr_t value) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(value));
  return buf;
}

class FakeControlNative final : public forms::ControlNative {
 public:
  FakeControlNative(FakeWindow& window, forms::Control& control, FakePlatform& platform)
      : window_(window), platform_(platform) {
    own_.control = &control;
  }

  forms::WindowHandle Handle() override {
    return own_.control->Windowless() ? nullptr : reinterpret_cast<forms::WindowHandle>(&own_);
  }
  void Moved() override { platform_.Record("moved " + NameOf(own_.control)); }
  void VisibilityChanged() override { platform_.Record("visibility " + NameOf(own_.control)); }
  void Refresh() override {
    ++window_.refreshes[own_.control];
    platform_.Record("refresh " + NameOf(own_.control));
  }
  void TextChanged() override { platform_.Record("text " + NameOf(own_.control)); }
  void AccessibilityChanged() override { platform_.Record("accessible " + NameOf(own_.control)); }
  void SelectionChanged() override {
    const forms::Control& c = *own_.control;
    platform_.pointerLog.push_back("select " + NameOf(&c) + " " + std::to_string(c.SelStart()) +
                                   "+" + std::to_string(c.SelLength()));
    platform_.Record(platform_.pointerLog.back());
  }
  void Focus() override {
    platform_.pointerLog.push_back("focus " + NameOf(own_.control));
    platform_.Record(platform_.pointerLog.back());
    window_.form->NativeFocus(own_.control);
  }

 protected:
  FakeWindow& window_;
  FakePlatform& platform_;
  FakeControlWindow own_;
};

// The browser keeps a history like the control's: a navigation drops the
// pages ahead, back and forward fail at the ends.
class FakeBrowserNative final : public forms::BrowserNative {
 public:
  FakeBrowserNative(FakeWindow& window, forms::Control& control, FakePlatform& platform)
      : window_(window), platform_(platform) {
    own_.control = &control;
  }
  forms::WindowHandle Handle() override { return reinterpret_cast<forms::WindowHandle>(&own_); }
  void Moved() override { platform_.Record("moved " + NameOf(own_.control)); }
  void VisibilityChanged() override { platform_.Record("visibility " + NameOf(own_.control)); }
  void Refresh() override { platform_.Record("refresh " + NameOf(own_.control)); }
  void TextChanged() override {}
  void Navigate(const std::string& url) override {
    platform_.Record("navigate " + url);
    window_.navigations.push_back(url);
    window_.history.resize(static_cast<std::size_t>(window_.historyAt + 1));
    window_.history.push_back(url);
    window_.historyAt = static_cast<int>(window_.history.size()) - 1;
  }
  bool GoBack() override {
    if (window_.historyAt <= 0) return false;
    --window_.historyAt;
    window_.navigations.push_back("back");
    platform_.Record("back");
    return true;
  }
  bool GoForward() override {
    if (window_.historyAt + 1 >= static_cast<int>(window_.history.size())) return false;
    ++window_.historyAt;
    window_.navigations.push_back("forward");
    platform_.Record("forward");
    return true;
  }
  void Reload() override {
    ++window_.reloads;
    platform_.Record("reload");
  }
  void SetSilent(bool silent) override {
    window_.silentSets.push_back(silent);
    platform_.Record(silent ? "silent 1" : "silent 0");
  }
  forms::DocumentHandle Document() override { return window_.document; }
  void ConnectDocument(forms::DocumentHandle document) override {
    window_.connected = document;
    ++window_.connects;
    platform_.Record("connect");
  }
  void Stop() override {
    ++window_.stops;
    platform_.Record("stop");
  }
  void ShowErrorPage(const std::string& html, const std::string& address) override {
    window_.errorPages.emplace_back(address, html);
    platform_.Record("error-page " + address);
  }

 private:
  FakeWindow& window_;
  FakePlatform& platform_;
  FakeControlWindow own_;
};

class FakeNative final : public forms::FormNative {
 public:
  FakeNative(FakeWindow& window, FakePlatform& platform) : window_(window), platform_(platform) {}

  forms::WindowHandle Handle() override { return HandleOf(&window_); }
  ~FakeNative() override { window_.destroyed = true; }
  std::unique_ptr<forms::ControlNative> CreateControl(forms::Control& control) override {
    if (control.Kind() == forms::ControlKind::kWebBrowser) {
      return std::make_unique<FakeBrowserNative>(window_, control, platform_);
    }
    return std::make_unique<FakeControlNative>(window_, control, platform_);
  }
  void FormRefresh() override { Log("refresh"); }
  void ShowPointer(const forms::Control* over) override {
    window_.pointerOver = over;
    ++window_.pointerChanges;
    Log("pointer", NameOf(over));
  }
  void FormShow() override {
    window_.log.push_back("show");
    Log("show");
  }
  void FormHide() override {
    window_.log.push_back("hide");
    Log("hide");
  }
  void FormSetOuterSize(int w, int h) override {
    window_.log.push_back("size " + std::to_string(w) + "x" + std::to_string(h));
    Log("size", std::to_string(w) + "x" + std::to_string(h));
  }
  void FormSetState(forms::WindowState state) override {
    window_.log.push_back("state " + std::to_string(static_cast<int>(state)));
    Log("state", std::to_string(static_cast<int>(state)));
  }
  void FormSetOwner(forms::WindowHandle owner) override {
    window_.owner = owner;
    Log("owner", platform_.WindowName(owner));
  }
  void FormActivate() override {
    window_.log.push_back("activate");
    Log("activate");
  }
  void FormSetIcon(forms::IconHandle icon) override {
    window_.icon = icon;
    Log("icon");
  }
  int TrackPopupMenu(const std::vector<forms::PopupItem>& items) override {
    platform_.popups.push_back(items);
    platform_.popupWindows.push_back(HandleOf(&window_));
    Log("popup", std::to_string(items.size()));
    return platform_.AnswerPopup(items);
  }
  bool ServePopupMenu(const std::vector<forms::PopupItem>& items,
                      const forms::MenuChoice& chosen) override {
    if (!platform_.hostDrawsMenus) return false;
    platform_.popups.push_back(items);
    platform_.popupWindows.push_back(HandleOf(&window_));
    platform_.servedChoice = chosen;
    Log("popup-served", std::to_string(items.size()));
    return true;
  }
  void CancelPopupMenu() override {
    ++platform_.popupCancels;
    Log("popup-cancel");
  }

 private:
  // "<what> <form>[ <detail>]" in the platform's ordered log.
  void Log(const std::string& what, const std::string& detail = "") {
    std::string entry = what + " " + window_.form->Name();
    if (!detail.empty()) entry += " " + detail;
    platform_.Record(std::move(entry));
  }

  FakeWindow& window_;
  FakePlatform& platform_;
};

}  // namespace

std::string NameOf(const forms::Control* control) {
  if (!control) return "surface";
  if (control->Index() < 0) return control->Name();
  return control->Name() + " " + std::to_string(control->Index());
}

FakeWindow::FakeWindow() : longs(&FakeDefaultProc) { longs.style = kInitialStyle; }

FakePlatform::FakePlatform() { link.events = &events; }
FakePlatform::~FakePlatform() = default;

std::vector<std::string> FakePlatform::Events(std::initializer_list<std::string_view> kinds,
                                              std::size_t mark) const {
  std::vector<std::string> out;
  for (std::size_t i = mark; i < events.size(); ++i) {
    const std::string_view entry = events[i];
    const std::string_view first = entry.substr(0, entry.find(' '));
    if (kinds.size() == 0 || std::find(kinds.begin(), kinds.end(), first) != kinds.end()) {
      out.push_back(events[i]);
    }
  }
  return out;
}

int FakePlatform::Count(std::string_view entry, std::size_t mark) const {
  return static_cast<int>(
      std::count(events.begin() + static_cast<std::ptrdiff_t>(std::min(mark, events.size())),
                 events.end(), entry));
}

std::string FakePlatform::WindowName(forms::WindowHandle handle) const {
  if (!handle) return "none";
  for (const auto& w : windows_) {
    if (HandleOf(w.get()) == handle) return w->form ? w->form->Name() : "?";
    if (w->form && !w->destroyed) {
      if (const forms::Control* c = w->form->ControlOf(handle)) return NameOf(c);
    }
  }
  return "?";
}

std::string FakePlatform::SurfaceName(forms::Dc dc) const {
  for (const auto& w : windows_) {
    if (!w->form || w->destroyed) continue;
    if (w->form->hDC() == dc) return w->form->Name();
    for (const auto& c : w->form->Controls()) {
      if (c->hDC() && c->hDC() == dc) return NameOf(c.get());
    }
  }
  return "?";
}

FakeWindow& FakePlatform::Window(forms::WindowHandle handle) {
  auto* window = reinterpret_cast<FakeWindow*>(handle);
  for (auto& w : windows_) {
    if (w.get() == window) return *w;
  }
  throw std::logic_error("unknown window handle");
}

FakeWindow& FakePlatform::WindowOf(const forms::Form& form) { return Window(form.hWnd()); }

forms::LResult FakePlatform::Send(forms::WindowHandle window, std::uint32_t message,
                                  forms::WParam wParam, forms::LParam lParam) {
  return Window(window).longs.chain.Send(window, message, wParam, lParam);
}

bool FakePlatform::Shell_NotifyIcon(std::uint32_t message, const forms::NotifyIconData& data) {
  trayCalls.emplace_back(message, data);
  Record(message == forms::kNimAdd      ? "tray add"
         : message == forms::kNimDelete ? "tray delete"
                                        : "tray " + std::to_string(message));
  trayLoadedForms.push_back(LoadedForms().size());
  return !trayFails;
}

std::intptr_t FakePlatform::ShellExecute(forms::WindowHandle owner, std::string_view verb,
                                         std::string_view file, std::string_view parameters,
                                         std::string_view directory, int showCmd) {
  shellExecutes.push_back({owner, std::string(verb), std::string(file), std::string(parameters),
                           std::string(directory), showCmd});
  Record("shell-execute " + std::string(verb) + " " + std::string(file));
  return 42;
}

forms::IconHandle FakePlatform::LoadIconResource(int id) {
  return reinterpret_cast<forms::IconHandle>(static_cast<std::uintptr_t>(0x1000 + id));
}

void FakePlatform::BrowserEvent(forms::Form& form, forms::EventKind kind) {
  forms::Event event;
  event.kind = kind;
  event.source = form.Find("Web1");
  form.Raise(event);
}

bool FakePlatform::KeyDown(forms::Form& form, int keyCode, int shift) {
  return form.NativeKeyDown(keyCode, shift);
}

void FakePlatform::NavigateError(forms::Form& form, const std::string& address,
                                 forms::NavigateFailure failure, int status) {
  forms::Event event;
  event.kind = forms::EventKind::kNavigateError;
  event.source = form.Find("Web1");
  event.text = address;
  event.failure = failure;
  event.status = status;
  form.Raise(event);
}

bool FakePlatform::PageContextMenu(forms::Form& form) {
  FakeWindow& window = WindowOf(form);
  // Only the connected document reports; any other shows the engine's menu.
  if (!window.connected || window.connected != window.document) return true;
  bool result = true;
  forms::Event event;
  event.kind = forms::EventKind::kContextMenu;
  event.source = form.Find("Web1");
  event.document = window.document;
  event.result = &result;
  form.Raise(event);
  return result;
}

void FakePlatform::ChooseNext(const std::string& caption) { nextChoice = caption; }

int FakePlatform::AnswerPopup(const std::vector<forms::PopupItem>& items) {
  if (nextChoice) {
    const std::string caption = *nextChoice;
    nextChoice.reset();
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (items[i].caption == caption) return static_cast<int>(i);
    }
    return -1;
  }
  return onPopup ? onPopup(items) : -1;
}

std::unique_ptr<forms::FormNative> FakePlatform::CreateFormNative(forms::Form& form) {
  windows_.push_back(std::make_unique<FakeWindow>());
  windows_.back()->form = &form;
  windows_.back()->platform = this;
  return std::make_unique<FakeNative>(*windows_.back(), *this);
}

bool FakePlatform::SystemParametersInfo(std::uint32_t action, std::uint32_t, void* data,
                                        std::uint32_t) {
  if (action != forms::kSpiGetWorkArea || workAreaFails || !data) return false;
  *static_cast<forms::RectL*>(data) = workArea;
  return true;
}

bool FakePlatform::MonitorWorkArea(forms::WindowHandle window, forms::RectL& work,
                                   forms::RectL& monitor) {
  const std::size_t at = Window(window).monitor;
  if (at >= monitors.size()) return false;
  work = monitors[at].workArea;
  monitor = monitors[at].monitor;
  return true;
}

std::intptr_t FakePlatform::GetWindowLongPtr(forms::WindowHandle window, int index) {
  return Window(window).longs.Get(index);
}

std::intptr_t FakePlatform::SetWindowLongPtr(forms::WindowHandle window, int index,
                                             std::intptr_t value) {
  FakeWindow& w = Window(window);
  if (index == forms::kGwlStyle) Record("style " + w.form->Name() + " " + Hex(value));
  if (index == forms::kGwlWndProc) Record("wndproc " + w.form->Name());
  return w.longs.Set(index, value);
}

forms::RegionHandle FakePlatform::CreateRoundRectRgn(int left, int top, int right, int bottom,
                                                     int ellipseW, int ellipseH) {
  pendingRegions_.push_back(std::make_unique<forms::RoundRectRegion>(
      forms::RoundRectRegion{left, top, right, bottom, ellipseW, ellipseH}));
  return reinterpret_cast<forms::RegionHandle>(pendingRegions_.back().get());
}

int FakePlatform::SetWindowRgn(forms::WindowHandle window, forms::RegionHandle region,
                               bool redraw) {
  auto& w = Window(window);
  auto* data = reinterpret_cast<forms::RoundRectRegion*>(region);
  auto it = std::find_if(pendingRegions_.begin(), pendingRegions_.end(),
                         [data](const auto& r) { return r.get() == data; });
  if (it == pendingRegions_.end()) return 0;
  // The window now owns the region, as the system would.
  w.region = **it;
  pendingRegions_.erase(it);
  Record("region " + w.form->Name() + " " + std::to_string(w.region->left) + "," +
         std::to_string(w.region->top) + "," + std::to_string(w.region->right) + "," +
         std::to_string(w.region->bottom));
  ++w.regionsSet;
  w.lastRedraw = redraw;
  return 1;
}

bool FakePlatform::BitBlt(forms::Dc dst, int x, int y, int w, int h, forms::Dc src, int sx,
                          int sy, std::uint32_t rop) {
  Record("blt " + SurfaceName(dst));
  return forms::PortableBitBlt(dst, x, y, w, h, src, sx, sy, rop);
}

bool FakePlatform::StretchBlt(forms::Dc dst, int x, int y, int w, int h, forms::Dc src, int sx,
                              int sy, int sw, int sh, std::uint32_t rop) {
  ++stretchBlts;
  Record("stretch " + SurfaceName(dst));
  return forms::PortableStretchBlt(dst, x, y, w, h, src, sx, sy, sw, sh, rop);
}

forms::Color FakePlatform::SystemColor(forms::SysColor color) {
  switch (color) {
    case forms::SysColor::kWindow:
      return windowColor;
    case forms::SysColor::kButtonFace:
      return forms::Rgb(240, 240, 240);
    case forms::SysColor::kWindowText:
      break;
  }
  return windowTextColor;
}

std::optional<forms::Picture> FakePlatform::LoadBitmapResource(int id) {
  bitmapRequests.push_back(id);
  auto it = bitmaps.find(id);
  if (it == bitmaps.end()) return std::nullopt;
  return it->second;
}

std::optional<forms::Picture> FakePlatform::LoadDesignPicture(std::string_view name) {
  auto it = designPictures.find(std::string(name));
  if (it == designPictures.end()) return std::nullopt;
  return it->second;
}

}  // namespace fake

namespace fake {

forms::LResult FakePlatform::SendMessage(forms::WindowHandle window, std::uint32_t message,
                                         forms::WParam wParam, forms::LParam lParam) {
  return Send(window, message, wParam, lParam);
}

void FakePlatform::GrabPointer(forms::WindowHandle window) {
  for (auto& w : windows_) {
    if (HandleOf(w.get()) == window) {
      pointerLog.push_back("capture surface");
      Record(pointerLog.back());
      return;
    }
    if (forms::Control* c = w->form->ControlOf(window)) {
      pointerLog.push_back("capture " + NameOf(c));
      Record(pointerLog.back());
      return;
    }
  }
  pointerLog.push_back("capture ?");
  Record(pointerLog.back());
}

void FakePlatform::UngrabPointer() {
  pointerLog.push_back("release");
  Record("release");
}

void FakePlatform::Deliver(forms::Form& form, forms::PointerInput input, int formX, int formY) {
  // The system hands the event to the capture holder's window, else to the
  // window under the pointer.
  forms::Control* window = nullptr;
  if (forms::WindowHandle held = GetCapture()) {
    window = form.ControlOf(held);
  } else {
    window = form.Pointer().HitTest(formX, formY);
    while (window && window->Windowless()) window = window->Container();
  }
  const forms::PointL origin = window ? window->OriginInForm() : forms::PointL{};
  input.window = window;
  input.x = formX - origin.x;
  input.y = formY - origin.y;
  input.time = clock;
  form.Pointer().Input(input);
}

void FakePlatform::SendPointer(forms::Form& form, forms::PointerInput::Kind kind, int x, int y,
                               int button, int held, int shift) {
  clock += 10;
  forms::PointerInput in;
  in.kind = kind;
  in.button = button;
  in.held = held;
  in.shift = shift;
  Deliver(form, in, x, y);
}

void FakePlatform::MoveTo(forms::Form& form, int x, int y, int held, int shift) {
  SendPointer(form, forms::PointerInput::Kind::kMove, x, y, 0, held, shift);
}

void FakePlatform::Press(forms::Form& form, int x, int y, int button, int held) {
  SendPointer(form, forms::PointerInput::Kind::kPress, x, y, button, held < 0 ? button : held, 0);
}

void FakePlatform::Release(forms::Form& form, int x, int y, int button, int held) {
  SendPointer(form, forms::PointerInput::Kind::kRelease, x, y, button, held, 0);
}

void FakePlatform::ClickAt(forms::Form& form, int x, int y, std::uint32_t gapMs) {
  clock += gapMs;
  Press(form, x, y, forms::kLeftButton);
  Release(form, x, y, forms::kLeftButton);
}

}  // namespace fake

namespace fake {
namespace {

std::string Key(std::string_view application, std::string_view topic) {
  return std::string(application) + "|" + std::string(topic);
}

}  // namespace

void FakeLink::Note(std::string entry) {
  if (events) events->push_back("link " + entry);
  log.push_back(std::move(entry));
}

bool FakeLink::PrevInstance() {
  Note("prev-instance");
  return otherInstance;
}

bool FakeLink::Serve(std::string_view application, std::string_view topic,
                     ExecuteHandler onExecute) {
  Note("serve " + Key(application, topic));
  return served_.emplace(Key(application, topic), std::move(onExecute)).second;
}

void FakeLink::StopServing(std::string_view application, std::string_view topic) {
  Note("stop " + Key(application, topic));
  served_.erase(Key(application, topic));
}

bool FakeLink::Execute(std::string_view application, std::string_view topic,
                       std::string_view command, int timeoutMs) {
  Note("execute " + Key(application, topic) + " within " + std::to_string(timeoutMs) + ": " +
       std::string(command));
  return otherAccepts;
}

bool FakeLink::Deliver(const std::string& applicationAndTopic, std::string_view command) {
  auto it = served_.find(applicationAndTopic);
  return it != served_.end() && it->second(command);
}

}  // namespace fake
