// Calls one operation of the GTK side of the seam and prints its answer as
// one line of JSON, for the answers that no window or box shows. run_tests.py
// holds the cases and what each must answer.
//
//   vistrel-platform-probe dword HKCU|HKLM SUBKEY VALUE   -> number or null
//   vistrel-platform-probe screen                         -> {"screen":[w,h],"workArea":[l,t,r,b]}
//   vistrel-platform-probe expand TEXT                    -> string
//   vistrel-platform-probe icon PATH INDEX                -> {"width","height","pixel":[r,g,b,a]} or null
//   vistrel-platform-probe read PATH                      -> {"status","hex"}
//   vistrel-platform-probe write-time PATH                -> number or null
//   vistrel-platform-probe ansi HEX                       -> [UTF-16 code units]
//   vistrel-platform-probe data-folder local|temp         -> string
//   vistrel-platform-probe in-use FOLDER                  -> bool
//   vistrel-platform-probe hold-lock FOLDER [test]        -> {"held"[,"inUseAfter"]}, then waits for stdin to close
//   vistrel-platform-probe delete-tree FOLDER             -> bool
//   vistrel-platform-probe wait PID MS                    -> true once the wait has returned
//   vistrel-platform-probe virtual-key KEYNAME            -> Windows virtual-key code of the GDK key
//   vistrel-platform-probe key-kind down|up VK CTRL ALT   -> COREWEBVIEW2_KEY_EVENT_KIND (CTRL, ALT: 0 or 1)
//   vistrel-platform-probe data-types KINDS               -> WebKitWebsiteDataTypes for browsing data kinds
//   vistrel-platform-probe menu-target CONTEXT            -> COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND of hit-test bits
//   vistrel-platform-probe engine-scheme SCHEME           -> bool
//   vistrel-platform-probe profile-folder FOLDER NAME     -> string
//   vistrel-platform-probe runtime FOLDER                 -> the runtime's objects, as JSON (needs a display)
// The seam's header before the toolkit's, whose TRUE and FALSE would
// otherwise clash with the runtime interface's.
#include "platform/gtk/platform_gtk.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "platform/gtk/runtime_mapping_gtk.h"
#include "platform/gtk/text_gtk.h"
#include "platform/gtk/webkit_runtime.h"
#include "runtime/handler.h"

namespace {

using vistrel::GtkPlatform;
using vistrel::RegistryRoot;

std::string Json(const std::u16string& text) {
  std::string out = "\"";
  for (char16_t unit : text) {
    if (unit >= 0x20 && unit < 0x7F && unit != u'"' && unit != u'\\') {
      out += static_cast<char>(unit);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(unit));
      out += escaped;
    }
  }
  return out + "\"";
}

std::string Json(bool value) { return value ? "true" : "false"; }

std::u16string Wide(const char* argument) { return vistrel::gtk::Utf16FromUtf8(argument); }

std::string Hex(const std::string& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char byte : bytes) {
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
  }
  return out;
}

std::string Bytes(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return out;
}

std::string Icon(GtkPlatform& platform, const char* path, const char* index) {
  vistrel::IconHandle icon = platform.ExtractIconFrom(Wide(path), std::stoi(index));
  if (icon == nullptr) return "null";
  GdkPixbuf* pixbuf = GDK_PIXBUF(icon);
  const int width = gdk_pixbuf_get_width(pixbuf);
  const int height = gdk_pixbuf_get_height(pixbuf);
  const int channels = gdk_pixbuf_get_n_channels(pixbuf);
  const guchar* first = gdk_pixbuf_read_pixels(pixbuf);
  std::string pixel = "[";
  for (int c = 0; c < 4; ++c) {
    if (c > 0) pixel += ",";
    pixel += std::to_string(c < channels ? first[c] : 255);
  }
  platform.FreeIcon(icon);
  return "{\"width\":" + std::to_string(width) + ",\"height\":" + std::to_string(height) +
         ",\"pixel\":" + pixel + "]}";
}

