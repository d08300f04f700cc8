#include "rules/usage_layout.h"

#include <gtest/gtest.h>

#include "base/catalog.h"
#include "run/boxes.h"
#include "fake_platform.h"

namespace vistrel {
namespace {

class UsageTest : public ::testing::Test {
 protected:
  void TearDown() override { fakes::ResetProgramState(); }
};

TEST_F(UsageTest, PieceIsTheProgramNameAndItsBlank) {
  for (int32_t language : {kJapanese, kEnglish}) {
    languageIndex = language;
    EXPECT_EQ(UsagePiece(CatalogText(MsgUsage)), u"vistrel ");
  }
  EXPECT_EQ(UsagePiece(u"one\n\nprog rest"), u"prog ");
  EXPECT_EQ(UsagePiece(u"no line feed"), u"");
  EXPECT_EQ(UsagePiece(u"ends\n"), u"");
  EXPECT_EQ(UsagePiece(u"a\n\nnoblank"), u"");
}

TEST_F(UsageTest, SpacesPerTabTruncates) {
  const struct {
    int32_t pieceWidth;
    float spaceWidth;
    int expected;
  } rows[] = {
      {79, 10.0f, 7},     // 7.9 blanks
      {80, 10.0f, 8},
      {56, 7.0f, 8},
      {55, 7.0f, 7},      // 7.857…
      {51, 3.25f, 15},    // 15.69…
      {49, 6.125f, 8},    // exactly 8
      {48, 6.13f, 7},     // 7.83
      {0, 5.0f, 8},       // nothing measured: monospace assumption, 8 characters
      {60, 0.0f, 8},
      {60, -1.0f, 8},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(SpacesPerTab(row.pieceWidth, row.spaceWidth, 8), row.expected)
        << row.pieceWidth << " / " << row.spaceWidth;
  }
}

TEST_F(UsageTest, EveryTabBecomesTheBlanks) {
  const struct {
    std::u16string text;
    int spaces;
    std::u16string expected;
  } rows[] = {
      {u"\ta\n\t    b\n", 3, u"   a\n       b\n"},
      {u"\t\t", 2, u"    "},
      {u"\t\t", 0, u""},
      {u"no tabs", 5, u"no tabs"},
      {u"x\ty\tz", 1, u"x y z"},
  };
  for (const auto& row : rows) EXPECT_EQ(ExpandTabs(row.text, row.spaces), row.expected);
}

TEST_F(UsageTest, ShowUsageMeasuresAndShowsAPlainBox) {
  fakes::FakePlatform platform;
  platform.fontWidths = {79, 10.0f};  // "vistrel " is 7.9 blanks wide
  languageIndex = kEnglish;
  ShowUsage(CatalogText(MsgUsage));
  ASSERT_EQ(platform.calls, (std::vector<std::string>{"MeasureMessageFont vistrel ", "ShowMessageBox"}));
  const fakes::ShownBox& box = platform.boxes.at(0);
  EXPECT_EQ(box.owner, nullptr);
  EXPECT_EQ(box.caption, u"vistrel");
  EXPECT_EQ(box.style, kBoxPlain);
  EXPECT_EQ(box.text.find(u'\t'), std::u16string::npos);
  EXPECT_EQ(box.text.size(), 468u + 15u * 6u);
  const std::u16string blanks(7, u' ');
  EXPECT_NE(box.text.find(u"\n" + blanks + u"/s Specify window size\n"), std::u16string::npos);
  EXPECT_NE(box.text.find(u"\n" + blanks + u"    p Specify window position\n"), std::u16string::npos);
  EXPECT_NE(box.text.find(u"\n" + blanks + u"    s Reflect file update\n"), std::u16string::npos);
  EXPECT_EQ(box.text.find(u"\n" + blanks + u" "), box.text.find(u"\n" + blanks + u"    p"));
}

TEST_F(UsageTest, JapaneseUsageIsExpandedTheSameWay) {
  fakes::FakePlatform platform;
  platform.fontWidths = {64, 8.0f};
  languageIndex = kJapanese;
  ShowUsage(CatalogText(MsgUsage));
  const std::u16string& text = platform.boxes.at(0).text;
  EXPECT_EQ(text.size(), 384u + 15u * 7u);
  EXPECT_NE(text.find(u"\n        /k 全画面モード\n"), std::u16string::npos);
  EXPECT_NE(text.find(u"\n            u Unicode のファイルを使用する\n"), std::u16string::npos);
}

}  // namespace
}  // namespace vistrel
