#include "run/context_menu.h"

#include "base/catalog.h"
#include "base/options.h"
#include "run/host_state.h"
#include "seam/platform.h"
#include "run/environment_setup.h"
#include "runtime/handler.h"

namespace vistrel {

namespace {

using ItemHandler = HRESULT (*)(ICoreWebView2ContextMenuItem*, IUnknown*);

// Creates the item, subscribes its handler and puts it at the index.
void AppendItem(ICoreWebView2ContextMenuItemCollection* items, UINT32& index, MessageId label,
                ItemHandler onSelected) {
  if (!hostState.environment9) return;
  RuntimeRef<ICoreWebView2ContextMenuItem> item;
  hostState.environment9->CreateContextMenuItem(RuntimeText(CatalogText(label)), nullptr,
                                                COREWEBVIEW2_CONTEXT_MENU_ITEM_KIND_COMMAND, item.Put());
  if (!item) return;
  EventRegistrationToken token{};
  item->add_CustomItemSelected(MakeHandler<ICoreWebView2CustomItemSelectedEventHandler>(onSelected).get(), &token);
  items->InsertValueAtIndex(index, item.get());
  ++index;
}

}  // namespace

HRESULT OnContextMenuRequested(ICoreWebView2*, ICoreWebView2ContextMenuRequestedEventArgs* args) {
  if (args == nullptr) return S_OK;
  RuntimeRef<ICoreWebView2ContextMenuItemCollection> items;
  args->get_MenuItems(items.Put());
  if (!items) return S_OK;
  UINT32 index = 0;
  items->get_Count(&index);
  RuntimeRef<ICoreWebView2ContextMenuTarget> target;
  args->get_ContextMenuTarget(target.Put());
  if (!target) return S_OK;
  COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND kind = COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND_PAGE;
  // Menus on links, images, selections and media stay as the runtime built them.
  if (target->get_Kind(&kind) != S_OK || kind != COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND_PAGE) return S_OK;
  // The runtime reports a link as a page target that has a link.
  BOOL hasLink = FALSE;
  if (target->get_HasLinkUri(&hasLink) != S_OK || hasLink != FALSE) return S_OK;

  if (!options.htmlFromFile) AppendItem(items.get(), index, MsgMenuHome, OnHomeItemSelected);
  AppendItem(items.get(), index, options.mute ? MsgMenuUnmute : MsgMenuMute, OnMuteItemSelected);
  if (options.keepData) AppendItem(items.get(), index, MsgMenuClearData, OnClearDataItemSelected);
  return S_OK;
}

HRESULT OnHomeItemSelected(ICoreWebView2ContextMenuItem*, IUnknown*) {
  NavigateToStartAddress();
  return S_OK;
}

HRESULT OnMuteItemSelected(ICoreWebView2ContextMenuItem*, IUnknown*) {
  ToggleMute();
  return S_OK;
}

HRESULT OnClearDataItemSelected(ICoreWebView2ContextMenuItem*, IUnknown*) {
  const int answer = CurrentPlatform().ShowMessageBox(hostState.mainWindow, CatalogText(MsgClearDataConfirm),
                                                      std::u16string(kProgramTitle), kBoxYesNo);
  if (answer != kAnswerYes || !hostState.profile) return S_OK;
  hostState.profile->ClearBrowsingDataAll(
      MakeHandler<ICoreWebView2ClearBrowsingDataCompletedHandler>(OnClearDataCompleted).get());
  return S_OK;
}

HRESULT OnClearDataCompleted(HRESULT) {
  // Reported as cleared whatever the runtime says, as the user asked for it.
  CurrentPlatform().ShowMessageBox(hostState.mainWindow, CatalogText(MsgDataCleared), std::u16string(kProgramTitle),
                                   kBoxPlain);
  return S_OK;
}

}  // namespace vistrel
