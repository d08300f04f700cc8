#include "platform/win32/platform_win32.h"

#include <io.h>
#include <objbase.h>
#include <share.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <shobjidl.h>

#include <array>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <deque>
#include <functional>

#include "run/window_procedure.h"

namespace vistrel {

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide strings are UTF-16");

// The metrics record with iPaddedBorderWidth, the size the measurement asks for.
constexpr UINT kNonClientMetricsSize = 504;
static_assert(sizeof(NONCLIENTMETRICSW) == kNonClientMetricsSize, "NONCLIENTMETRICSW must include iPaddedBorderWidth");

std::wstring Wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

std::u16string Utf16(const wchar_t* text, size_t length) { return std::u16string(text, text + length); }

std::u16string Utf16(const wchar_t* text) { return Utf16(text, wcslen(text)); }

std::u16string Utf16(const std::wstring& text) { return Utf16(text.data(), text.size()); }

HKEY RootKey(RegistryRoot root) { return root == RegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

HWND Window(WindowHandle window) { return static_cast<HWND>(window); }

constexpr wchar_t kWindowClass[] = L"vistrel";
// The web runtime's data folder is named after the program's file.
constexpr wchar_t kDataFolderName[] = L"vistrel.exe" L".WebView2";
constexpr wchar_t kLockFile[] = L"\\EBWebView\\lockfile";
constexpr size_t kIconPathUnits = 1024;
constexpr size_t kReadChunkBytes = 64 * 1024;
constexpr size_t kLongestPathUnits = 32768;
// Each message runs the oldest work posted to the window.
constexpr UINT kPostedWorkMessage = WM_APP + 1;
std::deque<std::function<void()>> postedWork;

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      OnMainWindowCreate(window);
      return 0;
    case WM_DESTROY:
      OnMainWindowDestroy(window);
      return 0;
    case WM_SIZE:
      OnMainWindowSize(window, wParam == SIZE_MINIMIZED   ? SizeKind::Minimized
                               : wParam == SIZE_MAXIMIZED ? SizeKind::Maximized
                                                          : SizeKind::Restored);
      return 0;
    case WM_SETFOCUS:
      OnMainWindowFocus(window);
      return 0;
    case WM_MOVE:
    case WM_MOVING:
      OnMainWindowMove(window);
      break;
    case WM_DPICHANGED: {
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      OnMainWindowDpiChanged(window, LOWORD(wParam),
                             Rect{suggested->left, suggested->top, suggested->right, suggested->bottom});
      return 0;
    }
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      if (wParam != FALSE) OnMainWindowEndSession(window);
      return 0;
    case WM_CLOSE:
      OnMainWindowClose(window);
      return 0;
    case WM_GETMINMAXINFO:
      if (const std::optional<int32_t> limit = MaximizedHeightLimit()) {
        reinterpret_cast<MINMAXINFO*>(lParam)->ptMaxSize.y = *limit;
        return 0;
      }
      break;
    case WM_TIMER:
      OnMainWindowTimer(window);
      return 0;
    case kPostedWorkMessage:
      if (!postedWork.empty()) {
        const std::function<void()> work = std::move(postedWork.front());
        postedWork.pop_front();
        work();
      }
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// A variable of the runtime library's environment; empty when unset.
std::wstring EnvironmentValue(const wchar_t* name) {
  size_t size = 0;
  // Only the size counts here: some runtime libraries answer the size query
  // with ERANGE, as for any buffer too small.
  _wgetenv_s(&size, nullptr, 0, name);
  if (size == 0) return {};
  std::wstring value(size, L'\0');
  if (_wgetenv_s(&size, value.data(), value.size(), name) != 0) return {};
  value.resize(wcsnlen(value.data(), value.size()));
  return value;
}

std::wstring KnownLocalAppDataFolder() {
  PWSTR path = nullptr;
  std::wstring folder;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &path)) && path != nullptr) folder = path;
  CoTaskMemFree(path);
  return folder;
}

