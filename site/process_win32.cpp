// See process.h: console control events stand in for signals; nothing on
// Windows hands a listening socket over.
#include "site/process.h"

#include <conio.h>
#include <windows.h>

#include <condition_variable>
#include <iterator>
#include <mutex>

namespace site {
namespace {

std::mutex gStopMutex;
std::condition_variable gStopped;
bool gStopRequested = false;

BOOL WINAPI OnConsoleControl(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT: {
      {
        std::lock_guard lock(gStopMutex);
        gStopRequested = true;
      }
      gStopped.notify_all();
      // For a closing console Windows ends the process once this returns;
      // the wait gives the main thread its moment to stop the server.
      if (event == CTRL_CLOSE_EVENT) ::Sleep(1000);
      return TRUE;
    }
    default:
      return FALSE;
  }
}

}  // namespace

void CatchStopRequests() { ::SetConsoleCtrlHandler(OnConsoleControl, TRUE); }

bool WaitForStop(std::chrono::milliseconds timeout) {
  std::unique_lock lock(gStopMutex);
  return gStopped.wait_for(lock, timeout, [] { return gStopRequested; });
}

socket_t TakeHandedOverSocket() { return INVALID_SOCKET; }

void HoldFailureMessage() {
  DWORD processes[2];
  if (::GetConsoleProcessList(processes, 2) != 1) return;
  // In the console's own characters, whatever its code page.
  const wchar_t kPrompt[] = L"按任意键关闭此窗口。\r\n";
  DWORD written = 0;
  ::WriteConsoleW(::GetStdHandle(STD_ERROR_HANDLE), kPrompt, DWORD{std::size(kPrompt) - 1}, &written,
                  nullptr);
  _getch();
}

}  // namespace site
