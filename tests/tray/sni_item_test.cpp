// The StatusNotifierItem on a private bus (GTestDBus), with a watcher and a
// host in the test: registration and its failures, clicks, change signals,
// the name leaving the bus, the pictures and the icon picked or scaled for
// each size. No display needed; the properties as a host sees them are the
// end-to-end test's.
#include "sni_item.h"

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "icon_sizes.h"
#include "sni_menu.h"

namespace gtkplat {
namespace {

constexpr char kWatcherXml[] = R"(<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
  </interface>
</node>)";

bool RunUntil(const std::function<bool()>& done) {
  const gint64 deadline = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
  while (!done()) {
    if (g_get_monotonic_time() > deadline) return false;
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
  }
  return true;
}

// One private bus for every test here, started and ended by GLib.
GTestDBus* TestBus() {
  static GTestDBus* bus = g_test_dbus_new(G_TEST_DBUS_NONE);
  return bus;
}

// A connection of its own for each party: names die with their connection.
GDBusConnection* Connect() {
  return g_dbus_connection_new_for_address_sync(
      g_test_dbus_get_bus_address(TestBus()),
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, nullptr);
}

// The session's tray: takes every registration, or refuses them all.
struct Watcher {
  explicit Watcher(bool refuse) : refuse(refuse), bus(Connect()) {
    static const GDBusInterfaceVTable vtable = {OnMethod, nullptr, nullptr, {}};
    node = g_dbus_node_info_new_for_xml(kWatcherXml, nullptr);
    g_dbus_connection_register_object(bus, "/StatusNotifierWatcher", node->interfaces[0], &vtable,
                                      this, nullptr, nullptr);
    g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
        g_variant_new("(su)", "org.kde.StatusNotifierWatcher", 4u), G_VARIANT_TYPE("(u)"),
        G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
    owned = reply != nullptr;
  }
  ~Watcher() {
    g_dbus_connection_close_sync(bus, nullptr, nullptr);
    g_object_unref(bus);
    g_dbus_node_info_unref(node);
  }
  static void OnMethod(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                       GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self) {
    auto* watcher = static_cast<Watcher*>(self);
    if (watcher->refuse) {
      g_dbus_method_invocation_return_dbus_error(invocation, "org.kde.Error", "no");
      return;
    }
    const gchar* service = nullptr;
    g_variant_get(parameters, "(&s)", &service);
    watcher->items.emplace_back(service);
    g_dbus_method_invocation_return_value(invocation, nullptr);
  }

  bool refuse;
  GDBusConnection* bus;
  GDBusNodeInfo* node = nullptr;
  bool owned = false;
  std::vector<std::string> items;
};

class SniItemTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { g_test_dbus_up(TestBus()); }
  static void TearDownTestSuite() { g_test_dbus_down(TestBus()); }

  void SetUp() override {
    itemBus_ = Connect();
    host_ = Connect();
    ASSERT_TRUE(itemBus_ && host_);
  }
  void TearDown() override {
    item_.reset();
    g_object_unref(itemBus_);
    g_object_unref(host_);
  }

