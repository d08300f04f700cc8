// A stand-in for the WebView2 runtime's engine library (EmbeddedBrowserWebView.dll),
// for the Wine end-to-end tests only. It renders nothing: it answers the calls
// vistrel makes as the runtime does (completions and events only through the
// program's message loop, strings the receiver frees, E_INVALIDARG where the
// runtime refuses), raises the events of the steps in VISTREL_STANDIN_STEPS and
// logs to VISTREL_STANDIN_LOG what a test reads back: "followed", "menu", "fault".
// Objects use the SDK header's C view; every slot not set below logs a fault.
#define CINTERFACE
#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <WebView2.h>

#include <array>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring Wide(const std::string& text) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::wstring Env(const wchar_t* name) {
  wchar_t value[4096] = {};
  return GetEnvironmentVariableW(name, value, 4096) < 4096 ? value : L"";
}

void Append(const std::wstring& path, const std::string& line) {
  // Opened and closed per line: other processes append to the same file.
  HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, (line + "\n").data(), static_cast<DWORD>(line.size() + 1), &written, nullptr);
  CloseHandle(file);
}

void Log(const std::string& line) { Append(Env(L"VISTREL_STANDIN_LOG"), line); }
void Fault(const std::string& what) { Log("fault " + what); }

LPWSTR TaskString(const std::wstring& text) {
  auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
  std::memcpy(copy, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  return copy;
}

std::string Flag(BOOL value) { return value ? "1" : "0"; }

// The results a row asks for: VISTREL_STANDIN_RESULTS="Navigate=0x80070057,...".
std::map<std::string, HRESULT> Results() {
  std::map<std::string, HRESULT> results;
  std::string text = Utf8(Env(L"VISTREL_STANDIN_RESULTS")) + ",";
  for (size_t start = 0, comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1) {
    const std::string item = text.substr(start, comma - start);
    const size_t equals = item.find('=');
    if (equals != std::string::npos) results[item.substr(0, equals)] = static_cast<HRESULT>(strtoul(item.c_str() + equals + 1, nullptr, 16));
  }
  return results;
}

// Logs a call; the row's result for the method when it names one, else `refused` or S_OK.
HRESULT Call(const char* method, const std::string& args, bool refused = false) {
  static const std::map<std::string, HRESULT> results = Results();
  static const DWORD thread = GetCurrentThreadId();
  if (GetCurrentThreadId() != thread) Fault(std::string(method) + " called from another thread");
  const auto found = results.find(method);
  const HRESULT result = found != results.end() ? found->second : refused ? E_INVALIDARG : S_OK;
  Log(std::string("call ") + method + " " + args + (result == S_OK ? "" : " -> refused"));
  return result;
}

// ------------------------------------------------------------- the loop

std::deque<std::function<void()>> tasks;    // completions and events the runtime owes
std::deque<std::vector<std::wstring>> steps;
bool busy = false;          // inside a task or step (message boxes nest the loop)
bool started = false;       // the program's first page has loaded
bool awaitingReload = false;
HWND parentWindow = nullptr;

void Later(std::function<void()> task) { tasks.push_back(std::move(task)); }
void RunStep(const std::vector<std::wstring>& words);

BOOL CALLBACK FindBox(HWND window, LPARAM found) {
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  if (IsWindowVisible(window) && wcscmp(name, L"#32770") == 0) *reinterpret_cast<bool*>(found) = true;
  return TRUE;
}

// Steps run one at a time once nothing is owed; "done" is signalled when the
// last has run, nothing is owed and no box is up.
void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
  if (busy) return;
  busy = true;
  if (!tasks.empty()) {
    std::function<void()> task = std::move(tasks.front());
    tasks.pop_front();
    task();
  } else if (started && !awaitingReload && !steps.empty()) {
    const std::vector<std::wstring> words = std::move(steps.front());
    steps.pop_front();
    RunStep(words);
  } else if (started && !awaitingReload && steps.empty()) {
    bool box = false;
    EnumThreadWindows(GetCurrentThreadId(), FindBox, reinterpret_cast<LPARAM>(&box));
    if (!box) {
      HANDLE done = OpenEventW(EVENT_MODIFY_STATE, FALSE, Env(L"VISTREL_STANDIN_DONE").c_str());
      if (done != nullptr) SetEvent(done), CloseHandle(done);
    }
  }
  busy = false;
}

