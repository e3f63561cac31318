// The one place the backend includes <windows.h>; every backend file gets it
// through here. Portable code must never include this. Implemented: the
// headers the backend uses (user32, gdi32, OLE, the web browser and its
// documents' event numbers, WIC, DDEML, shell32, Active Accessibility). Not yet: anything newer
// than Windows 7.
//
// <windows.h> maps CallWindowProc, SendMessage, ShellExecute and more names
// to their W functions with macros; they are also members of forms::Platform and must
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
#include <mshtmdid.h>
#include <ole2.h>
#include <oleacc.h>
#include <shellapi.h>
#include <wincodec.h>
#include <windowsx.h>

#undef CallWindowProc
#undef GetWindowLongPtr
#undef SendMessage
#undef ShellExecute
#undef Shell_NotifyIcon
#undef SetWindowLongPtr
#undef SystemParametersInfo

static_assert(forms::kWmGetMinMaxInfo == WM_GETMINMAXINFO &&
              forms::kWmNcLButtonDown == WM_NCLBUTTONDOWN && forms::kWmLButtonUp == WM_LBUTTONUP &&
              forms::kWmRButtonUp == WM_RBUTTONUP && forms::kWmUser == WM_USER &&
              forms::kWmLButtonDown == WM_LBUTTONDOWN && forms::kWmRButtonDown == WM_RBUTTONDOWN &&
              forms::kWmLButtonDblClk == WM_LBUTTONDBLCLK && forms::kWmMouseMove == WM_MOUSEMOVE);
static_assert(forms::kNimAdd == NIM_ADD && forms::kNimDelete == NIM_DELETE &&
              forms::kNifMessage == NIF_MESSAGE && forms::kNifIcon == NIF_ICON &&
              forms::kNifTip == NIF_TIP && forms::kNifInfo == NIF_INFO &&
              forms::kSwShowNormal == SW_SHOWNORMAL);
static_assert(forms::kGwlWndProc == GWLP_WNDPROC && forms::kGwlStyle == GWL_STYLE &&
              forms::kSpiGetWorkArea == SPI_GETWORKAREA &&
              forms::kWsMinimizeBox == WS_MINIMIZEBOX && forms::kWsMaximizeBox == WS_MAXIMIZEBOX &&
              forms::kSrcCopy == SRCCOPY && forms::kHtCaption == HTCAPTION);
