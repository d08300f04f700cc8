// GoogleMock stand-ins for the web runtime's objects, behaving as the runtime
// does where the program relies on it: real reference counts, numbered
// versions answered through QueryInterface, strings handed out as task
// allocator copies, and handlers kept (with a reference) so that a test can
// invoke them as the runtime would.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "run/environment_setup.h"
#include "runtime/runtime.h"
#include "runtime/runtime_ref.h"

// Readable failures: interface names instead of GUID bytes.
inline void PrintTo(const GUID& iid, std::ostream* out) {
  const struct {
    const IID* iid;
    const char* name;
  } known[] = {
      {&IID_IUnknown, "IUnknown"},
      {&IID_ICoreWebView2Environment, "Environment"},
      {&IID_ICoreWebView2Environment9, "Environment9"},
      {&IID_ICoreWebView2Environment10, "Environment10"},
      {&IID_ICoreWebView2, "CoreWebView2"},
      {&IID_ICoreWebView2_4, "CoreWebView2_4"},
      {&IID_ICoreWebView2_8, "CoreWebView2_8"},
      {&IID_ICoreWebView2_11, "CoreWebView2_11"},
      {&IID_ICoreWebView2_13, "CoreWebView2_13"},
      {&IID_ICoreWebView2Profile, "Profile"},
      {&IID_ICoreWebView2Profile2, "Profile2"},
      {&IID_ICoreWebView2Settings, "Settings"},
      {&IID_ICoreWebView2Settings3, "Settings3"},
      {&IID_ICoreWebView2Settings4, "Settings4"},
  };
  for (const auto& entry : known) {
    if (IsEqualIID(*entry.iid, iid)) {
      *out << "IID_" << entry.name;
      return;
    }
  }
  *out << "IID{" << std::hex << iid.Data1 << std::dec << "...}";
}

inline void PrintTo(const RECT& rect, std::ostream* out) {
  *out << "RECT{" << rect.left << ", " << rect.top << ", " << rect.right << ", " << rect.bottom << "}";
}

namespace vistrel::mocks {

using ::testing::NiceMock;
using ::testing::StrictMock;

MATCHER_P(IidIs, iid, "") { return IsEqualIID(arg, iid); }

// A runtime string argument with exactly this text.
MATCHER_P(TextIs, text, "") {
  return arg != nullptr && std::u16string(reinterpret_cast<const char16_t*>(arg)) == std::u16string(text);
}

MATCHER_P4(BoundsAre, left, top, right, bottom, "") {
  return arg.left == left && arg.top == top && arg.right == right && arg.bottom == bottom;
}

// A copy from the task allocator, as the runtime hands strings out; null for no text.
inline LPWSTR RuntimeCopy(const std::optional<std::u16string>& text) {
  if (!text) return nullptr;
  auto* copy = static_cast<char16_t*>(CoTaskMemAlloc((text->size() + 1) * sizeof(char16_t)));
  std::copy(text->begin(), text->end(), copy);
  copy[text->size()] = u'\0';
  return reinterpret_cast<LPWSTR>(copy);
}

// An out-parameter object carries a reference for the receiver.
template <class T, class Out>
HRESULT HandOut(T* object, Out** out) {
  if (object != nullptr) object->AddRef();
  *out = object;
  return S_OK;
}

// Handlers the runtime keeps until it goes away.
template <class Handler>
using Kept = std::vector<vistrel::RuntimeRef<Handler>>;

template <class Handler>
void Keep(Kept<Handler>& kept, Handler* handler) {
  kept.push_back(vistrel::RuntimeRef<Handler>::Share(handler));
}

// IUnknown with a real count and a QueryInterface that answers the IIDs
// given. Mocks live on the stack or in a test's own storage and are never
// deleted through Release; the count starts at 1, the test's own reference.
template <class Interface>
class MockUnknown : public Interface {
 public:
  explicit MockUnknown(std::initializer_list<IID> answered) : answered_(answered) {
    answered_.push_back(IID_IUnknown);
    ON_CALL(*this, QueryInterface).WillByDefault([this](REFIID iid, void** object) { return Answer(iid, object); });
  }
  MockUnknown(const MockUnknown&) = delete;
  MockUnknown& operator=(const MockUnknown&) = delete;
  virtual ~MockUnknown() = default;

