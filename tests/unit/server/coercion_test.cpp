#include <gtest/gtest.h>

#include "server/native/variant.h"

namespace kelv::native {
namespace {

int32_t i4_of(const Variant& v, HResult expect = hr::S_OK) {
  int32_t out = 12345;
  EXPECT_EQ(to_i4(v, out), expect);
  return out;
}

TEST(Coercion, FloatingToIntegerRoundsHalfToEven) {
  EXPECT_EQ(i4_of(Variant::r8(2.5)), 2);
  EXPECT_EQ(i4_of(Variant::r8(3.5)), 4);
  EXPECT_EQ(i4_of(Variant::r8(-2.5)), -2);
  EXPECT_EQ(i4_of(Variant::r8(-3.5)), -4);
  EXPECT_EQ(i4_of(Variant::r8(2.4999)), 2);
  EXPECT_EQ(i4_of(Variant::r4(0.5f)), 0);
  EXPECT_EQ(i4_of(Variant::str(u" 7.5 ")), 8);
}

TEST(Coercion, OverflowIsReportedNotWrapped) {
  i4_of(Variant::r8(2147483647.5), hr::DISP_E_OVERFLOW);
  i4_of(Variant::i8(int64_t{1} << 31), hr::DISP_E_OVERFLOW);
  EXPECT_EQ(i4_of(Variant::r8(-2147483648.0)), INT32_MIN);
  i4_of(Variant::r8(1e300), hr::DISP_E_OVERFLOW);
  uint8_t b = 0;
  EXPECT_EQ(to_ui1(Variant::i4(256), b), hr::DISP_E_OVERFLOW);
  EXPECT_EQ(to_ui1(Variant::i4(-1), b), hr::DISP_E_OVERFLOW);
  EXPECT_EQ(to_ui1(Variant::boolean(true), b), hr::DISP_E_OVERFLOW);  // True is -1
  EXPECT_EQ(to_ui1(Variant::r8(254.5), b), hr::S_OK);
  EXPECT_EQ(b, 254);
  int64_t w = 0;
  EXPECT_EQ(to_i8(Variant::r8(9.3e18), w), hr::DISP_E_OVERFLOW);
}

TEST(Coercion, StringsToNumbers) {
  EXPECT_EQ(i4_of(Variant::str(u"42")), 42);
  EXPECT_EQ(i4_of(Variant::str(u"-17")), -17);
  EXPECT_EQ(i4_of(Variant::str(u"1e3")), 1000);
  EXPECT_EQ(i4_of(Variant::str(u"&HFF")), 255);
  EXPECT_EQ(i4_of(Variant::str(u"&HFFFF")), -1);
  EXPECT_EQ(i4_of(Variant::str(u"&H80000008")), static_cast<int32_t>(0x80000008u));
  i4_of(Variant::str(u"abc"), hr::DISP_E_TYPEMISMATCH);
  i4_of(Variant::str(u""), hr::DISP_E_TYPEMISMATCH);
  i4_of(Variant::str(u"12abc"), hr::DISP_E_TYPEMISMATCH);
  i4_of(Variant::str(u"99999999999"), hr::DISP_E_OVERFLOW);
  int64_t big = 0;
  EXPECT_EQ(to_i8(Variant::str(u"5000000000"), big), hr::S_OK);
  EXPECT_EQ(big, 5000000000);
  double d = 0;
  EXPECT_EQ(to_r8(Variant::str(u"1.25"), d), hr::S_OK);
  EXPECT_EQ(d, 1.25);
}

TEST(Coercion, OtherSourceTypes) {
  EXPECT_EQ(i4_of(Variant{}), 0);  // empty is zero
  EXPECT_EQ(i4_of(Variant::boolean(true)), -1);
  EXPECT_EQ(i4_of(Variant::i1(-5)), -5);
  i4_of(Variant::null(), hr::DISP_E_TYPEMISMATCH);
  i4_of(Variant::bytes({1, 2}), hr::DISP_E_TYPEMISMATCH);
  i4_of(Variant::error(0), hr::DISP_E_TYPEMISMATCH);
  // A variable passed by reference is read through.
  Variant target = Variant::i4(9);
  EXPECT_EQ(i4_of(Variant::ref(&target)), 9);
}

TEST(Coercion, NumbersToText) {
  std::u16string s;
  EXPECT_EQ(to_text(Variant::i4(-12), s), hr::S_OK);
  EXPECT_EQ(s, u"-12");
  EXPECT_EQ(to_text(Variant::r8(1.5), s), hr::S_OK);
  EXPECT_EQ(s, u"1.5");
  EXPECT_EQ(to_text(Variant::r8(0.1), s), hr::S_OK);
  EXPECT_EQ(s, u"0.1");
  EXPECT_EQ(to_text(Variant::boolean(false), s), hr::S_OK);
  EXPECT_EQ(s, u"False");
  EXPECT_EQ(to_text(Variant{}, s), hr::S_OK);
  EXPECT_EQ(s, u"");
  EXPECT_EQ(to_text(Variant::null(), s), hr::DISP_E_TYPEMISMATCH);
}

}  // namespace
}  // namespace kelv::native
