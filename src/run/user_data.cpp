#include "run/user_data.h"

#include "base/catalog.h"
#include "base/options.h"
#include "run/boxes.h"
#include "run/host_state.h"
#include "seam/platform.h"

namespace vistrel {

namespace {
constexpr uint32_t kBrowserExitWaitMs = 5000;
constexpr int kDeleteAttempts = 10;
constexpr uint32_t kDeletePauseMs = 500;
}  // namespace

std::u16string BuildUserDataFolder(bool keepData) {
  return CurrentPlatform().UserDataFolderPath(keepData ? KnownFolder::LocalAppData : KnownFolder::Temp);
}

void RemoveStaleScratchData() {
  Platform& platform = CurrentPlatform();
  const std::u16string& folder = hostState.userDataFolder;
  if (options.keepData || !platform.PathExists(folder)) return;
  // A copy that crashed left it: no running copy uses it, and the new
  // session must not take over its data.
  if (!platform.DataFolderInUse(folder)) platform.DeleteFolderTree(folder);
}

void ExitCleanup() {
  // Once: at log-off it ran before the message loop ended.
  if (hostState.cleanedUp) return;
  hostState.cleanedUp = true;
  Platform& platform = CurrentPlatform();
  if (hostState.browserProcessId != 0) platform.WaitForProcessExit(hostState.browserProcessId, kBrowserExitWaitMs);
  if (options.keepData) return;
  const std::u16string& folder = hostState.userDataFolder;
  // Another copy without /d shares the scratch folder; it deletes it when it ends.
  if (platform.DataFolderInUse(folder)) return;
  for (int attempt = 0; attempt < kDeleteAttempts; ++attempt) {
    if (!platform.PathExists(folder)) return;
    if (platform.DeleteFolderTree(folder)) return;
    platform.Pause(kDeletePauseMs);
  }
  ShowCatalogMessage(CatalogText(MsgDataDeleteFailed), true);
}

}  // namespace vistrel
