// The embedded browser: a WebKitWebView that never shows a dialog of its own
// (script alerts, authentication, printing) and reports its loads to the
// form as download events. Built here and nowhere else. Not yet: downloads.
#pragma once

#include <gtk/gtk.h>

#include <string>

#include "forms/control.h"
#include "forms/form.h"

namespace gtkplat {

// The view reports to `browser` on `form` until it is destroyed.
GtkWidget* CreateWebView(forms::Form& form, forms::Control& browser);
// Stops the reports; before the view is destroyed.
void DetachWebView(GtkWidget* view);
void LoadAddress(GtkWidget* view, const std::string& address);

}  // namespace gtkplat
