// The parser that turns the arguments into Options or a refusal.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/geometry.h"
#include "base/options.h"

namespace vistrel {

// Where "/" separates folders and begins absolute paths: answers whether an
// argument names an existing file or folder. Empty where "/" is no part of a
// path's grammar (Windows).
using RootedPathTest = std::function<bool(const std::u16string&)>;

// Reads the arguments (without the program name) against the work area.
// Pure: the address is not looked up on disk (see ResolveStartAddress). With
// a pathTest, an argument that is no switch and names an existing file or
// folder is a positional argument rather than a refused switch, and an HTML
// file's name may hold "/".
ParseResult ParseCommandLine(const std::vector<std::u16string>& arguments, const Rect& area,
                             const RootedPathTest& pathTest = {});

// What a program on Linux answers on standard output rather than in a box:
// "--help" or "--version" alone.
enum class ConsoleRequest { None, Help, Version };
ConsoleRequest ConsoleRequestFor(const std::vector<std::u16string>& arguments);

// Whether the command line asks for the window's position (/sp), which only
// a window system that lets programs place their windows can honour.
bool AsksForPosition(const std::vector<std::u16string>& arguments);

// _wtoi: optional leading "-", decimal digits, clamped to the 32-bit range;
// conversion stops at the first other character.
int32_t ConvertDecimal(std::u16string_view text);

}  // namespace vistrel
