// The system's message box on Linux: a modal GTK message dialog over its
// owner (or over nothing when the owner is hidden), run in a nested loop
// until answered. Only the OK/Cancel kind the program asks with is
// implemented; any other kind shows as OK/Cancel too. The default button
// is Cancel when asked for (MB_DEFBUTTON2); closing the box answers Cancel,
// and so does the program's end (a signal, the session) while it asks.
#include <string>

#include "gtk_form.h"
#include "gtk_platform.h"

namespace gtkplat {

int GtkPlatform::MsgBox(forms::WindowHandle owner, std::string_view text, std::string_view caption,
                        std::uint32_t type) {
  if (!toolkit_) return forms::kIdCancel;
  NativeWindow* w = WindowOf(owner);
  GtkWindow* parent = w && w->form ? w->form->Window() : nullptr;
  if (parent && !gtk_widget_get_visible(GTK_WIDGET(parent))) parent = nullptr;
  const std::string message(text);
  const GtkMessageType kind =
      (type & forms::kMbIconQuestion) ? GTK_MESSAGE_QUESTION : GTK_MESSAGE_INFO;
  GtkWidget* box = gtk_message_dialog_new(
      parent, static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT), kind,
      GTK_BUTTONS_NONE, "%s", message.c_str());
  gtk_window_set_title(GTK_WINDOW(box), std::string(caption).c_str());
  gtk_dialog_add_button(GTK_DIALOG(box), "取消(_C)", GTK_RESPONSE_CANCEL);
  gtk_dialog_add_button(GTK_DIALOG(box), "确定(_O)", GTK_RESPONSE_OK);
  gtk_dialog_set_default_response(
      GTK_DIALOG(box), (type & forms::kMbDefButton2) ? GTK_RESPONSE_CANCEL : GTK_RESPONSE_OK);
  gtk_window_set_position(GTK_WINDOW(box),
                          parent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
  gtk_window_set_keep_above(GTK_WINDOW(box), TRUE);
  // Ours until destroyed here: a box destroyed with its parent meanwhile
  // would otherwise be gone when gtk_dialog_run returns.
  g_object_ref(box);
  asking_ = GTK_DIALOG(box);
  const int response = gtk_dialog_run(GTK_DIALOG(box));
  asking_ = nullptr;
  gtk_widget_destroy(box);
  g_object_unref(box);
  return response == GTK_RESPONSE_OK ? forms::kIdOk : forms::kIdCancel;
}

}  // namespace gtkplat
