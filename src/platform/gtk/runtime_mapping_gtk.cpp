#include "platform/gtk/runtime_mapping_gtk.h"

#include <gdk/gdkkeysyms.h>
#include <webkit2/webkit2.h>

#include <array>
#include <utility>

namespace vistrel::gtk {

namespace {

// Keys whose codes are not a run of letters, digits or numbered keys.
constexpr auto kNamedKeys = std::to_array<std::pair<uint32_t, uint32_t>>({
    {GDK_KEY_BackSpace, 0x08},    {GDK_KEY_Tab, 0x09},          {GDK_KEY_ISO_Left_Tab, 0x09},
    {GDK_KEY_Clear, 0x0C},        {GDK_KEY_Return, 0x0D},       {GDK_KEY_KP_Enter, 0x0D},
    {GDK_KEY_Shift_L, 0x10},      {GDK_KEY_Shift_R, 0x10},      {GDK_KEY_Control_L, 0x11},
    {GDK_KEY_Control_R, 0x11},    {GDK_KEY_Alt_L, 0x12},        {GDK_KEY_Alt_R, 0x12},
    {GDK_KEY_Meta_L, 0x12},       {GDK_KEY_Meta_R, 0x12},       {GDK_KEY_ISO_Level3_Shift, 0x12},
    {GDK_KEY_Pause, 0x13},        {GDK_KEY_Caps_Lock, 0x14},    {GDK_KEY_Escape, 0x1B},
    {GDK_KEY_space, 0x20},        {GDK_KEY_KP_Space, 0x20},     {GDK_KEY_Page_Up, 0x21},
    {GDK_KEY_KP_Page_Up, 0x21},   {GDK_KEY_Page_Down, 0x22},    {GDK_KEY_KP_Page_Down, 0x22},
    {GDK_KEY_End, 0x23},          {GDK_KEY_KP_End, 0x23},       {GDK_KEY_Home, 0x24},
    {GDK_KEY_KP_Home, 0x24},      {GDK_KEY_Left, 0x25},         {GDK_KEY_KP_Left, 0x25},
    {GDK_KEY_Up, 0x26},           {GDK_KEY_KP_Up, 0x26},        {GDK_KEY_Right, 0x27},
    {GDK_KEY_KP_Right, 0x27},     {GDK_KEY_Down, 0x28},         {GDK_KEY_KP_Down, 0x28},
    {GDK_KEY_Select, 0x29},       {GDK_KEY_Print, 0x2C},        {GDK_KEY_Insert, 0x2D},
    {GDK_KEY_KP_Insert, 0x2D},    {GDK_KEY_Delete, 0x2E},       {GDK_KEY_KP_Delete, 0x2E},
    {GDK_KEY_Help, 0x2F},         {GDK_KEY_Super_L, 0x5B},      {GDK_KEY_Super_R, 0x5C},
    {GDK_KEY_Menu, 0x5D},         {GDK_KEY_KP_Begin, 0x0C},     {GDK_KEY_KP_Multiply, 0x6A},
    {GDK_KEY_KP_Add, 0x6B},       {GDK_KEY_KP_Separator, 0x6C}, {GDK_KEY_KP_Subtract, 0x6D},
    {GDK_KEY_KP_Decimal, 0x6E},   {GDK_KEY_KP_Divide, 0x6F},    {GDK_KEY_Num_Lock, 0x90},
    {GDK_KEY_Scroll_Lock, 0x91},  {GDK_KEY_semicolon, 0xBA},    {GDK_KEY_equal, 0xBB},
    {GDK_KEY_comma, 0xBC},        {GDK_KEY_minus, 0xBD},        {GDK_KEY_period, 0xBE},
    {GDK_KEY_slash, 0xBF},        {GDK_KEY_grave, 0xC0},        {GDK_KEY_bracketleft, 0xDB},
    {GDK_KEY_backslash, 0xDC},    {GDK_KEY_bracketright, 0xDD}, {GDK_KEY_apostrophe, 0xDE},
    {GDK_KEY_less, 0xE2},         {GDK_KEY_KP_Equal, 0xBB},
});

constexpr uint32_t kVirtualKeyF10 = 0x79;
constexpr uint32_t kVirtualKeyAlt = 0x12;

constexpr size_t kProfileNameMaxLength = 64;
constexpr std::u16string_view kProfileNamePunctuation = u" #@$()+-_~.";

// The schemes WebKitGTK loads without help: the web, files, inline data,
// its own pages and GResources, and the PDF viewer it brings along.
constexpr auto kEngineSchemes = std::to_array<std::string_view>({
    "http", "https", "file", "data", "about", "blob", "resource", "webkit-pdfjs-viewer",
});

constexpr uint32_t kDomStorageTypes = WEBKIT_WEBSITE_DATA_INDEXEDDB_DATABASES | WEBKIT_WEBSITE_DATA_LOCAL_STORAGE |
                                      WEBKIT_WEBSITE_DATA_WEBSQL_DATABASES | WEBKIT_WEBSITE_DATA_DOM_CACHE;
// Everything a site leaves, its caches aside.
constexpr uint32_t kSiteTypes = kDomStorageTypes | WEBKIT_WEBSITE_DATA_COOKIES | WEBKIT_WEBSITE_DATA_SESSION_STORAGE |
                                WEBKIT_WEBSITE_DATA_OFFLINE_APPLICATION_CACHE | WEBKIT_WEBSITE_DATA_PLUGIN_DATA |
                                WEBKIT_WEBSITE_DATA_DEVICE_ID_HASH_SALT | WEBKIT_WEBSITE_DATA_HSTS_CACHE |
                                WEBKIT_WEBSITE_DATA_ITP | WEBKIT_WEBSITE_DATA_SERVICE_WORKER_REGISTRATIONS;

constexpr auto kDataKinds = std::to_array<std::pair<uint32_t, uint32_t>>({
    {COREWEBVIEW2_BROWSING_DATA_KINDS_INDEXED_DB, WEBKIT_WEBSITE_DATA_INDEXEDDB_DATABASES},
    {COREWEBVIEW2_BROWSING_DATA_KINDS_LOCAL_STORAGE, WEBKIT_WEBSITE_DATA_LOCAL_STORAGE},
    {COREWEBVIEW2_BROWSING_DATA_KINDS_WEB_SQL, WEBKIT_WEBSITE_DATA_WEBSQL_DATABASES},
    {COREWEBVIEW2_BROWSING_DATA_KINDS_CACHE_STORAGE, WEBKIT_WEBSITE_DATA_DOM_CACHE},
    {COREWEBVIEW2_BROWSING_DATA_KINDS_ALL_DOM_STORAGE, kDomStorageTypes},
    {COREWEBVIEW2_BROWSING_DATA_KINDS_COOKIES, WEBKIT_WEBSITE_DATA_COOKIES},
    {COREWEBVIEW2_BROWSING_DATA_KINDS_ALL_SITE, kSiteTypes},
    {COREWEBVIEW2_BROWSING_DATA_KINDS_DISK_CACHE, WEBKIT_WEBSITE_DATA_DISK_CACHE},
    {COREWEBVIEW2_BROWSING_DATA_KINDS_ALL_PROFILE, WEBKIT_WEBSITE_DATA_ALL},
    {COREWEBVIEW2_BROWSING_DATA_KINDS_SERVICE_WORKERS, WEBKIT_WEBSITE_DATA_SERVICE_WORKER_REGISTRATIONS},
    // File systems, download and browsing history, autofill, passwords and
    // settings: WebKitGTK keeps none of them.
    {COREWEBVIEW2_BROWSING_DATA_KINDS_FILE_SYSTEMS, 0},
});

}  // namespace

uint32_t VirtualKeyFromKeyval(uint32_t keyval) {
  if (keyval >= GDK_KEY_a && keyval <= GDK_KEY_z) return 'A' + (keyval - GDK_KEY_a);
  if (keyval >= GDK_KEY_A && keyval <= GDK_KEY_Z) return 'A' + (keyval - GDK_KEY_A);
  if (keyval >= GDK_KEY_0 && keyval <= GDK_KEY_9) return '0' + (keyval - GDK_KEY_0);
  if (keyval >= GDK_KEY_KP_0 && keyval <= GDK_KEY_KP_9) return 0x60 + (keyval - GDK_KEY_KP_0);
  if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F24) return 0x70 + (keyval - GDK_KEY_F1);
  for (const auto& [gdk, windows] : kNamedKeys) {
    if (gdk == keyval) return windows;
  }
  return 0;
}

