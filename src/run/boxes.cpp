#include "run/boxes.h"

#include "base/catalog.h"
#include "rules/usage_layout.h"
#include "seam/platform.h"

namespace vistrel {

void ShowCatalogMessage(std::u16string text, bool warning) {
  CurrentPlatform().ShowMessageBox(nullptr, text, std::u16string(kProgramTitle),
                                   warning ? kBoxWarning : kBoxPlain);
}

void ShowUsage(std::u16string usage) {
  Platform& platform = CurrentPlatform();
  const std::u16string piece(UsagePiece(usage));
  const MessageFontWidths widths = platform.MeasureMessageFont(piece);
  const int spaces = SpacesPerTab(widths.pieceWidth, widths.spaceWidth, piece.size());
  platform.ShowMessageBox(nullptr, ExpandTabs(std::move(usage), spaces), std::u16string(kProgramTitle),
                          kBoxPlain);
}

}  // namespace vistrel
