#include "startup_trace.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <set>
#include <string>

namespace gtkplat {
namespace {

bool Enabled() {
  static const bool enabled = [] {
    const char* v = std::getenv("KIVO_TRACE");
    return v && *v && std::strcmp(v, "0") != 0;
  }();
  return enabled;
}

std::mutex& Lock() {
  static std::mutex lock;
  return lock;
}

}  // namespace

void TraceMark(const char* mark) {
  if (!Enabled()) return;
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  const double ms = static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
  std::lock_guard<std::mutex> hold(Lock());
  std::fprintf(stderr, "kivo-trace %.1f %s\n", ms, mark);
  std::fflush(stderr);
}

void TraceOnce(const char* mark) {
  if (!Enabled()) return;
  {
    static std::set<std::string> seen;
    std::lock_guard<std::mutex> hold(Lock());
    if (!seen.insert(mark).second) return;
  }
  TraceMark(mark);
}

}  // namespace gtkplat
