// Exported decimal arithmetic and decimal texts. They take no lock and touch no database, so there
// is no frame to run them in: each is the values layer's own operation (values/Numeric.h,
// values/NumericText.h) under its exported name, and none of them throws.
#include "q7api.h"
#include "values/Numeric.h"
#include "values/NumericText.h"

using namespace q7num;

// ---- Setting and testing ----

Q7_EXPORT void RQ7NumericSetZero(Numeric* x) { NumericSetZero(x); }

Q7_EXPORT void RQ7NumericSetNan(Numeric* x) { NumericSetNan(x); }

Q7_EXPORT int RQ7NumericIsZero(const Numeric* x) { return NumericIsZero(x); }

Q7_EXPORT int RQ7NumericIsNan(const Numeric* x) { return NumericIsNan(x); }

// ---- Arithmetic ----

Q7_EXPORT int RQ7NumericAdd(const Numeric* a, const Numeric* b, Numeric* r) { return NumericAdd(a, b, r); }

Q7_EXPORT int RQ7NumericSub(const Numeric* a, const Numeric* b, Numeric* r) { return NumericSub(a, b, r); }

Q7_EXPORT int RQ7NumericRescalingAdd(const NumericInfo* ia, const NumericInfo* ib, const NumericInfo* ir,
                                     const Numeric* a, const Numeric* b, Numeric* r) {
  return NumericRescalingAdd(ia, ib, ir, a, b, r);
}

Q7_EXPORT int RQ7NumericRescalingSub(const NumericInfo* ia, const NumericInfo* ib, const NumericInfo* ir,
                                     const Numeric* a, const Numeric* b, Numeric* r) {
  return NumericRescalingSub(ia, ib, ir, a, b, r);
}

Q7_EXPORT int RQ7NumericRescalingMul(const NumericInfo* ia, const NumericInfo* ib, const NumericInfo* ir,
                                     const Numeric* a, const Numeric* b, Numeric* r) {
  return NumericRescalingMul(ia, ib, ir, a, b, r);
}

Q7_EXPORT int RQ7NumericRescalingDiv(const NumericInfo* ia, const NumericInfo* ib, const NumericInfo* ir,
                                     const Numeric* a, const Numeric* b, Numeric* r) {
  return NumericRescalingDiv(ia, ib, ir, a, b, r);
}

Q7_EXPORT int RQ7NumericMul(Numeric* x, int k) { return NumericMul(x, k); }

Q7_EXPORT int RQ7NumericDiv(Numeric* x, const NumericInfo* i, int k) { return NumericDiv(x, i, k); }

// ---- Comparing ----

Q7_EXPORT int RQ7NumericCmp(const Numeric* a, const Numeric* b) { return NumericCmp(a, b); }

Q7_EXPORT int RQ7NumericRescalingCmp(const NumericInfo* ia, const NumericInfo* ib, const Numeric* a,
                                     const Numeric* b) {
  return NumericRescalingCmp(ia, ib, a, b);
}

// ---- Rounding and scales ----

Q7_EXPORT int RQ7NumericCeil(const NumericInfo* i, int digits, Numeric* x) {
  return NumericCeil(i, digits, x);
}

Q7_EXPORT int RQ7NumericFloor(const NumericInfo* i, int digits, Numeric* x) {
  return NumericFloor(i, digits, x);
}

Q7_EXPORT int RQ7NumericRound(const NumericInfo* i, int digits, Numeric* x) {
  return NumericRound(i, digits, x);
}

Q7_EXPORT int RQ7NumericRescale(const NumericInfo* from, const NumericInfo* to, const Numeric* in,
                                Numeric* out) {
  return NumericRescale(from, to, in, out);
}

// ---- Conversions ----

Q7_EXPORT int RQ7NumericLong2Num(long v, const NumericInfo* i, Numeric* out) {
  return NumericLong2Num(v, i, out);
}

Q7_EXPORT int RQ7NumericInt2Num(int v, const NumericInfo* i, Numeric* out) {
  return NumericInt2Num(v, i, out);
}

Q7_EXPORT int RQ7NumericNum2Long(const Numeric* x, const NumericInfo* i, long* out) {
  return NumericNum2Long(x, i, out);
}

Q7_EXPORT int RQ7NumericNum2Int(const Numeric* x, const NumericInfo* i, int* out) {
  return NumericNum2Int(x, i, out);
}

Q7_EXPORT int RQ7NumericDbl2Num(const NumericInfo* i, Numeric* out, double v) {
  return NumericDbl2Num(i, out, v);
}

Q7_EXPORT int RQ7NumericNum2Dbl(const Numeric* x, const NumericInfo* i, double* out) {
  return NumericNum2Dbl(x, i, out);
}

// ---- Texts ----

Q7_EXPORT int RQ7NumericNum2Str(const Numeric* x, const NumericInfo* i, int shift, int digits, char* buf,
                                size_t size) {
  return NumericNum2Str(x, i, shift, digits, buf, size);
}

Q7_EXPORT int RQ7NumericNum2Dgstr(const Numeric* x, const NumericInfo* i, int shift, int digits, char* buf,
                                  size_t size) {
  return NumericNum2Dgstr(x, i, shift, digits, buf, size);
}

Q7_EXPORT int RQ7NumericStr2Num(const char* text, const NumericInfo* i, Numeric* out, const char** end) {
  return NumericStr2Num(text, i, out, end);
}

Q7_EXPORT int RQ7NumericDgstr2Num(const char* text, const NumericInfo* i, Numeric* out, const char** end) {
  return NumericDgstr2Num(text, i, out, end);
}
