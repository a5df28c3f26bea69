// The one window in GTK 3: a fixed-size dialog-type toplevel whose client
// area is a GtkFixed holding every control at its exact pixel rectangle.
//
// Frame mapping: the outer 238 x 229 is a Windows frame (3 px borders and a
// 23 px title bar around a 232 x 200 client area). On X11 the window manager
// draws the frame and its metrics are its own, so we fix what the controls
// need, the client area of 232 x 200, and place the frame's top-left corner
// where the outer rectangle's would be: ((screen - 238) / 2,
// (screen - 229) / 2) on the primary monitor.
#include <cstdio>
#include <string>

#include "app/gtk/gtk_backend.h"
#include "app/shell.h"

namespace cdk {

namespace {

// Widget names for the CSS rules; the readable control name goes to the
// accessible id instead, where tests and screen readers find it.
std::string CssName(Control control) {
  return "cdk-control-" + std::to_string(static_cast<int>(control));
}

// Theme minimum sizes (Adwaita makes entries and buttons 34 px tall) would
// push the controls past their 24 px rectangles, so they go; the colours and
// fonts are the window's own. Application priority beats the theme whatever
// the selector, so each control's colour holds in every state, disabled and
// backdrop included.
std::string WindowCss(const WindowDescription &window) {
  std::string css =
      "entry { min-height: 0; padding: 0 4px; background-color: #ffffff; }\n"
      "button { min-height: 0; min-width: 0; padding: 0 4px; }\n";
  char rule[256];
  for (const ControlDescription &c : window.controls) {
    if (c.kind != Kind::EditBox && c.kind != Kind::Label) {
      continue;
    }
    std::snprintf(rule, sizeof rule, "#%s { color: rgb(%d, %d, %d); }\n",
                  CssName(c.control).c_str(), c.text_colour.red,
                  c.text_colour.green, c.text_colour.blue);
    css += rule;
    if (c.font_height > 0) {
      std::snprintf(rule, sizeof rule,
                    "#%s { font-size: %dpx; font-weight: 400; "
                    "font-style: normal; text-decoration: none; }\n",
                    CssName(c.control).c_str(), c.font_height);
      css += rule;
    }
  }
  return css;
}

void InstallCss(const WindowDescription &window) {
  GtkCssProvider *provider = gtk_css_provider_new();
  const std::string css = WindowCss(window);
  gtk_css_provider_load_from_data(provider, css.c_str(),
                                  static_cast<gssize>(css.size()), nullptr);
  gtk_style_context_add_provider_for_screen(
      gdk_screen_get_default(), GTK_STYLE_PROVIDER(provider),
      GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(provider);
}

void OnClicked(GtkButton *, gpointer control) {
  DeliverEvent(EventKind::kClick,
               static_cast<Control>(GPOINTER_TO_INT(control)));
}

// Esc without Ctrl, Shift or Alt is a close request, like the close button.
// Alt+F4 is the window manager's; we take it too so that it also works
// where none runs.
gboolean OnKeyPress(GtkWidget *window, GdkEventKey *event, gpointer) {
  const guint modifiers =
      event->state & (GDK_CONTROL_MASK | GDK_SHIFT_MASK | GDK_MOD1_MASK);
  const bool escape = event->keyval == GDK_KEY_Escape && modifiers == 0;
  const bool alt_f4 = event->keyval == GDK_KEY_F4 && modifiers == GDK_MOD1_MASK;
  if (!escape && !alt_f4) {
    return FALSE;
  }
  gtk_window_close(GTK_WINDOW(window));
  return TRUE;
}

gboolean OnConfigure(GtkWidget *, GdkEventConfigure *event, gpointer data) {
  GdkRectangle &last = static_cast<GtkBackendData *>(data)->geometry;
  const bool moved = event->x != last.x || event->y != last.y;
  const bool resized =
      event->width != last.width || event->height != last.height;
  last = {event->x, event->y, event->width, event->height};
  if (moved) {
    DeliverEvent(EventKind::kMoved);
  }
  if (resized) {
    DeliverEvent(EventKind::kResized);
  }
  return FALSE;
}

// Close and Move only: no minimise or maximise button, no resize handles.
// The hints are Motif's, which window managers read from the realized
// window: https://docs.gtk.org/gdk3/method.Window.set_functions.html
void OnRealize(GtkWidget *window, gpointer) {
  GdkWindow *gdk_window = gtk_widget_get_window(window);
  gdk_window_set_functions(
      gdk_window, static_cast<GdkWMFunction>(GDK_FUNC_MOVE | GDK_FUNC_CLOSE));
  gdk_window_set_decorations(
      gdk_window, static_cast<GdkWMDecoration>(
                      GDK_DECOR_BORDER | GDK_DECOR_TITLE | GDK_DECOR_MENU));
}

void OnDestroy(GtkWidget *, gpointer data) {
  auto &backend = *static_cast<GtkBackendData *>(data);
  // The timer goes with the window: a tick that had fallen due is dropped.
  GtkStopTicks(backend);
  backend.window = nullptr;
  backend.widgets.fill(nullptr);
  DeliverEvent(EventKind::kDestroyed);
}

GtkWidget *NewLabel(const ControlDescription &c) {
  const std::string text = GtkUtf8FromGbk(c.initial_text);
  // Plain text: no markup and no mnemonic, so "&" and "_" show as they are.
  GtkWidget *label = gtk_label_new(text.c_str());
  gtk_label_set_xalign(GTK_LABEL(label), 0.0F);
  if (c.layout == TextLayout::kWrappedFromTop) {
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_line_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
    gtk_label_set_yalign(GTK_LABEL(label), 0.0F);
    gtk_widget_set_size_request(label, c.rect.width, -1);
  } else {
    gtk_label_set_single_line_mode(GTK_LABEL(label), TRUE);
    gtk_label_set_yalign(GTK_LABEL(label), 0.5F);
    gtk_widget_set_size_request(label, c.rect.width, c.rect.height);
  }
  return label;
}

GtkWidget *NewEditBox(const ControlDescription &c) {
  GtkWidget *entry = gtk_entry_new();
  gtk_entry_set_text(GTK_ENTRY(entry), GtkUtf8FromGbk(c.initial_text).c_str());
  // Otherwise GtkEntry asks for at least 150 px.
  gtk_entry_set_width_chars(GTK_ENTRY(entry), 0);
  gtk_widget_set_size_request(entry, c.rect.width, c.rect.height);
  return entry;
}

GtkWidget *NewButton(const ControlDescription &c) {
  GtkWidget *button =
      gtk_button_new_with_label(GtkUtf8FromGbk(c.initial_text).c_str());
  gtk_widget_set_can_default(button, FALSE);
  gtk_widget_set_size_request(button, c.rect.width, c.rect.height);
  g_signal_connect(button, "clicked", G_CALLBACK(OnClicked),
                   GINT_TO_POINTER(static_cast<int>(c.control)));
  return button;
}

// An insensitive widget takes no focus or selection, but GTK still tells
// accessibility tools that an entry can be focused unless it is told too.
void SetEnabled(GtkWidget *widget, bool enabled) {
  gtk_widget_set_sensitive(widget, enabled);
  if (GTK_IS_ENTRY(widget)) {
    gtk_widget_set_can_focus(widget, enabled);
  }
}

// A label's place in the window: a box of exactly its rectangle that clips
// what does not fit. A bare label in a GtkFixed grows to its text and draws
// over its neighbours.
GtkWidget *NewClipBox(const ControlDescription &c, GtkWidget *label) {
  GtkWidget *clip = gtk_layout_new(nullptr, nullptr);
  gtk_widget_set_size_request(clip, c.rect.width, c.rect.height);
  gtk_layout_put(GTK_LAYOUT(clip), label, 0, 0);
  return clip;
}

// A one-line label whose text is taller than its rectangle is centred on it
// and cut at both edges, as a vertically centred single line is elsewhere;
// left at the top, it would lose only its lower part.
void CentreTallLabels(const WindowDescription &window,
                      const std::array<GtkWidget *, kControlCount> &widgets) {
  for (const ControlDescription &c : window.controls) {
    if (c.kind != Kind::Label || c.layout != TextLayout::kSingleLine) {
      continue;
    }
    GtkWidget *label = widgets[static_cast<int>(c.control)];
    int height = 0;
    gtk_widget_get_preferred_height(label, &height, nullptr);
    if (height > c.rect.height) {
      gtk_layout_move(GTK_LAYOUT(gtk_widget_get_parent(label)), label, 0,
                      (c.rect.height - height) / 2);
    }
  }
}

// An edit box beginning where a label of the same row ends is that label's
// box: screen readers then name the box after the label.
void RelateLabels(const WindowDescription &window,
                  const std::array<GtkWidget *, kControlCount> &widgets) {
  for (const ControlDescription &label : window.controls) {
    if (label.kind != Kind::Label) {
      continue;
    }
    for (const ControlDescription &box : window.controls) {
      if (box.kind == Kind::EditBox && box.rect.top == label.rect.top &&
          box.rect.left == label.rect.left + label.rect.width) {
        gtk_label_set_mnemonic_widget(
            GTK_LABEL(widgets[static_cast<int>(label.control)]),
            widgets[static_cast<int>(box.control)]);
      }
    }
  }
}

} // namespace

bool GtkPlatform::BuildWindow(const WindowDescription &description) {
  if (!data_.gtk_ready) {
    return false;
  }
  data_.description = &description;
  InstallCss(description);

  GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  if (window == nullptr) {
    return false;
  }
  gtk_window_set_title(GTK_WINDOW(window),
                       GtkUtf8FromGbk(description.caption).c_str());
  gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
  gtk_window_set_type_hint(GTK_WINDOW(window), GDK_WINDOW_TYPE_HINT_DIALOG);
  gtk_window_set_icon_list(GTK_WINDOW(window), data_.icons);

  GtkWidget *fixed = gtk_fixed_new();
  gtk_widget_set_size_request(fixed, description.client_width,
                              description.client_height);
  gtk_container_add(GTK_CONTAINER(window), fixed);

  for (const ControlDescription &c : description.controls) {
    GtkWidget *widget = nullptr;
    GtkWidget *placed = nullptr; // what sits in the GtkFixed
    switch (c.kind) {
    case Kind::Label:
      widget = NewLabel(c);
      placed = NewClipBox(c, widget);
      break;
    case Kind::EditBox:
      widget = placed = NewEditBox(c);
      break;
    case Kind::Button:
      widget = placed = NewButton(c);
      break;
    case Kind::window:
    case Kind::Timer:
      continue;
    }
    gtk_widget_set_name(widget, CssName(c.control).c_str());
    atk_object_set_accessible_id(gtk_widget_get_accessible(widget), c.name);
    SetEnabled(widget, c.enabled);
    gtk_fixed_put(GTK_FIXED(fixed), placed, c.rect.left, c.rect.top);
    if (c.shown) {
      gtk_widget_show(widget);
      gtk_widget_show(placed);
    }
    data_.widgets[static_cast<int>(c.control)] = widget;
  }
  RelateLabels(description, data_.widgets);
  CentreTallLabels(description, data_.widgets);
  gtk_widget_show(fixed);

  g_signal_connect(window, "key-press-event", G_CALLBACK(OnKeyPress), nullptr);
  g_signal_connect(window, "configure-event", G_CALLBACK(OnConfigure), &data_);
  g_signal_connect_after(window, "realize", G_CALLBACK(OnRealize), nullptr);
  g_signal_connect(window, "destroy", G_CALLBACK(OnDestroy), &data_);
  data_.window = window;
  return true;
}

void GtkPlatform::ShowWindow() {
  if (data_.window == nullptr) {
    return;
  }
  GtkWindow *window = GTK_WINDOW(data_.window);
  GdkDisplay *display = gtk_widget_get_display(data_.window);
  GdkMonitor *monitor = gdk_display_get_primary_monitor(display);
  if (monitor == nullptr && gdk_display_get_n_monitors(display) > 0) {
    monitor = gdk_display_get_monitor(display, 0);
  }
  if (monitor != nullptr) {
    // The whole monitor, not its work area; C++ division truncates toward
    // zero as the placement rule asks.
    GdkRectangle screen;
    gdk_monitor_get_geometry(monitor, &screen);
    gtk_window_move(
        window, screen.x + (screen.width - data_.description->outer_width) / 2,
        screen.y + (screen.height - data_.description->outer_height) / 2);
  }
  gtk_window_present(window);
}

void GtkPlatform::SetControlText(Control control, const Text &text) {
  GtkWidget *widget = data_.widgets[static_cast<int>(control)];
  if (widget == nullptr) {
    return;
  }
  const std::string utf8 = GtkUtf8FromGbk(text.view());
  if (GTK_IS_ENTRY(widget)) {
    gtk_entry_set_text(GTK_ENTRY(widget), utf8.c_str());
  } else if (GTK_IS_LABEL(widget)) {
    gtk_label_set_text(GTK_LABEL(widget), utf8.c_str());
  } else if (GTK_IS_BUTTON(widget)) {
    gtk_button_set_label(GTK_BUTTON(widget), utf8.c_str());
  }
}

void GtkPlatform::SetControlEnabled(Control control, bool enabled) {
  if (GtkWidget *widget = data_.widgets[static_cast<int>(control)]) {
    SetEnabled(widget, enabled);
  }
}

} // namespace cdk
