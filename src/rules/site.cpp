#include "rules/site.h"

namespace vistrel {

namespace {

constexpr std::u16string_view kFileScheme = u"file:";
constexpr std::u16string_view kDataScheme = u"data:";
constexpr std::u16string_view kHtmlStringScope = u"about:blank";
constexpr size_t npos = std::u16string_view::npos;

// The path of a file address: after its first "///", else from index 2.
std::u16string_view FilePath(std::u16string_view address) {
  const size_t triple = address.find(u"///");
  if (triple != npos) return address.substr(triple + 3);
  return address.size() > 2 ? address.substr(2) : std::u16string_view{};
}

bool IsDottedNumber(std::u16string_view host) {
  for (char16_t c : host) {
    if (c != u'.' && (c < u'0' || c > u'9')) return false;
  }
  return true;
}

size_t CountDots(std::u16string_view host) {
  size_t dots = 0;
  for (char16_t c : host) dots += c == u'.' ? 1 : 0;
  return dots;
}

// The host reduced to its domain by the positions of the dots near its end.
std::u16string_view DomainOf(std::u16string_view host) {
  const size_t n = host.size();
  const size_t d = CountDots(host);
  const auto dotAt = [&](size_t fromEnd) { return n >= fromEnd && host[n - fromEnd] == u'.'; };
  // The labels after the k-th "." counted from the end.
  const auto lastLabels = [&](size_t k) {
    size_t position = n;
    for (size_t i = 0; i < k; ++i) position = host.rfind(u'.', position - 1);
    return host.substr(position + 1);
  };
  if (d >= 3 && n >= 8 && dotAt(3) && (dotAt(6) || dotAt(7))) return lastLabels(3);
  if (d >= 2 && n >= 8 && dotAt(3) && !dotAt(6) && !dotAt(7)) return lastLabels(2);
  if (d >= 2 && n >= 8 && dotAt(4) && !dotAt(7)) return lastLabels(2);
  const size_t firstDot = host.find(u'.');
  if (host.substr(0, firstDot) == u"www") return host.substr(firstDot + 1);
  return host;
}

}  // namespace

std::u16string_view SchemePart(std::u16string_view address) {
  const size_t colon = address.find(u':');
  return colon == npos ? std::u16string_view{} : address.substr(0, colon + 1);
}

std::u16string DeriveSiteScope(std::u16string_view source) {
  if (SchemePart(source) == kFileScheme) {
    const std::u16string_view path = FilePath(source);
    const size_t slash = path.rfind(u'/');
    return slash == npos ? std::u16string() : std::u16string(path.substr(0, slash + 1));
  }
  const size_t slashes = source.find(u"//");
  if (slashes == npos) return std::u16string(source);
  const size_t hostStart = slashes + 2;
  const size_t hostEnd = source.find_first_of(u"/:", hostStart);
  const std::u16string_view host =
      source.substr(hostStart, hostEnd == npos ? npos : hostEnd - hostStart);
  if (host.empty()) return {};
  if (IsDottedNumber(host) || host.find(u'.') == npos) return std::u16string(host);
  return std::u16string(DomainOf(host));
}

bool IsWithinSite(std::u16string_view address, std::u16string_view scope) {
  if (scope.empty()) return true;
  if (scope == kHtmlStringScope) return SchemePart(address) == kDataScheme;
  if (SchemePart(address) == kFileScheme) return FilePath(address).starts_with(scope);
  // An empty address has no host at all.
  if (address.empty()) return false;
  const size_t slashes = address.find(u"//");
  const size_t hostSearch = slashes == npos ? 1 : slashes + 2;
  const size_t cutEnd = hostSearch > address.size() ? npos : address.find_first_of(u"/:", hostSearch);
  const std::u16string_view cut = address.substr(0, cutEnd);
  const size_t cutSlashes = cut.find(u"//");
  const size_t hostStart = cutSlashes == npos ? 1 : cutSlashes + 2;
  const std::u16string_view host = hostStart > cut.size() ? std::u16string_view{} : cut.substr(hostStart);
  return host.ends_with(scope);
}

}  // namespace vistrel