std::string Read(GtkPlatform& platform, const char* path) {
  const vistrel::FileContents file = platform.ReadWholeFile(Wide(path), false);
  const char* status = file.status == vistrel::FileContents::Status::Read         ? "Read"
                       : file.status == vistrel::FileContents::Status::OpenFailed ? "OpenFailed"
                                                                                   : "ReadFailed";
  return std::string("{\"status\":\"") + status + "\",\"hex\":\"" + Hex(file.bytes) + "\"}";
}

std::string Ansi(GtkPlatform& platform, const char* hex) {
  const std::u16string text = platform.ConvertAnsiText(Bytes(hex));
  std::string out = "[";
  for (size_t i = 0; i < text.size(); ++i) {
    if (i > 0) out += ",";
    out += std::to_string(static_cast<unsigned>(text[i]));
  }
  return out + "]";
}

// Holds the lock until whoever started the probe closes its input.
int HoldLock(GtkPlatform& platform, const char* folder, bool test) {
  std::string answer = "{\"held\":" + Json(platform.HoldDataFolderLock(Wide(folder)));
  if (test) answer += ",\"inUseAfter\":" + Json(platform.DataFolderInUse(Wide(folder)));
  std::cout << answer << "}" << std::endl;
  std::string line;
  while (std::getline(std::cin, line)) {
  }
  return 0;
}

// ---- The runtime's objects --------------------------------------------------------

using vistrel::RuntimeRef;
using vistrel::RuntimeString;

struct NamedIid {
  const IID* iid;
  const char* name;
};

// Every interface identifier of the runtime interface: an object must
// answer exactly those it implements.
const NamedIid kIids[] = {
    {&IID_IUnknown, "IUnknown"},
    {&IID_ICoreWebView2Environment, "Environment"},
    {&IID_ICoreWebView2Environment9, "Environment9"},
    {&IID_ICoreWebView2Environment10, "Environment10"},
    {&IID_ICoreWebView2ControllerOptions, "ControllerOptions"},
    {&IID_ICoreWebView2Controller, "Controller"},
    {&IID_ICoreWebView2, "WebView"},
    {&IID_ICoreWebView2_4, "WebView4"},
    {&IID_ICoreWebView2_8, "WebView8"},
    {&IID_ICoreWebView2_11, "WebView11"},
    {&IID_ICoreWebView2_13, "WebView13"},
    {&IID_ICoreWebView2Profile, "Profile"},
    {&IID_ICoreWebView2Profile2, "Profile2"},
    {&IID_ICoreWebView2Settings, "Settings"},
    {&IID_ICoreWebView2Settings3, "Settings3"},
    {&IID_ICoreWebView2Settings4, "Settings4"},
    {&IID_ICoreWebView2ContextMenuItem, "ContextMenuItem"},
    {&IID_ICoreWebView2CreateCoreWebView2ControllerCompletedHandler, "ControllerCompletedHandler"},
};

// The identifiers the object answers, each answer checked to be the object
// itself with one more reference.
std::string Answers(IUnknown* object) {
  if (object == nullptr) return "null";
  std::string out = "[";
  bool first = true;
  for (const NamedIid& known : kIids) {
    void* answer = nullptr;
    if (object->QueryInterface(*known.iid, &answer) != S_OK) continue;
    auto* unknown = static_cast<IUnknown*>(answer);
    const bool same = answer == static_cast<void*>(object);
    unknown->Release();
    out += std::string(first ? "" : ",") + "\"" + known.name + (same ? "" : " (another object)") + "\"";
    first = false;
  }
  return out + "]";
}

