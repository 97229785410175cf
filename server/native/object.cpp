#include "server/native/object.h"

#include <memory>
#include <stdexcept>

#include "platform/platform.h"
#include "server/native/module.h"

namespace kelv::native {
namespace {

// Another Image object as an Image method sees it: its GetBmp member is called through
// its function table. The reference is held for the call and released with this holder.
class DispatchImageSource final : public ImageSource {
 public:
  explicit DispatchImageSource(Dispatch* d) : m_obj(d) {}
  ~DispatchImageSource() override {
    if (m_obj) m_obj->Release();
  }
  DispatchImageSource(const DispatchImageSource&) = delete;
  DispatchImageSource& operator=(const DispatchImageSource&) = delete;

  bool get_bmp(int32_t& handle) override {
    static const int slot = interface_table(InterfaceId::Image).by_name("GetBmp")->slot;
    CallResult r;
    if (failed(m_obj->call_slot(slot, CallArgs{}, r))) return false;
    const int32_t* v = std::get_if<int32_t>(&r.value);
    if (!v) return false;
    handle = *v;
    return true;
  }

 private:
  Dispatch* m_obj;
};

// Converts one argument to its parameter's type. A missing optional argument takes the
// parameter's default.
HResult coerce(const Param& p, const Variant* arg, CallArgs& args, std::vector<std::unique_ptr<ImageSource>>& holders) {
  bool missing = !arg || (arg->vt == VT_ERROR && arg->i == hr::DISP_E_PARAMNOTFOUND);
  if (missing) {
    if (!p.optional) return hr::DISP_E_PARAMNOTOPTIONAL;
    switch (p.type) {
      case ValueType::Text:
      case ValueType::Name: args.push(p.default_text); break;
      case ValueType::UI1: args.push(static_cast<uint8_t>(p.default_int)); break;
      case ValueType::I8: args.push(p.default_int); break;
      case ValueType::R8: args.push(static_cast<double>(p.default_int)); break;
      case ValueType::Variant: args.push(VarIn{}); break;
      case ValueType::ImageRef: args.push(static_cast<ImageSource*>(nullptr)); break;
      default: args.push(static_cast<int32_t>(p.default_int)); break;
    }
    return hr::S_OK;
  }
  HResult h = hr::S_OK;
  switch (p.type) {
    case ValueType::I4: {
      int32_t v = 0;
      h = to_i4(*arg, v);
      args.push(v);
      break;
    }
    case ValueType::UI1: {
      uint8_t v = 0;
      h = to_ui1(*arg, v);
      args.push(v);
      break;
    }
    case ValueType::I8: {
      int64_t v = 0;
      h = to_i8(*arg, v);
      args.push(v);
      break;
    }
    case ValueType::R8: {
      double v = 0;
      h = to_r8(*arg, v);
      args.push(v);
      break;
    }
    case ValueType::Text:
    case ValueType::Name: {
      std::u16string w;
      h = to_text(*arg, w);
      args.push(p.type == ValueType::Name ? boundary::name_in(w) : boundary::text_in(w));
      break;
    }
    case ValueType::Variant: args.push(boundary::var_in<NativeBoundary>(*arg)); break;
    case ValueType::ImageRef: {
      const Variant& v = deref(*arg);
      if (v.vt != VT_DISPATCH) return hr::DISP_E_TYPEMISMATCH;
      Dispatch* other = nullptr;
      if (v.disp) {
        void* p2 = nullptr;
        if (failed(v.disp->QueryInterface(kIidIImage, &p2))) return hr::DISP_E_TYPEMISMATCH;
        other = static_cast<Dispatch*>(p2);
      }
      ImageSource* src = nullptr;
      if (other) {
        holders.push_back(std::make_unique<DispatchImageSource>(other));
        src = holders.back().get();
      }
      args.push(src);
      break;
    }
    case ValueType::None: break;
  }
  return h;
}

const Member* resolve(const InterfaceTable& t, int32_t dispid, uint16_t flags) {
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) return t.find(dispid, MemberKind::Put);
  const Member* m = nullptr;
  if (flags & DISPATCH_METHOD) m = t.find(dispid, MemberKind::Method);
  if (!m && (flags & DISPATCH_PROPERTYGET)) m = t.find(dispid, MemberKind::Get);
  return m;
}

}  // namespace

ObjectBase::ObjectBase(const ClassInfo& cls, Unknown* outer) : m_class(cls), m_inner(*this), m_outer(outer) {
  lock_module();
}

ObjectBase::~ObjectBase() { unlock_module(); }

HResult ObjectBase::finish_create(ObjectBase* obj, const Guid& iid, void** out) {
  HResult h = obj->m_inner.QueryInterface(iid, out);
  if (failed(h)) delete obj;
  return h;
}

HResult ObjectBase::Inner::QueryInterface(const Guid& iid, void** out) {
  if (!out) return hr::E_POINTER;
  *out = nullptr;
  if (iid == kIidIUnknown) {
    *out = static_cast<Unknown*>(this);
  } else if (iid == kIidIDispatch || class_implements(m_owner.m_class, iid)) {
    *out = static_cast<Dispatch*>(&m_owner);
  } else {
    return hr::E_NOINTERFACE;
  }
  static_cast<Unknown*>(*out)->AddRef();
  return hr::S_OK;
}

