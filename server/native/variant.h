// The automation types of the native build: status codes, variants, wide strings and
// byte arrays, with the coercions that a type-library invoker applies to arguments.
// Linux has no component runtime; this is the thin emulation that lets every member be
// called by name and DISPID exactly as a script host would call it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/values.h"

namespace kelv::native {

using HResult = int32_t;

namespace hr {
inline constexpr HResult S_OK = 0;
inline constexpr HResult S_FALSE = 1;
inline constexpr HResult E_NOTIMPL = static_cast<HResult>(0x80004001);
inline constexpr HResult E_NOINTERFACE = static_cast<HResult>(0x80004002);
inline constexpr HResult E_POINTER = static_cast<HResult>(0x80004003);
inline constexpr HResult E_FAIL = static_cast<HResult>(0x80004005);
inline constexpr HResult E_UNEXPECTED = static_cast<HResult>(0x8000FFFF);
inline constexpr HResult E_OUTOFMEMORY = static_cast<HResult>(0x8007000E);
inline constexpr HResult E_INVALIDARG = static_cast<HResult>(0x80070057);
inline constexpr HResult CLASS_E_NOAGGREGATION = static_cast<HResult>(0x80040110);
inline constexpr HResult CLASS_E_CLASSNOTAVAILABLE = static_cast<HResult>(0x80040111);
inline constexpr HResult REGDB_E_CLASSNOTREG = static_cast<HResult>(0x80040154);
inline constexpr HResult CO_E_CLASSSTRING = static_cast<HResult>(0x800401F3);
inline constexpr HResult DISP_E_MEMBERNOTFOUND = static_cast<HResult>(0x80020003);
inline constexpr HResult DISP_E_PARAMNOTFOUND = static_cast<HResult>(0x80020004);
inline constexpr HResult DISP_E_TYPEMISMATCH = static_cast<HResult>(0x80020005);
inline constexpr HResult DISP_E_UNKNOWNNAME = static_cast<HResult>(0x80020006);
inline constexpr HResult DISP_E_NONAMEDARGS = static_cast<HResult>(0x80020007);
inline constexpr HResult DISP_E_EXCEPTION = static_cast<HResult>(0x80020009);
inline constexpr HResult DISP_E_OVERFLOW = static_cast<HResult>(0x8002000A);
inline constexpr HResult DISP_E_BADPARAMCOUNT = static_cast<HResult>(0x8002000E);
inline constexpr HResult DISP_E_PARAMNOTOPTIONAL = static_cast<HResult>(0x8002000F);
inline constexpr HResult TYPE_E_LIBNOTREGISTERED = static_cast<HResult>(0x8002801D);
}  // namespace hr

inline bool failed(HResult h) { return h < 0; }

enum VarType : uint16_t {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_I8 = 20,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
};

// A safe array of bytes. Only one-dimensional arrays are buffers; the others exist so
// that a caller can hand one in and see it refused.
struct SafeArray {
  uint16_t dims = 1;
  int32_t lower_bound = 0;
  Bytes data;
};

class Dispatch;

// A variant. A VT_DISPATCH value holds one counted reference, taken on copy and dropped
// on destruction; by-reference values point at storage the caller keeps alive.
class Variant {
 public:
  Variant() = default;
  Variant(const Variant& o);
  Variant& operator=(const Variant& o);
  Variant(Variant&& o) noexcept;
  Variant& operator=(Variant&& o) noexcept;
  ~Variant();

  static Variant i4(int32_t v);
  static Variant i2(int16_t v);
  static Variant i1(int8_t v);
  static Variant ui1(uint8_t v);
  static Variant i8(int64_t v);
  static Variant r4(float v);
  static Variant r8(double v);
  static Variant boolean(bool v);
  static Variant null();
  static Variant error(HResult scode);
  static Variant missing() { return error(hr::DISP_E_PARAMNOTFOUND); }
  static Variant str(std::u16string s);
  static Variant bytes(Bytes b);
  static Variant array(std::shared_ptr<SafeArray> a);
  static Variant dispatch(Dispatch* d);                          // takes a new reference
  static Variant ref(Variant* target);                           // VT_BYREF|VT_VARIANT
  static Variant array_ref(std::shared_ptr<SafeArray>* target);  // VT_BYREF|VT_ARRAY|VT_UI1

  uint16_t vt = VT_EMPTY;
  int64_t i = 0;                               // I1, UI1, I2, I4, I8, BOOL (-1 / 0), ERROR (the status)
  double d = 0;                                // R4, R8
  std::u16string s;                            // BSTR
  std::shared_ptr<SafeArray> arr;              // ARRAY|UI1
  Dispatch* disp = nullptr;                    // DISPATCH
  Variant* vref = nullptr;                     // BYREF|VARIANT
  std::shared_ptr<SafeArray>* aref = nullptr;  // BYREF|ARRAY|UI1

 private:
  void release();
  void copy_from(const Variant& o);
};

// Coercions of the standard invoker: numbers between the integer and floating types,
// strings to numbers and back, round-half-to-even from floating to integer types;
// DISP_E_OVERFLOW when the value does not fit, DISP_E_TYPEMISMATCH when the type can't
// be converted. By-reference values are read through first.
HResult to_i4(const Variant& v, int32_t& out);
HResult to_ui1(const Variant& v, uint8_t& out);
HResult to_i8(const Variant& v, int64_t& out);
HResult to_r8(const Variant& v, double& out);
HResult to_text(const Variant& v, std::u16string& out);

// The variant itself when it is not by reference; the referenced one otherwise.
const Variant& deref(const Variant& v);

}  // namespace kelv::native
