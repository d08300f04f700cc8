// Starts vistrel.exe, reads back every message box it shows, answers it,
// reads back its main window and closes it, and reports what happened as one
// JSON object (UTF-8) on standard output.
//
//   vistrel-test-driver --exe PATH [--arg xHEX]... [--press OK|YES|NO|CANCEL]...
//                       [--timeout MS] [--measure xHEX] [--window close|wait]
//                       [--env xHEX]... [--unset NAME]... [--shortcut xHEX]
//                       [--lock xHEX] [--watch xHEX]... [--delete xHEX]...
//                       [--icon-colour RRGGBB]... [--show SW] [--cwd xHEX]
//   vistrel-test-driver --probe
//   vistrel-test-driver --make-shortcut xHEX --arg xHEX --arg xHEX --arg xHEX
//   vistrel-test-driver --inspect xHEX [--export NAME]...
//
// Arguments for vistrel travel as "x" followed by the hex digits of their
// UTF-8 bytes, so that empty ones, blanks and non-ASCII text reach this
// program exactly, whatever the caller's shell or Wine make of a command line.
// They are then quoted for CreateProcessW by the rules CommandLineToArgvW
// reverses.
//
// The main window (class "vistrel") is read once it is visible and its
// message loop runs: title, rectangle, restored rectangle, style, maximised,
// and how many pixels of each --icon-colour the caption shows where the
// window's small icon goes (Wine answers no WM_GETICON from another process,
// so the icon is looked for on the screen). Then, with --window close (the
// default), WM_CLOSE is posted; with --window wait it is left to go by
// itself. --watch names paths whose existence is reported at that moment;
// --delete names files deleted right after it. --lock holds a file open, shared with nobody, for the whole run.
// --env NAME=VALUE and --unset NAME change the environment vistrel starts
// with; --shortcut starts it as a shell shortcut of that path would; --show
// gives it a start-up show command (SW_ value) as a shortcut's "Run" setting does;
// --cwd the folder it starts in. A box's report names its owner window's class.
//
// --probe reports the interface language, the locale, the work area, the
// screen, the folders and icons the program's defaults name, and the
// runtime's registered version values as a program sees them in this
// environment.
// --make-shortcut saves a shell shortcut at the given path to the program
// named by the first --arg, with the icon location of the other two (path
// and index; an empty path leaves the shortcut without one).
// --measure reports how many blanks span the given text in the message-box
// font, measured here with the same GDI calls, independently of vistrel.
// --inspect reads a program or library file as Windows does: its version
// resource (GetFileVersionInfoW, VerQueryValueW), its application manifest,
// how many icons it holds, and whether it exports each --export name.
#include <windows.h>

#include <objbase.h>
#include <shellapi.h>
#include <shobjidl.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "json_text.h"

namespace {

constexpr int kMessageTextId = 0xFFFF;  // the static holding the message
constexpr int kMessageIconId = 0x440;   // the static holding the icon
constexpr DWORD kDefaultTimeoutMs = 10000;
constexpr DWORD kPollMs = 15;
constexpr DWORD kSendTimeoutMs = 2000;
constexpr size_t kMaxBoxes = 8;  // a program that keeps showing boxes is stopped
constexpr UINT kTerminatedExitCode = 0xDEAD;
constexpr UINT kNonClientMetricsSize = 504;
constexpr wchar_t kMainWindowClass[] = L"vistrel";
constexpr wchar_t kDefaultIcon[] = L"%SystemRoot%\\System32\\shell32.dll";
constexpr UINT kDefaultIconIndex = 220;
constexpr DWORD kIconPaintWaitMs = 1000;  // for the caption to show an icon of the colours asked for

constexpr wchar_t kRuntimeMachineKey[] =
    L"SOFTWARE\\WOW6432Node\\Microsoft\\EdgeUpdate\\Clients\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";
constexpr wchar_t kRuntimeMachineNativeKey[] =
    L"SOFTWARE\\Microsoft\\EdgeUpdate\\Clients\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";
constexpr wchar_t kRuntimeUserKey[] =
    L"Software\\Microsoft\\EdgeUpdate\\Clients\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";
// Where an installed runtime registers its folder ("EBWebView"), in the 32-bit view.
constexpr wchar_t kRuntimeFolderMachineKey[] =
    L"SOFTWARE\\WOW6432Node\\Microsoft\\EdgeUpdate\\ClientState\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";
constexpr wchar_t kRuntimeFolderUserKey[] =
    L"Software\\Microsoft\\EdgeUpdate\\ClientState\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";

// ---------------------------------------------------------------- JSON output

// Builds one object member by member; values are already JSON.
class JsonObject {
 public:
  JsonObject& Add(const char* name, const std::string& json) {
    text_ += text_.empty() ? "{" : ",";
    text_ += "\"";
    text_ += name;
    text_ += "\":";
    text_ += json;
    return *this;
  }
  JsonObject& Add(const char* name, const std::wstring& value) { return Add(name, JsonString(value)); }
  JsonObject& Add(const char* name, const wchar_t* value) { return Add(name, JsonString(value)); }
  JsonObject& Add(const char* name, bool value) { return Add(name, std::string(value ? "true" : "false")); }
  JsonObject& Add(const char* name, long long value) { return Add(name, std::to_string(value)); }
  JsonObject& Add(const char* name, double value) {
    char number[64];
    snprintf(number, sizeof number, "%.9g", value);
    return Add(name, std::string(number));
  }
  std::string Json() const { return text_.empty() ? "{}" : text_ + "}"; }