uint32_t ObjectBase::Inner::AddRef() { return ++m_owner.m_refs; }

uint32_t ObjectBase::Inner::Release() {
  uint32_t n = --m_owner.m_refs;
  if (n == 0) delete &m_owner;
  return n;
}

HResult ObjectBase::QueryInterface(const Guid& iid, void** out) { return controlling().QueryInterface(iid, out); }
uint32_t ObjectBase::AddRef() { return controlling().AddRef(); }
uint32_t ObjectBase::Release() { return controlling().Release(); }

HResult ObjectBase::GetTypeInfoCount(uint32_t* count) {
  if (!count) return hr::E_POINTER;
  *count = 1;
  return hr::S_OK;
}

HResult ObjectBase::GetTypeInfo(uint32_t, uint32_t, TypeInfo** out) {
  if (!out) return hr::E_POINTER;
  *out = nullptr;
  TypeInfo* ti = nullptr;
  HResult h = load_type_info(m_class.described, ti);
  if (failed(h)) return h;
  ti->AddRef();
  *out = ti;
  return hr::S_OK;
}

HResult ObjectBase::GetIDsOfNames(const Guid&, const char16_t* const* names, uint32_t count, uint32_t,
                                  int32_t* dispids) {
  if (count && (!names || !dispids)) return hr::E_POINTER;
  TypeInfo* ti = nullptr;
  HResult h = load_type_info(m_class.iface, ti);
  if (failed(h)) return h;
  // Each name is looked up as a member name, so parameter names never resolve; the first
  // name that is not found ends the loop.
  for (uint32_t k = 0; k < count; ++k) {
    std::u16string name = names[k] ? names[k] : u"";
    if (!ti->cached_lookup(name, dispids[k]) && !ti->library_lookup(name, dispids[k])) {
      for (uint32_t j = k; j < count; ++j) dispids[j] = DISPID_UNKNOWN;
      return hr::DISP_E_UNKNOWNNAME;
    }
  }
  return hr::S_OK;
}

HResult ObjectBase::Invoke(int32_t dispid, const Guid&, uint32_t, uint16_t flags, DispParams* params, Variant* result,
                           ExcepInfo* excep, uint32_t* arg_err) {
  TypeInfo* ti = nullptr;
  HResult h = load_type_info(m_class.iface, ti);
  if (failed(h)) return h;
  const InterfaceTable& table = ti->table();
  const Member* m = resolve(table, dispid, flags);
  if (!m) return hr::DISP_E_MEMBERNOTFOUND;

  DispParams empty;
  if (!params) params = &empty;
  if (params->count && !params->args) return hr::E_POINTER;
  bool is_put = m->kind == MemberKind::Put;
  if (params->named_count > (is_put ? 1u : 0u)) return hr::DISP_E_NONAMEDARGS;
  if (is_put && params->named_count == 1 && params->named[0] != DISPID_PROPERTYPUT) return hr::DISP_E_PARAMNOTFOUND;
  if (params->count > m->params.size()) return hr::DISP_E_BADPARAMCOUNT;

  CallArgs args;
  std::vector<std::unique_ptr<ImageSource>> holders;
  for (size_t k = 0; k < m->params.size(); ++k) {
    // Positional arguments arrive last first.
    const Variant* arg = k < params->count ? &params->args[params->count - 1 - k] : nullptr;
    h = coerce(m->params[k], arg, args, holders);
    if (failed(h)) {
      if (arg_err && arg) *arg_err = static_cast<uint32_t>(params->count - 1 - k);
      return h;
    }
  }

  CallResult r;
  h = call_slot(m->slot, args, r);
  if (h == hr::DISP_E_EXCEPTION) {
    ErrorRecord rec;
    if (excep && take_error_info(rec)) {
      excep->code = 0;
      excep->source = rec.source;
      excep->description = rec.description;
      excep->scode = hr::DISP_E_EXCEPTION;
    }
    return h;
  }
  if (failed(h)) return h;

  if (result) {
    if (auto* v = std::get_if<int32_t>(&r.value))
      *result = Variant::i4(*v);
    else if (auto* v8 = std::get_if<uint8_t>(&r.value))
      *result = Variant::ui1(*v8);
    else if (auto* s = std::get_if<std::string>(&r.value))
      *result = Variant::str(boundary::text_out(*s));
    else if (auto* o = std::get_if<VarOut>(&r.value))
      return boundary::var_out<NativeBoundary>(std::move(*o), *result);
    else
      *result = Variant{};
  }
  return hr::S_OK;
}

bool NativeBoundary::progid_of(const Guid& clsid, std::u16string& out) {
  std::string progid;
  if (!progid_from_clsid(clsid, progid)) return false;
  out = platform::to_wide(progid);
  return true;
}

void NativeBoundary::store_error(const boundary::ErrorParts& e) {
  ErrorRecord rec;
  rec.iid = e.iid;
  if (e.source) rec.source = *e.source;
  rec.description = e.description;
  set_error_info(&rec);
}

}  // namespace kelv::native
