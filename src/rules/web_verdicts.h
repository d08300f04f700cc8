// What the web view's events come to, given the options and what the program
// knows of the site: pure verdicts that the runtime's handlers act on.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/catalog.h"
#include "base/options.h"

namespace vistrel {

// The site rule: what the first completed page made of the site, and the
// options that loosen or tighten it.
struct SiteRule {
  std::u16string_view scope;  // empty until the first page completes
  bool isLocal = false;       // the first page came from the user's own disk
  bool noBrowsingLimit = false;
  bool privateMode = false;
};

SiteRule SiteRuleFor(const Options& o, std::u16string_view scope, bool isLocal);

struct NavigationVerdict {
  bool cancel = false;
  bool handOver = false;  // to the system's default handler
  friend bool operator==(const NavigationVerdict&, const NavigationVerdict&) = default;
};

// A navigation of the view: addresses outside the site are cancelled and,
// where allowed, handed over. Without the user's click only web addresses
// are handed over: a page cannot start a program by itself.
NavigationVerdict DecideNavigation(const SiteRule& rule, std::u16string_view address, bool userInitiated);

struct NewWindowVerdict {
  bool showInView = false;  // navigate the one view there
  bool handOver = false;
  friend bool operator==(const NewWindowVerdict&, const NewWindowVerdict&) = default;
};

// A request for a new window, which the runtime never gets to open itself.
// One outside the site without the user's click is dropped, as a popup
// blocker does.
NewWindowVerdict DecideNewWindow(const SiteRule& rule, std::u16string_view address, bool userInitiated);

// Whether the first completed page came from the user's own disk.
bool IsLocalSite(std::u16string_view scope, std::u16string_view firstAddress);

// Windows virtual-key codes.
inline constexpr uint32_t kKeyControl = 0x11;  // VK_CONTROL
inline constexpr uint32_t kKeyAlt = 0x12;      // VK_MENU
inline constexpr uint32_t kKeyHome = 0x24;     // VK_HOME
inline constexpr uint32_t kKeyM = 0x4D;
inline constexpr uint32_t kKeyU = 0x55;

enum class KeyAction { None, Swallow, ToggleMute, GoHome };

struct KeyPress {
  uint32_t key = 0;
  bool down = true;      // a key-down (or system key-down) event
  bool repeat = false;   // the key was already down
  bool control = false;  // Ctrl held
  bool alt = false;      // Alt held
};

struct KeyVerdict {
  bool handled = false;  // the page never sees the key
  KeyAction action = KeyAction::None;
  friend bool operator==(const KeyVerdict&, const KeyVerdict&) = default;
};

KeyVerdict DecideKey(const KeyPress& press, const Options& o);

enum class MenuAction { Home, Mute, ClearData };

struct MenuItem {
  MessageId label;
  MenuAction action;
  friend bool operator==(const MenuItem&, const MenuItem&) = default;
};

// The items the program adds to a context menu: only on the page itself,
// never on a link, an image, a selection or media.
std::vector<MenuItem> MenuItemsFor(bool pageWithoutLink, const Options& o);

enum class Setting {
  DevTools,
  PasswordAutosave,
  GeneralAutofill,
  DefaultContextMenus,
  StatusBar,
  BrowserAcceleratorKeys,
};

struct SettingValue {
  Setting setting;
  bool enabled;
  friend bool operator==(const SettingValue&, const SettingValue&) = default;
};

// The view's settings, in the order they are applied.
std::vector<SettingValue> SettingsFor(const Options& o);

}  // namespace vistrel
