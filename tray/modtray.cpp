#include "tray/modtray.h"

#include <algorithm>

namespace modTray {
namespace {

TrayData tray;

// UTF-8 to UTF-16; malformed bytes become U+FFFD.
std::u16string Utf16(std::string_view text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    int extra = b < 0x80 ? 0 : (b >> 5) == 0x6 ? 1 : (b >> 4) == 0xE ? 2 : (b >> 3) == 0x1E ? 3 : -1;
    char32_t cp = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    bool ok = extra >= 0 && i + static_cast<std::size_t>(extra) < text.size();
    for (int k = 1; ok && k <= extra; ++k) {
      const auto c = static_cast<unsigned char>(text[i + k]);
      if ((c & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (c & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (!ok || cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += static_cast<std::size_t>(extra) + 1;
  }
  return out;
}

}  // namespace

void FillTip(char16_t (&field)[forms::kNotifyTipChars], std::string_view utf8) {
  std::u16string text = Utf16(utf8);
  std::size_t n = std::min<std::size_t>(text.size(), forms::kNotifyTipChars - 1);
  // Never split a surrogate pair at the cut.
  if (n > 0 && n < text.size() && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
  std::fill(std::begin(field), std::end(field), u' ');
  std::copy_n(text.begin(), n, field);
  field[n] = u'\0';
}

void AddTrayIcon(forms::Form& owner, forms::Menu& menu, std::string_view tipText) {
  auto& os = owner.Os();
  tray.TrayOwnerForm = &owner;
  tray.TrayPopupMenu = {&menu.Owner(), menu.Name()};
  // Hooked before the icon exists, so its first click already reaches us.
  tray.TrayPrevWndProc = reinterpret_cast<forms::WndProc>(os.SetWindowLongPtr(
      owner.hWnd(), forms::kGwlWndProc, reinterpret_cast<std::intptr_t>(&TrayWindowProc)));
  tray.hooked = true;

  forms::NotifyIconData& data = tray.TrayIconData;
  data = {};
  data.uID = 0;
  data.cbSize = sizeof(forms::NotifyIconData);
  data.hWnd = owner.hWnd();
  data.hIcon = owner.Icon();
  data.uFlags = forms::kNifMessage | forms::kNifIcon | forms::kNifTip | forms::kNifInfo;
  data.uCallbackMessage = TrayCallbackMessage;
  FillTip(data.szTip, tipText);
  os.Shell_NotifyIcon(forms::kNimAdd, data);
}

void RemoveTrayIcon() {
  if (!tray.hooked || !tray.TrayOwnerForm) return;
  forms::Form& owner = *tray.TrayOwnerForm;
  tray.TrayIconData.uFlags = 0;
  owner.Os().Shell_NotifyIcon(forms::kNimDelete, tray.TrayIconData);
  owner.Os().SetWindowLongPtr(owner.hWnd(), forms::kGwlWndProc,
                              reinterpret_cast<std::intptr_t>(tray.TrayPrevWndProc));
  tray.hooked = false;
}

forms::LResult TrayWindowProc(forms::WindowHandle hwnd, std::uint32_t msg, forms::WParam wParam,
                              forms::LParam lParam) {
  forms::Form* owner = tray.TrayOwnerForm;
  if (owner && msg == TrayCallbackMessage && lParam == forms::kWmLButtonUp) {
    if (owner->State() == forms::WindowState::kMinimized) {
      owner->SetWindowState(forms::WindowState::kNormal);
      return 0;
    }
    if (owner->Visible()) {
      owner->Hide();
    } else {
      owner->Show();
    }
    // Passed on like every other message.
  } else if (owner && msg == TrayCallbackMessage && lParam == forms::kWmRButtonUp) {
    if (forms::Form* menuForm = tray.TrayPopupMenu.form) {
      menuForm->Load();
      if (forms::Menu* menu = menuForm->FindMenu(tray.TrayPopupMenu.name)) owner->PopupMenu(*menu);
    }
    // The exit command may have unloaded every window meanwhile: nothing of
    // them is touched again.
    return 0;
  }
  if (!owner) return 0;
  return owner->Os().CallWindowProc(tray.TrayPrevWndProc, hwnd, msg, wParam, lParam);
}

const TrayData& Data() { return tray; }

void Forget(const forms::Form& form) {
  if (tray.TrayOwnerForm == &form || tray.TrayPopupMenu.form == &form) tray = TrayData{};
}

}  // namespace modTray
