#include "run/run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/catalog.h"
#include "base/options.h"
#include "fake_platform.h"

namespace vistrel {
namespace {

using fakes::Narrow;
using ::testing::MatchesRegex;
using Calls = std::vector<std::string>;

class RunTest : public ::testing::Test {
 protected:
  RunTest() { platform.SetRuntime(RegistryRoot::LocalMachine, fakes::Value(u"120.0.2210.91")); }
  void TearDown() override { fakes::ResetProgramState(); }

  int Run(std::vector<std::u16string> arguments) {
    platform.commandLine = {u"C:\\Tools\\vistrel.exe"};
    platform.commandLine.insert(platform.commandLine.end(), arguments.begin(), arguments.end());
    return RunProgram();
  }

  fakes::FakePlatform platform;
};

const Calls kStart = {"UserInterfaceLanguage", "CommandLineArguments"};
const std::string kMachineRead = "ReadRegistryString HKLM pv";
const std::string kUserRead = "ReadRegistryString HKCU pv";

Calls Then(Calls calls, std::initializer_list<std::string> more) {
  calls.insert(calls.end(), more);
  return calls;
}

TEST_F(RunTest, VersionBannerComesFirstAndNeedsNoRuntime) {
  platform.registry.clear();
  for (std::u16string word : {u"/ver", u"/VER", u"/Ver"}) {
    platform.calls.clear();
    platform.narrowBoxes.clear();
    EXPECT_EQ(Run({word}), 0);
    EXPECT_EQ(platform.calls, Then(kStart, {"ShowNarrowMessageBox vistrel"}));
    ASSERT_EQ(platform.narrowBoxes.size(), 1u);
    EXPECT_THAT(platform.narrowBoxes[0],
                MatchesRegex(" vistrel 2\\.20 64bit - [A-Z][a-z][a-z] [ 0-9][0-9] [0-9]{4} "
                             "[0-9][0-9]:[0-9][0-9]:[0-9][0-9] "));
  }
}

TEST_F(RunTest, SilentProbeReportsOnlyThroughTheExitCode) {
  const struct {
    const char* name;
    std::optional<RegistryString> machine, user;
    int exitCode;
    Calls calls;
  } rows[] = {
      {"machine key", fakes::Value(u"120.0.1.2"), std::nullopt, 0, Then(kStart, {kMachineRead})},
      {"user key only", std::nullopt, fakes::Value(u"119.0.0.1"), 0, Then(kStart, {kMachineRead, kUserRead})},
      {"no key", std::nullopt, std::nullopt, 1, Then(kStart, {kMachineRead, kUserRead})},
      {"empty version", fakes::Value(u""), fakes::Value(u"1.0"), 1, Then(kStart, {kMachineRead})},
      {"version 0.0.0.0", fakes::Value(u"0.0.0.0"), fakes::Value(u"1.0"), 1, Then(kStart, {kMachineRead})},
      {"user 0.0.0.0", std::nullopt, fakes::Value(u"0.0.0.0"), 1, Then(kStart, {kMachineRead, kUserRead})},
      {"unreadable value", RegistryString{RegistryString::State::Unreadable, u""}, fakes::Value(u"1.0"), 1,
       Then(kStart, {kMachineRead})},
  };
  for (const auto& row : rows) {
    platform.registry.clear();
    if (row.machine) platform.SetRuntime(RegistryRoot::LocalMachine, *row.machine);
    if (row.user) platform.SetRuntime(RegistryRoot::CurrentUser, *row.user);
    for (std::u16string word : {u"/void", u"/VOID"}) {
      platform.calls.clear();
      EXPECT_EQ(Run({word}), row.exitCode) << row.name;
      EXPECT_EQ(platform.calls, row.calls) << row.name;
      EXPECT_TRUE(platform.boxes.empty()) << row.name;
    }
  }
}

TEST_F(RunTest, MissingRuntimeStopsEverythingButTheBanner) {
  platform.registry.clear();
  for (std::vector<std::u16string> args : std::vector<std::vector<std::u16string>>{
           {u"/?"}, {}, {u"https://name.ab.cd/"}, {u"/q"}, {u"/void", u"x"}}) {
    platform.calls.clear();
    platform.boxes.clear();
    languageIndex = kJapanese;
    EXPECT_EQ(Run(args), 0);
    EXPECT_EQ(platform.calls, Then(kStart, {kMachineRead, kUserRead, "ShowMessageBox"}));
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, u"WebView2 is not installed.");
    EXPECT_EQ(platform.boxes[0].style, kBoxWarning);
    EXPECT_EQ(platform.boxes[0].owner, nullptr);
  }
}

TEST_F(RunTest, UsageOnlyAsTheSingleArgument) {
  EXPECT_EQ(Run({u"/?"}), 0);
  EXPECT_EQ(platform.calls, Then(kStart, {kMachineRead, "MeasureMessageFont vistrel ", "ShowMessageBox"}));
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].style, kBoxPlain);
  EXPECT_TRUE(platform.boxes[0].text.starts_with(u"Display web page.\n"));
}

