// The send window: GTK widgets in the download window's colours (its style
// classes are already on the screen). The QR code comes from libqrencode at
// medium error correction and is drawn in whole device pixels per module
// with a quiet zone of four modules, so a camera or a decoder reads it at
// any scale. The figures follow the sender twice a second.
#include "send_window.h"

#include <qrencode.h>

#include <algorithm>
#include <system_error>
#include <utility>

#include "download_window.h"
#include "forms/downloads.h"
#include "gtk_platform.h"

namespace gtkplat {
namespace {

constexpr int kQuietModules = 4;
// The code's side at scale 1, about; modules stay whole pixels.
constexpr int kCodeSide = 220;
constexpr char kHint[] = "用手机扫描二维码下载（手机和电脑需连接同一网络）";

void Style(GtkWidget* widget, const char* cls) {
  gtk_style_context_add_class(gtk_widget_get_style_context(widget), cls);
}

GtkWidget* LeftLabel(const char* text, const char* cls) {
  GtkWidget* label = gtk_label_new(text);
  gtk_label_set_xalign(GTK_LABEL(label), 0);
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  if (cls) Style(label, cls);
  return label;
}

// "已发送 12.0 MB，1.5 MB/s，2 部手机正在下载，已完成 1 次", each part only
// when it says something.
std::string ProgressText(const sender::SendStatus& s) {
  std::string text = "已发送 " + forms::DownloadList::SizeText(s.bytesSent);
  const auto add = [&](const std::string& part) {
    if (!part.empty()) text += "，" + part;
  };
  if (s.phones > 0) {
    add(forms::DownloadList::SpeedText(static_cast<double>(s.bytesPerSecond)));
    add(std::to_string(s.phones) + " 部手机正在下载");
  }
  if (s.completed > 0) add("已完成 " + std::to_string(s.completed) + " 次");
  return text;
}

}  // namespace

SendWindow::SendWindow(sender::Service& service, GtkWindow* owner, std::filesystem::path file,
                       std::string name)
    : service_(service), file_(std::move(file)), name_(std::move(name)) {
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  g_object_ref_sink(window_);
  gtk_window_set_title(GTK_WINDOW(window_), "发送到手机 - Kivo手机电影下载器");
  gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
  if (owner) gtk_window_set_transient_for(GTK_WINDOW(window_), owner);
  Style(window_, "kivo-downloads");

  GtkWidget* page = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  GtkWidget* band = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
  Style(band, "kivo-band");
  gtk_box_pack_start(GTK_BOX(band), LeftLabel("发送到手机", "kivo-title"), FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(page), band, FALSE, FALSE, 0);

  GtkWidget* body = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
  Style(body, "kivo-row");
  GtkWidget* title = LeftLabel(name_.c_str(), "kivo-name");
  gtk_label_set_selectable(GTK_LABEL(title), FALSE);
  gtk_box_pack_start(GTK_BOX(body), title, FALSE, FALSE, 0);
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(file_, error);
  const std::string sizeText = "大小：" + (error ? std::string("未知") : forms::DownloadList::SizeText(size));
  gtk_box_pack_start(GTK_BOX(body), LeftLabel(sizeText.c_str(), "kivo-status"), FALSE, FALSE, 0);

  // Several networks: the phone must be on the one chosen.
  network_ = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  networks_ = gtk_combo_box_text_new();
  GtkWidget* label = LeftLabel("网络：", "kivo-status");
  gtk_label_set_mnemonic_widget(GTK_LABEL(label), networks_);
  gtk_box_pack_start(GTK_BOX(network_), label, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(network_), networks_, TRUE, TRUE, 0);
  gtk_widget_show(label);
  gtk_widget_show(networks_);
  gtk_widget_set_no_show_all(network_, TRUE);
  gtk_box_pack_start(GTK_BOX(body), network_, FALSE, FALSE, 0);
  g_signal_connect(networks_, "changed", G_CALLBACK(OnNetworkChosen), this);

  code_ = gtk_drawing_area_new();
  gtk_widget_set_halign(code_, GTK_ALIGN_CENTER);
  gtk_widget_set_no_show_all(code_, TRUE);
  AtkObject* codeAccessible = gtk_widget_get_accessible(code_);
  atk_object_set_role(codeAccessible, ATK_ROLE_IMAGE);
  atk_object_set_name(codeAccessible, "二维码");
  g_signal_connect(code_, "draw", G_CALLBACK(OnDrawCode), this);
  gtk_box_pack_start(GTK_BOX(body), code_, FALSE, FALSE, 6);

  address_ = LeftLabel("", nullptr);
  gtk_label_set_selectable(GTK_LABEL(address_), TRUE);
  gtk_widget_set_halign(address_, GTK_ALIGN_CENTER);
  gtk_widget_set_no_show_all(address_, TRUE);
  gtk_box_pack_start(GTK_BOX(body), address_, FALSE, FALSE, 0);
  hint_ = LeftLabel(kHint, "kivo-status");
  gtk_widget_set_no_show_all(hint_, TRUE);
  gtk_box_pack_start(GTK_BOX(body), hint_, FALSE, FALSE, 0);
  progress_ = LeftLabel("", "kivo-status");
  gtk_widget_set_no_show_all(progress_, TRUE);
  gtk_box_pack_start(GTK_BOX(body), progress_, FALSE, FALSE, 0);
  problem_ = LeftLabel("", "kivo-failed");
  gtk_widget_set_no_show_all(problem_, TRUE);
  gtk_box_pack_start(GTK_BOX(body), problem_, FALSE, FALSE, 0);

  GtkWidget* buttons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  stop_ = gtk_button_new_with_label("停止发送");
  g_signal_connect(stop_, "clicked", G_CALLBACK(OnStop), this);
  gtk_box_pack_end(GTK_BOX(buttons), stop_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(body), buttons, FALSE, FALSE, 4);
  gtk_box_pack_start(GTK_BOX(page), body, TRUE, TRUE, 0);
  gtk_container_add(GTK_CONTAINER(window_), page);
  gtk_window_set_default_size(GTK_WINDOW(window_), 360, -1);
  g_signal_connect(window_, "delete-event", G_CALLBACK(OnDelete), this);

  Start();
}

void SendWindow::Start() {
  // The networks as they are now: the computer may have joined one since.
  addresses_ = sender::LocalAddresses();
  g_signal_handlers_block_by_func(networks_, reinterpret_cast<gpointer>(OnNetworkChosen), this);
  gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(networks_));
  for (const sender::LocalAddress& a : addresses_) {
    const std::string item = a.address + "（" + a.interface + "）";
    gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(networks_), item.c_str());
  }
  if (!addresses_.empty()) gtk_combo_box_set_active(GTK_COMBO_BOX(networks_), 0);
  g_signal_handlers_unblock_by_func(networks_, reinterpret_cast<gpointer>(OnNetworkChosen), this);
  gtk_widget_set_visible(network_, addresses_.size() > 1);
  Offer(addresses_.empty() ? std::string() : addresses_.front().address);
  // Fitted anew (the last opening may have shown much less: no network),
  // over the middle of its owner and inside the screen's work area.
  gtk_window_resize(GTK_WINDOW(window_), 1, 1);
  gtk_widget_show_all(gtk_bin_get_child(GTK_BIN(window_)));  // so its size is known
  Place();
  gtk_widget_show_all(window_);
  Place();  // again: a window manager may place a new window as it likes
  // Nothing focused at first: a focused address would show all selected.
  gtk_window_set_focus(GTK_WINDOW(window_), nullptr);
  if (!tick_) tick_ = g_timeout_add(500, &OnTick, this);
}

