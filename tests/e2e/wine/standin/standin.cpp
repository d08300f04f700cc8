// A stand-in for the WebView2 runtime's engine library (EmbeddedBrowserWebView.dll),
// for the Wine end-to-end tests only: it never ships. vistrel.exe finds it where an
// installed runtime registers its folder and creates its environment through it.
//
// It renders nothing. It answers the calls vistrel makes, writes each one, in
// order, as a UTF-8 line to the file named by VISTREL_STANDIN_LOG, and raises
// the runtime's events as the script named by VISTREL_STANDIN_SCRIPT tells it
// (see script.md beside this file). Every completion and event reaches the
// program through its own message loop (a thread timer), never from inside the
// call that asked for it, as with the real runtime.
//
// The objects are built on the SDK header's C view of the interfaces: each
// vtable is first filled with a stub that logs "unimplemented slot N of ROLE"
// and answers E_NOTIMPL (on x64 one stub fits every signature), then the
// methods vistrel uses are set by name, so the compiler checks their types.
// One object answers every numbered version of its interface.
#define CINTERFACE
#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <WebView2.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

// ------------------------------------------------------------------ text

std::string Utf8(const wchar_t* text, size_t length) {
  if (length == 0) return {};
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), bytes, nullptr, nullptr);
  return out;
}

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), units);
  return out;
}

// A string argument as the log shows it: quoted, with \\, \", \n, \r and \t
// escaped; a null pointer as null.
std::string Quote(const wchar_t* text) {
  if (text == nullptr) return "null";
  std::string out = "\"";
  for (char c : Utf8(text, wcslen(text))) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default: out += c;
    }
  }
  return out + "\"";
}

std::string Quote(const std::wstring& text) { return Quote(text.c_str()); }

std::string Hex(HRESULT value) {
  char text[16];
  snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(value));
  return text;
}

std::wstring Variable(const wchar_t* name) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return {};
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(name, value.data(), size);
  value.resize(length);
  return value;
}

LPWSTR TaskString(const std::wstring& text) {
  auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
  if (copy != nullptr) std::memcpy(copy, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  return copy;
}

// ------------------------------------------------------------------- log

std::vector<std::string> logged;  // this process's lines, for the script's "await"

void Log(const std::string& line) {
  logged.push_back(line);
  static const std::wstring path = Variable(L"VISTREL_STANDIN_LOG");
  if (path.empty()) return;
  // Appending, and closed at once: each line is on disk before the next call,
  // and the browser process appends to the same file.
  HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

// ------------------------------------------------------------ the script

struct Settings {
  std::map<std::string, HRESULT> results;  // method name -> the result it gives
  HRESULT clearStatus = S_OK;              // what clearing reports when done
  bool navigationsSucceed = true;          // how the program's own navigations complete
  bool holdController = false;             // the controller is never handed over
  bool browserProcess = false;
  DWORD browserLingerMs = 0;               // how long it outlives the web view
};
Settings settings;
std::deque<std::vector<std::string>> commands;

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> words;
  size_t start = 0;
  while (start < line.size()) {
    const size_t tab = line.find('\t', start);
    const size_t end = tab == std::string::npos ? line.size() : tab;
    words.push_back(line.substr(start, end - start));
    start = end + 1;
  }
  return words;
}

// Lines of words separated by tabs; settings apply at once, commands run in order later.
void ReadScript() {
  const std::wstring path = Variable(L"VISTREL_STANDIN_SCRIPT");
  if (path.empty()) return;
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) {
    Log("the script " + Quote(path) + " cannot be read");
    return;
  }
  std::string text;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
  fclose(file);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> words = Split(line);
    if (words[0] == "result" && words.size() == 3) {
      settings.results[words[1]] = static_cast<HRESULT>(strtoul(words[2].c_str(), nullptr, 16));
    } else if (words[0] == "clear-status" && words.size() == 2) {
      settings.clearStatus = static_cast<HRESULT>(strtoul(words[1].c_str(), nullptr, 16));
    } else if (words[0] == "navigations" && words.size() == 2) {
      settings.navigationsSucceed = words[1] != "fail";
    } else if (words[0] == "hold-controller" && words.size() == 1) {
      settings.holdController = true;
    } else if (words[0] == "browser-process" && words.size() == 2) {
      settings.browserProcess = true;
      settings.browserLingerMs = static_cast<DWORD>(strtoul(words[1].c_str(), nullptr, 10));
    } else {
      commands.push_back(std::move(words));
    }
  }
}

// The result a method gives: S_OK unless the script says otherwise.
HRESULT ResultOf(const char* method) {
  const auto found = settings.results.find(method);
  return found == settings.results.end() ? S_OK : found->second;
}

// Logs a call and its result when that is not S_OK.
HRESULT Call(const char* method, const std::string& arguments = {}) {
  const HRESULT result = ResultOf(method);
  std::string line = method;
  if (!arguments.empty()) line += " " + arguments;
  if (result != S_OK) line += " -> " + Hex(result);
  Log(line);
  return result;
}

// ---------------------------------------------------- the window's thread

std::deque<std::function<void()>> tasks;
std::deque<std::function<void()>> heldCompletions;  // navigations that have not finished loading
bool holdingCompletions = false;
bool ready = false;         // the controller-created handler has run
bool running = false;       // a tick is under way (message boxes nest the loop)
size_t commandStart = 0;    // the log line at which the last command began
ULONGLONG pausedUntil = 0;  // the next command waits until then

void RunCommand(const std::vector<std::string>& words);

// Script commands wait until nothing the runtime owes is left to deliver.
void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
  if (running) return;
  running = true;
  if (!tasks.empty()) {
    while (!tasks.empty()) {
      std::function<void()> task = std::move(tasks.front());
      tasks.pop_front();
      task();
    }
  } else if (ready && !commands.empty() && GetTickCount64() >= pausedUntil) {
    const std::vector<std::string> words = commands.front();
    bool done = true;
    if (words[0] == "await" && words.size() == 2) {
      done = false;
      for (size_t i = commandStart; i < logged.size() && !done; ++i) {
        done = logged[i].find(words[1]) != std::string::npos;
      }
    } else {
      commandStart = logged.size();
      RunCommand(words);
    }
    if (done) {
      commands.pop_front();
      if (commands.empty()) Log("= script finished");
    }
  }
  running = false;
}

void Later(std::function<void()> task) { tasks.push_back(std::move(task)); }

// ------------------------------------------------------------ COM objects

struct Known {
  const IID* iid;
  const char* name;
};

struct Object {
  const void* lpVtbl;
  const char* role;
  const Known* interfaces;
  size_t interfaceCount;
  void (*destroy)(Object*);
  LONG refs = 1;
};

template <class T>
void Destroy(Object* object) {
  delete static_cast<T*>(object);
}

std::string GuidText(REFIID iid) {
  wchar_t text[64] = {};
  StringFromGUID2(iid, text, 64);
  return Utf8(text, wcslen(text));
}

HRESULT QueryObject(Object* self, REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  for (size_t i = 0; i < self->interfaceCount; ++i) {
    if (IsEqualIID(iid, *self->interfaces[i].iid)) {
      ++self->refs;
      *out = self;
      // Asking for IUnknown is COM's business, not the program's.
      if (i > 0) Log(std::string("QueryInterface ") + self->interfaces[i].name);
      return S_OK;
    }
  }
  Log(std::string("QueryInterface ") + self->role + " " + GuidText(iid) + " -> E_NOINTERFACE");
  return E_NOINTERFACE;
}

