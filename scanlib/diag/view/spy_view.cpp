// "Spy Window": the coloured trace list, the data list and the message list
// with their buttons, at the positions of the window's layout.
#include "spy_view.h"

#include <gtk/gtk.h>

#include <cstdio>
#include <string>

#include "dialog_units.h"
#include "spy_wire.h"

namespace lx2d::view {
namespace {

constexpr DialogBox kTraceList{15, 15, 381, 173};
constexpr DialogBox kDataList{16, 194, 380, 68};
constexpr DialogBox kMessageList{16, 276, 379, 83};
constexpr DialogBox kClearButton{151, 368, 50, 14};
constexpr DialogBox kSaveButton{209, 368, 50, 14};
constexpr int kColumnWidth = 100;  // pixels, each message-list column

// The trace list's fixed-pitch font.
constexpr const char* kTraceFont = "Monospace 8";

enum TraceColumn { kTraceText, kTraceColour };

class CSpyView {
 public:
  CSpyView(const SpyRect& rect, int64_t openTickMs);
  ~CSpyView() { g_object_unref(layout_); }
  void Run();

 private:
  static gboolean OnInput(GIOChannel* channel, GIOCondition condition, gpointer self);
  static gboolean OnConfigure(GtkWidget*, GdkEvent*, gpointer self);
  static gboolean OnMapped(GtkWidget*, GdkEvent*, gpointer self);
  static void OnClear(GtkWidget*, gpointer self);
  static void OnSave(GtkWidget*, gpointer self);
  static void DrawTraceItem(GtkTreeViewColumn*, GtkCellRenderer* cell, GtkTreeModel* model,
                            GtkTreeIter* row, gpointer self);
  static void OnLabelEdited(GtkCellRendererText*, gchar* path, gchar* text, gpointer self);

  int MeasureText(std::string_view text);
  GtkWidget* AddList(GtkListStore* store, const DialogBox& box, bool headers);
  void Show(SpyEvent event);
  void SaveTo(const std::string& path);

  CSpyModel model_;
  SpyRect rect_;
  GtkWidget* window_ = nullptr;
  GtkWidget* fixed_ = nullptr;
  GtkListStore* trace_ = nullptr;
  GtkListStore* data_ = nullptr;
  GtkListStore* messages_ = nullptr;
  GtkWidget* traceView_ = nullptr;
  GtkWidget* dataView_ = nullptr;
  GtkWidget* messageView_ = nullptr;
  GtkTreeViewColumn* traceColumn_ = nullptr;
  PangoLayout* layout_ = nullptr;
  std::string pending_;
};

// COLORREF (0x00BBGGRR) as a GTK colour name.
std::string ColourName(uint32_t colour) {
  char name[8];
  std::snprintf(name, sizeof name, "#%02x%02x%02x", colour & 0xFF, (colour >> 8) & 0xFF,
                (colour >> 16) & 0xFF);
  return name;
}

void ScrollTo(GtkWidget* view, int row, bool toTop) {
  if (row < 0) return;
  GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
  gtk_tree_view_scroll_to_cell(GTK_TREE_VIEW(view), path, nullptr, toTop, 0, 0);
  gtk_tree_path_free(path);
}

CSpyView::CSpyView(const SpyRect& rect, int64_t openTickMs)
    : model_(openTickMs, [this](std::string_view text) { return MeasureText(text); }), rect_(rect) {
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window_), "Spy Window");
  gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
  gtk_window_move(GTK_WINDOW(window_), rect.left, rect.top);
  // The window is exactly the stored size: a window that may not be resized
  // takes the size of its content.
  fixed_ = gtk_fixed_new();
  gtk_widget_set_size_request(fixed_, rect.right - rect.left, rect.bottom - rect.top);
  gtk_container_add(GTK_CONTAINER(window_), fixed_);

  PangoFontDescription* font = pango_font_description_from_string(kTraceFont);
  layout_ = gtk_widget_create_pango_layout(window_, nullptr);
  pango_layout_set_font_description(layout_, font);

