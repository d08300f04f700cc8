// The window title follows the page; downloads from HTML text end the run.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/catalog.h"
#include "base/options.h"
#include "run/host_state.h"
#include "mock_runtime.h"

namespace vistrel {
namespace {

using ::testing::Mock;
using ::testing::NotNull;
using ::testing::PrintToString;
using ::testing::StrictMock;
using Texts = std::vector<std::u16string>;

class TitleAndDownloadTest : public mocks::WebTest {
 protected:
  void SetUp() override {
    runtime.Start(platform);
    platform.calls.clear();
  }
};

TEST_F(TitleAndDownloadTest, TitleFollowsThePageUnlessGiven) {
  const struct {
    std::u16string given;
    std::optional<std::u16string> page;
    Texts titles;  // set on the window
  } rows[] = {
      {u"", u"Page", {u"Page"}},
      {u"", u"ページ", {u"ページ"}},
      {u"", u"", {u""}},
      {u"", std::nullopt, {u""}},
      {u"Fixed", u"Page", {}},
      {u"Fixed", std::nullopt, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(PrintToString(row.given) + " " + PrintToString(row.page));
    options.title = row.given;
    runtime.view.documentTitle = row.page;
    platform.titles.clear();
    platform.titleWindows.clear();
    // A given title means the page's is not even asked for.
    EXPECT_CALL(runtime.view, get_DocumentTitle(NotNull())).Times(row.given.empty() ? 1 : 0);
    EXPECT_EQ(runtime.view.documentTitleChanged.at(0)->Invoke(&runtime.view, nullptr), S_OK);
    EXPECT_EQ(platform.titles, row.titles);
    EXPECT_EQ(platform.titleWindows, std::vector<WindowHandle>(row.titles.size(), kWindow));
    Mock::VerifyAndClearExpectations(&runtime.view);
  }
}

TEST_F(TitleAndDownloadTest, DownloadsRefusedOnlyForHtmlText) {
  const struct {
    std::u16string scope;
    int32_t language;
    std::u16string posted;  // empty: the download goes ahead untouched
  } rows[] = {
      {u"", kEnglish, u""},
      {u"name.cd", kEnglish, u""},
      {u"C:/pages/", kEnglish, u""},
      {u"data:text/html,x", kEnglish, u""},
      {u"about:blan", kEnglish, u""},
      {u"about:blank/", kEnglish, u""},
      {u"About:blank", kEnglish, u""},
      {u"about:blank", kEnglish, u"page.html - File is not supported."},
      {u"about:blank", kJapanese, u"page.html - 対応されていないファイルです。"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(PrintToString(row.scope) + " " + PrintToString(row.posted));
    hostState.siteScope = row.scope;
    languageIndex = row.language;
    options.address = u"page.html";
    options.startAddress = u"/home/u/page.html";
    platform.postedMessages.clear();
    platform.postedWindows.clear();
    const std::u16string* posted = nullptr;
    {
      // Strict: an untouched event sees no call at all.
      StrictMock<mocks::MockDownloadStartingArgs> args;
      if (!row.posted.empty()) EXPECT_CALL(args, put_Cancel(TRUE));
      EXPECT_EQ(runtime.view.downloadStarting.at(0)->Invoke(&runtime.view, &args), S_OK);
      EXPECT_EQ(args.references, 1u);
      if (row.posted.empty()) {
        EXPECT_TRUE(platform.postedMessages.empty());
        EXPECT_TRUE(platform.calls.empty());
        continue;
      }
      ASSERT_EQ(platform.postedMessages.size(), 1u);
      EXPECT_EQ(platform.postedWindows, std::vector<WindowHandle>{kWindow});
      posted = platform.postedMessages[0];
    }
    // The window procedure reads the text later, from the message loop.
    options.address = u"other.html";
    languageIndex = 1 - row.language;
    ASSERT_NE(posted, nullptr);
    EXPECT_EQ(*posted, row.posted);
    platform.calls.clear();
  }
}

}  // namespace
}  // namespace vistrel
