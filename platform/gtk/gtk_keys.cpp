// Keys for the form's key preview: GDK key values turned into the virtual
// key codes the program's handlers know (VK_*), with the shift state. Not
// handled: keys without a virtual code of their own (dead keys, IME
// composition, media keys), which pass through untouched.
#include "gtk_form.h"

namespace gtkplat {
namespace {

int VirtualKey(guint keyval) {
  const guint upper = gdk_keyval_to_upper(keyval);
  if (upper >= GDK_KEY_A && upper <= GDK_KEY_Z) return 'A' + static_cast<int>(upper - GDK_KEY_A);
  if (keyval >= GDK_KEY_0 && keyval <= GDK_KEY_9) return '0' + static_cast<int>(keyval - GDK_KEY_0);
  if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F24) {
    return forms::kVkF1 + static_cast<int>(keyval - GDK_KEY_F1);
  }
  switch (keyval) {
    case GDK_KEY_BackSpace: return forms::kVkBack;
    case GDK_KEY_Tab:
    case GDK_KEY_ISO_Left_Tab: return forms::kVkTab;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter: return forms::kVkReturn;
    case GDK_KEY_Escape: return forms::kVkEscape;
    case GDK_KEY_space: return 32;
    case GDK_KEY_Page_Up: return 33;
    case GDK_KEY_Page_Down: return 34;
    case GDK_KEY_End: return 35;
    case GDK_KEY_Home: return 36;
    case GDK_KEY_Left:
    case GDK_KEY_KP_Left: return forms::kVkLeft;
    case GDK_KEY_Up:
    case GDK_KEY_KP_Up: return forms::kVkUp;
    case GDK_KEY_Right:
    case GDK_KEY_KP_Right: return forms::kVkRight;
    case GDK_KEY_Down:
    case GDK_KEY_KP_Down: return forms::kVkDown;
    case GDK_KEY_Insert: return 45;
    case GDK_KEY_Delete: return 46;
    default: return 0;
  }
}

}  // namespace

bool GtkFormNative::PreviewKey(const GdkEventKey* event) {
  const int code = VirtualKey(event->keyval);
  if (code == 0) return false;
  const int shift = ((event->state & GDK_SHIFT_MASK) ? forms::kShiftMask : 0) |
                    ((event->state & GDK_CONTROL_MASK) ? forms::kCtrlMask : 0) |
                    ((event->state & GDK_MOD1_MASK) ? forms::kAltMask : 0);
  bool used = false;
  Guarded([&] { used = form_.NativeKeyDown(code, shift); });
  return used;
}

}  // namespace gtkplat
