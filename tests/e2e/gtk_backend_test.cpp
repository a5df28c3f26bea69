// The GTK backend under the real shell core, on a display of its own
// (with_display.sh): the widgets it builds, the keys that close the window,
// the timer on the GLib main loop, nesting inside ProcessEvents, the modal
// box, the clipboard and the GBK conversion at the boundary.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/desktop_platform.h"
#include "app/gtk/gtk_backend.h"
#include "app/shell.h"

namespace cdk {
namespace {

// ---- a scripted run ------------------------------------------------------

struct Script {
  std::function<void()> created, tick;
};

Script g_on;
int g_depth = 0; // handlers on the stack
std::vector<int> g_tick_depths;
std::vector<int64_t> g_tick_times;

void Run(const std::function<void()> &body) {
  ++g_depth;
  if (body) {
    body();
  }
  --g_depth;
}
void OnCreated() { Run(g_on.created); }
void OnTick() {
  g_tick_depths.push_back(g_depth + 1);
  g_tick_times.push_back(g_get_monotonic_time());
  Run(g_on.tick);
}

constexpr Binding kBindings[] = {
    {EventKind::kCreated, {}, OnCreated},
    {EventKind::kTick, {}, OnTick},
};

class GtkBackendTest : public ::testing::Test {
protected:
  void SetUp() override {
    g_on = {};
    g_depth = 0;
    g_tick_depths.clear();
    g_tick_times.clear();
  }
  int RunProgramOnGtk() {
    auto platform = CreateDesktopPlatform();
    return RunProgram(*platform, kBindings);
  }
};

constexpr int64_t kDeadlineUs = 10 * G_USEC_PER_SEC;

// Lets events run until `done` holds or the deadline passes.
bool ProcessEventsUntil(const std::function<bool()> &done) {
  const int64_t deadline = g_get_monotonic_time() + kDeadlineUs;
  while (!done()) {
    if (g_get_monotonic_time() > deadline) {
      return false;
    }
    ProcessEvents();
    g_usleep(200);
  }
  return true;
}

std::string Utf8(const char *gbk) { return GtkUtf8FromGbk(gbk); }

GtkWindow *MainWindow() {
  const std::string caption = Utf8(MainWindowDescription().caption);
  GList *all = gtk_window_list_toplevels();
  GtkWindow *found = nullptr;
  for (GList *l = all; l != nullptr; l = l->next) {
    auto *window = GTK_WINDOW(l->data);
    const char *title = gtk_window_get_title(window);
    if (title != nullptr && caption == title) {
      found = window;
    }
  }
  g_list_free(all);
  return found;
}

GtkMessageDialog *OpenMessageDialog() {
  GList *all = gtk_window_list_toplevels();
  GtkMessageDialog *found = nullptr;
  for (GList *l = all; l != nullptr; l = l->next) {
    if (GTK_IS_MESSAGE_DIALOG(l->data) &&
        gtk_widget_get_visible(GTK_WIDGET(l->data))) {
      found = GTK_MESSAGE_DIALOG(l->data);
    }
  }
  g_list_free(all);
  return found;
}

void FindById(GtkWidget *widget, const char *id, GtkWidget **found) {
  const char *own =
      atk_object_get_accessible_id(gtk_widget_get_accessible(widget));
  if (own != nullptr && std::string(own) == id) {
    *found = widget;
  }
  if (GTK_IS_CONTAINER(widget)) {
    GList *children = gtk_container_get_children(GTK_CONTAINER(widget));
    for (GList *l = children; l != nullptr; l = l->next) {
      FindById(GTK_WIDGET(l->data), id, found);
    }
    g_list_free(children);
  }
}

GtkWidget *WidgetOf(const ControlDescription &c) {
  GtkWidget *found = nullptr;
  FindById(GTK_WIDGET(MainWindow()), c.name, &found);
  return found;
}

// What sits in the GtkFixed: a label's clip box, otherwise the widget.
GtkWidget *PlacedWidget(const ControlDescription &c) {
  GtkWidget *widget = WidgetOf(c);
  return c.kind == Kind::Label ? gtk_widget_get_parent(widget) : widget;
}

void DestroyMainWindow() {
  if (GtkWindow *window = MainWindow()) {
    gtk_widget_destroy(GTK_WIDGET(window));
  }
}

// Runs `body` once the loop runs, after the window has been shown.
void AfterShow(std::function<void()> body) {
  auto *copy = new std::function<void()>(std::move(body));
  g_idle_add_full(
      G_PRIORITY_LOW,
      [](gpointer data) -> gboolean {
        (*static_cast<std::function<void()> *>(data))();
        return G_SOURCE_REMOVE;
      },
      copy,
      [](gpointer data) { delete static_cast<std::function<void()> *>(data); });
}

// ---- the GBK boundary -----------------------------------------------------

TEST(GtkUtf8FromGbk, ConvertsAndReplacesInvalidBytesWithoutLosingTheRest) {
  const std::string kFffd = "\xEF\xBF\xBD";
  struct Case {
    const char *what;
    std::string gbk;
    std::string utf8;
  } cases[] = {
      {"empty", "", ""},
      {"ASCII", "CDK 0.2 &_", "CDK 0.2 &_"},
      {"two-byte characters", "\xBC\xD3\xD4\xD8\xD6\xD0", "加载中"},
      {"em dash A1AA", "\xA1\xAA", "\xE2\x80\x94"},
      {"euro sign 0x80", "\x80", "\xE2\x82\xAC"},
      {"lead byte at the end", "ab\xBC", "ab" + kFffd},
      {"ASCII trail byte stays", "\xBC\x30z", kFffd + "0z"},
      {"0x7F trail", "\xBC\x7F", kFffd + "\x7F"},
      {"0xFF",
       "a\xFF"
       "b",
       "a" + kFffd + "b"},
      {"invalid then valid", "\xFF\xBC\xD3", kFffd + "加"},
      {"0xFF run", std::string(5, '\xFF'),
       kFffd + kFffd + kFffd + kFffd + kFffd},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(GtkUtf8FromGbk(c.gbk), c.utf8) << c.what;
  }
}

TEST(GtkUtf8FromGbk, LongInvalidInputBecomesValidUtf8OfFullLength) {
  std::string gbk;
  for (int i = 0; i < 200000; ++i) {
    gbk += static_cast<char>(0x80 + i % 128); // lead bytes with bad trails too
  }
  const std::string utf8 = GtkUtf8FromGbk(gbk);
  EXPECT_TRUE(
      g_utf8_validate(utf8.data(), static_cast<gssize>(utf8.size()), nullptr));
  EXPECT_GE(utf8.size(), gbk.size() / 2 * 3);
}

// ---- the window -----------------------------------------------------------

TEST_F(GtkBackendTest, BuildsTheWindowAndEveryControlAsDescribed) {
  const WindowDescription &d = MainWindowDescription();
  g_on.created = [&] {
    GtkWindow *window = MainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(window)));
    EXPECT_FALSE(gtk_window_get_resizable(window));
    EXPECT_EQ(gtk_window_get_type_hint(window), GDK_WINDOW_TYPE_HINT_DIALOG);
    EXPECT_EQ(gtk_window_get_default_widget(window), nullptr);
    EXPECT_EQ(gtk_window_get_transient_for(window), nullptr);
    std::vector<int> icon_sizes;
    GList *icons = gtk_window_get_icon_list(window);
    for (GList *l = icons; l != nullptr; l = l->next) {
      icon_sizes.push_back(gdk_pixbuf_get_width(GDK_PIXBUF(l->data)));
    }
    g_list_free(icons);
    EXPECT_EQ(icon_sizes, (std::vector<int>{16, 32, 48, 128}));

