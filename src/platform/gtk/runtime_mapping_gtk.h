// How the runtime's terms map onto WebKitGTK's: plain functions from values
// to values, so that tables can check them without an engine.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/runtime.h"

namespace vistrel::gtk {

// The Windows virtual-key code of a key from its GDK key value as the key
// gives it without Shift (letters, digits, keypad, function and editing
// keys, modifiers, punctuation of a US keyboard); 0 when Windows has none.
uint32_t VirtualKeyFromKeyval(uint32_t keyval);

// Windows reports keys pressed while Alt is held without Ctrl, Alt itself
// and F10 as system keys.
COREWEBVIEW2_KEY_EVENT_KIND KeyEventKindFor(bool released, uint32_t virtualKey, bool controlDown, bool altDown);

// WebKit's website data types (WebKitWebsiteDataTypes bits) for the
// runtime's browsing data kinds; kinds WebKit keeps nothing for give 0.
uint32_t WebsiteDataTypesForKinds(uint32_t kinds);

// The target of a context menu from WebKit's hit-test context bits, told as
// WebView2 tells it: a kind (page, image, selected text, media) and, apart
// from it, whether the target has a link.
COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND ContextMenuTargetKindFor(uint32_t hitTestContext);
bool ContextMenuTargetHasLink(uint32_t hitTestContext);

// Whether WebKitGTK loads addresses of the scheme itself (lower-case scheme,
// without the colon). Others go to the desktop or fail.
bool EngineLoadsScheme(std::string_view scheme);

// Whether a navigation is decided as the engine asks about it, before any
// request leaves, rather than in the web process or at its response, where
// WebKitGTK tells the page's from a frame's: addresses the engine cannot
// load, file addresses clicked or asked for by the program, and the
// program's own web addresses.
bool DecidedWhenAsked(std::string_view scheme, bool clicked, bool programs);

// WebView2's rule for profile names: at most 64 characters of ASCII letters,
// digits, space and #@$()+-_~. "." and ".." are refused as well, since each
// name becomes a folder.
bool IsUsableProfileName(std::u16string_view name);

// Where a profile keeps its data below the user data folder: the default
// profile (empty name) in "Default", a named one in "Profiles/<name>", the
// name in ASCII lower case since names are case-insensitive.
std::string ProfileFolder(const std::string& userDataFolder, std::u16string_view profileName);

}  // namespace vistrel::gtk
