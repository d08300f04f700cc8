#include "platform/gtk/platform_gtk.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <array>
#include <string_view>
#include <utility>

#include "base/text.h"
#include "platform/gtk/text_gtk.h"

namespace vistrel {

using gtk::AsUtf8;
using gtk::DisplayUtf8FromUtf16;
using gtk::FileNameFromUtf16;
using gtk::Utf16FromUtf8;

namespace {

constexpr uint16_t kLangIdJapanese = 0x0411;  // ja-JP
constexpr uint16_t kLangIdEnglish = 0x0409;   // en-US

// The parts of a Windows message box style that the boxes here honour.
constexpr uint32_t kButtonsMask = 0x0F;
constexpr uint32_t kIconMask = 0xF0;

// ---- Message boxes ----------------------------------------------------------

// The label that carries a message dialog's text.
GtkLabel* MessageLabel(GtkMessageDialog* dialog) {
  GtkWidget* area = gtk_message_dialog_get_message_area(dialog);
  GList* children = gtk_container_get_children(GTK_CONTAINER(area));
  GtkLabel* label = nullptr;
  for (GList* child = children; child != nullptr && label == nullptr; child = child->next) {
    if (GTK_IS_LABEL(child->data)) label = GTK_LABEL(child->data);
  }
  g_list_free(children);
  return label;
}

GtkMessageType MessageTypeForStyle(uint32_t style) {
  switch (style & kIconMask) {
    case 0x10: return GTK_MESSAGE_ERROR;     // MB_ICONHAND
    case 0x20: return GTK_MESSAGE_QUESTION;  // MB_ICONQUESTION
    case 0x30: return GTK_MESSAGE_WARNING;   // MB_ICONEXCLAMATION
    case 0x40: return GTK_MESSAGE_INFO;      // MB_ICONASTERISK
    default: return GTK_MESSAGE_OTHER;
  }
}

const char* IconNameForType(GtkMessageType type) {
  switch (type) {
    case GTK_MESSAGE_ERROR: return "dialog-error";
    case GTK_MESSAGE_QUESTION: return "dialog-question";
    case GTK_MESSAGE_WARNING: return "dialog-warning";
    case GTK_MESSAGE_INFO: return "dialog-information";
    default: return nullptr;
  }
}

// A message dialog set up the same way for showing and for measuring, so
// that the measured font is the one the text appears in.
GtkMessageDialog* NewMessageDialog(GtkWindow* owner, GtkMessageType type, GtkButtonsType buttons,
                                   const std::string& text) {
  GtkWidget* dialog = gtk_message_dialog_new(owner, GTK_DIALOG_MODAL, type, buttons, "%s", text.c_str());
  GtkMessageDialog* messageDialog = GTK_MESSAGE_DIALOG(dialog);
  if (GtkLabel* label = MessageLabel(messageDialog)) gtk_label_set_selectable(label, TRUE);
  return messageDialog;
}

// GTK 3 message dialogs no longer draw the icon of their type; a warning box
// should show one, as it does on Windows. The dialog's accessible name, which
// GTK sets to the type's word ("Warning"), moves to the icon, and the dialog
// is named by its caption as its window title is.
void ShowTypeIcon(GtkMessageDialog* dialog, GtkMessageType type, const std::string& caption) {
  AtkObject* accessible = gtk_widget_get_accessible(GTK_WIDGET(dialog));
  if (const char* iconName = IconNameForType(type)) {
    GtkWidget* image = gtk_image_new_from_icon_name(iconName, GTK_ICON_SIZE_DIALOG);
    gtk_widget_set_valign(image, GTK_ALIGN_START);
    gtk_widget_show(image);
    const char* typeWord = atk_object_get_name(accessible);
    if (typeWord != nullptr) atk_object_set_name(gtk_widget_get_accessible(image), typeWord);
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_message_dialog_set_image(dialog, image);
    G_GNUC_END_IGNORE_DEPRECATIONS
  }
  atk_object_set_name(accessible, caption.c_str());
}

}  // namespace

GtkPlatform::GtkPlatform(std::vector<std::string> arguments, bool hasDisplay)
    : arguments_(std::move(arguments)), hasDisplay_(hasDisplay) {}

GtkPlatform::~GtkPlatform() {
  for (const auto& timer : timers_) g_source_remove(timer.second);
  if (fileMonitor_ != nullptr) g_object_unref(fileMonitor_);
  ReleaseDataFolderLock();
}

// ---- Start-up ---------------------------------------------------------------

uint16_t GtkPlatform::UserInterfaceLanguage() {
  std::string_view locale;
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = g_getenv(variable);
    if (value != nullptr && *value != '\0') {
      locale = value;
      break;
    }
  }
  // "ja", "ja_JP", "ja_JP.UTF-8", "ja@..."
  const std::string_view language = locale.substr(0, locale.find_first_of("_.@"));
  return language == "ja" ? kLangIdJapanese : kLangIdEnglish;
}

