// A stand-in for the WebView2 runtime's engine library (EmbeddedBrowserWebView.dll), for the Wine end-to-end tests
// only. It renders nothing: it answers the calls vistrel makes as the runtime does (completions and events only
// through the program's message loop, strings the receiver frees, E_INVALIDARG where the runtime refuses), raises
// the events of the steps in VISTREL_STANDIN_STEPS and logs to VISTREL_STANDIN_LOG what a test reads back:
// "followed", "menu", "icon", "caller" and "fault". Objects use the SDK header's C view; every slot not set below
// logs a fault. Nothing is ever freed, so that a release too many shows as a fault and not as a crash.
#define CINTERFACE
#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <WebView2.h>

#include <array>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text) {
  std::string out(text.size() * 3, '\0');
  out.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                     out.data(), static_cast<int>(out.size()), nullptr, nullptr)));
  return out;
}

std::wstring Env(const wchar_t* name) {
  wchar_t value[4096] = {};
  return GetEnvironmentVariableW(name, value, 4096) < 4096 ? value : L"";
}

// Opened and closed per line: other processes append to the same file.
void Append(const std::wstring& path, const std::string& line, bool replace = false) {
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  HANDLE file = CreateFileW(path.c_str(), replace ? GENERIC_WRITE : FILE_APPEND_DATA, share, nullptr,
                            replace ? CREATE_ALWAYS : OPEN_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, (line + "\n").data(), static_cast<DWORD>(line.size() + 1), &written, nullptr);
  CloseHandle(file);
}

void Log(const std::string& line) { Append(Env(L"VISTREL_STANDIN_LOG"), line); }
void Fault(const std::string& what) { Log("fault " + what); }

LPWSTR TaskString(const std::wstring& text) {  // the receiver frees it
  auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
  return static_cast<LPWSTR>(std::memcpy(copy, text.c_str(), (text.size() + 1) * sizeof(wchar_t)));
}

// Logs a call; its result is the row's for the method (VISTREL_STANDIN_RESULTS="Navigate=80070057,..."; "null"
// is success without an object, as creations have been reported to complete), else E_INVALIDARG when the runtime
// would refuse the arguments, else S_OK.
extern bool browserGone;
HRESULT Call(const char* method, const std::string& args, bool refused = false) {
  static const DWORD thread = GetCurrentThreadId();
  // Once the browser process has ended, the view and controller it served answer that they are gone.
  static const std::string kOfTheView = " Navigate NavigateToString Reload put_Bounds put_ZoomFactor put_IsVisible MoveFocus "
                                        "NotifyParentWindowPositionChanged put_IsMuted AddWebResourceRequestedFilter ";
  if (browserGone && kOfTheView.find(" " + std::string(method) + " ") != std::string::npos) {
    Log(std::string("call ") + method + " " + args + " -> gone");
    return HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
  }
  if (GetCurrentThreadId() != thread) Fault(std::string(method) + " called from another thread");
  const std::string results = "," + Utf8(Env(L"VISTREL_STANDIN_RESULTS"));
  const size_t found = results.find("," + std::string(method) + "=");
  const HRESULT result = found != std::string::npos
                             ? static_cast<HRESULT>(strtoul(results.c_str() + found + strlen(method) + 2, nullptr, 16))
                         : refused ? E_INVALIDARG
                                   : S_OK;
  Log(std::string("call ") + method + " " + args + (result == S_OK ? "" : " -> refused"));
  return result;
}

std::deque<std::function<void()>> tasks;  // completions and events the runtime owes
std::deque<std::vector<std::wstring>> steps;
bool busy = false;     // inside a task or a step: the program's handlers run, and must not nest the loop
bool started = false;  // the program's first page has loaded
bool awaitingReload = false;
bool awaitingPage = false;  // a process failed: the page must be shown again
bool hasKeyboard = false;   // the page has the keyboard: only MoveFocus gives it
bool finished = false;      // the steps are done: what the closing does is not told
HWND parentWindow = nullptr;

void Keyboard(bool has) {
  if (has != hasKeyboard && !finished) Log(std::string("keyboard ") + (has ? "1" : "0"));
  hasKeyboard = has;
}

// A handler that shows a box or runs a modal loop stalls the runtime: its events queue behind the nested loop.
LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam) {
  wchar_t name[16] = {};
  if (code == HCBT_CREATEWND && busy && GetClassNameW(reinterpret_cast<HWND>(wParam), name, 16) && !wcscmp(name, L"#32770")) {
    Fault("a box was shown inside a runtime handler");
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}
LRESULT CALLBACK OnMessageFilter(int code, WPARAM wParam, LPARAM lParam) {
  if (code >= 0 && busy) Fault("a modal loop ran inside a runtime handler");
  return CallNextHookEx(nullptr, code, wParam, lParam);
}
// The shell may show windows and wait on them, so it stalls the runtime as a box does: the program's import of
// ShellExecuteW is pointed here.
HINSTANCE WINAPI ShellExecuteOutsideHandlers(HWND w, LPCWSTR verb, LPCWSTR file, LPCWSTR arguments, LPCWSTR folder,
                                             INT show) {
  if (busy) Fault("the shell was called inside a runtime handler");
  return ShellExecuteW(w, verb, file, arguments, folder, show);
}
void WatchShellCalls() {
  auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
  const auto* headers = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const DWORD imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
  for (auto* library = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports); library->Name; ++library) {
    for (auto* slot = reinterpret_cast<ULONG_PTR*>(base + library->FirstThunk); *slot; ++slot) {
      if (*slot != reinterpret_cast<ULONG_PTR>(&ShellExecuteW)) continue;
      DWORD was = 0;
      VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &was);
      *slot = reinterpret_cast<ULONG_PTR>(&ShellExecuteOutsideHandlers);
      VirtualProtect(slot, sizeof *slot, was, &was);
      return;
    }
  }
  Fault("the program does not import ShellExecuteW");
}
// The view's own window holds the keyboard until its parent is activated or takes the focus itself.
LRESULT CALLBACK OnWindowMessage(int code, WPARAM wParam, LPARAM lParam) {
  const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code >= 0 && parentWindow != nullptr && message->hwnd == parentWindow &&
      (message->message == WM_SETFOCUS || (message->message == WM_ACTIVATE && LOWORD(message->wParam) == WA_INACTIVE))) {
    Keyboard(false);
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

void Later(std::function<void()> task) { tasks.push_back(std::move(task)); }
// The driver's events: VISTREL_STANDIN_DONE when the steps are done, with " loaded" when this library is called.
void Signal(const wchar_t* which) {
  HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, (Env(L"VISTREL_STANDIN_DONE") + which).c_str());
  if (event != nullptr) SetEvent(event), CloseHandle(event);
}
void RunStep(const std::vector<std::wstring>& words);