  MOCK_METHOD(HRESULT, QueryInterface, (REFIID iid, void** object), (override, Calltype(STDMETHODCALLTYPE)));
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override {
    if (references == 0) {
      ADD_FAILURE() << "Release without a reference";
      return 0;
    }
    return --references;
  }

  // Which versions the object has.
  void Enable(const IID& iid) {
    if (!Answers(iid)) answered_.push_back(iid);
  }
  void Disable(const IID& iid) {
    std::erase_if(answered_, [&](const IID& known) { return IsEqualIID(known, iid); });
  }
  bool Answers(const IID& iid) const {
    return std::any_of(answered_.begin(), answered_.end(), [&](const IID& known) { return IsEqualIID(known, iid); });
  }

  ULONG references = 1;

 private:
  HRESULT Answer(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (!Answers(iid)) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    // One chain of single inheritance: every version starts at the same address.
    *object = static_cast<Interface*>(this);
    return S_OK;
  }

  std::vector<IID> answered_;
};

class MockContextMenuItem : public MockUnknown<ICoreWebView2ContextMenuItem> {
 public:
  MockContextMenuItem() : MockUnknown({IID_ICoreWebView2ContextMenuItem}) {
    ON_CALL(*this, add_CustomItemSelected).WillByDefault([this](auto* handler, EventRegistrationToken*) {
      Keep(selected, handler);
      return S_OK;
    });
  }
  MOCK_METHOD(HRESULT, add_CustomItemSelected,
              (ICoreWebView2CustomItemSelectedEventHandler * handler, EventRegistrationToken* token),
              (override, Calltype(STDMETHODCALLTYPE)));

  // As CreateContextMenuItem was given them.
  std::u16string label;
  bool hasIcon = false;
  COREWEBVIEW2_CONTEXT_MENU_ITEM_KIND kind = COREWEBVIEW2_CONTEXT_MENU_ITEM_KIND_SEPARATOR;
  Kept<ICoreWebView2CustomItemSelectedEventHandler> selected;

  // The user picks the item.
  HRESULT Select() { return selected.at(0)->Invoke(this, nullptr); }
};

class MockControllerOptions : public MockUnknown<ICoreWebView2ControllerOptions> {
 public:
  MockControllerOptions() : MockUnknown({IID_ICoreWebView2ControllerOptions}) {
    ON_CALL(*this, put_ProfileName).WillByDefault(::testing::Return(S_OK));
    ON_CALL(*this, put_IsInPrivateModeEnabled).WillByDefault(::testing::Return(S_OK));
  }
  MOCK_METHOD(HRESULT, put_ProfileName, (LPCWSTR value), (override, Calltype(STDMETHODCALLTYPE)));
  MOCK_METHOD(HRESULT, put_IsInPrivateModeEnabled, (BOOL value), (override, Calltype(STDMETHODCALLTYPE)));
};

// Answers the base environment always; versions 9 and 10 until disabled.
class MockEnvironment : public MockUnknown<ICoreWebView2Environment10> {
 public:
  MockEnvironment()
      : MockUnknown({IID_ICoreWebView2Environment, IID_ICoreWebView2Environment9, IID_ICoreWebView2Environment10}) {
    ON_CALL(*this, CreateContextMenuItem)
        .WillByDefault([this](LPCWSTR label, IStream* icon, COREWEBVIEW2_CONTEXT_MENU_ITEM_KIND kind,
                              ICoreWebView2ContextMenuItem** value) {
          auto& item = createdItems.emplace_back(std::make_unique<NiceMock<MockContextMenuItem>>());
          item->label = label == nullptr ? u"" : std::u16string(reinterpret_cast<const char16_t*>(label));
          item->hasIcon = icon != nullptr;
          item->kind = kind;
          return HandOut(item.get(), value);
        });
    ON_CALL(*this, CreateCoreWebView2ControllerOptions).WillByDefault([this](ICoreWebView2ControllerOptions** value) {
      return HandOut(controllerOptions, value);
    });
    ON_CALL(*this, CreateCoreWebView2ControllerWithOptions)
        .WillByDefault([this](HWND, ICoreWebView2ControllerOptions*, auto* handler) {
          Keep(controllerCreated, handler);
          return S_OK;
        });
  }
  MOCK_METHOD(HRESULT, CreateContextMenuItem,
              (LPCWSTR label, IStream* icon, COREWEBVIEW2_CONTEXT_MENU_ITEM_KIND kind,
               ICoreWebView2ContextMenuItem** value),
              (override, Calltype(STDMETHODCALLTYPE)));
  MOCK_METHOD(HRESULT, CreateCoreWebView2ControllerOptions, (ICoreWebView2ControllerOptions * *value),
              (override, Calltype(STDMETHODCALLTYPE)));
  MOCK_METHOD(HRESULT, CreateCoreWebView2ControllerWithOptions,
              (HWND parent, ICoreWebView2ControllerOptions* options,
               ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler),
              (override, Calltype(STDMETHODCALLTYPE)));

