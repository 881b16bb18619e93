// The windows' 8-point look: small text and tight buttons, so labels fit
// the button sizes of the layouts.
#pragma once

#include <gtk/gtk.h>

namespace lx2d::view {

inline void UseCompactStyle() {
  GtkCssProvider* css = gtk_css_provider_new();
  gtk_css_provider_load_from_data(
      css,
      "* { font-size: 8pt; } button { padding: 0 2px; min-height: 0; min-width: 0; }"
      // The trace list draws its selected items in their own colours.
      " #trace-list:selected { background: none; color: inherit; }",
      -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(css);
}

}  // namespace lx2d::view
