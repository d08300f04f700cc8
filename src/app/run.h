// The entry sequence: from process start to the exit code.
#pragma once

#include <string>

namespace vistrel {

// Runs the program on the installed platform and returns the exit code.
int RunProgram();

// True when no usable WebView2 runtime is registered, machine key first.
bool RuntimeMissing();

// " vistrel 2.20 64bit - Jun 12 2024 14:26:06 ", dated by the build.
std::string VersionBanner();

}  // namespace vistrel
