// The program's own items at the end of the page's context menu.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/catalog.h"
#include "base/options.h"
#include "run/host_state.h"
#include "mock_runtime.h"

namespace vistrel {
namespace {

using mocks::TextIs;
using ::testing::_;
using ::testing::Mock;
using ::testing::NiceMock;
using ::testing::NotNull;
using ::testing::Return;
using Labels = std::vector<std::u16string>;

class MenuTest : public mocks::WebTest {
 protected:
  void SetUp() override {
    options.address = u"page.html";
    options.startAddress = u"/home/u/page.html";
    runtime.Start(platform);
    items.count = 5;
    args.items = &items;
    args.target = &target;
  }
  void TearDown() override {
    // The menu gives its items back before the runtime goes.
    items.inserted.clear();
    WebTest::TearDown();
    EXPECT_EQ(items.references, 1u);
    EXPECT_EQ(target.references, 1u);
    EXPECT_EQ(args.references, 1u);
  }

  // The user opens a menu; returns the labels of the items the program added.
  Labels OpenMenu() {
    items.inserted.clear();
    EXPECT_EQ(runtime.view.contextMenuRequested.at(0)->Invoke(&runtime.view, &args), S_OK);
    Labels labels;
    for (const auto& added : items.inserted) labels.push_back(added.Mock().label);
    return labels;
  }
  mocks::MockContextMenuItem& Item(size_t index) { return items.inserted.at(index).Mock(); }

