#include "rules/html_text.h"

#include <gtest/gtest.h>

namespace vistrel {
namespace {

std::string Utf16Le(std::u16string_view text) {
  std::string bytes;
  for (char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

const std::string kUtf8Bom = "\xEF\xBB\xBF";
const std::string kUtf16Bom = "\xFF\xFE";

TEST(HtmlTextTest, UnicodeFiles) {
  const struct {
    const char* name;
    std::string bytes;
    std::u16string text;
  } rows[] = {
      {"empty file", "", u""},
      {"UTF-8 mark only", kUtf8Bom, u""},
      {"UTF-8 with mark", kUtf8Bom + "<p>\xE6\x97\xA5\xE6\x9C\xAC</p>", u"<p>日本</p>"},
      {"UTF-8 four-byte character", kUtf8Bom + "\xF0\x9F\x98\x80", u"\U0001F600"},
      {"UTF-8 with CR LF", kUtf8Bom + "a\r\nb\r\n", u"a\nb\n"},
      {"lone CR stays", kUtf8Bom + "a\rb\n\r", u"a\rb\n\r"},
      {"malformed UTF-8", kUtf8Bom + "a\xFF" "b\xE6\x97" "c\xC0\xAF", u"a\uFFFDb\uFFFDc\uFFFD\uFFFD"},
      {"UTF-8 surrogate encoded", kUtf8Bom + "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"UTF-8 cut at the end", kUtf8Bom + "x\xF0\x9F\x98", u"x\uFFFD"},
      {"UTF-16 with mark", kUtf16Bom + Utf16Le(u"<b>テスト</b>\r\n"), u"<b>テスト</b>\n"},
      {"UTF-16 without mark", Utf16Le(u"<i>ok</i>\r\n"), u"<i>ok</i>\n"},
      {"UTF-16 odd last byte", Utf16Le(u"ab") + "c", u"ab"},
      {"big-endian mark is no mark", "\xFE\xFF" + Utf16Le(u"a"), u"\uFFFEa"},
      {"UTF-8 text without mark is read as UTF-16", "ab", u"\u6261"},
      {"NUL drops the rest of its line, line feed and all", kUtf8Bom + std::string("one\0two\nthree", 13), u"onethree"},
  };
  for (const auto& row : rows) EXPECT_EQ(DecodeUnicodeText(row.bytes), row.text) << row.name;
}

TEST(HtmlTextTest, LongLinesComeInPiecesOf1023Units) {
  const std::u16string line(3000, u'x');
  EXPECT_EQ(DecodeUnicodeText(kUtf16Bom + Utf16Le(line + u"\r\n")), line + u"\n");

  // A NUL only drops the rest of the 1023-unit piece it is in.
  std::u16string withNul(2100, u'a');
  withNul[10] = u'\0';
  const std::u16string expected = std::u16string(10, u'a') + std::u16string(2100 - 1023, u'a');
  EXPECT_EQ(DecodeUnicodeText(Utf16Le(withNul)), expected);

  // A line feed ends a piece early, so the count starts again after it.
  std::u16string twoLines = std::u16string(5, u'b') + u"\n" + std::u16string(1030, u'c');
  twoLines[5 + 1 + 1023] = u'\0';  // first unit of the second piece of the long line
  EXPECT_EQ(DecodeUnicodeText(Utf16Le(twoLines)), std::u16string(5, u'b') + u"\n" + std::u16string(1023, u'c'));
}

TEST(HtmlTextTest, AnsiBytes) {
  const struct {
    const char* name;
    std::string bytes;
    std::string kept;
  } rows[] = {
      {"empty", "", ""},
      {"CR LF", "a\r\nb\r\n", "a\nb\n"},
      {"lone CR", "a\rb", "a\rb"},
      {"UTF-8 mark passes through", kUtf8Bom + "x", kUtf8Bom + "x"},
      {"NUL drops the rest of its line", std::string("ab\0cd\nef", 8), "abef"},
      {"NUL at the start", std::string("\0abc", 4), ""},
  };
  for (const auto& row : rows) EXPECT_EQ(KeepAnsiBytes(row.bytes), row.kept) << row.name;
}

TEST(HtmlTextTest, MultiByteCharactersAcrossPieceBoundariesStayWhole) {
  // 1022 ASCII bytes, then a three-byte UTF-8 character and a two-byte
  // Shift-JIS one across the 1023-byte boundaries: the bytes come through
  // unchanged, ready to be converted in one go.
  const std::string utf8 = std::string(1022, 'a') + "\xE6\x97\xA5" + "z";
  EXPECT_EQ(KeepAnsiBytes(utf8), utf8);
  const std::string sjis = std::string(1022, 'a') + "\x93\xFA" + std::string(1022, 'b') + "\x96\x7B";
  EXPECT_EQ(KeepAnsiBytes(sjis), sjis);
  const std::u16string utf16 = std::u16string(1022, u'a') + u"\U0001F600";
  EXPECT_EQ(DecodeUnicodeText(kUtf8Bom + std::string(1022, 'a') + "\xF0\x9F\x98\x80"), utf16);
}

}  // namespace
}  // namespace vistrel
