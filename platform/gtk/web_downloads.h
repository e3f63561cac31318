// Inside the engine module: which responses are saved instead of shown,
// and each download's life reported to the program's DownloadHost.
#pragma once

#include <webkit2/webkit2.h>

#include "web_engine.h"

namespace gtkplat {

class DownloadWatch {
 public:
  // Watches `view`'s responses and every download of its context.
  DownloadWatch(WebKitWebView* view, WebEngineHost& host);
  ~DownloadWatch();
  DownloadWatch(const DownloadWatch&) = delete;
  DownloadWatch& operator=(const DownloadWatch&) = delete;

 private:
  static gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, DownloadWatch* self);
  static void OnDownloadStarted(WebKitWebContext*, WebKitDownload* download, DownloadWatch* self);

  WebKitWebView* view_;
  WebKitWebContext* context_;
  WebEngineHost& host_;
};

}  // namespace gtkplat
