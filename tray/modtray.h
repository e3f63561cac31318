// The notification-area icon of the main window: adding it, taking it away
// and the window procedure that answers its clicks. One icon for the life
// of the process, so the module keeps one set of data.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "forms/form.h"
#include "forms/menu.h"
#include "forms/types.h"

namespace modTray {

// The message by which the notification area reports on the icon.
inline constexpr std::uint32_t TrayCallbackMessage = forms::kWmUser + 1001;

// The menu popped by a right click, named by its form and name rather than
// held: its form may unload (the about box closed) and is loaded again,
// hidden, when the menu is next needed.
struct MenuRef {
  forms::Form* form = nullptr;
  std::string name;
};

struct TrayData {
  forms::Form* TrayOwnerForm = nullptr;
  MenuRef TrayPopupMenu;
  forms::WndProc TrayPrevWndProc = nullptr;
  forms::NotifyIconData TrayIconData;
  bool hooked = false;
};

// Hooks the owner's window procedure, then adds the icon with the owner's
// icon and `tipText` as its tool tip.
void AddTrayIcon(forms::Form& owner, forms::Menu& menu, std::string_view tipText);
// Deletes the icon and puts the replaced window procedure back; nothing
// when no icon was added.
void RemoveTrayIcon();
forms::LResult TrayWindowProc(forms::WindowHandle hwnd, std::uint32_t msg, forms::WParam wParam,
                              forms::LParam lParam);

const TrayData& Data();
// `form` is going away: the module lets go of it.
void Forget(const forms::Form& form);

// The tip field: the text in UTF-16, a NUL, blanks up to the field's end;
// a longer text is cut so the NUL always fits.
void FillTip(char16_t (&field)[forms::kNotifyTipChars], std::string_view utf8);

}  // namespace modTray
