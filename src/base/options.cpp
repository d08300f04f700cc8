#include "base/options.h"

namespace vistrel {

Options options;
Rect workArea;

std::u16string Refusal::Text() const {
  return subject.empty() ? CatalogText(message) : ComposeArgumentMessage(subject, message);
}

}  // namespace vistrel
