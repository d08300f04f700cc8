#include "platform/win32/platform_win32.h"

#include <io.h>
#include <shellapi.h>

namespace vistrel {

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide strings are UTF-16");

// The metrics record with iPaddedBorderWidth, the size the measurement asks for.
constexpr UINT kNonClientMetricsSize = 504;
static_assert(sizeof(NONCLIENTMETRICSW) == kNonClientMetricsSize, "NONCLIENTMETRICSW must include iPaddedBorderWidth");

std::wstring Wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

std::u16string Utf16(const wchar_t* text, size_t length) { return std::u16string(text, text + length); }

std::u16string Utf16(const wchar_t* text) { return Utf16(text, wcslen(text)); }

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
  HKEY key = root == RegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
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

std::optional<Rect> Win32Platform::WorkArea() {
  RECT area{};
  if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0)) return std::nullopt;
  return Rect{area.left, area.top, area.right, area.bottom};
}

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

}  // namespace vistrel
