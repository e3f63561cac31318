// Inside the engine module: a view's failed top-level loads handed to the
// host, so the program can show its own page instead of WebKit's English
// one. Not part of the module's interface.
#pragma once

#include <webkit2/webkit2.h>

#include "web_engine.h"

namespace gtkplat {

class LoadFailures {
 public:
  LoadFailures(WebKitWebView* view, WebEngineHost& host);
  ~LoadFailures();
  LoadFailures(const LoadFailures&) = delete;
  LoadFailures& operator=(const LoadFailures&) = delete;

  void ShowPage(const char* html, const char* uri);

 private:
  static gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, LoadFailures* self);
  static void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, LoadFailures* self);
  static gboolean OnLoadFailed(WebKitWebView*, WebKitLoadEvent, const char* uri, GError* error,
                               LoadFailures* self);

  WebKitWebView* view_;
  WebEngineHost& host_;
  // The status of the main resource refused for it: its load fails next.
  int refusedStatus_ = 0;
};

}  // namespace gtkplat
