// Decimal arithmetic. Every result is computed exactly (in 128 bits where the operands allow it,
// else in 256 bits, and in wider integers only for the double conversions) and rounded once.
#include "values/Numeric.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <type_traits>

namespace q7num {

const char* const kRoundingModeNames[7] = {"ROUNDUP",     "ROUNDDOWN",     "ROUNDCEILING", "ROUNDFLOOR",
                                           "ROUNDHALFUP", "ROUNDHALFDOWN", "ROUNDHALFEVEN"};

namespace {

// (hi:lo) / d for hi < d: one hardware division.
inline uint64_t Div128By64(uint64_t hi, uint64_t lo, uint64_t d, uint64_t* rem) {
#if defined(__x86_64__)
  uint64_t q, r;
  __asm__("divq %[d]" : "=a"(q), "=d"(r) : [d] "rm"(d), "a"(lo), "d"(hi));
  *rem = r;
  return q;
#else
  u128 n = (static_cast<u128>(hi) << 64) | lo;
  *rem = static_cast<uint64_t>(n % d);
  return static_cast<uint64_t>(n / d);
#endif
}

inline u128 DivModU64(u128 n, uint64_t d, uint64_t* rem) {
  uint64_t hi = static_cast<uint64_t>(n >> 64), lo = static_cast<uint64_t>(n);
  if (hi == 0) {
    *rem = lo % d;
    return lo / d;
  }
  uint64_t q_hi = 0;
  if (hi >= d) {
    q_hi = hi / d;
    hi %= d;
  }
  uint64_t q_lo = Div128By64(hi, lo, d, rem);
  return (static_cast<u128>(q_hi) << 64) | q_lo;
}

inline int Overflow(bool negative, Numeric* out) {
  *out = NanNumeric();
  return negative ? Q7_NUMERIC_OVERFLOW_NEGATIVE : Q7_NUMERIC_OVERFLOW_POSITIVE;
}

inline u128 Magnitude(i128 v) { return v < 0 ? -static_cast<u128>(v) : static_cast<u128>(v); }

inline int Status(Dropped d) { return d == Dropped::kZero ? Q7_NUMERIC_EXACT : Q7_NUMERIC_ROUNDED; }

// ---- Long division on 32-bit digits (Knuth, algorithm D) ----

// q = u / v and r = u % v. u has m digits, v has n digits with v[n - 1] != 0, m >= n; q receives
// m - n + 1 digits and r n digits. kMaxDigits bounds m.
constexpr int kMaxDigits = 80;

void DivideDigits(const uint32_t* u, int m, const uint32_t* v, int n, uint32_t* q, uint32_t* r) {
  constexpr uint64_t kBase = 1ull << 32;
  if (n == 1) {
    uint64_t k = 0;
    for (int j = m - 1; j >= 0; --j) {
      uint64_t cur = (k << 32) | u[j];
      q[j] = static_cast<uint32_t>(cur / v[0]);
      k = cur % v[0];
    }
    r[0] = static_cast<uint32_t>(k);
    return;
  }
  uint32_t un[kMaxDigits + 1], vn[kMaxDigits];
  const int s = __builtin_clz(v[n - 1]);
  for (int i = n - 1; i > 0; --i) {
    vn[i] = (v[i] << s) | static_cast<uint32_t>(static_cast<uint64_t>(v[i - 1]) >> (32 - s));
  }
  vn[0] = v[0] << s;
  un[m] = static_cast<uint32_t>(static_cast<uint64_t>(u[m - 1]) >> (32 - s));
  for (int i = m - 1; i > 0; --i) {
    un[i] = (u[i] << s) | static_cast<uint32_t>(static_cast<uint64_t>(u[i - 1]) >> (32 - s));
  }
  un[0] = u[0] << s;
  for (int j = m - n; j >= 0; --j) {
    const uint64_t top = (static_cast<uint64_t>(un[j + n]) << 32) | un[j + n - 1];
    uint64_t qhat = top / vn[n - 1];
    uint64_t rhat = top % vn[n - 1];
    while (qhat >= kBase || qhat * vn[n - 2] > ((rhat << 32) | un[j + n - 2])) {
      --qhat;
      rhat += vn[n - 1];
      if (rhat >= kBase) break;
    }
    int64_t borrow = 0, t;
    for (int i = 0; i < n; ++i) {
      const uint64_t p = qhat * vn[i];
      t = static_cast<int64_t>(un[i + j]) - borrow - static_cast<int64_t>(p & 0xFFFFFFFFu);
      un[i + j] = static_cast<uint32_t>(t);
      borrow = static_cast<int64_t>(p >> 32) - (t >> 32);
    }
    t = static_cast<int64_t>(un[j + n]) - borrow;
    un[j + n] = static_cast<uint32_t>(t);
    q[j] = static_cast<uint32_t>(qhat);
    if (t < 0) {  // qhat was one too large: add the divisor back
      --q[j];
      uint64_t carry = 0;
      for (int i = 0; i < n; ++i) {
        const uint64_t sum = static_cast<uint64_t>(un[i + j]) + vn[i] + carry;
        un[i + j] = static_cast<uint32_t>(sum);
        carry = sum >> 32;
      }
      un[j + n] += static_cast<uint32_t>(carry);
    }
  }
  for (int i = 0; i < n - 1; ++i) {
    r[i] = (un[i] >> s) | static_cast<uint32_t>(static_cast<uint64_t>(un[i + 1]) << (32 - s));
  }
  r[n - 1] = un[n - 1] >> s;
}

// An unsigned integer of up to kMaxDigits 32-bit digits, for the double conversions, whose exact
// values can reach about 1300 bits. Operations report false when the capacity would be exceeded.
struct BigNum {
  uint32_t d[kMaxDigits];
  int n = 0;  // digits in use; d[n - 1] != 0 unless n == 0

