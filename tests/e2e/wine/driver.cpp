// Starts vistrel.exe and reports, as one JSON line, what a user would see. "--probe": the work area and the screen;
// "--exe PATH [--env NAME=VALUE]... [--arg TEXT]...": a run; each value is "x" and the hex of its UTF-8 bytes, so
// that blanks and non-ASCII text arrive whole. Each box is read and answered: Yes if it has one, else its one
// button. The window is read once the stand-in says its steps are done, or once the program waits for input without
// having called it, then closed with WM_CLOSE unless it has gone. The program's children are waited for.
#include <windows.h>

#include <tlhelp32.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text) {
  std::string out(text.size() * 3, '\0');
  out.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                     out.data(), static_cast<int>(out.size()), nullptr, nullptr)));
  return out;
}

std::wstring FromHex(const wchar_t* coded) {
  std::string bytes;
  for (const wchar_t* c = coded + 1; c[0] && c[1]; c += 2) {
    bytes += static_cast<char>(wcstol(std::wstring(c, 2).c_str(), nullptr, 16));
  }
  std::wstring out(bytes.size(), L'\0');
  out.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()),
                                                     out.data(), static_cast<int>(out.size()))));
  return out;
}

std::string Json(const std::wstring& text) {
  std::string out = "\"";
  for (char c : Utf8(text)) {
    char code[8];
    snprintf(code, sizeof code, "\\u%04x", c);
    out += c == '"' || c == '\\' ? std::string{'\\', c} : static_cast<unsigned char>(c) < 0x20 ? code : std::string{c};
  }
  return out + "\"";
}

std::string Rect(const RECT& r) {
  return "[" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " + std::to_string(r.right - r.left) +
         ", " + std::to_string(r.bottom - r.top) + "]";
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

// WM_GETTEXT is marshalled across processes; GetWindowTextW of another process's control is not.
std::wstring TextOf(HWND window) {
  wchar_t text[8192] = {};
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 8192, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &copied);
  return text;
}

struct Found {
  DWORD process;
  HWND main = nullptr, box = nullptr;  // the program's window of class "vistrel", shown or not; a box it shows
};

BOOL CALLBACK Find(HWND window, LPARAM context) {
  auto& found = *reinterpret_cast<Found*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == found.process && ClassOf(window) == L"vistrel") found.main = window;
  if (owner == found.process && ClassOf(window) == L"#32770" && IsWindowVisible(window)) found.box = window;
  return TRUE;
}

BOOL CALLBACK Button(HWND child, LPARAM context) {
  auto& [names, press] = *reinterpret_cast<std::pair<std::string, int>*>(context);
  if (ClassOf(child) != L"Button" || !IsWindowVisible(child)) return TRUE;
  names += (names.empty() ? "" : ", ") + Json(TextOf(child));
  if (press == 0 || GetDlgCtrlID(child) == IDYES) press = GetDlgCtrlID(child);
  return TRUE;
}

// Reads a box and answers it; "owner" is "main" for the program's window.
std::string AnswerBox(HWND box, HWND main) {
  std::pair<std::string, int> buttons{"", 0};
  EnumChildWindows(box, Button, reinterpret_cast<LPARAM>(&buttons));
  DWORD_PTR icon = 0;  // the icon of the static the system's box keeps it in
  SendMessageTimeoutW(GetDlgItem(box, 0x440), STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 5000, &icon);
  const HWND owner = GetWindow(box, GW_OWNER);
  const std::string json = "{\"title\": " + Json(TextOf(box)) + ", \"text\": " + Json(TextOf(GetDlgItem(box, 0xFFFF))) +
         ", \"buttons\": [" + buttons.first + "], \"icon\": " + (icon ? "true" : "false") + ", \"owner\": \"" +
         (owner == nullptr ? "none" : owner == main ? "main" : "other") + "\", \"main\": " +
         (main != nullptr && IsWindow(main) ? "true" : "false") + "}";
  if (buttons.second > 0) PostMessageW(box, WM_COMMAND, MAKEWPARAM(buttons.second, BN_CLICKED), 0);
  return json;
}