    for (const ControlDescription &c : d.controls) {
      SCOPED_TRACE(c.name);
      GtkWidget *widget = WidgetOf(c);
      if (c.kind == Kind::Timer) {
        EXPECT_EQ(widget, nullptr);
        continue;
      }
      ASSERT_NE(widget, nullptr);
      switch (c.kind) {
      case Kind::Label:
        ASSERT_TRUE(GTK_IS_LABEL(widget));
        EXPECT_EQ(gtk_label_get_text(GTK_LABEL(widget)), Utf8(c.initial_text));
        EXPECT_FALSE(gtk_label_get_use_underline(GTK_LABEL(widget)));
        EXPECT_FALSE(gtk_label_get_use_markup(GTK_LABEL(widget)));
        EXPECT_EQ(gtk_label_get_line_wrap(GTK_LABEL(widget)) != FALSE,
                  c.layout == TextLayout::kWrappedFromTop);
        break;
      case Kind::EditBox:
        ASSERT_TRUE(GTK_IS_ENTRY(widget));
        EXPECT_EQ(gtk_entry_get_text(GTK_ENTRY(widget)), Utf8(c.initial_text));
        break;
      case Kind::Button:
        ASSERT_TRUE(GTK_IS_BUTTON(widget));
        EXPECT_EQ(gtk_button_get_label(GTK_BUTTON(widget)),
                  Utf8(c.initial_text));
        EXPECT_FALSE(gtk_button_get_use_underline(GTK_BUTTON(widget)));
        EXPECT_FALSE(gtk_widget_has_default(widget));
        break;
      default:
        break;
      }
      EXPECT_EQ(gtk_widget_get_visible(widget) != FALSE, c.shown);
      EXPECT_EQ(gtk_widget_get_sensitive(widget) != FALSE, c.enabled);

      GtkStyleContext *style = gtk_widget_get_style_context(widget);
      const GtkStateFlags state = gtk_style_context_get_state(style);
      if (c.kind != Kind::Button) {
        GdkRGBA colour;
        gtk_style_context_get_color(style, state, &colour);
        EXPECT_EQ(static_cast<int>(colour.red * 255 + 0.5), c.text_colour.red);
        EXPECT_EQ(static_cast<int>(colour.green * 255 + 0.5),
                  c.text_colour.green);
        EXPECT_EQ(static_cast<int>(colour.blue * 255 + 0.5),
                  c.text_colour.blue);
      }
      if (c.font_height > 0) {
        PangoFontDescription *font = nullptr;
        gtk_style_context_get(style, state, GTK_STYLE_PROPERTY_FONT, &font,
                              nullptr);
        ASSERT_NE(font, nullptr);
        // GTK keeps CSS pixels as points at 96 dpi: 16 px is 12 pt.
        const double px = pango_font_description_get_size(font) /
                          static_cast<double>(PANGO_SCALE) * 96.0 / 72.0;
        EXPECT_NEAR(px, c.font_height, 0.01);
        EXPECT_EQ(pango_font_description_get_weight(font), PANGO_WEIGHT_NORMAL);
        EXPECT_EQ(pango_font_description_get_style(font), PANGO_STYLE_NORMAL);
        pango_font_description_free(font);
      }
    }
  };
  std::vector<std::string> placed_wrong;
  int client_width = 0;
  int client_height = 0;
  bool disabled_can_focus = true;
  AfterShow([&] {
    GtkWindow *window = MainWindow();
    gtk_window_get_size(window, &client_width, &client_height);
    for (const ControlDescription &c : d.controls) {
      if (c.kind == Kind::Timer || !c.shown) {
        continue;
      }
      GtkAllocation a;
      gtk_widget_get_allocation(PlacedWidget(c), &a);
      if (a.x != c.rect.left || a.y != c.rect.top || a.width != c.rect.width ||
          a.height != c.rect.height) {
        placed_wrong.push_back(std::string(c.name) + " at " +
                               std::to_string(a.x) + "," + std::to_string(a.y) +
                               " " + std::to_string(a.width) + "x" +
                               std::to_string(a.height));
      }
    }
    GtkWidget *code_box = WidgetOf(DescriptionOf(Control::编辑框1));
    gtk_widget_grab_focus(code_box);
    disabled_can_focus = gtk_widget_has_focus(code_box) != FALSE;
    DestroyMainWindow();
  });
  EXPECT_EQ(RunProgramOnGtk(), 0);
  EXPECT_EQ(client_width, d.client_width);
  EXPECT_EQ(client_height, d.client_height);
  EXPECT_TRUE(placed_wrong.empty()) << ::testing::PrintToString(placed_wrong);
  EXPECT_FALSE(disabled_can_focus);
}

