// The GTK 3 dialog backend: a dialog's controls become widgets placed at their template positions,
// with dialog units taken from the theme's font; where a control's text needs more room than its
// template gives, the dialog grows at that control's edge (everything beyond the edge moves, what
// spans it widens), so columns, rows and frames keep their order and nothing overlaps. The model's
// state is pushed into the widgets on every change, and the user's clicks, choices and typing
// come back through the shared part as commands. A scripted run plays its actions through the
// toolkit itself (a click is a button's "clicked"), one at a time from a timer once the dialog in
// front has been drawn, and a stalled scripted dialog ends after a bounded wait. Texts are
// converted between the dialog code page and UTF-8 here. Used by dialog.cpp only when a display
// opened and the process is not headless.
#include <gtk/gtk.h>
#include <sys/wait.h>

#include <cstdio>
#include <vector>

#include "platform/code_page.h"
#include "platform/dialog_backend.h"
#include "platform/os.h"

namespace {

enum ToolkitState { kToolkitUnknown, kToolkitAvailable, kToolkitUnavailable };
ToolkitState gToolkit = kToolkitUnknown;

// Set while the model is pushed into widgets, so the widgets' signals are not taken for input.
bool gSyncing = false;
guint gActionTimer = 0;

constexpr guint kActionDelayMs = 150;
// A scripted dialog that is still open this long after its last action ends with -1.
constexpr guint kScriptStallMs = 20000;
// A static text of this height in dialog units holds two lines or more, and wraps.
constexpr int16_t kTwoLinesUnits = 16;
// The letters whose mean width gives the horizontal dialog unit, as dialog units are defined.
constexpr char kUnitSample[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

struct ToolkitDialog {
  GtkWidget* window;
  GtkWidget* area;  // the controls' parent, as large as the layout says
  GMainLoop* loop;
  bool drawn;
  guint stallTimer;
  // The layout: one rectangle per control (the model's order) and the client size, in pixels.
  std::vector<DialogRect> places;
  int32_t width;
  int32_t height;
};

ToolkitDialog* Toolkit(DialogWindow* window) { return static_cast<ToolkitDialog*>(window->toolkit); }
const ToolkitDialog* Toolkit(const DialogWindow* window) { return static_cast<const ToolkitDialog*>(window->toolkit); }

DialogWindow* WindowOf(GtkWidget* widget) {
  return static_cast<DialogWindow*>(g_object_get_data(G_OBJECT(widget), "korvane-dialog"));
}

std::string Utf8(const std::string& text) { return CodePageToUtf8(text.c_str()); }

// Texts wrap in statics two lines tall or more and in multi-line buttons.
bool Wraps(const DialogControlTemplate* source) {
  switch (source->kind) {
    case kDialogStatic:
      return source->height >= kTwoLinesUnits;
    case kDialogCheckBox:
    case kDialogRadioButton:
      return (source->style & kDialogStyleMultiLine) != 0;
    default:
      return false;
  }
}

void WrapButtonLabel(GtkWidget* button) {
  GtkWidget* child = gtk_bin_get_child(GTK_BIN(button));
  if (child && GTK_IS_LABEL(child)) {
    gtk_label_set_line_wrap(GTK_LABEL(child), TRUE);
    gtk_label_set_xalign(GTK_LABEL(child), 0.0f);
  }
}

// The picture fills its control's place, which may have grown beyond the template's.
void SetPicture(GtkWidget* widget, const Image& image) {
  if (!image.pixels) {
    gtk_image_clear(GTK_IMAGE(widget));
    return;
  }
  GdkPixbuf* view = gdk_pixbuf_new_from_data(image.pixels, GDK_COLORSPACE_RGB, TRUE, 8, image.width, image.height,
                                             image.width * 4, nullptr, nullptr);
  gint width = -1, height = -1;
  gtk_widget_get_size_request(widget, &width, &height);
  GdkPixbuf* copy = nullptr;
  if (view && width > 0 && height > 0 && (width != image.width || height != image.height)) {
    copy = gdk_pixbuf_scale_simple(view, width, height, GDK_INTERP_BILINEAR);
  } else if (view) {
    copy = gdk_pixbuf_copy(view);
  }
  gtk_image_set_from_pixbuf(GTK_IMAGE(widget), copy);
  if (copy) g_object_unref(copy);
  if (view) g_object_unref(view);
}

void SyncList(DialogControl* control) {
  auto* widget = static_cast<GtkWidget*>(control->widget);
  if (control->control->kind == kDialogDropDownList) {
    GtkComboBoxText* combo = GTK_COMBO_BOX_TEXT(widget);
    gtk_combo_box_text_remove_all(combo);
    for (const DialogListItem& item : control->items) gtk_combo_box_text_append_text(combo, Utf8(item.text).c_str());
    gtk_combo_box_set_active(GTK_COMBO_BOX(combo), control->selection);
    return;
  }
  GtkListBox* list = GTK_LIST_BOX(g_object_get_data(G_OBJECT(widget), "korvane-list"));
  GList* children = gtk_container_get_children(GTK_CONTAINER(list));
  for (GList* child = children; child; child = child->next) gtk_widget_destroy(GTK_WIDGET(child->data));
  g_list_free(children);
  for (const DialogListItem& item : control->items) {
    GtkWidget* label = gtk_label_new(Utf8(item.text).c_str());
    gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
    gtk_list_box_insert(list, label, -1);
  }
  gtk_widget_show_all(GTK_WIDGET(list));
  GtkListBoxRow* row = control->selection >= 0 ? gtk_list_box_get_row_at_index(list, control->selection) : nullptr;
  if (row) {
    gtk_list_box_select_row(list, row);
  } else {
    gtk_list_box_unselect_all(list);
  }
}

void SyncWidget(DialogControl* control) {
  auto* widget = static_cast<GtkWidget*>(control->widget);
  if (!widget) return;
  gtk_widget_set_sensitive(widget, control->enabled);
  std::string text = Utf8(control->text);
  switch (control->control->kind) {
    case kDialogPicture:
      SetPicture(widget, control->image);
      break;
    case kDialogPushButton:
    case kDialogDefaultButton:
      gtk_button_set_label(GTK_BUTTON(widget), text.c_str());
      break;
    case kDialogCheckBox:
    case kDialogRadioButton:
      gtk_button_set_label(GTK_BUTTON(widget), text.c_str());
      if (control->control->style & kDialogStyleMultiLine) WrapButtonLabel(widget);
      gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(widget), control->checked);
      break;
    case kDialogStatic:
      gtk_label_set_text(GTK_LABEL(widget), text.c_str());
      break;
    case kDialogGroupBox:
      gtk_frame_set_label(GTK_FRAME(widget), text.empty() ? nullptr : text.c_str());
      break;
    case kDialogDropDownList:
    case kDialogListBox:
      SyncList(control);
      break;
    case kDialogEdit:
      if (Utf8ToCodePage(gtk_entry_get_text(GTK_ENTRY(widget))) != control->text) {
        gtk_entry_set_text(GTK_ENTRY(widget), text.c_str());
      }
      break;
  }
}

// ---- Signals: the user's input ---------------------------------------------------------------

void OnClicked(GtkButton* button, gpointer data) {
  if (gSyncing) return;
  auto* control = static_cast<DialogControl*>(data);
  DialogWindow* window = WindowOf(GTK_WIDGET(button));
  if (control->control->kind == kDialogCheckBox) {
    // The widget has toggled already; the model follows it through the shared click.
    control->checked = !gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(button));
  } else if (control->control->kind == kDialogRadioButton) {
    // The group's other button reports its release as a click too.
    if (!gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(button))) return;
  }
  DialogUserClick(window, control);
}