template <class I>
HRESULT STDMETHODCALLTYPE QueryInterfaceOf(I* self, REFIID iid, void** out) {
  return QueryObject(reinterpret_cast<Object*>(self), iid, out);
}

template <class I>
ULONG STDMETHODCALLTYPE AddRefOf(I* self) {
  return static_cast<ULONG>(++reinterpret_cast<Object*>(self)->refs);
}

template <class I>
ULONG STDMETHODCALLTYPE ReleaseOf(I* self) {
  auto* object = reinterpret_cast<Object*>(self);
  const LONG left = --object->refs;
  if (left == 0) object->destroy(object);
  return static_cast<ULONG>(left);
}

// Every slot at first: a method vistrel is not expected to call.
using Slot = HRESULT(STDMETHODCALLTYPE*)(void*);
template <size_t N>
HRESULT STDMETHODCALLTYPE Unimplemented(void* self) {
  Log("unimplemented slot " + std::to_string(N) + " of " + static_cast<Object*>(self)->role);
  return E_NOTIMPL;
}
constexpr size_t kMostSlots = 160;
template <size_t... N>
constexpr std::array<Slot, sizeof...(N)> Stubs(std::index_sequence<N...>) {
  return {&Unimplemented<N>...};
}
constexpr std::array<Slot, kMostSlots> kStubs = Stubs(std::make_index_sequence<kMostSlots>());

// A vtable of stubs with IUnknown in place; the caller sets the rest.
template <class I, class Vtbl>
Vtbl StubTable() {
  static_assert(sizeof(Vtbl) % sizeof(Slot) == 0 && sizeof(Vtbl) / sizeof(Slot) <= kMostSlots);
  Vtbl table;
  std::memcpy(static_cast<void*>(&table), kStubs.data(), sizeof table);
  table.QueryInterface = &QueryInterfaceOf<I>;
  table.AddRef = &AddRefOf<I>;
  table.Release = &ReleaseOf<I>;
  return table;
}

template <class T, size_t N>
T* Make(const void* vtable, const char* role, const std::array<Known, N>& interfaces) {
  T* object = new T;
  object->lpVtbl = vtable;
  object->role = role;
  object->interfaces = interfaces.data();
  object->interfaceCount = N;
  object->destroy = &Destroy<T>;
  return object;
}

template <class I>
void AddRef(I* object) {
  if (object != nullptr) object->lpVtbl->AddRef(object);
}

template <class I>
void Release(I* object) {
  if (object != nullptr) object->lpVtbl->Release(object);
}

template <class To, class From>
To* As(From* object) {
  return reinterpret_cast<To*>(object);
}

std::string Flag(BOOL value) { return value ? "1" : "0"; }

// ----------------------------------------------------------- the objects

struct ContextMenuItem : Object {
  std::wstring label;
  ICoreWebView2CustomItemSelectedEventHandler* selected = nullptr;
  ~ContextMenuItem() { Release(selected); }
};

struct ContextMenuItems : Object {
  std::vector<ContextMenuItem*> items;
  ~ContextMenuItems() {
    for (ContextMenuItem* item : items) Release(As<ICoreWebView2ContextMenuItem>(item));
  }
};

struct ContextMenuTarget : Object {
  COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND kind = COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND_PAGE;
  BOOL hasLink = FALSE;  // a link is a page target with a link address
};

struct ContextMenuArgs : Object {
  ContextMenuItems* items = nullptr;
  ContextMenuTarget* target = nullptr;
  ~ContextMenuArgs() {
    Release(As<ICoreWebView2ContextMenuItemCollection>(items));
    Release(As<ICoreWebView2ContextMenuTarget>(target));
  }
};

struct UriArgs : Object {  // navigation starting, new window, download starting
  std::wstring uri;
  BOOL cancel = FALSE;
  BOOL handled = FALSE;
};

struct CompletedArgs : Object {
  BOOL success = TRUE;
};

struct KeyArgs : Object {
  COREWEBVIEW2_KEY_EVENT_KIND kind = COREWEBVIEW2_KEY_EVENT_KIND_KEY_DOWN;
  UINT key = 0;
  BOOL repeat = FALSE;
  BOOL handled = FALSE;
};

struct Plain : Object {};  // environment, controller options, settings, profile

struct WebView : Object {
  std::wstring source = L"about:blank";
  std::wstring title;
  ICoreWebView2NavigationStartingEventHandler* navigationStarting = nullptr;
  ICoreWebView2NavigationCompletedEventHandler* navigationCompleted = nullptr;
  ICoreWebView2NewWindowRequestedEventHandler* newWindowRequested = nullptr;
  ICoreWebView2DocumentTitleChangedEventHandler* titleChanged = nullptr;
  ICoreWebView2DownloadStartingEventHandler* downloadStarting = nullptr;
  ICoreWebView2ContextMenuRequestedEventHandler* contextMenuRequested = nullptr;
};

struct Controller : Object {
  ICoreWebView2AcceleratorKeyPressedEventHandler* acceleratorKeyPressed = nullptr;
};

// The one of each that a run has; they live until the process ends.
WebView* webView = nullptr;
Controller* controller = nullptr;
Plain* profile = nullptr;
Plain* webSettings = nullptr;
HWND parentWindow = nullptr;
std::wstring userDataFolder;
HANDLE browserClosing = nullptr;  // set when the web view closes; the browser process then ends
DWORD browserProcessId = 0;
ContextMenuArgs* lastMenu = nullptr;

constexpr std::array<Known, 2> kItemInterfaces{{{&IID_IUnknown, "IUnknown"},
                                               {&IID_ICoreWebView2ContextMenuItem, "ICoreWebView2ContextMenuItem"}}};

const void* ItemTable() {
  static const auto table = [] {
    auto t = StubTable<ICoreWebView2ContextMenuItem, ICoreWebView2ContextMenuItemVtbl>();
    t.get_Label = [](ICoreWebView2ContextMenuItem* self, LPWSTR* value) -> HRESULT {
      Log("get_Label");
      *value = TaskString(As<ContextMenuItem>(self)->label);
      return S_OK;
    };
    t.add_CustomItemSelected = [](ICoreWebView2ContextMenuItem* self, ICoreWebView2CustomItemSelectedEventHandler* h,
                                  EventRegistrationToken* token) -> HRESULT {
      auto* item = As<ContextMenuItem>(self);
      Log("add_CustomItemSelected " + Quote(item->label));
      AddRef(h);
      Release(item->selected);
      item->selected = h;
      if (token != nullptr) token->value = 1;
      return S_OK;
    };
    return t;
  }();
  return &table;
}

