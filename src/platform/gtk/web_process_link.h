// What the program and the web process that loads its page tell each other:
// the site rule, which the web process applies to the page's own requests,
// and each request of the page it stopped, which the program decides on as a
// navigation. The web process runs the module built from
// web_process_extension.cpp.
#pragma once

#include <glib.h>

#include <string>

#include "platform/gtk/text_gtk.h"
#include "rules/web_verdicts.h"

namespace vistrel::gtk {

inline constexpr char kSiteRuleMessage[] = "vistrel-site-rule";  // (sbbb): scope, local, no limit, private
inline constexpr char kStoppedMessage[] = "vistrel-stopped";     // (s): the address the page asked for
// A stopped request is sent here instead, where it fails: the page stays as it
// was, as when a navigation is refused.
inline constexpr char kStoppedScheme[] = "vistrel-stopped";
inline constexpr char kStoppedAddress[] = "vistrel-stopped:page";

// A site rule that owns its scope.
struct HeldSiteRule {
  std::u16string scope;
  bool isLocal = false, noBrowsingLimit = false, privateMode = false;
  SiteRule Rule() const { return {scope, isLocal, noBrowsingLimit, privateMode}; }
};

// A floating reference.
inline GVariant* SiteRuleVariant(const SiteRule& rule) {
  const std::string scope = Utf8FromUtf16(std::u16string(rule.scope)).value_or("");
  return g_variant_new("(sbbb)", scope.c_str(), rule.isLocal, rule.noBrowsingLimit, rule.privateMode);
}

// What is not a rule leaves every request alone, as before the first page.
inline HeldSiteRule SiteRuleFromVariant(GVariant* variant) {
  HeldSiteRule held;
  if (variant == nullptr || !g_variant_is_of_type(variant, G_VARIANT_TYPE("(sbbb)"))) return held;
  const char* scope = nullptr;
  gboolean isLocal = FALSE, noLimit = FALSE, privateMode = FALSE;
  g_variant_get(variant, "(&sbbb)", &scope, &isLocal, &noLimit, &privateMode);
  held.scope = Utf16FromUtf8(scope);
  held.isLocal = isLocal, held.noBrowsingLimit = noLimit, held.privateMode = privateMode;
  return held;
}

}  // namespace vistrel::gtk
