#include "server/native/client.h"

#include <algorithm>

#include "platform/platform.h"
#include "server/native/module.h"

namespace kelv::native {

Object& Object::operator=(Object&& o) noexcept {
  if (this != &o) {
    if (m_disp) m_disp->Release();
    m_disp = o.m_disp;
    o.m_disp = nullptr;
  }
  return *this;
}

Object::~Object() {
  if (m_disp) m_disp->Release();
}

Object Object::create(const std::string& progid) {
  Dispatch* d = nullptr;
  HResult h = CreateObject(progid, &d);
  Object o(d);
  o.m_status = h;
  return o;
}

Variant Object::invoke(const std::string& name, uint16_t flags, std::vector<Variant> args, bool put) {
  m_excep = ExcepInfo{};
  m_arg_err = 0;
  if (!m_disp) {
    m_status = hr::E_POINTER;
    return {};
  }
  std::u16string wname = platform::to_wide(name);
  const char16_t* names[] = {wname.c_str()};
  int32_t dispid = DISPID_UNKNOWN;
  m_status = m_disp->GetIDsOfNames(kIidNull, names, 1, 0x0409, &dispid);
  if (failed(m_status)) return {};
  std::reverse(args.begin(), args.end());
  const int32_t named[] = {DISPID_PROPERTYPUT};
  DispParams p{args.data(), static_cast<uint32_t>(args.size()), put ? named : nullptr, put ? 1u : 0u};
  Variant result;
  m_status = m_disp->Invoke(dispid, kIidNull, 0x0409, flags, &p, put ? nullptr : &result, &m_excep, &m_arg_err);
  return result;
}

Variant Object::call(const std::string& name, std::vector<Variant> args) {
  return invoke(name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, std::move(args), false);
}

Variant Object::get(const std::string& name, std::vector<Variant> args) {
  return invoke(name, DISPATCH_PROPERTYGET, std::move(args), false);
}

void Object::put(const std::string& name, Variant value) {
  std::vector<Variant> args;
  args.push_back(std::move(value));
  invoke(name, DISPATCH_PROPERTYPUT, std::move(args), true);
}

int32_t Object::call_i4(const std::string& name, std::vector<Variant> args) {
  Variant v = call(name, std::move(args));
  int32_t out = 0;
  if (failed(m_status) || failed(to_i4(v, out))) return 0;
  return out;
}

std::string Object::call_text(const std::string& name, std::vector<Variant> args) {
  Variant v = call(name, std::move(args));
  return v.vt == VT_BSTR ? platform::utf8_from_utf16(v.s) : std::string();
}

}  // namespace kelv::native
