// Microsoft Active Accessibility for a form's windows: what WM_GETOBJECT
// answers, and the events that tell a reader something changed. Only the
// backend includes this; it reads the roles, names and states the portable
// controls carry and must never decide one of them itself.
#pragma once

#include "forms/control.h"
#include "platform/win32/windows_api.h"

namespace win32 {

class Win32FormNative;

// Posted to the form's window by an accessible object: its work runs on the
// UI thread after the COM call has returned. lParam is the control.
inline constexpr UINT kWmAccessibleAction = WM_APP + 1;
enum AccessibleAction : WPARAM { kActDefault = 0, kActFocus = 1 };

// The answer to WM_GETOBJECT on the form's window (control null) or on a
// control's own window; 0 when the request is not for the client area and
// the window's default handling answers.
LRESULT AnswerGetObject(Win32FormNative& form, forms::Control* control, WPARAM wParam,
                        LPARAM lParam);

// A control's role, name or state changed: listening readers are told.
void NotifyAccessibilityChanged(Win32FormNative& form, forms::Control& control);

}  // namespace win32
