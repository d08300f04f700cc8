// A platform that answers from fields and logs one line per call that asks for something done (plain reads make
// none), and the runtime's event arguments the handlers read. Native builds only (STDMETHODCALLTYPE is empty).
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/options.h"
#include "run/host_state.h"
#include "seam/platform.h"

namespace vistrel::fakes {

inline std::vector<std::string> calls;
inline std::deque<std::function<void()>> posted;  // work posted to the window, run by Drain()
inline const WindowHandle kWindow = reinterpret_cast<WindowHandle>(0x3A1);

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
// The log so far, once the message loop has run what was posted to it.
inline std::vector<std::string> Drain() {
  while (!posted.empty()) {
    const std::function<void()> work = std::move(posted.front());
    posted.pop_front(), work();
  }
  return std::exchange(calls, {});
}

// ---- The runtime's arguments: counted, strings from the task allocator ----------

template <class Interface, const IID* Iid = &IID_IUnknown>
struct Fake : Interface {
  ULONG refs = 1;  // the test's own
  HRESULT QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, *Iid)) return *out = nullptr, E_NOINTERFACE;
    return *out = static_cast<Interface*>(this), AddRef(), S_OK;
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return refs == 0 ? (ADD_FAILURE() << "released once too often", 0) : --refs; }
  ~Fake() { EXPECT_EQ(refs, 1u) << "references not given back"; }
};
inline LPWSTR Allocated(const std::u16string& text) {
  auto* copy = static_cast<char16_t*>(CoTaskMemAlloc((text.size() + 1) * sizeof(char16_t)));
  return reinterpret_cast<LPWSTR>(std::char_traits<char16_t>::copy(copy, text.c_str(), text.size() + 1));
}
template <class Interface, const IID* Iid>
struct UriArgs : Fake<Interface, Iid> {
  std::u16string uri;
  std::optional<BOOL> user;  // none: the runtime cannot say
  HRESULT get_Uri(LPWSTR* v) override { return *v = Allocated(uri), S_OK; }
  HRESULT get_IsUserInitiated(BOOL* v) override { return user ? (*v = *user, S_OK) : E_NOTIMPL; }
};
struct NavigationArgs
    : UriArgs<ICoreWebView2NavigationStartingEventArgs, &IID_ICoreWebView2NavigationStartingEventArgs> {
  HRESULT put_Cancel(BOOL v) override { return Note("put_Cancel", v), S_OK; }
};
struct NewWindowArgs : UriArgs<ICoreWebView2NewWindowRequestedEventArgs, &IID_ICoreWebView2NewWindowRequestedEventArgs> {
  HRESULT put_Handled(BOOL v) override { return Note("put_Handled", v), S_OK; }
};
struct Request : Fake<ICoreWebView2WebResourceRequest, &IID_ICoreWebView2WebResourceRequest> {
  std::u16string uri;
  HRESULT get_Uri(LPWSTR* v) override { return *v = Allocated(uri), S_OK; }
};
struct ResourceArgs : Fake<ICoreWebView2WebResourceRequestedEventArgs, &IID_ICoreWebView2WebResourceRequestedEventArgs> {
  Request request;
  HRESULT get_Request(ICoreWebView2WebResourceRequest** v) override { return request.AddRef(), *v = &request, S_OK; }
  HRESULT put_Response(ICoreWebView2WebResourceResponse* r) override { return Note(__func__, r != nullptr), S_OK; }
};
struct Environment : Fake<ICoreWebView2Environment, &IID_ICoreWebView2Environment> {
  Fake<ICoreWebView2WebResourceResponse> response;
  HRESULT CreateWebResourceResponse(IStream* content, int status, LPCWSTR, LPCWSTR headers,
                                    ICoreWebView2WebResourceResponse** v) override {
    Note(__func__, content != nullptr, status, std::u16string_view(reinterpret_cast<const char16_t*>(headers)));
    return response.AddRef(), *v = &response, S_OK;
  }
};

// ---- The platform ---------------------------------------------------------------

class FakePlatform : public Platform {
 public:
  std::set<std::u16string> paths;  // what exists on disk
  std::map<std::u16string, FileContents> files;
  std::map<std::u16string, uint64_t> writeTimes;
  bool folderInUse = false;
  int deleteFailures = 0;  // failed deletions before one succeeds (-1: all fail)

