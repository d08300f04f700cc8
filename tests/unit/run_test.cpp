// The running program on the fake platform and runtime: each row an event and the calls it must come to, in order.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fakes.h"
#include "run/html_file.h"
#include "run/main_window.h"
#include "run/run.h"
#include "run/user_data.h"
#include "run/view_upkeep_handlers.h"
#include "run/window_procedure.h"

namespace vistrel::fakes {
namespace {

using Lines = std::vector<std::string>;
using Args = std::vector<std::u16string>;
const std::u16string kClients = u"Microsoft\\EdgeUpdate\\Clients\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}|pv";
const std::u16string kMachine = u"HKLM SOFTWARE\\WOW6432Node\\" + kClients, kUser = u"HKCU Software\\" + kClients;
const std::string M = "ReadRegistryString " + Text(kMachine), U = "ReadRegistryString " + Text(kUser);
const std::string kWarning = "ShowMessageBox 0 48 vistrel ", kNormal = " 13565952", kPopup = " 2147483648";  // styles
const std::string kOwnIcon = "ExtractIconFrom C:\\Tools\\vistrel.exe 0", kTemp = " C:\\Temp\\vistrel";
const std::string kSearch = "StartupShortcutIconLocation", kInUse = "DataFolderInUse" + kTemp, kThere = "PathExists" + kTemp;
const RegistryString kNone{}, kUnreadable{RegistryString::State::Unreadable, u""};
RegistryString Version(std::u16string text) { return {RegistryString::State::Present, std::move(text)}; }
// The log so far, once the message loop has run what was posted to it.
Lines Drain() {
  while (!posted.empty()) {
    const std::function<void()> work = std::move(posted.front());
    posted.pop_front(), work();
  }
  return std::exchange(calls, {});
}

using Entry = Test;

TEST_F(Entry, SpecialFormsRefusalsAndTheRuntimeCheck) {
  std::string usage = Text(MessageCatalog[MsgUsage][kEnglish]);
  for (size_t tab = usage.find('\t'); tab != std::string::npos; tab = usage.find('\t')) usage.replace(tab, 1, 7, ' ');
  const RegistryString v1 = Version(u"1");
  const std::tuple<Args, RegistryString, RegistryString, int, uint16_t, Lines> rows[] = {
      {{u"/Ver"}, kNone, kNone, 0, 1033, {"ShowNarrowMessageBox vistrel"}}, {{u"/VOID"}, Version(u"120"), kNone, 0, 1033, {M}},
      {{u"/void"}, kNone, Version(u"119"), 0, 1033, {M, U}}, {{u"/void"}, kUnreadable, Version(u"119"), 1, 1033, {M}},
      {{u"/void"}, Version(u"0.0.0.0"), v1, 1, 1033, {M}}, {{u"/void"}, kNone, Version(u""), 1, 1033, {M, U}},
      {{u"/void"}, kNone, kNone, 1, 1033, {M, U}}, {{u"/?"}, kNone, kNone, 0, 1033, {M, U, kWarning + "WebView2 is not installed."}},
      {{u"x"}, kNone, kNone, 0, 1041, {M, U, kWarning + "WebView2 がインストールされていません。"}},
      {{u"/?"}, v1, kNone, 0, 1033, {M, "MeasureMessageFont vistrel ", "ShowMessageBox 0 0 vistrel " + usage}},
      {{u"/?", u"x"}, v1, kNone, 0, 1033, {M, "WorkArea", kWarning + "/? - Parameter is invalid."}},
      {{}, v1, kNone, 0, 1041, {M, "WorkArea", kWarning + "アドレスまたはファイルが指定されていません。"}},
      {{u"/void", u"x"}, v1, kNone, 0, 1033, {M, "WorkArea", "PathExists /void", kWarning + "/void - Parameter is invalid."}},
      {{u"/lu", u"m"}, v1, kNone, 0, 1041, {M, "WorkArea", "PathExists m", kWarning + "m - ファイルが見つかりませんでした。"}},
      {{u"/l", u"p"}, v1, kNone, 0, 1033,
       {M, "WorkArea", "PathExists p", "ReadWholeFile p 0", kWarning + "p - File was not able to open."}},
      {{u"/i", u"%SystemRoot%\\n.ico", u"x"}, v1, kNone, 0, 1033,
       {M, "WorkArea", "PathExists x", "PathExists C:\\Windows\\n.ico", kWarning + "C:\\Windows\\n.ico - File was not found."}},
      {{u"/i", u"p,2", u"x"}, v1, kNone, 0, 1033,
       {M, "WorkArea", "PathExists x", "PathExists p", "ExtractIconFrom p 2", kWarning + "p - Unable to retreave the icon."}},
  };
  platform.paths = {u"p"};
  for (const auto& [args, machine, user, exitCode, language, lines] : rows) {
    platform.slashRooted = args.size() == 2 && args[0] == u"/void";  // names no file: still a switch
    platform.arguments = args, platform.language = language, platform.registry = {{kMachine, machine}, {kUser, user}};
    EXPECT_EQ(RunProgram(), exitCode) << lines.back();
    EXPECT_EQ(Drain(), lines);
  }
  platform.language = 1041;
  EXPECT_EQ(ConsoleAnswer(ConsoleRequest::Version), u"vistrel 2.20\n");
  EXPECT_EQ(ConsoleAnswer(ConsoleRequest::Help).substr(0, 25), u"Web ページを表示します。\n\nvistrel [");
  EXPECT_THAT(platform.banner, ::testing::MatchesRegex(" vistrel 2\\.20 64bit - [A-Z][a-z][a-z] [ 0-9][0-9] [0-9]{4} "
                                                       "[0-9][0-9]:[0-9][0-9]:[0-9][0-9] "));
}

TEST_F(Entry, AcceptedRunsBuildTheWindowAndCleanUpAfterTheLoop) {
  const std::string show = "ShowMainWindow W 0", loop = "RunMessageLoop", remove = "DeleteFolderTree" + kTemp;
  const std::tuple<Args, std::optional<IconLocation>, Lines> rows[] = {
      {{u"/z", u"/sp", u"800", u"600", u"-0", u"-0", u"T", u"https://a.cd/"}, std::nullopt,
       {M, "WorkArea", "PathExists https://a.cd/", "ReadRegistryDword 1 Control Panel\\Desktop\\WindowMetrics AppliedDPI",
        kSearch, "ProgramIconLocation", kOwnIcon, kThere, kInUse, remove, "CreateMainWindow T 1120 440 800 600" + kNormal,
        "SetWindowIcon W 1", show, "CreateWebViewEnvironment" + kTemp, loop, "FreeIcon 1", kInUse, kThere}},  // a crash's leftovers go first
      {{u"/d:w", u"/s", u"3000", u"500", u"T", u"/home/u/p.html"}, IconLocation{u"C:\\s.ico", 1},
       {M, "WorkArea", "PathExists /home/u/p.html", "PathExists /home/u/p.html", kSearch, "ExtractIconFrom C:\\s.ico 1",
        "CreateMainWindow T 0 0 1920 1040" + kNormal, "SetWindowIcon W 1", "ShowMainWindow W 1",
        "CreateWebViewEnvironment C:\\Local\\vistrel", loop, "FreeIcon 1"}},
      {{u"/k", u"/ld", u"p"}, IconLocation{u"", 0},  // no window comes: no loop, but the clean-up
       {M, "WorkArea", "PathExists p", "ReadWholeFile p 0", kSearch, kThere, kInUse, remove,
        "CreateMainWindow p 0 0 2560 1440" + kPopup, "DeleteFileAt p", "ShowMainWindow 0 0", kInUse, kThere}},
  };
  platform.registry = {{kMachine, Version(u"1")}};
  platform.dpi = 120, platform.slashRooted = true;
  platform.files[u"p"] = {FileContents::Status::Read, "<p>\xE9</p>\r\n"};
  platform.iconFiles = {u"C:\\Tools\\vistrel.exe", u"C:\\s.ico"};
  for (const auto& [args, shortcut, lines] : rows) {
    hostState.cleanedUp = false, platform.arguments = args, platform.shortcutIcon = shortcut, platform.windowToCreate = args[0] == u"/k" ? nullptr : kWindow;
    platform.paths = {u"p", u"/home/u/p.html", u"C:\\Temp\\vistrel"};
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(Drain(), lines);
  }
  EXPECT_EQ(hostState.htmlText, u"<p>\u00E9</p>\n");
  EXPECT_DOUBLE_EQ(hostState.zoomFactor, 0.8);
}

using WebViewSetup = Test;

TEST_F(WebViewSetup, EnvironmentCreatedAsksForTheController) {
  const std::string options0 = "CreateCoreWebView2ControllerOptions", create = "CreateCoreWebView2ControllerWithOptions W 1",
                    post = "PostToWindow W", gone = "DestroyMainWindow W";
  const std::tuple<std::u16string, bool, HRESULT, int32_t, std::vector<IID>, Lines> rows[] = {
      {u"", false, S_OK, kEnglish, {}, {options0, create}},
      {u"w", true, E_FAIL, kEnglish, {}, {options0, "put_ProfileName w", "put_IsInPrivateModeEnabled 1", create}},
      {u"b.", true, E_INVALIDARG, kEnglish, {}, {options0, "put_ProfileName b.", post, "ShowMessageBox W 48 vistrel b. - Profile name is invalid.", gone}},
      {u"b.", false, E_INVALIDARG, kJapanese, {},
       {options0, "put_ProfileName b.", post, "ShowMessageBox W 48 vistrel b. - プロファイル名が正しくありません。", gone}},
  };
  for (const auto& [profile, privateMode, profileResult, language, lacking, lines] : rows) {
    hostState = {}, hostState.mainWindow = kWindow;
    options.profileName = profile, options.privateMode = privateMode, languageIndex = language, missing = lacking;
    auto* environment = Make<Environment>();
    environment->options->profileResult = profileResult;
    EXPECT_EQ(OnEnvironmentCreated(S_OK, environment), S_OK);
    EXPECT_EQ(Drain(), lines);
  }
}

TEST_F(WebViewSetup, ControllerCreatedAppliesTheSettingsAndOpensTheFirstPage) {
  const Lines events = {"add_NavigationCompleted", "add_NavigationStarting", "add_ProcessFailed", "add_NewWindowRequested",
                        "add_DocumentTitleChanged"};
  const std::string devTools = "put_AreDevToolsEnabled 0", menus = "put_AreDefaultContextMenusEnabled 0",
                    statusBar = "put_IsStatusBarEnabled 0", bounds = "put_Bounds 0 0 800 600";
  const std::tuple<bool, bool, double, std::vector<IID>, HRESULT, Lines, Lines> rows[] = {  // /d /m /l /z, /u, zoom
      {false, false, 0.8, {}, E_FAIL, {devTools, "put_IsGeneralAutofillEnabled 0", bounds},
       {"add_DownloadStarting", "put_IsMuted 0", "add_ContextMenuRequested", "add_AcceleratorKeyPressed", "Navigate /home/u/p.html"}},
      {true, true, 0.8, {}, S_OK,
       {devTools, "put_IsPasswordAutosaveEnabled 1", menus, statusBar, "put_AreBrowserAcceleratorKeysEnabled 0", bounds,
        "put_ZoomFactor 0.800000"},
       {"add_DownloadStarting", "put_IsMuted 1", "add_ContextMenuRequested", "add_AcceleratorKeyPressed", "MoveFocus 0",
        "NavigateToString <p>x</p>"}},
      {false, true, 1.0,
       {IID_ICoreWebView2_4, IID_ICoreWebView2_8, IID_ICoreWebView2_11, IID_ICoreWebView2_13, IID_ICoreWebView2Settings3,
        IID_ICoreWebView2Settings4, IID_ICoreWebView2Environment9},
       E_INVALIDARG, {devTools, menus, statusBar, bounds},
       {"add_AcceleratorKeyPressed", "Navigate /home/u/p.html", "PostToWindow W", "ShowMessageBox W 48 vistrel p.html - Address or file name is invalid.", "DestroyMainWindow W"}},
  };
  for (const auto& [all, limitUI, zoom, lacking, navigate, settings, after] : rows) {
    hostState = {}, hostState.mainWindow = kWindow, hostState.zoomFactor = zoom, hostState.htmlText = u"<p>x</p>";
    options.keepData = options.mute = options.htmlFromFile = all, options.adjustZoom = zoom == 1.0 || all, options.limitUI = limitUI;
    options.address = u"p.html", options.startAddress = u"/home/u/p.html", missing = lacking, platform.active = all;
    hostState.environment = RuntimeRef<ICoreWebView2Environment>::Share(Make<Environment>());
    auto* controller = Make<Controller>();
    controller->view->navigateResult = navigate;
    EXPECT_EQ(OnControllerCreated(S_OK, controller), S_OK);
    Lines lines = settings;
    lines.insert(lines.end(), events.begin(), events.end()), lines.insert(lines.end(), after.begin(), after.end());
    EXPECT_EQ(Drain(), lines);
    EXPECT_EQ(hostState.browserProcessId, 4242u);
    EXPECT_EQ(bool(hostState.profile) && bool(hostState.environment9), lacking.empty());
  }
}

using Adaptors = Test;

// The handlers the program gives the runtime answer IUnknown and their own interface, and nothing else.
TEST_F(Adaptors, HandlersAreTheRuntimesAloneOnceGiven) {
  Controller& controller = Start();
  const std::pair<IUnknown*, IID> handlers[] = {
      {controller.view->starting.get(), IID_ICoreWebView2NavigationStartingEventHandler},
      {controller.keys.get(), IID_ICoreWebView2AcceleratorKeyPressedEventHandler}};
  for (auto [handler, own] : handlers) {
    void* object = &object;
    EXPECT_EQ(handler->QueryInterface(IID_ICoreWebView2ClearBrowsingDataCompletedHandler, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(handler->QueryInterface(own, nullptr), E_POINTER);
    for (const IID& iid : {IID_IUnknown, own}) {
      EXPECT_EQ(handler->QueryInterface(iid, &object), S_OK);
      EXPECT_EQ(object, static_cast<void*>(handler));
      EXPECT_EQ(handler->Release(), 1u);  // the runtime's own reference only
    }
  }
}

TEST_F(Adaptors, NavigationsAndNewWindowsKeepToTheSiteTheFirstPageFixes) {
  WebView& view = *Start().view;
  // The user's click as the runtime reports it; none: it cannot say, which counts as no click.
  using User = std::optional<BOOL>;
  const std::tuple<bool, std::u16string, bool, bool, bool, User, std::optional<std::u16string>, Lines> rows[] = {
      {false, u"name.cd", false, false, false, FALSE, u"https://a.name.cd/", {}},
      {false, u"name.cd", false, false, false, std::nullopt, u"https://o.ab/", {"put_Cancel 1", "PostToWindow W", "OpenWithDefaultHandler https://o.ab/"}},
      {false, u"name.cd", false, false, false, TRUE, u"x-app:go", {"put_Cancel 1", "PostToWindow W", "OpenWithDefaultHandler x-app:go"}},
      {false, u"name.cd", false, false, false, std::nullopt, u"x-app:go", {"put_Cancel 1"}},
      {false, u"name.cd", false, false, true, TRUE, u"https://o.ab/", {"put_Cancel 1"}},
      {false, u"name.cd", false, true, false, FALSE, u"https://o.ab/", {}},
      {false, u"C:/s/", true, false, false, TRUE, u"file:///C:/o", {"put_Cancel 1", "PostToWindow W", "OpenWithDefaultHandler file:///C:/o"}},
      {false, u"name.cd", false, false, false, TRUE, std::nullopt, {"put_Cancel 1"}},
      {true, u"name.cd", false, false, false, FALSE, u"https://a.name.cd/", {"put_Handled 1", "Navigate https://a.name.cd/"}},
      {true, u"name.cd", false, false, false, TRUE, u"https://o.ab/", {"put_Handled 1", "PostToWindow W", "OpenWithDefaultHandler https://o.ab/"}},
      {true, u"name.cd", false, false, false, std::nullopt, u"https://o.ab/", {"put_Handled 1"}},
      {true, u"name.cd", false, false, true, TRUE, u"https://a.name.cd/", {"put_Handled 1"}},
  };
  for (const auto& [newWindow, scope, local, all, privateMode, user, uri, lines] : rows) {
    hostState.siteScope = scope, hostState.siteIsLocal = local, options.noBrowsingLimit = all, options.privateMode = privateMode;
    NavigationArgs* starting = Make<NavigationArgs>();
    NewWindowArgs* asking = Make<NewWindowArgs>();
    starting->uri = asking->uri = uri;
    starting->user = asking->user = user;
    EXPECT_EQ(newWindow ? view.newWindow->Invoke(&view, asking) : view.starting->Invoke(&view, starting), S_OK);
    EXPECT_EQ(Drain(), lines) << Text(uri.value_or(u"(none)"));
  }
  hostState.siteScope = u"", hostState.siteIsLocal = false;  // the first completed page fixes the site
  const std::pair<std::optional<std::u16string>, std::u16string> steps[] = {
      {std::nullopt, u""}, {u"file:///C:/a/b.html", u"C:/a/"}, {u"https://www.o.ab/", u"C:/a/"}};
  for (const auto& [source, scope] : steps) {
    view.source = source, hostState.navigationCompleted = false;
    EXPECT_EQ(view.completed->Invoke(&view, Make<CompletedArgs>()), S_OK);
    EXPECT_TRUE(hostState.navigationCompleted);
    EXPECT_EQ(hostState.siteScope, scope);
  }
  EXPECT_TRUE(hostState.siteIsLocal);
}

TEST_F(Adaptors, KeysAreHandledAndActOncePerPress) {
  options.address = u"p.html", options.startAddress = u"/home/u/p.html";
  Controller& controller = Start();
  constexpr auto down = COREWEBVIEW2_KEY_EVENT_KIND_KEY_DOWN, up = COREWEBVIEW2_KEY_EVENT_KIND_KEY_UP;
  const std::tuple<COREWEBVIEW2_KEY_EVENT_KIND, uint32_t, UINT, bool, Lines> rows[] = {
      {down, 0x11, 0x4D, false, {"put_Handled 1", "put_IsMuted 1"}}, {down, 0x11, 0x4D, true, {"put_Handled 1"}},
      {up, 0x11, 0x4D, false, {}}, {down, 0x11, 0x4D, false, {"put_Handled 1", "put_IsMuted 0"}},
      {down, 0x11, 0x55, false, {"put_Handled 1"}}, {down, 0x10, 0x24, false, {}},
      {COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_UP, 0x12, 0x24, false, {}},
      {COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_DOWN, 0x12, 0x24, false, {"put_Handled 1", "Navigate /home/u/p.html"}},
  };
  for (const auto& [kind, modifier, key, repeat, lines] : rows) {
    platform.keysDown = {modifier};
    auto* args = Make<KeyArgs>();
    args->kind = kind, args->key = key, args->wasDown = repeat;
    EXPECT_EQ(controller.keys->Invoke(&controller, args), S_OK);
    EXPECT_EQ(Drain(), lines) << key;
  }
}

TEST_F(Adaptors, MenuItemsComeAfterTheRuntimesOwnOnAPlainPageOnlyAndAct) {
  WebView& view = *Start().view;
  constexpr auto page = COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND_PAGE;
  const std::string item = "add_CustomItemSelected";
  const std::tuple<bool, COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND, BOOL, HRESULT, Lines> rows[] = {
      {false, page, FALSE, S_OK,
       {"CreateContextMenuItem Home 1", item, "InsertValueAtIndex 5 Home", "CreateContextMenuItem Mute 1", item,
        "InsertValueAtIndex 6 Mute"}},
      {true, page, FALSE, S_OK,
       {"CreateContextMenuItem ミュート解除 1", item, "InsertValueAtIndex 5 ミュート解除", "CreateContextMenuItem データクリア 1",
        item, "InsertValueAtIndex 6 データクリア"}},
      {true, page, TRUE, S_OK, {}}, {true, page, FALSE, E_FAIL, {}}, {true, COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND_IMAGE, FALSE, S_OK, {}},
  };
  for (const auto& [all, kind, hasLink, linkResult, lines] : rows) {
    options.htmlFromFile = options.mute = options.keepData = all, languageIndex = all ? kJapanese : kEnglish;
    auto* args = Make<MenuArgs>();
    args->target->kind = kind, args->target->hasLink = hasLink, args->target->linkResult = linkResult;
    EXPECT_EQ(view.menu->Invoke(&view, args), S_OK);
    EXPECT_EQ(Drain(), lines);
  }
  options.htmlFromFile = options.mute = false, options.keepData = true, languageIndex = kEnglish;
  options.address = u"p.html", options.startAddress = u"/home/u/p.html";
  auto* args = Make<MenuArgs>();
  view.menu->Invoke(&view, args);
  const auto select = [&](size_t index, int answer) {
    Drain(), platform.answer = answer;
    MenuItem* chosen = args->items->inserted.at(index);
    EXPECT_EQ(chosen->selected->Invoke(chosen, nullptr), S_OK);
    return Drain();
  };
  // The question and the notices come from the message loop, after the runtime's handler has returned.
  const std::string post = "PostToWindow W", question = "ShowMessageBox W 4 vistrel Clear all data?",
                    failed = "ShowMessageBox W 48 vistrel Could not clear the data.";
  EXPECT_EQ(select(0, kAnswerOk), Lines{"Navigate /home/u/p.html"});
  EXPECT_EQ(select(1, kAnswerOk), Lines{"put_IsMuted 1"});
  EXPECT_EQ(select(2, kAnswerNo), (Lines{post, question}));
  EXPECT_EQ(select(2, kAnswerYes), (Lines{post, question, "ClearBrowsingDataAll"}));
  for (const auto& [result, notice] : {std::pair<HRESULT, std::string>{S_OK, "ShowMessageBox W 0 vistrel All data is cleared."}, {E_FAIL, failed}}) {
    view.profile->cleared->Invoke(result);
    EXPECT_EQ(Drain(), (Lines{post, notice}));
  }
  view.profile->clearResult = E_FAIL;  // refused at once: no report will come
  EXPECT_EQ(select(2, kAnswerYes), (Lines{post, question, "ClearBrowsingDataAll", post, failed}));
  hostState.profile = nullptr;
  EXPECT_EQ(select(2, kAnswerYes), (Lines{post, question, post, failed}));
  hostState.environment9 = nullptr;  // a runtime that cannot make items
  EXPECT_EQ(view.menu->Invoke(&view, Make<MenuArgs>()), S_OK);
  EXPECT_EQ(Drain(), Lines{});
}

TEST_F(Adaptors, TitleFollowsThePageAndHtmlTextRefusesDownloads) {
  options.address = u"p.html";
  WebView& view = *Start().view;
  const std::tuple<std::u16string, std::optional<std::u16string>, std::u16string, Lines> rows[] = {
      {u"", u"ページ", u"name.cd", {"SetWindowTitle W ページ"}}, {u"", std::nullopt, u"about:blan", {"SetWindowTitle W "}},
      {u"Fixed", u"Page", u"about:blank",
       {"put_Cancel 1", "PostToWindow W", "ShowMessageBox W 48 vistrel p.html - File is not supported.", "DestroyMainWindow W"}},
  };
  for (const auto& [given, page, scope, lines] : rows) {
    options.title = given, view.title = page, hostState.siteScope = scope;
    EXPECT_EQ(view.titleChanged->Invoke(&view, nullptr), S_OK);
    EXPECT_EQ(view.download->Invoke(&view, Make<DownloadArgs>()), S_OK);
    EXPECT_EQ(Drain(), lines);
  }
}

using Window = Test;

TEST_F(Window, MessagesOfTheMainWindowAndClosing) {
  const auto after = [](auto&& action) { return Drain(), action(), Drain(); };
  EXPECT_EQ(after([] {
    OnMainWindowCreate(kWindow), OnMainWindowTimer(kWindow), OnMainWindowSize(kWindow, SizeKind::Minimized);
    OnMainWindowFocus(kWindow), OnMainWindowMove(kWindow);
  }), Lines{});
  EXPECT_EQ(after([] { OnMainWindowDestroy(kWindow); }), Lines{"QuitMessageLoop"});
  EXPECT_EQ(after([] { OnMainWindowClose(kWindow); }), Lines{"DestroyMainWindow W"});
  EXPECT_EQ(after([] { OnFatalMessage(kWindow, u"x"); }), (Lines{"ShowMessageBox W 48 vistrel x", "DestroyMainWindow W"}));
  EXPECT_EQ(MaximizedHeightLimit(), std::nullopt);
  options.fixedSize = options.reflectFileUpdate = true;
  platform.workArea = Rect{0, 40, 1366, 768};
  EXPECT_EQ(MaximizedHeightLimit(), 744);
  EXPECT_EQ(after([] { OnMainWindowCreate(kWindow); }), Lines{"WatchFile W "});
  platform.fileNotices = false;  // a network share: the timer looks instead
  EXPECT_EQ(after([] { OnMainWindowCreate(kWindow); }), (Lines{"WatchFile W ", "StartTimer W 1 100"}));
  EXPECT_EQ(after([] { OnMainWindowDestroy(kWindow); }), (Lines{"StopTimer W 1", "QuitMessageLoop"}));
  Start();
  platform.client = {0, 0, 1024, 768};
  // A minimised window hides the view and leaves its bounds; any other size shows it again and fits it.
  const std::pair<SizeKind, Lines> sizes[] = {
      {SizeKind::Restored, {"put_Bounds 0 0 1024 768"}}, {SizeKind::Minimized, {"put_IsVisible 0"}}, {SizeKind::Minimized, {}},
      {SizeKind::Restored, {"put_IsVisible 1", "put_Bounds 0 0 1024 768"}}, {SizeKind::Minimized, {"put_IsVisible 0"}},
      {SizeKind::Maximized, {"put_IsVisible 1", "put_Bounds 0 0 1024 768"}}, {SizeKind::Maximized, {"put_Bounds 0 0 1024 768"}},
  };
  for (const auto& [kind, lines] : sizes) EXPECT_EQ(after([size = kind] { OnMainWindowSize(kWindow, size); }), lines);
  EXPECT_EQ(after([] { OnMainWindowFocus(kWindow), OnMainWindowMove(kWindow); }),
            (Lines{"MoveFocus 0", "NotifyParentWindowPositionChanged"}));
  // A new scale: the suggested rectangle, and with /z the zoom for it.
  const Rect suggested{10, 20, 1210, 920};
  EXPECT_EQ(after([&] { OnMainWindowDpiChanged(kWindow, 144, suggested); }), Lines{"MoveWindowTo W 10 20 1210 920"});
  options.adjustZoom = true;
  EXPECT_EQ(after([&] { OnMainWindowDpiChanged(kWindow, 144, suggested); }),
            (Lines{"MoveWindowTo W 10 20 1210 920", "put_ZoomFactor 0.666667"}));
  EXPECT_EQ(after([&] { OnMainWindowDpiChanged(kWindow, 96, suggested); }),
            (Lines{"MoveWindowTo W 10 20 1210 920", "put_ZoomFactor 1.000000"}));
  options.adjustZoom = false;
  // Closing clears the disk cache of kept data first.
  const Lines closed = {"Close", "DestroyMainWindow W"};
  const std::tuple<bool, bool, HRESULT, Lines, Lines> rows[] = {
      {false, true, S_OK, closed, {}}, {true, true, S_OK, {"ClearBrowsingData 256"}, closed}, {true, false, S_OK, closed, {}},
      {true, true, E_FAIL, {"ClearBrowsingData 256", "Close", "DestroyMainWindow W"}, {}},  // no report will come
  };
  for (const auto& [keepData, profile, clearResult, atClose, atReport] : rows) {
    options.keepData = keepData;
    Profile& kept = *Start().view->profile;
    if (!profile) hostState.profile = nullptr;
    kept.clearResult = clearResult;
    OnMainWindowClose(kWindow);
    EXPECT_EQ(Drain(), atClose);
    if (kept.cleared && clearResult == S_OK) kept.cleared->Invoke(S_OK);
    EXPECT_EQ(Drain(), atReport);
  }
}

// A changed file is shown again once per completed load: the timer looks where no notices come, a notice shows it
// at once, and during a load the timer looks on until the load completes.
TEST_F(Window, TheFileIsShownAgainOncePerCompletedLoadAfterEachChange) {
  options.htmlFromFile = options.reflectFileUpdate = true, options.address = u"p";
  hostState.fileWriteTime = 100, hostState.navigationCompleted = true;
  platform.writeTimes[u"p"] = 150, platform.files[u"p"] = {FileContents::Status::Read, "v1"};
  OnMainWindowTimer(kWindow);  // before the web view exists: read, for the first page
  EXPECT_EQ(Drain(), Lines{"ReadWholeFile p 1"});
  using Steps = std::vector<std::tuple<bool, bool, std::optional<uint64_t>, const char*, Lines>>;  // completed, by timer
  const auto play = [this](WebView& view, const Steps& steps) {
    for (const auto& [complete, byTimer, time, text, lines] : steps) {
      if (complete) view.completed->Invoke(&view, Make<CompletedArgs>());
      Drain(), platform.writeTimes.clear(), platform.files.clear();
      if (time) platform.writeTimes[u"p"] = *time;
      if (text) platform.files[u"p"] = {FileContents::Status::Read, text};
      byTimer ? OnMainWindowTimer(kWindow) : OnMainWindowFileChanged(kWindow);
      EXPECT_EQ(Drain(), lines) << time.value_or(0) << (byTimer ? " timer" : " notice");
    }
  };
  const Lines v2 = {"ReadWholeFile p 1", "NavigateToString v2"}, v3 = {"ReadWholeFile p 1", "NavigateToString v3"};
  play(*Start().view, {
      {false, true, 200, "v2", {}},  // the first page is still loading
      {true, true, 200, "v2", v2}, {false, true, 300, "v3", {}}, {true, true, 300, "v3", v3},
      {true, true, 300, "v3", {}}, {false, true, 50, "v2", v2},  // an older version is news too
      {true, true, 60, nullptr, {"ReadWholeFile p 1", kWarning + "p - File was not able to open."}},
      {false, true, 70, "v2", v2},  // a read that failed left nothing loading
      {true, true, std::nullopt, nullptr, {"DestroyMainWindow W"}},
  });
  hostState = {}, hostState.fileWriteTime = 100;  // afresh, now with notices
  EXPECT_EQ((Drain(), OnMainWindowCreate(kWindow), Drain()), Lines{"WatchFile W p"});
  play(*Start().view, {  // its first page is loading
      {false, false, 200, "v2", {"StartTimer W 1 100"}},  // a notice during the load: the timer looks on
      {false, false, 200, "v2", {}}, {false, true, 200, "v2", {}},  // still loading: the timer goes on
      {true, true, 200, "v2", {"ReadWholeFile p 1", "NavigateToString v2", "StopTimer W 1"}},
      {true, false, 300, "v3", v3},  // at once, without the timer
      {true, false, 300, "v3", {}}, {true, false, std::nullopt, nullptr, {"DestroyMainWindow W"}},
  });
}

using Upkeep = Test;

// Every step of the start that fails, or gives nothing, ends in the box with its code: never an empty window.
TEST_F(Upkeep, AFailedStartPostsTheBoxWithItsCode) {
  enum Step { Call, Environment, Version10, Options, Create, Controller, View };
  const std::string kBox = "ShowMessageBox W 48 vistrel ";
  const std::tuple<Step, HRESULT, int32_t, std::u16string> rows[] = {
      {Call, static_cast<HRESULT>(0x80070002u), kEnglish, u"The web view could not start. Error code: 0x80070002"},
      {Environment, E_FAIL, kEnglish, u"0x80004005"}, {Environment, S_OK, kEnglish, u"0x80004003"},
      {Version10, S_OK, kEnglish, u"0x80004002"}, {Options, E_INVALIDARG, kEnglish, u"0x80070057"},
      {Create, E_FAIL, kEnglish, u"0x80004005"}, {Controller, static_cast<HRESULT>(0x8007139Fu), kEnglish, u"0x8007139F"},
      {Controller, S_OK, kEnglish, u"0x80004003"}, {View, S_OK, kJapanese, u"Web ビューを開始できませんでした。エラー コード: 0x80004003"},
  };
  for (const auto& [step, result, language, text] : rows) {
    hostState = {}, hostState.mainWindow = kWindow, languageIndex = language, missing.clear();
    platform.environmentResult = step == Call ? result : S_OK;
    CreateWebView();
    auto* environment = Make<fakes::Environment>();
    environment->optionsResult = step == Options ? result : S_OK, environment->createResult = step == Create ? result : S_OK;
    if (step == Version10) missing = {IID_ICoreWebView2Environment10};
    if (step > Call) platform.environmentCreated->Invoke(step == Environment ? result : S_OK, step == Environment ? nullptr : environment);
    auto* controller = Make<fakes::Controller>();
    if (step == View) controller->view = nullptr;
    if (step >= Controller) environment->controllerCreated->Invoke(step == Controller ? result : S_OK, step == Controller ? nullptr : controller);
    Lines lines = Drain();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.end()[-3], "PostToWindow W");
    EXPECT_TRUE(lines.end()[-2].starts_with(kBox) && lines.end()[-2].ends_with(Text(text))) << lines.end()[-2];
    EXPECT_EQ(lines.back(), "DestroyMainWindow W");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "PostToWindow W"), 1);
  }
}

// A page's process that fails shows the page again; the browser process that ends starts the view again, once.
TEST_F(Upkeep, FailedProcessesShowThePageAgainOrStartAgainOnce) {
  constexpr auto browser = COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED;
  const std::tuple<COREWEBVIEW2_PROCESS_FAILED_KIND, bool, Lines> rows[] = {
      {COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED, false, {"Reload"}},
      {COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_UNRESPONSIVE, true, {"NavigateToString <p>x</p>"}},
      {COREWEBVIEW2_PROCESS_FAILED_KIND_GPU_PROCESS_EXITED, false, {}},
      {COREWEBVIEW2_PROCESS_FAILED_KIND_FRAME_RENDER_PROCESS_EXITED, false, {}},
      {browser, false, {"Close", "CreateWebViewEnvironment" + kTemp}},
  };
  hostState.userDataFolder = u"C:\\Temp\\vistrel";
  for (const auto& [kind, file, lines] : rows) {
    options.htmlFromFile = file, hostState.htmlText = u"<p>x</p>";
    WebView& view = *Start().view;
    auto* args = Make<FailedArgs>();
    args->kind = kind;
    EXPECT_EQ(view.failed->Invoke(&view, args), S_OK);
    EXPECT_EQ(Drain(), lines) << kind;
  }
  // Started again: the old view is let go, and the new one is made as at start.
  EXPECT_TRUE(hostState.startedAgain);
  EXPECT_FALSE(hostState.controller || hostState.webView || hostState.environment10);
  auto* environment = Make<fakes::Environment>();
  platform.environmentCreated->Invoke(S_OK, environment);
  auto* controller = Make<fakes::Controller>();
  environment->controllerCreated->Invoke(S_OK, controller);
  EXPECT_EQ(hostState.controller.get(), controller);
  Drain();
  auto* again = Make<FailedArgs>();
  again->kind = browser;
  controller->view->failed->Invoke(controller->view, again);  // a second time it gives up
  EXPECT_EQ(Drain(), (Lines{"PostToWindow W", "ShowMessageBox W 48 vistrel The web view could not start. Error code: 0x8007042B",
                            "DestroyMainWindow W"}));
}

// Text the runtime refuses (over 2 MB) is served from memory at the private address, with the site rules of text.
TEST_F(Upkeep, HtmlTheRuntimeRefusesAsTextIsServedFromMemory) {
  options.htmlFromFile = true, hostState.htmlText = u"<p>\u00E9\u3042</p>";
  Controller& controller = Start();
  WebView& view = *controller.view;
  view.stringResult = E_INVALIDARG;
  const std::string served = "https://vistrel.invalid/";
  EXPECT_TRUE(ShowHtmlText());
  EXPECT_EQ(Drain(), (Lines{"NavigateToString <p>éあ</p>", "add_WebResourceRequested",
                            "AddWebResourceRequestedFilter " + served + " 1", "Navigate " + served}));
  EXPECT_TRUE(ShowHtmlText());  // the filter stays
  EXPECT_EQ(Drain(), (Lines{"NavigateToString <p>éあ</p>", "Navigate " + served}));
  for (const auto& [uri, lines] : {std::pair<std::u16string, Lines>{u"https://vistrel.invalid/x", {}},
                                   {u"https://vistrel.invalid/",
                                    {"CreateWebResourceResponse 1 200 OK Content-Type: text/html; charset=utf-16",
                                     "put_Response 1"}}}) {
    auto* args = Make<ResourceArgs>();
    args->request->uri = uri;
    EXPECT_EQ(view.resource->Invoke(&view, args), S_OK);
    EXPECT_EQ(Drain(), lines);
  }
  EXPECT_EQ(platform.streamBytes, std::string("\xFF\xFE<\0p\0>\0\xE9\0\x42\x30<\0/\0p\0>\0", 20));
  // The site it fixes is that of text: local, and links leave it; showing it again is the program's own navigation.
  view.source = u"https://vistrel.invalid/";
  view.completed->Invoke(&view, Make<CompletedArgs>());
  EXPECT_EQ(hostState.siteScope, u"about:blank");
  EXPECT_TRUE(hostState.siteIsLocal);
  for (const auto& [uri, lines] : {std::pair<std::u16string, Lines>{u"https://vistrel.invalid/", {}},
                                   {u"https://o.ab/", {"put_Cancel 1", "PostToWindow W", "OpenWithDefaultHandler https://o.ab/"}}}) {
    auto* args = Make<NavigationArgs>();
    args->uri = uri;
    view.starting->Invoke(&view, args);
    EXPECT_EQ(Drain(), lines);
  }
}

// Log-off: the view closes and the exit clean-up runs before the process may be killed, and not again at exit.
TEST_F(Upkeep, EndOfSessionCleansUpOnceAndStaleScratchDataGoesAtStart) {
  hostState.userDataFolder = u"C:\\Temp\\vistrel";
  Start();
  platform.paths = {u"C:\\Temp\\vistrel"};
  OnMainWindowEndSession(kWindow);
  EXPECT_EQ(Drain(), (Lines{"Close", "WaitForProcessExit 4242 5000", kInUse, kThere, "DeleteFolderTree" + kTemp}));
  ExitCleanup();
  EXPECT_EQ(Drain(), Lines{});
  const std::tuple<bool, bool, bool, Lines> rows[] = {  // kept, there, in use
      {false, true, false, {kThere, kInUse, "DeleteFolderTree" + kTemp}}, {false, true, true, {kThere, kInUse}},
      {false, false, false, {kThere}}, {true, true, false, {}},
  };
  for (const auto& [kept, there, inUse, lines] : rows) {
    options.keepData = kept, platform.folderInUse = inUse, platform.paths.clear();
    if (there) platform.paths.insert(hostState.userDataFolder);
    RemoveStaleScratchData();
    EXPECT_EQ(Drain(), lines);
  }
}

using Files = Test;

TEST_F(Files, DataFolderCleanUp) {
  const std::string remove = "DeleteFolderTree" + kTemp;
  Lines tenFailures = {kInUse};
  for (int i = 0; i < 10; ++i) tenFailures.insert(tenFailures.end(), {kThere, remove, "Pause 500"});
  tenFailures.push_back(kWarning + "Could not delete user data.");
  const std::tuple<bool, bool, bool, uint32_t, int, Lines> rows[] = {
      {true, true, false, 4242, 0, {"WaitForProcessExit 4242 5000"}},
      {false, true, false, 4242, 0, {"WaitForProcessExit 4242 5000", kInUse, kThere, remove}},
      {false, true, true, 0, 0, {kInUse}}, {false, false, false, 0, 0, {kInUse, kThere}},
      {false, true, false, 0, 1, {kInUse, kThere, remove, "Pause 500", kThere, remove}}, {false, true, false, 0, -1, tenFailures},
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
  platform.paths = {u"p", u"/srv"};
  for (auto [address, start] : {std::pair{u"p", u"/home/u/p"}, {u"/srv", u"/srv"}, {u"https://a/", u"https://a/"}}) {
    EXPECT_EQ(ResolveStartAddress(address), start);
  }
}

// The default icon, a shortcut's and one without icon are in the accepted runs above, a refused /i in the first table.
TEST_F(Files, WindowIcon) {
  const std::tuple<bool, std::optional<IconLocation>, Lines, bool> rows[] = {
      {true, IconLocation{u"C:\\s.ico", 1}, {"PathExists C:\\Windows\\a.ico", "ExtractIconFrom C:\\Windows\\a.ico 3"}, true},
      {false, IconLocation{u"C:\\gone.ico", 0}, {kSearch, "ExtractIconFrom C:\\gone.ico 0"}, false},
  };
  platform.iconFiles = platform.paths = {u"C:\\Windows\\a.ico"};
  for (const auto& [given, location, lines, icon] : rows) {
    options.iconGiven = given, options.iconFile = u"%SystemRoot%\\a.ico", options.iconIndex = 3, platform.shortcutIcon = location;
    EXPECT_EQ(ResolveWindowIcon(), std::optional(icon ? kIcon : nullptr));
    EXPECT_EQ(Drain(), lines);
  }
}

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
