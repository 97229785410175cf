#include "http_head.h"

#include <gtest/gtest.h>

namespace pagehost {
namespace {

int parse(std::string_view text, RequestHead& h) { return parse_head(text, h); }

TEST(HttpHead, UploadRequestFromABrowser) {
  RequestHead h;
  ASSERT_EQ(parse("POST /dir/up%20load.asp?a=1&b=x+y HTTP/1.1\r\nHost: 127.0.0.1:8080\r\n"
                  "Content-Type: multipart/form-data; boundary=----X\r\nContent-Length: 1234\r\n"
                  "Accept: text/html\r\nAccept: image/*\r\n\r\n",
                  h),
            0);
  EXPECT_EQ(h.method, "POST");
  EXPECT_EQ(h.path, "/dir/up load.asp");
  EXPECT_EQ(h.query, "a=1&b=x+y");
  EXPECT_EQ(h.content_length, 1234);
  EXPECT_TRUE(h.keep_alive);
  EXPECT_FALSE(h.expect_continue);
  EXPECT_EQ(h.header("content-type"), "multipart/form-data; boundary=----X");
  EXPECT_EQ(h.header("ACCEPT"), "text/html, image/*");  // repeated lines join
  EXPECT_EQ(h.header("Cookie"), "");
}

TEST(HttpHead, ConnectionAndContinue) {
  RequestHead h;
  ASSERT_EQ(parse("GET / HTTP/1.1\r\nConnection: Keep-Alive, Close\r\n\r\n", h), 0);
  EXPECT_FALSE(h.keep_alive);
  ASSERT_EQ(parse("GET / HTTP/1.0\r\n\r\n", h), 0);
  EXPECT_FALSE(h.keep_alive);
  ASSERT_EQ(parse("GET / HTTP/1.0\nConnection: keep-alive\n\n", h), 0);  // bare LF line ends
  EXPECT_TRUE(h.keep_alive);
  ASSERT_EQ(parse("POST /a.asp HTTP/1.1\r\nContent-Length: 5\r\nExpect: 100-continue\r\n\r\n", h), 0);
  EXPECT_TRUE(h.expect_continue);
}

TEST(HttpHead, BadRequestsGetTheirStatus) {
  RequestHead h;
  EXPECT_EQ(parse("POST /a.asp HTTP/1.1\r\nHost: x\r\n\r\n", h), 411);  // a body without a length
  EXPECT_EQ(parse("PUT /a.asp HTTP/1.1\r\n\r\n", h), 411);
  EXPECT_EQ(parse("POST /a.asp HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", h), 501);
  EXPECT_EQ(parse("GET / HTTP/2.0\r\n\r\n", h), 505);
  EXPECT_EQ(parse("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", h), 400);  // a TLS hello
  EXPECT_EQ(parse("GET  / HTTP/1.1\r\n\r\n", h), 400);                       // two spaces
  EXPECT_EQ(parse("GET / HTTP/1.1 extra\r\n\r\n", h), 400);
  EXPECT_EQ(parse("GET http://x/ HTTP/1.1\r\n\r\n", h), 400);
  EXPECT_EQ(parse("GET /a%2 HTTP/1.1\r\n\r\n", h), 400);    // broken escape
  EXPECT_EQ(parse("GET /a%00b HTTP/1.1\r\n\r\n", h), 400);  // a NUL in the path
  EXPECT_EQ(parse("GET / HTTP/1.1\r\nNo colon here\r\n\r\n", h), 400);
  EXPECT_EQ(parse("GET / HTTP/1.1\r\nBad Name: x\r\n\r\n", h), 400);
  EXPECT_EQ(parse("GET / HTTP/1.1\r\nA: b\r\n folded\r\n\r\n", h), 400);
  EXPECT_EQ(parse("GET / HTTP/1.1\r\nA: b\x01\r\n\r\n", h), 400);
  EXPECT_EQ(parse("POST / HTTP/1.1\r\nContent-Length: 12a\r\n\r\n", h), 400);
  EXPECT_EQ(parse("POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n", h), 400);
  EXPECT_EQ(parse("POST / HTTP/1.1\r\nContent-Length: 99999999999999999999\r\n\r\n", h), 400);
  // Two lengths that disagree are a smuggling attempt; two that agree are harmless.
  EXPECT_EQ(parse("POST / HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n", h), 400);
  EXPECT_EQ(parse("POST / HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 5\r\n\r\n", h), 0);
  EXPECT_EQ(h.content_length, 5);
  EXPECT_EQ(parse("", h), 400);
}

TEST(HttpHead, HeadEndIsFoundWhereverTheDataIsCut) {
  std::string head = "GET / HTTP/1.1\r\nHost: x\r\n\r\nBODY";
  EXPECT_EQ(find_head_end(head), head.size() - 4);
  for (size_t cut = 0; cut < head.size() - 4; ++cut) EXPECT_EQ(find_head_end(head.substr(0, cut)), 0u) << cut;
  EXPECT_EQ(find_head_end("GET / HTTP/1.0\n\nX"), 16u);
  EXPECT_EQ(find_head_end("GET / HTTP/1.0\r\n\nX"), 17u);
}

TEST(HttpHead, PagePathsStayInsideTheFolder) {
  EXPECT_TRUE(is_safe_path("/upload.asp"));
  EXPECT_TRUE(is_safe_path("/a/b..c/d.asp"));
  EXPECT_FALSE(is_safe_path("/../secret.asp"));
  EXPECT_FALSE(is_safe_path("/a/../../b.asp"));
  EXPECT_FALSE(is_safe_path("/a/./b.asp"));
  EXPECT_FALSE(is_safe_path("/a/.."));
  EXPECT_FALSE(is_safe_path("/a\\..\\b.asp"));
  EXPECT_FALSE(is_safe_path("/c:/windows/win.ini"));
  EXPECT_FALSE(is_safe_path("/upload.asp::$DATA"));
  EXPECT_FALSE(is_safe_path("relative.asp"));
  EXPECT_FALSE(is_safe_path(""));
}

TEST(HttpHead, QueryValues) {
  EXPECT_EQ(query_value("a=1&name=J%C3%B6rg+M&b", "NAME"), "J\xC3\xB6rg M");
  EXPECT_EQ(query_value("x=1&x=2&y=3", "x"), "1, 2");
  EXPECT_EQ(query_value("x=1", "y"), "");
  EXPECT_EQ(query_value("flag&x=%zz", "flag"), "");
  EXPECT_EQ(query_value("x=%zz", "x"), "");  // a broken escape gives no value, not garbage
  EXPECT_EQ(html_escape("<a href=\"x\">&</a>"), "&lt;a href=&quot;x&quot;&gt;&amp;&lt;/a&gt;");
}

}  // namespace
}  // namespace pagehost
