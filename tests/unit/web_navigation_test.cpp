// Keeping browsing to the site, and fixing the site from the first page.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/options.h"
#include "run/host_state.h"
#include "mock_runtime.h"

namespace vistrel {
namespace {

using mocks::TextIs;
using ::testing::_;
using ::testing::Mock;
using ::testing::NotNull;
using ::testing::PrintToString;
using ::testing::StrictMock;
using Addresses = std::vector<std::u16string>;

class NavigationTest : public mocks::WebTest {
 protected:
  void SetUp() override { runtime.Start(platform); }

  void Given(const std::u16string& scope, bool siteIsLocal, bool noBrowsingLimit, bool privateMode) {
    hostState.siteScope = scope;
    hostState.siteIsLocal = siteIsLocal;
    options.noBrowsingLimit = noBrowsingLimit;
    options.privateMode = privateMode;
    platform.handedOver.clear();
  }
};

constexpr bool kLocal = true;
constexpr bool kAll = true;      // /a
constexpr bool kPrivate = true;  // /p

TEST_F(NavigationTest, NavigationStartingKeepsToTheSite) {
  const struct {
    std::u16string scope;
    bool local, all, privateMode;
    std::optional<std::u16string> uri;
    bool cancelled, handedOver;
  } rows[] = {
      // No site yet: everything is inside.
      {u"", false, false, false, u"https://other.ab/x", false, false},
      {u"", false, false, false, u"file:///C:/Windows/x.exe", false, false},
      // A web site.
      {u"name.cd", false, false, false, u"https://sub.name.cd/a", false, false},
      {u"name.cd", false, false, false, u"https://name.cd:8080/", false, false},
      {u"name.cd", false, false, false, u"https://othername.cd/", false, false},
      {u"name.cd", false, false, false, u"https://name.cde/", true, true},
      {u"name.cd", false, false, false, u"https://NAME.cd/", true, true},
      {u"name.cd", false, false, false, u"mailto:someone@name.cd", true, true},
      {u"name.cd", false, false, kPrivate, u"https://name.cde/", true, false},
      {u"name.cd", false, kAll, false, u"https://name.cde/", false, false},
      {u"name.cd", false, kAll, kPrivate, u"https://name.cde/", false, false},
      // A page from the web never has the system open a local file.
      {u"name.cd", false, false, false, u"file:///C:/Windows/x.exe", true, false},
      {u"name.cd", false, false, kPrivate, u"file:///C:/x.html", true, false},
      {u"name.cd", false, false, false, u"FILE:///C:/Windows/x.exe", true, false},
      {u"1.2.3.4", false, false, false, u"http://1.2.3.4:8000/page", false, false},
      // A folder on disk.
      {u"C:/site/", kLocal, false, false, u"file:///C:/site/sub/b.html", false, false},
      {u"C:/site/", kLocal, false, false, u"file:///C:/other/a.html", true, true},
      {u"C:/site/", kLocal, false, false, u"https://name.cd/", true, true},
      // HTML from a file: only data addresses are inside.
      {u"about:blank", kLocal, false, false, u"data:text/html,<p>x</p>", false, false},
      {u"about:blank", kLocal, false, false, u"DATA:text/html,x", true, true},
      {u"about:blank", kLocal, false, false, u"about:blank", true, true},
      {u"about:blank", kLocal, false, false, u"file:///C:/a.html", true, true},
      {u"about:blank", kLocal, kAll, false, u"https://name.cd/", false, false},
      // No address from the runtime: refused only once a site is known, never handed over.
      {u"", false, false, false, std::nullopt, false, false},
      {u"name.cd", false, false, false, std::nullopt, true, false},
      {u"C:/site/", kLocal, false, false, std::nullopt, true, false},
      {u"name.cd", false, kAll, false, std::nullopt, false, false},
      // An empty address is handled like none at all.
      {u"", false, false, false, u"", false, false},
      {u"name.cd", false, false, false, u"", true, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(PrintToString(row.scope) + " " + PrintToString(row.uri) + (row.all ? " /a" : "") +
                 (row.privateMode ? " /p" : ""));
    Given(row.scope, row.local, row.all, row.privateMode);
    StrictMock<mocks::MockNavigationStartingArgs> args;
    args.uri = row.uri;
    EXPECT_CALL(args, get_Uri(NotNull()));
    if (row.cancelled) EXPECT_CALL(args, put_Cancel(TRUE));
    EXPECT_EQ(runtime.view.navigationStarting.at(0)->Invoke(&runtime.view, &args), S_OK);
    EXPECT_EQ(platform.handedOver, row.handedOver ? Addresses{*row.uri} : Addresses{});
    EXPECT_EQ(args.references, 1u);
  }
}

TEST_F(NavigationTest, NewWindowRequestsOpenInTheOneView) {
  enum Outcome { Dropped, HandedOver, Navigated };
  const struct {
    std::u16string scope;
    bool local, all, privateMode;
    std::optional<std::u16string> uri;
    Outcome outcome;
  } rows[] = {
      {u"name.cd", false, false, false, u"https://www.name.cd/x", Navigated},
      {u"name.cd", false, false, false, u"https://other.ab/", HandedOver},
      {u"name.cd", false, false, kPrivate, u"https://www.name.cd/x", Dropped},
      {u"name.cd", false, false, kPrivate, u"https://other.ab/", Dropped},
      {u"name.cd", false, kAll, false, u"https://other.ab/", Navigated},
      {u"name.cd", false, kAll, kPrivate, u"https://other.ab/", Navigated},
      {u"", false, false, false, u"https://other.ab/", Navigated},
      {u"", false, false, kPrivate, u"https://other.ab/", Dropped},
      {u"name.cd", false, false, false, u"file:///C:/Windows/x.exe", Dropped},
      {u"C:/site/", kLocal, false, false, u"file:///C:/other/a.html", HandedOver},
      {u"C:/site/", kLocal, false, false, u"file:///C:/site/b.html", Navigated},
      {u"about:blank", kLocal, false, false, u"data:text/html,x", Navigated},
      {u"about:blank", kLocal, false, false, u"https://name.cd/", HandedOver},
      {u"name.cd", false, false, false, std::nullopt, Dropped},
      {u"", false, kAll, false, std::nullopt, Dropped},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(PrintToString(row.scope) + " " + PrintToString(row.uri) + (row.all ? " /a" : "") +
                 (row.privateMode ? " /p" : ""));
    Given(row.scope, row.local, row.all, row.privateMode);
    StrictMock<mocks::MockNewWindowRequestedArgs> args;
    args.uri = row.uri;
    EXPECT_CALL(args, get_Uri(NotNull()));
    // The runtime never opens a window of its own.
    EXPECT_CALL(args, put_Handled(TRUE));
    EXPECT_CALL(runtime.view, Navigate(_)).Times(0);
    if (row.outcome == Navigated) EXPECT_CALL(runtime.view, Navigate(TextIs(*row.uri)));
    EXPECT_EQ(runtime.view.newWindowRequested.at(0)->Invoke(&runtime.view, &args), S_OK);
    EXPECT_EQ(platform.handedOver, row.outcome == HandedOver ? Addresses{*row.uri} : Addresses{});
    Mock::VerifyAndClearExpectations(&runtime.view);
    EXPECT_EQ(args.references, 1u);
  }
}

TEST_F(NavigationTest, TheFirstCompletionFixesTheSite) {
  const struct {
    std::vector<std::optional<std::u16string>> sources;  // one per completion
    Addresses scopes;                                    // after each completion
    bool local;
    int sourcesRead;
  } rows[] = {
      {{u"https://www.name.ab.cd/", u"https://other.ab/", u"file:///C:/a/b.html"},
       {u"name.ab.cd", u"name.ab.cd", u"name.ab.cd"},
       false,
       1},
      {{u"file:///C:/pages/index.html", u"https://name.cd/"}, {u"C:/pages/", u"C:/pages/"}, true, 1},
      {{u"about:blank", u"https://name.cd/"}, {u"about:blank", u"about:blank"}, true, 1},
      {{u"data:text/html,x", u"https://name.cd/"}, {u"data:text/html,x", u"data:text/html,x"}, false, 1},
      {{u"http://127.0.0.1:8000/", u"https://name.cd/"}, {u"127.0.0.1", u"127.0.0.1"}, false, 1},
      // Nothing usable: derived again at the next completion.
      {{u"file:///index.html", u"https://www.name.cd/", u"https://other.ab/"}, {u"", u"name.cd", u"name.cd"}, false, 2},
      {{u"https:///path", u"file:///C:/a/b.html", u"about:blank"}, {u"", u"C:/a/", u"C:/a/"}, true, 2},
      {{std::nullopt, u"https://name.cd/"}, {u"", u"name.cd"}, false, 2},
      {{std::nullopt, std::nullopt, u"about:blank"}, {u"", u"", u"about:blank"}, true, 3},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(PrintToString(row.sources));
    hostState.siteScope.clear();
    hostState.siteIsLocal = false;
    EXPECT_CALL(runtime.view, get_Source(NotNull())).Times(row.sourcesRead);
    for (size_t i = 0; i < row.sources.size(); ++i) {
      runtime.view.source = row.sources[i];
      hostState.navigationCompleted = false;
      // The arguments are not consulted: success and failure alike.
      StrictMock<mocks::MockNavigationCompletedArgs> args;
      EXPECT_EQ(runtime.view.navigationCompleted.at(0)->Invoke(&runtime.view, &args), S_OK);
      EXPECT_TRUE(hostState.navigationCompleted);
      EXPECT_EQ(hostState.siteScope, row.scopes.at(i)) << "completion " << i;
      EXPECT_EQ(args.references, 1u);
    }
    EXPECT_EQ(hostState.siteIsLocal, row.local);
    Mock::VerifyAndClearExpectations(&runtime.view);
  }
}

}  // namespace
}  // namespace vistrel