  explicit BigNum(u128 v) {
    while (v != 0) {
      d[n++] = static_cast<uint32_t>(v);
      v >>= 32;
    }
  }
  void Trim() {
    while (n > 0 && d[n - 1] == 0) --n;
  }
  bool IsZero() const { return n == 0; }
  int64_t BitLength() const { return n == 0 ? 0 : 32 * static_cast<int64_t>(n) - __builtin_clz(d[n - 1]); }
  bool MulSmall(uint32_t m) {
    uint64_t carry = 0;
    for (int i = 0; i < n; ++i) {
      const uint64_t t = static_cast<uint64_t>(d[i]) * m + carry;
      d[i] = static_cast<uint32_t>(t);
      carry = t >> 32;
    }
    if (carry != 0) {
      if (n == kMaxDigits) return false;
      d[n++] = static_cast<uint32_t>(carry);
    }
    return true;
  }
  bool MulPow10(int64_t k) {
    for (; k >= 9; k -= 9) {
      if (!MulSmall(1000000000u)) return false;
    }
    return MulSmall(static_cast<uint32_t>(kPow10.p64[k]));
  }
  bool ShiftLeft(int64_t bits) {
    if (n == 0 || bits == 0) return true;
    const int64_t new_bits = BitLength() + bits;
    if (new_bits > 32 * static_cast<int64_t>(kMaxDigits)) return false;
    const int words = static_cast<int>(bits / 32), b = static_cast<int>(bits % 32);
    const int new_n = static_cast<int>((new_bits + 31) / 32);
    for (int i = new_n - 1; i >= 0; --i) {
      const int src = i - words;
      uint32_t hi = (src >= 0 && src < n) ? d[src] : 0;
      uint32_t lo = (src - 1 >= 0 && src - 1 < n) ? d[src - 1] : 0;
      d[i] = b == 0 ? hi : ((hi << b) | (lo >> (32 - b)));
    }
    n = new_n;
    Trim();
    return true;
  }
  int Compare(const BigNum& o) const {
    if (n != o.n) return n < o.n ? -1 : 1;
    for (int i = n - 1; i >= 0; --i) {
      if (d[i] != o.d[i]) return d[i] < o.d[i] ? -1 : 1;
    }
    return 0;
  }
  void Sub(const BigNum& o) {  // *this >= o
    int64_t borrow = 0;
    for (int i = 0; i < n; ++i) {
      const int64_t t = static_cast<int64_t>(d[i]) - (i < o.n ? o.d[i] : 0) - borrow;
      d[i] = static_cast<uint32_t>(t);
      borrow = t < 0;
    }
    Trim();
  }
  // Low 64 bits.
  uint64_t Low64() const { return (n > 0 ? d[0] : 0) | (n > 1 ? static_cast<uint64_t>(d[1]) << 32 : 0); }
  u128 Low128() const {
    u128 v = 0;
    for (int i = (n < 4 ? n : 4) - 1; i >= 0; --i) v = (v << 32) | d[i];
    return v;
  }
};

// q = u / v with what the remainder drops; v must not be zero.
void DivideBig(const BigNum& u, const BigNum& v, BigNum* q, Dropped* dropped) {
  BigNum r(0);
  q->n = 0;
  if (u.Compare(v) < 0) {
    r = u;
  } else {
    DivideDigits(u.d, u.n, v.d, v.n, q->d, r.d);
    q->n = u.n - v.n + 1;
    q->Trim();
    r.n = v.n;
    r.Trim();
  }
  if (r.IsZero()) {
    *dropped = Dropped::kZero;
    return;
  }
  BigNum rest = v;
  rest.Sub(r);
  const int c = r.Compare(rest);
  *dropped = c < 0 ? Dropped::kBelowHalf : (c == 0 ? Dropped::kHalf : Dropped::kAboveHalf);
}

}  // namespace

u128 DivPow10(u128 mag, int64_t k, Dropped* dropped) {
  if (k <= 0) {
    *dropped = Dropped::kZero;
    return mag;
  }
  if (k >= 39) {  // any 128-bit magnitude is below half of 10^39
    *dropped = mag == 0 ? Dropped::kZero : Dropped::kBelowHalf;
    return 0;
  }
  uint64_t r;
  if (k <= 19) {
    const uint64_t d = kPow10.p64[k];
    if ((mag >> 64) == 0) {
      const uint64_t m = static_cast<uint64_t>(mag);
      *dropped = DroppedOf<uint64_t>(m % d, d);
      return m / d;
    }
    u128 q = DivModU64(mag, d, &r);
    *dropped = DroppedOf<uint64_t>(r, d);
    return q;
  }
  // The low 19 digits first; they only matter as a sticky flag below the top part.
  uint64_t low;
  u128 q1 = DivModU64(mag, kPow10.p64[19], &low);
  const uint64_t d = kPow10.p64[k - 19];
  u128 q = DivModU64(q1, d, &r);
  *dropped = DroppedOf<uint64_t>(r, d);
  if (low != 0) *dropped = WithSticky(*dropped);
  return q;
}

int StoreRounded(u128 mag, Dropped dropped, bool negative, int mode, Numeric* out) {
  if (mag >= kMagnitudeLimit) return Overflow(negative, out);
  if (RoundsUp(dropped, mode, negative, (mag & 1) != 0)) {
    ++mag;
    if (mag >= kMagnitudeLimit) return Overflow(negative, out);
  }
  *out = FromInt128(negative ? -static_cast<i128>(mag) : static_cast<i128>(mag));
  return Status(dropped);
}

int ShiftRoundStore128(u128 mag, bool negative, int64_t shift, int mode, Numeric* out) {
  if (shift == 0) return StoreRounded(mag, Dropped::kZero, negative, mode, out);
  if (shift < 0) {
    Dropped dropped;
    u128 q = DivPow10(mag, -shift, &dropped);
    return StoreRounded(q, dropped, negative, mode, out);
  }
  if (mag == 0) {
    *out = Numeric{0, 0};
    return Q7_NUMERIC_EXACT;
  }
  u128 product;
  if (shift > 38 || __builtin_mul_overflow(mag, kPow10.p128[shift], &product)) return Overflow(negative, out);
  return StoreRounded(product, Dropped::kZero, negative, mode, out);
}

int StoreRoundedExt(ExtendedNumeric mag, Dropped dropped, bool negative, int mode, Numeric* out) {
  if (!mag.FitsU128()) return Overflow(negative, out);
  return StoreRounded(mag.Low128(), dropped, negative, mode, out);
}

int ShiftRoundStore(const ExtendedNumeric& mag, bool negative, int64_t shift, int mode, Numeric* out,
                    bool sticky) {
  if (!sticky && mag.FitsU128()) return ShiftRoundStore128(mag.Low128(), negative, shift, mode, out);
  ExtendedNumeric m = mag;
  Dropped dropped = Dropped::kZero;
  if (shift > 0) {
    if (m.MulPow10(shift)) return Overflow(negative, out);
  } else if (shift < 0) {
    if (m.FitsU128()) {
      u128 q = DivPow10(m.Low128(), -shift, &dropped);
      m = ExtendedNumeric::FromU128(q);
    } else {
      dropped = m.DivPow10(-shift);
    }
  }
  if (sticky) dropped = WithSticky(dropped);
  return StoreRoundedExt(m, dropped, negative, mode, out);
}

}  // namespace q7num