TEST_F(GtkBackendTest, EscapeWithoutModifiersAndAltF4CloseTheWindow) {
  struct Case {
    guint keyval;
    guint state;
    bool closes;
  } cases[] = {
      {GDK_KEY_Escape, 0, true},
      {GDK_KEY_Escape, GDK_MOD2_MASK, true}, // Num Lock is no modifier here
      {GDK_KEY_Escape, GDK_SHIFT_MASK, false},
      {GDK_KEY_Escape, GDK_CONTROL_MASK, false},
      {GDK_KEY_Escape, GDK_MOD1_MASK, false},
      {GDK_KEY_F4, GDK_MOD1_MASK, true},
      {GDK_KEY_F4, 0, false},
      {GDK_KEY_F4, GDK_MOD1_MASK | GDK_CONTROL_MASK, false},
      {GDK_KEY_Return, 0, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << gdk_keyval_name(c.keyval) << " state " << c.state);
    bool closed_by_key = false;
    AfterShow([&] {
      GtkWindow *window = MainWindow();
      GdkEvent *event = gdk_event_new(GDK_KEY_PRESS);
      event->key.window =
          GDK_WINDOW(g_object_ref(gtk_widget_get_window(GTK_WIDGET(window))));
      event->key.keyval = c.keyval;
      event->key.state = c.state;
      event->key.time = GDK_CURRENT_TIME;
      gdk_event_set_device(
          event, gdk_seat_get_keyboard(
                     gdk_display_get_default_seat(gdk_display_get_default())));
      gtk_widget_event(GTK_WIDGET(window), event);
      gdk_event_free(event);
      // A close request is queued, not granted inside the key press; once
      // everything waiting has run it has been.
      ProcessEvents();
      closed_by_key = QuitRequested();
      DestroyMainWindow();
    });
    EXPECT_EQ(RunProgramOnGtk(), 0);
    EXPECT_EQ(closed_by_key, c.closes);
  }
}