  bool ItemsBalanced() const {
    return std::all_of(createdItems.begin(), createdItems.end(), [](const auto& item) { return item->references == 1; });
  }

  ICoreWebView2ControllerOptions* controllerOptions = nullptr;
  Kept<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler> controllerCreated;
  std::vector<std::unique_ptr<NiceMock<MockContextMenuItem>>> createdItems;
};

class MockSettings : public MockUnknown<ICoreWebView2Settings4> {
 public:
  MockSettings()
      : MockUnknown({IID_ICoreWebView2Settings, IID_ICoreWebView2Settings3, IID_ICoreWebView2Settings4}) {}
  MOCK_METHOD(HRESULT, put_IsStatusBarEnabled, (BOOL value), (override, Calltype(STDMETHODCALLTYPE)));
  MOCK_METHOD(HRESULT, put_AreDevToolsEnabled, (BOOL value), (override, Calltype(STDMETHODCALLTYPE)));
  MOCK_METHOD(HRESULT, put_AreDefaultContextMenusEnabled, (BOOL value), (override, Calltype(STDMETHODCALLTYPE)));
  MOCK_METHOD(HRESULT, put_AreBrowserAcceleratorKeysEnabled, (BOOL value), (override, Calltype(STDMETHODCALLTYPE)));
  MOCK_METHOD(HRESULT, put_IsPasswordAutosaveEnabled, (BOOL value), (override, Calltype(STDMETHODCALLTYPE)));
  MOCK_METHOD(HRESULT, put_IsGeneralAutofillEnabled, (BOOL value), (override, Calltype(STDMETHODCALLTYPE)));
};

class MockProfile : public MockUnknown<ICoreWebView2Profile2> {
 public:
  MockProfile() : MockUnknown({IID_ICoreWebView2Profile, IID_ICoreWebView2Profile2}) {
    ON_CALL(*this, ClearBrowsingData).WillByDefault([this](COREWEBVIEW2_BROWSING_DATA_KINDS, auto* handler) {
      Keep(cleared, handler);
      return S_OK;
    });
    ON_CALL(*this, ClearBrowsingDataAll).WillByDefault([this](auto* handler) {
      Keep(cleared, handler);
      return S_OK;
    });
  }
  MOCK_METHOD(HRESULT, ClearBrowsingData,
              (COREWEBVIEW2_BROWSING_DATA_KINDS kinds, ICoreWebView2ClearBrowsingDataCompletedHandler* handler),
              (override, Calltype(STDMETHODCALLTYPE)));
  MOCK_METHOD(HRESULT, ClearBrowsingDataAll, (ICoreWebView2ClearBrowsingDataCompletedHandler * handler),
              (override, Calltype(STDMETHODCALLTYPE)));

