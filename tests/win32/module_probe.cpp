// Drives the built module the way the component runtime does, under Wine: loads it by
// path, checks its entry points, factories, unload answers and aggregation, and reads
// its embedded type library back to compare every member with the member tables.
//
//   module_probe PATH_TO_KELVUTIL_DLL
#include <oaidl.h>
#include <ole2.h>
#include <windows.h>

#include <cfloat>
#include <cstdio>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

#include "common/version.h"
#include "server/classes.h"
#include "tests/win32/checks.h"
#include "server/members.h"

using namespace kelv;

namespace {

using wintest::check;
using wintest::guid;

std::string narrow(const wchar_t* w) {
  std::string s;
  for (; w && *w; ++w) s.push_back(static_cast<char>(*w));
  return s;
}

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadFn = HRESULT(STDAPICALLTYPE*)();

// An outer object for aggregation that only counts and forwards.
class Outer final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown)) {
      *out = this;
      return S_OK;
    }
    return inner ? inner->QueryInterface(iid, out) : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  IUnknown* inner = nullptr;
  ULONG refs = 1;
};

// The first requests for a class's factory arriving on many threads at once, as pages
// on a server's worker threads make them: every thread gets the one cached factory.
struct FactoryRace {
  GetClassObjectFn get;
  HANDLE go;
  IClassFactory* got[2];
};

DWORD WINAPI request_factories(LPVOID p) {
  auto* r = static_cast<FactoryRace*>(p);
  WaitForSingleObject(r->go, INFINITE);
  r->get(guid(kClsidImage), IID_IClassFactory, reinterpret_cast<void**>(&r->got[0]));
  r->get(guid(kClsidBinaryRW), IID_IClassFactory, reinterpret_cast<void**>(&r->got[1]));
  return 0;
}

// The emulated 32-bit Wine cannot run a second thread of a program (its connection to the
// Wine server breaks), so the race is left to the hosts that can; the run says so.
bool host_runs_one_thread_only() {
  wchar_t value[8] = {};
  return GetEnvironmentVariableW(L"KELV_WINE_ONE_THREAD", value, 8) > 0 && value[0] == L'1';
}

void probe_factories_from_threads(HMODULE dll) {
  if (host_runs_one_thread_only()) {
    std::printf("skipped: factory requests from 8 threads (this host runs one thread per program)\n");
    return;
  }
  auto get = reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
  if (!get) return;
  constexpr int kThreads = 8;
  HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  FactoryRace races[kThreads];
  HANDLE threads[kThreads];
  for (int t = 0; t < kThreads; ++t) {
    races[t] = FactoryRace{get, go, {nullptr, nullptr}};
    threads[t] = CreateThread(nullptr, 0, request_factories, &races[t], 0, nullptr);
  }
  SetEvent(go);
  WaitForMultipleObjects(kThreads, threads, TRUE, INFINITE);
  bool same = true;
  for (int t = 0; t < kThreads; ++t) {
    CloseHandle(threads[t]);
    for (int k = 0; k < 2; ++k) {
      same = same && races[t].got[k] && races[t].got[k] == races[0].got[k];
      if (races[t].got[k]) races[t].got[k]->Release();
    }
  }
  CloseHandle(go);
  check(same, "first factory requests on 8 threads at once all get the one cached factory");
}

// The file's version record, Info's version members and the release package names all
// come from the one version number.
void probe_version_resource(const wchar_t* path) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  std::vector<unsigned char> block(size);
  bool read = size > 0 && GetFileVersionInfoW(path, 0, size, block.data());
  check(read, "the module carries a version record");
  if (!read) return;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT len = 0;
  bool has_fixed = VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &len) && fixed;
  check(has_fixed && fixed->dwFileVersionMS == MAKELONG(KELV_VERSION_MINOR, KELV_VERSION_MAJOR) &&
            fixed->dwFileVersionLS == MAKELONG(KELV_VERSION_BUILD, KELV_VERSION_PATCH),
        "the version record's numbers are the build's version");
  wchar_t* text = nullptr;
  bool has_text =
      VerQueryValueW(block.data(), L"\\StringFileInfo\\040904E4\\FileVersion", reinterpret_cast<void**>(&text), &len) &&
      text;
  check(has_text && narrow(text) == KELV_VERSION_TEXT, "FileVersion text");
  has_text = VerQueryValueW(block.data(), L"\\StringFileInfo\\040904E4\\ProductVersion",
                            reinterpret_cast<void**>(&text), &len) &&
             text;
  check(has_text && narrow(text) == KELV_VERSION_SHORT_TEXT, "ProductVersion text");
}

