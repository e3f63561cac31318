// The browser control's peer: the browser's own interface (navigate,
// history, reload, silence, the shown document and its context-menu
// request) in front of the engine module. Until the engine is made (it
// comes once the frame is on screen, see engine_loader.h) the control shows
// the engine's empty white page, and what the program asked for waits: the
// last navigation is made as soon as the engine is there. The engine's
// downloads go to the platform's (downloads.h). Not yet: the engine's find
// and zoom.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "forms/control.h"
#include "forms/form.h"
#include "gtk_controls.h"
#include "web_engine.h"

namespace gtkplat {

class BrowserPeer final : public WidgetPeer<forms::BrowserNative>, private WebEngineHost {
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
  void Stop() override;
  void ShowErrorPage(const std::string& html, const std::string& address) override;
  void Focus() override;

  // The form's window was hidden or shown again.
  void WindowHidden(bool hidden);

 private:
  void EngineArrived(KivoCreateWebEngine create);
  void RaiseLoad(forms::EventKind kind);

  // WebEngineHost
  void EngineLoad(Load event) override;
  bool EngineContextMenu(GdkEvent* click) override;
  void EngineOpenElsewhere(const char* uri) override;
  bool EngineSilent() override { return silent_; }
  void EngineTrace(const char* mark, bool everyTime) override;
  DownloadHost* EngineDownloads() override;
  bool EngineLoadFailed(const char* uri, Failure failure, int status) override;

  static gboolean OnPageLeftKey(GtkWidget*, GdkEventKey* event, BrowserPeer* self);

  std::unique_ptr<WebEngine> engine_;
  unsigned engineTicket_ = 0;
  // Asked for before the engine came; made when it does.
  std::optional<std::string> pendingUrl_;
  bool hidden_ = false;
  bool silent_ = false;
  // Each top-level load that commits is a new document; 0: none yet.
  std::uintptr_t committed_ = 0;
  forms::DocumentHandle connected_ = nullptr;
  // While a failure is raised: whether the program showed its own page.
  bool errorPageShown_ = false;
  // Its copies outlive the peer: a handler may unload the form meanwhile.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace gtkplat
