// Dates and times against std::chrono: serial numbers, integer forms and texts.
#include "values/DateTime.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <random>
#include <string>

#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "values/q7_strptime.h"

namespace {

constexpr double kNull = kDateTimeNull;

// A reading that gives `want`: the NULL with the error flag set, or the value without it.
void ExpectReading(double v, int err, double want) {
  if (want == kNull) {
    EXPECT_EQ(v, kNull);
    EXPECT_EQ(err, 1);
  } else {
    EXPECT_DOUBLE_EQ(v, want);
    EXPECT_EQ(err, 0);
  }
}

constexpr double kMsDay = 86400000.0;

// The civil calendar of the standard library, as an oracle independent of the engine's formulas.
int Serial(int y, unsigned m, unsigned d) {
  using namespace std::chrono;
  return static_cast<int>(
      (sys_days{year{y} / month{m} / day{d}} - sys_days{year{1899} / December / 30}).count());
}

double Ms(int h, int m, int s, int ms) { return (h * 3600000.0 + m * 60000.0 + s * 1000.0 + ms) / kMsDay; }

std::string DateText(double v, int order, char sep = '/') {
  char out[32];
  memset(out, 'x', sizeof out);
  EXPECT_EQ(Double2DateStrInOrder(v, out, sep, order), 0);
  return out;
}

std::string DateTimeText(double v, int order, char sep = '/') {
  char out[32];
  memset(out, 'x', sizeof out);
  EXPECT_EQ(Double2DateTimeStrInOrder(v, out, sep, order), 0);
  return out;
}

std::string TimeText(double v) {
  char out[32];
  memset(out, 'x', sizeof out);
  EXPECT_EQ(Double2TimeStr(v, out), 0);
  return out;
}

template <class F>
void ExpectInvalidParameter(F&& f) {
  try {
    f();
    ADD_FAILURE() << "no exception";
  } catch (const CQ7Exception& e) {
    EXPECT_EQ(e.ErrorCode(), Q7_ERROR_INVALID_PARAMETER);
    EXPECT_STREQ(e.Message(), "");
  }
}

// ---- Serials ----

struct SerialCase {
  int y, m, d;
  int serial;
};
const SerialCase kSerials[] = {
    {1, 1, 1, -693593},  {1899, 12, 30, 0},       {1899, 12, 31, 1},    {1900, 1, 1, 2},
    {1900, 2, 28, 60},   {1900, 3, 1, 61},        {1904, 2, 29, 1521},  {2000, 2, 29, 36585},
    {2000, 3, 1, 36586}, {2024, 1, 31, 45322},    {2024, 2, 29, 45351}, {2099, 12, 31, 73050},
    {2100, 1, 1, 73051}, {9999, 12, 31, 2958465},
};

TEST(DateSerial, KnownDatesBothWays) {
  for (const auto& c : kSerials) {
    SCOPED_TRACE(c.serial);
    ASSERT_EQ(Serial(c.y, c.m, c.d), c.serial);  // the oracle agrees with the table
    int err = 7;
    _stdate d = {c.y, c.m, c.d};
    EXPECT_EQ(getDateField(&d, &err), c.serial);
    EXPECT_EQ(err, 7);  // untouched on success
    _stdatetime f;
    ASSERT_EQ(Double2DateTimeNoValidationWithMSEC(c.serial, &f), 0);
    EXPECT_EQ(f.year, c.y);
    EXPECT_EQ(f.month, c.m);
    EXPECT_EQ(f.day, c.d);
  }
}

TEST(DateSerial, FieldsMatchCivilCalendarOverWholeRange) {
  using namespace std::chrono;
  // Every day from 1890 to 2110, then every 13th day over the years 1 to 9999.
  auto check = [](int serial) {
    const year_month_day ymd{sys_days{year{1899} / December / 30} + days{serial}};
    const int y = static_cast<int>(ymd.year());
    const int m = static_cast<int>(static_cast<unsigned>(ymd.month()));
    const int d = static_cast<int>(static_cast<unsigned>(ymd.day()));
    _stdatetime f;
    ASSERT_EQ(Double2DateTimeNoValidationWithMSEC(serial, &f), 0) << serial;
    ASSERT_TRUE(f.year == y && f.month == m && f.day == d) << serial;
    const weekday wd{sys_days{ymd}};
    ASSERT_EQ(f.weekday, static_cast<int>(wd.c_encoding()) + 1) << serial;
    ASSERT_EQ(f.dayOfYear, serial - Serial(y, 1, 1) + 1) << serial;
    _stdate sd = {y, m, d};
    ASSERT_EQ(getDateField(&sd, nullptr), serial);
  };
  for (int s = Serial(1890, 1, 1); s <= Serial(2110, 12, 31); ++s) check(s);
  for (int s = Serial(1, 1, 1); s <= Serial(9999, 12, 31); s += 13) check(s);
  check(Serial(9999, 12, 31));
}

TEST(DateSerial, InvalidFieldsGiveErrorAndZero) {
  const _stdate bad[] = {{1900, 2, 29}, {2023, 2, 29}, {2100, 2, 29}, {2024, 4, 31}, {2024, 0, 1},
                         {2024, 13, 1}, {2024, 1, 0},  {0, 1, 1},     {10000, 1, 1}, {-5, 1, 1}};
  for (const auto& d : bad) {
    SCOPED_TRACE(d.year * 10000 + d.month * 100 + d.day);
    int err = 0;
    EXPECT_EQ(getDateField(&d, &err), 0.0);
    EXPECT_EQ(err, 1);
  }
  const _stdate leap = {2000, 2, 29};
  EXPECT_EQ(getDateField(&leap, nullptr), 36585);
}

TEST(DateSerial, OutOfRangeValuesHaveNoFields) {
  const double bad[] = {kNull,     -1e300,    NAN,       INFINITY,           1e300,
                        -693594.0, -693593.5, 2958466.0, 2958465.99999999999};
  for (double v : bad) {
    SCOPED_TRACE(v);
    _stdatetime f;
    f.year = 77;
    EXPECT_EQ(Double2DateTimeNoValidationWithMSEC(v, &f), -1);
    EXPECT_EQ(f.year, 0);
    EXPECT_EQ(DateText(v, 0), "");
    EXPECT_EQ(DateTimeText(v, 1), "");
    EXPECT_EQ(TimeText(v), "");
  }
}

// ---- Integer forms ----

TEST(DateInteger, OuterToInner) {
  const struct {
    int outer, serial;
  } ok[] = {{19000101, 2},     {19000228, 60},    {19000301, 61},   {19040229, 1521},
            {20000229, 36585}, {20240131, 45322}, {20991231, 73050}};
  for (const auto& c : ok) EXPECT_EQ(DateOuter2Inner(c.outer), c.serial) << c.outer;
  const int bad[] = {18991231, 19000229, 21000101, 20230229,  20240001, 20241301,
                     20240100, 20240431, 0,        -20240101, 2024131,  99999999};
  for (int v : bad) {
    SCOPED_TRACE(v);
    ExpectInvalidParameter([&] { DateOuter2Inner(v); });
  }
}

TEST(DateInteger, InnerToOuterInEachOrder) {
  const struct {
    int serial, order, outer;
  } cases[] = {
      {2, 0, 19000101},     {61, 0, 19000301},    {60, 0, 19000228},   {1521, 0, 19040229},
      {73050, 0, 20991231}, {45351, 0, 20240229}, {2, 1, 1011900},     {45351, 1, 29022024},
      {73050, 1, 31122099}, {2, 2, 1011900},      {45351, 2, 2292024}, {73050, 2, 12312099},
      {45322, 2, 1312024},  {45322, 7, 20240131},  // an unknown order reads as 0
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.serial * 10 + c.order);
    EXPECT_EQ(DateInner2OuterInOrder(c.serial, c.order), c.outer);
  }
  EXPECT_EQ(DateInner2Outer(45351), DateInner2OuterInOrder(45351, CurrentDateOrder()));
  for (int s : {1, 0, -1, 73051}) {
    SCOPED_TRACE(s);
    ExpectInvalidParameter([&] { DateInner2OuterInOrder(s, 0); });
  }
}

