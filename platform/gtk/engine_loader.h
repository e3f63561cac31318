// Loading the browser engine off the UI thread: the module (and WebKitGTK's
// libraries behind it) is mapped and relocated on a thread of its own once
// the frame is complete on screen. Browser peers ask for their engine and
// get it when the module is in, so neither the libraries nor the engine's
// own set-up on the UI thread ever hold the frame back.
#pragma once

#include <functional>
#include <string>

#include "web_engine.h"

namespace gtkplat {

// Starts the load once the frame is on screen (or a moment after the call
// if none is): GTK and the frame open libraries of their own, and would wait
// for the engine's. Once per process; requests wait for it.
void ScheduleEngineLoad();
// The frame is complete on screen.
void NoteFramePainted();
// Calls `ready` on the UI thread with the module's entry (null when the
// module could not be loaded: the error went to standard error) once the
// engine may be made. Returns a ticket for CancelEngineRequest.
unsigned RequestEngine(std::function<void(KivoCreateWebEngine)> ready);
void CancelEngineRequest(unsigned ticket);
// Waits for the loading thread; for the program's end.
void FinishEngineLoad();

// What decides whether the engine composites with the GPU.
struct RenderFacts {
  std::string override;         // KIVO_ACCELERATION: "never", "engine" or empty
  bool softwareForced = false;  // LIBGL_ALWAYS_SOFTWARE asks Mesa for the CPU
  bool renderNode = false;      // a GPU render node (/dev/dri/renderD*) we may open
  bool x11 = false;             // the display is an X server...
  bool x11Direct = false;       // ...that lets clients render on the GPU (DRI2/DRI3)
};
// Before gtk_init: where no GPU can be reached at all, GTK is told to leave
// GL alone (GDK_GL=disable, unless the user set GDK_GL), so it does not
// load a software GL stack for windows that draw with cairo.
void KeepToolkitOffSoftwareGl();

// Where every frame would be drawn by the CPU anyway, compositing only adds
// a software GL stack (its memory and a second-long first frame): never.
// Otherwise the engine's own choice.
Acceleration ChooseAcceleration(const RenderFacts& facts);
// The facts; the display's only when `withDisplay` (after gtk_init).
RenderFacts ProbeRenderFacts(bool withDisplay = true);

// KIVO_RELEASE_HIDDEN_AFTER: whole seconds a hidden page keeps its process
// (0: never ended), up to a day; anything else leaves `fallbackMs`.
unsigned ReleaseHiddenAfterMs(const char* setting, unsigned fallbackMs);

}  // namespace gtkplat
