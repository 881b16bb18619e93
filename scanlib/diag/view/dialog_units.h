// Dialog units of the windows' layouts in pixels, for the 8-point dialog
// font they were designed with (4 horizontal units to an average character
// of 6 pixels, 8 vertical units to a line of 13), and placing controls there.
#pragma once

#include <gtk/gtk.h>

namespace lx2d::view {

struct DialogBox {
  int x, y, width, height;
};

constexpr int DluX(int units) { return units * 6 / 4; }
constexpr int DluY(int units) { return units * 13 / 8; }

// Puts `widget` into the fixed layout `fixed` at `box`.
inline void Place(GtkWidget* fixed, GtkWidget* widget, const DialogBox& box) {
  gtk_widget_set_size_request(widget, DluX(box.width), DluY(box.height));
  gtk_fixed_put(GTK_FIXED(fixed), widget, DluX(box.x), DluY(box.y));
}

}  // namespace lx2d::view