TEST(DateInteger, EveryDateOf1900To2099RoundTrips) {
  for (int s = 2; s <= 73050; ++s) {
    const int outer = DateInner2OuterInOrder(s, 0);
    ASSERT_EQ(DateOuter2Inner(outer), s);
    ASSERT_EQ(Serial(outer / 10000, outer % 10000 / 100, outer % 100), s);
    // The other orders hold the same three fields.
    const int dmy = DateInner2OuterInOrder(s, 1);
    const int mdy = DateInner2OuterInOrder(s, 2);
    ASSERT_EQ(dmy / 1000000, outer % 100) << s;
    ASSERT_EQ(dmy / 10000 % 100, outer / 100 % 100);
    ASSERT_EQ(dmy % 10000, outer / 10000);
    ASSERT_EQ(mdy / 1000000, outer / 100 % 100);
    ASSERT_EQ(mdy / 10000 % 100, outer % 100);
    ASSERT_EQ(mdy % 10000, outer / 10000);
  }
}

TEST(DateInteger, DayOfYearToMonth) {
  const struct {
    int doy, common, month, day;
  } cases[] = {{0, 1, 1, 1},   {30, 1, 1, 31}, {31, 1, 2, 1},    {58, 1, 2, 28},   {59, 1, 3, 1},
               {59, 0, 2, 29}, {60, 0, 3, 1},  {364, 1, 12, 31}, {364, 0, 12, 30}, {365, 0, 12, 31}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.doy * 10 + c.common);
    int day = 0;
    EXPECT_EQ(nd2m(c.doy, c.common, &day), c.month);
    EXPECT_EQ(day, c.day);
  }
  int day;
  ExpectInvalidParameter([&] { nd2m(-1, 1, &day); });
  ExpectInvalidParameter([&] { nd2m(365, 1, &day); });
  ExpectInvalidParameter([&] { nd2m(366, 0, &day); });
}

TEST(TimeInteger, HhmmssRule) {
  const struct {
    int v;
    double want;
  } cases[] = {
      {0, 0.01 / 86400},
      {120000, (43200 + 0.01) / 86400},
      {235959, (86399 + 0.01) / 86400},
      {5, 5.01 / 86400},
      {10203, (3723 + 0.01) / 86400},
      {126000, 0.0},
      {125960, 0.0},
      {236000, 0.0},
      {240000, 0.0},
      {-1, 0.0},
      {-120000, 0.0},
      {2147483647, 0.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.v);
    EXPECT_DOUBLE_EQ(TimeOuter2Inner(c.v), c.want);
  }
}

// ---- Separators ----

TEST(DateSeparators, AddSlashInEachOrder) {
  const struct {
    int date, order;
    const char* want;
  } ok[] = {{20240131, 0, "2024/01/31"}, {19000101, 0, "1900/01/01"}, {31012024, 1, "31/01/2024"},
            {1011900, 1, "01/01/1900"},  {1312024, 2, "01/31/2024"},  {12312099, 2, "12/31/2099"}};
  for (const auto& c : ok) {
    SCOPED_TRACE(c.want);
    char out[16];
    memset(out, 'x', sizeof out);
    EXPECT_EQ(addSlashInOrder(c.date, out, c.order), out);
    EXPECT_STREQ(out, c.want);
  }
  const struct {
    int date, order;
  } bad[] = {{1011900, 0}, {123, 1}, {123456789, 0}, {-1012024, 1}, {-2024013, 0}};
  for (const auto& c : bad) {
    SCOPED_TRACE(c.date);
    char out[16];
    ExpectInvalidParameter([&] { addSlashInOrder(c.date, out, c.order); });
  }
  char out[16];
  EXPECT_STREQ(addSlash(DateInner2Outer(45322), out), CurrentDateOrder() == 0   ? "2024/01/31"
                                                      : CurrentDateOrder() == 1 ? "31/01/2024"
                                                                                : "01/31/2024");
}

TEST(DateSeparators, AddColon) {
  const struct {
    double t;
    const char* want;
  } ok[] = {{0.0, "00:00:00"},
            {TimeOuter2Inner(120000), "12:00:00"},
            {TimeOuter2Inner(235959), "23:59:59"},
            {TimeOuter2Inner(10203), "01:02:03"},
            {Ms(7, 30, 0, 0), "07:30:00"},
            {1.0, "24:00:00"}};
  for (const auto& c : ok) {
    SCOPED_TRACE(c.want);
    char out[16];
    EXPECT_STREQ(addColon(c.t, out), c.want);
  }
  for (double t : {-0.0001, 1.0001, double(NAN), kNull, double(INFINITY)}) {
    SCOPED_TRACE(t);
    char out[16];
    ExpectInvalidParameter([&] { addColon(t, out); });
  }
}

// ---- Strict checks ----