const void* ItemsTable() {
  static const auto table = [] {
    auto t = StubTable<ICoreWebView2ContextMenuItemCollection, ICoreWebView2ContextMenuItemCollectionVtbl>();
    t.get_Count = [](ICoreWebView2ContextMenuItemCollection* self, UINT32* value) -> HRESULT {
      *value = static_cast<UINT32>(As<ContextMenuItems>(self)->items.size());
      Log("get_Count -> " + std::to_string(*value));
      return S_OK;
    };
    t.InsertValueAtIndex = [](ICoreWebView2ContextMenuItemCollection* self, UINT32 index,
                              ICoreWebView2ContextMenuItem* value) -> HRESULT {
      auto& items = As<ContextMenuItems>(self)->items;
      auto* item = As<ContextMenuItem>(value);
      Log("InsertValueAtIndex " + std::to_string(index) + " " + (item ? Quote(item->label) : "null"));
      if (item == nullptr || index > items.size()) return E_INVALIDARG;
      AddRef(value);
      items.insert(items.begin() + index, item);
      return S_OK;
    };
    return t;
  }();
  return &table;
}

const void* TargetTable() {
  static const auto table = [] {
    auto t = StubTable<ICoreWebView2ContextMenuTarget, ICoreWebView2ContextMenuTargetVtbl>();
    t.get_Kind = [](ICoreWebView2ContextMenuTarget* self, COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND* value) -> HRESULT {
      *value = As<ContextMenuTarget>(self)->kind;
      Log("get_Kind -> " + std::to_string(static_cast<int>(*value)));
      return S_OK;
    };
    t.get_HasLinkUri = [](ICoreWebView2ContextMenuTarget* self, BOOL* value) -> HRESULT {
      *value = As<ContextMenuTarget>(self)->hasLink;
      Log("get_HasLinkUri -> " + Flag(*value));
      return S_OK;
    };
    return t;
  }();
  return &table;
}

const void* MenuArgsTable() {
  static const auto table = [] {
    auto t = StubTable<ICoreWebView2ContextMenuRequestedEventArgs, ICoreWebView2ContextMenuRequestedEventArgsVtbl>();
    t.get_MenuItems = [](ICoreWebView2ContextMenuRequestedEventArgs* self,
                         ICoreWebView2ContextMenuItemCollection** value) -> HRESULT {
      Log("get_MenuItems");
      *value = As<ICoreWebView2ContextMenuItemCollection>(As<ContextMenuArgs>(self)->items);
      AddRef(*value);
      return S_OK;
    };
    t.get_ContextMenuTarget = [](ICoreWebView2ContextMenuRequestedEventArgs* self,
                                 ICoreWebView2ContextMenuTarget** value) -> HRESULT {
      Log("get_ContextMenuTarget");
      *value = As<ICoreWebView2ContextMenuTarget>(As<ContextMenuArgs>(self)->target);
      AddRef(*value);
      return S_OK;
    };
    return t;
  }();
  return &table;
}

const void* NavigationStartingTable() {
  static const auto table = [] {
    auto t = StubTable<ICoreWebView2NavigationStartingEventArgs, ICoreWebView2NavigationStartingEventArgsVtbl>();
    t.get_Uri = [](ICoreWebView2NavigationStartingEventArgs* self, LPWSTR* value) -> HRESULT {
      Log("get_Uri");
      *value = TaskString(As<UriArgs>(self)->uri);
      return S_OK;
    };
    t.put_Cancel = [](ICoreWebView2NavigationStartingEventArgs* self, BOOL value) -> HRESULT {
      Log("put_Cancel " + Flag(value));
      As<UriArgs>(self)->cancel = value;
      return S_OK;
    };
    return t;
  }();
  return &table;
}

const void* NewWindowTable() {
  static const auto table = [] {
    auto t = StubTable<ICoreWebView2NewWindowRequestedEventArgs, ICoreWebView2NewWindowRequestedEventArgsVtbl>();
    t.get_Uri = [](ICoreWebView2NewWindowRequestedEventArgs* self, LPWSTR* value) -> HRESULT {
      Log("get_Uri");
      *value = TaskString(As<UriArgs>(self)->uri);
      return S_OK;
    };
    t.put_Handled = [](ICoreWebView2NewWindowRequestedEventArgs* self, BOOL value) -> HRESULT {
      Log("put_Handled " + Flag(value));
      As<UriArgs>(self)->handled = value;
      return S_OK;
    };
    return t;
  }();
  return &table;
}

const void* DownloadTable() {
  static const auto table = [] {
    auto t = StubTable<ICoreWebView2DownloadStartingEventArgs, ICoreWebView2DownloadStartingEventArgsVtbl>();
    t.put_Cancel = [](ICoreWebView2DownloadStartingEventArgs* self, BOOL value) -> HRESULT {
      Log("put_Cancel " + Flag(value));
      As<UriArgs>(self)->cancel = value;
      return S_OK;
    };
    return t;
  }();
  return &table;
}

const void* CompletedTable() {
  static const auto table = [] {
    auto t = StubTable<ICoreWebView2NavigationCompletedEventArgs, ICoreWebView2NavigationCompletedEventArgsVtbl>();
    t.get_IsSuccess = [](ICoreWebView2NavigationCompletedEventArgs* self, BOOL* value) -> HRESULT {
      *value = As<CompletedArgs>(self)->success;
      Log("get_IsSuccess -> " + Flag(*value));
      return S_OK;
    };
    t.get_WebErrorStatus = [](ICoreWebView2NavigationCompletedEventArgs* self,
                              COREWEBVIEW2_WEB_ERROR_STATUS* value) -> HRESULT {
      *value = As<CompletedArgs>(self)->success ? COREWEBVIEW2_WEB_ERROR_STATUS_UNKNOWN
                                                : COREWEBVIEW2_WEB_ERROR_STATUS_HOST_NAME_NOT_RESOLVED;
      Log("get_WebErrorStatus -> " + std::to_string(static_cast<int>(*value)));
      return S_OK;
    };
    return t;
  }();
  return &table;
}

const void* KeyTable() {
  static const auto table = [] {
    auto t = StubTable<ICoreWebView2AcceleratorKeyPressedEventArgs, ICoreWebView2AcceleratorKeyPressedEventArgsVtbl>();
    t.get_KeyEventKind = [](ICoreWebView2AcceleratorKeyPressedEventArgs* self,
                            COREWEBVIEW2_KEY_EVENT_KIND* value) -> HRESULT {
      *value = As<KeyArgs>(self)->kind;
      Log("get_KeyEventKind -> " + std::to_string(static_cast<int>(*value)));
      return S_OK;
    };
    t.get_VirtualKey = [](ICoreWebView2AcceleratorKeyPressedEventArgs* self, UINT* value) -> HRESULT {
      *value = As<KeyArgs>(self)->key;
      Log("get_VirtualKey -> " + std::to_string(*value));
      return S_OK;
    };
    t.get_PhysicalKeyStatus = [](ICoreWebView2AcceleratorKeyPressedEventArgs* self,
                                 COREWEBVIEW2_PHYSICAL_KEY_STATUS* value) -> HRESULT {
      const auto* args = As<KeyArgs>(self);
      *value = COREWEBVIEW2_PHYSICAL_KEY_STATUS{};
      value->RepeatCount = 1;
      value->WasKeyDown = args->repeat;
      value->IsKeyReleased = args->kind == COREWEBVIEW2_KEY_EVENT_KIND_KEY_UP ||
                                     args->kind == COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_UP
                                 ? TRUE
                                 : FALSE;
      Log("get_PhysicalKeyStatus -> WasKeyDown " + Flag(args->repeat));
      return S_OK;
    };
    t.put_Handled = [](ICoreWebView2AcceleratorKeyPressedEventArgs* self, BOOL value) -> HRESULT {
      Log("put_Handled " + Flag(value));
      As<KeyArgs>(self)->handled = value;
      return S_OK;
    };
    return t;
  }();
  return &table;
}