// ------------------------------------------------------------ objects

struct Object {
  const void* vtbl;
  const char* role;
  std::vector<std::pair<const IID*, const char*>> iids;
  LONG refs = 1;
};

HRESULT Query(Object* self, REFIID iid, void** out) {
  *out = nullptr;
  if (IsEqualIID(iid, IID_IUnknown)) return ++self->refs, *out = self, S_OK;
  for (const auto& [known, name] : self->iids) {
    if (IsEqualIID(iid, *known)) return ++self->refs, *out = self, S_OK;
  }
  wchar_t text[40] = {};
  StringFromGUID2(iid, text, 40);
  Fault(std::string("QueryInterface ") + self->role + " " + Utf8(text) + " is not modelled");
  return E_NOINTERFACE;
}

template <class I> HRESULT STDMETHODCALLTYPE QueryOf(I* s, REFIID iid, void** out) { return Query(reinterpret_cast<Object*>(s), iid, out); }
template <class I> ULONG STDMETHODCALLTYPE AddRefOf(I* s) { return static_cast<ULONG>(++reinterpret_cast<Object*>(s)->refs); }
template <class I> ULONG STDMETHODCALLTYPE ReleaseOf(I* s) {
  auto* object = reinterpret_cast<Object*>(s);
  // Kept, not freed: a release too many shows as a fault instead of a crash.
  if (object->refs <= 0) Fault(std::string("a ") + object->role + " released once too often");
  return static_cast<ULONG>(--object->refs);
}

using Slot = HRESULT(STDMETHODCALLTYPE*)(void*);
template <size_t N> HRESULT STDMETHODCALLTYPE Unmodelled(void* self) {
  Fault("slot " + std::to_string(N) + " of " + static_cast<Object*>(self)->role + " is not modelled");
  return E_NOTIMPL;
}
template <size_t... N> constexpr std::array<Slot, sizeof...(N)> Stubs(std::index_sequence<N...>) { return {&Unmodelled<N>...}; }
constexpr auto kStubs = Stubs(std::make_index_sequence<160>());

template <class I, class Vtbl> Vtbl Table() {
  static_assert(sizeof(Vtbl) / sizeof(Slot) <= kStubs.size());
  Vtbl t;
  std::memcpy(static_cast<void*>(&t), kStubs.data(), sizeof t);
  t.QueryInterface = &QueryOf<I>;
  t.AddRef = &AddRefOf<I>;
  t.Release = &ReleaseOf<I>;
  return t;
}

template <class T> T* Make(const void* vtbl, const char* role, std::vector<std::pair<const IID*, const char*>> iids) {
  T* object = new T;
  object->vtbl = vtbl;
  object->role = role;
  object->iids = std::move(iids);
  return object;
}

template <class To, class From> To* As(From* object) { return reinterpret_cast<To*>(object); }
template <class I> void AddRef(I* object) { if (object) object->lpVtbl->AddRef(object); }
template <class I> void Release(I* object) { if (object) object->lpVtbl->Release(object); }
#define IID_OF(name) {&IID_##name, #name}

struct Item : Object {
  std::wstring label;
  ICoreWebView2CustomItemSelectedEventHandler* selected = nullptr;
};
struct Items : Object { std::vector<Item*> items; };
struct MenuArgs : Object { Items* items = nullptr; Object* target = nullptr; };
struct UriArgs : Object { std::wstring uri; BOOL cancel = FALSE; BOOL handled = FALSE; };
struct KeyArgs : Object { COREWEBVIEW2_KEY_EVENT_KIND kind{}; UINT key = 0; BOOL handled = FALSE; };

struct WebView : Object {
  std::wstring source = L"about:blank", title;
  ICoreWebView2NavigationStartingEventHandler* starting = nullptr;
  ICoreWebView2NavigationCompletedEventHandler* completed = nullptr;
  ICoreWebView2NewWindowRequestedEventHandler* newWindow = nullptr;
  ICoreWebView2DocumentTitleChangedEventHandler* titleChanged = nullptr;
  ICoreWebView2DownloadStartingEventHandler* download = nullptr;
  ICoreWebView2ContextMenuRequestedEventHandler* menu = nullptr;
  ICoreWebView2AcceleratorKeyPressedEventHandler* key = nullptr;  // the controller's
};
WebView* view = nullptr;
Object* controller = nullptr;
Object* environment = nullptr;
std::vector<Item*> madeItems;  // the program's own menu items
MenuArgs* lastMenu = nullptr;
DWORD browserProcessId = 0;
std::wstring dataFolder;
HANDLE browserClosing = nullptr;

