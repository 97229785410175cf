// One object template for all three classes. ObjectBase does everything that does not
// depend on the class (interface requests, counting, aggregation, type information, name
// lookup, argument coercion and the result convention); NativeObject<Impl> only owns the
// class instance and calls its member thunks through the boundary (server/boundary.h),
// which NativeBoundary adapts to the native variants and status codes.
#pragma once

#include <new>
#include <span>

#include "platform/platform.h"
#include "server/boundary.h"
#include "server/native/dispatch.h"

namespace kelv::native {

// How the boundary's rules read and write the native automation types.
struct NativeBoundary {
  using Variant = native::Variant;
  using Array = SafeArray;
  using Status = HResult;

  static constexpr uint16_t vt_variant = VT_VARIANT, vt_array = VT_ARRAY, vt_byref = VT_BYREF, vt_ui1 = VT_UI1,
                            vt_bstr = VT_BSTR;
  static constexpr Status ok = hr::S_OK, not_implemented = hr::E_NOTIMPL, fail = hr::E_FAIL,
                          out_of_memory = hr::E_OUTOFMEMORY, exception = hr::DISP_E_EXCEPTION;

  static uint16_t type(const Variant& v) { return v.vt; }
  static const Variant* variant_ref(const Variant& v) { return v.vref; }
  static const Array* array(const Variant& v) { return v.arr.get(); }
  static bool array_ref(const Variant& v, const Array*& out) {
    if (!v.aref) return false;
    out = v.aref->get();
    return true;
  }
  static unsigned dims(const Array& a) { return a.dims; }
  static std::span<const uint8_t> bytes(const Array& a) { return {a.data.data(), a.data.size()}; }
  static std::string text(const Variant& v) { return boundary::text_in(v.s); }

  static void put_null(Variant& out) { out = Variant::null(); }
  static void put(Variant& out, int8_t v) { out = Variant::i1(v); }
  static void put(Variant& out, int16_t v) { out = Variant::i2(v); }
  static void put(Variant& out, int32_t v) { out = Variant::i4(v); }
  static void put(Variant& out, int64_t v) { out = Variant::i8(v); }
  static void put(Variant& out, float v) { out = Variant::r4(v); }
  static void put(Variant& out, double v) { out = Variant::r8(v); }
  static bool put(Variant& out, Bytes&& b) {
    out = Variant::bytes(std::move(b));
    return true;
  }

  static bool progid_of(const Guid& clsid, std::u16string& out);
  static void store_error(const boundary::ErrorParts& e);
};

class ObjectBase : public Dispatch {
 public:
  HResult QueryInterface(const Guid& iid, void** out) override;
  uint32_t AddRef() override;
  uint32_t Release() override;

  HResult GetTypeInfoCount(uint32_t* count) override;
  HResult GetTypeInfo(uint32_t index, uint32_t lcid, TypeInfo** out) override;
  HResult GetIDsOfNames(const Guid& riid, const char16_t* const* names, uint32_t count, uint32_t lcid,
                        int32_t* dispids) override;
  HResult Invoke(int32_t dispid, const Guid& riid, uint32_t lcid, uint16_t flags, DispParams* params, Variant* result,
                 ExcepInfo* excep, uint32_t* arg_err) override;

  const ClassInfo& class_info() const { return m_class; }

 protected:
  ObjectBase(const ClassInfo& cls, Unknown* outer);
  virtual ~ObjectBase();
  // Finishes creation: the interface request on the non-delegating side; on failure the
  // object is destroyed.
  static HResult finish_create(ObjectBase* obj, const Guid& iid, void** out);

 private:
  // The non-delegating unknown: it owns the count. Without an outer object it is also
  // the controlling unknown.
  class Inner final : public Unknown {
   public:
    explicit Inner(ObjectBase& owner) : m_owner(owner) {}
    HResult QueryInterface(const Guid& iid, void** out) override;
    uint32_t AddRef() override;
    uint32_t Release() override;

   private:
    ObjectBase& m_owner;
  };

  Unknown& controlling() { return m_outer ? *m_outer : static_cast<Unknown&>(m_inner); }

  const ClassInfo& m_class;
  Inner m_inner;
  Unknown* m_outer;
  uint32_t m_refs = 0;  // objects are used from one apartment: a plain counter
};

template <class Impl>
class NativeObject final : public ObjectBase {
 public:
  static HResult create(const ClassInfo& cls, const std::vector<Thunk<Impl>>& slots, Unknown* outer, const Guid& iid,
                        void** out) {
    if (!out) return hr::E_POINTER;
    *out = nullptr;
    if (outer && !(iid == kIidIUnknown)) return hr::CLASS_E_NOAGGREGATION;
    auto* obj = new (std::nothrow) NativeObject(cls, slots, outer);
    if (!obj) return hr::E_OUTOFMEMORY;
    return finish_create(obj, iid, out);
  }

  Impl& impl() { return m_impl; }

  HResult call_slot(int slot, const CallArgs& args, CallResult& result) override {
    return boundary::call_slot<NativeBoundary>(class_info(), m_slots, m_impl, slot, args, result);
  }

 private:
  NativeObject(const ClassInfo& cls, const std::vector<Thunk<Impl>>& slots, Unknown* outer)
      : ObjectBase(cls, outer), m_slots(slots) {}

  const std::vector<Thunk<Impl>>& m_slots;
  Impl m_impl;
};

}  // namespace kelv::native
