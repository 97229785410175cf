// The form-data decoder. Every body is fed whole, one byte per call and split at every
// pair of cut points (or at many random points when it is large), and every feeding
// must give the same items, files, headers and result.
#include <gtest/gtest.h>

#include "unit/formdata/harness.h"

namespace kelv {
namespace {

using test::B;
using test::buffer;
using test::closing;
using test::Decoder;
using test::Outcome;
using test::part_file;
using test::part_text;
using test::slurp;

TEST_F(Decoder, EveryPairOfCutPoints) {
  // Short names and a file whose content holds CR runs, a broken delimiter and a
  // boundary prefix right before the real delimiter.
  std::string body =
      "--B\r\nContent-Disposition: form-data; name=\"t\"\r\n\r\nv\r\n"
      "--B\r\nContent-Disposition: form-data; name=\"f\"; filename=\"x\"\r\n\r\n"
      "\r\r\n--B-\r\n--Bx\r\n-\r\n--B--\r\n";
  Outcome r = decode_every_way(body, true);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.values, std::vector<std::string>{"v"});
  ASSERT_EQ(r.files.size(), 1u);
  EXPECT_EQ(r.files[0], "f|x||\r\r\n--B-\r\n--Bx\r\n-");
}

TEST_F(Decoder, ItemsAndAFile) {
  std::string body =
      part_text("title", "Holiday") + part_file("photo", "C:\\Pics\\a.jpg", "image/jpeg", "JPEGDATA") + closing();
  Outcome r = decode_every_way(body);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.names, std::vector<std::string>{"title"});
  EXPECT_EQ(r.values, std::vector<std::string>{"Holiday"});
  ASSERT_EQ(r.files.size(), 1u);
  EXPECT_EQ(r.files[0], "photo|C:\\Pics\\a.jpg|image/jpeg|JPEGDATA");
  ASSERT_EQ(r.headers[0].size(), 2u);
  EXPECT_EQ(r.headers[0][0], "Content-Disposition: form-data; name=\"photo\"; filename=\"C:\\Pics\\a.jpg\"");
}

TEST_F(Decoder, ContentFullOfLineEndsDashesAndBoundaryPrefixes) {
  const std::string nasty[] = {
      "\r\n",           "\r",          "\n\n\nstart",       "a\r\r\nb",     "--XyZ",         "\r\n--XyZ-",
      "\r\n--Xy",       "\r\n--XyZ x", "\r\n--XyZ\r",       "\r\n--XyZ\rQ", "\r\n--XyZ-Q",   "\r\n--XyZ--Q",
      "\r\n\r\n--XyZ-", "end\r\n-",    "\r\n--XyZ\r\r\n--", "\r\r\r\r",     "x\r\n--XyZ--x", "\r\n--XyZ-\r\n",
  };
  for (const std::string& content : nasty) {
    std::string body = part_file("f", "n.bin", "application/octet-stream", content) + closing();
    Outcome r = decode_every_way(body);
    ASSERT_EQ(r.files.size(), 1u) << content;
    EXPECT_EQ(r.files[0], "f|n.bin|application/octet-stream|" + content);
    EXPECT_EQ(r.result, 0);
  }
}

TEST_F(Decoder, ALongRunOfCarriageReturnsStaysWithinTheBuffer) {
  std::string content = "head" + std::string(50000, '\r') + "tail" + std::string(70000, 'z');
  std::string body = part_file("f", "cr.bin", "x/y", content) + closing();
  Outcome r = decode_every_way(body);
  EXPECT_EQ(r.result, 0);
  ASSERT_EQ(r.files.size(), 1u);
  EXPECT_EQ(r.files[0], "f|cr.bin|x/y|" + content);
}

TEST_F(Decoder, LargeFilesPassThroughTheBuffer) {
  std::string content;
  std::mt19937 rng(7);
  for (int i = 0; i < 300000; ++i) {
    int k = rng() % 20;
    content += k == 0 ? "\r\n" : k == 1 ? "\r\n--X" : k == 2 ? "-" : std::string(1, static_cast<char>(rng()));
  }
  std::string body =
      part_text("a", "1") + part_file("big", "big.bin", "x/y", content) + part_text("b", "2") + closing();
  Outcome r = decode_every_way(body);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.files[0].size(), std::string("big|big.bin|x/y|").size() + content.size());
  EXPECT_EQ(r.files[0].substr(16), content);
  EXPECT_EQ(r.values, (std::vector<std::string>{"1", "2"}));
}