// A key event as GDK delivers it to the view, for the key's first keycode.
void SendKey(GtkWidget* view, GdkEventType type, guint keyval, guint state, guint32 time) {
  GdkKeymap* keymap = gdk_keymap_get_for_display(gtk_widget_get_display(view));
  GdkKeymapKey* keys = nullptr;
  gint count = 0;
  gdk_keymap_get_entries_for_keyval(keymap, keyval, &keys, &count);
  GdkEvent* event = gdk_event_new(type);
  event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(view)));
  event->key.send_event = TRUE;
  event->key.time = time;
  event->key.state = state;
  event->key.keyval = keyval;
  event->key.hardware_keycode = count > 0 ? static_cast<guint16>(keys[0].keycode) : 0;
  event->key.group = count > 0 ? static_cast<guint8>(keys[0].group) : 0;
  gdk_event_set_device(event, gdk_seat_get_keyboard(gdk_display_get_default_seat(gtk_widget_get_display(view))));
  g_free(keys);
  gtk_widget_event(view, event);
  gdk_event_free(event);
}

// What the controller's key handlers hear of a row of key events: kind,
// virtual key and WasKeyDown of each.
std::string Keys(ICoreWebView2Controller* controller, GtkWidget* window) {
  std::string heard = "[";
  EventRegistrationToken token{};
  controller->add_AcceleratorKeyPressed(
      vistrel::MakeHandler<ICoreWebView2AcceleratorKeyPressedEventHandler>(
          [&heard](ICoreWebView2Controller*, ICoreWebView2AcceleratorKeyPressedEventArgs* args) {
            COREWEBVIEW2_KEY_EVENT_KIND kind{};
            UINT key = 0;
            COREWEBVIEW2_PHYSICAL_KEY_STATUS status{};
            args->get_KeyEventKind(&kind);
            args->get_VirtualKey(&key);
            args->get_PhysicalKeyStatus(&status);
            heard += std::string(heard.size() > 1 ? "," : "") + "[" + std::to_string(static_cast<int>(kind)) + "," +
                     std::to_string(key) + "," + std::to_string(status.WasKeyDown) + "]";
            // Kept from the page, so that nothing comes back.
            args->put_Handled(TRUE);
            return S_OK;
          })
          .get(),
      &token);
  GtkWidget* holder = gtk_bin_get_child(GTK_BIN(window));
  GList* children = gtk_container_get_children(GTK_CONTAINER(holder));
  GtkWidget* view = children != nullptr ? GTK_WIDGET(children->data) : nullptr;
  g_list_free(children);
  if (view == nullptr) return "null";
  // Before its first page the view is not on screen: keys come to the window.
  if (gtk_widget_get_mapped(view)) return "\"the view was on screen before its first page\"";
  SendKey(window, GDK_KEY_PRESS, GDK_KEY_m, GDK_CONTROL_MASK, 90);
  SendKey(window, GDK_KEY_RELEASE, GDK_KEY_m, GDK_CONTROL_MASK, 95);
  // The view goes on screen once its first page commits (or after a while):
  // keys reach it from then on.
  const gint64 deadline = g_get_monotonic_time() + 5 * G_USEC_PER_SEC;
  while (!gtk_widget_get_mapped(view) && g_get_monotonic_time() < deadline) g_main_context_iteration(nullptr, FALSE);
  if (!gtk_widget_get_mapped(view)) return "\"the view was never shown\"";
  SendKey(view, GDK_KEY_PRESS, GDK_KEY_m, GDK_CONTROL_MASK, 100);
  SendKey(view, GDK_KEY_PRESS, GDK_KEY_m, GDK_CONTROL_MASK, 130);  // held: a repeat
  SendKey(view, GDK_KEY_PRESS, GDK_KEY_m, GDK_CONTROL_MASK, 130);  // the same event once more
  SendKey(view, GDK_KEY_RELEASE, GDK_KEY_m, GDK_CONTROL_MASK, 140);
  SendKey(view, GDK_KEY_PRESS, GDK_KEY_M, GDK_CONTROL_MASK | GDK_SHIFT_MASK, 150);
  SendKey(view, GDK_KEY_RELEASE, GDK_KEY_M, GDK_CONTROL_MASK | GDK_SHIFT_MASK, 160);
  SendKey(view, GDK_KEY_PRESS, GDK_KEY_Home, GDK_MOD1_MASK, 170);
  SendKey(view, GDK_KEY_RELEASE, GDK_KEY_Home, GDK_MOD1_MASK, 180);
  SendKey(view, GDK_KEY_PRESS, GDK_KEY_Home, GDK_MOD1_MASK | GDK_CONTROL_MASK, 190);
  return heard + "]";
}

