#include "frame/ba1.h"

#include <memory>

#include "app/main_mod.h"
#include "browse/addresses.h"
#include "frame/inventory.h"

namespace frame {
namespace {

std::shared_ptr<const forms::Picture> DesignPicture(forms::Platform& os, std::string_view name) {
  if (name.empty()) return nullptr;
  auto picture = os.LoadDesignPicture(name);
  if (!picture || !picture->Valid()) return nullptr;
  return std::make_shared<const forms::Picture>(std::move(*picture));
}

}  // namespace

BA1::BA1(forms::Platform& platform) : Form(platform, "BA1") { Build(); }

void BA1::Build() {
  auto& os = Os();
  SetDesign(std::string(kCaption), forms::ColorSetting::Fixed(kBodyColor),
            kDesignClientWidthTwips / os.TwipsPerPixelX(),
            kDesignClientHeightTwips / os.TwipsPerPixelY());
  SetLinkTopic(std::string(kLinkTopic));
  SetLinkMode(kLinkMode);

  for (const auto& entry : kControls) {
    forms::Control* container =
        entry.container.empty() ? nullptr : Find(std::string(entry.container));
    // Children of pixel-scaled containers are placed in pixels; every
    // container here, the window included, measures in pixels.
    forms::Control::Design design;
    design.rect = {entry.left / os.TwipsPerPixelX(), entry.top / os.TwipsPerPixelY(),
                   entry.width / os.TwipsPerPixelX(), entry.height / os.TwipsPerPixelY()};
    design.visible = entry.visible;
    design.backColor = entry.backColor;
    design.foreColor = entry.foreColor;
    design.text = entry.text;
    design.pointer = entry.pointer;
    design.autoRedraw = entry.autoRedraw;
    design.autoSize = entry.autoSize;
    design.scaleMode = entry.scaleMode;
    design.tabIndex = entry.tabIndex;
    design.picture = DesignPicture(os, entry.picture);
    design.mouseIcon = DesignPicture(os, entry.mouseIcon);
    auto& control = AddControl(entry.kind, std::string(entry.name), entry.index, container, design);

    const std::string_view name = entry.name;
    if (name == "npc") npc[entry.index] = &control;
    else if (name == "ppt") ppt[entry.index] = &control;
    else if (name == "la") la[entry.index] = &control;
    else if (name == "sok") sok = &control;
    else if (name == "sotext") sotext = &control;
    else if (name == "zz") zz = &control;
    else if (name == "Pic1") Pic1 = &control;
    else if (name == "Pic2") Pic2 = &control;
    else if (name == "Web1") Web1 = &control;
    else if (name == "dde") dde = &control;
    else if (name == "logo") logo = &control;
    else if (name == "so") so = &control;
  }
}

void BA1::Navigate(const std::string& address) { Web1->Navigate(address); }

void BA1::ShowCell(forms::Control& button, forms::Control& skin, int sx, int sy, int w, int h) {
  Os().BitBlt(button.hDC(), 0, 0, w, h, skin.hDC(), sx, sy, forms::kSrcCopy);
  button.Refresh();
}

namespace {

using forms::EventKind;
using Handler = void (*)(BA1&, const forms::Event&);

// Which handler runs for which control and event; the rest are ignored.
struct Route {
  std::string_view name;
  EventKind kind;
  Handler handler;
};

constexpr Route kRoutes[] = {
    {"npc", EventKind::kClick, [](BA1& b, const forms::Event& e) { b.npc_Click(e.source->Index()); }},
    {"la", EventKind::kClick, [](BA1& b, const forms::Event& e) { b.la_Click(e.source->Index()); }},
    {"sok", EventKind::kClick, [](BA1& b, const forms::Event&) { b.sok_Click(); }},
    {"sotext", EventKind::kClick, [](BA1& b, const forms::Event&) { b.sotext_Click(); }},
    {"sotext", EventKind::kLostFocus, [](BA1& b, const forms::Event&) { b.sotext_LostFocus(); }},
    {"sotext", EventKind::kKeyPress,
     [](BA1& b, const forms::Event& e) {
       if (e.keyAscii) b.sotext_KeyPress(*e.keyAscii);
     }},
    {"npc", EventKind::kMouseMove,
     [](BA1& b, const forms::Event& e) {
       b.npc_MouseMove(e.source->Index(), e.button, e.shift, e.x, e.y);
     }},
    {"sok", EventKind::kMouseMove,
     [](BA1& b, const forms::Event& e) { b.sok_MouseMove(e.button, e.shift, e.x, e.y); }},
    {"sok", EventKind::kMouseDown,
     [](BA1& b, const forms::Event& e) { b.sok_MouseDown(e.button, e.shift, e.x, e.y); }},
    {"sok", EventKind::kMouseUp,
     [](BA1& b, const forms::Event& e) { b.sok_MouseUp(e.button, e.shift, e.x, e.y); }},
    {"la", EventKind::kMouseMove,
     [](BA1& b, const forms::Event& e) {
       b.la_MouseMove(e.source->Index(), e.button, e.shift, e.x, e.y);
     }},
};

}  // namespace

void BA1::OnEvent(const forms::Event& event) {
  if (event.kind == EventKind::kLinkExecute) {
    if (event.cancel) Form_LinkExecute(event.text, *event.cancel);
    return;
  }
  if (!event.source) {  // the form's own surface
    if (event.kind == EventKind::kClick) Form_Click();
    if (event.kind == EventKind::kMouseMove) Form_MouseMove(event.button, event.shift, event.x, event.y);
    return;
  }
  for (const Route& route : kRoutes) {
    if (route.kind == event.kind && route.name == event.source->Name()) {
      route.handler(*this, event);
      return;
    }
  }
}

}  // namespace frame