void probe_entry_points(HMODULE dll) {
  auto get = reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
  auto can_unload = reinterpret_cast<CanUnloadFn>(reinterpret_cast<void*>(GetProcAddress(dll, "DllCanUnloadNow")));
  check(get && can_unload, "the entry points are exported by their plain names");
  check(GetProcAddress(dll, "DllRegisterServer") && GetProcAddress(dll, "DllUnregisterServer"),
        "registration entry points exported");
  if (!get || !can_unload) return;

  IClassFactory* f1 = nullptr;
  IClassFactory* f2 = nullptr;
  check(get(guid(kClsidInfo), IID_IClassFactory, reinterpret_cast<void**>(&f1)) == S_OK, "factory for Info");
  check(get(guid(kClsidInfo), IID_IClassFactory, reinterpret_cast<void**>(&f2)) == S_OK, "factory again");
  check(f1 && f1 == f2, "the same factory twice");
  void* none = reinterpret_cast<void*>(1);
  check(get(guid(kIidIImage), IID_IClassFactory, &none) == CLASS_E_CLASSNOTAVAILABLE, "unknown CLSID refused");
  check(none == nullptr, "unknown CLSID leaves the output empty");
  check(get(guid(kClsidInfo), IID_IClassFactory, nullptr) == E_POINTER, "null output pointer");
  check(can_unload() == S_OK, "unloadable with no object and no lock");
  if (!f1) return;

  IDispatch* obj = nullptr;
  check(f1->CreateInstance(nullptr, guid(kIidIInfo), reinterpret_cast<void**>(&obj)) == S_OK, "create Info");
  check(f1->CreateInstance(nullptr, guid(kIidIInfo), nullptr) == E_POINTER, "create with null output");
  check(can_unload() == S_FALSE, "not unloadable while an object lives");
  if (obj) {
    IDispatch* disp = nullptr;
    IUnknown* other = reinterpret_cast<IUnknown*>(1);
    check(obj->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&disp)) == S_OK && disp == obj,
          "IDispatch is the interface itself");
    check(obj->QueryInterface(IID_IPersist, reinterpret_cast<void**>(&other)) == E_NOINTERFACE && !other,
          "no other interface");
    check(obj->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&other)) == E_NOINTERFACE,
          "no error-information support");
    if (disp) disp->Release();
    UINT n = 0;
    check(obj->GetTypeInfoCount(&n) == S_OK && n == 1, "GetTypeInfoCount writes 1");
    ITypeInfo* t0 = nullptr;
    ITypeInfo* t5 = nullptr;
    check(obj->GetTypeInfo(0, 0, &t0) == S_OK && obj->GetTypeInfo(5, 0, &t5) == S_OK && t0 == t5,
          "GetTypeInfo ignores the index");
    if (t0) t0->Release();
    if (t5) t5->Release();
    check(obj->Release() == 0, "the last release destroys the object");
  }
  check(can_unload() == S_OK, "unloadable after the last release");
  f1->LockServer(TRUE);
  check(can_unload() == S_FALSE, "not unloadable while locked");
  f1->LockServer(FALSE);
  check(can_unload() == S_OK, "unloadable after the lock is undone");

  Outer outer;
  void* p = reinterpret_cast<void*>(1);
  check(f1->CreateInstance(&outer, guid(kIidIInfo), &p) == CLASS_E_NOAGGREGATION && !p,
        "aggregation refuses anything but IUnknown");
  check(f1->CreateInstance(&outer, IID_IUnknown, &p) == S_OK && p, "aggregation with IUnknown");
  if (p) {
    outer.inner = static_cast<IUnknown*>(p);
    IDispatch* face = nullptr;
    outer.inner->QueryInterface(guid(kIidIInfo), reinterpret_cast<void**>(&face));
    check(face && outer.refs == 2, "an aggregated interface counts on the outer object");
    if (face) face->Release();
    check(outer.inner->Release() == 0, "the inner unknown keeps its own count");
  }
  check(can_unload() == S_OK, "unloadable after aggregation");
  f1->Release();
  f2->Release();
}

