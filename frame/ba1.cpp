#include "frame/ba1.h"

#include <memory>

#include "app/main_mod.h"
#include "browse/addresses.h"
#include "frame/inventory.h"
#include "tray/modtray.h"
#include "tray/tip.h"

namespace frame {
namespace {

std::shared_ptr<const forms::Picture> DesignPicture(forms::Platform& os, std::string_view name) {
  if (name.empty()) return nullptr;
  auto picture = os.LoadDesignPicture(name);
  if (!picture || !picture->Valid()) return nullptr;
  return std::make_shared<const forms::Picture>(std::move(*picture));
}

}  // namespace

forms::Control::Design ToDesign(forms::Platform& os, const ControlDesign& entry) {
  // Children of pixel-scaled containers are placed in pixels; every
  // container of ours, the windows included, measures in pixels.
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
  return design;
}

BA1::BA1(forms::Platform& platform) : Form(platform, "BA1") { Build(); }

BA1::~BA1() { modTray::Forget(*this); }

tray::tip& BA1::tip() {
  if (!tip_) tip_ = std::make_unique<tray::tip>(Os(), *this);
  return *tip_;
}

void BA1::Build() {
  auto& os = Os();
  forms::FormDesign form;
  form.caption = std::string(kCaption);
  form.backColor = forms::ColorSetting::Fixed(kBodyColor);
  form.clientWidthPx = kDesignClientWidthTwips / os.TwipsPerPixelX();
  form.clientHeightPx = kDesignClientHeightTwips / os.TwipsPerPixelY();
  form.startUpPosition = forms::StartUpPosition::kCenterScreen;
  SetDesign(std::move(form));
  SetIcon(os.LoadIconResource(kIconResource));
  SetLinkTopic(std::string(kLinkTopic));
  SetLinkMode(kLinkMode);
  SetKeyPreview(true);

  for (const auto& entry : kControls) {
    forms::Control* container =
        entry.container.empty() ? nullptr : Find(std::string(entry.container));
    auto& control = AddControl(entry.kind, std::string(entry.name), entry.index, container,
                               ToDesign(os, entry));

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
  for (const auto& entry : kAccessible) {
    if (forms::Control* c = Find(std::string(entry.name), entry.index)) {
      c->SetAccessible(entry.role, std::string(entry.accName));
    }
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
    {"npc", EventKind::kClick,
     [](BA1& b, const forms::Event& e) { b.npc_Click(e.source->Index()); }},
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
    {"Web1", EventKind::kDownloadBegin,
     [](BA1& b, const forms::Event&) { b.Web1_DownloadBegin(); }},
    {"Web1", EventKind::kDownloadComplete,
     [](BA1& b, const forms::Event&) { b.Web1_DownloadComplete(); }},
    {"Web1", EventKind::kNavigateError,
     [](BA1& b, const forms::Event& e) { b.Web1_NavigateError(e.text, e.failure, e.status); }},
    {"Web1", EventKind::kContextMenu,
     [](BA1& b, const forms::Event& e) {
       // Only the bound document's menu is ours; any other keeps its own.
       if (!e.result || !e.document || e.document != b.M_M1) return;
       *e.result = b.M_M1_oncontextmenu();
     }},
};

}  // namespace

void BA1::OnQueryUnload(int& cancel, forms::UnloadMode mode) { Form_QueryUnload(cancel, mode); }

void BA1::OnEvent(const forms::Event& event) {
  if (event.kind == EventKind::kLinkExecute) {
    if (event.cancel) Form_LinkExecute(event.text, *event.cancel);
    return;
  }
  if (!event.source) {  // the form's own surface
    if (event.kind == EventKind::kClick) Form_Click();
    if (event.kind == EventKind::kMouseMove) Form_MouseMove(event.button, event.shift, event.x, event.y);
    if (event.kind == EventKind::kKeyDown && event.keyCode)
      Form_KeyDown(*event.keyCode, event.shift);
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
