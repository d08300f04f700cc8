// The web runtime's interfaces, as the WebView2 SDK names and shapes them.
//
// The Windows build with the SDK takes its WebView2.h. Everywhere else this
// header declares the same interfaces, holding exactly the operations the
// program uses, with the SDK's names, signatures and interface identifiers;
// the Linux runtime implements them over WebKitGTK.
#pragma once

#if defined(VISTREL_WEBVIEW2_SDK)

// windows.h comes in through the SDK header: keep MSVC's min and max macros
// out of the core, as the portable declarations below do.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <WebView2.h>

#else  // !VISTREL_WEBVIEW2_SDK

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <objidl.h>      // IStream
#include <eventtoken.h>  // EventRegistrationToken
#else
#include <cstdint>
#include <cstdlib>
#endif

#if !defined(_WIN32)
// The COM base that the interfaces stand on. Strings are UTF-16, as on Windows.
using HRESULT = int32_t;
using BOOL = int;
using UINT = unsigned int;
using UINT32 = uint32_t;
using ULONG = uint32_t;
using LONG = int32_t;
using WCHAR = char16_t;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using HWND = void*;
#define STDMETHODCALLTYPE
// GLib defines the same two; either may come first.
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
using IID = GUID;
using REFIID = const IID&;

inline bool IsEqualIID(REFIID a, REFIID b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i) {
    if (a.Data4[i] != b.Data4[i]) return false;
  }
  return true;
}

struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};

struct EventRegistrationToken {
  int64_t value;
};

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);

// The task allocator: strings handed out by the runtime are freed with this.
inline void* CoTaskMemAlloc(size_t size) { return std::malloc(size); }
inline void CoTaskMemFree(void* block) { std::free(block); }

inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;

 protected:
  ~IUnknown() = default;
};

// Bytes for the runtime to read: the HTML served from memory (menu items
// never get icons).
struct IStream : IUnknown {};
#endif  // !_WIN32

enum COREWEBVIEW2_BROWSING_DATA_KINDS {
  COREWEBVIEW2_BROWSING_DATA_KINDS_FILE_SYSTEMS = 0x1,
  COREWEBVIEW2_BROWSING_DATA_KINDS_INDEXED_DB = 0x2,
  COREWEBVIEW2_BROWSING_DATA_KINDS_LOCAL_STORAGE = 0x4,
  COREWEBVIEW2_BROWSING_DATA_KINDS_WEB_SQL = 0x8,
  COREWEBVIEW2_BROWSING_DATA_KINDS_CACHE_STORAGE = 0x10,
  COREWEBVIEW2_BROWSING_DATA_KINDS_ALL_DOM_STORAGE = 0x20,
  COREWEBVIEW2_BROWSING_DATA_KINDS_COOKIES = 0x40,
  COREWEBVIEW2_BROWSING_DATA_KINDS_ALL_SITE = 0x80,
  COREWEBVIEW2_BROWSING_DATA_KINDS_DISK_CACHE = 0x100,
  COREWEBVIEW2_BROWSING_DATA_KINDS_DOWNLOAD_HISTORY = 0x200,
  COREWEBVIEW2_BROWSING_DATA_KINDS_GENERAL_AUTOFILL = 0x400,
  COREWEBVIEW2_BROWSING_DATA_KINDS_PASSWORD_AUTOSAVE = 0x800,
  COREWEBVIEW2_BROWSING_DATA_KINDS_BROWSING_HISTORY = 0x1000,
  COREWEBVIEW2_BROWSING_DATA_KINDS_SETTINGS = 0x2000,
  COREWEBVIEW2_BROWSING_DATA_KINDS_ALL_PROFILE = 0x4000,
  COREWEBVIEW2_BROWSING_DATA_KINDS_SERVICE_WORKERS = 0x8000
};