  // An item with a 48-pixel picture of one colour, made on its own bus.
  SniItem& MakeItem(std::function<void(SniItem::Click)> click = nullptr) {
    g_autoptr(GdkPixbuf) picture = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 48, 48);
    gdk_pixbuf_fill(picture, 0x0A141EC8);  // r 10, g 20, b 30, alpha 200
    SniItem::Callbacks callbacks;
    callbacks.click = click ? click : [this](SniItem::Click c) { clicks_.push_back(c); };
    callbacks.registered = [this](bool ok) { registered_ = ok; };
    item_ = std::make_unique<SniItem>(itemBus_, "Kivo手机电影下载器", picture, "/MenuBar", callbacks);
    const std::string service = item_->Service();
    EXPECT_TRUE(RunUntil([&] { return Owned(service); })) << "the item never took its name";
    return *item_;
  }

  // Asked the way a host asks, while the item, on this same thread, answers.
  GVariant* HostCall(const std::string& to, const char* path, const char* interface,
                     const char* method, GVariant* args, const GVariantType* replyType) {
    struct Pending {
      bool done = false;
      GVariant* reply = nullptr;
    } pending;
    g_dbus_connection_call(
        host_, to.c_str(), path, interface, method, args, replyType, G_DBUS_CALL_FLAGS_NONE, 5000,
        nullptr,
        [](GObject* bus, GAsyncResult* result, gpointer data) {
          auto* p = static_cast<Pending*>(data);
          p->reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, nullptr);
          p->done = true;
        },
        &pending);
    RunUntil([&] { return pending.done; });
    return pending.reply;
  }
  GVariant* Get(const char* property) {
    g_autoptr(GVariant) reply = HostCall(
        item_->Service(), "/StatusNotifierItem", "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", "org.kde.StatusNotifierItem", property), G_VARIANT_TYPE("(v)"));
    GVariant* value = nullptr;
    if (reply) g_variant_get(reply, "(v)", &value);
    return value;
  }
  std::string GetString(const char* property) {
    g_autoptr(GVariant) value = Get(property);
    if (!value) return "<none>";
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING) ||
        g_variant_is_of_type(value, G_VARIANT_TYPE_OBJECT_PATH)) {
      return g_variant_get_string(value, nullptr);
    }
    g_autofree gchar* text = g_variant_print(value, FALSE);
    return text;
  }
  bool Call(const char* method, GVariant* args) {
    g_autoptr(GVariant) reply = HostCall(item_->Service(), "/StatusNotifierItem",
                                         "org.kde.StatusNotifierItem", method, args, nullptr);
    return reply != nullptr;
  }
  bool Owned(const std::string& name) {
    g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
        host_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "NameHasOwner", g_variant_new("(s)", name.c_str()), G_VARIANT_TYPE("(b)"),
        G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    gboolean owned = FALSE;
    if (reply) g_variant_get(reply, "(b)", &owned);
    return owned;
  }

  GDBusConnection* itemBus_ = nullptr;
  GDBusConnection* host_ = nullptr;
  std::unique_ptr<SniItem> item_;
  std::optional<bool> registered_;
  std::vector<SniItem::Click> clicks_;
};

TEST_F(SniItemTest, RegistersUnderItsOwnNameOnlyWithAWatcherThatTakesIt) {
  {
    Watcher watcher(false);
    ASSERT_TRUE(watcher.owned);
    MakeItem();
    ASSERT_TRUE(RunUntil([&] { return registered_.has_value(); }));
    EXPECT_TRUE(*registered_);
    ASSERT_EQ(watcher.items.size(), 1u);
    EXPECT_EQ(watcher.items[0], item_->Service());
    const std::regex name("org\\.kde\\.StatusNotifierItem-" + std::to_string(getpid()) + "-\\d+");
    EXPECT_TRUE(std::regex_match(item_->Service(), name)) << item_->Service();
    EXPECT_TRUE(Owned(item_->Service()));
  }
  // The watcher gone: a new item hears there is none.
  ASSERT_TRUE(RunUntil([&] { return !Owned("org.kde.StatusNotifierWatcher"); }));
  item_.reset();
  registered_.reset();
  MakeItem();
  ASSERT_TRUE(RunUntil([&] { return registered_.has_value(); }));
  EXPECT_FALSE(*registered_);
  item_.reset();
  registered_.reset();
  Watcher refusing(true);
  MakeItem();
  ASSERT_TRUE(RunUntil([&] { return registered_.has_value(); }));
  EXPECT_FALSE(*registered_) << "a watcher's error is no registration";
}

TEST_F(SniItemTest, ActivateAndContextMenuAreLeftAndRightClicksTheOthersNothing) {
  MakeItem();
  EXPECT_TRUE(Call("Activate", g_variant_new("(ii)", 5, 5)));
  EXPECT_TRUE(Call("ContextMenu", g_variant_new("(ii)", 5, 5)));
  EXPECT_TRUE(Call("SecondaryActivate", g_variant_new("(ii)", 5, 5)));
  EXPECT_TRUE(Call("Scroll", g_variant_new("(is)", 120, "vertical")));
  ASSERT_TRUE(RunUntil([&] { return clicks_.size() >= 2; }));
  // Whatever else was queued has been handled by the last call's reply.
  EXPECT_EQ(clicks_, (std::vector{SniItem::Click::kLeft, SniItem::Click::kRight}));
}

TEST_F(SniItemTest, AnItemDeletedInsideItsOwnClickLeavesTheBus) {
  // As the exit command does from the tray menu.
  MakeItem([this](SniItem::Click) { item_.reset(); });
  const std::string service = item_->Service();
  g_dbus_connection_call(host_, service.c_str(), "/StatusNotifierItem",
                         "org.kde.StatusNotifierItem", "ContextMenu", g_variant_new("(ii)", 1, 1),
                         nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr, nullptr);
  ASSERT_TRUE(RunUntil([&] { return !item_; }));
  EXPECT_TRUE(RunUntil([&] { return !Owned(service); }));
}

