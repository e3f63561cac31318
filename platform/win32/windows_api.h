// The one place the backend includes <windows.h>; every backend file gets it
// through here. Portable code must never include this. Implemented: the
// headers the backend uses so far (user32, gdi32, OLE, the web browser, WIC,
// DDEML). Not yet: shell32, which the tray needs.
//
// <windows.h> maps CallWindowProc, SendMessage and three more names to their
// W functions with macros; they are also members of forms::Platform and must
// be spelled the same in every file that sees it. We call the W functions by their own
// names. The portable message and style constants are checked against the
// system's below.
#pragma once

#include "forms/platform.h"
#include "forms/types.h"

#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

#include <windows.h>
// Headers that need <windows.h> before them come only from here, so no
// include order elsewhere can break them.
#include <ddeml.h>
#include <exdisp.h>
#include <exdispid.h>
#include <ole2.h>
#include <wincodec.h>
#include <windowsx.h>

#undef CallWindowProc
#undef GetWindowLongPtr
#undef SendMessage
#undef SetWindowLongPtr
#undef SystemParametersInfo

static_assert(forms::kWmGetMinMaxInfo == WM_GETMINMAXINFO &&
              forms::kWmNcLButtonDown == WM_NCLBUTTONDOWN && forms::kWmLButtonUp == WM_LBUTTONUP &&
              forms::kWmRButtonUp == WM_RBUTTONUP && forms::kWmUser == WM_USER);
static_assert(forms::kGwlWndProc == GWLP_WNDPROC && forms::kGwlStyle == GWL_STYLE &&
              forms::kSpiGetWorkArea == SPI_GETWORKAREA &&
              forms::kWsMinimizeBox == WS_MINIMIZEBOX && forms::kWsMaximizeBox == WS_MAXIMIZEBOX &&
              forms::kSrcCopy == SRCCOPY && forms::kHtCaption == HTCAPTION);