 private:
  std::string text_;
};

std::string JsonArray(const std::vector<std::string>& items) {
  std::string text = "[";
  for (size_t i = 0; i < items.size(); ++i) text += (i ? "," : "") + items[i];
  return text + "]";
}

void Emit(const std::string& json) {
  const std::string line = json + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

int Fail(const std::wstring& why) {
  Emit(JsonObject().Add("error", why).Json());
  return 2;
}

// ------------------------------------------------------------ argument input

std::optional<std::wstring> DecodeHexArgument(const std::wstring& coded) {
  if (coded.empty() || coded[0] != L'x' || coded.size() % 2 == 0) return std::nullopt;
  std::string bytes;
  for (size_t i = 1; i + 1 < coded.size(); i += 2) {
    unsigned value = 0;
    for (size_t j = i; j < i + 2; ++j) {
      const wchar_t c = coded[j];
      value <<= 4;
      if (c >= L'0' && c <= L'9') value |= static_cast<unsigned>(c - L'0');
      else if (c >= L'a' && c <= L'f') value |= static_cast<unsigned>(c - L'a' + 10);
      else if (c >= L'A' && c <= L'F') value |= static_cast<unsigned>(c - L'A' + 10);
      else return std::nullopt;
    }
    bytes += static_cast<char>(value);
  }
  if (bytes.empty()) return std::wstring();
  const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                       nullptr, 0);
  if (size <= 0) return std::nullopt;
  std::wstring text(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), text.data(), size);
  return text;
}

// One argument as CommandLineToArgvW will split it back: quoted when empty or
// holding white space or quotes; backslashes doubled only before a quote.
std::wstring QuoteArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) return argument;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') {
      quoted.append(backslashes * 2 + 1, L'\\');
    } else {
      quoted.append(backslashes, L'\\');
    }
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  quoted += L'"';
  return quoted;
}

struct Request {
  std::wstring exe;
  std::vector<std::wstring> arguments;
  std::vector<int> presses;
  DWORD timeoutMs = kDefaultTimeoutMs;
  std::optional<std::wstring> measure;
  bool probe = false;
  std::optional<std::wstring> makeShortcut;
  bool closeWindow = true;
  std::vector<std::wstring> setVariables;    // NAME=VALUE
  std::vector<std::wstring> unsetVariables;  // NAME
  std::optional<std::wstring> shortcut;
  std::optional<std::wstring> lock;
  std::optional<std::wstring> folder;  // the folder vistrel starts in
  std::vector<std::wstring> watch;
  std::vector<std::wstring> remove;
  std::vector<COLORREF> iconColours;
  std::optional<WORD> show;
  std::optional<std::wstring> inspect;
  std::vector<std::string> exports;
};

std::optional<int> ButtonId(const std::wstring& name) {
  if (name == L"OK") return IDOK;
  if (name == L"YES") return IDYES;
  if (name == L"NO") return IDNO;
  if (name == L"CANCEL") return IDCANCEL;
  return std::nullopt;
}

const wchar_t* ButtonName(int id) {
  switch (id) {
    case IDOK: return L"OK";
    case IDCANCEL: return L"CANCEL";
    case IDABORT: return L"ABORT";
    case IDRETRY: return L"RETRY";
    case IDIGNORE: return L"IGNORE";
    case IDYES: return L"YES";
    case IDNO: return L"NO";
    case IDHELP: return L"HELP";
    case IDTRYAGAIN: return L"TRYAGAIN";
    case IDCONTINUE: return L"CONTINUE";
    default: return L"?";
  }
}

