#include "rules/command_line.h"

#include <limits>

#include "base/text.h"

namespace vistrel {

namespace {

int32_t ClampToInt32(int64_t value) {
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}



bool Contains(std::u16string_view text, char16_t c) { return text.find(c) != std::u16string_view::npos; }

// A number may hold digits and one "-", and only in front.
bool IsNumberText(std::u16string_view text) {
  for (char16_t c : text) {
    if (c != u'-' && (c < u'0' || c > u'9')) return false;
  }
  const size_t minus = text.find(u'-');
  return minus == std::u16string_view::npos || (minus == 0 && text.find(u'-', 1) == std::u16string_view::npos);
}

constexpr std::u16string_view kProfileNameCharacters =
    u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789#@$()+-_~. ";
constexpr size_t kProfileNameMaxLength = 64;
constexpr int32_t kMinimumWindowExtent = 100;

class Parser {
 public:
  Parser(const std::vector<std::u16string>& arguments, const Rect& area, const RootedPathTest& pathTest)
      : args_(arguments),
        pathTest_(pathTest),
        workArea_(area),
        workAreaWidth_(int64_t{area.right} - area.left),
        workAreaHeight_(int64_t{area.bottom} - area.top) {}

  ParseResult Run() {
    ParseResult result;
    result.refusal = Loop();
    if (!result.refusal) result.refusal = Validate();
    result.options = o_;
    return result;
  }

 private:
  size_t Remaining() const { return args_.size() - next_; }
  const std::u16string& Take() { return args_[next_++]; }

  static std::optional<Refusal> Refuse(std::u16string subject, MessageId id) {
    return Refusal{std::move(subject), id};
  }

  std::optional<Refusal> Loop() {
    while (Remaining() > 0) {
      const std::u16string& token = Take();
      if (token.empty()) return Refuse(u"", MsgEmptyParameter);
      std::optional<Refusal> refusal;
      if (EqualsIgnoringCase(token, u"/a")) {
        o_.noBrowsingLimit = true;
      } else if (StartsWithIgnoringCase(token, u"/d")) {
        refusal = KeepDataSwitch(token);
      } else if (EqualsIgnoringCase(token, u"/f")) {
        o_.fixedSize = true;
      } else if (EqualsIgnoringCase(token, u"/i")) {
        refusal = IconSwitch();
      } else if (EqualsIgnoringCase(token, u"/k")) {
        o_.fullScreen = true;
      } else if (StartsWithIgnoringCase(token, u"/l")) {
        refusal = HtmlFileSwitch(token);
      } else if (EqualsIgnoringCase(token, u"/m")) {
        o_.mute = true;
      } else if (EqualsIgnoringCase(token, u"/p")) {
        o_.privateMode = true;
      } else if (EqualsIgnoringCase(token, u"/s") || EqualsIgnoringCase(token, u"/sp")) {
        refusal = SizeSwitch(token);
      } else if (EqualsIgnoringCase(token, u"/u")) {
        o_.limitUI = true;
      } else if (EqualsIgnoringCase(token, u"/z")) {
        o_.adjustZoom = true;
      } else if (token[0] == u'/' && !(pathTest_ && pathTest_(token))) {
        refusal = Refuse(token, MsgParameterInvalid);
      } else {
        refusal = Positional(token);
      }
      if (refusal) return refusal;
    }
    return std::nullopt;
  }

  std::optional<Refusal> KeepDataSwitch(const std::u16string& token) {
    if (o_.keepData) return Refuse(u"/d", MsgParameterAlreadySpecified);
    if (token.size() == 2) {
      o_.keepData = true;
      return std::nullopt;
    }
    if (token[2] != u':') return Refuse(token, MsgParameterInvalid);
    if (token.size() == 3) return Refuse(u"", MsgProfileNameMissing);
    std::u16string name = token.substr(3);
    if (name.size() > kProfileNameMaxLength) return Refuse(name, MsgProfileNameTooLong);
    for (char16_t c : name) {
      if (!Contains(kProfileNameCharacters, c)) return Refuse(name, MsgProfileNameBadChar);
    }
    if (name.back() == u' ' || name.back() == u'.') return Refuse(name, MsgProfileNameBadEnd);
    o_.profileName = std::move(name);
    o_.keepData = true;
    return std::nullopt;
  }

