#include "rules/usage_layout.h"

#include <cmath>


namespace vistrel {

std::u16string_view UsagePiece(std::u16string_view usage) {
  const size_t lineFeed = usage.find(u'\n');
  if (lineFeed == std::u16string_view::npos) return {};
  const size_t start = lineFeed + 2;  // past the empty line
  if (start > usage.size()) return {};
  const size_t blank = usage.find(u' ', start);
  if (blank == std::u16string_view::npos) return {};
  return usage.substr(start, blank - start + 1);
}

int SpacesPerTab(int32_t pieceWidth, float spaceWidth, size_t pieceLength) {
  // Without a usable measurement, take the font to be monospaced.
  if (!(spaceWidth > 0.0f) || pieceWidth <= 0) return static_cast<int>(pieceLength);
  const float ratio = static_cast<float>(pieceWidth) / spaceWidth;
  if (!std::isfinite(ratio) || ratio > 1000.0f) return static_cast<int>(pieceLength);
  return static_cast<int>(ratio);  // truncation toward zero
}

std::u16string ExpandTabs(std::u16string text, int spaces) {
  const std::u16string blanks(static_cast<size_t>(spaces > 0 ? spaces : 0), u' ');
  size_t position = text.find(u'\t');
  while (position != std::u16string::npos) {
    text.replace(position, 1, blanks);
    position = text.find(u'\t', position + blanks.size());
  }
  return text;
}

std::u16string UsageForTerminal(std::u16string usage) {
  const size_t width = UsagePiece(usage).size();
  return ExpandTabs(std::move(usage), static_cast<int>(width));
}

}  // namespace vistrel
