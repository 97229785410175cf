// The rules of the script boundary, written once for both automation layers: which
// VARIANT parameter is a buffer or text, how a VarOut becomes an output variant, which
// status a member's outcome answers, what the error record of a guarded member holds,
// and the path from a function-table slot to the member's thunk.
//
// Each automation layer supplies a traits struct T that says how its own types do the
// work; nothing here names an automation type:
//
//   using Variant, Array, Status
//   vt_variant, vt_array, vt_byref, vt_ui1, vt_bstr          the type codes
//   ok, not_implemented, fail, out_of_memory, exception    the status codes
//   uint16_t type(const Variant&)
//   const Variant* variant_ref(const Variant&)               the target of VT_BYREF|VT_VARIANT
//   const Array* array(const Variant&)                       the descriptor of VT_ARRAY|VT_UI1
//   bool array_ref(const Variant&, const Array*& out)        VT_BYREF|VT_ARRAY|VT_UI1: false
//                                                            when the reference itself is null
//   unsigned dims(const Array&); std::span<const uint8_t> bytes(const Array&)
//   std::string text(const Variant&)                         a VT_BSTR as text_in gives it
//   put_null(Variant&); put(Variant&, int8_t | int16_t | int32_t | int64_t | float | double)
//   bool put(Variant&, Bytes&&)                              false when out of memory
//   bool progid_of(const Guid& clsid, std::u16string& out)   the registered ProgID
//   void store_error(const ErrorParts&)                      installs the thread's record
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/values.h"
#include "platform/platform.h"
#include "server/binding.h"
#include "server/classes.h"
#include "server/members.h"

namespace kelv::boundary {

// Script strings as the object classes take them, and their results back. Text is
// Unicode, cut at its first NUL; a name keeps every unit, a NUL included, so that the
// file calls refuse a name whose tail a page checked but the system would not see.
// Nothing crosses through a code page.
inline std::string text_in(std::u16string_view w) { return platform::utf8_from_utf16(w.substr(0, w.find(u'\0'))); }
inline std::string name_in(std::u16string_view w) { return platform::utf8_from_utf16(w); }
inline std::u16string text_out(std::string_view s) { return platform::utf16_from_utf8(s.substr(0, s.find('\0'))); }

// A VARIANT parameter as the object classes see it. One level of reference to a variant
// (how script hosts pass variables) or to a byte array is followed first; after that only
// exactly VT_ARRAY|VT_UI1 with one dimension is a buffer, and a string is text. A byte
// array with no descriptor is a buffer without bytes.
template <class T>
VarIn var_in(const typename T::Variant& arg) {
  const typename T::Variant* v = &arg;
  if (T::type(*v) == (T::vt_byref | T::vt_variant))
    if (const typename T::Variant* target = T::variant_ref(*v)) v = target;
  const uint16_t vt = T::type(*v);
  const typename T::Array* a = nullptr;
  bool is_array = false;
  if (vt == (T::vt_array | T::vt_ui1))
    is_array = true, a = T::array(*v);
  else if (vt == (T::vt_byref | T::vt_array | T::vt_ui1))
    is_array = T::array_ref(*v, a);
  VarIn out;
  if (is_array && (!a || T::dims(*a) == 1)) {
    out.kind = VarIn::Kind::Buffer;
    if (a) out.bytes = T::bytes(*a);
  } else if (vt == T::vt_bstr) {
    out.kind = VarIn::Kind::Text;
    out.text = T::text(*v);
  }
  return out;
}

// A member's VARIANT result as an output variant; fails only when the byte array cannot
// be allocated.
template <class T>
typename T::Status var_out(VarOut&& o, typename T::Variant& out) {
  switch (o.type) {
    case VarOut::Type::Null: T::put_null(out); break;
    case VarOut::Type::I1: T::put(out, static_cast<int8_t>(o.i)); break;
    case VarOut::Type::I2: T::put(out, static_cast<int16_t>(o.i)); break;
    case VarOut::Type::I4: T::put(out, static_cast<int32_t>(o.i)); break;
    case VarOut::Type::I8: T::put(out, static_cast<int64_t>(o.i)); break;
    case VarOut::Type::R4: T::put(out, static_cast<float>(o.d)); break;
    case VarOut::Type::R8: T::put(out, o.d); break;
    case VarOut::Type::Buffer:
      if (!T::put(out, std::move(o.bytes))) return T::out_of_memory;
      break;
  }
  return T::ok;
}

// The error record of a guarded member: the IImage interface, the ProgID registered for
// the class's CLSID as source (none when the registry has none), the message as
// description.
struct ErrorParts {
  Guid iid;
  std::optional<std::u16string> source;
  std::u16string description;
};

// Installs the error record of a guarded member for the calling thread and answers
// DISP_E_EXCEPTION.
template <class T>
typename T::Status raise_error(const ClassInfo& cls, const std::string& message) {
  ErrorParts parts{kIidIImage, std::nullopt, text_out(message)};
  std::u16string progid;
  if (T::progid_of(cls.clsid, progid)) parts.source = std::move(progid);
  T::store_error(parts);
  return T::exception;
}

// The status a member's outcome answers. A guarded member reports both a raised error and
// a failed allocation through its error record; any other member answers the plain code.
template <class T>
typename T::Status outcome_status(const ClassInfo& cls, const Member& m, const Result<void>& ran) {
  switch (ran.status()) {
    case Status::Ok: return T::ok;
    case Status::NotWired: return T::not_implemented;
    case Status::OutOfMemory: return m.guarded ? raise_error<T>(cls, ran.text()) : T::out_of_memory;
    default: return m.guarded ? raise_error<T>(cls, ran.text()) : T::fail;
  }
}

// Calls the member at function-table `slot` of a class's object: the slot's member, its
// thunk run with whatever it raises caught, the outcome as a status. A slot outside the
// member table answers "not implemented".
template <class T, class Impl>
typename T::Status call_slot(const ClassInfo& cls, const std::vector<Thunk<Impl>>& slots, Impl& impl, int slot,
                             const CallArgs& args, CallResult& result) {
  const InterfaceTable& table = interface_table(cls.iface);
  const size_t index = static_cast<size_t>(slot - kFirstSlot);
  if (slot < kFirstSlot || index >= table.members.size()) return T::not_implemented;
  return outcome_status<T>(cls, table.members[index], run_member(slots, impl, index, args, result));
}

}  // namespace kelv::boundary
