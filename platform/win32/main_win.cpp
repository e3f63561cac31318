// kivo.exe's entry: sets up OLE, runs the program's Main and the message loop
// (with each form's keyboard hooks) until the program has unloaded its last
// form. A second start never reaches the loop: the program ends it inside
// Main. Not yet: modal loops of the program's own. Must not know about any
// control.
#include <exception>

#include "app/main_mod.h"
#include "platform/win32/win32_form.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/win32_util.h"
#include "platform/win32/windows_api.h"

namespace {

class OleSession {
 public:
  OleSession() : ok_(SUCCEEDED(OleInitialize(nullptr))) {}
  ~OleSession() {
    if (ok_) OleUninitialize();
  }
  OleSession(const OleSession&) = delete;
  OleSession& operator=(const OleSession&) = delete;
  bool Ok() const { return ok_; }

 private:
  bool ok_;
};

int RunMessageLoop(win32::Win32Platform& platform) {
  MSG message{};
  for (;;) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(message.wParam);
    if (got == -1) return 1;
    if (platform.PreTranslate(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
    platform.AfterDispatch(message);
  }
}

void ReportFatal(const wchar_t* what) { MessageBoxW(nullptr, what, L"Kivo", MB_OK | MB_ICONERROR); }

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // The browser is an OLE object and wants a single-threaded apartment.
  OleSession ole;
  if (!ole.Ok()) {
    ReportFatal(L"OLE could not be initialised.");
    return 1;
  }
  try {
    win32::Win32Platform platform(instance);
    auto ba1 = Main_Mod::Main(platform);
    // Every form may be unloaded already (the load handler failed); the
    // loop would then wait for nothing.
    if (platform.LoadedForms().empty()) return 0;
    // The forms' destructors tear the browser down before OLE goes.
    return RunMessageLoop(platform);
  } catch (const std::exception& e) {
    ReportFatal(win32::Widen(e.what()).c_str());
  } catch (...) {
    ReportFatal(L"Unexpected failure.");
  }
  return 1;
}