enum COREWEBVIEW2_CONTEXT_MENU_ITEM_KIND {
  COREWEBVIEW2_CONTEXT_MENU_ITEM_KIND_COMMAND = 0,
  COREWEBVIEW2_CONTEXT_MENU_ITEM_KIND_CHECK_BOX = 1,
  COREWEBVIEW2_CONTEXT_MENU_ITEM_KIND_RADIO = 2,
  COREWEBVIEW2_CONTEXT_MENU_ITEM_KIND_SEPARATOR = 3,
  COREWEBVIEW2_CONTEXT_MENU_ITEM_KIND_SUBMENU = 4
};

enum COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND {
  COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND_PAGE = 0,
  COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND_IMAGE = 1,
  COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND_SELECTED_TEXT = 2,
  COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND_AUDIO = 3,
  COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND_VIDEO = 4
};

enum COREWEBVIEW2_KEY_EVENT_KIND {
  COREWEBVIEW2_KEY_EVENT_KIND_KEY_DOWN = 0,
  COREWEBVIEW2_KEY_EVENT_KIND_KEY_UP = 1,
  COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_DOWN = 2,
  COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_UP = 3
};

enum COREWEBVIEW2_MOVE_FOCUS_REASON {
  COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC = 0,
  COREWEBVIEW2_MOVE_FOCUS_REASON_NEXT = 1,
  COREWEBVIEW2_MOVE_FOCUS_REASON_PREVIOUS = 2
};

enum COREWEBVIEW2_PROCESS_FAILED_KIND {
  COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED = 0,
  COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED = 1,
  COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_UNRESPONSIVE = 2,
  COREWEBVIEW2_PROCESS_FAILED_KIND_FRAME_RENDER_PROCESS_EXITED = 3,
  COREWEBVIEW2_PROCESS_FAILED_KIND_UTILITY_PROCESS_EXITED = 4,
  COREWEBVIEW2_PROCESS_FAILED_KIND_SANDBOX_HELPER_PROCESS_EXITED = 5,
  COREWEBVIEW2_PROCESS_FAILED_KIND_GPU_PROCESS_EXITED = 6,
  COREWEBVIEW2_PROCESS_FAILED_KIND_PPAPI_PLUGIN_PROCESS_EXITED = 7,
  COREWEBVIEW2_PROCESS_FAILED_KIND_PPAPI_BROKER_PROCESS_EXITED = 8,
  COREWEBVIEW2_PROCESS_FAILED_KIND_UNKNOWN_PROCESS_EXITED = 9
};

enum COREWEBVIEW2_WEB_RESOURCE_CONTEXT {
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL = 0,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT = 1
};

struct COREWEBVIEW2_PHYSICAL_KEY_STATUS {
  UINT32 RepeatCount;
  UINT32 ScanCode;
  BOOL IsExtendedKey;
  BOOL IsMenuKeyDown;
  BOOL WasKeyDown;
  BOOL IsKeyReleased;
};

// Interface identifiers, as the SDK gives them.
#define VISTREL_IID(name, d1, d2, d3, b0, b1, b2, b3, b4, b5, b6, b7) \
  inline constexpr IID IID_##name = {d1, d2, d3, {b0, b1, b2, b3, b4, b5, b6, b7}};

