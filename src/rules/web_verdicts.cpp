#include "rules/web_verdicts.h"

#include "base/text.h"
#include "rules/site.h"

namespace vistrel {

namespace {

bool Outside(const SiteRule& rule, std::u16string_view address) {
  return !rule.noBrowsingLimit && !IsWithinSite(address, rule.scope);
}

// Only a page from the user's own disk may have the system open a local file
// or program; a page from the web never may. A blank page is nothing to open.
bool MayHandOver(const SiteRule& rule, std::u16string_view address) {
  if (rule.privateMode || EqualsIgnoringCase(address, u"about:blank")) return false;
  return !EqualsIgnoringCase(SchemePart(address), u"file:") || rule.isLocal;
}

// What a page may hand over without the user's click: a web address, which
// the browser opens; any other scheme may start a program.
bool IsWebAddress(std::u16string_view address) {
  const std::u16string_view scheme = SchemePart(address);
  return EqualsIgnoringCase(scheme, u"http:") || EqualsIgnoringCase(scheme, u"https:");
}

}  // namespace

SiteRule SiteRuleFor(const Options& o, std::u16string_view scope, bool isLocal) {
  return SiteRule{scope, isLocal, o.noBrowsingLimit, o.privateMode};
}

NavigationVerdict DecideNavigation(const SiteRule& rule, std::u16string_view address, bool userInitiated) {
  // Nothing to test or hand over: let it be until a site is known, then refuse it.
  if (address.empty()) return {!rule.noBrowsingLimit && !rule.scope.empty(), false};
  if (!Outside(rule, address)) return {};
  return {true, MayHandOver(rule, address) && (userInitiated || IsWebAddress(address))};
}

NewWindowVerdict DecideNewWindow(const SiteRule& rule, std::u16string_view address, bool userInitiated) {
  if ((!rule.noBrowsingLimit && rule.privateMode) || address.empty()) return {};
  if (Outside(rule, address)) return {false, userInitiated && MayHandOver(rule, address)};
  return {true, false};
}

bool IsLocalSite(std::u16string_view scope, std::u16string_view firstAddress) {
  return scope == u"about:blank" || SchemePart(firstAddress) == u"file:";
}

namespace {

enum class Modifier { Control, Alt };

struct KeyBinding {
  Modifier modifier;
  uint32_t key;
  KeyAction action;
  bool withHtmlFile;  // also when the page is the HTML of a file
};

// Ctrl+M toggles the sound, Ctrl+U (view source) is swallowed, Alt+Home goes
// to the start page, which a page shown from a file does not have.
constexpr KeyBinding keys[] = {
    {Modifier::Control, kKeyM, KeyAction::ToggleMute, true},
    {Modifier::Control, kKeyU, KeyAction::Swallow, true},
    {Modifier::Alt, kKeyHome, KeyAction::GoHome, false},
};

}  // namespace

KeyVerdict DecideKey(const KeyPress& press, const Options& o) {
  if (o.limitUI || !press.down || !(press.control || press.alt)) return {};
  // Ctrl comes first: with Ctrl held, Alt's keys do nothing.
  const Modifier held = press.control ? Modifier::Control : Modifier::Alt;
  for (const KeyBinding& binding : keys) {
    if (binding.modifier != held || binding.key != press.key) continue;
    if (o.htmlFromFile && !binding.withHtmlFile) return {};
    // Held keys repeat: they are swallowed like the first press but act once.
    return {true, press.repeat ? KeyAction::None : binding.action};
  }
  return {};
}

namespace {

struct MenuRow {
  MenuAction action;
  MessageId label;
  MessageId labelWhenMuted;
  bool (*shown)(const Options&);
};

constexpr MenuRow menu[] = {
    {MenuAction::Home, MsgMenuHome, MsgMenuHome, [](const Options& o) { return !o.htmlFromFile; }},
    {MenuAction::Mute, MsgMenuMute, MsgMenuUnmute, [](const Options&) { return true; }},
    {MenuAction::ClearData, MsgMenuClearData, MsgMenuClearData, [](const Options& o) { return o.keepData; }},
};

struct SettingRow {
  Setting setting;
  bool enabled;
  bool (*applies)(const Options&);
};

// Kept data keeps passwords; scratch data fills in no forms. The limited
// interface has no default menus, status bar or browser keys.
constexpr SettingRow settings[] = {
    {Setting::DevTools, false, [](const Options&) { return true; }},
    {Setting::PasswordAutosave, true, [](const Options& o) { return o.keepData; }},
    {Setting::GeneralAutofill, false, [](const Options& o) { return !o.keepData; }},
    {Setting::DefaultContextMenus, false, [](const Options& o) { return o.limitUI; }},
    {Setting::StatusBar, false, [](const Options& o) { return o.limitUI; }},
    {Setting::BrowserAcceleratorKeys, false, [](const Options& o) { return o.limitUI; }},
};

}  // namespace

std::vector<MenuItem> MenuItemsFor(bool pageWithoutLink, const Options& o) {
  std::vector<MenuItem> items;
  if (!pageWithoutLink) return items;
  for (const MenuRow& row : menu) {
    if (row.shown(o)) items.push_back({o.mute ? row.labelWhenMuted : row.label, row.action});
  }
  return items;
}

std::vector<SettingValue> SettingsFor(const Options& o) {
  std::vector<SettingValue> values;
  for (const SettingRow& row : settings) {
    if (row.applies(o)) values.push_back({row.setting, row.enabled});
  }
  return values;
}

}  // namespace vistrel
