// The text of an HTML file as the Windows runtime library's text-mode reads
// deliver it, so that both programs show a file alike: CR LF pairs arrive as
// LF, the file comes in pieces of at most 1023 units that end after a line
// feed, and a NUL drops the rest of its piece.
#pragma once

#include <string>
#include <string_view>

namespace vistrel {

inline constexpr size_t kReadPieceUnits = 1023;

// Read as Unicode: a UTF-8 byte-order mark selects UTF-8, a UTF-16LE mark or
// no mark UTF-16LE; the mark is dropped. Malformed UTF-8 becomes U+FFFD and an
// odd last byte of UTF-16 is dropped.
std::u16string DecodeUnicodeText(std::string_view bytes);

// Read as ANSI: the bytes that reach the code-page conversion. They are
// converted as a whole afterwards, so no character is split between pieces.
std::string KeepAnsiBytes(std::string_view bytes);

}  // namespace vistrel
