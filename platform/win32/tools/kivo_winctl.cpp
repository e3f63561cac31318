// Test tool for the Wine end-to-end run, never shipped: finds the main window
// by its caption and reports or changes it through the ordinary user32 calls
// any other program could make. It must not rely on anything inside kivo.exe.
//
//   kivo_winctl rect                     window rect, state and the work area
//   kivo_winctl wait SECONDS             waits for the window to be visible
//   kivo_winctl maximize|minimize|restore|hide [SECONDS]
//   kivo_winctl movesize                 "movesize 1" while the window's thread
//                                        runs the system's move or size loop
//   kivo_winctl text                     the search box's text (UTF-8)
//   kivo_winctl watch X Y RRGGBB SECONDS prints "ready", then the Unix time in
//                                        ms when window pixel (X, Y) shows RRGGBB
//   kivo_winctl front                    "front 1" while the main window is the
//                                        foreground window
//   kivo_winctl count                    "windows N visible M": top-level windows
//                                        with the caption, and how many show
//   kivo_winctl most SECONDS             prints "ready", samples for SECONDS and
//                                        prints "most M", the most that showed
//   kivo_winctl cover SECONDS            a window of its own that takes the
//                                        foreground; "ready" once it has it
//   kivo_winctl tray                     "taskbar L T R B": the taskbar, whose
//                                        right end is the notification area
//   kivo_winctl taskbar                  "button CAPTION" per taskbar button shown
//   kivo_winctl about                    the about box: "about L T R B client W H
//                                        visible V owned O", "origin X Y" of its
//                                        client area, its close box's
//                                        "closebox X Y" and "focus CLASS TEXT"
//   kivo_winctl menu                     "menu 1 L T R B" while a popup menu shows,
//                                        else "menu 0"
//   kivo_winctl close [about]            posts WM_CLOSE to the main window (or
//                                        the about box), as the taskbar would
//   kivo_winctl forgeticon               deletes the main window's icon (id 0)
//                                        from the notification area, as a shell
//                                        that restarts loses it
//   kivo_winctl taskbarcreated           broadcasts TaskbarCreated, as a shell
//                                        does once it has (re)started
#include <windows.h>
// After <windows.h>.
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

constexpr wchar_t kCaption[] = L"Kivo手机电影下载器";
constexpr wchar_t kAboutCaption[] = L"关于我们";

HWND MainWindow() { return FindWindowW(nullptr, kCaption); }
HWND AboutWindow() { return FindWindowW(L"KivoForm", kAboutCaption); }

void Print(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string out(n > 0 ? n : 0, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

long long UnixMillis() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  const ULONGLONG ticks = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return static_cast<long long>((ticks - 116444736000000000ULL) / 10000ULL);
}

int Report(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  char line[256];
  std::snprintf(line, sizeof line, "window %ld %ld %ld %ld visible %d iconic %d zoomed %d", r.left,
                r.top, r.right, r.bottom, IsWindowVisible(window) ? 1 : 0, IsIconic(window) ? 1 : 0,
                IsZoomed(window) ? 1 : 0);
  Print(line);
  std::snprintf(line, sizeof line, "workarea %ld %ld %ld %ld", work.left, work.top, work.right,
                work.bottom);
  Print(line);
  return 0;
}

// Polls `done` every `everyMs` for up to `seconds`.
template <typename Done>
bool PollFor(double seconds, Done done, DWORD everyMs = 10) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
  for (;;) {
    if (done()) return true;
    if (GetTickCount64() >= end) return false;
    Sleep(everyMs);
  }
}

int Wait(double seconds) {
  HWND window = nullptr;
  if (!PollFor(seconds, [&] { return (window = MainWindow()) && IsWindowVisible(window); })) {
    Print("error: no visible main window");
    return 2;
  }
  return Report(window);
}

int ChangeState(const std::wstring& how, double seconds) {
  HWND window = MainWindow();
  if (!window) {
    Print("error: no main window");
    return 2;
  }
  int command = SW_RESTORE;
  if (how == L"maximize") command = SW_MAXIMIZE;
  if (how == L"minimize") command = SW_MINIMIZE;
  if (how == L"hide") command = SW_HIDE;
  // Async: the window's own thread carries it out, as for a taskbar click.
  ShowWindowAsync(window, command);
  const bool reached = PollFor(seconds, [&] {
    if (command == SW_MAXIMIZE) return IsZoomed(window) != FALSE;
    if (command == SW_MINIMIZE) return IsIconic(window) != FALSE;
    if (command == SW_HIDE) return IsWindowVisible(window) == FALSE;
    return !IsIconic(window) && !IsZoomed(window);
  });
  Report(window);
  return reached ? 0 : 3;
}

