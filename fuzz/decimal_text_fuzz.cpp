// Fuzz target of the decimal text readers. The first two bytes choose the scale (-4 .. 38) and the
// rounding mode (0 .. 7, 7 being a bad one); the rest is the text. What reads is used: printed back
// at its scale and read again (a printed number must read back to the same value, with and without
// digit groups), then put through the arithmetic, rescaling and conversions, none of which may
// crash, overflow silently or read past what it was given.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "q7api.h"

namespace {

void ReadBack(const Numeric& value, const NumericInfo& info) {
  char text[128];
  char grouped[192];
  const int printed = RQ7NumericNum2Str(&value, &info, 0, info.scale, text, sizeof text);
  const int printed_grouped = RQ7NumericNum2Dgstr(&value, &info, 0, info.scale, grouped, sizeof grouped);
  q7fuzz::Require(printed == Q7_NUMERIC_EXACT, "a decimal does not print exactly at its own scale", printed);
  q7fuzz::Require(printed_grouped == Q7_NUMERIC_EXACT, "a decimal does not print with groups",
                  printed_grouped);
  Numeric again{};
  const char* end = nullptr;
  const int read = RQ7NumericStr2Num(text, &info, &again, &end);
  q7fuzz::Require(read == Q7_NUMERIC_EXACT && *end == '\0', "a printed decimal does not read back", read);
  q7fuzz::Require(RQ7NumericCmp(&value, &again) == 0, "a printed decimal reads back as another value", 0);
  const int read_grouped = RQ7NumericDgstr2Num(grouped, &info, &again, &end);
  q7fuzz::Require(read_grouped == Q7_NUMERIC_EXACT && *end == '\0' && RQ7NumericCmp(&value, &again) == 0,
                  "a grouped decimal does not read back", read_grouped);
}

void Compute(const Numeric& value, const NumericInfo& info) {
  const NumericInfo other{info.scale > 30 ? 2 : info.scale + 7, Q7_ROUND_HALF_EVEN};
  Numeric r{};
  RQ7NumericAdd(&value, &value, &r);
  RQ7NumericSub(&value, &r, &r);
  RQ7NumericRescalingMul(&info, &info, &other, &value, &value, &r);
  RQ7NumericRescalingDiv(&info, &other, &info, &value, &r, &r);
  RQ7NumericRescalingCmp(&info, &other, &value, &r);
  Numeric x = value;
  RQ7NumericMul(&x, -977);
  RQ7NumericDiv(&x, &info, 13);
  RQ7NumericRound(&info, info.scale / 2, &x);
  RQ7NumericRescale(&info, &other, &value, &r);
  long as_long = 0;
  RQ7NumericNum2Long(&value, &info, &as_long);
  double as_double = 0;
  if (RQ7NumericNum2Dbl(&value, &info, &as_double) == Q7_NUMERIC_EXACT)
    RQ7NumericDbl2Num(&info, &r, as_double);
  char small[8];
  RQ7NumericNum2Str(&value, &info, -3, info.scale + 2, small, sizeof small);
}

}  // namespace

Q7_FUZZ_INITIALIZE

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const NumericInfo info{static_cast<int>(data[0] % 43) - 4, data[1] % 8};
  const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
  for (auto reader : {RQ7NumericStr2Num, RQ7NumericDgstr2Num}) {
    Numeric value{};
    const char* end = nullptr;
    const int status = reader(text.c_str(), &info, &value, &end);
    q7fuzz::Require(end >= text.c_str() && end <= text.c_str() + text.size(),
                    "a reader ends outside its text", status);
    if (status < 0 || RQ7NumericIsNan(&value)) continue;
    if (info.scale >= 0 && info.roundingMode <= Q7_ROUND_HALF_EVEN) ReadBack(value, info);
    Compute(value, info);
  }
  return 0;
}