TEST_F(SniItemTest, ChangesAreSignalledOnlyWhenSomethingChanged) {
  MakeItem();
  std::vector<std::string> signals;
  const guint subscription = g_dbus_connection_signal_subscribe(
      host_, nullptr, "org.kde.StatusNotifierItem", nullptr, "/StatusNotifierItem", nullptr,
      G_DBUS_SIGNAL_FLAGS_NONE,
      [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name, GVariant*,
         gpointer seen) { static_cast<std::vector<std::string>*>(seen)->emplace_back(name); },
      &signals, nullptr);
  item_->SetTitle("Kivo手机电影下载器");
  item_->SetTitle("新标题");
  g_autoptr(GdkPixbuf) other = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 16, 16);
  gdk_pixbuf_fill(other, 0xFF000000);
  item_->SetIcon(other);
  ASSERT_TRUE(RunUntil([&] { return signals.size() >= 3; }));
  EXPECT_EQ(signals, (std::vector<std::string>{"NewTitle", "NewToolTip", "NewIcon"}));
  EXPECT_EQ(GetString("Title"), "新标题");
  g_autoptr(GVariant) pixmaps = Get("IconPixmap");
  ASSERT_TRUE(pixmaps && g_variant_n_children(pixmaps) > 0);
  g_autoptr(GVariant) bytes = nullptr;
  gint32 w = 0, h = 0;
  g_variant_get_child(pixmaps, 0, "(ii@ay)", &w, &h, &bytes);
  gsize n = 0;
  const auto* argb = static_cast<const guchar*>(g_variant_get_fixed_array(bytes, &n, 1));
  ASSERT_GE(n, 4u);
  EXPECT_EQ((std::vector<int>{argb[0], argb[1], argb[2], argb[3]}),
            (std::vector<int>{255, 255, 0, 0}));
  g_dbus_connection_signal_unsubscribe(host_, subscription);
}

// --- the pictures, without a bus ---------------------------------------------
TEST(SniPixmaps, EverySizeIsWholeArgbInNetworkOrder) {
  struct Case {
    bool alpha;
    guint32 fill;  // RGBA
    std::vector<int> argb;
  };
  const Case cases[] = {
      {true, 0x0A141EC8, {200, 10, 20, 30}},
      {false, 0x0A141EC8, {255, 10, 20, 30}},  // no alpha channel: opaque
      {true, 0xFF000000, {0}},                 // transparent: the scaler may drop its colour
  };
  for (const Case& c : cases) {
    g_autoptr(GdkPixbuf) picture = gdk_pixbuf_new(GDK_COLORSPACE_RGB, c.alpha, 8, 48, 48);
    gdk_pixbuf_fill(picture, c.fill);
    g_autoptr(GVariant) pixmaps = g_variant_ref_sink(SniPixmaps(picture));
    ASSERT_TRUE(g_variant_is_of_type(pixmaps, G_VARIANT_TYPE("a(iiay)")));
    std::vector<int> sizes;
    for (gsize i = 0; i < g_variant_n_children(pixmaps); ++i) {
      gint32 w = 0, h = 0;
      g_autoptr(GVariant) bytes = nullptr;
      g_variant_get_child(pixmaps, i, "(ii@ay)", &w, &h, &bytes);
      gsize n = 0;
      const auto* argb = static_cast<const guchar*>(g_variant_get_fixed_array(bytes, &n, 1));
      sizes.push_back(w);
      EXPECT_EQ(w, h);
      ASSERT_EQ(n, static_cast<gsize>(w) * h * 4) << w;
      const gsize last = n - 4;
      std::vector<int> got{argb[last], argb[last + 1], argb[last + 2], argb[last + 3]};
      got.resize(c.argb.size());
      EXPECT_EQ(got, c.argb) << "size " << w << " alpha " << c.alpha;
    }
    EXPECT_EQ(sizes, (std::vector{16, 22, 24, 32, 48, 64}));
  }
  g_autoptr(GVariant) none = g_variant_ref_sink(SniPixmaps(nullptr));
  EXPECT_EQ(g_variant_n_children(none), 0u) << "no picture: no pixmaps, and no crash";
}

// --- the icon at a size -------------------------------------------------------
GdkPixbuf* Filled(int side, guint32 rgba) {
  GdkPixbuf* p = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, side, side);
  gdk_pixbuf_fill(p, rgba);
  return p;
}

