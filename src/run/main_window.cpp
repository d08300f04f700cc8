#include "run/main_window.h"

#include "base/catalog.h"
#include "base/options.h"
#include "run/boxes.h"
#include "run/host_state.h"

namespace vistrel {

namespace {
constexpr char16_t kWindowMetricsKey[] = u"Control Panel\\Desktop\\WindowMetrics";
}  // namespace

double ReadZoomFactor() {
  const std::optional<uint32_t> dpi =
      CurrentPlatform().ReadRegistryDword(RegistryRoot::CurrentUser, kWindowMetricsKey, u"AppliedDPI");
  return ZoomFactorFromDpi(dpi.value_or(0));
}

std::optional<IconHandle> ResolveWindowIcon() {
  Platform& platform = CurrentPlatform();
  // The program's own icon unless the command line or the shortcut names another.
  IconLocation location;
  if (options.iconGiven) {
    location = {options.iconFile, options.iconIndex};
  } else if (std::optional<IconLocation> shortcut = platform.StartupShortcutIconLocation()) {
    location = *shortcut;
  } else if (std::optional<IconLocation> own = platform.ProgramIconLocation()) {
    location = *own;
  }
  const std::u16string path = platform.ExpandEnvironmentVariables(location.path);
  if (options.iconGiven && !platform.PathExists(path)) {
    ShowCatalogMessage(ComposeArgumentMessage(path, MsgFileNotFound), true);
    return std::nullopt;
  }
  // A shortcut without an icon of its own, or a program that has none, leaves
  // the window without one.
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
