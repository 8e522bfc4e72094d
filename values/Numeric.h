// Decimal numbers inside the engine: the 128-bit view of a Numeric, the exact 256-bit working
// value, the rounding rules shared by the decimal operations, the decimal text functions
// (values/NumericText.h) and the calculation operand (values/value.h), and the decimal operations
// themselves (q7num::NumericX below), which the interface exports as RQ7NumericX (q7api.h).
//
// Everything here works on the caller's values only: no shared state, no allocation, no
// exceptions, safe on any number of threads.
#pragma once

#include <cstdint>

#include "q7api.h"

namespace q7num {

using i128 = __int128;
using u128 = unsigned __int128;

// The NaN (decimal NULL) pattern as an integer: the most negative 128-bit value.
inline constexpr i128 kNanValue = static_cast<i128>(static_cast<u128>(1) << 127);
// Magnitudes of valid values are below this.
inline constexpr u128 kMagnitudeLimit = static_cast<u128>(1) << 127;
// Largest scale a decimal column takes.
inline constexpr int kMaxColumnScale = 38;

// The catalog and export names of the rounding modes, by code.
extern const char* const kRoundingModeNames[7];

inline i128 ToInt128(const Numeric& x) {
  return static_cast<i128>((static_cast<u128>(static_cast<uint64_t>(x.high)) << 64) | x.low);
}
inline Numeric FromInt128(i128 v) {
  Numeric n;
  n.low = static_cast<uint64_t>(v);
  n.high = static_cast<int64_t>(static_cast<u128>(v) >> 64);
  return n;
}
inline Numeric NanNumeric() { return Numeric{0, INT64_MIN}; }
inline bool IsNan(const Numeric& x) { return x.high == INT64_MIN && x.low == 0; }
inline bool IsValidMode(int mode) { return static_cast<unsigned>(mode) <= 6; }

// The engine's decimal order, with RQ7NumericCmp's sign: +1 when a < b, -1 when a > b, 0 equal.
inline int Compare(const Numeric& a, const Numeric& b) {
  if (a.high != b.high) return a.high < b.high ? 1 : -1;
  if (a.low != b.low) return a.low < b.low ? 1 : -1;
  return 0;
}

// Powers of ten: 10^0 .. 10^38 (all below 2^127) and 10^0 .. 10^19 in 64 bits.
struct Pow10Tables {
  u128 p128[39];
  uint64_t p64[20];
  constexpr Pow10Tables() : p128(), p64() {
    u128 v = 1;
    for (int k = 0; k < 39; ++k, v *= 10) {
      p128[k] = v;
      if (k < 20) p64[k] = static_cast<uint64_t>(v);
    }
  }
};
inline constexpr Pow10Tables kPow10{};

// What a division or shift dropped, relative to one unit of the last kept digit.
enum class Dropped : uint8_t { kZero, kBelowHalf, kHalf, kAboveHalf };

// Dropped part of a remainder r of a division by d (0 <= r < d).
template <class U>
inline Dropped DroppedOf(U r, U d) {
  if (r == 0) return Dropped::kZero;
  U rest = d - r;
  return r < rest ? Dropped::kBelowHalf : (r == rest ? Dropped::kHalf : Dropped::kAboveHalf);
}

// A dropped part d followed by lower digits that are known to be non-zero (a sticky flag).
inline Dropped WithSticky(Dropped d) {
  if (d == Dropped::kZero) return Dropped::kBelowHalf;
  if (d == Dropped::kHalf) return Dropped::kAboveHalf;
  return d;
}

// Whether the kept magnitude goes up by one unit. mode must be 0..6.
inline bool RoundsUp(Dropped d, int mode, bool negative, bool last_odd) {
  if (d == Dropped::kZero) return false;
  switch (mode) {
    case Q7_ROUND_UP:
      return true;
    case Q7_ROUND_DOWN:
      return false;
    case Q7_ROUND_CEILING:
      return !negative;
    case Q7_ROUND_FLOOR:
      return negative;
    case Q7_ROUND_HALF_UP:
      return d != Dropped::kBelowHalf;
    case Q7_ROUND_HALF_DOWN:
      return d == Dropped::kAboveHalf;
    default:
      return d == Dropped::kAboveHalf || (d == Dropped::kHalf && last_odd);
  }
}

// Magnitude / 10^k (k >= 0, any size) with what was dropped; a quotient of 0 for k >= 39.
u128 DivPow10(u128 mag, int64_t k, Dropped* dropped);

// Rounds mag (what dropped says was cut off below it) by mode, puts the sign back and stores it.
// Returns 0 (exact), 2 (rounded) or, for a magnitude of 2^127 or more, NaN in out and 3 / 4 by sign.
int StoreRounded(u128 mag, Dropped dropped, bool negative, int mode, Numeric* out);

// Stores sign * round(mag * 10^shift) by mode (which must be 0..6 whenever digits can drop);
// results as StoreRounded.
int ShiftRoundStore128(u128 mag, bool negative, int64_t shift, int mode, Numeric* out);

}  // namespace q7num