void OnComboChanged(GtkComboBox* combo, gpointer data) {
  if (gSyncing) return;
  DialogUserSelect(WindowOf(GTK_WIDGET(combo)), static_cast<DialogControl*>(data), gtk_combo_box_get_active(combo));
}

void OnRowSelected(GtkListBox* list, GtkListBoxRow* row, gpointer data) {
  if (gSyncing) return;
  DialogUserSelect(WindowOf(GTK_WIDGET(list)), static_cast<DialogControl*>(data),
                   row ? gtk_list_box_row_get_index(row) : -1);
}

void OnEntryChanged(GtkEditable* entry, gpointer data) {
  if (gSyncing) return;
  static_cast<DialogControl*>(data)->text = Utf8ToCodePage(gtk_entry_get_text(GTK_ENTRY(entry)));
}

gboolean OnDelete(GtkWidget* widget, GdkEvent*, gpointer) {
  DialogSendMessage(WindowOf(widget), kDialogMsgCommand, kDialogIdCancel, 0);
  return TRUE;
}

gboolean OnDrawn(GtkWidget* widget, cairo_t*, gpointer) {
  DialogWindow* window = WindowOf(widget);
  if (window && window->toolkit) Toolkit(window)->drawn = true;
  return FALSE;
}

void OnActiveChanged(GObject* object, GParamSpec*, gpointer) {
  DialogWindow* window = WindowOf(GTK_WIDGET(object));
  if (window) DialogSendMessage(window, kDialogMsgActivateApp, gtk_window_is_active(GTK_WINDOW(object)) ? 1 : 0, 0);
}