template <class H> HRESULT Subscribe(const char* method, H*& slot, H* handler, EventRegistrationToken* token) {
  Call(method, "");
  if (handler == nullptr || token == nullptr) return E_INVALIDARG;
  AddRef(handler);
  slot = handler;
  token->value = 1;
  return S_OK;
}

// The runtime's own rules for a profile name.
bool ValidProfileName(const wchar_t* name) {
  if (name == nullptr || !*name || wcslen(name) > 64) return false;
  for (const wchar_t* c = name; *c; ++c) {
    if (!iswalnum(*c) && !wcschr(L"#@$()+-_~.[]{} ", *c)) return false;
  }
  const wchar_t last = name[wcslen(name) - 1];
  return last != L'.' && last != L' ';
}

bool ValidUri(const wchar_t* uri) { return uri != nullptr && wcschr(uri, L':') != nullptr && iswalpha(uri[0]); }

// <title> of an HTML text, as the page's document title.
std::wstring TitleOf(const std::wstring& html) {
  const size_t open = html.find(L"<title>"), close = html.find(L"</title>");
  return open == std::wstring::npos || close == std::wstring::npos ? L"" : html.substr(open + 7, close - open - 7);
}

std::wstring Base64(const std::string& bytes) {
  static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::wstring out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t n = std::min<size_t>(3, bytes.size() - i);
    unsigned value = 0;
    for (size_t j = 0; j < 3; ++j) value = (value << 8) | (j < n ? static_cast<unsigned char>(bytes[i + j]) : 0u);
    for (size_t j = 0; j < 4; ++j) out += j <= n ? static_cast<wchar_t>(digits[(value >> (18 - 6 * j)) & 63]) : L'=';
  }
  return out;
}

void RaiseTitle(const std::wstring& title) {
  view->title = title;
  if (view->titleChanged) view->titleChanged->lpVtbl->Invoke(view->titleChanged, As<ICoreWebView2>(view), nullptr);
}

const void* StartingTable();
const void* CompletedTable();

// NavigationStarting, then unless cancelled the new source, NavigationCompleted and the title.
void Navigation(const std::wstring& uri, const std::wstring& source, const std::wstring& title) {
  Later([=] {
    auto* args = Make<UriArgs>(StartingTable(), "NavigationStartingEventArgs", {IID_OF(ICoreWebView2NavigationStartingEventArgs)});
    args->uri = uri;
    if (view->starting) view->starting->lpVtbl->Invoke(view->starting, As<ICoreWebView2>(view), As<ICoreWebView2NavigationStartingEventArgs>(args));
    if (args->cancel) return;
    Later([=] {
      view->source = source;
      Log("followed " + Utf8(source));
      auto* done = Make<Object>(CompletedTable(), "NavigationCompletedEventArgs", {IID_OF(ICoreWebView2NavigationCompletedEventArgs)});
      if (view->completed) view->completed->lpVtbl->Invoke(view->completed, As<ICoreWebView2>(view), As<ICoreWebView2NavigationCompletedEventArgs>(done));
      if (!title.empty()) RaiseTitle(title);
      started = true;
    });
  });
}

// ------------------------------------------------------------- tables

#define TABLE(Name, I)                              \
  const void* Name() {                              \
    static const auto table = [] {                  \
      using T = I;                                  \
      auto t = Table<I, I##Vtbl>();
#define END_TABLE \
  return t;       \
  }();            \
  return &table;  \
  }

TABLE(StartingTable, ICoreWebView2NavigationStartingEventArgs)
t.get_Uri = [](T* s, LPWSTR* v) { return *v = TaskString(As<UriArgs>(s)->uri), S_OK; };
t.put_Cancel = [](T* s, BOOL v) { return As<UriArgs>(s)->cancel = v, S_OK; };
END_TABLE

TABLE(CompletedTable, ICoreWebView2NavigationCompletedEventArgs)
t.get_IsSuccess = [](T*, BOOL* v) { return *v = TRUE, S_OK; };
t.get_WebErrorStatus = [](T*, COREWEBVIEW2_WEB_ERROR_STATUS* v) { return *v = COREWEBVIEW2_WEB_ERROR_STATUS_UNKNOWN, S_OK; };
END_TABLE

