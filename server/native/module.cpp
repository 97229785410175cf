#include "server/native/module.h"

#include <dlfcn.h>

#include <array>
#include <climits>
#include <cstdlib>
#include <mutex>

#include "binaryrw/binary_rw.h"
#include "image/image.h"
#include "info/info.h"
#include "server/native/object.h"
#include "server/native/registry.h"

namespace kelv::native {
namespace {

constexpr HResult TYPE_E_REGISTRYACCESS = static_cast<HResult>(0x8002801C);
constexpr const char* kProxyStub = "{00020424-0000-0000-C000-000000000046}";

using CreateFn = HResult (*)(const ClassInfo&, Unknown*, const Guid&, void**);

template <class Impl, const std::vector<Thunk<Impl>>& (*Slots)()>
HResult create_object(const ClassInfo& cls, Unknown* outer, const Guid& iid, void** out) {
  return NativeObject<Impl>::create(cls, Slots(), outer, iid, out);
}

CreateFn create_fn(InterfaceId id) {
  switch (id) {
    case InterfaceId::Info: return &create_object<TInfoImpl, &info_slots>;
    case InterfaceId::Image:  // the Image class serves IImage through IImage2
    case InterfaceId::Image2: return &create_object<TImageImpl, &image_slots>;
    case InterfaceId::BinaryRW:  // the BinaryRW class serves IBinaryRW through IBinaryRW2
    case InterfaceId::BinaryRW2: return &create_object<TBinaryRWImpl, &binaryrw_slots>;
  }
  return nullptr;
}

class Factory final : public ClassFactory {
 public:
  explicit Factory(const ClassInfo& cls) : m_class(cls) {}

  HResult QueryInterface(const Guid& iid, void** out) override {
    if (!out) return hr::E_POINTER;
    *out = nullptr;
    if (!(iid == kIidIUnknown) && !(iid == kIidIClassFactory)) return hr::E_NOINTERFACE;
    *out = static_cast<ClassFactory*>(this);
    AddRef();
    return hr::S_OK;
  }
  uint32_t AddRef() override { return ++m_refs; }
  uint32_t Release() override {
    uint32_t n = --m_refs;
    if (n == 0) delete this;
    return n;
  }
  HResult CreateInstance(Unknown* outer, const Guid& iid, void** out) override {
    if (!out) return hr::E_POINTER;
    return create_fn(m_class.iface)(m_class, outer, iid, out);
  }
  HResult LockServer(bool lock) override {
    if (lock)
      lock_module();
    else
      unlock_module();
    return hr::S_OK;
  }

