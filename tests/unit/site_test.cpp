#include "rules/site.h"

#include <gtest/gtest.h>

#include "fake_platform.h"

namespace vistrel {
namespace {

using fakes::Narrow;

TEST(SiteTest, DeriveSiteScope) {
  const struct {
    std::u16string source;
    std::u16string scope;
  } rows[] = {
      // Web pages: the host cut down to its domain.
      {u"https://www.name.ab.cd/index.html", u"name.ab.cd"},
      {u"https://sub.name.abc.cd/", u"name.abc.cd"},
      {u"https://x.y.name.ab.cd/", u"name.ab.cd"},
      {u"https://sub.name.cd/a", u"name.cd"},
      {u"https://www.name.abc/", u"name.abc"},
      {u"https://a.b.name.abc/", u"name.abc"},
      {u"https://www.ab.abc/", u"ab.abc"},
      {u"https://www.name/", u"name"},
      {u"https://name.ab.cd/", u"name.ab.cd"},
      {u"https://ab.cd/", u"ab.cd"},
      {u"https://sub.name.abcd/", u"sub.name.abcd"},
      {u"https://name.abc:8080/x", u"name.abc"},
      {u"http://1.2.3.4:8000/page", u"1.2.3.4"},
      {u"http://127.0.0.1/", u"127.0.0.1"},
      {u"http://name/", u"name"},
      {u"http://localhost:5000/", u"localhost"},
      {u"https://WWW.ab.abc/", u"WWW.ab.abc"},  // capitals are not folded
      {u"https://www.AB.ABC/", u"AB.ABC"},
      {u"https:///path", u""},  // empty host
      {u"https://", u""},
      // Pages from an HTML string, or addresses without "//".
      {u"about:blank", u"about:blank"},
      {u"data:text/html,<p>x</p>", u"data:text/html,<p>x</p>"},
      {u"", u""},
      // Local files: the folder.
      {u"file:///C:/pages/index.html", u"C:/pages/"},
      {u"file:///C:/index.html", u"C:/"},
      {u"file:///home/u/site/a/b.html", u"home/u/site/a/"},
      {u"file:///index.html", u""},
      {u"file://server/share/page.html", u"le://server/share/"},  // a share: cut at index 2
      {u"file:", u""},
  };
  for (const auto& row : rows) EXPECT_EQ(DeriveSiteScope(row.source), row.scope) << Narrow(row.source);
}

TEST(SiteTest, IsWithinSite) {
  const struct {
    std::u16string scope;
    std::u16string address;
    bool inside;
  } rows[] = {
      {u"", u"https://anything.example/", true},
      {u"", u"mailto:a@b.c", true},
      {u"", u"", true},
      {u"about:blank", u"data:text/html,x", true},
      {u"about:blank", u"about:blank", false},
      {u"about:blank", u"DATA:text/html,x", false},
      {u"about:blank", u"https://name.cd/", false},
      {u"name.cd", u"https://name.cd/", true},
      {u"name.cd", u"https://sub.name.cd/a/b?c", true},
      {u"name.cd", u"https://name.cd:8443/x", true},
      {u"name.cd", u"https://othername.cd/", true},  // plain suffix
      {u"name.cd", u"https://name.cde/", false},
      {u"name.cd", u"https://name.cd.ab/", false},
      {u"name.cd", u"https://NAME.cd/", false},
      {u"name.cd", u"mailto:someone@name.cd", false},
      {u"name.cd", u"name.cd", false},  // no "//": the host starts at index 1
      {u"name.cd", u"", false},
      {u"name.cd", u"x", false},
      {u"name.cd", u"file:///C:/name.cd", false},
      {u"1.2.3.4", u"http://1.2.3.4:8000/a/b", true},
      {u"1.2.3.4", u"http://11.2.3.4/", true},  // plain suffix again
      {u"localhost", u"http://localhost:5000/", true},
      {u"C:/site/", u"file:///C:/site/sub/b.html", true},
      {u"C:/site/", u"file:///C:/site/", true},
      {u"C:/site/", u"file:///C:/other/a.html", false},
      {u"C:/site/", u"file:///C:/sit", false},
      {u"C:/site/", u"https://name.cd/C:/site/", false},
      {u"le://server/share/", u"file://server/share/b/c.html", true},
      {u"le://server/share/", u"file://server/other/c.html", false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(IsWithinSite(row.address, row.scope), row.inside)
        << "scope " << Narrow(row.scope) << ", address " << Narrow(row.address);
  }
}

TEST(SiteTest, FirstPageScopeAdmitsItsOwnSite) {
  for (std::u16string source : {u"https://www.name.ab.cd/a", u"http://127.0.0.1:8080/", u"file:///C:/p/i.html",
                                u"https://sub.name.abc/x"}) {
    EXPECT_TRUE(IsWithinSite(source, DeriveSiteScope(source))) << Narrow(source);
  }
}

}  // namespace
}  // namespace vistrel
