// Marks of the program's start on the system's monotonic clock, written to
// standard error as "kivo-trace <ms> <mark>" when KIVO_TRACE is set in the
// environment, for the start-up benchmark's timeline. Costs one check of a
// flag otherwise.
#pragma once

namespace gtkplat {

void TraceMark(const char* mark);
// The first time only: later calls with the same mark say nothing.
void TraceOnce(const char* mark);

}  // namespace gtkplat
