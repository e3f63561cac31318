// Soak probe for the Wine run, never shipped: finds kivo.exe among the
// processes by name and reports what it holds, from the outside, with the
// calls any other program could make. Without arguments it prints one
// sample; with --serve it answers one line per command read from standard
// input, so that a soak pays for Wine's start-up once:
//
//   count     "pid P gdi G user U gui_error E windows W handles H ws_kb K private_kb K"
//             GetGuiResources' GDI and USER object counts (and GetLastError
//             after them: a Wine that does not implement the call says so
//             there), the windows of the process (top-level and children),
//             its kernel handles and its working set and private bytes
//   state     "main V menu M about A": main window visible, a popup menu
//             showing, the about box showing (1 or 0 each)
//   maximize, restore   ShowWindow on the main window, then "ok" once it is
//             (or is no longer) zoomed and its size settled, or "error ..."
#include <windows.h>
// After <windows.h>.
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

namespace {

constexpr wchar_t kCaption[] = L"Kivo手机电影下载器";
constexpr wchar_t kAboutCaption[] = L"关于我们";

void Print(const char* line) {
  std::fputs(line, stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

DWORD FindKivo() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  DWORD found = 0;
  for (BOOL more = Process32FirstW(snapshot, &entry); more && !found;
       more = Process32NextW(snapshot, &entry)) {
    if (_wcsicmp(entry.szExeFile, L"kivo.exe") == 0) found = entry.th32ProcessID;
  }
  CloseHandle(snapshot);
  return found;
}

struct WindowCount {
  DWORD pid;
  int windows;
};

BOOL CALLBACK CountChild(HWND window, LPARAM data) {
  auto* count = reinterpret_cast<WindowCount*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == count->pid) ++count->windows;
  return TRUE;
}

BOOL CALLBACK CountTop(HWND window, LPARAM data) {
  auto* count = reinterpret_cast<WindowCount*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != count->pid) return TRUE;
  ++count->windows;
  // EnumChildWindows walks all descendants, not just the direct children.
  EnumChildWindows(window, CountChild, data);
  return TRUE;
}

void Count() {
  const DWORD pid = FindKivo();
  if (!pid) {
    Print("error: no kivo.exe");
    return;
  }
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  if (!process) process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!process) {
    char line[64];
    std::snprintf(line, sizeof line, "error: cannot open process %lu", pid);
    Print(line);
    return;
  }
  SetLastError(0);
  const DWORD gdi = GetGuiResources(process, GR_GDIOBJECTS);
  const DWORD user = GetGuiResources(process, GR_USEROBJECTS);
  const DWORD guiError = GetLastError();
  WindowCount windows{pid, 0};
  EnumWindows(CountTop, reinterpret_cast<LPARAM>(&windows));
  DWORD handles = 0;
  GetProcessHandleCount(process, &handles);
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
  CloseHandle(process);
  char line[256];
  std::snprintf(line, sizeof line,
                "pid %lu gdi %lu user %lu gui_error %lu windows %d handles %lu ws_kb %zu "
                "private_kb %zu",
                pid, gdi, user, guiError, windows.windows, handles, memory.WorkingSetSize / 1024,
                memory.PrivateUsage / 1024);
  Print(line);
}

bool Showing(HWND window) { return window && IsWindowVisible(window); }

void State() {
  char line[64];
  std::snprintf(line, sizeof line, "main %d menu %d about %d",
                Showing(FindWindowW(nullptr, kCaption)) ? 1 : 0,
                Showing(FindWindowW(L"#32768", nullptr)) ? 1 : 0,
                Showing(FindWindowW(L"KivoForm", kAboutCaption)) ? 1 : 0);
  Print(line);
}

void Zoom(bool maximize) {
  HWND window = FindWindowW(nullptr, kCaption);
  if (!window) {
    Print("error: no main window");
    return;
  }
  ShowWindowAsync(window, maximize ? SW_MAXIMIZE : SW_RESTORE);
  const ULONGLONG end = GetTickCount64() + 10000;
  RECT last{};
  int steady = 0;
  // Done once the state is right and the size has held for three polls:
  // the program lays itself out on the way.
  while (GetTickCount64() < end) {
    RECT now{};
    GetWindowRect(window, &now);
    const bool zoomed = IsZoomed(window) != FALSE;
    steady = zoomed == maximize && std::memcmp(&now, &last, sizeof now) == 0 ? steady + 1 : 0;
    if (steady >= 3) {
      Print("ok");
      return;
    }
    last = now;
    Sleep(20);
  }
  Print(maximize ? "error: not maximized" : "error: not restored");
}

bool Run(const char* command) {
  if (std::strcmp(command, "count") == 0) {
    Count();
  } else if (std::strcmp(command, "state") == 0) {
    State();
  } else if (std::strcmp(command, "maximize") == 0) {
    Zoom(true);
  } else if (std::strcmp(command, "restore") == 0) {
    Zoom(false);
  } else {
    Print("usage: kivo_soak_probe [--serve] (commands: count, state, maximize, restore)");
    return false;
  }
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc > 1 && std::wcscmp(argv[1], L"--serve") == 0) {
    char line[64];
    while (std::fgets(line, sizeof line, stdin)) {
      line[std::strcspn(line, "\r\n")] = '\0';
      if (line[0]) Run(line);
    }
    return 0;
  }
  // Commands are ASCII words: anything else is no command.
  std::string command = "count";
  if (argc > 1) {
    command.clear();
    for (const wchar_t* c = argv[1]; *c; ++c) command += *c < 128 ? static_cast<char>(*c) : '?';
  }
  return Run(command.c_str()) ? 0 : 64;
}
