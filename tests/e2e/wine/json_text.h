// UTF-8 and JSON text for the Wine test programs' reports.
#pragma once

#include <windows.h>

#include <cwchar>
#include <string>

inline std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                       nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

// A JSON string literal, quotes included.
inline std::string JsonString(const std::wstring& text) {
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
