// The site that browsing is kept to: derived from the first completed page
// and tested against every address. Pure; all comparisons are exact, unit by
// unit, and no part of an address is decoded or lower-cased.
#pragma once

#include <string>
#include <string_view>

namespace vistrel {

// The address up to and including its first ":"; empty when it has none.
std::u16string_view SchemePart(std::u16string_view address);

// The folder of a local start file (ending in "/"), "about:blank" for a page
// shown from an HTML string, or the host of a web page cut down to its
// domain; empty when nothing usable is found.
std::u16string DeriveSiteScope(std::u16string_view source);

// Whether the address lies inside the scope; everything is inside an empty one.
bool IsWithinSite(std::u16string_view address, std::u16string_view scope);

}  // namespace vistrel
