// Fuzz target of the date and time text readers. The first byte chooses a date format code
// (1 .. 14, and 0 and 15 as unknown ones), a time format code and whether syntax is checked; the
// rest is the text. Every reader gets it (free-form dates in the three orders, times, datetimes,
// the named formats, the strict checks). What reads as a date, time or datetime is then written
// back as text and read again: a date the engine wrote must read back to the same serial.
#include <cmath>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "values/DateTime.h"

namespace {

// A date or datetime the engine writes in year-month-day order reads back the same, to the
// millisecond the formatter rounds to.
void WriteAndReadBack(double value, bool with_time) {
  if (!std::isfinite(value)) return;
  char text[32];
  if (with_time) {
    Double2DateTimeStrInOrder(value, text, '/', 0);
  } else {
    Double2DateStrInOrder(value, text, '/', 0);
  }
  if (text[0] == '\0') return;  // outside the years 1 to 9999
  int err = 0;
  const double again = with_time ? Str2DateTime(text, 1, &err) : Str2Date(text, 1, &err);
  q7fuzz::Require(err == 0, "a written date does not read back", err);
  const double tolerance = with_time ? 0.5 / 86400000.0 + 1e-9 : 0.0;
  const double expected = with_time ? value : std::floor(value);
  q7fuzz::Require(std::fabs(again - expected) <= tolerance + std::fabs(expected) * 1e-15,
                  "a written date reads back as another", 0);
}

}  // namespace

Q7_FUZZ_INITIALIZE

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int date_code = data[0] % 16;
  const int time_code = (data[0] >> 4) % 6;
  const int check = data[0] >> 7;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  const char* t = text.c_str();

  int err = 0;
  for (auto reader : {Str2Date, Str2DateDDMMYYYY, Str2DateMMDDYYYY}) {
    const double date = reader(t, check, &err);
    if (err == 0) WriteAndReadBack(date, false);
  }
  for (auto reader : {Str2DateTime, Str2DateTimeDDMMYYYY, Str2DateTimeMMDDYYYY}) {
    const double datetime = reader(t, check, &err);
    if (err == 0) WriteAndReadBack(datetime, true);
  }
  const double time = Str2Time(t, check, &err);
  if (err == 0 && std::isfinite(time)) {
    char written[16];
    Double2TimeStr(time, written);
  }
  err = 0;
  WriteAndReadBack(Str2DateExType(t, date_code, check, &err), false);
  err = 0;
  Str2TimeExType(t, time_code, check, &err);
  err = 0;
  WriteAndReadBack(Str2DateTimeExType(t, date_code, time_code, check, &err), true);

  int consumed = 0;
  char date_out[16];
  char time_out[16];
  CheckDateStr(t, &consumed, date_out);
  CheckTimeStr(t, time_out);
  CheckDateTimeStr(t, date_out, time_out);
  if (text.size() == 8) CheckDateStr2(t);
  getDateFormatFromTypeStr(t);
  getTimeFormatFromTypeStr(t);
  return 0;
}