VISTREL_IID(ICoreWebView2Environment, 0xb96d755e, 0x0319, 0x4e92, 0xa2, 0x96, 0x23, 0x43, 0x6f, 0x46, 0xa1, 0xfc)
VISTREL_IID(ICoreWebView2Environment9, 0xf06f41bf, 0x4b5a, 0x49d8, 0xb9, 0xf6, 0xfa, 0x16, 0xcd, 0x29, 0xf2, 0x74)
VISTREL_IID(ICoreWebView2Environment10, 0xee0eb9df, 0x6f12, 0x46ce, 0xb5, 0x3f, 0x3f, 0x47, 0xb9, 0xc9, 0x28, 0xe0)
VISTREL_IID(ICoreWebView2ControllerOptions, 0x12aae616, 0x8ccb, 0x44ec, 0xbc, 0xb3, 0xeb, 0x18, 0x31, 0x88, 0x16, 0x35)
VISTREL_IID(ICoreWebView2Controller, 0x4d00c0d1, 0x9434, 0x4eb6, 0x80, 0x78, 0x86, 0x97, 0xa5, 0x60, 0x33, 0x4f)
VISTREL_IID(ICoreWebView2, 0x76eceacb, 0x0462, 0x4d94, 0xac, 0x83, 0x42, 0x3a, 0x67, 0x93, 0x77, 0x5e)
VISTREL_IID(ICoreWebView2_4, 0x20d02d59, 0x6df2, 0x42dc, 0xbd, 0x06, 0xf9, 0x8a, 0x69, 0x4b, 0x13, 0x02)
VISTREL_IID(ICoreWebView2_8, 0xe9632730, 0x6e1e, 0x43ab, 0xb7, 0xb8, 0x7b, 0x2c, 0x9e, 0x62, 0xe0, 0x94)
VISTREL_IID(ICoreWebView2_11, 0x0be78e56, 0xc193, 0x4051, 0xb9, 0x43, 0x23, 0xb4, 0x60, 0xc0, 0x8b, 0xdb)
VISTREL_IID(ICoreWebView2_13, 0xf75f09a8, 0x667e, 0x4983, 0x88, 0xd6, 0xc8, 0x77, 0x3f, 0x31, 0x5e, 0x84)
VISTREL_IID(ICoreWebView2Profile, 0x79110ad3, 0xcd5d, 0x4373, 0x8b, 0xc3, 0xc6, 0x06, 0x58, 0xf1, 0x7a, 0x5f)
VISTREL_IID(ICoreWebView2Profile2, 0xfa740d4b, 0x5eae, 0x4344, 0xa8, 0xad, 0x74, 0xbe, 0x31, 0x92, 0x53, 0x97)
VISTREL_IID(ICoreWebView2Settings, 0xe562e4f0, 0xd7fa, 0x43ac, 0x8d, 0x71, 0xc0, 0x51, 0x50, 0x49, 0x9f, 0x00)
VISTREL_IID(ICoreWebView2Settings3, 0xfdb5ab74, 0xaf33, 0x4854, 0x84, 0xf0, 0x0a, 0x63, 0x1d, 0xeb, 0x5e, 0xba)
VISTREL_IID(ICoreWebView2Settings4, 0xcb56846c, 0x4168, 0x4d53, 0xb0, 0x4f, 0x03, 0xb6, 0xd6, 0x79, 0x6f, 0xf2)
VISTREL_IID(ICoreWebView2NavigationStartingEventArgs, 0x5b495469, 0xe119, 0x438a, 0x9b, 0x18, 0x76, 0x04, 0xf2,
            0x5f, 0x2e, 0x49)
VISTREL_IID(ICoreWebView2NavigationCompletedEventArgs, 0x30d68b7d, 0x20d9, 0x4752, 0xa9, 0xca, 0xec, 0x84, 0x48,
            0xfb, 0xb5, 0xc1)
VISTREL_IID(ICoreWebView2NewWindowRequestedEventArgs, 0x34acb11c, 0xfc37, 0x4418, 0x91, 0x32, 0xf9, 0xc2, 0x1d,
            0x1e, 0xaf, 0xb9)
VISTREL_IID(ICoreWebView2DownloadStartingEventArgs, 0xe99bbe21, 0x43e9, 0x4544, 0xa7, 0x32, 0x28, 0x27, 0x64, 0xea,
            0xfa, 0x60)
VISTREL_IID(ICoreWebView2AcceleratorKeyPressedEventArgs, 0x9f760f8a, 0xfb79, 0x42be, 0x99, 0x90, 0x7b, 0x56, 0x90,
            0x0f, 0xa9, 0xc7)