  std::optional<Refusal> IconSwitch() {
    if (o_.iconGiven) return Refuse(u"/i", MsgParameterAlreadySpecified);
    if (Remaining() < 1) return Refuse(u"", MsgIconFileMissing);
    const std::u16string& value = Take();
    const size_t comma = value.find(u',');
    if (comma == std::u16string::npos) {
      o_.iconFile = value;
      o_.iconIndex = 0;
      o_.iconGiven = true;
      return std::nullopt;
    }
    if (comma == 0 || comma == value.size() - 1 || value.find(u',', comma + 1) != std::u16string::npos) {
      return Refuse(value, MsgIconParameterInvalid);
    }
    o_.iconFile = value.substr(0, comma);
    size_t start = comma + 1;
    if (value[start] == u' ') ++start;  // one blank after the comma, never more
    const std::u16string_view index = std::u16string_view(value).substr(start);
    if (!IsNumberText(index)) return Refuse(value, MsgIconIndexInvalid);
    o_.iconIndex = ConvertDecimal(index);
    if (o_.iconIndex == -1) return Refuse(value, MsgIconIndexInvalid);
    o_.iconGiven = true;
    return std::nullopt;
  }

  std::optional<Refusal> HtmlFileSwitch(const std::u16string& token) {
    if (o_.htmlFromFile) return Refuse(u"/l", MsgParameterAlreadySpecified);
    if (token.size() > 4) return Refuse(token, MsgParameterInvalid);
    if (token.size() == 3) {
      switch (AsciiLower(token[2])) {
        case u'u': o_.htmlUnicode = true; break;
        case u'd': o_.deleteHtmlFile = true; break;
        case u's': o_.reflectFileUpdate = true; break;
        default: return Refuse(token, MsgParameterInvalid);
      }
    } else if (token.size() == 4) {
      if (AsciiLower(token[2]) != u'u') return Refuse(token, MsgParameterInvalid);
      o_.htmlUnicode = true;
      switch (AsciiLower(token[3])) {
        case u'd': o_.deleteHtmlFile = true; break;
        case u's': o_.reflectFileUpdate = true; break;
        default: return Refuse(token, MsgParameterInvalid);
      }
    }
    o_.htmlFromFile = true;
    return std::nullopt;
  }

  // Width or height: 0 means the whole work-area extent, a negative value
  // that much less than it; what is left must be at least 100 pixels.
  std::optional<Refusal> Extent(const std::u16string& text, int64_t workAreaExtent, bool withPosition,
                                MessageId invalid, MessageId tooLarge, int32_t& out) {
    if (!IsNumberText(text)) return Refuse(text, invalid);
    const int32_t v = ConvertDecimal(text);
    if (v >= 1 && v < kMinimumWindowExtent) return Refuse(text, invalid);
    if (v < 0 && v + workAreaExtent < kMinimumWindowExtent) return Refuse(text, invalid);
    if (withPosition) {
      if (v < 0) return Refuse(text, invalid);
      if (v > workAreaExtent) return Refuse(text, tooLarge);
    }
    out = v;
    return std::nullopt;
  }

  // X or Y: a "-" counts from the far edge of the work area.
  std::optional<Refusal> Position(const std::u16string& text, int32_t farEdge, int32_t extent,
                                  int64_t workAreaExtent, MessageId invalid, MessageId tooLarge,
                                  int32_t& out) {
    if (!IsNumberText(text)) return Refuse(text, invalid);
    int64_t value = ConvertDecimal(text);
    if (Contains(text, u'-')) value = value + farEdge - extent;
    if (value < 0 || value + extent > workAreaExtent) return Refuse(text, tooLarge);
    out = ClampToInt32(value);
    return std::nullopt;
  }