// ---- Widgets ---------------------------------------------------------------------------------

GtkWidget* MakeWidget(DialogWindow* window, DialogControl* control, GtkWidget** radioGroup) {
  const DialogControlTemplate* source = control->control;
  GtkWidget* widget = nullptr;
  GtkWidget* signalWidget = nullptr;
  switch (source->kind) {
    case kDialogPicture:
      widget = gtk_image_new();
      break;
    case kDialogPushButton:
    case kDialogDefaultButton:
      widget = gtk_button_new_with_label("");
      g_signal_connect(widget, "clicked", G_CALLBACK(OnClicked), control);
      break;
    case kDialogCheckBox:
      widget = gtk_check_button_new_with_label("");
      g_signal_connect(widget, "clicked", G_CALLBACK(OnClicked), control);
      break;
    case kDialogRadioButton:
      widget = gtk_radio_button_new_with_label_from_widget(*radioGroup ? GTK_RADIO_BUTTON(*radioGroup) : nullptr, "");
      if (!*radioGroup) *radioGroup = widget;
      g_signal_connect(widget, "clicked", G_CALLBACK(OnClicked), control);
      break;
    case kDialogStatic:
      widget = gtk_label_new("");
      gtk_label_set_xalign(GTK_LABEL(widget), 0.0f);
      gtk_label_set_yalign(GTK_LABEL(widget), 0.0f);
      if (Wraps(source)) gtk_label_set_line_wrap(GTK_LABEL(widget), TRUE);
      break;
    case kDialogGroupBox:
      widget = gtk_frame_new(nullptr);
      break;
    case kDialogDropDownList: {
      widget = gtk_combo_box_text_new();
      // The list keeps its width when longer entries come later, as a drop-down list does.
      GList* cells = gtk_cell_layout_get_cells(GTK_CELL_LAYOUT(widget));
      for (GList* cell = cells; cell; cell = cell->next)
        g_object_set(cell->data, "ellipsize", PANGO_ELLIPSIZE_END, nullptr);
      g_list_free(cells);
      g_signal_connect(widget, "changed", G_CALLBACK(OnComboChanged), control);
      break;
    }
    case kDialogListBox: {
      widget = gtk_scrolled_window_new(nullptr, nullptr);
      gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(widget), GTK_SHADOW_IN);
      GtkWidget* list = gtk_list_box_new();
      gtk_container_add(GTK_CONTAINER(widget), list);
      g_object_set_data(G_OBJECT(widget), "korvane-list", list);
      signalWidget = list;
      g_signal_connect(list, "row-selected", G_CALLBACK(OnRowSelected), control);
      break;
    }
    case kDialogEdit:
      widget = gtk_entry_new();
      gtk_entry_set_max_length(GTK_ENTRY(widget), 260);
      gtk_entry_set_width_chars(GTK_ENTRY(widget), 1);
      g_signal_connect(widget, "changed", G_CALLBACK(OnEntryChanged), control);
      break;
  }
  if (!widget) return nullptr;
  g_object_set_data(G_OBJECT(widget), "korvane-dialog", window);
  if (signalWidget) g_object_set_data(G_OBJECT(signalWidget), "korvane-dialog", window);
  return widget;
}

