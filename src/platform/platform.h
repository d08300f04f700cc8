// The seam between the program's decisions and the operating system.
//
// Everything the core asks of the OS goes through the one installed Platform.
// Each operation is as thin as the OS call it stands for; the Win32 build
// implements them with the calls of the same name, the GTK build with their
// Linux counterparts, and the unit tests with a fake that records calls.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vistrel {

// A top-level window; nullptr means "no window" (an unowned box).
using WindowHandle = void*;

struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

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

  // Display
  virtual std::optional<Rect> WorkArea() = 0;

  // Files
  virtual bool PathExists(const std::u16string& path) = 0;
  // The absolute form of a path, of any length; nullopt when it cannot be formed.
  virtual std::optional<std::u16string> FullPath(const std::u16string& path) = 0;
};

// The one installed platform. main() installs the real one, tests a fake.
Platform& CurrentPlatform();
void InstallPlatform(Platform* platform);

}  // namespace vistrel