TEST_F(RunTest, RefusalsShowOneWarningBoxAndNothingElse) {
  const struct {
    uint16_t language;
    std::vector<std::u16string> args;
    std::u16string text;
  } rows[] = {
      {1033, {}, u"Address is not specified."},
      {1041, {}, u"アドレスまたはファイルが指定されていません。"},
      {1033, {u"/ver", u"x"}, u"/ver - Parameter is invalid."},
      {1041, {u"/? ", u"x"}, u"/?  - パラメータが正しくありません。"},
      {1033, {u"/s", u"50", u"600", u"x"}, u"50 - Value of window width is invalid."},
      {2052, {u"/d", u"/p", u"x"}, u"/d /p - Parameter is not able to use together."},
  };
  for (const auto& row : rows) {
    platform.calls.clear();
    platform.boxes.clear();
    platform.language = row.language;
    EXPECT_EQ(Run(row.args), 0);
    // No window, no data folder, no file look-up: the box is the last call.
    EXPECT_EQ(platform.calls, Then(kStart, {kMachineRead, "WorkArea", "ShowMessageBox"}));
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, row.text);
    EXPECT_EQ(platform.boxes[0].caption, u"vistrel");
    EXPECT_EQ(platform.boxes[0].style, kBoxWarning);
    EXPECT_EQ(platform.boxes[0].owner, nullptr);
  }
}

TEST_F(RunTest, UnsplittableCommandLineIsAnEmptyArgumentList) {
  platform.commandLine.clear();
  EXPECT_EQ(RunProgram(), 0);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, u"Address is not specified.");
}

TEST_F(RunTest, ParsingUsesTheWorkAreaReadBeforeIt) {
  platform.workArea = Rect{0, 0, 1366, 728};
  EXPECT_EQ(Run({u"/sp", u"800", u"600", u"-0", u"-0", u"x"}), 0);
  EXPECT_TRUE(platform.boxes.empty());
  EXPECT_EQ(workArea, (Rect{0, 0, 1366, 728}));
  EXPECT_EQ(options.x, 566);
  EXPECT_EQ(options.y, 128);
}

TEST_F(RunTest, AcceptedAddressResolvesAgainstTheDisk) {
  platform.existingPaths = {u"page.html"};
  EXPECT_EQ(Run({u"Title", u"page.html"}), 0);
  EXPECT_TRUE(platform.boxes.empty());
  EXPECT_EQ(options.title, u"Title");
  EXPECT_EQ(options.address, u"page.html");
  EXPECT_EQ(options.startAddress, u"/home/u/page.html");

  Run({u"https://name.ab.cd/a?b=c"});
  EXPECT_EQ(options.startAddress, u"https://name.ab.cd/a?b=c");
}