// ---- Layout ----------------------------------------------------------------------------------

// Pixels per four horizontal and eight vertical dialog units: the mean letter width and the line
// height of the theme's font, so a dialog scales with the font the user chose.
void FontUnits(GtkWidget* top, int32_t* unitX, int32_t* unitY) {
  *unitX = kDialogBaseUnitX;
  *unitY = kDialogBaseUnitY;
  PangoLayout* layout = gtk_widget_create_pango_layout(top, kUnitSample);
  if (!layout) return;
  int width = 0, height = 0;
  pango_layout_get_pixel_size(layout, &width, &height);
  g_object_unref(layout);
  constexpr int kLetters = sizeof kUnitSample - 1;
  if (width > 0 && height > 0) {
    *unitX = (width / (kLetters / 2) + 1) / 2;  // the mean letter width, rounded
    *unitY = height;
  }
}

int32_t Scale(int32_t units, int32_t unit, int32_t per) { return (units * unit + per / 2) / per; }

// The width a control's content needs: its text on one line, or its longest word where the text
// wraps. Pictures are scaled and lists scroll, so they need nothing.
int32_t NeededWidth(GtkWidget* widget, const DialogControlTemplate* source) {
  if (source->kind == kDialogPicture || source->kind == kDialogListBox) return 0;
  gint minimum = 0, natural = 0;
  gtk_widget_get_preferred_width(widget, &minimum, &natural);
  return source->kind == kDialogEdit || Wraps(source) ? minimum : natural;
}

// The height its content needs at the given width; a frame's height is its contents'.
int32_t NeededHeight(GtkWidget* widget, const DialogControlTemplate* source, int32_t width) {
  if (source->kind == kDialogPicture || source->kind == kDialogListBox || source->kind == kDialogGroupBox) return 0;
  gint minimum = 0, natural = 0;
  gtk_widget_get_preferred_height_for_width(widget, width, &minimum, &natural);
  return natural;
}

// Room inserted at a vertical line: what starts at or beyond it moves right, what spans or ends
// on it widens (a column grows as one), and so does the dialog. Every order between edges stays.
void WidenAt(std::vector<DialogRect>& places, int32_t* dialogWidth, int32_t line, int32_t by) {
  for (DialogRect& place : places) {
    if (place.x >= line) {
      place.x += by;
    } else if (place.x + place.width >= line) {
      place.width += by;
    }
  }
  *dialogWidth += by;
}

void HeightenAt(std::vector<DialogRect>& places, int32_t* dialogHeight, int32_t line, int32_t by) {
  for (DialogRect& place : places) {
    if (place.y >= line) {
      place.y += by;
    } else if (place.y + place.height >= line) {
      place.height += by;
    }
  }
  *dialogHeight += by;
}

