#include "platform/gtk/webkit_runtime.h"

#include <dirent.h>
#include <gtk/gtk.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/gtk/runtime_mapping_gtk.h"
#include "platform/gtk/text_gtk.h"
#include "platform/gtk/web_process_link.h"
#include "run/navigation_policy.h"
#include "runtime/runtime_object.h"

namespace vistrel::gtk {

namespace {

// HRESULT_FROM_WIN32(ERROR_INVALID_STATE): WebView2's answer once closed.
constexpr HRESULT kInvalidState = static_cast<HRESULT>(0x8007139Fu);
constexpr HRESULT kOutOfMemory = static_cast<HRESULT>(0x8007000Eu);
// The engine's network process as /proc names it (cut to 15 characters).
constexpr std::string_view kNetworkProcessName = "WebKitNetworkPr";
// Key presses remembered for recognising the ones the page hands back.
constexpr size_t kRecentKeys = 32;

// ---- Events ------------------------------------------------------------------------

// The subscribers of one event, each called in the order of subscription.
template <class Handler>
class EventHandlers {
 public:
  HRESULT Add(Handler* handler, EventRegistrationToken* token) {
    if (handler == nullptr) return E_INVALIDARG;
    handlers_.push_back(RuntimeRef<Handler>::Share(handler));
    if (token != nullptr) token->value = nextToken_++;
    return S_OK;
  }
  bool Empty() const { return handlers_.empty(); }
  // Those subscribed when the event happens hear of it.
  template <class... Args>
  void Raise(Args... args) const {
    const std::vector<RuntimeRef<Handler>> now = handlers_;
    for (const auto& handler : now) handler->Invoke(args...);
  }

 private:
  std::vector<RuntimeRef<Handler>> handlers_;
  int64_t nextToken_ = 1;
};

// ---- Strings ---------------------------------------------------------------------

std::u16string FromRuntime(LPCWSTR text) {
  return text == nullptr ? std::u16string() : std::u16string(reinterpret_cast<const char16_t*>(text));
}

// A task-allocator copy that the receiver frees.
HRESULT HandOut(const std::u16string& text, LPWSTR* out) {
  if (out == nullptr) return E_POINTER;
  auto* copy = static_cast<char16_t*>(CoTaskMemAlloc((text.size() + 1) * sizeof(char16_t)));
  *out = reinterpret_cast<LPWSTR>(copy);
  if (copy == nullptr) return kOutOfMemory;
  std::copy(text.begin(), text.end(), copy);
  copy[text.size()] = u'\0';
  return S_OK;
}

HRESULT GiveFlag(bool flag, BOOL* out) {
  if (out == nullptr) return E_POINTER;
  *out = flag ? TRUE : FALSE;
  return S_OK;
}

std::u16string FromEngine(const char* utf8) { return utf8 == nullptr ? std::u16string() : Utf16FromUtf8(utf8); }

template <class Interface, class Object>
HRESULT HandOutObject(const RuntimeRef<Object>& object, Interface** out) {
  if (out == nullptr) return E_POINTER;
  *out = object.get();
  if (*out != nullptr) (*out)->AddRef();
  return *out != nullptr ? S_OK : E_FAIL;
}

// A GObject kept alive while a signal of it is handled: a handler may close
// the engine, which lets go of the engine's references.
class GObjectHold {
 public:
  explicit GObjectHold(gpointer object) : object_(g_object_ref(object)) {}
  ~GObjectHold() { g_object_unref(object_); }
  GObjectHold(const GObjectHold&) = delete;
  GObjectHold& operator=(const GObjectHold&) = delete;

 private:
  gpointer object_;
};

// The web process module (web_process_extension.cpp): beside the program in
// its build, else where the package installs it, relative to the program.
std::string WebProcessFolder() {
  g_autofree char* program = g_file_read_link("/proc/self/exe", nullptr);
  g_autofree char* folder = g_path_get_dirname(program != nullptr ? program : "/usr/bin/vistrel");
  g_autofree char* built = g_build_filename(folder, "web-process", nullptr);
  g_autofree char* installed = g_build_filename(folder, VISTREL_WEB_PROCESS_DIR, nullptr);
  return g_file_test(built, G_FILE_TEST_IS_DIR) ? built : installed;
}

// ---- The engine ------------------------------------------------------------------------

// The WebKit objects behind one controller. Closing lets go of all of them,
// so that the web process and the network process end; the runtime objects
// that remain answer kInvalidState from then on.
class Engine {
 public:
  Engine() = default;
  ~Engine() { Close(); }
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  WebKitWebsiteDataManager* dataManager = nullptr;
  WebKitWebContext* context = nullptr;
  WebKitWebView* view = nullptr;
  // Places the view inside the window at the bounds it is given.
  GtkWidget* holder = nullptr;
  bool defaultContextMenus = true;

  bool Open() const { return view != nullptr; }

  // A view mapped before its first page has committed can hold that page's
  // start back by half a second (WebKit waits on the view's first drawing),
  // so it is shown once a page commits or fails, or after a second whatever
  // happens.
  void ShowWhenLoading() {
    Connect(view, "load-changed", G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer self) {
              if (event == WEBKIT_LOAD_COMMITTED || event == WEBKIT_LOAD_FINISHED) static_cast<Engine*>(self)->Show();
            }),
            this);
  }
  void Show() {
    if (view == nullptr || shown_) return;
    shown_ = true;
    gtk_widget_show(GTK_WIDGET(view));
    gtk_widget_grab_focus(GTK_WIDGET(view));
  }

  void Connect(gpointer instance, const char* signal, GCallback callback, gpointer data, bool after = false) {
    connections_.emplace_back(instance, after ? g_signal_connect_after(instance, signal, callback, data)
                                               : g_signal_connect(instance, signal, callback, data));
  }

  void Close() {
    for (const auto& [instance, id] : connections_) g_signal_handler_disconnect(instance, id);
    connections_.clear();
    if (view != nullptr) {
      webkit_web_view_stop_loading(view);
      webkit_web_view_terminate_web_process(view);
    }
    if (holder != nullptr) gtk_widget_destroy(std::exchange(holder, nullptr));
    g_clear_object(&view);
    g_clear_object(&context);
    g_clear_object(&dataManager);
  }

 private:
  std::vector<std::pair<gpointer, gulong>> connections_;
  bool shown_ = false;
};

