// The module: its four exported entry points, the class list with one cached factory
// per class, and registration in the registry.
#include <array>
#include <atomic>
#include <cstring>
#include <string>

#include "binaryrw/binary_rw.h"
#include "image/image.h"
#include "info/info.h"
#include "server/win32/com.h"
// The generated function-table methods of the three classes.
#include "com_classes.inc"

namespace kelv::win32 {

void release_type_info();

namespace {

HMODULE g_module = nullptr;

using CreateFn = HRESULT (*)(const ClassInfo&, IUnknown*, REFIID, void**);

template <template <class> class Object, class Impl, const std::vector<Thunk<Impl>>& (*Slots)()>
HRESULT create_object(const ClassInfo& cls, IUnknown* outer, REFIID iid, void** out) {
  return Object<Impl>::template create<Object<Impl>>(cls, Slots(), outer, iid, out);
}

CreateFn create_fn(InterfaceId id) {
  switch (id) {
    case InterfaceId::Image:  // the Image class serves IImage through IImage2
    case InterfaceId::Image2: return &create_object<ComImage, TImageImpl, &image_slots>;
    case InterfaceId::BinaryRW:  // the BinaryRW class serves IBinaryRW through IBinaryRW2
    case InterfaceId::BinaryRW2: return &create_object<ComBinaryRW, TBinaryRWImpl, &binaryrw_slots>;
    case InterfaceId::Info: return &create_object<ComInfo, TInfoImpl, &info_slots>;
  }
  return nullptr;
}

class Factory final : public IClassFactory {
 public:
  explicit Factory(const ClassInfo& cls) : m_class(cls) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) return E_NOINTERFACE;
    *out = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&m_refs); }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG n = InterlockedDecrement(&m_refs);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    return create_fn(m_class.iface)(m_class, outer, iid, out);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock)
      lock_module();
    else
      unlock_module();
    return S_OK;
  }

 private:
  const ClassInfo& m_class;
  volatile LONG m_refs = 0;
};

// A factory pointer is read outside the lock once set, so it is published with release
// and read with acquire: a thread that sees it also sees the factory it points to.
struct ClassList {
  CRITICAL_SECTION lock;
  std::array<std::atomic<Factory*>, kClassCount> factories{};
};

ClassList& classes() {
  static ClassList c;
  return c;
}

// The module works with paths and registry texts as UTF-8 and hands them to the wide
// calls, so a module in a folder named in any script registers and loads.
std::string narrow_path(const wchar_t* w) { return platform::utf8_from_utf16(reinterpret_cast<const char16_t*>(w)); }

std::wstring wide(const std::string& s) {
  std::u16string w = platform::utf16_from_utf8(s);
  return std::wstring(w.begin(), w.end());
}

// Asks a wide-string service with a buffer that grows until the answer fits.
template <class Call>
std::wstring grown(Call call) {
  std::wstring buf(MAX_PATH, L'\0');
  for (int round = 0; round < 6; ++round) {
    DWORD n = call(buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return {};
    if (n < buf.size()) return buf.substr(0, n);
    buf.assign(buf.size() * 4, L'\0');
  }
  return {};
}

std::string module_file_name() {
  return narrow_path(grown([](wchar_t* b, DWORD n) { return GetModuleFileNameW(g_module, b, n); }).c_str());
}

// The module's full file name; where it holds white space, its short (8.3) form, so that
// the registered path never needs quoting.
std::string registration_path() {
  std::string path = module_file_name();
  if (path.find_first_of(" \t\n\v\f\r") != std::string::npos) {
    std::wstring w = wide(path);
    std::wstring shortened = grown([&](wchar_t* b, DWORD n) { return GetShortPathNameW(w.c_str(), b, n); });
    if (!shortened.empty()) path = narrow_path(shortened.c_str());
  }
  return path;
}

std::string guid_text(REFGUID g) {
  LPOLESTR s = nullptr;
  if (FAILED(StringFromCLSID(g, &s))) return {};
  std::string out = narrow_path(s);
  CoTaskMemFree(s);
  return out;
}

void set_value(const std::string& key, const std::string& name, const std::string& data) {
  HKEY h = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, wide(key).c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &h,
                      nullptr) != ERROR_SUCCESS)
    return;  // a failing write is passed over; the next one is attempted
  std::wstring value = wide(name), text = wide(data);
  RegSetValueExW(h, name.empty() ? nullptr : value.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(h);
}

