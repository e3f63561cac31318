// The notification-area icons on Win32: Shell_NotifyIconW with the
// program's record, the records kept while added, and the platform's hidden
// window, which owns the forms without a taskbar button and hears the
// shell's TaskbarCreated broadcast to add every icon again. Not yet:
// NIM_MODIFY and balloon tips (the program uses neither). Whether an icon
// could be added tells the program whether there is a tray to hide into.
// The icon's clicks need nothing here: the shell sends the record's
// callback message to the owner window, whose procedure chain the program
// has hooked itself.
#include <cstddef>
#include <cstring>
#include <type_traits>

#include "platform/win32/win32_form.h"
#include "platform/win32/win32_platform.h"

namespace win32 {
namespace {

constexpr wchar_t kHiddenClass[] = L"KivoHidden";

// The program's record is NOTIFYICONDATAW up to dwInfoFlags, byte for byte.
using Nid = NOTIFYICONDATAW;
using Rec = forms::NotifyIconData;
static_assert(sizeof(Rec) == NOTIFYICONDATAW_V2_SIZE);
static_assert(offsetof(Rec, hWnd) == offsetof(Nid, hWnd) &&
              offsetof(Rec, uID) == offsetof(Nid, uID) &&
              offsetof(Rec, uFlags) == offsetof(Nid, uFlags) &&
              offsetof(Rec, uCallbackMessage) == offsetof(Nid, uCallbackMessage) &&
              offsetof(Rec, hIcon) == offsetof(Nid, hIcon) &&
              offsetof(Rec, szTip) == offsetof(Nid, szTip) &&
              sizeof(Rec::szTip) == sizeof(Nid::szTip) &&
              offsetof(Rec, dwState) == offsetof(Nid, dwState) &&
              offsetof(Rec, dwStateMask) == offsetof(Nid, dwStateMask) &&
              offsetof(Rec, szInfo) == offsetof(Nid, szInfo) &&
              offsetof(Rec, uTimeout) == offsetof(Nid, uTimeout) &&
              offsetof(Rec, szInfoTitle) == offsetof(Nid, szInfoTitle) &&
              offsetof(Rec, dwInfoFlags) == offsetof(Nid, dwInfoFlags));
static_assert(std::is_same_v<forms::IconHandle, HICON>);

Nid ToSystem(const Rec& record) {
  Nid nid{};
  // The version the record's fields reach to, whatever cbSize the program
  // set: the shell reads no further than it is told.
  nid.cbSize = NOTIFYICONDATAW_V2_SIZE;
  nid.hWnd = record.hWnd;
  nid.uID = record.uID;
  nid.uFlags = record.uFlags;
  nid.uCallbackMessage = record.uCallbackMessage;
  nid.hIcon = record.hIcon;
  std::memcpy(nid.szTip, record.szTip, sizeof(nid.szTip));
  nid.dwState = record.dwState;
  nid.dwStateMask = record.dwStateMask;
  std::memcpy(nid.szInfo, record.szInfo, sizeof(nid.szInfo));
  nid.uTimeout = record.uTimeout;
  std::memcpy(nid.szInfoTitle, record.szInfoTitle, sizeof(nid.szInfoTitle));
  nid.dwInfoFlags = record.dwInfoFlags;
  // Text fields the program filled to the end are cut rather than read on.
  nid.szTip[ARRAYSIZE(nid.szTip) - 1] = L'\0';
  nid.szInfo[ARRAYSIZE(nid.szInfo) - 1] = L'\0';
  nid.szInfoTitle[ARRAYSIZE(nid.szInfoTitle) - 1] = L'\0';
  return nid;
}

bool SameIcon(const Nid& a, const Nid& b) { return a.hWnd == b.hWnd && a.uID == b.uID; }

LRESULT CALLBACK HiddenProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    auto* platform = AttachedObject<Win32Platform>(window, message, lParam);
    static const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    if (platform && taskbarCreated && message == taskbarCreated) {
      platform->TrayRecreated();
      return 0;
    }
    if (message == WM_NCDESTROY) SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  } catch (...) {
    // Nothing may unwind into the system.
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

HWND Win32Platform::HiddenOwner() {
  if (hiddenOwner_) return hiddenOwner_.Get();
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &HiddenProc;
  wc.hInstance = instance_;
  wc.lpszClassName = kHiddenClass;
  if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
  // A top-level window, never shown: broadcasts reach it (a message-only
  // window would hear none) and it can own other windows.
  hiddenOwner_.Reset(CreateWindowExW(WS_EX_TOOLWINDOW, kHiddenClass, L"", WS_POPUP, 0, 0, 0, 0,
                                     nullptr, nullptr, instance_, this));
  return hiddenOwner_.Get();
}

void Win32Platform::Disown(HWND window) {
  for (Win32FormNative* native : natives_) {
    HWND owned = static_cast<HWND>(native->Handle());
    if (owned && owned != window && GetWindow(owned, GW_OWNER) == window) {
      SetWindowLongPtrW(owned, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(HiddenOwner()));
    }
  }
}

bool Win32Platform::Shell_NotifyIcon(std::uint32_t message, const forms::NotifyIconData& data) {
  Nid nid = ToSystem(data);
  // The notification area shows small icons: the application icon's own
  // small image looks as drawn, where the big one would be scaled down.
  nid.hIcon = SmallIconOf(nid.hIcon);
  if (message == NIM_ADD) {
    // The hidden window must exist before the shell can restart, or the
    // broadcast that tells of it finds nobody listening.
    HiddenOwner();
    const bool added = Shell_NotifyIconW(NIM_ADD, &nid) != FALSE;
    // No shell to take it: nothing could bring a hidden window back.
    trayShown_ = added;
    // Kept even when the shell is not there yet: it adds the icon once it
    // comes and announces itself.
    std::erase_if(trayIcons_, [&](const Nid& kept) { return SameIcon(kept, nid); });
    trayIcons_.push_back(nid);
    return added;
  }
  if (message == NIM_DELETE) {
    std::erase_if(trayIcons_, [&](const Nid& kept) { return SameIcon(kept, nid); });
    return Shell_NotifyIconW(NIM_DELETE, &nid) != FALSE;
  }
  return false;
}

void Win32Platform::TrayRecreated() {
  for (Nid& nid : trayIcons_) {
    if (IsWindow(nid.hWnd) && Shell_NotifyIconW(NIM_ADD, &nid)) trayShown_ = true;
  }
}

}  // namespace win32
