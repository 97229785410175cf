// The COM frame of the Windows module, written once for the three classes: objects with
// their counts and aggregation, IDispatch through the registered type library with a
// name cache in front, the conversion of arguments and results, and the error record
// of the guarded members, those three through the rules of server/boundary.h. The
// function-table methods themselves are generated from the member tables
// (com_classes.inc) and all end in ComObject::call.
#pragma once

#include <oaidl.h>
#include <ole2.h>
#include <windows.h>

#include <string>
#include <vector>

#include "kelvarin.h"
#include "server/binding.h"
#include "server/boundary.h"
#include "server/classes.h"

namespace kelv::win32 {

GUID to_guid(const Guid& g);
Guid from_guid(REFGUID g);

// The module lock count: one per live object and per LockServer(TRUE).
void lock_module();
void unlock_module();
LONG module_lock_count();

// Arguments and results at the boundary.
std::string arg_text(BSTR s);
std::string arg_name(BSTR s);
VarIn arg_variant(const VARIANT& v);
BSTR make_bstr(const std::string& text);
HRESULT make_variant(VarOut&& o, VARIANT* out);

// How the boundary's rules (server/boundary.h) read and write VARIANTs and SAFEARRAYs,
// and where the error record goes.
struct ComBoundary {
  using Variant = VARIANT;
  using Array = SAFEARRAY;
  using Status = HRESULT;

  static constexpr uint16_t vt_variant = VT_VARIANT, vt_array = VT_ARRAY, vt_byref = VT_BYREF, vt_ui1 = VT_UI1,
                            vt_bstr = VT_BSTR;
  static constexpr Status ok = S_OK, not_implemented = E_NOTIMPL, fail = E_FAIL, out_of_memory = E_OUTOFMEMORY,
                          exception = DISP_E_EXCEPTION;

  static uint16_t type(const VARIANT& v) { return V_VT(&v); }
  static const VARIANT* variant_ref(const VARIANT& v) { return V_VARIANTREF(&v); }
  static const SAFEARRAY* array(const VARIANT& v) { return V_ARRAY(&v); }
  static bool array_ref(const VARIANT& v, const SAFEARRAY*& out) {
    if (!V_ARRAYREF(&v)) return false;
    out = *V_ARRAYREF(&v);
    return true;
  }
  static unsigned dims(const SAFEARRAY& a) { return a.cDims; }
  // The data block from its first byte and the element count; the lower bound is not
  // consulted.
  static std::span<const uint8_t> bytes(const SAFEARRAY& a) {
    if (!a.pvData) return {};
    return {static_cast<const uint8_t*>(a.pvData), a.rgsabound[0].cElements};
  }
  static std::string text(const VARIANT& v) { return arg_text(V_BSTR(&v)); }

  static void put_null(VARIANT& out) { V_VT(&out) = VT_NULL; }
  static void put(VARIANT& out, int8_t v) {
    V_VT(&out) = VT_I1;
    V_I1(&out) = static_cast<CHAR>(v);
  }
  static void put(VARIANT& out, int16_t v) {
    V_VT(&out) = VT_I2;
    V_I2(&out) = v;
  }
  static void put(VARIANT& out, int32_t v) {
    V_VT(&out) = VT_I4;
    V_I4(&out) = v;
  }
  static void put(VARIANT& out, int64_t v) {
    V_VT(&out) = VT_I8;
    V_I8(&out) = v;
  }
  static void put(VARIANT& out, float v) {
    V_VT(&out) = VT_R4;
    V_R4(&out) = v;
  }
  static void put(VARIANT& out, double v) {
    V_VT(&out) = VT_R8;
    V_R8(&out) = v;
  }
  static bool put(VARIANT& out, Bytes&& b);

  static bool progid_of(const Guid& clsid, std::u16string& out);
  static void store_error(const boundary::ErrorParts& e);
};

// Another Image object received as an argument: held for the call, and asked for its
// bitmap through its own function table.
class ImageArg final : public ImageSource {
 public:
  explicit ImageArg(IImage* p);
  ~ImageArg() override;
  ImageArg(const ImageArg&) = delete;
  ImageArg& operator=(const ImageArg&) = delete;
  ImageSource* source() { return m_obj ? this : nullptr; }
  bool get_bmp(int32_t& handle) override;

 private:
  IImage* m_obj;
};

// The interface's type information, loaded from the registered type library once per
// module lifetime under the type-information lock; a failure is returned and the next
// call tries again.
struct TypeInfoEntry {
  ITypeInfo* info = nullptr;
  std::vector<std::pair<std::wstring, DISPID>> names;  // the name cache
};
HRESULT load_type_info(InterfaceId id, LCID lcid, const TypeInfoEntry** out);
HRESULT lookup_names(const TypeInfoEntry& e, LPOLESTR* names, UINT count, DISPID* ids);

template <class Iface, class Impl>
class ComObject : public Iface {
 public:
  ComObject(const ClassInfo& cls, const std::vector<Thunk<Impl>>& slots, IUnknown* outer)
      : m_class(cls), m_slots(slots), m_inner(*this), m_outer(outer) {
    lock_module();
  }
  virtual ~ComObject() { unlock_module(); }

