// Calls the Win32 side of the seam directly, for the answers that no message
// box or window of the program shows: full paths beyond 260 units, existence
// tests, the registry reads with their edge cases, environment expansion,
// whole-file reads and sharing, write times, the ANSI code page, the data
// folder's path, lock file and deletion, the wait for a process, and the
// main window's operations in this process. Prints one JSON object (UTF-8):
//   {"checks":[{"name":..., "ok":true|false, "detail":...}, ...]}
// With "--sleep MS" it only sleeps that long: the process the wait checks wait for.
#include <windows.h>

#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/options.h"
#include "run/window_procedure.h"
#include "platform/win32/platform_win32.h"
#include "runtime/handler.h"
#include "rules/runtime_location.h"

#include "json_text.h"

namespace {

using vistrel::RegistryRoot;
using vistrel::RegistryString;

constexpr wchar_t kScratchKey[] = L"Software\\vistrel-platform-check";

std::u16string U16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }
std::wstring Wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

std::wstring Describe(const std::optional<std::u16string>& value) {
  return value ? L"\"" + Wide(*value) + L"\" (" + std::to_wstring(value->size()) + L" units)" : L"nothing";
}

std::wstring Describe(const RegistryString& value) {
  switch (value.state) {
    case RegistryString::State::Absent: return L"Absent";
    case RegistryString::State::Unreadable: return L"Unreadable";
    case RegistryString::State::Present: break;
  }
  return L"Present \"" + Wide(value.text) + L"\" (" + std::to_wstring(value.text.size()) + L" units)";
}

struct Result {
  std::wstring name;
  bool ok = false;
  std::wstring detail;
};

std::wstring CurrentFolder() {
  const DWORD size = GetCurrentDirectoryW(0, nullptr);
  std::wstring folder(size, L'\0');
  folder.resize(GetCurrentDirectoryW(size, folder.data()));
  return folder;
}

// A path of many folders, longer than the classic 260-unit limit.
std::wstring LongRelativePath() {
  std::wstring path;
  for (int i = 0; i < 24; ++i) path += L"folder-number-" + std::to_wstring(100 + i) + L"\\";
  return path + L"page.html";
}

void SetValue(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
  RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), bytes);
}

std::wstring Describe(const std::optional<uint32_t>& value) {
  return value ? std::to_wstring(*value) : L"nothing";
}

std::wstring Describe(const std::optional<uint64_t>& value) {
  return value ? std::to_wstring(*value) : L"nothing";
}

std::wstring Quote(const std::u16string& text) {
  if (text.size() <= 80) return L"\"" + Wide(text) + L"\"";
  return L"\"" + Wide(text.substr(0, 60)) + L"...\" (" + std::to_wstring(text.size()) + L" units)";
}

std::wstring TempFolder() {
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, temp);
  return temp;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

void MakeFolders(const std::wstring& path) {
  for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1)) {
    CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
  }
  CreateDirectoryW(path.c_str(), nullptr);
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// ------------------------------------------------------------------ registry

void CheckRegistryDwords(vistrel::Win32Platform& platform, std::vector<Result>& results) {
  const wchar_t* subkey = L"Software\\vistrel-platform-check-dword";
  RegDeleteTreeW(HKEY_CURRENT_USER, subkey);
  HKEY key = nullptr;
  RegCreateKeyExW(HKEY_CURRENT_USER, subkey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  const DWORD dpi = 144;
  const DWORD largest = 0xFFFFFFFF;
  const DWORD zero = 0;
  const uint64_t wide = 144;
  SetValue(key, L"AppliedDPI", REG_DWORD, &dpi, sizeof dpi);
  SetValue(key, L"largest", REG_DWORD, &largest, sizeof largest);
  SetValue(key, L"zero", REG_DWORD, &zero, sizeof zero);
  SetValue(key, L"text", REG_SZ, L"144", 4 * sizeof(wchar_t));
  SetValue(key, L"qword", REG_QWORD, &wide, sizeof wide);
  SetValue(key, L"binary", REG_BINARY, &dpi, sizeof dpi);
  RegCloseKey(key);
  struct DwordCase {
    const wchar_t* name;
    std::wstring subkey;
    const wchar_t* value;
    std::optional<uint32_t> expected;
  };
  const std::vector<DwordCase> cases = {
      {L"registry DWORD: a value", subkey, L"AppliedDPI", 144u},
      {L"registry DWORD: the largest value", subkey, L"largest", 0xFFFFFFFFu},
      {L"registry DWORD: zero", subkey, L"zero", 0u},
      {L"registry DWORD: a string is no DWORD", subkey, L"text", std::nullopt},
      {L"registry DWORD: a QWORD is no DWORD", subkey, L"qword", std::nullopt},
      {L"registry DWORD: binary bytes are no DWORD", subkey, L"binary", std::nullopt},
      {L"registry DWORD: a missing value", subkey, L"missing", std::nullopt},
      {L"registry DWORD: a missing key", std::wstring(subkey) + L"\\missing", L"AppliedDPI", std::nullopt},
  };
  for (const DwordCase& c : cases) {
    const std::optional<uint32_t> got =
        platform.ReadRegistryDword(vistrel::RegistryRoot::CurrentUser, U16(c.subkey), U16(c.value));
    results.push_back({c.name, got == c.expected, L"got " + Describe(got) + L", expected " + Describe(c.expected)});
  }
  RegDeleteTreeW(HKEY_CURRENT_USER, subkey);
  RegDeleteKeyW(HKEY_CURRENT_USER, subkey);
}

// -------------------------------------------------------------- environment

std::wstring Variable(const wchar_t* name) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return {};
  std::wstring value(size, L'\0');
  value.resize(GetEnvironmentVariableW(name, value.data(), size));
  return value;
}

