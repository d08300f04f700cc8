// The seam between the program's decisions and the operating system.
//
// Everything the core asks of the OS goes through the one installed Platform.
// Each operation is as thin as the OS call it stands for; the Win32 build
// implements them with the calls of the same name, the GTK build with their
// Linux counterparts, and the unit tests with a fake that records calls.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/geometry.h"
#include "runtime/runtime.h"

namespace vistrel {

// A top-level window; nullptr means "no window" (an unowned box).
using WindowHandle = void*;

// Message box styles and answers, with the Windows values.
inline constexpr uint32_t kBoxPlain = 0;      // MB_OK
inline constexpr uint32_t kBoxYesNo = 4;      // MB_YESNO
inline constexpr uint32_t kBoxWarning = 48;   // MB_ICONWARNING | MB_OK
inline constexpr int kAnswerOk = 1;           // IDOK
inline constexpr int kAnswerYes = 6;          // IDYES
inline constexpr int kAnswerNo = 7;           // IDNO

enum class RegistryRoot { LocalMachine, CurrentUser };

// Result of reading a REG_SZ value: the size query failed (Absent), the size
// query answered but the value could not be read (Unreadable), or the text.
struct RegistryString {
  enum class State { Absent, Unreadable, Present };
  State state = State::Absent;
  std::u16string text;
};

// Widths in the message-box font: a piece of text in whole logical units and
// one blank as a fraction, as the font reports them.
struct MessageFontWidths {
  int32_t pieceWidth = 0;
  float spaceWidth = 0.0f;
};

// Icons: an opaque icon; nullptr means none.
using IconHandle = void*;

struct IconLocation {
  std::u16string path;
  int32_t index = 0;
};

// A whole file as bytes, or why it could not be had.
struct FileContents {
  enum class Status { Read, OpenFailed, ReadFailed };
  Status status = Status::OpenFailed;
  std::string bytes;
};

enum class KnownFolder { LocalAppData, Temp };

class Platform {
 public:
  virtual ~Platform() = default;

  // Start-up
  virtual uint16_t UserInterfaceLanguage() = 0;  // a Windows LANGID
  // The process command line split into arguments; element 0 is the program.
  // A command line that cannot be split gives an empty list.
  virtual std::vector<std::u16string> CommandLineArguments() = 0;

  // Message boxes (modal; return the answer)
  virtual int ShowMessageBox(WindowHandle owner, const std::u16string& text,
                             const std::u16string& caption, uint32_t style) = 0;
  // The narrow-character box of the version banner.
  virtual void ShowNarrowMessageBox(const std::string& text, const std::string& caption) = 0;
  virtual MessageFontWidths MeasureMessageFont(const std::u16string& piece) = 0;

  // Registry-style configuration values
  virtual RegistryString ReadRegistryString(RegistryRoot root, const std::u16string& subkey,
                                            const std::u16string& valueName) = 0;
  // A REG_DWORD value; nullopt when it cannot be read.
  virtual std::optional<uint32_t> ReadRegistryDword(RegistryRoot root, const std::u16string& subkey,
                                                    const std::u16string& valueName) = 0;

  // Display
  virtual std::optional<Rect> WorkArea() = 0;
  virtual ScreenSize PrimaryScreenSize() = 0;

  // The main window. Creation registers the window class "vistrel" and
  // delivers the creation message (OnMainWindowCreate) before it returns.
  virtual WindowHandle CreateMainWindow(const std::u16string& title, const WindowPlacement& placement) = 0;
  virtual void SetWindowIcon(WindowHandle window, IconHandle icon) = 0;
  // Maximised, or with the show command the process was started with.
  virtual void ShowMainWindow(WindowHandle window, bool maximized) = 0;
  virtual void DestroyMainWindow(WindowHandle window) = 0;
  virtual Rect ClientRect(WindowHandle window) = 0;
  // Whether the window is the active one, the one the keyboard goes to.
  virtual bool IsActiveWindow(WindowHandle window) = 0;
  // Moves and sizes the window to the rectangle, in screen coordinates.
  virtual void MoveWindowTo(WindowHandle window, const Rect& rect) = 0;
  virtual void StartTimer(WindowHandle window, uint32_t id, uint32_t periodMs) = 0;
  virtual void StopTimer(WindowHandle window, uint32_t id) = 0;
  // Tells the window (OnMainWindowFileChanged) from the message loop when the
  // file may have changed: written, replaced, renamed or removed. False where
  // the file system gives no such notice or cannot be relied on to (a network
  // share): the caller then has to look for itself.
  virtual bool WatchFile(WindowHandle window, const std::u16string& path) = 0;
  // Delivers messages until QuitMessageLoop.
  virtual void RunMessageLoop() = 0;
  virtual void QuitMessageLoop() = 0;

