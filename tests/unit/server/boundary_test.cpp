// The boundary's rules (server/boundary.h) through a traits struct of the test's own, so
// that they hold for any automation layer: which VARIANT parameter is a buffer or text,
// the results, and the status and error record of each outcome of a member.
#include "server/boundary.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

namespace kelv {
namespace {

struct FakeArray {
  unsigned dims = 1;
  std::vector<uint8_t> data;
};

struct FakeVariant {
  uint16_t vt = 0;
  const FakeVariant* ref = nullptr;        // BYREF|VARIANT
  const FakeArray* arr = nullptr;          // ARRAY|UI1
  const FakeArray* const* aref = nullptr;  // BYREF|ARRAY|UI1
  std::string text{};                      // BSTR
  int64_t i = 0;
  double d = 0;
  Bytes bytes{};
};

enum FakeStatus { Ok, NotImplemented, Fail, OutOfMemory, Exception };

struct FakeBoundary {
  using Variant = FakeVariant;
  using Array = FakeArray;
  using Status = FakeStatus;

  static constexpr uint16_t vt_variant = 12, vt_array = 0x2000, vt_byref = 0x4000, vt_ui1 = 17, vt_bstr = 8;
  static constexpr Status ok = Ok, not_implemented = NotImplemented, fail = Fail, out_of_memory = OutOfMemory,
                          exception = Exception;

  static uint16_t type(const Variant& v) { return v.vt; }
  static const Variant* variant_ref(const Variant& v) { return v.ref; }
  static const Array* array(const Variant& v) { return v.arr; }
  static bool array_ref(const Variant& v, const Array*& out) {
    if (!v.aref) return false;
    out = *v.aref;
    return true;
  }
  static unsigned dims(const Array& a) { return a.dims; }
  static std::span<const uint8_t> bytes(const Array& a) { return a.data; }
  static std::string text(const Variant& v) { return v.text; }

  static void put_null(Variant& out) { out.vt = 1; }
  static void put(Variant& out, int8_t v) { out.vt = 16, out.i = v; }
  static void put(Variant& out, int16_t v) { out.vt = 2, out.i = v; }
  static void put(Variant& out, int32_t v) { out.vt = 3, out.i = v; }
  static void put(Variant& out, int64_t v) { out.vt = 20, out.i = v; }
  static void put(Variant& out, float v) { out.vt = 4, out.d = v; }
  static void put(Variant& out, double v) { out.vt = 5, out.d = v; }
  static bool put(Variant& out, Bytes&& b) {
    if (refuse_allocation) return false;
    out.vt = vt_array | vt_ui1;
    out.bytes = std::move(b);
    return true;
  }

  static bool progid_of(const Guid& clsid, std::u16string& out) {
    if (!registered) return false;
    out = clsid == kClsidImage ? u"Kelvarin.Image" : u"other";
    return true;
  }
  static void store_error(const boundary::ErrorParts& e) {
    stored = e;
    ++stores;
  }

