// Every text the program shows, in Japanese and English.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vistrel {

enum MessageId : int {
  MsgUsage,
  MsgParameterInvalid,
  MsgEmptyParameter,
  MsgParameterAlreadySpecified,
  MsgParametersConflict,
  MsgIconFileMissing,
  MsgSizeMissing,
  MsgPositionMissing,
  MsgAddressMissing,
  MsgProfileNameMissing,
  MsgIconParameterInvalid,
  MsgIconIndexInvalid,
  MsgWidthInvalid,
  MsgHeightInvalid,
  MsgXInvalid,
  MsgYInvalid,
  MsgProfileNameTooLong,
  MsgProfileNameBadChar,
  MsgProfileNameBadEnd,
  MsgWidthTooLarge,
  MsgHeightTooLarge,
  MsgXTooLarge,
  MsgYTooLarge,
  MsgFileNotFound,
  MsgFileNameInvalid,
  MsgFileOpenFailed,
  MsgIconUnavailable,
  MsgProfileNameInvalid,
  MsgAddressInvalid,
  MsgFileNotSupported,
  MsgRuntimeMissing,
  MsgDataDeleteFailed,
  MsgClearDataConfirm,
  MsgDataCleared,
  MsgMenuMute,
  MsgMenuUnmute,
  MsgMenuClearData,
  MsgMenuHome,
  // The web view could not start; the runtime's result code comes after it.
  MsgWebViewStartFailed,
  MsgDataClearFailed,
  MsgCount
};

inline constexpr int32_t kJapanese = 0;
inline constexpr int32_t kEnglish = 1;
inline constexpr uint16_t kLangJapanese = 1041;  // ja-JP

// Half 0 is Japanese, half 1 English.
using CatalogEntry = std::array<std::u16string_view, 2>;
extern const std::array<CatalogEntry, MsgCount> MessageCatalog;

// 0 Japanese, 1 English; set once at start by ChooseLanguage.
extern int32_t languageIndex;

// The caption of every box the program shows.
inline constexpr std::u16string_view kProgramTitle = u"vistrel";

void ChooseLanguage(uint16_t userInterfaceLanguage);
std::u16string CatalogText(MessageId id);
// The subject followed directly by the entry's text.
std::u16string ComposeArgumentMessage(const std::u16string& subject, MessageId id);

}  // namespace vistrel