TEST_F(RunTest, AbsolutePathsThatBeginWithASlash) {
  platform.existingPaths = {u"/home/u/page.html", u"/srv/site", u"/a", u"u/page.html"};
  platform.files[u"/home/u/page.html"] = {FileContents::Status::Read, "<p>a</p>"};
  platform.files[u"u/page.html"] = {FileContents::Status::Read, "<p>b</p>"};
  const struct {
    bool slashRooted;
    std::vector<std::u16string> args;
    std::u16string refusal;  // empty: accepted with the last argument as the address
  } rows[] = {
      // Where absolute paths begin with "/": an existing file or folder is an address.
      {true, {u"/home/u/page.html"}, u""},
      {true, {u"Title", u"/srv/site"}, u""},
      {true, {u"/l", u"/home/u/page.html"}, u""},
      {true, {u"/l", u"u/page.html"}, u""},
      {true, {u"/l", u"u/<page>.html"}, u" - File name or folder name is invalid."},
      {true, {u"/u", u"/home/u/page.html", u"/m"}, u""},
      // Switches keep their meaning even where a file has their name.
      {true, {u"/a"}, u"Address is not specified."},
      {true, {u"/home/u/missing.html"}, u"/home/u/missing.html - Parameter is invalid."},
      {true, {u"/x", u"page"}, u"/x - Parameter is invalid."},
      // Elsewhere every argument beginning with "/" is a switch.
      {false, {u"/home/u/page.html"}, u"/home/u/page.html - Parameter is invalid."},
      {false, {u"/l", u"u/page.html"}, u" - File name or folder name is invalid."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Narrow(row.args.front()) + (row.slashRooted ? " (slash-rooted)" : ""));
    platform.boxes.clear();
    platform.slashRootedPaths = row.slashRooted;
    EXPECT_EQ(Run(row.args), 0);
    if (row.refusal.empty()) {
      EXPECT_TRUE(platform.boxes.empty()) << Narrow(platform.boxes.empty() ? u"" : platform.boxes[0].text);
      EXPECT_EQ(options.address, row.args.back() == u"/m" ? row.args[1] : row.args.back());
    } else {
      ASSERT_EQ(platform.boxes.size(), 1u);
      EXPECT_EQ(platform.boxes[0].text, row.refusal);
    }
  }
}

