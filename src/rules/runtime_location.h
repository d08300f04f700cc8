// Where the web runtime's environment is asked for. The SDK's loader beside
// the program comes first: it knows every way the runtime is installed. Then
// the runtime's own engine library, in the folder that its installation
// registered (for the whole machine first, then for the user). Pure: the
// platform reads the program's folder and the registered folders, and loads
// and calls the libraries.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vistrel {

// Where an installation of the runtime registers its folder: read in the
// registry's 32-bit view, under the machine's and then the user's root.
inline constexpr char16_t kRuntimeClientStateKey[] =
    u"SOFTWARE\\Microsoft\\EdgeUpdate\\ClientState\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";
inline constexpr char16_t kRuntimeFolderValue[] = u"EBWebView";

struct RuntimeLibrary {
  // Loader: exports CreateCoreWebView2EnvironmentWithOptions.
  // Engine: exports CreateWebViewEnvironmentWithOptionsInternal.
  enum class Kind { Loader, Engine };
  Kind kind = Kind::Loader;
  std::u16string path;
  friend bool operator==(const RuntimeLibrary&, const RuntimeLibrary&) = default;
};

// The libraries to try, in order; the first one that loads and has its entry
// point is used. A folder that is unknown or empty gives no library.
std::vector<RuntimeLibrary> RuntimeLibraries(const std::u16string& programFolder,
                                             const std::optional<std::u16string>& machineRuntimeFolder,
                                             const std::optional<std::u16string>& userRuntimeFolder);

}  // namespace vistrel
