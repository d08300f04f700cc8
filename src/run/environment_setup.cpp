#include "run/environment_setup.h"

#include "base/catalog.h"
#include "base/options.h"
#include "rules/view_upkeep.h"
#include "rules/web_verdicts.h"
#include "run/accelerator_keys.h"
#include "run/context_menu.h"
#include "run/downloads_and_title.h"
#include "run/host_state.h"
#include "run/window_procedure.h"
#include "run/navigation_completion.h"
#include "run/navigation_policy.h"
#include "run/view_upkeep_handlers.h"
#include "runtime/handler.h"
#include "seam/platform.h"

namespace vistrel {

namespace {

// A step of the start that failed, or gave nothing, ends the run with the
// start-failure box: never an empty window. True when it failed.
bool StartStepFailed(HRESULT result, bool gotObject, HRESULT withoutObject) {
  if (result >= 0 && gotObject) return false;
  ReportStartFailure(result < 0 ? result : withoutObject);
  return true;
}

}  // namespace

void CreateWebView() {
  auto handler = MakeHandler<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler>(OnEnvironmentCreated);
  const HRESULT result = CurrentPlatform().CreateWebViewEnvironment(hostState.userDataFolder, handler.get());
  StartStepFailed(result, true, S_OK);
}

HRESULT OnEnvironmentCreated(HRESULT status, ICoreWebView2Environment* environment) {
  if (StartStepFailed(status, environment != nullptr, E_POINTER)) return S_OK;
  hostState.environment = RuntimeRef<ICoreWebView2Environment>::Share(environment);
  hostState.environment10 = hostState.environment.Query<ICoreWebView2Environment10>();
  if (StartStepFailed(S_OK, bool(hostState.environment10), E_NOINTERFACE)) return S_OK;

  RuntimeRef<ICoreWebView2ControllerOptions> controllerOptions;
  const HRESULT made = hostState.environment10->CreateCoreWebView2ControllerOptions(controllerOptions.Put());
  if (StartStepFailed(made, bool(controllerOptions), E_POINTER)) return S_OK;
  if (!options.profileName.empty() &&
      controllerOptions->put_ProfileName(RuntimeText(options.profileName)) == E_INVALIDARG) {
    PostFatalMessage(ComposeArgumentMessage(options.profileName, MsgProfileNameInvalid));
    // The window goes with the box: no controller is asked for it.
    return S_OK;
  }
  if (options.privateMode) controllerOptions->put_IsInPrivateModeEnabled(TRUE);

  auto handler = MakeHandler<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler>(OnControllerCreated);
  StartStepFailed(hostState.environment10->CreateCoreWebView2ControllerWithOptions(
                      static_cast<HWND>(hostState.mainWindow), controllerOptions.get(), handler.get()),
                  true, S_OK);
  return S_OK;
}

namespace {

void ApplySettings() {
  for (const SettingValue& value : SettingsFor(options)) {
    const BOOL enabled = value.enabled ? TRUE : FALSE;
    switch (value.setting) {
      case Setting::DevTools:
        if (hostState.settings) hostState.settings->put_AreDevToolsEnabled(enabled);
        break;
      case Setting::PasswordAutosave:
        if (hostState.settings4) hostState.settings4->put_IsPasswordAutosaveEnabled(enabled);
        break;
      case Setting::GeneralAutofill:
        if (hostState.settings4) hostState.settings4->put_IsGeneralAutofillEnabled(enabled);
        break;
      case Setting::DefaultContextMenus:
        if (hostState.settings) hostState.settings->put_AreDefaultContextMenusEnabled(enabled);
        break;
      case Setting::StatusBar:
        if (hostState.settings) hostState.settings->put_IsStatusBarEnabled(enabled);
        break;
      case Setting::BrowserAcceleratorKeys:
        if (hostState.settings3) hostState.settings3->put_AreBrowserAcceleratorKeysEnabled(enabled);
        break;
    }
  }
}

RECT ClientBounds() {
  const Rect client = CurrentPlatform().ClientRect(hostState.mainWindow);
  return RECT{client.left, client.top, client.right, client.bottom};
}

void SubscribeHandlers() {
  EventRegistrationToken token{};
  ICoreWebView2* view = hostState.webView.get();
  view->add_NavigationCompleted(MakeHandler<ICoreWebView2NavigationCompletedEventHandler>(OnNavigationCompleted).get(),
                                &token);
  view->add_NavigationStarting(MakeHandler<ICoreWebView2NavigationStartingEventHandler>(OnNavigationStarting).get(),
                               &token);
  view->add_ProcessFailed(MakeHandler<ICoreWebView2ProcessFailedEventHandler>(OnProcessFailed).get(), &token);
  view->add_NewWindowRequested(MakeHandler<ICoreWebView2NewWindowRequestedEventHandler>(OnNewWindowRequested).get(),
                               &token);
  view->add_DocumentTitleChanged(
      MakeHandler<ICoreWebView2DocumentTitleChangedEventHandler>(OnDocumentTitleChanged).get(), &token);
  hostState.webView4 = hostState.webView.Query<ICoreWebView2_4>();
  if (hostState.webView4) {
    hostState.webView4->add_DownloadStarting(
        MakeHandler<ICoreWebView2DownloadStartingEventHandler>(OnDownloadStarting).get(), &token);
  }
  hostState.webView8 = hostState.webView.Query<ICoreWebView2_8>();
  if (hostState.webView8) hostState.webView8->put_IsMuted(options.mute ? TRUE : FALSE);
  hostState.webView11 = hostState.webView.Query<ICoreWebView2_11>();
  hostState.environment9 = hostState.environment.Query<ICoreWebView2Environment9>();
  if (hostState.webView11) {
    hostState.webView11->add_ContextMenuRequested(
        MakeHandler<ICoreWebView2ContextMenuRequestedEventHandler>(OnContextMenuRequested).get(), &token);
  }
  hostState.controller->add_AcceleratorKeyPressed(
      MakeHandler<ICoreWebView2AcceleratorKeyPressedEventHandler>(OnAcceleratorKeyPressed).get(), &token);
}

}  // namespace

HRESULT OnControllerCreated(HRESULT status, ICoreWebView2Controller* controller) {
  if (StartStepFailed(status, controller != nullptr, E_POINTER)) return S_OK;
  hostState.controller = RuntimeRef<ICoreWebView2Controller>::Share(controller);
  const HRESULT got = hostState.controller->get_CoreWebView2(hostState.webView.Put());
  if (StartStepFailed(got, bool(hostState.webView), E_POINTER)) return S_OK;

  hostState.webView13 = hostState.webView.Query<ICoreWebView2_13>();
  if (hostState.webView13) {
    RuntimeRef<ICoreWebView2Profile> profile;
    hostState.webView13->get_Profile(profile.Put());
    hostState.profile = profile.Query<ICoreWebView2Profile2>();
  }
  hostState.webView->get_Settings(hostState.settings.Put());
  hostState.settings3 = hostState.settings.Query<ICoreWebView2Settings3>();
  hostState.settings4 = hostState.settings.Query<ICoreWebView2Settings4>();
  ApplySettings();

  hostState.controller->put_Bounds(ClientBounds());
  if (options.adjustZoom && hostState.zoomFactor != 1.0) hostState.controller->put_ZoomFactor(hostState.zoomFactor);
  SubscribeHandlers();
  // The window was activated before the view existed: the page gets the keyboard now.
  if (CurrentPlatform().IsActiveWindow(hostState.mainWindow)) {
    hostState.controller->MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC);
  }

  UINT32 processId = 0;
  hostState.webView->get_BrowserProcessId(&processId);
  hostState.browserProcessId = processId;

  if (options.htmlFromFile) {
    ShowHtmlText();
  } else {
    NavigateToStartAddress();
  }
  return S_OK;
}

void NavigateToStartAddress() {
  if (!hostState.webView) return;
  if (hostState.webView->Navigate(RuntimeText(options.startAddress)) == E_INVALIDARG) {
    PostFatalMessage(ComposeArgumentMessage(options.address, MsgAddressInvalid));
  }
}

void ToggleMute() {
  options.mute = !options.mute;
  if (hostState.webView8) hostState.webView8->put_IsMuted(options.mute ? TRUE : FALSE);
}

}  // namespace vistrel
