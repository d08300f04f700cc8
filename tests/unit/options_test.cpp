#include "rules/command_line.h"

#include "run/run.h"

#include <gtest/gtest.h>

#include <limits>

#include "fake_platform.h"

namespace vistrel {
namespace {

using fakes::Narrow;

using Args = std::vector<std::u16string>;
constexpr Rect kWorkArea{0, 0, 1920, 1040};

const std::u16string k64(64, u'a');
const std::u16string k65(65, u'a');
const std::u16string k65Slashes(65, u'/');

struct RefusalRow {
  const char* name;
  Args args;
  std::u16string english;
  std::u16string japanese;
};

class OptionsTest : public ::testing::Test {
 protected:
  void TearDown() override { fakes::ResetProgramState(); }

  static std::u16string RefusalText(const Args& args, int32_t language, const Rect& area = kWorkArea) {
    const ParseResult result = ParseCommandLine(args, area);
    if (!result.refusal) return u"(accepted)";
    languageIndex = language;
    return result.refusal->Text();
  }
};

TEST_F(OptionsTest, RefusalsInBothLanguages) {
  const RefusalRow rows[] = {
      // Switches, in the order they are recognised.
      {"empty argument", {u"/a", u"", u"x"}, u"Empty parameter is specified.", u"空のパラメータが指定されています。"},
      {"second /d", {u"/d", u"/d:x", u"x"}, u"/d - Parameter is already specified.", u"/d - パラメータはすでに指定されています。"},
      {"second /d, capitals", {u"/D:a", u"/D", u"x"}, u"/d - Parameter is already specified.", u"/d - パラメータはすでに指定されています。"},
      {"/d without colon", {u"/Dx", u"x"}, u"/Dx - Parameter is invalid.", u"/Dx - パラメータが正しくありません。"},
      {"/d: with no name", {u"/d:", u"x"}, u"Profile name is not specified.", u"プロファイル名が指定されていません。"},
      {"profile name of 65", {u"/d:" + k65, u"x"}, k65 + u" - Profile name is too long.", k65 + u" - プロファイル名の文字数が多すぎます。"},
      {"length before characters", {u"/d:" + k65Slashes, u"x"}, k65Slashes + u" - Profile name is too long.", k65Slashes + u" - プロファイル名の文字数が多すぎます。"},
      {"slash in profile name", {u"/d:a/b", u"x"}, u"a/b - Invalid character is used in profile name.", u"a/b - プロファイル名に使用できない文字が含まれています。"},
      {"colon in profile name", {u"/d:a:b", u"x"}, u"a:b - Invalid character is used in profile name.", u"a:b - プロファイル名に使用できない文字が含まれています。"},
      {"non-ASCII profile name", {u"/d:仕事", u"x"}, u"仕事 - Invalid character is used in profile name.", u"仕事 - プロファイル名に使用できない文字が含まれています。"},
      {"profile name ends in blank", {u"/d:ab ", u"x"}, u"ab  - Profile name is not able to end with space or period.", u"ab  - プロファイル名はスペースまたはピリオドで終了することは出来ません。"},
      {"profile name ends in period", {u"/d:ab.", u"x"}, u"ab. - Profile name is not able to end with space or period.", u"ab. - プロファイル名はスペースまたはピリオドで終了することは出来ません。"},
      {"second /i", {u"/i", u"a.ico", u"/I", u"b.ico", u"x"}, u"/i - Parameter is already specified.", u"/i - パラメータはすでに指定されています。"},
      {"/i last", {u"x", u"/i"}, u"Icon file is not specified.", u"アイコンファイルが指定されていません。"},
      {"/i comma first", {u"/i", u",3", u"x"}, u",3 - Parameter of icon file is invalid.", u",3 - アイコンファイルのパラメータが正しくありません。"},
      {"/i comma last", {u"/i", u"app.ico,", u"x"}, u"app.ico, - Parameter of icon file is invalid.", u"app.ico, - アイコンファイルのパラメータが正しくありません。"},
      {"/i two commas", {u"/i", u"a,b,c", u"x"}, u"a,b,c - Parameter of icon file is invalid.", u"a,b,c - アイコンファイルのパラメータが正しくありません。"},
      {"/i two blanks", {u"/i", u"app.ico,  3", u"x"}, u"app.ico,  3 - Index of icon file is invalid.", u"app.ico,  3 - アイコンファイルのインデックスが正しくありません。"},
      {"/i index -1", {u"/i", u"app.ico,-1", u"x"}, u"app.ico,-1 - Index of icon file is invalid.", u"app.ico,-1 - アイコンファイルのインデックスが正しくありません。"},
      {"/i index +3", {u"/i", u"app.ico,+3", u"x"}, u"app.ico,+3 - Index of icon file is invalid.", u"app.ico,+3 - アイコンファイルのインデックスが正しくありません。"},
      {"/i index 3-", {u"/i", u"app.ico,3-", u"x"}, u"app.ico,3- - Index of icon file is invalid.", u"app.ico,3- - アイコンファイルのインデックスが正しくありません。"},
      {"/i index --3", {u"/i", u"app.ico,--3", u"x"}, u"app.ico,--3 - Index of icon file is invalid.", u"app.ico,--3 - アイコンファイルのインデックスが正しくありません。"},
      {"/i index letters", {u"/i", u"app.ico,3a", u"x"}, u"app.ico,3a - Index of icon file is invalid.", u"app.ico,3a - アイコンファイルのインデックスが正しくありません。"},
      {"second /l", {u"/l", u"/LU", u"x"}, u"/l - Parameter is already specified.", u"/l - パラメータはすでに指定されています。"},
      {"/lds", {u"/lds", u"x"}, u"/lds - Parameter is invalid.", u"/lds - パラメータが正しくありません。"},
      {"/lx", {u"/lx", u"x"}, u"/lx - Parameter is invalid.", u"/lx - パラメータが正しくありません。"},
      {"/lux", {u"/lux", u"x"}, u"/lux - Parameter is invalid.", u"/lux - パラメータが正しくありません。"},
      {"/luds", {u"/luds", u"x"}, u"/luds - Parameter is invalid.", u"/luds - パラメータが正しくありません。"},
      {"/lsu", {u"/LSU", u"x"}, u"/LSU - Parameter is invalid.", u"/LSU - パラメータが正しくありません。"},
      {"second size", {u"/s", u"800", u"600", u"/sp", u"1", u"2", u"3", u"4"}, u"/s - Parameter is already specified.", u"/s - パラメータはすでに指定されています。"},
      {"second size, /sp first", {u"/SP", u"800", u"600", u"0", u"0", u"/s", u"1", u"2"}, u"/s - Parameter is already specified.", u"/s - パラメータはすでに指定されています。"},
      {"/s with one value", {u"/s", u"800"}, u"Width or height is not specified.", u"幅または高さが指定されていません。"},
      {"/sp with one value", {u"/sp", u"800"}, u"Width or height is not specified.", u"幅または高さが指定されていません。"},
      {"/sp with two values", {u"/sp", u"800", u"600"}, u"X or Y is not specified.", u"X または Y が指定されていません。"},
      {"/sp with three values", {u"/sp", u"800", u"600", u"0"}, u"X or Y is not specified.", u"X または Y が指定されていません。"},
      {"width 50", {u"/s", u"50", u"600", u"x"}, u"50 - Value of window width is invalid.", u"50 - ウィンドウ幅の値が正しくありません。"},
      {"width 99", {u"/s", u"99", u"600", u"x"}, u"99 - Value of window width is invalid.", u"99 - ウィンドウ幅の値が正しくありません。"},
      {"width leaves under 100", {u"/s", u"-1850", u"600", u"x"}, u"-1850 - Value of window width is invalid.", u"-1850 - ウィンドウ幅の値が正しくありません。"},
      {"width with two minus signs", {u"/s", u"--5", u"600", u"x"}, u"--5 - Value of window width is invalid.", u"--5 - ウィンドウ幅の値が正しくありません。"},
      {"width with trailing minus", {u"/s", u"5-", u"600", u"x"}, u"5- - Value of window width is invalid.", u"5- - ウィンドウ幅の値が正しくありません。"},
      {"width with plus", {u"/s", u"+800", u"600", u"x"}, u"+800 - Value of window width is invalid.", u"+800 - ウィンドウ幅の値が正しくありません。"},
      {"switch taken as width", {u"/s", u"/k", u"300"}, u"/k - Value of window width is invalid.", u"/k - ウィンドウ幅の値が正しくありません。"},
      {"height letters", {u"/s", u"800", u"6OO", u"x"}, u"6OO - Value of window height is invalid.", u"6OO - ウィンドウ高の値が正しくありません。"},
      {"height leaves under 100", {u"/s", u"800", u"-941", u"x"}, u"-941 - Value of window height is invalid.", u"-941 - ウィンドウ高の値が正しくありません。"},
      {"/sp width too large", {u"/sp", u"2500", u"600", u"0", u"0", u"x"}, u"2500 - Value of window width is too large.", u"2500 - ウィンドウ幅の値が大きすぎます。"},
      {"/sp negative width", {u"/sp", u"-100", u"600", u"0", u"0", u"x"}, u"-100 - Value of window width is invalid.", u"-100 - ウィンドウ幅の値が正しくありません。"},
      {"/sp height too large", {u"/sp", u"800", u"1041", u"0", u"0", u"x"}, u"1041 - Value of window height is too large.", u"1041 - ウィンドウ高の値が大きすぎます。"},
      {"/sp X past the edge", {u"/sp", u"800", u"600", u"1200", u"0", u"x"}, u"1200 - Value of X is too large.", u"1200 - X の値が大きすぎます。"},
      {"/sp X from the right, past the left", {u"/sp", u"800", u"600", u"-1121", u"0", u"x"}, u"-1121 - Value of X is too large.", u"-1121 - X の値が大きすぎます。"},
      {"/sp X with two minus signs", {u"/sp", u"800", u"600", u"--5", u"0", u"x"}, u"--5 - Value of X is invalid.", u"--5 - X の値が正しくありません。"},
      {"/sp X with trailing minus", {u"/sp", u"800", u"600", u"5-", u"0", u"x"}, u"5- - Value of X is invalid.", u"5- - X の値が正しくありません。"},
      {"/sp Y past the edge", {u"/sp", u"800", u"600", u"0", u"441", u"x"}, u"441 - Value of Y is too large.", u"441 - Y の値が大きすぎます。"},
      {"/sp Y letters", {u"/sp", u"800", u"600", u"0", u"y", u"x"}, u"y - Value of Y is invalid.", u"y - Y の値が正しくありません。"},
      {"/sp huge X", {u"/sp", u"800", u"600", u"99999999999", u"0", u"x"}, u"99999999999 - Value of X is too large.", u"99999999999 - X の値が大きすぎます。"},
      {"/sp huge negative X", {u"/sp", u"800", u"600", u"-99999999999", u"0", u"x"}, u"-99999999999 - Value of X is too large.", u"-99999999999 - X の値が大きすぎます。"},
      {"unknown switch", {u"/q", u"x"}, u"/q - Parameter is invalid.", u"/q - パラメータが正しくありません。"},
      {"unknown switch keeps its case", {u"x", u"/Q"}, u"/Q - Parameter is invalid.", u"/Q - パラメータが正しくありません。"},
      {"slash alone", {u"/", u"x"}, u"/ - Parameter is invalid.", u"/ - パラメータが正しくありません。"},
      {"/? with another argument", {u"/?", u"x"}, u"/? - Parameter is invalid.", u"/? - パラメータが正しくありません。"},
      {"/ver with another argument", {u"/ver", u"x"}, u"/ver - Parameter is invalid.", u"/ver - パラメータが正しくありません。"},
      {"/sx is no size switch", {u"/sx", u"800", u"600"}, u"/sx - Parameter is invalid.", u"/sx - パラメータが正しくありません。"},
      {"/af is no switch", {u"/af", u"x"}, u"/af - Parameter is invalid.", u"/af - パラメータが正しくありません。"},
      {"third positional", {u"a", u"b", u"c d"}, u"c d - Parameter is invalid.", u"c d - パラメータが正しくありません。"},
      // Final validation, in its order.
      {"no arguments", {}, u"Address is not specified.", u"アドレスまたはファイルが指定されていません。"},
      {"switches only", {u"/m", u"/a"}, u"Address is not specified.", u"アドレスまたはファイルが指定されていません。"},
      {"/l name with slash", {u"/l", u"a/b.html"}, u" - File name or folder name is invalid.", u" - ファイル名またはフォルダ名が正しくありません。"},
      {"/l name with <", {u"/l", u"a<b"}, u" - File name or folder name is invalid.", u" - ファイル名またはフォルダ名が正しくありません。"},
      {"/l name with >", {u"/l", u"a>b"}, u" - File name or folder name is invalid.", u" - ファイル名またはフォルダ名が正しくありません。"},
      {"/l name with |", {u"/l", u"a|b"}, u" - File name or folder name is invalid.", u" - ファイル名またはフォルダ名が正しくありません。"},
      {"/l name with quote", {u"/l", u"a\"b"}, u" - File name or folder name is invalid.", u" - ファイル名またはフォルダ名が正しくありません。"},
      {"/k with /s", {u"/k", u"/s", u"800", u"600", u"x"}, u"/k /s - Parameter is not able to use together.", u"/k /s - パラメータは一緒に使うことはできません。"},
      {"/k with /f", {u"/f", u"/K", u"x"}, u"/k /f - Parameter is not able to use together.", u"/k /f - パラメータは一緒に使うことはできません。"},
      {"/d with /p", {u"/d", u"/p", u"x"}, u"/d /p - Parameter is not able to use together.", u"/d /p - パラメータは一緒に使うことはできません。"},
      {"/d:name with /p", {u"/p", u"/d:x", u"x"}, u"/d /p - Parameter is not able to use together.", u"/d /p - パラメータは一緒に使うことはできません。"},
  };
  for (const RefusalRow& row : rows) {
    EXPECT_EQ(RefusalText(row.args, kEnglish), row.english) << row.name;
    EXPECT_EQ(RefusalText(row.args, kJapanese), row.japanese) << row.name;
  }
}

TEST_F(OptionsTest, FirstErrorWins) {
  const struct {
    const char* name;
    Args args;
    std::u16string english;
  } rows[] = {
      {"switch errors in argument order", {u"/q", u"/r", u"x"}, u"/q - Parameter is invalid."},
      {"loop errors before validation", {u"/s", u"50", u"600"}, u"50 - Value of window width is invalid."},
      {"width before height", {u"/s", u"50", u"5"}, u"50 - Value of window width is invalid."},
      {"a refusal stops the loop", {u"a", u"b", u"c", u"/q"}, u"c - Parameter is invalid."},
      {"missing address before conflicts", {u"/k", u"/f", u"/d", u"/p"}, u"Address is not specified."},
      {"file name before conflicts", {u"/l", u"/k", u"/f", u"a/b"}, u" - File name or folder name is invalid."},
      {"/k /s before /k /f", {u"/k", u"/f", u"/s", u"800", u"600", u"x"}, u"/k /s - Parameter is not able to use together."},
      {"/k /f before /d /p", {u"/k", u"/f", u"/d", u"/p", u"x"}, u"/k /f - Parameter is not able to use together."},
      {"size missing before position missing", {u"/sp", u"1"}, u"Width or height is not specified."},
      {"already specified before its values", {u"/s", u"800", u"600", u"/s"}, u"/s - Parameter is already specified."},
  };
  for (const auto& row : rows) EXPECT_EQ(RefusalText(row.args, kEnglish), row.english) << row.name;
}

TEST_F(OptionsTest, RepeatableSwitchesAndCaseOfSwitches) {
  const ParseResult r =
      ParseCommandLine({u"/A", u"/a", u"/F", u"/f", u"/M", u"/m", u"/U", u"/u", u"/Z", u"/z", u"/P", u"/p", u"x"},
                       kWorkArea);
  ASSERT_FALSE(r.refusal);
  EXPECT_TRUE(r.options.noBrowsingLimit);
  EXPECT_TRUE(r.options.fixedSize);
  EXPECT_TRUE(r.options.mute);
  EXPECT_TRUE(r.options.limitUI);
  EXPECT_TRUE(r.options.adjustZoom);
  EXPECT_TRUE(r.options.privateMode);
  EXPECT_FALSE(r.options.keepData);
  EXPECT_FALSE(r.options.fullScreen);
  EXPECT_EQ(r.options.address, u"x");
  EXPECT_TRUE(r.options.startAddress.empty());  // set later, from the disk
}

TEST_F(OptionsTest, ProfileNames) {
  const struct {
    std::u16string token;
    std::u16string name;
  } rows[] = {
      {u"/d", u""},
      {u"/D", u""},
      {u"/D:Work", u"Work"},
      {u"/d:a b", u"a b"},
      {u"/d:" + k64, k64},
      {u"/d:#@$()+-_~.x", u"#@$()+-_~.x"},
  };
  for (const auto& row : rows) {
    const ParseResult r = ParseCommandLine({row.token, u"x"}, kWorkArea);
    ASSERT_FALSE(r.refusal) << Narrow(row.token);
    EXPECT_TRUE(r.options.keepData);
    EXPECT_EQ(r.options.profileName, row.name);
  }
}

TEST_F(OptionsTest, IconValues) {
  const struct {
    std::u16string value;
    std::u16string file;
    int32_t index;
  } rows[] = {
      {u"app.ico", u"app.ico", 0},
      {u"app.ico,3", u"app.ico", 3},
      {u"app.ico, 3", u"app.ico", 3},
      {u"app.ico,-2", u"app.ico", -2},
      {u"my-app.ico,2", u"my-app.ico", 2},
      {u"app.ico, ", u"app.ico", 0},
      {u"app.ico,-", u"app.ico", 0},
      {u"%SystemRoot%\\a b.dll,12", u"%SystemRoot%\\a b.dll", 12},
      {u"app.ico,99999999999", u"app.ico", std::numeric_limits<int32_t>::max()},
      {u"app.ico,-99999999999", u"app.ico", std::numeric_limits<int32_t>::min()},
      {u"", u"", 0},
      {u"/k", u"/k", 0},  // a consumed value is never a switch
  };
  for (const auto& row : rows) {
    const ParseResult r = ParseCommandLine({u"/I", row.value, u"x"}, kWorkArea);
    ASSERT_FALSE(r.refusal) << Narrow(row.value);
    EXPECT_TRUE(r.options.iconGiven);
    EXPECT_EQ(r.options.iconFile, row.file) << Narrow(row.value);
    EXPECT_EQ(r.options.iconIndex, row.index) << Narrow(row.value);
  }
}

TEST_F(OptionsTest, HtmlFileSwitches) {
  const struct {
    std::u16string token;
    bool unicode, deleteFile, reflect;
  } rows[] = {
      {u"/l", false, false, false}, {u"/L", false, false, false}, {u"/lu", true, false, false},
      {u"/ld", false, true, false}, {u"/lS", false, false, true},  {u"/lud", true, true, false},
      {u"/LUS", true, false, true},
  };
  for (const auto& row : rows) {
    const ParseResult r = ParseCommandLine({row.token, u"page.html"}, kWorkArea);
    ASSERT_FALSE(r.refusal) << Narrow(row.token);
    EXPECT_TRUE(r.options.htmlFromFile);
    EXPECT_EQ(r.options.htmlUnicode, row.unicode) << Narrow(row.token);
    EXPECT_EQ(r.options.deleteHtmlFile, row.deleteFile) << Narrow(row.token);
    EXPECT_EQ(r.options.reflectFileUpdate, row.reflect) << Narrow(row.token);
    EXPECT_TRUE(r.options.startAddress.empty());
  }
}

TEST_F(OptionsTest, SizesAndPositions) {
  const int32_t kMax = std::numeric_limits<int32_t>::max();
  const struct {
    const char* name;
    Args args;
    Rect area;
    int32_t width, height, x, y;
    bool positionGiven;
  } rows[] = {
      {"plain size", {u"/s", u"800", u"600"}, kWorkArea, 800, 600, 0, 0, false},
      {"zero and negative", {u"/s", u"0", u"-40"}, kWorkArea, 1920, 1000, 0, 0, false},
      {"larger than the work area", {u"/s", u"2500", u"600"}, kWorkArea, 2500, 600, 0, 0, false},
      {"exactly 100 left", {u"/s", u"-1820", u"-940"}, kWorkArea, 100, 100, 0, 0, false},
      {"empty width is 0", {u"/s", u"", u"600"}, kWorkArea, 1920, 600, 0, 0, false},
      {"minus alone is 0", {u"/s", u"-", u"600"}, kWorkArea, 1920, 600, 0, 0, false},
      {"huge width clamps", {u"/s", u"99999999999", u"600"}, kWorkArea, kMax, 600, 0, 0, false},
      {"flush right and bottom", {u"/sp", u"800", u"600", u"-0", u"-0"}, kWorkArea, 800, 600, 1120, 440, true},
      {"10 from the right", {u"/Sp", u"800", u"600", u"-10", u"0"}, kWorkArea, 800, 600, 1110, 0, true},
      {"last pixel", {u"/sp", u"800", u"600", u"1120", u"440"}, kWorkArea, 800, 600, 1120, 440, true},
      {"zero size with position", {u"/sp", u"0", u"0", u"100", u"100"}, kWorkArea, 1920, 1040, 100, 100, true},
      {"work area of another size", {u"/s", u"0", u"0"}, Rect{0, 0, 1366, 728}, 1366, 728, 0, 0, false},
      {"work area not at the origin", {u"/sp", u"800", u"600", u"-0", u"0"}, Rect{0, 40, 1920, 1080}, 800, 600,
       1120, 0, true},
  };
  for (const auto& row : rows) {
    const ParseResult r = ParseCommandLine([&] {
      Args args = row.args;
      args.push_back(u"x");
      return args;
    }(), row.area);
    ASSERT_FALSE(r.refusal) << row.name << ": " << Narrow(r.refusal->Text());
    EXPECT_TRUE(r.options.sizeGiven) << row.name;
    EXPECT_EQ(r.options.positionGiven, row.positionGiven) << row.name;
    EXPECT_EQ(r.options.width, row.width) << row.name;
    EXPECT_EQ(r.options.height, row.height) << row.name;
    if (row.positionGiven) {
      EXPECT_EQ(r.options.x, row.x) << row.name;
      EXPECT_EQ(r.options.y, row.y) << row.name;
    }
  }
}

TEST_F(OptionsTest, FarEdgeIsTheWorkAreasEdgeNotItsExtent) {
  // With the task bar on the left or at the top, "-0" counts from the far
  // edge of the work area, which puts the window past the work area's extent.
  const ParseResult left = ParseCommandLine({u"/sp", u"800", u"600", u"-0", u"0", u"x"}, Rect{60, 0, 1920, 1040});
  ASSERT_TRUE(left.refusal);
  EXPECT_EQ(left.refusal->message, MsgXTooLarge);
  const ParseResult top = ParseCommandLine({u"/sp", u"800", u"600", u"0", u"-0", u"x"}, Rect{0, 40, 1920, 1080});
  ASSERT_TRUE(top.refusal);
  EXPECT_EQ(top.refusal->message, MsgYTooLarge);
}

TEST_F(OptionsTest, ExtremeWorkAreasDoNotOverflow) {
  const Rect huge{std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::min(),
                  std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max()};
  const ParseResult zero = ParseCommandLine({u"/s", u"0", u"-5", u"x"}, huge);
  ASSERT_FALSE(zero.refusal);
  EXPECT_EQ(zero.options.width, std::numeric_limits<int32_t>::max());
  const ParseResult far = ParseCommandLine({u"/sp", u"99999999999", u"100", u"-0", u"0", u"x"}, huge);
  ASSERT_FALSE(far.refusal);
  EXPECT_EQ(far.options.x, 0);
  const ParseResult empty = ParseCommandLine({u"/sp", u"100", u"100", u"0", u"0", u"x"}, Rect{});
  ASSERT_TRUE(empty.refusal);
  EXPECT_EQ(empty.refusal->message, MsgWidthTooLarge);
}

TEST_F(OptionsTest, PositionalArguments) {
  const struct {
    Args args;
    std::u16string title, address;
  } rows[] = {
      {{u"https://name.ab.cd/"}, u"", u"https://name.ab.cd/"},
      {{u"Hello", u"https://name.ab.cd/"}, u"Hello", u"https://name.ab.cd/"},
      {{u"Hello", u"/m", u"x"}, u"Hello", u"x"},
      {{u"-x"}, u"", u"-x"},  // only "/" starts a switch
      {{u"こんにちは", u"about:blank"}, u"こんにちは", u"about:blank"},
  };
  for (const auto& row : rows) {
    const ParseResult r = ParseCommandLine(row.args, kWorkArea);
    ASSERT_FALSE(r.refusal);
    EXPECT_EQ(r.options.title, row.title);
    EXPECT_EQ(r.options.address, row.address);
  }
}

TEST_F(OptionsTest, ConvertDecimalFollowsWtoi) {
  const struct {
    std::u16string text;
    int32_t value;
  } rows[] = {
      {u"", 0},          {u"-", 0},           {u"0", 0},
      {u"-0", 0},        {u"123", 123},       {u"-123", -123},
      {u"007", 7},       {u"12ab", 12},       {u"2147483647", 2147483647},
      {u"2147483648", 2147483647},            {u"-2147483648", -2147483647 - 1},
      {u"-2147483649", -2147483647 - 1},      {u"99999999999999999999999", 2147483647},
  };
  for (const auto& row : rows) EXPECT_EQ(ConvertDecimal(row.text), row.value) << Narrow(row.text);
}

TEST_F(OptionsTest, StartAddressFromTheDisk) {
  fakes::FakePlatform platform;
  platform.existingPaths = {u"page.html", u"/srv/site"};
  EXPECT_EQ(ResolveStartAddress(u"page.html"), u"/home/u/page.html");
  EXPECT_EQ(ResolveStartAddress(u"/srv/site"), u"/srv/site");
  EXPECT_EQ(ResolveStartAddress(u"https://name.ab.cd/"), u"https://name.ab.cd/");
  EXPECT_EQ(ResolveStartAddress(u"about:blank"), u"about:blank");
  const std::u16string longName = u"d/" + std::u16string(300, u'n') + u".html";
  platform.existingPaths.insert(longName);
  EXPECT_EQ(ResolveStartAddress(longName), u"/home/u/" + longName);  // never cut at 260
}

}  // namespace
}  // namespace vistrel