// Places every control: the template in the font's dialog units, then, control by control in the
// template's order, the room each needs, across first (heights of wrapped texts follow widths).
void LayOut(DialogWindow* window) {
  ToolkitDialog* toolkit = Toolkit(window);
  int32_t unitX = 0, unitY = 0;
  FontUnits(toolkit->window, &unitX, &unitY);
  toolkit->width = Scale(window->dialog->width, unitX, 4);
  toolkit->height = Scale(window->dialog->height, unitY, 8);
  std::vector<DialogRect>& places = toolkit->places;
  places.clear();
  for (const DialogControl& control : window->controls) {
    const DialogControlTemplate* source = control.control;
    int16_t height = source->kind == kDialogDropDownList ? kDropDownHeightUnits : source->height;
    places.push_back(DialogRect{Scale(source->x, unitX, 4), Scale(source->y, unitY, 8), Scale(source->width, unitX, 4),
                                Scale(height, unitY, 8)});
  }
  for (size_t i = 0; i < places.size(); ++i) {
    auto* widget = static_cast<GtkWidget*>(window->controls[i].widget);
    if (!widget) continue;
    int32_t need = NeededWidth(widget, window->controls[i].control);
    if (need > places[i].width) WidenAt(places, &toolkit->width, places[i].x + places[i].width, need - places[i].width);
  }
  for (size_t i = 0; i < places.size(); ++i) {
    auto* widget = static_cast<GtkWidget*>(window->controls[i].widget);
    if (!widget) continue;
    int32_t need = NeededHeight(widget, window->controls[i].control, places[i].width);
    if (need > places[i].height)
      HeightenAt(places, &toolkit->height, places[i].y + places[i].height, need - places[i].height);
  }
  for (size_t i = 0; i < places.size(); ++i) {
    auto* widget = static_cast<GtkWidget*>(window->controls[i].widget);
    if (!widget) continue;
    gtk_layout_move(GTK_LAYOUT(toolkit->area), widget, places[i].x, places[i].y);
    gtk_widget_set_size_request(widget, places[i].width, places[i].height);
  }
  gtk_widget_set_size_request(toolkit->area, toolkit->width, toolkit->height);
}

// ---- Scripted actions through the toolkit ------------------------------------------------------

gboolean PlayNextAction(gpointer);

void ScheduleAction() {
  if (gActionTimer == 0 && ScriptActive() && DialogScriptRemaining() > 0) {
    gActionTimer = g_timeout_add(kActionDelayMs, PlayNextAction, nullptr);
  }
}

// The screen as it shows, or only the part a window covers (with its frame, where there is one).
bool SaveScreenshot(const char* path, GdkWindow* only) {
  if (!path) return false;
  GdkDisplay* display = gdk_display_get_default();
  if (display) gdk_display_sync(display);
  GdkWindow* root = gdk_get_default_root_window();
  if (!root) return false;
  GdkRectangle area{0, 0, gdk_window_get_width(root), gdk_window_get_height(root)};
  if (only) {
    GdkRectangle frame{};
    gdk_window_get_frame_extents(only, &frame);
    if (!gdk_rectangle_intersect(&frame, &area, &area)) return false;
  }
  GdkPixbuf* shot = gdk_pixbuf_get_from_window(root, area.x, area.y, area.width, area.height);
  if (!shot) return false;
  GError* error = nullptr;
  bool saved = gdk_pixbuf_save(shot, path, "png", &error, nullptr);
  if (error) g_error_free(error);
  g_object_unref(shot);
  return saved;
}

