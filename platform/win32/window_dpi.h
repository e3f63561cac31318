// The DPI of a window and the metrics that follow it, on every Windows the
// program runs on: Windows 10's per-monitor functions where user32 has them,
// the screen's one DPI (Windows 7 and 8) where it has not. Not yet: the
// per-monitor v1 messages of Windows 8.1 (its windows get the system DPI).
#pragma once

#include "forms/device_scale.h"
#include "platform/win32/windows_api.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace win32 {

// The scale of the monitor `window` is on; the system's for null.
forms::DeviceScale ScaleOf(HWND window);
// The outer rectangle of a frame with this style around `client`, at `dpi`.
RECT OuterRect(const RECT& client, DWORD style, DWORD exStyle, const forms::DeviceScale& scale);

}  // namespace win32