// The network process, the one that writes into the data folder, among this
// process's children; 0 when there is none.
uint32_t NetworkProcessId() {
  const long self = static_cast<long>(getpid());
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return 0;
  uint32_t found = 0;
  while (const dirent* entry = readdir(proc)) {
    const std::string_view name = entry->d_name;
    if (name.empty() || name.find_first_not_of("0123456789") != std::string_view::npos) continue;
    g_autofree gchar* path = g_strdup_printf("/proc/%s/stat", entry->d_name);
    g_autofree gchar* stat = nullptr;
    if (!g_file_get_contents(path, &stat, nullptr, nullptr)) continue;
    // "pid (name) state ppid ...": the name may hold any character.
    const std::string_view line = stat;
    const size_t open = line.find('(');
    const size_t close = line.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) continue;
    const std::string_view command = line.substr(open + 1, close - open - 1);
    long parent = 0;
    if (std::sscanf(stat + close + 1, " %*c %ld", &parent) != 1 || parent != self) continue;
    if (command.starts_with(kNetworkProcessName)) {
      found = static_cast<uint32_t>(g_ascii_strtoull(entry->d_name, nullptr, 10));
      break;
    }
  }
  closedir(proc);
  return found;
}

// ---- Event arguments -------------------------------------------------------------------

class NavigationStartingArgs final
    : public RuntimeObject<NavigationStartingArgs, ICoreWebView2NavigationStartingEventArgs,
                           &IID_ICoreWebView2NavigationStartingEventArgs> {
 public:
  NavigationStartingArgs(std::u16string uri, bool userInitiated) : uri_(std::move(uri)), user_(userInitiated) {}
  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) override { return HandOut(uri_, uri); }
  HRESULT STDMETHODCALLTYPE get_IsUserInitiated(BOOL* value) override { return GiveFlag(user_, value); }
  HRESULT STDMETHODCALLTYPE put_Cancel(BOOL cancel) override {
    cancel_ = cancel != FALSE;
    return S_OK;
  }
  bool Cancelled() const { return cancel_; }

 private:
  std::u16string uri_;
  bool user_;
  bool cancel_ = false;
};

class ProcessFailedArgs final
    : public RuntimeObject<ProcessFailedArgs, ICoreWebView2ProcessFailedEventArgs,
                           &IID_ICoreWebView2ProcessFailedEventArgs> {
 public:
  explicit ProcessFailedArgs(COREWEBVIEW2_PROCESS_FAILED_KIND kind) : kind_(kind) {}
  HRESULT STDMETHODCALLTYPE get_ProcessFailedKind(COREWEBVIEW2_PROCESS_FAILED_KIND* kind) override {
    if (kind == nullptr) return E_POINTER;
    *kind = kind_;
    return S_OK;
  }

 private:
  COREWEBVIEW2_PROCESS_FAILED_KIND kind_;
};

class NavigationCompletedArgs final
    : public RuntimeObject<NavigationCompletedArgs, ICoreWebView2NavigationCompletedEventArgs,
                           &IID_ICoreWebView2NavigationCompletedEventArgs> {};

class NewWindowRequestedArgs final
    : public RuntimeObject<NewWindowRequestedArgs, ICoreWebView2NewWindowRequestedEventArgs,
                           &IID_ICoreWebView2NewWindowRequestedEventArgs> {
 public:
  NewWindowRequestedArgs(std::u16string uri, bool userInitiated) : uri_(std::move(uri)), user_(userInitiated) {}
  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) override { return HandOut(uri_, uri); }
  // No window is ever made, handled or not.
  HRESULT STDMETHODCALLTYPE put_Handled(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE get_IsUserInitiated(BOOL* value) override { return GiveFlag(user_, value); }

 private:
  std::u16string uri_;
  bool user_;
};

class DownloadStartingArgs final
    : public RuntimeObject<DownloadStartingArgs, ICoreWebView2DownloadStartingEventArgs,
                           &IID_ICoreWebView2DownloadStartingEventArgs> {
 public:
  HRESULT STDMETHODCALLTYPE put_Cancel(BOOL cancel) override {
    cancel_ = cancel != FALSE;
    return S_OK;
  }
  bool Cancelled() const { return cancel_; }

 private:
  bool cancel_ = false;
};