// One task, else one step once nothing is owed; "done" is signalled when the last step has run, nothing is owed
// and no box is up (a box disables the window that owns it).
void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
  if (busy) return;
  busy = true;
  if (!tasks.empty()) {
    std::function<void()> task = std::move(tasks.front());
    tasks.pop_front();
    task();
  } else if (started && !awaitingReload && !awaitingPage && !steps.empty()) {
    const std::vector<std::wstring> words = std::move(steps.front());
    steps.pop_front();
    RunStep(words);
  } else if (started && !awaitingReload && !awaitingPage && IsWindowEnabled(parentWindow)) {
    finished = true;
    Signal(L"");
  }
  busy = false;
}

struct Object {
  const void* vtbl;
  const char* role;
  std::vector<const IID*> iids;
  LONG refs = 1;
};

HRESULT Query(Object* self, REFIID iid, void** out) {
  *out = nullptr;
  for (const IID* known : self->iids) {
    if (IsEqualIID(iid, *known) || IsEqualIID(iid, IID_IUnknown)) return ++self->refs, *out = self, S_OK;
  }
  wchar_t text[40] = {};
  StringFromGUID2(iid, text, 40);
  Fault(std::string("QueryInterface of ") + self->role + " for " + Utf8(text) + ", which is not modelled");
  return E_NOINTERFACE;
}

ULONG Release(Object* object) {
  if (object->refs <= 0) Fault(std::string("a ") + object->role + " released once too often");
  return static_cast<ULONG>(--object->refs);
}

template <class I> HRESULT STDMETHODCALLTYPE QueryOf(I* s, REFIID iid, void** o) { return Query((Object*)s, iid, o); }
template <class I> ULONG STDMETHODCALLTYPE AddRefOf(I* s) { return static_cast<ULONG>(++((Object*)s)->refs); }
template <class I> ULONG STDMETHODCALLTYPE ReleaseOf(I* s) { return Release((Object*)s); }

using Slot = HRESULT(STDMETHODCALLTYPE*)(void*);
template <size_t N> HRESULT STDMETHODCALLTYPE Unmodelled(void* self) {
  Fault("slot " + std::to_string(N) + " of " + static_cast<Object*>(self)->role + ", which is not modelled");
  return E_NOTIMPL;
}
template <size_t... N> constexpr std::array<Slot, sizeof...(N)> Stubs(std::index_sequence<N...>) {
  return {&Unmodelled<N>...};
}
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

// The table of interface I, with the methods set between TABLE and END_TABLE.
#define TABLE(I) const void* Table_##I() { static const auto table = [] { using T = I; auto t = Table<I, I##Vtbl>();
#define END_TABLE return t; }(); return &table; }
// A new object of type S answering interface I (and the further ones given).
#define NEW(S, I, ...) Make<S>(Table_##I(), #I, {&IID_##I, ##__VA_ARGS__})

template <class S> S* Make(const void* vtbl, const char* role, std::vector<const IID*> iids) {
  S* object = new S;
  object->vtbl = vtbl, object->role = role, object->iids = std::move(iids);
  return object;
}

template <class To, class From> To* As(From* object) { return reinterpret_cast<To*>(object); }
template <class I> void AddRef(I* object) { object->lpVtbl->AddRef(object); }
template <class H, class S, class A> void Raise(H* handler, S* sender, A* args) {
  if (handler) handler->lpVtbl->Invoke(handler, sender, args);
}