void PlayToolkitAction(DialogWindow* window, const DialogAction* action) {
  if (action->kind == kDialogActScreenshot) {
    GdkWindow* only = action->value ? gtk_widget_get_window(Toolkit(window)->window) : nullptr;
    if (!SaveScreenshot(action->text, only)) CountScriptError("the screenshot could not be saved");
    return;
  }
  if (action->kind != kDialogActClick && action->kind != kDialogActCheck && action->kind != kDialogActSelect &&
      action->kind != kDialogActType) {
    ApplyModelAction(window, action);
    return;
  }
  DialogControl* control = FindDialogControl(window, action->control);
  if (!control || !control->widget) {
    CountScriptError("an action on a control the dialog does not have");
    return;
  }
  if (!control->enabled) {
    CountScriptError("an action on a disabled control");
    return;
  }
  auto* widget = static_cast<GtkWidget*>(control->widget);
  switch (action->kind) {
    case kDialogActClick:
      gtk_button_clicked(GTK_BUTTON(widget));
      break;
    case kDialogActCheck:
      if (control->checked != (action->value != 0)) gtk_button_clicked(GTK_BUTTON(widget));
      break;
    case kDialogActSelect:
      if (control->control->kind == kDialogDropDownList) {
        gtk_combo_box_set_active(GTK_COMBO_BOX(widget), action->value);
      } else {
        GtkListBox* list = GTK_LIST_BOX(g_object_get_data(G_OBJECT(widget), "korvane-list"));
        GtkListBoxRow* row = action->value >= 0 ? gtk_list_box_get_row_at_index(list, action->value) : nullptr;
        if (row) {
          gtk_list_box_select_row(list, row);
        } else {
          gtk_list_box_unselect_all(list);
        }
      }
      break;
    case kDialogActType:
      if (control->control->kind == kDialogEdit) {
        gtk_entry_set_text(GTK_ENTRY(widget), CodePageToUtf8(action->text).c_str());
      } else {
        CountScriptError("typing into a control that is no edit field");
      }
      break;
    default:
      break;
  }
}

gboolean PlayNextAction(gpointer) {
  gActionTimer = 0;
  DialogWindow* window = FrontDialog();
  // With no dialog open the next run schedules its own actions.
  if (!window) return G_SOURCE_REMOVE;
  if (!window->toolkit || !Toolkit(window)->drawn) {
    ScheduleAction();
    return G_SOURCE_REMOVE;
  }
  const DialogAction* action = PeekScriptAction();
  if (!action) return G_SOURCE_REMOVE;
  if (action->dialog != 0 && action->dialog != window->dialog->id) {
    // The next action is for a dialog behind this one: this one is done, as in a headless run.
    for (DialogControl& control : window->controls) {
      if (control.control->kind == kDialogDefaultButton && control.widget) {
        ScheduleAction();
        gtk_button_clicked(GTK_BUTTON(control.widget));
        return G_SOURCE_REMOVE;
      }
    }
    DialogEnd(window, 0);
    ScheduleAction();
    return G_SOURCE_REMOVE;
  }
  TakeScriptAction();
  // Scheduled before playing: a click may open a dialog whose own loop must play the next one.
  ScheduleAction();
  PlayToolkitAction(window, action);
  return G_SOURCE_REMOVE;
}

gboolean OnStall(gpointer data) {
  auto* window = static_cast<DialogWindow*>(data);
  Toolkit(window)->stallTimer = 0;
  std::fprintf(stderr, "dialog script: dialog %d still open, ended\n", window->dialog->id);
  CountScriptError("a scripted dialog did not end");
  DialogEnd(window, -1);
  return G_SOURCE_REMOVE;
}

// Dialog layouts are made for controls as small as their dialog units say; the toolkit's
// default padding would make buttons and fields outgrow their places.
void UseCompactStyle() {
  static const char kStyle[] =
      "button { padding: 0 4px; min-height: 0; min-width: 0; }\n"
      "entry { padding: 0 4px; min-height: 0; }\n"
      "combobox button { padding: 0 4px; min-height: 0; }\n"
      "checkbutton, radiobutton { padding: 0; min-height: 0; }\n";
  GtkCssProvider* provider = gtk_css_provider_new();
  if (gtk_css_provider_load_from_data(provider, kStyle, -1, nullptr)) {
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(provider),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  }
  g_object_unref(provider);
}

}  // namespace

bool GtkDialogsAvailable() {
  if (OsIsHeadless()) return false;
  if (gToolkit == kToolkitUnknown) {
    // The process's number formats stay as they are; only the toolkit's texts are UTF-8.
    gtk_disable_setlocale();
    gToolkit = gtk_init_check(nullptr, nullptr) ? kToolkitAvailable : kToolkitUnavailable;
    if (gToolkit == kToolkitAvailable) UseCompactStyle();
  }
  return gToolkit == kToolkitAvailable;
}