void WaitForChildren(DWORD parent) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    HANDLE child = entry.th32ParentProcessID == parent ? OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID) : nullptr;
    if (child != nullptr) WaitForSingleObject(child, 30000), CloseHandle(child);
  }
  CloseHandle(snapshot);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 2 && std::wstring(argv[1]) == L"--probe") {
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    const RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    printf("{\"workarea\": %s, \"screen\": %s}\n", Rect(area).c_str(), Rect(screen).c_str());
    return 0;
  }
  const std::wstring doneName = L"vistrel-standin-done-" + std::to_wstring(GetCurrentProcessId());
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, doneName.c_str());
  HANDLE loaded = CreateEventW(nullptr, TRUE, FALSE, (doneName + L" loaded").c_str());
  SetEnvironmentVariableW(L"VISTREL_STANDIN_DONE", doneName.c_str());
  std::wstring exe, line;
  std::vector<HANDLE> held;  // files another program keeps open all along
  int show = -1;  // how the starter asks for the window to be shown, as a shortcut does
  bool endSession = false;  // the user logs off instead of closing the window
  std::string loggedOff;
  for (int i = 1; i < argc; ++i) {
    const std::wstring option = argv[i];
    const std::wstring value = i + 1 == argc ? L"" : FromHex(argv[++i]);
    if (option == L"--exe") exe = value;
    if (option == L"--show") show = _wtoi(value.c_str());
    if (option == L"--end-session") endSession = true;
    if (option == L"--hold" || option == L"--lock") {
      // An editor keeps a file open for writing and lets others read and write it; the runtime's browser process
      // keeps its lock file, gone when it closes, and lets others only read it.
      const bool lock = option == L"--lock";
      held.push_back(CreateFileW(value.c_str(), GENERIC_WRITE,
                                 lock ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 lock ? CREATE_ALWAYS : OPEN_ALWAYS, lock ? FILE_FLAG_DELETE_ON_CLOSE : 0, nullptr));
      if (held.back() == INVALID_HANDLE_VALUE) return printf("{\"error\": \"cannot hold a file (%lu)\"}\n", GetLastError()), 1;
    }
    if (option == L"--env") {
      SetEnvironmentVariableW(value.substr(0, value.find(L'=')).c_str(), value.substr(value.find(L'=') + 1).c_str());
    }
    if (option == L"--arg") {
      // Quoted as CommandLineToArgvW splits it back (no argument here ends in a backslash).
      line += L" \"";
      for (wchar_t c : value) line += c == L'"' ? std::wstring(L"\\\"") : std::wstring(1, c);
      line += L"\"";
    }
  }
  std::wstring command = L"\"" + exe + L"\"" + line;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (show >= 0) startup.dwFlags = STARTF_USESHOWWINDOW, startup.wShowWindow = static_cast<WORD>(show);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    printf("{\"error\": \"vistrel did not start (%lu)\"}\n", GetLastError());
    return 1;
  }
  std::string boxes, window;
  HWND main = nullptr, answered = nullptr;
  const ULONGLONG deadline = GetTickCount64() + 60000;
  ULONGLONG shown = 0;
  while (WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT) {
    if (GetTickCount64() > deadline) TerminateProcess(process.hProcess, 0xDEAD);
    Found found{process.dwProcessId};
    EnumWindows(Find, reinterpret_cast<LPARAM>(&found));
    if (main == nullptr && found.main != nullptr) shown = GetTickCount64();
    main = found.main != nullptr ? found.main : main;
    if (found.box != nullptr && found.box != answered) {
      boxes += (boxes.empty() ? "" : ", ") + AnswerBox(found.box, main);
      answered = found.box;
    }
    // A stand-in that has not said done within 20 s of the window has no more to say.
    const bool reached = WaitForSingleObject(loaded, 0) == WAIT_OBJECT_0;
    if (found.box == nullptr && main != nullptr && IsWindowVisible(main) && window.empty() &&
        (reached ? WaitForSingleObject(done, 0) == WAIT_OBJECT_0 || GetTickCount64() > shown + 20000
                 : WaitForInputIdle(process.hProcess, 0) == 0)) {
      RECT rect{};
      GetWindowRect(main, &rect);
      window = "{\"title\": " + Json(TextOf(main)) + ", \"rect\": " + Rect(rect) + ", \"style\": " +
               std::to_string(static_cast<unsigned long>(GetWindowLongW(main, GWL_STYLE))) +
               ", \"maximized\": " + (IsZoomed(main) ? "true" : "false") + "}";
      if (endSession) {
        // As Windows ends a session: it asks, tells, and once told ends the process without waiting.
        DWORD_PTR allowed = 0;
        SendMessageTimeoutW(main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 30000, &allowed);
        SendMessageTimeoutW(main, WM_ENDSESSION, allowed ? TRUE : FALSE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 30000, nullptr);
        TerminateProcess(process.hProcess, 0);
        loggedOff = allowed ? ", \"log-off allowed\": true" : ", \"log-off allowed\": false";
      } else {
        PostMessageW(main, WM_CLOSE, 0, 0);
      }
    }
  }
  WaitForChildren(process.dwProcessId);
  for (HANDLE file : held) CloseHandle(file);
  DWORD exitCode = 0;
  GetExitCodeProcess(process.hProcess, &exitCode);
  printf("{\"exit\": %lu, \"boxes\": [%s], \"window\": %s, \"closed by itself\": %s%s}\n", exitCode, boxes.c_str(),
         window.empty() ? "null" : window.c_str(), main != nullptr && window.empty() ? "true" : "false", loggedOff.c_str());
  return 0;
}
