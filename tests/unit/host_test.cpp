#include <gtest/gtest.h>

#include "base/catalog.h"
#include "base/options.h"
#include "fake_platform.h"
#include "run/host_state.h"
#include "run/html_file.h"
#include "run/main_window.h"
#include "run/user_data.h"
#include "run/window_procedure.h"

namespace vistrel {
namespace {

using Calls = std::vector<std::string>;

class HostTest : public ::testing::Test {
 protected:
  HostTest() { languageIndex = kEnglish; }
  void TearDown() override { fakes::ResetProgramState(); }
  fakes::FakePlatform platform;
  const WindowHandle window = fakes::FakePlatform::kWindow;
};

TEST_F(HostTest, IconSources) {
  const struct {
    const char* name;
    bool iconGiven;
    std::u16string file;
    int32_t index;
    std::optional<IconLocation> shortcut;
    std::string extracted;  // the ExtractIconFrom call, or "" for none
    bool hasIcon;
  } rows[] = {
      {"default", false, u"", 0, std::nullopt, "ExtractIconFrom C:\\Windows\\System32\\shell32.dll,220", true},
      {"/i wins over a shortcut", true, u"%SystemRoot%\\app.ico", 3, IconLocation{u"C:\\s.ico", 1},
       "ExtractIconFrom C:\\Windows\\app.ico,3", true},
      {"shortcut", false, u"", 0, IconLocation{u"C:\\s.ico", 1}, "ExtractIconFrom C:\\s.ico,1", true},
      {"shortcut without icon", false, u"", 0, IconLocation{u"", 0}, "", false},
      {"shortcut icon that is gone", false, u"", 0, IconLocation{u"C:\\gone.ico", 0}, "ExtractIconFrom C:\\gone.ico,0",
       false},
  };
  platform.iconFiles = {u"C:\\Windows\\System32\\shell32.dll", u"C:\\Windows\\app.ico", u"C:\\s.ico"};
  platform.existingPaths = {u"C:\\Windows\\app.ico"};
  for (const auto& row : rows) {
    options = Options{};
    options.iconGiven = row.iconGiven;
    options.iconFile = row.file;
    options.iconIndex = row.index;
    platform.shortcutIcon = row.shortcut;
    platform.calls.clear();
    const std::optional<IconHandle> icon = ResolveWindowIcon();
    ASSERT_TRUE(icon.has_value()) << row.name;
    EXPECT_EQ(*icon != nullptr, row.hasIcon) << row.name;
    const bool extracted = std::any_of(platform.calls.begin(), platform.calls.end(),
                                       [](const std::string& c) { return c.starts_with("ExtractIconFrom"); });
    EXPECT_EQ(extracted, !row.extracted.empty()) << row.name;
    if (extracted) {
      EXPECT_EQ(platform.calls.back(), row.extracted) << row.name;
    }
    EXPECT_EQ(std::count(platform.calls.begin(), platform.calls.end(), "StartupShortcutIconLocation"),
              row.iconGiven ? 0 : 1)
        << row.name;
    EXPECT_TRUE(platform.boxes.empty()) << row.name;
  }
}

TEST_F(HostTest, ZoomFactorFromTheDisplay) {
  const struct {
    std::optional<uint32_t> dpi;
    double zoom;
  } rows[] = {{96, 1.0}, {120, 0.8}, {144, 96.0 / 144.0}, {0, 1.0}, {std::nullopt, 1.0}};
  for (const auto& row : rows) {
    platform.appliedDpi = row.dpi;
    EXPECT_DOUBLE_EQ(ReadZoomFactor(), row.zoom);
  }
}

TEST_F(HostTest, WindowCreationOrder) {
  options.title = u"";
  options.address = u"page.html";
  options.deleteHtmlFile = true;
  CreateMainWindow(WindowPlacement{0, 0, 1920, 1040, 0x00CA0000, true}, fakes::FakePlatform::kIcon);
  EXPECT_EQ(platform.calls, (Calls{"CreateMainWindow page.html", "SetWindowIcon", "DeleteFileAt page.html",
                                   "ShowMainWindow maximized"}));
  EXPECT_EQ(hostState.mainWindow, window);
}

TEST_F(HostTest, HtmlFileReads) {
  const struct {
    const char* name;
    bool unicode, reflect;
    FileContents file;
    bool loaded;
    std::u16string text;
    std::string readCall;
  } rows[] = {
      {"ANSI", false, false, {FileContents::Status::Read, "<b>\xE9</b>\r\n"}, true, u"<b>\u00E9</b>\n",
       "ReadWholeFile C:\\p.html"},
      {"Unicode, shared with /ls", true, true, {FileContents::Status::Read, "\xEF\xBB\xBFok\r\n"}, true, u"ok\n",
       "ReadWholeFile C:\\p.html shared"},
      {"cannot open", false, false, {FileContents::Status::OpenFailed, ""}, false, u"", "ReadWholeFile C:\\p.html"},
      {"read breaks off", true, false, {FileContents::Status::ReadFailed, "par"}, false, u"",
       "ReadWholeFile C:\\p.html"},
  };
  for (const auto& row : rows) {
    options.htmlUnicode = row.unicode;
    options.reflectFileUpdate = row.reflect;
    platform.files[u"C:\\p.html"] = row.file;
    platform.calls.clear();
    platform.boxes.clear();
    hostState.htmlText = u"old";
    EXPECT_EQ(LoadHtmlFile(u"C:\\p.html"), row.loaded) << row.name;
    EXPECT_EQ(hostState.htmlText, row.text) << row.name;
    EXPECT_EQ(platform.calls.at(0), row.readCall) << row.name;
    if (row.loaded) {
      EXPECT_TRUE(platform.boxes.empty()) << row.name;
    } else {
      ASSERT_EQ(platform.boxes.size(), 1u) << row.name;
      EXPECT_EQ(platform.boxes[0].text, u"C:\\p.html - File was not able to open.");
      EXPECT_EQ(platform.boxes[0].owner, nullptr);
      EXPECT_EQ(platform.boxes[0].style, kBoxWarning);
    }
  }
}

TEST_F(HostTest, StartStepsRecordTheWriteTimeOnlyForReflectedFiles) {
  options.htmlFromFile = true;
  options.address = u"p.html";
  platform.existingPaths = {u"p.html"};
  platform.files[u"p.html"] = {FileContents::Status::Read, "x"};
  platform.writeTimes[u"p.html"] = 777;
  EXPECT_TRUE(PrepareHtmlFile());
  EXPECT_EQ(hostState.fileWriteTime, 0u);
  options.reflectFileUpdate = true;
  EXPECT_TRUE(PrepareHtmlFile());
  EXPECT_EQ(hostState.fileWriteTime, 777u);
  platform.files[u"p.html"] = {FileContents::Status::OpenFailed, ""};
  EXPECT_FALSE(PrepareHtmlFile());
}

TEST_F(HostTest, WindowProcedureMessages) {
  options.reflectFileUpdate = true;
  OnMainWindowCreate(window);
  OnMainWindowDestroy(window);
  EXPECT_EQ(platform.calls, (Calls{"StartTimer 1 100", "StopTimer 1", "QuitMessageLoop"}));

  platform.calls.clear();
  options.reflectFileUpdate = false;
  OnMainWindowCreate(window);
  OnMainWindowTimer(window);
  OnMainWindowSize(window);  // no web view to size yet
  OnMainWindowDestroy(window);
  EXPECT_EQ(platform.calls, (Calls{"QuitMessageLoop"}));

  platform.calls.clear();
  OnMainWindowClose(window);  // nothing to close or clear first
  EXPECT_EQ(platform.calls, (Calls{"DestroyMainWindow"}));
}

TEST_F(HostTest, FatalMessageIsOwnedByTheWindowThenTheWindowGoes) {
  OnFatalMessage(window, u"x - Profile name is invalid.");
  EXPECT_EQ(platform.calls, (Calls{"ShowMessageBox", "DestroyMainWindow"}));
  EXPECT_EQ(platform.boxes.at(0).owner, window);
  EXPECT_EQ(platform.boxes.at(0).caption, u"vistrel");
  EXPECT_EQ(platform.boxes.at(0).style, kBoxWarning);
  EXPECT_EQ(platform.boxes.at(0).text, u"x - Profile name is invalid.");
}

TEST_F(HostTest, MaximizedHeightOfAFixedWindow) {
  EXPECT_EQ(MaximizedHeightLimit(), std::nullopt);
  options.fixedSize = true;
  platform.workArea = Rect{0, 0, 1920, 1040};
  EXPECT_EQ(MaximizedHeightLimit(), 1056);
  platform.workArea = Rect{0, 40, 1366, 768};  // read anew each time
  EXPECT_EQ(MaximizedHeightLimit(), 744);
}

class ReloadTest : public HostTest {
 protected:
  ReloadTest() {
    options.htmlFromFile = true;
    options.reflectFileUpdate = true;
    options.address = u"p.html";
    platform.files[u"p.html"] = {FileContents::Status::Read, "v1"};
    platform.writeTimes[u"p.html"] = 100;
    hostState.fileWriteTime = 100;
    hostState.htmlText = u"v1";
  }

