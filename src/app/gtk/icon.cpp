// The window icon, drawn with cairo at start: a redeem ticket on an amber
// tile, the same picture as the icons installed for the desktop menu.
#include <cmath>

#include "app/gtk/gtk_backend.h"

namespace cdk {

namespace {

constexpr int kIconSizes[] = {16, 32, 48, 128};

void RoundedRectangle(cairo_t *cr, double left, double top, double right,
                      double bottom, double radius) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, right - radius, top + radius, radius, -M_PI / 2, 0);
  cairo_arc(cr, right - radius, bottom - radius, radius, 0, M_PI / 2);
  cairo_arc(cr, left + radius, bottom - radius, radius, M_PI / 2, M_PI);
  cairo_arc(cr, left + radius, top + radius, radius, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

GdkPixbuf *DrawIcon(int size) {
  cairo_surface_t *surface =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
  cairo_t *cr = cairo_create(surface);
  // Unit coordinates: the picture is the same at every size.
  cairo_scale(cr, size, size);

  RoundedRectangle(cr, 0.02, 0.02, 0.98, 0.98, 0.2);
  cairo_set_source_rgb(cr, 192 / 255.0, 96 / 255.0, 0);
  cairo_fill(cr);

  // The ticket, with a round notch on each side and a perforation.
  RoundedRectangle(cr, 0.16, 0.3, 0.84, 0.7, 0.06);
  cairo_set_source_rgb(cr, 1.0, 250 / 255.0, 240 / 255.0);
  cairo_fill(cr);
  cairo_set_source_rgb(cr, 192 / 255.0, 96 / 255.0, 0);
  cairo_arc(cr, 0.16, 0.5, 0.07, 0, 2 * M_PI);
  cairo_fill(cr);
  cairo_arc(cr, 0.84, 0.5, 0.07, 0, 2 * M_PI);
  cairo_fill(cr);
  for (int i = 6; i < 14; i += 2) {
    cairo_rectangle(cr, 0.605, i / 20.0, 0.03, 0.05);
  }
  cairo_fill(cr);

  cairo_destroy(cr);
  GdkPixbuf *pixbuf = gdk_pixbuf_get_from_surface(surface, 0, 0, size, size);
  cairo_surface_destroy(surface);
  return pixbuf;
}

} // namespace

GList *GtkCreateIcons() {
  GList *icons = nullptr;
  for (int size : kIconSizes) {
    if (GdkPixbuf *pixbuf = DrawIcon(size)) {
      icons = g_list_append(icons, pixbuf);
    }
  }
  return icons;
}

} // namespace cdk
