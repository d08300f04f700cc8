#include "rules/runtime_location.h"

namespace vistrel {

namespace {

constexpr char16_t kLoaderName[] = u"WebView2Loader.dll";
// The program is 64-bit, so it takes the engine built for x64.
constexpr char16_t kEngineInFolder[] = u"EBWebView\\x64\\EmbeddedBrowserWebView.dll";

// A name inside the folder, with one separator whether or not the folder ends in one.
std::u16string Inside(const std::u16string& folder, const std::u16string& name) {
  if (folder.empty()) return name;
  const char16_t last = folder.back();
  if (last == u'\\' || last == u'/') return folder + name;
  return folder + u'\\' + name;
}

}  // namespace

std::vector<RuntimeLibrary> RuntimeLibraries(const std::u16string& programFolder,
                                             const std::optional<std::u16string>& machineRuntimeFolder,
                                             const std::optional<std::u16string>& userRuntimeFolder) {
  std::vector<RuntimeLibrary> libraries;
  // Without its own folder the program cannot tell "beside it" from the search path.
  if (!programFolder.empty()) libraries.push_back({RuntimeLibrary::Kind::Loader, Inside(programFolder, kLoaderName)});
  for (const auto* folder : {&machineRuntimeFolder, &userRuntimeFolder}) {
    if (*folder && !(*folder)->empty()) {
      libraries.push_back({RuntimeLibrary::Kind::Engine, Inside(**folder, kEngineInFolder)});
    }
  }
  return libraries;
}

}  // namespace vistrel
