// Accessibility on GTK through ATK. Implemented: each exposed control's
// role and name from the model; states (GTK's focusable, focused, showing,
// visible, enabled, with checkable and checked added for the categories);
// extents (GTK's for widgets, the control's rectangle on the form's surface
// for labels and images); the default action "click" of buttons,
// categories and links, run from an idle; the form's root listing only
// exposed controls, boxes that only lay out handing theirs up a level, in
// tab order; the text box's editable text is GtkEntry's own, named here.
// Not yet: text interfaces of labels (their name is their text), relations
// such as the categories' member-of, controls made after the form shows.
#include "accessible.h"

#include <gtk/gtk-a11y.h>

#include <algorithm>
#include <vector>

#include "gtk_controls.h"
#include "gtk_form.h"

namespace gtkplat {
namespace {

constexpr char kControlKey[] = "kivo-control";
constexpr char kFormKey[] = "kivo-form";
constexpr char kAccessibleKey[] = "kivo-accessible";
constexpr char kActionName[] = "click";

// A label's or an image's accessible: the control it reads, or null once
// the control went.
struct WindowlessAccessible {
  AtkObject parent;
  forms::Control* control;
  GtkFormNative* form;
};

AtkRole AtkRoleOf(forms::AccRole role) {
  using R = forms::AccRole;
  switch (role) {
    case R::kGroup: return ATK_ROLE_GROUPING;
    case R::kPushButton: return ATK_ROLE_PUSH_BUTTON;
    case R::kRadioButton: return ATK_ROLE_RADIO_BUTTON;
    case R::kEntry: return ATK_ROLE_ENTRY;
    case R::kLink: return ATK_ROLE_LINK;
    case R::kStaticText: return ATK_ROLE_LABEL;
    case R::kImage: return ATK_ROLE_IMAGE;
    case R::kPageArea: return ATK_ROLE_SCROLL_PANE;
    case R::kNone: break;
  }
  return ATK_ROLE_INVALID;
}

GType Register(GType parent, const char* name, GClassInitFunc init, gconstpointer data,
               guint16 instanceSize = 0) {
  GTypeQuery query;
  g_type_query(parent, &query);
  GTypeInfo info{};
  info.class_size = static_cast<guint16>(query.class_size);
  info.class_init = init;
  info.class_data = data;
  info.instance_size = instanceSize ? instanceSize : static_cast<guint16>(query.instance_size);
  return g_type_register_static(parent, name, &info, GTypeFlags(0));
}

// Our accessible types are never derived further: the class above the
// instance's is the one to chain up to.
AtkObjectClass* Parent(AtkObject* accessible) {
  return ATK_OBJECT_CLASS(g_type_class_peek_parent(G_OBJECT_GET_CLASS(accessible)));
}

GtkWidget* WidgetOf(AtkObject* accessible) {
  return GTK_IS_ACCESSIBLE(accessible) ? gtk_accessible_get_widget(GTK_ACCESSIBLE(accessible))
                                       : nullptr;
}
forms::Control* ControlOf(GtkWidget* widget) {
  return widget ? static_cast<forms::Control*>(g_object_get_data(G_OBJECT(widget), kControlKey))
                : nullptr;
}
GtkFormNative* FormOf(GtkWidget* widget) {
  return widget ? static_cast<GtkFormNative*>(g_object_get_data(G_OBJECT(widget), kFormKey))
                : nullptr;
}

GType WindowlessType();
WindowlessAccessible* AsWindowless(AtkObject* accessible) {
  return G_TYPE_CHECK_INSTANCE_TYPE(accessible, WindowlessType())
             ? reinterpret_cast<WindowlessAccessible*>(accessible)
             : nullptr;
}

forms::Control* ControlOfAccessible(AtkObject* accessible) {
  if (WindowlessAccessible* w = AsWindowless(accessible)) return w->control;
  return ControlOf(WidgetOf(accessible));
}

AtkObject* AccessibleOfControl(forms::Control& control) {
  auto* peer = dynamic_cast<PeerCore*>(control.Native());
  if (!peer) return nullptr;
  if (peer->Widget()) return gtk_widget_get_accessible(peer->Widget());
  auto* windowless = dynamic_cast<WindowlessPeer*>(peer);
  return windowless ? windowless->Accessible() : nullptr;
}

// The accessible a control is listed under: its nearest exposed container,
// else the form's root.
AtkObject* HostOf(const forms::Control& control, GtkFormNative& form) {
  for (forms::Control* c = control.Container(); c; c = c->Container()) {
    if (c->Exposed()) {
      if (AtkObject* host = AccessibleOfControl(*c)) return host;
    }
  }
  return gtk_widget_get_accessible(form.Root());
}

void Collect(const forms::Form& form, const forms::Control* host,
             std::vector<forms::Control*>& out) {
  for (const auto& c : form.Controls()) {
    if (c->Container() != host) continue;
    if (c->Exposed()) {
      out.push_back(c.get());
    } else if (c->Showing() && c->Kind() == forms::ControlKind::kPictureBox) {
      Collect(form, c.get(), out);
    }
  }
}

// What a root or an exposed box lists, read in tab order (controls that
// take no focus, the logo, first).
std::vector<forms::Control*> Children(AtkObject* accessible) {
  GtkWidget* widget = WidgetOf(accessible);
  GtkFormNative* form = FormOf(widget);
  forms::Control* host = ControlOf(widget);
  std::vector<forms::Control*> out;
  if (!form || (host && !host->Exposed())) return out;
  Collect(form->Form(), host, out);
  std::stable_sort(out.begin(), out.end(), [](const forms::Control* a, const forms::Control* b) {
    return a->TabIndex() < b->TabIndex();
  });
  return out;
}

// --- accessibles of widgets -------------------------------------------------

void Initialize(AtkObject* accessible, gpointer data) {
  Parent(accessible)->initialize(accessible, data);
  GtkWidget* widget = GTK_WIDGET(data);
  g_object_set_data(G_OBJECT(widget), kAccessibleKey, accessible);
  forms::Control* control = ControlOf(widget);
  GtkFormNative* form = FormOf(widget);
  // Under the control that lists it, not the layout box it sits in.
  if (control && form) atk_object_set_parent(accessible, HostOf(*control, *form));
}

const gchar* GetName(AtkObject* accessible) {
  forms::Control* c = ControlOf(WidgetOf(accessible));
  if (c && c->Role() != forms::AccRole::kNone) return c->AccName().c_str();
  return Parent(accessible)->get_name(accessible);
}

AtkRole GetRole(AtkObject* accessible) {
  GtkWidget* widget = WidgetOf(accessible);
  forms::Control* c = ControlOf(widget);
  if (c && c->Role() != forms::AccRole::kNone) return AtkRoleOf(c->Role());
  if (!c && FormOf(widget)) return ATK_ROLE_FILLER;  // the root: only holds the rest
  return Parent(accessible)->get_role(accessible);
}

void AddChecked(AtkStateSet* set, const forms::Control* c) {
  if (!c || c->Role() != forms::AccRole::kRadioButton) return;
  atk_state_set_add_state(set, ATK_STATE_CHECKABLE);
  if (c->Checked()) atk_state_set_add_state(set, ATK_STATE_CHECKED);
}

AtkStateSet* RefStateSet(AtkObject* accessible) {
  AtkStateSet* set = Parent(accessible)->ref_state_set(accessible);
  AddChecked(set, ControlOf(WidgetOf(accessible)));
  return set;
}

gint NChildren(AtkObject* accessible) { return static_cast<gint>(Children(accessible).size()); }

AtkObject* RefChild(AtkObject* accessible, gint i) {
  const auto children = Children(accessible);
  if (i < 0 || i >= static_cast<gint>(children.size())) return nullptr;
  AtkObject* child = AccessibleOfControl(*children[i]);
  if (!child) return nullptr;
  if (atk_object_get_parent(child) != accessible) atk_object_set_parent(child, accessible);
  return ATK_OBJECT(g_object_ref(child));
}

enum AccessibleFlags : guint { kPlain = 0, kBox = 1 };

void AccessibleClassInit(gpointer klass, gpointer data) {
  auto* k = ATK_OBJECT_CLASS(klass);
  k->initialize = Initialize;
  k->get_name = GetName;
  k->get_role = GetRole;
  k->ref_state_set = RefStateSet;
  if (GPOINTER_TO_UINT(data) & kBox) {
    k->get_n_children = NChildren;
    k->ref_child = RefChild;
  }
}

// --- the default action -----------------------------------------------------

gboolean RunDefaultAction(gpointer data) {
  // Found again: the control may have gone meanwhile.
  if (forms::Control* c = ControlOfAccessible(ATK_OBJECT(data))) {
    Guarded([&] { c->DoDefaultAction(); });
  }
  return G_SOURCE_REMOVE;
}

gint NActions(AtkAction* action) {
  forms::Control* c = ControlOfAccessible(ATK_OBJECT(action));
  return c && c->HasDefaultAction() ? 1 : 0;
}

gboolean DoAction(AtkAction* action, gint i) {
  if (i != 0 || NActions(action) == 0) return FALSE;
  // The caller waits on the bus for our answer, and a click may run a menu
  // or a dialog of its own: the click comes after the answer.
  g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, RunDefaultAction, g_object_ref(action), g_object_unref);
  return TRUE;
}

const gchar* ActionName(AtkAction* action, gint i) {
  return i == 0 && NActions(action) ? kActionName : nullptr;
}

void ActionInit(gpointer iface, gpointer) {
  auto* a = static_cast<AtkActionIface*>(iface);
  a->get_n_actions = NActions;
  a->do_action = DoAction;
  a->get_name = ActionName;
}

const GInterfaceInfo kActionInfo{ActionInit, nullptr, nullptr};

// --- accessibles of labels and images ------------------------------------------

const gchar* WindowlessName(AtkObject* accessible) {
  forms::Control* c = AsWindowless(accessible)->control;
  return c ? c->AccName().c_str() : nullptr;
}

AtkRole WindowlessRole(AtkObject* accessible) {
  forms::Control* c = AsWindowless(accessible)->control;
  return c ? AtkRoleOf(c->Role()) : ATK_ROLE_INVALID;
}

AtkStateSet* WindowlessStates(AtkObject* accessible) {
  AtkStateSet* set = atk_state_set_new();
  const WindowlessAccessible* w = AsWindowless(accessible);
  if (!w->control) {
    atk_state_set_add_state(set, ATK_STATE_DEFUNCT);
    return set;
  }
  atk_state_set_add_state(set, ATK_STATE_ENABLED);
  atk_state_set_add_state(set, ATK_STATE_SENSITIVE);
  if (w->control->Exposed()) {
    atk_state_set_add_state(set, ATK_STATE_VISIBLE);
    if (gtk_widget_get_mapped(w->form->Surface())) {
      atk_state_set_add_state(set, ATK_STATE_SHOWING);
    }
  }
  return set;
}

gint WindowlessIndex(AtkObject* accessible) {
  AtkObject* parent = atk_object_get_parent(accessible);
  if (!parent) return -1;
  const gint n = atk_object_get_n_accessible_children(parent);
  for (gint i = 0; i < n; ++i) {
    AtkObject* child = atk_object_ref_accessible_child(parent, i);
    if (child) g_object_unref(child);
    if (child == accessible) return i;
  }
  return -1;
}

void WindowlessExtents(AtkComponent* component, gint* x, gint* y, gint* width, gint* height,
                       AtkCoordType coords) {
  *x = *y = *width = *height = -1;
  const WindowlessAccessible* w = AsWindowless(ATK_OBJECT(component));
  GdkWindow* surface = w->control ? gtk_widget_get_window(w->form->Surface()) : nullptr;
  if (!surface) return;
  // The surface fills the form's client area from its corner.
  gint left = 0;
  gint top = 0;
  gdk_window_get_origin(surface, &left, &top);
  if (coords != ATK_XY_SCREEN) {
    gint windowLeft = 0;
    gint windowTop = 0;
    gdk_window_get_origin(gdk_window_get_toplevel(surface), &windowLeft, &windowTop);
    left -= windowLeft;
    top -= windowTop;
  }
  const forms::PointL at = w->control->OriginInForm();
  *x = left + at.x;
  *y = top + at.y;
  *width = w->control->Width();
  *height = w->control->Height();
}

void ComponentInit(gpointer iface, gpointer) {
  static_cast<AtkComponentIface*>(iface)->get_extents = WindowlessExtents;
}

const GInterfaceInfo kComponentInfo{ComponentInit, nullptr, nullptr};

void WindowlessClassInit(gpointer klass, gpointer) {
  auto* k = ATK_OBJECT_CLASS(klass);
  k->get_name = WindowlessName;
  k->get_role = WindowlessRole;
  k->ref_state_set = WindowlessStates;
  k->get_index_in_parent = WindowlessIndex;
}

GType WindowlessType() {
  static const GType type = [] {
    GType t = Register(ATK_TYPE_OBJECT, "KivoWindowlessAccessible", WindowlessClassInit, nullptr,
                       sizeof(WindowlessAccessible));
    g_type_add_interface_static(t, ATK_TYPE_COMPONENT, &kComponentInfo);
    g_type_add_interface_static(t, ATK_TYPE_ACTION, &kActionInfo);
    return t;
  }();
  return type;
}

// --- the widget types ------------------------------------------------------------

void WidgetClassInit(gpointer klass, gpointer accessibleType) {
  gtk_widget_class_set_accessible_type(GTK_WIDGET_CLASS(klass),
                                       static_cast<GType>(GPOINTER_TO_SIZE(accessibleType)));
}

// A widget type of ours beside `widgetParent`, whose accessible is ours
// beside `accessibleParent`.
GType WidgetType(GType widgetParent, GType accessibleParent, const char* name, guint flags,
                 bool action) {
  const std::string accessibleName = std::string(name) + "Accessible";
  GType accessible = Register(accessibleParent, accessibleName.c_str(), AccessibleClassInit,
                              GUINT_TO_POINTER(flags));
  if (action) g_type_add_interface_static(accessible, ATK_TYPE_ACTION, &kActionInfo);
  return Register(widgetParent, name, WidgetClassInit, GSIZE_TO_POINTER(accessible));
}

}  // namespace

