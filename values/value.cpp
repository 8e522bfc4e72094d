// Value: the operand of the calculators and category conditions, its arithmetic and comparisons.
#include "values/value.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "values/Numeric.h"

using namespace q7num;

namespace {

constexpr NumericInfo kDefaultInfo{0, Q7_ROUND_HALF_EVEN};
constexpr double kNull = -HUGE_VAL;

#ifdef NDEBUG
inline void CheckType(bool, const char*, const char*) {}
#else
inline void CheckType(bool ok, const char* expression, const char* operation) {
  if (ok) return;
  fprintf(stderr, "./value: %s: Assertion `%s' failed.\n", operation, expression);
  abort();
}
#endif

// The double a mixed operation computes with: a decimal that is NULL or does not convert
// becomes minus infinity.
double ArithmeticDouble(const Value& v) {
  if (!v.IsDecimal()) return v.number.dbl;
  double d;
  const int status = q7num::NumericNum2Dbl(&v.number.num, &v.info, &d);
  return (status == Q7_NUMERIC_EXACT || status == Q7_NUMERIC_ROUNDED) ? d : kNull;
}

enum class Op { kAdd, kSub, kMul, kDiv };

Value Arithmetic(const Value& a, const Value& b, Op op) {
  if (a.IsDecimal() && b.IsDecimal()) {
    const NumericInfo ri{a.info.scale > b.info.scale ? a.info.scale : b.info.scale, Q7_ROUND_HALF_EVEN};
    Numeric r = NanNumeric();
    switch (op) {
      case Op::kAdd:
        q7num::NumericRescalingAdd(&a.info, &b.info, &ri, &a.number.num, &b.number.num, &r);
        break;
      case Op::kSub:
        q7num::NumericRescalingSub(&a.info, &b.info, &ri, &a.number.num, &b.number.num, &r);
        break;
      case Op::kMul:
        q7num::NumericRescalingMul(&a.info, &b.info, &ri, &a.number.num, &b.number.num, &r);
        break;
      case Op::kDiv:
        q7num::NumericRescalingDiv(&a.info, &b.info, &ri, &a.number.num, &b.number.num, &r);
        break;
    }
    return Value(&r, &ri);
  }
  if (!a.IsDecimal() && !b.IsDecimal()) {
    const double x = a.number.dbl, y = b.number.dbl;
    switch (op) {
      case Op::kAdd:
        return Value(x + y);
      case Op::kSub:
        return Value(x - y);
      case Op::kMul:
        return Value(x * y);
      case Op::kDiv:
        return Value(x / y);
    }
  }
  const double x = ArithmeticDouble(a), y = ArithmeticDouble(b);
  switch (op) {
    case Op::kAdd:
      return Value(x + y);
    case Op::kSub:
      return Value(x - y);
    case Op::kMul:
      return Value(x * y);
    case Op::kDiv:
      break;
  }
  return Value(y == 0.0 ? kNull : x / y);
}

enum class Rel { kGe, kLe, kGt, kLt, kEq, kNe };

// c has RQ7NumericCmp's sign: +1 when the left operand is the smaller.
bool FromCmp(int c, Rel rel) {
  switch (rel) {
    case Rel::kGe:
      return c < 1;
    case Rel::kLe:
      return c >= 0;
    case Rel::kGt:
      return c < 0;
    case Rel::kLt:
      return c >= 1;
    case Rel::kEq:
      return c == 0;
    case Rel::kNe:
      break;
  }
  return c != 0;
}

bool FromDoubles(double x, double y, Rel rel) {
  switch (rel) {
    case Rel::kGe:
      return x >= y;
    case Rel::kLe:
      return x <= y;
    case Rel::kGt:
      return x > y;
    case Rel::kLt:
      return x < y;
    case Rel::kEq:
      return x == y;
    case Rel::kNe:
      break;
  }
  return x != y;
}

bool Relation(const Value& a, const Value& b, Rel rel) {
  if (a.IsDecimal() && b.IsDecimal()) {
    return FromCmp(q7num::NumericRescalingCmp(&a.info, &b.info, &a.number.num, &b.number.num), rel);
  }
  if (a.IsDecimal()) {
    Numeric y = NanNumeric();
    if (q7num::NumericDbl2Num(&a.info, &y, b.number.dbl) == Q7_NUMERIC_OVERFLOW_POSITIVE) {
      // The double is beyond the decimal range (plus infinity or NaN included): it is the larger.
      return rel == Rel::kLe || rel == Rel::kLt || rel == Rel::kNe;
    }
    return FromCmp(q7num::NumericCmp(&a.number.num, &y), rel);
  }
  if (b.IsDecimal()) {
    double y;
    const int status = q7num::NumericNum2Dbl(&b.number.num, &b.info, &y);
    if (status == Q7_NUMERIC_OVERFLOW_POSITIVE) {
      y = HUGE_VAL;
    } else if (status != Q7_NUMERIC_EXACT && status != Q7_NUMERIC_ROUNDED) {
      y = kNull;
    }
    return FromDoubles(a.number.dbl, y, rel);
  }
  return FromDoubles(a.number.dbl, b.number.dbl, rel);
}

}  // namespace