TABLE(NewWindowTable, ICoreWebView2NewWindowRequestedEventArgs)
t.get_Uri = [](T* s, LPWSTR* v) { return *v = TaskString(As<UriArgs>(s)->uri), S_OK; };
t.put_Handled = [](T* s, BOOL v) { return As<UriArgs>(s)->handled = v, S_OK; };
END_TABLE

TABLE(DownloadTable, ICoreWebView2DownloadStartingEventArgs)
t.put_Cancel = [](T* s, BOOL v) { return As<UriArgs>(s)->cancel = v, S_OK; };
END_TABLE

TABLE(KeyTable, ICoreWebView2AcceleratorKeyPressedEventArgs)
t.get_KeyEventKind = [](T* s, COREWEBVIEW2_KEY_EVENT_KIND* v) { return *v = As<KeyArgs>(s)->kind, S_OK; };
t.get_VirtualKey = [](T* s, UINT* v) { return *v = As<KeyArgs>(s)->key, S_OK; };
t.get_PhysicalKeyStatus = [](T*, COREWEBVIEW2_PHYSICAL_KEY_STATUS* v) { return *v = {1, 0, FALSE, FALSE, FALSE, FALSE}, S_OK; };
t.put_Handled = [](T* s, BOOL v) { return As<KeyArgs>(s)->handled = v, S_OK; };
END_TABLE

TABLE(ItemTable, ICoreWebView2ContextMenuItem)
t.get_Label = [](T* s, LPWSTR* v) { return *v = TaskString(As<Item>(s)->label), S_OK; };
t.add_CustomItemSelected = [](T* s, ICoreWebView2CustomItemSelectedEventHandler* h, EventRegistrationToken* token) {
  return Subscribe("add_CustomItemSelected", As<Item>(s)->selected, h, token);
};
END_TABLE

TABLE(ItemsTable, ICoreWebView2ContextMenuItemCollection)
t.get_Count = [](T* s, UINT32* v) { return *v = static_cast<UINT32>(As<Items>(s)->items.size()), S_OK; };
t.InsertValueAtIndex = [](T* s, UINT32 index, ICoreWebView2ContextMenuItem* item) -> HRESULT {
  auto& items = As<Items>(s)->items;
  if (item == nullptr || index > items.size()) return E_INVALIDARG;
  AddRef(item);
  items.insert(items.begin() + index, As<Item>(item));
  return S_OK;
};
END_TABLE

TABLE(TargetTable, ICoreWebView2ContextMenuTarget)
t.get_Kind = [](T*, COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND* v) { return *v = COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND_PAGE, S_OK; };
t.get_HasLinkUri = [](T*, BOOL* v) { return *v = FALSE, S_OK; };
END_TABLE

TABLE(MenuArgsTable, ICoreWebView2ContextMenuRequestedEventArgs)
t.get_MenuItems = [](T* s, ICoreWebView2ContextMenuItemCollection** v) {
  *v = As<ICoreWebView2ContextMenuItemCollection>(As<MenuArgs>(s)->items);
  return AddRef(*v), S_OK;
};
t.get_ContextMenuTarget = [](T* s, ICoreWebView2ContextMenuTarget** v) {
  *v = As<ICoreWebView2ContextMenuTarget>(As<MenuArgs>(s)->target);
  return AddRef(*v), S_OK;
};
END_TABLE

TABLE(SettingsTable, ICoreWebView2Settings4)
#define FLAG(name) t.name = [](T*, BOOL v) { return Call(#name, Flag(v)); }
FLAG(put_AreDevToolsEnabled);
FLAG(put_AreDefaultContextMenusEnabled);
FLAG(put_IsStatusBarEnabled);
FLAG(put_AreBrowserAcceleratorKeysEnabled);
FLAG(put_IsPasswordAutosaveEnabled);
FLAG(put_IsGeneralAutofillEnabled);
END_TABLE

// Clearing finishes later, through the message loop.
HRESULT Clear(const char* method, ICoreWebView2ClearBrowsingDataCompletedHandler* h) {
  const HRESULT result = Call(method, "");
  if (result != S_OK) return result;
  if (h == nullptr) return E_INVALIDARG;
  AddRef(h);
  Later([h] { h->lpVtbl->Invoke(h, S_OK), Release(h); });
  return S_OK;
}