  Kept<ICoreWebView2ClearBrowsingDataCompletedHandler> cleared;
};

// One object for every version of the web view; the base always answers,
// versions 4, 8, 11 and 13 until disabled.
class MockWebView : public MockUnknown<ICoreWebView2_13> {
 public:
  MockWebView()
      : MockUnknown({IID_ICoreWebView2, IID_ICoreWebView2_4, IID_ICoreWebView2_8, IID_ICoreWebView2_11,
                     IID_ICoreWebView2_13}) {
    using ::testing::Return;
    ON_CALL(*this, get_Settings).WillByDefault([this](ICoreWebView2Settings** value) { return HandOut(settings, value); });
    ON_CALL(*this, get_Profile).WillByDefault([this](ICoreWebView2Profile** value) { return HandOut(profile, value); });
    ON_CALL(*this, get_Source).WillByDefault([this](LPWSTR* value) {
      *value = RuntimeCopy(source);
      return S_OK;
    });
    ON_CALL(*this, get_DocumentTitle).WillByDefault([this](LPWSTR* value) {
      *value = RuntimeCopy(documentTitle);
      return S_OK;
    });
    ON_CALL(*this, get_BrowserProcessId).WillByDefault([this](UINT32* value) {
      *value = browserProcessId;
      return S_OK;
    });
    ON_CALL(*this, Navigate).WillByDefault(Return(S_OK));
    ON_CALL(*this, NavigateToString).WillByDefault(Return(S_OK));
    ON_CALL(*this, put_IsMuted).WillByDefault(Return(S_OK));
    ON_CALL(*this, add_NavigationStarting).WillByDefault([this](auto* handler, EventRegistrationToken*) {
      Keep(navigationStarting, handler);
      return S_OK;
    });
    ON_CALL(*this, add_NavigationCompleted).WillByDefault([this](auto* handler, EventRegistrationToken*) {
      Keep(navigationCompleted, handler);
      return S_OK;
    });
    ON_CALL(*this, add_NewWindowRequested).WillByDefault([this](auto* handler, EventRegistrationToken*) {
      Keep(newWindowRequested, handler);
      return S_OK;
    });
    ON_CALL(*this, add_DocumentTitleChanged).WillByDefault([this](auto* handler, EventRegistrationToken*) {
      Keep(documentTitleChanged, handler);
      return S_OK;
    });
    ON_CALL(*this, add_DownloadStarting).WillByDefault([this](auto* handler, EventRegistrationToken*) {
      Keep(downloadStarting, handler);
      return S_OK;
    });
    ON_CALL(*this, add_ContextMenuRequested).WillByDefault([this](auto* handler, EventRegistrationToken*) {
      Keep(contextMenuRequested, handler);
      return S_OK;
    });
  }
  MOCK_METHOD(HRESULT, get_Settings, (ICoreWebView2Settings * *value), (override, Calltype(STDMETHODCALLTYPE)));
  MOCK_METHOD(HRESULT, get_Source, (LPWSTR * value), (override, Calltype(STDMETHODCALLTYPE)));
  MOCK_METHOD(HRESULT, Navigate, (LPCWSTR uri), (override, Calltype(STDMETHODCALLTYPE)));
  MOCK_METHOD(HRESULT, NavigateToString, (LPCWSTR html), (override, Calltype(STDMETHODCALLTYPE)));
  MOCK_METHOD(HRESULT, add_NavigationStarting,
              (ICoreWebView2NavigationStartingEventHandler * handler, EventRegistrationToken* token),
              (override, Calltype(STDMETHODCALLTYPE)));
  MOCK_METHOD(HRESULT, add_NavigationCompleted,
              (ICoreWebView2NavigationCompletedEventHandler * handler, EventRegistrationToken* token),
              (override, Calltype(STDMETHODCALLTYPE)));
  MOCK_METHOD(HRESULT, get_BrowserProcessId, (UINT32 * value), (override, Calltype(STDMETHODCALLTYPE)));
  MOCK_METHOD(HRESULT, add_NewWindowRequested,
              (ICoreWebView2NewWindowRequestedEventHandler * handler, EventRegistrationToken* token),
              (override, Calltype(STDMETHODCALLTYPE)));
  MOCK_METHOD(HRESULT, add_DocumentTitleChanged,
              (ICoreWebView2DocumentTitleChangedEventHandler * handler, EventRegistrationToken* token),
              (override, Calltype(STDMETHODCALLTYPE)));
  MOCK_METHOD(HRESULT, get_DocumentTitle, (LPWSTR * value), (override, Calltype(STDMETHODCALLTYPE)));
  MOCK_METHOD(HRESULT, add_DownloadStarting,
              (ICoreWebView2DownloadStartingEventHandler * handler, EventRegistrationToken* token),
              (override, Calltype(STDMETHODCALLTYPE)));
  MOCK_METHOD(HRESULT, put_IsMuted, (BOOL value), (override, Calltype(STDMETHODCALLTYPE)));
  MOCK_METHOD(HRESULT, add_ContextMenuRequested,
              (ICoreWebView2ContextMenuRequestedEventHandler * handler, EventRegistrationToken* token),
              (override, Calltype(STDMETHODCALLTYPE)));
  MOCK_METHOD(HRESULT, get_Profile, (ICoreWebView2Profile * *value), (override, Calltype(STDMETHODCALLTYPE)));