// Returns the reason when the arguments make no request.
std::optional<std::wstring> ReadRequest(int argc, wchar_t** argv, Request& request) {
  for (int i = 1; i < argc; ++i) {
    const std::wstring option = argv[i];
    if (option == L"--probe") {
      request.probe = true;
      continue;
    }
    if (i + 1 >= argc) return L"missing value after " + option;
    const std::wstring value = argv[++i];
    if (option == L"--exe") {
      request.exe = value;
    } else if (option == L"--arg" || option == L"--measure" || option == L"--env" || option == L"--shortcut" ||
               option == L"--lock" || option == L"--watch" || option == L"--delete" ||
               option == L"--make-shortcut" || option == L"--inspect" || option == L"--cwd") {
      const std::optional<std::wstring> decoded = DecodeHexArgument(value);
      if (!decoded) return L"bad hex text: " + value;
      if (option == L"--arg") request.arguments.push_back(*decoded);
      else if (option == L"--measure") request.measure = *decoded;
      else if (option == L"--env") request.setVariables.push_back(*decoded);
      else if (option == L"--shortcut") request.shortcut = *decoded;
      else if (option == L"--lock") request.lock = *decoded;
      else if (option == L"--watch") request.watch.push_back(*decoded);
      else if (option == L"--delete") request.remove.push_back(*decoded);
      else if (option == L"--inspect") request.inspect = *decoded;
      else if (option == L"--cwd") request.folder = *decoded;
      else request.makeShortcut = *decoded;
    } else if (option == L"--icon-colour") {
      const unsigned long rgb = wcstoul(value.c_str(), nullptr, 16);
      request.iconColours.push_back(RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF));
    } else if (option == L"--export") {
      request.exports.push_back(std::string(value.begin(), value.end()));
    } else if (option == L"--show") {
      request.show = static_cast<WORD>(wcstoul(value.c_str(), nullptr, 10));
    } else if (option == L"--unset") {
      request.unsetVariables.push_back(value);
    } else if (option == L"--window") {
      if (value != L"close" && value != L"wait") return L"unknown window action: " + value;
      request.closeWindow = value == L"close";
    } else if (option == L"--press") {
      const std::optional<int> id = ButtonId(value);
      if (!id) return L"unknown button: " + value;
      request.presses.push_back(*id);
    } else if (option == L"--timeout") {
      request.timeoutMs = static_cast<DWORD>(wcstoul(value.c_str(), nullptr, 10));
    } else {
      return L"unknown option: " + option;
    }
  }
  if (!request.probe && !request.makeShortcut && !request.inspect && request.exe.empty()) {
    return std::wstring(L"--exe is required");
  }
  return std::nullopt;
}

// ------------------------------------------------------- reading the screen

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

// WM_GETTEXT is marshalled across processes, unlike a control's text read
// with GetWindowTextW, which other processes may not get.
std::wstring TextOf(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length)) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                           kSendTimeoutMs, &copied)) {
    return {};
  }
  text.resize(static_cast<size_t>(copied));
  return text;
}

struct Button {
  int id = 0;
  HWND window = nullptr;
  std::wstring text;
};

struct Box {
  std::wstring title;
  std::wstring text;
  bool textControl = false;
  bool iconControl = false;
  bool iconVisible = false;
  bool iconHandle = false;
  RECT iconRect{};
  std::vector<Button> buttons;
  bool owned = false;
  std::wstring ownerClass;  // the owner window's class, empty without one
  std::wstring pressed;
  DWORD shownAfterMs = 0;
};

BOOL CALLBACK CollectButton(HWND child, LPARAM context) {
  auto& buttons = *reinterpret_cast<std::vector<Button>*>(context);
  if (GetParent(child) != nullptr && ClassOf(child) == L"Button" && IsWindowVisible(child)) {
    buttons.push_back(Button{GetDlgCtrlID(child), child, TextOf(child)});
  }
  return TRUE;
}

Box ReadBox(HWND dialog) {
  Box box;
  box.title = TextOf(dialog);
  const HWND owner = GetWindow(dialog, GW_OWNER);
  box.owned = owner != nullptr;
  if (owner != nullptr) box.ownerClass = ClassOf(owner);
  if (HWND text = GetDlgItem(dialog, kMessageTextId)) {
    box.textControl = true;
    box.text = TextOf(text);
  }
  if (HWND icon = GetDlgItem(dialog, kMessageIconId)) {
    box.iconControl = true;
    box.iconVisible = IsWindowVisible(icon) != FALSE;
    DWORD_PTR handle = 0;
    SendMessageTimeoutW(icon, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &handle);
    box.iconHandle = handle != 0;
    GetWindowRect(icon, &box.iconRect);
  }
  EnumChildWindows(dialog, CollectButton, reinterpret_cast<LPARAM>(&box.buttons));
  return box;
}

std::string BoxJson(const Box& box) {
  std::vector<std::string> buttons;
  for (const Button& b : box.buttons) {
    buttons.push_back(JsonObject()
                          .Add("id", static_cast<long long>(b.id))
                          .Add("name", ButtonName(b.id))
                          .Add("text", b.text)
                          .Json());
  }
  const long long iconWidth = box.iconRect.right - box.iconRect.left;
  const long long iconHeight = box.iconRect.bottom - box.iconRect.top;
  return JsonObject()
      .Add("title", box.title)
      .Add("text", box.text)
      .Add("textControl", box.textControl)
      .Add("icon", box.iconControl && box.iconVisible && box.iconHandle)
      .Add("iconControl", box.iconControl)
      .Add("iconVisible", box.iconVisible)
      .Add("iconHandle", box.iconHandle)
      .Add("iconSize", JsonArray({std::to_string(iconWidth), std::to_string(iconHeight)}))
      .Add("owned", box.owned)
      .Add("ownerClass", box.ownerClass)
      .Add("buttons", JsonArray(buttons))
      .Add("pressed", box.pressed)
      .Add("shownAfterMs", static_cast<long long>(box.shownAfterMs))
      .Json();
}