std::vector<std::u16string> GtkPlatform::CommandLineArguments() {
  std::vector<std::u16string> arguments;
  arguments.reserve(arguments_.size());
  for (const std::string& argument : arguments_) arguments.push_back(Utf16FromUtf8(AsUtf8(argument)));
  return arguments;
}

// ---- Message boxes ----------------------------------------------------------

int GtkPlatform::ShowBox(WindowHandle owner, const std::string& text, const std::string& caption,
                         uint32_t style) {
  const bool yesNo = (style & kButtonsMask) == kBoxYesNo;
  if (!hasDisplay_) {
    const bool endsLine = !text.empty() && text.back() == '\n';
    g_printerr("%s: %s%s", caption.c_str(), text.c_str(), endsLine ? "" : "\n");
    return yesNo ? kAnswerNo : kAnswerOk;
  }

  const GtkMessageType type = MessageTypeForStyle(style);
  // A box whose owner has gone stands alone.
  GtkWindow* ownerWindow = IsLiveWindow(owner) ? GTK_WINDOW(owner) : nullptr;
  GtkMessageDialog* dialog = NewMessageDialog(ownerWindow, type, yesNo ? GTK_BUTTONS_YES_NO : GTK_BUTTONS_OK, text);
  GtkWindow* window = GTK_WINDOW(dialog);
  gtk_window_set_title(window, caption.c_str());
  ShowTypeIcon(dialog, type, caption);
  // An unowned box stands alone, so it is found in the task bar.
  gtk_window_set_skip_taskbar_hint(window, ownerWindow != nullptr ? TRUE : FALSE);
  gtk_window_set_position(window, ownerWindow != nullptr ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);

  // Focus starts on the first button, not in the selectable text, which
  // would otherwise come up all selected.
  const gint first = yesNo ? GTK_RESPONSE_YES : GTK_RESPONSE_OK;
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), first);
  if (GtkWidget* button = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), first)) {
    gtk_widget_grab_focus(button);
  }

  const gint response = gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(GTK_WIDGET(dialog));
  // Closing the box counts as the harmless answer.
  if (yesNo) return response == GTK_RESPONSE_YES ? kAnswerYes : kAnswerNo;
  return kAnswerOk;
}

int GtkPlatform::ShowMessageBox(WindowHandle owner, const std::u16string& text, const std::u16string& caption,
                                uint32_t style) {
  return ShowBox(owner, DisplayUtf8FromUtf16(text), DisplayUtf8FromUtf16(caption), style);
}

void GtkPlatform::ShowNarrowMessageBox(const std::string& text, const std::string& caption) {
  ShowBox(nullptr, AsUtf8(text), AsUtf8(caption), kBoxPlain);
}

MessageFontWidths GtkPlatform::MeasureMessageFont(const std::u16string& piece) {
  // Without a display the text goes to a terminal, where the fallback of
  // one blank per character is the right measure.
  if (!hasDisplay_) return {};
  GtkMessageDialog* dialog = NewMessageDialog(nullptr, GTK_MESSAGE_OTHER, GTK_BUTTONS_OK, std::string());
  MessageFontWidths widths;
  if (GtkLabel* label = MessageLabel(dialog)) {
    // A copy keeps the label's font and attributes without touching the
    // label; unlimited in width, as the label's own width would wrap it.
    PangoLayout* layout = pango_layout_copy(gtk_label_get_layout(label));
    pango_layout_set_width(layout, -1);
    const std::string text = DisplayUtf8FromUtf16(piece);
    pango_layout_set_text(layout, text.c_str(), -1);
    PangoRectangle logical{};
    pango_layout_get_pixel_extents(layout, nullptr, &logical);
    widths.pieceWidth = logical.width;
    // The blank is measured where blanks from tabs end up: at the start of a
    // line, in front of text. A blank on its own may be set in another font
    // (in a Japanese locale, the Japanese one), wider than the blanks shown.
    const std::string blankFirst = " " + text;
    pango_layout_set_text(layout, blankFirst.c_str(), -1);
    PangoRectangle blank{};
    pango_layout_index_to_pos(layout, 0, &blank);
    widths.spaceWidth = static_cast<float>(blank.width) / static_cast<float>(PANGO_SCALE);
    g_object_unref(layout);
  }
  gtk_widget_destroy(GTK_WIDGET(dialog));
  return widths;
}

// ---- Registry-style values ----------------------------------------------------

