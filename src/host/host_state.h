// The process-wide state of the running window.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace vistrel {

struct HostStateRecord {
  WindowHandle mainWindow = nullptr;
  double zoomFactor = 1.0;
  std::u16string userDataFolder;
  std::u16string htmlText;
  uint64_t fileWriteTime = 0;
  bool navigationCompleted = false;
  std::u16string siteScope;
  uint32_t browserProcessId = 0;
};

extern HostStateRecord hostState;

}  // namespace vistrel