constexpr std::array<Known, 2> kMenuArgsInterfaces{
    {{&IID_IUnknown, "IUnknown"},
     {&IID_ICoreWebView2ContextMenuRequestedEventArgs, "ICoreWebView2ContextMenuRequestedEventArgs"}}};
constexpr std::array<Known, 2> kItemsInterfaces{
    {{&IID_IUnknown, "IUnknown"},
     {&IID_ICoreWebView2ContextMenuItemCollection, "ICoreWebView2ContextMenuItemCollection"}}};
constexpr std::array<Known, 2> kTargetInterfaces{
    {{&IID_IUnknown, "IUnknown"}, {&IID_ICoreWebView2ContextMenuTarget, "ICoreWebView2ContextMenuTarget"}}};
constexpr std::array<Known, 2> kStartingInterfaces{
    {{&IID_IUnknown, "IUnknown"},
     {&IID_ICoreWebView2NavigationStartingEventArgs, "ICoreWebView2NavigationStartingEventArgs"}}};
constexpr std::array<Known, 2> kNewWindowInterfaces{
    {{&IID_IUnknown, "IUnknown"},
     {&IID_ICoreWebView2NewWindowRequestedEventArgs, "ICoreWebView2NewWindowRequestedEventArgs"}}};
constexpr std::array<Known, 2> kDownloadInterfaces{
    {{&IID_IUnknown, "IUnknown"},
     {&IID_ICoreWebView2DownloadStartingEventArgs, "ICoreWebView2DownloadStartingEventArgs"}}};
constexpr std::array<Known, 2> kCompletedInterfaces{
    {{&IID_IUnknown, "IUnknown"},
     {&IID_ICoreWebView2NavigationCompletedEventArgs, "ICoreWebView2NavigationCompletedEventArgs"}}};
constexpr std::array<Known, 2> kKeyInterfaces{
    {{&IID_IUnknown, "IUnknown"},
     {&IID_ICoreWebView2AcceleratorKeyPressedEventArgs, "ICoreWebView2AcceleratorKeyPressedEventArgs"}}};

// --------------------------------------------------------------- events

void RaiseNavigationCompleted(bool success) {
  if (webView->navigationCompleted == nullptr) return;
  auto* args = Make<CompletedArgs>(CompletedTable(), "NavigationCompletedEventArgs", kCompletedInterfaces);
  args->success = success ? TRUE : FALSE;
  Log("> NavigationCompleted " + Quote(webView->source) + (success ? " ok" : " fail"));
  webView->navigationCompleted->lpVtbl->Invoke(webView->navigationCompleted, As<ICoreWebView2>(webView),
                                                As<ICoreWebView2NavigationCompletedEventArgs>(args));
  Log("< NavigationCompleted");
  Release(As<ICoreWebView2NavigationCompletedEventArgs>(args));
}

// A navigation as the runtime runs it: starting, and unless cancelled the
// new source and the completion, each from the message loop.
void Navigation(const std::wstring& uri, const std::wstring& source) {
  Later([uri, source] {
    BOOL cancel = FALSE;
    if (webView->navigationStarting != nullptr) {
      auto* args = Make<UriArgs>(NavigationStartingTable(), "NavigationStartingEventArgs", kStartingInterfaces);
      args->uri = uri;
      Log("> NavigationStarting " + Quote(uri));
      webView->navigationStarting->lpVtbl->Invoke(webView->navigationStarting, As<ICoreWebView2>(webView),
                                                  As<ICoreWebView2NavigationStartingEventArgs>(args));
      cancel = args->cancel;
      Log("< NavigationStarting cancel " + Flag(cancel));
      Release(As<ICoreWebView2NavigationStartingEventArgs>(args));
    }
    if (cancel) return;
    std::function<void()> complete = [source] {
      webView->source = source;
      RaiseNavigationCompleted(settings.navigationsSucceed);
    };
    if (holdingCompletions) {
      Log("= navigation held: " + Quote(source));
      heldCompletions.push_back(std::move(complete));
    } else {
      Later(std::move(complete));
    }
  });
}

// A local path as the runtime turns it into an address: file:/// and the
// path with forward slashes, blanks and other bytes outside plain ASCII
// percent-encoded.
std::wstring AddressOf(const std::wstring& uri) {
  const bool drivePath = uri.size() > 2 && uri[1] == L':' && (uri[2] == L'\\' || uri[2] == L'/');
  if (!drivePath) return uri;
  std::wstring address = L"file:///";
  for (unsigned char c : Utf8(uri.data(), uri.size())) {
    if (c == '\\') {
      address += L'/';
    } else if (c <= ' ' || c >= 0x7F || c == '%' || c == '#' || c == '?' || c == '"') {
      wchar_t code[4];
      swprintf(code, 4, L"%%%02X", c);
      address += code;
    } else {
      address += static_cast<wchar_t>(c);
    }
  }
  return address;
}

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::wstring Base64(const std::string& bytes) {
  std::wstring out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
    unsigned value = 0;
    for (size_t j = 0; j < 3; ++j) value = (value << 8) | (j < n ? static_cast<unsigned char>(bytes[i + j]) : 0u);
    for (size_t j = 0; j < 4; ++j) out += j <= n ? static_cast<wchar_t>(kBase64[(value >> (18 - 6 * j)) & 63]) : L'=';
  }
  return out;
}

// ------------------------------------------------------- settings, profile

constexpr std::array<Known, 5> kSettingsInterfaces{{{&IID_IUnknown, "IUnknown"},
                                                    {&IID_ICoreWebView2Settings, "ICoreWebView2Settings"},
                                                    {&IID_ICoreWebView2Settings2, "ICoreWebView2Settings2"},
                                                    {&IID_ICoreWebView2Settings3, "ICoreWebView2Settings3"},
                                                    {&IID_ICoreWebView2Settings4, "ICoreWebView2Settings4"}}};

const void* SettingsTable() {
  static const auto table = [] {
    auto t = StubTable<ICoreWebView2Settings4, ICoreWebView2Settings4Vtbl>();
    t.put_AreDevToolsEnabled = [](ICoreWebView2Settings4*, BOOL v) { return Call("put_AreDevToolsEnabled", Flag(v)); };
    t.put_AreDefaultContextMenusEnabled = [](ICoreWebView2Settings4*, BOOL v) {
      return Call("put_AreDefaultContextMenusEnabled", Flag(v));
    };
    t.put_IsStatusBarEnabled = [](ICoreWebView2Settings4*, BOOL v) { return Call("put_IsStatusBarEnabled", Flag(v)); };
    t.put_AreBrowserAcceleratorKeysEnabled = [](ICoreWebView2Settings4*, BOOL v) {
      return Call("put_AreBrowserAcceleratorKeysEnabled", Flag(v));
    };
    t.put_IsPasswordAutosaveEnabled = [](ICoreWebView2Settings4*, BOOL v) {
      return Call("put_IsPasswordAutosaveEnabled", Flag(v));
    };
    t.put_IsGeneralAutofillEnabled = [](ICoreWebView2Settings4*, BOOL v) {
      return Call("put_IsGeneralAutofillEnabled", Flag(v));
    };
    return t;
  }();
  return &table;
}

