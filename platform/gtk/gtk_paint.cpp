// Painting: the form's surface (its persistent image, then its labels and
// images above it), picture boxes and containers, in the program's font,
// and the focus cue of a focused picture box once the keyboard was used.
// Not yet: focus cues of containers (they would lie under their
// children), label alignment, word wrap, transparent label backgrounds
// drawn over picture boxes.
#include <cstdint>

#include "engine_loader.h"
#include "gtk_controls.h"
#include "gtk_form.h"
#include "startup_trace.h"

namespace gtkplat {
namespace {

void SetSourceColor(cairo_t* cr, forms::Color c) {
  cairo_set_source_rgb(cr, forms::RedOf(c) / 255.0, forms::GreenOf(c) / 255.0,
                       forms::BlueOf(c) / 255.0);
}

// Shows a persistent image without copying it: cairo's RGB24 is our layout.
void PaintSurface(cairo_t* cr, forms::Surface& image, double x, double y) {
  if (image.Empty()) return;
  Owned<cairo_surface_t, cairo_surface_destroy> s(cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(image.Bits()), CAIRO_FORMAT_RGB24, image.Width(),
      image.Height(), image.Width() * 4));
  cairo_set_source_surface(cr, s.get(), x, y);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_paint(cr);
}

// Every child of the form laid out again; the engine may load once the
// frame that shows it is painted.
gboolean LayOutAgain(gpointer data) {
  auto* root = GTK_WIDGET(data);
  gtk_container_foreach(
      GTK_CONTAINER(root), +[](GtkWidget* child, gpointer) { gtk_widget_queue_resize(child); },
      nullptr);
  GdkFrameClock* clock = gtk_widget_get_frame_clock(root);
  if (!clock) {
    NoteFramePainted();
    return G_SOURCE_REMOVE;
  }
  // Once, after the frame that lays them out again has been painted.
  auto* once = new gulong(0);
  *once = g_signal_connect_data(
      clock, "after-paint", G_CALLBACK(+[](GdkFrameClock* c, gulong* id) {
        g_signal_handler_disconnect(c, *id);
        TraceOnce("frame-complete");
        NoteFramePainted();
      }),
      once, +[](gpointer id, GClosure*) { delete static_cast<gulong*>(id); },
      static_cast<GConnectFlags>(0));
  return G_SOURCE_REMOVE;
}

// The classic focus rectangle: every other pixel of a rectangle 1 pixel
// inside the control's edge, inverted, so it shows on any part of the skin.
void PaintFocusCue(cairo_t* cr, int width, int height) {
  const int right = width - 2;
  const int bottom = height - 2;
  if (right <= 1 || bottom <= 1) return;
  cairo_save(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_DIFFERENCE);
  cairo_set_source_rgb(cr, 1, 1, 1);
  for (int x = 1; x <= right; ++x) {
    for (int y : {1, bottom}) {
      if ((x + y) % 2 == 0) cairo_rectangle(cr, x, y, 1, 1);
    }
  }
  for (int y = 2; y < bottom; ++y) {
    for (int x : {1, right}) {
      if ((x + y) % 2 == 0) cairo_rectangle(cr, x, y, 1, 1);
    }
  }
  cairo_fill(cr);
  cairo_restore(cr);
}

}  // namespace

const char* GtkFormNative::FontFamily() {
  // Song faces with 12-pixel strikes whose Latin is exactly half as wide as
  // their Chinese, as the classic GUI font's; the last one, a sans, is what
  // a machine without them still has.
  return "AR PL UMing CN,WenQuanYi Zen Hei Mono,WenQuanYi Micro Hei Mono";
}

