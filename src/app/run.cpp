#include "app/run.h"

#include <vector>

#include "app/catalog.h"
#include "app/options.h"
#include "app/text.h"
#include "app/usage.h"
#include "app/version.h"
#include "platform/platform.h"

namespace vistrel {

namespace {

constexpr char16_t kRuntimeMachineKey[] =
    u"SOFTWARE\\WOW6432Node\\Microsoft\\EdgeUpdate\\Clients\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";
constexpr char16_t kRuntimeUserKey[] =
    u"Software\\Microsoft\\EdgeUpdate\\Clients\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";
constexpr char16_t kRuntimeVersionValue[] = u"pv";

constexpr int kExitNormal = 0;
constexpr int kExitRuntimeMissing = 1;  // only "/void" reports through the exit code

bool IsOnlyArgument(const std::vector<std::u16string>& arguments, std::u16string_view word) {
  return arguments.size() == 1 && EqualsIgnoringCase(arguments[0], word);
}

// The checks that need the file system once the command line is accepted.
// Returns false after showing the refusal.
bool PrepareStart() {
  if (options.htmlFromFile) {
    if (!CurrentPlatform().PathExists(options.address)) {
      ShowCatalogMessage(ComposeArgumentMessage(options.address, MsgFileNotFound), true);
      return false;
    }
  } else {
    options.startAddress = ResolveStartAddress(options.address);
  }
  return true;
}

// Where an accepted command line goes on: the window, the web view and the
// message loop. Until they exist, an accepted run ends here.
int RunWindowPhase() { return kExitNormal; }

}  // namespace

std::string VersionBanner() {
  return std::string(" vistrel ") + kVersion + " 64bit - " + __DATE__ + " " + __TIME__ + " ";
}

bool RuntimeMissing() {
  Platform& platform = CurrentPlatform();
  RegistryString version = platform.ReadRegistryString(RegistryRoot::LocalMachine, kRuntimeMachineKey,
                                                       kRuntimeVersionValue);
  if (version.state == RegistryString::State::Absent) {
    version = platform.ReadRegistryString(RegistryRoot::CurrentUser, kRuntimeUserKey, kRuntimeVersionValue);
  }
  // A key that answered but whose value could not be read counts as missing.
  if (version.state != RegistryString::State::Present) return true;
  return version.text.empty() || version.text == u"0.0.0.0";
}

int RunProgram() {
  Platform& platform = CurrentPlatform();
  ChooseLanguage(platform.UserInterfaceLanguage());

  std::vector<std::u16string> arguments = platform.CommandLineArguments();
  if (!arguments.empty()) arguments.erase(arguments.begin());  // the program's own name

  if (IsOnlyArgument(arguments, u"/ver")) {
    platform.ShowNarrowMessageBox(VersionBanner(), "vistrel");
    return kExitNormal;
  }
  const bool runtimeMissing = RuntimeMissing();
  if (IsOnlyArgument(arguments, u"/void")) return runtimeMissing ? kExitRuntimeMissing : kExitNormal;
  if (runtimeMissing) {
    ShowCatalogMessage(CatalogText(MsgRuntimeMissing), true);
    return kExitNormal;
  }
  if (IsOnlyArgument(arguments, u"/?")) {
    ShowUsage(CatalogText(MsgUsage));
    return kExitNormal;
  }

  // A work area that cannot be read is taken as empty: sizes then fall back
  // to what fits, which is nothing, and the window is shown maximised.
  workArea = platform.WorkArea().value_or(Rect{});
  ParseResult parsed = ParseCommandLine(arguments, workArea);
  if (parsed.refusal) {
    ShowCatalogMessage(parsed.refusal->Text(), true);
    return kExitNormal;
  }
  options = std::move(parsed.options);
  if (!PrepareStart()) return kExitNormal;

  return RunWindowPhase();
}

}  // namespace vistrel
