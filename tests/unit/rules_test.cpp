// The pure decisions, as tables of inputs and what must come out.
#include <gtest/gtest.h>

#include <limits>

#include "fakes.h"
#include "rules/command_line.h"
#include "rules/html_text.h"
#include "rules/placement.h"
#include "rules/runtime_location.h"
#include "rules/site.h"
#include "rules/usage_layout.h"
#include "rules/web_verdicts.h"

namespace vistrel {
namespace {

using fakes::Text;
using Args = std::vector<std::u16string>;
constexpr Rect kArea{0, 0, 1920, 1040};
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
const std::u16string a65(65, u'a'), a64(64, u'a');

// Every refusal message once in both languages, then the inputs at the edges.
TEST(CommandLine, Refusals) {
  const struct {
    Args args;
    std::string english, japanese = {};
    Rect area = kArea;
  } rows[] = {
      {{u"/a", u"", u"x"}, "Empty parameter is specified.", "空のパラメータが指定されています。"},
      {{u"/d", u"/D:x", u"x"}, "/d - Parameter is already specified.", "/d - パラメータはすでに指定されています。"},
      {{u"/Dx", u"x"}, "/Dx - Parameter is invalid.", "/Dx - パラメータが正しくありません。"},
      {{u"/d:", u"x"}, "Profile name is not specified.", "プロファイル名が指定されていません。"},
      {{u"/d:" + a65, u"x"}, Text(a65) + " - Profile name is too long.", Text(a65) + " - プロファイル名の文字数が多すぎます。"},
      {{u"/d:a/b", u"x"}, "a/b - Invalid character is used in profile name.", "a/b - プロファイル名に使用できない文字が含まれています。"},
      {{u"/d:ab.", u"x"}, "ab. - Profile name is not able to end with space or period.",
       "ab. - プロファイル名はスペースまたはピリオドで終了することは出来ません。"},
      {{u"x", u"/i"}, "Icon file is not specified.", "アイコンファイルが指定されていません。"},
      {{u"/i", u"a,", u"x"}, "a, - Parameter of icon file is invalid.", "a, - アイコンファイルのパラメータが正しくありません。"},
      {{u"/i", u"a,-1", u"x"}, "a,-1 - Index of icon file is invalid.", "a,-1 - アイコンファイルのインデックスが正しくありません。"},
      {{u"/s", u"800"}, "Width or height is not specified.", "幅または高さが指定されていません。"},
      {{u"/sp", u"800", u"600", u"0"}, "X or Y is not specified.", "X または Y が指定されていません。"},
      {{u"/s", u"99", u"600", u"x"}, "99 - Value of window width is invalid.", "99 - ウィンドウ幅の値が正しくありません。"},
      {{u"/s", u"800", u"6O", u"x"}, "6O - Value of window height is invalid.", "6O - ウィンドウ高の値が正しくありません。"},
      {{u"/sp", u"800", u"600", u"--5", u"0", u"x"}, "--5 - Value of X is invalid.", "--5 - X の値が正しくありません。"},
      {{u"/sp", u"800", u"600", u"0", u"y", u"x"}, "y - Value of Y is invalid.", "y - Y の値が正しくありません。"},
      {{u"/sp", u"1921", u"600", u"0", u"0", u"x"}, "1921 - Value of window width is too large.", "1921 - ウィンドウ幅の値が大きすぎます。"},
      {{u"/sp", u"800", u"1041", u"0", u"0", u"x"}, "1041 - Value of window height is too large.", "1041 - ウィンドウ高の値が大きすぎます。"},
      {{u"/sp", u"800", u"600", u"1121", u"0", u"x"}, "1121 - Value of X is too large.", "1121 - X の値が大きすぎます。"},
      {{u"/sp", u"800", u"600", u"0", u"441", u"x"}, "441 - Value of Y is too large.", "441 - Y の値が大きすぎます。"},
      {{}, "Address is not specified.", "アドレスまたはファイルが指定されていません。"},
      {{u"/l", u"a/b.html"}, " - File name or folder name is invalid.", " - ファイル名またはフォルダ名が正しくありません。"},
      {{u"/k", u"/s", u"800", u"600", u"x"}, "/k /s - Parameter is not able to use together.", "/k /s - パラメータは一緒に使うことはできません。"},
      {{u"/f", u"/K", u"x"}, "/k /f - Parameter is not able to use together."}, {{u"/l", u"/LU"}, "/l - Parameter is already specified."},
      {{u"/p", u"/d:x", u"x"}, "/d /p - Parameter is not able to use together."}, {{u"/lds", u"x"}, "/lds - Parameter is invalid."},
      {{u"/d:ab ", u"x"}, "ab  - Profile name is not able to end with space or period."}, {{u"/lx"}, "/lx - Parameter is invalid."},
      {{u"/d:仕事", u"x"}, "仕事 - Invalid character is used in profile name."}, {{u"/lux"}, "/lux - Parameter is invalid."},
      {{u"/d:" + std::u16string(65, u'/'), u"x"}, std::string(65, '/') + " - Profile name is too long."},
      {{u"/i", u"a", u"/I", u"b", u"x"}, "/i - Parameter is already specified."}, {{u"/luds"}, "/luds - Parameter is invalid."},
      {{u"/i", u",3", u"x"}, ",3 - Parameter of icon file is invalid."}, {{u"/i", u"a,  3", u"x"}, "a,  3 - Index of icon file is invalid."},
      {{u"/i", u"a,b,c", u"x"}, "a,b,c - Parameter of icon file is invalid."}, {{u"/i", u"a,+3", u"x"}, "a,+3 - Index of icon file is invalid."},
      {{u"/i", u"a,3-", u"x"}, "a,3- - Index of icon file is invalid."}, {{u"/s", u"+8", u"600", u"x"}, "+8 - Value of window width is invalid."},
      {{u"/sp", u"800", u"600", u"0", u"0", u"/s"}, "/s - Parameter is already specified."},
      {{u"/s", u"-1821", u"600", u"x"}, "-1821 - Value of window width is invalid."}, {{u"/s", u"5-", u"6", u"x"}, "5- - Value of window width is invalid."},
      {{u"/sp", u"-100", u"600", u"0", u"0", u"x"}, "-100 - Value of window width is invalid."},
      {{u"/sp", u"800", u"600", u"-1121", u"0", u"x"}, "-1121 - Value of X is too large."},
      {{u"/sp", u"800", u"600", u"-0", u"0", u"x"}, "-0 - Value of X is too large.", {}, {60, 0, 1920, 1040}},
      {{u"/sp", u"800", u"600", u"0", u"-0", u"x"}, "-0 - Value of Y is too large.", {}, {0, 40, 1920, 1080}},
      {{u"/sp", u"100", u"100", u"0", u"0", u"x"}, "100 - Value of window width is too large.", {}, {}},
      {{u"x", u"/Q", u"x"}, "/Q - Parameter is invalid."}, {{u"/sx", u"800", u"600", u"x"}, "/sx - Parameter is invalid."},
      {{u"a", u"b", u"c d", u"/q"}, "c d - Parameter is invalid."}, {{u"/q", u"/r", u"x"}, "/q - Parameter is invalid."},
      {{u"/l", u"a<b"}, " - File name or folder name is invalid."}, {{u"/l", u"a>b"}, " - File name or folder name is invalid."},
      {{u"/l", u"a|b"}, " - File name or folder name is invalid."}, {{u"/l", u"a\"b"}, " - File name or folder name is invalid."},
      {{u"/k", u"/f", u"/d", u"/p"}, "Address is not specified."}, {{u"/l", u"/k", u"/f", u"a/b"}, " - File name or folder name is invalid."},
      {{u"/k", u"/f", u"/s", u"800", u"600", u"x"}, "/k /s - Parameter is not able to use together."},
      {{u"/k", u"/f", u"/d", u"/p", u"x"}, "/k /f - Parameter is not able to use together."},
  };
  for (const auto& row : rows) {
    const ParseResult result = ParseCommandLine(row.args, row.area);
    ASSERT_TRUE(result.refusal) << row.english;
    for (auto [language, text] : {std::pair{kEnglish, row.english}, {kJapanese, row.japanese}}) {
      languageIndex = language;
      if (!text.empty()) {
        EXPECT_EQ(Text(result.refusal->Text()), text);
      }
    }
  }
}

std::string Describe(const Options& o) {
  std::string s = Text(o.title) + "|" + Text(o.address);
  if (o.sizeGiven) s += " " + std::to_string(o.width) + "x" + std::to_string(o.height);
  if (o.positionGiven) s += " at " + std::to_string(o.x) + "," + std::to_string(o.y);
  const std::pair<bool, std::string> flags[] = {
      {o.noBrowsingLimit, " /a"}, {o.keepData, " /d"}, {!o.profileName.empty(), ":" + Text(o.profileName)},
      {o.fixedSize, " /f"}, {o.fullScreen, " /k"}, {o.htmlFromFile, " /l"}, {o.htmlUnicode, "u"},
      {o.deleteHtmlFile, "d"}, {o.reflectFileUpdate, "s"}, {o.mute, " /m"}, {o.privateMode, " /p"}, {o.limitUI, " /u"},
      {o.adjustZoom, " /z"}, {o.iconGiven, " /i " + Text(o.iconFile) + "," + std::to_string(o.iconIndex)},
      {!o.startAddress.empty(), " start"}};
  for (const auto& [on, text] : flags) s += on ? text : "";
  return s;
}

TEST(CommandLine, AcceptedForms) {
  const std::string max = std::to_string(kMax);
  const auto rooted = [](const std::u16string& path) { return path == u"/home/u/p.html"; };
  const struct {
    Args args;
    std::string options;
    Rect area = kArea;
    RootedPathTest pathTest = {};
  } rows[] = {
      {{u"/A", u"/a", u"/F", u"/f", u"/M", u"/m", u"/U", u"/u", u"/Z", u"/z", u"/P", u"/p", u"x"}, "|x /a /f /m /p /u /z"},
      {{u"/k", u"/D", u"x"}, "|x /d /k"}, {{u"/D:Work", u"x"}, "|x /d:Work"}, {{u"/d:#@$()+-_~. x", u"x"}, "|x /d:#@$()+-_~. x"},
      {{u"/d:" + a64, u"x"}, "|x /d:" + Text(a64)}, {{u"/I", u"app.ico", u"x"}, "|x /i app.ico,0"},
      {{u"/i", u"a b.dll, 3", u"x"}, "|x /i a b.dll,3"}, {{u"/i", u"a,-2", u"x"}, "|x /i a,-2"},
      {{u"/i", u"a,-", u"x"}, "|x /i a,0"}, {{u"/i", u"a,99999999999", u"x"}, "|x /i a," + max},
      {{u"/i", u"", u"x"}, "|x /i ,0"}, {{u"/i", u"/k", u"x"}, "|x /i /k,0"}, {{u"/L", u"p"}, "|p /l"},
      {{u"/ld", u"p"}, "|p /ld"}, {{u"/lud", u"p"}, "|p /lud"}, {{u"/LUS", u"p"}, "|p /lus"}, {{u"/s", u"800", u"600", u"x"}, "|x 800x600"},
      {{u"/s", u"0", u"-40", u"x"}, "|x 1920x1000"}, {{u"/s", u"100", u"2500", u"x"}, "|x 100x2500"},
      {{u"/s", u"-1820", u"-940", u"x"}, "|x 100x100"}, {{u"/s", u"", u"-", u"x"}, "|x 1920x1040"},
      {{u"/s", u"99999999999", u"600", u"x"}, "|x " + max + "x600"},
      {{u"/sp", u"800", u"600", u"-0", u"-0", u"x"}, "|x 800x600 at 1120,440"},
      {{u"/Sp", u"800", u"600", u"-10", u"1", u"x"}, "|x 800x600 at 1110,1"},
      {{u"/sp", u"1920", u"1040", u"0", u"0", u"x"}, "|x 1920x1040 at 0,0"},
      {{u"/sp", u"0", u"0", u"0", u"0", u"x"}, "|x 1920x1040 at 0,0"},
      {{u"/sp", u"800", u"600", u"-0", u"0", u"x"}, "|x 800x600 at 1120,0", {0, 40, 1920, 1080}},
      {{u"/s", u"0", u"-5", u"x"}, "|x " + max + "x" + max, {-kMax, -kMax, kMax, kMax}},
      {{u"Hello", u"https://a.b/"}, "Hello|https://a.b/"}, {{u"Hello", u"/m", u"-x"}, "Hello|-x /m"},
      {{u"/home/u/p.html"}, "|/home/u/p.html", kArea, rooted}, {{u"/l", u"u/p.html"}, "|u/p.html /l", kArea, rooted},
  };
  for (const auto& row : rows) {
    const ParseResult result = ParseCommandLine(row.args, row.area, row.pathTest);
    EXPECT_FALSE(result.refusal) << row.options << ": " << Text(result.refusal ? result.refusal->Text() : u"");
    EXPECT_EQ(Describe(result.options), row.options);
  }
  const std::pair<std::u16string, int32_t> decimals[] = {
      {u"", 0}, {u"-", 0}, {u"-0", 0}, {u"-123", -123}, {u"007", 7}, {u"12ab", 12}, {u"+5", 5}, {u"2147483647", kMax},
      {u"2147483648", kMax}, {u"-2147483648", -kMax - 1}, {u"-99999999999", -kMax - 1}, {u"99999999999999999999", kMax}};
  for (const auto& [text, value] : decimals) EXPECT_EQ(ConvertDecimal(text), value) << Text(text);
  const std::tuple<Args, ConsoleRequest, bool> door[] = {
      {{u"--help"}, ConsoleRequest::Help, false}, {{u"--version"}, ConsoleRequest::Version, false},
      {{u"--HELP"}, ConsoleRequest::None, false}, {{u"--help", u"x"}, ConsoleRequest::None, false},
      {{u"/sp", u"1", u"2", u"3", u"4", u"x"}, ConsoleRequest::None, true}, {{u"/SP"}, ConsoleRequest::None, true},
      {{u"/s", u"1", u"2", u"x"}, ConsoleRequest::None, false}, {{}, ConsoleRequest::None, false}};
  for (const auto& [args, request, position] : door) {
    EXPECT_EQ(ConsoleRequestFor(args), request) << args.size();
    EXPECT_EQ(AsksForPosition(args), position) << args.size();
  }
}

TEST(Placement, WindowPlacementAndZoom) {
  const auto size = [](int32_t w, int32_t h, bool fixed = false) {
    Options o;
    return o.sizeGiven = true, o.width = w, o.height = h, o.fixedSize = fixed, o;
  };
  Options at = size(1920, 1040, true), full;
  at.positionGiven = true, at.x = 7, at.y = 9, full.fullScreen = true;
  const std::tuple<Options, Rect, WindowPlacement> rows[] = {
      {{}, kArea, {260, 10, 1400, 1020, kStyleNormal, false}}, {{}, {0, 0, 1366, 728}, {0, 0, 1366, 728, kStyleNormal, true}},
      {{}, {60, 0, 1920, 1040}, {230, 10, 1400, 1020, kStyleNormal, false}}, {{}, {}, {0, 0, 0, 0, kStyleNormal, true}},
      {size(800, 5000), kArea, {560, 10, 800, 1020, kStyleNormal, false}},
      {size(1920, 1041), kArea, {0, 10, 1920, 1020, kStyleNormal, false}},
      {size(1920, 1040), kArea, {0, 0, 1920, 1040, kStyleNormal, false}},
      {size(1399, 1039), kArea, {260, 0, 1399, 1039, kStyleNormal, false}},
      {size(3000, 500), kArea, {0, 0, 1920, 1040, kStyleNormal, true}},
      {size(800, 600, true), {0, 40, 1920, 1080}, {560, 220, 800, 600, kStyleFixed, false}},
      {at, kArea, {7, 9, 1920, 1040, kStyleFixed, false}}, {full, kArea, {0, 0, 2560, 1440, kStylePopup, false}},
  };
  for (const auto& [options, area, placement] : rows) {
    const WindowPlacement p = ComputeWindowPlacement(options, area, 2560, 1440);
    EXPECT_EQ(p, placement) << p.x << "," << p.y << " " << p.width << "x" << p.height << " " << p.style;
  }
  for (auto [dpi, zoom] : {std::pair{96u, 1.0}, {120u, 0.8}, {0u, 1.0}}) EXPECT_DOUBLE_EQ(ZoomFactorFromDpi(dpi), zoom);
}

TEST(Catalog, EveryEntryTheLanguageChosenAndTheUsageLayout) {
  for (const CatalogEntry& entry : MessageCatalog) EXPECT_FALSE(entry[0].empty() || entry[1].empty());
  for (auto [language, index] : {std::pair{1041, kJapanese}, {1033, kEnglish}, {2052, kEnglish}, {0, kEnglish}}) {
    ChooseLanguage(static_cast<uint16_t>(language));
    EXPECT_EQ(languageIndex, index) << language;
    EXPECT_EQ(UsagePiece(CatalogText(MsgUsage)), u"vistrel ");
  }
  EXPECT_EQ(MessageCatalog[MsgUsage][kEnglish].size(), 468u);
  EXPECT_EQ(MessageCatalog[MsgUsage][kJapanese].size(), 384u);
  for (std::u16string_view text : {u"no line feed", u"ends\n", u"a\n\nnoblank"}) EXPECT_EQ(UsagePiece(text), u"");
  const std::tuple<int32_t, float, int> rows[] = {{79, 10.0f, 7}, {80, 10.0f, 8}, {0, 5.0f, 9}, {60, 0.0f, 9},
                                                  {60, -1.0f, 9}, {10000, 1.0f, 9}};
  for (auto [width, space, spaces] : rows) EXPECT_EQ(SpacesPerTab(width, space, 9), spaces) << width;
  EXPECT_EQ(ExpandTabs(u"\ta\n\t    b\t", 3), u"   a\n       b   ");
  EXPECT_EQ(ExpandTabs(u"\t\t", 0), u"");
  // A terminal's font is fixed: a tab spans "vistrel ".
  EXPECT_EQ(UsageForTerminal(u"Top\n\nvistrel [/s]\n\t/s Size\n\t    p Place\n"),
            u"Top\n\nvistrel [/s]\n        /s Size\n            p Place\n");
}

std::string Utf16Le(std::u16string_view text) {
  std::string bytes;
  for (char16_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  return bytes;
}

TEST(HtmlText, DecodedAsTheTextModeReadsDeliverIt) {
  const std::string bom8 = "\xEF\xBB\xBF", bom16 = "\xFF\xFE";
  std::u16string nul(2100, u'a'), lines = std::u16string(5, u'b') + u"\n" + std::u16string(1030, u'c');
  nul[10] = u'\0';
  lines[5 + 1 + 1023] = u'\0';  // the first unit of the long line's second piece
  const std::pair<std::string, std::u16string> unicode[] = {
      {"", u""}, {bom8, u""}, {bom8 + "<p>\xE6\x97\xA5</p>\r\n\r", u"<p>日</p>\n\r"}, {bom8 + "\xF0\x9F\x98\x80", u"\U0001F600"},
      {bom8 + "a\xFF" "b\xE6\x97" "c\xC0\xAF", u"a\uFFFDb\uFFFDc\uFFFD\uFFFD"},
      {bom8 + "\xED\xA0\x80\xEF\xBF", u"\uFFFD\uFFFD\uFFFD\uFFFD"}, {bom16 + Utf16Le(u"<b>テ</b>\r\n"), u"<b>テ</b>\n"},
      {Utf16Le(u"ab") + "c", u"ab"}, {"\xFE\xFF" + Utf16Le(u"a"), u"\uFFFEa"}, {bom8 + std::string("one\0two\nthree", 13), u"onethree"},
      {Utf16Le(std::u16string(3000, u'x') + u"\r\n"), std::u16string(3000, u'x') + u"\n"},
      {Utf16Le(nul), std::u16string(10, u'a') + std::u16string(2100 - 1023, u'a')},
      {Utf16Le(lines), std::u16string(5, u'b') + u"\n" + std::u16string(1023, u'c')},
  };
  for (const auto& [bytes, text] : unicode) EXPECT_EQ(DecodeUnicodeText(bytes), text) << bytes.size();
  const std::string across = std::string(1022, 'a') + "\x93\xFA" + std::string(1022, 'b') + "\x96\x7B";
  const std::pair<std::string, std::string> ansi[] = {
      {"a\r\nb\rc", "a\nb\rc"}, {std::string("ab\0cd\nef", 8), "abef"}, {across, across}};
  for (const auto& [bytes, kept] : ansi) EXPECT_EQ(KeepAnsiBytes(bytes), kept) << bytes.size();
}

TEST(Site, ScopeOfTheFirstPageAndTheAddressesWithinIt) {
  const std::pair<std::u16string_view, std::u16string_view> scopes[] = {
      {u"https://www.name.ab.cd/index.html", u"name.ab.cd"}, {u"https://sub.name.abc.cd/", u"name.abc.cd"},
      {u"https://x.y.name.ab.cd/", u"name.ab.cd"}, {u"https://sub.name.cd/a", u"name.cd"}, {u"https://a.b.name.abc/", u"name.abc"},
      {u"https://www.ab.abc/", u"ab.abc"}, {u"https://www.name/", u"name"}, {u"https://sub.name.abcd/", u"sub.name.abcd"},
      {u"https://name.abc:8080/x", u"name.abc"}, {u"http://1.2.3.4:8000/page", u"1.2.3.4"}, {u"http://localhost:5000/", u"localhost"},
      {u"https://WWW.ab.abc/", u"WWW.ab.abc"}, {u"https:///path", u""}, {u"about:blank", u"about:blank"},
      {u"data:text/html,<p>", u"data:text/html,<p>"}, {u"", u""}, {u"file:///C:/pages/index.html", u"C:/pages/"},
      {u"file:///index.html", u""}, {u"file://server/share/page.html", u"le://server/share/"},  // a share: cut at index 2
  };
  for (const auto& [source, scope] : scopes) EXPECT_EQ(Text(DeriveSiteScope(source)), Text(scope)) << Text(source);
  const std::tuple<std::u16string_view, std::u16string_view, bool> within[] = {
      {u"", u"mailto:a@b.c", true}, {u"about:blank", u"data:text/html,x", true}, {u"about:blank", u"about:blank", false},
      {u"about:blank", u"DATA:x", false}, {u"name.cd", u"https://sub.name.cd/a?b", true}, {u"name.cd", u"https://name.cd:8443/x", true},
      {u"name.cd", u"https://othername.cd/", true}, {u"name.cd", u"https://name.cde/", false},
      {u"name.cd", u"https://name.cd.ab/", false}, {u"name.cd", u"https://NAME.cd/", false},
      {u"name.cd", u"mailto:someone@name.cd", false}, {u"name.cd", u"name.cd", false}, {u"name.cd", u"", false},
      {u"name.cd", u"file:///C:/name.cd", false}, {u"C:/site/", u"file:///C:/site/sub/b.html", true},
      {u"C:/site/", u"file:///C:/sit", false}, {u"C:/site/", u"file:///C:/site2/a.html", false},
      {u"C:/site/", u"https://name.cd/C:/site/", false},
  };
  for (const auto& [scope, address, inside] : within) EXPECT_EQ(IsWithinSite(address, scope), inside) << Text(address);
  EXPECT_EQ(SchemePart(u"https://a/"), u"https:");
  EXPECT_EQ(SchemePart(u"no colon"), u"");
}

TEST(RuntimeLocation, LoaderBesideTheProgramThenTheMachinesEngineThenTheUsers) {
  using enum RuntimeLibrary::Kind;
  const std::u16string engine = u"EBWebView\\x64\\EmbeddedBrowserWebView.dll", loader = u"C:\\p\\WebView2Loader.dll";
  using Folder = std::optional<std::u16string>;
  const std::tuple<std::u16string, Folder, Folder, std::vector<RuntimeLibrary>> rows[] = {
      {u"C:\\p", u"C:\\m\\", u"D:/u/", {{Loader, loader}, {Engine, u"C:\\m\\" + engine}, {Engine, u"D:/u/" + engine}}},
      {u"C:\\p\\", u"", u"D:\\u", {{Loader, loader}, {Engine, u"D:\\u\\" + engine}}},
      {u"", u"C:\\m", std::nullopt, {{Engine, u"C:\\m\\" + engine}}}, {u"", std::nullopt, std::nullopt, {}},
  };
  for (const auto& [program, machine, user, libraries] : rows) EXPECT_EQ(RuntimeLibraries(program, machine, user), libraries);
}

// The site rule {scope, local, all (/a), private (/p)}, whether the user
// clicked, and an address: what a navigation and a request for a new window
// come to. Without a click only web addresses are handed over, and no window.
TEST(WebVerdicts, NavigationAndNewWindow) {
  constexpr bool F = false, T = true;
  const std::tuple<std::u16string_view, bool, bool, bool, bool, std::u16string_view, NavigationVerdict> navigations[] = {
      {u"", F, F, F, F, u"vistrel-test:x", {F, F}}, {u"", F, F, F, F, u"", {F, F}},
      {u"name.cd", F, F, F, F, u"https://a.name.cd/", {F, F}}, {u"name.cd", F, F, F, F, u"https://name.cde/", {T, T}},
      {u"name.cd", F, F, F, F, u"HTTP://name.cde/", {T, T}}, {u"name.cd", F, F, F, F, u"vistrel-test:x", {T, F}},
      {u"name.cd", F, F, F, T, u"vistrel-test:x", {T, T}}, {u"name.cd", F, F, F, F, u"httpx://name.cde/", {T, F}},
      {u"name.cd", F, F, F, T, u"About:Blank", {T, F}}, {u"name.cd", F, F, T, T, u"https://name.cde/", {T, F}},
      {u"name.cd", F, T, F, F, u"vistrel-test:x", {F, F}}, {u"name.cd", F, T, T, T, u"https://name.cde/", {F, F}},
      {u"name.cd", F, F, F, T, u"FILE:///C:/x.exe", {T, F}}, {u"name.cd", F, F, F, T, u"", {T, F}},
      {u"name.cd", F, T, F, F, u"", {F, F}}, {u"C:/site/", T, F, F, F, u"file:///C:/site/b.html", {F, F}},
      {u"C:/site/", T, F, F, T, u"file:///C:/other/a.html", {T, T}}, {u"C:/site/", T, F, F, F, u"file:///C:/other/a.html", {T, F}},
      {u"about:blank", T, F, F, F, u"data:text/html,x", {F, F}}, {u"about:blank", T, F, F, F, u"https://name.cd/", {T, T}},
  };
  for (const auto& [scope, local, all, privateMode, user, uri, verdict] : navigations) {
    EXPECT_EQ(DecideNavigation(SiteRule{scope, local, all, privateMode}, uri, user), verdict) << Text(scope) << " " << Text(uri) << " " << user;
  }
  const std::tuple<std::u16string_view, bool, bool, bool, bool, std::u16string_view, NewWindowVerdict> windows[] = {
      {u"", F, F, F, F, u"https://o.ab/", {T, F}}, {u"", F, F, T, T, u"https://o.ab/", {F, F}},
      {u"", F, F, F, T, u"", {F, F}}, {u"name.cd", F, F, F, F, u"https://a.name.cd/", {T, F}},
      {u"name.cd", F, F, F, F, u"https://name.cde/", {F, F}}, {u"name.cd", F, F, F, T, u"https://name.cde/", {F, T}},
      {u"name.cd", F, F, F, T, u"vistrel-test:x", {F, T}}, {u"name.cd", F, F, F, T, u"about:blank", {F, F}},
      {u"name.cd", F, F, T, T, u"https://name.cde/", {F, F}}, {u"name.cd", F, F, T, T, u"https://a.name.cd/", {F, F}},
      {u"name.cd", F, T, F, F, u"https://name.cde/", {T, F}}, {u"name.cd", F, T, T, F, u"https://name.cde/", {T, F}},
      {u"name.cd", F, F, F, T, u"file:///C:/x.exe", {F, F}}, {u"C:/site/", T, F, F, F, u"file:///C:/site/b.html", {T, F}},
      {u"C:/site/", T, F, F, T, u"file:///C:/other/a.html", {F, T}}, {u"about:blank", T, F, F, F, u"data:text/html,x", {T, F}},
      {u"about:blank", T, F, F, T, u"https://name.cd/", {F, T}},
  };
  for (const auto& [scope, local, all, privateMode, user, uri, verdict] : windows) {
    EXPECT_EQ(DecideNewWindow(SiteRule{scope, local, all, privateMode}, uri, user), verdict) << Text(scope) << " " << Text(uri) << " " << user;
  }
  EXPECT_TRUE(IsLocalSite(u"about:blank", u"about:blank") && IsLocalSite(u"C:/a/", u"file:///C:/a/b.html"));
  EXPECT_FALSE(IsLocalSite(u"name.cd", u"https://name.cd/"));
}

TEST(WebVerdicts, KeysMenuItemsAndSettings) {
  using enum KeyAction;
  constexpr uint32_t M = 0x4D, U = 0x55, Home = 0x24;  // written out so that a wrong constant shows
  const std::tuple<uint32_t, bool, bool, bool, bool, bool, bool, KeyVerdict> rows[] = {  // key down repeat ctrl alt /u /l
      {M, true, false, true, false, false, false, {true, ToggleMute}}, {M, true, true, true, false, false, false, {true, None}},
      {M, true, false, true, true, false, true, {true, ToggleMute}}, {M, false, false, true, false, false, false, {}},
      {M, true, false, true, false, true, false, {}}, {M, true, false, false, true, false, false, {}},
      {M, true, false, false, false, false, false, {}}, {U, true, false, true, false, false, false, {true, Swallow}},
      {U, true, false, false, true, false, false, {}}, {0x54, true, false, true, false, false, false, {}},
      {Home, true, false, false, true, false, false, {true, GoHome}}, {Home, true, true, false, true, false, false, {true, None}},
      {Home, true, false, false, true, false, true, {}}, {Home, true, false, false, true, true, false, {}},
      {Home, true, false, true, true, false, false, {}}, {Home, true, false, true, false, false, false, {}},
  };
  for (const auto& [key, down, repeat, control, alt, limitUI, htmlFromFile, verdict] : rows) {
    Options o;
    o.limitUI = limitUI, o.htmlFromFile = htmlFromFile;
    EXPECT_EQ(DecideKey({key, down, repeat, control, alt}, o), verdict) << key << " " << control << alt << repeat;
  }
  using enum Setting;
  const std::tuple<bool, bool, bool, bool, bool, std::vector<MenuItem>, std::vector<SettingValue>> menus[] = {
      {true, false, false, false, false, {{MsgMenuHome, MenuAction::Home}, {MsgMenuMute, MenuAction::Mute}},
       {{DevTools, false}, {GeneralAutofill, false}}},
      {true, true, true, true, true, {{MsgMenuUnmute, MenuAction::Mute}, {MsgMenuClearData, MenuAction::ClearData}},
       {{DevTools, false}, {PasswordAutosave, true}, {DefaultContextMenus, false}, {StatusBar, false},
        {BrowserAcceleratorKeys, false}}},
      {false, false, false, true, false, {}, {{DevTools, false}, {PasswordAutosave, true}}},
  };
  for (const auto& [page, htmlFromFile, mute, keepData, limitUI, items, settings] : menus) {
    Options o;
    o.htmlFromFile = htmlFromFile, o.mute = mute, o.keepData = keepData, o.limitUI = limitUI;
    EXPECT_EQ(MenuItemsFor(page, o), items);
    EXPECT_EQ(SettingsFor(o), settings);
  }
}

}  // namespace
}  // namespace vistrel