std::wstring SystemTempFolder() {
  DWORD needed = GetTempPathW(0, nullptr);
  for (int attempt = 0; attempt < 2 && needed != 0; ++attempt) {
    std::wstring folder(needed, L'\0');
    const DWORD written = GetTempPathW(needed, folder.data());
    if (written == 0) break;
    if (written < needed) {
      folder.resize(written);
      // The folder name joins the path with its own separator.
      if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
      return folder;
    }
    needed = written + 1;
  }
  return {};
}

// This program's file, with its whole path; empty when it cannot be had.
std::wstring ProgramPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD written = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (written == 0) return {};
    // A full buffer may hold a cut name: try again with more room.
    if (written < path.size()) {
      path.resize(written);
      break;
    }
    if (path.size() >= kLongestPathUnits) return {};
    path.resize(path.size() * 2);
  }
  return path;
}

// The folder this program was started from, without a final separator.
std::u16string ProgramFolder() {
  const std::wstring path = ProgramPath();
  const size_t separator = path.find_last_of(L'\\');
  return separator == std::wstring::npos ? std::u16string() : Utf16(path.data(), separator);
}

// The runtime's folder as its installation registered it, read in the
// registry's 32-bit view as the SDK's loader reads it; nullopt when absent.
std::optional<std::u16string> RegisteredRuntimeFolder(HKEY root) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, Wide(kRuntimeClientStateKey).c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, &key) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  const std::wstring name = Wide(kRuntimeFolderValue);
  std::optional<std::u16string> folder;
  DWORD size = 0;
  if (RegGetValueW(key, nullptr, name.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &size) == ERROR_SUCCESS) {
    std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
    DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (RegGetValueW(key, nullptr, name.c_str(), RRF_RT_REG_SZ, nullptr, buffer.data(), &bytes) == ERROR_SUCCESS) {
      folder = Utf16(buffer.data(), wcsnlen(buffer.data(), buffer.size()));
    }
  }
  RegCloseKey(key);
  return folder;
}

}  // namespace

uint16_t Win32Platform::UserInterfaceLanguage() { return GetUserDefaultUILanguage(); }

std::vector<std::u16string> Win32Platform::CommandLineArguments() {
  int count = 0;
  LPWSTR* split = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::u16string> arguments;
  if (split == nullptr) return arguments;
  arguments.reserve(static_cast<size_t>(count > 0 ? count : 0));
  for (int i = 0; i < count; ++i) arguments.push_back(Utf16(split[i]));
  LocalFree(split);
  return arguments;
}

int Win32Platform::ShowMessageBox(WindowHandle owner, const std::u16string& text, const std::u16string& caption,
                                  uint32_t style) {
  return MessageBoxW(static_cast<HWND>(owner), Wide(text).c_str(), Wide(caption).c_str(), style);
}

void Win32Platform::ShowNarrowMessageBox(const std::string& text, const std::string& caption) {
  MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK);
}

MessageFontWidths Win32Platform::MeasureMessageFont(const std::u16string& piece) {
  MessageFontWidths widths;
  HDC dc = GetDC(nullptr);
  if (dc == nullptr) return widths;

  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = kNonClientMetricsSize;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, kNonClientMetricsSize, &metrics, 0);
  HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
  HGDIOBJ previous = font != nullptr ? SelectObject(dc, font) : nullptr;

  const std::wstring text = Wide(piece);
  SIZE extent{};
  if (GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent)) widths.pieceWidth = extent.cx;
  ABCFLOAT blank{};
  // A + B first, then C, all in single precision: the sum the widths are defined by.
  if (GetCharABCWidthsFloatW(dc, 32, 32, &blank)) widths.spaceWidth = blank.abcfA + blank.abcfB + blank.abcfC;

  if (previous != nullptr) SelectObject(dc, previous);
  if (font != nullptr) DeleteObject(font);
  ReleaseDC(nullptr, dc);
  return widths;
}