TEST_F(GtkBackendTest, ReadsGiveTheExactTextWhileTheBoxShowsItsConversion) {
  const Text kWritten("\xBC\xD3\xFF\x80"); // 加, an invalid byte, the euro
  Text read_back;
  std::string shown;
  g_on.created = [&] {
    SetEditText(Control::编辑框1, kWritten);
    read_back = EditText(Control::编辑框1);
    shown = gtk_entry_get_text(
        GTK_ENTRY(WidgetOf(DescriptionOf(Control::编辑框1))));
    DestroyMainWindow();
  };
  EXPECT_EQ(RunProgramOnGtk(), 0);
  EXPECT_EQ(read_back, kWritten);
  EXPECT_EQ(shown, "加\xEF\xBF\xBD\xE2\x82\xAC");
}

TEST_F(GtkBackendTest, DisablingAButtonGreysItAndEnablingRestoresIt) {
  bool after_disable = true;
  bool after_enable = false;
  g_on.created = [&] {
    GtkWidget *button = WidgetOf(DescriptionOf(Control::按钮1));
    SetButtonDisabled(Control::按钮1, true);
    after_disable = gtk_widget_get_sensitive(button);
    SetButtonDisabled(Control::按钮1, false);
    after_enable = gtk_widget_get_sensitive(button);
    DestroyMainWindow();
  };
  EXPECT_EQ(RunProgramOnGtk(), 0);
  EXPECT_FALSE(after_disable);
  EXPECT_TRUE(after_enable);
}

// ---- the timer -------------------------------------------------------------

constexpr int32_t kPeriodMs = 200;
constexpr int64_t kPeriodUs = kPeriodMs * 1000;

// Slots are periods counted from just before the timer was started, so a
// tick in slot k is not early, and two ticks in one slot are a burst.
std::vector<int64_t> Slots(int64_t started_us) {
  std::vector<int64_t> slots;
  for (int64_t t : g_tick_times) {
    slots.push_back((t - started_us) / kPeriodUs);
  }
  return slots;
}

