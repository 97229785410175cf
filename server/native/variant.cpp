#include "server/native/variant.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "server/native/dispatch.h"

namespace kelv::native {

Variant::Variant(const Variant& o) { copy_from(o); }

Variant& Variant::operator=(const Variant& o) {
  if (this != &o) {
    Variant tmp(o);
    *this = std::move(tmp);
  }
  return *this;
}

Variant::Variant(Variant&& o) noexcept
    : vt(o.vt), i(o.i), d(o.d), s(std::move(o.s)), arr(std::move(o.arr)), disp(o.disp), vref(o.vref), aref(o.aref) {
  o.vt = VT_EMPTY;
  o.disp = nullptr;
}

Variant& Variant::operator=(Variant&& o) noexcept {
  if (this != &o) {
    release();
    vt = o.vt, i = o.i, d = o.d, s = std::move(o.s), arr = std::move(o.arr);
    disp = o.disp, vref = o.vref, aref = o.aref;
    o.vt = VT_EMPTY;
    o.disp = nullptr;
  }
  return *this;
}

Variant::~Variant() { release(); }

void Variant::release() {
  if (disp) disp->Release();
  disp = nullptr;
}

void Variant::copy_from(const Variant& o) {
  vt = o.vt, i = o.i, d = o.d, s = o.s, arr = o.arr, disp = o.disp, vref = o.vref, aref = o.aref;
  if (disp) disp->AddRef();
}

namespace {

// A variant of a scalar kind: whole numbers in `i`, real ones in `d`.
Variant scalar(uint16_t vt, int64_t i, double d = 0) {
  Variant r;
  r.vt = vt;
  r.i = i;
  r.d = d;
  return r;
}

}  // namespace

Variant Variant::i4(int32_t v) { return scalar(VT_I4, v); }
Variant Variant::i2(int16_t v) { return scalar(VT_I2, v); }
Variant Variant::i1(int8_t v) { return scalar(VT_I1, v); }
Variant Variant::ui1(uint8_t v) { return scalar(VT_UI1, v); }
Variant Variant::i8(int64_t v) { return scalar(VT_I8, v); }
Variant Variant::r4(float v) { return scalar(VT_R4, 0, v); }
Variant Variant::r8(double v) { return scalar(VT_R8, 0, v); }
Variant Variant::boolean(bool v) { return scalar(VT_BOOL, v ? -1 : 0); }
Variant Variant::null() { return scalar(VT_NULL, 0); }
Variant Variant::error(HResult scode) { return scalar(VT_ERROR, scode); }
Variant Variant::str(std::u16string s) {
  Variant r;
  r.vt = VT_BSTR;
  r.s = std::move(s);
  return r;
}

Variant Variant::bytes(Bytes b) {
  auto a = std::make_shared<SafeArray>();
  a->data = std::move(b);
  return array(std::move(a));
}

Variant Variant::array(std::shared_ptr<SafeArray> a) {
  Variant r;
  r.vt = VT_ARRAY | VT_UI1;
  r.arr = std::move(a);
  return r;
}

Variant Variant::dispatch(Dispatch* p) {
  Variant r;
  r.vt = VT_DISPATCH;
  r.disp = p;
  if (p) p->AddRef();
  return r;
}

Variant Variant::ref(Variant* target) {
  Variant r;
  r.vt = VT_BYREF | VT_VARIANT;
  r.vref = target;
  return r;
}

Variant Variant::array_ref(std::shared_ptr<SafeArray>* target) {
  Variant r;
  r.vt = VT_BYREF | VT_ARRAY | VT_UI1;
  r.aref = target;
  return r;
}

const Variant& deref(const Variant& v) {
  if (v.vt == (VT_BYREF | VT_VARIANT) && v.vref) return *v.vref;
  return v;
}

namespace {

// A number read from a string as the invoker reads it: optional white space, sign,
// digits with an optional fraction and exponent, or the "&H" and "&O" forms scripts use
// for hexadecimal and octal. Integers are kept exact when they have no fraction.
struct Parsed {
  bool integral = false;
  int64_t whole = 0;
  double real = 0;
};

bool parse_number(const std::u16string& s, Parsed& out) {
  std::string a;
  for (char16_t c : s) {
    if (c > 0x7F) return false;
    a.push_back(static_cast<char>(c));
  }
  size_t b = a.find_first_not_of(" \t\r\n");
  size_t e = a.find_last_not_of(" \t\r\n");
  if (b == std::string::npos) return false;
  a = a.substr(b, e - b + 1);
  if (a.size() > 2 && a[0] == '&' && (a[1] == 'H' || a[1] == 'h' || a[1] == 'O' || a[1] == 'o')) {
    int base = (a[1] == 'H' || a[1] == 'h') ? 16 : 8;
    errno = 0;
    char* end = nullptr;
    unsigned long long v = std::strtoull(a.c_str() + 2, &end, base);
    if (*end != '\0' || errno == ERANGE) return false;
    out.integral = true;
    // Like the script engines, a four-digit hexadecimal constant is a 16-bit value and an
    // eight-digit one a 32-bit value, so &HFFFF is -1 and &HFFFFFFFF is -1.
    if (v <= 0xFFFF && a.size() - 2 <= 4 && base == 16)
      out.whole = static_cast<int16_t>(v);
    else if (v <= 0xFFFFFFFFull)
      out.whole = static_cast<int32_t>(static_cast<uint32_t>(v));
    else
      out.whole = static_cast<int64_t>(v);
    out.real = static_cast<double>(out.whole);
    return true;
  }
  size_t k = 0;
  if (a[k] == '+' || a[k] == '-') ++k;
  bool digits = false, frac = false;
  while (k < a.size() && std::isdigit(static_cast<unsigned char>(a[k]))) ++k, digits = true;
  if (k < a.size() && a[k] == '.') {
    frac = true;
    ++k;
    while (k < a.size() && std::isdigit(static_cast<unsigned char>(a[k]))) ++k, digits = true;
  }
  if (!digits) return false;
  if (k < a.size() && (a[k] == 'e' || a[k] == 'E')) {
    frac = true;
    ++k;
    if (k < a.size() && (a[k] == '+' || a[k] == '-')) ++k;
    bool exp_digits = false;
    while (k < a.size() && std::isdigit(static_cast<unsigned char>(a[k]))) ++k, exp_digits = true;
    if (!exp_digits) return false;
  }
  if (k != a.size()) return false;
  if (!frac) {
    errno = 0;
    long long v = std::strtoll(a.c_str(), nullptr, 10);
    if (errno != ERANGE) {
      out.integral = true;
      out.whole = v;
      out.real = static_cast<double>(v);
      return true;
    }
  }
  out.integral = false;
  out.real = std::strtod(a.c_str(), nullptr);
  return std::isfinite(out.real);
}

// The value as a whole number in [lo, hi], floating values rounded half to even.
HResult to_integer(const Variant& in, int64_t lo, int64_t hi, int64_t& out) {
  const Variant& v = deref(in);
  double real = 0;
  bool is_real = false;
  switch (v.vt) {
    case VT_EMPTY: out = 0; break;
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_BOOL: out = v.i; break;
    case VT_R4:
    case VT_R8:
      real = v.d;
      is_real = true;
      break;
    case VT_BSTR: {
      Parsed p;
      if (!parse_number(v.s, p)) return hr::DISP_E_TYPEMISMATCH;
      if (p.integral)
        out = p.whole;
      else
        real = p.real, is_real = true;
      break;
    }
    default: return hr::DISP_E_TYPEMISMATCH;
  }
  if (is_real) {
    if (!std::isfinite(real)) return hr::DISP_E_OVERFLOW;
    double r = std::nearbyint(real);  // the default rounding mode is to nearest, ties to even
    if (r < -9223372036854775808.0 || r >= 9223372036854775808.0) return hr::DISP_E_OVERFLOW;
    out = static_cast<int64_t>(r);
  }
  if (out < lo || out > hi) return hr::DISP_E_OVERFLOW;
  return hr::S_OK;
}

}  // namespace

HResult to_i4(const Variant& v, int32_t& out) {
  int64_t x = 0;
  HResult h = to_integer(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), x);
  if (h == hr::S_OK) out = static_cast<int32_t>(x);
  return h;
}