constexpr std::array<Known, 3> kProfileInterfaces{{{&IID_IUnknown, "IUnknown"},
                                                   {&IID_ICoreWebView2Profile, "ICoreWebView2Profile"},
                                                   {&IID_ICoreWebView2Profile2, "ICoreWebView2Profile2"}}};

// Clearing finishes later, through the message loop, with the status the script gives.
HRESULT Clear(const char* method, const std::string& arguments, ICoreWebView2ClearBrowsingDataCompletedHandler* h) {
  const HRESULT result = Call(method, arguments);
  if (result != S_OK || h == nullptr) return result;
  AddRef(h);
  Later([h, method] {
    Log(std::string("> ") + method + " completed " + Hex(settings.clearStatus));
    h->lpVtbl->Invoke(h, settings.clearStatus);
    Log(std::string("< ") + method + " completed");
    Release(h);
  });
  return S_OK;
}

const void* ProfileTable() {
  static const auto table = [] {
    auto t = StubTable<ICoreWebView2Profile2, ICoreWebView2Profile2Vtbl>();
    t.ClearBrowsingData = [](ICoreWebView2Profile2*, COREWEBVIEW2_BROWSING_DATA_KINDS kinds,
                             ICoreWebView2ClearBrowsingDataCompletedHandler* h) {
      return Clear("ClearBrowsingData", std::to_string(static_cast<int>(kinds)), h);
    };
    t.ClearBrowsingDataAll = [](ICoreWebView2Profile2*, ICoreWebView2ClearBrowsingDataCompletedHandler* h) {
      return Clear("ClearBrowsingDataAll", {}, h);
    };
    return t;
  }();
  return &table;
}

// --------------------------------------------------------------- web view

constexpr std::array<Known, 14> kWebViewInterfaces{{{&IID_IUnknown, "IUnknown"},
                                                    {&IID_ICoreWebView2, "ICoreWebView2"},
                                                    {&IID_ICoreWebView2_2, "ICoreWebView2_2"},
                                                    {&IID_ICoreWebView2_3, "ICoreWebView2_3"},
                                                    {&IID_ICoreWebView2_4, "ICoreWebView2_4"},
                                                    {&IID_ICoreWebView2_5, "ICoreWebView2_5"},
                                                    {&IID_ICoreWebView2_6, "ICoreWebView2_6"},
                                                    {&IID_ICoreWebView2_7, "ICoreWebView2_7"},
                                                    {&IID_ICoreWebView2_8, "ICoreWebView2_8"},
                                                    {&IID_ICoreWebView2_9, "ICoreWebView2_9"},
                                                    {&IID_ICoreWebView2_10, "ICoreWebView2_10"},
                                                    {&IID_ICoreWebView2_11, "ICoreWebView2_11"},
                                                    {&IID_ICoreWebView2_12, "ICoreWebView2_12"},
                                                    {&IID_ICoreWebView2_13, "ICoreWebView2_13"}}};

// Keeps the handler of an event (one per event is all vistrel adds).
template <class H>
HRESULT Subscribe(const char* method, H*& slot, H* handler, EventRegistrationToken* token) {
  Log(method);
  AddRef(handler);
  Release(slot);
  slot = handler;
  if (token != nullptr) token->value = 1;
  return S_OK;
}

const void* WebViewTable() {
  static const auto table = [] {
    using V = ICoreWebView2_13;
    auto t = StubTable<V, ICoreWebView2_13Vtbl>();
    t.get_Settings = [](V*, ICoreWebView2Settings** value) -> HRESULT {
      Log("get_Settings");
      if (webSettings == nullptr) webSettings = Make<Plain>(SettingsTable(), "Settings", kSettingsInterfaces);
      *value = As<ICoreWebView2Settings>(webSettings);
      AddRef(*value);
      return S_OK;
    };
    t.get_Profile = [](V*, ICoreWebView2Profile** value) -> HRESULT {
      Log("get_Profile");
      if (profile == nullptr) profile = Make<Plain>(ProfileTable(), "Profile", kProfileInterfaces);
      *value = As<ICoreWebView2Profile>(profile);
      AddRef(*value);
      return S_OK;
    };
    t.Navigate = [](V*, LPCWSTR uri) -> HRESULT {
      const HRESULT result = Call("Navigate", Quote(uri));
      if (result == S_OK && uri != nullptr) Navigation(AddressOf(uri), AddressOf(uri));
      return result;
    };
    t.NavigateToString = [](V*, LPCWSTR html) -> HRESULT {
      const HRESULT result = Call("NavigateToString", Quote(html));
      // The page of a string starts as a data address and shows about:blank as its source.
      if (result == S_OK && html != nullptr) {
        Navigation(L"data:text/html;charset=utf-8;base64," + Base64(Utf8(html, wcslen(html))), L"about:blank");
      }
      return result;
    };
    t.get_Source = [](V*, LPWSTR* value) -> HRESULT {
      Log("get_Source -> " + Quote(webView->source));
      *value = TaskString(webView->source);
      return S_OK;
    };
    t.get_DocumentTitle = [](V*, LPWSTR* value) -> HRESULT {
      Log("get_DocumentTitle -> " + Quote(webView->title));
      *value = TaskString(webView->title);
      return S_OK;
    };
    t.get_BrowserProcessId = [](V*, UINT32* value) -> HRESULT {
      *value = browserProcessId;
      Log(std::string("get_BrowserProcessId -> ") + (browserProcessId ? "the browser process" : "0"));
      return S_OK;
    };
    t.put_IsMuted = [](V*, BOOL value) { return Call("put_IsMuted", Flag(value)); };
    t.add_NavigationStarting = [](V*, ICoreWebView2NavigationStartingEventHandler* h, EventRegistrationToken* token) {
      return Subscribe("add_NavigationStarting", webView->navigationStarting, h, token);
    };
    t.add_NavigationCompleted = [](V*, ICoreWebView2NavigationCompletedEventHandler* h,
                                   EventRegistrationToken* token) {
      return Subscribe("add_NavigationCompleted", webView->navigationCompleted, h, token);
    };
    t.add_NewWindowRequested = [](V*, ICoreWebView2NewWindowRequestedEventHandler* h, EventRegistrationToken* token) {
      return Subscribe("add_NewWindowRequested", webView->newWindowRequested, h, token);
    };
    t.add_DocumentTitleChanged = [](V*, ICoreWebView2DocumentTitleChangedEventHandler* h,
                                    EventRegistrationToken* token) {
      return Subscribe("add_DocumentTitleChanged", webView->titleChanged, h, token);
    };
    t.add_DownloadStarting = [](V*, ICoreWebView2DownloadStartingEventHandler* h, EventRegistrationToken* token) {
      return Subscribe("add_DownloadStarting", webView->downloadStarting, h, token);
    };
    t.add_ContextMenuRequested = [](V*, ICoreWebView2ContextMenuRequestedEventHandler* h,
                                    EventRegistrationToken* token) {
      return Subscribe("add_ContextMenuRequested", webView->contextMenuRequested, h, token);
    };
    return t;
  }();
  return &table;
}

