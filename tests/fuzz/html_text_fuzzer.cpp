// Feeds arbitrary file contents to the HTML file's two readings: as Unicode
// (byte-order marks, UTF-8 and UTF-16) and as the locale's bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "rules/html_text.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

bool WellFormed(std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
      ++i;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  const std::u16string unicode = vistrel::DecodeUnicodeText(bytes);
  // A NUL ends its piece: none is ever shown. Nothing is made up either.
  Check(unicode.find(u'\0') == std::u16string::npos);
  Check(unicode.size() <= size);
  // UTF-8 without NULs (which cut pieces short) always decodes to well-formed text.
  if (bytes.starts_with("\xEF\xBB\xBF") && bytes.find('\0') == std::string_view::npos) Check(WellFormed(unicode));

  const std::string ansi = vistrel::KeepAnsiBytes(bytes);
  Check(ansi.find('\0') == std::string::npos);
  Check(ansi.size() <= size);
  // Without CR or NUL the bytes come through unchanged.
  if (bytes.find_first_of(std::string_view("\r\0", 2)) == std::string_view::npos) Check(ansi == bytes);
  return 0;
}
