// The command line: the Options record and the parser that fills it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/catalog.h"
#include "platform/platform.h"

namespace vistrel {

struct Options {
  bool noBrowsingLimit = false;  // /a
  bool keepData = false;         // /d, /d:name
  std::u16string profileName;    // /d:name
  bool fixedSize = false;        // /f
  bool iconGiven = false;        // /i
  std::u16string iconFile;
  int32_t iconIndex = 0;
  bool fullScreen = false;         // /k
  bool htmlFromFile = false;       // /l
  bool htmlUnicode = false;        // /l u
  bool deleteHtmlFile = false;     // /l d
  bool reflectFileUpdate = false;  // /l s
  bool mute = false;               // /m; afterwards the current muting state
  bool privateMode = false;        // /p
  bool sizeGiven = false;          // /s, /sp
  bool positionGiven = false;      // /sp
  int32_t width = 0;
  int32_t height = 0;
  int32_t x = 0;
  int32_t y = 0;
  bool limitUI = false;     // /u
  bool adjustZoom = false;  // /z
  std::u16string title;
  std::u16string address;       // as typed
  std::u16string startAddress;  // what the first navigation opens
};

// The process's options, filled once by the entry sequence.
extern Options options;
// The primary desktop work area, read once before parsing.
extern Rect workArea;

// Why a command line was refused: a catalog entry, shown alone when the
// subject is empty, otherwise after the subject.
struct Refusal {
  std::u16string subject;
  MessageId message = MsgParameterInvalid;
  std::u16string Text() const;
};

struct ParseResult {
  Options options;
  std::optional<Refusal> refusal;  // set when the command line is refused
};

// Where "/" separates folders and begins absolute paths: answers whether an
// argument names an existing file or folder. Empty where "/" is no part of a
// path's grammar (Windows).
using RootedPathTest = std::function<bool(const std::u16string&)>;

// Reads the arguments (without the program name) against the work area.
// Pure: the address is not looked up on disk (see ResolveStartAddress). With
// a pathTest, an argument that is no switch and names an existing file or
// folder is a positional argument rather than a refused switch, and an HTML
// file's name may hold "/".
ParseResult ParseCommandLine(const std::vector<std::u16string>& arguments, const Rect& area,
                             const RootedPathTest& pathTest = {});

// The rooted-path test for this platform: empty where "/" cannot begin an
// absolute path.
RootedPathTest PlatformRootedPathTest();

// Without /l: the absolute path when the address names an existing file or
// folder, otherwise the address unchanged.
std::u16string ResolveStartAddress(const std::u16string& address);

// _wtoi: optional leading "-", decimal digits, clamped to the 32-bit range;
// conversion stops at the first other character.
int32_t ConvertDecimal(std::u16string_view text);

}  // namespace vistrel