TEST_F(RunTest, AnAcceptedRunBuildsTheWindowThenCleansUp) {
  platform.appliedDpi = 120;
  platform.iconFiles = {u"C:\\Windows\\System32\\shell32.dll"};
  EXPECT_EQ(Run({u"/z", u"/s", u"800", u"600", u"Title", u"https://name.ab.cd/"}), 0);
  EXPECT_EQ(platform.calls,
            Then(kStart, {kMachineRead, "WorkArea", "PathExists https://name.ab.cd/",
                          "ReadRegistryDword Control Panel\\Desktop\\WindowMetrics AppliedDPI",
                          "UserDataFolderPath Temp", "StartupShortcutIconLocation",
                          "ExpandEnvironmentVariables %SystemRoot%\\System32\\shell32.dll",
                          "ExtractIconFrom C:\\Windows\\System32\\shell32.dll,220", "CreateMainWindow Title",
                          "SetWindowIcon", "ShowMainWindow",
                          "CreateWebViewEnvironment C:\\Temp\\vistrel.exe.WebView2", "RunMessageLoop", "FreeIcon",
                          "DataFolderInUse C:\\Temp\\vistrel.exe.WebView2",
                          "PathExists C:\\Temp\\vistrel.exe.WebView2"}));
  EXPECT_DOUBLE_EQ(hostState.zoomFactor, 0.8);
  EXPECT_EQ(hostState.userDataFolder, u"C:\\Temp\\vistrel.exe.WebView2");
  EXPECT_EQ(platform.createdWindows.at(0), (WindowPlacement{560, 220, 800, 600, 0x00CF0000, false}));
  EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(RunTest, NoWindowMeansNoMessageLoopButStillACleanUp) {
  platform.windowToCreate = nullptr;
  EXPECT_EQ(Run({u"https://name.ab.cd/"}), 0);
  EXPECT_EQ(std::count(platform.calls.begin(), platform.calls.end(), "RunMessageLoop"), 0);
  EXPECT_EQ(platform.calls.back(), "PathExists C:\\Temp\\vistrel.exe.WebView2");
}

TEST_F(RunTest, KeptDataFullScreenAndNoIcon) {
  EXPECT_EQ(Run({u"/k", u"/d:Work", u"https://name.ab.cd/"}), 0);
  EXPECT_EQ(platform.calls,
            Then(kStart, {kMachineRead, "WorkArea", "PathExists https://name.ab.cd/", "UserDataFolderPath LocalAppData",
                          "PrimaryScreenSize", "StartupShortcutIconLocation",
                          "ExpandEnvironmentVariables %SystemRoot%\\System32\\shell32.dll",
                          "ExtractIconFrom C:\\Windows\\System32\\shell32.dll,220",
                          "CreateMainWindow https://name.ab.cd/", "ShowMainWindow",
                          "CreateWebViewEnvironment C:\\Users\\u\\AppData\\Local\\vistrel.exe.WebView2",
                          "RunMessageLoop"}));
  EXPECT_EQ(platform.createdWindows.at(0), (WindowPlacement{0, 0, 2560, 1440, 0x80000000, false}));
  EXPECT_EQ(hostState.zoomFactor, 1.0);  // no /z: the display is not asked
}

TEST_F(RunTest, HtmlFileIsReadBeforeTheWindowAndDeletedWithIt) {
  platform.language = 1041;
  EXPECT_EQ(Run({u"/lu", u"missing.html"}), 0);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, u"missing.html - ファイルが見つかりませんでした。");
  EXPECT_EQ(platform.boxes[0].style, kBoxWarning);
  EXPECT_TRUE(platform.createdWindows.empty());

  platform.calls.clear();
  platform.boxes.clear();
  platform.existingPaths = {u"page.html"};
  platform.files[u"page.html"] = {FileContents::Status::Read, "<p>a</p>\r\n"};
  EXPECT_EQ(Run({u"/ld", u"page.html"}), 0);
  EXPECT_TRUE(platform.boxes.empty());
  EXPECT_TRUE(options.startAddress.empty());
  EXPECT_EQ(hostState.htmlText, u"<p>a</p>\n");
  const auto at = [&](const std::string& call) {
    return std::find(platform.calls.begin(), platform.calls.end(), call) - platform.calls.begin();
  };
  EXPECT_LT(at("ReadWholeFile page.html"), at("CreateMainWindow page.html"));
  EXPECT_LT(at("CreateMainWindow page.html"), at("DeleteFileAt page.html"));
  EXPECT_LT(at("DeleteFileAt page.html"), at("ShowMainWindow"));
  EXPECT_EQ(platform.windowTitles.at(0), u"page.html");
}

TEST_F(RunTest, IconRefusalsEndTheRunBeforeAnyWindow) {
  platform.existingPaths = {u"C:\\icons\\empty.ico"};
  const struct {
    std::u16string value;
    std::u16string text;
  } rows[] = {
      {u"%SystemRoot%\\none.ico", u"C:\\Windows\\none.ico - File was not found."},
      {u"C:\\icons\\empty.ico,2", u"C:\\icons\\empty.ico - Unable to retreave the icon."},
      {u"", u" - File was not found."},
  };
  for (const auto& row : rows) {
    platform.boxes.clear();
    EXPECT_EQ(Run({u"/i", row.value, u"x"}), 0);
    ASSERT_EQ(platform.boxes.size(), 1u) << Narrow(row.value);
    EXPECT_EQ(platform.boxes[0].text, row.text);
    EXPECT_EQ(platform.boxes[0].owner, nullptr);
    EXPECT_TRUE(platform.createdWindows.empty());
    EXPECT_TRUE(hostState.mainWindow == nullptr);
  }
}

TEST_F(RunTest, LanguageIsChosenBeforeAnythingIsLookedAt) {
  platform.language = 1041;
  Run({u"/q"});
  EXPECT_EQ(platform.calls.front(), "UserInterfaceLanguage");
  EXPECT_EQ(languageIndex, kJapanese);
  platform.language = 1042;
  Run({u"/q"});
  EXPECT_EQ(languageIndex, kEnglish);
  EXPECT_THAT(platform.boxes.back().text, ::testing::Eq(u"/q - Parameter is invalid."));
}

}  // namespace
}  // namespace vistrel
