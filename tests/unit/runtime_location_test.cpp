#include "rules/runtime_location.h"

#include <gtest/gtest.h>

#include <optional>

namespace vistrel {
namespace {

using Kind = RuntimeLibrary::Kind;

constexpr char16_t kProgram[] = u"C:\\Programs\\vistrel";
constexpr char16_t kLoader[] = u"C:\\Programs\\vistrel\\WebView2Loader.dll";

TEST(RuntimeLocationTest, LoaderBesideTheProgramComesFirstThenMachineThenUser) {
  const std::vector<RuntimeLibrary> expected = {
      {Kind::Loader, kLoader},
      {Kind::Engine, u"C:\\Runtime\\120.0.2210.91\\EBWebView\\x64\\EmbeddedBrowserWebView.dll"},
      {Kind::Engine, u"C:\\Users\\u\\Runtime\\121.0.1\\EBWebView\\x64\\EmbeddedBrowserWebView.dll"},
  };
  EXPECT_EQ(RuntimeLibraries(kProgram, u"C:\\Runtime\\120.0.2210.91", u"C:\\Users\\u\\Runtime\\121.0.1"), expected);
}

TEST(RuntimeLocationTest, NothingRegisteredLeavesTheLoaderAlone) {
  const std::vector<RuntimeLibrary> expected = {{Kind::Loader, kLoader}};
  EXPECT_EQ(RuntimeLibraries(kProgram, std::nullopt, std::nullopt), expected);
  // An empty registration names no folder: the program's own folder is not taken for it.
  EXPECT_EQ(RuntimeLibraries(kProgram, u"", u""), expected);
}

TEST(RuntimeLocationTest, OnlyTheRegistrationsThatNameAFolder) {
  const std::u16string engine = u"D:\\rt\\EBWebView\\x64\\EmbeddedBrowserWebView.dll";
  EXPECT_EQ(RuntimeLibraries(kProgram, std::nullopt, u"D:\\rt"),
            (std::vector<RuntimeLibrary>{{Kind::Loader, kLoader}, {Kind::Engine, engine}}));
  EXPECT_EQ(RuntimeLibraries(kProgram, u"D:\\rt", u""),
            (std::vector<RuntimeLibrary>{{Kind::Loader, kLoader}, {Kind::Engine, engine}}));
}

TEST(RuntimeLocationTest, OneSeparatorBetweenFolderAndName) {
  const struct {
    std::u16string folder;
    std::u16string loader;
    std::u16string engine;
  } rows[] = {
      {u"C:\\rt", u"C:\\rt\\WebView2Loader.dll", u"C:\\rt\\EBWebView\\x64\\EmbeddedBrowserWebView.dll"},
      {u"C:\\rt\\", u"C:\\rt\\WebView2Loader.dll", u"C:\\rt\\EBWebView\\x64\\EmbeddedBrowserWebView.dll"},
      {u"C:/rt/", u"C:/rt/WebView2Loader.dll", u"C:/rt/EBWebView\\x64\\EmbeddedBrowserWebView.dll"},
      {u"C:\\", u"C:\\WebView2Loader.dll", u"C:\\EBWebView\\x64\\EmbeddedBrowserWebView.dll"},
      {u"\\\\server\\share\\rt", u"\\\\server\\share\\rt\\WebView2Loader.dll",
       u"\\\\server\\share\\rt\\EBWebView\\x64\\EmbeddedBrowserWebView.dll"},
      {u"C:\\Program Files (x86)\\Microsoft\\EdgeWebView\\Application\\120.0.2210.91",
       u"C:\\Program Files (x86)\\Microsoft\\EdgeWebView\\Application\\120.0.2210.91\\WebView2Loader.dll",
       u"C:\\Program Files (x86)\\Microsoft\\EdgeWebView\\Application\\120.0.2210.91\\EBWebView\\x64\\"
       u"EmbeddedBrowserWebView.dll"},
  };
  for (const auto& row : rows) {
    const std::vector<RuntimeLibrary> expected = {{Kind::Loader, row.loader}, {Kind::Engine, row.engine}};
    EXPECT_EQ(RuntimeLibraries(row.folder, row.folder, std::nullopt), expected);
  }
}

TEST(RuntimeLocationTest, WithoutTheProgramsFolderNoLoaderIsLookedFor) {
  // A bare name would be looked for along the search path, not beside the program.
  EXPECT_EQ(RuntimeLibraries(u"", std::nullopt, std::nullopt), std::vector<RuntimeLibrary>{});
  EXPECT_EQ(RuntimeLibraries(u"", u"C:\\rt", std::nullopt),
            (std::vector<RuntimeLibrary>{{Kind::Engine, u"C:\\rt\\EBWebView\\x64\\EmbeddedBrowserWebView.dll"}}));
}

TEST(RuntimeLocationTest, TheRegistrationIsTheOneTheRuntimeWrites) {
  EXPECT_EQ(std::u16string(kRuntimeClientStateKey),
            u"SOFTWARE\\Microsoft\\EdgeUpdate\\ClientState\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}");
  EXPECT_EQ(std::u16string(kRuntimeFolderValue), u"EBWebView");
}

}  // namespace
}  // namespace vistrel