// Started once the window is up, so that its first drawing does not make
// the first tick late.
void StartTimerOnceShown(int64_t &started) {
  AfterShow([&started] {
    started = g_get_monotonic_time();
    SetTimerPeriod(Control::时钟1, kPeriodMs);
  });
}

TEST_F(GtkBackendTest, TicksFallOnPeriodBoundariesAndALateOneCausesNoBurst) {
  int64_t started = 0;
  StartTimerOnceShown(started);
  g_on.tick = [&] {
    if (g_tick_times.size() == 3) {
      // Busy, without letting events run, until the middle of slot 6: ticks
      // 4, 5 and 6 fall due meanwhile, but only one may be delivered late.
      while (g_get_monotonic_time() < started + 6 * kPeriodUs + kPeriodUs / 2) {
      }
    }
    if (g_tick_times.size() == 6) {
      DestroyMainWindow();
    }
  };
  EXPECT_EQ(RunProgramOnGtk(), 0);
  ASSERT_EQ(g_tick_times.size(), 6U);
  const std::vector<int64_t> slots = Slots(started);
  EXPECT_EQ(slots[0], 1) << "the first tick falls one period after the start";
  for (size_t i = 1; i < slots.size(); ++i) {
    EXPECT_GT(slots[i], slots[i - 1]) << "tick " << i << " came in a burst";
  }
  EXPECT_EQ(slots[3], 6) << "the late tick is delivered once, late";
  EXPECT_EQ(slots[4], 7) << "then the rhythm goes on at the next boundary";
  EXPECT_EQ(g_tick_depths, std::vector<int>(6, 1));
}

TEST_F(GtkBackendTest, ATickThatFallsDueInsideProcessEventsRunsNested) {
  int64_t started = 0;
  bool nested_ran = false;
  StartTimerOnceShown(started);
  g_on.tick = [&] {
    if (g_tick_times.size() == 1) {
      // As a page fetch does between reads.
      nested_ran = ProcessEventsUntil([] { return g_tick_times.size() >= 2; });
      SetTimerPeriod(Control::时钟1, 0);
      DestroyMainWindow();
    }
  };
  EXPECT_EQ(RunProgramOnGtk(), 0);
  ASSERT_TRUE(nested_ran);
  EXPECT_EQ(g_tick_depths, (std::vector<int>{1, 2}));
  EXPECT_EQ(Slots(started), (std::vector<int64_t>{1, 2}))
      << "the nested tick comes when due, neither at once nor late";
}

TEST_F(GtkBackendTest, WritingTheSamePeriodKeepsTheRhythmAndZeroStops) {
  int64_t started = 0;
  StartTimerOnceShown(started);
  g_on.tick = [&] {
    if (g_tick_times.size() == 1) {
      SetTimerPeriod(Control::时钟1, kPeriodMs); // changes nothing
    }
    if (g_tick_times.size() == 3) {
      SetTimerPeriod(Control::时钟1, -5); // stops
      // Three periods pass with events running and no tick comes; then the
      // window goes.
      const int64_t until = g_get_monotonic_time() + 3 * kPeriodUs;
      ProcessEventsUntil([&] { return g_get_monotonic_time() >= until; });
      DestroyMainWindow();
    }
  };
  EXPECT_EQ(RunProgramOnGtk(), 0);
  EXPECT_EQ(Slots(started), (std::vector<int64_t>{1, 2, 3}));
}

TEST_F(GtkBackendTest, DestroyingTheWindowDropsATickThatHadFallenDue) {
  g_on.created = [] { SetTimerPeriod(Control::时钟1, kPeriodMs); };
  g_on.tick = [] {
    const int64_t until = g_get_monotonic_time() + 3 * kPeriodUs / 2;
    while (g_get_monotonic_time() < until) {
    }
    DestroyMainWindow(); // the second tick is due by now
  };
  EXPECT_EQ(RunProgramOnGtk(), 0);
  EXPECT_EQ(g_tick_times.size(), 1U);
}

// ---- closing while a handler is suspended ----------------------------------

