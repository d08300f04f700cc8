// Text at the edge of the GTK side: the core speaks UTF-16, GTK and GLib
// UTF-8, the file system its own encoding.
#pragma once

#include <optional>
#include <string>

namespace vistrel::gtk {

std::u16string Utf16FromUtf8(const std::string& utf8);

// Exact conversion; nullopt for text that is not valid UTF-16 (a lone
// surrogate), which can name no file.
std::optional<std::string> Utf8FromUtf16(const std::u16string& text);

// For text that is only shown: a lone surrogate becomes U+FFFD rather than
// emptying the whole text.
std::string DisplayUtf8FromUtf16(std::u16string text);

// Bytes from outside (argv, narrow text, the environment) as UTF-8:
// unchanged when valid, else read in the locale's charset when that is not
// UTF-8, else with each invalid byte shown as U+FFFD.
std::string AsUtf8(const std::string& bytes);

// A UTF-16 path in the file system's encoding; nullopt when it has none.
std::optional<std::string> FileNameFromUtf16(const std::u16string& path);

// A file name from the system as UTF-16, repaired where it is not text.
std::u16string Utf16FromFileName(const std::string& name);

}  // namespace vistrel::gtk
