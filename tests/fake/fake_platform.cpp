#include "fake_platform.h"

#include <algorithm>
#include <stdexcept>

namespace fake {
namespace {

forms::WindowHandle HandleOf(FakeWindow* window) {
  return reinterpret_cast<forms::WindowHandle>(window);
}

class FakeNative final : public forms::FormNative {
 public:
  FakeNative(FakeWindow& window) : window_(window) {}

  forms::WindowHandle Handle() override { return HandleOf(&window_); }
  void CreateControl(forms::Control& control) override { control.peer = &window_; }
  void ControlMoved(forms::Control&) override {}
  void ControlVisibility(forms::Control&) override {}
  void ControlRefresh(forms::Control& control) override { ++window_.refreshes[&control]; }
  void ControlTextChanged(forms::Control&) override {}
  void FormRefresh() override {}
  void FormShow() override { window_.log.push_back("show"); }
  void FormHide() override { window_.log.push_back("hide"); }
  void FormSetOuterSize(int w, int h) override {
    window_.log.push_back("size " + std::to_string(w) + "x" + std::to_string(h));
  }
  void FormSetState(forms::WindowState state) override {
    window_.log.push_back("state " + std::to_string(static_cast<int>(state)));
  }
  void Navigate(forms::Control&, const std::string& url) override {
    window_.navigations.push_back(url);
  }

 private:
  FakeWindow& window_;
};

}  // namespace

FakePlatform::FakePlatform() = default;
FakePlatform::~FakePlatform() = default;

FakeWindow& FakePlatform::Window(forms::WindowHandle handle) {
  auto* window = reinterpret_cast<FakeWindow*>(handle);
  for (auto& w : windows_) {
    if (w.get() == window) return *w;
  }
  throw std::logic_error("unknown window handle");
}

FakeWindow& FakePlatform::WindowOf(const forms::Form& form) { return Window(form.hWnd()); }

forms::LResult FakePlatform::Send(forms::WindowHandle window, std::uint32_t message,
                                  forms::WParam wParam, forms::LParam lParam) {
  return Window(window).longs.chain.Send(window, message, wParam, lParam);
}

std::unique_ptr<forms::FormNative> FakePlatform::CreateFormNative(forms::Form& form) {
  windows_.push_back(std::make_unique<FakeWindow>());
  windows_.back()->form = &form;
  return std::make_unique<FakeNative>(*windows_.back());
}

bool FakePlatform::SystemParametersInfo(std::uint32_t action, std::uint32_t, void* data,
                                        std::uint32_t) {
  if (action != forms::kSpiGetWorkArea || workAreaFails || !data) return false;
  *static_cast<forms::RectL*>(data) = workArea;
  return true;
}

std::intptr_t FakePlatform::GetWindowLongPtr(forms::WindowHandle window, int index) {
  return Window(window).longs.Get(index);
}

std::intptr_t FakePlatform::SetWindowLongPtr(forms::WindowHandle window, int index,
                                             std::intptr_t value) {
  return Window(window).longs.Set(index, value);
}

forms::RegionHandle FakePlatform::CreateRoundRectRgn(int left, int top, int right, int bottom,
                                                     int ellipseW, int ellipseH) {
  pendingRegions_.push_back(std::make_unique<forms::RoundRectRegion>(
      forms::RoundRectRegion{left, top, right, bottom, ellipseW, ellipseH}));
  return reinterpret_cast<forms::RegionHandle>(pendingRegions_.back().get());
}

int FakePlatform::SetWindowRgn(forms::WindowHandle window, forms::RegionHandle region,
                               bool redraw) {
  auto& w = Window(window);
  auto* data = reinterpret_cast<forms::RoundRectRegion*>(region);
  auto it = std::find_if(pendingRegions_.begin(), pendingRegions_.end(),
                         [data](const auto& r) { return r.get() == data; });
  if (it == pendingRegions_.end()) return 0;
  // The window now owns the region, as the system would.
  w.region = **it;
  pendingRegions_.erase(it);
  ++w.regionsSet;
  w.lastRedraw = redraw;
  return 1;
}

bool FakePlatform::BitBlt(forms::Dc dst, int x, int y, int w, int h, forms::Dc src, int sx,
                          int sy, std::uint32_t rop) {
  return forms::PortableBitBlt(dst, x, y, w, h, src, sx, sy, rop);
}

bool FakePlatform::StretchBlt(forms::Dc dst, int x, int y, int w, int h, forms::Dc src, int sx,
                              int sy, int sw, int sh, std::uint32_t rop) {
  ++stretchBlts;
  return forms::PortableStretchBlt(dst, x, y, w, h, src, sx, sy, sw, sh, rop);
}

forms::Color FakePlatform::SystemColor(forms::SysColor color) {
  return color == forms::SysColor::kWindow ? windowColor : windowTextColor;
}

std::optional<forms::Picture> FakePlatform::LoadBitmapResource(int id) {
  bitmapRequests.push_back(id);
  auto it = bitmaps.find(id);
  if (it == bitmaps.end()) return std::nullopt;
  return it->second;
}

std::optional<forms::Picture> FakePlatform::LoadDesignPicture(std::string_view name) {
  auto it = designPictures.find(std::string(name));
  if (it == designPictures.end()) return std::nullopt;
  return it->second;
}

}  // namespace fake