TEST(DateChecks, CheckDateStr) {
  const struct {
    const char* text;
    int ok;
    const char* digits;
    int consumed;
  } cases[] = {
      {"2024/01/31", 1, "20240131", 10},
      {"2024/1/5", 1, "20240105", 8},
      {" \t2024/2/29 x", 1, "20240229", 11},
      {"1900/02/29", 0, "19000229", 10},
      {"2000/2/29", 1, "20000229", 9},
      {"2099/12/31", 1, "20991231", 10},
      {"2100/01/01", 0, "21000101", 10},
      {"1899/12/31", 0, "18991231", 10},
      {"2024/13/01", 0, "20241301", 10},
      {"2024/04/31", 0, "20240431", 10},
      {"2024/00/10", 0, "20240010", 10},
      {"2024-01-31", 0, nullptr, 0},
      {"24/01/31", 0, nullptr, 0},
      {"2024/1", 0, nullptr, 0},
      {"2024//01/31", 0, nullptr, 0},
      {"20x4/01/31", 0, nullptr, 0},
      {"", 0, nullptr, 0},
      {"      2024", 0, nullptr, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    char out[9] = {};
    int consumed = -1;
    EXPECT_EQ(CheckDateStr(c.text, &consumed, out), c.ok);
    if (c.digits) {
      EXPECT_STREQ(out, c.digits);
      EXPECT_EQ(consumed, c.consumed);
    }
  }
  EXPECT_EQ(CheckDateStr(nullptr, nullptr, nullptr), 0);
}

TEST(DateChecks, CheckDateStr2) {
  const struct {
    const char* s;
    int ok;
  } cases[] = {{"19000101", 1}, {"19000229", 0},  {"19040229", 1}, {"20000229", 1},
               {"20991231", 1}, {"21000101", 0},  {"18991231", 0}, {"20240230", 0},
               {"2024013", 0},  {"202401311", 0}, {"2024a131", 0}, {"", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.s);
    EXPECT_EQ(CheckDateStr2(c.s), c.ok);
  }
}

TEST(TimeChecks, CheckTimeStr) {
  const struct {
    const char* text;
    int ok;
    const char* digits;
  } cases[] = {
      {"9:5:7", 1, "090507"},
      {"12:34", 1, "123400"},
      {"12:34:56", 1, "123456"},
      {" \t1:02:3", 1, "010203"},
      {"23:59:59.999", 1, "235959"},
      {"99:99:99", 1, "999999"},
      {"1a:30", 0, nullptr},
      {"12:3", 0, nullptr},
      {"12:34:", 0, nullptr},
      {"123:45", 0, nullptr},
      {"12", 0, nullptr},
      {":12:30", 0, nullptr},
      {"ab:cd", 0, nullptr},
      {"", 0, nullptr},
      {"1:", 0, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    char out[7] = {};
    EXPECT_EQ(CheckTimeStr(c.text, out), c.ok);
    if (c.digits) {
      EXPECT_STREQ(out, c.digits);
    }
  }
}

TEST(DateTimeChecks, CheckDateTimeStr) {
  const struct {
    const char* text;
    int ok;
    const char* date;
    const char* time;
  } cases[] = {
      {"2024/01/31", 1, "20240131", "000000"},
      {"2024/01/31 \t ", 1, "20240131", "000000"},
      {"2024/1/31 9:5:7", 1, "20240131", "090507"},
      {"2024/01/31\t12:34", 1, "20240131", "123400"},
      {"2024/01/31                                                                                 "
       "                                  ",
       1, "20240131", "000000"},
      {"2024/01/31 12", 0, nullptr, nullptr},
      {"2024/02/30 12:00", 0, nullptr, nullptr},
      {"12:00:00", 0, nullptr, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    char date[9] = {}, time[7] = {};
    EXPECT_EQ(CheckDateTimeStr(c.text, date, time), c.ok);
    if (c.date) {
      EXPECT_STREQ(date, c.date);
      EXPECT_STREQ(time, c.time);
    }
  }
}

// ---- Free-form text ----

// want_ymd 0 means NULL with the error flag.
struct DateTextCase {
  const char* text;
  int check;
  int y, m, d;
};

const DateTextCase kYmd[] = {
    {"2024/2/29", 1, 2024, 2, 29},
    {"2024-02-29", 1, 2024, 2, 29},
    {"1900/01/01", 1, 1900, 1, 1},
    {"2099/12/31", 1, 2099, 12, 31},
    {"1/1/1", 1, 1, 1, 1},
    {"9999/12/31", 1, 9999, 12, 31},
    {"2000/2/29", 1, 2000, 2, 29},
    {" 2024/01/31", 1, 2024, 1, 31},
    {"2024/01/31 ", 1, 2024, 1, 31},
    {"2024/01/31x", 0, 2024, 1, 31},
    {"2024/01/31 12:00", 0, 2024, 1, 31},
    {"2023-02-29", 1, 0, 0, 0},
    {"1900/02/29", 1, 0, 0, 0},
    {"2100/2/29", 1, 0, 0, 0},
    {"10000/1/1", 1, 0, 0, 0},
    {"0/1/1", 1, 0, 0, 0},
    {"2024/13/01", 1, 0, 0, 0},
    {"2024/04/31", 1, 0, 0, 0},
    {"2024/01/31x", 1, 0, 0, 0},
    {"2024/01", 1, 0, 0, 0},
    {"20240131", 1, 0, 0, 0},
    {"2024//31", 1, 0, 0, 0},
    {"/01/31", 1, 0, 0, 0},
    {"2024/01/", 1, 0, 0, 0},
    {"\t2024/01/31", 1, 0, 0, 0},
    {"2024/1.5/3", 1, 0, 0, 0},
    {"2024/01-31", 1, 0, 0, 0},
    {"abc", 0, 0, 0, 0},
    {"x/y/z", 0, 0, 0, 0},
    // Nothing is cut: text past the 49th character still counts under check.
    {"2024/01/31                                              x", 1, 0, 0, 0},
    {"2024/01/31                                               ", 1, 2024, 1, 31},
};
const DateTextCase kDmy[] = {
    {"29/2/2024", 1, 2024, 2, 29}, {"31-12-2099", 1, 2099, 12, 31}, {"1/1/1900", 1, 1900, 1, 1},
    {"31/1/1", 1, 1, 1, 31},       {"2024/02/29", 1, 0, 0, 0},      {"29/02/2023", 1, 0, 0, 0},
};
const DateTextCase kMdy[] = {
    {"2/29/2024", 1, 2024, 2, 29}, {"12-31-9999", 1, 9999, 12, 31}, {"1/31/2000", 1, 2000, 1, 31},
    {"31/1/2000", 1, 0, 0, 0},     {"2/29/1900", 1, 0, 0, 0},
};

void RunDateCases(const DateTextCase* cases, size_t n, double (*parse)(const char*, int, int*),
                  int (*split)(const char*, int, _stdate*)) {
  for (size_t i = 0; i < n; ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE(std::string(c.text) + (c.check ? " checked" : ""));
    int err = 7;
    const double v = parse(c.text, c.check, &err);
    if (c.y) {
      EXPECT_EQ(v, Serial(c.y, c.m, c.d));
      EXPECT_EQ(err, 0);
      _stdate d;
      EXPECT_EQ(split(c.text, c.check, &d), 0);
      EXPECT_TRUE(d.year == c.y && d.month == c.m && d.day == c.d);
    } else {
      EXPECT_EQ(v, kNull);
      EXPECT_EQ(err, 1);
    }
    EXPECT_EQ(parse(c.text, c.check, nullptr), v);  // err is optional
  }
}

TEST(DateText, YearMonthDay) { RunDateCases(kYmd, std::size(kYmd), Str2Date, parseStr2Date); }
TEST(DateText, DayMonthYear) { RunDateCases(kDmy, std::size(kDmy), Str2DateDDMMYYYY, parseStr2DateDDMMYYYY); }
TEST(DateText, MonthDayYear) { RunDateCases(kMdy, std::size(kMdy), Str2DateMMDDYYYY, parseStr2DateMMDDYYYY); }

TEST(DateText, EmptyLeavesErrorFlagUntouched) {
  for (auto parse : {Str2Date, Str2DateDDMMYYYY, Str2DateMMDDYYYY}) {
    int err = 7;
    EXPECT_EQ(parse("", 1, &err), kNull);
    EXPECT_EQ(parse(nullptr, 1, &err), kNull);
    EXPECT_EQ(err, 7);
  }
  EXPECT_EQ(Str2Date("2024/2/29", 1, nullptr), 45351);
}

struct TimeTextCase {
  const char* text;
  int check;
  double want;  // kNull: the error flag is set
};
const TimeTextCase kTimes[] = {
    {"12:00", 1, 0.5},
    {"7:", 1, 7.0 / 24},
    {"0:0:0", 1, 0.0},
    {"23:59:59", 1, Ms(23, 59, 59, 0)},
    {"23:59:59.999", 1, Ms(23, 59, 59, 999)},
    {"12:00:00.500", 1, Ms(12, 0, 0, 500)},
    {"12:00:00.5", 1, Ms(12, 0, 0, 500)},  // a fraction of the second, not 5 ms
    {"12:00:00.05", 1, Ms(12, 0, 0, 50)},
    {"12:00:00.0009", 1, Ms(12, 0, 0, 0)},
    {"12:00:00.1239", 1, Ms(12, 0, 0, 123)},
    {"12:30:15 ", 1, Ms(12, 30, 15, 0)},
    {"25:00", 1, kNull},  // out of range: no time of day, refused as text that is no time
    {"24:00", 1, kNull},
    {"12:60", 1, kNull},
    {"12:00:60", 1, kNull},
    {"-1:00", 1, kNull},
    {"12:-5", 1, kNull},
    {"12:00:00.-5", 1, kNull},
    {"25:00", 0, kNull},
    {"12:00:60", 0, kNull},
    {"7", 1, kNull},
    {"7", 0, kNull},
    {"12::30", 1, kNull},
    {"12:30:", 1, kNull},
    {"12:00:00.", 1, kNull},
    {"1a:30", 1, kNull},
    {"1a:30", 0, Ms(1, 30, 0, 0)},
    {"12:30x", 1, kNull},
    {"12:30x", 0, 0.5 + 30 / 1440.0},
    {"\t12:30", 1, kNull},
    {" 12:30", 1, Ms(12, 30, 0, 0)},
    {"99999999999:00", 1, kNull},
};

TEST(TimeText, Str2Time) {
  for (const auto& c : kTimes) {
    SCOPED_TRACE(std::string(c.text) + (c.check ? " checked" : ""));
    int err = 7;
    const double v = Str2Time(c.text, c.check, &err);
    ExpectReading(v, err, c.want);
  }
  int err = 7;
  EXPECT_EQ(Str2Time("", 1, &err), kNull);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(Str2Time(nullptr, 1, nullptr), kNull);
}

TEST(TimeText, SplitterAndFields) {
  _sttime t;
  ASSERT_EQ(parseStr2Time("1:2:3.4", 1, &t), 0);
  EXPECT_TRUE(t.hour == 1 && t.minute == 2 && t.second == 3 && t.millisecond == 400);
  ASSERT_EQ(parseStr2Time("", 1, &t), 0);
  EXPECT_TRUE(t.hour == 0 && t.minute == 0 && t.second == 0 && t.millisecond == 0);
  EXPECT_EQ(parseStr2Time("13", 1, &t), 1);

  const struct {
    _sttime t;
    double want;
  } cases[] = {{{12, 0, 0, 0}, 0.5}, {{23, 59, 59, 999}, (kMsDay - 1) / kMsDay},
               {{24, 0, 0, 0}, 0.0}, {{0, 60, 0, 0}, 0.0},
               {{0, 0, 60, 0}, 0.0}, {{0, 0, 0, 1000}, 0.0},
               {{-1, 0, 0, 0}, 0.0}, {{0, 0, 0, -1}, 0.0}};
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(getTime2double(&c.t), c.want);
}

struct DateTimeTextCase {
  const char* text;
  int check;
  double want;  // kNull: the error flag is set
  int err;
};

TEST(DateTimeText, YearMonthDay) {
  const double d = Serial(2024, 1, 31);
  const DateTimeTextCase cases[] = {
      {"2024/01/31 12:00:00.500", 1, d + 0.5 + 500 / kMsDay, 0},
      {"2024/01/31", 1, d, 0},
      {"2024/01/31   ", 1, d, 0},
      {"  2024/01/31 12:00", 1, d + 0.5, 0},
      {"2024-01-31\t06:00", 1, d + 0.25, 0},
      {"2024/01/31 25:00", 1, kNull, 1},  // a time out of range is a bad time
      {"2024/01/31 25:00", 0, d, 1},
      {"2024/01/31 23:59:60", 1, kNull, 1},
      {"2024/01/31 23:59:60", 0, d, 1},
      {"2024/01/31 12:00 x", 1, kNull, 1},
      {"2024/01/31 12", 1, kNull, 1},
      {"2024/01/31 12", 0, d, 1},
      {"2024/02/30 12:00", 1, kNull, 1},
      {"2024/02/30 12:00", 0, 0.5, 0},
      {"12:00", 0, 0.5, 0},
      {"12:00", 1, kNull, 1},
      {"   ", 0, 0.0, 0},
      {"   ", 1, kNull, 1},
      {"9999/12/31 23:59:59.999", 1, Serial(9999, 12, 31) + (kMsDay - 1) / kMsDay, 0},
      {"1/1/1 00:00:00.001", 1, Serial(1, 1, 1) + 1 / kMsDay, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + (c.check ? " checked" : ""));
    int err = 7;
    const double v = Str2DateTime(c.text, c.check, &err);
    if (c.want == kNull) {
      EXPECT_EQ(v, kNull);
    } else {
      EXPECT_DOUBLE_EQ(v, c.want);
    }
    EXPECT_EQ(err, c.err);
  }
  int err = 7;
  EXPECT_EQ(Str2DateTime("", 1, &err), kNull);
  EXPECT_EQ(err, 0);
}

// The reading for callers whose only answer is the value: a date part or a time part that does not
// read is NULL, where the unchecked reading counts it as 0 (1899/12/30, or midnight of the date).
TEST(DateTimeText, OrNullRefusesAPartThatIsNone) {
  const double d = Serial(2024, 1, 31);
  const struct {
    const char* text;
    int order;
    double want;  // kNull: the error flag is set
  } cases[] = {
      {"2024/02/30 12:00:00", 0, kNull},
      {"2024/01/31 25:00", 0, kNull},
      {"2024/01/31 23:59:60", 0, kNull},
      {"2024/01/31 12", 0, kNull},
      {"x 12:00", 0, kNull},
      {"abc", 0, kNull},
      {"   ", 0, kNull},
      {"25:00", 0, kNull},
      {"2024/01/31", 0, d},
      {"2024/01/31 12:00", 0, d + 0.5},
      {"2024/01/31x 12:00", 0, d + 0.5},  // the unchecked number syntax stays
      {"12:00", 0, 0.5},                  // a time alone still counts the date as 0
      {"31/01/2024 06:00", 1, d + 0.25},
      {"31/02/2024 06:00", 1, kNull},
      {"01/31/2024 06:00", 2, d + 0.25},
      {"01/31/2024 06:00", 1, kNull},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " order " + std::to_string(c.order));
    int err = 7;
    const double v = Str2DateTimeOrNull(c.text, c.order, &err);
    ExpectReading(v, err, c.want);
  }
  int err = 7;
  EXPECT_EQ(Str2DateTimeOrNull("", 0, &err), kNull);
  EXPECT_EQ(err, 0);
}

TEST(DateTimeText, OtherOrders) {
  const double d = Serial(2024, 2, 29);
  int err = 7;
  EXPECT_DOUBLE_EQ(Str2DateTimeDDMMYYYY("29/02/2024 18:00", 1, &err), d + 0.75);
  EXPECT_EQ(err, 0);
  EXPECT_DOUBLE_EQ(Str2DateTimeMMDDYYYY("02-29-2024 18:00", 1, &err), d + 0.75);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(Str2DateTimeMMDDYYYY("29/02/2024 18:00", 1, &err), kNull);
  EXPECT_EQ(err, 1);
}

// ---- Named formats ----

TEST(NamedFormats, CodeLookup) {
  const struct {
    const char* text;
    int date, time;
  } cases[] = {{"D1", 1, 0},  {"D9", 9, 0}, {"D10", 10, 0}, {"D14", 14, 0}, {"D15", 0, 0}, {"D0", 0, 0},
               {"D01", 0, 0}, {"d1", 0, 0}, {"D1 ", 0, 0},  {"D", 0, 0},    {"", 0, 0},    {"T1", 0, 1},
               {"T4", 0, 4},  {"T5", 0, 0}, {"T10", 0, 0},  {"X1", 0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(getDateFormatFromTypeStr(c.text), c.date);
    EXPECT_EQ(getTimeFormatFromTypeStr(c.text), c.time);
  }
  EXPECT_EQ(getDateFormatFromTypeStr(nullptr), 0);
  EXPECT_EQ(getTimeFormatFromTypeStr(nullptr), 0);
  EXPECT_STREQ(getstrp_DateFormat(0), "%Y/%m/%d");
  EXPECT_STREQ(getstrp_DateFormat(99), "%Y/%m/%d");
  EXPECT_STREQ(getstrp_DateFormat(10), "%d.%m.%y");
  EXPECT_STREQ(getstrp_TimeFormat(-3), "%H:%M:%S");
  EXPECT_STREQ(getstrp_TimeFormat(4), "%K:%M");
}

struct NamedDateCase {
  int code;
  const char* text;
  int check;
  int y, m, d;  // y 0: no match (NULL); y -1: matched but invalid (0.0); both set the error flag
};

TEST(NamedFormats, EachDateCode) {
  const int cy = CurrentYear();
  const NamedDateCase cases[] = {
      {1, "2024/02/29", 1, 2024, 2, 29},    {1, "2024/2/9", 1, 2024, 2, 9},
      {2, "2024-02-29", 1, 2024, 2, 29},    {3, "02/29/2024", 1, 2024, 2, 29},
      {4, "02.29.2024", 1, 2024, 2, 29},    {5, "29/02/2024", 1, 2024, 2, 29},
      {6, "29.02.2024", 1, 2024, 2, 29},    {7, "02/29/24", 1, 2024, 2, 29},
      {8, "12.31.99", 1, 1999, 12, 31},     {9, "31/12/68", 1, 2068, 12, 31},
      {10, "01.01.69", 1, 1969, 1, 1},      {11, "01/31", 1, cy, 1, 31},
      {12, "01.31", 1, cy, 1, 31},          {13, "31/01", 1, cy, 1, 31},
      {14, "31.01", 1, cy, 1, 31},          {0, "2024/01/31", 1, 2024, 1, 31},
      {99, "2024/01/31", 1, 2024, 1, 31},   {1, "1900/01/01", 1, 1900, 1, 1},
      {1, "9999/12/31", 1, 9999, 12, 31},   {1, "2024/01/31  ", 1, 2024, 1, 31},
      {1, "2024/01/31xyz", 0, 2024, 1, 31}, {1, "2024/13/01", 1, 0, 0, 0},
      {1, "2024-01-31", 1, 0, 0, 0},        {1, "1899/12/31", 1, 0, 0, 0},
      {1, "2024/01/31xyz", 1, 0, 0, 0},     {1, "24/01/31", 1, 0, 0, 0},
      {5, "32/01/2024", 1, 0, 0, 0},        {14, "31.01.2024", 1, 0, 0, 0},
      {1, " 2024/01/31", 1, 0, 0, 0},       {1, "2023/02/29", 1, -1, 0, 0},
      {1, "1900/02/29", 1, -1, 0, 0},       {1, "2024/04/31", 1, -1, 0, 0},
      {1, "10000/01/01", 1, -1, 0, 0},      {5, "31/04/2024", 1, -1, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.code) + " " + c.text);
    int err = 7;
    const double v = Str2DateExType(c.text, c.code, c.check, &err);
    if (c.y > 0) {
      EXPECT_EQ(v, Serial(c.y, c.m, c.d));
      EXPECT_EQ(err, 0);
    } else {
      EXPECT_EQ(v, c.y == 0 ? kNull : 0.0);
      EXPECT_EQ(err, 1);
    }
  }
  int err = 7;
  EXPECT_EQ(Str2DateExType("", 1, 1, &err), kNull);
  EXPECT_EQ(err, 7);
}

TEST(NamedFormats, EachTimeCode) {
  const struct {
    int code;
    const char* text;
    int check;
    double want;  // kNull: no match, error flag set
  } cases[] = {
      {1, "12:34:56", 1, Ms(12, 34, 56, 0)},
      {1, "23:59:59", 1, Ms(23, 59, 59, 0)},
      {1, "0:0:0", 1, 0.0},
      {1, "12:34:60", 1, kNull},
      {1, "24:00:00", 1, kNull},
      {1, "12:34", 1, kNull},
      {2, "12:34", 1, Ms(12, 34, 0, 0)},
      {2, "12:34:56", 1, kNull},
      {2, "12:34:56", 0, Ms(12, 34, 0, 0)},
      {3, "1:00:00", 1, 0.0},
      {3, "24:00:00", 1, Ms(23, 0, 0, 0)},
      {3, "0:00:00", 1, kNull},
      {3, "13:30:15", 1, Ms(12, 30, 15, 0)},
      {4, "24:59", 1, Ms(23, 59, 0, 0)},
      {4, "25:00", 1, kNull},
      {0, "01:02:03", 1, Ms(1, 2, 3, 0)},
      {1, "01:02:03 ", 1, Ms(1, 2, 3, 0)},
      {1, "aa:bb:cc", 0, kNull},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.code) + " " + c.text);
    int err = 7;
    const double v = Str2TimeExType(c.text, c.code, c.check, &err);
    ExpectReading(v, err, c.want);
  }
  int err = 7;
  EXPECT_EQ(Str2TimeExType("", 1, 1, &err), kNull);
  EXPECT_EQ(err, 0);
}