std::string Hresult(HRESULT result) {
  char text[16];
  std::snprintf(text, sizeof text, "\"0x%08X\"", static_cast<unsigned>(result));
  return text;
}

// Builds a window with a view through the runtime's interfaces and reports
// what each object answers, whether the controller came from the main loop,
// what Navigate makes of addresses and what strings are handed out.
// The name and parent of a process from /proc; empty when it has ended.
std::pair<std::string, long> ProcessNameAndParent(uint32_t pid) {
  g_autofree gchar* path = g_strdup_printf("/proc/%u/stat", pid);
  g_autofree gchar* stat = nullptr;
  if (!g_file_get_contents(path, &stat, nullptr, nullptr)) return {};
  const std::string line = stat;
  const size_t open = line.find('(');
  const size_t close = line.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close + 4 > line.size()) return {};
  if (line[close + 2] == 'Z') return {};
  return {line.substr(open + 1, close - open - 1), std::stol(line.substr(close + 4))};
}

int Runtime(GtkPlatform& platform, const char* folder) {
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_widget_show(window);
  RuntimeRef<ICoreWebView2Environment> environment =
      vistrel::gtk::NewWebKitEnvironment(folder, [window](HWND handle) { return handle == window; });
  auto environment10 = environment.Query<ICoreWebView2Environment10>();
  RuntimeRef<ICoreWebView2ControllerOptions> options;
  environment10->CreateCoreWebView2ControllerOptions(options.Put());
  std::string profileNames = "{";
  const std::pair<const char16_t*, const char*> names[] = {
      {u"Work 1", "Work 1"}, {u"a#@$()+-_~.b", "a#@$()+-_~.b"}, {u"a,b", "a,b"}, {u"caf\u00e9", "caf\\u00e9"},
      {u"..", ".."},         {u"", ""}};
  for (const auto& [name, shown] : names) {
    profileNames += std::string(profileNames.size() > 1 ? "," : "") + "\"" + shown +
                    "\":" + Hresult(options->put_ProfileName(reinterpret_cast<LPCWSTR>(name)));
  }
  profileNames += "}";
  RuntimeRef<ICoreWebView2ContextMenuItem> item;
  environment10->CreateContextMenuItem(reinterpret_cast<LPCWSTR>(u"Item"), nullptr,
                                       COREWEBVIEW2_CONTEXT_MENU_ITEM_KIND_COMMAND, item.Put());

  RuntimeRef<ICoreWebView2Controller> controller;
  bool inCall = true;
  bool completedInCall = false;
  auto handler = vistrel::MakeHandler<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler>(
      [&](HRESULT, ICoreWebView2Controller* made) {
        completedInCall = inCall;
        controller = RuntimeRef<ICoreWebView2Controller>::Share(made);
        return S_OK;
      });
  const HRESULT created = environment10->CreateCoreWebView2ControllerWithOptions(window, options.get(), handler.get());
  inCall = false;
  const HRESULT secondView = environment10->CreateCoreWebView2ControllerWithOptions(window, nullptr, handler.get());
  while (!controller && created == S_OK) g_main_context_iteration(nullptr, TRUE);

  RuntimeRef<ICoreWebView2> view;
  if (controller) controller->get_CoreWebView2(view.Put());
  RuntimeRef<ICoreWebView2Settings> settings;
  RuntimeRef<ICoreWebView2Profile> profile;
  std::string navigate = "{}";
  std::string source = "null";
  std::string keys = "null";
  std::string muted = "null";
  UINT32 browserProcess = 0;
  if (view) {
    view->get_Settings(settings.Put());
    view.Query<ICoreWebView2_13>()->get_Profile(profile.Put());
    navigate = "{";
    for (const char16_t* address : {u"about:blank", u"/no/such/file.html", u"relative/page.html",
                                    u"Example.COM/Some Path?q=1", u"https://example.com/a b", u""}) {
      navigate += std::string(navigate.size() > 1 ? "," : "") + Json(std::u16string(address)) + ":" +
                  Hresult(view->Navigate(reinterpret_cast<LPCWSTR>(address)));
    }
    navigate += "}";
    // Read before the keys, which let the loads go on.
    RuntimeString text;
    view->get_Source(text.Put());
    source = Json(text.Text());
    keys = Keys(controller.get(), window);
    // What the engine makes of muting, as the page's sound follows it.
    if (const auto view8 = view.Query<ICoreWebView2_8>()) {
      GList* children = gtk_container_get_children(GTK_CONTAINER(gtk_bin_get_child(GTK_BIN(window))));
      auto* engineView = children != nullptr ? WEBKIT_WEB_VIEW(children->data) : nullptr;
      g_list_free(children);
      muted = "[";
      for (const BOOL value : {TRUE, FALSE, TRUE}) {
        view8->put_IsMuted(value);
        muted += std::string(muted.size() > 1 ? "," : "") +
                 (engineView != nullptr ? Json(webkit_web_view_get_is_muted(engineView) != FALSE) : "null");
      }
      muted += "]";
    }
    view->get_BrowserProcessId(&browserProcess);
  }
  const auto [browserName, browserParent] = ProcessNameAndParent(browserProcess);
  const bool browserIsChild = browserParent == static_cast<long>(getpid());
  const HRESULT closed = controller ? controller->Close() : E_FAIL;
  // Closed, the view lets its processes go; waiting lets the engine finish that.
  platform.WaitForProcessExit(browserProcess, 5000);
  const bool browserEnded = ProcessNameAndParent(browserProcess).first.empty();
  const HRESULT navigateAfterClose = view ? view->Navigate(reinterpret_cast<LPCWSTR>(u"about:blank")) : E_FAIL;
  std::cout << "{\"environment\":" << Answers(environment.get()) << ",\"options\":" << Answers(options.get())
            << ",\"menuItem\":" << Answers(item.get()) << ",\"controller\":" << Answers(controller.get())
            << ",\"webView\":" << Answers(view.get()) << ",\"settings\":" << Answers(settings.get())
            << ",\"profile\":" << Answers(profile.get()) << ",\"created\":" << Hresult(created)
            << ",\"secondView\":" << Hresult(secondView) << ",\"completedInCall\":" << Json(completedInCall)
            << ",\"profileNames\":" << profileNames << ",\"navigate\":" << navigate << ",\"source\":" << source
            << ",\"keys\":" << keys << ",\"muted\":" << muted << ",\"browserProcess\":" << Json(Wide(browserName.c_str()))
            << ",\"browserIsChild\":" << Json(browserIsChild) << ",\"browserEndedAfterClose\":" << Json(browserEnded)
            << ",\"closed\":" << Hresult(closed) << ",\"navigateAfterClose\":" << Hresult(navigateAfterClose)
            << "}" << std::endl;
  return 0;
}

