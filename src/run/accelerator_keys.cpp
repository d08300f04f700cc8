#include "run/accelerator_keys.h"

#include "base/options.h"
#include "rules/web_verdicts.h"
#include "run/environment_setup.h"
#include "seam/platform.h"

namespace vistrel {

HRESULT OnAcceleratorKeyPressed(ICoreWebView2Controller*, ICoreWebView2AcceleratorKeyPressedEventArgs* args) {
  if (args == nullptr) return S_OK;
  COREWEBVIEW2_KEY_EVENT_KIND kind = COREWEBVIEW2_KEY_EVENT_KIND_KEY_UP;
  args->get_KeyEventKind(&kind);
  UINT key = 0;
  args->get_VirtualKey(&key);
  COREWEBVIEW2_PHYSICAL_KEY_STATUS status{};
  args->get_PhysicalKeyStatus(&status);
  Platform& platform = CurrentPlatform();
  const KeyPress press{key,
                       kind == COREWEBVIEW2_KEY_EVENT_KIND_KEY_DOWN || kind == COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_DOWN,
                       status.WasKeyDown != FALSE, platform.IsKeyDown(kKeyControl), platform.IsKeyDown(kKeyAlt)};
  const KeyVerdict verdict = DecideKey(press, options);
  if (verdict.handled) args->put_Handled(TRUE);
  if (verdict.action == KeyAction::ToggleMute) ToggleMute();
  if (verdict.action == KeyAction::GoHome) NavigateToStartAddress();
  return S_OK;
}

}  // namespace vistrel