bool GtkRunDialog(DialogWindow* window) {
  auto* toolkit = new ToolkitDialog{};
  GtkWidget* top = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  if (!top) {
    delete toolkit;
    return false;
  }
  toolkit->window = top;
  window->toolkit = toolkit;
  g_object_set_data(G_OBJECT(top), "korvane-dialog", window);
  gtk_window_set_resizable(GTK_WINDOW(top), FALSE);
  gtk_window_set_modal(GTK_WINDOW(top), TRUE);
  gtk_window_set_position(GTK_WINDOW(top), GTK_WIN_POS_CENTER);
  if (window->owner && window->owner->toolkit) {
    gtk_window_set_position(GTK_WINDOW(top), GTK_WIN_POS_CENTER_ON_PARENT);
    gtk_window_set_transient_for(GTK_WINDOW(top), GTK_WINDOW(Toolkit(window->owner)->window));
  }
  // A layout, not a fixed container: its size is the one the layout gives, where a fixed one
  // would take the single-line width of a wrapping text and show a margin nobody laid out.
  GtkWidget* area = gtk_layout_new(nullptr, nullptr);
  toolkit->area = area;
  gtk_container_add(GTK_CONTAINER(top), area);

  GtkWidget* radioGroup = nullptr;
  for (DialogControl& control : window->controls) {
    GtkWidget* widget = MakeWidget(window, &control, &radioGroup);
    if (!widget) continue;
    control.widget = widget;
    gtk_layout_put(GTK_LAYOUT(area), widget, 0, 0);
    if (control.control->kind == kDialogDefaultButton) {
      gtk_widget_set_can_default(widget, TRUE);
      gtk_window_set_default(GTK_WINDOW(top), widget);
    }
  }
  GtkSyncControl(window, nullptr);
  for (DialogControl& control : window->controls) GtkSyncControl(window, &control);
  // Measured with their texts and list entries in place; pictures are drawn again at their size.
  gtk_widget_show_all(area);
  LayOut(window);
  for (DialogControl& control : window->controls) {
    if (control.control->kind == kDialogPicture) GtkSyncControl(window, &control);
  }

  // The first edit field takes the focus, else the default button: a list box given the focus
  // would select its first entry, a choice the user never made.
  GtkWidget* focus = nullptr;
  for (DialogControl& control : window->controls) {
    if (control.control->kind == kDialogEdit && !focus) focus = static_cast<GtkWidget*>(control.widget);
  }
  for (DialogControl& control : window->controls) {
    if (control.control->kind == kDialogDefaultButton && !focus) focus = static_cast<GtkWidget*>(control.widget);
  }
  if (focus) gtk_window_set_focus(GTK_WINDOW(top), focus);
  g_signal_connect(top, "delete-event", G_CALLBACK(OnDelete), nullptr);
  g_signal_connect_after(top, "draw", G_CALLBACK(OnDrawn), nullptr);
  g_signal_connect(top, "notify::is-active", G_CALLBACK(OnActiveChanged), nullptr);
  gtk_widget_show_all(top);

  toolkit->loop = g_main_loop_new(nullptr, FALSE);
  if (ScriptActive()) {
    toolkit->stallTimer = g_timeout_add(kScriptStallMs, OnStall, window);
    ScheduleAction();
  }
  if (!window->ended) g_main_loop_run(toolkit->loop);

  if (toolkit->stallTimer) g_source_remove(toolkit->stallTimer);
  for (DialogControl& control : window->controls) control.widget = nullptr;
  window->toolkit = nullptr;
  gtk_widget_destroy(top);
  g_main_loop_unref(toolkit->loop);
  delete toolkit;
  while (gtk_events_pending()) gtk_main_iteration();
  return true;
}