  trace_ = gtk_list_store_new(2, G_TYPE_STRING, G_TYPE_UINT);
  traceView_ = AddList(trace_, kTraceList, false);
  gtk_widget_set_name(traceView_, "trace-list");
  GtkCellRenderer* text = gtk_cell_renderer_text_new();
  g_object_set(text, "font-desc", font, nullptr);
  traceColumn_ = gtk_tree_view_column_new_with_attributes("", text, nullptr);
  gtk_tree_view_column_set_cell_data_func(traceColumn_, text, DrawTraceItem, this, nullptr);
  // Colours follow the selection, so a changed selection redraws.
  g_signal_connect_swapped(gtk_tree_view_get_selection(GTK_TREE_VIEW(traceView_)), "changed",
                           G_CALLBACK(gtk_widget_queue_draw), traceView_);
  gtk_tree_view_append_column(GTK_TREE_VIEW(traceView_), traceColumn_);
  pango_font_description_free(font);

  data_ = gtk_list_store_new(1, G_TYPE_STRING);
  dataView_ = AddList(data_, kDataList, false);
  gtk_tree_view_append_column(GTK_TREE_VIEW(dataView_),
                              gtk_tree_view_column_new_with_attributes(
                                  "", gtk_cell_renderer_text_new(), "text", 0, nullptr));

  messages_ = gtk_list_store_new(4, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING);
  messageView_ = AddList(messages_, kMessageList, true);
  for (int i = 0; i < 4; ++i) {
    GtkCellRenderer* cell = gtk_cell_renderer_text_new();
    // The rows' labels (first column) may be edited, as notes of the user.
    if (i == 0) {
      g_object_set(cell, "editable", TRUE, nullptr);
      g_signal_connect(cell, "edited", G_CALLBACK(OnLabelEdited), this);
    }
    GtkTreeViewColumn* column =
        gtk_tree_view_column_new_with_attributes(kMessageColumns[i], cell, "text", i, nullptr);
    gtk_tree_view_column_set_sizing(column, GTK_TREE_VIEW_COLUMN_FIXED);
    gtk_tree_view_column_set_fixed_width(column, kColumnWidth);
    gtk_tree_view_column_set_resizable(column, TRUE);
    gtk_tree_view_append_column(GTK_TREE_VIEW(messageView_), column);
  }

  GtkWidget* clear = gtk_button_new_with_label("Clear Window");
  Place(fixed_, clear, kClearButton);
  GtkWidget* save = gtk_button_new_with_label("Save");
  Place(fixed_, save, kSaveButton);
  g_signal_connect(clear, "clicked", G_CALLBACK(OnClear), this);
  g_signal_connect(save, "clicked", G_CALLBACK(OnSave), this);
  g_signal_connect(window_, "configure-event", G_CALLBACK(OnConfigure), this);
  g_signal_connect(window_, "map-event", G_CALLBACK(OnMapped), this);
  g_signal_connect(window_, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
}

GtkWidget* CSpyView::AddList(GtkListStore* store, const DialogBox& box, bool headers) {
  GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scrolled), GTK_SHADOW_IN);
  GtkWidget* view = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store));
  g_object_unref(store);  // the view holds it
  gtk_tree_view_set_headers_visible(GTK_TREE_VIEW(view), headers);
  gtk_tree_selection_set_mode(gtk_tree_view_get_selection(GTK_TREE_VIEW(view)),
                              GTK_SELECTION_SINGLE);
  gtk_container_add(GTK_CONTAINER(scrolled), view);
  Place(fixed_, scrolled, box);
  return view;
}

int CSpyView::MeasureText(std::string_view text) {
  pango_layout_set_text(layout_, text.data(), static_cast<int>(text.size()));
  int width = 0;
  pango_layout_get_pixel_size(layout_, &width, nullptr);
  return width;
}