// Calls a member by name with 32-bit arguments, as a late-binding host does; the result
// converted to a 32-bit integer.
bool call(IDispatch* d, const wchar_t* name, std::initializer_list<LONG> args, LONG& out) {
  DISPID id = 0;
  LPOLESTR n = const_cast<LPOLESTR>(name);
  if (FAILED(d->GetIDsOfNames(IID_NULL, &n, 1, 0, &id))) return false;
  std::vector<VARIANT> argv(args.size());
  size_t k = args.size();
  for (LONG a : args) {  // DISPPARAMS holds the arguments last to first
    VariantInit(&argv[--k]);
    V_VT(&argv[k]) = VT_I4;
    V_I4(&argv[k]) = a;
  }
  DISPPARAMS params{argv.data(), nullptr, static_cast<UINT>(argv.size()), 0};
  VARIANT result;
  VariantInit(&result);
  bool ok = SUCCEEDED(d->Invoke(id, IID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params, &result, nullptr,
                                nullptr)) &&
            SUCCEEDED(VariantChangeType(&result, &result, 0, VT_I4));
  out = ok ? V_I4(&result) : 0;
  VariantClear(&result);
  return ok;
}

// A host that runs the x87 unit at its full 64-bit precision (the default of some
// compilers' runtimes) gets the same thumbnail as any other: the fit is computed in
// double precision, where 7 x 14 into 123 x 61 is 30 pixels wide (61 / 14 rounds down),
// not the 31 that 80-bit intermediates give.
void probe_extended_precision_host(HMODULE dll) {
  auto get = reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
  IClassFactory* f = nullptr;
  IDispatch* img = nullptr;
  if (!get || FAILED(get(guid(kClsidImage), IID_IClassFactory, reinterpret_cast<void**>(&f))) ||
      FAILED(f->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&img)))) {
    check(false, "an Image for the precision check");
    if (f) f->Release();
    return;
  }
#if defined(__i386__)
  unsigned int saved = 0;
  _controlfp_s(&saved, 0, 0);
  _controlfp_s(nullptr, _PC_64, _MCW_PC);
#endif
  LONG r = 0, left = 0, right = 0, past = 0;
  check(call(img, L"CreateFromSize", {7, 14, 255}, r) && r == 1 && call(img, L"MakeThumb", {123, 61}, r) && r == 1,
        "a thumbnail under full x87 precision");
  bool read = call(img, L"GetColor", {46, 30}, left) && call(img, L"GetColor", {75, 30}, right) &&
              call(img, L"GetColor", {76, 30}, past);
  check(read && left == 255 && right == 255 && past == 0, "its picture spans columns 46 to 75 (colours " +
                                                              std::to_string(left) + ", " + std::to_string(right) +
                                                              ", " + std::to_string(past) + " at columns 46, 75, 76)");
#if defined(__i386__)
  _controlfp_s(nullptr, saved, _MCW_PC);
#endif
  img->Release();
  f->Release();
}

// An object answers for both of its interfaces with one pointer, its dispatch resolves
// the names of both, and the type information it hands out (the name script hosts report)
// is its first interface's.
struct DerivedCase {
  const Guid& clsid;
  const Guid& derived;
  const Guid& base;
  const char* what;
};

