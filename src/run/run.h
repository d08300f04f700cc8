// The entry sequence: from process start to the exit code.
#pragma once

#include <string>

#include "rules/command_line.h"

namespace vistrel {

// The answer to "--help" or "--version" in the user's language, for
// standard output.
std::u16string ConsoleAnswer(ConsoleRequest request);

// Runs the program on the installed platform and returns the exit code.
int RunProgram();

// True when no usable WebView2 runtime is registered, machine key first.
bool RuntimeMissing();

// The rooted-path test for this platform: empty where "/" cannot begin an
// absolute path.
RootedPathTest PlatformRootedPathTest();
// Without /l: the absolute path when the address names an existing file or
// folder, otherwise the address unchanged.
std::u16string ResolveStartAddress(const std::u16string& address);

// " vistrel 2.20 64bit - Jun 12 2024 14:26:06 ", dated by the build.
std::string VersionBanner();

}  // namespace vistrel