// The exact working value: a 256-bit unsigned magnitude, four 64-bit words, low first.
struct ExtendedNumeric {
  uint64_t w[4];

  static ExtendedNumeric FromU128(q7num::u128 v) {
    return ExtendedNumeric{{static_cast<uint64_t>(v), static_cast<uint64_t>(v >> 64), 0, 0}};
  }
  static ExtendedNumeric Product(q7num::u128 a, q7num::u128 b);  // exact a * b

  bool IsZero() const { return (w[0] | w[1] | w[2] | w[3]) == 0; }
  bool FitsU128() const { return (w[2] | w[3]) == 0; }
  q7num::u128 Low128() const { return (static_cast<q7num::u128>(w[1]) << 64) | w[0]; }
  int Compare(const ExtendedNumeric& o) const;  // -1, 0, +1 in the usual sense

  // Each returns true when the true result does not fit in 256 bits (the value is then garbage).
  bool MulSmall(uint64_t m);
  bool MulPow10(int64_t k);  // k >= 0
  bool Add(const ExtendedNumeric& o);
  void Sub(const ExtendedNumeric& o);  // requires *this >= o
  void AddOne() { Add(FromU128(1)); }
  // Divides in place, returning the remainder; d > 0.
  uint64_t DivSmall(uint64_t d);
  // Divides by 10^k (k >= 0) in place and says what was dropped.
  q7num::Dropped DivPow10(int64_t k);
  // Quotient and remainder by d (d not zero), exact.
  void DivMod(const ExtendedNumeric& d, ExtendedNumeric* q, ExtendedNumeric* r) const;
};

namespace q7num {

// As StoreRounded, for a 256-bit magnitude.
int StoreRoundedExt(ExtendedNumeric mag, Dropped dropped, bool negative, int mode, Numeric* out);

// Stores sign * round(mag * 10^shift) by mode (which must be 0..6 whenever digits can drop).
// sticky says that non-zero digits lie below mag's last digit (a fraction of one unit that is
// neither 0 nor one half). Returns 0, 2 or 3 / 4 (NaN stored) as StoreRounded.
int ShiftRoundStore(const ExtendedNumeric& mag, bool negative, int64_t shift, int mode, Numeric* out,
                    bool sticky = false);

}  // namespace q7num

// ---- The decimal operations ----
// Each is the exported RQ7Numeric function of the same name without "RQ7", whose contract q7api.h
// states (statuses Q7_NUMERIC_*, NaN handling, rounding); engine code calls these, never the
// exported names, so that the layers below the interface do not reach into it.
namespace q7num {

void NumericSetZero(Numeric* x);
void NumericSetNan(Numeric* x);
int NumericIsZero(const Numeric* x);
int NumericIsNan(const Numeric* x);
int NumericAdd(const Numeric* a, const Numeric* b, Numeric* r);
int NumericSub(const Numeric* a, const Numeric* b, Numeric* r);
int NumericRescalingAdd(const NumericInfo* ia, const NumericInfo* ib, const NumericInfo* ir, const Numeric* a,
                        const Numeric* b, Numeric* r);
int NumericRescalingSub(const NumericInfo* ia, const NumericInfo* ib, const NumericInfo* ir, const Numeric* a,
                        const Numeric* b, Numeric* r);
int NumericRescalingMul(const NumericInfo* ia, const NumericInfo* ib, const NumericInfo* ir, const Numeric* a,
                        const Numeric* b, Numeric* r);
int NumericRescalingDiv(const NumericInfo* ia, const NumericInfo* ib, const NumericInfo* ir, const Numeric* a,
                        const Numeric* b, Numeric* r);
int NumericMul(Numeric* x, int k);
int NumericDiv(Numeric* x, const NumericInfo* i, int k);
int NumericCmp(const Numeric* a, const Numeric* b);
int NumericRescalingCmp(const NumericInfo* ia, const NumericInfo* ib, const Numeric* a, const Numeric* b);
int NumericCeil(const NumericInfo* i, int digits, Numeric* x);
int NumericFloor(const NumericInfo* i, int digits, Numeric* x);
int NumericRound(const NumericInfo* i, int digits, Numeric* x);
int NumericRescale(const NumericInfo* from, const NumericInfo* to, const Numeric* in, Numeric* out);
int NumericLong2Num(long v, const NumericInfo* i, Numeric* out);
int NumericInt2Num(int v, const NumericInfo* i, Numeric* out);
int NumericNum2Long(const Numeric* x, const NumericInfo* i, long* out);
int NumericNum2Int(const Numeric* x, const NumericInfo* i, int* out);
int NumericDbl2Num(const NumericInfo* i, Numeric* out, double v);
int NumericNum2Dbl(const Numeric* x, const NumericInfo* i, double* out);

}  // namespace q7num

// Writes x to standard output as four 32-bit words, high word first: "(%08x,%08x,%08x,%08x)\n".
void dump(const Numeric* x);