  std::optional<Refusal> SizeSwitch(const std::u16string& token) {
    if (o_.sizeGiven) return Refuse(u"/s", MsgParameterAlreadySpecified);
    const bool withPosition = EqualsIgnoringCase(token, u"/sp");
    o_.positionGiven = withPosition;
    if (Remaining() < 2) return Refuse(u"", MsgSizeMissing);
    if (withPosition && Remaining() < 4) return Refuse(u"", MsgPositionMissing);
    if (auto r = Extent(Take(), workAreaWidth_, withPosition, MsgWidthInvalid, MsgWidthTooLarge, o_.width)) {
      return r;
    }
    if (auto r = Extent(Take(), workAreaHeight_, withPosition, MsgHeightInvalid, MsgHeightTooLarge,
                        o_.height)) {
      return r;
    }
    if (withPosition) {
      if (auto r = Position(Take(), workArea_.right, o_.width, workAreaWidth_, MsgXInvalid, MsgXTooLarge,
                            o_.x)) {
        return r;
      }
      if (auto r = Position(Take(), workArea_.bottom, o_.height, workAreaHeight_, MsgYInvalid,
                            MsgYTooLarge, o_.y)) {
        return r;
      }
    }
    o_.sizeGiven = true;
    return std::nullopt;
  }

  std::optional<Refusal> Positional(const std::u16string& token) {
    if (o_.address.empty()) {
      o_.address = token;
    } else if (o_.title.empty()) {
      o_.title = o_.address;
      o_.address = token;
    } else {
      return Refuse(token, MsgParameterInvalid);
    }
    return std::nullopt;
  }

  static int32_t Normalise(int32_t value, int64_t workAreaExtent) {
    return value > 0 ? value : ClampToInt32(value + workAreaExtent);
  }

  std::optional<Refusal> Validate() {
    if (o_.address.empty()) return Refuse(u"", MsgAddressMissing);
    // "/" is refused in a file name only where it cannot separate folders.
    const std::u16string_view refusedInFileName = pathTest_ ? u"<>|\"" : u"<>|/\"";
    if (o_.htmlFromFile && o_.address.find_first_of(refusedInFileName) != std::u16string::npos) {
      return Refuse(u"", MsgFileNameInvalid);
    }
    if (o_.fullScreen && o_.sizeGiven) return Refuse(u"/k /s", MsgParametersConflict);
    if (o_.fullScreen && o_.fixedSize) return Refuse(u"/k /f", MsgParametersConflict);
    if (o_.keepData && o_.privateMode) return Refuse(u"/d /p", MsgParametersConflict);
    if (o_.sizeGiven) {
      o_.width = Normalise(o_.width, workAreaWidth_);
      o_.height = Normalise(o_.height, workAreaHeight_);
    }
    return std::nullopt;
  }

  const std::vector<std::u16string>& args_;
  const RootedPathTest& pathTest_;
  size_t next_ = 0;
  const Rect workArea_;
  const int64_t workAreaWidth_;
  const int64_t workAreaHeight_;
  Options o_;
};

}  // namespace

int32_t ConvertDecimal(std::u16string_view text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
    negative = text[i] == u'-';
    ++i;
  }
  int64_t value = 0;
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = value * 10 + (text[i] - u'0');
    if (value > kLimit) value = kLimit;  // saturate; only the clamp below matters
  }
  return ClampToInt32(negative ? -value : value);
}

ConsoleRequest ConsoleRequestFor(const std::vector<std::u16string>& arguments) {
  if (arguments.size() != 1) return ConsoleRequest::None;
  if (arguments[0] == u"--help") return ConsoleRequest::Help;
  if (arguments[0] == u"--version") return ConsoleRequest::Version;
  return ConsoleRequest::None;
}

bool AsksForPosition(const std::vector<std::u16string>& arguments) {
  for (const std::u16string& argument : arguments) {
    if (EqualsIgnoringCase(argument, u"/sp")) return true;
  }
  return false;
}

ParseResult ParseCommandLine(const std::vector<std::u16string>& arguments, const Rect& area,
                             const RootedPathTest& pathTest) {
  return Parser(arguments, area, pathTest).Run();
}

}  // namespace vistrel
