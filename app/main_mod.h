// The program's entry and the window outline routine.
#pragma once

#include <memory>

#include "forms/form.h"
#include "forms/platform.h"
#include "frame/ba1.h"

namespace Main_Mod {

// Creates the main window, runs its load handler and shows it. The backend
// keeps the window alive and runs the message loop.
std::unique_ptr<frame::BA1> Main(forms::Platform& platform);

// Gives the window a rounded outline one pixel larger than itself each way,
// with a 4 x 4 corner ellipse. The region then belongs to the window.
void SetRoundRegion(forms::Form& form);

}  // namespace Main_Mod
