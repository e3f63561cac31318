#include "engine_loader.h"

#include <gmodule.h>
#ifdef GDK_WINDOWING_X11
#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#endif
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

#include "startup_trace.h"

namespace gtkplat {
namespace {

constexpr const char* kModuleName = "kivo-web.so";
// Without a painted frame (a window manager that never maps us, say) the
// engine is made this long after the module is in.
constexpr guint kUnpaintedGraceMs = 300;

gpointer LoadOnThread(gpointer);
void StartEngineLoad();

struct LoaderState {
  GThread* thread = nullptr;
  // The thread's result, handed over under the lock: glib's queue orders
  // the hand-over too, but inside glib, where ThreadSanitizer can't see it.
  std::mutex resultMutex;
  KivoCreateWebEngine loadedEntry = nullptr;
  std::string loadError;
  // The UI thread's copies, from LoadedOnUiThread on.
  KivoCreateWebEngine entry = nullptr;
  std::string error;
  bool scheduled = false;
  bool loaded = false;
  bool painted = false;
  guint graceSource = 0;
  guint deliverSource = 0;
  unsigned nextTicket = 1;
  std::map<unsigned, std::function<void(KivoCreateWebEngine)>> waiting;
};

LoaderState& State() {
  static LoaderState state;
  return state;
}

// Beside the program in a build tree; under lib/kivo when installed.
std::string FindModule() {
  g_autofree char* exe = g_file_read_link("/proc/self/exe", nullptr);
  if (!exe) return kModuleName;
  g_autofree char* dir = g_path_get_dirname(exe);
  g_autofree char* beside = g_build_filename(dir, kModuleName, nullptr);
  if (g_file_test(beside, G_FILE_TEST_EXISTS)) return beside;
  g_autofree char* installed = g_build_filename(dir, "..", "lib", "kivo", kModuleName, nullptr);
  return installed;
}

gboolean Deliver(gpointer) {
  LoaderState& s = State();
  s.deliverSource = 0;
  // Each callback may make an engine, and a peer may cancel or ask again
  // meanwhile: taken one at a time.
  while (!s.waiting.empty()) {
    auto it = s.waiting.begin();
    auto ready = std::move(it->second);
    s.waiting.erase(it);
    ready(s.entry);
  }
  return G_SOURCE_REMOVE;
}

void DeliverWhenReady() {
  LoaderState& s = State();
  if (!s.loaded || !s.painted || s.waiting.empty() || s.deliverSource) return;
  // After the paint in progress has reached the screen.
  s.deliverSource = g_idle_add(&Deliver, nullptr);
}

// No frame painted in time: the engine comes anyway.
gboolean GraceOver(gpointer) {
  LoaderState& s = State();
  s.graceSource = 0;
  s.painted = true;
  StartEngineLoad();
  DeliverWhenReady();
  return G_SOURCE_REMOVE;
}

gboolean LoadedOnUiThread(gpointer) {
  LoaderState& s = State();
  {
    std::lock_guard lock(s.resultMutex);
    s.entry = s.loadedEntry;
    s.error = s.loadError;
  }
  s.loaded = true;
  TraceMark("engine-loaded");
  if (!s.entry) std::fprintf(stderr, "kivo: no browser engine: %s\n", s.error.c_str());
  DeliverWhenReady();
  return G_SOURCE_REMOVE;
}

gpointer LoadOnThread(gpointer) {
  LoaderState& s = State();
  const std::string path = FindModule();
  GModule* module = g_module_open(path.c_str(), static_cast<GModuleFlags>(G_MODULE_BIND_LOCAL));
  gpointer symbol = nullptr;
  KivoCreateWebEngine entry = nullptr;
  std::string error;
  if (!module) {
    error = g_module_error();
  } else if (!g_module_symbol(module, KIVO_WEB_ENGINE_ENTRY, &symbol) || !symbol) {
    error = path + ": no " KIVO_WEB_ENGINE_ENTRY;
  } else {
    // The engine's types and its libraries stay for the process's life.
    g_module_make_resident(module);
    entry = reinterpret_cast<KivoCreateWebEngine>(symbol);
  }
  // Queued under the lock as well, so what glib allocates for the idle
  // call is ordered before the UI thread frees it.
  std::lock_guard lock(s.resultMutex);
  s.loadedEntry = entry;
  s.loadError = std::move(error);
  g_idle_add_full(G_PRIORITY_DEFAULT, &LoadedOnUiThread, nullptr, nullptr);
  return nullptr;
}

void StartEngineLoad() {
  LoaderState& s = State();
  if (s.thread) return;
  TraceMark("engine-load");
  s.thread = g_thread_new("kivo-engine", &LoadOnThread, nullptr);
}

}  // namespace

void ScheduleEngineLoad() {
  LoaderState& s = State();
  if (s.thread || s.scheduled) return;
  s.scheduled = true;
  if (s.painted) {
    StartEngineLoad();
  } else {
    s.graceSource = g_timeout_add(kUnpaintedGraceMs, &GraceOver, nullptr);
  }
}

void NoteFramePainted() {
  LoaderState& s = State();
  if (s.painted) return;
  s.painted = true;
  if (s.graceSource) g_source_remove(s.graceSource);
  s.graceSource = 0;
  if (s.scheduled) StartEngineLoad();
  DeliverWhenReady();
}

unsigned RequestEngine(std::function<void(KivoCreateWebEngine)> ready) {
  LoaderState& s = State();
  const unsigned ticket = s.nextTicket++;
  s.waiting.emplace(ticket, std::move(ready));
  DeliverWhenReady();
  return ticket;
}

void CancelEngineRequest(unsigned ticket) { State().waiting.erase(ticket); }

void FinishEngineLoad() {
  LoaderState& s = State();
  if (s.thread) g_thread_join(s.thread);
  s.thread = nullptr;
}

Acceleration ChooseAcceleration(const RenderFacts& facts) {
  if (facts.override == "never") return Acceleration::kNever;
  if (facts.override == "engine") return Acceleration::kEngineDefault;
  if (facts.softwareForced || !facts.renderNode) return Acceleration::kNever;
  if (facts.x11 && !facts.x11Direct) return Acceleration::kNever;
  return Acceleration::kEngineDefault;
}

// The engine says once per start that it found GTK without GL; here that
// was our choice, not a fault to report.
void QuietGlNotice(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer) {
  if (message && g_str_has_prefix(message, "Disabled hardware acceleration because GTK failed")) {
    return;
  }
  g_log_default_handler(domain, level, message, nullptr);
}

void KeepToolkitOffSoftwareGl() {
  if (std::getenv("GDK_GL")) return;
  if (ChooseAcceleration(ProbeRenderFacts(false)) == Acceleration::kNever) {
    g_setenv("GDK_GL", "disable", TRUE);
    g_log_set_handler(nullptr, G_LOG_LEVEL_WARNING, &QuietGlNotice, nullptr);
  }
}

unsigned ReleaseHiddenAfterMs(const char* setting, unsigned fallbackMs) {
  constexpr unsigned kDay = 24 * 60 * 60;
  if (!setting || !*setting || std::strlen(setting) > 5) return fallbackMs;
  unsigned seconds = 0;
  for (const char* c = setting; *c; ++c) {
    if (*c < '0' || *c > '9') return fallbackMs;
    seconds = seconds * 10 + static_cast<unsigned>(*c - '0');
  }
  return seconds > kDay ? fallbackMs : seconds * 1000;
}

RenderFacts ProbeRenderFacts(bool withDisplay) {
  RenderFacts facts;
  if (const char* v = std::getenv("KIVO_ACCELERATION")) facts.override = v;
  const char* software = std::getenv("LIBGL_ALWAYS_SOFTWARE");
  facts.softwareForced = software && *software && std::string(software) != "0" &&
                         g_ascii_strcasecmp(software, "false") != 0;
  if (GDir* dri = g_dir_open("/dev/dri", 0, nullptr)) {
    while (const char* name = g_dir_read_name(dri)) {
      if (!g_str_has_prefix(name, "renderD")) continue;
      g_autofree char* node = g_build_filename("/dev/dri", name, nullptr);
      if (access(node, R_OK | W_OK) == 0) facts.renderNode = true;
    }
    g_dir_close(dri);
  }
#ifdef GDK_WINDOWING_X11
  GdkDisplay* display = withDisplay ? gdk_display_get_default() : nullptr;
  if (display && GDK_IS_X11_DISPLAY(display)) {
    facts.x11 = true;
    Display* x = gdk_x11_display_get_xdisplay(display);
    int opcode = 0, event = 0, error = 0;
    facts.x11Direct = XQueryExtension(x, "DRI3", &opcode, &event, &error) ||
                      XQueryExtension(x, "DRI2", &opcode, &event, &error);
  }
#endif
  return facts;
}

}  // namespace gtkplat