// ------------------------------------------------------------- controller

constexpr std::array<Known, 2> kControllerInterfaces{
    {{&IID_IUnknown, "IUnknown"}, {&IID_ICoreWebView2Controller, "ICoreWebView2Controller"}}};

const void* ControllerTable() {
  static const auto table = [] {
    using C = ICoreWebView2Controller;
    auto t = StubTable<C, ICoreWebView2ControllerVtbl>();
    t.get_CoreWebView2 = [](C*, ICoreWebView2** value) -> HRESULT {
      Log("get_CoreWebView2");
      *value = As<ICoreWebView2>(webView);
      AddRef(*value);
      return S_OK;
    };
    t.put_Bounds = [](C*, RECT r) {
      // What the window really has, to compare with.
      RECT client{};
      GetClientRect(parentWindow, &client);
      Log("= client area " + std::to_string(client.left) + " " + std::to_string(client.top) + " " +
          std::to_string(client.right) + " " + std::to_string(client.bottom));
      return Call("put_Bounds", std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.right) +
                                    " " + std::to_string(r.bottom));
    };
    t.put_ZoomFactor = [](C*, double value) {
      char text[32];
      snprintf(text, sizeof text, "%.6f", value);
      return Call("put_ZoomFactor", text);
    };
    t.add_AcceleratorKeyPressed = [](C*, ICoreWebView2AcceleratorKeyPressedEventHandler* h,
                                     EventRegistrationToken* token) {
      return Subscribe("add_AcceleratorKeyPressed", controller->acceleratorKeyPressed, h, token);
    };
    t.Close = [](C*) -> HRESULT {
      const HRESULT result = Call("Close");
      // The browser process goes once its last web view has closed.
      if (browserClosing != nullptr) SetEvent(browserClosing);
      return result;
    };
    return t;
  }();
  return &table;
}

// ------------------------------------------------------------ environment

constexpr std::array<Known, 2> kOptionsInterfaces{
    {{&IID_IUnknown, "IUnknown"}, {&IID_ICoreWebView2ControllerOptions, "ICoreWebView2ControllerOptions"}}};

const void* OptionsTable() {
  static const auto table = [] {
    using O = ICoreWebView2ControllerOptions;
    auto t = StubTable<O, ICoreWebView2ControllerOptionsVtbl>();
    t.put_ProfileName = [](O*, LPCWSTR value) { return Call("put_ProfileName", Quote(value)); };
    t.put_IsInPrivateModeEnabled = [](O*, BOOL value) { return Call("put_IsInPrivateModeEnabled", Flag(value)); };
    return t;
  }();
  return &table;
}

constexpr std::array<Known, 11> kEnvironmentInterfaces{
    {{&IID_IUnknown, "IUnknown"},
     {&IID_ICoreWebView2Environment, "ICoreWebView2Environment"},
     {&IID_ICoreWebView2Environment2, "ICoreWebView2Environment2"},
     {&IID_ICoreWebView2Environment3, "ICoreWebView2Environment3"},
     {&IID_ICoreWebView2Environment4, "ICoreWebView2Environment4"},
     {&IID_ICoreWebView2Environment5, "ICoreWebView2Environment5"},
     {&IID_ICoreWebView2Environment6, "ICoreWebView2Environment6"},
     {&IID_ICoreWebView2Environment7, "ICoreWebView2Environment7"},
     {&IID_ICoreWebView2Environment8, "ICoreWebView2Environment8"},
     {&IID_ICoreWebView2Environment9, "ICoreWebView2Environment9"},
     {&IID_ICoreWebView2Environment10, "ICoreWebView2Environment10"}}};

void StartBrowserProcess();

const void* EnvironmentTable() {
  static const auto table = [] {
    using E = ICoreWebView2Environment10;
    auto t = StubTable<E, ICoreWebView2Environment10Vtbl>();
    t.CreateCoreWebView2ControllerOptions = [](E*, ICoreWebView2ControllerOptions** value) -> HRESULT {
      Log("CreateCoreWebView2ControllerOptions");
      *value = As<ICoreWebView2ControllerOptions>(Make<Plain>(OptionsTable(), "ControllerOptions", kOptionsInterfaces));
      return S_OK;
    };
    t.CreateCoreWebView2ControllerWithOptions = [](E*, HWND parent, ICoreWebView2ControllerOptions* options,
                                                   ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* h) {
      const HRESULT result =
          Call("CreateCoreWebView2ControllerWithOptions",
               std::string(parent == nullptr ? "null" : "window") + (options == nullptr ? " null" : " options"));
      if (result != S_OK || h == nullptr) return result;
      parentWindow = parent;
      if (!IsWindow(parent)) Log("CreateCoreWebView2ControllerWithOptions: the parent window does not exist");
      if (settings.holdController) return S_OK;
      AddRef(h);
      Later([h] {
        controller = Make<Controller>(ControllerTable(), "Controller", kControllerInterfaces);
        webView = Make<WebView>(WebViewTable(), "WebView", kWebViewInterfaces);
        StartBrowserProcess();
        Log("> controller created");
        h->lpVtbl->Invoke(h, S_OK, As<ICoreWebView2Controller>(controller));
        Log("< controller created");
        Release(h);
        ready = true;
      });
      return S_OK;
    };
    t.CreateContextMenuItem = [](ICoreWebView2Environment10*, LPCWSTR label, IStream* icon,
                                 COREWEBVIEW2_CONTEXT_MENU_ITEM_KIND kind,
                                 ICoreWebView2ContextMenuItem** value) -> HRESULT {
      Log("CreateContextMenuItem " + Quote(label) + (icon == nullptr ? " null " : " icon ") +
          std::to_string(static_cast<int>(kind)));
      auto* item = Make<ContextMenuItem>(ItemTable(), "ContextMenuItem", kItemInterfaces);
      item->label = label == nullptr ? L"" : label;
      *value = As<ICoreWebView2ContextMenuItem>(item);
      return S_OK;
    };
    return t;
  }();
  return &table;
}

// ----------------------------------------------------- the browser process

std::wstring ThisLibrary() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisLibrary), &self);
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(self, path, MAX_PATH);
  return path;
}

std::wstring SystemProgram(const wchar_t* name) {
  wchar_t folder[MAX_PATH] = {};
  GetSystemDirectoryW(folder, MAX_PATH);
  return std::wstring(folder) + L"\\" + name;
}

// Like the runtime's browser process: it holds the data folder's lock file
// while it lives and goes a while after its web view has closed.
void StartBrowserProcess() {
  if (!settings.browserProcess) return;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  browserClosing = CreateEventW(&inherit, TRUE, FALSE, nullptr);
  HANDLE parent = nullptr;
  DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &parent, SYNCHRONIZE, TRUE, 0);
  std::wstring line = L"\"" + SystemProgram(L"rundll32.exe") + L"\" \"" + ThisLibrary() + L"\",BrowserProcess " +
                      std::to_wstring(reinterpret_cast<UINT_PTR>(browserClosing)) + L" " +
                      std::to_wstring(reinterpret_cast<UINT_PTR>(parent)) + L" " +
                      std::to_wstring(reinterpret_cast<UINT_PTR>(parentWindow)) + L" " +
                      std::to_wstring(settings.browserLingerMs) + L" \"" + userDataFolder + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
    Log("the browser process did not start: error " + std::to_string(GetLastError()));
    return;
  }
  // It has its lock file before the program learns its id.
  HANDLE started = nullptr;
  for (int i = 0; i < 500 && started == nullptr; ++i) {
    if (GetFileAttributesW((userDataFolder + L"\\EBWebView\\lockfile").c_str()) != INVALID_FILE_ATTRIBUTES) {
      started = process.hProcess;
    } else if (WaitForSingleObject(process.hProcess, 10) == WAIT_OBJECT_0) {
      break;
    }
  }
  if (started == nullptr) Log("the browser process made no lock file");
  browserProcessId = process.dwProcessId;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

