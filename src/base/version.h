#pragma once

#define VISTREL_VERSION_TEXT "2.20"

namespace vistrel {
inline constexpr char kVersion[] = VISTREL_VERSION_TEXT;
}  // namespace vistrel