void CheckExpansion(vistrel::Win32Platform& platform, std::vector<Result>& results) {
  const std::wstring longValue = L"C:\\" + std::wstring(3000, L'x');
  SetEnvironmentVariableW(L"VISTREL_CHECK_LONG", longValue.c_str());
  SetEnvironmentVariableW(L"VISTREL_CHECK_UNSET", nullptr);
  SetEnvironmentVariableW(L"VISTREL_CHECK_WORD", L"Ünïcödé");
  const std::wstring systemRoot = Variable(L"SystemRoot");
  struct ExpandCase {
    const wchar_t* name;
    std::wstring input;
    std::wstring expected;
  };
  const std::vector<ExpandCase> cases = {
      {L"expansion of the default icon's path", L"%SystemRoot%\\System32\\shell32.dll",
       systemRoot + L"\\System32\\shell32.dll"},
      {L"expansion longer than 1024 units is whole", L"%VISTREL_CHECK_LONG%\\app.ico", longValue + L"\\app.ico"},
      {L"expansion of two variables", L"%VISTREL_CHECK_WORD%-%VISTREL_CHECK_WORD%", L"Ünïcödé-Ünïcödé"},
      {L"expansion keeps an unset variable", L"%VISTREL_CHECK_UNSET%\\a.ico", L"%VISTREL_CHECK_UNSET%\\a.ico"},
      {L"expansion of plain text", L"C:\\icons\\app.ico", L"C:\\icons\\app.ico"},
      {L"expansion of nothing", L"", L""},
  };
  for (const ExpandCase& c : cases) {
    const std::u16string got = platform.ExpandEnvironmentVariables(U16(c.input));
    results.push_back({c.name, got == U16(c.expected), L"got " + Quote(got) + L", expected " + Quote(U16(c.expected))});
  }
  SetEnvironmentVariableW(L"VISTREL_CHECK_LONG", nullptr);
  SetEnvironmentVariableW(L"VISTREL_CHECK_WORD", nullptr);
}

// The runtime library's copy of the environment, which the data folder is read from.
void PutVariable(const wchar_t* name, const std::optional<std::wstring>& value) {
  // An empty value removes the variable from both copies of the environment.
  _wputenv_s(name, value ? value->c_str() : L"");
}

void CheckDataFolderPaths(vistrel::Win32Platform& platform, std::vector<Result>& results) {
  const std::wstring temp = Variable(L"TEMP");
  const std::wstring tmp = Variable(L"TMP");
  const std::wstring local = Variable(L"LOCALAPPDATA");
  const std::wstring name = L"\\vistrel.exe.WebView2";
  const std::wstring longFolder = L"C:\\" + std::wstring(2000, L'f');
  struct FolderCase {
    const wchar_t* name;
    vistrel::KnownFolder where;
    const wchar_t* variable;
    std::optional<std::wstring> value;  // nullopt: unset
    std::optional<std::wstring> tmp;    // TMP while the case runs
    std::wstring expected;
  };
  using vistrel::KnownFolder;
  const std::vector<FolderCase> cases = {
      {L"data folder under TEMP", KnownFolder::Temp, L"TEMP", L"C:\\check temp", tmp,
       L"C:\\check temp" + name},
      {L"data folder under TEMP with its separator kept", KnownFolder::Temp, L"TEMP", L"C:\\check temp\\", tmp,
       L"C:\\check temp\\" + name},
      {L"data folder under a TEMP of 2000 units", KnownFolder::Temp, L"TEMP", longFolder, tmp, longFolder + name},
      {L"data folder under a non-ASCII TEMP", KnownFolder::Temp, L"TEMP", L"C:\\tëmp ü", tmp, L"C:\\tëmp ü" + name},
      {L"data folder without TEMP: the system's temporary folder", KnownFolder::Temp, L"TEMP", std::nullopt,
       L"C:\\tmp marker", L"C:\\tmp marker" + name},
      {L"data folder under LOCALAPPDATA", KnownFolder::LocalAppData, L"LOCALAPPDATA", L"D:\\local data", tmp,
       L"D:\\local data" + name},
      {L"data folder without LOCALAPPDATA: the user's local folder", KnownFolder::LocalAppData, L"LOCALAPPDATA",
       std::nullopt, tmp, local + name},
  };
  for (const FolderCase& c : cases) {
    PutVariable(c.variable, c.value);
    PutVariable(L"TMP", c.tmp);
    const std::u16string got = platform.UserDataFolderPath(c.where);
    results.push_back({c.name, got == U16(c.expected), L"got " + Quote(got) + L", expected " + Quote(U16(c.expected))});
  }
  PutVariable(L"TEMP", temp);
  PutVariable(L"TMP", tmp);
  PutVariable(L"LOCALAPPDATA", local);
}

// -------------------------------------------------------------------- files