struct Item : Object { std::wstring label; ICoreWebView2CustomItemSelectedEventHandler* selected = nullptr; };
struct Items : Object { std::vector<Item*> items; };
struct MenuArgs : Object { Items* items = nullptr; Object* target = nullptr; BOOL link = FALSE; };
struct UriArgs : Object { std::wstring uri; BOOL cancel = FALSE, handled = FALSE, user = TRUE; };
struct KeyArgs : Object { COREWEBVIEW2_KEY_EVENT_KIND kind{}; UINT key = 0; };
struct FailedArgs : Object { COREWEBVIEW2_PROCESS_FAILED_KIND kind{}; };
struct ResourceArgs : Object { Object* request = nullptr; Object* response = nullptr; };
struct Response : Object { IStream* content = nullptr; int status = 0; };
struct WebView : Object {
  std::wstring source = L"about:blank", title;
  std::vector<std::wstring> filters;
  ICoreWebView2ProcessFailedEventHandler* failed = nullptr;
  ICoreWebView2WebResourceRequestedEventHandler* resource = nullptr;
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
std::vector<Item*> madeItems;  // the program's own menu items
MenuArgs* lastMenu = nullptr;
std::wstring dataFolder;
DWORD browserProcessId = 0;
HANDLE browserClosing = nullptr, browserProcess = nullptr;
bool controllerClosed = true;
bool browserGone = false;  // the browser process ended: its view and controller are dead until new ones are made

// The row asks for success without an object from this creation.
bool CompletesWithoutObject(const char* method) {
  return ("," + Utf8(Env(L"VISTREL_STANDIN_RESULTS")) + ",").find("," + std::string(method) + "=null,") != std::string::npos;
}

// One handler per event is modelled: a second one would be called as well, and answer twice.
template <class H>
HRESULT Subscribe(const char* method, H*& slot, H* handler, EventRegistrationToken* token) {
  Call(method, "");
  if (handler == nullptr || token == nullptr) return E_INVALIDARG;
  if (slot != nullptr) Fault(std::string("a second handler for ") + method);
  AddRef(handler);
  slot = handler, token->value = 1;
  return S_OK;
}

// The runtime's rules for a profile name.
bool ValidProfileName(const wchar_t* name) {
  const size_t length = name ? wcslen(name) : 0;
  return length > 0 && length <= 64 && wcsspn(name, L"#@$()+-_~.[]{} abcdefghijklmnopqrstuvwxyz"
                                                    L"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789") == length &&
         !wcschr(L". ", name[length - 1]);
}

// The page's title, as the document of an HTML text has it.
std::wstring TitleOf(const std::wstring& html) {
  const size_t open = html.find(L"<title>"), close = html.find(L"</title>");
  return open == std::wstring::npos || close == std::wstring::npos ? L"" : html.substr(open + 7, close - open - 7);
}

void RaiseTitle(const std::wstring& title) {
  view->title = title;
  Raise(view->titleChanged, As<ICoreWebView2>(view), static_cast<IUnknown*>(nullptr));
}

TABLE(ICoreWebView2NavigationStartingEventArgs)
t.get_Uri = [](T* s, LPWSTR* v) { return *v = TaskString(As<UriArgs>(s)->uri), S_OK; };
t.put_Cancel = [](T* s, BOOL v) { return As<UriArgs>(s)->cancel = v, S_OK; };
t.get_IsUserInitiated = [](T* s, BOOL* v) { return *v = As<UriArgs>(s)->user, S_OK; };
END_TABLE
TABLE(ICoreWebView2NavigationCompletedEventArgs)
t.get_IsSuccess = [](T*, BOOL* v) { return *v = TRUE, S_OK; };
t.get_WebErrorStatus = [](T*, COREWEBVIEW2_WEB_ERROR_STATUS* v) { return *v = {}, S_OK; };
END_TABLE

std::wstring Served(const std::wstring& uri);

// NavigationStarting, then unless cancelled the new source (for a filtered address: the response the program
// gives), NavigationCompleted and the page's title. The host's own navigations count as the user's, as a click
// does; a page's script's do not.
void Navigation(const std::wstring& uri, const std::wstring& source, const std::wstring& given, bool filtered = false,
                BOOL user = TRUE) {
  Later([=] {
    auto* args = NEW(UriArgs, ICoreWebView2NavigationStartingEventArgs);
    args->uri = uri, args->user = user;
    Raise(view->starting, As<ICoreWebView2>(view), As<ICoreWebView2NavigationStartingEventArgs>(args));
    if (args->cancel) return;
    Later([=] {
      const std::wstring title = filtered ? Served(uri) : given;
      view->source = source;
      awaitingPage = false;
      Log("followed " + Utf8(source));
      auto* done = NEW(Object, ICoreWebView2NavigationCompletedEventArgs);
      Raise(view->completed, As<ICoreWebView2>(view), As<ICoreWebView2NavigationCompletedEventArgs>(done));
      if (!title.empty()) RaiseTitle(title);
      started = true;
    });
  });
}

TABLE(ICoreWebView2WebResourceRequest)
t.get_Uri = [](T* s, LPWSTR* v) { return *v = TaskString(As<UriArgs>(s)->uri), S_OK; };
END_TABLE
TABLE(ICoreWebView2WebResourceRequestedEventArgs)
t.get_Request = [](T* s, ICoreWebView2WebResourceRequest** v) {
  return *v = As<ICoreWebView2WebResourceRequest>(As<ResourceArgs>(s)->request), AddRef(*v), S_OK;
};
t.put_Response = [](T* s, ICoreWebView2WebResourceResponse* r) {
  if (r != nullptr) AddRef(r);
  return As<ResourceArgs>(s)->response = reinterpret_cast<Object*>(r), S_OK;
};
END_TABLE
TABLE(ICoreWebView2WebResourceResponse)
t.get_StatusCode = [](T* s, int* v) { return *v = As<Response>(s)->status, S_OK; };
END_TABLE
TABLE(ICoreWebView2ProcessFailedEventArgs)
t.get_ProcessFailedKind = [](T* s, COREWEBVIEW2_PROCESS_FAILED_KIND* v) {
  return *v = As<FailedArgs>(s)->kind, S_OK;
};
END_TABLE

// The program's answer to the request for a filtered address: the page it serves, read as the runtime reads it.
std::wstring Served(const std::wstring& uri) {
  auto* args = NEW(ResourceArgs, ICoreWebView2WebResourceRequestedEventArgs);
  args->request = NEW(UriArgs, ICoreWebView2WebResourceRequest);
  static_cast<UriArgs*>(args->request)->uri = uri;
  Raise(view->resource, As<ICoreWebView2>(view), As<ICoreWebView2WebResourceRequestedEventArgs>(args));
  auto* response = static_cast<Response*>(args->response);
  if (response == nullptr || response->content == nullptr || response->status != 200) {
    Fault("no page was served for " + Utf8(uri));
    return L"";
  }
  std::string bytes;
  char chunk[65536];
  ULONG got = 0;
  IStream* stream = response->content;
  stream->lpVtbl->Seek(stream, LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
  while (SUCCEEDED(stream->lpVtbl->Read(stream, chunk, sizeof chunk, &got)) && got > 0) bytes.append(chunk, got);
  std::wstring text;
  if (bytes.size() >= 2 && bytes.compare(0, 2, "\xFF\xFE") == 0) {
    text.assign(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
  } else {
    text.resize(bytes.size());
    text.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()),
                                                        text.data(), static_cast<int>(text.size()))));
  }
  Log("shown " + std::to_string(text.size()) + " units from " + Utf8(uri));
  return TitleOf(text);
}