cairo_surface_t* GtkFormNative::ImageFor(const forms::Control& control) {
  auto it = images_.find(&control);
  if (it != images_.end()) return it->second.get();
  const forms::Picture* p = control.PictureData();
  if (!p || !p->Valid()) return nullptr;
  Owned<cairo_surface_t, cairo_surface_destroy> owned(
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, p->width, p->height));
  cairo_surface_t* s = owned.get();
  cairo_surface_flush(s);
  unsigned char* data = cairo_image_surface_get_data(s);
  const int stride = cairo_image_surface_get_stride(s);
  for (int y = 0; y < p->height; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<std::size_t>(y) * stride);
    for (int x = 0; x < p->width; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * p->width + x;
      const unsigned a = p->alpha.empty() ? 255u : p->alpha[i];
      const forms::Color c = p->pixels[i];
      // cairo wants premultiplied alpha.
      row[x] = (a << 24) | ((forms::RedOf(c) * a / 255) << 16) |
               ((forms::GreenOf(c) * a / 255) << 8) | (forms::BlueOf(c) * a / 255);
    }
  }
  cairo_surface_mark_dirty(s);
  images_[&control] = std::move(owned);
  return s;
}

void GtkFormNative::PaintWindowless(cairo_t* cr) {
  // Above the persistent image, in creation order.
  for (const auto& control : form_.Controls()) {
    if (control->Container() || !control->Visible()) continue;
    if (control->Kind() == forms::ControlKind::kImage) {
      if (cairo_surface_t* image = ImageFor(*control)) {
        cairo_set_source_surface(cr, image, control->Left(), control->Top());
        // At a scale of 2 cairo would smooth the picture into its neighbours.
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
        cairo_paint(cr);
      }
    } else if (control->Kind() == forms::ControlKind::kLabel) {
      g_autoptr(PangoLayout) layout = pango_cairo_create_layout(cr);
      pango_layout_set_font_description(layout, font_.get());
      pango_layout_set_text(layout, control->Text().c_str(), -1);
      SetSourceColor(cr, forms::Resolve(platform_, control->ForeColor()));
      // A 12-pixel line: the baseline one pixel above the cell's bottom,
      // whatever leading the font that was found adds.
      const int baseline = pango_layout_get_baseline(layout) / PANGO_SCALE;
      cairo_move_to(cr, control->Left(), control->Top() + (kFontPx - 1) - baseline);
      pango_cairo_show_layout(cr, layout);
    }
  }
}

gboolean GtkFormNative::OnDrawSurface(GtkWidget*, cairo_t* cr, GtkFormNative* self) {
  PaintSurface(cr, self->form_.Image(), 0, 0);
  self->PaintWindowless(cr);
  TraceOnce("frame-drawn");
  if (!self->laidOutAfterFirstDraw_) {
    // The first frame can show the top band blank (seen while the browser
    // control waits for its engine): until its children are laid out once
    // more, which this pass, right after that frame, does. The engine's
    // libraries load once the frame after it is on screen: drawing it opens
    // libraries of GTK's own, which would wait for the engine's.
    self->laidOutAfterFirstDraw_ = true;
    g_idle_add_full(GDK_PRIORITY_REDRAW - 1, &LayOutAgain, g_object_ref(self->root_),
                    g_object_unref);
  }
  return FALSE;
}

gboolean GtkFormNative::OnDrawPicture(GtkWidget* widget, cairo_t* cr, PeerCore* peer) {
  forms::Control& c = peer->Model();
  SetSourceColor(cr, forms::Resolve(peer->Owner().Platform(), c.BackColor()));
  cairo_paint(cr);
  if (forms::Surface* image = c.Image()) PaintSurface(cr, *image, 0, 0);
  // Never before a key: a pointer user sees the skin as drawn.
  if (c.Owner().FocusCues() && gtk_widget_has_focus(widget)) {
    PaintFocusCue(cr, c.Width(), c.Height());
  }
  return FALSE;
}

gboolean GtkFormNative::OnDrawContainer(GtkWidget*, cairo_t* cr, PeerCore* peer) {
  SetSourceColor(cr, forms::Resolve(peer->Owner().Platform(), peer->Model().BackColor()));
  cairo_paint(cr);
  return FALSE;  // the layout then draws its children above
}

}  // namespace gtkplat