using namespace q7num;

// ---- ExtendedNumeric ----

ExtendedNumeric ExtendedNumeric::Product(u128 a, u128 b) {
  const uint64_t a0 = static_cast<uint64_t>(a), a1 = static_cast<uint64_t>(a >> 64);
  const uint64_t b0 = static_cast<uint64_t>(b), b1 = static_cast<uint64_t>(b >> 64);
  const u128 p00 = static_cast<u128>(a0) * b0, p01 = static_cast<u128>(a0) * b1;
  const u128 p10 = static_cast<u128>(a1) * b0, p11 = static_cast<u128>(a1) * b1;
  const u128 mid = (p00 >> 64) + static_cast<uint64_t>(p01) + static_cast<uint64_t>(p10);
  const u128 hi = (mid >> 64) + (p01 >> 64) + (p10 >> 64) + static_cast<uint64_t>(p11);
  return ExtendedNumeric{{static_cast<uint64_t>(p00), static_cast<uint64_t>(mid), static_cast<uint64_t>(hi),
                          static_cast<uint64_t>(hi >> 64) + static_cast<uint64_t>(p11 >> 64)}};
}

int ExtendedNumeric::Compare(const ExtendedNumeric& o) const {
  for (int i = 3; i >= 0; --i) {
    if (w[i] != o.w[i]) return w[i] < o.w[i] ? -1 : 1;
  }
  return 0;
}

bool ExtendedNumeric::MulSmall(uint64_t m) {
  uint64_t carry = 0;
  for (int i = 0; i < 4; ++i) {
    const u128 t = static_cast<u128>(w[i]) * m + carry;
    w[i] = static_cast<uint64_t>(t);
    carry = static_cast<uint64_t>(t >> 64);
  }
  return carry != 0;
}

bool ExtendedNumeric::MulPow10(int64_t k) {
  if (k <= 0 || IsZero()) return false;
  if (k > 77) return true;  // any non-zero value times 10^78 exceeds 2^256
  for (; k > 19; k -= 19) {
    if (MulSmall(kPow10.p64[19])) return true;
  }
  return MulSmall(kPow10.p64[k]);
}

bool ExtendedNumeric::Add(const ExtendedNumeric& o) {
  unsigned char carry = 0;
  for (int i = 0; i < 4; ++i) {
    const u128 t = static_cast<u128>(w[i]) + o.w[i] + carry;
    w[i] = static_cast<uint64_t>(t);
    carry = static_cast<unsigned char>(t >> 64);
  }
  return carry != 0;
}

void ExtendedNumeric::Sub(const ExtendedNumeric& o) {
  uint64_t borrow = 0;
  for (int i = 0; i < 4; ++i) {
    const uint64_t a = w[i], b = o.w[i];
    const uint64_t t = a - b - borrow;
    borrow = (a < b) || (a - b < borrow);
    w[i] = t;
  }
}

uint64_t ExtendedNumeric::DivSmall(uint64_t d) {
  uint64_t rem = 0;
  for (int i = 3; i >= 0; --i) {
    if (rem == 0 && w[i] < d) {
      rem = w[i];
      w[i] = 0;
      continue;
    }
    w[i] = Div128By64(rem, w[i], d, &rem);
  }
  return rem;
}

Dropped ExtendedNumeric::DivPow10(int64_t k) {
  if (k <= 0) return Dropped::kZero;
  if (k >= 78) {  // 2^256 is below half of 10^78
    const bool zero = IsZero();
    *this = FromU128(0);
    return zero ? Dropped::kZero : Dropped::kBelowHalf;
  }
  bool sticky = false;
  for (; k > 19; k -= 19) sticky |= DivSmall(kPow10.p64[19]) != 0;
  const uint64_t d = kPow10.p64[k];
  Dropped dropped = DroppedOf<uint64_t>(DivSmall(d), d);
  return sticky ? WithSticky(dropped) : dropped;
}