TABLE(ICoreWebView2NewWindowRequestedEventArgs)
t.get_Uri = [](T* s, LPWSTR* v) { return *v = TaskString(As<UriArgs>(s)->uri), S_OK; };
t.put_Handled = [](T* s, BOOL v) { return As<UriArgs>(s)->handled = v, S_OK; };
t.get_IsUserInitiated = [](T* s, BOOL* v) { return *v = As<UriArgs>(s)->user, S_OK; };
END_TABLE
TABLE(ICoreWebView2DownloadStartingEventArgs)
t.put_Cancel = [](T* s, BOOL v) { return As<UriArgs>(s)->cancel = v, S_OK; };
END_TABLE
TABLE(ICoreWebView2AcceleratorKeyPressedEventArgs)
t.get_KeyEventKind = [](T* s, COREWEBVIEW2_KEY_EVENT_KIND* v) { return *v = As<KeyArgs>(s)->kind, S_OK; };
t.get_VirtualKey = [](T* s, UINT* v) { return *v = As<KeyArgs>(s)->key, S_OK; };
t.get_PhysicalKeyStatus = [](T*, COREWEBVIEW2_PHYSICAL_KEY_STATUS* v) { return *v = {1, 0, 0, 0, 0, 0}, S_OK; };
t.put_Handled = [](T*, BOOL) { return S_OK; };
END_TABLE
TABLE(ICoreWebView2ContextMenuItem)
t.get_Label = [](T* s, LPWSTR* v) { return *v = TaskString(As<Item>(s)->label), S_OK; };
t.add_CustomItemSelected = [](T* s, ICoreWebView2CustomItemSelectedEventHandler* h, EventRegistrationToken* token) {
  return Subscribe("add_CustomItemSelected", As<Item>(s)->selected, h, token);
};
END_TABLE
Item* NewItem(const wchar_t* label) {
  Item* item = NEW(Item, ICoreWebView2ContextMenuItem);
  return item->label = label, item;
}

TABLE(ICoreWebView2ContextMenuItemCollection)
t.get_Count = [](T* s, UINT32* v) { return *v = static_cast<UINT32>(As<Items>(s)->items.size()), S_OK; };
t.InsertValueAtIndex = [](T* s, UINT32 index, ICoreWebView2ContextMenuItem* item) -> HRESULT {
  auto& items = As<Items>(s)->items;
  if (item == nullptr || index > items.size()) return E_INVALIDARG;
  AddRef(item);
  items.insert(items.begin() + index, As<Item>(item));
  return S_OK;
};
END_TABLE
TABLE(ICoreWebView2ContextMenuTarget)
t.get_Kind = [](T*, COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND* v) { return *v = {}, S_OK; };  // the page
t.get_HasLinkUri = [](T*, BOOL* v) { return *v = lastMenu->link, S_OK; };
END_TABLE
TABLE(ICoreWebView2ContextMenuRequestedEventArgs)
t.get_MenuItems = [](T* s, ICoreWebView2ContextMenuItemCollection** v) {
  return *v = As<ICoreWebView2ContextMenuItemCollection>(As<MenuArgs>(s)->items), AddRef(*v), S_OK;
};
t.get_ContextMenuTarget = [](T* s, ICoreWebView2ContextMenuTarget** v) {
  return *v = As<ICoreWebView2ContextMenuTarget>(As<MenuArgs>(s)->target), AddRef(*v), S_OK;
};
END_TABLE
TABLE(ICoreWebView2Settings4)
#define FLAG(name) t.name = [](T*, BOOL v) { return Call(#name, std::to_string(v)); }
FLAG(put_AreDevToolsEnabled), FLAG(put_AreDefaultContextMenusEnabled), FLAG(put_IsStatusBarEnabled);
FLAG(put_AreBrowserAcceleratorKeysEnabled), FLAG(put_IsPasswordAutosaveEnabled), FLAG(put_IsGeneralAutofillEnabled);
END_TABLE

// Clearing finishes later, through the message loop, with the row's result for "ClearBrowsingDataCompleted".
HRESULT Clear(const char* method, ICoreWebView2ClearBrowsingDataCompletedHandler* h) {
  const HRESULT result = Call(method, "", h == nullptr);
  if (result == S_OK) AddRef(h), Later([h] { h->lpVtbl->Invoke(h, Call("ClearBrowsingDataCompleted", "")); });
  return result;
}

