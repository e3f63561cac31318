// "发送到手机": a finished download offered to phones on the local network.
// The window shows the film, a QR code of its address, the address itself,
// what the phones have fetched so far and "停止发送". Closing it (or the
// button) withdraws the film at once; the sender stops with the last one.
// A closed window is hidden, and opened again for the same film.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "send/service.h"

namespace gtkplat {

class SendWindow {
 public:
  SendWindow(sender::Service& service, GtkWindow* owner, std::filesystem::path file,
             std::string name);
  ~SendWindow();
  SendWindow(const SendWindow&) = delete;
  SendWindow& operator=(const SendWindow&) = delete;

  // To the front; closed, it opens again with a fresh send.
  void Raise();

 private:
  // Looks for the local networks and offers the film on the first.
  void Start();
  void Place();
  // Offers the film on `address` (withdrawing it from the last one);
  // an empty address or a refusal shows why instead of a code.
  void Offer(const std::string& address);
  void Withdraw();
  void ShowProblem(const std::string& text);
  void Refresh();
  static gboolean OnTick(gpointer self);
  static gboolean OnDrawCode(GtkWidget* area, cairo_t* cr, SendWindow* self);
  static void OnNetworkChosen(GtkComboBox* box, SendWindow* self);
  static void OnStop(GtkButton*, SendWindow* self);
  static gboolean OnDelete(GtkWidget*, GdkEvent*, SendWindow* self);
  void Close();

  sender::Service& service_;
  std::filesystem::path file_;
  std::string name_;
  std::vector<sender::LocalAddress> addresses_;
  sender::SendHandle send_ = 0;
  bool offered_ = false;
  bool ended_ = false;  // the file went or the send expired
  std::string url_;
  // The code's modules, row by row (true: dark), and its width in modules.
  std::vector<bool> modules_;
  int modulesWide_ = 0;

  GtkWidget* window_ = nullptr;
  GtkWidget* network_ = nullptr;  // the chooser's line, shown for two networks or more
  GtkWidget* networks_ = nullptr;
  GtkWidget* code_ = nullptr;
  GtkWidget* address_ = nullptr;
  GtkWidget* hint_ = nullptr;
  GtkWidget* progress_ = nullptr;
  GtkWidget* problem_ = nullptr;
  GtkWidget* stop_ = nullptr;
  guint tick_ = 0;
};

}  // namespace gtkplat