TEST_F(Decoder, HeaderDetails) {
  std::string body = B +
                     "\r\nContent-Disposition: form-data; name=\"e\"; filename=\"\"\r\nContent-Type:  two\r\n\r\n\r\n" +
                     B + "\r\nContent-Disposition: form-data; filename=\"f.txt\"; name=\"late\"\r\nContent-Type:\r\n" +
                     "X-Other: kept\r\n\r\nabc\r\n" + B + "\r\nX-Nothing: here\r\n\r\nv\r\n" + closing();
  Outcome r = decode_every_way(body);
  ASSERT_EQ(r.files.size(), 2u);
  EXPECT_EQ(r.files[0], "e|| two|");  // an empty file name still makes a file part
  // The form name is read from its own parameter, not from inside filename="...".
  EXPECT_EQ(r.files[1], "late|f.txt||abc");
  EXPECT_EQ(r.headers[1].size(), 3u);
  EXPECT_EQ(r.headers[1][2], "X-Other: kept");
  // A part without a disposition line is an item named "".
  EXPECT_EQ(r.names, std::vector<std::string>{""});
  EXPECT_EQ(r.values, std::vector<std::string>{"v"});
}

TEST_F(Decoder, ContentTypeKeepsAllButOneSpace) {
  std::string body = part_file("f", "a", " two", "x") + closing();
  EXPECT_EQ(decode(body, {}).files[0], "f|a| two|x");
}

TEST_F(Decoder, MultiLineValuesAndTheLineJoin) {
  std::string body = part_text("t", "a\r\nb") + part_text("e", "") + closing();
  Outcome r = decode_every_way(body);
  EXPECT_EQ(r.values, (std::vector<std::string>{"a\n\rb", ""}));
  EXPECT_EQ(decode(body, {}, "", "{-NoLineEnd-}").values[0], "ab");
  EXPECT_EQ(decode(body, {}, "", "<br>").values[0], "a<br>b");
  // A line that merely begins with the boundary is part of the value.
  std::string tricky = part_text("t", "--XyZ is not the end\r\n--XyZ-") + closing();
  EXPECT_EQ(decode_every_way(tricky).values[0], "--XyZ is not the end\n\r--XyZ-");
}

TEST_F(Decoder, EpilogueIsIgnored) {
  std::string body = part_text("a", "1") + closing() + "epilogue\r\n--XyZ\r\nmore";
  Outcome r = decode_every_way(body);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.values, std::vector<std::string>{"1"});
}

TEST_F(Decoder, BodiesThatEndEarly) {
  EXPECT_EQ(decode(part_text("a", "1") + B + "\r\n", {}).result, -10);  // a delimiter line, no closing
  Outcome text = decode(B + "\r\nContent-Disposition: form-data; name=\"cut\"\r\n\r\nhalf a va", {});
  EXPECT_EQ(text.result, -30) << text;
  EXPECT_EQ(text.names, std::vector<std::string>{"cut"});
  EXPECT_TRUE(text.values.empty());
  EXPECT_EQ(decode(B + "\r\nContent-Disp", {}).result, -11);
  EXPECT_EQ(decode("--XyZ", {}).result, -501);
  EXPECT_EQ(decode("", {}).result, -501);
  // Cut inside a file: every file of the upload is deleted, the records stay.
  std::string cut = part_file("a", "one", "t", "complete") + part_file("b", "two", "t", "partial").substr(0, 90);
  Outcome r = decode(cut, {});
  EXPECT_EQ(r.result, -20);
  ASSERT_EQ(r.files.size(), 2u);
  EXPECT_EQ(r.files[0], "a|one|t|<deleted>");
  EXPECT_EQ(r.files[1], "b|two|t|<deleted>");
  EXPECT_EQ(decode(part_file("a", "one", "t", "x") + B + "-", {}).result, -25);
  std::string cr_last = part_file("a", "one", "t", "x\r");
  EXPECT_EQ(decode(cr_last.substr(0, cr_last.size() - 2), {}).result, -21);
  // Only the final CR missing: the content is complete and kept.
  Outcome nearly = decode(part_file("a", "one", "t", "whole") + B + "--", {});
  EXPECT_EQ(nearly.result, -26);
  EXPECT_EQ(nearly.files[0], "a|one|t|whole");
}