void probe_derived_interfaces(HMODULE dll, const DerivedCase& k) {
  auto get = reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
  IClassFactory* f = nullptr;
  IDispatch* obj = nullptr;
  std::string what = k.what;
  if (!get || FAILED(get(guid(k.clsid), IID_IClassFactory, reinterpret_cast<void**>(&f))) ||
      FAILED(f->CreateInstance(nullptr, guid(k.derived), reinterpret_cast<void**>(&obj)))) {
    check(false, what + " asked for its derived interface");
    if (f) f->Release();
    return;
  }
  IDispatch* first = nullptr;
  IDispatch* disp = nullptr;
  check(obj->QueryInterface(guid(k.base), reinterpret_cast<void**>(&first)) == S_OK && first == obj,
        what + ": QueryInterface for the base interface gives the same interface");
  check(obj->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&disp)) == S_OK && disp == obj,
        what + ": IDispatch is the derived interface");
  ITypeInfo* ti = nullptr;
  TYPEATTR* a = nullptr;
  check(SUCCEEDED(obj->GetTypeInfo(0, 0, &ti)) && SUCCEEDED(ti->GetTypeAttr(&a)) && IsEqualGUID(a->guid, guid(k.base)),
        what + ": the type information handed out is the base interface's");
  if (a) ti->ReleaseTypeAttr(a);
  if (ti) ti->Release();
  if (first) {
    LONG r = 0, w = 0, c = 0;
    // Names of both interfaces through the pointer asked for the base one.
    if (&k.clsid == &kClsidImage) {
      check(call(first, L"CreateFromSize", {3, 2, 255}, r) && r == 1, "an IImage member by name");
      check(call(first, L"FlipHorizontal", {}, r) && r == 1, "an IImage2 member by name");
      check(call(first, L"ResizeImg", {6, 4}, r) && r == 1 && call(first, L"Width", {}, w) && w == 6,
            "IImage members after IImage2 ones");
      check(call(first, L"GetColor", {5, 3}, c) && c == 255, "the picture kept its colour");
    } else {
      check(call(first, L"CodePage", {}, r) && r == 0, "an IBinaryRW2 member by name");
      check(call(first, L"FD_GetFilesCount", {}, c) && c == 0, "an IBinaryRW member by name");
    }
    first->Release();
  }
  if (disp) disp->Release();
  check(obj->Release() == 0, what + " is released");
  f->Release();
}

VARTYPE vt_of(ValueType t) {
  switch (t) {
    case ValueType::Text:
    case ValueType::Name: return VT_BSTR;
    case ValueType::I4: return VT_I4;
    case ValueType::UI1: return VT_UI1;
    case ValueType::I8: return VT_I8;
    case ValueType::R8: return VT_R8;
    case ValueType::Variant: return VT_VARIANT;
    case ValueType::ImageRef: return VT_PTR;
    case ValueType::None: break;
  }
  return VT_EMPTY;
}

INVOKEKIND invkind_of(MemberKind k) {
  switch (k) {
    case MemberKind::Get: return INVOKE_PROPERTYGET;
    case MemberKind::Put: return INVOKE_PROPERTYPUT;
    case MemberKind::Method: break;
  }
  return INVOKE_FUNC;
}

// The GUID of the interface a type description refers to through its implemented type k
// (-1: the function-table half of a dual interface).
bool referred_guid(ITypeInfo* t, int k, GUID& out) {
  HREFTYPE ref = 0;
  ITypeInfo* other = nullptr;
  if (FAILED(t->GetRefTypeOfImplType(k, &ref)) || FAILED(t->GetRefTypeInfo(ref, &other))) return false;
  TYPEATTR* a = nullptr;
  bool ok = SUCCEEDED(other->GetTypeAttr(&a));
  if (ok) {
    out = a->guid;
    other->ReleaseTypeAttr(a);
  }
  other->Release();
  return ok;
}

