// Menus of a form, built from a constexpr design table: invisible top-level
// roots that are only ever popped up, with their items. A menu lives as long
// as its form stays loaded; its Click goes to the form's OnEvent.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace forms {

class Form;

// One row of a menu design, in the order the menus read: level 0 is a root,
// level 1 an item of the root above it.
struct MenuDesign {
  std::string_view name;
  std::string_view caption;
  int level = 0;
  bool visible = true;
};

class Menu {
 public:
  Menu(Form& owner, std::string name, std::string caption, bool visible)
      : owner_(&owner), name_(std::move(name)), caption_(std::move(caption)), visible_(visible) {}
  Menu(const Menu&) = delete;
  Menu& operator=(const Menu&) = delete;

  Form& Owner() const { return *owner_; }
  const std::string& Name() const { return name_; }
  const std::string& Caption() const { return caption_; }
  bool Visible() const { return visible_; }
  // A caption of a single hyphen makes a separator, which has no command.
  bool Separator() const { return caption_ == "-"; }
  const std::vector<std::unique_ptr<Menu>>& Items() const { return items_; }
  Menu& Add(std::string name, std::string caption, bool visible);

 private:
  Form* owner_;
  std::string name_;
  std::string caption_;
  bool visible_;
  std::vector<std::unique_ptr<Menu>> items_;
};

// What a backend is given to pop up: the visible items in order.
struct PopupItem {
  std::string caption;
  bool separator = false;
};

// The way back from a menu a host drew (the panel's own menu of a tray
// item): the index into the items it was given, which may come long after
// the popup call returned.
using MenuChoice = std::function<void(int)>;

// Builds the roots of `design` for `owner`. Rows that break the levels (an
// item before any root, a level below 0 or above 1) are skipped.
std::vector<std::unique_ptr<Menu>> BuildMenus(Form& owner, std::span<const MenuDesign> design);

}  // namespace forms
