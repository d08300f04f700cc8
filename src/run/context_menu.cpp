#include "run/context_menu.h"

#include "base/catalog.h"
#include "base/options.h"
#include "rules/web_verdicts.h"
#include "run/environment_setup.h"
#include "run/host_state.h"
#include "run/window_procedure.h"
#include "runtime/handler.h"
#include "seam/platform.h"

namespace vistrel {

namespace {

using ItemHandler = HRESULT (*)(ICoreWebView2ContextMenuItem*, IUnknown*);

ItemHandler HandlerFor(MenuAction action) {
  switch (action) {
    case MenuAction::Home:
      return OnHomeItemSelected;
    case MenuAction::Mute:
      return OnMuteItemSelected;
    case MenuAction::ClearData:
      return OnClearDataItemSelected;
  }
  return nullptr;
}

// Creates the item, subscribes its handler and puts it at the index.
void AppendItem(ICoreWebView2ContextMenuItemCollection* items, UINT32& index, const MenuItem& wanted) {
  if (!hostState.environment9) return;
  RuntimeRef<ICoreWebView2ContextMenuItem> item;
  hostState.environment9->CreateContextMenuItem(RuntimeText(CatalogText(wanted.label)), nullptr,
                                                COREWEBVIEW2_CONTEXT_MENU_ITEM_KIND_COMMAND, item.Put());
  if (!item) return;
  EventRegistrationToken token{};
  item->add_CustomItemSelected(
      MakeHandler<ICoreWebView2CustomItemSelectedEventHandler>(HandlerFor(wanted.action)).get(), &token);
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
  // The runtime reports a link as a page target that has a link; what cannot
  // be read counts as not a plain page.
  COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND kind = COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND_PAGE;
  BOOL hasLink = FALSE;
  const bool pageWithoutLink = target->get_Kind(&kind) == S_OK && kind == COREWEBVIEW2_CONTEXT_MENU_TARGET_KIND_PAGE &&
                               target->get_HasLinkUri(&hasLink) == S_OK && hasLink == FALSE;
  for (const MenuItem& item : MenuItemsFor(pageWithoutLink, options)) AppendItem(items.get(), index, item);
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

namespace {

void ShowClearDataNotice(bool cleared) {
  const WindowHandle window = hostState.mainWindow;
  CurrentPlatform().PostToWindow(window, [window, cleared] {
    CurrentPlatform().ShowMessageBox(window, CatalogText(cleared ? MsgDataCleared : MsgDataClearFailed),
                                     std::u16string(kProgramTitle), cleared ? kBoxPlain : kBoxWarning);
  });
}

void AskToClearData() {
  const int answer = CurrentPlatform().ShowMessageBox(hostState.mainWindow, CatalogText(MsgClearDataConfirm),
                                                      std::u16string(kProgramTitle), kBoxYesNo);
  if (answer != kAnswerYes) return;
  // A clear refused at once never reports back.
  if (!hostState.profile || hostState.profile->ClearBrowsingDataAll(
                                MakeHandler<ICoreWebView2ClearBrowsingDataCompletedHandler>(OnClearDataCompleted)
                                    .get()) < 0) {
    ShowClearDataNotice(false);
  }
}

}  // namespace

HRESULT OnClearDataItemSelected(ICoreWebView2ContextMenuItem*, IUnknown*) {
  CurrentPlatform().PostToWindow(hostState.mainWindow, AskToClearData);
  return S_OK;
}

HRESULT OnClearDataCompleted(HRESULT result) {
  ShowClearDataNotice(result >= 0);
  return S_OK;
}

}  // namespace vistrel
