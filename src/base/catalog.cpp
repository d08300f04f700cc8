#include "base/catalog.h"


namespace vistrel {

int32_t languageIndex = kJapanese;

namespace {

constexpr std::u16string_view kUsageJapanese =
    u"Web ページを表示します。\n"
    u"\n"
    u"vistrel [/s[p] 幅 高さ [X Y] | /k] [/f] [/u] [/a] [/d[:プロファイル名] | /p] [/m] [/z] "
    u"[/i アイコンファイル] [/l[u][ds]] [タイトル] アドレス | ファイル\n"
    u"\t/s ウィンドウサイズを指定する\n"
    u"\t    p ウィンドウ位置を指定する\n"
    u"\t/k 全画面モード\n"
    u"\t/f ウィンドウサイズを固定する\n"
    u"\t/u UI を制限する\n"
    u"\t/a 閲覧を制限しない\n"
    u"\t/d データを残す\n"
    u"\t/p プライベートモード\n"
    u"\t/m 音をミュートする\n"
    u"\t/z ズームの調整をする\n"
    u"\t/i アイコンを設定する\n"
    u"\t/l ファイルの html 文字列を読み込む\n"
    u"\t    u Unicode のファイルを使用する\n"
    u"\t    d ファイルを削除する\n"
    u"\t    s ファイルの更新を反映する\n";

constexpr std::u16string_view kUsageEnglish =
    u"Display web page.\n"
    u"\n"
    u"vistrel [/s[p] width height [X Y] | /k] [/f] [/u] [/a] [/d[:profile-name] | /p] [/m] [/z] "
    u"[/i icon-file] [/l[u][ds]] [title] address | file\n"
    u"\t/s Specify window size\n"
    u"\t    p Specify window position\n"
    u"\t/k Full screen mode\n"
    u"\t/f Fixed window size\n"
    u"\t/u Limit UI\n"
    u"\t/a No browsing limit\n"
    u"\t/d Keep data\n"
    u"\t/p Private mode\n"
    u"\t/m Mute sound\n"
    u"\t/z Adjust zoom\n"
    u"\t/i Set icon\n"
    u"\t/l Load html string from file\n"
    u"\t    u Use Unicode file\n"
    u"\t    d Delete file\n"
    u"\t    s Reflect file update\n";

}  // namespace

// In the order of MessageId: {Japanese, English}.
const std::array<CatalogEntry, MsgCount> MessageCatalog = {{
    {kUsageJapanese, kUsageEnglish},
    {u" - パラメータが正しくありません。", u" - Parameter is invalid."},
    {u"空のパラメータが指定されています。", u"Empty parameter is specified."},
    {u" - パラメータはすでに指定されています。", u" - Parameter is already specified."},
    {u" - パラメータは一緒に使うことはできません。", u" - Parameter is not able to use together."},
    {u"アイコンファイルが指定されていません。", u"Icon file is not specified."},
    {u"幅または高さが指定されていません。", u"Width or height is not specified."},
    {u"X または Y が指定されていません。", u"X or Y is not specified."},
    {u"アドレスまたはファイルが指定されていません。", u"Address is not specified."},
    {u"プロファイル名が指定されていません。", u"Profile name is not specified."},
    {u" - アイコンファイルのパラメータが正しくありません。", u" - Parameter of icon file is invalid."},
    {u" - アイコンファイルのインデックスが正しくありません。", u" - Index of icon file is invalid."},
    {u" - ウィンドウ幅の値が正しくありません。", u" - Value of window width is invalid."},
    {u" - ウィンドウ高の値が正しくありません。", u" - Value of window height is invalid."},
    {u" - X の値が正しくありません。", u" - Value of X is invalid."},
    {u" - Y の値が正しくありません。", u" - Value of Y is invalid."},
    {u" - プロファイル名の文字数が多すぎます。", u" - Profile name is too long."},
    {u" - プロファイル名に使用できない文字が含まれています。",
     u" - Invalid character is used in profile name."},
    {u" - プロファイル名はスペースまたはピリオドで終了することは出来ません。",
     u" - Profile name is not able to end with space or period."},
    {u" - ウィンドウ幅の値が大きすぎます。", u" - Value of window width is too large."},
    {u" - ウィンドウ高の値が大きすぎます。", u" - Value of window height is too large."},
    {u" - X の値が大きすぎます。", u" - Value of X is too large."},
    {u" - Y の値が大きすぎます。", u" - Value of Y is too large."},
    {u" - ファイルが見つかりませんでした。", u" - File was not found."},
    {u" - ファイル名またはフォルダ名が正しくありません。", u" - File name or folder name is invalid."},
    {u" - ファイルを開けませんでした。", u" - File was not able to open."},
    {u" - アイコンを取得できませんでした。", u" - Unable to retreave the icon."},
    {u" - プロファイル名が正しくありません。", u" - Profile name is invalid."},
    {u" - アドレスまたはファイル名が正しくありません。", u" - Address or file name is invalid."},
    {u" - 対応されていないファイルです。", u" - File is not supported."},
    {u"WebView2 がインストールされていません。", u"WebView2 is not installed."},
    {u"ユーザーデータを削除できませんでした。", u"Could not delete user data."},
    {u"すべてのデータをクリアしますか？", u"Clear all data?"},
    {u"すべてのデータをクリアしました。", u"All data is cleared."},
    {u"ミュート", u"Mute"},
    {u"ミュート解除", u"Unmute"},
    {u"データクリア", u"Clear Data"},
    {u"ホーム", u"Home"},
    {u"Web ビューを開始できませんでした。エラー コード: ", u"The web view could not start. Error code: "},
    {u"データをクリアできませんでした。", u"Could not clear the data."},
}};

void ChooseLanguage(uint16_t userInterfaceLanguage) {
  languageIndex = userInterfaceLanguage == kLangJapanese ? kJapanese : kEnglish;
}

std::u16string CatalogText(MessageId id) {
  return std::u16string(MessageCatalog[static_cast<size_t>(id)][static_cast<size_t>(languageIndex)]);
}

std::u16string ComposeArgumentMessage(const std::u16string& subject, MessageId id) {
  return subject + CatalogText(id);
}

}  // namespace vistrel