GtkWidget* NewAccessibleDrawingArea() {
  static const GType type = WidgetType(GTK_TYPE_DRAWING_AREA, GTK_TYPE_WIDGET_ACCESSIBLE,
                                       "KivoPicture", kPlain, true);
  return GTK_WIDGET(g_object_new(type, nullptr));
}

GtkWidget* NewAccessibleLayout() {
  static const GType type = WidgetType(GTK_TYPE_LAYOUT, GTK_TYPE_CONTAINER_ACCESSIBLE,
                                       "KivoBox", kBox, false);
  return GTK_WIDGET(g_object_new(type, nullptr));
}

GtkWidget* NewAccessibleEntry() {
  static const GType type =
      WidgetType(GTK_TYPE_ENTRY, GTK_TYPE_ENTRY_ACCESSIBLE, "KivoEntry", kPlain, false);
  return GTK_WIDGET(g_object_new(type, nullptr));
}

GtkWidget* NewAccessibleFrame() {
  static const GType type =
      WidgetType(GTK_TYPE_FRAME, GTK_TYPE_FRAME_ACCESSIBLE, "KivoPageHolder", kPlain, false);
  return GTK_WIDGET(g_object_new(type, nullptr));
}

void BindAccessible(GtkWidget* widget, forms::Control* control, GtkFormNative& form) {
  g_object_set_data(G_OBJECT(widget), kControlKey, control);
  g_object_set_data(G_OBJECT(widget), kFormKey, &form);
}