struct ProcessWindows {
  DWORD processId = 0;
  HWND box = nullptr;               // a visible dialog of that process
  std::vector<HWND> mains;          // its visible windows of the program's class
  std::vector<HWND> others;         // its other visible top-level windows
};

BOOL CALLBACK FindProcessWindows(HWND window, LPARAM context) {
  auto& found = *reinterpret_cast<ProcessWindows*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != found.processId || !IsWindowVisible(window)) return TRUE;
  const std::wstring name = ClassOf(window);
  if (name == L"#32770") {
    if (found.box == nullptr) found.box = window;
  } else if (name == kMainWindowClass) {
    found.mains.push_back(window);
  } else {
    found.others.push_back(window);
  }
  return TRUE;
}

std::string RectJson(const RECT& rect) {
  return JsonArray({std::to_string(rect.left), std::to_string(rect.top), std::to_string(rect.right - rect.left),
                    std::to_string(rect.bottom - rect.top)});
}

// Pixels of each colour on the screen in the caption's left end, where the
// small icon is drawn.
std::vector<long long> CountCaptionColours(HWND window, const std::vector<COLORREF>& colours) {
  std::vector<long long> counts(colours.size(), 0);
  RECT rect{};
  GetWindowRect(window, &rect);
  const int caption = GetSystemMetrics(SM_CYCAPTION);
  const int width = 4 * caption;
  const int height = 2 * caption;
  const int left = rect.left > 0 ? rect.left : 0;
  const int top = rect.top > 0 ? rect.top : 0;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap != nullptr && memory != nullptr) {
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, left, top, SRCCOPY);
    GdiFlush();
    const auto* pixels = static_cast<const DWORD*>(bits);
    for (int i = 0; i < width * height; ++i) {
      // DIB pixels are 0x00RRGGBB, COLORREF is 0x00BBGGRR.
      const DWORD p = pixels[i];
      const COLORREF colour = RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
      for (size_t c = 0; c < colours.size(); ++c) counts[c] += colour == colours[c];
    }
    SelectObject(memory, previous);
  }
  if (bitmap != nullptr) DeleteObject(bitmap);
  if (memory != nullptr) DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return counts;
}

// Waits a little for the caption to be painted with one of the colours.
std::string CaptionColoursJson(HWND window, const std::vector<COLORREF>& colours) {
  std::vector<long long> counts(colours.size(), 0);
  const long long enough = GetSystemMetrics(SM_CXSMICON) * GetSystemMetrics(SM_CYSMICON) / 2;
  const DWORD until = GetTickCount() + kIconPaintWaitMs;
  while (!colours.empty()) {
    counts = CountCaptionColours(window, colours);
    bool seen = false;
    for (long long count : counts) seen = seen || count >= enough;
    if (seen || static_cast<LONG>(GetTickCount() - until) >= 0) break;
    Sleep(kPollMs);
  }
  JsonObject json;
  for (size_t c = 0; c < colours.size(); ++c) {
    char name[8];
    snprintf(name, sizeof name, "%02x%02x%02x", GetRValue(colours[c]), GetGValue(colours[c]), GetBValue(colours[c]));
    json.Add(name, counts[c]);
  }
  return json.Json();
}

// The main window as the user sees it. Rectangles are [x, y, width, height].
std::string MainWindowJson(HWND window, const std::vector<std::wstring>& watch,
                           const std::vector<COLORREF>& iconColours) {
  RECT rect{};
  GetWindowRect(window, &rect);
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  GetWindowPlacement(window, &placement);
  std::vector<std::string> paths;
  for (const std::wstring& path : watch) {
    paths.push_back(JsonObject()
                        .Add("path", path)
                        .Add("exists", GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
                        .Json());
  }
  return JsonObject()
      .Add("class", ClassOf(window))
      .Add("title", TextOf(window))
      .Add("rect", RectJson(rect))
      .Add("normalRect", RectJson(placement.rcNormalPosition))
      .Add("style", static_cast<long long>(static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE))))
      .Add("exStyle", static_cast<long long>(static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE))))
      .Add("maximized", IsZoomed(window) != FALSE)
      .Add("iconColours", CaptionColoursJson(window, iconColours))
      .Add("paths", JsonArray(paths))
      .Json();
}

// ------------------------------------------------------------- measurement

