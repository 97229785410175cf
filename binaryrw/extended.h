// The 80-bit extended-precision format of the x87 unit (64-bit significand with an
// explicit integer bit, 15-bit biased exponent, sign; little-endian, significand first),
// converted bit by bit so that no platform's long double is involved.
#pragma once

#include <bit>
#include <cstdint>

namespace kelv {

// Exact: every double has an extended form.
void double_to_extended(double value, uint8_t out[10]);
// Rounded to the nearest double, ties to even; beyond the double range the result is an
// infinity of the value's sign, below it a denormal or zero. A NaN keeps its sign, its
// quiet bit and the top of its payload. The result is the double's bit pattern: a 32-bit
// x86 build returns a double in an x87 register, and loading one there turns a
// signalling NaN into a quiet one.
uint64_t extended_to_double_bits(const uint8_t in[10]);
inline double extended_to_double(const uint8_t in[10]) { return std::bit_cast<double>(extended_to_double_bits(in)); }

}  // namespace kelv