guint32 PixelAt(GdkPixbuf* p, int x, int y) {
  const guchar* px = gdk_pixbuf_read_pixels(p) + y * gdk_pixbuf_get_rowstride(p) +
                     x * gdk_pixbuf_get_n_channels(p);
  return (guint32{px[0]} << 24) | (guint32{px[1]} << 16) | (guint32{px[2]} << 8) | px[3];
}

constexpr guint32 kIcon = 0x10203040, kArt22 = 0xA0B0C0FF, kArt64 = 0x405060FF;

TEST(IconAtSize, TheArtForASizeFirstThenTheSmallestLargerOneReduced) {
  g_autoptr(GdkPixbuf) icon = Filled(48, kIcon);
  g_autoptr(GdkPixbuf) art22 = Filled(22, kArt22);
  g_autoptr(GdkPixbuf) art64 = Filled(64, kArt64);
  AttachIconSizes(icon, {art22, art64});
  struct Case {
    int size;
    guint32 from;
  };
  for (const Case& c : {Case{22, kArt22}, Case{64, kArt64}, Case{48, kIcon}, Case{20, kArt22},
                        Case{40, kIcon}, Case{56, kArt64}, Case{16, kArt22}}) {
    g_autoptr(GdkPixbuf) got = IconAtSize(icon, c.size);
    ASSERT_TRUE(got) << c.size;
    EXPECT_EQ(gdk_pixbuf_get_width(got), c.size);
    EXPECT_EQ(gdk_pixbuf_get_height(got), c.size);
    EXPECT_EQ(PixelAt(got, c.size / 2, c.size / 2), c.from) << "size " << c.size;
  }
  g_autoptr(GdkPixbuf) same = IconAtSize(icon, 22);
  EXPECT_EQ(same, art22) << "the art itself, not a copy scaled by 1";
  EXPECT_EQ(IconPictures(icon), (std::vector<GdkPixbuf*>{icon, art22, art64}));
}

TEST(IconAtSize, EnlargedInWholeBlocksOnlyByAWholeFactor) {
  // A checkerboard shows any smoothing as a colour between its two.
  g_autoptr(GdkPixbuf) icon = Filled(16, 0x000000FF);
  guchar* px = gdk_pixbuf_get_pixels(icon);
  const int stride = gdk_pixbuf_get_rowstride(icon);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      if ((x + y) % 2) std::fill_n(px + y * stride + x * 4, 3, guchar{255});
    }
  }
  for (int factor : {2, 3, 4}) {
    g_autoptr(GdkPixbuf) got = IconAtSize(icon, 16 * factor);
    ASSERT_TRUE(got);
    int unlike = 0;
    for (int y = 0; y < 16 * factor; ++y) {
      for (int x = 0; x < 16 * factor; ++x) {
        unlike += PixelAt(got, x, y) != PixelAt(icon, x / factor, y / factor);
      }
    }
    EXPECT_EQ(unlike, 0) << "factor " << factor;
  }
  // By a fraction there are no whole blocks: smoothed, but the size asked.
  g_autoptr(GdkPixbuf) fraction = IconAtSize(icon, 24);
  ASSERT_TRUE(fraction);
  EXPECT_EQ(gdk_pixbuf_get_width(fraction), 24);
}

TEST(IconAtSize, NoIconOrNoSizeGivesNothing) {
  g_autoptr(GdkPixbuf) icon = Filled(16, kIcon);
  EXPECT_EQ(IconAtSize(nullptr, 16), nullptr);
  EXPECT_EQ(IconAtSize(icon, 0), nullptr);
  EXPECT_EQ(IconAtSize(icon, -4), nullptr);
  EXPECT_TRUE(IconPictures(nullptr).empty());
  EXPECT_EQ(IconPictures(icon), std::vector<GdkPixbuf*>{icon});
  AttachIconSizes(nullptr, {icon});  // no crash
  AttachIconSizes(icon, {nullptr});
  g_autoptr(GdkPixbuf) got = IconAtSize(icon, 16);
  EXPECT_EQ(got, icon);
}

TEST(SniPixmaps, TheArtForASizeIsOfferedAtThatSize) {
  g_autoptr(GdkPixbuf) icon = Filled(48, kIcon);
  g_autoptr(GdkPixbuf) art22 = Filled(22, kArt22);
  AttachIconSizes(icon, {art22});
  g_autoptr(GVariant) pixmaps = g_variant_ref_sink(SniPixmaps(icon));
  bool seen = false;
  for (gsize i = 0; i < g_variant_n_children(pixmaps); ++i) {
    gint32 w = 0, h = 0;
    g_autoptr(GVariant) bytes = nullptr;
    g_variant_get_child(pixmaps, i, "(ii@ay)", &w, &h, &bytes);
    if (w != 22) continue;
    gsize n = 0;
    const auto* argb = static_cast<const guchar*>(g_variant_get_fixed_array(bytes, &n, 1));
    ASSERT_EQ(n, 22u * 22 * 4);
    EXPECT_EQ((std::vector<int>{argb[0], argb[1], argb[2], argb[3]}),
              (std::vector<int>{0xFF, 0xA0, 0xB0, 0xC0}));
    seen = true;
  }
  EXPECT_TRUE(seen);
}