TABLE(ProfileTable, ICoreWebView2Profile2)
t.ClearBrowsingData = [](T*, COREWEBVIEW2_BROWSING_DATA_KINDS, ICoreWebView2ClearBrowsingDataCompletedHandler* h) { return Clear("ClearBrowsingData", h); };
t.ClearBrowsingDataAll = [](T*, ICoreWebView2ClearBrowsingDataCompletedHandler* h) { return Clear("ClearBrowsingDataAll", h); };
END_TABLE

Object* settings = Make<Object>(SettingsTable(), "Settings", {IID_OF(ICoreWebView2Settings), IID_OF(ICoreWebView2Settings2), IID_OF(ICoreWebView2Settings3), IID_OF(ICoreWebView2Settings4)});
Object* profile = Make<Object>(ProfileTable(), "Profile", {IID_OF(ICoreWebView2Profile), IID_OF(ICoreWebView2Profile2)});

TABLE(WebViewTable, ICoreWebView2_13)
t.get_Settings = [](T*, ICoreWebView2Settings** v) { return *v = As<ICoreWebView2Settings>(settings), AddRef(*v), S_OK; };
t.get_Profile = [](T*, ICoreWebView2Profile** v) { return *v = As<ICoreWebView2Profile>(profile), AddRef(*v), S_OK; };
t.Navigate = [](T*, LPCWSTR uri) {
  const HRESULT result = Call("Navigate", uri ? Utf8(uri) : "null", !ValidUri(uri));
  if (result == S_OK) Navigation(uri, uri, L"");
  return result;
};
t.NavigateToString = [](T*, LPCWSTR html) {
  const HRESULT result = Call("NavigateToString", "", html == nullptr);
  if (result == S_OK) Navigation(L"data:text/html;charset=utf-8;base64," + Base64(Utf8(html)), L"about:blank", TitleOf(html));
  if (result == S_OK) awaitingReload = false;
  return result;
};
t.get_Source = [](T*, LPWSTR* v) { return *v = TaskString(view->source), S_OK; };
t.get_DocumentTitle = [](T*, LPWSTR* v) { return *v = TaskString(view->title), S_OK; };
t.get_BrowserProcessId = [](T*, UINT32* v) { return *v = browserProcessId, S_OK; };
t.put_IsMuted = [](T*, BOOL v) { return Call("put_IsMuted", Flag(v)); };
#define EVENT(name, Handler, slot) \
  t.add_##name = [](T*, Handler* h, EventRegistrationToken* token) { return Subscribe("add_" #name, view->slot, h, token); }
EVENT(NavigationStarting, ICoreWebView2NavigationStartingEventHandler, starting);
EVENT(NavigationCompleted, ICoreWebView2NavigationCompletedEventHandler, completed);
EVENT(NewWindowRequested, ICoreWebView2NewWindowRequestedEventHandler, newWindow);
EVENT(DocumentTitleChanged, ICoreWebView2DocumentTitleChangedEventHandler, titleChanged);
EVENT(DownloadStarting, ICoreWebView2DownloadStartingEventHandler, download);
EVENT(ContextMenuRequested, ICoreWebView2ContextMenuRequestedEventHandler, menu);
END_TABLE

TABLE(ControllerTable, ICoreWebView2Controller)
t.get_CoreWebView2 = [](T*, ICoreWebView2** v) { return *v = As<ICoreWebView2>(view), AddRef(*v), S_OK; };
t.put_Bounds = [](T*, RECT r) {
  RECT client{};
  GetClientRect(parentWindow, &client);
  if (!EqualRect(&r, &client)) Fault("bounds are not the window's client area");
  return Call("put_Bounds", std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top));
};
t.put_ZoomFactor = [](T*, double v) { return Call("put_ZoomFactor", std::to_string(v), v <= 0); };
t.add_AcceleratorKeyPressed = [](T*, ICoreWebView2AcceleratorKeyPressedEventHandler* h, EventRegistrationToken* token) {
  return Subscribe("add_AcceleratorKeyPressed", view->key, h, token);
};
t.Close = [](T*) {
  if (browserClosing) SetEvent(browserClosing);  // the browser process goes with its last web view
  return Call("Close", "");
};
END_TABLE