void CheckFiles(vistrel::Win32Platform& platform, std::vector<Result>& results) {
  using Status = vistrel::FileContents::Status;
  const std::wstring folder = TempFolder() + L"vistrel check files";
  MakeFolders(folder);
  std::string large;
  for (int i = 0; large.size() < 300000; ++i) large += "line " + std::to_string(i) + "\r\n";
  const std::string special("<p>a\r\nb\x1a\x00c\xff\xfe\r</p>", 19);
  const std::wstring specialFile = folder + L"\\special bytes.html";
  const std::wstring largeFile = folder + L"\\large.html";
  const std::wstring emptyFile = folder + L"\\empty.html";
  const std::wstring writtenFile = folder + L"\\written elsewhere.html";
  const std::wstring lockedFile = folder + L"\\locked.html";
  WriteBytes(specialFile, special);
  WriteBytes(largeFile, large);
  WriteBytes(emptyFile, "");
  WriteBytes(writtenFile, "<p>saved</p>");
  WriteBytes(lockedFile, "<p>locked</p>");
  // One program writing the file and letting others in; another allowing nobody.
  HANDLE writer = CreateFileW(writtenFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  HANDLE locker = CreateFileW(lockedFile.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  struct ReadCase {
    const wchar_t* name;
    std::wstring path;
    bool shared;
    Status status;
    std::string bytes;
  };
  const std::vector<ReadCase> cases = {
      {L"read: bytes arrive unchanged (CR LF, Ctrl-Z, NUL, high bytes)", specialFile, false, Status::Read, special},
      {L"read with sharing: bytes arrive unchanged", specialFile, true, Status::Read, special},
      {L"read: a file of 300000 bytes whole", largeFile, false, Status::Read, large},
      {L"read: an empty file", emptyFile, false, Status::Read, ""},
      {L"read: a missing file does not open", folder + L"\\missing.html", false, Status::OpenFailed, ""},
      {L"read: a folder does not open", folder, false, Status::OpenFailed, ""},
      {L"read with sharing: a file another program writes", writtenFile, true, Status::Read, "<p>saved</p>"},
      {L"read: a file another program locks does not open", lockedFile, false, Status::OpenFailed, ""},
      {L"read with sharing: a file another program locks does not open", lockedFile, true, Status::OpenFailed, ""},
  };
  auto describe = [](Status status, const std::string& bytes) {
    const wchar_t* names[] = {L"Read", L"OpenFailed", L"ReadFailed"};
    return std::wstring(names[static_cast<int>(status)]) + L" with " + std::to_wstring(bytes.size()) + L" bytes";
  };
  for (const ReadCase& c : cases) {
    const vistrel::FileContents got = platform.ReadWholeFile(U16(c.path), c.shared);
    const bool ok = got.status == c.status && got.bytes == c.bytes;
    results.push_back({c.name, ok, L"got " + describe(got.status, got.bytes) + L", expected " +
                                       describe(c.status, c.bytes)});
  }
  if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
  if (locker != INVALID_HANDLE_VALUE) CloseHandle(locker);

  // Write times, set here to values far apart.
  struct TimeCase {
    const wchar_t* name;
    uint64_t time;
  };
  const std::vector<TimeCase> times = {
      {L"write time of a file set to 2001", 126227808000000000ull},
      {L"write time of a file set to 2038 and later", 137919572470000000ull + 12345ull},
  };
  for (const TimeCase& c : times) {
    HANDLE file = CreateFileW(emptyFile.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    FILETIME stamp{static_cast<DWORD>(c.time & 0xFFFFFFFF), static_cast<DWORD>(c.time >> 32)};
    SetFileTime(file, nullptr, nullptr, &stamp);
    CloseHandle(file);
    const std::optional<uint64_t> got = platform.FileWriteTime(U16(emptyFile));
    results.push_back({c.name, got == c.time, L"got " + Describe(got) + L", expected " + std::to_wstring(c.time)});
  }
  const std::optional<uint64_t> missingTime = platform.FileWriteTime(U16(folder + L"\\missing.html"));
  results.push_back({L"write time of a missing file", !missingTime, L"got " + Describe(missingTime)});

  platform.DeleteFileAt(U16(emptyFile));
  results.push_back(
      {L"DeleteFileAt removes the file", !Exists(emptyFile), Exists(emptyFile) ? L"still there" : L"gone"});
  platform.DeleteFileAt(U16(emptyFile));
  results.push_back({L"DeleteFileAt of a missing file leaves the rest", Exists(largeFile),
                     Exists(largeFile) ? L"others stay" : L"another file went"});
  for (const std::wstring& path : {specialFile, largeFile, writtenFile, lockedFile}) DeleteFileW(path.c_str());
  RemoveDirectoryW(folder.c_str());
}

void CheckAnsiText(vistrel::Win32Platform& platform, std::vector<Result>& results) {
  struct AnsiCase {
    const wchar_t* name;
    std::string bytes;
    std::u16string expected;
  };
  // Windows-1252, the ANSI code page of an English system.
  const std::vector<AnsiCase> cases = {
      {L"ANSI text: ASCII", "<p>plain</p>\n", u"<p>plain</p>\n"},
      {L"ANSI text: Latin letters", "caf\xe9 \xfc", u"café ü"},
      {L"ANSI text: the euro sign of 1252", "\x80 5", u"€ 5"},
      {L"ANSI text: a NUL inside is kept", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
      {L"ANSI text: UTF-8 bytes stay bytes", "\xc3\xa9", u"Ã©"},
      {L"ANSI text: nothing", "", u""},
      {L"ANSI text: 3000000 bytes", std::string(3000000, 'a'), std::u16string(3000000, u'a')},
  };
  const UINT codePage = GetACP();
  for (const AnsiCase& c : cases) {
    const std::u16string got = platform.ConvertAnsiText(c.bytes);
    results.push_back({c.name, codePage == 1252 && got == c.expected,
                       L"code page " + std::to_wstring(codePage) + L", got " + Quote(got) + L", expected " +
                           Quote(c.expected)});
  }
}

// ------------------------------------------------------------- data folders

void CheckDataFolders(vistrel::Win32Platform& platform, std::vector<Result>& results) {
  const std::wstring base = TempFolder() + L"vistrel check folders";
  const std::wstring busy = base + L"\\busy";
  const std::wstring idle = base + L"\\idle";
  const std::wstring lockAtTop = base + L"\\lock at the top";
  MakeFolders(busy + L"\\EBWebView");
  WriteBytes(busy + L"\\EBWebView\\lockfile", "");
  MakeFolders(idle + L"\\EBWebView");
  WriteBytes(idle + L"\\EBWebView\\LOCK", "");
  MakeFolders(lockAtTop);
  WriteBytes(lockAtTop + L"\\lockfile", "");
  struct InUseCase {
    const wchar_t* name;
    std::wstring folder;
    bool expected;
  };
  const std::vector<InUseCase> inUse = {
      {L"folder in use: the runtime's lock file", busy, true},
      {L"folder in use: other files only", idle, false},
      {L"folder in use: a lock file outside EBWebView", lockAtTop, false},
      {L"folder in use: a missing folder", base + L"\\missing", false},
  };
  for (const InUseCase& c : inUse) {
    const bool got = platform.DataFolderInUse(U16(c.folder));
    results.push_back({c.name, got == c.expected, got ? L"in use" : L"not in use"});
  }

  // Deletion of a tree: everything below goes, a neighbour with a longer name stays.
  const std::wstring tree = base + L"\\vistrel.exe.WebView2";
  const std::wstring neighbour = base + L"\\vistrel.exe.WebView2 other";
  MakeFolders(tree + L"\\EBWebView\\Default\\Cache dir ü");
  WriteBytes(tree + L"\\EBWebView\\Default\\Cache dir ü\\data_0", "cache");
  WriteBytes(tree + L"\\Local State", "{}");
  MakeFolders(neighbour);
  WriteBytes(neighbour + L"\\keep", "keep");
  const bool deleted = platform.DeleteFolderTree(U16(tree));
  results.push_back({L"DeleteFolderTree removes a tree", deleted && !Exists(tree),
                     std::wstring(deleted ? L"reported done" : L"reported failure") +
                         (Exists(tree) ? L", still there" : L", gone")});
  results.push_back({L"DeleteFolderTree leaves a neighbour alone", Exists(neighbour + L"\\keep"),
                     Exists(neighbour + L"\\keep") ? L"neighbour stays" : L"neighbour went"});
  const bool missing = platform.DeleteFolderTree(U16(base + L"\\missing"));
  results.push_back({L"DeleteFolderTree of a missing folder fails", !missing, missing ? L"reported done" : L"failed"});
  // A file held open by another program keeps its folder.
  MakeFolders(tree);
  WriteBytes(tree + L"\\held", "held");
  HANDLE held = CreateFileW((tree + L"\\held").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  const bool heldDeleted = platform.DeleteFolderTree(U16(tree));
  results.push_back({L"DeleteFolderTree fails while a file in it is open", !heldDeleted && Exists(tree + L"\\held"),
                     std::wstring(heldDeleted ? L"reported done" : L"reported failure") +
                         (Exists(tree + L"\\held") ? L", file stays" : L", file gone")});
  if (held != INVALID_HANDLE_VALUE) CloseHandle(held);

  SHFILEOPSTRUCTW cleanup{};
  const std::wstring from = base + std::wstring(2, L'\0');
  cleanup.wFunc = FO_DELETE;
  cleanup.pFrom = from.c_str();
  cleanup.fFlags = static_cast<FILEOP_FLAGS>(FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI);
  SHFileOperationW(&cleanup);
}

// ---------------------------------------------------------------- processes

std::optional<PROCESS_INFORMATION> StartSleeper(DWORD milliseconds) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring line = L"\"" + std::wstring(self) + L"\" --sleep " + std::to_wstring(milliseconds);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(self, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return std::nullopt;
  }
  CloseHandle(process.hThread);
  return process;
}

void CheckProcessWait(vistrel::Win32Platform& platform, std::vector<Result>& results) {
  struct WaitCase {
    const wchar_t* name;
    DWORD sleeps;
    uint32_t timeout;
    bool endedAfter;
  };
  const std::vector<WaitCase> cases = {
      {L"wait for a process that ends within the time", 300, 60000, true},
      {L"wait gives up on a process that outlasts the time", 60000, 200, false},
  };
  for (const WaitCase& c : cases) {
    const std::optional<PROCESS_INFORMATION> child = StartSleeper(c.sleeps);
    if (!child) {
      results.push_back({c.name, false, L"could not start the process"});
      continue;
    }
    platform.WaitForProcessExit(child->dwProcessId, c.timeout);
    const bool ended = WaitForSingleObject(child->hProcess, 0) == WAIT_OBJECT_0;
    results.push_back({c.name, ended == c.endedAfter, ended ? L"ended" : L"still running"});
    TerminateProcess(child->hProcess, 0);
    CloseHandle(child->hProcess);
  }
}

// -------------------------------------------------------------------- icons

std::string IconFileBytes() {
  const int size = 32;
  std::string image(40, '\0');
  const int32_t header[] = {40, size, size * 2};
  memcpy(image.data(), header, sizeof header);
  image[12] = 1;   // planes
  image[14] = 32;  // bits per pixel
  for (int i = 0; i < size * size; ++i) image += std::string("\x20\x80\xe0\xff", 4);
  image += std::string(4 * size, '\0');  // AND mask: nothing transparent
  std::string file("\0\0\1\0\1\0", 6);
  const uint32_t bytes = static_cast<uint32_t>(image.size());
  const uint32_t offset = 22;
  file += std::string("\x20\x20\0\0\1\0\x20\0", 8);
  file.append(reinterpret_cast<const char*>(&bytes), 4);
  file.append(reinterpret_cast<const char*>(&offset), 4);
  return file + image;
}

void CheckIcons(vistrel::Win32Platform& platform, std::vector<Result>& results) {
  const std::wstring folder = TempFolder() + L"vistrel check icons";
  MakeFolders(folder);
  const std::wstring iconFile = folder + L"\\orange.ico";
  const std::wstring textFile = folder + L"\\page.html";
  WriteBytes(iconFile, IconFileBytes());
  WriteBytes(textFile, "<p>no icon</p>");
  struct IconCase {
    const wchar_t* name;
    std::wstring path;
    int32_t index;
    bool expected;
  };
  const std::vector<IconCase> cases = {
      {L"icon of an icon file", iconFile, 0, true},
      {L"icon: an icon file holds one icon", iconFile, 1, false},
      {L"icon of a file holding none", textFile, 0, false},
      {L"icon of a missing file", folder + L"\\missing.ico", 0, false},
  };
  for (const IconCase& c : cases) {
    const vistrel::IconHandle icon = platform.ExtractIconFrom(U16(c.path), c.index);
    ICONINFO info{};
    const bool usable = icon != nullptr && GetIconInfo(static_cast<HICON>(icon), &info);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    bool freed = true;
    if (icon != nullptr) {
      platform.FreeIcon(icon);
      ICONINFO after{};
      freed = !GetIconInfo(static_cast<HICON>(icon), &after);
    }
    const bool ok = (icon != nullptr) == c.expected && (icon == nullptr || (usable && freed));
    results.push_back({c.name, ok,
                       std::wstring(icon == nullptr ? L"no icon" : usable ? L"an icon" : L"an unusable handle") +
                           (icon != nullptr && !freed ? L", not freed" : L"")});
  }
  DeleteFileW(iconFile.c_str());
  DeleteFileW(textFile.c_str());
  RemoveDirectoryW(folder.c_str());

  const std::optional<vistrel::IconLocation> shortcut = platform.StartupShortcutIconLocation();
  results.push_back({L"not started from a shortcut: no shortcut icon", !shortcut,
                     shortcut ? L"got \"" + Wide(shortcut->path) + L"\"" : L"nothing"});
}

// ------------------------------------------------------------------ windows

struct SeenBox {
  std::wstring title;
  std::wstring text;
  HWND owner = nullptr;
};

// Finds this process's message box, reads it and presses its OK button.
void AnswerBox(SeenBox& seen) {
  const DWORD until = GetTickCount() + 10000;
  while (static_cast<LONG>(GetTickCount() - until) < 0) {
    HWND box = nullptr;
    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
          DWORD process = 0;
          GetWindowThreadProcessId(window, &process);
          wchar_t name[16] = {};
          GetClassNameW(window, name, 16);
          if (process == GetCurrentProcessId() && IsWindowVisible(window) && wcscmp(name, L"#32770") == 0) {
            *reinterpret_cast<HWND*>(context) = window;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&box));
    if (box != nullptr) {
      wchar_t buffer[512] = {};
      GetWindowTextW(box, buffer, 512);
      seen.title = buffer;
      buffer[0] = L'\0';
      GetDlgItemTextW(box, 0xFFFF, buffer, 512);
      seen.text = buffer;
      seen.owner = GetWindow(box, GW_OWNER);
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
      return;
    }
    Sleep(15);
  }
}

// Ends a message loop that nothing else ends, so that a window procedure
// that fails to quit shows as a failed check rather than a hang.
void CALLBACK EndStuckLoop(HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(1); }

// Runs the program's message loop, with the safety net above.
void RunLoop(vistrel::Win32Platform& platform) {
  const UINT_PTR safety = SetTimer(nullptr, 0, 5000, EndStuckLoop);
  platform.RunMessageLoop();
  KillTimer(nullptr, safety);
}

bool TimerArrives(HWND window, UINT_PTR id, DWORD withinMs) {
  const DWORD until = GetTickCount() + withinMs;
  MSG message{};
  while (static_cast<LONG>(GetTickCount() - until) < 0) {
    while (PeekMessageW(&message, window, WM_TIMER, WM_TIMER, PM_REMOVE)) {
      if (message.wParam == id) return true;
    }
    Sleep(10);
  }
  return false;
}

void CheckWindows(vistrel::Win32Platform& platform, std::vector<Result>& results) {
  vistrel::InstallPlatform(&platform);
  vistrel::options = vistrel::Options{};
  const vistrel::WindowPlacement placement{100, 120, 640, 480, 0x00CF0000, false};
  const std::u16string title = u"Fenster – ウィンドウ";
  HWND window = static_cast<HWND>(platform.CreateMainWindow(title, placement));
  wchar_t name[32] = {};
  GetClassNameW(window, name, 32);
  wchar_t text[64] = {};
  GetWindowTextW(window, text, 64);
  RECT rect{};
  GetWindowRect(window, &rect);
  const DWORD style = static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE));
  results.push_back({L"window: class, title, rectangle and style as asked",
                     window != nullptr && std::wstring(name) == L"vistrel" && U16(text) == title &&
                         rect.left == 100 && rect.top == 120 && rect.right == 740 && rect.bottom == 600 &&
                         (style & 0xC0CF0000) == 0x00CF0000 && !(style & WS_VISIBLE),
                     L"class " + std::wstring(name) + L", title " + text + L", at " + std::to_wstring(rect.left) +
                         L"," + std::to_wstring(rect.top) + L" to " + std::to_wstring(rect.right) + L"," +
                         std::to_wstring(rect.bottom) + L", style " + std::to_wstring(style)});

  // The client area is the window less the frame this style has.
  RECT frame{0, 0, 0, 0};
  AdjustWindowRectEx(&frame, placement.style, FALSE, static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)));
  const vistrel::Rect client = platform.ClientRect(window);
  const vistrel::Rect expectedClient{0, 0, 640 - (frame.right - frame.left), 480 - (frame.bottom - frame.top)};
  results.push_back({L"window: client rectangle", client == expectedClient,
                     L"got " + std::to_wstring(client.right) + L"x" + std::to_wstring(client.bottom) +
                         L", expected " + std::to_wstring(expectedClient.right) + L"x" +
                         std::to_wstring(expectedClient.bottom)});

  HICON icon = LoadIconW(nullptr, IDI_WARNING);
  platform.SetWindowIcon(window, icon);
  const auto big = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_BIG, 0));
  const auto small = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_SMALL, 0));
  results.push_back({L"window: one icon for both sizes", big == icon && small == icon,
                     std::wstring(big == icon ? L"big set" : L"big not set") +
                         (small == icon ? L", small set" : L", small not set")});

  platform.ShowMainWindow(window, false);
  results.push_back({L"window: shown with the start-up command", IsWindowVisible(window) && !IsZoomed(window),
                     std::wstring(IsWindowVisible(window) ? L"visible" : L"hidden") +
                         (IsZoomed(window) ? L", maximised" : L"")});

  platform.StartTimer(window, 7, 20);
  const bool ticked = TimerArrives(window, 7, 3000);
  platform.StopTimer(window, 7);
  MSG drained{};
  while (PeekMessageW(&drained, window, WM_TIMER, WM_TIMER, PM_REMOVE)) {
  }
  const bool tickedAfterStop = TimerArrives(window, 7, 300);
  results.push_back({L"window: a timer ticks until it is stopped", ticked && !tickedAfterStop,
                     std::wstring(ticked ? L"ticked" : L"never ticked") +
                         (tickedAfterStop ? L", ticked after the stop" : L", quiet after the stop")});

  // The maximised height: a fixed window's limit, else the system's.
  struct LimitCase {
    const wchar_t* name;
    bool fixedSize;
  };
  RECT area{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  for (const LimitCase& c : {LimitCase{L"window: a fixed window's maximised height", true},
                             LimitCase{L"window: a resizable window keeps the system's maximised height", false}}) {
    vistrel::options.fixedSize = c.fixedSize;
    MINMAXINFO system{};
    DefWindowProcW(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&system));
    MINMAXINFO got = system;
    SendMessageW(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&got));
    const LONG expected = c.fixedSize ? area.bottom - area.top + 16 : system.ptMaxSize.y;
    const bool ok = got.ptMaxSize.y == expected && got.ptMaxSize.x == system.ptMaxSize.x &&
                    got.ptMaxTrackSize.y == system.ptMaxTrackSize.y;
    results.push_back({c.name, ok, L"height " + std::to_wstring(got.ptMaxSize.y) + L", expected " +
                                       std::to_wstring(expected)});
  }
  vistrel::options.fixedSize = false;

  // A fatal message: a box owned by the window, then the window and the loop end.
  SeenBox seen;
  std::thread answer(AnswerBox, std::ref(seen));
  const std::wstring fatal = L"Navigation failed – ナビゲーション";
  SendMessageW(window, vistrel::kFatalMessage, 0, reinterpret_cast<LPARAM>(fatal.c_str()));
  answer.join();
  const bool gone = !IsWindow(window);
  results.push_back({L"window: a fatal message shows its text in an owned box",
                     seen.text == fatal && seen.title == L"vistrel" && seen.owner == window,
                     L"box \"" + seen.title + L"\": \"" + seen.text + L"\"" +
                         (seen.owner == window ? L", owned" : L", not owned by the window")});
  RunLoop(platform);  // returns once the destroyed window's quit message arrives
  results.push_back({L"window: a fatal message destroys the window and ends the loop", gone,
                     gone ? L"destroyed" : L"still there"});

  // Closing: WM_CLOSE destroys the window and the loop ends.
  const vistrel::WindowPlacement maximised{0, 0, 300, 200, 0x00CA0000, true};
  HWND second = static_cast<HWND>(platform.CreateMainWindow(u"second", maximised));
  platform.ShowMainWindow(second, true);
  results.push_back({L"window: shown maximised", IsZoomed(second) != FALSE,
                     IsZoomed(second) ? L"maximised" : L"not maximised"});
  PostMessageW(second, WM_CLOSE, 0, 0);
  RunLoop(platform);
  results.push_back({L"window: closing ends the message loop", !IsWindow(second),
                     IsWindow(second) ? L"still there" : L"destroyed"});
  vistrel::InstallPlatform(nullptr);
}