void GtkSyncControl(DialogWindow* window, DialogControl* control) {
  if (!window->toolkit) return;
  bool wasSyncing = gSyncing;
  gSyncing = true;
  if (control) {
    SyncWidget(control);
  } else {
    gtk_window_set_title(GTK_WINDOW(Toolkit(window)->window), Utf8(window->caption).c_str());
  }
  gSyncing = wasSyncing;
}

bool GtkControlRect(const DialogWindow* window, const DialogControl* control, DialogRect* out) {
  const ToolkitDialog* toolkit = Toolkit(window);
  auto* widget = static_cast<GtkWidget*>(control->widget);
  if (!toolkit || !widget) return false;
  if (gtk_widget_get_mapped(widget)) {
    // Where the toolkit really put it, which is what the user sees.
    gint x = 0, y = 0;
    if (!gtk_widget_translate_coordinates(widget, toolkit->area, 0, 0, &x, &y)) return false;
    *out = DialogRect{x, y, gtk_widget_get_allocated_width(widget), gtk_widget_get_allocated_height(widget)};
    return true;
  }
  size_t index = static_cast<size_t>(control - window->controls.data());
  if (index >= toolkit->places.size()) return false;
  *out = toolkit->places[index];
  return true;
}

bool GtkClientSize(const DialogWindow* window, int32_t* width, int32_t* height) {
  const ToolkitDialog* toolkit = Toolkit(window);
  if (!toolkit) return false;
  if (gtk_widget_get_mapped(toolkit->area)) {
    *width = gtk_widget_get_allocated_width(toolkit->area);
    *height = gtk_widget_get_allocated_height(toolkit->area);
  } else {
    *width = toolkit->width;
    *height = toolkit->height;
  }
  return true;
}

void GtkEndDialog(DialogWindow* window) {
  ToolkitDialog* toolkit = Toolkit(window);
  if (toolkit->loop) g_main_loop_quit(toolkit->loop);
}

void GtkRestoreDialog(DialogWindow* window) {
  GtkWindow* top = GTK_WINDOW(Toolkit(window)->window);
  gtk_window_deiconify(top);
  gtk_window_present(top);
}

int32_t GtkMessageBox(DialogWindow* owner, const char* text, const char* caption, uint32_t type) {
  GtkMessageType icon = GTK_MESSAGE_INFO;
  switch (type & 0xF0) {
    case kMessageBoxIconHand:
      icon = GTK_MESSAGE_ERROR;
      break;
    case 0x20:
      icon = GTK_MESSAGE_QUESTION;
      break;
    case kMessageBoxIconExclamation:
      icon = GTK_MESSAGE_WARNING;
      break;
    default:
      break;
  }
  bool yesNo = (type & 0xF) == kMessageBoxYesNo;
  GtkWindow* parent = owner && owner->toolkit ? GTK_WINDOW(Toolkit(owner)->window) : nullptr;
  GtkWidget* box = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, icon, yesNo ? GTK_BUTTONS_YES_NO : GTK_BUTTONS_OK,
                                          "%s", CodePageToUtf8(text).c_str());
  gtk_window_set_title(GTK_WINDOW(box), CodePageToUtf8(caption).c_str());
  gint response = gtk_dialog_run(GTK_DIALOG(box));
  gtk_widget_destroy(box);
  while (gtk_events_pending()) gtk_main_iteration();
  if (yesNo) return response == GTK_RESPONSE_YES ? kDialogIdYes : kDialogIdNo;
  return kDialogIdOk;
}

bool GtkOpenUrl(const char* url) {
  // Opened means the desktop's handler took the link: its exit status, not merely its start.
  gchar* argv[] = {const_cast<gchar*>("xdg-open"), const_cast<gchar*>(url), nullptr};
  GError* error = nullptr;
  gint status = 0;
  bool ran = g_spawn_sync(
      nullptr, argv, nullptr,
      static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL), nullptr,
      nullptr, nullptr, nullptr, &status, &error);
  if (error) g_error_free(error);
  return ran && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
