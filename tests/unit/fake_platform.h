// A platform that answers from fields set by the test and records every call
// in order, so a test can see exactly what the program asked of the OS.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/catalog.h"
#include "base/options.h"
#include "run/host_state.h"
#include "seam/platform.h"
#include "runtime/runtime_ref.h"

namespace vistrel::fakes {

inline std::string Narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

struct ShownBox {
  WindowHandle owner;
  std::u16string text;
  std::u16string caption;
  uint32_t style;
};

class FakePlatform : public Platform {
 public:
  FakePlatform() { InstallPlatform(this); }
  ~FakePlatform() override { InstallPlatform(nullptr); }

  uint16_t language = 1033;
  std::vector<std::u16string> commandLine = {u"vistrel.exe"};
  std::map<std::pair<RegistryRoot, std::u16string>, RegistryString> registry;
  std::optional<Rect> workArea = Rect{0, 0, 1920, 1040};
  MessageFontWidths fontWidths{56, 7.0f};
  std::set<std::u16string> existingPaths;
  bool slashRootedPaths = false;  // as on Linux
  std::u16string currentDirectory = u"/home/u";
  int answer = kAnswerOk;

  std::optional<uint32_t> appliedDpi;
  ScreenSize screen{2560, 1440};
  std::optional<IconLocation> shortcutIcon;
  std::optional<IconLocation> programIcon = IconLocation{u"C:\\Windows\\System32\\shell32.dll", 220};
  std::set<std::u16string> iconFiles;  // files that hold icons
  std::map<std::u16string, FileContents> files;
  std::map<std::u16string, uint64_t> writeTimes;
  bool dataFolderInUse = false;
  int deleteFailures = 0;  // failed deletions before one succeeds
  std::function<void()> whileLooping;  // what happens while the message loop runs
  WindowHandle windowToCreate = reinterpret_cast<WindowHandle>(0x3A1);

  static inline IconHandle const kIcon = reinterpret_cast<IconHandle>(0x1C0);
  static inline WindowHandle const kWindow = reinterpret_cast<WindowHandle>(0x3A1);

  std::set<uint32_t> keysDown;
  RuntimeRef<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler> environmentHandler;
  std::vector<std::u16string> handedOver;
  std::vector<std::u16string> fatalMessages;
  std::vector<const std::u16string*> postedMessages;
  std::vector<std::u16string> titles;

  std::vector<std::string> calls;
  std::vector<WindowPlacement> createdWindows;
  std::vector<std::u16string> windowTitles;
  std::vector<ShownBox> boxes;
  std::vector<std::string> narrowBoxes;

  uint16_t UserInterfaceLanguage() override {
    calls.push_back("UserInterfaceLanguage");
    return language;
  }
  std::vector<std::u16string> CommandLineArguments() override {
    calls.push_back("CommandLineArguments");
    return commandLine;
  }
  int ShowMessageBox(WindowHandle owner, const std::u16string& text, const std::u16string& caption,
                     uint32_t style) override {
    calls.push_back("ShowMessageBox");
    boxes.push_back({owner, text, caption, style});
    return answer;
  }
  void ShowNarrowMessageBox(const std::string& text, const std::string& caption) override {
    calls.push_back("ShowNarrowMessageBox " + caption);
    narrowBoxes.push_back(text);
  }
  MessageFontWidths MeasureMessageFont(const std::u16string& piece) override {
    calls.push_back("MeasureMessageFont " + Narrow(piece));
    return fontWidths;
  }
  RegistryString ReadRegistryString(RegistryRoot root, const std::u16string& subkey,
                                    const std::u16string& valueName) override {
    calls.push_back(std::string("ReadRegistryString ") + (root == RegistryRoot::LocalMachine ? "HKLM" : "HKCU") +
                    " " + Narrow(valueName));
    auto found = registry.find({root, subkey + u"|" + valueName});
    return found == registry.end() ? RegistryString{} : found->second;
  }
  std::optional<Rect> WorkArea() override {
    calls.push_back("WorkArea");
    return workArea;
  }
  bool AbsolutePathsBeginWithSlash() override { return slashRootedPaths; }
  bool PathExists(const std::u16string& path) override {
    calls.push_back("PathExists " + Narrow(path));
    return existingPaths.count(path) > 0;
  }
  std::optional<std::u16string> FullPath(const std::u16string& path) override {
    calls.push_back("FullPath " + Narrow(path));
    return path.starts_with(u"/") ? path : currentDirectory + u"/" + path;
  }