std::string MeasureJson(const std::wstring& piece) {
  HDC dc = GetDC(nullptr);
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = kNonClientMetricsSize;
  const BOOL haveMetrics = SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, kNonClientMetricsSize, &metrics, 0);
  HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
  HGDIOBJ previous = SelectObject(dc, font);
  SIZE extent{};
  GetTextExtentPoint32W(dc, piece.c_str(), static_cast<int>(piece.size()), &extent);
  ABCFLOAT abc{};
  GetCharABCWidthsFloatW(dc, 32, 32, &abc);
  wchar_t face[LF_FACESIZE] = {};
  GetTextFaceW(dc, LF_FACESIZE, face);
  SelectObject(dc, previous);
  DeleteObject(font);
  ReleaseDC(nullptr, dc);

  const float blank = abc.abcfA + abc.abcfB + abc.abcfC;
  const long long spaces = blank > 0.0f ? static_cast<long long>(static_cast<float>(extent.cx) / blank) : -1;
  return JsonObject()
      .Add("piece", piece)
      .Add("metrics", haveMetrics != FALSE)
      .Add("fontFace", std::wstring(metrics.lfMessageFont.lfFaceName))
      .Add("selectedFace", std::wstring(face))
      .Add("fontHeight", static_cast<long long>(metrics.lfMessageFont.lfHeight))
      .Add("pieceWidth", static_cast<long long>(extent.cx))
      .Add("spaceWidth", static_cast<double>(blank))
      .Add("spaces", spaces)
      .Json();
}

// A value the runtime's installation sets ("pv" by default) as a test set it: null when absent,
// else its registry type and its text (a DWORD as a decimal number).
std::string RegistryValueJson(HKEY root, const wchar_t* subkey, const wchar_t* name = L"pv") {
  DWORD type = 0;
  DWORD size = 0;
  if (RegGetValueW(root, subkey, name, RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, &size) != ERROR_SUCCESS) {
    return "null";
  }
  std::vector<BYTE> data(size + sizeof(wchar_t), 0);
  DWORD bytes = static_cast<DWORD>(data.size());
  if (RegGetValueW(root, subkey, name, RRF_RT_ANY | RRF_NOEXPAND, &type, data.data(), &bytes) != ERROR_SUCCESS) {
    return "null";
  }
  std::wstring text;
  if (type == REG_DWORD && bytes >= sizeof(DWORD)) {
    DWORD number = 0;
    memcpy(&number, data.data(), sizeof number);
    text = std::to_wstring(number);
  } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
    text.assign(reinterpret_cast<const wchar_t*>(data.data()), bytes / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
  }
  return JsonObject().Add("type", static_cast<long long>(type)).Add("text", text).Json();
}

std::wstring Variable(const wchar_t* name) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return {};
  std::wstring value(size, L'\0');
  value.resize(GetEnvironmentVariableW(name, value.data(), size));
  return value;
}

std::wstring Expanded(const wchar_t* text) {
  const DWORD size = ExpandEnvironmentStringsW(text, nullptr, 0);
  std::wstring value(size, L'\0');
  ExpandEnvironmentStringsW(text, value.data(), size);
  value.resize(wcsnlen(value.data(), value.size()));
  return value;
}

// Whether the file holds an icon at that index, as the shell extracts it.
bool IconAt(const std::wstring& path, UINT index) {
  HICON icon = ExtractIconW(GetModuleHandleW(nullptr), path.c_str(), index);
  if (reinterpret_cast<UINT_PTR>(icon) <= 1) return false;
  DestroyIcon(icon);
  return true;
}

LRESULT CALLBACK PlainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, message, wParam, lParam);
}

// The rectangle the system gives a maximised window of that style when its
// program leaves the limits alone.
std::string MaximizedRectJson(DWORD style) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = PlainWindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"vistrel-test-plain";
  RegisterClassW(&windowClass);
  HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"", style, 0, 0, 300, 200, nullptr, nullptr,
                                windowClass.hInstance, nullptr);
  if (window == nullptr) return "null";
  ShowWindow(window, SW_MAXIMIZE);
  RECT rect{};
  GetWindowRect(window, &rect);
  DestroyWindow(window);
  return RectJson(rect);
}

