// Keeping the web view going: what a failed process, a change of the
// window's size kind and a failed start come to.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vistrel {

// How the window's size changed, as WM_SIZE tells it.
enum class SizeKind { Restored, Minimized, Maximized };

// What the view is told: hidden, shown again, given the window's client area.
struct ViewSizing {
  bool hide = false;
  bool show = false;
  bool bounds = false;
  friend bool operator==(const ViewSizing&, const ViewSizing&) = default;
};

// A minimised window hides the view and leaves its bounds alone (they would
// be 0 x 0); any other size shows a hidden view again and fits it.
ViewSizing SizingFor(SizeKind kind, bool viewHidden);

// Which of the runtime's processes failed, as far as the program cares.
enum class FailedProcess { Browser, Page, Other };

enum class Recovery { Nothing, ShowPageAgain, StartAgain, GiveUp };

// A page's process that ended or hangs: its page is shown again. The browser
// process that ended: the web view is started again, once; a second time the
// program gives up. Other helpers are restarted by the runtime itself.
Recovery RecoveryFor(FailedProcess process, bool startedAgainBefore);

// "0x8007139F": a result code as the start-failure box shows it.
std::u16string ResultCodeText(uint32_t code);

// The private address the HTML of a file too large to hand over as text is
// served from. The ".invalid" name is reserved (RFC 2606): no site can ever
// answer for it or be reached through it.
inline constexpr std::u16string_view kServedHtmlAddress = u"https://vistrel.invalid/";
inline constexpr std::u16string_view kServedHtmlHeaders = u"Content-Type: text/html; charset=utf-16";

// The HTML as it is served: UTF-16LE behind its byte-order mark, the form the
// program holds it in, so that nothing is converted on the way.
std::string ServedHtmlBytes(std::u16string_view text);

}  // namespace vistrel