// The menu a panel draws, asked for as libdbusmenu's clients and KDE ask:
// the layout, the opening (once, however it is told), a click by id.
TEST_F(SniItemTest, MenuIsReadOpenedAndChosenAsAPanelDoes) {
  int openings = 0;
  std::vector<int> chosen;
  SniMenu menu("/MenuBar", [&] { ++openings; });
  menu.Serve({{"显示_窗口"}, {"", true}, {"退出软件"}}, [&](int i) { chosen.push_back(i); });
  g_autoptr(GDBusConnection) session = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  ASSERT_TRUE(session);
  const std::string server = g_dbus_connection_get_unique_name(session);
  const auto call = [&](const char* method, GVariant* args, const GVariantType* type) {
    return HostCall(server, "/MenuBar", "com.canonical.dbusmenu", method, args, type);
  };
  // "id type label" per item, as the panel reads them.
  const auto layout = [&](guint* revision) {
    const gchar* none[] = {nullptr};
    g_autoptr(GVariant) reply =
        call("GetLayout", g_variant_new("(ii^as)", 0, -1, none), G_VARIANT_TYPE("(u(ia{sv}av))"));
    std::vector<std::string> rows;
    if (!reply) return rows;
    g_autoptr(GVariant) root = g_variant_get_child_value(reply, 1);
    g_autoptr(GVariant) children = g_variant_get_child_value(root, 2);
    g_variant_get_child(reply, 0, "u", revision);
    for (gsize i = 0; i < g_variant_n_children(children); ++i) {
      g_autoptr(GVariant) boxed = g_variant_get_child_value(children, i);
      g_autoptr(GVariant) child = g_variant_get_variant(boxed);
      gint32 id = 0;
      g_autoptr(GVariant) props = nullptr;
      g_variant_get_child(child, 0, "i", &id);
      props = g_variant_get_child_value(child, 1);
      const gchar* type = "item";
      const gchar* label = "";
      g_variant_lookup(props, "type", "&s", &type);
      g_variant_lookup(props, "label", "&s", &label);
      rows.push_back(std::to_string(id) + " " + type + " " + label);
    }
    return rows;
  };
  guint revision = 0;
  std::vector<std::string> rows;
  ASSERT_TRUE(RunUntil([&] { return (rows = layout(&revision)).size() == 3; }));
  EXPECT_EQ(rows[0].substr(rows[0].find(' ')), " item 显示__窗口") << "an underscore is no mnemonic";
  EXPECT_EQ(rows[1].substr(rows[1].find(' ')), " separator ");
  EXPECT_EQ(rows[2].substr(rows[2].find(' ')), " item 退出软件");

  const auto event = [&](int id, const char* name) {
    g_autoptr(GVariant) reply = call(
        "Event", g_variant_new("(isvu)", id, name, g_variant_new_int32(0), 0u), nullptr);
    return reply != nullptr;
  };
  ASSERT_TRUE(event(0, "opened"));
  g_autoptr(GVariant) shown = call("AboutToShow", g_variant_new("(i)", 0), nullptr);
  RunUntil([&] { return openings > 0; });
  EXPECT_EQ(openings, 1) << "opened and AboutToShow are one opening";
  // The same items served again: the panel's menu stays as it is.
  menu.Serve({{"显示_窗口"}, {"", true}, {"退出软件"}}, [&](int i) { chosen.push_back(10 + i); });
  guint again = 0;
  EXPECT_EQ(layout(&again).size(), 3u);
  EXPECT_EQ(again, revision);
  const int last = std::stoi(rows[2]);
  ASSERT_TRUE(event(last, "clicked"));
  ASSERT_TRUE(RunUntil([&] { return !chosen.empty(); }));
  EXPECT_EQ(chosen, std::vector<int>{12}) << "the newest way back, with the item's index";
  ASSERT_TRUE(event(0, "closed"));
  ASSERT_TRUE(event(0, "opened"));
  EXPECT_TRUE(RunUntil([&] { return openings == 2; })) << "each opening after a close";
}

}  // namespace
}  // namespace gtkplat
