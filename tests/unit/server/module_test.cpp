// Object lifetime, class factories, aggregation and registration of the native module.
#include <gtest/gtest.h>

#include "server/native/client.h"
#include "server/native/registry.h"
#include "unit/support.h"

namespace kelv::native {
namespace {

using Module = test::RegisteredModule;

ClassFactory* factory_for(const Guid& clsid) {
  void* p = nullptr;
  EXPECT_EQ(DllGetClassObject(clsid, kIidIClassFactory, &p), hr::S_OK);
  return static_cast<ClassFactory*>(p);
}

TEST_F(Module, FactoriesAreCachedPerClass) {
  ClassFactory* a = factory_for(kClsidInfo);
  ClassFactory* b = factory_for(kClsidInfo);
  ClassFactory* c = factory_for(kClsidImage);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  a->Release(), b->Release(), c->Release();
}

TEST_F(Module, ClassObjectRequestsThatFail) {
  void* p = reinterpret_cast<void*>(1);
  Guid unknown = kIidIImage;
  EXPECT_EQ(DllGetClassObject(unknown, kIidIClassFactory, &p), hr::CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(DllGetClassObject(kClsidInfo, kIidIClassFactory, nullptr), hr::E_POINTER);
  p = reinterpret_cast<void*>(1);
  EXPECT_EQ(DllGetClassObject(kClsidInfo, kIidIDispatch, &p), hr::E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  ClassFactory* f = factory_for(kClsidInfo);
  EXPECT_EQ(f->CreateInstance(nullptr, kIidIDispatch, nullptr), hr::E_POINTER);
  f->Release();
}

TEST_F(Module, UnloadIsRefusedWhileObjectsLiveOrTheServerIsLocked) {
  EXPECT_EQ(DllCanUnloadNow(), hr::S_OK);
  {
    Object info = Object::create("Kelvarin.Info");
    ASSERT_TRUE(info);
    EXPECT_EQ(DllCanUnloadNow(), hr::S_FALSE);
  }
  EXPECT_EQ(DllCanUnloadNow(), hr::S_OK);
  // Handing out a factory does not count; locking it does.
  ClassFactory* f = factory_for(kClsidBinaryRW);
  EXPECT_EQ(DllCanUnloadNow(), hr::S_OK);
  f->LockServer(true);
  EXPECT_EQ(DllCanUnloadNow(), hr::S_FALSE);
  f->LockServer(false);
  EXPECT_EQ(DllCanUnloadNow(), hr::S_OK);
  f->Release();
}

TEST_F(Module, InterfaceRequestsOnAnObject) {
  ClassFactory* f = factory_for(kClsidInfo);
  void* p = nullptr;
  ASSERT_EQ(f->CreateInstance(nullptr, kIidIInfo, &p), hr::S_OK);
  auto* obj = static_cast<Dispatch*>(p);
  void* disp = nullptr;
  void* own = nullptr;
  void* unk = nullptr;
  void* other = reinterpret_cast<void*>(1);
  EXPECT_EQ(obj->QueryInterface(kIidIDispatch, &disp), hr::S_OK);
  EXPECT_EQ(obj->QueryInterface(kIidIInfo, &own), hr::S_OK);
  EXPECT_EQ(obj->QueryInterface(kIidIUnknown, &unk), hr::S_OK);
  EXPECT_EQ(obj->QueryInterface(kIidIImage, &other), hr::E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(obj->QueryInterface(kIidIClassFactory, &other), hr::E_NOINTERFACE);
  EXPECT_EQ(disp, own);
  EXPECT_EQ(disp, p);
  EXPECT_EQ(obj->AddRef(), 5u);
  EXPECT_EQ(obj->Release(), 4u);
  static_cast<Unknown*>(unk)->Release();
  static_cast<Dispatch*>(own)->Release();
  static_cast<Dispatch*>(disp)->Release();
  EXPECT_EQ(obj->Release(), 0u);
  EXPECT_EQ(DllCanUnloadNow(), hr::S_OK);
  f->Release();
}

// An outer object for aggregation: it counts its own references and answers interface
// requests by asking the inner object's non-delegating unknown.
class Outer final : public Unknown {
 public:
  HResult QueryInterface(const Guid& iid, void** out) override {
    if (iid == kIidIUnknown) {
      *out = this;
      AddRef();
      return hr::S_OK;
    }
    ++forwarded;
    return inner ? inner->QueryInterface(iid, out) : hr::E_NOINTERFACE;
  }
  uint32_t AddRef() override { return ++refs; }
  uint32_t Release() override { return --refs; }
  Unknown* inner = nullptr;
  uint32_t refs = 1;
  int forwarded = 0;
};

TEST_F(Module, AggregationTakesOnlyIUnknownAndDelegatesToTheOuterObject) {
  ClassFactory* f = factory_for(kClsidImage);
  Outer outer;
  void* p = reinterpret_cast<void*>(1);
  EXPECT_EQ(f->CreateInstance(&outer, kIidIImage, &p), hr::CLASS_E_NOAGGREGATION);
  EXPECT_EQ(p, nullptr);
  ASSERT_EQ(f->CreateInstance(&outer, kIidIUnknown, &p), hr::S_OK);
  outer.inner = static_cast<Unknown*>(p);

  void* img = nullptr;
  ASSERT_EQ(outer.inner->QueryInterface(kIidIImage, &img), hr::S_OK);
  // The interface handed out counts on the outer object, as every reference to an
  // aggregated object's interfaces does.
  EXPECT_EQ(outer.refs, 2u);
  auto* face = static_cast<Dispatch*>(img);
  face->AddRef();
  EXPECT_EQ(outer.refs, 3u);
  face->Release();
  // Interface requests on the aggregated interface go to the outer object.
  void* again = nullptr;
  EXPECT_EQ(face->QueryInterface(kIidIDispatch, &again), hr::S_OK);
  EXPECT_EQ(outer.forwarded, 1);
  EXPECT_EQ(again, img);
  face->Release();
  face->Release();
  EXPECT_EQ(outer.refs, 1u);
  // The non-delegating unknown keeps its own count: the one reference from creation.
  EXPECT_EQ(DllCanUnloadNow(), hr::S_FALSE);
  EXPECT_EQ(outer.inner->Release(), 0u);
  EXPECT_EQ(DllCanUnloadNow(), hr::S_OK);
  f->Release();
}

TEST_F(Module, RegistrationWritesTheClassEntries) {
  Registry reg = Registry::open();
  for (const ClassInfo& c : kClasses) {
    std::string ck = "CLSID\\" + c.clsid.text();
    EXPECT_EQ(reg.value(ck), c.description);
    EXPECT_EQ(reg.value(ck + "\\InprocServer32"), module_path());
    EXPECT_EQ(reg.value(ck + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(reg.value(c.progid), c.description);
    EXPECT_EQ(reg.value(std::string(c.progid) + "\\CLSID"), c.clsid.text());
    EXPECT_EQ(reg.value(ck + "\\ProgID"), c.progid);
    EXPECT_EQ(reg.value(ck + "\\Version"), "1.0");
    EXPECT_EQ(reg.value(ck + "\\Typelib"), kLibId.text());
    EXPECT_FALSE(reg.key_exists(std::string(c.progid) + "\\CurVer"));
  }
  EXPECT_EQ(reg.value("TypeLib\\" + kLibId.text() + "\\1.0"), "Kelvarin.image Library");
  EXPECT_EQ(kClsidImage.text().size(), 38u);
  EXPECT_EQ(kClsidImage.text(), "{63E20705-0DA7-4347-8CAD-27AE8EF3AA0D}");
}

TEST_F(Module, UnregistrationRemovesTheClassesButKeepsTheTypeLibrary) {
  Registry before = Registry::open();
  before.set_value("CLSID\\" + kClsidInfo.text() + "\\Extra\\Deeper", "", "x");
  before.save();
  EXPECT_EQ(DllUnregisterServer(), hr::S_OK);
  Registry reg = Registry::open();
  for (const ClassInfo& c : kClasses) {
    EXPECT_FALSE(reg.key_exists("CLSID\\" + c.clsid.text()));
    EXPECT_FALSE(reg.key_exists(c.progid));
  }
  EXPECT_TRUE(reg.key_exists("TypeLib\\" + kLibId.text() + "\\1.0"));
  Object info = Object::create("Kelvarin.Info");
  EXPECT_FALSE(info);
  EXPECT_EQ(info.status(), hr::CO_E_CLASSSTRING);
  EXPECT_EQ(DllUnregisterServer(), hr::S_OK);  // again: nothing left, still S_OK
}

TEST_F(Module, ProgIdWithoutItsServerKeyIsNotRegistered) {
  Registry reg = Registry::open();
  reg.delete_tree("CLSID\\" + kClsidInfo.text() + "\\InprocServer32");
  reg.save();
  Object info = Object::create("Kelvarin.Info");
  EXPECT_EQ(info.status(), hr::REGDB_E_CLASSNOTREG);
}

TEST_F(Module, RegistryKeysIgnoreCase) {
  Registry reg = Registry::open();
  EXPECT_EQ(reg.value("kelvarin.info\\clsid"), kClsidInfo.text());
  reg.set_value("Odd\\Key", "v", "tab\there\nand%percent");
  reg.save();
  EXPECT_EQ(Registry::open().value("ODD\\KEY", "v"), "tab\there\nand%percent");
}

TEST_F(Module, InfoByNameThroughTheDispatcher) {
  Object info = Object::create("Kelvarin.Info");
  ASSERT_TRUE(info) << std::hex << info.status();
  EXPECT_EQ(info.call_i4("GetVersion"), 1);
  EXPECT_EQ(info.call_i4("GetMinorVersion"), 5);
  EXPECT_EQ(info.call_i4("gettruevalue"), 1);
  EXPECT_EQ(info.call_i4("GetFalseValue"), 0);
  EXPECT_EQ(info.call_i4("GetSystem"), 0);
  EXPECT_EQ(info.call_text("GetSystemText"), "undefined");
  EXPECT_FALSE(info.call_text("GetAuthorInfo").empty());
  info.call("GetVersion", {Variant::i4(1)});
  EXPECT_EQ(info.status(), hr::DISP_E_BADPARAMCOUNT);
}

}  // namespace
}  // namespace kelv::native