RegistryString Win32Platform::ReadRegistryString(RegistryRoot root, const std::u16string& subkey,
                                                 const std::u16string& valueName) {
  HKEY key = RootKey(root);
  const std::wstring path = Wide(subkey);
  const std::wstring name = Wide(valueName);
  RegistryString result;

  DWORD size = 0;
  if (RegGetValueW(key, path.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &size) != ERROR_SUCCESS) {
    return result;  // Absent
  }
  // One unit more than asked for, so that an odd byte count still fits.
  std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
  DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  if (RegGetValueW(key, path.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, buffer.data(), &bytes) != ERROR_SUCCESS) {
    result.state = RegistryString::State::Unreadable;
    return result;
  }
  size_t length = bytes / sizeof(wchar_t);
  if (length > buffer.size()) length = buffer.size();
  while (length > 0 && buffer[length - 1] == L'\0') --length;
  result.state = RegistryString::State::Present;
  result.text = Utf16(buffer.data(), length);
  return result;
}

std::optional<uint32_t> Win32Platform::ReadRegistryDword(RegistryRoot root, const std::u16string& subkey,
                                                         const std::u16string& valueName) {
  DWORD value = 0;
  DWORD size = sizeof value;
  if (RegGetValueW(RootKey(root), Wide(subkey).c_str(), Wide(valueName).c_str(), RRF_RT_REG_DWORD, nullptr, &value,
                   &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return value;
}

std::optional<Rect> Win32Platform::WorkArea() {
  RECT area{};
  if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0)) return std::nullopt;
  return Rect{area.left, area.top, area.right, area.bottom};
}

