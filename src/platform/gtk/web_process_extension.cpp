// Runs inside WebKit's web process, where the page's requests leave from.
//
// WebKitGTK asks the program about a frame's navigations just as it asks about
// the page's, and tells them apart only at the response, once the request has
// reached the server. Here a request is the page's own when it asks for the
// address the page is loading (or, redirected, comes from it). One that the
// site rule refuses is stopped before it leaves, and the program is told, to
// decide on it as the navigation it is: refused, and perhaps handed over.
// Frames keep loading as the page asks.
#include <webkit2/webkit-web-extension.h>

#include <cstring>

#include "platform/gtk/text_gtk.h"
#include "platform/gtk/web_process_link.h"
#include "rules/web_verdicts.h"

namespace vistrel::gtk {
namespace {

// Until the program says otherwise: what it said when this process started.
HeldSiteRule siteRule;

gboolean OnSendRequest(WebKitWebPage* page, WebKitURIRequest* request, WebKitURIResponse* redirected, gpointer) {
  const char* uri = webkit_uri_request_get_uri(request);
  const char* pageUri = webkit_web_page_get_uri(page);
  const char* asked = redirected != nullptr ? webkit_uri_response_get_uri(redirected) : uri;
  if (uri == nullptr || pageUri == nullptr || asked == nullptr || std::strcmp(asked, pageUri) != 0) return FALSE;
  // The program has already decided on what the user asked for: what is
  // still outside the site here, the page went to by itself.
  if (!DecideNavigation(siteRule.Rule(), Utf16FromUtf8(uri), false).cancel) return FALSE;
  webkit_web_page_send_message_to_view(page, webkit_user_message_new(kStoppedMessage, g_variant_new("(s)", uri)),
                                       nullptr, nullptr, nullptr);
  // Cancelling here would load an empty page in its place.
  webkit_uri_request_set_uri(request, kStoppedAddress);
  return FALSE;
}

gboolean OnMessage(WebKitWebPage*, WebKitUserMessage* message, gpointer) {
  if (std::strcmp(webkit_user_message_get_name(message), kSiteRuleMessage) != 0) return FALSE;
  siteRule = SiteRuleFromVariant(webkit_user_message_get_parameters(message));
  return TRUE;
}

void OnPageCreated(WebKitWebExtension*, WebKitWebPage* page, gpointer) {
  g_signal_connect(page, "send-request", G_CALLBACK(OnSendRequest), nullptr);
  g_signal_connect(page, "user-message-received", G_CALLBACK(OnMessage), nullptr);
}

}  // namespace
}  // namespace vistrel::gtk

extern "C" G_MODULE_EXPORT void webkit_web_extension_initialize_with_user_data(WebKitWebExtension* extension,
                                                                               const GVariant* data) {
  vistrel::gtk::siteRule = vistrel::gtk::SiteRuleFromVariant(const_cast<GVariant*>(data));
  g_signal_connect(extension, "page-created", G_CALLBACK(vistrel::gtk::OnPageCreated), nullptr);
}