  template <class Object>
  static HRESULT create(const ClassInfo& cls, const std::vector<Thunk<Impl>>& slots, IUnknown* outer, REFIID iid,
                        void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    Object* obj = new (std::nothrow) Object(cls, slots, outer);
    if (!obj) return E_OUTOFMEMORY;
    HRESULT hr = static_cast<ComObject*>(obj)->m_inner.QueryInterface(iid, out);
    if (FAILED(hr)) delete obj;
    return hr;
  }

  // IUnknown of the interface: delegates to the controlling unknown.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return controlling().QueryInterface(iid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return controlling().AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return controlling().Release(); }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID lcid, ITypeInfo** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    const TypeInfoEntry* e = nullptr;
    HRESULT hr = load_type_info(m_class.described, lcid, &e);
    if (FAILED(hr)) return hr;
    e->info->AddRef();
    *out = e->info;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
    const TypeInfoEntry* e = nullptr;
    HRESULT hr = load_type_info(m_class.iface, lcid, &e);
    if (FAILED(hr)) return hr;
    return lookup_names(*e, names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* excep, UINT* arg_err) override {
    const TypeInfoEntry* e = nullptr;
    HRESULT hr = load_type_info(m_class.iface, lcid, &e);
    if (FAILED(hr)) return hr;
    return e->info->Invoke(static_cast<Iface*>(this), id, flags, params, result, excep, arg_err);
  }

 protected:
  HRESULT call(int slot, const CallArgs& args) {
    CallResult r;
    return run(slot, args, r);
  }
  HRESULT call(int slot, const CallArgs& args, LONG* out) {
    if (!out) return E_POINTER;
    *out = 0;
    CallResult r;
    HRESULT hr = run(slot, args, r);
    if (const int32_t* v = std::get_if<int32_t>(&r.value)) *out = *v;
    return hr;
  }
  HRESULT call(int slot, const CallArgs& args, unsigned char* out) {
    if (!out) return E_POINTER;
    *out = 0;
    CallResult r;
    HRESULT hr = run(slot, args, r);
    if (const uint8_t* v = std::get_if<uint8_t>(&r.value)) *out = *v;
    return hr;
  }
  HRESULT call(int slot, const CallArgs& args, BSTR* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    CallResult r;
    HRESULT hr = run(slot, args, r);
    if (SUCCEEDED(hr)) {
      const std::string* s = std::get_if<std::string>(&r.value);
      *out = make_bstr(s ? *s : std::string());
      if (!*out) return E_OUTOFMEMORY;
    }
    return hr;
  }
  HRESULT call(int slot, const CallArgs& args, VARIANT* out) {
    if (!out) return E_POINTER;
    VariantInit(out);
    CallResult r;
    HRESULT hr = run(slot, args, r);
    if (SUCCEEDED(hr)) {
      if (VarOut* v = std::get_if<VarOut>(&r.value)) return make_variant(std::move(*v), out);
    }
    return hr;
  }

 private:
  // The non-delegating unknown: it owns the count.
  class Inner final : public IUnknown {
   public:
    explicit Inner(ComObject& owner) : m_owner(owner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
      if (!out) return E_POINTER;
      *out = nullptr;
      if (IsEqualIID(iid, IID_IUnknown)) {
        *out = static_cast<IUnknown*>(this);
      } else if (IsEqualIID(iid, IID_IDispatch) || class_implements(m_owner.m_class, from_guid(iid))) {
        *out = static_cast<Iface*>(&m_owner);
      } else {
        return E_NOINTERFACE;
      }
      static_cast<IUnknown*>(*out)->AddRef();
      return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_owner.m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
      ULONG n = --m_owner.m_refs;
      if (n == 0) delete &m_owner;
      return n;
    }

   private:
    ComObject& m_owner;
  };

  IUnknown& controlling() { return m_outer ? *m_outer : static_cast<IUnknown&>(m_inner); }

  HRESULT run(int slot, const CallArgs& args, CallResult& r) {
    return boundary::call_slot<ComBoundary>(m_class, m_slots, m_impl, slot, args, r);
  }

  const ClassInfo& m_class;
  const std::vector<Thunk<Impl>>& m_slots;
  Inner m_inner;
  IUnknown* m_outer;
  ULONG m_refs = 0;  // objects live in one apartment: a plain counter
  Impl m_impl;
};

}  // namespace kelv::win32