int Probe() {
  RECT area{};
  const BOOL haveArea = SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  wchar_t locale[LOCALE_NAME_MAX_LENGTH] = {};
  GetUserDefaultLocaleName(locale, LOCALE_NAME_MAX_LENGTH);
  std::string workArea = "null";
  if (haveArea) {
    workArea = JsonArray({std::to_string(area.left), std::to_string(area.top), std::to_string(area.right),
                          std::to_string(area.bottom)});
  }
  Emit(JsonObject()
           .Add("userDefaultUILanguage", static_cast<long long>(GetUserDefaultUILanguage()))
           .Add("systemDefaultUILanguage", static_cast<long long>(GetSystemDefaultUILanguage()))
           .Add("userDefaultLangID", static_cast<long long>(GetUserDefaultLangID()))
           .Add("userDefaultLocaleName", std::wstring(locale))
           .Add("workArea", workArea)
           .Add("screen", JsonArray({std::to_string(GetSystemMetrics(SM_CXSCREEN)),
                                     std::to_string(GetSystemMetrics(SM_CYSCREEN))}))
           .Add("maximized", JsonObject()
                                 .Add("normal", MaximizedRectJson(WS_OVERLAPPEDWINDOW))
                                 .Add("fixed", MaximizedRectJson(WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX))
                                 .Json())
           .Add("maxTrack", JsonArray({std::to_string(GetSystemMetrics(SM_CXMAXTRACK)),
                                       std::to_string(GetSystemMetrics(SM_CYMAXTRACK))}))
           .Add("minTrack", JsonArray({std::to_string(GetSystemMetrics(SM_CXMINTRACK)),
                                       std::to_string(GetSystemMetrics(SM_CYMINTRACK))}))
           .Add("temp", Variable(L"TEMP"))
           .Add("tmp", Variable(L"TMP"))
           .Add("localAppData", Variable(L"LOCALAPPDATA"))
           .Add("defaultIcon", Expanded(kDefaultIcon))
           .Add("defaultIconPresent", IconAt(Expanded(kDefaultIcon), kDefaultIconIndex))
           .Add("defaultIconCount", static_cast<long long>(reinterpret_cast<UINT_PTR>(
                                        ExtractIconW(GetModuleHandleW(nullptr), Expanded(kDefaultIcon).c_str(),
                                                     static_cast<UINT>(-1)))))
           .Add("machinePv", RegistryValueJson(HKEY_LOCAL_MACHINE, kRuntimeMachineKey))
           .Add("machineNativePv", RegistryValueJson(HKEY_LOCAL_MACHINE, kRuntimeMachineNativeKey))
           .Add("userPv", RegistryValueJson(HKEY_CURRENT_USER, kRuntimeUserKey))
           .Add("engineMachineEBWebView", RegistryValueJson(HKEY_LOCAL_MACHINE, kRuntimeFolderMachineKey, L"EBWebView"))
           .Add("engineUserEBWebView", RegistryValueJson(HKEY_CURRENT_USER, kRuntimeFolderUserKey, L"EBWebView"))
           .Json());
  return 0;
}

// ---------------------------------------------------------------- shortcut

int MakeShortcut(const std::wstring& path, const std::vector<std::wstring>& arguments) {
  if (arguments.size() != 3) return Fail(L"--make-shortcut needs target, icon path and icon index");
  const int index = _wtoi(arguments[2].c_str());
  HRESULT result = CoInitialize(nullptr);
  const bool initialised = SUCCEEDED(result);
  IShellLinkW* link = nullptr;
  IPersistFile* file = nullptr;
  if (SUCCEEDED(result)) {
    result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link));
  }
  if (SUCCEEDED(result)) result = link->SetPath(arguments[0].c_str());
  if (SUCCEEDED(result) && !arguments[1].empty()) result = link->SetIconLocation(arguments[1].c_str(), index);
  if (SUCCEEDED(result)) result = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  if (SUCCEEDED(result)) result = file->Save(path.c_str(), TRUE);
  // Read back what a program started from it will find.
  wchar_t icon[1024] = {};
  int readIndex = 0;
  if (SUCCEEDED(result)) result = link->GetIconLocation(icon, 1024, &readIndex);
  if (file != nullptr) file->Release();
  if (link != nullptr) link->Release();
  if (initialised) CoUninitialize();
  if (FAILED(result)) return Fail(L"saving the shortcut failed with " + std::to_wstring(static_cast<long>(result)));
  Emit(JsonObject().Add("shortcut", path).Add("iconPath", std::wstring(icon))
           .Add("iconIndex", static_cast<long long>(readIndex)).Json());
  return 0;
}

// ------------------------------------------------------------- inspection

// One string of the version resource's first translation; null when absent.
std::string VersionStringJson(const std::vector<BYTE>& block, const std::wstring& translation, const wchar_t* name) {
  const std::wstring path = L"\\StringFileInfo\\" + translation + L"\\" + name;
  void* value = nullptr;
  UINT units = 0;
  if (!VerQueryValueW(block.data(), path.c_str(), &value, &units) || value == nullptr) return "null";
  return JsonString(std::wstring(static_cast<const wchar_t*>(value), wcsnlen(static_cast<const wchar_t*>(value), units)));
}

std::string VersionJson(const std::wstring& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return "null";
  std::vector<BYTE> block(size, 0);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return "null";
  JsonObject json;
  void* value = nullptr;
  UINT bytes = 0;
  if (VerQueryValueW(block.data(), L"\\", &value, &bytes) && bytes >= sizeof(VS_FIXEDFILEINFO)) {
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    auto parts = [](DWORD high, DWORD low) {
      return JsonArray({std::to_string(HIWORD(high)), std::to_string(LOWORD(high)), std::to_string(HIWORD(low)),
                        std::to_string(LOWORD(low))});
    };
    json.Add("signature", static_cast<long long>(fixed->dwSignature))
        .Add("fileVersion", parts(fixed->dwFileVersionMS, fixed->dwFileVersionLS))
        .Add("productVersion", parts(fixed->dwProductVersionMS, fixed->dwProductVersionLS))
        .Add("fileFlags", static_cast<long long>(fixed->dwFileFlags & fixed->dwFileFlagsMask))
        .Add("fileOS", static_cast<long long>(fixed->dwFileOS))
        .Add("fileType", static_cast<long long>(fixed->dwFileType));
  }
  std::vector<std::string> translations;
  std::wstring first;
  if (VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &bytes)) {
    const auto* pairs = static_cast<const WORD*>(value);
    for (UINT i = 0; i + 1 < bytes / sizeof(WORD); i += 2) {
      translations.push_back(JsonArray({std::to_string(pairs[i]), std::to_string(pairs[i + 1])}));
      if (first.empty()) {
        wchar_t code[16];
        swprintf(code, 16, L"%04x%04x", pairs[i], pairs[i + 1]);
        first = code;
      }
    }
  }
  json.Add("translations", JsonArray(translations));
  JsonObject strings;
  for (const wchar_t* name : {L"ProductName", L"ProductVersion", L"FileVersion", L"FileDescription", L"InternalName",
                              L"OriginalFilename", L"CompanyName", L"LegalCopyright"}) {
    strings.Add(Utf8(name).c_str(), first.empty() ? std::string("null") : VersionStringJson(block, first, name));
  }
  return json.Add("strings", strings.Json()).Json();
}

