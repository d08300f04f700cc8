// The HTML file of /l: tested and read at start, read again on changes.
#pragma once

#include <string>

namespace vistrel {

// Reads the file into hostState.htmlText (emptied first). On failure shows
// "<path> - File was not able to open." and returns false.
bool LoadHtmlFile(const std::u16string& path);

// Before the window exists: the file must exist and be readable; with /ls its
// write time is recorded. Returns false after showing the refusal.
bool PrepareHtmlFile();

}  // namespace vistrel
