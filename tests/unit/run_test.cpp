// The running program's decisions that no end-to-end row can reach: what the handlers make of arguments the
// runtime may leave out, and the clean-up when the disk refuses; each row an input and the calls it comes to.
#include <gtest/gtest.h>

#include "fakes.h"
#include "run/html_file.h"
#include "run/navigation_policy.h"
#include "run/user_data.h"
#include "run/view_upkeep_handlers.h"
#include "run/window_procedure.h"

namespace vistrel::fakes {
namespace {

using Lines = std::vector<std::string>;
const std::string kTemp = " C:\\Temp\\vistrel", kInUse = "DataFolderInUse" + kTemp, kThere = "PathExists" + kTemp,
                  kRemove = "DeleteFolderTree" + kTemp, kWarning = "ShowMessageBox 0 48 ";

using Handlers = Test;

// A click the runtime cannot tell of is no click; the runtime never opens a window of its own; the text served
// from memory is the program's own page.
TEST_F(Handlers, NavigationsAndNewWindowsReadTheirArguments) {
  using User = std::optional<BOOL>;
  const std::tuple<bool, std::u16string, bool, User, std::u16string, Lines> rows[] = {
      {false, u"name.cd", false, FALSE, u"https://a.name.cd/", {}},
      {false, u"name.cd", false, std::nullopt, u"https://o.ab/", {"put_Cancel 1", "PostToWindow W", "OpenWithDefaultHandler https://o.ab/"}},
      {false, u"name.cd", false, TRUE, u"x-app:go", {"put_Cancel 1", "PostToWindow W", "OpenWithDefaultHandler x-app:go"}},
      {false, u"name.cd", false, std::nullopt, u"x-app:go", {"put_Cancel 1"}},
      {false, u"about:blank", true, std::nullopt, u"https://vistrel.invalid/", {}},
      {false, u"about:blank", false, std::nullopt, u"https://vistrel.invalid/", {"put_Cancel 1", "PostToWindow W", "OpenWithDefaultHandler https://vistrel.invalid/"}},
      {true, u"name.cd", false, TRUE, u"https://o.ab/", {"put_Handled 1", "PostToWindow W", "OpenWithDefaultHandler https://o.ab/"}},
      {true, u"name.cd", false, std::nullopt, u"https://o.ab/", {"put_Handled 1"}},
  };
  for (const auto& [newWindow, scope, serving, user, uri, lines] : rows) {
    hostState.siteScope = scope, hostState.siteIsLocal = scope == u"about:blank", hostState.servingHtml = serving;
    NavigationArgs starting;
    NewWindowArgs asking;
    starting.uri = asking.uri = uri, starting.user = asking.user = user;
    EXPECT_EQ(newWindow ? OnNewWindowRequested(nullptr, &asking) : OnNavigationStarting(nullptr, &starting), S_OK);
    EXPECT_EQ(Drain(), lines) << Text(uri);
  }
}

// The text served from memory answers its own address alone.
TEST_F(Handlers, OnlyTheServedAddressIsAnsweredWithTheText) {
  Environment environment;
  hostState.environment = RuntimeRef<ICoreWebView2Environment>::Share(&environment), hostState.htmlText = u"<p>\u3042</p>";
  const std::pair<std::u16string, Lines> rows[] = {
      {u"https://vistrel.invalid/x", {}}, {u"https://o.ab/", {}},
      {u"https://vistrel.invalid/", {"CreateMemoryStream 18", "CreateWebResourceResponse 1 200 Content-Type: text/html; charset=utf-16",
                                     "put_Response 1"}},
  };
  for (const auto& [uri, lines] : rows) {
    ResourceArgs args;
    args.request.uri = uri;
    EXPECT_EQ(OnWebResourceRequested(nullptr, &args), S_OK);
    EXPECT_EQ(Drain(), lines) << Text(uri);
  }
  hostState.environment = nullptr;
}

using Files = Test;

// The browser process is waited for; scratch data another copy uses is left to it; a folder that will not go is
// tried ten times, then reported. At log-off all this runs before the process may be killed, and not again.
TEST_F(Files, DataFolderCleanUpOnceAtExitOrLogOffAndStaleScratchDataAtStart) {
  Lines tenFailures = {kInUse};
  for (int i = 0; i < 10; ++i) tenFailures.insert(tenFailures.end(), {kThere, kRemove, "Pause 500"});
  tenFailures.push_back(kWarning + "Could not delete user data.");
  const std::tuple<bool, bool, bool, uint32_t, int, Lines> rows[] = {  // kept, there, in use, browser, failures
      {true, true, false, 4242, 0, {"WaitForProcessExit 4242 5000"}},
      {false, true, false, 4242, 0, {"WaitForProcessExit 4242 5000", kInUse, kThere, kRemove}},
      {false, true, true, 0, 0, {kInUse}}, {false, false, false, 0, 0, {kInUse, kThere}},
      {false, true, false, 0, 1, {kInUse, kThere, kRemove, "Pause 500", kThere, kRemove}}, {false, true, false, 0, -1, tenFailures},
  };
  for (const auto& [keepData, exists, inUse, browser, failures, lines] : rows) {
    options.keepData = keepData;
    hostState = {}, hostState.userDataFolder = BuildUserDataFolder(false), hostState.browserProcessId = browser;
    platform.paths.clear(), platform.folderInUse = inUse, platform.deleteFailures = failures;
    if (exists) platform.paths.insert(hostState.userDataFolder);
    ExitCleanup();
    EXPECT_EQ(Drain(), lines);
  }
  EXPECT_EQ(BuildUserDataFolder(true), u"C:\\Local\\vistrel");
  hostState = {}, hostState.userDataFolder = u"C:\\Temp\\vistrel", hostState.browserProcessId = 4242;
  options.keepData = false, platform.folderInUse = false, platform.deleteFailures = 0, platform.paths = {u"C:\\Temp\\vistrel"};
  OnMainWindowEndSession(kWindow);
  EXPECT_EQ(Drain(), (Lines{"WaitForProcessExit 4242 5000", kInUse, kThere, kRemove}));
  ExitCleanup();
  EXPECT_EQ(Drain(), Lines{});
  const std::tuple<bool, bool, bool, Lines> stale[] = {  // kept, there, in use
      {false, true, false, {kThere, kInUse, kRemove}}, {false, true, true, {kThere, kInUse}},
      {false, false, false, {kThere}}, {true, true, false, {}},
  };
  for (const auto& [kept, there, inUse, lines] : stale) {
    options.keepData = kept, platform.folderInUse = inUse, platform.paths.clear();
    if (there) platform.paths.insert(hostState.userDataFolder);
    RemoveStaleScratchData();
    EXPECT_EQ(Drain(), lines);
  }
}

// The text as /l and /lu decode it; a file that cannot be read is reported; /ls reads it shared with writers and
// notes its time.
TEST_F(Files, HtmlFileReads) {
  const std::tuple<bool, bool, FileContents, bool, std::u16string, Lines> rows[] = {
      {false, false, {FileContents::Status::Read, "<b>\xE9</b>\r\n"}, true, u"<b>é</b>\n", {"ReadWholeFile p 0"}},
      {true, true, {FileContents::Status::Read, "\xEF\xBB\xBF\xC3\xA9\r\n"}, true, u"é\n", {"ReadWholeFile p 1"}},
      {true, false, {FileContents::Status::ReadFailed, "par"}, false, u"",
       {"ReadWholeFile p 0", kWarning + "p - File was not able to open."}},
  };
  for (const auto& [unicode, reflect, file, loaded, text, lines] : rows) {
    options.htmlUnicode = unicode, options.reflectFileUpdate = reflect;
    platform.files[u"p"] = file, hostState.htmlText = u"old";
    EXPECT_EQ(LoadHtmlFile(u"p"), loaded);
    EXPECT_EQ(hostState.htmlText, text);
    EXPECT_EQ(Drain(), lines);
  }
  options.address = u"p", options.reflectFileUpdate = false;
  platform.paths = {u"p"}, platform.writeTimes[u"p"] = 777, platform.files[u"p"] = {FileContents::Status::Read, "x"};
  EXPECT_TRUE(PrepareHtmlFile());
  EXPECT_EQ(hostState.fileWriteTime, 0u);
  options.reflectFileUpdate = true;
  EXPECT_TRUE(PrepareHtmlFile());
  EXPECT_EQ(hostState.fileWriteTime, 777u);
}

}  // namespace
}  // namespace vistrel::fakes
