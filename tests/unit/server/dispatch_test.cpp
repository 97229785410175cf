// The dispatch conventions, driven through the native layer with a test double bound to
// the IImage member table: name lookup, argument order and coercion, defaults, the result
// convention and the guarded error path.
#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/platform.h"
#include "server/native/client.h"
#include "server/native/object.h"
#include "server/native/registry.h"
#include "unit/support.h"

namespace kelv::native {
namespace {

struct Double {
  static inline CallArgs last;
  static inline std::string last_name;
};

constexpr MemberKind M = MemberKind::Method;
constexpr MemberKind P = MemberKind::Put;

const Binding<Double> kDoubleBindings[] = {
    {"SaveToJpg", M,
     [](Double&, const CallArgs& a, CallResult& r) {
       Double::last = a;
       r.value = a.i4(1) + a.i4(2) + a.i4(3);
     }},
    {"CreateFromSize", M,
     [](Double&, const CallArgs& a, CallResult& r) {
       Double::last = a;
       r.value = int32_t{1};
     }},
    {"GetColorFromRGB", M,
     [](Double&, const CallArgs& a, CallResult& r) { r.value = a.ui1(0) + a.ui1(1) * 256 + a.ui1(2) * 65536; }},
    {"FontName", P, [](Double&, const CallArgs& a, CallResult&) { Double::last_name = a.text(0); }},
    {"FontName", MemberKind::Get, [](Double&, const CallArgs&, CallResult& r) { r.value = Double::last_name; }},
    {"Width", P, [](Double&, const CallArgs&, CallResult&) { throw std::runtime_error("Out of system resources"); }},
    {"Height", P, [](Double&, const CallArgs&, CallResult&) { throw std::runtime_error(""); }},
    {"RotateCW", M, [](Double&, const CallArgs&, CallResult&) { throw std::runtime_error("not guarded"); }},
    {"GetHtmlWH", M, [](Double&, const CallArgs&, CallResult& r) { r.value = std::string("a\0b", 3); }},
    {"SaveToBufferBmp", M,
     [](Double&, const CallArgs&, CallResult& r) {
       r.value = VarOut::buffer({1, 2, 3});
     }},
};

class Dispatching : public test::RegisteredModule {
 protected:
  void SetUp() override {
    RegisteredModule::SetUp();
    static const auto slots =
        bind_slots<Double>(interface_table(InterfaceId::Image2), std::span<const Binding<Double>>(kDoubleBindings));
    void* p = nullptr;
    ASSERT_EQ(NativeObject<Double>::create(kClasses[0], slots, nullptr, kIidIDispatch, &p), hr::S_OK);
    obj = Object(static_cast<Dispatch*>(p));
  }
  void TearDown() override {
    obj = Object();
    RegisteredModule::TearDown();
  }

  int32_t dispid_of(const char16_t* name, HResult expect = hr::S_OK) {
    int32_t id = 0;
    const char16_t* names[] = {name};
    EXPECT_EQ(obj.get()->GetIDsOfNames(kIidNull, names, 1, 0x409, &id), expect);
    return id;
  }