// Every reading of a time text: the free form (code 0, Str2Time) and the codes T1 to T4. A text
// with a field out of its range is no time of day and is refused, checked or not, like text that
// is no time; a valid one keeps its exact value. T3 and T4 count hours 1 to 24, so "24" is valid
// there.
TEST(NamedFormats, TimeTextsUnderEveryCode) {
  const double kNo = kNull;
  const struct {
    const char* text;
    int check;
    double want[5];  // free form, T1 "%H:%M:%S", T2 "%H:%M", T3 "%K:%M:%S", T4 "%K:%M"
  } cases[] = {
      {"00:00:00", 1, {0.0, 0.0, kNo, kNo, kNo}},
      {"12:34:56", 1, {Ms(12, 34, 56, 0), Ms(12, 34, 56, 0), kNo, Ms(11, 34, 56, 0), kNo}},
      {"23:59:59", 1, {Ms(23, 59, 59, 0), Ms(23, 59, 59, 0), kNo, Ms(22, 59, 59, 0), kNo}},
      {"12:34", 1, {Ms(12, 34, 0, 0), kNo, Ms(12, 34, 0, 0), kNo, Ms(11, 34, 0, 0)}},
      {"24:00:00", 1, {kNo, kNo, kNo, Ms(23, 0, 0, 0), kNo}},
      {"24:00", 1, {kNo, kNo, kNo, kNo, Ms(23, 0, 0, 0)}},
      {"24:00", 0, {kNo, kNo, kNo, kNo, Ms(23, 0, 0, 0)}},
      {"24:60", 1, {kNo, kNo, kNo, kNo, kNo}},
      {"25:00:00", 1, {kNo, kNo, kNo, kNo, kNo}},
      {"25:00:00", 0, {kNo, kNo, kNo, kNo, kNo}},
      {"25:00", 1, {kNo, kNo, kNo, kNo, kNo}},
      {"12:60:00", 1, {kNo, kNo, kNo, kNo, kNo}},
      {"12:60:00", 0, {kNo, kNo, kNo, kNo, kNo}},
      {"12:60", 1, {kNo, kNo, kNo, kNo, kNo}},
      {"-1:00:00", 1, {kNo, kNo, kNo, kNo, kNo}},
      {"-1:00:00", 0, {kNo, kNo, kNo, kNo, kNo}},
      {"23:59:60", 1, {kNo, kNo, kNo, kNo, kNo}},
      // Unchecked, T2 and T4 read the leading "23:59" and leave the rest.
      {"23:59:60", 0, {kNo, kNo, Ms(23, 59, 0, 0), kNo, Ms(22, 59, 0, 0)}},
      {"12:00:00.1000", 1, {Ms(12, 0, 0, 100), kNo, kNo, kNo, kNo}},
      {"12:00:00.-5", 0, {kNo, Ms(12, 0, 0, 0), Ms(12, 0, 0, 0), Ms(11, 0, 0, 0), Ms(11, 0, 0, 0)}},
  };
  for (const auto& c : cases) {
    for (int code = 0; code <= 4; ++code) {
      SCOPED_TRACE(std::string(c.text) + " T" + std::to_string(code) + (c.check ? " checked" : ""));
      int err = 7;
      const double v =
          code == 0 ? Str2Time(c.text, c.check, &err) : Str2TimeExType(c.text, code, c.check, &err);
      EXPECT_EQ(v, c.want[code]);
      EXPECT_EQ(err, c.want[code] == kNull ? 1 : 0);
    }
  }
}