void ExtendedNumeric::DivMod(const ExtendedNumeric& d, ExtendedNumeric* q, ExtendedNumeric* r) const {
  if (FitsU128() && d.FitsU128()) {
    const u128 a = Low128(), b = d.Low128();
    *q = FromU128(a / b);
    *r = FromU128(a % b);
    return;
  }
  if ((d.w[1] | d.w[2] | d.w[3]) == 0) {
    *q = *this;
    *r = FromU128(q->DivSmall(d.w[0]));
    return;
  }
  uint32_t u32[8], v32[8], q32[8] = {}, r32[8] = {};
  for (int i = 0; i < 4; ++i) {
    u32[2 * i] = static_cast<uint32_t>(w[i]);
    u32[2 * i + 1] = static_cast<uint32_t>(w[i] >> 32);
    v32[2 * i] = static_cast<uint32_t>(d.w[i]);
    v32[2 * i + 1] = static_cast<uint32_t>(d.w[i] >> 32);
  }
  int m = 8, n = 8;
  while (m > 0 && u32[m - 1] == 0) --m;
  while (n > 0 && v32[n - 1] == 0) --n;
  if (Compare(d) < 0) {
    *q = FromU128(0);
    *r = *this;
    return;
  }
  DivideDigits(u32, m, v32, n, q32, r32);
  for (int i = 0; i < 4; ++i) {
    q->w[i] = q32[2 * i] | (static_cast<uint64_t>(q32[2 * i + 1]) << 32);
    r->w[i] = r32[2 * i] | (static_cast<uint64_t>(r32[2 * i + 1]) << 32);
  }
}

void dump(const Numeric* x) {
  const uint64_t hi = static_cast<uint64_t>(x->high);
  printf("(%08x,%08x,%08x,%08x)\n", static_cast<unsigned>(hi >> 32), static_cast<unsigned>(hi),
         static_cast<unsigned>(x->low >> 32), static_cast<unsigned>(x->low));
}

// ---- Exported functions ----