TEST_F(GtkBackendTest,
       ClosingDuringProcessEventsPostsQuitAndTheHandlerUnwinds) {
  bool quit_seen = false;
  Text read_after;
  int ticks_when_closed = 0;
  g_on.created = [] { SetTimerPeriod(Control::时钟1, kPeriodMs); };
  g_on.tick = [&] {
    if (g_tick_times.size() > 1) {
      return;
    }
    gtk_window_close(MainWindow()); // the user's close, queued
    quit_seen = ProcessEventsUntil(QuitRequested);
    ticks_when_closed = static_cast<int>(g_tick_times.size());
    ProcessEvents(); // returns at once, the quit request stays queued
    SetEditText(Control::编辑框1, "x");
    read_after = EditText(Control::编辑框1);
  };
  EXPECT_EQ(RunProgramOnGtk(), 0);
  EXPECT_TRUE(quit_seen);
  EXPECT_EQ(read_after, Text());
  EXPECT_EQ(static_cast<int>(g_tick_times.size()), ticks_when_closed);
}

// ---- message boxes ----------------------------------------------------------

TEST_F(GtkBackendTest, TheMessageBoxIsModalAndTicksGoOnWhileItIsOpen) {
  std::string title;
  bool took_every_input = false;
  bool had_image = true;
  g_on.created = [] {
    SetTimerPeriod(Control::时钟1, kPeriodMs);
    ShowMessage("\xD0\xC2"); // 新
    SetTimerPeriod(Control::时钟1, 0);
    DestroyMainWindow();
  };
  g_on.tick = [&] {
    GtkMessageDialog *dialog = OpenMessageDialog();
    if (dialog == nullptr || g_tick_times.size() < 3) {
      return;
    }
    title = gtk_window_get_title(GTK_WINDOW(dialog));
    GtkWidget *grab = gtk_grab_get_current();
    took_every_input =
        grab != nullptr && gtk_widget_get_toplevel(grab) == GTK_WIDGET(dialog);
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    had_image = gtk_message_dialog_get_image(dialog) != nullptr;
    G_GNUC_END_IGNORE_DEPRECATIONS
    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
  };
  EXPECT_EQ(RunProgramOnGtk(), 0);
  EXPECT_GE(g_tick_times.size(), 3U);
  EXPECT_EQ(title, "信息：");
  EXPECT_TRUE(took_every_input);
  EXPECT_FALSE(had_image);
}

TEST_F(GtkBackendTest, TheErrorBoxShowsTheErrorIcon) {
  GtkPlatform platform;
  std::string icon_name;
  AfterShow([&] {
    GtkMessageDialog *dialog = OpenMessageDialog();
    ASSERT_NE(dialog, nullptr);
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    GtkWidget *image = gtk_message_dialog_get_image(dialog);
    G_GNUC_END_IGNORE_DEPRECATIONS
    if (image != nullptr) {
      const char *name = nullptr;
      gtk_image_get_icon_name(GTK_IMAGE(image), &name, nullptr);
      icon_name = name != nullptr ? name : "";
    }
    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
  });
  platform.ShowMessageBox("\xB4\xED\xCE\xF3", "x", MessageIcon::kError);
  EXPECT_EQ(icon_name, "dialog-error");
}

// ---- the clipboard
// ------------------------------------------------------------

TEST_F(GtkBackendTest, CopiesTheTextAsUtf8PlainText) {
  GtkPlatform platform;
  struct Case {
    Text gbk;
    std::string utf8;
  } cases[] = {
      {"\xBC\xD3\xD4\xD8\xD6\xD0", "加载中"},
      {"00000000", "00000000"},
      {"a\xFF", "a\xEF\xBF\xBD"},
  };
  GtkClipboard *clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
  for (const Case &c : cases) {
    ASSERT_TRUE(platform.SetClipboardText(c.gbk));
    gchar *text = gtk_clipboard_wait_for_text(clipboard);
    EXPECT_EQ(text != nullptr ? std::string(text) : "<none>", c.utf8);
    g_free(text);
  }
  // The empty text is placed too and replaces what was there.
  ASSERT_TRUE(platform.SetClipboardText(Text()));
  gchar *text = gtk_clipboard_wait_for_text(clipboard);
  EXPECT_EQ(text != nullptr ? std::string(text) : "", "");
  g_free(text);
}

} // namespace
} // namespace cdk