TABLE(OptionsTable, ICoreWebView2ControllerOptions)
t.put_ProfileName = [](T*, LPCWSTR v) { return Call("put_ProfileName", v ? Utf8(v) : "null", !ValidProfileName(v)); };
t.put_IsInPrivateModeEnabled = [](T*, BOOL v) { return Call("put_IsInPrivateModeEnabled", Flag(v)); };
END_TABLE

std::wstring ThisLibrary() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisLibrary), &self);
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(self, path, MAX_PATH);
  return path;
}

// The browser process holds the data folder's lock until the web view has
// closed or the program has gone, and a while after, as msedgewebview2 does.
void StartBrowserProcess(const std::wstring& folder) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  browserClosing = CreateEventW(&inherit, TRUE, FALSE, nullptr);
  HANDLE self = nullptr;
  DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self, SYNCHRONIZE, TRUE, 0);
  std::wstring line = L"rundll32.exe \"" + ThisLibrary() + L"\",BrowserProcess " +
                      std::to_wstring(reinterpret_cast<UINT_PTR>(browserClosing)) + L" " +
                      std::to_wstring(reinterpret_cast<UINT_PTR>(self)) + L" " +
                      std::to_wstring(reinterpret_cast<UINT_PTR>(parentWindow)) + L" \"" + folder + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
    return Fault("the browser process did not start");
  }
  const std::wstring lock = folder + L"\\EBWebView\\lockfile";
  for (int i = 0; i < 1000 && GetFileAttributesW(lock.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(10);
  browserProcessId = process.dwProcessId;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

TABLE(EnvironmentTable, ICoreWebView2Environment10)
t.CreateCoreWebView2ControllerOptions = [](T*, ICoreWebView2ControllerOptions** v) {
  *v = As<ICoreWebView2ControllerOptions>(Make<Object>(OptionsTable(), "ControllerOptions", {IID_OF(ICoreWebView2ControllerOptions)}));
  return Call("CreateCoreWebView2ControllerOptions", "");
};
t.CreateCoreWebView2ControllerWithOptions = [](T*, HWND parent, ICoreWebView2ControllerOptions*,
                                               ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* h) {
  wchar_t name[16] = {};
  GetClassNameW(parent, name, 16);
  DWORD owner = 0;
  GetWindowThreadProcessId(parent, &owner);
  if (!IsWindow(parent) || owner != GetCurrentProcessId() || wcscmp(name, L"vistrel") != 0) Fault("the parent is not the main window");
  const HRESULT result = Call("CreateCoreWebView2ControllerWithOptions", "", !IsWindow(parent) || h == nullptr);
  if (result != S_OK) return result;
  parentWindow = parent;
  // Another process gets no answer to WM_GETICON under Wine: the icon is read here.
  Log("icon " + std::to_string(SendMessageW(parent, WM_GETICON, ICON_BIG, 0) != 0) + " " +
      std::to_string(SendMessageW(parent, WM_GETICON, ICON_SMALL, 0) != 0));
  StartBrowserProcess(dataFolder);
  AddRef(h);
  Later([h] {
    controller = Make<Object>(ControllerTable(), "Controller", {IID_OF(ICoreWebView2Controller)});
    view = Make<WebView>(WebViewTable(), "WebView", {IID_OF(ICoreWebView2), IID_OF(ICoreWebView2_2), IID_OF(ICoreWebView2_3),
        IID_OF(ICoreWebView2_4), IID_OF(ICoreWebView2_5), IID_OF(ICoreWebView2_6), IID_OF(ICoreWebView2_7), IID_OF(ICoreWebView2_8),
        IID_OF(ICoreWebView2_9), IID_OF(ICoreWebView2_10), IID_OF(ICoreWebView2_11), IID_OF(ICoreWebView2_12), IID_OF(ICoreWebView2_13)});
    h->lpVtbl->Invoke(h, S_OK, As<ICoreWebView2Controller>(controller));
    Release(h);
  });
  return S_OK;
};
t.CreateContextMenuItem = [](T*, LPCWSTR label, IStream*, COREWEBVIEW2_CONTEXT_MENU_ITEM_KIND, ICoreWebView2ContextMenuItem** v) {
  if (label == nullptr || v == nullptr) return E_INVALIDARG;
  auto* item = Make<Item>(ItemTable(), "ContextMenuItem", {IID_OF(ICoreWebView2ContextMenuItem)});
  item->label = label;
  madeItems.push_back(item);
  *v = As<ICoreWebView2ContextMenuItem>(item);
  return S_OK;
};
END_TABLE

// ------------------------------------------------------------- steps

void RaiseMenu() {
  auto* args = Make<MenuArgs>(MenuArgsTable(), "ContextMenuRequestedEventArgs", {IID_OF(ICoreWebView2ContextMenuRequestedEventArgs)});
  args->items = Make<Items>(ItemsTable(), "ContextMenuItemCollection", {IID_OF(ICoreWebView2ContextMenuItemCollection)});
  args->target = Make<Object>(TargetTable(), "ContextMenuTarget", {IID_OF(ICoreWebView2ContextMenuTarget)});
  for (const wchar_t* label : {L"Back", L"Reload"}) {  // the runtime's own items
    args->items->items.push_back(Make<Item>(ItemTable(), "ContextMenuItem", {IID_OF(ICoreWebView2ContextMenuItem)}));
    args->items->items.back()->label = label;
  }
  if (view->menu) view->menu->lpVtbl->Invoke(view->menu, As<ICoreWebView2>(view), As<ICoreWebView2ContextMenuRequestedEventArgs>(args));
  std::string own;
  for (Item* item : args->items->items) {
    for (Item* made : madeItems) own += item == made ? "\t" + Utf8(item->label) : "";
  }
  Log("menu" + own);
  lastMenu = args;
}

// Steps, one per line of words separated by tabs (run_tests.py writes them).
void RunStep(const std::vector<std::wstring>& w) {
  const std::wstring& name = w[0];
  if (name == L"go") {
    Navigation(w[1], w[1], L"");
  } else if (name == L"open" && view->newWindow) {
    auto* args = Make<UriArgs>(NewWindowTable(), "NewWindowRequestedEventArgs", {IID_OF(ICoreWebView2NewWindowRequestedEventArgs)});
    args->uri = w[1];
    view->newWindow->lpVtbl->Invoke(view->newWindow, As<ICoreWebView2>(view), As<ICoreWebView2NewWindowRequestedEventArgs>(args));
    // Unhandled, the runtime would open a window of its own: the program must handle it.
    if (!args->handled) Fault("a new window was left to the runtime");
  } else if (name == L"title") {
    RaiseTitle(w[1]);
  } else if (name == L"key" && view->key) {
    // The key's modifiers are down in this thread's key state while the handler runs.
    BYTE saved[256], state[256];
    GetKeyboardState(saved);
    std::memcpy(state, saved, sizeof state);
    for (size_t i = 2; i < w.size(); ++i) state[wcstoul(w[i].c_str(), nullptr, 16)] = 0x80;
    SetKeyboardState(state);
    auto* args = Make<KeyArgs>(KeyTable(), "AcceleratorKeyPressedEventArgs", {IID_OF(ICoreWebView2AcceleratorKeyPressedEventArgs)});
    args->key = wcstoul(w[1].c_str(), nullptr, 16);
    args->kind = state[VK_MENU] ? COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_DOWN : COREWEBVIEW2_KEY_EVENT_KIND_KEY_DOWN;
    view->key->lpVtbl->Invoke(view->key, As<ICoreWebView2Controller>(controller), As<ICoreWebView2AcceleratorKeyPressedEventArgs>(args));
    SetKeyboardState(saved);
  } else if (name == L"menu") {
    RaiseMenu();
  } else if (name == L"choose") {
    Item* found = nullptr;
    for (Item* item : lastMenu ? lastMenu->items->items : std::vector<Item*>{}) found = item->label == w[1] ? item : found;
    if (found == nullptr || found->selected == nullptr) return Fault("no menu item " + Utf8(w[1]) + " to choose");
    found->selected->lpVtbl->Invoke(found->selected, As<ICoreWebView2ContextMenuItem>(found), nullptr);
  } else if (name == L"download" && view->download) {
    auto* args = Make<UriArgs>(DownloadTable(), "DownloadStartingEventArgs", {IID_OF(ICoreWebView2DownloadStartingEventArgs)});
    view->download->lpVtbl->Invoke(view->download, As<ICoreWebView2>(view), As<ICoreWebView2DownloadStartingEventArgs>(args));
  } else if (name == L"write") {
    HANDLE file = CreateFileW(w[1].c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    const std::string text = Utf8(w[2]);
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    awaitingReload = true;  // the next step waits for the program to show it
  } else if (name == L"delete") {
    DeleteFileW(w[1].c_str());
    awaitingReload = true;  // the program closes its window; nothing comes after
  }
}

void ReadSteps() {
  FILE* file = _wfopen(Env(L"VISTREL_STANDIN_STEPS").c_str(), L"rb");
  if (file == nullptr) return;
  char line[4096];
  while (fgets(line, sizeof line, file)) {
    std::vector<std::wstring> words;
    std::wstring text = Wide(line);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
    for (size_t start = 0, tab = 0; tab != std::wstring::npos; start = tab + 1) {
      tab = text.find(L'\t', start);
      words.push_back(text.substr(start, tab == std::wstring::npos ? tab : tab - start));
    }
    if (!text.empty()) steps.push_back(std::move(words));
  }
  fclose(file);
}

}  // namespace

// The engine's entry point, as the SDK's loader calls it; vistrel calls it
// directly when no loader lies beside it.
extern "C" __declspec(dllexport) HRESULT STDMETHODCALLTYPE CreateWebViewEnvironmentWithOptionsInternal(
    bool, int runtimeType, PCWSTR folder, IUnknown*, ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* h) {
  HMODULE caller = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     static_cast<LPCWSTR>(__builtin_return_address(0)), &caller);
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(caller, path, MAX_PATH);
  Log("caller " + Utf8(wcsrchr(path, L'\\') ? wcsrchr(path, L'\\') + 1 : path));
  const bool bad = h == nullptr || folder == nullptr || !*folder || runtimeType != 0;
  if (Call("CreateWebViewEnvironment", folder ? Utf8(folder) : "null", bad) != S_OK) return E_INVALIDARG;
  ReadSteps();
  // What the runtime makes of the folder on its first run, and its lock.
  const std::wstring root = std::wstring(folder) + L"\\EBWebView";
  CreateDirectoryW(folder, nullptr);
  CreateDirectoryW(root.c_str(), nullptr);
  CloseHandle(CreateFileW((root + L"\\Local State").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  dataFolder = folder;
  // Everything comes back through this thread's message loop.
  SetTimer(nullptr, 0, 20, Tick);
  AddRef(h);
  Later([h] {
    environment = Make<Object>(EnvironmentTable(), "Environment", {IID_OF(ICoreWebView2Environment), IID_OF(ICoreWebView2Environment2),
        IID_OF(ICoreWebView2Environment3), IID_OF(ICoreWebView2Environment4), IID_OF(ICoreWebView2Environment5),
        IID_OF(ICoreWebView2Environment6), IID_OF(ICoreWebView2Environment7), IID_OF(ICoreWebView2Environment8),
        IID_OF(ICoreWebView2Environment9), IID_OF(ICoreWebView2Environment10)});
    h->lpVtbl->Invoke(h, S_OK, As<ICoreWebView2Environment>(environment));
    Release(h);
  });
  return S_OK;
}

// The browser process (rundll32): BrowserProcess CLOSING PROGRAM WINDOW "FOLDER".
extern "C" __declspec(dllexport) void CALLBACK BrowserProcessW(HWND, HINSTANCE, LPWSTR line, int) {
  int count = 0;
  LPWSTR* words = CommandLineToArgvW(line, &count);
  if (words == nullptr || count != 4) return;
  const HANDLE waits[] = {reinterpret_cast<HANDLE>(_wcstoui64(words[0], nullptr, 10)),
                          reinterpret_cast<HANDLE>(_wcstoui64(words[1], nullptr, 10))};
  const auto window = reinterpret_cast<HWND>(_wcstoui64(words[2], nullptr, 10));
  HANDLE lock = CreateFileW((std::wstring(words[3]) + L"\\EBWebView\\lockfile").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  // Its web view goes when closed or when its window goes.
  while (WaitForMultipleObjects(2, waits, FALSE, 50) == WAIT_TIMEOUT && IsWindow(window)) {
  }
  Sleep(1500);  // it outlives the web view: the program must wait for it
  CloseHandle(lock);
}

// The registered handler of the schemes handed over: Record "FILE" "ADDRESS" appends "handed ADDRESS".
extern "C" __declspec(dllexport) void CALLBACK RecordW(HWND, HINSTANCE, LPWSTR line, int) {
  int count = 0;
  LPWSTR* words = CommandLineToArgvW(line, &count);
  if (words != nullptr && count == 2) Append(words[0], "handed " + Utf8(words[1]));
}
