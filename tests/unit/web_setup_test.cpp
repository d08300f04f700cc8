// Creating the environment and the controller, and the first navigation.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/catalog.h"
#include "base/options.h"
#include "run/host_state.h"
#include "mock_runtime.h"
#include "run/environment_setup.h"

namespace vistrel {
namespace {

using mocks::BoundsAre;
using mocks::IidIs;
using mocks::TextIs;
using ::testing::_;
using ::testing::InSequence;
using ::testing::NotNull;
using ::testing::Return;
using ::testing::StrictMock;

class SetUpTest : public mocks::WebTest {};

TEST_F(SetUpTest, EnvironmentCreatedAsksForTheControllerThroughOptions) {
  const struct {
    const char* name;
    int32_t language;
    std::u16string profileName;
    bool privateMode;
    HRESULT profileResult;
    std::u16string fatal;  // empty: none
  } rows[] = {
      {"neither /d:name nor /p", kEnglish, u"", false, S_OK, u""},
      {"/d:name", kEnglish, u"work", false, S_OK, u""},
      {"/p", kEnglish, u"", true, S_OK, u""},
      {"name refused", kEnglish, u"bad.", false, E_INVALIDARG, u"bad. - Profile name is invalid."},
      {"name refused, Japanese", kJapanese, u"bad.", false, E_INVALIDARG,
       u"bad. - プロファイル名が正しくありません。"},
      {"other failures of the name are ignored", kEnglish, u"work", false, E_FAIL, u""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    languageIndex = row.language;
    options.profileName = row.profileName;
    options.privateMode = row.privateMode;
    platform.fatalMessages.clear();
    platform.fatalWindows.clear();
    {
      StrictMock<mocks::MockEnvironment> environment;
      StrictMock<mocks::MockControllerOptions> controllerOptions;
      environment.controllerOptions = &controllerOptions;
      {
        InSequence order;
        EXPECT_CALL(environment, QueryInterface(IidIs(IID_ICoreWebView2Environment10), NotNull()));
        EXPECT_CALL(environment, CreateCoreWebView2ControllerOptions(NotNull()));
        if (!row.profileName.empty()) {
          EXPECT_CALL(controllerOptions, put_ProfileName(TextIs(row.profileName))).WillOnce(Return(row.profileResult));
        }
        if (row.fatal.empty()) {
          if (row.privateMode) EXPECT_CALL(controllerOptions, put_IsInPrivateModeEnabled(TRUE));
          EXPECT_CALL(environment, CreateCoreWebView2ControllerWithOptions(
                                       static_cast<HWND>(kWindow),
                                       static_cast<ICoreWebView2ControllerOptions*>(&controllerOptions), NotNull()));
        }
      }
      EXPECT_EQ(OnEnvironmentCreated(S_OK, &environment), S_OK);
      // The options object lives for this call only.
      EXPECT_EQ(controllerOptions.references, 1u);
      if (row.fatal.empty()) {
        EXPECT_TRUE(platform.fatalMessages.empty());
      } else {
        EXPECT_EQ(platform.fatalMessages, std::vector<std::u16string>{row.fatal});
        EXPECT_EQ(platform.fatalWindows, std::vector<WindowHandle>{kWindow});
      }
      fakes::ResetProgramState();
      hostState.mainWindow = kWindow;
      EXPECT_EQ(environment.references, 1u);
    }
  }
}

TEST_F(SetUpTest, NoUsableEnvironmentIsLeftAlone) {
  EXPECT_EQ(OnEnvironmentCreated(S_OK, nullptr), S_OK);

  StrictMock<mocks::MockEnvironment> old;
  old.Disable(IID_ICoreWebView2Environment10);
  EXPECT_CALL(old, QueryInterface(IidIs(IID_ICoreWebView2Environment10), NotNull()));
  EXPECT_EQ(OnEnvironmentCreated(S_OK, &old), S_OK);

  EXPECT_TRUE(platform.calls.empty());
  EXPECT_FALSE(hostState.environment10);
  EXPECT_FALSE(hostState.controller);
  fakes::ResetProgramState();
  EXPECT_EQ(old.references, 1u);
}

enum class Setting { DevTools, PasswordAutosave, GeneralAutofill, ContextMenus, StatusBar, AcceleratorKeys };
enum class FirstPage { Address, HtmlText };

struct SetUpCase {
  const char* name;
  bool keepData = false;
  bool limitUI = false;
  bool adjustZoom = false;
  double zoomFactor = 1.0;
  bool mute = false;
  bool htmlFromFile = false;
  std::vector<IID> missing = {};  // versions the runtime lacks
  // Expected:
  std::vector<Setting> settings = {Setting::DevTools, Setting::GeneralAutofill};
  std::optional<double> zoomSet = std::nullopt;
  FirstPage firstPage = FirstPage::Address;
};

void ExpectSetting(mocks::MockSettings& settings, Setting setting) {
  switch (setting) {
    case Setting::DevTools:
      EXPECT_CALL(settings, put_AreDevToolsEnabled(FALSE));
      break;
    case Setting::PasswordAutosave:
      EXPECT_CALL(settings, put_IsPasswordAutosaveEnabled(TRUE));
      break;
    case Setting::GeneralAutofill:
      EXPECT_CALL(settings, put_IsGeneralAutofillEnabled(FALSE));
      break;
    case Setting::ContextMenus:
      EXPECT_CALL(settings, put_AreDefaultContextMenusEnabled(FALSE));
      break;
    case Setting::StatusBar:
      EXPECT_CALL(settings, put_IsStatusBarEnabled(FALSE));
      break;
    case Setting::AcceleratorKeys:
      EXPECT_CALL(settings, put_AreBrowserAcceleratorKeysEnabled(FALSE));
      break;
  }
}

// Runs OnControllerCreated on strict mocks that expect exactly the calls of
// the case, in their order; a missing version is asked for and then not used.
void RunControllerSetUp(const SetUpCase& row) {
  SCOPED_TRACE(row.name);
  options.keepData = row.keepData;
  options.limitUI = row.limitUI;
  options.adjustZoom = row.adjustZoom;
  options.mute = row.mute;
  options.htmlFromFile = row.htmlFromFile;
  options.address = u"page.html";
  options.startAddress = u"/home/u/page.html";
  hostState.zoomFactor = row.zoomFactor;
  hostState.htmlText = u"<p>text</p>";
  hostState.mainWindow = fakes::FakePlatform::kWindow;

  mocks::Runtime<StrictMock> r;
  const auto has = [&](const IID& iid) {
    return std::none_of(row.missing.begin(), row.missing.end(), [&](const IID& gone) { return IsEqualIID(gone, iid); });
  };
  for (const IID& gone : row.missing) {
    r.environment.Disable(gone);
    r.view.Disable(gone);
    r.settings.Disable(gone);
    r.profile.Disable(gone);
  }
  hostState.environment = RuntimeRef<ICoreWebView2Environment>::Share(&r.environment);
  {
    InSequence order;
    EXPECT_CALL(r.controller, get_CoreWebView2(NotNull()));
    EXPECT_CALL(r.view, QueryInterface(IidIs(IID_ICoreWebView2_13), NotNull()));
    if (has(IID_ICoreWebView2_13)) {
      EXPECT_CALL(r.view, get_Profile(NotNull()));
      EXPECT_CALL(r.profile, QueryInterface(IidIs(IID_ICoreWebView2Profile2), NotNull()));
    }
    EXPECT_CALL(r.view, get_Settings(NotNull()));
    EXPECT_CALL(r.settings, QueryInterface(IidIs(IID_ICoreWebView2Settings3), NotNull()));
    EXPECT_CALL(r.settings, QueryInterface(IidIs(IID_ICoreWebView2Settings4), NotNull()));
    for (Setting setting : row.settings) ExpectSetting(r.settings, setting);
    EXPECT_CALL(r.controller, put_Bounds(BoundsAre(0, 0, 800, 600)));
    if (row.zoomSet) EXPECT_CALL(r.controller, put_ZoomFactor(*row.zoomSet));
    EXPECT_CALL(r.view, add_NavigationCompleted(NotNull(), _));
    EXPECT_CALL(r.view, add_NavigationStarting(NotNull(), _));
    EXPECT_CALL(r.view, add_NewWindowRequested(NotNull(), _));
    EXPECT_CALL(r.view, add_DocumentTitleChanged(NotNull(), _));
    EXPECT_CALL(r.view, QueryInterface(IidIs(IID_ICoreWebView2_4), NotNull()));
    if (has(IID_ICoreWebView2_4)) EXPECT_CALL(r.view, add_DownloadStarting(NotNull(), _));
    EXPECT_CALL(r.view, QueryInterface(IidIs(IID_ICoreWebView2_8), NotNull()));
    // Made without /m too, with FALSE.
    if (has(IID_ICoreWebView2_8)) EXPECT_CALL(r.view, put_IsMuted(row.mute ? TRUE : FALSE));
    EXPECT_CALL(r.view, QueryInterface(IidIs(IID_ICoreWebView2_11), NotNull()));
    EXPECT_CALL(r.environment, QueryInterface(IidIs(IID_ICoreWebView2Environment9), NotNull()));
    if (has(IID_ICoreWebView2_11)) EXPECT_CALL(r.view, add_ContextMenuRequested(NotNull(), _));
    EXPECT_CALL(r.controller, add_AcceleratorKeyPressed(NotNull(), _));
    EXPECT_CALL(r.view, get_BrowserProcessId(NotNull()));
    if (row.firstPage == FirstPage::HtmlText) {
      EXPECT_CALL(r.view, NavigateToString(TextIs(u"<p>text</p>")));
    } else {
      EXPECT_CALL(r.view, Navigate(TextIs(u"/home/u/page.html")));
    }
  }
  EXPECT_EQ(OnControllerCreated(S_OK, &r.controller), S_OK);
  EXPECT_EQ(hostState.browserProcessId, 4242u);
  EXPECT_EQ(bool(hostState.profile), has(IID_ICoreWebView2_13) && has(IID_ICoreWebView2Profile2));
  EXPECT_EQ(bool(hostState.environment9), has(IID_ICoreWebView2Environment9));
  // The handler's own reference to the profile is given back at once.
  EXPECT_EQ(r.profile.references, hostState.profile ? 2u : 1u);

  fakes::ResetProgramState();
  r.ExpectBalanced();
}

TEST_F(SetUpTest, ControllerCreatedInOrderByOptions) {
  using enum Setting;
  const SetUpCase rows[] = {
      {.name = "no options"},
      {.name = "/d", .keepData = true, .settings = {DevTools, PasswordAutosave}},
      {.name = "/u", .limitUI = true, .settings = {DevTools, GeneralAutofill, ContextMenus, StatusBar, AcceleratorKeys}},
      {.name = "/d /u /m",
       .keepData = true,
       .limitUI = true,
       .mute = true,
       .settings = {DevTools, PasswordAutosave, ContextMenus, StatusBar, AcceleratorKeys}},
      {.name = "/z at 120 dpi", .adjustZoom = true, .zoomFactor = 0.8, .zoomSet = 0.8},
      {.name = "/z at 144 dpi", .adjustZoom = true, .zoomFactor = 96.0 / 144.0, .zoomSet = 96.0 / 144.0},
      {.name = "/z at 96 dpi", .adjustZoom = true, .zoomFactor = 1.0},
      {.name = "a factor without /z", .zoomFactor = 0.8},
      {.name = "/l", .htmlFromFile = true, .firstPage = FirstPage::HtmlText},
      {.name = "/l /m /u",
       .limitUI = true,
       .mute = true,
       .htmlFromFile = true,
       .settings = {DevTools, GeneralAutofill, ContextMenus, StatusBar, AcceleratorKeys},
       .firstPage = FirstPage::HtmlText},
  };
  for (const auto& row : rows) RunControllerSetUp(row);
}

TEST_F(SetUpTest, ControllerCreatedWithMissingVersions) {
  using enum Setting;
  const SetUpCase rows[] = {
      {.name = "no web view 13", .missing = {IID_ICoreWebView2_13}},
      {.name = "profile without version 2", .missing = {IID_ICoreWebView2Profile2}},
      {.name = "no web view 4", .missing = {IID_ICoreWebView2_4}},
      {.name = "no web view 8, /m", .mute = true, .missing = {IID_ICoreWebView2_8}},
      {.name = "no web view 11", .missing = {IID_ICoreWebView2_11}},
      {.name = "environment without 9", .missing = {IID_ICoreWebView2Environment9}},
      {.name = "settings without 3, /u",
       .limitUI = true,
       .missing = {IID_ICoreWebView2Settings3},
       .settings = {DevTools, GeneralAutofill, ContextMenus, StatusBar}},
      {.name = "settings without 4, /d /u",
       .keepData = true,
       .limitUI = true,
       .missing = {IID_ICoreWebView2Settings4},
       .settings = {DevTools, ContextMenus, StatusBar, AcceleratorKeys}},
      {.name = "only the first versions, /d /u /m /l",
       .keepData = true,
       .limitUI = true,
       .mute = true,
       .htmlFromFile = true,
       .missing = {IID_ICoreWebView2_4, IID_ICoreWebView2_8, IID_ICoreWebView2_11, IID_ICoreWebView2_13,
                   IID_ICoreWebView2Settings3, IID_ICoreWebView2Settings4, IID_ICoreWebView2Environment9},
       .settings = {DevTools, ContextMenus, StatusBar},
       .firstPage = FirstPage::HtmlText},
  };
  for (const auto& row : rows) RunControllerSetUp(row);
}

TEST_F(SetUpTest, NoControllerOrNoWebViewIsLeftAlone) {
  EXPECT_EQ(OnControllerCreated(S_OK, nullptr), S_OK);

  StrictMock<mocks::MockController> empty;  // hands out no web view
  EXPECT_CALL(empty, get_CoreWebView2(NotNull()));
  EXPECT_EQ(OnControllerCreated(S_OK, &empty), S_OK);
  EXPECT_TRUE(platform.calls.empty());
  EXPECT_TRUE(platform.fatalMessages.empty());
  fakes::ResetProgramState();
  EXPECT_EQ(empty.references, 1u);
}

TEST_F(SetUpTest, StartAddressRefusedNamesTheArgumentAsTyped) {
  const struct {
    const char* name;
    int32_t language;
    HRESULT result;
    std::u16string fatal;  // empty: none
  } rows[] = {
      {"refused", kEnglish, E_INVALIDARG, u"page.html - Address or file name is invalid."},
      {"refused, Japanese", kJapanese, E_INVALIDARG, u"page.html - アドレスまたはファイル名が正しくありません。"},
      {"other failures are ignored", kEnglish, E_FAIL, u""},
      {"accepted", kEnglish, S_OK, u""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    languageIndex = row.language;
    options.address = u"page.html";
    options.startAddress = u"/home/u/page.html";
    hostState.mainWindow = kWindow;
    platform.fatalMessages.clear();
    platform.fatalWindows.clear();
    {
      mocks::Runtime<> r;
      EXPECT_CALL(r.view, Navigate(_)).Times(0);
      EXPECT_CALL(r.view, Navigate(TextIs(u"/home/u/page.html"))).WillOnce(Return(row.result));
      r.Start(platform);
      if (row.fatal.empty()) {
        EXPECT_TRUE(platform.fatalMessages.empty());
      } else {
        EXPECT_EQ(platform.fatalMessages, std::vector<std::u16string>{row.fatal});
        EXPECT_EQ(platform.fatalWindows, std::vector<WindowHandle>{kWindow});
      }
      fakes::ResetProgramState();
      r.ExpectBalanced();
    }
  }
}

TEST_F(SetUpTest, StartAsksForTheEnvironmentWithTheDataFolder) {
  hostState.userDataFolder = u"C:\\Temp\\vistrel.exe.WebView2";
  runtime.Start(platform);
  EXPECT_EQ(platform.calls.at(0), "CreateWebViewEnvironment C:\\Temp\\vistrel.exe.WebView2");
  EXPECT_EQ(hostState.controller.get(), static_cast<ICoreWebView2Controller*>(&runtime.controller));
  EXPECT_EQ(hostState.webView.get(), static_cast<ICoreWebView2*>(&runtime.view));
}

// Each handler object is the runtime's alone once handed over, and answers
// only IUnknown and its own interface.
TEST_F(SetUpTest, KeptHandlersAreHeldByTheRuntimeAloneAndAnswerTheirOwnInterface) {
  runtime.Start(platform);
  auto& v = runtime.view;
  ASSERT_EQ(v.navigationStarting.size(), 1u);
  ASSERT_EQ(v.navigationCompleted.size(), 1u);
  ASSERT_EQ(v.newWindowRequested.size(), 1u);
  ASSERT_EQ(v.documentTitleChanged.size(), 1u);
  ASSERT_EQ(v.downloadStarting.size(), 1u);
  ASSERT_EQ(v.contextMenuRequested.size(), 1u);
  ASSERT_EQ(runtime.controller.acceleratorKeyPressed.size(), 1u);
  const struct {
    const char* name;
    IUnknown* handler;
    IID own;
  } rows[] = {
      {"environment created", platform.environmentHandler.get(),
       IID_ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler},
      {"controller created", runtime.environment.controllerCreated.at(0).get(),
       IID_ICoreWebView2CreateCoreWebView2ControllerCompletedHandler},
      {"navigation starting", v.navigationStarting[0].get(), IID_ICoreWebView2NavigationStartingEventHandler},
      {"navigation completed", v.navigationCompleted[0].get(), IID_ICoreWebView2NavigationCompletedEventHandler},
      {"new window", v.newWindowRequested[0].get(), IID_ICoreWebView2NewWindowRequestedEventHandler},
      {"title", v.documentTitleChanged[0].get(), IID_ICoreWebView2DocumentTitleChangedEventHandler},
      {"download", v.downloadStarting[0].get(), IID_ICoreWebView2DownloadStartingEventHandler},
      {"context menu", v.contextMenuRequested[0].get(), IID_ICoreWebView2ContextMenuRequestedEventHandler},
      {"keys", runtime.controller.acceleratorKeyPressed[0].get(), IID_ICoreWebView2AcceleratorKeyPressedEventHandler},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.handler->AddRef(), 2u);
    EXPECT_EQ(row.handler->Release(), 1u);

    void* object = nullptr;
    EXPECT_EQ(row.handler->QueryInterface(IID_IUnknown, &object), S_OK);
    EXPECT_EQ(object, static_cast<void*>(row.handler));
    EXPECT_EQ(row.handler->Release(), 1u);
    object = nullptr;
    EXPECT_EQ(row.handler->QueryInterface(row.own, &object), S_OK);
    EXPECT_EQ(object, static_cast<void*>(row.handler));
    EXPECT_EQ(row.handler->Release(), 1u);
    object = &object;
    EXPECT_EQ(row.handler->QueryInterface(IID_ICoreWebView2ClearBrowsingDataCompletedHandler, &object),
              E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(row.handler->QueryInterface(row.own, nullptr), E_POINTER);
  }
}

}  // namespace
}  // namespace vistrel
