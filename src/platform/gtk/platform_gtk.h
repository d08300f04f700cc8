// The OS services of the seam on Linux: GTK 3 for boxes, fonts, the display
// and the window, GLib and POSIX for text, files and processes, WebKitGTK
// standing in for the runtime.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "seam/platform.h"

// GIO's, declared here so that this header needs none of GLib's.
typedef struct _GFileMonitor GFileMonitor;
typedef struct _GFile GFile;

typedef struct _GtkWidget GtkWidget;

namespace vistrel {

class GtkPlatform : public Platform {
 public:
  // arguments: argv as the program received it, before GTK saw it.
  // hasDisplay: whether GTK could open a display; without one, boxes go to
  // stderr so that a run without a desktop still explains itself.
  GtkPlatform(std::vector<std::string> arguments, bool hasDisplay);
  ~GtkPlatform() override;
  GtkPlatform(const GtkPlatform&) = delete;
  GtkPlatform& operator=(const GtkPlatform&) = delete;

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
  bool WatchFile(WindowHandle window, const std::u16string& path) override;

  std::optional<IconLocation> StartupShortcutIconLocation() override;
  std::optional<IconLocation> ProgramIconLocation() override;
  std::u16string ExpandEnvironmentVariables(const std::u16string& text) override;
  IconHandle ExtractIconFrom(const std::u16string& path, int32_t index) override;
  void FreeIcon(IconHandle icon) override;

  bool AbsolutePathsBeginWithSlash() override { return true; }
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

  // Whether the handle names a main window that has not been destroyed: a
  // handle may outlive its window, as an HWND does.
  bool IsLiveWindow(WindowHandle window) const;

  // Linux has no runtime lock file: while its web engine uses the data
  // folder, every running copy holds a shared lock on a file inside it, and
  // DataFolderInUse looks for the locks of others. Creates the folder when
  // needed; false when the lock could not be taken.
  bool HoldDataFolderLock(const std::u16string& folder);

  // The lock file's name inside the data folder.
  static constexpr char kDataFolderLockName[] = "lockfile";

 private:
  int ShowBox(WindowHandle owner, const std::string& text, const std::string& caption, uint32_t style);
  void ReleaseDataFolderLock();
  // A destroyed window takes its timers with it, as on Windows.
  void DropTimersOf(WindowHandle window);
  // A signal that asks the program to end closes its window as the user would.
  void CloseOnSignal();
  static void OnWindowDestroy(GtkWidget* widget, void* platform);
  static void OnFolderChanged(GFileMonitor* monitor, GFile* file, GFile* other, int event, void* platform);

  std::vector<std::string> arguments_;
  bool hasDisplay_;
  // GLib timeout sources by window and timer id.
  std::map<std::pair<WindowHandle, uint32_t>, unsigned int> timers_;
  std::set<WindowHandle> liveWindows_;
  // The folder of the file a window follows, the file's name and the window;
  // it goes with the window.
  GFileMonitor* fileMonitor_ = nullptr;
  WindowHandle watchingWindow_ = nullptr;
  std::string watchedName_;
  // A quit asked for before the loop runs ends the loop as soon as it starts.
  bool quitPending_ = false;
  int dataFolderLock_ = -1;
  std::u16string lockedFolder_;
};

}  // namespace vistrel