namespace {

int AddSameScale(const Numeric* a, const Numeric* b, Numeric* r, bool subtract) {
  const i128 x = ToInt128(*a), y = ToInt128(*b);
  i128 s;
  const bool overflow = subtract ? __builtin_sub_overflow(x, y, &s) : __builtin_add_overflow(x, y, &s);
  if (overflow) return Overflow(s > 0, r);  // the wrapped sum has the opposite sign
  if (s == kNanValue) return Overflow(true, r);
  *r = FromInt128(s);
  return Q7_NUMERIC_EXACT;
}

bool ModesValid(const NumericInfo* a, const NumericInfo* b, const NumericInfo* c) {
  return IsValidMode(a->roundingMode) && IsValidMode(b->roundingMode) && IsValidMode(c->roundingMode);
}

// A signed 256-bit value as sign and magnitude.
struct SignedExt {
  ExtendedNumeric mag;
  bool negative;
};

SignedExt AddSigned(const SignedExt& a, const SignedExt& b) {
  SignedExt s;
  if (a.negative == b.negative) {
    s.mag = a.mag;
    s.mag.Add(b.mag);  // both below 2^255 by construction
    s.negative = a.negative;
  } else if (a.mag.Compare(b.mag) >= 0) {
    s.mag = a.mag;
    s.mag.Sub(b.mag);
    s.negative = a.negative;
  } else {
    s.mag = b.mag;
    s.mag.Sub(a.mag);
    s.negative = b.negative;
  }
  if (s.mag.IsZero()) s.negative = false;
  return s;
}

int RescalingAddSub(const NumericInfo* ia, const NumericInfo* ib, const NumericInfo* ir, const Numeric* a,
                    const Numeric* b, Numeric* r, bool subtract) {
  if (ia->scale == ib->scale && ib->scale == ir->scale) {
    if (IsNan(*a) || IsNan(*b)) {
      *r = NanNumeric();
      return Q7_NUMERIC_NAN;
    }
    if (!ModesValid(ia, ib, ir)) return Q7_NUMERIC_INVALID_MODE;
    return AddSameScale(a, b, r, subtract);
  }
  if (IsNan(*a) || IsNan(*b)) {
    *r = NanNumeric();
    return Q7_NUMERIC_NAN;
  }
  if (!ModesValid(ia, ib, ir)) return Q7_NUMERIC_INVALID_MODE;
  const int mode = ir->roundingMode;
  i128 x = ToInt128(*a), y = ToInt128(*b);
  if (subtract) y = -y;  // never overflows: NaN is excluded
  int64_t sa = ia->scale, sb = ib->scale;
  if (x == 0) sa = sb;
  if (y == 0) sb = sa;
  const int64_t d = sb - sa;
  const int64_t common = d >= 0 ? sb : sa;
  const int64_t shift = static_cast<int64_t>(ir->scale) - common;

  // Operands that align within 128 bits.
  if (d >= -38 && d <= 38) {
    i128 xa = x, ya = y, sum;
    if (!__builtin_mul_overflow(d > 0 ? x : y, static_cast<i128>(kPow10.p128[d > 0 ? d : -d]),
                                d > 0 ? &xa : &ya) &&
        !__builtin_add_overflow(xa, ya, &sum)) {
      return ShiftRoundStore128(Magnitude(sum), sum < 0, shift, mode, r);
    }
    SignedExt ea{ExtendedNumeric::FromU128(Magnitude(x)), x < 0};
    SignedExt eb{ExtendedNumeric::FromU128(Magnitude(y)), y < 0};
    (d > 0 ? ea : eb).mag.MulPow10(d > 0 ? d : -d);  // below 2^254
    SignedExt s = AddSigned(ea, eb);
    return ShiftRoundStore(s.mag, s.negative, shift, mode, r);
  }

  // Scales far apart: the operand with the smaller scale is moved up by 10^38 (10^48 when it is
  // small), the other one down to meet it. Its lost digits are less than one unit there and lie at
  // least ten digits below any result that fits, so they only count as a sticky fraction: when
  // they pull against the sum's sign, the sum's magnitude gives up one unit to them.
  const i128 small_op = d > 0 ? x : y, large_op = d > 0 ? y : x;
  const int64_t high = static_cast<int64_t>(static_cast<u128>(small_op) >> 64);
  const int64_t distance = d > 0 ? d : -d;
  const int64_t up = (high == 0 || high == -1) ? (distance < 48 ? distance : 48) : 38;
  SignedExt es{ExtendedNumeric::FromU128(Magnitude(small_op)), small_op < 0};
  es.mag.MulPow10(up);
  SignedExt el{ExtendedNumeric::FromU128(Magnitude(large_op)), large_op < 0};
  const Dropped lost = el.mag.DivPow10(distance - up);
  const int64_t scale = (d > 0 ? sa : sb) + up;
  SignedExt s = AddSigned(es, el);
  const bool sticky = lost != Dropped::kZero;
  if (sticky) {
    if (s.mag.IsZero()) {
      s.negative = el.negative;
    } else if (s.negative != el.negative) {
      s.mag.Sub(ExtendedNumeric::FromU128(1));
    }
  }
  return ShiftRoundStore(s.mag, s.negative, static_cast<int64_t>(ir->scale) - scale, mode, r, sticky);
}

// Rounds x to `digits` fraction digits by mode and keeps it at i's scale.
int RoundToDigits(const NumericInfo* i, int digits, Numeric* x, int mode) {
  if (IsNan(*x)) return Q7_NUMERIC_NAN;
  if (!IsValidMode(mode)) return Q7_NUMERIC_INVALID_MODE;
  if (digits >= i->scale) return Q7_NUMERIC_EXACT;
  const int64_t k = static_cast<int64_t>(i->scale) - digits;
  const i128 v = ToInt128(*x);
  const bool negative = v < 0;
  Dropped dropped;
  u128 q = DivPow10(Magnitude(v), k, &dropped);
  if (RoundsUp(dropped, mode, negative, (q & 1) != 0)) ++q;
  u128 back = 0;
  if (q != 0 && (k > 38 || __builtin_mul_overflow(q, kPow10.p128[k], &back) || back >= kMagnitudeLimit)) {
    return Overflow(negative, x);
  }
  *x = FromInt128(negative ? -static_cast<i128>(back) : static_cast<i128>(back));
  return Status(dropped);
}

template <class Int>
int NumToInteger(const Numeric* x, const NumericInfo* i, Int* out) {
  *out = 0;
  if (IsNan(*x)) return Q7_NUMERIC_NAN;
  const i128 v = ToInt128(*x);
  const bool negative = v < 0;
  u128 q = Magnitude(v);
  Dropped dropped = Dropped::kZero;
  if (i->scale > 0) {
    if (!IsValidMode(i->roundingMode)) return Q7_NUMERIC_INVALID_MODE;
    q = DivPow10(q, i->scale, &dropped);
    if (RoundsUp(dropped, i->roundingMode, negative, (q & 1) != 0)) ++q;
  } else if (i->scale < 0 && q != 0) {
    const int64_t k = -static_cast<int64_t>(i->scale);
    if (k > 38 || __builtin_mul_overflow(q, kPow10.p128[k], &q)) {
      return negative ? Q7_NUMERIC_OVERFLOW_NEGATIVE : Q7_NUMERIC_OVERFLOW_POSITIVE;
    }
  }
  using U = std::make_unsigned_t<Int>;
  const u128 limit = static_cast<u128>(static_cast<U>(std::numeric_limits<Int>::max())) + (negative ? 1 : 0);
  if (q > limit) return negative ? Q7_NUMERIC_OVERFLOW_NEGATIVE : Q7_NUMERIC_OVERFLOW_POSITIVE;
  *out = static_cast<Int>(negative ? static_cast<U>(0) - static_cast<U>(q) : static_cast<U>(q));
  return Status(dropped);
}

int IntegerToNum(int64_t v, const NumericInfo* i, Numeric* out) {
  if (i->scale < 0 && !IsValidMode(i->roundingMode)) return Q7_NUMERIC_INVALID_MODE;
  const bool negative = v < 0;
  const u128 mag = negative ? static_cast<u128>(0 - static_cast<uint64_t>(v)) : static_cast<u128>(v);
  return ShiftRoundStore128(mag, negative, i->scale, i->roundingMode, out);
}

// 5^0 .. 5^27, all below 2^63.
struct Pow5Table {
  uint64_t p[28];
  constexpr Pow5Table() : p() {
    uint64_t v = 1;
    for (int k = 0; k < 28; ++k, v *= 5) p[k] = v;
  }
};
constexpr Pow5Table kPow5{};

// Dropped part of the low `bits` bits of n (0 < bits < 128).
Dropped DroppedBits(u128 n, int bits) {
  const u128 rem = n & ((static_cast<u128>(1) << bits) - 1);
  const u128 half = static_cast<u128>(1) << (bits - 1);
  if (rem == 0) return Dropped::kZero;
  return rem < half ? Dropped::kBelowHalf : (rem == half ? Dropped::kHalf : Dropped::kAboveHalf);
}

constexpr double kLog2Of10 = 3.321928094887362;

}  // namespace

// ---- The decimal operations behind the exported RQ7Numeric functions ----

