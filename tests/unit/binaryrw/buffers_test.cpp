// Byte buffers, and the BinaryRW members as a script reaches them: variant types of the
// results, and variables passed by reference (read through).
#include "binaryrw/binary_rw.h"
#include "platform/platform.h"
#include "server/native/client.h"
#include "unit/binaryrw/fixture.h"

namespace kelv {
namespace {

using namespace native;
using B = TBinaryRWImpl;

VarIn buf(const std::string& s) {
  return VarIn{VarIn::Kind::Buffer, std::span<const uint8_t>((const uint8_t*)s.data(), s.size()), {}};
}

TEST(Buffers, StringsToBytesAndBack) {
  const B b;
  EXPECT_EQ(test::str(b.StrToBuffer("AB", 0)), "AB");
  EXPECT_EQ(test::str(b.StrToBuffer("AB", 1)), std::string("AB\0", 3));
  EXPECT_EQ(test::str(b.StrToBuffer("AB", 2)), "AB");
  EXPECT_EQ(test::str(b.StrToBuffer("AB", -1)), "AB");
  EXPECT_TRUE(b.StrToBuffer("", 0).empty());
  EXPECT_EQ(b.StrToBuffer("", 1), Bytes{0});
  EXPECT_EQ(b.BufferToStr(buf(std::string("A\0B", 3))), "A");
  EXPECT_EQ(b.BufferToStr(buf("")), "");
  EXPECT_EQ(b.BufferToStr(VarIn{VarIn::Kind::Text, {}, "text"}), "");
  EXPECT_EQ(B::IsBuffer(buf("")), 1);
  EXPECT_EQ(B::IsBuffer(VarIn{}), 0);
  VarOut j = B::JoinBuffer(buf("ab"), buf("cd"));
  EXPECT_EQ(j.type, VarOut::Type::Buffer);
  EXPECT_EQ(test::str(j.bytes), "abcd");
  EXPECT_EQ(B::JoinBuffer(buf(""), buf("")).type, VarOut::Type::Buffer);
  EXPECT_EQ(B::JoinBuffer(buf("a"), VarIn{VarIn::Kind::Text, {}, "b"}).type, VarOut::Type::Null);
}

class BinaryRWByName : public test::RegisteredModule {
 protected:
  void SetUp() override {
    RegisteredModule::SetUp();
    bin = Object::create("Kelvarin.BinaryRW");
    ASSERT_TRUE(bin);
  }
  void TearDown() override {
    bin = Object();
    RegisteredModule::TearDown();
  }
  Object bin;
};

TEST_F(BinaryRWByName, ResultTypesOfTheTypedReads) {
  std::string f = (m_dir / "typed").string();
  Variant name = Variant::str(platform::to_wide(f));
  EXPECT_EQ(bin.call_i4("FOpen", {name, Variant::str(u"w+b")}), 1);
  bin.call("FWriteInt", {Variant::i4(-1), Variant::i4(1)});
  bin.call("FWriteInt", {Variant::str(u"5000000000"), Variant::i4(8)});
  bin.call("FWriteFloat", {Variant::r8(1.5), Variant::i4(10)});
  bin.call("FWriteFloat", {Variant::r8(0.25), Variant::i4(4)});
  bin.call("FSeek", {Variant::i4(0), Variant::i4(0)});
  Variant v = bin.call("FReadInt", {Variant::i4(1)});
  EXPECT_EQ(v.vt, VT_I1);
  EXPECT_EQ(v.i, -1);
  v = bin.call("FReadInt", {Variant::i4(8)});
  EXPECT_EQ(v.vt, VT_I8);
  EXPECT_EQ(v.i, 5000000000);
  v = bin.call("FReadFloat", {Variant::i4(10)});
  EXPECT_EQ(v.vt, VT_R8);
  EXPECT_EQ(v.d, 1.5);
  v = bin.call("FReadFloat", {Variant::i4(4)});
  EXPECT_EQ(v.vt, VT_R4);
  EXPECT_EQ(v.d, 0.25);
  EXPECT_EQ(bin.call("FReadInt", {Variant::i4(3)}).vt, VT_NULL);
  v = bin.call("FRead");  // the default Size
  EXPECT_EQ(v.vt, VT_ARRAY | VT_UI1);
  EXPECT_TRUE(v.arr->data.empty());
  v = bin.call("FileSize64", {name});
  EXPECT_EQ(v.vt, VT_I8);
  EXPECT_EQ(v.i, 1 + 8 + 10 + 4);
  EXPECT_EQ(bin.call_text("FReadStr"), "");  // default MaxSize, at the end
}

TEST_F(BinaryRWByName, BuffersFromVariablesAndFromExpressionsAreTheSame) {
  std::string f = (m_dir / "mend").string();
  EXPECT_EQ(bin.call_i4("FOpenWrite", {Variant::str(platform::to_wide(f))}), 1);
  Variant made = bin.call("StrToBuffer", {Variant::str(u"abc")});
  ASSERT_EQ(made.vt, VT_ARRAY | VT_UI1);
  // A script variable arrives by reference to a variant; it is read through.
  EXPECT_EQ(bin.call_i4("FWrite", {Variant::ref(&made)}), 1);
  EXPECT_EQ(bin.call_i4("FWrite", {made}), 1);
  EXPECT_EQ(bin.call_i4("IsBuffer", {Variant::ref(&made)}), 1);
  EXPECT_EQ(bin.call_text("BufferToStr", {Variant::ref(&made)}), "abc");
  Variant joined = bin.call("JoinBuffer", {Variant::ref(&made), made});
  ASSERT_EQ(joined.vt, VT_ARRAY | VT_UI1);
  EXPECT_EQ(joined.arr->data.size(), 6u);
  EXPECT_EQ(bin.call_i4("FWriteStrBin", {Variant::ref(&made), Variant::i4(4)}), 1);
  Variant text = Variant::str(u"xy");
  EXPECT_EQ(bin.call_i4("FWriteStrBin", {Variant::ref(&text), Variant::i4(2), Variant::i4(0x2A)}), 1);
  // A reference to a byte array is followed as well; any other reference is not.
  std::shared_ptr<SafeArray> arr = made.arr;
  EXPECT_EQ(bin.call_i4("IsBuffer", {Variant::array_ref(&arr)}), 1);
  Variant number = Variant::i4(5);
  EXPECT_EQ(bin.call_i4("IsBuffer", {Variant::ref(&number)}), 0);
  EXPECT_EQ(bin.call_i4("FWrite", {Variant::str(u"abc")}), 0);  // strings are not buffers
  EXPECT_EQ(bin.call("JoinBuffer", {made, Variant::str(u"x")}).vt, VT_NULL);
  // A two-dimensional byte array is not a buffer.
  auto two = std::make_shared<SafeArray>();
  two->dims = 2;
  EXPECT_EQ(bin.call_i4("IsBuffer", {Variant::array(two)}), 0);
  // The lower bound is not consulted.
  auto shifted = std::make_shared<SafeArray>();
  shifted->lower_bound = 5;
  shifted->data = {'h', 'i'};
  EXPECT_EQ(bin.call_text("BufferToStr", {Variant::array(shifted)}), "hi");
  bin.call("FClose");
  std::ifstream in(f, std::ios::binary);
  std::string got((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(got, std::string("abcabcabc\0xy", 12));
}

// The code page starts as the system's and takes only pages the system has.
TEST_F(BinaryRWByName, CodePageTakesOnlyPagesTheSystemHas) {
  EXPECT_EQ(bin.call_i4("CodePage"), 0);
  const struct {
    int32_t put, then;
  } steps[] = {{65001, 65001}, {1252, 1252}, {12345, 1252}, {-1, 1252}, {1200, 1252}, {0, 0}};
  for (const auto& s : steps) {
    bin.put("CodePage", Variant::i4(s.put));
    EXPECT_EQ(bin.call_i4("CodePage"), s.then) << s.put;
  }
}

}  // namespace
}  // namespace kelv
