// The command line as the program understands it: the Options record and
// why a command line is refused.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/catalog.h"
#include "base/geometry.h"

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

}  // namespace vistrel
