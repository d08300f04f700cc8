#include "run/main_window.h"

#include "base/catalog.h"
#include "run/boxes.h"
#include "base/options.h"
#include "run/host_state.h"

namespace vistrel {

namespace {
constexpr char16_t kWindowMetricsKey[] = u"Control Panel\\Desktop\\WindowMetrics";
constexpr char16_t kDefaultIconFile[] = u"%SystemRoot%\\System32\\shell32.dll";
constexpr int32_t kDefaultIconIndex = 220;
}  // namespace

double ReadZoomFactor() {
  const std::optional<uint32_t> dpi =
      CurrentPlatform().ReadRegistryDword(RegistryRoot::CurrentUser, kWindowMetricsKey, u"AppliedDPI");
  return ZoomFactorFromDpi(dpi.value_or(0));
}

std::optional<IconHandle> ResolveWindowIcon() {
  Platform& platform = CurrentPlatform();
  IconLocation location{kDefaultIconFile, kDefaultIconIndex};
  if (options.iconGiven) {
    location = {options.iconFile, options.iconIndex};
  } else if (std::optional<IconLocation> shortcut = platform.StartupShortcutIconLocation()) {
    location = *shortcut;
  }
  const std::u16string path = platform.ExpandEnvironmentVariables(location.path);
  if (options.iconGiven && !platform.PathExists(path)) {
    ShowCatalogMessage(ComposeArgumentMessage(path, MsgFileNotFound), true);
    return std::nullopt;
  }
  // A shortcut without an icon of its own leaves the window without one.
  const IconHandle icon = path.empty() && !options.iconGiven ? nullptr : platform.ExtractIconFrom(path, location.index);
  if (icon == nullptr && options.iconGiven) {
    ShowCatalogMessage(ComposeArgumentMessage(path, MsgIconUnavailable), true);
    return std::nullopt;
  }
  return icon;
}

void CreateMainWindow(const WindowPlacement& placement, IconHandle icon) {
  Platform& platform = CurrentPlatform();
  const std::u16string& title = options.title.empty() ? options.address : options.title;
  hostState.mainWindow = platform.CreateMainWindow(title, placement);
  if (icon != nullptr) platform.SetWindowIcon(hostState.mainWindow, icon);
  // The text was read before the window existed; the file is no longer needed.
  if (options.deleteHtmlFile) platform.DeleteFileAt(options.address);
  platform.ShowMainWindow(hostState.mainWindow, placement.showMaximized);
}

}  // namespace vistrel
