#include "server/win32/com.h"

#include <array>
#include <cstring>
#include <cwctype>

#include "platform/platform.h"

namespace kelv::win32 {
namespace {

volatile LONG g_lock_count = 0;

struct TypeInfoCache {
  CRITICAL_SECTION lock;
  std::array<TypeInfoEntry*, kInterfaceCount> entries{};
  TypeInfoCache() { InitializeCriticalSection(&lock); }
};

TypeInfoCache& cache() {
  static TypeInfoCache c;
  return c;
}

std::u16string as_u16(const wchar_t* s, size_t n) { return std::u16string(reinterpret_cast<const char16_t*>(s), n); }

}  // namespace

GUID to_guid(const Guid& g) {
  GUID out;
  out.Data1 = g.data1;
  out.Data2 = g.data2;
  out.Data3 = g.data3;
  std::memcpy(out.Data4, g.data4, 8);
  return out;
}

Guid from_guid(REFGUID g) {
  Guid out{g.Data1, g.Data2, g.Data3, {}};
  std::memcpy(out.data4, g.Data4, 8);
  return out;
}

void lock_module() { InterlockedIncrement(&g_lock_count); }
void unlock_module() { InterlockedDecrement(&g_lock_count); }
LONG module_lock_count() { return g_lock_count; }

std::string arg_text(BSTR s) {
  if (!s) return {};
  return platform::to_narrow(as_u16(s, SysStringLen(s)));
}

VarIn arg_variant(const VARIANT& in) {
  // One level of reference to a variant (how script hosts pass variables) or to a byte
  // array is followed; after that only exactly VT_ARRAY|VT_UI1 is a buffer.
  const VARIANT* v = &in;
  if (V_VT(v) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(v)) v = V_VARIANTREF(v);
  VarIn out;
  SAFEARRAY* sa = nullptr;
  bool is_array = false;
  if (V_VT(v) == (VT_ARRAY | VT_UI1))
    is_array = true, sa = V_ARRAY(v);
  else if (V_VT(v) == (VT_BYREF | VT_ARRAY | VT_UI1) && V_ARRAYREF(v))
    is_array = true, sa = *V_ARRAYREF(v);
  if (is_array && (!sa || sa->cDims == 1)) {
    out.kind = VarIn::Kind::Buffer;
    // The data block from its first byte and the element count; the lower bound is not
    // consulted.
    if (sa && sa->pvData)
      out.bytes = std::span<const uint8_t>(static_cast<const uint8_t*>(sa->pvData), sa->rgsabound[0].cElements);
  } else if (V_VT(v) == VT_BSTR) {
    out.kind = VarIn::Kind::Text;
    out.text = arg_text(V_BSTR(v));
  }
  return out;
}

BSTR make_bstr(const std::string& narrow) {
  std::u16string w = platform::to_wide(narrow);
  return SysAllocString(reinterpret_cast<const OLECHAR*>(w.c_str()));
}

HRESULT make_variant(const VarOut& o, VARIANT* out) {
  VariantInit(out);
  switch (o.type) {
    case VarOut::Type::Null: V_VT(out) = VT_NULL; break;
    case VarOut::Type::I1:
      V_VT(out) = VT_I1;
      V_I1(out) = static_cast<CHAR>(o.i);
      break;
    case VarOut::Type::I2:
      V_VT(out) = VT_I2;
      V_I2(out) = static_cast<SHORT>(o.i);
      break;
    case VarOut::Type::I4:
      V_VT(out) = VT_I4;
      V_I4(out) = static_cast<LONG>(o.i);
      break;
    case VarOut::Type::I8:
      V_VT(out) = VT_I8;
      V_I8(out) = o.i;
      break;
    case VarOut::Type::R4:
      V_VT(out) = VT_R4;
      V_R4(out) = static_cast<float>(o.d);
      break;
    case VarOut::Type::R8:
      V_VT(out) = VT_R8;
      V_R8(out) = o.d;
      break;
    case VarOut::Type::Buffer: {
      SAFEARRAY* sa = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(o.bytes.size()));
      if (!sa) return E_OUTOFMEMORY;
      if (!o.bytes.empty()) std::memcpy(sa->pvData, o.bytes.data(), o.bytes.size());
      V_VT(out) = VT_ARRAY | VT_UI1;
      V_ARRAY(out) = sa;
      break;
    }
  }
  return S_OK;
}

ImageArg::ImageArg(IImage* p) : m_obj(p) {
  if (m_obj) m_obj->AddRef();
}

ImageArg::~ImageArg() {
  if (m_obj) m_obj->Release();
}

bool ImageArg::get_bmp(int32_t& handle) {
  LONG h = 0;
  if (!m_obj || FAILED(m_obj->GetBmp(&h))) return false;
  handle = h;
  return true;
}