// The application manifest (resource 1 of type RT_MANIFEST) as text.
std::string ManifestJson(const std::wstring& path) {
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (module == nullptr) return "null";
  std::string json = "null";
  if (HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
    const DWORD size = SizeofResource(module, found);
    HGLOBAL loaded = LoadResource(module, found);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes != nullptr) {
      const std::string text(static_cast<const char*>(bytes), size);
      const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
      std::wstring wide(static_cast<size_t>(units), L'\0');
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), units);
      json = JsonString(wide);
    }
  }
  FreeLibrary(module);
  return json;
}

int Inspect(const std::wstring& path, const std::vector<std::string>& exports) {
  JsonObject report;
  report.Add("path", path).Add("exists", GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES);
  report.Add("version", VersionJson(path)).Add("manifest", ManifestJson(path));
  report.Add("icons", static_cast<long long>(ExtractIconExW(path.c_str(), -1, nullptr, nullptr, 0)));
  JsonObject found;
  if (!exports.empty()) {
    // Mapped as an image without running its start-up code.
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    for (const std::string& name : exports) {
      found.Add(name.c_str(), module != nullptr && GetProcAddress(module, name.c_str()) != nullptr);
    }
    if (module != nullptr) FreeLibrary(module);
  }
  Emit(report.Add("exports", found.Json()).Json());
  return 0;
}

// ------------------------------------------------------------- environment

bool SameName(const std::wstring& entry, const std::wstring& name) {
  if (entry.size() <= name.size() || entry[name.size()] != L'=') return false;
  return CompareStringOrdinal(entry.c_str(), static_cast<int>(name.size()), name.c_str(),
                              static_cast<int>(name.size()), TRUE) == CSTR_EQUAL;
}

// This process's environment with the request's changes, as a block for
// CreateProcessW; empty when nothing changes, so that vistrel inherits it.
std::wstring EnvironmentBlock(const Request& request) {
  if (request.setVariables.empty() && request.unsetVariables.empty()) return {};
  std::vector<std::wstring> entries;
  if (wchar_t* strings = GetEnvironmentStringsW()) {
    for (const wchar_t* entry = strings; *entry != L'\0'; entry += wcslen(entry) + 1) entries.push_back(entry);
    FreeEnvironmentStringsW(strings);
  }
  auto drop = [&entries](const std::wstring& name) {
    std::vector<std::wstring> kept;
    for (const std::wstring& entry : entries) {
      // Entries such as "=C:=C:\\" name a drive's folder, never a variable.
      if (entry.empty() || entry[0] == L'=' || !SameName(entry, name)) kept.push_back(entry);
    }
    entries.swap(kept);
  };
  for (const std::wstring& name : request.unsetVariables) drop(name);
  for (const std::wstring& assignment : request.setVariables) {
    drop(assignment.substr(0, assignment.find(L'=')));
    entries.push_back(assignment);
  }
  std::wstring block;
  for (const std::wstring& entry : entries) block += entry + L'\0';
  return block + L'\0';
}

// --------------------------------------------------------------------- run