  uint16_t UserInterfaceLanguage() override { return 1033; }
  std::vector<std::u16string> CommandLineArguments() override { return {u"vistrel"}; }
  int ShowMessageBox(WindowHandle w, const std::u16string& text, const std::u16string&, uint32_t style) override {
    return Note("ShowMessageBox", w, style, text), kAnswerOk;
  }
  void ShowNarrowMessageBox(const std::string&, const std::string&) override { Note(__func__); }
  MessageFontWidths MeasureMessageFont(const std::u16string&) override { return {79, 10}; }
  RegistryString ReadRegistryString(RegistryRoot, const std::u16string&, const std::u16string&) override { return {}; }
  std::optional<uint32_t> ReadRegistryDword(RegistryRoot, const std::u16string&, const std::u16string&) override {
    return std::nullopt;
  }
  std::optional<Rect> WorkArea() override { return Rect{0, 0, 1920, 1040}; }
  ScreenSize PrimaryScreenSize() override { return {2560, 1440}; }
  WindowHandle CreateMainWindow(const std::u16string&, const WindowPlacement&) override { return Note(__func__), kWindow; }
  void SetWindowIcon(WindowHandle, IconHandle) override { Note(__func__); }
  void ShowMainWindow(WindowHandle, bool) override { Note(__func__); }
  void DestroyMainWindow(WindowHandle w) override { Note(__func__, w); }
  Rect ClientRect(WindowHandle) override { return {0, 0, 800, 600}; }
  bool IsActiveWindow(WindowHandle) override { return false; }
  void MoveWindowTo(WindowHandle, const Rect&) override { Note(__func__); }
  void StartTimer(WindowHandle w, uint32_t id, uint32_t ms) override { Note(__func__, w, id, ms); }
  void StopTimer(WindowHandle w, uint32_t id) override { Note(__func__, w, id); }
  bool WatchFile(WindowHandle, const std::u16string&) override { return Note(__func__), true; }
  void RunMessageLoop() override { Note(__func__); }
  void QuitMessageLoop() override { Note(__func__); }
  std::optional<IconLocation> StartupShortcutIconLocation() override { return std::nullopt; }
  std::optional<IconLocation> ProgramIconLocation() override { return std::nullopt; }
  std::u16string ExpandEnvironmentVariables(const std::u16string& text) override { return text; }
  IconHandle ExtractIconFrom(const std::u16string&, int32_t) override { return nullptr; }
  void FreeIcon(IconHandle) override { Note(__func__); }
  bool AbsolutePathsBeginWithSlash() override { return true; }
  bool PathExists(const std::u16string& path) override { return Note(__func__, path), paths.count(path) > 0; }
  std::optional<std::u16string> FullPath(const std::u16string& path) override { return path; }
  FileContents ReadWholeFile(const std::u16string& path, bool shared) override {
    return Note(__func__, path, shared), files.count(path) ? files[path] : FileContents{};
  }
  std::optional<uint64_t> FileWriteTime(const std::u16string& p) override {
    return writeTimes.count(p) ? std::optional(writeTimes[p]) : std::nullopt;
  }
  void DeleteFileAt(const std::u16string& path) override { Note(__func__, path); }
  std::u16string ConvertAnsiText(const std::string& bytes) override {  // Latin-1 stands in for the code page
    return std::u16string(reinterpret_cast<const unsigned char*>(bytes.data()),
                          reinterpret_cast<const unsigned char*>(bytes.data() + bytes.size()));
  }
  std::u16string UserDataFolderPath(KnownFolder f) override {
    return f == KnownFolder::Temp ? u"C:\\Temp\\vistrel" : u"C:\\Local\\vistrel";
  }
  bool DataFolderInUse(const std::u16string& folder) override { return Note(__func__, folder), folderInUse; }
  bool DeleteFolderTree(const std::u16string& folder) override {
    if (Note(__func__, folder); deleteFailures == 0) return paths.erase(folder), true;
    return deleteFailures -= deleteFailures > 0, false;
  }
  void WaitForProcessExit(uint32_t id, uint32_t ms) override { Note(__func__, id, ms); }
  void Pause(uint32_t ms) override { Note(__func__, ms); }
  HRESULT CreateWebViewEnvironment(const std::u16string&,
                                   ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler*) override {
    return Note(__func__), E_FAIL;
  }
  Fake<IStream> stream;
  IStream* CreateMemoryStream(const std::string& bytes) override { return Note(__func__, bytes.size()), stream.AddRef(), &stream; }
  void OpenWithDefaultHandler(const std::u16string& address) override { Note(__func__, address); }
  bool IsKeyDown(uint32_t) override { return false; }
  void PostToWindow(WindowHandle w, std::function<void()> work) override { Note(__func__, w), posted.push_back(std::move(work)); }
  void SetWindowTitle(WindowHandle, const std::u16string&) override { Note(__func__); }
};

// Each test starts with fresh records, English texts and this platform.
class Test : public ::testing::Test {
 protected:
  Test() { InstallPlatform(&platform), languageIndex = kEnglish, hostState.mainWindow = kWindow; }
  ~Test() override { options = {}, hostState = {}, calls.clear(), posted.clear(), InstallPlatform(nullptr); }

  FakePlatform platform;
};

}  // namespace vistrel::fakes
