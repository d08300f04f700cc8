// What the main window's messages do to the web view: size, close, reload.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/options.h"
#include "run/host_state.h"
#include "run/window_procedure.h"
#include "mock_runtime.h"

namespace vistrel {
namespace {

using mocks::BoundsAre;
using mocks::TextIs;
using ::testing::_;
using ::testing::Mock;
using Calls = std::vector<std::string>;

class WindowTest : public mocks::WebTest {
 protected:
  // Runtime calls that matter for order join the platform's record.
  void Record(mocks::Runtime<>& r) {
    ON_CALL(r.controller, Close()).WillByDefault([this] {
      platform.calls.push_back("Close");
      return S_OK;
    });
    ON_CALL(r.profile, ClearBrowsingData)
        .WillByDefault([this, &r](COREWEBVIEW2_BROWSING_DATA_KINDS kinds,
                                  ICoreWebView2ClearBrowsingDataCompletedHandler* handler) {
          platform.calls.push_back("ClearBrowsingData " + std::to_string(static_cast<int>(kinds)));
          mocks::Keep(r.profile.cleared, handler);
          return clearResult;
        });
  }

  HRESULT clearResult = S_OK;
};

TEST_F(WindowTest, SizeFollowsTheClientAreaOnceAControllerExists) {
  EXPECT_CALL(runtime.controller, put_Bounds).Times(0);
  OnMainWindowSize(kWindow);
  Mock::VerifyAndClearExpectations(&runtime.controller);

  runtime.Start(platform);
  const struct {
    Rect client;
  } rows[] = {{{0, 0, 1024, 768}}, {{0, 0, 0, 0}}, {{0, 0, 1920, 1017}}};
  for (const auto& row : rows) {
    platform.client = row.client;
    EXPECT_CALL(runtime.controller, put_Bounds(BoundsAre(row.client.left, row.client.top, row.client.right,
                                                         row.client.bottom)));
    OnMainWindowSize(kWindow);
    Mock::VerifyAndClearExpectations(&runtime.controller);
  }
}

TEST_F(WindowTest, CloseClearsTheDiskCacheFirstWhenDataIsKept) {
  const Calls closeNow = {"Close", "DestroyMainWindow"};
  const struct {
    const char* name;
    bool keepData, started, profile;
    HRESULT clearResult;
    std::optional<HRESULT> completion;  // the clear's report, when one comes
    Calls atClose, atEnd;
  } rows[] = {
      {"without /d", false, true, true, S_OK, std::nullopt, closeNow, closeNow},
      {"/d", true, true, true, S_OK, S_OK, {"ClearBrowsingData 256"}, {"ClearBrowsingData 256", "Close", "DestroyMainWindow"}},
      {"/d, clearing reports a failure", true, true, true, S_OK, E_FAIL, {"ClearBrowsingData 256"},
       {"ClearBrowsingData 256", "Close", "DestroyMainWindow"}},
      {"/d, clear refused at once", true, true, true, E_FAIL, std::nullopt,
       {"ClearBrowsingData 256", "Close", "DestroyMainWindow"}, {"ClearBrowsingData 256", "Close", "DestroyMainWindow"}},
      {"/d without a profile", true, true, false, S_OK, std::nullopt, closeNow, closeNow},
      {"before the web view exists", false, false, false, S_OK, std::nullopt, {"DestroyMainWindow"},
       {"DestroyMainWindow"}},
      {"/d before the web view exists", true, false, false, S_OK, std::nullopt, {"DestroyMainWindow"},
       {"DestroyMainWindow"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    options.keepData = row.keepData;
    clearResult = row.clearResult;
    {
      mocks::Runtime<> r;
      Record(r);
      if (row.started) r.Start(platform);
      if (!row.profile) hostState.profile = nullptr;
      platform.calls.clear();
      platform.destroyedWindows.clear();
      OnMainWindowClose(kWindow);
      EXPECT_EQ(platform.calls, row.atClose);
      if (row.completion) {
        ASSERT_EQ(r.profile.cleared.size(), 1u);
        EXPECT_EQ(r.profile.cleared[0]->Invoke(*row.completion), S_OK);
      }
      EXPECT_EQ(platform.calls, row.atEnd);
      EXPECT_EQ(platform.destroyedWindows, std::vector<WindowHandle>{kWindow});
      fakes::ResetProgramState();
      hostState.mainWindow = kWindow;
      r.ExpectBalanced();
    }
  }
}

class ReloadWithWebViewTest : public WindowTest {
 protected:
  ReloadWithWebViewTest() {
    options.htmlFromFile = true;
    options.reflectFileUpdate = true;
    options.address = u"p.html";
    hostState.htmlText = u"v1";
    hostState.fileWriteTime = 100;
    Save(100, "v1");
  }
  void Save(uint64_t time, std::string text) {
    platform.writeTimes[u"p.html"] = time;
    platform.files[u"p.html"] = {FileContents::Status::Read, std::move(text)};
  }
  void Complete() {
    mocks::MockNavigationCompletedArgs args;
    runtime.view.navigationCompleted.at(0)->Invoke(&runtime.view, &args);
  }
};

TEST_F(ReloadWithWebViewTest, NewTextGoesToTheWebViewAfterEachCompletion) {
  // No web view yet: the text is read, and nothing else happens.
  hostState.navigationCompleted = true;
  Save(150, "v1b");
  OnMainWindowTimer(kWindow);
  EXPECT_EQ(hostState.htmlText, u"v1b");

  EXPECT_CALL(runtime.view, NavigateToString(TextIs(u"v1b")));  // the first page
  runtime.Start(platform);
  runtime.view.source = u"about:blank";
  Mock::VerifyAndClearExpectations(&runtime.view);

  EXPECT_CALL(runtime.view, NavigateToString(_)).Times(0);
  EXPECT_CALL(runtime.view, NavigateToString(TextIs(u"v2")));
  EXPECT_CALL(runtime.view, NavigateToString(TextIs(u"v3")));
  Save(200, "v2");
  OnMainWindowTimer(kWindow);  // the first page is still loading
  Complete();
  OnMainWindowTimer(kWindow);  // v2
  Save(300, "v3");
  OnMainWindowTimer(kWindow);  // v2 still loading
  OnMainWindowTimer(kWindow);
  Complete();
  OnMainWindowTimer(kWindow);  // v3
  Complete();
  OnMainWindowTimer(kWindow);  // unchanged
  EXPECT_EQ(hostState.siteScope, u"about:blank");
}

}  // namespace
}  // namespace vistrel
