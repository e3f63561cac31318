// The embedded browser: a WebKitWebView that never shows a dialog of its own
// (script alerts, authentication, printing) and reports its loads to the
// form as download events. Built here and nowhere else.
#pragma once

#include <gtk/gtk.h>

#include <string>

#include "forms/control.h"
#include "forms/form.h"

namespace gtkplat {

GtkWidget* CreateWebView(forms::Form& form, forms::Control& browser);
void LoadAddress(GtkWidget* view, const std::string& address);

}  // namespace gtkplat