TEST_F(Decoder, BareLineFeedsNeverEndTheHeaderBlock) {
  std::string body = "--XyZ\nContent-Disposition: form-data; name=\"a\"\n\nvalue\n--XyZ--\n";
  EXPECT_EQ(decode_every_way(body).result, -11);
}

TEST_F(Decoder, ABoundaryOver200BytesIsRefused) {
  std::string long_boundary = "--" + std::string(250, 'b');
  TBinaryRWImpl bin;
  bin.FD_Init(m_dir.string(), "", "");
  std::string body = long_boundary + "\r\nContent-Disposition: form-data; name=\"f\"; filename=\"x\"\r\n\r\ndata\r\n";
  EXPECT_EQ(bin.FD_Decode(buffer(body)), 0);
  EXPECT_EQ(bin.FD_EndDecode(), -1000);
  EXPECT_EQ(bin.FD_GetFilesCount(), 0);
  EXPECT_TRUE(std::filesystem::is_empty(m_dir));
  // 200 bytes are still served.
  std::string ok = "--" + std::string(198, 'b');
  std::string body2 = ok + "\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\nv\r\n" + ok + "--\r\n";
  bin.FD_Init(m_dir.string(), "", "");
  bin.FD_Decode(buffer(body2));
  EXPECT_EQ(bin.FD_EndDecode(), 0);
  EXPECT_EQ(bin.FD_GetItemValue(0), "v");
}

// A decode that can't go on keeps why: the decoder's own refusal of a body it can't
// read is an error; a body that ends early or passes a limit is none.
TEST_F(Decoder, AFailureKeepsItsCause) {
  const std::string file = "Content-Disposition: form-data; name=\"f\"; filename=\"x\"\r\n\r\n";
  const struct {
    const char* what;
    std::string body;
    TFD_Limits limits;
    Status failure;
    const char* text;
    int32_t result;
  } cases[] = {
      {"a boundary over 200 bytes",
       "--" + std::string(250, 'b') + "\r\n",
       {},
       Status::Raised,
       "The boundary line is too long",
       -1000},
      {"an empty first line before file content",
       "\r\n" + file + "ab\r\nc",
       {},
       Status::Raised,
       "The boundary line is empty",
       -1022},
      {"a complete body", part_text("a", "v") + closing(), {}, Status::Ok, "", 0},
      {"a body cut off in a header block", B + "\r\nX: y", {}, Status::Ok, "", -11},
      {"a file past its limit", B + "\r\n" + file + "abc", {2, 0, 0, 0}, Status::Ok, "", 13},
  };
  for (const auto& c : cases) {
    TFD_Object fd(m_dir.string(), "", "", c.limits);
    fd.Decode(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(c.body.data()), c.body.size()));
    EXPECT_EQ(fd.failure().status, c.failure) << c.what;
    EXPECT_EQ(fd.failure().text, c.text) << c.what;
    EXPECT_EQ(fd.EndDecode(), c.result) << c.what;
    EXPECT_TRUE(std::filesystem::is_empty(m_dir)) << c.what;
  }
}