void CSpyView::Run() {
  GIOChannel* input = g_io_channel_unix_new(0);
  g_io_channel_set_encoding(input, nullptr, nullptr);
  g_io_channel_set_flags(input, G_IO_FLAG_NONBLOCK, nullptr);
  g_io_add_watch(input, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), OnInput, this);
  g_io_channel_unref(input);
  gtk_widget_show_all(window_);
  gtk_main();
}

void CSpyView::Show(SpyEvent event) {
  if (event == SpyEvent::kTrace) {
    const TraceItem& item = model_.TraceLines().back();
    GtkTreeIter row;
    gtk_list_store_insert_with_values(trace_, &row, -1, kTraceText, item.text.c_str(), kTraceColour,
                                      item.colour, -1);
    // The column is as wide as the widest line, so the list scrolls to it.
    gtk_tree_view_column_set_min_width(traceColumn_, model_.HorizontalExtent());
  } else if (event == SpyEvent::kMessage) {
    const MessageRowTexts& texts = model_.MessageRows().back();
    GtkTreeIter row;
    gtk_list_store_insert_with_values(messages_, &row, -1, 0, texts.handle.c_str(), 1,
                                      texts.message.c_str(), 2, texts.wParam.c_str(), 3,
                                      texts.lParam.c_str(), -1);
    gtk_list_store_insert_with_values(data_, &row, -1, 0, model_.DataLines().back().c_str(), -1);
  }
}

gboolean CSpyView::OnInput(GIOChannel* channel, GIOCondition, gpointer self) {
  auto* view = static_cast<CSpyView*>(self);
  char chunk[8192];
  gsize got = 0;
  bool ended = false;
  bool traced = false;
  bool posted = false;
  for (;;) {
    const GIOStatus status = g_io_channel_read_chars(channel, chunk, sizeof chunk, &got, nullptr);
    view->pending_.append(chunk, got);
    if (status == G_IO_STATUS_AGAIN) break;
    if (status != G_IO_STATUS_NORMAL) {
      ended = true;
      break;
    }
  }
  size_t start = 0;
  for (size_t end; (end = view->pending_.find('\n', start)) != std::string::npos; start = end + 1) {
    const SpyEvent event =
        ApplySpyEvent(std::string_view(view->pending_).substr(start, end - start), view->model_);
    view->Show(event);
    traced |= event == SpyEvent::kTrace;
    posted |= event == SpyEvent::kMessage;
  }
  view->pending_.erase(0, start);
  // One scroll per batch: the last trace line at the top, the data line
  // before the last at the top, the newest message row visible.
  if (traced)
    ScrollTo(view->traceView_, static_cast<int>(view->model_.TraceLines().size()) - 1, true);
  if (posted) {
    ScrollTo(view->dataView_, static_cast<int>(view->model_.DataLines().size()) - 2, true);
    ScrollTo(view->messageView_, static_cast<int>(view->model_.MessageRows().size()) - 1, false);
  }
  if (ended) {
    gtk_main_quit();
    return FALSE;
  }
  return TRUE;
}

gboolean CSpyView::OnConfigure(GtkWidget* widget, GdkEvent*, gpointer self) {
  auto* view = static_cast<CSpyView*>(self);
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  gtk_window_get_position(GTK_WINDOW(widget), &x, &y);
  gtk_window_get_size(GTK_WINDOW(widget), &width, &height);
  const SpyRect rect{x, y, x + width, y + height};
  if (rect != view->rect_) {
    view->rect_ = rect;
    std::fputs(EncodeRectEvent(rect).c_str(), stdout);
    std::fflush(stdout);
  }
  return FALSE;
}

gboolean CSpyView::OnMapped(GtkWidget*, GdkEvent*, gpointer) {
  std::printf("%s\n", std::string(kSpyReady).c_str());
  std::fflush(stdout);
  return FALSE;
}

void CSpyView::OnClear(GtkWidget*, gpointer self) {
  auto* view = static_cast<CSpyView*>(self);
  view->model_.Clear();
  gtk_list_store_clear(view->trace_);
  gtk_list_store_clear(view->data_);
  gtk_list_store_clear(view->messages_);
}