int Usage() {
  std::cerr << "usage: vistrel-platform-probe OPERATION ARGUMENTS...\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  const bool hasDisplay = gtk_init_check(nullptr, nullptr) != FALSE;
  GtkPlatform platform(std::vector<std::string>(argv, argv + argc), hasDisplay);
  if (argc < 2) return Usage();
  const std::string operation = argv[1];
  const int count = argc - 2;
  std::string answer;
  if (operation == "dword" && count == 3) {
    const RegistryRoot root = std::string(argv[2]) == "HKLM" ? RegistryRoot::LocalMachine : RegistryRoot::CurrentUser;
    const std::optional<uint32_t> value = platform.ReadRegistryDword(root, Wide(argv[3]), Wide(argv[4]));
    answer = value ? std::to_string(*value) : "null";
  } else if (operation == "screen" && count == 0) {
    const vistrel::ScreenSize screen = platform.PrimaryScreenSize();
    const vistrel::Rect area = platform.WorkArea().value_or(vistrel::Rect{-1, -1, -1, -1});
    answer = "{\"screen\":[" + std::to_string(screen.width) + "," + std::to_string(screen.height) +
             "],\"workArea\":[" + std::to_string(area.left) + "," + std::to_string(area.top) + "," +
             std::to_string(area.right) + "," + std::to_string(area.bottom) + "]}";
  } else if (operation == "expand" && count == 1) {
    answer = Json(platform.ExpandEnvironmentVariables(Wide(argv[2])));
  } else if (operation == "icon" && count == 2) {
    answer = Icon(platform, argv[2], argv[3]);
  } else if (operation == "read" && count == 1) {
    answer = Read(platform, argv[2]);
  } else if (operation == "write-time" && count == 1) {
    const std::optional<uint64_t> time = platform.FileWriteTime(Wide(argv[2]));
    answer = time ? std::to_string(*time) : "null";
  } else if (operation == "ansi" && count == 1) {
    answer = Ansi(platform, argv[2]);
  } else if (operation == "data-folder" && count == 1) {
    const bool local = std::string(argv[2]) == "local";
    answer = Json(platform.UserDataFolderPath(local ? vistrel::KnownFolder::LocalAppData : vistrel::KnownFolder::Temp));
  } else if (operation == "in-use" && count == 1) {
    answer = Json(platform.DataFolderInUse(Wide(argv[2])));
  } else if (operation == "hold-lock" && (count == 1 || (count == 2 && std::string(argv[3]) == "test"))) {
    return HoldLock(platform, argv[2], count == 2);
  } else if (operation == "delete-tree" && count == 1) {
    answer = Json(platform.DeleteFolderTree(Wide(argv[2])));
  } else if (operation == "wait" && count == 2) {
    platform.WaitForProcessExit(static_cast<uint32_t>(std::stoul(argv[2])),
                                static_cast<uint32_t>(std::stoul(argv[3])));
    answer = "true";
  } else if (operation == "virtual-key" && count == 1) {
    answer = std::to_string(vistrel::gtk::VirtualKeyFromKeyval(gdk_keyval_from_name(argv[2])));
  } else if (operation == "key-kind" && count == 4) {
    answer = std::to_string(static_cast<int>(vistrel::gtk::KeyEventKindFor(
        std::string(argv[2]) == "up", static_cast<uint32_t>(std::stoul(argv[3])), std::string(argv[4]) == "1",
        std::string(argv[5]) == "1")));
  } else if (operation == "data-types" && count == 1) {
    answer = std::to_string(vistrel::gtk::WebsiteDataTypesForKinds(static_cast<uint32_t>(std::stoul(argv[2]))));
  } else if (operation == "menu-target" && count == 1) {
    const auto context = static_cast<uint32_t>(std::stoul(argv[2]));
    answer = "[" + std::to_string(static_cast<int>(vistrel::gtk::ContextMenuTargetKindFor(context))) + "," +
             Json(vistrel::gtk::ContextMenuTargetHasLink(context)) + "]";
  } else if (operation == "engine-scheme" && count == 1) {
    answer = Json(vistrel::gtk::EngineLoadsScheme(argv[2]));
  } else if (operation == "profile-folder" && count == 2) {
    answer = Json(Wide(vistrel::gtk::ProfileFolder(argv[2], Wide(argv[3])).c_str()));
  } else if (operation == "runtime" && count == 1 && hasDisplay) {
    return Runtime(platform, argv[2]);
  } else {
    return Usage();
  }
  std::cout << answer << std::endl;
  return 0;
}
