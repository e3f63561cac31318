// The browser engine as the program sees it: WebKitGTK lives in a module of
// its own (kivo-web.so) that the program loads on a thread of its own while
// the toolkit starts and the frame is painted, so the frame never waits for
// the engine's hundred libraries. Only this header crosses the boundary:
// the module calls back through WebEngineHost and is driven through
// WebEngine, both plain virtual interfaces, so it needs no symbol of the
// program's.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>

namespace gtkplat {

// One download the engine runs, from its start until it finished or failed
// (a cancelled one fails too); the host must not touch it afterwards.
class EngineDownload {
 public:
  virtual const char* Uri() = 0;
  // The response: its HTTP status (0 before it came) and its length (0:
  // not given).
  virtual int HttpStatus() = 0;
  virtual std::uint64_t Length() = 0;
  // The answer to DownloadDestination, now or later: write to `path`.
  virtual void SaveTo(const char* path) = 0;
  virtual void Cancel() = 0;

 protected:
  ~EngineDownload() = default;
};

enum class DownloadError { kNetwork, kDestination, kCancelled, kOther };

// Where the engine reports its downloads, on the UI thread. Every page's
// download comes here, shown in the program's window or not.
class DownloadHost {
 public:
  virtual void DownloadStarted(EngineDownload& download) = 0;
  // The response came: where to save it? Answered with SaveTo or Cancel.
  virtual void DownloadDestination(EngineDownload& download, const char* suggestedName) = 0;
  virtual void DownloadProgress(EngineDownload& download, std::uint64_t received) = 0;
  virtual void DownloadFinished(EngineDownload& download) = 0;
  virtual void DownloadFailed(EngineDownload& download, DownloadError error,
                              const char* message) = 0;

 protected:
  ~DownloadHost() = default;
};

// What the engine reports back, on the UI thread.
class WebEngineHost {
 public:
  enum class Load { kStarted, kCommitted, kFinished };
  virtual void EngineLoad(Load event) = 0;
  // The page asks for its context menu; true: the program showed its own,
  // the engine shows none. `click` is the event that asked (may be null).
  virtual bool EngineContextMenu(GdkEvent* click) = 0;
  // A page asked for a new window at this address (an http(s) one).
  virtual void EngineOpenElsewhere(const char* uri) = 0;
  // Silent: the engine shows no dialog of its own (login, print, permission).
  virtual bool EngineSilent() = 0;
  // A mark of the trace: the first time only, or every time.
  virtual void EngineTrace(const char* mark, bool everyTime = false) = 0;
  // Where downloads go; null: the engine refuses them.
  virtual DownloadHost* EngineDownloads() = 0;
  // A top-level load of `uri` failed, or the site answered it with an error
  // `status` (kHttpStatus). Cancelled loads come too. True: the host showed
  // a page of its own (WebEngine::ShowErrorPage) in place of the engine's.
  enum class Failure {
    kCancelled,
    kHttpStatus,
    kCannotConnect,
    kNameNotResolved,
    kTimedOut,
    kConnectionLost,
    // The page's process ended on its own, and again soon after its reload.
    kPageStopped,
    kOther
  };
  virtual bool EngineLoadFailed(const char* uri, Failure failure, int status) = 0;

 protected:
  ~WebEngineHost() = default;
};

// How the engine renders: composited (with the GPU) or straight into a
// shared image by the web process's own CPU.
enum class Acceleration { kNever, kEngineDefault };

struct WebEngineOptions {
  Acceleration acceleration = Acceleration::kEngineDefault;
  // Hidden this long, the page's process is ended (its picture kept); 0:
  // never.
  unsigned releaseHiddenAfterMs = 20000;
};

class WebEngine {
 public:
  virtual ~WebEngine() = default;
  // What goes into the control's place: the view with what lies above it.
  virtual GtkWidget* Widget() = 0;
  // The keyboard focus into the page.
  virtual void Focus() = 0;
  virtual void Navigate(const char* url) = 0;
  virtual bool GoBack() = 0;
  virtual bool GoForward() = 0;
  virtual void Reload() = 0;
  virtual void Stop() = 0;
  // `html` as the page of `uri`, whose load failed: its history entry, and
  // what a reload tries again.
  virtual void ShowErrorPage(const char* html, const char* uri) = 0;
  // The shown page came from the network as an HTML document (WebKit's own
  // error pages did not).
  virtual bool ShowsHtml() = 0;
  // The window holding the view was hidden or shown again: a hidden page
  // gives back the memory it can rebuild at once.
  virtual void SetWindowHidden(bool hidden) = 0;
};

}  // namespace gtkplat

// The module's one entry point, looked up by this name.
#define KIVO_WEB_ENGINE_ENTRY "kivo_create_web_engine"
extern "C" {
using KivoCreateWebEngine = gtkplat::WebEngine* (*)(gtkplat::WebEngineHost* host,
                                                    const gtkplat::WebEngineOptions* options);
}
