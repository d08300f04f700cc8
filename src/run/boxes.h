// The boxes the program shows before its window exists.
#pragma once

#include <string>

namespace vistrel {

// A box with no owner titled "vistrel": warning style when warning is true.
void ShowCatalogMessage(std::u16string text, bool warning);

// Measures, expands and shows the usage text in a plain box with no owner.
void ShowUsage(std::u16string usage);

}  // namespace vistrel