ScreenSize Win32Platform::PrimaryScreenSize() {
  return ScreenSize{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

WindowHandle Win32Platform::CreateMainWindow(const std::u16string& title, const WindowPlacement& placement) {
  WNDCLASSW windowClass{};
  windowClass.style = 0;
  windowClass.lpfnWndProc = MainWindowProc;
  windowClass.hInstance = instance_;
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  windowClass.lpszClassName = kWindowClass;
  // A class left from an earlier window of this process serves as well.
  RegisterClassW(&windowClass);
  return CreateWindowExW(0, kWindowClass, Wide(title).c_str(), placement.style, placement.x, placement.y,
                         placement.width, placement.height, nullptr, nullptr, instance_, nullptr);
}

void Win32Platform::SetWindowIcon(WindowHandle window, IconHandle icon) {
  // One icon serves both sizes; the system scales it.
  SendMessageW(Window(window), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  SendMessageW(Window(window), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

void Win32Platform::ShowMainWindow(WindowHandle window, bool maximized) {
  ShowWindow(Window(window), maximized ? SW_MAXIMIZE : showCommand_);
  UpdateWindow(Window(window));
}

void Win32Platform::DestroyMainWindow(WindowHandle window) { DestroyWindow(Window(window)); }

Rect Win32Platform::ClientRect(WindowHandle window) {
  RECT client{};
  GetClientRect(Window(window), &client);
  return Rect{client.left, client.top, client.right, client.bottom};
}

bool Win32Platform::IsActiveWindow(WindowHandle window) { return GetActiveWindow() == Window(window); }

void Win32Platform::MoveWindowTo(WindowHandle window, const Rect& rect) {
  SetWindowPos(Window(window), nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Platform::StartTimer(WindowHandle window, uint32_t id, uint32_t periodMs) {
  SetTimer(Window(window), id, periodMs, nullptr);
}

void Win32Platform::StopTimer(WindowHandle window, uint32_t id) { KillTimer(Window(window), id); }

void Win32Platform::RunMessageLoop() {
  MSG message{};
  for (;;) {
    // A change in the watched file's folder wakes the loop as a message does,
    // so that the file is looked at on this thread, between messages.
    if (folderChange_ != INVALID_HANDLE_VALUE) {
      const DWORD woken = MsgWaitForMultipleObjectsEx(1, &folderChange_, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
      if (woken == WAIT_OBJECT_0) {
        if (FindNextChangeNotification(folderChange_) == FALSE) {
          // No more notices: the timer goes on alone.
          FindCloseChangeNotification(folderChange_);
          folderChange_ = INVALID_HANDLE_VALUE;
        }
        if (IsWindow(watchingWindow_)) OnMainWindowFileChanged(watchingWindow_);
        continue;
      }
      if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) == FALSE) continue;
      if (message.message == WM_QUIT) return;
    } else {
      const BOOL got = GetMessageW(&message, nullptr, 0, 0);
      // 0 is WM_QUIT; -1 is an error that would repeat on every call.
      if (got == 0 || got == -1) return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

bool Win32Platform::WatchFile(WindowHandle window, const std::u16string& path) {
  const std::optional<std::u16string> full = FullPath(path);
  if (!full) return false;
  const size_t separator = full->find_last_of(u"\\/");
  if (separator == std::u16string::npos) return false;
  // Windows tells of changes to a folder, not to one file: a write, and a
  // name coming or going, which is how an editor's save replaces the file.
  const HANDLE change = FindFirstChangeNotificationW(Wide(full->substr(0, separator + 1)).c_str(), FALSE,
                                                     FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE);
  if (change == INVALID_HANDLE_VALUE) return false;
  if (folderChange_ != INVALID_HANDLE_VALUE) FindCloseChangeNotification(folderChange_);
  folderChange_ = change;
  watchingWindow_ = static_cast<HWND>(window);
  return true;
}

void Win32Platform::QuitMessageLoop() { PostQuitMessage(0); }

std::optional<IconLocation> Win32Platform::ProgramIconLocation() {
  const std::wstring path = ProgramPath();
  if (path.empty()) return std::nullopt;
  return IconLocation{Utf16(path.data(), path.size()), 0};
}

std::optional<IconLocation> Win32Platform::StartupShortcutIconLocation() {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  GetStartupInfoW(&startup);
  if ((startup.dwFlags & STARTF_TITLEISLINKNAME) == 0) return std::nullopt;
  // Any step that fails leaves the location empty: the window gets no icon.
  IconLocation location{u"", 0};
  if (startup.lpTitle == nullptr) return location;
  const HRESULT initialised = CoInitialize(nullptr);
  IShellLinkW* link = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&link)))) {
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      std::array<wchar_t, kIconPathUnits> path{};
      int index = 0;
      if (SUCCEEDED(file->Load(startup.lpTitle, STGM_READ)) &&
          SUCCEEDED(link->GetIconLocation(path.data(), static_cast<int>(path.size()), &index))) {
        location = IconLocation{Utf16(path.data(), wcsnlen(path.data(), path.size())), index};
      }
      file->Release();
    }
    link->Release();
  }
  if (SUCCEEDED(initialised)) CoUninitialize();
  return location;
}

std::u16string Win32Platform::ExpandEnvironmentVariables(const std::u16string& text) {
  const std::wstring source = Wide(text);
  DWORD needed = ExpandEnvironmentStringsW(source.c_str(), nullptr, 0);
  // A second try covers a variable that grew between the calls.
  for (int attempt = 0; attempt < 2 && needed != 0; ++attempt) {
    std::wstring expanded(needed, L'\0');
    const DWORD written = ExpandEnvironmentStringsW(source.c_str(), expanded.data(), needed);
    if (written == 0) break;
    if (written <= needed) return Utf16(expanded.data(), wcsnlen(expanded.data(), expanded.size()));
    needed = written;
  }
  // Unexpanded, the path is at least the one the user typed.
  return text;
}

IconHandle Win32Platform::ExtractIconFrom(const std::u16string& path, int32_t index) {
  HICON icon = ExtractIconW(instance_, Wide(path).c_str(), static_cast<UINT>(index));
  // 1 means the file is no executable, library or icon file.
  return reinterpret_cast<uintptr_t>(icon) > 1 ? icon : nullptr;
}

void Win32Platform::FreeIcon(IconHandle icon) { DestroyIcon(static_cast<HICON>(icon)); }

bool Win32Platform::PathExists(const std::u16string& path) { return _waccess_s(Wide(path).c_str(), 0) == 0; }

std::optional<std::u16string> Win32Platform::FullPath(const std::u16string& path) {
  const std::wstring wide = Wide(path);
  DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  // A second try covers a current folder that changed between the calls.
  for (int attempt = 0; attempt < 2 && needed != 0; ++attempt) {
    std::wstring buffer(needed, L'\0');
    const DWORD written = GetFullPathNameW(wide.c_str(), needed, buffer.data(), nullptr);
    if (written == 0) return std::nullopt;
    if (written < needed) return Utf16(buffer.data(), written);
    needed = written;
  }
  return std::nullopt;
}

FileContents Win32Platform::ReadWholeFile(const std::u16string& path, bool shareWithWriters) {
  const std::wstring name = Wide(path);
  FILE* file = nullptr;
  if (shareWithWriters) {
    file = _wfsopen(name.c_str(), L"rb", _SH_DENYNO);
  } else if (_wfopen_s(&file, name.c_str(), L"rb") != 0) {
    file = nullptr;
  }
  FileContents contents;
  if (file == nullptr) return contents;  // OpenFailed
  std::string chunk(kReadChunkBytes, '\0');
  for (;;) {
    const size_t got = fread(chunk.data(), 1, chunk.size(), file);
    contents.bytes.append(chunk.data(), got);
    if (got < chunk.size()) break;
  }
  if (ferror(file)) {
    contents.status = FileContents::Status::ReadFailed;
    contents.bytes.clear();
  } else {
    contents.status = FileContents::Status::Read;
  }
  fclose(file);
  return contents;
}

std::optional<uint64_t> Win32Platform::FileWriteTime(const std::u16string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return (uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
}

void Win32Platform::DeleteFileAt(const std::u16string& path) { DeleteFileW(Wide(path).c_str()); }

std::u16string Win32Platform::ConvertAnsiText(const std::string& bytes) {
  std::u16string text;
  // The conversion counts in int; a file beyond that is converted in parts.
  constexpr size_t kPartBytes = INT_MAX / 2;
  for (size_t start = 0; start < bytes.size(); start += kPartBytes) {
    const int length = static_cast<int>(bytes.size() - start < kPartBytes ? bytes.size() - start : kPartBytes);
    const int units = MultiByteToWideChar(CP_ACP, 0, bytes.data() + start, length, nullptr, 0);
    if (units <= 0) continue;
    std::wstring part(static_cast<size_t>(units), L'\0');
    const int written = MultiByteToWideChar(CP_ACP, 0, bytes.data() + start, length, part.data(), units);
    if (written > 0) text += Utf16(part.data(), static_cast<size_t>(written));
  }
  return text;
}

std::u16string Win32Platform::UserDataFolderPath(KnownFolder where) {
  const bool local = where == KnownFolder::LocalAppData;
  std::wstring base = EnvironmentValue(local ? L"LOCALAPPDATA" : L"TEMP");
  // Without the variable the folder would land at the root of the drive.
  if (base.empty()) base = local ? KnownLocalAppDataFolder() : SystemTempFolder();
  return Utf16(base + L"\\" + kDataFolderName);
}

bool Win32Platform::DataFolderInUse(const std::u16string& folder) {
  return _waccess_s((Wide(folder) + kLockFile).c_str(), 0) == 0;
}

bool Win32Platform::DeleteFolderTree(const std::u16string& folder) {
  // A list of one path, ended by an empty entry.
  std::wstring from = Wide(folder);
  from.append(2, L'\0');
  SHFILEOPSTRUCTW operation{};
  operation.hwnd = nullptr;
  operation.wFunc = FO_DELETE;
  operation.pFrom = from.c_str();
  operation.pTo = nullptr;
  // No recycle bin, no progress, no questions, no error boxes.
  operation.fFlags = static_cast<FILEOP_FLAGS>(FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI);
  return SHFileOperationW(&operation) == 0;
}

void Win32Platform::WaitForProcessExit(uint32_t processId, uint32_t timeoutMs) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
  if (process == nullptr) return;
  WaitForSingleObject(process, timeoutMs);
  CloseHandle(process);
}

void Win32Platform::Pause(uint32_t milliseconds) { Sleep(milliseconds); }

std::vector<RuntimeLibrary> WebViewRuntimeLibraries() {
  return RuntimeLibraries(ProgramFolder(), RegisteredRuntimeFolder(HKEY_LOCAL_MACHINE),
                          RegisteredRuntimeFolder(HKEY_CURRENT_USER));
}

#if defined(VISTREL_WEBVIEW2_SDK)

namespace {

using LoaderEntry = HRESULT(STDMETHODCALLTYPE*)(PCWSTR browserExecutableFolder, PCWSTR userDataFolder,
                                                ICoreWebView2EnvironmentOptions* environmentOptions,
                                                ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler);
using EngineEntry = HRESULT(STDMETHODCALLTYPE*)(bool checkRunningInstance, int runtimeType, PCWSTR userDataFolder,
                                                IUnknown* environmentOptions,
                                                ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler);
constexpr int kInstalledRuntime = 0;

template <class Function>
Function Entry(HMODULE module, const char* name) {
  // Through the generic function type, which converts to any other.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// A library that is missing, damaged or built for another machine only fails
// to load: no system error box, and the program goes on without it.
HMODULE LoadRuntimeLibrary(const RuntimeLibrary& library) {
  DWORD previousMode = 0;
  const BOOL modeSet = SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
  const std::wstring path = Wide(library.path);
  // The engine's own dependencies lie in its folder.
  HMODULE module = library.kind == RuntimeLibrary::Kind::Loader
                       ? LoadLibraryW(path.c_str())
                       : LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (modeSet) SetThreadErrorMode(previousMode, nullptr);
  return module;
}

}  // namespace

// The first library that loads and has its entry point creates the
// environment; it stays loaded, as the runtime's objects live until the
// process ends. Without one nothing is created and the window stays empty.
HRESULT Win32Platform::CreateWebViewEnvironment(const std::u16string& userDataFolder,
                                                ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
  // The runtime answers through this thread's message loop, which it needs
  // to be a single-threaded apartment; it stays one until the process ends.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const std::wstring& dataFolder = dataFolders_.emplace_back(Wide(userDataFolder));
  for (const RuntimeLibrary& library : WebViewRuntimeLibraries()) {
    HMODULE module = LoadRuntimeLibrary(library);
    if (module == nullptr) continue;
    if (library.kind == RuntimeLibrary::Kind::Loader) {
      if (const auto create = Entry<LoaderEntry>(module, "CreateCoreWebView2EnvironmentWithOptions")) {
        return create(nullptr, dataFolder.c_str(), nullptr, handler);
      }
    } else if (const auto create = Entry<EngineEntry>(module, "CreateWebViewEnvironmentWithOptionsInternal")) {
      return create(true, kInstalledRuntime, dataFolder.c_str(), nullptr, handler);
    }
    FreeLibrary(module);
  }
  return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
}

#else  // !VISTREL_WEBVIEW2_SDK

// Talking to the runtime needs its SDK's interface definitions; built
// without them, no environment is created and the window stays as it is.
HRESULT Win32Platform::CreateWebViewEnvironment(const std::u16string&,
                                                ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler*) {
  return E_NOTIMPL;
}

#endif  // VISTREL_WEBVIEW2_SDK

IStream* Win32Platform::CreateMemoryStream(const std::string& bytes) {
  if (bytes.size() > UINT_MAX) return nullptr;
  return SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
}

void Win32Platform::OpenWithDefaultHandler(const std::u16string& address) {
  ShellExecuteW(nullptr, L"open", Wide(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

bool Win32Platform::IsKeyDown(uint32_t virtualKey) { return GetKeyState(static_cast<int>(virtualKey)) < 0; }

void Win32Platform::PostToWindow(WindowHandle window, std::function<void()> work) {
  postedWork.push_back(std::move(work));
  // A window that is gone takes no message: its work is dropped.
  if (!PostMessageW(Window(window), kPostedWorkMessage, 0, 0)) postedWork.pop_back();
}

void Win32Platform::SetWindowTitle(WindowHandle window, const std::u16string& title) {
  SendMessageW(static_cast<HWND>(window), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(title.c_str()));
}

}  // namespace vistrel