  // Icons
  // The icon location of the shortcut the program was started from; nullopt
  // when it was not started from one.
  virtual std::optional<IconLocation> StartupShortcutIconLocation() = 0;
  // The program's own icon (the program file's first icon on Windows, the
  // installed icon on Linux); nullopt where there is none to be had.
  virtual std::optional<IconLocation> ProgramIconLocation() = 0;
  virtual std::u16string ExpandEnvironmentVariables(const std::u16string& text) = 0;
  virtual IconHandle ExtractIconFrom(const std::u16string& path, int32_t index) = 0;
  virtual void FreeIcon(IconHandle icon) = 0;

  // Files
  // Whether an absolute path begins with "/", so that an argument such as
  // /home/u/page.html can name a file rather than a switch.
  virtual bool AbsolutePathsBeginWithSlash() = 0;
  virtual bool PathExists(const std::u16string& path) = 0;
  // The absolute form of a path, of any length; nullopt when it cannot be formed.
  virtual std::optional<std::u16string> FullPath(const std::u16string& path) = 0;
  // With shareWithWriters others may write the file while it is read.
  virtual FileContents ReadWholeFile(const std::u16string& path, bool shareWithWriters) = 0;
  // Last-write time in 100 ns units; nullopt when the file cannot be reached.
  virtual std::optional<uint64_t> FileWriteTime(const std::u16string& path) = 0;
  virtual void DeleteFileAt(const std::u16string& path) = 0;
  // Bytes in the system's ANSI code page (the locale's character set).
  virtual std::u16string ConvertAnsiText(const std::string& bytes) = 0;

  // Browsing data and the browser process
  // The web runtime's data folder for this program inside a known folder.
  virtual std::u16string UserDataFolderPath(KnownFolder where) = 0;
  // True while another running copy's browser uses the folder.
  virtual bool DataFolderInUse(const std::u16string& folder) = 0;
  // Deletes the folder and everything in it; true on success.
  virtual bool DeleteFolderTree(const std::u16string& folder) = 0;
  // Waits at most that long for the process to end; returns at once when it
  // cannot be opened.
  virtual void WaitForProcessExit(uint32_t processId, uint32_t timeoutMs) = 0;
  virtual void Pause(uint32_t milliseconds) = 0;

  // The web runtime and what its pages hand over
  // Asks the installed runtime for an environment whose browsing data lives
  // in the folder; the handler is called from the message loop.
  virtual HRESULT CreateWebViewEnvironment(const std::u16string& userDataFolder,
                                           ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) = 0;
  // A stream over a copy of the bytes, with one reference for the caller;
  // nullptr where none can be made.
  virtual IStream* CreateMemoryStream(const std::string& bytes) = 0;
  // The system's default handler for the address opens it ("open").
  virtual void OpenWithDefaultHandler(const std::u16string& address) = 0;
  // Whether the key (a Windows virtual-key code) is down now.
  virtual bool IsKeyDown(uint32_t virtualKey) = 0;
  // Runs the work from the message loop once the event being handled has
  // returned, if the window still exists then. The runtime does not allow a
  // box, a question or the shell inside its event handlers.
  virtual void PostToWindow(WindowHandle window, std::function<void()> work) = 0;
  virtual void SetWindowTitle(WindowHandle window, const std::u16string& title) = 0;
};

// The one installed platform. main() installs the real one, tests a fake.
Platform& CurrentPlatform();
void InstallPlatform(Platform* platform);

}  // namespace vistrel