VISTREL_IID(ICoreWebView2ContextMenuRequestedEventArgs, 0xa1d309ee, 0xc03f, 0x11eb, 0x85, 0x29, 0x02, 0x42, 0xac,
            0x13, 0x00, 0x03)
VISTREL_IID(ICoreWebView2ContextMenuItemCollection, 0xf562a2f5, 0xc415, 0x45cf, 0xb9, 0x09, 0xd4, 0xb7, 0xc1, 0xe2,
            0x76, 0xd3)
VISTREL_IID(ICoreWebView2ContextMenuItem, 0x7aed49e3, 0xa93f, 0x497a, 0x81, 0x1c, 0x74, 0x9c, 0x6b, 0x6b, 0x6c, 0x65)
VISTREL_IID(ICoreWebView2ContextMenuTarget, 0xb8611d99, 0xeed6, 0x4f3f, 0x90, 0x2c, 0xa1, 0x98, 0x50, 0x2a, 0xd4, 0x72)
VISTREL_IID(ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler, 0x4e8a3389, 0xc9d8, 0x4bd2, 0xb6, 0xb5,
            0x12, 0x4f, 0xee, 0x6c, 0xc1, 0x4d)
VISTREL_IID(ICoreWebView2CreateCoreWebView2ControllerCompletedHandler, 0x6c4819f3, 0xc9b7, 0x4260, 0x81, 0x27, 0xc9,
            0xf5, 0xbd, 0xe7, 0xf6, 0x8c)
VISTREL_IID(ICoreWebView2NavigationStartingEventHandler, 0x9adbe429, 0xf36d, 0x432b, 0x9d, 0xdc, 0xf8, 0x88, 0x1f,
            0xbd, 0x76, 0xe3)
VISTREL_IID(ICoreWebView2NavigationCompletedEventHandler, 0xd33a35bf, 0x1c49, 0x4f98, 0x93, 0xab, 0x00, 0x6e, 0x05,
            0x33, 0xfe, 0x1c)
VISTREL_IID(ICoreWebView2NewWindowRequestedEventHandler, 0xd4c185fe, 0xc81c, 0x4989, 0x97, 0xaf, 0x2d, 0x3f, 0xa7,
            0xab, 0x56, 0x51)
VISTREL_IID(ICoreWebView2DocumentTitleChangedEventHandler, 0xf5f2b923, 0x953e, 0x4042, 0x9f, 0x95, 0xf3, 0xa1, 0x18,
            0xe1, 0xaf, 0xd4)
VISTREL_IID(ICoreWebView2DownloadStartingEventHandler, 0xefedc989, 0xc396, 0x41ca, 0x83, 0xf7, 0x07, 0xf8, 0x45,
            0xa5, 0x57, 0x24)
VISTREL_IID(ICoreWebView2ContextMenuRequestedEventHandler, 0x04d3fe1d, 0xab87, 0x42fb, 0xa8, 0x98, 0xda, 0x24, 0x1d,
            0x35, 0xb6, 0x3c)
VISTREL_IID(ICoreWebView2CustomItemSelectedEventHandler, 0x49e1d0bc, 0xfe9e, 0x4481, 0xb7, 0xc2, 0x32, 0x32, 0x4a,
            0xa2, 0x19, 0x98)
VISTREL_IID(ICoreWebView2AcceleratorKeyPressedEventHandler, 0xb29c7e28, 0xfa79, 0x41a8, 0x8e, 0x44, 0x65, 0x81, 0x1c,
            0x76, 0xdc, 0xb2)
VISTREL_IID(ICoreWebView2ProcessFailedEventHandler, 0x79e0aea4, 0x990b, 0x42d9, 0xaa, 0x1d, 0x0f, 0xcc, 0x2e, 0x5b,
            0xc7, 0xf1)
