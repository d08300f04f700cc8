// Calls the Win32 side of the seam directly, for the answers that no message
// box shows: full paths beyond 260 units, existence tests, and the registry
// reads with their edge cases. Prints one JSON object (UTF-8):
//   {"checks":[{"name":..., "ok":true|false, "detail":...}, ...]}
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/platform_win32.h"

namespace {

using vistrel::RegistryRoot;
using vistrel::RegistryString;

constexpr wchar_t kScratchKey[] = L"Software\\vistrel-platform-check";

std::u16string U16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }
std::wstring Wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                       nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

std::string JsonString(const std::wstring& text) {
  std::wstring escaped = L"\"";
  for (wchar_t c : text) {
    if (c == L'"' || c == L'\\') {
      escaped += L'\\';
      escaped += c;
    } else if (c < 0x20) {
      wchar_t code[8];
      swprintf(code, 8, L"\\u%04x", static_cast<unsigned>(c));
      escaped += code;
    } else {
      escaped += c;
    }
  }
  return Utf8(escaped + L"\"");
}

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

}  // namespace

int wmain() {
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
