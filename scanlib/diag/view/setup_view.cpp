// "Online setup": a static text, the sorted combo box, OK (default) and
// Cancel, at the positions of the dialog's layout.
#include "setup_view.h"

#include <gtk/gtk.h>

#include <cstdio>

#include "dialog_units.h"
#include "setup_model.h"

namespace lx2d::view {
namespace {

constexpr DialogBox kDialog{0, 0, 221, 90};
constexpr DialogBox kOk{153, 64, 50, 14};
constexpr DialogBox kCancel{96, 64, 50, 14};
constexpr DialogBox kPrompt{14, 21, 100, 13};
constexpr DialogBox kCombo{13, 34, 189, 12};

struct SetupDialog {
  CSetupDlgModel model;
  GtkWidget* combo = nullptr;
};

void OnOk(GtkWidget*, gpointer data) {
  auto* dialog = static_cast<SetupDialog*>(data);
  dialog->model.Select(gtk_combo_box_get_active(GTK_COMBO_BOX(dialog->combo)));
  dialog->model.Ok();
  gtk_main_quit();
}

void OnCancel(GtkWidget*, gpointer data) {
  static_cast<SetupDialog*>(data)->model.Cancel();
  gtk_main_quit();
}

gboolean OnDelete(GtkWidget* widget, GdkEvent*, gpointer data) {
  OnCancel(widget, data);
  return TRUE;
}

// Escape cancels, as in any dialog.
gboolean OnKey(GtkWidget* widget, GdkEventKey* key, gpointer data) {
  if (key->keyval != GDK_KEY_Escape) return FALSE;
  OnCancel(widget, data);
  return TRUE;
}

}  // namespace

int RunSetupDialog(std::vector<std::string> entries) {
  SetupDialog dialog{CSetupDlgModel(std::move(entries))};
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), "Online setup");
  gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
  gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
  GtkWidget* fixed = gtk_fixed_new();
  gtk_widget_set_size_request(fixed, DluX(kDialog.width), DluY(kDialog.height));
  gtk_container_add(GTK_CONTAINER(window), fixed);

  GtkWidget* prompt = gtk_label_new("Select Device and click OK");
  gtk_label_set_xalign(GTK_LABEL(prompt), 0);
  Place(fixed, prompt, kPrompt);
  dialog.combo = gtk_combo_box_text_new();
  for (const std::string& entry : dialog.model.Entries()) {
    gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(dialog.combo), entry.c_str());
  }
  gtk_combo_box_set_active(GTK_COMBO_BOX(dialog.combo), dialog.model.Selected());
  Place(fixed, dialog.combo, kCombo);
  GtkWidget* cancel = gtk_button_new_with_label("Cancel");
  Place(fixed, cancel, kCancel);
  GtkWidget* ok = gtk_button_new_with_label("OK");
  Place(fixed, ok, kOk);
  gtk_widget_set_can_default(ok, TRUE);
  gtk_window_set_default(GTK_WINDOW(window), ok);

  g_signal_connect(ok, "clicked", G_CALLBACK(OnOk), &dialog);
  g_signal_connect(cancel, "clicked", G_CALLBACK(OnCancel), &dialog);
  g_signal_connect(window, "delete-event", G_CALLBACK(OnDelete), &dialog);
  g_signal_connect(window, "key-press-event", G_CALLBACK(OnKey), &dialog);
  gtk_widget_show_all(window);
  gtk_widget_grab_focus(ok);
  gtk_main();
  gtk_widget_destroy(window);

  // The library keeps the same sorted list, so the index names the entry
  // whatever its text holds.
  if (dialog.model.Selection()) {
    std::printf("ok %d\n", dialog.model.Selected());
  } else {
    std::printf("cancel\n");
  }
  std::fflush(stdout);
  return 0;
}

}  // namespace lx2d::view