Value::Value() : type(VALUE_Q7_DT_DOUBLE), number{}, info(kDefaultInfo) { number.dbl = 0.0; }

Value::Value(double d) : type(VALUE_Q7_DT_DOUBLE), number{}, info(kDefaultInfo) { number.dbl = d; }

Value::Value(const Numeric* n) : type(VALUE_Q7_DT_DECIMAL), number{}, info(kDefaultInfo) { number.num = *n; }

Value::Value(const Numeric* n, const NumericInfo* i) : type(VALUE_Q7_DT_DECIMAL), number{}, info(*i) {
  number.num = *n;
}

Value& Value::operator=(const double& d) {
  type = VALUE_Q7_DT_DOUBLE;
  number.num = Numeric{0, 0};
  number.dbl = d;
  return *this;
}

Value& Value::operator=(const Numeric& n) {
  type = VALUE_Q7_DT_DECIMAL;
  number.num = n;
  info = kDefaultInfo;
  return *this;
}

Value& Value::operator=(const NumericInfo& i) {
  type = VALUE_Q7_DT_DECIMAL;
  info = i;
  return *this;
}

void Value::setDecimalInfo(const NumericInfo* i) {
  CheckType(type == VALUE_Q7_DT_DECIMAL, "type==VALUE_Q7_DT_DECIMAL", "setDecimalInfo");
  info = *i;
}

NumericInfo* Value::getDecimalInfo() {
  CheckType(type == VALUE_Q7_DT_DECIMAL, "type==VALUE_Q7_DT_DECIMAL", "getDecimalInfo");
  return &info;
}

Value::operator double() const {
  CheckType(type == VALUE_Q7_DT_DOUBLE, "type==VALUE_Q7_DT_DOUBLE", "operator double");
  return number.dbl;
}

Value::operator Numeric() const {
  CheckType(type == VALUE_Q7_DT_DECIMAL, "type==VALUE_Q7_DT_DECIMAL", "operator Numeric");
  return number.num;
}

Value& Value::operator*=(int k) {
  if (IsDecimal()) {
    q7num::NumericMul(&number.num, k);
  } else {
    number.dbl *= k;
  }
  return *this;
}

Value& Value::operator/=(int k) {
  if (IsDecimal()) {
    q7num::NumericDiv(&number.num, &info, k);
  } else {
    number.dbl /= k;
  }
  return *this;
}

Value Value::vfloor(const Value& v) {
  Value r = v;
  if (r.IsDecimal()) {
    q7num::NumericFloor(&r.info, 0, &r.number.num);
  } else {
    r.number.dbl = std::floor(r.number.dbl);
  }
  return r;
}

Value Value::vceil(const Value& v) {
  Value r = v;
  if (r.IsDecimal()) {
    q7num::NumericCeil(&r.info, 0, &r.number.num);
  } else {
    r.number.dbl = std::ceil(r.number.dbl);
  }
  return r;
}

Value Value::vround(const Value& v) {
  Value r = v;
  if (r.IsDecimal()) {
    q7num::NumericRound(&r.info, 0, &r.number.num);
  } else {
    r.number.dbl = std::floor(r.number.dbl + 0.5);
  }
  return r;
}

Value operator+(const Value& a, const Value& b) { return Arithmetic(a, b, Op::kAdd); }
Value operator-(const Value& a, const Value& b) { return Arithmetic(a, b, Op::kSub); }
Value operator*(const Value& a, const Value& b) { return Arithmetic(a, b, Op::kMul); }
Value operator/(const Value& a, const Value& b) { return Arithmetic(a, b, Op::kDiv); }

bool operator>=(const Value& a, const Value& b) { return Relation(a, b, Rel::kGe); }
bool operator<=(const Value& a, const Value& b) { return Relation(a, b, Rel::kLe); }
bool operator>(const Value& a, const Value& b) { return Relation(a, b, Rel::kGt); }
bool operator<(const Value& a, const Value& b) { return Relation(a, b, Rel::kLt); }
bool operator==(const Value& a, const Value& b) { return Relation(a, b, Rel::kEq); }
bool operator!=(const Value& a, const Value& b) { return Relation(a, b, Rel::kNe); }
