// A platform that answers from fields set by the test and records every call
// in order, so a test can see exactly what the program asked of the OS.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/catalog.h"
#include "app/options.h"
#include "platform/platform.h"

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
  std::u16string currentDirectory = u"/home/u";
  int answer = kAnswerOk;

  std::vector<std::string> calls;
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
  bool PathExists(const std::u16string& path) override {
    calls.push_back("PathExists " + Narrow(path));
    return existingPaths.count(path) > 0;
  }
  std::optional<std::u16string> FullPath(const std::u16string& path) override {
    calls.push_back("FullPath " + Narrow(path));
    return path.starts_with(u"/") ? path : currentDirectory + u"/" + path;
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
  workArea = Rect{};
  languageIndex = kJapanese;
}

}  // namespace vistrel::fakes