namespace {

std::u16string WebKitVersion() {
  const std::string version = std::to_string(webkit_get_major_version()) + "." +
                              std::to_string(webkit_get_minor_version()) + "." +
                              std::to_string(webkit_get_micro_version());
  return Utf16FromUtf8(version);
}

// The primary monitor, or the first one where none is marked primary.
GdkMonitor* PrimaryMonitor() {
  GdkDisplay* display = gdk_display_get_default();
  if (display == nullptr) return nullptr;
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  return monitor != nullptr ? monitor : gdk_display_get_monitor(display, 0);
}

// Windows scales by DPI, GDK by a whole factor: 96 DPI per step.
std::optional<uint32_t> AppliedDpi() {
  GdkMonitor* monitor = PrimaryMonitor();
  if (monitor == nullptr) return std::nullopt;
  const int scale = gdk_monitor_get_scale_factor(monitor);
  if (scale <= 0) return std::nullopt;
  return static_cast<uint32_t>(96 * scale);
}

// The registry values the program reads, answered by what stands in for
// them on Linux. Every other value is absent.
template <typename Value>
struct RegistryStandIn {
  RegistryRoot root;
  std::u16string_view subkey;
  std::u16string_view valueName;
  Value (*read)();

  // Key and value names are case-insensitive, as in the registry.
  bool Answers(RegistryRoot r, const std::u16string& key, const std::u16string& name) const {
    return root == r && EqualsIgnoringCase(subkey, key) && EqualsIgnoringCase(valueName, name);
  }
};

constexpr std::array<RegistryStandIn<std::u16string>, 1> kRegistryStrings = {{
    // The WebView2 runtime's version: the web engine that is actually here.
    {RegistryRoot::LocalMachine,
     u"SOFTWARE\\WOW6432Node\\Microsoft\\EdgeUpdate\\Clients\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}", u"pv",
     WebKitVersion},
}};

constexpr std::array<RegistryStandIn<std::optional<uint32_t>>, 1> kRegistryDwords = {{
    // The display's DPI, from which the zoom is adjusted.
    {RegistryRoot::CurrentUser, u"Control Panel\\Desktop\\WindowMetrics", u"AppliedDPI", AppliedDpi},
}};

}  // namespace

RegistryString GtkPlatform::ReadRegistryString(RegistryRoot root, const std::u16string& subkey,
                                               const std::u16string& valueName) {
  for (const auto& standIn : kRegistryStrings) {
    if (standIn.Answers(root, subkey, valueName)) {
      return RegistryString{RegistryString::State::Present, standIn.read()};
    }
  }
  return RegistryString{};
}

std::optional<uint32_t> GtkPlatform::ReadRegistryDword(RegistryRoot root, const std::u16string& subkey,
                                                       const std::u16string& valueName) {
  for (const auto& standIn : kRegistryDwords) {
    if (standIn.Answers(root, subkey, valueName)) return standIn.read();
  }
  return std::nullopt;
}

// ---- Display ------------------------------------------------------------------

std::optional<Rect> GtkPlatform::WorkArea() {
  if (!hasDisplay_) return std::nullopt;
  GdkMonitor* monitor = PrimaryMonitor();
  if (monitor == nullptr) return std::nullopt;
  GdkRectangle area{};
  gdk_monitor_get_workarea(monitor, &area);
  return Rect{area.x, area.y, area.x + area.width, area.y + area.height};
}

ScreenSize GtkPlatform::PrimaryScreenSize() {
  if (!hasDisplay_) return {};
  GdkMonitor* monitor = PrimaryMonitor();
  if (monitor == nullptr) return {};
  GdkRectangle geometry{};
  gdk_monitor_get_geometry(monitor, &geometry);
  return ScreenSize{geometry.width, geometry.height};
}

// ---- Files --------------------------------------------------------------------

bool GtkPlatform::PathExists(const std::u16string& path) {
  const std::optional<std::string> name = FileNameFromUtf16(path);
  return name && g_file_test(name->c_str(), G_FILE_TEST_EXISTS);
}

std::optional<std::u16string> GtkPlatform::FullPath(const std::u16string& path) {
  const std::optional<std::string> name = FileNameFromUtf16(path);
  if (!name) return std::nullopt;
  // Made absolute against the current folder, "." and ".." folded away
  // without following links, as _wfullpath does.
  g_autofree gchar* full = g_canonicalize_filename(name->c_str(), nullptr);
  g_autofree gchar* utf8 = g_filename_to_utf8(full, -1, nullptr, nullptr, nullptr);
  if (utf8 == nullptr) return std::nullopt;
  return Utf16FromUtf8(utf8);
}

}  // namespace vistrel
