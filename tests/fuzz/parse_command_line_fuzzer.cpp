// Feeds arbitrary argument lists to the parser. Input: UTF-16 code units
// (two bytes each, little-endian), arguments separated by U+000A, so empty
// arguments, NULs and unpaired surrogates all reach it.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "base/catalog.h"
#include "rules/command_line.h"
#include "rules/usage_layout.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

void ParseAgainst(const std::vector<std::u16string>& arguments, const vistrel::Rect& area, bool ordinary) {
  const vistrel::ParseResult result = vistrel::ParseCommandLine(arguments, area);
  if (result.refusal) {
    const std::u16string text = result.refusal->Text();
    Check(!text.empty());
    return;
  }
  const vistrel::Options& o = result.options;
  Check(!o.address.empty());
  Check(!(o.keepData && o.privateMode));
  Check(!(o.fullScreen && (o.sizeGiven || o.fixedSize)));
  Check(o.profileName.size() <= 64);
  Check(!o.iconGiven || o.iconIndex != -1);
  if (ordinary && o.sizeGiven) {
    // After normalisation a window is never smaller than 100 pixels.
    Check(o.width >= 100 && o.height >= 100);
    if (o.positionGiven) Check(o.x >= 0 && o.y >= 0 && o.x <= 1920 && o.y <= 1040);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::u16string> arguments(1);
  for (size_t i = 0; i + 1 < size; i += 2) {
    const char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (unit == u'\n') {
      arguments.emplace_back();
    } else {
      arguments.back() += unit;
    }
  }
  if (size < 2) arguments.clear();

  vistrel::languageIndex = size % 2 == 0 ? vistrel::kEnglish : vistrel::kJapanese;
  ParseAgainst(arguments, vistrel::Rect{0, 0, 1920, 1040}, true);
  ParseAgainst(arguments, vistrel::Rect{60, 40, 1366, 768}, false);
  constexpr int32_t lo = std::numeric_limits<int32_t>::min();
  constexpr int32_t hi = std::numeric_limits<int32_t>::max();
  ParseAgainst(arguments, vistrel::Rect{lo, lo, hi, hi}, false);
  ParseAgainst(arguments, vistrel::Rect{hi, hi, lo, lo}, false);

  for (const std::u16string& argument : arguments) {
    (void)vistrel::ConvertDecimal(argument);
    (void)vistrel::ExpandTabs(argument, static_cast<int>(argument.size() % 9));
  }
  return 0;
}
