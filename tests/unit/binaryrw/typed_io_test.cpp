// Typed reads and writes: integer widths and signs, the three float formats, strings
// and fixed string fields, and the 80-bit conversion against known bit patterns.
#include <bit>
#include <cmath>
#include <limits>

#include "binaryrw/binary_rw.h"
#include "binaryrw/extended.h"
#include "unit/binaryrw/fixture.h"

namespace kelv {
namespace {

using TypedIO = test::ScratchDir;
using test::str;
using T = VarOut::Type;

VarIn text_arg(const std::string& s) { return VarIn{VarIn::Kind::Text, {}, s}; }
VarIn buffer_arg(const std::string& s) {
  return VarIn{VarIn::Kind::Buffer, std::span<const uint8_t>((const uint8_t*)s.data(), s.size()), {}};
}

TEST_F(TypedIO, IntegersOfEveryWidthAndSign) {
  TBinaryRWImpl b;
  ASSERT_EQ(b.FOpen(path("i"), "w+b"), 1);
  EXPECT_EQ(b.FWriteInt(-2, 2), 1);
  EXPECT_EQ(b.FWriteInt(65537, 2), 1);  // higher bytes are dropped
  EXPECT_EQ(b.FWriteInt(0xFF, 1), 1);
  EXPECT_EQ(b.FWriteInt(-123456789, 4), 1);
  EXPECT_EQ(b.FWriteInt(std::numeric_limits<int64_t>::min(), 8), 1);
  EXPECT_EQ(b.FWriteInt(5, 3), 0);
  EXPECT_EQ(b.FTell(), 2 + 2 + 1 + 4 + 8);
  b.FSeek(0, 0);
  EXPECT_EQ(str(b.FRead(4).bytes), std::string("\xFE\xFF\x01\x00", 4));
  b.FSeek(0, 0);
  VarOut v = b.FReadInt(2);
  EXPECT_EQ(v.type, T::I2);
  EXPECT_EQ(v.i, -2);
  EXPECT_EQ(b.FReadInt(2).i, 1);
  v = b.FReadInt(1);
  EXPECT_EQ(v.type, T::I1);  // a signed byte, not an unsigned one
  EXPECT_EQ(v.i, -1);
  long pos = b.FTell();
  EXPECT_EQ(b.FReadInt(3).type, T::Null);  // an unsupported size reads nothing
  EXPECT_EQ(b.FTell(), pos);
  v = b.FReadInt(4);
  EXPECT_EQ(v.type, T::I4);
  EXPECT_EQ(v.i, -123456789);
  v = b.FReadInt(8);
  EXPECT_EQ(v.type, T::I8);
  EXPECT_EQ(v.i, std::numeric_limits<int64_t>::min());
  EXPECT_EQ(b.FReadInt(1).type, T::Null);  // at the end: a short read
}

TEST_F(TypedIO, ShortIntegerReadIsNull) {
  write_file("s", "\x01\x02\x03");
  TBinaryRWImpl b;
  ASSERT_EQ(b.FOpenRead(path("s")), 1);
  EXPECT_EQ(b.FReadInt(4).type, T::Null);
}

TEST_F(TypedIO, FloatsRoundTripInAllThreeSizes) {
  const double values[] = {1.5,
                           -0.0,
                           3.141592653589793,
                           1e300,
                           -2.5e-310 /* denormal */,
                           std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::denorm_min(),
                           std::numeric_limits<double>::max()};
  TBinaryRWImpl b;
  ASSERT_EQ(b.FOpen(path("f"), "w+b"), 1);
  for (double d : values) {
    EXPECT_EQ(b.FWriteFloat(d, 8), 1);
    EXPECT_EQ(b.FWriteFloat(d, 10), 1);
    EXPECT_EQ(b.FWriteFloat(d, 4), 1);
  }
  EXPECT_EQ(b.FWriteFloat(1, 6), 0);
  b.FSeek(0, 0);
  for (double d : values) {
    VarOut v8 = b.FReadFloat(8);
    VarOut v10 = b.FReadFloat(10);
    VarOut v4 = b.FReadFloat(4);
    EXPECT_EQ(v8.type, T::R8);
    EXPECT_EQ(v10.type, T::R8);
    EXPECT_EQ(v4.type, T::R4);
    EXPECT_EQ(std::bit_cast<uint64_t>(v8.d), std::bit_cast<uint64_t>(d)) << d;
    EXPECT_EQ(std::bit_cast<uint64_t>(v10.d), std::bit_cast<uint64_t>(d)) << d;
    EXPECT_EQ(static_cast<float>(v4.d), static_cast<float>(d)) << d;
  }
  EXPECT_EQ(b.FReadFloat(8).type, T::Null);
  // NaN survives every size.
  b.FSeek(0, 0);
  b.FWriteFloat(std::nan(""), 10);
  b.FSeek(0, 0);
  EXPECT_TRUE(std::isnan(b.FReadFloat(10).d));
}

TEST(Extended, KnownBitPatterns) {
  uint8_t x[10];
  double_to_extended(1.0, x);
  EXPECT_EQ(std::string((char*)x, 10), std::string("\0\0\0\0\0\0\0\x80\xFF\x3F", 10));
  double_to_extended(-2.0, x);
  EXPECT_EQ(std::string((char*)x, 10), std::string("\0\0\0\0\0\0\0\x80\x00\xC0", 10));
  double_to_extended(1.5, x);
  EXPECT_EQ(x[7], 0xC0);
  double_to_extended(std::numeric_limits<double>::infinity(), x);
  EXPECT_EQ(std::string((char*)x, 10), std::string("\0\0\0\0\0\0\0\x80\xFF\x7F", 10));
  double_to_extended(std::numeric_limits<double>::denorm_min(), x);  // 2^-1074
  EXPECT_EQ(x[7], 0x80);
  EXPECT_EQ(x[8] | (x[9] << 8), 16383 - 1074);
}

TEST(Extended, ReadingRoundsToNearestEven) {
  // 1 + 2^-53 exactly: a tie, rounds to even (1.0). 1 + 2^-53 + 2^-63: above the tie.
  uint8_t x[10] = {0, 0x04, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F};
  EXPECT_EQ(extended_to_double(x), 1.0);
  x[0] = 1;
  EXPECT_EQ(extended_to_double(x), std::nextafter(1.0, 2.0));
  // 1 + 2^-52 + 2^-53: a tie above an odd significand, rounds up.
  uint8_t y[10] = {0, 0x0C, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F};
  EXPECT_EQ(extended_to_double(y), 1.0 + 2 * std::pow(2.0, -52));
  // Beyond the double range: infinity of the sign. Far below it: zero of the sign.
  uint8_t big[10] = {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x43 | 0x80};
  EXPECT_EQ(extended_to_double(big), -std::numeric_limits<double>::infinity());
  uint8_t tiny[10] = {0, 0, 0, 0, 0, 0, 0, 0x80, 0x01, 0x00};
  EXPECT_EQ(extended_to_double(tiny), 0.0);
  // An extended denormal and an unnormal still read as their value.
  uint8_t unnormal[10] = {0, 0, 0, 0, 0, 0, 0, 0x40, 0x00, 0x40};  // 0.5 * 2^1 = 1
  EXPECT_EQ(extended_to_double(unnormal), 1.0);
}

TEST(Extended, NaNsKeepTheirQuietBitBothWays) {
  // A signalling NaN (quiet bit clear, payload in the bits that fit a double) stays one.
  uint8_t x[10] = {0, 0x08, 0, 0, 0, 0, 0, 0x80, 0xFF, 0xFF};
  EXPECT_EQ(extended_to_double_bits(x), 0xFFF0000000000001u);
  uint8_t back[10];
  double_to_extended(std::bit_cast<double>(uint64_t{0x7FF0000000000001}), back);
  EXPECT_EQ(std::string((char*)back, 10), std::string("\0\x08\0\0\0\0\0\x80\xFF\x7F", 10));
  // A payload only below the double's bits still reads as a NaN, a quiet one.
  uint8_t low[10] = {1, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x7F};
  EXPECT_EQ(extended_to_double_bits(low), 0x7FF8000000000000u);
}

TEST_F(TypedIO, ZeroTerminatedStrings) {
  TBinaryRWImpl b;
  ASSERT_EQ(b.FOpen(path("z"), "w+b"), 1);
  EXPECT_EQ(b.FWriteStr("ab"), 1);
  EXPECT_EQ(b.FWriteStr(""), 1);
  EXPECT_EQ(b.FWriteStr("abc"), 1);
  b.FSeek(0, 0);
  EXPECT_EQ(str(b.FRead(3).bytes), std::string("ab\0", 3));
  b.FSeek(0, 0);
  EXPECT_EQ(b.FReadStr(255), "ab");
  EXPECT_EQ(b.FTell(), 3);  // after the zero byte
  EXPECT_EQ(b.FReadStr(255), "");
  EXPECT_EQ(b.FReadStr(2), "ab");  // MaxSize reached without a zero
  EXPECT_EQ(b.FTell(), 6);
  EXPECT_EQ(b.FReadStr(0), "");
  EXPECT_EQ(b.FTell(), 6);
  EXPECT_EQ(b.FReadStr(255), "c");
  EXPECT_EQ(b.FReadStr(255), "");  // at the end
  EXPECT_EQ(b.FReaded(), 3);       // string reads leave the count of the last FRead alone
}

TEST_F(TypedIO, StringCutOffByTheEndIsEmptyAndConsumed) {
  write_file("c", "abc");
  TBinaryRWImpl b;
  ASSERT_EQ(b.FOpenRead(path("c")), 1);
  EXPECT_EQ(b.FReadStr(255), "");
  EXPECT_EQ(b.FTell(), 3);
  EXPECT_EQ(b.FEof(), 1);
}

TEST_F(TypedIO, FixedStringFields) {
  TBinaryRWImpl b;
  ASSERT_EQ(b.FOpen(path("fx"), "w+b"), 1);
  EXPECT_EQ(b.FWriteStrBin(text_arg("abc"), 5, 0x2A), 1);
  EXPECT_EQ(b.FWriteStrBin(text_arg("abcdef"), 3, 0), 1);
  EXPECT_EQ(b.FWriteStrBin(buffer_arg(std::string("xy\0z", 4)), 4, 0), 1);  // up to the zero
  EXPECT_EQ(b.FWriteStrBin(VarIn{}, 4, 0), 0);                              // a number is neither text nor buffer
  EXPECT_EQ(b.FWriteStrBin(text_arg("q"), 0, 0), 1);
  EXPECT_EQ(b.FWriteStrBin(text_arg("abc"), 8, 0), 1);
  b.FSeek(0, 0);
  EXPECT_EQ(str(b.FRead(12).bytes), std::string("abc**abcxy\0\0", 12));
  VarOut field = b.FReadStrBin(8);
  EXPECT_EQ(field.type, T::Buffer);
  EXPECT_EQ(str(field.bytes), "abc");
  EXPECT_EQ(b.FReaded(), 8);
  EXPECT_EQ(b.FReadStrBin(0).bytes.size(), 0u);
  EXPECT_EQ(b.FReaded(), 0);
}

}  // namespace
}  // namespace kelv
