// The usage box: the usage text with each tab widened to the width of the
// program name and its blank on the synopsis line, in the message-box font.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vistrel {

// The piece of the synopsis line that option lines are aligned under: from
// the start of the line after the first empty line up to and including the
// first blank ("vistrel "). Empty when the text has no such line.
std::u16string_view UsagePiece(std::u16string_view usage);

// Blanks that span the piece: its width over one blank's, truncated.
int SpacesPerTab(int32_t pieceWidth, float spaceWidth, size_t pieceLength);

// Every tab replaced by the given number of blanks.
std::u16string ExpandTabs(std::u16string text, int spaces);


// The usage text for a terminal, whose font is fixed: each tab as wide as
// the piece it lines up under.
std::u16string UsageForTerminal(std::u16string usage);

}  // namespace vistrel
