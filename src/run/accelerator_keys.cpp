#include "run/accelerator_keys.h"

#include "base/options.h"
#include "seam/platform.h"
#include "run/environment_setup.h"

namespace vistrel {

HRESULT OnAcceleratorKeyPressed(ICoreWebView2Controller*, ICoreWebView2AcceleratorKeyPressedEventArgs* args) {
  if (options.limitUI || args == nullptr) return S_OK;
  COREWEBVIEW2_KEY_EVENT_KIND kind = COREWEBVIEW2_KEY_EVENT_KIND_KEY_UP;
  args->get_KeyEventKind(&kind);
  if (kind != COREWEBVIEW2_KEY_EVENT_KIND_KEY_DOWN && kind != COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_DOWN) return S_OK;
  UINT key = 0;
  args->get_VirtualKey(&key);
  COREWEBVIEW2_PHYSICAL_KEY_STATUS status{};
  args->get_PhysicalKeyStatus(&status);
  // Held keys repeat: they are swallowed like the first press but act once.
  const bool repeat = status.WasKeyDown != FALSE;

  Platform& platform = CurrentPlatform();
  if (platform.IsKeyDown(kKeyControl)) {
    if (key == kKeyM) {
      args->put_Handled(TRUE);
      if (!repeat) ToggleMute();
    } else if (key == kKeyU) {
      args->put_Handled(TRUE);
    }
  } else if (platform.IsKeyDown(kKeyAlt) && key == kKeyHome && !options.htmlFromFile) {
    args->put_Handled(TRUE);
    if (!repeat) NavigateToStartAddress();
  }
  return S_OK;
}

}  // namespace vistrel