void CSpyView::DrawTraceItem(GtkTreeViewColumn*, GtkCellRenderer* cell, GtkTreeModel* model,
                             GtkTreeIter* row, gpointer self) {
  auto* view = static_cast<CSpyView*>(self);
  guint colour = 0;
  gtk_tree_model_get(model, row, kTraceColour, &colour, -1);
  const bool selected = gtk_tree_selection_iter_is_selected(
      gtk_tree_view_get_selection(GTK_TREE_VIEW(view->traceView_)), row);
  const TraceItemLook look = TraceItemColours(colour, selected);
  // GTK ignores a cell's own colours while it is selected; colours given in
  // the text's markup hold in every state.
  gchar* text = nullptr;
  gtk_tree_model_get(model, row, kTraceText, &text, -1);
  std::string open = "<span";
  if (look.text) open += " foreground='" + ColourName(*look.text) + "'";
  // The highlight text colour, on the black fill of a selected colour-0 item.
  if (!look.text && selected) open += " foreground='#ffffff'";
  if (look.background) open += " background='" + ColourName(*look.background) + "'";
  gchar* escaped = g_markup_escape_text(text != nullptr ? text : "", -1);
  const std::string markup = open + ">" + escaped + "</span>";
  g_object_set(cell, "markup", markup.c_str(), "cell-background-set", look.background.has_value(),
               nullptr);
  if (look.background) {
    g_object_set(cell, "cell-background", ColourName(*look.background).c_str(), nullptr);
  }
  g_free(escaped);
  g_free(text);
}

void CSpyView::OnLabelEdited(GtkCellRendererText*, gchar* path, gchar* text, gpointer self) {
  auto* view = static_cast<CSpyView*>(self);
  GtkTreeIter row;
  if (gtk_tree_model_get_iter_from_string(GTK_TREE_MODEL(view->messages_), &row, path)) {
    gtk_list_store_set(view->messages_, &row, 0, text, -1);
  }
}

void CSpyView::OnSave(GtkWidget*, gpointer self) {
  auto* view = static_cast<CSpyView*>(self);
  GtkWidget* chooser = gtk_file_chooser_dialog_new(
      "Save As", GTK_WINDOW(view->window_), GTK_FILE_CHOOSER_ACTION_SAVE, "_Cancel",
      GTK_RESPONSE_CANCEL, "_Save", GTK_RESPONSE_ACCEPT, nullptr);
  GtkFileChooser* files = GTK_FILE_CHOOSER(chooser);
  gtk_file_chooser_set_do_overwrite_confirmation(files, TRUE);
  gtk_file_chooser_set_current_name(files, "log.txt");
  GtkFileFilter* logs = gtk_file_filter_new();
  gtk_file_filter_set_name(logs, "Log Files (*.txt)");
  gtk_file_filter_add_pattern(logs, "*.txt");
  gtk_file_chooser_add_filter(files, logs);
  GtkFileFilter* all = gtk_file_filter_new();
  gtk_file_filter_set_name(all, "All Files (*.*)");
  gtk_file_filter_add_pattern(all, "*");
  gtk_file_chooser_add_filter(files, all);
  if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
    char* path = gtk_file_chooser_get_filename(files);
    if (path != nullptr && path[0] != '\0') view->SaveTo(path);
    g_free(path);
  }
  gtk_widget_destroy(chooser);
}

void CSpyView::SaveTo(const std::string& path) {
  const std::string error = model_.Save(path);
  if (error.empty()) return;
  GtkWidget* box = gtk_message_dialog_new(GTK_WINDOW(window_), GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                          GTK_BUTTONS_OK, "%s", error.c_str());
  gtk_dialog_run(GTK_DIALOG(box));
  gtk_widget_destroy(box);
}

}  // namespace

int RunSpyWindow(const SpyRect& rect, int64_t openTickMs) {
  CSpyView view(rect, openTickMs);
  view.Run();
  return 0;
}

}  // namespace lx2d::view
