#include "rules/html_text.h"

#include <cstdint>

namespace vistrel {

namespace {

template <typename Char>
std::basic_string<Char> TextModeRead(std::basic_string_view<Char> raw) {
  std::basic_string<Char> text;
  text.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == Char('\r') && i + 1 < raw.size() && raw[i + 1] == Char('\n')) continue;
    text += raw[i];
  }
  std::basic_string<Char> kept;
  kept.reserve(text.size());
  size_t start = 0;
  while (start < text.size()) {
    size_t end = start;
    while (end < text.size() && end - start < kReadPieceUnits) {
      if (text[end++] == Char('\n')) break;
    }
    const std::basic_string_view<Char> piece(text.data() + start, end - start);
    kept += piece.substr(0, piece.find(Char('\0')));
    start = end;
  }
  return kept;
}

void AppendCodePoint(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  }
}

// Each maximal ill-formed subsequence becomes one U+FFFD.
std::u16string DecodeUtf8(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    const uint8_t lead = static_cast<uint8_t>(bytes[i]);
    if (lead < 0x80) {
      out += static_cast<char16_t>(lead);
      ++i;
      continue;
    }
    int length = 0;
    char32_t c = 0;
    uint8_t low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      c = lead & 0x0F;
      if (lead == 0xE0) low = 0xA0;   // no overlong forms
      if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      c = lead & 0x07;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
    }
    size_t next = i + 1;
    bool valid = length > 0;
    for (int k = 1; valid && k < length; ++k, ++next) {
      if (next >= bytes.size()) {
        valid = false;
        break;
      }
      const uint8_t b = static_cast<uint8_t>(bytes[next]);
      if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xBF)) {
        valid = false;
        break;
      }
      c = (c << 6) | (b & 0x3F);
    }
    if (valid) {
      AppendCodePoint(out, c);
    } else {
      out += u'\uFFFD';
    }
    i = valid ? next : (length > 0 ? next : i + 1);
  }
  return out;
}

std::u16string DecodeUtf16Le(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    out += static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8));
  }
  return out;
}

}  // namespace

std::u16string DecodeUnicodeText(std::string_view bytes) {
  std::u16string units;
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    units = DecodeUtf8(bytes.substr(3));
  } else if (bytes.starts_with("\xFF\xFE")) {
    units = DecodeUtf16Le(bytes.substr(2));
  } else {
    units = DecodeUtf16Le(bytes);
  }
  return TextModeRead<char16_t>(units);
}

std::string KeepAnsiBytes(std::string_view bytes) { return TextModeRead<char>(bytes); }

}  // namespace vistrel