// The extended file name is read once, by the decoder, into the file's record (the last
// disposition line with a readable one counts); a code page other than the system's
// answers with it, the system's with the plain name.
TEST_F(Decoder, TheExtendedFileNameIsKeptWithTheFile) {
  const std::string body = B + "\r\nContent-Disposition: form-data; name=\"a\"; filename=\"plain.jpg\"; " +
                           "filename*=UTF-8''%E5%86%99.jpg\r\n\r\nx\r\n" + B +
                           "\r\nContent-Disposition: form-data; name=\"b\"; filename*=UTF-8''%C3%A9.jpg\r\n" +
                           "Content-Disposition: form-data; name=\"b\"; filename*=koi8-r''x\r\n\r\ny\r\n" +
                           part_file("c", "c.jpg", "t", "z") + closing();
  TBinaryRWImpl bin;
  bin.put_CodePage(65001);
  bin.FD_Init(m_dir.string(), "", "");
  EXPECT_EQ(bin.FD_Decode(buffer(body)), 0);
  EXPECT_EQ(bin.FD_EndDecode(), 0);
  ASSERT_EQ(bin.FD_GetFilesCount(), 3);
  const char* const names[] = {"\xE5\x86\x99.jpg", "\xC3\xA9.jpg", "c.jpg"};
  for (int32_t k = 0; k < 3; ++k) EXPECT_EQ(bin.FD_GetFileHeaderName(k), names[k]) << k;
  bin.put_CodePage(0);
  EXPECT_EQ(bin.FD_GetFileHeaderName(0), "plain.jpg");
  bin.FD_DeleteTMPFiles();
}

TEST_F(Decoder, DecodeRefusesWhatItCannotTake) {
  TBinaryRWImpl bin;
  EXPECT_EQ(bin.FD_Decode(buffer("--x\r\n")), 0);  // no decoder
  EXPECT_EQ(bin.FD_EndDecode(), -501);
  bin.FD_Init(m_dir.string(), "", "");
  EXPECT_EQ(bin.FD_Decode(buffer("")), 0);
  EXPECT_EQ(bin.FD_Decode(VarIn{VarIn::Kind::Text, {}, "--x\r\n"}), 0);
  EXPECT_EQ(bin.FD_Decode(buffer("--x\r\n")), 1);
  bin.FD_EndDecode();
  EXPECT_EQ(bin.FD_Decode(buffer("Content-Disposition: x\r\n")), 0);  // after the end
}

TEST_F(Decoder, GeneratedNamesCountTheFileParts) {
  std::string body;
  for (int i = 0; i < 12; ++i) body += part_file("f", "n", "t", std::to_string(i));
  body += closing();
  TBinaryRWImpl bin;
  bin.FD_Init(m_dir.string(), "", "");
  bin.FD_Decode(buffer(body));
  ASSERT_EQ(bin.FD_EndDecode(), 0);
  ASSERT_EQ(bin.FD_GetFilesCount(), 12);
  EXPECT_EQ(TBinaryRWImpl::ExtractFileName(bin.FD_GetFileName(0), 0).substr(0, 3), "001");
  EXPECT_EQ(TBinaryRWImpl::ExtractFileName(bin.FD_GetFileName(11), 0).substr(0, 3), "012");
  EXPECT_EQ(TBinaryRWImpl::ExtractFileExt(bin.FD_GetFileName(11), 0), "TMP");
  EXPECT_EQ(slurp(bin.FD_GetFileName(11)), "11");
  EXPECT_EQ(bin.FD_DeleteTMPFiles(), 12);
  EXPECT_EQ(bin.FD_DeleteTMPFiles(), 0);
  EXPECT_EQ(bin.FD_GetFilesCount(), 12);  // the records stay
}

TEST_F(Decoder, BaseNamesAreCreatedExclusively) {
  write_file("up_1.tmp", "somebody else's");
  std::string body = part_file("f", "n", "t", "mine") + part_file("g", "m", "t", "second") + closing();
  TBinaryRWImpl bin;
  bin.FD_Init(m_dir.string(), "up", "");
  bin.FD_Decode(buffer(body));
  ASSERT_EQ(bin.FD_EndDecode(), 0);
  EXPECT_EQ(read_file("up_1.tmp"), "somebody else's");  // never opened
  std::string first = TBinaryRWImpl::ExtractFileName(bin.FD_GetFileName(0), 0);
  EXPECT_NE(first, "up_1.tmp");
  EXPECT_EQ(first.substr(0, 3), "up_");
  EXPECT_EQ(first.substr(first.size() - 6), "_1.tmp");
  EXPECT_EQ(slurp(bin.FD_GetFileName(0)), "mine");
  EXPECT_EQ(bin.FD_GetFileName(1), (m_dir / "up_2.tmp").string());
  EXPECT_EQ(read_file("up_2.tmp"), "second");
}