  NiceMock<mocks::MockContextMenuItemCollection> items;
  NiceMock<mocks::MockContextMenuTarget> target;
  NiceMock<mocks::MockContextMenuRequestedArgs> args;
};

TEST_F(MenuTest, ItemsFollowTheOptionsInTheCurrentLanguage) {
  const struct {
    const char* name;
    bool htmlFromFile, mute, keepData;
    int32_t language;
    UINT32 count;
    Labels labels;
  } rows[] = {
      {"no options", false, false, false, kEnglish, 5, {u"Home", u"Mute"}},
      {"/m", false, true, false, kEnglish, 5, {u"Home", u"Unmute"}},
      {"/d", false, false, true, kEnglish, 12, {u"Home", u"Mute", u"Clear Data"}},
      {"/l", true, false, false, kEnglish, 3, {u"Mute"}},
      {"/l /m /d", true, true, true, kEnglish, 0, {u"Unmute", u"Clear Data"}},
      {"/d /m, Japanese", false, true, true, kJapanese, 7, {u"ホーム", u"ミュート解除", u"データクリア"}},
      {"Japanese", false, false, false, kJapanese, 1, {u"ホーム", u"ミュート"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    options.htmlFromFile = row.htmlFromFile;
    options.mute = row.mute;
    options.keepData = row.keepData;
    languageIndex = row.language;
    items.count = row.count;
    EXPECT_EQ(OpenMenu(), row.labels);
    // After the runtime's own items, in order.
    for (size_t i = 0; i < items.inserted.size(); ++i) {
      EXPECT_EQ(items.inserted[i].index, row.count + i);
      EXPECT_EQ(Item(i).kind, COREWEBVIEW2_CONTEXT_MENU_ITEM_KIND_COMMAND);
      EXPECT_FALSE(Item(i).hasIcon);
      EXPECT_EQ(Item(i).selected.size(), 1u);
    }
    EXPECT_EQ(options.mute, row.mute);  // opening a menu changes nothing
  }
}

TEST_F(MenuTest, OtherTargetsKeepTheRuntimeMenu) {
  options.keepData = true;
  for (auto kind : {COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND_IMAGE, COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND_SELECTED_TEXT,
                    COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND_AUDIO, COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND_VIDEO}) {
    SCOPED_TRACE(static_cast<int>(kind));
    target.kind = kind;
    EXPECT_CALL(runtime.environment, CreateContextMenuItem).Times(0);
    EXPECT_CALL(items, InsertValueAtIndex).Times(0);
    EXPECT_EQ(OpenMenu(), Labels{});
    Mock::VerifyAndClearExpectations(&runtime.environment);
    Mock::VerifyAndClearExpectations(&items);
  }
}

TEST_F(MenuTest, LinksKeepTheRuntimeMenu) {
  // The runtime reports a link as a page (or image) target with a link.
  options.keepData = true;
  target.hasLink = TRUE;
  EXPECT_CALL(items, InsertValueAtIndex).Times(0);
  EXPECT_EQ(OpenMenu(), Labels{});
  Mock::VerifyAndClearExpectations(&items);

  // A target that cannot say whether it has a link gets nothing either.
  target.hasLink = FALSE;
  EXPECT_CALL(target, get_HasLinkUri).WillOnce(Return(E_FAIL)).WillRepeatedly(::testing::DoDefault());
  EXPECT_EQ(OpenMenu(), Labels{});
  EXPECT_EQ(OpenMenu(), (Labels{u"Home", u"Mute", u"Clear Data"}));
}

TEST_F(MenuTest, NoMenuItemsWithoutEnvironmentNine) {
  hostState.environment9 = nullptr;
  EXPECT_CALL(items, InsertValueAtIndex).Times(0);
  EXPECT_EQ(OpenMenu(), Labels{});
}

TEST_F(MenuTest, HomeGoesToTheStartAddress) {
  EXPECT_EQ(OpenMenu(), (Labels{u"Home", u"Mute"}));
  EXPECT_CALL(runtime.view, Navigate(_)).Times(0);
  EXPECT_CALL(runtime.view, Navigate(TextIs(u"/home/u/page.html")));
  EXPECT_EQ(Item(0).Select(), S_OK);
  EXPECT_TRUE(platform.fatalMessages.empty());

  // Refused: the argument as typed, and the run ends.
  EXPECT_CALL(runtime.view, Navigate(TextIs(u"/home/u/page.html"))).WillOnce(Return(E_INVALIDARG));
  EXPECT_EQ(Item(0).Select(), S_OK);
  EXPECT_EQ(platform.fatalMessages, Labels{u"page.html - Address or file name is invalid."});
}

TEST_F(MenuTest, MuteTogglesAndTheNextMenuFollows) {
  for (bool startMuted : {false, true}) {
    SCOPED_TRACE(startMuted ? "/m" : "no /m");
    options.mute = startMuted;
    const Labels before = OpenMenu();
    {
      ::testing::InSequence order;
      EXPECT_CALL(runtime.view, put_IsMuted(startMuted ? FALSE : TRUE));
      EXPECT_CALL(runtime.view, put_IsMuted(startMuted ? TRUE : FALSE));
    }
    EXPECT_EQ(Item(1).Select(), S_OK);
    EXPECT_EQ(options.mute, !startMuted);
    const Labels after = OpenMenu();
    EXPECT_EQ(before.at(1), startMuted ? u"Unmute" : u"Mute");
    EXPECT_EQ(after.at(1), startMuted ? u"Mute" : u"Unmute");
    EXPECT_EQ(Item(1).Select(), S_OK);
    EXPECT_EQ(options.mute, startMuted);
    Mock::VerifyAndClearExpectations(&runtime.view);
  }
}

TEST_F(MenuTest, ClearDataAsksFirstAndAlwaysReportsCleared) {
  const struct {
    const char* name;
    int32_t language;
    int answer;
    HRESULT status;  // of the clearing
    std::u16string question, done;  // done empty: nothing cleared
  } rows[] = {
      {"no", kEnglish, kAnswerNo, S_OK, u"Clear all data?", u""},
      {"yes", kEnglish, kAnswerYes, S_OK, u"Clear all data?", u"All data is cleared."},
      {"yes, clearing failed", kEnglish, kAnswerYes, E_FAIL, u"Clear all data?", u"All data is cleared."},
      {"no, Japanese", kJapanese, kAnswerNo, S_OK, u"すべてのデータをクリアしますか？", u""},
      {"yes, Japanese", kJapanese, kAnswerYes, S_OK, u"すべてのデータをクリアしますか？",
       u"すべてのデータをクリアしました。"},
  };
  options.keepData = true;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    languageIndex = row.language;
    platform.answer = row.answer;
    platform.boxes.clear();
    runtime.profile.cleared.clear();
    EXPECT_CALL(runtime.profile, ClearBrowsingData).Times(0);
    EXPECT_CALL(runtime.profile, ClearBrowsingDataAll(NotNull())).Times(row.done.empty() ? 0 : 1);
    const Labels labels = OpenMenu();
    ASSERT_EQ(labels.size(), 3u);
    EXPECT_EQ(Item(2).Select(), S_OK);
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, row.question);
    EXPECT_EQ(platform.boxes[0].caption, u"vistrel");
    EXPECT_EQ(platform.boxes[0].style, kBoxYesNo);
    EXPECT_EQ(platform.boxes[0].owner, kWindow);
    Mock::VerifyAndClearExpectations(&runtime.profile);
    if (row.done.empty()) {
      EXPECT_TRUE(runtime.profile.cleared.empty());
      continue;
    }
    // Nothing more until the runtime reports back.
    EXPECT_EQ(platform.boxes.size(), 1u);
    ASSERT_EQ(runtime.profile.cleared.size(), 1u);
    EXPECT_EQ(runtime.profile.cleared[0]->Invoke(row.status), S_OK);
    ASSERT_EQ(platform.boxes.size(), 2u);
    EXPECT_EQ(platform.boxes[1].text, row.done);
    EXPECT_EQ(platform.boxes[1].caption, u"vistrel");
    EXPECT_EQ(platform.boxes[1].style, kBoxPlain);
    EXPECT_EQ(platform.boxes[1].owner, kWindow);
  }
}

TEST_F(MenuTest, ClearDataWithoutAProfileClearsNothing) {
  options.keepData = true;
  platform.answer = kAnswerYes;
  hostState.profile = nullptr;
  EXPECT_CALL(runtime.profile, ClearBrowsingDataAll).Times(0);
  ASSERT_EQ(OpenMenu().size(), 3u);
  EXPECT_EQ(Item(2).Select(), S_OK);
  EXPECT_EQ(platform.boxes.size(), 1u);
}

}  // namespace
}  // namespace vistrel