 private:
  const ClassInfo& m_class;
  std::atomic<uint32_t> m_refs{0};
};

// Module-wide state: the cached factories under the class-list lock, the cached type
// information under the type-information lock.
struct ModuleState {
  std::mutex class_lock;
  std::array<std::atomic<Factory*>, kClasses.size()> factories{};  // by class
  std::mutex typeinfo_lock;
  std::array<std::atomic<TypeInfo*>, kInterfaceCount> typeinfos{};  // by interface
};

ModuleState& state() {
  static ModuleState s;
  return s;
}

size_t index_of(InterfaceId id) { return static_cast<size_t>(id); }

std::string typelib_key() { return "TypeLib\\" + kLibId.text() + "\\1.0"; }

// What registering the type library records: the library under its LIBID and version,
// and each interface with the library it belongs to.
bool register_typelib(Registry& reg, const std::string& path, const std::string& helpdir) {
  std::string key = typelib_key();
  reg.set_value(key, "", kLibHelp);
  reg.set_value(key + "\\409\\win32", "", path);
  reg.set_value(key + "\\FLAGS", "", "0");
  reg.set_value(key + "\\HELPDIR", "", helpdir);
  for (const InterfaceInfo& i : kInterfaces) {
    std::string ik = "Interface\\" + i.iid.text();
    reg.set_value(ik, "", interface_table(i.id).name);
    reg.set_value(ik + "\\ProxyStubClsid32", "", kProxyStub);
    reg.set_value(ik + "\\TypeLib", "", kLibId.text());
    reg.set_value(ik + "\\TypeLib", "Version", "1.0");
  }
  return reg.save();
}

HResult register_class(Registry& reg, const ClassInfo& c, const std::string& path) {
  // The type library is part of the module, so loading it and finding the class cannot
  // fail here; the values are written in the order of the registration steps.
  for (const RegistryValue& v : class_registry_values(c, c.clsid.text(), c.description, path, "1.0", kLibId.text()))
    reg.set_value(v.key, v.name, v.data);
  return register_typelib(reg, path, "") ? hr::S_OK : TYPE_E_REGISTRYACCESS;
}

}  // namespace

HResult load_type_info(InterfaceId id, TypeInfo*& out) {
  ModuleState& s = state();
  size_t k = index_of(id);
  if ((out = s.typeinfos[k].load())) return hr::S_OK;
  std::lock_guard<std::mutex> lock(s.typeinfo_lock);
  if ((out = s.typeinfos[k].load())) return hr::S_OK;
  // Only a registered type library serves dispatch.
  if (!Registry::open().key_exists(typelib_key())) return hr::TYPE_E_LIBNOTREGISTERED;
  auto* ti = new (std::nothrow) TypeInfo(interface_table(id));
  if (!ti) return hr::E_OUTOFMEMORY;
  s.typeinfos[k] = ti;
  out = ti;
  return hr::S_OK;
}

HResult DllGetClassObject(const Guid& clsid, const Guid& iid, void** out) {
  if (!out) return hr::E_POINTER;
  *out = nullptr;
  ModuleState& s = state();
  for (size_t k = 0; k < kClasses.size(); ++k) {
    const ClassInfo& c = kClasses[k];
    if (!(c.clsid == clsid)) continue;
    Factory* f = s.factories[k].load();
    if (!f) {
      std::lock_guard<std::mutex> lock(s.class_lock);
      f = s.factories[k].load();
      if (!f) {
        f = new (std::nothrow) Factory(c);
        if (!f) return hr::E_OUTOFMEMORY;
        f->AddRef();  // the module's own reference
        s.factories[k] = f;
      }
    }
    return f->QueryInterface(iid, out);
  }
  return hr::CLASS_E_CLASSNOTAVAILABLE;
}

HResult DllCanUnloadNow() { return module_lock_count() == 0 ? hr::S_OK : hr::S_FALSE; }

std::string module_path() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&module_path), &info) && info.dli_fname) {
    char buf[PATH_MAX];
    if (realpath(info.dli_fname, buf)) return buf;
    return info.dli_fname;
  }
  return {};
}

HResult DllRegisterServer() {
  Registry reg = Registry::open();
  // Linux has no short file names: the registration path is the full path.
  std::string path = module_path();
  for (const ClassInfo& c : kClasses) {
    HResult h = register_class(reg, c, path);
    if (failed(h)) return h;
  }
  std::string helpdir = path.substr(0, path.find_last_of("\\/:") + 1);
  return register_typelib(reg, path, helpdir) ? hr::S_OK : TYPE_E_REGISTRYACCESS;
}

HResult DllUnregisterServer() {
  Registry reg = Registry::open();
  for (const ClassInfo& c : kClasses) {
    reg.delete_tree("CLSID\\" + c.clsid.text());
    reg.delete_tree(c.progid);
  }
  reg.save();
  return hr::S_OK;
}

bool progid_from_clsid(const Guid& clsid, std::string& out) {
  auto v = Registry::open().value("CLSID\\" + clsid.text() + "\\ProgID");
  if (!v) return false;
  out = *v;
  return true;
}

HResult CreateObject(const std::string& progid, Dispatch** out) {
  if (!out) return hr::E_POINTER;
  *out = nullptr;
  Registry reg = Registry::open();
  auto text = reg.value(progid + "\\CLSID");
  Guid clsid{};
  if (!text || !Guid::parse(*text, clsid)) return hr::CO_E_CLASSSTRING;
  if (!reg.key_exists("CLSID\\" + clsid.text() + "\\InprocServer32")) return hr::REGDB_E_CLASSNOTREG;
  void* f = nullptr;
  HResult h = DllGetClassObject(clsid, kIidIClassFactory, &f);
  if (failed(h)) return h;
  auto* factory = static_cast<ClassFactory*>(f);
  void* obj = nullptr;
  h = factory->CreateInstance(nullptr, kIidIDispatch, &obj);
  factory->Release();
  if (failed(h)) return h;
  *out = static_cast<Dispatch*>(obj);
  return hr::S_OK;
}

void module_terminate() {
  ModuleState& s = state();
  for (auto& f : s.factories)
    if (Factory* p = f.exchange(nullptr)) p->Release();
  std::lock_guard<std::mutex> lock(s.typeinfo_lock);
  for (auto& t : s.typeinfos) delete t.exchange(nullptr);
}

}  // namespace kelv::native
