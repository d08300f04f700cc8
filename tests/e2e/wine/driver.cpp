// Starts vistrel.exe, reads back every message box it shows, answers it, and
// reports what happened as one JSON object (UTF-8) on standard output.
//
//   vistrel-test-driver --exe PATH [--arg xHEX]... [--press OK|YES|NO|CANCEL]...
//                       [--timeout MS] [--measure xHEX]
//   vistrel-test-driver --probe
//
// Arguments for vistrel travel as "x" followed by the hex digits of their
// UTF-8 bytes, so that empty ones, blanks and non-ASCII text reach this
// program exactly, whatever the caller's shell or Wine make of a command line.
// They are then quoted for CreateProcessW by the rules CommandLineToArgvW
// reverses.
//
// --probe reports the interface language, the locale, the work area and the
// runtime's registered version values as a program sees them in this
// environment.
// --measure reports how many blanks span the given text in the message-box
// font, measured here with the same GDI calls, independently of vistrel.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int kMessageTextId = 0xFFFF;  // the static holding the message
constexpr int kMessageIconId = 0x440;   // the static holding the icon
constexpr DWORD kDefaultTimeoutMs = 10000;
constexpr DWORD kPollMs = 15;
constexpr DWORD kSendTimeoutMs = 2000;
constexpr size_t kMaxBoxes = 8;  // a program that keeps showing boxes is stopped
constexpr UINT kTerminatedExitCode = 0xDEAD;
constexpr UINT kNonClientMetricsSize = 504;

constexpr wchar_t kRuntimeMachineKey[] =
    L"SOFTWARE\\WOW6432Node\\Microsoft\\EdgeUpdate\\Clients\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";
constexpr wchar_t kRuntimeMachineNativeKey[] =
    L"SOFTWARE\\Microsoft\\EdgeUpdate\\Clients\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";
constexpr wchar_t kRuntimeUserKey[] =
    L"Software\\Microsoft\\EdgeUpdate\\Clients\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";

// ---------------------------------------------------------------- JSON output

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                       nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

std::string Quoted(const std::wstring& text) {
  std::wstring escaped = L"\"";
  for (wchar_t c : text) {
    if (c == L'"' || c == L'\\') {
      escaped += L'\\';
      escaped += c;
    } else if (c < 0x20) {
      wchar_t code[8];
      swprintf(code, 8, L"\\u%04x", static_cast<unsigned>(c));
      escaped += code;
    } else {
      escaped += c;
    }
  }
  escaped += L'"';
  return Utf8(escaped);
}

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
  JsonObject& Add(const char* name, const std::wstring& value) { return Add(name, Quoted(value)); }
  JsonObject& Add(const char* name, const wchar_t* value) { return Add(name, Quoted(value)); }
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
    } else if (option == L"--arg" || option == L"--measure") {
      const std::optional<std::wstring> decoded = DecodeHexArgument(value);
      if (!decoded) return L"bad hex text: " + value;
      if (option == L"--arg") request.arguments.push_back(*decoded);
      else request.measure = *decoded;
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
  if (!request.probe && request.exe.empty()) return std::wstring(L"--exe is required");
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
  box.owned = GetWindow(dialog, GW_OWNER) != nullptr;
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
      .Add("buttons", JsonArray(buttons))
      .Add("pressed", box.pressed)
      .Add("shownAfterMs", static_cast<long long>(box.shownAfterMs))
      .Json();
}

struct ProcessWindows {
  DWORD processId = 0;
  HWND box = nullptr;               // a visible dialog of that process
  std::vector<HWND> others;         // its other visible top-level windows
};

BOOL CALLBACK FindProcessWindows(HWND window, LPARAM context) {
  auto& found = *reinterpret_cast<ProcessWindows*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != found.processId || !IsWindowVisible(window)) return TRUE;
  if (ClassOf(window) == L"#32770") {
    if (found.box == nullptr) found.box = window;
  } else {
    found.others.push_back(window);
  }
  return TRUE;
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

// The runtime's version value "pv" as a test set it: null when absent,
// else its registry type and its text (a DWORD as a decimal number).
std::string RegistryValueJson(HKEY root, const wchar_t* subkey) {
  DWORD type = 0;
  DWORD size = 0;
  if (RegGetValueW(root, subkey, L"pv", RRF_RT_ANY, &type, nullptr, &size) != ERROR_SUCCESS) return "null";
  std::vector<BYTE> data(size + sizeof(wchar_t), 0);
  DWORD bytes = static_cast<DWORD>(data.size());
  if (RegGetValueW(root, subkey, L"pv", RRF_RT_ANY, &type, data.data(), &bytes) != ERROR_SUCCESS) return "null";
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
           .Add("machinePv", RegistryValueJson(HKEY_LOCAL_MACHINE, kRuntimeMachineKey))
           .Add("machineNativePv", RegistryValueJson(HKEY_LOCAL_MACHINE, kRuntimeMachineNativeKey))
           .Add("userPv", RegistryValueJson(HKEY_CURRENT_USER, kRuntimeUserKey))
           .Json());
  return 0;
}

// --------------------------------------------------------------------- run

int Run(const Request& request) {
  std::wstring commandLine = QuoteArgument(request.exe);
  for (const std::wstring& argument : request.arguments) commandLine += L" " + QuoteArgument(argument);

  JsonObject report;
  report.Add("commandLine", commandLine);
  if (request.measure) report.Add("measure", MeasureJson(*request.measure));

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::wstring mutableLine = commandLine;  // CreateProcessW may write into it
  if (!CreateProcessW(request.exe.c_str(), mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return Fail(L"CreateProcessW failed with error " + std::to_wstring(GetLastError()));
  }
  CloseHandle(process.hThread);

  const DWORD started = GetTickCount();
  std::vector<std::string> boxes;
  std::set<HWND> seenOthers;
  std::vector<std::string> others;
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
    if (found.box != nullptr) {
      const DWORD seenAt = GetTickCount() - started;
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

  report.Add("boxes", JsonArray(boxes))
      .Add("elapsedMs", static_cast<long long>(GetTickCount() - started))
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
  return Run(request);
}
