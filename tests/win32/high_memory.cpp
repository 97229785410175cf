// The 64-bit module with every allocation above 4 GB: the address space below 4 GB is
// reserved and the heaps are filled there before the module is loaded, so a pointer that
// is cut to 32 bits anywhere (a bitmap handle, a buffer, a canvas) points at nothing and
// fails here. Objects are reached as a script host reaches them, through IDispatch.
//
//   high_memory PATH_TO_DLL
#include <oaidl.h>
#include <ole2.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "server/classes.h"
#include "tests/win32/checks.h"

namespace {

using namespace kelv;

constexpr uint64_t kFourGiB = uint64_t{1} << 32;
using wintest::check;
using wintest::guid;

bool high(const void* p) { return reinterpret_cast<uintptr_t>(p) >= kFourGiB; }

// Reserves every free range below 4 GB, so that no later allocation can land there.
void reserve_low_address_space() {
  uintptr_t at = 0x10000;
  while (at < kFourGiB) {
    MEMORY_BASIC_INFORMATION mbi{};
    if (!VirtualQuery(reinterpret_cast<void*>(at), &mbi, sizeof mbi)) break;
    uintptr_t end = reinterpret_cast<uintptr_t>(mbi.BaseAddress) + mbi.RegionSize;
    if (mbi.State == MEM_FREE) {
      uintptr_t base = (at + 0xFFFF) & ~uintptr_t{0xFFFF};  // reservations are 64 KB aligned
      if (base < end) VirtualAlloc(reinterpret_cast<void*>(base), end - base, MEM_RESERVE, PAGE_NOACCESS);
    }
    at = end;
  }
}

// Takes what the heaps already hold below 4 GB (a heap grows within the range it reserved
// when it was made) until each hands out blocks above it. The blocks stay taken for the
// whole run.
std::vector<void*> fill_low_heaps() {
  std::vector<void*> taken;
  auto take = [&](auto allocate, size_t size) {
    size_t before = taken.size();
    for (int i = 0; i < 4000000; ++i) {
      void* p = allocate(size);
      if (!p || high(p)) break;
      taken.push_back(p);
    }
    return taken.size() - before;
  };
  // Small blocks come from size classes of their own: every class is emptied, and the
  // passes repeat until one takes nothing more.
  for (size_t got = 1; got > 0;) {
    got = 0;
    for (size_t size = 8192; size >= 8; size = size * 7 / 8) {
      got += take([](size_t n) { return std::malloc(n); }, size);
      got += take([](size_t n) { return HeapAlloc(GetProcessHeap(), 0, n); }, size);
    }
  }
  return taken;
}

struct Object {
  IDispatch* d = nullptr;
  ~Object() {
    if (d) d->Release();
  }
};

bool create(HMODULE dll, const Guid& clsid, Object& out) {
  using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  auto get = reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
  IClassFactory* f = nullptr;
  if (!get || FAILED(get(guid(clsid), IID_IClassFactory, reinterpret_cast<void**>(&f)))) return false;
  HRESULT hr = f->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&out.d));
  f->Release();
  return SUCCEEDED(hr);
}

VARIANT i4(LONG v) {
  VARIANT x;
  VariantInit(&x);
  V_VT(&x) = VT_I4;
  V_I4(&x) = v;
  return x;
}

VARIANT object(IDispatch* d) {
  VARIANT x;
  VariantInit(&x);
  V_VT(&x) = VT_DISPATCH;
  V_DISPATCH(&x) = d;
  return x;
}

// Calls a member by name with the arguments in order; the result in `out` (cleared by the
// caller). False when the name is unknown or the call fails.
bool invoke(IDispatch* d, const wchar_t* name, std::vector<VARIANT> args, VARIANT& out) {
  DISPID id = 0;
  LPOLESTR n = const_cast<LPOLESTR>(name);
  if (FAILED(d->GetIDsOfNames(IID_NULL, &n, 1, 0, &id))) return false;
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());  // DISPPARAMS runs last to first
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  VariantInit(&out);
  return SUCCEEDED(d->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, &out, nullptr, nullptr));
}

LONG call_long(IDispatch* d, const wchar_t* name, std::vector<VARIANT> args) {
  VARIANT r;
  if (!invoke(d, name, std::move(args), r) || FAILED(VariantChangeType(&r, &r, 0, VT_I4))) return -12345;
  return V_I4(&r);
}

