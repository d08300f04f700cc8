// The seam implemented with Win32: each operation is the Windows call of the
// same purpose, with strings passed across as UTF-16 (wchar_t on Windows).
#pragma once

#include <windows.h>

#include <deque>
#include <string>
#include <vector>

#include "rules/runtime_location.h"
#include "seam/platform.h"

namespace vistrel {

// The libraries the web runtime may come from on this machine, in the order
// they are tried: the program's folder and the runtime's registered folders.
std::vector<RuntimeLibrary> WebViewRuntimeLibraries();

class Win32Platform final : public Platform {
 public:
  Win32Platform(HINSTANCE instance, int showCommand) : instance_(instance), showCommand_(showCommand) {}
  ~Win32Platform() override {
    if (folderChange_ != INVALID_HANDLE_VALUE) FindCloseChangeNotification(folderChange_);
  }
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

  // What wWinMain was given; window creation and showing need them.
  HINSTANCE Instance() const { return instance_; }
  int ShowCommand() const { return showCommand_; }

  uint16_t UserInterfaceLanguage() override;
  std::vector<std::u16string> CommandLineArguments() override;

  int ShowMessageBox(WindowHandle owner, const std::u16string& text, const std::u16string& caption,
                     uint32_t style) override;
  void ShowNarrowMessageBox(const std::string& text, const std::string& caption) override;
  MessageFontWidths MeasureMessageFont(const std::u16string& piece) override;

  RegistryString ReadRegistryString(RegistryRoot root, const std::u16string& subkey,
                                    const std::u16string& valueName) override;
  std::optional<uint32_t> ReadRegistryDword(RegistryRoot root, const std::u16string& subkey,
                                            const std::u16string& valueName) override;

  std::optional<Rect> WorkArea() override;
  ScreenSize PrimaryScreenSize() override;

  WindowHandle CreateMainWindow(const std::u16string& title, const WindowPlacement& placement) override;
  void SetWindowIcon(WindowHandle window, IconHandle icon) override;
  void ShowMainWindow(WindowHandle window, bool maximized) override;
  void DestroyMainWindow(WindowHandle window) override;
  Rect ClientRect(WindowHandle window) override;
  bool IsActiveWindow(WindowHandle window) override;
  void MoveWindowTo(WindowHandle window, const Rect& rect) override;
  void StartTimer(WindowHandle window, uint32_t id, uint32_t periodMs) override;
  void StopTimer(WindowHandle window, uint32_t id) override;
  void RunMessageLoop() override;
  void QuitMessageLoop() override;

  std::optional<IconLocation> StartupShortcutIconLocation() override;
  std::optional<IconLocation> ProgramIconLocation() override;
  std::u16string ExpandEnvironmentVariables(const std::u16string& text) override;
  IconHandle ExtractIconFrom(const std::u16string& path, int32_t index) override;
  void FreeIcon(IconHandle icon) override;

  bool AbsolutePathsBeginWithSlash() override { return false; }
  bool PathExists(const std::u16string& path) override;
  std::optional<std::u16string> FullPath(const std::u16string& path) override;
  FileContents ReadWholeFile(const std::u16string& path, bool shareWithWriters) override;
  std::optional<uint64_t> FileWriteTime(const std::u16string& path) override;
  void DeleteFileAt(const std::u16string& path) override;
  std::u16string ConvertAnsiText(const std::string& bytes) override;

  std::u16string UserDataFolderPath(KnownFolder where) override;
  bool DataFolderInUse(const std::u16string& folder) override;
  bool DeleteFolderTree(const std::u16string& folder) override;
  void WaitForProcessExit(uint32_t processId, uint32_t timeoutMs) override;
  void Pause(uint32_t milliseconds) override;

  HRESULT CreateWebViewEnvironment(const std::u16string& userDataFolder,
                                   ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) override;
  IStream* CreateMemoryStream(const std::string& bytes) override;
  void OpenWithDefaultHandler(const std::u16string& address) override;
  bool IsKeyDown(uint32_t virtualKey) override;
  void PostToWindow(WindowHandle window, std::function<void()> work) override;
  void SetWindowTitle(WindowHandle window, const std::u16string& title) override;
  bool WatchFile(WindowHandle window, const std::u16string& path) override;

 private:
  HINSTANCE instance_;
  int showCommand_;
  // The change notification on the watched file's folder, and the window it tells.
  HANDLE folderChange_ = INVALID_HANDLE_VALUE;
  HWND watchingWindow_ = nullptr;
  // Every data folder given to the runtime: the SDK's loader keeps the pointer and reads it again when it
  // retries a creation that failed, after the call has returned.
  std::deque<std::wstring> dataFolders_;
};

}  // namespace vistrel