HRESULT raise_error(const ClassInfo& cls, const std::string& message) {
  ICreateErrorInfo* create = nullptr;
  if (SUCCEEDED(CreateErrorInfo(&create))) {
    GUID iid = to_guid(kIidIImage);
    create->SetGUID(iid);
    LPOLESTR progid = nullptr;
    GUID clsid = to_guid(cls.clsid);
    if (SUCCEEDED(ProgIDFromCLSID(clsid, &progid))) {
      create->SetSource(progid);
      CoTaskMemFree(progid);
    }
    std::u16string desc = platform::to_wide(message);
    create->SetDescription(const_cast<LPOLESTR>(reinterpret_cast<const OLECHAR*>(desc.c_str())));
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
      SetErrorInfo(0, info);
      info->Release();
    }
    create->Release();
  }
  return DISP_E_EXCEPTION;
}

HRESULT finish_call(const ClassInfo& cls, const Member& m, CallOutcome outcome, const std::string& message) {
  switch (outcome) {
    case CallOutcome::Ok: return S_OK;
    case CallOutcome::NotWired: return E_NOTIMPL;
    case CallOutcome::OutOfMemory: return m.guarded ? raise_error(cls, message) : E_OUTOFMEMORY;
    case CallOutcome::Raised: break;
  }
  return m.guarded ? raise_error(cls, message) : E_FAIL;
}

HRESULT load_type_info(InterfaceId id, LCID lcid, const TypeInfoEntry** out) {
  TypeInfoCache& c = cache();
  size_t k = static_cast<size_t>(id);
  EnterCriticalSection(&c.lock);
  HRESULT hr = S_OK;
  if (!c.entries[k]) {
    ITypeLib* lib = nullptr;
    hr = LoadRegTypeLib(to_guid(kLibId), kLibMajor, kLibMinor, lcid, &lib);
    // The library is registered under its own locale (0x0409). A host that calls with
    // another locale (0 from a console script host, a server's session locale) would
    // otherwise never reach it, so the library's own locale is tried next.
    if (FAILED(hr) && lcid != kLibLocale) hr = LoadRegTypeLib(to_guid(kLibId), kLibMajor, kLibMinor, kLibLocale, &lib);
    if (SUCCEEDED(hr)) {
      ITypeInfo* info = nullptr;
      hr = lib->GetTypeInfoOfGuid(to_guid(interface_iid(id)), &info);
      lib->Release();
      if (SUCCEEDED(hr)) {
        auto* e = new (std::nothrow) TypeInfoEntry;
        if (!e) {
          info->Release();
          hr = E_OUTOFMEMORY;
        } else {
          e->info = info;
          // The name cache: each member function's name and DISPID.
          TYPEATTR* attr = nullptr;
          if (SUCCEEDED(info->GetTypeAttr(&attr))) {
            for (UINT f = 0; f < attr->cFuncs; ++f) {
              FUNCDESC* fd = nullptr;
              if (FAILED(info->GetFuncDesc(f, &fd))) continue;
              BSTR name = nullptr;
              if (SUCCEEDED(info->GetDocumentation(fd->memid, &name, nullptr, nullptr, nullptr)) && name) {
                e->names.emplace_back(std::wstring(name, SysStringLen(name)), fd->memid);
                SysFreeString(name);
              }
              info->ReleaseFuncDesc(fd);
            }
            info->ReleaseTypeAttr(attr);
          }
          c.entries[k] = e;
        }
      }
    }
  }
  *out = c.entries[k];
  LeaveCriticalSection(&c.lock);
  return hr;
}

HRESULT lookup_names(const TypeInfoEntry& e, LPOLESTR* names, UINT count, DISPID* ids) {
  if (count && (!names || !ids)) return E_POINTER;
  for (UINT k = 0; k < count; ++k) {
    const wchar_t* n = names[k] ? names[k] : L"";
    size_t len = wcslen(n);
    bool found = false;
    // Exact spelling first, from the last cache entry to the first; then the type
    // library's own lookup, which ignores case. Each name is a member name.
    for (auto it = e.names.rbegin(); it != e.names.rend(); ++it) {
      if (it->first.size() == len && std::wmemcmp(it->first.data(), n, len) == 0) {
        ids[k] = it->second;
        found = true;
        break;
      }
    }
    if (!found) {
      LPOLESTR one = names[k];
      HRESULT hr = e.info->GetIDsOfNames(&one, 1, &ids[k]);
      if (FAILED(hr)) return hr;
    }
  }
  return S_OK;
}

// Module termination: releases the cached type information.
void release_type_info() {
  TypeInfoCache& c = cache();
  EnterCriticalSection(&c.lock);
  for (auto& e : c.entries) {
    if (e) {
      e->info->Release();
      delete e;
      e = nullptr;
    }
  }
  LeaveCriticalSection(&c.lock);
}

}  // namespace kelv::win32