  static inline bool refuse_allocation = false;
  static inline bool registered = true;
  static inline boundary::ErrorParts stored{};
  static inline int stores = 0;
};

constexpr uint16_t kBytes = FakeBoundary::vt_array | FakeBoundary::vt_ui1;
constexpr uint16_t kBytesRef = FakeBoundary::vt_byref | kBytes;
constexpr uint16_t kVariantRef = FakeBoundary::vt_byref | FakeBoundary::vt_variant;

VarIn in(const FakeVariant& v) { return boundary::var_in<FakeBoundary>(v); }

TEST(BoundaryVariantParameters, OneDimensionalByteArraysAreBuffersDirectOrByReference) {
  FakeArray one{1, {1, 2, 3}};
  const FakeArray* p = &one;
  VarIn direct = in({.vt = kBytes, .arr = &one});
  ASSERT_EQ(direct.kind, VarIn::Kind::Buffer);
  EXPECT_EQ(std::vector<uint8_t>(direct.bytes.begin(), direct.bytes.end()), one.data);
  VarIn by_ref = in({.vt = kBytesRef, .aref = &p});
  ASSERT_EQ(by_ref.kind, VarIn::Kind::Buffer);
  EXPECT_EQ(by_ref.bytes.size(), 3u);

  // No descriptor: a buffer without bytes; a null reference to one: not a buffer.
  const FakeArray* none = nullptr;
  EXPECT_EQ(in({.vt = kBytes}).kind, VarIn::Kind::Buffer);
  EXPECT_TRUE(in({.vt = kBytesRef, .aref = &none}).bytes.empty());
  EXPECT_EQ(in({.vt = kBytesRef, .aref = &none}).kind, VarIn::Kind::Buffer);
  EXPECT_EQ(in({.vt = kBytesRef}).kind, VarIn::Kind::Other);

  FakeArray two{2, {1, 2, 3, 4}};
  EXPECT_EQ(in({.vt = kBytes, .arr = &two}).kind, VarIn::Kind::Other);
  // Only bytes: an array of another element type is not a buffer.
  EXPECT_EQ(in({.vt = FakeBoundary::vt_array | 3, .arr = &one}).kind, VarIn::Kind::Other);
}

TEST(BoundaryVariantParameters, OneLevelOfVariantReferenceIsFollowed) {
  FakeArray one{1, {9}};
  FakeVariant bytes{.vt = kBytes, .arr = &one};
  FakeVariant text{.vt = FakeBoundary::vt_bstr, .text = "abc"};
  EXPECT_EQ(in(text).text, "abc");
  EXPECT_EQ(in({.vt = kVariantRef, .ref = &bytes}).kind, VarIn::Kind::Buffer);
  VarIn t = in({.vt = kVariantRef, .ref = &text});
  EXPECT_EQ(t.kind, VarIn::Kind::Text);
  EXPECT_EQ(t.text, "abc");
  // A second level is not followed, nor is a null reference.
  FakeVariant inner{.vt = kVariantRef, .ref = &bytes};
  EXPECT_EQ(in({.vt = kVariantRef, .ref = &inner}).kind, VarIn::Kind::Other);
  EXPECT_EQ(in({.vt = kVariantRef}).kind, VarIn::Kind::Other);
}

TEST(BoundaryResults, EachResultTypeAndAFailedByteArray) {
  FakeVariant out;
  EXPECT_EQ(boundary::var_out<FakeBoundary>(VarOut::integer(VarOut::Type::I1, -1), out), Ok);
  EXPECT_EQ(out.vt, 16);
  EXPECT_EQ(out.i, -1);
  EXPECT_EQ(boundary::var_out<FakeBoundary>(VarOut::integer(VarOut::Type::I2, 70000), out), Ok);
  EXPECT_EQ(out.i, static_cast<int16_t>(70000));
  EXPECT_EQ(boundary::var_out<FakeBoundary>(VarOut::integer(VarOut::Type::I8, int64_t{1} << 40), out), Ok);
  EXPECT_EQ(out.i, int64_t{1} << 40);
  EXPECT_EQ(boundary::var_out<FakeBoundary>(VarOut::real(VarOut::Type::R4, 0.1), out), Ok);
  EXPECT_EQ(out.d, static_cast<double>(0.1f));
  EXPECT_EQ(boundary::var_out<FakeBoundary>(VarOut::null(), out), Ok);
  EXPECT_EQ(out.vt, 1);

  EXPECT_EQ(boundary::var_out<FakeBoundary>(VarOut::buffer({1, 2}), out), Ok);
  EXPECT_EQ(out.bytes, (Bytes{1, 2}));
  FakeBoundary::refuse_allocation = true;
  EXPECT_EQ(boundary::var_out<FakeBoundary>(VarOut::buffer({1}), out), OutOfMemory);
  FakeBoundary::refuse_allocation = false;
}

struct Impl {};

void raises(Impl&, const CallArgs&, CallResult&) { throw std::runtime_error("broken"); }
void exhausts(Impl&, const CallArgs&, CallResult&) { throw std::bad_alloc(); }
void answers(Impl&, const CallArgs&, CallResult& r) { r.value = int32_t{7}; }

class BoundaryOutcomes : public ::testing::Test {
 protected:
  void SetUp() override {
    FakeBoundary::stores = 0;
    FakeBoundary::registered = true;
    const InterfaceTable& t = interface_table(cls.iface);
    for (size_t k = 0; k < t.members.size(); ++k) (t.members[k].guarded ? guarded : plain) = static_cast<int>(k);
    ASSERT_GE(guarded, 0);
    ASSERT_GE(plain, 0);
    slots.assign(t.members.size(), nullptr);
  }

  FakeStatus call(int index, Thunk<Impl> fn) {
    slots[static_cast<size_t>(index)] = fn;
    CallResult r;
    return boundary::call_slot<FakeBoundary>(cls, slots, impl, index + kFirstSlot, CallArgs{}, r);
  }

  const ClassInfo& cls = kClasses[0];
  std::vector<Thunk<Impl>> slots;
  Impl impl;
  int guarded = -1, plain = -1;
};

TEST_F(BoundaryOutcomes, AnsweredUnwiredAndOutsideTheTable) {
  CallResult r;
  slots[0] = answers;
  EXPECT_EQ(boundary::call_slot<FakeBoundary>(cls, slots, impl, kFirstSlot, CallArgs{}, r), Ok);
  EXPECT_EQ(std::get<int32_t>(r.value), 7);
  EXPECT_EQ(boundary::call_slot<FakeBoundary>(cls, slots, impl, kFirstSlot + 1, CallArgs{}, r), NotImplemented);
  EXPECT_EQ(boundary::call_slot<FakeBoundary>(cls, slots, impl, kFirstSlot - 1, CallArgs{}, r), NotImplemented);
  EXPECT_EQ(
      boundary::call_slot<FakeBoundary>(cls, slots, impl, kFirstSlot + static_cast<int>(slots.size()), CallArgs{}, r),
      NotImplemented);
  EXPECT_EQ(FakeBoundary::stores, 0);
}

TEST_F(BoundaryOutcomes, GuardedMembersReportRaisedErrorsAndExhaustedMemoryThroughTheRecord) {
  EXPECT_EQ(call(guarded, raises), Exception);
  EXPECT_EQ(FakeBoundary::stores, 1);
  EXPECT_TRUE(FakeBoundary::stored.iid == kIidIImage);
  EXPECT_EQ(FakeBoundary::stored.source, u"Kelvarin.Image");
  EXPECT_EQ(FakeBoundary::stored.description, u"broken");

  EXPECT_EQ(call(guarded, exhausts), Exception);
  EXPECT_EQ(FakeBoundary::stores, 2);
  EXPECT_EQ(FakeBoundary::stored.description, u"Out of memory");

  FakeBoundary::registered = false;
  EXPECT_EQ(call(guarded, raises), Exception);
  EXPECT_FALSE(FakeBoundary::stored.source.has_value());
}

TEST_F(BoundaryOutcomes, OtherMembersAnswerPlainCodesWithoutARecord) {
  EXPECT_EQ(call(plain, raises), Fail);
  EXPECT_EQ(call(plain, exhausts), OutOfMemory);
  EXPECT_EQ(FakeBoundary::stores, 0);
}

}  // namespace
}  // namespace kelv