void MakeFile(const std::wstring& path, const std::string& text) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

// What an installed runtime leaves in a user data folder on its first run.
void FillUserDataFolder() {
  const std::wstring root = userDataFolder + L"\\EBWebView";
  for (const std::wstring& folder : {userDataFolder, root, root + L"\\Default", root + L"\\Default\\Cache"}) {
    CreateDirectoryW(folder.c_str(), nullptr);
  }
  MakeFile(root + L"\\Local State", "{\"stand-in\":true}\n");
  MakeFile(root + L"\\Default\\Preferences", "{}\n");
  MakeFile(root + L"\\Default\\Cache\\data_0", "cache\n");
  const bool made = GetFileAttributesW((root + L"\\Local State").c_str()) != INVALID_FILE_ATTRIBUTES;
  Log(made ? "= user data folder filled" : "the user data folder could not be filled");
}

// ---------------------------------------------------------- script commands

std::wstring Joined(const std::vector<std::string>& words, size_t from) {
  std::string text;
  for (size_t i = from; i < words.size(); ++i) text += (i > from ? "\t" : "") + words[i];
  return Wide(text);
}

void RaiseMenu(const std::vector<std::string>& words) {
  if (webView->contextMenuRequested == nullptr) return Log("no ContextMenuRequested handler");
  auto* args = Make<ContextMenuArgs>(MenuArgsTable(), "ContextMenuRequestedEventArgs", kMenuArgsInterfaces);
  args->items = Make<ContextMenuItems>(ItemsTable(), "ContextMenuItemCollection", kItemsInterfaces);
  args->target = Make<ContextMenuTarget>(TargetTable(), "ContextMenuTarget", kTargetInterfaces);
  const std::string& kind = words.size() > 1 ? words[1] : "page";
  args->target->hasLink = kind == "link" ? TRUE : FALSE;
  args->target->kind = kind == "image"   ? COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND_IMAGE
                       : kind == "text"  ? COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND_SELECTED_TEXT
                       : kind == "video" ? COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND_VIDEO
                                         : COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND_PAGE;
  const unsigned defaults = words.size() > 2 ? static_cast<unsigned>(strtoul(words[2].c_str(), nullptr, 10)) : 0;
  for (unsigned i = 1; i <= defaults; ++i) {
    auto* item = Make<ContextMenuItem>(ItemTable(), "ContextMenuItem", kItemInterfaces);
    item->label = L"default " + std::to_wstring(i);
    args->items->items.push_back(item);
  }
  Log("> ContextMenuRequested " + kind + " " + std::to_string(defaults));
  webView->contextMenuRequested->lpVtbl->Invoke(webView->contextMenuRequested, As<ICoreWebView2>(webView),
                                                As<ICoreWebView2ContextMenuRequestedEventArgs>(args));
  std::string labels;
  for (const ContextMenuItem* item : args->items->items) labels += " " + Quote(item->label);
  Log("< ContextMenuRequested" + labels);
  if (lastMenu != nullptr) Release(As<ICoreWebView2ContextMenuRequestedEventArgs>(lastMenu));
  lastMenu = args;
}

void SelectItem(const std::wstring& label) {
  ContextMenuItem* found = nullptr;
  if (lastMenu != nullptr) {
    for (ContextMenuItem* item : lastMenu->items->items) {
      if (item->label == label) found = item;
    }
  }
  if (found == nullptr) return Log("no menu item " + Quote(label));
  if (found->selected == nullptr) return Log("menu item " + Quote(label) + " has no handler");
  Log("> CustomItemSelected " + Quote(label));
  found->selected->lpVtbl->Invoke(found->selected, As<ICoreWebView2ContextMenuItem>(found), nullptr);
  Log("< CustomItemSelected");
}

// The modifiers are this thread's key state, which GetKeyState reads.
void RaiseKey(const std::vector<std::string>& words) {
  if (controller->acceleratorKeyPressed == nullptr) return Log("no AcceleratorKeyPressed handler");
  auto* args = Make<KeyArgs>(KeyTable(), "AcceleratorKeyPressedEventArgs", kKeyInterfaces);
  const std::string& kind = words[1];
  args->kind = kind == "up"        ? COREWEBVIEW2_KEY_EVENT_KIND_KEY_UP
               : kind == "sysdown" ? COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_DOWN
               : kind == "sysup"   ? COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_UP
                                   : COREWEBVIEW2_KEY_EVENT_KIND_KEY_DOWN;
  args->key = static_cast<UINT>(strtoul(words[2].c_str(), nullptr, 16));
  BYTE saved[256] = {};
  GetKeyboardState(saved);
  BYTE state[256];
  std::memcpy(state, saved, sizeof state);
  for (size_t i = 3; i < words.size(); ++i) {
    if (words[i] == "repeat") args->repeat = TRUE;
    for (const auto& [name, keys] : std::initializer_list<std::pair<const char*, std::array<int, 3>>>{
             {"ctrl", {VK_CONTROL, VK_LCONTROL, VK_LCONTROL}},
             {"alt", {VK_MENU, VK_LMENU, VK_LMENU}},
             {"shift", {VK_SHIFT, VK_LSHIFT, VK_LSHIFT}}}) {
      if (words[i] == name) {
        for (int key : keys) state[key] = 0x80;
      }
    }
  }
  SetKeyboardState(state);
  Log("> AcceleratorKeyPressed " + kind + " " + words[2] + (args->repeat ? " repeat" : "") +
      (GetKeyState(VK_CONTROL) < 0 ? " ctrl" : "") + (GetKeyState(VK_MENU) < 0 ? " alt" : "") +
      (GetKeyState(VK_SHIFT) < 0 ? " shift" : ""));
  controller->acceleratorKeyPressed->lpVtbl->Invoke(controller->acceleratorKeyPressed,
                                                    As<ICoreWebView2Controller>(controller),
                                                    As<ICoreWebView2AcceleratorKeyPressedEventArgs>(args));
  SetKeyboardState(saved);
  Log("< AcceleratorKeyPressed handled " + Flag(args->handled));
  Release(As<ICoreWebView2AcceleratorKeyPressedEventArgs>(args));
}