VISTREL_IID(ICoreWebView2ProcessFailedEventArgs, 0x8155a9a4, 0x1474, 0x4a86, 0x8c, 0xae, 0x15, 0x1b, 0x0f, 0xa6, 0xb8,
            0xca)
VISTREL_IID(ICoreWebView2WebResourceRequestedEventHandler, 0xab00b74c, 0x15f1, 0x4646, 0x80, 0xe8, 0xe7, 0x63, 0x41,
            0xd2, 0x5d, 0x71)
VISTREL_IID(ICoreWebView2WebResourceRequestedEventArgs, 0x453e667f, 0x12c7, 0x49d4, 0xbe, 0x6d, 0xdd, 0xbe, 0x79, 0x56,
            0xf5, 0x7a)
VISTREL_IID(ICoreWebView2WebResourceRequest, 0x97055cd4, 0x512c, 0x4264, 0x8b, 0x5f, 0xe3, 0xf4, 0x46, 0xce, 0xa6, 0xa5)
VISTREL_IID(ICoreWebView2WebResourceResponse, 0xaafcc94f, 0xfa27, 0x48fd, 0x97, 0xdf, 0x83, 0x0e, 0xf7, 0x5a, 0xae,
            0xc9)
VISTREL_IID(ICoreWebView2ClearBrowsingDataCompletedHandler, 0xe9710a06, 0x1d1d, 0x49b2, 0x82, 0x34, 0x22, 0x6f, 0x35,
            0x84, 0x6a, 0xe5)

#undef VISTREL_IID

struct ICoreWebView2;
struct ICoreWebView2Controller;
struct ICoreWebView2ControllerOptions;
struct ICoreWebView2Environment;
struct ICoreWebView2ContextMenuItem;
struct ICoreWebView2Settings;
struct ICoreWebView2Profile;
struct ICoreWebView2NavigationStartingEventArgs;
struct ICoreWebView2NavigationCompletedEventArgs;
struct ICoreWebView2NewWindowRequestedEventArgs;
struct ICoreWebView2DownloadStartingEventArgs;
struct ICoreWebView2ContextMenuRequestedEventArgs;
struct ICoreWebView2AcceleratorKeyPressedEventArgs;
struct ICoreWebView2ProcessFailedEventArgs;
struct ICoreWebView2WebResourceRequestedEventArgs;
struct ICoreWebView2WebResourceResponse;

// Completion and event handlers: the program implements these.
struct ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(HRESULT errorCode, ICoreWebView2Environment* result) = 0;
};
struct ICoreWebView2CreateCoreWebView2ControllerCompletedHandler : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(HRESULT errorCode, ICoreWebView2Controller* result) = 0;
};
struct ICoreWebView2NavigationStartingEventHandler : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender, ICoreWebView2NavigationStartingEventArgs* args) = 0;
};
struct ICoreWebView2NavigationCompletedEventHandler : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender, ICoreWebView2NavigationCompletedEventArgs* args) = 0;
};
struct ICoreWebView2NewWindowRequestedEventHandler : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender, ICoreWebView2NewWindowRequestedEventArgs* args) = 0;
};
struct ICoreWebView2DocumentTitleChangedEventHandler : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender, IUnknown* args) = 0;
};
struct ICoreWebView2DownloadStartingEventHandler : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender, ICoreWebView2DownloadStartingEventArgs* args) = 0;
};
struct ICoreWebView2ContextMenuRequestedEventHandler : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender, ICoreWebView2ContextMenuRequestedEventArgs* args) = 0;
};
struct ICoreWebView2CustomItemSelectedEventHandler : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2ContextMenuItem* sender, IUnknown* args) = 0;
};
struct ICoreWebView2AcceleratorKeyPressedEventHandler : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2Controller* sender,
                                           ICoreWebView2AcceleratorKeyPressedEventArgs* args) = 0;
};
struct ICoreWebView2ClearBrowsingDataCompletedHandler : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(HRESULT errorCode) = 0;
};
struct ICoreWebView2ProcessFailedEventHandler : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender, ICoreWebView2ProcessFailedEventArgs* args) = 0;
};
struct ICoreWebView2WebResourceRequestedEventHandler : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender, ICoreWebView2WebResourceRequestedEventArgs* args) = 0;
};

