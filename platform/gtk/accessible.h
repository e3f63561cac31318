// What assistive technology reads of a form on GTK: the widgets of picture
// boxes, containers, the text box and the browser's holder are made of
// types whose accessibles (ATK, bridged to AT-SPI) take role, name, states
// and default action from the control behind them; labels and images,
// which have no widget, get accessibles of their own. Everything is made
// when ATK first asks for it, so without assistive technology nothing runs.
#pragma once

#include <gtk/gtk.h>

#include "forms/control.h"

namespace gtkplat {

class GtkFormNative;

// Widgets whose accessibles read the control bound to them.
GtkWidget* NewAccessibleDrawingArea();
GtkWidget* NewAccessibleLayout();
GtkWidget* NewAccessibleEntry();
GtkWidget* NewAccessibleFrame();

// Ties a widget to its control; a null control: the form's root, whose
// accessible holds the form's exposed controls.
void BindAccessible(GtkWidget* widget, forms::Control* control, GtkFormNative& form);
void UnbindAccessible(GtkWidget* widget);

// The accessible of a label or image, made at the first call.
AtkObject* NewWindowlessAccessible(forms::Control& control, GtkFormNative& form);
// The control went: the accessible says it is defunct from now on.
void ForgetWindowlessAccessible(AtkObject* accessible);

// Tells assistive technology of a new name or checked state, where an
// accessible was ever asked for (`made`: the windowless one, if any).
void AnnounceAccessibility(GtkWidget* widget, AtkObject* made, const forms::Control& control);

}  // namespace gtkplat
