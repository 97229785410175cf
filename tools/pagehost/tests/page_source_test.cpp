#include "page_source.h"

#include <gtest/gtest.h>

#include <map>

namespace pagehost {
namespace {

struct Files {
  std::map<std::string, std::string> files;
  ReadPage reader() {
    return [this](const std::string& p, std::string& out) {
      auto it = files.find(p);
      if (it == files.end()) return false;
      out = it->second;
      return true;
    };
  }
};

std::vector<std::string> code_lines(const PageScript& s) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < s.code.size()) {
    size_t lf = s.code.find('\n', start);
    out.push_back(s.code.substr(start, lf - start));
    start = lf + 1;
  }
  return out;
}

TEST(PageSource, BlocksCodeAndExpressions) {
  Files f;
  PageScript s = translate_page(
      "/p.asp", "<%@ Language=\"VBScript\" %>\r\n<html>\r\n<% x = 1\r\ny = 2 %>\r\n<p><%= x + y %></p>", f.reader());
  ASSERT_EQ(s.error, "");
  EXPECT_EQ(s.language, "VBScript");
  // The literal text is kept byte for byte, line ends included.
  ASSERT_EQ(s.blocks.size(), 3u);
  EXPECT_EQ(s.blocks[0], "\r\n<html>\r\n");
  EXPECT_EQ(s.blocks[1], "\r\n<p>");
  EXPECT_EQ(s.blocks[2], "</p>");
  std::vector<std::string> lines = code_lines(s);
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], "");
  EXPECT_EQ(lines[1], "Response.WriteBlock 0");
  EXPECT_EQ(lines[2], " x = 1");
  EXPECT_EQ(lines[3], "y = 2 ");
  EXPECT_EQ(lines[5], "Response.Write(x + y)");
  // Each line of code knows the page line it came from.
  EXPECT_EQ(s.source_of(2).line, 3);
  EXPECT_EQ(s.source_of(3).line, 4);
  EXPECT_EQ(s.source_of(5).line, 5);
  EXPECT_EQ(s.source_of(5).file, "/p.asp");
}

TEST(PageSource, OptionExplicitMovesToTheTop) {
  Files f;
  PageScript s = translate_page(
      "/p.asp", "<%@ Language=VBScript %>\n<%\n' note\n  option   Explicit ' strict\nDim a\n%>", f.reader());
  ASSERT_EQ(s.error, "");
  std::vector<std::string> lines = code_lines(s);
  EXPECT_EQ(lines[0], "Option Explicit");
  EXPECT_EQ(s.source_of(0).line, 4);
  for (size_t k = 1; k < lines.size(); ++k) EXPECT_EQ(lines[k].find("xplicit"), std::string::npos) << lines[k];
  EXPECT_EQ(s.language, "VBScript");
  // Not taken for the statement: a variable named so, or text after it.
  PageScript t = translate_page("/p.asp", "<% OptionExplicit = 1\nOption Explicit x %>", f.reader());
  EXPECT_EQ(code_lines(t)[0], "");
}

TEST(PageSource, TheDirectiveNamesLanguageAndCodePage) {
  Files f;
  const struct {
    const char* page;
    const char* language;
    unsigned code_page;
  } rows[] = {{"<%@ Language=\"JScript\" CodePage=65001 %>", "JScript", 65001},
              {"<%@ CODEPAGE=\"1251\" %>", "VBScript", 1251},
              {"<%@ Language=VBScript %>", "VBScript", 0}};
  for (const auto& r : rows) {
    PageScript s = translate_page("/p.asp", r.page, f.reader());
    EXPECT_EQ(s.language, r.language) << r.page;
    EXPECT_EQ(s.code_page, r.code_page) << r.page;
  }
}

TEST(PageSource, IncludesByFileAndVirtualPath) {
  Files f;
  f.files["/lib/frame.inc"] = "<% Sub Frame() %>[<% End Sub %>\n<!-- #include file=\"../common/x.inc\" -->";
  f.files["/common/x.inc"] = "<% Dim fromX %>";
  PageScript s = translate_page("/pages/p.asp", "A<!--#include virtual=\"/lib/frame.inc\"-->B<% Frame %>", f.reader());
  ASSERT_EQ(s.error, "");
  std::vector<std::string> lines = code_lines(s);
  ASSERT_EQ(s.blocks.size(), 4u);
  EXPECT_EQ(s.blocks[0], "A");
  EXPECT_EQ(s.blocks[1], "[");
  EXPECT_EQ(s.blocks[2], "\n");
  EXPECT_EQ(s.blocks[3], "B");
  EXPECT_NE(s.code.find(" Dim fromX "), std::string::npos);
  bool seen = false;
  for (size_t k = 0; k < lines.size(); ++k)
    if (lines[k] == " Dim fromX ") {
      seen = true;
      EXPECT_EQ(s.source_of(k).file, "/common/x.inc");
    }
  EXPECT_TRUE(seen);
}

TEST(PageSource, BrokenPagesAreRefusedWithTheirPlace) {
  Files f;
  f.files["/self.inc"] = "<!-- #include file=\"self.inc\" -->";
  EXPECT_NE(translate_page("/p.asp", "a\nb\n<% x = 1", f.reader()).error.find("line 3"), std::string::npos);
  EXPECT_NE(translate_page("/p.asp", "<!-- #include file=\"missing.inc\" -->", f.reader()).error, "");
  EXPECT_NE(translate_page("/p.asp", "<!-- #include file=\"../../etc/passwd\" -->", f.reader()).error, "");
  EXPECT_NE(translate_page("/p.asp", "<!-- #include virtual=\"/../x\" -->", f.reader()).error, "");
  EXPECT_NE(translate_page("/p.asp", "<!-- #include file=\"self.inc\" -->", f.reader()).error.find("nested"),
            std::string::npos);
  // An ordinary comment is literal text.
  PageScript s = translate_page("/p.asp", "<!-- a comment --><% x %>", f.reader());
  EXPECT_EQ(s.error, "");
  ASSERT_EQ(s.blocks.size(), 1u);
  EXPECT_EQ(s.blocks[0], "<!-- a comment -->");
}

TEST(PageSource, PathsResolveInsideTheRoot) {
  std::string out;
  ASSERT_TRUE(resolve_page_path("/upload.asp", "uploads", false, out));
  EXPECT_EQ(out, "/uploads");
  ASSERT_TRUE(resolve_page_path("/a/b/p.asp", "../c/./d", false, out));
  EXPECT_EQ(out, "/a/c/d");
  ASSERT_TRUE(resolve_page_path("/a/p.asp", "", false, out));
  EXPECT_EQ(out, "/a");
  ASSERT_TRUE(resolve_page_path("/a/p.asp", "/", true, out));
  EXPECT_EQ(out, "/");
  ASSERT_TRUE(resolve_page_path("/a/p.asp", "x\\y", false, out));
  EXPECT_EQ(out, "/a/x/y");
  EXPECT_FALSE(resolve_page_path("/p.asp", "..", false, out));
  EXPECT_FALSE(resolve_page_path("/a/p.asp", "/../x", true, out));
  EXPECT_FALSE(resolve_page_path("/p.asp", "c:/x", false, out));
  EXPECT_EQ(include_path("/a/p.asp", "/abs.inc", false), "");  // file= is relative only
  EXPECT_EQ(include_path("/a/p.asp", "x.inc", false), "/a/x.inc");
}

}  // namespace
}  // namespace pagehost
