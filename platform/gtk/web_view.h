// The browser control's peer: a WebKitWebView behind the browser's own
// interface (navigate, history, reload, silence, the shown document and its
// context-menu request). Not yet: downloads, the engine's find and zoom.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <string>

#include "forms/control.h"
#include "forms/form.h"
#include "gtk_controls.h"

namespace gtkplat {

class BrowserPeer final : public WidgetPeer<forms::BrowserNative> {
 public:
  BrowserPeer(GtkFormNative& owner, forms::Control& control);
  ~BrowserPeer() override;

  void Navigate(const std::string& url) override;
  bool GoBack() override;
  bool GoForward() override;
  void Reload() override;
  void SetSilent(bool silent) override { silent_ = silent; }
  forms::DocumentHandle Document() override;
  void ConnectDocument(forms::DocumentHandle document) override { connected_ = document; }

 private:
  static void OnLoadChanged(GtkWidget* view, int event, BrowserPeer* self);
  static gboolean OnContextMenu(GtkWidget* view, gpointer menu, GdkEvent* click, gpointer hit,
                                BrowserPeer* self);
  static GtkWidget* OnCreate(GtkWidget* view, gpointer action, BrowserPeer* self);
  static gboolean OnAuthenticate(GtkWidget* view, gpointer request, BrowserPeer* self);
  static gboolean OnPrint(GtkWidget* view, gpointer operation, BrowserPeer* self);
  static gboolean OnPermission(GtkWidget* view, gpointer request, BrowserPeer* self);

  void RaiseLoad(forms::EventKind kind);

  bool silent_ = false;
  // Each top-level load that commits is a new document; 0: none yet.
  std::uintptr_t committed_ = 0;
  forms::DocumentHandle connected_ = nullptr;
};

}  // namespace gtkplat
