#include "binaryrw/extended.h"

#include <bit>
#include <cstring>

namespace kelv {
namespace {

constexpr int kExtBias = 16383;
constexpr int kDblBias = 1023;

void store(uint8_t out[10], uint64_t mant, uint16_t sign_exp) {
  for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(mant >> (8 * i));
  out[8] = static_cast<uint8_t>(sign_exp);
  out[9] = static_cast<uint8_t>(sign_exp >> 8);
}

}  // namespace

void double_to_extended(double value, uint8_t out[10]) {
  uint64_t bits = std::bit_cast<uint64_t>(value);
  uint16_t sign = (bits >> 63) ? 0x8000 : 0;
  int exp = static_cast<int>((bits >> 52) & 0x7FF);
  uint64_t frac = bits & ((uint64_t{1} << 52) - 1);
  if (exp == 0x7FF) {
    // Infinity, or a NaN with its payload (and quiet bit) carried over.
    store(out, (uint64_t{1} << 63) | (frac << 11), static_cast<uint16_t>(sign | 0x7FFF));
  } else if (exp == 0 && frac == 0) {
    store(out, 0, sign);
  } else if (exp == 0) {
    // A double denormal is a normal extended number.
    int top = 63 - std::countl_zero(frac);  // position of the leading bit, 0..51
    int e = top - 1074;
    store(out, frac << (63 - top), static_cast<uint16_t>(sign | (e + kExtBias)));
  } else {
    store(out, (uint64_t{1} << 63) | (frac << 11), static_cast<uint16_t>(sign | (exp - kDblBias + kExtBias)));
  }
}

uint64_t extended_to_double_bits(const uint8_t in[10]) {
  uint64_t mant = 0;
  for (int i = 0; i < 8; ++i) mant |= static_cast<uint64_t>(in[i]) << (8 * i);
  uint16_t se = static_cast<uint16_t>(in[8] | (in[9] << 8));
  uint64_t sign = (se & 0x8000) ? uint64_t{1} << 63 : 0;
  int exp = se & 0x7FFF;

  if (exp == 0x7FFF) {
    uint64_t payload = mant & ~(uint64_t{1} << 63);
    if (payload == 0) return sign | (uint64_t{0x7FF} << 52);
    // NaN: keep the top payload bits, and make sure it stays a NaN.
    uint64_t frac = payload >> 11;
    if (frac == 0) frac = uint64_t{1} << 51;
    return sign | (uint64_t{0x7FF} << 52) | frac;
  }
  if (mant == 0) return sign;

  // value = mant * 2^(e - 63), with the denormal exponent of extended numbers at 1.
  int lz = std::countl_zero(mant);
  mant <<= lz;
  int e = (exp == 0 ? 1 : exp) - kExtBias - lz;  // value = 1.f * 2^e
  if (e > kDblBias) return sign | (uint64_t{0x7FF} << 52);

  int drop = 11;  // bits of the 64-bit significand that do not fit 53
  if (e < -1022) drop += -1022 - e;
  if (drop >= 65) return sign;  // below half the smallest denormal
  uint64_t keep = drop == 64 ? 0 : mant >> drop;
  uint64_t rem = drop == 64 ? mant : mant & ((uint64_t{1} << drop) - 1);
  uint64_t half = uint64_t{1} << (drop - 1);
  if (rem > half || (rem == half && (keep & 1))) ++keep;

  if (e < -1022) {
    // Denormal, or the smallest normal when rounding carried into bit 52.
    return sign | keep;
  }
  if (keep == (uint64_t{1} << 53)) {
    keep >>= 1;
    ++e;
    if (e > kDblBias) return sign | (uint64_t{0x7FF} << 52);
  }
  uint64_t biased = static_cast<uint64_t>(e + kDblBias);
  return sign | (biased << 52) | (keep & ((uint64_t{1} << 52) - 1));
}

}  // namespace kelv