TEST_F(Decoder, AMissingDirectoryStopsTheUploadAtTheFirstFile) {
  TBinaryRWImpl bin;
  EXPECT_EQ(bin.FD_Init((m_dir / "absent").string(), "up", ""), 1);
  std::string body = part_text("a", "1") + part_file("f", "n", "t", "x") + closing();
  EXPECT_EQ(bin.FD_Decode(buffer(body)), 0);
  EXPECT_EQ(bin.FD_EndDecode(), 11);
  ASSERT_EQ(bin.FD_GetFilesCount(), 1);
  EXPECT_EQ(bin.FD_GetFileName(0), (m_dir / "absent" / "up_1.tmp").string());
  EXPECT_EQ(bin.FD_GetItemValue(0), "1");
  bin.FD_Init((m_dir / "absent").string(), "", "");
  bin.FD_Decode(buffer(body));
  EXPECT_EQ(bin.FD_EndDecode(), 11);
  EXPECT_EQ(bin.FD_GetFileName(0), "");  // no unique name could be made there
}

TEST_F(Decoder, QueriesOutOfRangeAndWithoutADecoder) {
  TBinaryRWImpl bin;
  EXPECT_EQ(bin.FD_GetFilesCount(), 0);
  EXPECT_EQ(bin.FD_GetItemsCount(), 0);
  EXPECT_EQ(bin.FD_GetFileName(0), "");
  EXPECT_EQ(bin.FD_GetFileHeader(0, 0), "");
  EXPECT_EQ(bin.FD_DeleteTMPFiles(), 0);
  bin.FD_Init(m_dir.string(), "", "");
  std::string body = part_file("a", "1", "t", "x") + part_file("b", "2", "t", "y") + closing();
  bin.FD_Decode(buffer(body));
  bin.FD_EndDecode();
  EXPECT_EQ(bin.FD_GetFileFormName(1), "b");
  EXPECT_EQ(bin.FD_GetFileFormName(2), "");
  EXPECT_EQ(bin.FD_GetFileFormName(-1), "");
  EXPECT_EQ(bin.FD_GetFileHeadersCount(0), 2);
  EXPECT_EQ(bin.FD_GetFileHeadersCount(5), 0);
  EXPECT_EQ(bin.FD_GetFileHeader(0, 2), "");
  std::string kept = bin.FD_GetFileName(0);
  bin.FD_FreeData();
  EXPECT_EQ(bin.FD_GetFilesCount(), 0);
  EXPECT_TRUE(std::filesystem::exists(kept));  // files outlive the decoder
}

// Bodies made by real clients, kept with the parts they carry.
TEST_F(Decoder, BodiesFromRealClients) {
  std::filesystem::path dir = std::filesystem::path(KELV_TEST_INPUTS) / "formdata";
  int seen = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    if (e.path().extension() != ".body") continue;
    std::string body = slurp(e.path().string());
    std::ifstream expect(std::filesystem::path(e.path()).replace_extension(".expect"));
    Outcome want;
    std::string kind;
    while (expect >> kind) {
      std::string rest;
      std::getline(expect, rest);
      rest = rest.substr(1);
      if (kind == "item") {
        size_t eq = rest.find('=');
        want.names.push_back(rest.substr(0, eq));
        want.values.push_back(rest.substr(eq + 1));
      } else if (kind == "file") {
        size_t bar = rest.rfind('|');
        want.files.push_back(rest.substr(0, bar + 1) + slurp((dir / rest.substr(bar + 1)).string()));
      }
    }
    Outcome got = decode_every_way(body);
    EXPECT_EQ(got.result, 0) << e.path();
    EXPECT_EQ(got.names, want.names) << e.path();
    EXPECT_EQ(got.values, want.values) << e.path();
    EXPECT_EQ(got.files, want.files) << e.path();
    ++seen;
  }
  EXPECT_GE(seen, 2);
}

}  // namespace
}  // namespace kelv