  Object obj;
};

TEST_F(Dispatching, NamesResolveInDeclaredAndInOtherCase) {
  EXPECT_EQ(dispid_of(u"LoadFromBmp"), 1);
  EXPECT_EQ(dispid_of(u"loadfrombmp"), 1);
  EXPECT_EQ(dispid_of(u"BRUSHSTYLE"), 15);
  EXPECT_EQ(dispid_of(u"cntThumbBorder"), 45);
  dispid_of(u"NoSuchMember", hr::DISP_E_UNKNOWNNAME);
}

TEST_F(Dispatching, ParameterNamesNeverResolveAndTheFirstUnknownNameStops) {
  const char16_t* names[] = {u"SaveToJpg", u"Quality"};
  int32_t ids[2] = {0, 0};
  EXPECT_EQ(obj.get()->GetIDsOfNames(kIidNull, names, 2, 0x409, ids), hr::DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], 5);
  EXPECT_EQ(ids[1], DISPID_UNKNOWN);
  const char16_t* names2[] = {u"Bogus", u"SaveToJpg"};
  EXPECT_EQ(obj.get()->GetIDsOfNames(kIidNull, names2, 2, 0x409, ids), hr::DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[1], DISPID_UNKNOWN);
}

TEST_F(Dispatching, PositionalArgumentsAndDefaultsForOmittedOptionals) {
  Variant r = obj.call("SaveToJpg", {Variant::str(u"a.jpg")});
  EXPECT_EQ(obj.status(), hr::S_OK);
  EXPECT_EQ(r.vt, VT_I4);
  EXPECT_EQ(r.i, -3);
  EXPECT_EQ(Double::last.text(0), "a.jpg");

  r = obj.call("SaveToJpg", {Variant::str(u"b.jpg"), Variant::i4(50), Variant::missing(), Variant::i4(1)});
  EXPECT_EQ(r.i, 50 - 1 + 1);
  EXPECT_EQ(Double::last.i4(2), -1);

  obj.call("CreateFromSize", {Variant::i4(10), Variant::i4(20)});
  EXPECT_EQ(Double::last.i4(0), 10);
  EXPECT_EQ(Double::last.i4(1), 20);
  EXPECT_EQ(Double::last.i4(2), 0);
}

TEST_F(Dispatching, ArgumentsAreCoercedToTheDeclaredTypes) {
  Variant r = obj.call("CreateFromSize", {Variant::str(u"10"), Variant::r8(2.5), Variant::boolean(true)});
  EXPECT_EQ(obj.status(), hr::S_OK);
  EXPECT_EQ(Double::last.i4(0), 10);
  EXPECT_EQ(Double::last.i4(1), 2);
  EXPECT_EQ(Double::last.i4(2), -1);
  r = obj.call("GetColorFromRGB", {Variant::r8(255), Variant::str(u"128"), Variant::i2(0)});
  EXPECT_EQ(r.i, 33023);
  // Numbers given for a text parameter become their text.
  obj.put("FontName", Variant::i4(12));
  EXPECT_EQ(Double::last_name, "12");
}

TEST_F(Dispatching, CoercionFailuresNameTheArgument) {
  obj.call("CreateFromSize", {Variant::i4(1), Variant::str(u"wide"), Variant::i4(0)});
  EXPECT_EQ(obj.status(), hr::DISP_E_TYPEMISMATCH);
  EXPECT_EQ(obj.arg_error(), 1u);  // arguments are counted from the last one
  obj.call("GetColorFromRGB", {Variant::i4(300), Variant::i4(0), Variant::i4(0)});
  EXPECT_EQ(obj.status(), hr::DISP_E_OVERFLOW);
  EXPECT_EQ(obj.arg_error(), 2u);
  obj.call("CreateFromSize", {Variant::null(), Variant::i4(1)});
  EXPECT_EQ(obj.status(), hr::DISP_E_TYPEMISMATCH);
}

TEST_F(Dispatching, ArgumentCountsAreChecked) {
  obj.call("CreateFromSize", {Variant::i4(1)});
  EXPECT_EQ(obj.status(), hr::DISP_E_PARAMNOTOPTIONAL);
  obj.call("CreateFromSize", {Variant::i4(1), Variant::i4(2), Variant::i4(3), Variant::i4(4)});
  EXPECT_EQ(obj.status(), hr::DISP_E_BADPARAMCOUNT);
  obj.call("CreateFromSize", {Variant::i4(1), Variant::missing()});
  EXPECT_EQ(obj.status(), hr::DISP_E_PARAMNOTOPTIONAL);
}

TEST_F(Dispatching, PropertiesGetAndPut) {
  obj.put("FontName", Variant::str(u"Arial"));
  EXPECT_EQ(obj.status(), hr::S_OK);
  Variant v = obj.get("FontName");
  EXPECT_EQ(v.vt, VT_BSTR);
  EXPECT_EQ(v.s, u"Arial");
  // A method cannot be reached as a property get alone.
  obj.get("SaveToJpg", {Variant::str(u"x")});
  EXPECT_EQ(obj.status(), hr::DISP_E_MEMBERNOTFOUND);
}

TEST_F(Dispatching, GuardedMembersReportTheErrorAsAnException) {
  obj.put("Width", Variant::i4(5));
  EXPECT_EQ(obj.status(), hr::DISP_E_EXCEPTION);
  EXPECT_EQ(obj.exception().source, u"Kelvarin.Image");
  EXPECT_EQ(obj.exception().description, u"Out of system resources");
  EXPECT_EQ(obj.exception().scode, hr::DISP_E_EXCEPTION);
  obj.put("Height", Variant::i4(5));
  EXPECT_EQ(obj.status(), hr::DISP_E_EXCEPTION);
  EXPECT_EQ(obj.exception().description, u"");
  // The record is taken by the call that reports it.
  ErrorRecord rec;
  EXPECT_FALSE(take_error_info(rec));
}

TEST_F(Dispatching, GuardedErrorWithoutARegisteredProgIdHasNoSource) {
  Registry reg = Registry::open();
  reg.delete_tree("CLSID\\" + kClsidImage.text() + "\\ProgID");
  reg.save();
  obj.put("Width", Variant::i4(5));
  EXPECT_EQ(obj.status(), hr::DISP_E_EXCEPTION);
  EXPECT_EQ(obj.exception().source, u"");
}

TEST_F(Dispatching, OtherMembersNeverLetAnErrorThrough) {
  obj.call("RotateCW");
  EXPECT_EQ(obj.status(), hr::E_FAIL);
  EXPECT_EQ(obj.exception().description, u"");
}

TEST_F(Dispatching, ResultsCrossTheBoundary) {
  Variant v = obj.call("GetHtmlWH");
  EXPECT_EQ(v.vt, VT_BSTR);
  EXPECT_EQ(v.s, u"a");  // a text result ends at a NUL
  v = obj.call("SaveToBufferBmp");
  EXPECT_EQ(v.vt, VT_ARRAY | VT_UI1);
  ASSERT_TRUE(v.arr);
  EXPECT_EQ(v.arr->data, (Bytes{1, 2, 3}));
  EXPECT_EQ(v.arr->lower_bound, 0);
}

TEST_F(Dispatching, TypeInformationIsOneRecordForAnyIndex) {
  uint32_t n = 0;
  EXPECT_EQ(obj.get()->GetTypeInfoCount(&n), hr::S_OK);
  EXPECT_EQ(n, 1u);
  TypeInfo* a = nullptr;
  TypeInfo* b = nullptr;
  EXPECT_EQ(obj.get()->GetTypeInfo(0, 0x409, &a), hr::S_OK);
  EXPECT_EQ(obj.get()->GetTypeInfo(5, 0x409, &b), hr::S_OK);
  EXPECT_EQ(a, b);
  EXPECT_EQ(&a->table(), &interface_table(InterfaceId::Image));
  a->Release();
  b->Release();
  EXPECT_EQ(obj.get()->GetTypeInfo(0, 0x409, nullptr), hr::E_POINTER);
}

TEST_F(Dispatching, WithoutARegisteredTypeLibraryDispatchFailsButCountingWorks) {
  module_terminate();
  std::filesystem::remove(m_dir / "registry");
  uint32_t n = 0;
  EXPECT_EQ(obj.get()->GetTypeInfoCount(&n), hr::S_OK);
  EXPECT_EQ(n, 1u);
  dispid_of(u"SaveToJpg", hr::TYPE_E_LIBNOTREGISTERED);
  TypeInfo* ti = nullptr;
  EXPECT_EQ(obj.get()->GetTypeInfo(0, 0, &ti), hr::TYPE_E_LIBNOTREGISTERED);
  DispParams none;
  EXPECT_EQ(obj.get()->Invoke(5, kIidNull, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
            hr::TYPE_E_LIBNOTREGISTERED);
  // Direct calls through the function table still work.
  CallArgs args;
  args.push(uint8_t{1});
  args.push(uint8_t{2});
  args.push(uint8_t{3});
  CallResult r;
  EXPECT_EQ(obj.get()->call_slot(26, args, r), hr::S_OK);
  EXPECT_EQ(std::get<int32_t>(r.value), 1 + 2 * 256 + 3 * 65536);
  // Once registered again, the next call loads it.
  ASSERT_EQ(DllRegisterServer(), hr::S_OK);
  EXPECT_EQ(dispid_of(u"SaveToJpg"), 5);
}

TEST_F(Dispatching, TextArgumentsEndAtAnEmbeddedNul) {
  std::u16string s = u"Ari";
  s.push_back(u'\0');
  s += u"al";
  obj.put("FontName", Variant::str(s));
  EXPECT_EQ(Double::last_name, "Ari");
}

}  // namespace
}  // namespace kelv::native