int Text() {
  HWND window = MainWindow();
  HWND edit = window ? FindWindowExW(window, nullptr, L"Edit", nullptr) : nullptr;
  if (!edit) {
    Print("error: no search box");
    return 2;
  }
  wchar_t buffer[4096] = {};
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(edit, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer),
                           SMTO_ABORTIFHUNG, 5000, &copied)) {
    Print("error: the window does not answer");
    return 3;
  }
  Print(Utf8(std::wstring(buffer, copied)));
  return 0;
}

int MoveSize() {
  HWND window = MainWindow();
  if (!window) {
    Print("error: no main window");
    return 2;
  }
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) {
    Print("error: no thread information");
    return 3;
  }
  Print((info.flags & GUI_INMOVESIZE) ? "movesize 1" : "movesize 0");
  return 0;
}

struct Census {
  int windows = 0;
  int visible = 0;
};

Census CountWindows() {
  Census census;
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        wchar_t text[64] = {};
        GetWindowTextW(window, text, 64);
        if (std::wcscmp(text, kCaption) == 0) {
          auto* counted = reinterpret_cast<Census*>(data);
          ++counted->windows;
          if (IsWindowVisible(window)) ++counted->visible;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&census));
  return census;
}

int Count() {
  const Census census = CountWindows();
  Print("windows " + std::to_string(census.windows) + " visible " + std::to_string(census.visible));
  return 0;
}

// A window flashing up between two samples is missed; 2 ms apart, a shown
// window that paints is not.
int Most(double seconds) {
  Print("ready");
  int most = 0;
  PollFor(
      seconds,
      [&] {
        most = std::max(most, CountWindows().visible);
        return false;
      },
      2);
  Print("most " + std::to_string(most));
  return 0;
}

int Front() {
  HWND window = MainWindow();
  HWND front = GetForegroundWindow();
  Print(window && front && GetAncestor(front, GA_ROOT) == window ? "front 1" : "front 0");
  return 0;
}

