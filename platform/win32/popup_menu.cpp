// Popup menus of a form on Win32: TrackPopupMenu on a menu built from the
// items the form gives, at the pointer, and closing one that is open. Not
// yet: submenus, checked or greyed items (the program's menus have none).
// It only reports the choice: the form runs the item's command after the
// menu loop has returned, so no program code runs inside it from here.
#include "platform/win32/win32_form.h"

namespace win32 {
namespace {

struct MenuTraits {
  static void Close(HMENU menu) { DestroyMenu(menu); }
};
using PopupMenu = Owned<HMENU, MenuTraits>;

}  // namespace

int Win32FormNative::TrackPopupMenu(const std::vector<forms::PopupItem>& items) {
  HWND owner = state_.window;
  if (!owner || items.empty()) return -1;
  PopupMenu menu(CreatePopupMenu());
  if (!menu) return -1;
  for (std::size_t i = 0; i < items.size(); ++i) {
    // Ids from 1: TrackPopupMenu returns 0 for "nothing chosen".
    const UINT_PTR id = i + 1;
    const BOOL added = items[i].separator ? AppendMenuW(menu.Get(), MF_SEPARATOR, id, nullptr)
                                          : AppendMenuW(menu.Get(), MF_STRING, id,
                                                        Widen(items[i].caption).c_str());
    if (!added) return -1;
  }
  // The menu loop closes on a click elsewhere only while its owner is the
  // foreground window; a tray icon's menu opens while another program has
  // the foreground, and would otherwise stay open until chosen from.
  SetForegroundWindow(owner);
  POINT at{};
  GetCursorPos(&at);
  const UINT chosen = static_cast<UINT>(
      ::TrackPopupMenu(menu.Get(), TPM_LEFTALIGN | TPM_LEFTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY,
                       at.x, at.y, 0, owner, nullptr));
  // Makes the owner's thread switch tasks once the menu is gone, so the
  // next tray menu opens and closes properly (the shell's documented
  // workaround). Harmless to a window destroyed meanwhile.
  PostMessageW(owner, WM_NULL, 0, 0);
  if (chosen == 0 || chosen > items.size()) return -1;
  return static_cast<int>(chosen) - 1;
}

void Win32FormNative::CancelPopupMenu() {
  // The menu loop belongs to this thread: EndMenu closes it as Escape would.
  EndMenu();
}

}  // namespace win32