SendWindow::~SendWindow() {
  if (tick_) g_source_remove(tick_);
  Withdraw();
  g_signal_handlers_disconnect_by_data(window_, this);
  if (code_) g_signal_handlers_disconnect_by_data(code_, this);
  gtk_widget_destroy(window_);
  g_object_unref(window_);
}

void SendWindow::Place() {
  GdkRectangle frame{};
  GdkRectangle area{};
  if (!FrameAndWorkArea(gtk_window_get_transient_for(GTK_WINDOW(window_)), &frame, &area)) return;
  GtkRequisition size{};
  gtk_widget_get_preferred_size(window_, nullptr, &size);
  const int right = area.x + area.width - size.width - kWindowGap;
  const int bottom = area.y + area.height - size.height - kTitleBar - kWindowGap;
  const int x = std::min(frame.x + (frame.width - size.width) / 2, right);
  const int y = std::min(frame.y + (frame.height - size.height) / 2, bottom);
  gtk_window_move(GTK_WINDOW(window_), std::max(area.x, x), std::max(area.y, y));
}

void SendWindow::Raise() {
  if (gtk_widget_get_visible(window_)) {
    gtk_window_present(GTK_WINDOW(window_));
  } else {
    Start();
  }
}

void SendWindow::Withdraw() {
  if (!offered_) return;
  offered_ = false;
  service_.Close(send_);
}