// Deletes a key depth first: its first subkey again and again, then the key itself.
LONG delete_tree(HKEY parent, const std::wstring& name) {
  HKEY h = nullptr;
  LONG rc = RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ | KEY_WRITE, &h);
  if (rc != ERROR_SUCCESS) return rc;
  for (;;) {
    wchar_t sub[256];
    DWORD len = 256;
    if (RegEnumKeyExW(h, 0, sub, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    if (delete_tree(h, sub) != ERROR_SUCCESS) break;
  }
  RegCloseKey(h);
  return RegDeleteKeyW(parent, name.c_str());
}

struct Loaded {
  ITypeLib* lib = nullptr;
  ITypeInfo* cls = nullptr;
  ~Loaded() {
    if (cls) cls->Release();
    if (lib) lib->Release();
  }
};

HRESULT load_class(const std::string& path, const ClassInfo& c, Loaded& out) {
  HRESULT hr = LoadTypeLib(wide(path).c_str(), &out.lib);
  if (FAILED(hr)) return hr;
  return out.lib->GetTypeInfoOfGuid(to_guid(c.clsid), &out.cls);
}

HRESULT register_class(const ClassInfo& c, const std::string& path) {
  Loaded t;
  HRESULT hr = load_class(path, c, t);
  if (FAILED(hr)) return hr;
  BSTR doc = nullptr;
  t.cls->GetDocumentation(MEMBERID_NIL, nullptr, &doc, nullptr, nullptr);
  std::string description = doc ? narrow_path(doc) : std::string();
  SysFreeString(doc);
  TLIBATTR* attr = nullptr;
  hr = t.lib->GetLibAttr(&attr);
  if (FAILED(hr)) return hr;
  std::string version = std::to_string(attr->wMajorVerNum) + "." + std::to_string(attr->wMinorVerNum);
  std::string libid = guid_text(attr->guid);
  t.lib->ReleaseTLibAttr(attr);

  for (const RegistryValue& v :
       class_registry_values(c, guid_text(to_guid(c.clsid)), description, path, version, libid))
    set_value(v.key, v.name, v.data);
  std::wstring wpath = wide(path);
  return RegisterTypeLib(t.lib, const_cast<LPOLESTR>(wpath.c_str()), nullptr);
}

HRESULT unregister_class(const ClassInfo& c, const std::string& path) {
  Loaded t;
  HRESULT hr = load_class(path, c, t);
  if (FAILED(hr)) return hr;
  delete_tree(HKEY_CLASSES_ROOT, wide("CLSID\\" + guid_text(to_guid(c.clsid))));
  delete_tree(HKEY_CLASSES_ROOT, wide(c.progid));
  return S_OK;
}

// For the test runs: when KELVUTIL_LOCKCHECK names a file, the module writes its lock
// count there as it is unloaded, so a test can see that every object was released.
void report_lock_count() {
  std::wstring path = grown([](wchar_t* b, DWORD n) { return GetEnvironmentVariableW(L"KELVUTIL_LOCKCHECK", b, n); });
  if (path.empty()) return;
  HANDLE f = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  char line[32];
  int len = wsprintfA(line, "locks=%ld\r\n", module_lock_count());
  DWORD put = 0;
  WriteFile(f, line, static_cast<DWORD>(len), &put, nullptr);
  CloseHandle(f);
}

}  // namespace
}  // namespace kelv::win32

using namespace kelv;
using namespace kelv::win32;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    InitializeCriticalSection(&classes().lock);
    DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH) {
    report_lock_count();
  }
  if (reason == DLL_PROCESS_DETACH && !reserved) {
    // Unloaded by FreeLibrary (not process exit): release what the module cached.
    for (auto& f : classes().factories) {
      if (Factory* p = f.exchange(nullptr)) p->Release();
    }
    DeleteCriticalSection(&classes().lock);
    release_type_info();
  }
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  ClassList& list = classes();
  for (size_t k = 0; k < kClasses.size(); ++k) {
    const ClassInfo& c = kClasses[k];
    if (!IsEqualCLSID(clsid, to_guid(c.clsid))) continue;
    Factory* f = list.factories[k].load(std::memory_order_acquire);
    if (!f) {
      EnterCriticalSection(&list.lock);
      f = list.factories[k].load(std::memory_order_relaxed);
      if (!f) {
        f = new (std::nothrow) Factory(c);
        if (f) {
          f->AddRef();  // the module's own reference
          list.factories[k].store(f, std::memory_order_release);
        }
      }
      LeaveCriticalSection(&list.lock);
      if (!f) return E_OUTOFMEMORY;
    }
    return f->QueryInterface(iid, out);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return module_lock_count() == 0 ? S_OK : S_FALSE; }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  std::string path = registration_path();
  for (const ClassInfo& c : kClasses) {
    HRESULT hr = register_class(c, path);
    if (FAILED(hr)) return hr;
  }
  // The library itself, from the module's full name (or a .tlb beside it), with the
  // module's folder as help directory.
  std::string full = module_file_name();
  ITypeLib* lib = nullptr;
  HRESULT hr = LoadTypeLib(wide(full).c_str(), &lib);
  if (FAILED(hr)) {
    size_t dot = full.rfind('.');
    full = (dot == std::string::npos ? full : full.substr(0, dot)) + ".tlb";
    hr = LoadTypeLib(wide(full).c_str(), &lib);
    if (FAILED(hr)) return hr;
  }
  std::string helpdir = full.substr(0, full.find_last_of("\\/:") + 1);
  std::wstring wfull = wide(full), whelp = wide(helpdir);
  hr = RegisterTypeLib(lib, const_cast<LPOLESTR>(wfull.c_str()), const_cast<LPOLESTR>(whelp.c_str()));
  lib->Release();
  return hr;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  std::string path = registration_path();
  for (const ClassInfo& c : kClasses) unregister_class(c, path);
  return S_OK;
}