COREWEBVIEW2_KEY_EVENT_KIND KeyEventKindFor(bool released, uint32_t virtualKey, bool controlDown, bool altDown) {
  const bool system = (virtualKey == kVirtualKeyAlt || virtualKey == kVirtualKeyF10 || altDown) && !controlDown;
  if (system) return released ? COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_UP : COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_DOWN;
  return released ? COREWEBVIEW2_KEY_EVENT_KIND_KEY_UP : COREWEBVIEW2_KEY_EVENT_KIND_KEY_DOWN;
}

uint32_t WebsiteDataTypesForKinds(uint32_t kinds) {
  uint32_t types = 0;
  for (const auto& [kind, webkitTypes] : kDataKinds) {
    if ((kinds & kind) != 0) types |= webkitTypes;
  }
  return types;
}

COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND ContextMenuTargetKindFor(uint32_t hitTestContext) {
  // The most specific target wins. A link is no kind of its own: as in the
  // Windows runtime it is a page (or image) target that has a link.
  if ((hitTestContext & WEBKIT_HIT_TEST_RESULT_CONTEXT_IMAGE) != 0) return COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND_IMAGE;
  // WebKit does not tell audio from video.
  if ((hitTestContext & WEBKIT_HIT_TEST_RESULT_CONTEXT_MEDIA) != 0) return COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND_VIDEO;
  if ((hitTestContext & WEBKIT_HIT_TEST_RESULT_CONTEXT_SELECTION) != 0) {
    return COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND_SELECTED_TEXT;
  }
  return COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND_PAGE;
}

