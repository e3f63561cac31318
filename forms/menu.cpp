#include "forms/menu.h"

namespace forms {

Menu& Menu::Add(std::string name, std::string caption, bool visible) {
  items_.push_back(std::make_unique<Menu>(*owner_, std::move(name), std::move(caption), visible));
  return *items_.back();
}

std::vector<std::unique_ptr<Menu>> BuildMenus(Form& owner, std::span<const MenuDesign> design) {
  std::vector<std::unique_ptr<Menu>> roots;
  for (const MenuDesign& row : design) {
    if (row.level == 0) {
      roots.push_back(std::make_unique<Menu>(owner, std::string(row.name),
                                             std::string(row.caption), row.visible));
    } else if (row.level == 1 && !roots.empty()) {
      roots.back()->Add(std::string(row.name), std::string(row.caption), row.visible);
    }
  }
  return roots;
}

}  // namespace forms
