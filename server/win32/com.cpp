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
  return boundary::text_in(as_u16(s, SysStringLen(s)));
}

std::string arg_name(BSTR s) {
  if (!s) return {};
  return boundary::name_in(as_u16(s, SysStringLen(s)));
}

VarIn arg_variant(const VARIANT& v) { return boundary::var_in<ComBoundary>(v); }

BSTR make_bstr(const std::string& text) {
  std::u16string w = boundary::text_out(text);
  return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(w.data()), static_cast<UINT>(w.size()));
}

HRESULT make_variant(VarOut&& o, VARIANT* out) {
  VariantInit(out);
  return boundary::var_out<ComBoundary>(std::move(o), *out);
}

bool ComBoundary::put(VARIANT& out, Bytes&& b) {
  SAFEARRAY* sa = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(b.size()));
  if (!sa) return false;
  if (!b.empty()) std::memcpy(sa->pvData, b.data(), b.size());
  V_VT(&out) = VT_ARRAY | VT_UI1;
  V_ARRAY(&out) = sa;
  return true;
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

bool ComBoundary::progid_of(const Guid& clsid, std::u16string& out) {
  LPOLESTR progid = nullptr;
  if (FAILED(ProgIDFromCLSID(to_guid(clsid), &progid))) return false;
  out = as_u16(progid, wcslen(progid));
  CoTaskMemFree(progid);
  return true;
}

void ComBoundary::store_error(const boundary::ErrorParts& e) {
  ICreateErrorInfo* create = nullptr;
  if (FAILED(CreateErrorInfo(&create))) return;
  create->SetGUID(to_guid(e.iid));
  if (e.source) create->SetSource(const_cast<LPOLESTR>(reinterpret_cast<const OLECHAR*>(e.source->c_str())));
  create->SetDescription(const_cast<LPOLESTR>(reinterpret_cast<const OLECHAR*>(e.description.c_str())));
  IErrorInfo* info = nullptr;
  if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
    SetErrorInfo(0, info);
    info->Release();
  }
  create->Release();
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