TEST(NamedFormats, DateTime) {
  const double d = Serial(2024, 1, 31);
  const struct {
    const char* text;
    int date_code, time_code, check;
    double want;
    int err;
  } cases[] = {
      {"31.01.2024 06:30", 6, 2, 1, d + Ms(6, 30, 0, 0), 0},
      {"01/31/2024 18:00:00", 3, 1, 1, d + 0.75, 0},
      {"2024/01/31", 1, 1, 1, d, 0},
      {"31.01.2024 06:30:00", 6, 2, 1, kNull, 1},
      {"31.01.2024 06:30:00", 6, 2, 0, d + Ms(6, 30, 0, 0), 0},
      {"31.01.2024 xx", 6, 2, 1, kNull, 1},
      {"31.01.2024 xx", 6, 2, 0, d, 1},
      {"2024/02/30 12:00:00", 1, 1, 1, kNull, 1},
      {"2024/01/31 23:59:60", 1, 1, 1, kNull, 1},
      {"2024/01/31 23:59:60", 1, 1, 0, d, 1},
      {"2024/01/31 24:00", 1, 4, 1, d + Ms(23, 0, 0, 0), 0},
      {"12:00:00", 1, 1, 1, kNull, 1},
      {"12:00:00", 1, 1, 0, 0.5, 0},
      {"31.01 12:00", 14, 2, 1, Serial(CurrentYear(), 1, 31) + 0.5, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    int err = 7;
    const double v = Str2DateTimeExType(c.text, c.date_code, c.time_code, c.check, &err);
    if (c.want == kNull) {
      EXPECT_EQ(v, kNull);
    } else {
      EXPECT_DOUBLE_EQ(v, c.want);
    }
    EXPECT_EQ(err, c.err);
  }
}

// ---- strptime ----

TEST(Strptime, Conversions) {
  const struct {
    const char* pattern;
    const char* text;
    int consumed;  // -1: no match
    int sec, min, hour, mday, mon, year, wday, yday;
  } cases[] = {
      {"%Y/%m/%d", "2024/02/29", 10, 0, 0, 0, 29, 1, 124, 0, 0},
      {"%Y/%m/%d", "2024/2/29rest", 9, 0, 0, 0, 29, 1, 124, 0, 0},
      {"%Y", "65535", 5, 0, 0, 0, 0, 0, 63635, 0, 0},
      {"%Y", "1899", -1, 0, 0, 0, 0, 0, 0, 0, 0},
      {"%Y", "65536", -1, 0, 0, 0, 0, 0, 0, 0, 0},
      {"%y", "68", 2, 0, 0, 0, 0, 0, 168, 0, 0},
      {"%y", "69", 2, 0, 0, 0, 0, 0, 69, 0, 0},
      {"%y", "100", -1, 0, 0, 0, 0, 0, 0, 0, 0},
      {"%m", "0", -1, 0, 0, 0, 0, 0, 0, 0, 0},
      {"%m", "13", -1, 0, 0, 0, 0, 0, 0, 0, 0},
      {"%d", "0", -1, 0, 0, 0, 0, 0, 0, 0, 0},
      {"%e", "31", 2, 0, 0, 0, 31, 0, 0, 0, 0},
      {"%j", "366", 3, 0, 0, 0, 0, 0, 0, 0, 365},
      {"%j", "367", -1, 0, 0, 0, 0, 0, 0, 0, 0},
      {"%H:%M:%S", "23:59:60", 8, 60, 59, 23, 0, 0, 0, 0, 0},
      {"%H", "24", -1, 0, 0, 0, 0, 0, 0, 0, 0},
      {"%I", "0", -1, 0, 0, 0, 0, 0, 0, 0, 0},
      {"%I", "12", 2, 0, 0, 12, 0, 0, 0, 0, 0},
      {"%K", "24", 2, 0, 0, 23, 0, 0, 0, 0, 0},
      {"%K", "1", 1, 0, 0, 0, 0, 0, 0, 0, 0},
      {"%K", "0", -1, 0, 0, 0, 0, 0, 0, 0, 0},
      {"%M", "60", -1, 0, 0, 0, 0, 0, 0, 0, 0},
      {"%S", "61", -1, 0, 0, 0, 0, 0, 0, 0, 0},
      {"%w", "6", 1, 0, 0, 0, 0, 0, 0, 6, 0},
      {"%w", "7", -1, 0, 0, 0, 0, 0, 0, 0, 0},
      {"%a", "mon", 3, 0, 0, 0, 0, 0, 0, 1, 0},
      {"%a", "Mon", -1, 0, 0, 0, 0, 0, 0, 0, 0},
      {"%A", "wednesday!", 9, 0, 0, 0, 0, 0, 0, 3, 0},
      {"%a", "wedn", 3, 0, 0, 0, 0, 0, 0, 3, 0},
      {"%b", "march", 5, 0, 0, 0, 0, 2, 0, 0, 0},
      {"%h", "sep", 3, 0, 0, 0, 0, 8, 0, 0, 0},
      {"%B", "May", -1, 0, 0, 0, 0, 0, 0, 0, 0},
      {"%D", "12/31/99", 8, 0, 0, 0, 31, 11, 99, 0, 0},
      {"%D", "2", 1, 0, 0, 0, 0, 1, 0, 0, 0},
      {"%D", "2/", -1, 0, 0, 0, 0, 0, 0, 0, 0},
      {"%R", "7:05", 4, 0, 5, 7, 0, 0, 0, 0, 0},
      {"%R", "7", 1, 0, 0, 7, 0, 0, 0, 0, 0},
      {"%T", "7:05:09", 7, 9, 5, 7, 0, 0, 0, 0, 0},
      {"%r", "12:30:15 am", 11, 15, 30, 0, 0, 0, 0, 0, 0},
      {"%r", "1:30:15 pm", 10, 15, 30, 13, 0, 0, 0, 0, 0},
      {"%r", "1:30:15 xm", -1, 0, 0, 0, 0, 0, 0, 0, 0},
      {"%r", "1:30:15", 7, 15, 30, 1, 0, 0, 0, 0, 0},
      {"%I%p", "12pm", 4, 0, 0, 12, 0, 0, 0, 0, 0},
      {"%I%p", "12am", 4, 0, 0, 0, 0, 0, 0, 0, 0},
      {"%I%p", "11PM", -1, 0, 0, 0, 0, 0, 0, 0, 0},
      {"%H %M", "10   20", 7, 0, 20, 10, 0, 0, 0, 0, 0},
      {"%H %M", "1020", -1, 0, 0, 0, 0, 0, 0, 0, 0},  // the digits run on: 1020 is no hour
      {"%H%n%M", "10\t20", 5, 0, 20, 10, 0, 0, 0, 0, 0},
      {"%%%H", "%5", 2, 0, 0, 5, 0, 0, 0, 0, 0},
      {"%%", "x", -1, 0, 0, 0, 0, 0, 0, 0, 0},
      {"%Q", "x", -1, 0, 0, 0, 0, 0, 0, 0, 0},
      {"%", "", -1, 0, 0, 0, 0, 0, 0, 0, 0},
      {"x%H", "y5", -1, 0, 0, 0, 0, 0, 0, 0, 0},
      {"%H", "", -1, 0, 0, 0, 0, 0, 0, 0, 0},
      {"%H", "99999999999999999999", -1, 0, 0, 0, 0, 0, 0, 0, 0},
      {"%Y", "-2024", -1, 0, 0, 0, 0, 0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " on " + c.text);
    struct tm tm = {};
    const char* end = q7_strptime(c.text, c.pattern, &tm);
    if (c.consumed < 0) {
      EXPECT_EQ(end, nullptr);
      continue;
    }
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(end - c.text, c.consumed);
    EXPECT_EQ(tm.tm_sec, c.sec);
    EXPECT_EQ(tm.tm_min, c.min);
    EXPECT_EQ(tm.tm_hour, c.hour);
    EXPECT_EQ(tm.tm_mday, c.mday);
    EXPECT_EQ(tm.tm_mon, c.mon);
    EXPECT_EQ(tm.tm_year, c.year);
    EXPECT_EQ(tm.tm_wday, c.wday);
    EXPECT_EQ(tm.tm_yday, c.yday);
  }
}

TEST(Strptime, LeavesTheCLibrarysOwnInPlace) {
  // The C library accepts any case; the engine's takes exact-case names only.
  struct tm tm = {};
  EXPECT_NE(::strptime("Mon", "%a", &tm), nullptr);
  EXPECT_EQ(q7_strptime("Mon", "%a", &tm), nullptr);
}

TEST(Strptime, AtoiRange) {
  int v = -1;
  const char* t = "0420x";
  EXPECT_EQ(strp_atoi(t, &v, 0, 500), t + 4);
  EXPECT_EQ(v, 420);
  v = -1;
  EXPECT_EQ(strp_atoi(t, &v, 0, 419), nullptr);
  EXPECT_EQ(strp_atoi(t, &v, 421, 999), nullptr);
  EXPECT_EQ(strp_atoi("x", &v, 0, 9), nullptr);
  EXPECT_EQ(strp_atoi("+1", &v, 0, 9), nullptr);
  EXPECT_EQ(v, -1);
}

// ---- Values to text ----

TEST(DateFormat, EachOrderAndSeparator) {
  const struct {
    double v;
    int order;
    char sep;
    const char* date;
    const char* datetime;
  } cases[] = {
      {45322.5, 0, '/', "2024/01/31", "2024/01/31 12:00:00"},
      {45322.5, 1, '/', "31/01/2024", "31/01/2024 12:00:00"},
      {45322.5, 2, '-', "01-31-2024", "01-31-2024 12:00:00"},
      {2, 0, '-', "1900-01-01", "1900-01-01 00:00:00"},
      {73050.75, 1, '.', "31.12.2099", "31.12.2099 18:00:00"},
      {-693593, 0, '/', "0001/01/01", "0001/01/01 00:00:00"},
      {2958465 + (kMsDay - 1) / kMsDay, 2, '/', "12/31/9999", "12/31/9999 23:59:59.999"},
      {Serial(2024, 1, 31) + 0.5 + 500 / kMsDay, 0, '/', "2024/01/31", "2024/01/31 12:00:00.500"},
      {Serial(1800, 1, 1) + 0.25, 0, '/', "1800/01/01", "1800/01/01 06:00:00"},
      {45322.5, 9, '/', "2024/01/31", "2024/01/31 12:00:00"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.datetime);
    EXPECT_EQ(DateText(c.v, c.order, c.sep), c.date);
    EXPECT_EQ(DateTimeText(c.v, c.order, c.sep), c.datetime);
  }
  // The engine's own order behind the public names.
  char a[32], b[32];
  Double2DateStrNoValidation(45322.5, a, 0, '/');
  Double2DateStrInOrder(45322.5, b, '/', CurrentDateOrder());
  EXPECT_STREQ(a, b);
  Double2DateStr(45322.5, a, '/');
  EXPECT_STREQ(a, b);
  Double2DateTimeStrNoValidation(45322.5, a, 0, 0, '-');
  Double2DateTimeStrInOrder(45322.5, b, '-', CurrentDateOrder());
  EXPECT_STREQ(a, b);
  Double2DateTimeStr(45322.5, a, '/');
  Double2DateTimeStrInOrder(45322.5, b, '/', CurrentDateOrder());
  EXPECT_STREQ(a, b);
}

TEST(TimeFormat, MillisecondsAndRounding) {
  const struct {
    double v;
    const char* want;
  } cases[] = {
      {0.0, "00:00:00"},
      {0.5, "12:00:00"},
      {(kMsDay - 1) / kMsDay, "23:59:59.999"},  // 1 ms before midnight stays that day
      {45322 + (kMsDay - 1) / kMsDay, "23:59:59.999"},
      {1.0 - 1e-10, "00:00:00"},  // nearer to midnight than to .999
      {Ms(1, 2, 3, 4), "01:02:03.004"},
      {Ms(1, 2, 3, 4) - 1e-10, "01:02:03.004"},
      {TimeOuter2Inner(120000), "12:00:00.010"},  // the hhmmss rule's 0.01 s shows
      {45322.25, "06:00:00"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.want);
    EXPECT_EQ(TimeText(c.v), c.want);
    char out[32];
    Double2TimeStrNoValidation(c.v, out, 0);
    EXPECT_STREQ(out, c.want);
  }
  _stdatetime f;
  ASSERT_EQ(Double2DateTimeNoValidationWithMSEC(45322 + 1.0 - 1e-10, &f), 0);
  EXPECT_EQ(f.day, 1);  // rounded into February 1
  EXPECT_EQ(f.month, 2);
  EXPECT_EQ(f.weekday, 5);  // a Thursday
  EXPECT_EQ(f.dayOfYear, 32);
}

TEST(DateFormat, RoundTripsThroughTextInEachOrder) {
  std::mt19937_64 rng(20240229);
  std::uniform_int_distribution<int> day(-693593, 2958465);
  std::uniform_int_distribution<int> ms(0, 86399999);
  double (*parse[3])(const char*, int, int*) = {Str2DateTime, Str2DateTimeDDMMYYYY, Str2DateTimeMMDDYYYY};
  double (*parse_date[3])(const char*, int, int*) = {Str2Date, Str2DateDDMMYYYY, Str2DateMMDDYYYY};
  for (int i = 0; i < 20000; ++i) {
    const int d = day(rng);
    const int t = i % 4 == 0 ? 0 : ms(rng);
    const double v = d + t / kMsDay;
    for (int order = 0; order < 3; ++order) {
      const char sep = i % 2 ? '/' : '-';
      const std::string text = DateTimeText(v, order, sep);
      int err = 7;
      const double back = parse[order](text.c_str(), 1, &err);
      ASSERT_EQ(err, 0) << text;
      ASSERT_EQ(std::floor(back), d) << text;
      ASSERT_EQ(std::llround((back - d) * kMsDay), t) << text;
      const std::string again = DateTimeText(back, order, sep);
      ASSERT_EQ(again, text);
      const std::string date = DateText(d, order, sep);
      ASSERT_EQ(parse_date[order](date.c_str(), 1, &err), d) << date;
    }
  }
}

// ---- The engine's settings ----

class EngineDateOrder : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = CSmpEngine::Instance()->DateOrder(); }
  void TearDown() override { CSmpEngine::Instance()->SetDateOrder(saved_); }
  int saved_ = 0;
};

