#include "run/html_file.h"

#include "base/catalog.h"
#include "base/options.h"
#include "rules/html_text.h"
#include "run/boxes.h"
#include "run/host_state.h"
#include "seam/platform.h"

namespace vistrel {

bool LoadHtmlFile(const std::u16string& path) {
  Platform& platform = CurrentPlatform();
  hostState.htmlText.clear();
  // With /ls an editor must be able to save while the file is being read.
  const FileContents file = platform.ReadWholeFile(path, options.reflectFileUpdate);
  // A read that breaks off is reported like an open that fails: either way
  // the text is not what the file holds.
  if (file.status != FileContents::Status::Read) {
    platform.ShowMessageBox(nullptr, ComposeArgumentMessage(path, MsgFileOpenFailed),
                            std::u16string(kProgramTitle), kBoxWarning);
    return false;
  }
  hostState.htmlText = options.htmlUnicode ? DecodeUnicodeText(file.bytes)
                                           : platform.ConvertAnsiText(KeepAnsiBytes(file.bytes));
  return true;
}

bool PrepareHtmlFile() {
  Platform& platform = CurrentPlatform();
  if (!platform.PathExists(options.address)) {
    ShowCatalogMessage(ComposeArgumentMessage(options.address, MsgFileNotFound), true);
    return false;
  }
  if (!LoadHtmlFile(options.address)) return false;
  if (options.reflectFileUpdate) hostState.fileWriteTime = platform.FileWriteTime(options.address).value_or(0);
  return true;
}

}  // namespace vistrel
