// The 80-bit extended-precision format of the x87 unit (64-bit significand with an
// explicit integer bit, 15-bit biased exponent, sign; little-endian, significand first),
// converted bit by bit so that no platform's long double is involved.
#pragma once

#include <cstdint>

namespace kelv {

// Exact: every double has an extended form.
void double_to_extended(double value, uint8_t out[10]);
// Rounded to the nearest double, ties to even; beyond the double range the result is an
// infinity of the value's sign, below it a denormal or zero.
double extended_to_double(const uint8_t in[10]);

}  // namespace kelv