int Run(const Request& request) {
  std::wstring commandLine = QuoteArgument(request.exe);
  for (const std::wstring& argument : request.arguments) commandLine += L" " + QuoteArgument(argument);

  JsonObject report;
  report.Add("commandLine", commandLine);
  if (request.measure) report.Add("measure", MeasureJson(*request.measure));

  HANDLE locked = INVALID_HANDLE_VALUE;
  if (request.lock) {
    locked = CreateFileW(request.lock->c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (locked == INVALID_HANDLE_VALUE) return Fail(L"could not lock " + *request.lock);
  }

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  std::wstring shortcut = request.shortcut.value_or(L"");
  if (request.shortcut) {
    startup.dwFlags |= STARTF_TITLEISLINKNAME;
    startup.lpTitle = shortcut.data();
  }
  if (request.show) {
    startup.dwFlags |= STARTF_USESHOWWINDOW;
    startup.wShowWindow = *request.show;
  }
  std::wstring environment = EnvironmentBlock(request);
  PROCESS_INFORMATION process{};
  std::wstring mutableLine = commandLine;  // CreateProcessW may write into it
  if (!CreateProcessW(request.exe.c_str(), mutableLine.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                      environment.empty() ? nullptr : environment.data(),
                      request.folder ? request.folder->c_str() : nullptr, &startup, &process)) {
    const DWORD error = GetLastError();
    if (locked != INVALID_HANDLE_VALUE) CloseHandle(locked);
    return Fail(L"CreateProcessW failed with error " + std::to_wstring(error));
  }
  CloseHandle(process.hThread);

  const DWORD started = GetTickCount();
  std::vector<std::string> boxes;
  std::set<HWND> seenOthers;
  std::vector<std::string> others;
  std::set<HWND> seenMains;
  std::vector<std::string> mains;
  bool closePosted = false;
  bool timedOut = false;
  DWORD deadline = GetTickCount() + request.timeoutMs;
  for (;;) {
    if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) break;
    ProcessWindows found;
    found.processId = process.dwProcessId;
    EnumWindows(FindProcessWindows, reinterpret_cast<LPARAM>(&found));
    for (HWND window : found.others) {
      if (seenOthers.insert(window).second) {
        others.push_back(JsonObject().Add("class", ClassOf(window)).Add("title", TextOf(window)).Json());
      }
    }
    if (found.box == nullptr && !found.mains.empty() && seenMains.insert(found.mains.front()).second) {
      const HWND window = found.mains.front();
      // Once a sent message comes back, the program has finished creating
      // and showing the window and waits in its message loop.
      DWORD_PTR ignored = 0;
      SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &ignored);
      mains.push_back(MainWindowJson(window, request.watch, request.iconColours));
      for (const std::wstring& path : request.remove) DeleteFileW(path.c_str());
      if (request.closeWindow) {
        PostMessageW(window, WM_CLOSE, 0, 0);
        closePosted = true;
      }
      deadline = GetTickCount() + request.timeoutMs;
      continue;
    }
    if (found.box != nullptr) {
      const DWORD seenAt = GetTickCount() - started;
      // A thread that pumped no messages for a while (the clean-up's retries)
      // counts as hung, and reads that give up on hung threads would come
      // back empty: first wait until the box's thread answers.
      DWORD_PTR ignored = 0;
      SendMessageTimeoutW(found.box, WM_NULL, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &ignored);
      Box box = ReadBox(found.box);
      box.shownAfterMs = seenAt;
      const size_t index = boxes.size();
      // Answer as asked; past the list, or when the button is missing, take
      // the first button so that the run can go on and the report shows it.
      const int wanted = index < request.presses.size() ? request.presses[index] : IDOK;
      const Button* target = nullptr;
      for (const Button& b : box.buttons) {
        if (b.id == wanted) target = &b;
      }
      if (target == nullptr && !box.buttons.empty()) target = &box.buttons.front();
      if (target != nullptr) {
        box.pressed = ButtonName(target->id);
        PostMessageW(found.box, WM_COMMAND, MAKEWPARAM(target->id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(target->window));
      } else {
        PostMessageW(found.box, WM_CLOSE, 0, 0);
        box.pressed = L"CLOSE";
      }
      boxes.push_back(BoxJson(box));
      const HWND handled = found.box;
      const DWORD gone = GetTickCount() + request.timeoutMs;
      while (IsWindow(handled) && IsWindowVisible(handled) && static_cast<LONG>(GetTickCount() - gone) < 0) {
        Sleep(kPollMs);
      }
      if (boxes.size() >= kMaxBoxes) {
        timedOut = true;
        break;
      }
      deadline = GetTickCount() + request.timeoutMs;
      continue;
    }
    if (static_cast<LONG>(GetTickCount() - deadline) >= 0) {
      timedOut = true;
      break;
    }
    Sleep(kPollMs);
  }

  bool terminated = false;
  if (WaitForSingleObject(process.hProcess, 0) != WAIT_OBJECT_0) {
    terminated = true;
    TerminateProcess(process.hProcess, kTerminatedExitCode);
    WaitForSingleObject(process.hProcess, kSendTimeoutMs);
  }
  DWORD exitCode = 0;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hProcess);
  if (locked != INVALID_HANDLE_VALUE) CloseHandle(locked);

  report.Add("boxes", JsonArray(boxes))
      .Add("elapsedMs", static_cast<long long>(GetTickCount() - started))
      .Add("windows", JsonArray(mains))
      .Add("closePosted", closePosted)
      .Add("otherWindows", JsonArray(others))
      .Add("timedOut", timedOut)
      .Add("terminated", terminated)
      .Add("exitCode", static_cast<long long>(exitCode));
  Emit(report.Json());
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Request request;
  if (const std::optional<std::wstring> problem = ReadRequest(argc, argv, request)) return Fail(*problem);
  if (request.probe) return Probe();
  if (request.makeShortcut) return MakeShortcut(*request.makeShortcut, request.arguments);
  if (request.inspect) return Inspect(*request.inspect, request.exports);
  return Run(request);
}
