// Feeds arbitrary addresses to the site functions. Input: UTF-16 code units
// (two bytes each, little-endian); the first U+000A splits the first page's
// source from the address tested against its site.
#include <cstddef>
#include <cstdint>
#include <string>

#include "rules/site.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string source;
  std::u16string address;
  bool second = false;
  for (size_t i = 0; i + 1 < size; i += 2) {
    const char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (unit == u'\n' && !second) {
      second = true;
    } else {
      (second ? address : source) += unit;
    }
  }
  const std::u16string scope = vistrel::DeriveSiteScope(source);
  // A scope is always a piece of its source.
  Check(scope.size() <= source.size());
  const bool inside = vistrel::IsWithinSite(address, scope);
  // Nothing is outside an empty scope, and an empty address is outside every host.
  if (scope.empty()) Check(inside);
  if (address.empty() && !scope.empty()) Check(!inside);
  (void)vistrel::IsWithinSite(source, scope);
  (void)vistrel::SchemePart(address);
  return 0;
}