TABLE(ICoreWebView2Profile2)
using Cleared = ICoreWebView2ClearBrowsingDataCompletedHandler;
t.ClearBrowsingData = [](T*, COREWEBVIEW2_BROWSING_DATA_KINDS, Cleared* h) { return Clear("ClearBrowsingData", h); };
t.ClearBrowsingDataAll = [](T*, Cleared* h) { return Clear("ClearBrowsingDataAll", h); };
END_TABLE
TABLE(ICoreWebView2_13)
t.get_Settings = [](T*, ICoreWebView2Settings** v) {
  *v = As<ICoreWebView2Settings>(NEW(Object, ICoreWebView2Settings4, &IID_ICoreWebView2Settings,
                                     &IID_ICoreWebView2Settings2, &IID_ICoreWebView2Settings3));
  return S_OK;
};
t.get_Profile = [](T*, ICoreWebView2Profile** v) {
  return *v = As<ICoreWebView2Profile>(NEW(Object, ICoreWebView2Profile2, &IID_ICoreWebView2Profile)), S_OK;
};
t.Navigate = [](T*, LPCWSTR uri) {
  const HRESULT result = Call("Navigate", uri ? Utf8(uri) : "null", !uri || !iswalpha(uri[0]) || !wcschr(uri, ':'));
  bool filtered = false;
  for (const std::wstring& filter : view->filters) filtered = filtered || (uri && filter == uri);
  if (filtered && view->resource == nullptr) Fault("a filtered address without a WebResourceRequested handler");
  if (result == S_OK) Navigation(uri, uri, L"", filtered && view->resource != nullptr);
  awaitingReload = awaitingReload && !(filtered && result == S_OK);  // text shown again from memory
  return result;
};
t.Reload = [](T*) {
  const HRESULT result = Call("Reload", Utf8(view->source));
  if (result == S_OK) Navigation(view->source, view->source, view->title);
  return result;
};
t.AddWebResourceRequestedFilter = [](T*, LPCWSTR uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT context) {
  const HRESULT result = Call("AddWebResourceRequestedFilter", (uri ? Utf8(uri) : "null") + " " + std::to_string(context),
                              uri == nullptr || context > COREWEBVIEW2_WEB_RESOURCE_CONTEXT_OTHER);
  if (result == S_OK) view->filters.push_back(uri);
  return result;
};
t.NavigateToString = [](T*, LPCWSTR html) {
  // The runtime takes at most 2 MB of text.
  const HRESULT result = Call("NavigateToString", html ? std::to_string(wcslen(html)) + " units" : "null",
                              html == nullptr || Utf8(html).size() > 2 * 1024 * 1024);
  // The page starts as a data address and shows about:blank as its source.
  if (result == S_OK) Navigation(L"data:text/html;charset=utf-8;base64,", L"about:blank", TitleOf(html));
  awaitingReload = awaitingReload && result != S_OK;
  return result;
};
t.get_Source = [](T*, LPWSTR* v) { return *v = TaskString(view->source), S_OK; };
t.get_DocumentTitle = [](T*, LPWSTR* v) { return *v = TaskString(view->title), S_OK; };
t.get_BrowserProcessId = [](T*, UINT32* v) { return *v = browserProcessId, S_OK; };
t.put_IsMuted = [](T*, BOOL value) { return Call("put_IsMuted", std::to_string(value)); };
#define EVENT(name, slot) t.add_##name = [](T*, ICoreWebView2##name##EventHandler* h, EventRegistrationToken* n) \
  { return Subscribe("add_" #name, view->slot, h, n); }
EVENT(NavigationStarting, starting);
EVENT(NavigationCompleted, completed);
EVENT(NewWindowRequested, newWindow);
EVENT(DocumentTitleChanged, titleChanged);
EVENT(DownloadStarting, download);
EVENT(ContextMenuRequested, menu);
EVENT(ProcessFailed, failed);
EVENT(WebResourceRequested, resource);
END_TABLE
TABLE(ICoreWebView2Controller)
t.get_CoreWebView2 = [](T*, ICoreWebView2** v) { return *v = As<ICoreWebView2>(view), AddRef(*v), S_OK; };
t.put_Bounds = [](T*, RECT r) {
  RECT client{};
  GetClientRect(parentWindow, &client);
  if (!EqualRect(&r, &client)) Fault("the bounds are not the window's client area");
  if (IsRectEmpty(&r)) Fault("the view was given no room");
  return Call("put_Bounds", std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top));
};
t.put_ZoomFactor = [](T*, double v) { return Call("put_ZoomFactor", std::to_string(v), v <= 0); };
t.put_IsVisible = [](T*, BOOL v) { return Call("put_IsVisible", std::to_string(v)); };
t.NotifyParentWindowPositionChanged = [](T*) { return Call("NotifyParentWindowPositionChanged", ""); };
t.MoveFocus = [](T*, COREWEBVIEW2_MOVE_FOCUS_REASON reason) {
  const HRESULT result = Call("MoveFocus", std::to_string(reason), reason > COREWEBVIEW2_MOVE_FOCUS_REASON_PREVIOUS);
  if (result == S_OK) Keyboard(true);
  return result;
};
t.add_AcceleratorKeyPressed = [](T*, ICoreWebView2AcceleratorKeyPressedEventHandler* h, EventRegistrationToken* n) {
  return Subscribe("add_AcceleratorKeyPressed", view->key, h, n);
};
t.Close = [](T*) {
  if (browserClosing) SetEvent(browserClosing);  // the browser process goes with its last web view
  controllerClosed = true;
  return Call("Close", "");
};
END_TABLE
TABLE(ICoreWebView2ControllerOptions)
t.put_ProfileName = [](T*, LPCWSTR v) { return Call("put_ProfileName", v ? Utf8(v) : "null", !ValidProfileName(v)); };
t.put_IsInPrivateModeEnabled = [](T*, BOOL v) { return Call("put_IsInPrivateModeEnabled", std::to_string(v)); };
END_TABLE

// The browser process holds the data folder's lock until its web view has closed or its window or the program has
// gone, and a while after, as msedgewebview2 does.
void StartBrowserProcess() {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  browserClosing = CreateEventW(&inherit, TRUE, FALSE, nullptr);
  HANDLE self = nullptr;
  DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self, SYNCHRONIZE, TRUE, 0);
  // Inherited and closed here: the lock file goes when the browser process ends.
  HANDLE lock = CreateFileW((dataFolder + L"\\EBWebView\\lockfile").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                            CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(GetModuleHandleW(L"EmbeddedBrowserWebView.dll"), path, MAX_PATH);
  std::wstring line = L"rundll32.exe \"" + std::wstring(path) + L"\",BrowserProcess";
  for (void* handle : {browserClosing, self, static_cast<void*>(parentWindow)}) {
    line += L" " + std::to_wstring(reinterpret_cast<UINT_PTR>(handle));
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
    Fault("the browser process did not start");
  }
  CloseHandle(lock);
  browserProcessId = process.dwProcessId, browserProcess = process.hProcess;
}

TABLE(ICoreWebView2Environment10)
t.CreateCoreWebView2ControllerOptions = [](T*, ICoreWebView2ControllerOptions** v) {
  *v = As<ICoreWebView2ControllerOptions>(NEW(Object, ICoreWebView2ControllerOptions));
  return Call("CreateCoreWebView2ControllerOptions", "");
};
t.CreateCoreWebView2ControllerWithOptions = [](T*, HWND parent, ICoreWebView2ControllerOptions*,
                                               ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* h) {
  wchar_t name[16] = {};
  GetClassNameW(parent, name, 16);
  if (GetWindowThreadProcessId(parent, nullptr) != GetCurrentThreadId() || wcscmp(name, L"vistrel") != 0) {
    Fault("the parent is not the program's main window");
  }
  const HRESULT result = Call("CreateCoreWebView2ControllerWithOptions", "", !IsWindow(parent) || h == nullptr);
  if (result != S_OK) return result;
  if (!controllerClosed) Fault("a second controller while the first one is not closed");
  parentWindow = parent;
  // Another process gets no answer to WM_GETICON under Wine: the window's icons are read here.
  Log("icon " + std::to_string(SendMessageW(parent, WM_GETICON, ICON_BIG, 0) != 0) + " " +
      std::to_string(SendMessageW(parent, WM_GETICON, ICON_SMALL, 0) != 0));
  StartBrowserProcess();
  AddRef(h);
  Later([h] {
    const HRESULT completed = Call("ControllerCompleted", "");
    if (completed != S_OK || CompletesWithoutObject("ControllerCompleted")) return void(h->lpVtbl->Invoke(h, completed, nullptr));
    browserGone = false, controllerClosed = false;
    controller = NEW(Object, ICoreWebView2Controller);
    view = NEW(WebView, ICoreWebView2_13, &IID_ICoreWebView2, &IID_ICoreWebView2_2, &IID_ICoreWebView2_3,
               &IID_ICoreWebView2_4, &IID_ICoreWebView2_5, &IID_ICoreWebView2_6, &IID_ICoreWebView2_7,
               &IID_ICoreWebView2_8, &IID_ICoreWebView2_9, &IID_ICoreWebView2_10, &IID_ICoreWebView2_11,
               &IID_ICoreWebView2_12);
    h->lpVtbl->Invoke(h, S_OK, As<ICoreWebView2Controller>(controller));
  });
  return S_OK;
};
t.CreateWebResourceResponse = [](T*, IStream* content, int status, LPCWSTR, LPCWSTR headers,
                                 ICoreWebView2WebResourceResponse** v) {
  const HRESULT result = Call("CreateWebResourceResponse", std::to_string(status) + " " + (headers ? Utf8(headers) : ""),
                              v == nullptr);
  if (result != S_OK) return result;
  auto* response = NEW(Response, ICoreWebView2WebResourceResponse);
  response->content = content, response->status = status;
  if (content != nullptr) content->lpVtbl->AddRef(content);
  return *v = As<ICoreWebView2WebResourceResponse>(response), S_OK;
};
t.CreateContextMenuItem = [](T*, LPCWSTR label, IStream*, COREWEBVIEW2_CONTEXT_MENU_ITEM_KIND,
                             ICoreWebView2ContextMenuItem** v) {
  if (label == nullptr || v == nullptr) return E_INVALIDARG;
  return *v = As<ICoreWebView2ContextMenuItem>(madeItems.emplace_back(NewItem(label))), S_OK;
};
END_TABLE

void NewWindow(const std::wstring& uri, BOOL user) {
  auto* args = NEW(UriArgs, ICoreWebView2NewWindowRequestedEventArgs);
  args->uri = uri, args->user = user;
  Raise(view->newWindow, As<ICoreWebView2>(view), As<ICoreWebView2NewWindowRequestedEventArgs>(args));
  // Unhandled, the runtime would open a window of its own.
  if (!args->handled) Fault("a new window was left to the runtime");
}

// One step: its words, as run_tests.py writes them separated by tabs. "go" and "open" are clicks,
// "script go" and "script open" the page's script acting by itself.
void RunStep(const std::vector<std::wstring>& w) {
  const std::wstring& name = w[0];
  if (name == L"go" || (name == L"script" && w[1] == L"go")) {
    Navigation(w.back(), w.back(), L"", false, name == L"go");
  } else if (name == L"open" || name == L"script") {
    NewWindow(w.back(), name == L"open");
  } else if (name == L"title") {
    RaiseTitle(w[1]);
  } else if (name == L"key") {
    // The modifiers (the words after the key) are down in this thread's key state while the handler runs; each
    // press turns a key's toggle bit over, as the keyboard does for every key, and it stays after the release.
    BYTE saved[256], state[256];
    GetKeyboardState(saved);
    for (size_t i = 2; i < w.size(); ++i) saved[wcstoul(w[i].c_str(), nullptr, 16) & 0xFF] ^= 0x01;
    std::memcpy(state, saved, sizeof state);
    for (size_t i = 2; i < w.size(); ++i) state[wcstoul(w[i].c_str(), nullptr, 16) & 0xFF] |= 0x80;
    SetKeyboardState(state);
    auto* args = NEW(KeyArgs, ICoreWebView2AcceleratorKeyPressedEventArgs);
    args->key = wcstoul(w[1].c_str(), nullptr, 16);
    args->kind = state[VK_MENU] ? COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_DOWN : COREWEBVIEW2_KEY_EVENT_KIND_KEY_DOWN;
    Raise(view->key, As<ICoreWebView2Controller>(controller), As<ICoreWebView2AcceleratorKeyPressedEventArgs>(args));
    SetKeyboardState(saved);
  } else if (name == L"menu") {  // on the page, or with "link" on a link
    lastMenu = NEW(MenuArgs, ICoreWebView2ContextMenuRequestedEventArgs);
    lastMenu->link = w.size() > 1 && w[1] == L"link";
    lastMenu->items = NEW(Items, ICoreWebView2ContextMenuItemCollection);
    lastMenu->target = NEW(Object, ICoreWebView2ContextMenuTarget);
    lastMenu->items->items = {NewItem(L"Back"), NewItem(L"Reload")};  // the runtime's own items
    Raise(view->menu, As<ICoreWebView2>(view), As<ICoreWebView2ContextMenuRequestedEventArgs>(lastMenu));
    std::string own = "menu";
    for (Item* item : lastMenu->items->items) {
      for (Item* made : madeItems) own += item == made ? "\t" + Utf8(item->label) : "";
    }
    Log(own);
  } else if (name == L"choose") {
    Item* found = nullptr;
    if (lastMenu == nullptr) return Fault("no menu to choose from");
    for (Item* item : lastMenu->items->items) found = item->label == w[1] ? item : found;
    if (found == nullptr || found->selected == nullptr) return Fault("no menu item " + Utf8(w[1]) + " to choose");
    found->selected->lpVtbl->Invoke(found->selected, As<ICoreWebView2ContextMenuItem>(found), nullptr);
  } else if (name == L"download") {
    auto* args = NEW(UriArgs, ICoreWebView2DownloadStartingEventArgs);
    Raise(view->download, As<ICoreWebView2>(view), As<ICoreWebView2DownloadStartingEventArgs>(args));
  } else if (name == L"crash") {  // the page's process ends, or hangs with "hang"; with "browser" the browser process ends
    const std::wstring how = w.size() > 1 ? w[1] : L"";
    const bool browser = how == L"browser";
    auto* args = NEW(FailedArgs, ICoreWebView2ProcessFailedEventArgs);
    args->kind = browser          ? COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED
                 : how == L"hang" ? COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_UNRESPONSIVE
                                  : COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED;
    // A crashed browser process is gone at once, and its lock with it.
    if (browser) browserGone = true, TerminateProcess(browserProcess, 1), WaitForSingleObject(browserProcess, 5000);
    RaiseTitle(L"");  // nothing is shown until the program shows the page again
    awaitingPage = true;
    Raise(view->failed, As<ICoreWebView2>(view), As<ICoreWebView2ProcessFailedEventArgs>(args));
  } else if (name == L"away") {  // another window is activated, then closed: the program's comes back
    HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                 nullptr, nullptr);
    SetActiveWindow(other);
    DestroyWindow(other);
    SetActiveWindow(parentWindow);
  } else if (name == L"minimize") {  // minimised, then restored
    ShowWindow(parentWindow, SW_MINIMIZE);
    ShowWindow(parentWindow, SW_RESTORE);
  } else if (name == L"move") {
    SetWindowPos(parentWindow, nullptr, _wtoi(w[1].c_str()), _wtoi(w[2].c_str()), 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  } else if (name == L"scale") {  // another monitor's scale: DPI, then the rectangle the system suggests
    RECT suggested{_wtoi(w[2].c_str()), _wtoi(w[3].c_str()), _wtoi(w[4].c_str()), _wtoi(w[5].c_str())};
    const WORD dpi = static_cast<WORD>(_wtoi(w[1].c_str()));
    SendMessageW(parentWindow, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
  } else if (name == L"write" || name == L"restore") {  // "restore" puts back an older copy: an hour before
    WIN32_FILE_ATTRIBUTE_DATA before{};
    GetFileAttributesExW(w[1].c_str(), GetFileExInfoStandard, &before);
    Append(w[1], Utf8(w[2]), true);
    if (name == L"restore") {
      ULARGE_INTEGER time{{before.ftLastWriteTime.dwLowDateTime, before.ftLastWriteTime.dwHighDateTime}};
      time.QuadPart -= 36000000000ull;  // an hour in 100 ns
      const FILETIME older{time.LowPart, time.HighPart};
      HANDLE file = CreateFileW(w[1].c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
      SetFileTime(file, nullptr, nullptr, &older);
      CloseHandle(file);
    }
    awaitingReload = true;  // the program shows it again, or its window goes
  } else if (name == L"delete") {
    DeleteFileW(w[1].c_str());
    awaitingReload = true;  // the program shows it again, or its window goes
  }
}

}  // namespace

// The engine's entry point, as the SDK's loader calls it; vistrel calls it itself when no loader lies beside it.
extern "C" __declspec(dllexport) HRESULT STDMETHODCALLTYPE CreateWebViewEnvironmentWithOptionsInternal(
    bool, int runtimeType, PCWSTR folder, IUnknown*, ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* h) {
  HMODULE caller = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     static_cast<LPCWSTR>(__builtin_return_address(0)), &caller);
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(caller, path, MAX_PATH);
  Log("caller " + Utf8(wcsrchr(path, L'\\') ? wcsrchr(path, L'\\') + 1 : path));
  Signal(L" loaded");
  const bool refused = h == nullptr || folder == nullptr || !*folder || runtimeType != 0;
  const HRESULT result = Call("CreateWebViewEnvironment", folder ? Utf8(folder) : "null", refused);
  if (result != S_OK) return result;
  // A relative folder would be taken from wherever the program happens to run.
  if (!iswalpha(folder[0]) || folder[1] != L':' || folder[2] != L'\\') {
    Fault("the data folder " + Utf8(folder) + " is no full path");
  }
  static bool first = true;
  if (first && GetFileAttributesW((std::wstring(folder) + L"\\EBWebView\\stale.txt").c_str()) != INVALID_FILE_ATTRIBUTES) {
    Log("leftovers");  // another session's data, which this one would take over
  }
  // What the runtime makes of the folder on its first run.
  dataFolder = folder;
  CreateDirectoryW(folder, nullptr);
  CreateDirectoryW((dataFolder + L"\\EBWebView").c_str(), nullptr);
  Append(dataFolder + L"\\EBWebView\\Local State", "{}");
  FILE* file = first ? _wfopen(Env(L"VISTREL_STANDIN_STEPS").c_str(), L"rb") : nullptr;
  if (file != nullptr) {  // a step may write megabytes
    std::string bytes;
    for (char chunk[65536]; size_t got = fread(chunk, 1, sizeof chunk, file);) bytes.append(chunk, got);
    fclose(file);
    std::wstring text(bytes.size(), L'\0');
    text.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()),
                                                        text.data(), static_cast<int>(text.size()))));
    std::vector<std::wstring> words{L""};
    for (wchar_t c : text) {
      if (c == L'\n') steps.push_back(std::exchange(words, {L""}));
      else c == L'\t' ? words.push_back({}) : words.back().push_back(c);
    }
  }
  // Everything comes back through this thread's message loop.
  if (first) {
    SetTimer(nullptr, 0, 20, Tick);
    SetWindowsHookExW(WH_CBT, OnCbt, nullptr, GetCurrentThreadId());
    SetWindowsHookExW(WH_MSGFILTER, OnMessageFilter, nullptr, GetCurrentThreadId());
    SetWindowsHookExW(WH_CALLWNDPROC, OnWindowMessage, nullptr, GetCurrentThreadId());
    WatchShellCalls();
  }
  first = false;
  AddRef(h);
  Later([h] {
    const HRESULT completed = Call("EnvironmentCompleted", "");
    if (completed != S_OK || CompletesWithoutObject("EnvironmentCompleted")) return void(h->lpVtbl->Invoke(h, completed, nullptr));
    auto* environment = NEW(Object, ICoreWebView2Environment10, &IID_ICoreWebView2Environment,
                            &IID_ICoreWebView2Environment2, &IID_ICoreWebView2Environment3,
                            &IID_ICoreWebView2Environment4, &IID_ICoreWebView2Environment5,
                            &IID_ICoreWebView2Environment6, &IID_ICoreWebView2Environment7,
                            &IID_ICoreWebView2Environment8, &IID_ICoreWebView2Environment9);
    h->lpVtbl->Invoke(h, S_OK, As<ICoreWebView2Environment>(environment));
  });
  return S_OK;
}

// The browser process (rundll32): BrowserProcess CLOSING PROGRAM WINDOW, holding the lock file it inherited.
extern "C" __declspec(dllexport) void CALLBACK BrowserProcessW(HWND, HINSTANCE, LPWSTR line, int) {
  unsigned long long closing = 0, program = 0, window = 0;
  swscanf(line, L"%llu %llu %llu", &closing, &program, &window);
  const HANDLE waits[] = {reinterpret_cast<HANDLE>(closing), reinterpret_cast<HANDLE>(program)};
  while (WaitForMultipleObjects(2, waits, FALSE, 50) == WAIT_TIMEOUT && IsWindow(reinterpret_cast<HWND>(window))) {
  }
  Sleep(1500);  // it outlives its web view: the program must wait for it
}

// The registered handler of the schemes handed over: Record "FILE" "ADDRESS" appends "ADDRESS" to FILE.
extern "C" __declspec(dllexport) void CALLBACK RecordW(HWND, HINSTANCE, LPWSTR line, int) {
  int count = 0;
  LPWSTR* words = CommandLineToArgvW(line, &count);
  if (words != nullptr && count == 2) Append(words[0], Utf8(words[1]));
}
