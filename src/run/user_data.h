// The folder where the web runtime keeps browsing data, and its removal at exit.
#pragma once

#include <string>

namespace vistrel {

// Kept data lives in the local application data folder, scratch data in the
// temporary folder.
std::u16string BuildUserDataFolder(bool keepData);

// Before the view is made: deletes a scratch folder that no running copy
// uses, the leftovers of a copy that crashed.
void RemoveStaleScratchData();

// After the message loop (or at log-off), once: waits for the browser process, then deletes a
// scratch folder that no other copy is using, with retries.
void ExitCleanup();

}  // namespace vistrel