  ICoreWebView2Settings* settings = nullptr;
  ICoreWebView2Profile* profile = nullptr;
  std::optional<std::u16string> source;
  std::optional<std::u16string> documentTitle;
  UINT32 browserProcessId = 0;

  Kept<ICoreWebView2NavigationStartingEventHandler> navigationStarting;
  Kept<ICoreWebView2NavigationCompletedEventHandler> navigationCompleted;
  Kept<ICoreWebView2NewWindowRequestedEventHandler> newWindowRequested;
  Kept<ICoreWebView2DocumentTitleChangedEventHandler> documentTitleChanged;
  Kept<ICoreWebView2DownloadStartingEventHandler> downloadStarting;
  Kept<ICoreWebView2ContextMenuRequestedEventHandler> contextMenuRequested;
};

class MockController : public MockUnknown<ICoreWebView2Controller> {
 public:
  MockController() : MockUnknown({IID_ICoreWebView2Controller}) {
    using ::testing::Return;
    ON_CALL(*this, get_CoreWebView2).WillByDefault([this](ICoreWebView2** value) { return HandOut(webView, value); });
    ON_CALL(*this, put_Bounds).WillByDefault(Return(S_OK));
    ON_CALL(*this, put_ZoomFactor).WillByDefault(Return(S_OK));
    ON_CALL(*this, Close).WillByDefault(Return(S_OK));
    ON_CALL(*this, add_AcceleratorKeyPressed).WillByDefault([this](auto* handler, EventRegistrationToken*) {
      Keep(acceleratorKeyPressed, handler);
      return S_OK;
    });
  }
  MOCK_METHOD(HRESULT, put_Bounds, (RECT bounds), (override, Calltype(STDMETHODCALLTYPE)));
  MOCK_METHOD(HRESULT, put_ZoomFactor, (double zoomFactor), (override, Calltype(STDMETHODCALLTYPE)));
  MOCK_METHOD(HRESULT, add_AcceleratorKeyPressed,
              (ICoreWebView2AcceleratorKeyPressedEventHandler * handler, EventRegistrationToken* token),
              (override, Calltype(STDMETHODCALLTYPE)));
  MOCK_METHOD(HRESULT, Close, (), (override, Calltype(STDMETHODCALLTYPE)));
  MOCK_METHOD(HRESULT, get_CoreWebView2, (ICoreWebView2 * *value), (override, Calltype(STDMETHODCALLTYPE)));