void CheckScreen(vistrel::Win32Platform& platform, std::vector<Result>& results) {
  RECT desktop{};
  GetWindowRect(GetDesktopWindow(), &desktop);
  const vistrel::ScreenSize screen = platform.PrimaryScreenSize();
  results.push_back({L"screen size is the desktop's",
                     screen.width == desktop.right - desktop.left && screen.height == desktop.bottom - desktop.top,
                     std::to_wstring(screen.width) + L"x" + std::to_wstring(screen.height)});
}

// ------------------------------------------------------------ web runtime

using vistrel::RuntimeLibrary;

constexpr wchar_t kRuntimeFolderValue[] = L"EBWebView";

std::wstring Describe(const std::vector<RuntimeLibrary>& libraries) {
  std::wstring text = L"[";
  for (const RuntimeLibrary& library : libraries) {
    if (text.size() > 1) text += L", ";
    text += library.kind == RuntimeLibrary::Kind::Loader ? L"loader " : L"engine ";
    text += Wide(library.path);
  }
  return text + L"]";
}

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH + 1);
  std::wstring folder = path;
  return folder.substr(0, folder.find_last_of(L'\\'));
}

// The runtime's folder registration as an installation writes it: under the
// machine's root in one registry view, or under the user's; nullopt removes it.
void RegisterRuntimeFolder(HKEY root, REGSAM view, const std::optional<std::wstring>& folder, DWORD type = REG_SZ) {
  const std::wstring subkey = Wide(vistrel::kRuntimeClientStateKey);
  if (!folder) {
    RegDeleteKeyExW(root, subkey.c_str(), view, 0);
    return;
  }
  HKEY key = nullptr;
  if (RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return;
  }
  if (type == REG_DWORD) {
    const DWORD number = 1;
    SetValue(key, kRuntimeFolderValue, REG_DWORD, &number, sizeof number);
  } else {
    const auto bytes = static_cast<DWORD>((folder->size() + 1) * sizeof(wchar_t));
    SetValue(key, kRuntimeFolderValue, type, folder->c_str(), bytes);
  }
  RegCloseKey(key);
}