  int Reads() const {
    return static_cast<int>(std::count(platform.calls.begin(), platform.calls.end(), "ReadWholeFile p.html shared"));
  }
};

TEST_F(ReloadTest, OneReloadPerCompletedNavigation) {
  hostState.navigationCompleted = true;
  OnMainWindowTimer(window);
  EXPECT_EQ(Reads(), 0);  // unchanged

  platform.writeTimes[u"p.html"] = 200;
  platform.files[u"p.html"] = {FileContents::Status::Read, "v2"};
  OnMainWindowTimer(window);
  EXPECT_EQ(Reads(), 1);
  EXPECT_EQ(hostState.htmlText, u"v2");
  EXPECT_FALSE(hostState.navigationCompleted);
  EXPECT_EQ(hostState.fileWriteTime, 200u);

  // Saved again while the reload still loads: seen once that load completes.
  platform.writeTimes[u"p.html"] = 300;
  OnMainWindowTimer(window);
  OnMainWindowTimer(window);
  EXPECT_EQ(Reads(), 1);
  hostState.navigationCompleted = true;
  OnMainWindowTimer(window);
  EXPECT_EQ(Reads(), 2);
  EXPECT_EQ(hostState.fileWriteTime, 300u);
}

TEST_F(ReloadTest, TimeSetBackAlsoReloads) {
  hostState.navigationCompleted = true;
  platform.writeTimes[u"p.html"] = 50;
  OnMainWindowTimer(window);
  EXPECT_EQ(Reads(), 1);
  EXPECT_EQ(hostState.fileWriteTime, 50u);
}

TEST_F(ReloadTest, FileGoneClosesTheWindowWithoutAMessage) {
  platform.writeTimes.clear();
  OnMainWindowTimer(window);  // even while a load is still under way
  EXPECT_EQ(platform.calls, (Calls{"FileWriteTime p.html", "DestroyMainWindow"}));
  EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(ReloadTest, LockedFileShowsOneMessageAndIsNotRetried) {
  hostState.navigationCompleted = true;
  platform.writeTimes[u"p.html"] = 200;
  platform.files[u"p.html"] = {FileContents::Status::OpenFailed, ""};
  for (int tick = 0; tick < 5; ++tick) OnMainWindowTimer(window);
  EXPECT_EQ(Reads(), 1);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, u"p.html - File was not able to open.");
  EXPECT_EQ(hostState.htmlText, u"");

  // The next change is shown once some navigation has completed again.
  platform.files[u"p.html"] = {FileContents::Status::Read, "v3"};
  platform.writeTimes[u"p.html"] = 300;
  OnMainWindowTimer(window);
  EXPECT_EQ(Reads(), 1);
  hostState.navigationCompleted = true;
  OnMainWindowTimer(window);
  EXPECT_EQ(Reads(), 2);
  EXPECT_EQ(hostState.htmlText, u"v3");
}

TEST_F(HostTest, UserDataFolderFollowsKeepData) {
  EXPECT_EQ(BuildUserDataFolder(true), u"C:\\Users\\u\\AppData\\Local\\vistrel.exe.WebView2");
  EXPECT_EQ(BuildUserDataFolder(false), u"C:\\Temp\\vistrel.exe.WebView2");
}

TEST_F(HostTest, ExitCleanup) {
  const std::u16string folder = u"C:\\Temp\\vistrel.exe.WebView2";
  const std::string inUse = "DataFolderInUse C:\\Temp\\vistrel.exe.WebView2";
  const std::string exists = "PathExists C:\\Temp\\vistrel.exe.WebView2";
  const std::string remove = "DeleteFolderTree C:\\Temp\\vistrel.exe.WebView2";
  Calls tenFailures;
  for (int i = 0; i < 10; ++i) tenFailures.insert(tenFailures.end(), {exists, remove, "Pause 500"});
  const struct {
    const char* name;
    bool keepData;
    uint32_t browserProcessId;
    bool folderExists, inUse;
    int deleteFailures;
    Calls calls;
    bool message;
  } rows[] = {
      {"kept with /d", true, 4242, true, false, 0, {"WaitForProcessExit 4242 5000"}, false},
      {"no browser process: no wait", false, 0, true, false, 0, {inUse, exists, remove}, false},
      {"deleted", false, 4242, true, false, 0, {"WaitForProcessExit 4242 5000", inUse, exists, remove}, false},
      {"lock present: silent", false, 0, true, true, 0, {inUse}, false},
      {"already gone: silent", false, 0, false, false, 0, {inUse, exists}, false},
      {"second attempt", false, 0, true, false, 1, {inUse, exists, remove, "Pause 500", exists, remove}, false},
      {"ten failures", false, 0, true, false, -1, [&] {
         Calls c{inUse};
         c.insert(c.end(), tenFailures.begin(), tenFailures.end());
         c.push_back("ShowMessageBox");
         return c;
       }(),
       true},
  };
  for (const auto& row : rows) {
    options.keepData = row.keepData;
    hostState.userDataFolder = folder;
    hostState.browserProcessId = row.browserProcessId;
    platform.existingPaths.clear();
    if (row.folderExists) platform.existingPaths.insert(folder);
    platform.dataFolderInUse = row.inUse;
    platform.deleteFailures = row.deleteFailures;
    platform.calls.clear();
    platform.boxes.clear();
    ExitCleanup();
    EXPECT_EQ(platform.calls, row.calls) << row.name;
    EXPECT_EQ(platform.boxes.size(), row.message ? 1u : 0u) << row.name;
    if (row.message) {
      EXPECT_EQ(platform.boxes[0].text, u"Could not delete user data.");
      EXPECT_EQ(platform.boxes[0].owner, nullptr);
      EXPECT_EQ(platform.boxes[0].style, kBoxWarning);
    }
  }
}

}  // namespace
}  // namespace vistrel