void UnbindAccessible(GtkWidget* widget) {
  g_object_set_data(G_OBJECT(widget), kControlKey, nullptr);
  g_object_set_data(G_OBJECT(widget), kFormKey, nullptr);
}

AtkObject* NewWindowlessAccessible(forms::Control& control, GtkFormNative& form) {
  auto* accessible = ATK_OBJECT(g_object_new(WindowlessType(), nullptr));
  auto* w = AsWindowless(accessible);
  w->control = &control;
  w->form = &form;
  atk_object_set_parent(accessible, HostOf(control, form));
  return accessible;
}

void ForgetWindowlessAccessible(AtkObject* accessible) {
  if (!accessible) return;
  AsWindowless(accessible)->control = nullptr;
  atk_object_notify_state_change(accessible, ATK_STATE_DEFUNCT, TRUE);
}

void AnnounceAccessibility(GtkWidget* widget, AtkObject* made, const forms::Control& control) {
  AtkObject* accessible =
      made ? made
           : widget ? static_cast<AtkObject*>(g_object_get_data(G_OBJECT(widget), kAccessibleKey))
                    : nullptr;
  if (!accessible) return;  // nobody ever asked: nobody to tell
  // A category's name stays; what a screen reader says on a click is the
  // change of its checked state.
  if (control.Role() == forms::AccRole::kRadioButton) {
    atk_object_notify_state_change(accessible, ATK_STATE_CHECKED, control.Checked());
  } else {
    g_object_notify(G_OBJECT(accessible), "accessible-name");
  }
}

}  // namespace gtkplat