// The runtime's objects: the program calls these.
struct ICoreWebView2Environment : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateWebResourceResponse(IStream* content, int statusCode, LPCWSTR reasonPhrase,
                                                              LPCWSTR headers,
                                                              ICoreWebView2WebResourceResponse** response) = 0;
};
struct ICoreWebView2Environment9 : ICoreWebView2Environment {
  virtual HRESULT STDMETHODCALLTYPE CreateContextMenuItem(LPCWSTR Label, IStream* iconStream,
                                                          COREWEBVIEW2_CONTEXT_MENU_ITEM_KIND Kind,
                                                          ICoreWebView2ContextMenuItem** value) = 0;
};
struct ICoreWebView2Environment10 : ICoreWebView2Environment9 {
  virtual HRESULT STDMETHODCALLTYPE CreateCoreWebView2ControllerOptions(ICoreWebView2ControllerOptions** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateCoreWebView2ControllerWithOptions(
      HWND ParentWindow, ICoreWebView2ControllerOptions* options,
      ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) = 0;
};

struct ICoreWebView2ControllerOptions : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE put_ProfileName(LPCWSTR value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsInPrivateModeEnabled(BOOL value) = 0;
};

struct ICoreWebView2Controller : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL isVisible) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Bounds(RECT bounds) = 0;
  virtual HRESULT STDMETHODCALLTYPE MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON reason) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotifyParentWindowPositionChanged() = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ZoomFactor(double zoomFactor) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_AcceleratorKeyPressed(ICoreWebView2AcceleratorKeyPressedEventHandler* eventHandler,
                                                              EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE Close() = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CoreWebView2(ICoreWebView2** coreWebView2) = 0;
};

