#include "run/run.h"

#include <vector>

#include "base/catalog.h"
#include "base/options.h"
#include "base/text.h"
#include "base/version.h"
#include "rules/placement.h"
#include "rules/usage_layout.h"
#include "run/boxes.h"
#include "run/environment_setup.h"
#include "run/host_state.h"
#include "run/html_file.h"
#include "run/main_window.h"
#include "run/user_data.h"
#include "seam/platform.h"

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

// From an accepted command line to the end of the run: the window, its
// message loop and the clean-up. Returns the exit code.
int RunWindow(Platform& platform) {
  if (options.adjustZoom) hostState.zoomFactor = ReadZoomFactor();
  hostState.userDataFolder = BuildUserDataFolder(options.keepData);
  const ScreenSize screen = options.fullScreen ? platform.PrimaryScreenSize() : ScreenSize{};
  const WindowPlacement placement = ComputeWindowPlacement(options, workArea, screen.width, screen.height);
  const std::optional<IconHandle> icon = ResolveWindowIcon();
  if (!icon) return kExitNormal;
  // Before the window: no message is handled while a crash's leftovers go.
  RemoveStaleScratchData();
  CreateMainWindow(placement, *icon);
  // Without a window nothing would ever end the message loop.
  if (hostState.mainWindow != nullptr) {
    CreateWebView();
    platform.RunMessageLoop();
  }
  if (*icon != nullptr) platform.FreeIcon(*icon);
  ExitCleanup();
  return kExitNormal;
}

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

RootedPathTest PlatformRootedPathTest() {
  if (!CurrentPlatform().AbsolutePathsBeginWithSlash()) return {};
  return [](const std::u16string& token) { return CurrentPlatform().PathExists(token); };
}

std::u16string ResolveStartAddress(const std::u16string& address) {
  Platform& platform = CurrentPlatform();
  if (!platform.PathExists(address)) return address;
  // A name that exists but cannot be made absolute is still better passed on
  // as typed than dropped.
  return platform.FullPath(address).value_or(address);
}

std::u16string ConsoleAnswer(ConsoleRequest request) {
  ChooseLanguage(CurrentPlatform().UserInterfaceLanguage());
  if (request == ConsoleRequest::Help) return UsageForTerminal(CatalogText(MsgUsage));
  const std::string_view version = kVersion;
  return u"vistrel " + std::u16string(version.begin(), version.end()) + u"\n";
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
  ParseResult parsed = ParseCommandLine(arguments, workArea, PlatformRootedPathTest());
  if (parsed.refusal) {
    ShowCatalogMessage(parsed.refusal->Text(), true);
    return kExitNormal;
  }
  options = std::move(parsed.options);
  if (options.htmlFromFile) {
    if (!PrepareHtmlFile()) return kExitNormal;
  } else {
    options.startAddress = ResolveStartAddress(options.address);
  }
  return RunWindow(platform);
}

}  // namespace vistrel
