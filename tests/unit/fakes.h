// A platform and web runtime that answer from fields and log one line per call that asks for something done (plain
// reads make none). The runtime is strict: counted references balance at the end of each test, strings come from the
// task allocator, and handlers are kept for the test to call. Native builds only (STDMETHODCALLTYPE is empty).
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/options.h"
#include "run/environment_setup.h"
#include "run/host_state.h"
#include "runtime/handler.h"
#include "seam/platform.h"

namespace vistrel::fakes {

inline std::vector<std::string> calls;
// Work posted to the window, run when a test lets the message loop go on.
inline std::deque<std::function<void()>> posted;
inline const WindowHandle kWindow = reinterpret_cast<WindowHandle>(0x3A1);
inline const IconHandle kIcon = reinterpret_cast<IconHandle>(0x1C0);

inline std::string Text(std::u16string_view text) {
  std::string out;
  for (char32_t c : text) {
    if (c < 0x80) out += static_cast<char>(c);
    else if (c < 0x800) out += {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
    else out += {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                 static_cast<char>(0x80 | (c & 0x3F))};
  }
  return out;
}
inline std::string Text(const char16_t* text) { return text ? Text(std::u16string_view(text)) : "(null)"; }
inline std::string Text(const std::string& text) { return text; }
inline std::string Text(const char* text) { return text; }
inline std::string Text(const void* window) { return window == nullptr ? "0" : window == kWindow ? "W" : "?"; }
template <class Number> requires std::is_arithmetic_v<Number>
std::string Text(Number n) { return std::to_string(n); }
// One line of the log: the words joined by blanks; the window is W, none is 0.
template <class... Words>
void Note(const Words&... words) {
  std::string line;
  ((line += (line.empty() ? "" : " ") + Text(words)), ...);
  calls.push_back(line);
}

// ---- The runtime ----------------------------------------------------------------

struct Counted {  // what every runtime object has: a reference count, 1 for the test's own reference
  virtual ~Counted() = default;
  ULONG refs = 1;
};
inline std::vector<std::unique_ptr<Counted>> objects;  // every object handed out in this test
inline std::vector<IID> missing;                       // versions this runtime lacks
template <class T>
T* Make() { return static_cast<T*>(objects.emplace_back(new T).get()); }

template <class Interface, const IID*... Iids>
struct Fake : Interface, Counted {
  HRESULT QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    for (const IID& gone : missing) if (IsEqualIID(gone, iid)) return E_NOINTERFACE;
    if (!IsEqualIID(iid, IID_IUnknown) && !(IsEqualIID(iid, *Iids) || ...)) return E_NOINTERFACE;
    return *out = static_cast<Interface*>(this), AddRef(), S_OK;
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return refs == 0 ? (ADD_FAILURE() << "released once too often", 0) : --refs; }
};

// An out-parameter carries a reference for the receiver.
template <class T, class Out>
HRESULT HandOut(T* object, Out** out) { return *out = object, object && object->AddRef(), S_OK; }
inline LPWSTR Allocated(const std::optional<std::u16string>& text) {
  if (!text) return nullptr;
  auto* copy = static_cast<char16_t*>(CoTaskMemAlloc((text->size() + 1) * sizeof(char16_t)));
  return reinterpret_cast<LPWSTR>(std::char_traits<char16_t>::copy(copy, text->c_str(), text->size() + 1));
}
template <class H, class... Words>
HRESULT Keep(RuntimeRef<H>& slot, H* handler, const Words&... words) { return slot = RuntimeRef<H>::Share(handler), Note(words...), S_OK; }
#define VISTREL_KEEP(Method, Handler, slot) \
  RuntimeRef<Handler> slot;                 \
  HRESULT Method(Handler* h, EventRegistrationToken*) override { return Keep(slot, h, #Method); }
#define VISTREL_KEEP1(Method, Handler, slot) HRESULT Method(Handler* h) override { return Keep(slot, h, #Method); }
#define VISTREL_PUT(Method, Type, result) HRESULT Method(Type v) override { return Note(#Method, v), result; }

struct MenuItem : Fake<ICoreWebView2ContextMenuItem, &IID_ICoreWebView2ContextMenuItem> {
  std::string label;
  VISTREL_KEEP(add_CustomItemSelected, ICoreWebView2CustomItemSelectedEventHandler, selected)
};
struct ControllerOptions : Fake<ICoreWebView2ControllerOptions, &IID_ICoreWebView2ControllerOptions> {
  HRESULT profileResult = S_OK;
  VISTREL_PUT(put_ProfileName, LPCWSTR, profileResult)
  VISTREL_PUT(put_IsInPrivateModeEnabled, BOOL, S_OK)
};
struct Stream : Fake<IStream> {};  // only passed along
struct Response : Fake<ICoreWebView2WebResourceResponse, &IID_ICoreWebView2WebResourceResponse> {};
struct Environment : Fake<ICoreWebView2Environment10, &IID_ICoreWebView2Environment, &IID_ICoreWebView2Environment9,
                          &IID_ICoreWebView2Environment10> {
  ControllerOptions* options = Make<ControllerOptions>();
  RuntimeRef<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler> controllerCreated;
  HRESULT optionsResult = S_OK, createResult = S_OK;
  HRESULT CreateWebResourceResponse(IStream* content, int status, LPCWSTR reason, LPCWSTR headers,
                                    ICoreWebView2WebResourceResponse** v) override {
    Note(__func__, content != nullptr, status, reason, headers);
    return HandOut(Make<Response>(), v);
  }
  HRESULT CreateContextMenuItem(LPCWSTR label, IStream* icon, COREWEBVIEW2_CONTEXT_MENU_ITEM_KIND kind,
                                ICoreWebView2ContextMenuItem** value) override {
    Note("CreateContextMenuItem", label, icon == nullptr && kind == COREWEBVIEW2_CONTEXT_MENU_ITEM_KIND_COMMAND);
    MenuItem* item = Make<MenuItem>();
    return item->label = Text(label), HandOut(item, value);
  }
  HRESULT CreateCoreWebView2ControllerOptions(ICoreWebView2ControllerOptions** v) override {
    return Note(__func__), optionsResult < 0 ? (*v = nullptr, optionsResult) : HandOut(options, v);
  }
  HRESULT CreateCoreWebView2ControllerWithOptions(HWND parent, ICoreWebView2ControllerOptions* given,
                                                  ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* h) override {
    return Keep(controllerCreated, h, "CreateCoreWebView2ControllerWithOptions", parent, given == options), createResult;
  }
};
struct Settings : Fake<ICoreWebView2Settings4, &IID_ICoreWebView2Settings, &IID_ICoreWebView2Settings3,
                       &IID_ICoreWebView2Settings4> {
  VISTREL_PUT(put_IsStatusBarEnabled, BOOL, S_OK)
  VISTREL_PUT(put_AreDevToolsEnabled, BOOL, S_OK)
  VISTREL_PUT(put_AreDefaultContextMenusEnabled, BOOL, S_OK)
  VISTREL_PUT(put_AreBrowserAcceleratorKeysEnabled, BOOL, S_OK)
  VISTREL_PUT(put_IsPasswordAutosaveEnabled, BOOL, S_OK)
  VISTREL_PUT(put_IsGeneralAutofillEnabled, BOOL, S_OK)
};
struct Profile : Fake<ICoreWebView2Profile2, &IID_ICoreWebView2Profile, &IID_ICoreWebView2Profile2> {
  HRESULT clearResult = S_OK;
  RuntimeRef<ICoreWebView2ClearBrowsingDataCompletedHandler> cleared;
  HRESULT ClearBrowsingData(COREWEBVIEW2_BROWSING_DATA_KINDS kinds, ICoreWebView2ClearBrowsingDataCompletedHandler* h) override {
    return Keep(cleared, h, "ClearBrowsingData", static_cast<int>(kinds)), clearResult;
  }
  HRESULT ClearBrowsingDataAll(ICoreWebView2ClearBrowsingDataCompletedHandler* h) override {
    return Keep(cleared, h, "ClearBrowsingDataAll"), clearResult;
  }
};
struct WebView : Fake<ICoreWebView2_13, &IID_ICoreWebView2, &IID_ICoreWebView2_4, &IID_ICoreWebView2_8,
                      &IID_ICoreWebView2_11, &IID_ICoreWebView2_13> {
  Settings* settings = Make<Settings>();
  Profile* profile = Make<Profile>();
  std::optional<std::u16string> source, title;
  HRESULT navigateResult = S_OK, stringResult = S_OK;
  HRESULT get_Settings(ICoreWebView2Settings** v) override { return HandOut(settings, v); }
  HRESULT get_Profile(ICoreWebView2Profile** v) override { return HandOut(profile, v); }
  HRESULT get_Source(LPWSTR* v) override { return *v = Allocated(source), S_OK; }
  HRESULT get_DocumentTitle(LPWSTR* v) override { return *v = Allocated(title), S_OK; }
  HRESULT get_BrowserProcessId(UINT32* v) override { return *v = 4242, S_OK; }
  VISTREL_PUT(Navigate, LPCWSTR, navigateResult)
  VISTREL_PUT(NavigateToString, LPCWSTR, stringResult)
  HRESULT Reload() override { return Note(__func__), S_OK; }
  HRESULT AddWebResourceRequestedFilter(LPCWSTR uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT c) override {
    return Note(__func__, uri, static_cast<int>(c)), S_OK;
  }
  VISTREL_KEEP(add_ProcessFailed, ICoreWebView2ProcessFailedEventHandler, failed)
  VISTREL_KEEP(add_WebResourceRequested, ICoreWebView2WebResourceRequestedEventHandler, resource)
  VISTREL_PUT(put_IsMuted, BOOL, S_OK)
  VISTREL_KEEP(add_NavigationStarting, ICoreWebView2NavigationStartingEventHandler, starting)
  VISTREL_KEEP(add_NavigationCompleted, ICoreWebView2NavigationCompletedEventHandler, completed)
  VISTREL_KEEP(add_NewWindowRequested, ICoreWebView2NewWindowRequestedEventHandler, newWindow)
  VISTREL_KEEP(add_DocumentTitleChanged, ICoreWebView2DocumentTitleChangedEventHandler, titleChanged)
  VISTREL_KEEP(add_DownloadStarting, ICoreWebView2DownloadStartingEventHandler, download)
  VISTREL_KEEP(add_ContextMenuRequested, ICoreWebView2ContextMenuRequestedEventHandler, menu)
};
struct Controller : Fake<ICoreWebView2Controller, &IID_ICoreWebView2Controller> {
  WebView* view = Make<WebView>();
  HRESULT put_Bounds(RECT r) override { return Note(__func__, r.left, r.top, r.right, r.bottom), S_OK; }
  VISTREL_PUT(put_ZoomFactor, double, S_OK)
  VISTREL_PUT(put_IsVisible, BOOL, S_OK)
  HRESULT MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON reason) override { return Note(__func__, static_cast<int>(reason)), S_OK; }
  HRESULT NotifyParentWindowPositionChanged() override { return Note(__func__), S_OK; }
  HRESULT Close() override { return Note(__func__), S_OK; }
  HRESULT get_CoreWebView2(ICoreWebView2** v) override { return HandOut(view, v); }
  VISTREL_KEEP(add_AcceleratorKeyPressed, ICoreWebView2AcceleratorKeyPressedEventHandler, keys)
};

// Event arguments.
struct NavigationArgs : Fake<ICoreWebView2NavigationStartingEventArgs, &IID_ICoreWebView2NavigationStartingEventArgs> {
  std::optional<std::u16string> uri;
  std::optional<BOOL> user;  // none: the runtime cannot say
  HRESULT get_Uri(LPWSTR* v) override { return *v = Allocated(uri), S_OK; }
  HRESULT get_IsUserInitiated(BOOL* v) override { return user ? (*v = *user, S_OK) : E_NOTIMPL; }
  VISTREL_PUT(put_Cancel, BOOL, S_OK)
};
struct NewWindowArgs : Fake<ICoreWebView2NewWindowRequestedEventArgs, &IID_ICoreWebView2NewWindowRequestedEventArgs> {
  std::optional<std::u16string> uri;
  std::optional<BOOL> user;
  HRESULT get_Uri(LPWSTR* v) override { return *v = Allocated(uri), S_OK; }
  HRESULT get_IsUserInitiated(BOOL* v) override { return user ? (*v = *user, S_OK) : E_NOTIMPL; }
  VISTREL_PUT(put_Handled, BOOL, S_OK)
};
struct FailedArgs : Fake<ICoreWebView2ProcessFailedEventArgs, &IID_ICoreWebView2ProcessFailedEventArgs> {
  COREWEBVIEW2_PROCESS_FAILED_KIND kind = COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED;
  HRESULT get_ProcessFailedKind(COREWEBVIEW2_PROCESS_FAILED_KIND* v) override { return *v = kind, S_OK; }
};
struct ResourceArgs : Fake<ICoreWebView2WebResourceRequestedEventArgs, &IID_ICoreWebView2WebResourceRequestedEventArgs> {
  struct Request : Fake<ICoreWebView2WebResourceRequest, &IID_ICoreWebView2WebResourceRequest> {
    std::optional<std::u16string> uri;
    HRESULT get_Uri(LPWSTR* v) override { return *v = Allocated(uri), S_OK; }
  };
  Request* request = Make<Request>();
  HRESULT get_Request(ICoreWebView2WebResourceRequest** v) override { return HandOut(request, v); }
  HRESULT put_Response(ICoreWebView2WebResourceResponse* r) override { return Note(__func__, r != nullptr), S_OK; }
};
struct CompletedArgs : Fake<ICoreWebView2NavigationCompletedEventArgs, &IID_ICoreWebView2NavigationCompletedEventArgs> {};
struct DownloadArgs : Fake<ICoreWebView2DownloadStartingEventArgs, &IID_ICoreWebView2DownloadStartingEventArgs> {
  VISTREL_PUT(put_Cancel, BOOL, S_OK)
};
struct KeyArgs : Fake<ICoreWebView2AcceleratorKeyPressedEventArgs, &IID_ICoreWebView2AcceleratorKeyPressedEventArgs> {
  COREWEBVIEW2_KEY_EVENT_KIND kind = COREWEBVIEW2_KEY_EVENT_KIND_KEY_DOWN;
  UINT key = 0;
  BOOL wasDown = FALSE;
  HRESULT get_KeyEventKind(COREWEBVIEW2_KEY_EVENT_KIND* v) override { return *v = kind, S_OK; }
  HRESULT get_VirtualKey(UINT* v) override { return *v = key, S_OK; }
  HRESULT get_PhysicalKeyStatus(COREWEBVIEW2_PHYSICAL_KEY_STATUS* v) override { return *v = {1, 0x32, 0, 0, wasDown, 0}, S_OK; }
  VISTREL_PUT(put_Handled, BOOL, S_OK)
};
struct MenuArgs : Fake<ICoreWebView2ContextMenuRequestedEventArgs, &IID_ICoreWebView2ContextMenuRequestedEventArgs> {
  struct Items : Fake<ICoreWebView2ContextMenuItemCollection, &IID_ICoreWebView2ContextMenuItemCollection> {
    UINT32 count = 5;                 // the runtime's own items
    std::vector<MenuItem*> inserted;  // every item comes from Environment::CreateContextMenuItem
    HRESULT get_Count(UINT32* v) override { return *v = count, S_OK; }
    HRESULT InsertValueAtIndex(UINT32 index, ICoreWebView2ContextMenuItem* item) override {
      inserted.push_back(static_cast<MenuItem*>(item));
      return Note("InsertValueAtIndex", index, inserted.back()->label), S_OK;
    }
  };
  struct Target : Fake<ICoreWebView2ContextMenuTarget, &IID_ICoreWebView2ContextMenuTarget> {
    COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND kind = COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND_PAGE;
    BOOL hasLink = FALSE;
    HRESULT linkResult = S_OK;
    HRESULT get_Kind(COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND* v) override { return *v = kind, S_OK; }
    HRESULT get_HasLinkUri(BOOL* v) override { return *v = hasLink, linkResult; }
  };
  Items* items = Make<Items>();
  Target* target = Make<Target>();
  HRESULT get_MenuItems(ICoreWebView2ContextMenuItemCollection** v) override { return HandOut(items, v); }
  HRESULT get_ContextMenuTarget(ICoreWebView2ContextMenuTarget** v) override { return HandOut(target, v); }
};
#undef VISTREL_KEEP
#undef VISTREL_KEEP1
#undef VISTREL_PUT

// ---- The platform ---------------------------------------------------------------

class FakePlatform : public Platform {
 public:
  uint16_t language = 1033;
  std::vector<std::u16string> arguments;              // after the program's own name
  std::map<std::u16string, RegistryString> registry;  // by "HKLM key|value" or "HKCU key|value"
  std::optional<uint32_t> dpi;
  std::optional<Rect> workArea = Rect{0, 0, 1920, 1040};
  Rect client{0, 0, 800, 600};
  std::set<std::u16string> paths, iconFiles;  // what exists on disk, and the files that hold icons
  std::optional<IconLocation> shortcutIcon;
  std::optional<IconLocation> programIcon = IconLocation{u"C:\\Tools\\vistrel.exe", 0};
  bool fileNotices = true;  // the file system tells of changes to a watched file
  std::map<std::u16string, FileContents> files;
  std::map<std::u16string, uint64_t> writeTimes;
  bool slashRooted = false, folderInUse = false, active = false;
  HRESULT environmentResult = S_OK;
  std::string streamBytes;  // what the last memory stream holds
  int deleteFailures = 0, answer = kAnswerOk;  // failed deletions before one succeeds (-1: all fail); the boxes' answer
  std::set<uint32_t> keysDown;
  WindowHandle windowToCreate = kWindow;
  std::string banner;
  RuntimeRef<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler> environmentCreated;

  uint16_t UserInterfaceLanguage() override { return language; }
  std::vector<std::u16string> CommandLineArguments() override {
    std::vector<std::u16string> all{u"C:\\Tools\\vistrel.exe"};
    return all.insert(all.end(), arguments.begin(), arguments.end()), all;
  }
  int ShowMessageBox(WindowHandle w, const std::u16string& text, const std::u16string& caption, uint32_t style) override {
    return Note(__func__, w, style, caption, text), answer;
  }
  void ShowNarrowMessageBox(const std::string& text, const std::string& caption) override { banner = text, Note(__func__, caption); }
  MessageFontWidths MeasureMessageFont(const std::u16string& piece) override { return Note(__func__, piece), MessageFontWidths{79, 10}; }
  RegistryString ReadRegistryString(RegistryRoot root, const std::u16string& key, const std::u16string& value) override {
    const std::u16string where = (root == RegistryRoot::LocalMachine ? u"HKLM " : u"HKCU ") + key + u"|" + value;
    return Note("ReadRegistryString", where), registry.count(where) ? registry[where] : RegistryString{};
  }
  std::optional<uint32_t> ReadRegistryDword(RegistryRoot root, const std::u16string& key, const std::u16string& value) override {
    return Note(__func__, root == RegistryRoot::CurrentUser, key, value), dpi;
  }
  std::optional<Rect> WorkArea() override { return Note(__func__), workArea; }
  ScreenSize PrimaryScreenSize() override { return {2560, 1440}; }
  WindowHandle CreateMainWindow(const std::u16string& title, const WindowPlacement& p) override {
    return Note("CreateMainWindow", title, p.x, p.y, p.width, p.height, p.style), windowToCreate;
  }
  void SetWindowIcon(WindowHandle w, IconHandle icon) override { Note(__func__, w, icon == kIcon); }
  void ShowMainWindow(WindowHandle w, bool maximized) override { Note(__func__, w, maximized); }
  void DestroyMainWindow(WindowHandle w) override { Note(__func__, w); }
  Rect ClientRect(WindowHandle) override { return client; }
  bool IsActiveWindow(WindowHandle) override { return active; }
  void MoveWindowTo(WindowHandle w, const Rect& r) override { Note(__func__, w, r.left, r.top, r.right, r.bottom); }
  IStream* CreateMemoryStream(const std::string& bytes) override {
    streamBytes = bytes;
    IStream* stream = Make<Stream>();
    return stream->AddRef(), stream;
  }
  void StartTimer(WindowHandle w, uint32_t id, uint32_t ms) override { Note(__func__, w, id, ms); }
  void StopTimer(WindowHandle w, uint32_t id) override { Note(__func__, w, id); }
  void RunMessageLoop() override { Note(__func__); }
  void QuitMessageLoop() override { Note(__func__); }
  std::optional<IconLocation> StartupShortcutIconLocation() override { return Note(__func__), shortcutIcon; }
  std::optional<IconLocation> ProgramIconLocation() override { return Note(__func__), programIcon; }
  bool WatchFile(WindowHandle w, const std::u16string& path) override { return Note(__func__, w, path), fileNotices; }
  std::u16string ExpandEnvironmentVariables(const std::u16string& text) override {
    return text.starts_with(u"%SystemRoot%") ? u"C:\\Windows" + text.substr(12) : text;
  }
  IconHandle ExtractIconFrom(const std::u16string& path, int32_t i) override { return Note(__func__, path, i), iconFiles.count(path) ? kIcon : nullptr; }
  void FreeIcon(IconHandle icon) override { Note(__func__, icon == kIcon); }
  bool AbsolutePathsBeginWithSlash() override { return slashRooted; }
  bool PathExists(const std::u16string& path) override { return Note(__func__, path), paths.count(path); }
  std::optional<std::u16string> FullPath(const std::u16string& path) override { return path[0] == u'/' ? path : u"/home/u/" + path; }
  FileContents ReadWholeFile(const std::u16string& path, bool shared) override {
    return Note(__func__, path, shared), files.count(path) ? files[path] : FileContents{};
  }
  std::optional<uint64_t> FileWriteTime(const std::u16string& p) override { return writeTimes.count(p) ? std::optional(writeTimes[p]) : std::nullopt; }
  void DeleteFileAt(const std::u16string& path) override { Note(__func__, path); }
  std::u16string ConvertAnsiText(const std::string& bytes) override {  // Latin-1 stands in for the code page
    return std::u16string(reinterpret_cast<const unsigned char*>(bytes.data()),
                          reinterpret_cast<const unsigned char*>(bytes.data() + bytes.size()));
  }
  std::u16string UserDataFolderPath(KnownFolder f) override { return f == KnownFolder::Temp ? u"C:\\Temp\\vistrel" : u"C:\\Local\\vistrel"; }
  bool DataFolderInUse(const std::u16string& folder) override { return Note(__func__, folder), folderInUse; }
  bool DeleteFolderTree(const std::u16string& folder) override {
    if (Note(__func__, folder); deleteFailures == 0) return paths.erase(folder), true;
    return deleteFailures -= deleteFailures > 0, false;
  }
  void WaitForProcessExit(uint32_t id, uint32_t ms) override { Note(__func__, id, ms); }
  void Pause(uint32_t ms) override { Note(__func__, ms); }
  HRESULT CreateWebViewEnvironment(const std::u16string& folder,
                                   ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* h) override {
    return Keep(environmentCreated, h, "CreateWebViewEnvironment", folder), environmentResult;
  }
  void OpenWithDefaultHandler(const std::u16string& address) override { Note(__func__, address); }
  bool IsKeyDown(uint32_t key) override { return keysDown.count(key); }
  void PostToWindow(WindowHandle w, std::function<void()> work) override { Note(__func__, w), posted.push_back(std::move(work)); }
  void SetWindowTitle(WindowHandle w, const std::u16string& title) override { Note(__func__, w, title); }
};

// Each test starts with fresh records, English texts and this platform, and ends with every reference given back.
class Test : public ::testing::Test {
 protected:
  Test() { InstallPlatform(&platform), languageIndex = kEnglish; }
  ~Test() override {
    options = {}, hostState = {}, workArea = {}, platform.environmentCreated = nullptr;
    for (size_t i = 0; i < objects.size(); ++i) EXPECT_EQ(objects[i]->refs, 1u) << "runtime object " << i;
    objects.clear(), missing.clear(), calls.clear(), posted.clear(), InstallPlatform(nullptr);
  }

  // The runtime completes the environment, then the controller, each later than asked; the log starts afresh after.
  Controller& Start() {
    hostState.mainWindow = kWindow;
    CreateWebView();
    auto* environment = Make<Environment>();
    platform.environmentCreated->Invoke(S_OK, environment);
    auto* controller = Make<Controller>();
    environment->controllerCreated->Invoke(S_OK, controller);
    return calls.clear(), *controller;
  }

  FakePlatform platform;
};

}  // namespace vistrel::fakes