int Cover(double seconds) {
  HWND cover = CreateWindowExW(0, L"STATIC", L"kivo cover", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40,
                               40, 400, 300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!cover) {
    Print("error: no cover window");
    return 2;
  }
  SetForegroundWindow(cover);
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
  bool told = false;
  MSG message{};
  while (GetTickCount64() < end) {
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    if (!told && GetForegroundWindow() == cover) {
      Print("ready");
      told = true;
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  DestroyWindow(cover);
  return told ? 0 : 3;
}

int Watch(int x, int y, COLORREF want, double seconds) {
  Print("ready");
  HDC screen = GetDC(nullptr);
  long long painted = -1;
  PollFor(
      seconds,
      [&] {
        HWND window = MainWindow();
        if (!window || !IsWindowVisible(window)) return false;
        RECT r{};
        GetWindowRect(window, &r);
        if (GetPixel(screen, r.left + x, r.top + y) != want) return false;
        painted = UnixMillis();
        return true;
      },
      2);
  ReleaseDC(nullptr, screen);
  if (painted < 0) {
    Print("error: the pixel never showed");
    return 2;
  }
  Print("painted " + std::to_string(painted));
  return 0;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

std::wstring TextOf(HWND window) {
  wchar_t text[256] = {};
  // The window may belong to a hung program: never wait on it for long.
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                      2000, &copied);
  return std::wstring(text, copied);
}

std::string RectText(const RECT& r) {
  return std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.right) +
         " " + std::to_string(r.bottom);
}

// The taskbar's children: the start button and one button per task (their
// id is the task's window). The notification area's icons are no windows:
// the taskbar draws them at its right end.
template <typename Each>
int TrayChildren(Each each) {
  HWND tray = FindWindowW(L"Shell_TrayWnd", nullptr);
  if (!tray) {
    Print("error: no taskbar");
    return 2;
  }
  for (HWND child = GetWindow(tray, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (IsWindowVisible(child)) each(child);
  }
  return 0;
}

int Tray() {
  HWND tray = FindWindowW(L"Shell_TrayWnd", nullptr);
  if (!tray || !IsWindowVisible(tray)) {
    Print("error: no taskbar");
    return 2;
  }
  RECT r{};
  GetWindowRect(tray, &r);
  Print("taskbar " + RectText(r));
  return 0;
}

int Taskbar() {
  return TrayChildren([](HWND child) {
    if (_wcsicmp(ClassOf(child).c_str(), L"Button") != 0) return;
    const auto task = reinterpret_cast<HWND>(GetWindowLongPtrW(child, GWLP_ID));
    if (task) Print("button " + Utf8(TextOf(task)));
  });
}

int About() {
  HWND about = AboutWindow();
  if (!about) {
    Print("error: no about box");
    return 2;
  }
  RECT r{};
  GetWindowRect(about, &r);
  RECT client{};
  GetClientRect(about, &client);
  const HWND owner = GetWindow(about, GW_OWNER);
  Print("about " + RectText(r) + " client " + std::to_string(client.right) + " " +
        std::to_string(client.bottom) + " visible " + (IsWindowVisible(about) ? "1" : "0") +
        " owned " +
        (owner && owner == MainWindow() ? "1"
         : owner                        ? "2"
                                        : "0"));
  POINT origin{0, 0};
  ClientToScreen(about, &origin);
  Print("origin " + std::to_string(origin.x) + " " + std::to_string(origin.y));
  // The close box: the first spot along the caption that hit-tests as it.
  for (LONG x = r.right - 1; x > r.left; --x) {
    for (LONG y = r.top + 1; y < r.top + 40 && y < r.bottom; ++y) {
      DWORD_PTR hit = 0;
      if (SendMessageTimeoutW(about, WM_NCHITTEST, 0, MAKELPARAM(x, y), SMTO_ABORTIFHUNG, 2000,
                              &hit) &&
          hit == HTCLOSE) {
        // Its middle, three pixels further in.
        Print("closebox " + std::to_string(x - 6) + " " + std::to_string(y + 6));
        x = r.left;
        break;
      }
    }
  }
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  if (GetGUIThreadInfo(GetWindowThreadProcessId(about, nullptr), &info) && info.hwndFocus) {
    Print("focus " + Utf8(ClassOf(info.hwndFocus)) + " " + Utf8(TextOf(info.hwndFocus)));
  } else {
    Print("focus none");
  }
  return 0;
}

int Menu() {
  HWND menu = FindWindowW(L"#32768", nullptr);
  if (!menu || !IsWindowVisible(menu)) {
    Print("menu 0");
    return 0;
  }
  RECT r{};
  GetWindowRect(menu, &r);
  Print("menu 1 " + RectText(r));
  return 0;
}

int Close(bool about) {
  HWND window = about ? AboutWindow() : MainWindow();
  if (!window) {
    Print("error: no such window");
    return 2;
  }
  PostMessageW(window, WM_CLOSE, 0, 0);
  Print("posted");
  return 0;
}

int ForgetIcon() {
  NOTIFYICONDATAW icon{};
  icon.cbSize = NOTIFYICONDATAW_V2_SIZE;
  icon.hWnd = MainWindow();
  icon.uID = 0;
  if (!icon.hWnd) {
    Print("error: no main window");
    return 2;
  }
  Print(Shell_NotifyIconW(NIM_DELETE, &icon) ? "deleted" : "error: not deleted");
  return 0;
}

int TaskbarCreated() {
  const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
  DWORD_PTR ignored = 0;
  // Every top-level window hears it; none may hold the tool for long.
  SendMessageTimeoutW(HWND_BROADCAST, message, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
  Print("broadcast");
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // Sizes and positions in the screen's own pixels, whatever its DPI, as
  // the program (aware of each monitor's scale) sees them.
  SetProcessDPIAware();
  const std::wstring command = argc > 1 ? argv[1] : L"";
  auto number = [&](int i, double fallback) {
    return argc > i ? std::wcstod(argv[i], nullptr) : fallback;
  };
  if (command == L"rect") {
    HWND window = MainWindow();
    if (!window) {
      Print("error: no main window");
      return 2;
    }
    return Report(window);
  }
  if (command == L"wait") return Wait(number(2, 30));
  if (command == L"maximize" || command == L"minimize" || command == L"restore" ||
      command == L"hide") {
    return ChangeState(command, number(2, 10));
  }
  if (command == L"text") return Text();
  if (command == L"movesize") return MoveSize();
  if (command == L"front") return Front();
  if (command == L"count") return Count();
  if (command == L"most") return Most(number(2, 5));
  if (command == L"cover") return Cover(number(2, 30));
  if (command == L"tray") return Tray();
  if (command == L"taskbar") return Taskbar();
  if (command == L"about") return About();
  if (command == L"menu") return Menu();
  if (command == L"close") return Close(argc > 2 && std::wstring(argv[2]) == L"about");
  if (command == L"forgeticon") return ForgetIcon();
  if (command == L"taskbarcreated") return TaskbarCreated();
  if (command == L"watch" && argc > 4) {
    const unsigned long rgb = std::wcstoul(argv[4], nullptr, 16);
    return Watch(static_cast<int>(number(2, 0)), static_cast<int>(number(3, 0)),
                 RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF), number(5, 60));
  }
  Print(
      "usage: kivo_winctl rect|wait S|maximize|minimize|restore|hide|text|movesize|"
      "watch X Y RRGGBB S|front|count|most S|cover S|tray|taskbar|about|menu|close [about]|"
      "forgeticon|taskbarcreated");
  return 64;
}
