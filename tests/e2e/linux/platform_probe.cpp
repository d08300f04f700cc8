// Calls one operation of the GTK side of the seam and prints its answer as
// one line of JSON, for the answers that no window or box shows. run_tests.py
// holds the cases and what each must answer.
//
//   vistrel-platform-probe dword HKCU|HKLM SUBKEY VALUE   -> number or null
//   vistrel-platform-probe screen                         -> {"screen":[w,h],"workArea":[l,t,r,b]}
//   vistrel-platform-probe expand TEXT                    -> string
//   vistrel-platform-probe icon PATH INDEX                -> {"width","height","pixel":[r,g,b,a]} or null
//   vistrel-platform-probe read PATH                      -> {"status","hex"}
//   vistrel-platform-probe write-time PATH                -> number or null
//   vistrel-platform-probe ansi HEX                       -> [UTF-16 code units]
//   vistrel-platform-probe data-folder local|temp         -> string
//   vistrel-platform-probe in-use FOLDER                  -> bool
//   vistrel-platform-probe hold-lock FOLDER [test]        -> {"held"[,"inUseAfter"]}, then waits for stdin to close
//   vistrel-platform-probe delete-tree FOLDER             -> bool
//   vistrel-platform-probe wait PID MS                    -> true once the wait has returned
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtk/gtk.h>

#include <clocale>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "platform/gtk/platform_gtk.h"
#include "platform/gtk/text_gtk.h"

namespace {

using vistrel::GtkPlatform;
using vistrel::RegistryRoot;

std::string Json(const std::u16string& text) {
  std::string out = "\"";
  for (char16_t unit : text) {
    if (unit >= 0x20 && unit < 0x7F && unit != u'"' && unit != u'\\') {
      out += static_cast<char>(unit);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(unit));
      out += escaped;
    }
  }
  return out + "\"";
}

std::string Json(bool value) { return value ? "true" : "false"; }

std::u16string Wide(const char* argument) { return vistrel::gtk::Utf16FromUtf8(argument); }

std::string Hex(const std::string& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char byte : bytes) {
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
  }
  return out;
}

std::string Bytes(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return out;
}

std::string Icon(GtkPlatform& platform, const char* path, const char* index) {
  vistrel::IconHandle icon = platform.ExtractIconFrom(Wide(path), std::stoi(index));
  if (icon == nullptr) return "null";
  GdkPixbuf* pixbuf = GDK_PIXBUF(icon);
  const int width = gdk_pixbuf_get_width(pixbuf);
  const int height = gdk_pixbuf_get_height(pixbuf);
  const int channels = gdk_pixbuf_get_n_channels(pixbuf);
  const guchar* first = gdk_pixbuf_read_pixels(pixbuf);
  std::string pixel = "[";
  for (int c = 0; c < 4; ++c) {
    if (c > 0) pixel += ",";
    pixel += std::to_string(c < channels ? first[c] : 255);
  }
  platform.FreeIcon(icon);
  return "{\"width\":" + std::to_string(width) + ",\"height\":" + std::to_string(height) +
         ",\"pixel\":" + pixel + "]}";
}

std::string Read(GtkPlatform& platform, const char* path) {
  const vistrel::FileContents file = platform.ReadWholeFile(Wide(path), false);
  const char* status = file.status == vistrel::FileContents::Status::Read         ? "Read"
                       : file.status == vistrel::FileContents::Status::OpenFailed ? "OpenFailed"
                                                                                   : "ReadFailed";
  return std::string("{\"status\":\"") + status + "\",\"hex\":\"" + Hex(file.bytes) + "\"}";
}

std::string Ansi(GtkPlatform& platform, const char* hex) {
  const std::u16string text = platform.ConvertAnsiText(Bytes(hex));
  std::string out = "[";
  for (size_t i = 0; i < text.size(); ++i) {
    if (i > 0) out += ",";
    out += std::to_string(static_cast<unsigned>(text[i]));
  }
  return out + "]";
}

// Holds the lock until whoever started the probe closes its input.
int HoldLock(GtkPlatform& platform, const char* folder, bool test) {
  std::string answer = "{\"held\":" + Json(platform.HoldDataFolderLock(Wide(folder)));
  if (test) answer += ",\"inUseAfter\":" + Json(platform.DataFolderInUse(Wide(folder)));
  std::cout << answer << "}" << std::endl;
  std::string line;
  while (std::getline(std::cin, line)) {
  }
  return 0;
}

int Usage() {
  std::cerr << "usage: vistrel-platform-probe OPERATION ARGUMENTS...\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  const bool hasDisplay = gtk_init_check(nullptr, nullptr) != FALSE;
  GtkPlatform platform(std::vector<std::string>(argv, argv + argc), hasDisplay);
  if (argc < 2) return Usage();
  const std::string operation = argv[1];
  const int count = argc - 2;
  std::string answer;
  if (operation == "dword" && count == 3) {
    const RegistryRoot root = std::string(argv[2]) == "HKLM" ? RegistryRoot::LocalMachine : RegistryRoot::CurrentUser;
    const std::optional<uint32_t> value = platform.ReadRegistryDword(root, Wide(argv[3]), Wide(argv[4]));
    answer = value ? std::to_string(*value) : "null";
  } else if (operation == "screen" && count == 0) {
    const vistrel::ScreenSize screen = platform.PrimaryScreenSize();
    const vistrel::Rect area = platform.WorkArea().value_or(vistrel::Rect{-1, -1, -1, -1});
    answer = "{\"screen\":[" + std::to_string(screen.width) + "," + std::to_string(screen.height) +
             "],\"workArea\":[" + std::to_string(area.left) + "," + std::to_string(area.top) + "," +
             std::to_string(area.right) + "," + std::to_string(area.bottom) + "]}";
  } else if (operation == "expand" && count == 1) {
    answer = Json(platform.ExpandEnvironmentVariables(Wide(argv[2])));
  } else if (operation == "icon" && count == 2) {
    answer = Icon(platform, argv[2], argv[3]);
  } else if (operation == "read" && count == 1) {
    answer = Read(platform, argv[2]);
  } else if (operation == "write-time" && count == 1) {
    const std::optional<uint64_t> time = platform.FileWriteTime(Wide(argv[2]));
    answer = time ? std::to_string(*time) : "null";
  } else if (operation == "ansi" && count == 1) {
    answer = Ansi(platform, argv[2]);
  } else if (operation == "data-folder" && count == 1) {
    const bool local = std::string(argv[2]) == "local";
    answer = Json(platform.UserDataFolderPath(local ? vistrel::KnownFolder::LocalAppData : vistrel::KnownFolder::Temp));
  } else if (operation == "in-use" && count == 1) {
    answer = Json(platform.DataFolderInUse(Wide(argv[2])));
  } else if (operation == "hold-lock" && (count == 1 || (count == 2 && std::string(argv[3]) == "test"))) {
    return HoldLock(platform, argv[2], count == 2);
  } else if (operation == "delete-tree" && count == 1) {
    answer = Json(platform.DeleteFolderTree(Wide(argv[2])));
  } else if (operation == "wait" && count == 2) {
    platform.WaitForProcessExit(static_cast<uint32_t>(std::stoul(argv[2])),
                                static_cast<uint32_t>(std::stoul(argv[3])));
    answer = "true";
  } else {
    return Usage();
  }
  std::cout << answer << std::endl;
  return 0;
}