  ICoreWebView2* webView = nullptr;
  Kept<ICoreWebView2AcceleratorKeyPressedEventHandler> acceleratorKeyPressed;
};

// Event arguments.

class MockNavigationStartingArgs : public MockUnknown<ICoreWebView2NavigationStartingEventArgs> {
 public:
  MockNavigationStartingArgs() : MockUnknown({IID_ICoreWebView2NavigationStartingEventArgs}) {
    ON_CALL(*this, get_Uri).WillByDefault([this](LPWSTR* value) {
      *value = RuntimeCopy(uri);
      return S_OK;
    });
    ON_CALL(*this, put_Cancel).WillByDefault(::testing::Return(S_OK));
  }
  MOCK_METHOD(HRESULT, get_Uri, (LPWSTR * value), (override, Calltype(STDMETHODCALLTYPE)));
  MOCK_METHOD(HRESULT, put_Cancel, (BOOL cancel), (override, Calltype(STDMETHODCALLTYPE)));

  std::optional<std::u16string> uri;
};

class MockNavigationCompletedArgs : public MockUnknown<ICoreWebView2NavigationCompletedEventArgs> {
 public:
  MockNavigationCompletedArgs() : MockUnknown({IID_ICoreWebView2NavigationCompletedEventArgs}) {}
};

class MockNewWindowRequestedArgs : public MockUnknown<ICoreWebView2NewWindowRequestedEventArgs> {
 public:
  MockNewWindowRequestedArgs() : MockUnknown({IID_ICoreWebView2NewWindowRequestedEventArgs}) {
    ON_CALL(*this, get_Uri).WillByDefault([this](LPWSTR* value) {
      *value = RuntimeCopy(uri);
      return S_OK;
    });
    ON_CALL(*this, put_Handled).WillByDefault(::testing::Return(S_OK));
  }
  MOCK_METHOD(HRESULT, get_Uri, (LPWSTR * value), (override, Calltype(STDMETHODCALLTYPE)));
  MOCK_METHOD(HRESULT, put_Handled, (BOOL handled), (override, Calltype(STDMETHODCALLTYPE)));

  std::optional<std::u16string> uri;
};

class MockDownloadStartingArgs : public MockUnknown<ICoreWebView2DownloadStartingEventArgs> {
 public:
  MockDownloadStartingArgs() : MockUnknown({IID_ICoreWebView2DownloadStartingEventArgs}) {}
  MOCK_METHOD(HRESULT, put_Cancel, (BOOL cancel), (override, Calltype(STDMETHODCALLTYPE)));
};

class MockAcceleratorKeyArgs : public MockUnknown<ICoreWebView2AcceleratorKeyPressedEventArgs> {
 public:
  MockAcceleratorKeyArgs() : MockUnknown({IID_ICoreWebView2AcceleratorKeyPressedEventArgs}) {
    ON_CALL(*this, get_KeyEventKind).WillByDefault([this](COREWEBVIEW2_KEY_EVENT_KIND* value) {
      *value = kind;
      return S_OK;
    });
    ON_CALL(*this, get_VirtualKey).WillByDefault([this](UINT* value) {
      *value = virtualKey;
      return S_OK;
    });
    ON_CALL(*this, get_PhysicalKeyStatus).WillByDefault([this](COREWEBVIEW2_PHYSICAL_KEY_STATUS* value) {
      *value = status;
      return S_OK;
    });
    ON_CALL(*this, put_Handled).WillByDefault(::testing::Return(S_OK));
  }
  MOCK_METHOD(HRESULT, get_KeyEventKind, (COREWEBVIEW2_KEY_EVENT_KIND * value),
              (override, Calltype(STDMETHODCALLTYPE)));
  MOCK_METHOD(HRESULT, get_VirtualKey, (UINT * value), (override, Calltype(STDMETHODCALLTYPE)));
  MOCK_METHOD(HRESULT, get_PhysicalKeyStatus, (COREWEBVIEW2_PHYSICAL_KEY_STATUS * value),
              (override, Calltype(STDMETHODCALLTYPE)));
  MOCK_METHOD(HRESULT, put_Handled, (BOOL handled), (override, Calltype(STDMETHODCALLTYPE)));