namespace q7num {

void NumericSetZero(Numeric* x) { *x = Numeric{0, 0}; }

void NumericSetNan(Numeric* x) { *x = NanNumeric(); }

int NumericIsZero(const Numeric* x) { return (x->low | static_cast<uint64_t>(x->high)) == 0; }

int NumericIsNan(const Numeric* x) { return IsNan(*x) ? 1 : 0; }

int NumericAdd(const Numeric* a, const Numeric* b, Numeric* r) {
  if (IsNan(*a) || IsNan(*b)) {
    *r = NanNumeric();
    return Q7_NUMERIC_NAN;
  }
  return AddSameScale(a, b, r, false);
}

int NumericSub(const Numeric* a, const Numeric* b, Numeric* r) {
  if (IsNan(*a) || IsNan(*b)) {
    *r = NanNumeric();
    return Q7_NUMERIC_NAN;
  }
  return AddSameScale(a, b, r, true);
}

int NumericRescalingAdd(const NumericInfo* ia, const NumericInfo* ib, const NumericInfo* ir, const Numeric* a,
                        const Numeric* b, Numeric* r) {
  return RescalingAddSub(ia, ib, ir, a, b, r, false);
}

int NumericRescalingSub(const NumericInfo* ia, const NumericInfo* ib, const NumericInfo* ir, const Numeric* a,
                        const Numeric* b, Numeric* r) {
  return RescalingAddSub(ia, ib, ir, a, b, r, true);
}

int NumericRescalingMul(const NumericInfo* ia, const NumericInfo* ib, const NumericInfo* ir, const Numeric* a,
                        const Numeric* b, Numeric* r) {
  if (IsNan(*a) || IsNan(*b)) {
    *r = NanNumeric();
    return Q7_NUMERIC_NAN;
  }
  if (!ModesValid(ia, ib, ir)) return Q7_NUMERIC_INVALID_MODE;
  const i128 x = ToInt128(*a), y = ToInt128(*b);
  const bool negative = (x < 0) != (y < 0);
  const u128 mx = Magnitude(x), my = Magnitude(y);
  const int64_t shift = static_cast<int64_t>(ir->scale) - ia->scale - ib->scale;
  if ((mx >> 64) == 0 && (my >> 64) == 0) {
    return ShiftRoundStore128(mx * my, negative, shift, ir->roundingMode, r);
  }
  return ShiftRoundStore(ExtendedNumeric::Product(mx, my), negative, shift, ir->roundingMode, r);
}

int NumericRescalingDiv(const NumericInfo* ia, const NumericInfo* ib, const NumericInfo* ir, const Numeric* a,
                        const Numeric* b, Numeric* r) {
  const i128 x = ToInt128(*a), y = ToInt128(*b);
  if (IsNan(*a) || IsNan(*b) || y == 0) {
    *r = NanNumeric();
    return Q7_NUMERIC_NAN;
  }
  if (!ModesValid(ia, ib, ir)) return Q7_NUMERIC_INVALID_MODE;
  const int mode = ir->roundingMode;
  const bool negative = (x < 0) != (y < 0);
  const u128 mx = Magnitude(x), my = Magnitude(y);
  if (mx == 0) {
    *r = Numeric{0, 0};
    return Q7_NUMERIC_EXACT;
  }
  // Quotient of mx * 10^e by my, with e = b.scale - a.scale + r.scale.
  const int64_t e = static_cast<int64_t>(ib->scale) - ia->scale + ir->scale;
  if (e >= 0) {
    u128 num;
    if (e <= 38 && (my >> 64) == 0 && !__builtin_mul_overflow(mx, kPow10.p128[e], &num)) {
      uint64_t rem;
      const uint64_t dv = static_cast<uint64_t>(my);
      const u128 q = DivModU64(num, dv, &rem);
      return StoreRounded(q, DroppedOf<uint64_t>(rem, dv), negative, mode, r);
    }
    ExtendedNumeric n = ExtendedNumeric::FromU128(mx);
    if (n.MulPow10(e)) return Overflow(negative, r);  // at least 2^256 / 2^127
    ExtendedNumeric dv = ExtendedNumeric::FromU128(my), q, rem;
    n.DivMod(dv, &q, &rem);
    ExtendedNumeric rest = dv;
    rest.Sub(rem);
    const int c = rem.Compare(rest);
    const Dropped dropped =
        rem.IsZero() ? Dropped::kZero
                     : (c < 0 ? Dropped::kBelowHalf : (c == 0 ? Dropped::kHalf : Dropped::kAboveHalf));
    return StoreRoundedExt(q, dropped, negative, mode, r);
  }
  // e < 0: the divisor moves up instead, so that no digit of the dividend is lost before dividing.
  const int64_t k = -e;
  if (k >= 39) {  // divisor >= 10^39 > 2 * dividend
    return StoreRounded(0, Dropped::kBelowHalf, negative, mode, r);
  }
  u128 dv;
  if (!__builtin_mul_overflow(my, kPow10.p128[k], &dv)) {
    return StoreRounded(mx / dv, DroppedOf<u128>(mx % dv, dv), negative, mode, r);
  }
  // The divisor exceeds 128 bits, so it is larger than twice the dividend.
  return StoreRounded(0, Dropped::kBelowHalf, negative, mode, r);
}

int NumericMul(Numeric* x, int k) {
  if (IsNan(*x)) return Q7_NUMERIC_NAN;
  if (k == 0) {
    *x = Numeric{0, 0};
    return Q7_NUMERIC_EXACT;
  }
  i128 p;
  if (__builtin_mul_overflow(ToInt128(*x), static_cast<i128>(k), &p) || p == kNanValue) {
    *x = NanNumeric();
    return Q7_NUMERIC_OVERFLOW_NEGATIVE;  // callers expect 4 for an overflow of either sign
  }
  *x = FromInt128(p);
  return Q7_NUMERIC_EXACT;
}

int NumericDiv(Numeric* x, const NumericInfo* i, int k) {
  if (k == 0) {
    *x = NanNumeric();
    return Q7_NUMERIC_NAN;
  }
  if (IsNan(*x)) return Q7_NUMERIC_NAN;
  const i128 v = ToInt128(*x);
  if (k == 1) return Q7_NUMERIC_EXACT;
  if (k == -1) {
    *x = FromInt128(-v);
    return Q7_NUMERIC_EXACT;
  }
  const bool negative = (v < 0) != (k < 0);
  const uint64_t dv = k < 0 ? -static_cast<uint64_t>(static_cast<int64_t>(k)) : static_cast<uint64_t>(k);
  uint64_t rem;
  const u128 q = DivModU64(Magnitude(v), dv, &rem);
  if (!IsValidMode(i->roundingMode)) {
    *x = FromInt128(negative ? -static_cast<i128>(q) : static_cast<i128>(q));
    return Q7_NUMERIC_INVALID_MODE;
  }
  return StoreRounded(q, DroppedOf<uint64_t>(rem, dv), negative, i->roundingMode, x);
}

int NumericCmp(const Numeric* a, const Numeric* b) { return Compare(*a, *b); }

int NumericRescalingCmp(const NumericInfo* ia, const NumericInfo* ib, const Numeric* a, const Numeric* b) {
  if (!IsValidMode(ia->roundingMode) || !IsValidMode(ib->roundingMode)) return Q7_NUMERIC_INVALID_MODE;
  if (ia->scale == ib->scale) return Compare(*a, *b);
  if (IsNan(*a)) return 1;
  if (IsNan(*b)) return -1;
  const i128 x = ToInt128(*a), y = ToInt128(*b);
  const int64_t d = static_cast<int64_t>(ib->scale) - ia->scale;
  if (x == 0 || y == 0 || d > 38 || d < -38) {
    // A non-zero operand with the smaller scale outweighs the other one when the scales lie more
    // than 38 digits apart (it is at least 10^39 units of the larger scale); a zero operand
    // compares by the other's sign.
    int sx = (x > 0) - (x < 0), sy = (y > 0) - (y < 0);
    if (x != 0 && y != 0) {
      if (d > 0)
        sy = 0;
      else
        sx = 0;
    }
    return sx < sy ? 1 : (sx > sy ? -1 : 0);
  }
  SignedExt ea{ExtendedNumeric::FromU128(Magnitude(x)), x < 0};
  SignedExt eb{ExtendedNumeric::FromU128(Magnitude(y)), y < 0};
  (d > 0 ? ea : eb).mag.MulPow10(d > 0 ? d : -d);
  eb.negative = !eb.negative;
  SignedExt diff = AddSigned(ea, eb);
  if (diff.mag.IsZero()) return 0;
  return diff.negative ? 1 : -1;
}

int NumericCeil(const NumericInfo* i, int digits, Numeric* x) {
  return RoundToDigits(i, digits, x, Q7_ROUND_CEILING);
}

int NumericFloor(const NumericInfo* i, int digits, Numeric* x) {
  return RoundToDigits(i, digits, x, Q7_ROUND_FLOOR);
}

int NumericRound(const NumericInfo* i, int digits, Numeric* x) {
  return RoundToDigits(i, digits, x, i->roundingMode);
}

int NumericRescale(const NumericInfo* from, const NumericInfo* to, const Numeric* in, Numeric* out) {
  if (IsNan(*in)) {
    *out = NanNumeric();
    return Q7_NUMERIC_NAN;
  }
  const int64_t d = static_cast<int64_t>(to->scale) - from->scale;
  if (d == 0) {
    *out = *in;
    return Q7_NUMERIC_EXACT;
  }
  if (d < 0 && (!IsValidMode(from->roundingMode) || !IsValidMode(to->roundingMode))) {
    *out = *in;
    return Q7_NUMERIC_INVALID_MODE;
  }
  const i128 v = ToInt128(*in);
  // Rounding toward fewer digits never overflows; more digits may, and callers take 3 for both signs.
  const int status = ShiftRoundStore128(Magnitude(v), v < 0, d, to->roundingMode, out);
  return status == Q7_NUMERIC_ROUNDED ? Q7_NUMERIC_EXACT
                                      : (status == Q7_NUMERIC_EXACT ? status : Q7_NUMERIC_OVERFLOW_POSITIVE);
}

int NumericLong2Num(long v, const NumericInfo* i, Numeric* out) { return IntegerToNum(v, i, out); }

int NumericInt2Num(int v, const NumericInfo* i, Numeric* out) { return IntegerToNum(v, i, out); }

int NumericNum2Long(const Numeric* x, const NumericInfo* i, long* out) {
  return NumToInteger<long>(x, i, out);
}

int NumericNum2Int(const Numeric* x, const NumericInfo* i, int* out) { return NumToInteger<int>(x, i, out); }

int NumericDbl2Num(const NumericInfo* i, Numeric* out, double v) {
  if (v == 0) {
    *out = Numeric{0, 0};
    return Q7_NUMERIC_EXACT;
  }
  const bool negative = std::signbit(v);
  if (!std::isfinite(v)) return Overflow(negative, out);
  if (!IsValidMode(i->roundingMode)) return Q7_NUMERIC_INVALID_MODE;
  const int mode = i->roundingMode;
  uint64_t bits;
  memcpy(&bits, &v, sizeof bits);
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  uint64_t m = bits & ((1ull << 52) - 1);
  int64_t e;
  if (biased == 0) {
    e = -1074;
  } else {
    m |= 1ull << 52;
    e = biased - 1075;
  }
  const int tz = __builtin_ctzll(m);
  m >>= tz;
  e += tz;
  const int64_t s = i->scale;  // |v| * 10^s = m * 2^e * 10^s

  if (s >= 0 && s <= 27) {
    const u128 n = static_cast<u128>(m) * kPow5.p[s];  // below 2^116
    const int64_t k = e + s;                           // |v| * 10^s = n * 2^k
    if (k >= 0) {
      if (k >= 127 || (n >> (127 - k)) != 0) return Overflow(negative, out);
      return StoreRounded(n << k, Dropped::kZero, negative, mode, out);
    }
    if (k <= -128) return StoreRounded(0, Dropped::kBelowHalf, negative, mode, out);
    return StoreRounded(n >> -k, DroppedBits(n, static_cast<int>(-k)), negative, mode, out);
  }

  // The result's size settles the far cases: at least 2^128 overflows, below 1/4 rounds from 0.
  const double log2_low =
      static_cast<double>(e) + (63 - __builtin_clzll(m)) + static_cast<double>(s) * kLog2Of10;
  if (log2_low > 128.5) return Overflow(negative, out);
  if (log2_low + 1 < -2.5) return StoreRounded(0, Dropped::kBelowHalf, negative, mode, out);
  BigNum num(m), den(1);
  bool ok = e >= 0 ? num.ShiftLeft(e) : den.ShiftLeft(-e);
  ok = ok && (s >= 0 ? num.MulPow10(s) : den.MulPow10(-s));
  if (!ok) return Overflow(negative, out);  // not reached: the bounds above keep both small
  BigNum q(0);
  Dropped dropped;
  DivideBig(num, den, &q, &dropped);
  if (q.n > 4) return Overflow(negative, out);
  return StoreRounded(q.Low128(), dropped, negative, mode, out);
}

int NumericNum2Dbl(const Numeric* x, const NumericInfo* i, double* out) {
  const i128 v = ToInt128(*x);
  if (v == 0) {
    *out = 0.0;
    return Q7_NUMERIC_EXACT;
  }
  const uint64_t nan_bits = ~0ull;
  if (v == kNanValue) {
    memcpy(out, &nan_bits, sizeof *out);
    return Q7_NUMERIC_NAN;
  }
  if (!IsValidMode(i->roundingMode)) {
    memcpy(out, &nan_bits, sizeof *out);
    return Q7_NUMERIC_INVALID_MODE;
  }
  const int mode = i->roundingMode;
  const bool negative = v < 0;
  const u128 mag = Magnitude(v);
  const int64_t s = i->scale;
  constexpr u128 k2to53 = static_cast<u128>(1) << 53;
  static constexpr double kExactPow10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                             1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  // Both operands exact doubles: the division rounds to nearest, and below 2^53 no quotient lies
  // exactly halfway between two doubles, so all half modes agree with it.
  if (mag < k2to53 && s >= 0 && s <= 22 && mode >= Q7_ROUND_HALF_UP) {
    const uint64_t m = static_cast<uint64_t>(mag);
    const double r = static_cast<double>(m) / kExactPow10[s];
    *out = negative ? -r : r;
    return m % kPow5.p[s] == 0 ? Q7_NUMERIC_EXACT : Q7_NUMERIC_ROUNDED;
  }
  if (s <= 0 && s >= -38) {
    u128 n;
    if (!__builtin_mul_overflow(mag, kPow10.p128[-s], &n) && n < k2to53) {
      const double r = static_cast<double>(static_cast<uint64_t>(n));
      *out = negative ? -r : r;
      return Q7_NUMERIC_EXACT;
    }
  }

  const double inf = HUGE_VAL;
  // |x| * 10^-s at least 10^309 is beyond every double; below 10^-361 it is far below the least.
  if (s < -309) {
    *out = negative ? -inf : inf;
    return negative ? Q7_NUMERIC_OVERFLOW_NEGATIVE : Q7_NUMERIC_OVERFLOW_POSITIVE;
  }
  int64_t lsb;  // exponent of the last kept bit
  uint64_t q;
  Dropped dropped;
  if (s > 400) {
    lsb = -1074;
    q = 0;
    dropped = Dropped::kBelowHalf;
  } else {
    BigNum num(mag), den(1);
    if (s < 0) num.MulPow10(-s);
    if (s > 0) den.MulPow10(s);
    // e: 2^e <= num / den < 2^(e + 1)
    int64_t e = num.BitLength() - den.BitLength();
    {
      BigNum a = num, b = den;
      if (e >= 0)
        b.ShiftLeft(e);
      else
        a.ShiftLeft(-e);
      if (a.Compare(b) < 0) --e;
    }
    lsb = (e < -1022 ? -1022 : e) - 52;
    if (lsb >= 0)
      den.ShiftLeft(lsb);
    else
      num.ShiftLeft(-lsb);
    BigNum qb(0);
    DivideBig(num, den, &qb, &dropped);
    q = qb.Low64();  // below 2^53
  }
  if (RoundsUp(dropped, mode, negative, (q & 1) != 0)) ++q;
  if (q == (1ull << 53)) {
    q >>= 1;
    ++lsb;
  }
  if (lsb > 971) {
    *out = negative ? -inf : inf;
    return negative ? Q7_NUMERIC_OVERFLOW_NEGATIVE : Q7_NUMERIC_OVERFLOW_POSITIVE;
  }
  const double r = std::ldexp(static_cast<double>(q), static_cast<int>(lsb));
  *out = negative ? -r : r;
  return Status(dropped);
}

}  // namespace q7num
