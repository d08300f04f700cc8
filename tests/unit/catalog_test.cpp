#include "base/catalog.h"
#include "run/boxes.h"

#include <gtest/gtest.h>

#include "fake_platform.h"

namespace vistrel {
namespace {

struct CatalogRow {
  MessageId id;
  std::u16string_view japanese;
  std::u16string_view english;
};

// Every entry but the usage text, exactly as the user must see it.
const CatalogRow kCatalog[] = {
    {MsgParameterInvalid, u" - パラメータが正しくありません。", u" - Parameter is invalid."},
    {MsgEmptyParameter, u"空のパラメータが指定されています。", u"Empty parameter is specified."},
    {MsgParameterAlreadySpecified, u" - パラメータはすでに指定されています。", u" - Parameter is already specified."},
    {MsgParametersConflict, u" - パラメータは一緒に使うことはできません。", u" - Parameter is not able to use together."},
    {MsgIconFileMissing, u"アイコンファイルが指定されていません。", u"Icon file is not specified."},
    {MsgSizeMissing, u"幅または高さが指定されていません。", u"Width or height is not specified."},
    {MsgPositionMissing, u"X または Y が指定されていません。", u"X or Y is not specified."},
    {MsgAddressMissing, u"アドレスまたはファイルが指定されていません。", u"Address is not specified."},
    {MsgProfileNameMissing, u"プロファイル名が指定されていません。", u"Profile name is not specified."},
    {MsgIconParameterInvalid, u" - アイコンファイルのパラメータが正しくありません。", u" - Parameter of icon file is invalid."},
    {MsgIconIndexInvalid, u" - アイコンファイルのインデックスが正しくありません。", u" - Index of icon file is invalid."},
    {MsgWidthInvalid, u" - ウィンドウ幅の値が正しくありません。", u" - Value of window width is invalid."},
    {MsgHeightInvalid, u" - ウィンドウ高の値が正しくありません。", u" - Value of window height is invalid."},
    {MsgXInvalid, u" - X の値が正しくありません。", u" - Value of X is invalid."},
    {MsgYInvalid, u" - Y の値が正しくありません。", u" - Value of Y is invalid."},
    {MsgProfileNameTooLong, u" - プロファイル名の文字数が多すぎます。", u" - Profile name is too long."},
    {MsgProfileNameBadChar, u" - プロファイル名に使用できない文字が含まれています。", u" - Invalid character is used in profile name."},
    {MsgProfileNameBadEnd, u" - プロファイル名はスペースまたはピリオドで終了することは出来ません。",
     u" - Profile name is not able to end with space or period."},
    {MsgWidthTooLarge, u" - ウィンドウ幅の値が大きすぎます。", u" - Value of window width is too large."},
    {MsgHeightTooLarge, u" - ウィンドウ高の値が大きすぎます。", u" - Value of window height is too large."},
    {MsgXTooLarge, u" - X の値が大きすぎます。", u" - Value of X is too large."},
    {MsgYTooLarge, u" - Y の値が大きすぎます。", u" - Value of Y is too large."},
    {MsgFileNotFound, u" - ファイルが見つかりませんでした。", u" - File was not found."},
    {MsgFileNameInvalid, u" - ファイル名またはフォルダ名が正しくありません。", u" - File name or folder name is invalid."},
    {MsgFileOpenFailed, u" - ファイルを開けませんでした。", u" - File was not able to open."},
    {MsgIconUnavailable, u" - アイコンを取得できませんでした。", u" - Unable to retreave the icon."},
    {MsgProfileNameInvalid, u" - プロファイル名が正しくありません。", u" - Profile name is invalid."},
    {MsgAddressInvalid, u" - アドレスまたはファイル名が正しくありません。", u" - Address or file name is invalid."},
    {MsgFileNotSupported, u" - 対応されていないファイルです。", u" - File is not supported."},
    {MsgRuntimeMissing, u"WebView2 がインストールされていません。", u"WebView2 is not installed."},
    {MsgDataDeleteFailed, u"ユーザーデータを削除できませんでした。", u"Could not delete user data."},
    {MsgClearDataConfirm, u"すべてのデータをクリアしますか？", u"Clear all data?"},
    {MsgDataCleared, u"すべてのデータをクリアしました。", u"All data is cleared."},
    {MsgMenuMute, u"ミュート", u"Mute"},
    {MsgMenuUnmute, u"ミュート解除", u"Unmute"},
    {MsgMenuClearData, u"データクリア", u"Clear Data"},
    {MsgMenuHome, u"ホーム", u"Home"},
};

class CatalogTest : public ::testing::Test {
 protected:
  void TearDown() override { fakes::ResetProgramState(); }
};

TEST_F(CatalogTest, EveryTextInBothLanguages) {
  static_assert(std::size(kCatalog) + 1 == MsgCount, "every entry but the usage text is listed");
  for (const CatalogRow& row : kCatalog) {
    languageIndex = kJapanese;
    EXPECT_EQ(CatalogText(row.id), row.japanese) << "entry " << row.id;
    languageIndex = kEnglish;
    EXPECT_EQ(CatalogText(row.id), row.english) << "entry " << row.id;
  }
}

TEST_F(CatalogTest, LanguageFollowsTheInterfaceLanguage) {
  const struct {
    uint16_t langId;
    int32_t expected;
  } cases[] = {
      {1041, kJapanese},  // Japanese (Japan)
      {1033, kEnglish},   // English (United States)
      {2057, kEnglish},   // English (United Kingdom)
      {2052, kEnglish},   // Chinese (PRC)
      {1042, kEnglish},   // Korean
      {1028, kEnglish},   // Chinese (Taiwan)
      {0, kEnglish},
  };
  for (const auto& c : cases) {
    languageIndex = -5;
    ChooseLanguage(c.langId);
    EXPECT_EQ(languageIndex, c.expected) << c.langId;
  }
}

TEST_F(CatalogTest, ComposedMessagesHaveNoSeparatorOfTheirOwn) {
  const struct {
    std::u16string subject;
    MessageId id;
    std::u16string japanese;
    std::u16string english;
  } cases[] = {
      {u"/Q", MsgParameterInvalid, u"/Q - パラメータが正しくありません。", u"/Q - Parameter is invalid."},
      {u"abc", MsgProfileNameInvalid, u"abc - プロファイル名が正しくありません。", u"abc - Profile name is invalid."},
      {u"C:\\a b\\page.html", MsgFileNotSupported, u"C:\\a b\\page.html - 対応されていないファイルです。",
       u"C:\\a b\\page.html - File is not supported."},
      {u"", MsgIconUnavailable, u" - アイコンを取得できませんでした。", u" - Unable to retreave the icon."},
  };
  for (const auto& c : cases) {
    languageIndex = kJapanese;
    EXPECT_EQ(ComposeArgumentMessage(c.subject, c.id), c.japanese);
    languageIndex = kEnglish;
    EXPECT_EQ(ComposeArgumentMessage(c.subject, c.id), c.english);
  }
}

TEST_F(CatalogTest, UsageTextsHaveTheirLengthsAndShape) {
  const struct {
    int32_t language;
    size_t length;
    std::u16string_view firstLine;
  } cases[] = {{kEnglish, 468, u"Display web page."}, {kJapanese, 384, u"Web ページを表示します。"}};
  for (const auto& c : cases) {
    languageIndex = c.language;
    const std::u16string usage = CatalogText(MsgUsage);
    EXPECT_EQ(usage.size(), c.length);
    EXPECT_EQ(usage.back(), u'\n');
    EXPECT_EQ(std::count(usage.begin(), usage.end(), u'\n'), 18);
    EXPECT_EQ(std::count(usage.begin(), usage.end(), u'\t'), 15);  // every option line
    EXPECT_TRUE(usage.starts_with(std::u16string(c.firstLine) + u"\n\nvistrel [/s[p] "));
    EXPECT_EQ(usage.find(u"/ver"), std::u16string::npos);
    EXPECT_EQ(usage.find(u"/void"), std::u16string::npos);
    EXPECT_EQ(usage.find(u"/?"), std::u16string::npos);
  }
}

TEST_F(CatalogTest, ShowCatalogMessageUsesAnUnownedBoxTitledVistrel) {
  fakes::FakePlatform platform;
  ShowCatalogMessage(u"first", true);
  ShowCatalogMessage(u"second", false);
  ASSERT_EQ(platform.boxes.size(), 2u);
  EXPECT_EQ(platform.boxes[0].owner, nullptr);
  EXPECT_EQ(platform.boxes[0].caption, u"vistrel");
  EXPECT_EQ(platform.boxes[0].text, u"first");
  EXPECT_EQ(platform.boxes[0].style, 48u);
  EXPECT_EQ(platform.boxes[1].style, 0u);
}

}  // namespace
}  // namespace vistrel