void compare_interface(ITypeLib* lib, const InterfaceInfo& info) {
  const InterfaceTable& table = interface_table(info.id);
  std::string iname = table.name;
  ITypeInfo* disp = nullptr;
  if (FAILED(lib->GetTypeInfoOfGuid(guid(info.iid), &disp))) {
    check(false, iname + " is in the type library");
    return;
  }
  BSTR doc = nullptr;
  disp->GetDocumentation(MEMBERID_NIL, nullptr, &doc, nullptr, nullptr);
  check(narrow(doc) == table.doc, iname + " doc string");
  SysFreeString(doc);
  TYPEATTR* da = nullptr;
  disp->GetTypeAttr(&da);
  check(da && da->typekind == TKIND_DISPATCH && (da->wTypeFlags & TYPEFLAG_FDUAL) &&
            (da->wTypeFlags & TYPEFLAG_FDISPATCHABLE),
        iname + " is a dual dispatch interface");
  if (da) disp->ReleaseTypeAttr(da);

  // The function-table half of the dual interface: members in slot order.
  HREFTYPE ref = 0;
  ITypeInfo* vt = nullptr;
  if (FAILED(disp->GetRefTypeOfImplType(-1, &ref)) || FAILED(disp->GetRefTypeInfo(ref, &vt))) {
    check(false, iname + " has its function-table interface");
    disp->Release();
    return;
  }
  // A derived interface's function table holds its own members after its base's, which
  // it reaches as its one implemented type.
  const std::span<const Member> own = table.own();
  GUID base{};
  check(
      referred_guid(vt, 0, base) && IsEqualGUID(base, table.base ? guid(interface_iid(table.base->id)) : IID_IDispatch),
      iname + " derives from " + (table.base ? table.base->name : std::string("IDispatch")));
  TYPEATTR* attr = nullptr;
  vt->GetTypeAttr(&attr);
  check(attr && attr->cFuncs == own.size(), iname + " member count");
  check(attr && attr->typekind == TKIND_INTERFACE && (attr->wTypeFlags & TYPEFLAG_FOLEAUTOMATION) &&
            (attr->wTypeFlags & TYPEFLAG_FDUAL),
        iname + " function table is automation-compatible");
  UINT count = attr ? attr->cFuncs : 0;
  if (attr) vt->ReleaseTypeAttr(attr);
  for (UINT i = 0; i < count && i < own.size(); ++i) {
    const Member& m = own[i];
    std::string where = iname + "." + m.name + " (" + std::string(to_string(m.kind)) + ")";
    FUNCDESC* fd = nullptr;
    if (FAILED(vt->GetFuncDesc(i, &fd))) {
      check(false, where + " has a function description");
      continue;
    }
    check(fd->memid == m.dispid, where + " DISPID");
    check(fd->oVft == static_cast<SHORT>(m.slot * sizeof(void*)), where + " slot");
    check(fd->invkind == invkind_of(m.kind), where + " kind");
    BSTR names[16] = {};
    UINT got = 0;
    vt->GetNames(fd->memid == m.dispid ? fd->memid : m.dispid, names, 16, &got);
    if (m.kind == MemberKind::Method || got > 0) check(got > 0 && narrow(names[0]) == m.name, where + " name");
    // Object browsers and editors show the member's help string; both halves carry it.
    for (ITypeInfo* half : {vt, disp}) {
      BSTR help = nullptr;
      half->GetDocumentation(m.dispid, nullptr, &help, nullptr, nullptr);
      check(narrow(help) == member_summary(info.id, m), where + (half == vt ? "" : " (dispatch)") + " help string");
      SysFreeString(help);
    }
    size_t with_retval = m.params.size() + (m.result != ValueType::None ? 1 : 0);
    check(static_cast<size_t>(fd->cParams) == with_retval, where + " parameter count");
    for (size_t k = 0; k < m.params.size() && k < static_cast<size_t>(fd->cParams); ++k) {
      const Param& p = m.params[k];
      const ELEMDESC& e = fd->lprgelemdescParam[k];
      std::string pw = where + " parameter " + std::to_string(k);
      check(e.tdesc.vt == vt_of(p.type), pw + " type");
      if (p.type == ValueType::ImageRef && e.tdesc.vt == VT_PTR)
        check(e.tdesc.lptdesc && e.tdesc.lptdesc->vt == VT_USERDEFINED, pw + " is an interface pointer");
      bool in = e.paramdesc.wParamFlags & PARAMFLAG_FIN;
      bool opt = e.paramdesc.wParamFlags & PARAMFLAG_FOPT;
      bool has_default = e.paramdesc.wParamFlags & PARAMFLAG_FHASDEFAULT;
      check(in, pw + " is in");
      check(opt == p.optional && has_default == p.optional, pw + " optional with default");
      if (p.optional && has_default && e.paramdesc.pparamdescex) {
        const VARIANT& d = e.paramdesc.pparamdescex->varDefaultValue;
        if (p.type == ValueType::Text || p.type == ValueType::Name) {
          check(V_VT(&d) == VT_BSTR && narrow(V_BSTR(&d)) == p.default_text, pw + " default text");
        } else {
          VARIANT conv;
          VariantInit(&conv);
          bool ok =
              SUCCEEDED(VariantChangeType(&conv, const_cast<VARIANT*>(&d), 0, VT_I8)) && V_I8(&conv) == p.default_int;
          check(ok, pw + " default value");
        }
      }
      if (!p.name.empty()) check(k + 1 < got && narrow(names[k + 1]) == p.name, pw + " name " + p.name);
    }
    if (m.result != ValueType::None && fd->cParams > 0) {
      const ELEMDESC& r = fd->lprgelemdescParam[fd->cParams - 1];
      check((r.paramdesc.wParamFlags & PARAMFLAG_FRETVAL) && (r.paramdesc.wParamFlags & PARAMFLAG_FOUT),
            where + " result is out and retval");
      check(r.tdesc.vt == VT_PTR && r.tdesc.lptdesc && r.tdesc.lptdesc->vt == vt_of(m.result), where + " result type");
    }
    check(fd->elemdescFunc.tdesc.vt == VT_HRESULT, where + " returns a status");
    for (UINT k = 0; k < got; ++k) SysFreeString(names[k]);
    vt->ReleaseFuncDesc(fd);
  }
  vt->Release();
  disp->Release();
}