TEST_F(EngineDateOrder, PublicFormsFollowTheEngine) {
  const struct {
    int order;
    int outer;
    const char* slashed;
    const char* date;
    const char* datetime;
  } cases[] = {
      {0, 20240229, "2024/02/29", "2024-02-29", "2024-02-29 18:00:00"},
      {1, 29022024, "29/02/2024", "29-02-2024", "29-02-2024 18:00:00"},
      {2, 2292024, "02/29/2024", "02-29-2024", "02-29-2024 18:00:00"},
      {5, 20240229, "2024/02/29", "2024-02-29", "2024-02-29 18:00:00"},  // unknown orders read as 0
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.order);
    CSmpEngine::Instance()->SetDateOrder(c.order);
    EXPECT_EQ(CurrentDateOrder(), c.order == 5 ? 0 : c.order);
    EXPECT_EQ(DateInner2Outer(45351), c.outer);
    char out[32];
    EXPECT_STREQ(addSlash(c.outer, out), c.slashed);
    Double2DateStr(45351.75, out, '-');
    EXPECT_STREQ(out, c.date);
    Double2DateStrNoValidation(45351.75, out, 0, '-');
    EXPECT_STREQ(out, c.date);
    Double2DateTimeStr(45351.75, out, '-');
    EXPECT_STREQ(out, c.datetime);
    Double2DateTimeStrNoValidation(45351.75, out, 0, 0, '-');
    EXPECT_STREQ(out, c.datetime);
  }
}

