#include "web_view.h"

#include "accessible.h"
#include "downloads.h"

#include "engine_loader.h"
#include "startup_trace.h"

namespace gtkplat {
namespace {

// The engine's own colour for a page not yet painted.
gboolean PaintBlank(GtkWidget* widget, cairo_t* cr, gpointer) {
  GtkWidget* child = gtk_bin_get_child(GTK_BIN(widget));
  if (child && gtk_widget_get_visible(child)) return FALSE;
  // The clip is the window's dirty area, which may reach beyond the
  // control: only the control's own rectangle is painted.
  cairo_rectangle(cr, 0, 0, gtk_widget_get_allocated_width(widget),
                  gtk_widget_get_allocated_height(widget));
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_fill(cr);
  return FALSE;
}

GtkWidget* MakeHolder() {
  // A frame without shadow: it gives its one child all of its room.
  GtkWidget* holder = NewAccessibleFrame();
  gtk_frame_set_shadow_type(GTK_FRAME(holder), GTK_SHADOW_NONE);
  g_signal_connect(holder, "draw", G_CALLBACK(PaintBlank), nullptr);
  return holder;
}

forms::NavigateFailure NavigateFailureOf(WebEngineHost::Failure failure) {
  using F = WebEngineHost::Failure;
  using N = forms::NavigateFailure;
  switch (failure) {
    case F::kCancelled: return N::kCancelled;
    case F::kHttpStatus: return N::kHttpStatus;
    case F::kCannotConnect: return N::kCannotConnect;
    case F::kNameNotResolved: return N::kNameNotResolved;
    case F::kTimedOut: return N::kTimedOut;
    case F::kConnectionLost: return N::kConnectionLost;
    case F::kPageStopped: return N::kPageStopped;
    case F::kOther: break;
  }
  return N::kOther;
}

}  // namespace

std::unique_ptr<forms::ControlNative> MakeBrowserPeer(GtkFormNative& owner,
                                                      forms::Control& control) {
  return std::make_unique<BrowserPeer>(owner, control);
}

BrowserPeer::BrowserPeer(GtkFormNative& owner, forms::Control& control)
    : WidgetPeer(owner, control, MakeHolder()) {
  // The view takes every key to its page and gives back those the page did
  // not use: they bubble from it up through the holder.
  g_signal_connect(widget_, "key-press-event", G_CALLBACK(OnPageLeftKey), this);
  engineTicket_ = RequestEngine([this](KivoCreateWebEngine create) {
    engineTicket_ = 0;
    EngineArrived(create);
  });
}

BrowserPeer::~BrowserPeer() {
  if (engineTicket_) CancelEngineRequest(engineTicket_);
  // The view goes before the holder; its loads reach nobody any more.
  engine_.reset();
}

void BrowserPeer::EngineArrived(KivoCreateWebEngine create) {
  if (!create) return;  // said on standard error; the page stays blank
  TraceMark("engine-start");
  WebEngineOptions options;
  options.acceleration = ChooseAcceleration(ProbeRenderFacts());
  options.releaseHiddenAfterMs =
      ReleaseHiddenAfterMs(g_getenv("KIVO_RELEASE_HIDDEN_AFTER"), options.releaseHiddenAfterMs);
  Guarded([&] { engine_.reset(create(this, &options)); });
  if (!engine_) return;
  GtkWidget* view = engine_->Widget();
  gtk_container_add(GTK_CONTAINER(widget_), view);
  gtk_widget_show(view);
  if (hidden_) engine_->SetWindowHidden(true);
  if (pendingUrl_) {
    const std::string url = std::move(*pendingUrl_);
    pendingUrl_.reset();
    Navigate(url);
  }
  // The holder kept the focus for the view.
  if (gtk_widget_has_focus(widget_)) engine_->Focus();
  gtk_widget_set_can_focus(widget_, FALSE);
}

void BrowserPeer::Navigate(const std::string& url) {
  if (!engine_) {
    pendingUrl_ = url;
    return;
  }
  TraceOnce("navigate");
  engine_->Navigate(url.c_str());
}

bool BrowserPeer::GoBack() { return engine_ && engine_->GoBack(); }

bool BrowserPeer::GoForward() { return engine_ && engine_->GoForward(); }

void BrowserPeer::Reload() {
  // Before the engine the page asked for is still to come: nothing to reload.
  if (engine_) engine_->Reload();
}

void BrowserPeer::Stop() {
  if (engine_) {
    engine_->Stop();
  } else {
    pendingUrl_.reset();  // stopped before it began
  }
}

void BrowserPeer::ShowErrorPage(const std::string& html, const std::string& address) {
  if (!engine_) return;
  engine_->ShowErrorPage(html.c_str(), address.c_str());
  errorPageShown_ = true;
}

gboolean BrowserPeer::OnPageLeftKey(GtkWidget*, GdkEventKey* event, BrowserPeer* self) {
  return self->owner_.PreviewKey(event) ? TRUE : FALSE;
}

bool BrowserPeer::EngineLoadFailed(const char* uri, Failure failure, int status) {
  const std::string address = uri ? uri : "";
  forms::Event e;
  e.kind = forms::EventKind::kNavigateError;
  e.source = &control_;
  e.text = address;
  e.failure = NavigateFailureOf(failure);
  e.status = status;
  errorPageShown_ = false;
  std::weak_ptr<bool> alive = alive_;
  forms::Form& form = owner_.Form();
  Guarded([&] { form.Raise(e); });
  // Gone with its form: there is no page left to show anything in.
  if (alive.expired()) return true;
  return errorPageShown_;
}

void BrowserPeer::Focus() {
  if (engine_) {
    engine_->Focus();
  } else {
    // The holder keeps the focus for the view to come.
    gtk_widget_set_can_focus(widget_, TRUE);
    gtk_widget_grab_focus(widget_);
  }
  owner_.Form().NativeFocus(&control_);
}

void BrowserPeer::WindowHidden(bool hidden) {
  if (hidden == hidden_) return;
  hidden_ = hidden;
  if (engine_) engine_->SetWindowHidden(hidden);
}

forms::DocumentHandle BrowserPeer::Document() {
  if (committed_ == 0 || !engine_ || !engine_->ShowsHtml()) return nullptr;
  return reinterpret_cast<forms::DocumentHandle>(committed_);
}

void BrowserPeer::RaiseLoad(forms::EventKind kind) {
  forms::Event e;
  e.kind = kind;
  e.source = &control_;
  forms::Form& form = owner_.Form();
  Guarded([&] { form.Raise(e); });
}

void BrowserPeer::EngineLoad(Load event) {
  switch (event) {
    case Load::kStarted:
      TraceOnce("load-started");
      RaiseLoad(forms::EventKind::kDownloadBegin);
      break;
    case Load::kCommitted:
      TraceOnce("load-committed");
      ++committed_;
      break;
    case Load::kFinished:
      TraceOnce("load-finished");
      RaiseLoad(forms::EventKind::kDownloadComplete);
      break;
  }
}

bool BrowserPeer::EngineContextMenu(GdkEvent* click) {
  const forms::DocumentHandle shown = Document();
  // A document nobody connected keeps the engine's own menu.
  if (!shown || shown != connected_) return false;
  bool result = true;
  forms::Event e;
  e.kind = forms::EventKind::kContextMenu;
  e.source = &control_;
  e.document = shown;
  e.result = &result;
  forms::Form& form = owner_.Form();
  GtkPlatform& os = owner_.Platform();
  // The menu takes its time from the click: GTK then knows that click's
  // button-up, however late it comes, opened the menu and chose nothing.
  os.SetPopupTrigger(click);
  // Our menu runs in here, and its command may unload the form and this
  // peer: only locals from here on.
  Guarded([&] { form.Raise(e); });
  os.SetPopupTrigger(nullptr);
  return !result;
}

void BrowserPeer::EngineOpenElsewhere(const char* uri) {
  forms::Platform& os = owner_.Platform();
  const std::string address = uri;
  Guarded([&] { os.ShellExecute(nullptr, "open", address, "", "", forms::kSwShowNormal); });
}

DownloadHost* BrowserPeer::EngineDownloads() { return &owner_.Platform().Downloads(); }

void BrowserPeer::EngineTrace(const char* mark, bool everyTime) {
  if (everyTime) {
    TraceMark(mark);
  } else {
    TraceOnce(mark);
  }
}

}  // namespace gtkplat
