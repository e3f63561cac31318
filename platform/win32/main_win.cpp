// kivo.exe's entry: sets up OLE, runs the program's Main and the message loop
// (with the main window's keyboard hooks) until the main window is destroyed.
// A second start never reaches the loop: the program ends it inside Main.
// Not yet: other windows' loops. Must not know about any control.
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

int RunMessageLoop(win32::Win32FormNative* native) {
  MSG message{};
  for (;;) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(message.wParam);
    if (got == -1) return 1;
    if (native && native->PreTranslate(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
    if (native) native->AfterDispatch(message);
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
    // The form's destructor tears the browser down before OLE goes.
    return RunMessageLoop(static_cast<win32::Win32FormNative*>(ba1->Native()));
  } catch (const std::exception& e) {
    ReportFatal(win32::Widen(e.what()).c_str());
  } catch (...) {
    ReportFatal(L"Unexpected failure.");
  }
  return 1;
}