struct ICoreWebView2 : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_Settings(ICoreWebView2Settings** settings) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* uri) = 0;
  virtual HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR uri) = 0;
  virtual HRESULT STDMETHODCALLTYPE NavigateToString(LPCWSTR htmlContent) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_NavigationStarting(ICoreWebView2NavigationStartingEventHandler* eventHandler,
                                                           EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_NavigationCompleted(ICoreWebView2NavigationCompletedEventHandler* eventHandler,
                                                            EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_BrowserProcessId(UINT32* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_NewWindowRequested(ICoreWebView2NewWindowRequestedEventHandler* eventHandler,
                                                           EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_DocumentTitleChanged(
      ICoreWebView2DocumentTitleChangedEventHandler* eventHandler, EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DocumentTitle(LPWSTR* title) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_ProcessFailed(ICoreWebView2ProcessFailedEventHandler* eventHandler,
                                                      EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reload() = 0;
  virtual HRESULT STDMETHODCALLTYPE add_WebResourceRequested(ICoreWebView2WebResourceRequestedEventHandler* eventHandler,
                                                             EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddWebResourceRequestedFilter(const LPCWSTR uri,
                                                                  const COREWEBVIEW2_WEB_RESOURCE_CONTEXT resourceContext) = 0;
};
struct ICoreWebView2_4 : ICoreWebView2 {
  virtual HRESULT STDMETHODCALLTYPE add_DownloadStarting(ICoreWebView2DownloadStartingEventHandler* eventHandler,
                                                         EventRegistrationToken* token) = 0;
};
struct ICoreWebView2_8 : ICoreWebView2_4 {
  virtual HRESULT STDMETHODCALLTYPE put_IsMuted(BOOL value) = 0;
};
struct ICoreWebView2_11 : ICoreWebView2_8 {
  virtual HRESULT STDMETHODCALLTYPE add_ContextMenuRequested(
      ICoreWebView2ContextMenuRequestedEventHandler* eventHandler, EventRegistrationToken* token) = 0;
};
struct ICoreWebView2_13 : ICoreWebView2_11 {
  virtual HRESULT STDMETHODCALLTYPE get_Profile(ICoreWebView2Profile** value) = 0;
};

struct ICoreWebView2Profile : IUnknown {};
struct ICoreWebView2Profile2 : ICoreWebView2Profile {
  virtual HRESULT STDMETHODCALLTYPE ClearBrowsingData(COREWEBVIEW2_BROWSING_DATA_KINDS dataKinds,
                                                      ICoreWebView2ClearBrowsingDataCompletedHandler* handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE ClearBrowsingDataAll(ICoreWebView2ClearBrowsingDataCompletedHandler* handler) = 0;
};

struct ICoreWebView2Settings : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE put_IsStatusBarEnabled(BOOL isStatusBarEnabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_AreDevToolsEnabled(BOOL areDevToolsEnabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_AreDefaultContextMenusEnabled(BOOL enabled) = 0;
};
struct ICoreWebView2Settings3 : ICoreWebView2Settings {
  virtual HRESULT STDMETHODCALLTYPE put_AreBrowserAcceleratorKeysEnabled(BOOL value) = 0;
};
struct ICoreWebView2Settings4 : ICoreWebView2Settings3 {
  virtual HRESULT STDMETHODCALLTYPE put_IsPasswordAutosaveEnabled(BOOL value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsGeneralAutofillEnabled(BOOL value) = 0;
};

struct ICoreWebView2NavigationStartingEventArgs : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsUserInitiated(BOOL* isUserInitiated) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Cancel(BOOL cancel) = 0;
};
struct ICoreWebView2NavigationCompletedEventArgs : IUnknown {};
struct ICoreWebView2ProcessFailedEventArgs : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_ProcessFailedKind(COREWEBVIEW2_PROCESS_FAILED_KIND* processFailedKind) = 0;
};
struct ICoreWebView2WebResourceRequest : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) = 0;
};
struct ICoreWebView2WebResourceResponse : IUnknown {};
struct ICoreWebView2WebResourceRequestedEventArgs : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_Request(ICoreWebView2WebResourceRequest** request) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Response(ICoreWebView2WebResourceResponse* response) = 0;
};
struct ICoreWebView2NewWindowRequestedEventArgs : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Handled(BOOL handled) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsUserInitiated(BOOL* isUserInitiated) = 0;
};
struct ICoreWebView2DownloadStartingEventArgs : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE put_Cancel(BOOL cancel) = 0;
};
struct ICoreWebView2AcceleratorKeyPressedEventArgs : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_KeyEventKind(COREWEBVIEW2_KEY_EVENT_KIND* keyEventKind) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_VirtualKey(UINT* virtualKey) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PhysicalKeyStatus(COREWEBVIEW2_PHYSICAL_KEY_STATUS* physicalKeyStatus) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Handled(BOOL handled) = 0;
};

struct ICoreWebView2ContextMenuItem : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE add_CustomItemSelected(ICoreWebView2CustomItemSelectedEventHandler* eventHandler,
                                                           EventRegistrationToken* token) = 0;
};
struct ICoreWebView2ContextMenuItemCollection : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_Count(UINT32* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE InsertValueAtIndex(UINT32 index, ICoreWebView2ContextMenuItem* value) = 0;
};
struct ICoreWebView2ContextMenuTarget : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_Kind(COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_HasLinkUri(BOOL* value) = 0;
};
struct ICoreWebView2ContextMenuRequestedEventArgs : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_MenuItems(ICoreWebView2ContextMenuItemCollection** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ContextMenuTarget(ICoreWebView2ContextMenuTarget** value) = 0;
};

#endif  // VISTREL_WEBVIEW2_SDK