void RunCommand(const std::vector<std::string>& words) {
  const std::string& name = words[0];
  const std::wstring rest = Joined(words, 1);
  if (name == "navigate-starting" && words.size() == 2) {
    Navigation(rest, rest);
  } else if (name == "navigation-completed" && words.size() == 3) {
    webView->source = Wide(words[1]);
    RaiseNavigationCompleted(words[2] == "ok");
  } else if (name == "title" && webView->titleChanged != nullptr) {
    webView->title = rest;
    Log("> DocumentTitleChanged " + Quote(rest));
    webView->titleChanged->lpVtbl->Invoke(webView->titleChanged, As<ICoreWebView2>(webView), nullptr);
    Log("< DocumentTitleChanged");
  } else if (name == "window-title") {
    wchar_t title[512] = {};
    GetWindowTextW(parentWindow, title, 512);
    Log("window-title " + Quote(title));
  } else if (name == "new-window" && words.size() == 2 && webView->newWindowRequested != nullptr) {
    auto* args = Make<UriArgs>(NewWindowTable(), "NewWindowRequestedEventArgs", kNewWindowInterfaces);
    args->uri = rest;
    Log("> NewWindowRequested " + Quote(rest));
    webView->newWindowRequested->lpVtbl->Invoke(webView->newWindowRequested, As<ICoreWebView2>(webView),
                                                As<ICoreWebView2NewWindowRequestedEventArgs>(args));
    Log("< NewWindowRequested handled " + Flag(args->handled));
    Release(As<ICoreWebView2NewWindowRequestedEventArgs>(args));
  } else if (name == "download" && words.size() == 2 && webView->downloadStarting != nullptr) {
    auto* args = Make<UriArgs>(DownloadTable(), "DownloadStartingEventArgs", kDownloadInterfaces);
    args->uri = rest;
    Log("> DownloadStarting " + Quote(rest));
    webView->downloadStarting->lpVtbl->Invoke(webView->downloadStarting, As<ICoreWebView2>(webView),
                                              As<ICoreWebView2DownloadStartingEventArgs>(args));
    Log("< DownloadStarting cancel " + Flag(args->cancel));
    Release(As<ICoreWebView2DownloadStartingEventArgs>(args));
  } else if (name == "menu") {
    RaiseMenu(words);
  } else if (name == "select" && words.size() == 2) {
    SelectItem(rest);
  } else if (name == "key" && words.size() >= 3) {
    RaiseKey(words);
  } else if (name == "set-result" && words.size() == 3) {
    settings.results[words[1]] = static_cast<HRESULT>(strtoul(words[2].c_str(), nullptr, 16));
  } else if (name == "hold-completions" && words.size() == 1) {
    holdingCompletions = true;
  } else if (name == "release-completions" && words.size() == 1) {
    holdingCompletions = false;
    for (auto& complete : heldCompletions) Later(std::move(complete));
    heldCompletions.clear();
  } else if (name == "pause" && words.size() == 2) {
    pausedUntil = GetTickCount64() + strtoul(words[1].c_str(), nullptr, 10);
  } else if (name == "resize" && words.size() == 3) {
    Log("> resize " + words[1] + " " + words[2]);
    SetWindowPos(parentWindow, nullptr, 0, 0, atoi(words[1].c_str()), atoi(words[2].c_str()),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  } else if (name == "close-window") {
    Log("> close-window");
    PostMessageW(parentWindow, WM_CLOSE, 0, 0);
  } else if (name == "write-file" && words.size() == 3) {
    MakeFile(Wide(words[1]), words[2]);
    Log("> write-file " + Quote(Wide(words[1])));
  } else if (name == "delete-file" && words.size() == 2) {
    Log("> delete-file " + Quote(rest) + (DeleteFileW(rest.c_str()) ? "" : " failed"));
  } else if (name == "shell-open" && words.size() == 2) {
    // A hand-over of the stand-in's own: once it is recorded, all earlier ones are.
    ShellExecuteW(nullptr, L"open", rest.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    Log("> shell-open " + Quote(rest));
  } else {
    Log("unknown or unusable script command " + Quote(Wide(name)));
  }
}

}  // namespace

// The engine's entry point, as the WebView2 loader calls it.
extern "C" __declspec(dllexport) HRESULT STDMETHODCALLTYPE CreateWebViewEnvironmentWithOptionsInternal(
    bool checkRunningInstance, int runtimeType, PCWSTR userDataFolderPath, IUnknown* environmentOptions,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
  ReadScript();
  const HRESULT result = Call("CreateWebViewEnvironmentWithOptionsInternal",
                              std::string(checkRunningInstance ? "1" : "0") + " " + std::to_string(runtimeType) + " " +
                                  Quote(userDataFolderPath) + (environmentOptions == nullptr ? " null" : " options"));
  if (result != S_OK || handler == nullptr) return result;
  userDataFolder = userDataFolderPath == nullptr ? L"" : userDataFolderPath;
  if (!userDataFolder.empty()) FillUserDataFolder();
  AddRef(handler);
  // Everything comes back through this thread's message loop.
  SetTimer(nullptr, 0, 20, Tick);
  Later([handler] {
    auto* environment = Make<Plain>(EnvironmentTable(), "Environment", kEnvironmentInterfaces);
    Log("> environment created");
    handler->lpVtbl->Invoke(handler, S_OK, As<ICoreWebView2Environment>(environment));
    Log("< environment created");
    Release(handler);
    Release(As<ICoreWebView2Environment>(environment));
  });
  return S_OK;
}

// The browser process, run by rundll32: BrowserProcess CLOSING PARENT WINDOW LINGER_MS "FOLDER".
// It keeps the lock file open, deleted when closed, until the web view has
// closed, its window is gone or the program has ended, and LINGER_MS after.
extern "C" __declspec(dllexport) void CALLBACK BrowserProcessW(HWND, HINSTANCE, LPWSTR line, int) {
  int count = 0;
  LPWSTR* words = CommandLineToArgvW(line, &count);
  if (words == nullptr || count != 5) return;
  const auto closing = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(_wcstoui64(words[0], nullptr, 10)));
  const auto parent = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(_wcstoui64(words[1], nullptr, 10)));
  const auto window = reinterpret_cast<HWND>(static_cast<UINT_PTR>(_wcstoui64(words[2], nullptr, 10)));
  const DWORD lingerMs = static_cast<DWORD>(wcstoul(words[3], nullptr, 10));
  const std::wstring lock = std::wstring(words[4]) + L"\\EBWebView\\lockfile";
  LocalFree(words);
  HANDLE file = CreateFileW(lock.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) Log("browser process: no lock file");
  const HANDLE waits[] = {closing, parent};
  while (WaitForMultipleObjects(2, waits, FALSE, 20) == WAIT_TIMEOUT && IsWindow(window)) {
  }
  Sleep(lingerMs);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  Log("browser process ends");
}

// Records a hand-over to the default handler, as the registered handler of
// the tests' address scheme and file type: Record "FOLDER" "ADDRESS" writes
// the address to a file of its own in the folder.
extern "C" __declspec(dllexport) void CALLBACK RecordW(HWND, HINSTANCE, LPWSTR line, int) {
  int count = 0;
  LPWSTR* words = CommandLineToArgvW(line, &count);
  if (words == nullptr || count != 2) return;
  const std::wstring folder = words[0];
  const std::string address = Utf8(words[1], wcslen(words[1]));
  LocalFree(words);
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring name = folder + L"\\" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                            std::to_wstring(GetTickCount64()) + L".txt";
  MakeFile(name + L".part", address);
  // Renamed when whole, so that a reader never sees half a record.
  MoveFileW((name + L".part").c_str(), name.c_str());
}
