// Starts vistrel.exe and reports, as one JSON line, what a user would see:
//
//   vistrel-test-driver --probe                     the work area and the screen
//   vistrel-test-driver --exe PATH [--cwd PATH] [--env NAME=VALUE]... [--idle] [--arg TEXT]...
//
// Every value after an option is "x" and the hex of its UTF-8 bytes, so that
// blanks and non-ASCII text arrive whole. Each message box is read (title,
// text, buttons, icon, owner) and answered: Yes if it has one, else its one
// button. The main window's facts are read once the stand-in runtime signals
// that its steps are done (with --idle: once the program waits for input), and
// then it is closed with WM_CLOSE, unless it has gone by itself.
#include <windows.h>

#include <tlhelp32.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring FromHex(const std::wstring& coded) {
  std::string bytes;
  for (size_t i = 1; i + 1 < coded.size(); i += 2) bytes += static_cast<char>(std::stoi(Utf8(coded.substr(i, 2)), nullptr, 16));
  std::wstring out(bytes.size(), L'\0');
  out.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), static_cast<int>(out.size()))));
  return out;
}

std::string Json(const std::wstring& text) {
  std::string out = "\"";
  for (char c : Utf8(text)) {
    if (c == '"' || c == '\\') {
      out += '\\', out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char code[8];
      snprintf(code, sizeof code, "\\u%04x", c);
      out += code;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string Rect(const RECT& r) {
  return "[" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " + std::to_string(r.right - r.left) + ", " +
         std::to_string(r.bottom - r.top) + "]";
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

// WM_GETTEXT is marshalled across processes; GetWindowTextW of a control is not.
std::wstring TextOf(HWND window) {
  wchar_t text[8192] = {};
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 8192, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &copied);
  return text;
}

struct Found {
  DWORD process;
  HWND main = nullptr;  // the program's window of class "vistrel", shown or not
  HWND box = nullptr;   // a visible message box
};

BOOL CALLBACK Find(HWND window, LPARAM context) {
  auto& found = *reinterpret_cast<Found*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != found.process) return TRUE;
  if (ClassOf(window) == L"vistrel") found.main = window;
  if (ClassOf(window) == L"#32770" && IsWindowVisible(window)) found.box = window;
  return TRUE;
}

BOOL CALLBACK Button(HWND child, LPARAM context) {
  if (ClassOf(child) == L"Button" && IsWindowVisible(child)) reinterpret_cast<std::vector<HWND>*>(context)->push_back(child);
  return TRUE;
}

// Reads a box and answers it; "owner" is "main" when the program's window owns it.
std::string AnswerBox(HWND box, HWND main) {
  std::vector<HWND> buttons;
  EnumChildWindows(box, Button, reinterpret_cast<LPARAM>(&buttons));
  std::string names;
  int press = 0;
  for (HWND button : buttons) {
    const int id = GetDlgCtrlID(button);
    names += std::string(names.empty() ? "" : ", ") + Json(TextOf(button));
    if (press == 0 || id == IDYES) press = id;
  }
  DWORD_PTR icon = 0;  // the icon of the static the system's box keeps it in
  SendMessageTimeoutW(GetDlgItem(box, 0x440), STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 5000, &icon);
  const HWND owner = GetWindow(box, GW_OWNER);
  const std::string json = "{\"title\": " + Json(TextOf(box)) + ", \"text\": " + Json(TextOf(GetDlgItem(box, 0xFFFF))) +
                           ", \"buttons\": [" + names + "], \"icon\": " +
                           (icon != 0 ? "true" : "false") + ", \"owner\": \"" +
                           (owner == nullptr ? "none" : owner == main ? "main" : "other") + "\", \"main\": " +
                           (main != nullptr && IsWindow(main) ? "true" : "false") + "}";
  if (buttons.size() == 1 || press == IDYES) PostMessageW(box, WM_COMMAND, MAKEWPARAM(press, BN_CLICKED), 0);
  return json;
}

std::string WindowFacts(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return "{\"title\": " + Json(TextOf(window)) + ", \"rect\": " + Rect(rect) + ", \"style\": " +
         std::to_string(static_cast<unsigned long>(GetWindowLongW(window, GWL_STYLE))) + ", \"maximized\": " +
         (IsZoomed(window) ? "true" : "false") + "}";
}

// The processes the program started (the browser process, hand-overs) are waited for.
void WaitForChildren(DWORD parent) {
  std::set<DWORD> family{parent};
  for (int round = 0; round < 3; ++round) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
      if (!family.count(entry.th32ParentProcessID) || family.count(entry.th32ProcessID)) continue;
      family.insert(entry.th32ProcessID);
      if (HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID)) {
        WaitForSingleObject(child, 30000);
        CloseHandle(child);
      }
    }
    CloseHandle(snapshot);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring exe, cwd, line;
  std::vector<std::wstring> env;
  bool idle = false;
  for (int i = 1; i < argc; ++i) {
    const std::wstring option = argv[i];
    if (option == L"--probe") {
      RECT area{};
      SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
      const RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
      printf("{\"workarea\": %s, \"screen\": %s}\n", Rect(area).c_str(), Rect(screen).c_str());
      return 0;
    }
    if (option == L"--idle") {
      idle = true;
      continue;
    }
    if (i + 1 >= argc) return 2;
    const std::wstring value = FromHex(argv[++i]);
    if (option == L"--exe") exe = value;
    if (option == L"--cwd") cwd = value;
    if (option == L"--env") env.push_back(value);
    if (option == L"--arg") {
      // Quoted as CommandLineToArgvW splits it back (no argument here ends in a backslash before a quote).
      line += L" \"";
      for (wchar_t c : value) line += c == L'"' ? std::wstring(L"\\\"") : std::wstring(1, c);
      line += L"\"";
    }
  }
  const std::wstring doneName = L"vistrel-standin-done-" + std::to_wstring(GetCurrentProcessId());
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, doneName.c_str());
  env.push_back(L"VISTREL_STANDIN_DONE=" + doneName);
  for (const std::wstring& setting : env) {
    const size_t equals = setting.find(L'=');
    SetEnvironmentVariableW(setting.substr(0, equals).c_str(), setting.substr(equals + 1).c_str());
  }
  std::wstring command = L"\"" + exe + L"\"" + line;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, cwd.empty() ? nullptr : cwd.c_str(),
                      &startup, &process)) {
    printf("{\"error\": \"vistrel did not start (%lu)\"}\n", GetLastError());
    return 1;
  }
  std::string boxes, window;
  HWND main = nullptr, answered = nullptr;
  bool closed = false, gone = false;
  const ULONGLONG deadline = GetTickCount64() + 90000;
  while (WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT) {
    if (GetTickCount64() > deadline) {
      TerminateProcess(process.hProcess, 0xDEAD);
      break;
    }
    Found found{process.dwProcessId};
    EnumWindows(Find, reinterpret_cast<LPARAM>(&found));
    if (found.main != nullptr) main = found.main;
    if (main != nullptr && !IsWindow(main) && !closed) gone = true;
    if (found.box != nullptr && found.box != answered) {
      boxes += (boxes.empty() ? "" : ", ") + AnswerBox(found.box, main);
      answered = found.box;
    }
    if (found.box == nullptr && main != nullptr && IsWindowVisible(main) && !closed && !gone &&
        (idle ? WaitForInputIdle(process.hProcess, 0) == 0 : WaitForSingleObject(done, 0) == WAIT_OBJECT_0 ||
                                                                 GetTickCount64() + 45000 > deadline)) {
      window = WindowFacts(main);
      PostMessageW(main, WM_CLOSE, 0, 0);
      closed = true;
    }
  }
  gone = main != nullptr && !closed;  // also when the program ended before the next look
  WaitForChildren(process.dwProcessId);
  DWORD exitCode = 0;
  GetExitCodeProcess(process.hProcess, &exitCode);
  printf("{\"exit\": %lu, \"boxes\": [%s], \"window\": %s, \"closed by itself\": %s}\n", exitCode, boxes.c_str(),
         window.empty() ? "null" : window.c_str(), gone ? "true" : "false");
  return 0;
}