void ClearRuntimeFolders() {
  RegisterRuntimeFolder(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, std::nullopt);
  RegisterRuntimeFolder(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, std::nullopt);
  RegisterRuntimeFolder(HKEY_CURRENT_USER, 0, std::nullopt);
}

// Where the libraries are looked for: beside the program, then in the
// folders registered in the 32-bit view (the machine's, then the user's).
void CheckRuntimeLibraries(std::vector<Result>& results) {
  using Kind = RuntimeLibrary::Kind;
  const std::u16string loader = U16(ProgramFolder() + L"\\WebView2Loader.dll");
  const std::u16string engine = u"\\EBWebView\\x64\\EmbeddedBrowserWebView.dll";
  struct LibraryCase {
    const wchar_t* name;
    std::optional<std::wstring> machine32;
    std::optional<std::wstring> machine64;
    std::optional<std::wstring> user;
    DWORD machineType;
    std::vector<RuntimeLibrary> expected;
  };
  const std::vector<LibraryCase> cases = {
      {L"runtime libraries: only the loader beside the program", std::nullopt, std::nullopt, std::nullopt, REG_SZ,
       {{Kind::Loader, loader}}},
      {L"runtime libraries: machine's folder, then user's", L"C:\\rt machine", std::nullopt, L"C:\\rt user\\", REG_SZ,
       {{Kind::Loader, loader}, {Kind::Engine, u"C:\\rt machine" + engine}, {Kind::Engine, u"C:\\rt user" + engine}}},
      {L"runtime libraries: the user's folder alone", std::nullopt, std::nullopt, L"D:\\ランタイム", REG_SZ,
       {{Kind::Loader, loader}, {Kind::Engine, u"D:\\ランタイム" + engine}}},
      {L"runtime libraries: the 64-bit view is not read", std::nullopt, L"C:\\rt 64", std::nullopt, REG_SZ,
       {{Kind::Loader, loader}}},
      {L"runtime libraries: the 32-bit view wins over the 64-bit one", L"C:\\rt 32", L"C:\\rt 64", std::nullopt,
       REG_SZ, {{Kind::Loader, loader}, {Kind::Engine, u"C:\\rt 32" + engine}}},
      {L"runtime libraries: an empty folder names none", L"", std::nullopt, L"C:\\rt user", REG_SZ,
       {{Kind::Loader, loader}, {Kind::Engine, u"C:\\rt user" + engine}}},
      {L"runtime libraries: a number names no folder", L"", std::nullopt, std::nullopt, REG_DWORD,
       {{Kind::Loader, loader}}},
  };
  for (const LibraryCase& c : cases) {
    ClearRuntimeFolders();
    RegisterRuntimeFolder(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, c.machine32, c.machineType);
    RegisterRuntimeFolder(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, c.machine64);
    RegisterRuntimeFolder(HKEY_CURRENT_USER, 0, c.user);
    const std::vector<RuntimeLibrary> got = vistrel::WebViewRuntimeLibraries();
    results.push_back({c.name, got == c.expected, L"got " + Describe(got) + L", expected " + Describe(c.expected)});
  }
  ClearRuntimeFolders();
}

