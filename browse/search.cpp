// The search field and its button.
#include <string>
#include <string_view>

#include "browse/addresses.h"
#include "browse/search_rules.h"
#include "frame/ba1.h"
#include "frame/inventory.h"

namespace frame {

void BA1::sotext_Click() {
  if (browse::IsPrompt(sotext->Text())) sotext->SetText("");
}

void BA1::sotext_LostFocus() {
  if (browse::IsBlank(sotext->Text())) sotext->SetText(std::string(kDefaultKeyword));
}

void BA1::Form_Click() { sotext_LostFocus(); }

void BA1::sotext_KeyPress(int& KeyAscii) {
  if (KeyAscii != 13) return;
  // Swallowed, so the single-line box neither inserts it nor beeps.
  KeyAscii = 0;
  sok_Click();
}

void BA1::sok_Click() {
  const std::string text = sotext->Text();
  if (browse::IsBlank(text) || browse::IsPrompt(text)) {
    sotext->SetText(std::string(kDefaultKeyword));
    return;
  }
  // A keyword too long for any address is refused; the box keeps it.
  if (auto address = browse::SearchAddress(text)) Navigate(*address);
}

}  // namespace frame