void probe_type_library(const wchar_t* path) {
  ITypeLib* lib = nullptr;
  if (FAILED(LoadTypeLib(path, &lib))) {
    check(false, "the module carries its type library");
    return;
  }
  TLIBATTR* la = nullptr;
  lib->GetLibAttr(&la);
  check(la && IsEqualGUID(la->guid, guid(kLibId)), "LIBID");
  check(la && la->wMajorVerNum == 1 && la->wMinorVerNum == 0, "library version 1.0");
  check(la && la->lcid == 0x0409, "library locale 0x0409");
  if (la) lib->ReleaseTLibAttr(la);
  BSTR name = nullptr, help = nullptr;
  lib->GetDocumentation(-1, &name, &help, nullptr, nullptr);
  check(narrow(name) == kLibName, "library name Kelvarin");
  check(narrow(help) == kLibHelp, "library help string");
  SysFreeString(name);
  SysFreeString(help);
  for (const ClassInfo& c : kClasses) {
    ITypeInfo* co = nullptr;
    check(SUCCEEDED(lib->GetTypeInfoOfGuid(guid(c.clsid), &co)), std::string(c.name) + " coclass");
    if (!co) continue;
    BSTR cname = nullptr, doc = nullptr;
    co->GetDocumentation(MEMBERID_NIL, &cname, &doc, nullptr, nullptr);
    check(narrow(cname) == c.name, std::string(c.name) + " coclass name");
    check(narrow(doc) == c.description, std::string(c.name) + " class doc string");
    SysFreeString(cname);
    SysFreeString(doc);
    // The default interface is the class's own; the interfaces it derives from are
    // listed after it.
    GUID first{};
    INT flags = 0;
    check(referred_guid(co, 0, first) && IsEqualGUID(first, guid(c.iid)) &&
              SUCCEEDED(co->GetImplTypeFlags(0, &flags)) && (flags & IMPLTYPEFLAG_FDEFAULT),
          std::string(c.name) + " default interface " + interface_table(c.iface).name);
    co->Release();
  }
  for (const InterfaceInfo& i : kInterfaces) compare_interface(lib, i);
  check(lib->GetTypeInfoCount() == kInterfaces.size() + kClasses.size(), "four interfaces and three classes");
  lib->Release();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::printf("usage: module_probe PATH_TO_DLL\n");
    return 2;
  }
  CoInitialize(nullptr);
  HMODULE dll = LoadLibraryW(argv[1]);
  check(dll != nullptr, "the module loads");
  if (dll) probe_factories_from_threads(dll);
  if (dll) probe_entry_points(dll);
  if (dll) probe_extended_precision_host(dll);
  if (dll) {
    probe_derived_interfaces(dll, {kClsidImage, kIidIImage2, kIidIImage, "an Image"});
    probe_derived_interfaces(dll, {kClsidBinaryRW, kIidIBinaryRW2, kIidIBinaryRW, "a BinaryRW"});
  }
  probe_type_library(argv[1]);
  probe_version_resource(argv[1]);
  if (dll) FreeLibrary(dll);
  CoUninitialize();
  return wintest::report();
}
