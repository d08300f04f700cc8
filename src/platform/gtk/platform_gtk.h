// The OS services of the seam on Linux: GTK 3 for boxes, fonts and the
// display, GLib for text and files, WebKitGTK standing in for the runtime.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace vistrel {

class GtkPlatform : public Platform {
 public:
  // arguments: argv as the program received it, before GTK saw it.
  // hasDisplay: whether GTK could open a display; without one, boxes go to
  // stderr so that a run without a desktop still explains itself.
  GtkPlatform(std::vector<std::string> arguments, bool hasDisplay);

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
  int ShowBox(WindowHandle owner, const std::string& text, const std::string& caption, uint32_t style);

  std::vector<std::string> arguments_;
  bool hasDisplay_;
};

}  // namespace vistrel
