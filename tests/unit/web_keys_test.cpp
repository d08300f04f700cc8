// Ctrl+M, Ctrl+U and Alt+Home taken over from the page.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/options.h"
#include "run/host_state.h"
#include "mock_runtime.h"
#include "run/accelerator_keys.h"
#include "rules/web_verdicts.h"

namespace vistrel {
namespace {

using mocks::TextIs;
using ::testing::_;
using ::testing::Mock;
using ::testing::NiceMock;
using ::testing::StrictMock;

constexpr uint32_t kShift = 0x10;
constexpr UINT kHome = 0x24, kM = 0x4D, kU = 0x55, kT = 0x54;

class KeysTest : public mocks::WebTest {
 protected:
  void SetUp() override {
    options.address = u"page.html";
    options.startAddress = u"/home/u/page.html";
    runtime.Start(platform);
  }
};

TEST_F(KeysTest, KeyTable) {
  constexpr auto down = COREWEBVIEW2_KEY_EVENT_KIND_KEY_DOWN;
  constexpr auto up = COREWEBVIEW2_KEY_EVENT_KIND_KEY_UP;
  constexpr auto sysDown = COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_DOWN;
  constexpr auto sysUp = COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_UP;
  const std::set<uint32_t> none, ctrl{kKeyControl}, alt{kKeyAlt}, ctrlAlt{kKeyControl, kKeyAlt},
      ctrlShift{kKeyControl, kShift};
  const struct {
    const char* name;
    COREWEBVIEW2_KEY_EVENT_KIND kind;
    std::set<uint32_t> keysDown;
    UINT key;
    bool repeat, limitUI, htmlFromFile;
    bool handled, toggled, navigated;
  } rows[] = {
      {"Ctrl+M", down, ctrl, kM, false, false, false, true, true, false},
      {"Ctrl+M as a system key", sysDown, ctrl, kM, false, false, false, true, true, false},
      {"Ctrl+M held", down, ctrl, kM, true, false, false, true, false, false},
      {"Ctrl+Shift+M", down, ctrlShift, kM, false, false, false, true, true, false},
      {"Ctrl+Alt+M", sysDown, ctrlAlt, kM, false, false, false, true, true, false},
      {"Ctrl+M with /l", down, ctrl, kM, false, false, true, true, true, false},
      {"Ctrl+M released", up, ctrl, kM, false, false, false, false, false, false},
      {"Ctrl+M system key released", sysUp, ctrl, kM, false, false, false, false, false, false},
      {"Ctrl+M with /u", down, ctrl, kM, false, true, false, false, false, false},
      {"Ctrl+U", down, ctrl, kU, false, false, false, true, false, false},
      {"Ctrl+U held", down, ctrl, kU, true, false, false, true, false, false},
      {"Ctrl+U with /u", down, ctrl, kU, false, true, false, false, false, false},
      {"Ctrl+T", down, ctrl, kT, false, false, false, false, false, false},
      {"Ctrl+Home", down, ctrl, kHome, false, false, false, false, false, false},
      {"Alt+Home", sysDown, alt, kHome, false, false, false, true, false, true},
      {"Alt+Home as a plain key", down, alt, kHome, false, false, false, true, false, true},
      {"Alt+Home held", sysDown, alt, kHome, true, false, false, true, false, false},
      {"Alt+Home with /l", sysDown, alt, kHome, false, false, true, false, false, false},
      {"Alt+Home with /u", sysDown, alt, kHome, false, true, false, false, false, false},
      {"Alt+Home released", sysUp, alt, kHome, false, false, false, false, false, false},
      {"Ctrl+Alt+Home", sysDown, ctrlAlt, kHome, false, false, false, false, false, false},
      {"Alt+M", sysDown, alt, kM, false, false, false, false, false, false},
      {"Alt+U", sysDown, alt, kU, false, false, false, false, false, false},
      {"M", down, none, kM, false, false, false, false, false, false},
      {"Home", down, none, kHome, false, false, false, false, false, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    options.limitUI = row.limitUI;
    options.htmlFromFile = row.htmlFromFile;
    options.mute = false;
    platform.keysDown = row.keysDown;
    NiceMock<mocks::MockAcceleratorKeyArgs> args;
    args.kind = row.kind;
    args.virtualKey = row.key;
    args.status.WasKeyDown = row.repeat ? TRUE : FALSE;
    args.status.RepeatCount = row.repeat ? 2 : 1;
    EXPECT_CALL(args, put_Handled(_)).Times(0);
    EXPECT_CALL(args, put_Handled(TRUE)).Times(row.handled ? 1 : 0);
    EXPECT_CALL(runtime.view, put_IsMuted(_)).Times(0);
    EXPECT_CALL(runtime.view, put_IsMuted(TRUE)).Times(row.toggled ? 1 : 0);
    EXPECT_CALL(runtime.view, Navigate(_)).Times(0);
    EXPECT_CALL(runtime.view, Navigate(TextIs(u"/home/u/page.html"))).Times(row.navigated ? 1 : 0);
    EXPECT_EQ(runtime.controller.acceleratorKeyPressed.at(0)->Invoke(&runtime.controller, &args), S_OK);
    EXPECT_EQ(options.mute, row.toggled);
    Mock::VerifyAndClearExpectations(&runtime.view);
    Mock::VerifyAndClearExpectations(&args);
    EXPECT_EQ(args.references, 1u);
  }
}

// With /u the handler looks at nothing at all.
TEST_F(KeysTest, HoldingCtrlMTogglesOnceAndAPressLaterTogglesBack) {
  platform.keysDown = {kKeyControl};
  NiceMock<mocks::MockAcceleratorKeyArgs> args;
  args.virtualKey = kM;
  {
    ::testing::InSequence order;
    EXPECT_CALL(runtime.view, put_IsMuted(TRUE));
    EXPECT_CALL(runtime.view, put_IsMuted(FALSE));
  }
  EXPECT_CALL(args, put_Handled(TRUE)).Times(5);
  const auto press = [&](bool repeat) {
    args.status.WasKeyDown = repeat ? TRUE : FALSE;
    runtime.controller.acceleratorKeyPressed.at(0)->Invoke(&runtime.controller, &args);
  };
  press(false);
  press(true);
  press(true);
  EXPECT_TRUE(options.mute);
  args.kind = COREWEBVIEW2_KEY_EVENT_KIND_KEY_UP;
  press(false);
  args.kind = COREWEBVIEW2_KEY_EVENT_KIND_KEY_DOWN;
  press(false);
  press(true);
  EXPECT_FALSE(options.mute);
}

// Ctrl+M and the menu share one record of the muting state.
TEST_F(KeysTest, CtrlMChangesTheNextMenusLabel) {
  platform.keysDown = {kKeyControl};
  NiceMock<mocks::MockAcceleratorKeyArgs> keyArgs;
  keyArgs.virtualKey = kM;
  runtime.controller.acceleratorKeyPressed.at(0)->Invoke(&runtime.controller, &keyArgs);

  NiceMock<mocks::MockContextMenuItemCollection> items;
  NiceMock<mocks::MockContextMenuTarget> target;
  NiceMock<mocks::MockContextMenuRequestedArgs> menuArgs;
  menuArgs.items = &items;
  menuArgs.target = &target;
  runtime.view.contextMenuRequested.at(0)->Invoke(&runtime.view, &menuArgs);
  ASSERT_EQ(items.inserted.size(), 2u);
  EXPECT_EQ(items.inserted[1].Mock().label, u"Unmute");
  items.inserted.clear();
}

}  // namespace
}  // namespace vistrel
