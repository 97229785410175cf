// Limits on an upload: the part that passes one leaves no file, record, name or value,
// what came before it stays, decoding stops and the end gives 13; every feeding agrees.
// Memory stays bounded: a header or value with no end stops at its bound.
#include <gtest/gtest.h>

#include "unit/formdata/harness.h"
#include "unit/support.h"

namespace kelv {
namespace {

using test::closing;
using test::Decoder;
using test::Outcome;
using test::part_file;
using test::part_text;

class Limits : public Decoder {
 protected:
  // Decodes every way and checks that nothing is left on disk but what the outcome
  // lists (decode deletes those).
  Outcome run(const std::string& body) {
    Outcome r = decode_every_way(body);
    EXPECT_TRUE(std::filesystem::is_empty(m_dir)) << "a file of a part past a limit stayed on disk";
    return r;
  }
};

TEST_F(Limits, ThePartThatPassesALimitLeavesNothing) {
  const std::string body = part_text("a", "hello") + part_file("f1", "one.bin", "x/y", "0123456789") +
                           part_text("b", "ab\r\ncd") + part_file("f2", "two.bin", "x/y", std::string(20, 'z')) +
                           closing();
  const std::string f1 = "f1|one.bin|x/y|0123456789", f2 = "f2|two.bin|x/y|" + std::string(20, 'z');
  const std::string joined = "ab\n\rcd";  // the default line join, 6 bytes
  struct Case {
    const char* what;
    TFD_Limits limits;
    int32_t result;
    std::vector<std::string> names, values, files;
  };
  const Case cases[] = {
      {"no limits", {}, 0, {"a", "b"}, {"hello", joined}, {f1, f2}},
      {"file size met exactly", {20, 0, 0, 0}, 0, {"a", "b"}, {"hello", joined}, {f1, f2}},
      {"second file one byte too large", {19, 0, 0, 0}, 13, {"a", "b"}, {"hello", joined}, {f1}},
      {"first file too large", {9, 0, 0, 0}, 13, {"a"}, {"hello"}, {}},
      {"file count met", {0, 2, 0, 0}, 0, {"a", "b"}, {"hello", joined}, {f1, f2}},
      {"one file too many", {0, 1, 0, 0}, 13, {"a", "b"}, {"hello", joined}, {f1}},
      {"field size met by the joined value", {0, 0, 6, 0}, 0, {"a", "b"}, {"hello", joined}, {f1, f2}},
      {"joined value one byte too long", {0, 0, 5, 0}, 13, {"a"}, {"hello"}, {f1}},
      {"first value too long", {0, 0, 4, 0}, 13, {}, {}, {}},
      {"field count met", {0, 0, 0, 2}, 0, {"a", "b"}, {"hello", joined}, {f1, f2}},
      {"one field too many", {0, 0, 0, 1}, 13, {"a"}, {"hello"}, {f1}},
  };
  for (const Case& c : cases) {
    m_limits = c.limits;
    Outcome r = run(body);
    EXPECT_EQ(r.result, c.result) << c.what;
    EXPECT_EQ(r.names, c.names) << c.what;
    EXPECT_EQ(r.values, c.values) << c.what;
    EXPECT_EQ(r.files, c.files) << c.what;
    EXPECT_EQ(r.headers.size(), r.files.size()) << c.what;
  }
}

TEST_F(Limits, HeaderBlocksAreBoundedOnceAnyLimitIsSet) {
  const std::string head = test::B + "\r\nContent-Disposition: form-data; name=\"n\"\r\n";
  std::string many_lines = head, long_line = head + "X-Long: " + std::string(16384, 'l') + "\r\n";
  for (int i = 0; i < 64; ++i) many_lines += "X: " + std::to_string(i) + "\r\n";  // 65 lines in all
  struct Case {
    const char* what;
    std::string block;
    int32_t limited, unlimited;
  };
  const Case cases[] = {
      {"65 header lines", many_lines, 13, 0},
      {"a header block over 16 KB", long_line, 13, 0},
  };
  for (const Case& c : cases) {
    const std::string body = c.block + "\r\nvalue\r\n" + closing();
    m_limits = {};
    EXPECT_EQ(run(body).result, c.unlimited) << c.what;
    m_limits.max_fields = 100;
    Outcome r = run(body);
    EXPECT_EQ(r.result, c.limited) << c.what;
    EXPECT_TRUE(r.names.empty()) << c.what;
  }
}

// Bytes with no end in sight are refused at their bound, long before the body ends.
TEST_F(Limits, ABodyWithNoEndStopsAtItsBound) {
  const std::string chunk(1 << 20, 'h');
  const auto feed = [](TFD_Object& fd, const std::string& s) {
    return fd.Decode(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(s.data()), s.size()));
  };
  struct Case {
    const char* what;
    std::string start;
    TFD_Limits limits;
  };
  const Case cases[] = {
      {"a header line", "--b\r\nX-Huge: ", {0, 0, 0, 10}},
      {"a field value", "--b\r\nContent-Disposition: form-data; name=\"v\"\r\n\r\n", {0, 0, 4096, 0}},
      {"a file", "--b\r\nContent-Disposition: form-data; name=\"f\"; filename=\"f\"\r\n\r\n", {65536, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    TFD_Object fd(m_dir.string(), "", "", c.limits);
    EXPECT_EQ(feed(fd, c.start), 1) << c.what;
    EXPECT_EQ(feed(fd, chunk), 0) << c.what;
    EXPECT_EQ(fd.EndDecode(), 13) << c.what;
    EXPECT_TRUE(fd.files().empty() && fd.item_names().empty()) << c.what;
    EXPECT_TRUE(std::filesystem::is_empty(m_dir)) << c.what;
  }
}

// Through the dispatcher by name: the limits start at 0, a value below 0 is 0, the file
// size takes 64-bit values, and they hold for the decoder there is, for every later
// FD_Init and past FD_FreeData.
class LimitsByName : public test::RegisteredModule {};

TEST_F(LimitsByName, KeptByTheObjectForEveryUpload) {
  using native::Object;
  using native::Variant;
  Object bin = Object::create("Kelvarin.BinaryRW");
  ASSERT_TRUE(bin);
  for (const char* name : {"FD_MaxFileSize", "FD_MaxFiles", "FD_MaxFieldSize", "FD_MaxFields"}) {
    EXPECT_EQ(bin.call(name).i, 0) << name;
    bin.put(name, Variant::i4(-5));
    EXPECT_EQ(bin.call(name).i, 0) << name;
  }
  bin.put("FD_MaxFileSize", Variant::str(u"5000000000"));
  Variant big = bin.call("FD_MaxFileSize");
  EXPECT_EQ(big.vt, native::VT_I8);
  EXPECT_EQ(big.i, 5000000000LL);

  const std::string dir = m_dir.string();
  const std::string body =
      "--b\r\nContent-Disposition: form-data; name=\"f\"; filename=\"f\"\r\n\r\n0123456789\r\n--b--\r\n";
  auto chunk = std::make_shared<native::SafeArray>();
  chunk->data.assign(body.begin(), body.end());
  auto upload = [&] {
    bin.call("FD_Init", {Variant::str(platform::to_wide(dir))});
    bin.call("FD_Decode", {Variant::array(chunk)});
    return bin.call_i4("FD_EndDecode");
  };
  EXPECT_EQ(upload(), 0);
  bin.call("FD_DeleteTMPFiles");
  bin.call("FD_Init", {Variant::str(platform::to_wide(dir))});
  bin.put("FD_MaxFileSize", Variant::i4(9));  // set after FD_Init: the decoder there is takes it
  bin.call("FD_Decode", {Variant::array(chunk)});
  EXPECT_EQ(bin.call_i4("FD_EndDecode"), 13);
  bin.call("FD_FreeData");
  EXPECT_EQ(upload(), 13);
  EXPECT_EQ(bin.call_i4("FD_GetFilesCount"), 0);
  bin.put("FD_MaxFileSize", Variant::i4(0));
  bin.put("FD_MaxFiles", Variant::i4(1));
  EXPECT_EQ(upload(), 0);
  EXPECT_EQ(bin.call_i4("FD_DeleteTMPFiles"), 1);
}

}  // namespace
}  // namespace kelv