bool ContextMenuTargetHasLink(uint32_t hitTestContext) {
  return (hitTestContext & WEBKIT_HIT_TEST_RESULT_CONTEXT_LINK) != 0;
}

bool EngineLoadsScheme(std::string_view scheme) {
  for (std::string_view known : kEngineSchemes) {
    if (known == scheme) return true;
  }
  return false;
}

bool DecidedWhenAsked(std::string_view scheme, bool clicked, bool programs) {
  if (!EngineLoadsScheme(scheme)) return true;
  // A click may be inside a frame: web addresses are left to the web process,
  // which knows the page's own requests. Blank, inline and the engine's own
  // pages are left to their response, so that a frame made by a click still
  // gets its blank page.
  return (scheme == "file" && (clicked || programs)) || (programs && (scheme == "http" || scheme == "https"));
}

bool IsUsableProfileName(std::u16string_view name) {
  if (name.size() > kProfileNameMaxLength) return false;
  // Each name is a folder: these two already name others.
  if (name == u"." || name == u"..") return false;
  for (char16_t c : name) {
    const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    const bool digit = c >= u'0' && c <= u'9';
    if (!letter && !digit && kProfileNamePunctuation.find(c) == std::u16string_view::npos) return false;
  }
  return true;
}

std::string ProfileFolder(const std::string& userDataFolder, std::u16string_view profileName) {
  if (profileName.empty()) return userDataFolder + "/Default";
  std::string folder = userDataFolder + "/Profiles/";
  for (char16_t c : profileName) {
    // Usable names are ASCII; anything else never gets this far.
    const char ascii = c < 0x80 ? static_cast<char>(c) : '_';
    folder += (ascii >= 'A' && ascii <= 'Z') ? static_cast<char>(ascii - 'A' + 'a') : ascii;
  }
  return folder;
}

}  // namespace vistrel::gtk