void SendWindow::Offer(const std::string& address) {
  Withdraw();
  modules_.clear();
  modulesWide_ = 0;
  url_.clear();
  ended_ = false;
  if (address.empty()) {
    ShowProblem("没有找到局域网连接，无法发送到手机。请把电脑连上手机所在的网络后再试。");
    return;
  }
  const sender::Opened opened = service_.Open(file_.string(), name_, address);
  if (!opened.handle) {
    ShowProblem("无法发送：" + opened.error);
    return;
  }
  send_ = opened.handle;
  offered_ = true;
  url_ = service_.Url(send_);
  if (QRcode* code = QRcode_encodeString(url_.c_str(), 0, QR_ECLEVEL_M, QR_MODE_8, 1)) {
    modulesWide_ = code->width;
    modules_.resize(static_cast<std::size_t>(code->width) * code->width);
    for (std::size_t i = 0; i < modules_.size(); ++i) modules_[i] = code->data[i] & 1;
    QRcode_free(code);
  }
  const int side = modulesWide_ + 2 * kQuietModules;
  const int modulePx = std::max(2, kCodeSide / std::max(side, 1));
  gtk_widget_set_size_request(code_, side * modulePx, side * modulePx);
  gtk_label_set_text(GTK_LABEL(address_), url_.c_str());
  AtkObject* codeAccessible = gtk_widget_get_accessible(code_);
  atk_object_set_description(codeAccessible, url_.c_str());
  gtk_widget_set_visible(code_, modulesWide_ > 0);
  gtk_widget_set_visible(address_, TRUE);
  gtk_widget_set_visible(hint_, TRUE);
  gtk_widget_set_visible(problem_, FALSE);
  gtk_button_set_label(GTK_BUTTON(stop_), "停止发送");
  Refresh();
  gtk_widget_queue_draw(code_);
}

void SendWindow::ShowProblem(const std::string& text) {
  gtk_label_set_text(GTK_LABEL(problem_), text.c_str());
  gtk_widget_set_visible(problem_, TRUE);
  if (!offered_) {
    gtk_widget_set_visible(code_, FALSE);
    gtk_widget_set_visible(address_, FALSE);
    gtk_widget_set_visible(hint_, FALSE);
    gtk_widget_set_visible(progress_, FALSE);
    gtk_button_set_label(GTK_BUTTON(stop_), "关闭");
  }
}

void SendWindow::Refresh() {
  if (!offered_) return;
  const sender::SendStatus s = service_.Status(send_).value_or(sender::SendStatus{});
  const std::string text = ProgressText(s);
  gtk_label_set_text(GTK_LABEL(progress_), text.c_str());
  gtk_widget_set_visible(progress_, TRUE);
  if ((s.fileGone || s.expired) && !ended_) {
    // The phones can no longer have it (the address now answers "not
    // found"): no code to scan; the figures stay.
    ended_ = true;
    gtk_widget_set_visible(code_, FALSE);
    gtk_widget_set_visible(hint_, FALSE);
    ShowProblem(s.fileGone ? "文件已被删除或更改，手机无法再下载。"
                           : "发送已过期（长时间没有手机访问），请关闭后重新发送。");
    gtk_button_set_label(GTK_BUTTON(stop_), "关闭");
  }
}

gboolean SendWindow::OnTick(gpointer data) {
  Guarded([&] { static_cast<SendWindow*>(data)->Refresh(); });
  return G_SOURCE_CONTINUE;
}

gboolean SendWindow::OnDrawCode(GtkWidget* area, cairo_t* cr, SendWindow* self) {
  const int side = self->modulesWide_ + 2 * kQuietModules;
  if (self->modulesWide_ <= 0) return FALSE;
  // In device pixels: every module a whole square of them.
  const int scale = gtk_widget_get_scale_factor(area);
  const int w = gtk_widget_get_allocated_width(area) * scale;
  const int h = gtk_widget_get_allocated_height(area) * scale;
  const int modulePx = std::max(1, std::min(w, h) / side);
  const int x0 = (w - side * modulePx) / 2 + kQuietModules * modulePx;
  const int y0 = (h - side * modulePx) / 2 + kQuietModules * modulePx;
  cairo_save(cr);
  cairo_scale(cr, 1.0 / scale, 1.0 / scale);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_set_source_rgb(cr, 0, 0, 0);
  const int n = self->modulesWide_;
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      if (self->modules_[static_cast<std::size_t>(y) * n + x]) {
        cairo_rectangle(cr, x0 + x * modulePx, y0 + y * modulePx, modulePx, modulePx);
      }
    }
  }
  cairo_fill(cr);
  cairo_restore(cr);
  return TRUE;
}

void SendWindow::OnNetworkChosen(GtkComboBox* box, SendWindow* self) {
  const int i = gtk_combo_box_get_active(box);
  Guarded([&] {
    if (i >= 0 && static_cast<std::size_t>(i) < self->addresses_.size()) {
      self->Offer(self->addresses_[i].address);
    }
  });
}

void SendWindow::OnStop(GtkButton*, SendWindow* self) { self->Close(); }

gboolean SendWindow::OnDelete(GtkWidget*, GdkEvent*, SendWindow* self) {
  self->Close();
  return TRUE;
}

void SendWindow::Close() {
  // Nothing more goes to the phones from here. The window is kept for the
  // next send of this film: a screen reader may still hold its objects.
  Withdraw();
  if (tick_) g_source_remove(tick_);
  tick_ = 0;
  gtk_widget_hide(window_);
}

}  // namespace gtkplat