  std::optional<uint32_t> ReadRegistryDword(RegistryRoot, const std::u16string& subkey,
                                            const std::u16string& valueName) override {
    calls.push_back("ReadRegistryDword " + Narrow(subkey) + " " + Narrow(valueName));
    return appliedDpi;
  }
  ScreenSize PrimaryScreenSize() override {
    calls.push_back("PrimaryScreenSize");
    return screen;
  }
  WindowHandle CreateMainWindow(const std::u16string& title, const WindowPlacement& placement) override {
    calls.push_back("CreateMainWindow " + Narrow(title));
    createdWindows.push_back(placement);
    windowTitles.push_back(title);
    return windowToCreate;
  }
  void SetWindowIcon(WindowHandle, IconHandle) override { calls.push_back("SetWindowIcon"); }
  void ShowMainWindow(WindowHandle, bool maximized) override {
    calls.push_back(maximized ? "ShowMainWindow maximized" : "ShowMainWindow");
  }
  void DestroyMainWindow(WindowHandle) override { calls.push_back("DestroyMainWindow"); }
  Rect ClientRect(WindowHandle) override {
    calls.push_back("ClientRect");
    return Rect{0, 0, 800, 600};
  }
  void StartTimer(WindowHandle, uint32_t id, uint32_t periodMs) override {
    calls.push_back("StartTimer " + std::to_string(id) + " " + std::to_string(periodMs));
  }
  void StopTimer(WindowHandle, uint32_t id) override { calls.push_back("StopTimer " + std::to_string(id)); }
  void RunMessageLoop() override {
    calls.push_back("RunMessageLoop");
    if (whileLooping) whileLooping();
  }
  void QuitMessageLoop() override { calls.push_back("QuitMessageLoop"); }
  bool WatchFile(WindowHandle, const std::u16string& path) override {
    calls.push_back("WatchFile " + Narrow(path));
    return true;
  }
  std::optional<IconLocation> StartupShortcutIconLocation() override {
    calls.push_back("StartupShortcutIconLocation");
    return shortcutIcon;
  }
  std::optional<IconLocation> ProgramIconLocation() override {
    calls.push_back("ProgramIconLocation");
    return programIcon;
  }
  std::u16string ExpandEnvironmentVariables(const std::u16string& text) override {
    calls.push_back("ExpandEnvironmentVariables " + Narrow(text));
    std::u16string out = text;
    const std::u16string root = u"%SystemRoot%";
    if (out.starts_with(root)) out.replace(0, root.size(), u"C:\\Windows");
    return out;
  }
  IconHandle ExtractIconFrom(const std::u16string& path, int32_t index) override {
    calls.push_back("ExtractIconFrom " + Narrow(path) + "," + std::to_string(index));
    return iconFiles.count(path) > 0 ? kIcon : nullptr;
  }
  void FreeIcon(IconHandle) override { calls.push_back("FreeIcon"); }
  FileContents ReadWholeFile(const std::u16string& path, bool shareWithWriters) override {
    calls.push_back("ReadWholeFile " + Narrow(path) + (shareWithWriters ? " shared" : ""));
    auto found = files.find(path);
    return found == files.end() ? FileContents{} : found->second;
  }
  std::optional<uint64_t> FileWriteTime(const std::u16string& path) override {
    calls.push_back("FileWriteTime " + Narrow(path));
    auto found = writeTimes.find(path);
    if (found == writeTimes.end()) return std::nullopt;
    return found->second;
  }
  void DeleteFileAt(const std::u16string& path) override { calls.push_back("DeleteFileAt " + Narrow(path)); }
  // Latin-1 stands in for the ANSI code page: each byte one unit.
  std::u16string ConvertAnsiText(const std::string& bytes) override {
    calls.push_back("ConvertAnsiText");
    std::u16string out;
    for (char c : bytes) out += static_cast<char16_t>(static_cast<unsigned char>(c));
    return out;
  }
  std::u16string UserDataFolderPath(KnownFolder where) override {
    calls.push_back(where == KnownFolder::LocalAppData ? "UserDataFolderPath LocalAppData" : "UserDataFolderPath Temp");
    return where == KnownFolder::LocalAppData ? u"C:\\Users\\u\\AppData\\Local\\vistrel.exe.WebView2"
                                              : u"C:\\Temp\\vistrel.exe.WebView2";
  }
  bool DataFolderInUse(const std::u16string& folder) override {
    calls.push_back("DataFolderInUse " + Narrow(folder));
    return dataFolderInUse;
  }
  bool DeleteFolderTree(const std::u16string& folder) override {
    calls.push_back("DeleteFolderTree " + Narrow(folder));
    if (deleteFailures != 0) {
      if (deleteFailures > 0) --deleteFailures;
      return false;
    }
    existingPaths.erase(folder);
    return true;
  }
  void WaitForProcessExit(uint32_t processId, uint32_t timeoutMs) override {
    calls.push_back("WaitForProcessExit " + std::to_string(processId) + " " + std::to_string(timeoutMs));
  }
  void Pause(uint32_t milliseconds) override { calls.push_back("Pause " + std::to_string(milliseconds)); }

  HRESULT CreateWebViewEnvironment(const std::u16string& userDataFolder,
                                   ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) override {
    calls.push_back("CreateWebViewEnvironment " + Narrow(userDataFolder));
    if (handler != nullptr) environmentHandler = RuntimeRef<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler>::Share(handler);
    return S_OK;
  }
  void OpenWithDefaultHandler(const std::u16string& address) override {
    calls.push_back("OpenWithDefaultHandler " + Narrow(address));
    handedOver.push_back(address);
  }
  bool IsKeyDown(uint32_t virtualKey) override { return keysDown.count(virtualKey) > 0; }
  void SendFatalMessage(WindowHandle, const std::u16string& text) override {
    calls.push_back("SendFatalMessage");
    fatalMessages.push_back(text);
  }
  void PostFatalMessage(WindowHandle, const std::u16string* text) override {
    calls.push_back("PostFatalMessage");
    postedMessages.push_back(text);
  }
  void SetWindowTitle(WindowHandle, const std::u16string& title) override {
    calls.push_back("SetWindowTitle " + Narrow(title));
    titles.push_back(title);
  }

  void SetRuntime(RegistryRoot root, RegistryString value) {
    const std::u16string key = root == RegistryRoot::LocalMachine
                                   ? u"SOFTWARE\\WOW6432Node\\Microsoft\\EdgeUpdate\\Clients\\"
                                     u"{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}"
                                   : u"Software\\Microsoft\\EdgeUpdate\\Clients\\"
                                     u"{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";
    registry[{root, key + u"|pv"}] = std::move(value);
  }
};

inline RegistryString Value(std::u16string text) {
  return {RegistryString::State::Present, std::move(text)};
}

// Process-wide records back to their start values between cases.
inline void ResetProgramState() {
  options = Options{};
  hostState = HostStateRecord{};
  workArea = Rect{};
  languageIndex = kJapanese;
}

}  // namespace vistrel::fakes