class AcceleratorKeyPressedArgs final
    : public RuntimeObject<AcceleratorKeyPressedArgs, ICoreWebView2AcceleratorKeyPressedEventArgs,
                           &IID_ICoreWebView2AcceleratorKeyPressedEventArgs> {
 public:
  AcceleratorKeyPressedArgs(COREWEBVIEW2_KEY_EVENT_KIND kind, UINT virtualKey, COREWEBVIEW2_PHYSICAL_KEY_STATUS status)
      : kind_(kind), virtualKey_(virtualKey), status_(status) {}
  HRESULT STDMETHODCALLTYPE get_KeyEventKind(COREWEBVIEW2_KEY_EVENT_KIND* kind) override {
    if (kind == nullptr) return E_POINTER;
    *kind = kind_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_VirtualKey(UINT* virtualKey) override {
    if (virtualKey == nullptr) return E_POINTER;
    *virtualKey = virtualKey_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_PhysicalKeyStatus(COREWEBVIEW2_PHYSICAL_KEY_STATUS* status) override {
    if (status == nullptr) return E_POINTER;
    *status = status_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Handled(BOOL handled) override {
    handled_ = handled != FALSE;
    return S_OK;
  }
  bool Handled() const { return handled_; }

 private:
  COREWEBVIEW2_KEY_EVENT_KIND kind_;
  UINT virtualKey_;
  COREWEBVIEW2_PHYSICAL_KEY_STATUS status_;
  bool handled_ = false;
};

// ---- Context menus -----------------------------------------------------------------------

// An item of the program's own: each time it goes into a menu it becomes an
// engine menu item whose action raises CustomItemSelected.
class ContextMenuItemObject final
    : public RuntimeObject<ContextMenuItemObject, ICoreWebView2ContextMenuItem, &IID_ICoreWebView2ContextMenuItem> {
 public:
  explicit ContextMenuItemObject(std::string label) : label_(std::move(label)) {}

  HRESULT STDMETHODCALLTYPE add_CustomItemSelected(ICoreWebView2CustomItemSelectedEventHandler* handler,
                                                   EventRegistrationToken* token) override {
    return selected_.Add(handler, token);
  }

  // A floating engine item; the action holds a reference to this object.
  WebKitContextMenuItem* NewEngineItem() {
    static unsigned counter = 0;
    g_autofree gchar* name = g_strdup_printf("vistrel-item-%u", ++counter);
    GSimpleAction* action = g_simple_action_new(name, nullptr);
    AddRef();
    g_signal_connect_data(action, "activate", G_CALLBACK(OnActivate), this, ReleaseFromSignal, GConnectFlags{});
    WebKitContextMenuItem* item = webkit_context_menu_item_new_from_gaction(G_ACTION(action), label_.c_str(), nullptr);
    g_object_unref(action);
    return item;
  }

 private:
  static void OnActivate(GSimpleAction*, GVariant*, gpointer data) {
    auto* self = static_cast<ContextMenuItemObject*>(data);
    const auto keep = self->KeepAlive();
    self->selected_.Raise(static_cast<ICoreWebView2ContextMenuItem*>(self), static_cast<IUnknown*>(nullptr));
  }
  static void ReleaseFromSignal(gpointer data, GClosure*) { static_cast<ContextMenuItemObject*>(data)->Release(); }

  std::string label_;
  EventHandlers<ICoreWebView2CustomItemSelectedEventHandler> selected_;
};

// The engine's menu as it is about to be shown.
class ContextMenuItemCollectionObject final
    : public RuntimeObject<ContextMenuItemCollectionObject, ICoreWebView2ContextMenuItemCollection,
                           &IID_ICoreWebView2ContextMenuItemCollection> {
 public:
  explicit ContextMenuItemCollectionObject(WebKitContextMenu* menu)
      : menu_(WEBKIT_CONTEXT_MENU(g_object_ref(menu))) {}
  ~ContextMenuItemCollectionObject() override { g_object_unref(menu_); }

  HRESULT STDMETHODCALLTYPE get_Count(UINT32* value) override {
    if (value == nullptr) return E_POINTER;
    *value = webkit_context_menu_get_n_items(menu_);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE InsertValueAtIndex(UINT32 index, ICoreWebView2ContextMenuItem* value) override {
    // Only items this runtime made can go in.
    auto* item = dynamic_cast<ContextMenuItemObject*>(value);
    if (item == nullptr || index > webkit_context_menu_get_n_items(menu_)) return E_INVALIDARG;
    webkit_context_menu_insert(menu_, item->NewEngineItem(), static_cast<gint>(index));
    return S_OK;
  }

 private:
  WebKitContextMenu* menu_;
};

class ContextMenuTargetObject final
    : public RuntimeObject<ContextMenuTargetObject, ICoreWebView2ContextMenuTarget,
                           &IID_ICoreWebView2ContextMenuTarget> {
 public:
  ContextMenuTargetObject(COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND kind, bool hasLink) : kind_(kind), hasLink_(hasLink) {}
  HRESULT STDMETHODCALLTYPE get_Kind(COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND* value) override {
    if (value == nullptr) return E_POINTER;
    *value = kind_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_HasLinkUri(BOOL* value) override {
    if (value == nullptr) return E_POINTER;
    *value = hasLink_ ? TRUE : FALSE;
    return S_OK;
  }

 private:
  COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND kind_;
  bool hasLink_;
};

class ContextMenuRequestedArgs final
    : public RuntimeObject<ContextMenuRequestedArgs, ICoreWebView2ContextMenuRequestedEventArgs,
                           &IID_ICoreWebView2ContextMenuRequestedEventArgs> {
 public:
  ContextMenuRequestedArgs(WebKitContextMenu* menu, uint32_t hitTestContext)
      : items_(ContextMenuItemCollectionObject::New(menu)),
        target_(ContextMenuTargetObject::New(ContextMenuTargetKindFor(hitTestContext),
                                             ContextMenuTargetHasLink(hitTestContext))) {}
  HRESULT STDMETHODCALLTYPE get_MenuItems(ICoreWebView2ContextMenuItemCollection** value) override {
    return HandOutObject(items_, value);
  }
  HRESULT STDMETHODCALLTYPE get_ContextMenuTarget(ICoreWebView2ContextMenuTarget** value) override {
    return HandOutObject(target_, value);
  }

 private:
  RuntimeRef<ContextMenuItemCollectionObject> items_;
  RuntimeRef<ContextMenuTargetObject> target_;
};

// ---- Settings and profile ------------------------------------------------------------------

class SettingsObject final
    : public RuntimeObject<SettingsObject, ICoreWebView2Settings4, &IID_ICoreWebView2Settings,
                           &IID_ICoreWebView2Settings3, &IID_ICoreWebView2Settings4> {
 public:
  explicit SettingsObject(std::shared_ptr<Engine> engine) : engine_(std::move(engine)) {}

  HRESULT STDMETHODCALLTYPE put_AreDevToolsEnabled(BOOL value) override {
    if (!engine_->Open()) return kInvalidState;
    webkit_settings_set_enable_developer_extras(webkit_web_view_get_settings(engine_->view), value != FALSE);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_AreDefaultContextMenusEnabled(BOOL value) override {
    if (!engine_->Open()) return kInvalidState;
    engine_->defaultContextMenus = value != FALSE;
    return S_OK;
  }
  // WebKitGTK has no status bar, no browser keys of its own, no password
  // store and no autofill: these are kept and change nothing.
  HRESULT STDMETHODCALLTYPE put_IsStatusBarEnabled(BOOL) override { return Kept(); }
  HRESULT STDMETHODCALLTYPE put_AreBrowserAcceleratorKeysEnabled(BOOL) override { return Kept(); }
  HRESULT STDMETHODCALLTYPE put_IsPasswordAutosaveEnabled(BOOL) override { return Kept(); }
  HRESULT STDMETHODCALLTYPE put_IsGeneralAutofillEnabled(BOOL) override { return Kept(); }

 private:
  HRESULT Kept() const { return engine_->Open() ? S_OK : kInvalidState; }

  std::shared_ptr<Engine> engine_;
};

class ProfileObject final : public RuntimeObject<ProfileObject, ICoreWebView2Profile2, &IID_ICoreWebView2Profile,
                                                 &IID_ICoreWebView2Profile2> {
 public:
  explicit ProfileObject(std::shared_ptr<Engine> engine) : engine_(std::move(engine)) {}

  HRESULT STDMETHODCALLTYPE ClearBrowsingData(COREWEBVIEW2_BROWSING_DATA_KINDS kinds,
                                              ICoreWebView2ClearBrowsingDataCompletedHandler* handler) override {
    return Clear(WebsiteDataTypesForKinds(static_cast<uint32_t>(kinds)), handler);
  }
  HRESULT STDMETHODCALLTYPE ClearBrowsingDataAll(ICoreWebView2ClearBrowsingDataCompletedHandler* handler) override {
    return Clear(WEBKIT_WEBSITE_DATA_ALL, handler);
  }

 private:
  struct PendingClear {
    RuntimeRef<ICoreWebView2ClearBrowsingDataCompletedHandler> handler;
  };

  HRESULT Clear(uint32_t types, ICoreWebView2ClearBrowsingDataCompletedHandler* handler) {
    if (!engine_->Open()) return kInvalidState;
    auto pending = std::make_unique<PendingClear>(
        PendingClear{RuntimeRef<ICoreWebView2ClearBrowsingDataCompletedHandler>::Share(handler)});
    // A time span of 0 clears whatever age the data has.
    webkit_website_data_manager_clear(engine_->dataManager, static_cast<WebKitWebsiteDataTypes>(types), 0, nullptr,
                                      OnCleared, pending.release());
    return S_OK;
  }

  static void OnCleared(GObject* manager, GAsyncResult* result, gpointer data) {
    const std::unique_ptr<PendingClear> pending(static_cast<PendingClear*>(data));
    const gboolean cleared =
        webkit_website_data_manager_clear_finish(WEBKIT_WEBSITE_DATA_MANAGER(manager), result, nullptr);
    if (pending->handler) pending->handler->Invoke(cleared ? S_OK : E_FAIL);
  }

  std::shared_ptr<Engine> engine_;
};

// ---- The web view ------------------------------------------------------------------------

class WebViewObject final
    : public RuntimeObject<WebViewObject, ICoreWebView2_13, &IID_ICoreWebView2, &IID_ICoreWebView2_4,
                           &IID_ICoreWebView2_8, &IID_ICoreWebView2_11, &IID_ICoreWebView2_13> {
 public:
  explicit WebViewObject(std::shared_ptr<Engine> engine)
      : engine_(std::move(engine)), settings_(SettingsObject::New(engine_)), profile_(ProfileObject::New(engine_)) {
    engine_->Connect(engine_->view, "decide-policy", G_CALLBACK(OnDecidePolicy), this);
    engine_->Connect(engine_->view, "create", G_CALLBACK(OnCreate), this);
    engine_->Connect(engine_->view, "load-changed", G_CALLBACK(OnLoadChanged), this);
    engine_->Connect(engine_->view, "load-failed", G_CALLBACK(OnLoadFailed), this);
    engine_->Connect(engine_->view, "user-message-received", G_CALLBACK(OnPageMessage), this);
    engine_->Connect(engine_->view, "notify::title", G_CALLBACK(OnTitleChanged), this);
    engine_->Connect(engine_->view, "context-menu", G_CALLBACK(OnContextMenu), this);
    engine_->Connect(engine_->view, "web-process-terminated", G_CALLBACK(OnWebProcessTerminated), this);
    engine_->Connect(engine_->context, "download-started", G_CALLBACK(OnDownloadStarted), this);
  }

  HRESULT STDMETHODCALLTYPE get_Settings(ICoreWebView2Settings** settings) override {
    if (!engine_->Open()) return kInvalidState;
    return HandOutObject(settings_, settings);
  }
  HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* uri) override {
    if (!engine_->Open()) return kInvalidState;
    return HandOut(FromEngine(webkit_web_view_get_uri(engine_->view)), uri);
  }
  HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR uri) override {
    if (!engine_->Open()) return kInvalidState;
    const std::u16string text = FromRuntime(uri);
    if (text.empty()) return E_INVALIDARG;
    std::string address;
    if (text.front() == u'/') {
      // An absolute path names a local file.
      const std::optional<std::string> fileName = FileNameFromUtf16(text);
      g_autofree gchar* fileUri = fileName ? g_filename_to_uri(fileName->c_str(), nullptr, nullptr) : nullptr;
      if (fileUri == nullptr) return E_INVALIDARG;
      address = fileUri;
    } else {
      // WebView2 takes absolute addresses only.
      const std::optional<std::string> utf8 = Utf8FromUtf16(text);
      if (!utf8 || !g_uri_is_valid(utf8->c_str(), G_URI_FLAGS_PARSE_RELAXED, nullptr)) return E_INVALIDARG;
      address = *utf8;
    }
    webkit_web_view_load_uri(engine_->view, address.c_str());
    NoteProgramsNavigation();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE NavigateToString(LPCWSTR htmlContent) override {
    if (!engine_->Open()) return kInvalidState;
    if (htmlContent == nullptr) return E_INVALIDARG;
    // Without a base the page's source is "about:blank", as in WebView2.
    webkit_web_view_load_html(engine_->view, DisplayUtf8FromUtf16(FromRuntime(htmlContent)).c_str(), nullptr);
    NoteProgramsNavigation();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE add_NavigationStarting(ICoreWebView2NavigationStartingEventHandler* handler,
                                                   EventRegistrationToken* token) override {
    return engine_->Open() ? navigationStarting_.Add(handler, token) : kInvalidState;
  }
  HRESULT STDMETHODCALLTYPE add_NavigationCompleted(ICoreWebView2NavigationCompletedEventHandler* handler,
                                                    EventRegistrationToken* token) override {
    return engine_->Open() ? navigationCompleted_.Add(handler, token) : kInvalidState;
  }
  HRESULT STDMETHODCALLTYPE get_BrowserProcessId(UINT32* value) override {
    if (value == nullptr) return E_POINTER;
    if (!engine_->Open()) return kInvalidState;
    *value = NetworkProcessId();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE add_NewWindowRequested(ICoreWebView2NewWindowRequestedEventHandler* handler,
                                                   EventRegistrationToken* token) override {
    return engine_->Open() ? newWindowRequested_.Add(handler, token) : kInvalidState;
  }
  HRESULT STDMETHODCALLTYPE add_DocumentTitleChanged(ICoreWebView2DocumentTitleChangedEventHandler* handler,
                                                     EventRegistrationToken* token) override {
    return engine_->Open() ? documentTitleChanged_.Add(handler, token) : kInvalidState;
  }
  HRESULT STDMETHODCALLTYPE get_DocumentTitle(LPWSTR* title) override {
    if (!engine_->Open()) return kInvalidState;
    return HandOut(FromEngine(webkit_web_view_get_title(engine_->view)), title);
  }
  HRESULT STDMETHODCALLTYPE add_DownloadStarting(ICoreWebView2DownloadStartingEventHandler* handler,
                                                 EventRegistrationToken* token) override {
    return engine_->Open() ? downloadStarting_.Add(handler, token) : kInvalidState;
  }
  HRESULT STDMETHODCALLTYPE put_IsMuted(BOOL value) override {
    if (!engine_->Open()) return kInvalidState;
    webkit_web_view_set_is_muted(engine_->view, value != FALSE);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE add_ContextMenuRequested(ICoreWebView2ContextMenuRequestedEventHandler* handler,
                                                     EventRegistrationToken* token) override {
    return engine_->Open() ? contextMenuRequested_.Add(handler, token) : kInvalidState;
  }
  HRESULT STDMETHODCALLTYPE get_Profile(ICoreWebView2Profile** value) override {
    if (!engine_->Open()) return kInvalidState;
    return HandOutObject(profile_, value);
  }
  HRESULT STDMETHODCALLTYPE add_ProcessFailed(ICoreWebView2ProcessFailedEventHandler* handler,
                                              EventRegistrationToken* token) override {
    return engine_->Open() ? processFailed_.Add(handler, token) : kInvalidState;
  }
  HRESULT STDMETHODCALLTYPE Reload() override {
    if (!engine_->Open()) return kInvalidState;
    webkit_web_view_reload(engine_->view);
    return S_OK;
  }
  // NavigateToString takes text of any length here, so no page is ever
  // served from memory.
  HRESULT STDMETHODCALLTYPE add_WebResourceRequested(ICoreWebView2WebResourceRequestedEventHandler*,
                                                     EventRegistrationToken*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE AddWebResourceRequestedFilter(const LPCWSTR, const COREWEBVIEW2_WEB_RESOURCE_CONTEXT) override {
    return E_NOTIMPL;
  }

 private:
  ICoreWebView2* Sender() { return static_cast<ICoreWebView2*>(this); }

  // As WebView2 does, the program's own navigations count as the user's. The
  // engine has the address as it will ask about it once it is asked to load.
  void NoteProgramsNavigation() {
    const char* uri = webkit_web_view_get_uri(engine_->view);
    programsAddress_ = uri != nullptr ? uri : "";
  }

  // True when a handler cancelled the navigation.
  bool RaiseNavigationStarting(const char* uri, bool userInitiated) {
    const auto keep = KeepAlive();
    const auto args = NavigationStartingArgs::New(FromEngine(uri), userInitiated);
    navigationStarting_.Raise(Sender(), static_cast<ICoreWebView2NavigationStartingEventArgs*>(args.get()));
    return args->Cancelled();
  }

  gboolean Decide(WebKitPolicyDecision* decision, const char* uri, bool userInitiated) {
    if (!RaiseNavigationStarting(uri, userInitiated)) return FALSE;
    webkit_policy_decision_ignore(decision);
    return TRUE;
  }

  // WebKitGTK asks about a frame's navigations as it asks about the page's,
  // and says which is which only at the response. The program's own
  // navigations, clicked files and addresses the engine cannot load are
  // decided as they are asked for. Web addresses, clicked or not, go on to
  // the web process, which stops the page's own requests that the site rule
  // refuses before they leave (OnPageMessage): what is handed over is never
  // requested, an address nobody answers is handed over all the same, and a
  // frame follows its links as the page asks. The response is decided again,
  // for the page alone, should a request of the page have gone out all the
  // same.
  static gboolean OnDecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                 gpointer data) {
    const GObjectHold hold(view);
    auto* self = static_cast<WebViewObject*>(data);
    if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
      auto* response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
      if (!webkit_response_policy_decision_is_main_frame_main_resource(response)) return FALSE;
      return self->Decide(decision, webkit_uri_request_get_uri(webkit_response_policy_decision_get_request(response)),
                          false);
    }
    // A new window: "create" follows.
    if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) return FALSE;
    WebKitNavigationAction* action =
        webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    const char* scheme = uri != nullptr ? g_uri_peek_scheme(uri) : nullptr;
    if (scheme == nullptr) return FALSE;
    const bool programs = !webkit_navigation_action_is_redirect(action) &&
                          std::exchange(self->programsAddress_, std::string()) == uri;
    const bool clicked = webkit_navigation_action_is_user_gesture(action);
    const bool userInitiated = programs || clicked;
    if (!DecidedWhenAsked(scheme, clicked, programs)) return FALSE;
    return self->Decide(decision, uri, userInitiated);
  }

  static GtkWidget* OnCreate(WebKitWebView* view, WebKitNavigationAction* action, gpointer data) {
    const GObjectHold hold(view);
    auto* self = static_cast<WebViewObject*>(data);
    const auto keep = self->KeepAlive();
    const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    const auto args =
        NewWindowRequestedArgs::New(FromEngine(uri), webkit_navigation_action_is_user_gesture(action) != FALSE);
    self->newWindowRequested_.Raise(self->Sender(),
                                    static_cast<ICoreWebView2NewWindowRequestedEventArgs*>(args.get()));
    // The engine never opens a window: the program shows the address itself.
    return nullptr;
  }

  // A request of the page that its web process stopped before it left:
  // decided as the navigation it is. One the handlers let be after all (the
  // rule changed meanwhile) goes ahead under the rule as it stands.
  static gboolean OnPageMessage(WebKitWebView* view, WebKitUserMessage* message, gpointer data) {
    if (std::strcmp(webkit_user_message_get_name(message), kStoppedMessage) != 0) return FALSE;
    GVariant* parameters = webkit_user_message_get_parameters(message);
    if (parameters == nullptr || !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(s)"))) return TRUE;
    const char* uri = nullptr;
    g_variant_get(parameters, "(&s)", &uri);
    const GObjectHold hold(view);
    auto* self = static_cast<WebViewObject*>(data);
    if (!self->RaiseNavigationStarting(uri, false)) self->TellSiteRule(), webkit_web_view_load_uri(view, uri);
    return TRUE;
  }

  // A stopped request fails where it was sent (a redirection there fails as
  // one to a scheme that is not the web's): no failure page, the page stays.
  static gboolean OnLoadFailed(WebKitWebView*, WebKitLoadEvent, const char* uri, GError*, gpointer) {
    return uri != nullptr && g_str_has_prefix(uri, kStoppedScheme) ? TRUE : FALSE;
  }

  // The page's web process stops the page's requests under the rule it was
  // last told; a completed page may have fixed the site.
  void TellSiteRule() {
    GVariant* rule = g_variant_ref_sink(SiteRuleVariant(CurrentSiteRule()));
    g_autofree char* text = g_variant_print(rule, FALSE);
    if (toldSiteRule_ != text) {
      toldSiteRule_ = text;
      webkit_web_view_send_message_to_page(engine_->view, webkit_user_message_new(kSiteRuleMessage, rule), nullptr,
                                           nullptr, nullptr);
    }
    g_variant_unref(rule);
  }

  static void OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
    if (event != WEBKIT_LOAD_FINISHED) return;
    const GObjectHold hold(view);
    auto* self = static_cast<WebViewObject*>(data);
    const auto keep = self->KeepAlive();
    const auto args = NavigationCompletedArgs::New();
    self->navigationCompleted_.Raise(self->Sender(),
                                     static_cast<ICoreWebView2NavigationCompletedEventArgs*>(args.get()));
    if (self->engine_->Open()) self->TellSiteRule();
  }

  // The page's process crashed or was killed for its memory; one the
  // program's own closing ended is no failure.
  static void OnWebProcessTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason, gpointer data) {
    if (reason == WEBKIT_WEB_PROCESS_TERMINATED_BY_API) return;
    const GObjectHold hold(view);
    auto* self = static_cast<WebViewObject*>(data);
    const auto keep = self->KeepAlive();
    const auto args = ProcessFailedArgs::New(COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED);
    self->processFailed_.Raise(self->Sender(), static_cast<ICoreWebView2ProcessFailedEventArgs*>(args.get()));
  }

  static void OnTitleChanged(WebKitWebView* view, GParamSpec*, gpointer data) {
    const GObjectHold hold(view);
    auto* self = static_cast<WebViewObject*>(data);
    const auto keep = self->KeepAlive();
    self->documentTitleChanged_.Raise(self->Sender(), static_cast<IUnknown*>(nullptr));
  }

  static gboolean OnContextMenu(WebKitWebView* view, WebKitContextMenu* menu, GdkEvent*, WebKitHitTestResult* hit,
                                gpointer data) {
    auto* self = static_cast<WebViewObject*>(data);
    // Default menus turned off: no menu at all.
    if (!self->engine_->defaultContextMenus) return TRUE;
    const GObjectHold hold(view);
    const auto keep = self->KeepAlive();
    const auto args =
        ContextMenuRequestedArgs::New(menu, webkit_hit_test_result_get_context(hit));
    self->contextMenuRequested_.Raise(self->Sender(),
                                      static_cast<ICoreWebView2ContextMenuRequestedEventArgs*>(args.get()));
    return FALSE;
  }

  static void OnDownloadStarted(WebKitWebContext* context, WebKitDownload* download, gpointer data) {
    auto* self = static_cast<WebViewObject*>(data);
    WebKitWebView* owner = webkit_download_get_web_view(download);
    if (owner != nullptr && owner != self->engine_->view) return;
    const GObjectHold holdContext(context);
    const GObjectHold holdDownload(download);
    const auto keep = self->KeepAlive();
    const auto args = DownloadStartingArgs::New();
    self->downloadStarting_.Raise(self->Sender(), static_cast<ICoreWebView2DownloadStartingEventArgs*>(args.get()));
    if (args->Cancelled()) webkit_download_cancel(download);
  }

  std::shared_ptr<Engine> engine_;
  RuntimeRef<SettingsObject> settings_;
  RuntimeRef<ProfileObject> profile_;
  EventHandlers<ICoreWebView2NavigationStartingEventHandler> navigationStarting_;
  EventHandlers<ICoreWebView2NavigationCompletedEventHandler> navigationCompleted_;
  EventHandlers<ICoreWebView2NewWindowRequestedEventHandler> newWindowRequested_;
  EventHandlers<ICoreWebView2DocumentTitleChangedEventHandler> documentTitleChanged_;
  EventHandlers<ICoreWebView2DownloadStartingEventHandler> downloadStarting_;
  EventHandlers<ICoreWebView2ContextMenuRequestedEventHandler> contextMenuRequested_;
  EventHandlers<ICoreWebView2ProcessFailedEventHandler> processFailed_;
  // The program's last navigation, until the engine asks about it.
  std::string programsAddress_;
  std::string toldSiteRule_;
};

// ---- The controller ----------------------------------------------------------------------

class ControllerObject final
    : public RuntimeObject<ControllerObject, ICoreWebView2Controller, &IID_ICoreWebView2Controller> {
 public:
  ControllerObject(std::shared_ptr<Engine> engine, GtkWidget* window)
      : engine_(std::move(engine)), webView_(WebViewObject::New(engine_)) {
    engine_->Connect(engine_->view, "key-press-event", G_CALLBACK(OnKey), this);
    engine_->Connect(engine_->view, "key-release-event", G_CALLBACK(OnKey), this);
    // Keys that reach no view (before it is on screen) are heard at the window.
    engine_->Connect(window, "key-press-event", G_CALLBACK(OnKey), this, true);
    engine_->Connect(window, "key-release-event", G_CALLBACK(OnKey), this, true);
    // As in WebView2, the view closes with the window it lives in.
    engine_->Connect(window, "destroy", G_CALLBACK(OnWindowDestroyed), this);
  }
  // As in WebView2, the last reference closes the view.
  ~ControllerObject() override { engine_->Close(); }

  HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL visible) override {
    if (!engine_->Open()) return kInvalidState;
    gtk_widget_set_visible(engine_->holder, visible != FALSE);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON) override {
    if (!engine_->Open()) return kInvalidState;
    gtk_widget_grab_focus(GTK_WIDGET(engine_->view));
    return S_OK;
  }
  // Pop-ups of a GTK view are placed by the toolkit itself.
  HRESULT STDMETHODCALLTYPE NotifyParentWindowPositionChanged() override {
    return engine_->Open() ? S_OK : kInvalidState;
  }
  HRESULT STDMETHODCALLTYPE put_Bounds(RECT bounds) override {
    if (!engine_->Open()) return kInvalidState;
    GtkWidget* view = GTK_WIDGET(engine_->view);
    gtk_layout_move(GTK_LAYOUT(engine_->holder), view, bounds.left, bounds.top);
    gtk_widget_set_size_request(view, std::max<LONG>(bounds.right - bounds.left, 0),
                                std::max<LONG>(bounds.bottom - bounds.top, 0));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_ZoomFactor(double zoomFactor) override {
    if (!engine_->Open()) return kInvalidState;
    if (!(zoomFactor > 0.0)) return E_INVALIDARG;
    webkit_web_view_set_zoom_level(engine_->view, zoomFactor);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE add_AcceleratorKeyPressed(ICoreWebView2AcceleratorKeyPressedEventHandler* handler,
                                                      EventRegistrationToken* token) override {
    return engine_->Open() ? acceleratorKeyPressed_.Add(handler, token) : kInvalidState;
  }
  HRESULT STDMETHODCALLTYPE Close() override {
    engine_->Close();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_CoreWebView2(ICoreWebView2** coreWebView2) override {
    if (!engine_->Open()) return kInvalidState;
    return HandOutObject(webView_, coreWebView2);
  }

 private:
  struct KeyIdentity {
    GdkEventType type;
    guint32 time;
    guint16 keycode;
    guint state;
    bool operator==(const KeyIdentity&) const = default;
  };

  static void OnWindowDestroyed(GtkWidget*, gpointer data) { static_cast<ControllerObject*>(data)->Close(); }

  static gboolean OnKey(GtkWidget* widget, GdkEventKey* event, gpointer data) {
    const GObjectHold hold(widget);
    return static_cast<ControllerObject*>(data)->DeliverKey(event) ? TRUE : FALSE;
  }

  // The key without Shift or a level, keypad keys as Num Lock makes them.
  static guint BaseKeyval(const GdkEventKey* event) {
    GdkKeymap* keymap = gdk_keymap_get_for_display(gdk_window_get_display(event->window));
    guint keyval = 0;
    const auto numLock = static_cast<GdkModifierType>(event->state & GDK_MOD2_MASK);
    if (gdk_keymap_translate_keyboard_state(keymap, event->hardware_keycode, numLock, event->group, &keyval, nullptr,
                                            nullptr, nullptr)) {
      return keyval;
    }
    return event->keyval;
  }

  // True when a handler keeps the key from the page.
  bool DeliverKey(const GdkEventKey* event) {
    // A key the page leaves alone comes round again through the window;
    // the handlers heard of it the first time.
    const KeyIdentity identity{event->type, event->time, event->hardware_keycode, event->state};
    if (std::find(recentKeys_.begin(), recentKeys_.end(), identity) != recentKeys_.end()) return false;
    recentKeys_.push_back(identity);
    if (recentKeys_.size() > kRecentKeys) recentKeys_.pop_front();

    const bool released = event->type == GDK_KEY_RELEASE;
    // GTK 3 marks no repeats: a key pressed again before its release repeats.
    const bool wasDown = released || pressedKeys_.contains(event->hardware_keycode);
    if (released) {
      pressedKeys_.erase(event->hardware_keycode);
    } else {
      pressedKeys_.insert(event->hardware_keycode);
    }
    if (acceleratorKeyPressed_.Empty()) return false;

    const uint32_t virtualKey = VirtualKeyFromKeyval(BaseKeyval(event));
    const bool control = (event->state & GDK_CONTROL_MASK) != 0;
    const bool alt = (event->state & GDK_MOD1_MASK) != 0;
    COREWEBVIEW2_PHYSICAL_KEY_STATUS status{};
    status.RepeatCount = 1;
    status.ScanCode = event->hardware_keycode >= 8 ? event->hardware_keycode - 8u : 0u;
    status.IsMenuKeyDown = alt ? TRUE : FALSE;
    status.WasKeyDown = wasDown ? TRUE : FALSE;
    status.IsKeyReleased = released ? TRUE : FALSE;

    const auto keep = KeepAlive();
    const auto args = AcceleratorKeyPressedArgs::New(KeyEventKindFor(released, virtualKey, control, alt),
                                                     virtualKey, status);
    acceleratorKeyPressed_.Raise(static_cast<ICoreWebView2Controller*>(this),
                                 static_cast<ICoreWebView2AcceleratorKeyPressedEventArgs*>(args.get()));
    return args->Handled();
  }

  std::shared_ptr<Engine> engine_;
  RuntimeRef<WebViewObject> webView_;
  EventHandlers<ICoreWebView2AcceleratorKeyPressedEventHandler> acceleratorKeyPressed_;
  std::set<guint16> pressedKeys_;
  std::deque<KeyIdentity> recentKeys_;
};

// ---- The environment -----------------------------------------------------------------------

class ControllerOptionsObject final
    : public RuntimeObject<ControllerOptionsObject, ICoreWebView2ControllerOptions,
                           &IID_ICoreWebView2ControllerOptions> {
 public:
  HRESULT STDMETHODCALLTYPE put_ProfileName(LPCWSTR value) override {
    std::u16string name = FromRuntime(value);
    if (!IsUsableProfileName(name)) return E_INVALIDARG;
    profileName_ = std::move(name);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_IsInPrivateModeEnabled(BOOL value) override {
    privateMode_ = value != FALSE;
    return S_OK;
  }
  const std::u16string& ProfileName() const { return profileName_; }
  bool PrivateMode() const { return privateMode_; }

 private:
  std::u16string profileName_;
  bool privateMode_ = false;
};

class EnvironmentObject final
    : public RuntimeObject<EnvironmentObject, ICoreWebView2Environment10, &IID_ICoreWebView2Environment,
                           &IID_ICoreWebView2Environment9, &IID_ICoreWebView2Environment10> {
 public:
  EnvironmentObject(std::string userDataFolder, WindowCheck isLiveWindow)
      : userDataFolder_(std::move(userDataFolder)), isLiveWindow_(std::move(isLiveWindow)) {}

  // Only pages served from memory need responses, and none are here.
  HRESULT STDMETHODCALLTYPE CreateWebResourceResponse(IStream*, int, LPCWSTR, LPCWSTR,
                                                      ICoreWebView2WebResourceResponse** response) override {
    if (response != nullptr) *response = nullptr;
    return E_NOTIMPL;
  }

  HRESULT STDMETHODCALLTYPE CreateContextMenuItem(LPCWSTR label, IStream* iconStream,
                                                  COREWEBVIEW2_CONTEXT_MENU_ITEM_KIND kind,
                                                  ICoreWebView2ContextMenuItem** value) override {
    if (value == nullptr) return E_POINTER;
    *value = nullptr;
    if (label == nullptr) return E_INVALIDARG;
    // Plain commands without icons are all there is.
    if (iconStream != nullptr || kind != COREWEBVIEW2_CONTEXT_MENU_ITEM_KIND_COMMAND) return E_NOTIMPL;
    return HandOutObject(ContextMenuItemObject::New(DisplayUtf8FromUtf16(FromRuntime(label))), value);
  }

  HRESULT STDMETHODCALLTYPE CreateCoreWebView2ControllerOptions(ICoreWebView2ControllerOptions** value) override {
    return HandOutObject(ControllerOptionsObject::New(), value);
  }

  HRESULT STDMETHODCALLTYPE CreateCoreWebView2ControllerWithOptions(
      HWND parentWindow, ICoreWebView2ControllerOptions* options,
      ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) override {
    if (handler == nullptr) return E_POINTER;
    const auto* given = dynamic_cast<ControllerOptionsObject*>(options);
    if (options != nullptr && given == nullptr) return E_INVALIDARG;
    if (!isLiveWindow_(parentWindow) || !GTK_IS_WINDOW(parentWindow)) return E_INVALIDARG;
    GtkWidget* window = GTK_WIDGET(parentWindow);
    // A window holds one view.
    if (gtk_bin_get_child(GTK_BIN(window)) != nullptr) return E_INVALIDARG;

    auto engine = std::make_shared<Engine>();
    if (given != nullptr && given->PrivateMode()) {
      engine->dataManager = webkit_website_data_manager_new_ephemeral();
    } else {
      const std::string folder = ProfileFolder(userDataFolder_, given != nullptr ? given->ProfileName() : u"");
      const std::string data = folder + "/Data";
      const std::string cache = folder + "/Cache";
      engine->dataManager = webkit_website_data_manager_new("base-data-directory", data.c_str(),
                                                            "base-cache-directory", cache.c_str(), nullptr);
      // WebKit keeps cookies in memory unless told where to keep them.
      const std::string cookies = data + "/cookies.sqlite";
      webkit_cookie_manager_set_persistent_storage(webkit_website_data_manager_get_cookie_manager(engine->dataManager),
                                                   cookies.c_str(), WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
    }
    engine->context = webkit_web_context_new_with_website_data_manager(engine->dataManager);
    webkit_web_context_set_web_extensions_directory(engine->context, WebProcessFolder().c_str());
    webkit_web_context_register_uri_scheme(
        engine->context, kStoppedScheme,
        [](WebKitURISchemeRequest* request, gpointer) {
          GError* stopped = g_error_new_literal(WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED, "Stopped");
          webkit_uri_scheme_request_finish_error(request, stopped);
          g_error_free(stopped);
        },
        nullptr, nullptr);
    // Each new web process starts with the site rule as it stands.
    engine->Connect(engine->context, "initialize-web-extensions",
                    G_CALLBACK(+[](WebKitWebContext* context, gpointer) {
                      webkit_web_context_set_web_extensions_initialization_user_data(
                          context, SiteRuleVariant(CurrentSiteRule()));
                    }),
                    nullptr);
    engine->view = WEBKIT_WEB_VIEW(g_object_ref_sink(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", engine->context,
                                                                  nullptr)));
    // As in WebView2, every new window a script asks for reaches the program,
    // which decides on it; WebKit would otherwise drop those without a click.
    webkit_settings_set_javascript_can_open_windows_automatically(webkit_web_view_get_settings(engine->view), TRUE);
    engine->holder = gtk_layout_new(nullptr, nullptr);
    gtk_layout_put(GTK_LAYOUT(engine->holder), GTK_WIDGET(engine->view), 0, 0);
    gtk_container_add(GTK_CONTAINER(window), engine->holder);
    gtk_widget_show(engine->holder);
    engine->ShowWhenLoading();
    using Weak = std::weak_ptr<Engine>;
    g_timeout_add_full(
        G_PRIORITY_DEFAULT, 1000,
        [](gpointer data) -> gboolean {
          if (const auto live = static_cast<Weak*>(data)->lock()) live->Show();
          return G_SOURCE_REMOVE;
        },
        std::make_unique<Weak>(engine).release(),
        [](gpointer data) { const std::unique_ptr<Weak> done(static_cast<Weak*>(data)); });

    auto controller = ControllerObject::New(std::move(engine), window);
    auto completed = RuntimeRef<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler>::Share(handler);
    CallFromMainLoop([completed, controller] { completed->Invoke(S_OK, controller.get()); });
    return S_OK;
  }

 private:
  std::string userDataFolder_;
  WindowCheck isLiveWindow_;
};

}  // namespace

RuntimeRef<ICoreWebView2Environment> NewWebKitEnvironment(std::string userDataFolder, WindowCheck isLiveWindow) {
  const auto environment = EnvironmentObject::New(std::move(userDataFolder), std::move(isLiveWindow));
  return RuntimeRef<ICoreWebView2Environment>::Share(environment.get());
}

void CallFromMainLoop(std::function<void()> work) {
  using Work = std::function<void()>;
  auto pending = std::make_unique<Work>(std::move(work));
  g_idle_add_full(
      G_PRIORITY_DEFAULT,
      [](gpointer data) -> gboolean {
        (*static_cast<Work*>(data))();
        return G_SOURCE_REMOVE;
      },
      pending.release(), [](gpointer data) { const std::unique_ptr<Work> done(static_cast<Work*>(data)); });
}

}  // namespace vistrel::gtk
