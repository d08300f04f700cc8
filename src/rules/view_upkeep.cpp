#include "rules/view_upkeep.h"

namespace vistrel {

ViewSizing SizingFor(SizeKind kind, bool viewHidden) {
  if (kind == SizeKind::Minimized) return {!viewHidden, false, false};
  return {false, viewHidden, true};
}

Recovery RecoveryFor(FailedProcess process, bool startedAgainBefore) {
  switch (process) {
    case FailedProcess::Page:
      return Recovery::ShowPageAgain;
    case FailedProcess::Browser:
      return startedAgainBefore ? Recovery::GiveUp : Recovery::StartAgain;
    case FailedProcess::Other:
      break;
  }
  return Recovery::Nothing;
}

std::string ServedHtmlBytes(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  bytes.reserve(2 + 2 * text.size());
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFFu);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

std::u16string ResultCodeText(uint32_t code) {
  constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string text = u"0x";
  for (int shift = 28; shift >= 0; shift -= 4) text += kDigits[(code >> shift) & 0xFu];
  return text;
}

}  // namespace vistrel