  COREWEBVIEW2_KEY_EVENT_KIND kind = COREWEBVIEW2_KEY_EVENT_KIND_KEY_DOWN;
  UINT virtualKey = 0;
  COREWEBVIEW2_PHYSICAL_KEY_STATUS status{};
};

class MockContextMenuItemCollection : public MockUnknown<ICoreWebView2ContextMenuItemCollection> {
 public:
  MockContextMenuItemCollection() : MockUnknown({IID_ICoreWebView2ContextMenuItemCollection}) {
    ON_CALL(*this, get_Count).WillByDefault([this](UINT32* value) {
      *value = count;
      return S_OK;
    });
    ON_CALL(*this, InsertValueAtIndex).WillByDefault([this](UINT32 index, ICoreWebView2ContextMenuItem* item) {
      inserted.push_back({index, vistrel::RuntimeRef<ICoreWebView2ContextMenuItem>::Share(item)});
      return S_OK;
    });
  }
  MOCK_METHOD(HRESULT, get_Count, (UINT32 * value), (override, Calltype(STDMETHODCALLTYPE)));
  MOCK_METHOD(HRESULT, InsertValueAtIndex, (UINT32 index, ICoreWebView2ContextMenuItem* item),
              (override, Calltype(STDMETHODCALLTYPE)));

  struct Inserted {
    UINT32 index;
    vistrel::RuntimeRef<ICoreWebView2ContextMenuItem> item;
    // Every item comes from MockEnvironment::CreateContextMenuItem.
    MockContextMenuItem& Mock() const { return *static_cast<MockContextMenuItem*>(item.get()); }
  };

  UINT32 count = 0;  // the runtime's own items
  std::vector<Inserted> inserted;
};

class MockContextMenuTarget : public MockUnknown<ICoreWebView2ContextMenuTarget> {
 public:
  MockContextMenuTarget() : MockUnknown({IID_ICoreWebView2ContextMenuTarget}) {
    ON_CALL(*this, get_Kind).WillByDefault([this](COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND* value) {
      *value = kind;
      return S_OK;
    });
    ON_CALL(*this, get_HasLinkUri).WillByDefault([this](BOOL* value) {
      *value = hasLink;
      return S_OK;
    });
  }
  MOCK_METHOD(HRESULT, get_Kind, (COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND * value),
              (override, Calltype(STDMETHODCALLTYPE)));
  MOCK_METHOD(HRESULT, get_HasLinkUri, (BOOL * value), (override, Calltype(STDMETHODCALLTYPE)));

  COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND kind = COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND_PAGE;
  BOOL hasLink = FALSE;
};

class MockContextMenuRequestedArgs : public MockUnknown<ICoreWebView2ContextMenuRequestedEventArgs> {
 public:
  MockContextMenuRequestedArgs() : MockUnknown({IID_ICoreWebView2ContextMenuRequestedEventArgs}) {
    ON_CALL(*this, get_MenuItems).WillByDefault([this](ICoreWebView2ContextMenuItemCollection** value) {
      return HandOut(items, value);
    });
    ON_CALL(*this, get_ContextMenuTarget).WillByDefault([this](ICoreWebView2ContextMenuTarget** value) {
      return HandOut(target, value);
    });
  }
  MOCK_METHOD(HRESULT, get_MenuItems, (ICoreWebView2ContextMenuItemCollection * *value),
              (override, Calltype(STDMETHODCALLTYPE)));
  MOCK_METHOD(HRESULT, get_ContextMenuTarget, (ICoreWebView2ContextMenuTarget * *value),
              (override, Calltype(STDMETHODCALLTYPE)));