void probe_images(HMODULE dll) {
  Object a, b;
  check(create(dll, kClsidImage, a) && create(dll, kClsidImage, b), "two Image objects");
  if (!a.d || !b.d) return;
  check(high(a.d) && high(b.d), "the objects themselves live above 4 GB");
  const LONG red = 0x0000FF, blue = 0xFF0000;
  check(call_long(a.d, L"CreateFromSize", {i4(64), i4(48), i4(red)}) == 1, "a 64 x 48 red picture");
  check(call_long(b.d, L"CreateFromSize", {i4(200), i4(100), i4(blue)}) == 1, "a 200 x 100 blue picture");
  LONG ha = call_long(a.d, L"GetBmp", {}), hb = call_long(b.d, L"GetBmp", {});
  check(ha != 0 && hb != 0 && ha != hb && ha != -12345, "each picture has a handle of its own");
  check(call_long(b.d, L"Draw", {i4(10), i4(20), object(a.d)}) == 1, "one picture drawn onto the other");
  check(call_long(b.d, L"GetColor", {i4(10), i4(20)}) == red && call_long(b.d, L"GetColor", {i4(73), i4(67)}) == red &&
            call_long(b.d, L"GetColor", {i4(74), i4(68)}) == blue,
        "the drawn picture landed where it was put");
  check(call_long(b.d, L"StretchDraw", {i4(100), i4(0), i4(49), i4(49), object(a.d)}) == 1 &&
            call_long(b.d, L"GetColor", {i4(149), i4(49)}) == red,
        "a stretched drawing");
  check(call_long(a.d, L"MakeThumb", {i4(32), i4(24)}) == 1 && call_long(a.d, L"GetColor", {i4(16), i4(12)}) == red,
        "a thumbnail");
  check(call_long(b.d, L"AssignPicture", {object(a.d)}) == 1, "a picture assigned from another object");

  VARIANT buffer;
  bool saved = invoke(b.d, L"SaveToBufferJpg", {i4(90), i4(-1), i4(-1)}, buffer);
  bool is_bytes = saved && V_VT(&buffer) == (VT_ARRAY | VT_UI1) && V_ARRAY(&buffer);
  check(is_bytes, "a JPEG saved to a byte buffer");
  if (is_bytes) {
    const unsigned char* bytes = static_cast<const unsigned char*>(V_ARRAY(&buffer)->pvData);
    check(high(bytes), "the buffer's bytes lie above 4 GB");
    check(V_ARRAY(&buffer)->rgsabound[0].cElements > 100 && bytes[0] == 0xFF && bytes[1] == 0xD8,
          "the buffer holds a JPEG");
  }
  VariantClear(&buffer);
  bool bmp = invoke(a.d, L"SaveToBufferBmp", {}, buffer) && V_VT(&buffer) == (VT_ARRAY | VT_UI1) &&
             V_ARRAY(&buffer)->rgsabound[0].cElements == 54 + 32 * 24 * 3;
  check(bmp, "a BMP saved to a byte buffer, every byte there");
  VariantClear(&buffer);
}

void probe_buffers(HMODULE dll) {
  Object bin;
  check(create(dll, kClsidBinaryRW, bin), "a BinaryRW object");
  if (!bin.d) return;
  BSTR text = SysAllocString(L"above four gigabytes");
  check(high(text), "script text lies above 4 GB");
  VARIANT s;
  VariantInit(&s);
  V_VT(&s) = VT_BSTR;
  V_BSTR(&s) = text;
  VARIANT one, two, joined, back;
  bool made = invoke(bin.d, L"StrToBuffer", {s, i4(0)}, one) && invoke(bin.d, L"StrToBuffer", {s, i4(1)}, two);
  check(made && V_VT(&one) == (VT_ARRAY | VT_UI1) && V_VT(&two) == (VT_ARRAY | VT_UI1), "text to byte buffers");
  bool join = made && invoke(bin.d, L"JoinBuffer", {one, two}, joined) && V_VT(&joined) == (VT_ARRAY | VT_UI1);
  check(join && V_ARRAY(&joined)->rgsabound[0].cElements == 20 + 21, "two buffers joined");
  check(join && call_long(bin.d, L"IsBuffer", {joined}) == 1, "the joined buffer is a buffer");
  bool round = made && invoke(bin.d, L"BufferToStr", {one}, back) && V_VT(&back) == VT_BSTR;
  check(round && std::wstring(V_BSTR(&back)) == L"above four gigabytes", "a buffer back to text");
  for (VARIANT* v : {&one, &two, &joined, &back}) VariantClear(v);
  VariantClear(&s);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::printf("usage: high_memory PATH_TO_DLL\n");
    return 2;
  }
  CoInitialize(nullptr);
  reserve_low_address_space();
  std::vector<void*> taken = fill_low_heaps();
  void* from_malloc = std::malloc(1000);
  void* from_heap = HeapAlloc(GetProcessHeap(), 0, 1000);
  check(high(from_malloc), "new allocations land above 4 GB (malloc)");
  check(high(from_heap), "new allocations land above 4 GB (the process heap)");
  HMODULE dll = LoadLibraryW(argv[1]);
  check(dll != nullptr, "the module loads");
  if (dll) {
    probe_images(dll);
    probe_buffers(dll);
  }
  CoUninitialize();
  std::printf("%zu blocks below 4 GB taken before the module loaded\n", taken.size());
  return wintest::report();
}
