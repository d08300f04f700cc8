// The seam implemented with Win32: each operation is the Windows call of the
// same purpose, with strings passed across as UTF-16 (wchar_t on Windows).
#pragma once

#include <windows.h>

#include "platform/platform.h"

namespace vistrel {

class Win32Platform final : public Platform {
 public:
  Win32Platform(HINSTANCE instance, int showCommand) : instance_(instance), showCommand_(showCommand) {}

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

  std::optional<Rect> WorkArea() override;

  bool PathExists(const std::u16string& path) override;
  std::optional<std::u16string> FullPath(const std::u16string& path) override;

 private:
  HINSTANCE instance_;
  int showCommand_;
};

}  // namespace vistrel
