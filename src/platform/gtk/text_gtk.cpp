#include "platform/gtk/text_gtk.h"

#include <glib.h>

#include <utility>

namespace vistrel::gtk {

std::u16string Utf16FromUtf8(const std::string& utf8) {
  glong written = 0;
  g_autofree gunichar2* wide =
      g_utf8_to_utf16(utf8.data(), static_cast<glong>(utf8.size()), nullptr, &written, nullptr);
  if (wide == nullptr) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(wide), static_cast<size_t>(written));
}

std::optional<std::string> Utf8FromUtf16(const std::u16string& text) {
  glong written = 0;
  g_autofree gchar* utf8 = g_utf16_to_utf8(reinterpret_cast<const gunichar2*>(text.data()),
                                           static_cast<glong>(text.size()), nullptr, &written, nullptr);
  if (utf8 == nullptr) return std::nullopt;
  return std::string(utf8, static_cast<size_t>(written));
}

std::string DisplayUtf8FromUtf16(std::u16string text) {
  if (std::optional<std::string> exact = Utf8FromUtf16(text)) return *std::move(exact);
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      ++i;
    } else if (high || low) {
      text[i] = u'\uFFFD';
    }
  }
  return Utf8FromUtf16(text).value_or(std::string());
}

std::string AsUtf8(const std::string& bytes) {
  if (g_utf8_validate(bytes.data(), static_cast<gssize>(bytes.size()), nullptr)) return bytes;
  const char* charset = nullptr;
  if (!g_get_charset(&charset)) {
    gsize written = 0;
    g_autofree gchar* converted =
        g_locale_to_utf8(bytes.data(), static_cast<gssize>(bytes.size()), nullptr, &written, nullptr);
    if (converted != nullptr) return std::string(converted, written);
  }
  g_autofree gchar* repaired = g_utf8_make_valid(bytes.data(), static_cast<gssize>(bytes.size()));
  return std::string(repaired);
}

std::optional<std::string> FileNameFromUtf16(const std::u16string& path) {
  const std::optional<std::string> utf8 = Utf8FromUtf16(path);
  if (!utf8) return std::nullopt;
  g_autofree gchar* name = g_filename_from_utf8(utf8->c_str(), -1, nullptr, nullptr, nullptr);
  if (name == nullptr) return std::nullopt;
  return std::string(name);
}

std::u16string Utf16FromFileName(const std::string& name) {
  g_autofree gchar* utf8 = g_filename_to_utf8(name.c_str(), -1, nullptr, nullptr, nullptr);
  if (utf8 != nullptr) return Utf16FromUtf8(utf8);
  g_autofree gchar* shown = g_filename_display_name(name.c_str());
  return Utf16FromUtf8(shown);
}

}  // namespace vistrel::gtk