// Asking for an environment when no library has the runtime's entry point:
// nothing is created, the handler is neither called nor kept, and no box shows.
void CheckWebViewEnvironment(vistrel::Win32Platform& platform, std::vector<Result>& results) {
  const std::wstring runtime = TempFolder() + L"vistrel platform check runtime";
  const std::wstring engineFolder = runtime + L"\\EBWebView\\x64";
  const std::wstring engine = engineFolder + L"\\EmbeddedBrowserWebView.dll";
  MakeFolders(engineFolder);
  wchar_t self[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH + 1);
#if defined(VISTREL_WEBVIEW2_SDK)
  const HRESULT none = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
#else
  const HRESULT none = E_NOTIMPL;
#endif
  enum class Engine { None, Bytes, WithoutEntryPoint };
  struct EnvironmentCase {
    const wchar_t* name;
    bool registered;
    Engine engine;
    std::string bytes;
  };
  const std::vector<EnvironmentCase> cases = {
      {L"environment: no runtime anywhere", false, Engine::None, ""},
      {L"environment: a registered folder without the engine", true, Engine::None, ""},
      {L"environment: a registered engine that is no library", true, Engine::Bytes, "MZ not a library"},
      {L"environment: a registered engine of no bytes", true, Engine::Bytes, ""},
      // This program's own file: it loads, but exports nothing.
      {L"environment: a registered library without the entry point", true, Engine::WithoutEntryPoint, ""},
  };
  for (const EnvironmentCase& c : cases) {
    ClearRuntimeFolders();
    DeleteFileW(engine.c_str());
    if (c.registered) RegisterRuntimeFolder(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, runtime);
    if (c.engine == Engine::Bytes) WriteBytes(engine, c.bytes);
    if (c.engine == Engine::WithoutEntryPoint) CopyFileW(self, engine.c_str(), FALSE);
    int calls = 0;
    auto handler = vistrel::MakeHandler<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler>(
        [&calls](HRESULT, ICoreWebView2Environment*) {
          ++calls;
          return S_OK;
        });
    const HRESULT result = platform.CreateWebViewEnvironment(u"C:\\vistrel platform check data", handler.get());
    // Whatever the call queued for this thread is delivered now.
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    handler->AddRef();
    const ULONG references = handler->Release();
    const bool ok = result == none && calls == 0 && references == 1;
    wchar_t detail[160];
    swprintf(detail, 160, L"result %08lx (expected %08lx), handler called %d times, %lu references held",
             static_cast<unsigned long>(result), static_cast<unsigned long>(none), calls,
             static_cast<unsigned long>(references));
    results.push_back({c.name, ok, detail});
  }
  ClearRuntimeFolders();
  DeleteFileW(engine.c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 3 && std::wstring(argv[1]) == L"--sleep") {
    Sleep(static_cast<DWORD>(_wtoi(argv[2])));
    return 0;
  }
  vistrel::Win32Platform platform(GetModuleHandleW(nullptr), SW_SHOWNORMAL);
  std::vector<Result> results;

  // Full paths: each against the path Windows' own rules give.
  const std::wstring here = CurrentFolder();
  const std::wstring longAbsolute = L"C:\\" + LongRelativePath();
  struct PathCase {
    const wchar_t* name;
    std::wstring input;
    std::optional<std::wstring> expected;
  };
  const std::wstring separator = here.empty() || here.back() == L'\\' ? L"" : L"\\";
  const std::vector<PathCase> paths = {
      {L"FullPath of a relative name", L"page.html", here + separator + L"page.html"},
      {L"FullPath folds . and ..", L"C:\\a\\..\\b\\.\\c.txt", L"C:\\b\\c.txt"},
      {L"FullPath keeps an absolute path over 260 units whole", longAbsolute, longAbsolute},
      {L"FullPath of a relative path ending over 260 units", LongRelativePath(),
       here + separator + LongRelativePath()},
      {L"FullPath of nothing", L"", std::nullopt},
  };
  for (const PathCase& c : paths) {
    const std::optional<std::u16string> got = platform.FullPath(U16(c.input));
    const std::optional<std::u16string> want =
        c.expected ? std::optional<std::u16string>(U16(*c.expected)) : std::nullopt;
    results.push_back({c.name, got == want, L"got " + Describe(got) + L", expected " + Describe(want)});
  }

  // Existence, with a file made and removed here.
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, temp);
  const std::wstring scratchFile = std::wstring(temp) + L"vistrel platform check.txt";
  HANDLE file = CreateFileW(scratchFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  struct ExistsCase {
    const wchar_t* name;
    std::wstring path;
    bool expected;
  };
  std::vector<ExistsCase> exists = {
      {L"PathExists of a folder", L"C:\\windows", true},
      {L"PathExists of a file with a blank in its name", scratchFile, true},
      {L"PathExists of a missing name", L"C:\\no such folder\\vistrel", false},
      {L"PathExists of nothing", L"", false},
  };
  for (const ExistsCase& c : exists) {
    const bool got = platform.PathExists(U16(c.path));
    results.push_back({c.name, got == c.expected, c.path + (got ? L" exists" : L" does not exist")});
  }
  DeleteFileW(scratchFile.c_str());
  const bool afterDelete = platform.PathExists(U16(scratchFile));
  results.push_back({L"PathExists of a deleted file", !afterDelete, afterDelete ? L"still exists" : L"gone"});

  // Registry strings, from values written here in every shape a REG_SZ takes.
  RegDeleteTreeW(HKEY_CURRENT_USER, kScratchKey);
  HKEY key = nullptr;
  RegCreateKeyExW(HKEY_CURRENT_USER, kScratchKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  const std::wstring longText(2000, L'v');
  const DWORD number = 7;
  SetValue(key, L"version", REG_SZ, L"120.0.2210.91", 14 * sizeof(wchar_t));
  SetValue(key, L"trailing NULs", REG_SZ, L"abc\0\0\0", 6 * sizeof(wchar_t));
  SetValue(key, L"no terminator", REG_SZ, L"abc", 3 * sizeof(wchar_t));
  SetValue(key, L"empty", REG_SZ, L"", sizeof(wchar_t));
  SetValue(key, L"no bytes", REG_SZ, L"", 0);
  SetValue(key, L"long", REG_SZ, longText.c_str(), static_cast<DWORD>((longText.size() + 1) * sizeof(wchar_t)));
  SetValue(key, L"number", REG_DWORD, &number, sizeof number);
  RegCloseKey(key);

  using State = RegistryString::State;
  struct RegistryCase {
    const wchar_t* name;
    std::wstring subkey;
    std::wstring value;
    State state;
    std::wstring text;
  };
  const std::wstring subkey = kScratchKey;
  const std::vector<RegistryCase> registry = {
      {L"registry: a version string", subkey, L"version", State::Present, L"120.0.2210.91"},
      {L"registry: trailing NULs are dropped", subkey, L"trailing NULs", State::Present, L"abc"},
      {L"registry: a string stored without its NUL", subkey, L"no terminator", State::Present, L"abc"},
      {L"registry: an empty string", subkey, L"empty", State::Present, L""},
      {L"registry: a string of no bytes", subkey, L"no bytes", State::Present, L""},
      {L"registry: a string of 2000 units", subkey, L"long", State::Present, longText},
      {L"registry: a DWORD is no string", subkey, L"number", State::Absent, L""},
      {L"registry: a missing value", subkey, L"missing", State::Absent, L""},
      {L"registry: a missing key", subkey + L"\\missing", L"version", State::Absent, L""},
  };
  for (const RegistryCase& c : registry) {
    const RegistryString got = platform.ReadRegistryString(RegistryRoot::CurrentUser, U16(c.subkey), U16(c.value));
    RegistryString want;
    want.state = c.state;
    want.text = U16(c.text);
    const bool ok = got.state == want.state && got.text == want.text;
    results.push_back({c.name, ok, L"got " + Describe(got) + L", expected " + Describe(want)});
  }
  RegDeleteTreeW(HKEY_CURRENT_USER, kScratchKey);
  RegDeleteKeyW(HKEY_CURRENT_USER, kScratchKey);

  CheckRegistryDwords(platform, results);
  CheckExpansion(platform, results);
  CheckDataFolderPaths(platform, results);
  CheckFiles(platform, results);
  CheckAnsiText(platform, results);
  CheckDataFolders(platform, results);
  CheckProcessWait(platform, results);
  CheckIcons(platform, results);
  CheckScreen(platform, results);
  CheckWindows(platform, results);
  CheckRuntimeLibraries(results);
  CheckWebViewEnvironment(platform, results);

  std::string json = "{\"checks\":[";
  for (size_t i = 0; i < results.size(); ++i) {
    if (i) json += ",";
    json += "{\"name\":" + JsonString(results[i].name) + ",\"ok\":" + (results[i].ok ? "true" : "false") +
            ",\"detail\":" + JsonString(results[i].detail) + "}";
  }
  json += "]}\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), json.data(), static_cast<DWORD>(json.size()), &written, nullptr);
  return 0;
}