  ICoreWebView2ContextMenuItemCollection* items = nullptr;
  ICoreWebView2ContextMenuTarget* target = nullptr;
};

// One runtime as the program meets it: every object wired to the next and
// every version answered.
template <template <class> class Kind = NiceMock>
struct Runtime {
  Runtime() {
    environment.controllerOptions = &controllerOptions;
    controller.webView = &view;
    view.settings = &settings;
    view.profile = &profile;
    view.browserProcessId = 4242;
  }

  // The program asks for the environment and the runtime completes both
  // creations, as it would from the message loop.
  void Start(fakes::FakePlatform& platform) {
    CreateWebView();
    ASSERT_TRUE(platform.environmentHandler);
    platform.environmentHandler->Invoke(S_OK, &environment);
    ASSERT_EQ(environment.controllerCreated.size(), 1u);
    environment.controllerCreated[0]->Invoke(S_OK, &controller);
  }

  // Every reference the program took has been given back.
  void ExpectBalanced() const {
    EXPECT_EQ(environment.references, 1u) << "environment";
    EXPECT_EQ(controllerOptions.references, 1u) << "controller options";
    EXPECT_EQ(controller.references, 1u) << "controller";
    EXPECT_EQ(view.references, 1u) << "web view";
    EXPECT_EQ(settings.references, 1u) << "settings";
    EXPECT_EQ(profile.references, 1u) << "profile";
  }

  Kind<MockEnvironment> environment;
  Kind<MockControllerOptions> controllerOptions;
  Kind<MockController> controller;
  Kind<MockWebView> view;
  Kind<MockSettings> settings;
  Kind<MockProfile> profile;
};

// The fake platform, also noting which window each window call was for.
class WindowRecordingPlatform : public fakes::FakePlatform {
 public:
  void SendFatalMessage(WindowHandle window, const std::u16string& text) override {
    fatalWindows.push_back(window);
    FakePlatform::SendFatalMessage(window, text);
  }
  void PostFatalMessage(WindowHandle window, const std::u16string* text) override {
    postedWindows.push_back(window);
    FakePlatform::PostFatalMessage(window, text);
  }
  void SetWindowTitle(WindowHandle window, const std::u16string& title) override {
    titleWindows.push_back(window);
    FakePlatform::SetWindowTitle(window, title);
  }
  void DestroyMainWindow(WindowHandle window) override {
    destroyedWindows.push_back(window);
    FakePlatform::DestroyMainWindow(window);
  }
  Rect ClientRect(WindowHandle window) override {
    const Rect standard = FakePlatform::ClientRect(window);
    return client.value_or(standard);
  }

  std::optional<Rect> client;  // the fake's own when not set

  std::vector<WindowHandle> fatalWindows;
  std::vector<WindowHandle> postedWindows;
  std::vector<WindowHandle> titleWindows;
  std::vector<WindowHandle> destroyedWindows;
};

}  // namespace vistrel::mocks

namespace vistrel::mocks {

// The web tests' common ground: English texts, a main window, one runtime,
// and every runtime reference given back once the process records are reset.
class WebTest : public ::testing::Test {
 protected:
  WebTest() {
    languageIndex = kEnglish;
    hostState.mainWindow = kWindow;
  }
  void TearDown() override {
    fakes::ResetProgramState();
    runtime.ExpectBalanced();
    EXPECT_TRUE(runtime.environment.ItemsBalanced());
  }

  static inline WindowHandle const kWindow = fakes::FakePlatform::kWindow;
  WindowRecordingPlatform platform;
  Runtime<> runtime;
};

}  // namespace vistrel::mocks