HResult to_ui1(const Variant& v, uint8_t& out) {
  int64_t x = 0;
  HResult h = to_integer(v, 0, 255, x);
  if (h == hr::S_OK) out = static_cast<uint8_t>(x);
  return h;
}

HResult to_i8(const Variant& v, int64_t& out) {
  return to_integer(v, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(), out);
}

HResult to_r8(const Variant& in, double& out) {
  const Variant& v = deref(in);
  switch (v.vt) {
    case VT_EMPTY: out = 0; return hr::S_OK;
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_BOOL: out = static_cast<double>(v.i); return hr::S_OK;
    case VT_R4:
    case VT_R8: out = v.d; return hr::S_OK;
    case VT_BSTR: {
      Parsed p;
      if (!parse_number(v.s, p)) return hr::DISP_E_TYPEMISMATCH;
      out = p.real;
      return hr::S_OK;
    }
    default: return hr::DISP_E_TYPEMISMATCH;
  }
}

HResult to_text(const Variant& in, std::u16string& out) {
  const Variant& v = deref(in);
  std::string a;
  switch (v.vt) {
    case VT_EMPTY: break;
    case VT_BSTR: out = v.s; return hr::S_OK;
    case VT_BOOL: a = v.i ? "True" : "False"; break;
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_I4:
    case VT_I8: a = std::to_string(v.i); break;
    case VT_R4:
    case VT_R8: {
      // Up to 15 significant digits (7 for single precision), no trailing zeros.
      char buf[64];
      std::snprintf(buf, sizeof buf, v.vt == VT_R4 ? "%.7G" : "%.15G", v.d);
      a = buf;
      break;
    }
    default: return hr::DISP_E_TYPEMISMATCH;
  }
  out.assign(a.begin(), a.end());
  return hr::S_OK;
}

}  // namespace kelv::native