TEST(EngineStartYear, ShortFormatsTakeIt) {
  const int year = CSmpEngine::Instance()->StartTime()->tm_year + 1900;
  EXPECT_EQ(CurrentYear(), year);
  EXPECT_EQ(Str2DateExType("29.02", 14, 1, nullptr),
            year % 4 == 0 && (year % 100 != 0 || year % 400 == 0) ? Serial(year, 2, 29) : 0.0);
  EXPECT_EQ(Str2DateExType("12/31", 11, 1, nullptr), Serial(year, 12, 31));
}

// ---- Garbage ----

TEST(DateGarbage, RandomTextNeverCrashesAndFailsCleanly) {
  std::mt19937 rng(7);
  const char alphabet[] = "0123456789/-:. \tapmAPM%\x80\xff";
  for (int i = 0; i < 40000; ++i) {
    std::string s;
    const int n = static_cast<int>(rng() % 70);
    for (int k = 0; k < n; ++k) {
      s.push_back(rng() % 4 ? alphabet[rng() % (sizeof alphabet - 1)] : static_cast<char>(rng() % 255 + 1));
    }
    const char* t = s.c_str();
    for (int check = 0; check < 2; ++check) {
      int err = 0;
      auto fine = [&](double v) { return v == kNull ? (err == 1 || s.empty()) : std::isfinite(v); };
      ASSERT_TRUE(fine(Str2Date(t, check, &err))) << s;
      ASSERT_TRUE(fine(Str2DateDDMMYYYY(t, check, &err))) << s;
      ASSERT_TRUE(fine(Str2Time(t, check, &err))) << s;
      ASSERT_TRUE(fine(Str2DateTime(t, check, &err))) << s;
      ASSERT_TRUE(fine(Str2DateTimeMMDDYYYY(t, check, &err))) << s;
      ASSERT_TRUE(fine(Str2DateExType(t, static_cast<int>(rng() % 16), check, &err))) << s;
      ASSERT_TRUE(fine(Str2TimeExType(t, static_cast<int>(rng() % 6), check, &err))) << s;
      ASSERT_TRUE(fine(Str2DateTimeExType(t, static_cast<int>(rng() % 16), 1, check, &err))) << s;
    }
    char date[9], time[7];
    int consumed;
    CheckDateStr(t, &consumed, date);
    CheckTimeStr(t, time);
    CheckDateTimeStr(t, date, time);
    struct tm tm = {};
    q7_strptime(t, "%r %D %T %a %b %j %p %y", &tm);
    q7_strptime("12:00", t, &tm);  // text as the pattern
  }
}

}  // namespace
