// Typed field buffers: conversion by type, the quick readers, capacity and handing rows over.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "foundation/TextHelpers.h"
#include "import/CField.h"
#include "import/ImportTask.h"
#include "tests/support/test_support.h"
#include "values/DateTime.h"
#include "values/Numeric.h"
#include "values/NumericText.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"

namespace {

// What the table services were handed, copied at the time of the call (string addresses point
// into the buffer only for the duration of the call).
struct Handed {
  std::string op;
  int table = 0, filter = 0, position = 0, type = 0, rows = 0, width = 0, scale = 0, mode = 0;
  std::string name;
  bool data = false;
  std::vector<std::string> values;  // each value rendered by RenderRaw
};

std::string RenderRaw(int type, const void* data, int i) {
  char buf[128];
  switch (type) {
    case Q7_TYPE_INTEGER: {
      const int v = static_cast<const int*>(data)[i];
      return v == INT32_MIN ? "NULL" : std::to_string(v);
    }
    case Q7_TYPE_STRING:
      return static_cast<char* const*>(data)[i];
    case Q7_TYPE_DECIMAL: {
      const Numeric& v = static_cast<const Numeric*>(data)[i];
      if (q7num::IsNan(v)) return "NULL";
      const NumericInfo info{6, 4};
      q7num::NumericNum2Str(&v, &info, 0, 6, buf, sizeof buf);
      return buf;
    }
    default: {
      const double v = static_cast<const double*>(data)[i];
      if (std::isinf(v) && v < 0) return "NULL";
      snprintf(buf, sizeof buf, "%.17g", v);
      return buf;
    }
  }
}

class FakeTask : public ImportTaskServices {
 public:
  int AddRealTable(char*, int) override { return -1; }
  int GenerateTableName(char*, char*) override { return -1; }
  int DeleteTable(int) override { return -1; }
  int AddRealFilter2(int table, int position, char* name, int type, int rows, int width,
                     void* data) override {
    Handed h = Take("add", type, rows, data);
    h.table = table;
    h.position = position;
    h.name = name;
    h.width = width;
    calls.push_back(h);
    return result;
  }
  int AppendRealFilter2(int table, int filter, int type, int from, int count, void* data) override {
    Handed h = Take("append", type, count, data);
    h.table = table;
    h.filter = filter;
    h.position = from;
    calls.push_back(h);
    return result < 0 ? result : count;
  }
  int AppendRealFilter2Numeric(int table, int filter, int type, int from, int count, int scale, int mode,
                               void* data) override {
    Handed h = Take("appendNumeric", type, count, data);
    h.table = table;
    h.filter = filter;
    h.position = from;
    h.scale = scale;
    h.mode = mode;
    calls.push_back(h);
    return result < 0 ? result : count;
  }
  int GetFilterIDList(int, int*) override { return -1; }
  int GetFilterType(int, int) override { return -1; }

  std::vector<Handed> calls;
  int result = 7;

 private:
  static Handed Take(const char* op, int type, int rows, void* data) {
    Handed h;
    h.op = op;
    h.type = type;
    h.rows = rows;
    h.data = data != nullptr;
    for (int i = 0; data != nullptr && i < rows; ++i) h.values.push_back(RenderRaw(type, data, i));
    return h;
  }
};

class FieldTask : public ::testing::Test {
 protected:
  void SetUp() override { SetImportTask(&task_); }
  void TearDown() override { SetImportTask(nullptr); }
  FakeTask task_;
};

// A valid text of the type for k in 1..28.
std::string Sample(int type, int k) {
  const std::string n = std::to_string(k);
  switch (type) {
    case Q7_TYPE_DATE:
      return "2020/1/" + n;
    case Q7_TYPE_TIME:
      return "1:" + n + ":00";
    case Q7_TYPE_DATETIME:
      return "2020/1/" + n + " 1:00:00";
    case Q7_TYPE_STRING:
      return "s" + n;
    default:
      return n;
  }
}

std::unique_ptr<CField> Make(int type, int check, int rows, const char* name = "F") {
  std::unique_ptr<CField> f(CreateField(type, check, name));
  f->alloc(rows);
  return f;
}

// ---- Conversion ----

struct ConvCase {
  int type;
  int check;
  const char* text;
  const char* want;  // as RenderRaw prints the stored element
  int status;
};

constexpr int I = Q7_TYPE_INTEGER, D = Q7_TYPE_DOUBLE, DT = Q7_TYPE_DATE, T = Q7_TYPE_TIME,
              E = Q7_TYPE_DATETIME, N = Q7_TYPE_DECIMAL;
constexpr int kBad = Q7_ERROR_INVALID_DATA;

const ConvCase kConv[] = {
    {I, 1, "1,234", "1234", 0},
    {I, 1, "  42", "42", 0},
    {I, 1, ", ,7", "7", 0},
    {I, 1, "-1,000,000", "-1000000", 0},
    {I, 1, "12ab", "NULL", kBad},
    {I, 0, "12ab", "12", 0},
    // A blank number is NULL, never 0, and not an error even when checking.
    {I, 1, "", "NULL", 0},
    {I, 1, "   ", "NULL", 0},
    {I, 1, " , ,", "NULL", 0},
    {I, 0, "   ", "NULL", 0},
    {I, 1, nullptr, "NULL", 0},
    {D, 1, "1,234.5", "1234.5", 0},
    {D, 1, "x", "NULL", kBad},
    {D, 1, "  ", "NULL", 0},
    {DT, 1, "2020/01/05", "43835", 0},
    {DT, 1, " 2020/1/5", "43835", 0},
    {DT, 1, "2020/13/05", "NULL", kBad},
    {DT, 1, "   ", "NULL", 0},
    {T, 1, "12:00:00", "0.5", 0},
    {T, 1, "ab", "NULL", kBad},
    {T, 1, " ", "NULL", 0},
    {E, 1, "2020/01/05 12:00:00", "43835.5", 0},
    {E, 1, "", "NULL", 0},
    {N, 1, "1,234.5", "1234.500000", 0},
    {N, 1, "12.5 ", "12.500000", 0},
    {N, 1, "12.5x", "NULL", kBad},
    {N, 0, "12.5x", "NULL", 0},
    {N, 1, "x", "NULL", kBad},
    {N, 1, "  ,", "NULL", 0},
    {N, 1, nullptr, "NULL", 0},
};

TEST(Field, Str2DataConvertsByType) {
  for (const ConvCase& c : kConv) {
    SCOPED_TRACE(std::string(FieldTypeName(c.type)) + " check " + std::to_string(c.check) + " [" +
                 (c.text ? c.text : "(null)") + "]");
    std::unique_ptr<CField> f = Make(c.type, c.check, 3);
    EXPECT_EQ(f->Str2Data(1, c.text), c.status);
    EXPECT_EQ(RenderRaw(c.type, static_cast<char*>(f->getData()) + f->getWidth(), 1), c.want);
    // Element 0 keeps the NULL whatever was stored.
    EXPECT_EQ(RenderRaw(c.type, f->getData(), 0), "NULL");
  }
}

// Plain numbers and dates are read by quick readers; every text must give the element and status
// the general converters give, under either check. Texts without commas, so that the general road
// sees them as they are.
TEST(Field, QuickReadersMatchTheGeneralConverters) {
  struct Group {
    int type;
    int date_code;
    std::vector<std::string> texts;
  };
  std::vector<Group> groups = {
      {I, 0, {"0",          "7",           "-7",        "+7",         "-0",         "007",
              "123456789",  "-123456789",  "999999999", "1234567890", "2147483647", "-2147483647",
              "2147483648", "-2147483648", "12 ",       "12  x",      "12x",        "1.5",
              "-",          "+",           "--1",       "\t5",        "5\t",        "1e3"}},
      {D,
       0,
       {"0",
        "-0",
        "0.5",
        ".5",
        "-.5",
        "5.",
        "1e5",
        "1E+05",
        "2.5e-3",
        "1e",
        "1e+",
        "0.000000001",
        "0.999999999",
        "123456789012345678901234567890",
        "1e308",
        "1e309",
        "-1e309",
        "1e-320",
        "1e-400",
        "4.9406564584124654e-324",
        "0x10",
        "inf",
        "nan",
        "+1",
        "1-2",
        "1.2.3",
        "7 ",
        "7 x",
        ".",
        "-.",
        "\t1",
        "1\t",
        "9007199254740993",
        "0.1000000000000000055511151231257827"}},
      {DT,
       2,
       {"2024-01-05", "2024-02-29", "2023-02-29", "2024-13-01", "2024-00-10", "2024-01-00", "2024-01-32",
        "0000-01-01", "0001-01-01", "9999-12-31", "2024-1-05", "2024-01-5", "2024-01-05 ", "2024-01-05x",
        "2024/01/05", "20240105", "2024-01-05\t", "2024-01"}},
      {DT, 1, {"2024/01/05", "2024/02/30", "2024-01-05", "2024/01/05  ", "2024/1/5"}},
      {N,
       0,
       {"0", "-0", "-0.00", "12.34", "12.345", "12.355", "-12.345", "999999999999999999",
        "9999999999999999999999", "1e3", "1.", ".5", "12.5x", "12.5 ", "-", "+3.25"}},
  };
  // Random plain texts of the forms the import benchmark and hosts write.
  std::mt19937_64 rng(42);
  for (int k = 0; k < 2000; ++k) {
    char buf[64];
    const double x = std::ldexp(static_cast<double>(rng() >> 11), -static_cast<int>(rng() % 80));
    std::snprintf(buf, sizeof buf, k % 3 == 0 ? "%.17g" : (k % 3 == 1 ? "%.9f" : "%g"), k % 2 ? -x : x);
    groups[1].texts.push_back(buf);
    std::snprintf(buf, sizeof buf, "%d", static_cast<int>(rng()));
    groups[0].texts.push_back(buf);
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", 1 + static_cast<int>(rng() % 9999),
                  static_cast<int>(rng() % 14), static_cast<int>(rng() % 33));
    groups[2].texts.push_back(buf);
    std::snprintf(buf, sizeof buf, "%lld.%02d", static_cast<long long>(rng() % 2000000) - 1000000,
                  static_cast<int>(rng() % 100));
    groups[4].texts.push_back(buf);
  }
  for (const Group& g : groups) {
    for (int check : {0, 1}) {
      for (const std::string& text : g.texts) {
        SCOPED_TRACE(std::string(FieldTypeName(g.type)) + " check " + std::to_string(check) + " [" + text +
                     "]");
        std::unique_ptr<CField> f = Make(g.type, check, 1);
        if (g.date_code != 0) static_cast<CDouble_Field*>(f.get())->setDateFormat(g.date_code);
        NumericInfo info{2, Q7_ROUND_HALF_UP};
        if (g.type == N) static_cast<CNumeric_Field*>(f.get())->setNumericInfo(info.scale, info.roundingMode);
        const int status = f->Str2Data(0, text.c_str());
        const char* got = static_cast<char*>(f->getData()) + f->getWidth();
        int err = 0;
        if (g.type == I) {
          const int want = Str2Int(text.c_str(), check, &err);
          EXPECT_EQ(std::memcmp(got, &want, sizeof want), 0);
        } else if (g.type == D || g.type == DT) {
          const double converted = g.type == D ? Str2Double(text.c_str(), check, &err)
                                               : Str2DateExType(text.c_str(), g.date_code, check, &err);
          // A text the converter fails on is stored as NULL, checked or not.
          const double want = err != 0 ? -HUGE_VAL : converted;
          EXPECT_EQ(std::memcmp(got, &want, sizeof want), 0) << RenderRaw(g.type, got, 0);
        } else {
          Numeric want;
          const char* end = nullptr;
          const int r = q7num::NumericStr2Num(text.c_str(), &info, &want, &end);
          const char* tail = end == nullptr ? "x" : end;
          while (*tail == ' ') ++tail;
          err = r < 0 || q7num::IsNan(want) || *tail != '\0' ? 1 : 0;
          if (err != 0) want = q7num::NanNumeric();
          EXPECT_EQ(std::memcmp(got, &want, sizeof want), 0) << RenderRaw(g.type, got, 0);
        }
        EXPECT_EQ(status, err != 0 && check != 0 ? kBad : 0);
      }
    }
  }
}

// The caller's text is never written, even when commas have to go.
TEST(Field, Str2DataLeavesTheTextAlone) {
  for (int type : {I, D, N}) {
    std::unique_ptr<CField> f = Make(type, 1, 1);
    char text[] = " 1,234";
    EXPECT_EQ(f->Str2Data(0, text), 0);
    EXPECT_STREQ(text, " 1,234");
  }
}

TEST(Field, RowOutsideCapacityIsRefused) {
  for (int type = Q7_TYPE_INTEGER; type <= Q7_TYPE_DECIMAL; ++type) {
    SCOPED_TRACE(type);
    std::unique_ptr<CField> f = Make(type, 1, 2);
    EXPECT_EQ(f->Str2Data(2, "1"), Q7_ERROR_NULL_DATA);
    EXPECT_EQ(f->Str2Data(-1, "1"), Q7_ERROR_NULL_DATA);
    std::unique_ptr<CField> none(CreateField(type, 1, "F"));
    EXPECT_EQ(none->Str2Data(0, "1"), Q7_ERROR_NULL_DATA);
    // Growing makes room.
    EXPECT_EQ(f->realloc(3), 5);
    EXPECT_EQ(f->Str2Data(4, Sample(type, 1).c_str()), 0);
  }
}

TEST(Field, CreateFieldChecksTheType) {
  const char* names[] = {"INTEGER", "DOUBLE", "DATE", "TIME", "STRING", "DATETIME", "DECIMAL"};
  const int widths[] = {4, 8, 8, 8, 8, 8, 16};
  for (int type = Q7_TYPE_INTEGER; type <= Q7_TYPE_DECIMAL; ++type) {
    std::unique_ptr<CField> f(CreateField(type, 1, "NAME"));
    EXPECT_EQ(f->getType(), type);
    EXPECT_STREQ(f->getTypeName(), names[type - 2]);
    EXPECT_STREQ(FieldTypeName(type), names[type - 2]);
    EXPECT_EQ(f->getWidth(), widths[type - 2]);
    EXPECT_STREQ(f->getFilterName(), "NAME");
    EXPECT_EQ(f->getCheck(), 1);
  }
  for (int type : {0, 1, 9, -1}) {
    EXPECT_EQ(q7test::CodeOf([&] { delete CreateField(type, 1, "X"); }), Q7_ERROR_INVALID_DATA_TYPE);
    EXPECT_EQ(FieldTypeName(type), nullptr);
  }
}

TEST(Field, AllocAndCache) {
  CInt_Field f(1, "F");
  EXPECT_EQ(f.alloc(0), 0);
  EXPECT_EQ(f.getData(), nullptr);
  EXPECT_EQ(f.CreateMemCache(10), 10);
  EXPECT_EQ(f.getCacheRows(), 10);
  f.countRow();
  EXPECT_EQ(f.getRowCount(), 1);
  EXPECT_EQ(f.getCacheRows(), 9);
}

// ---- Handing rows to a table ----

// Rows below the row count that were never stored go to the table as NULL.
TEST_F(FieldTask, UnstoredRowsAreNull) {
  for (int type = Q7_TYPE_INTEGER; type <= Q7_TYPE_DECIMAL; ++type) {
    SCOPED_TRACE(type);
    task_.calls.clear();
    std::unique_ptr<CField> f = Make(type, 1, 8);
    ASSERT_EQ(f->Str2Data(0, Sample(type, 1).c_str()), 0);
    ASSERT_EQ(f->Str2Data(3, Sample(type, 4).c_str()), 0);
    f->setRowCount(5);
    ASSERT_EQ(f->write2DB(11), 7);
    ASSERT_EQ(task_.calls.size(), 1u);
    const std::vector<std::string>& v = task_.calls[0].values;
    ASSERT_EQ(v.size(), 5u);
    const std::string null = type == Q7_TYPE_STRING ? "" : "NULL";
    EXPECT_EQ(v[1], null);
    EXPECT_EQ(v[2], null);
    EXPECT_EQ(v[4], null);
    EXPECT_NE(v[0], null);
    EXPECT_NE(v[3], null);
  }
}

TEST_F(FieldTask, Write2DBHandsTheRows) {
  CStr_Field f(1, 4, "NAME");
  f.setFilterPos(3);
  for (const char* t : {"b", "", "a"}) {
    ASSERT_EQ(f.Str2Data(f.getRowCount(), t), 0);
    f.countRow();
  }
  ASSERT_EQ(f.Str2Data(0, "c"), 0);  // stored again: the row takes the new text
  EXPECT_EQ(f.write2DB(11), 7);
  ASSERT_EQ(task_.calls.size(), 1u);
  const Handed h = task_.calls[0];
  EXPECT_EQ(h.op, "add");
  EXPECT_EQ(h.table, 11);
  EXPECT_EQ(h.position, 3);
  EXPECT_EQ(h.name, "NAME");
  EXPECT_EQ(h.type, Q7_TYPE_STRING);
  EXPECT_EQ(h.rows, 3);
  EXPECT_EQ(h.width, 8);
  EXPECT_EQ(h.values, (std::vector<std::string>{"c", "", "a"}));

  // The buffer is still whole afterwards: handing it again gives the same rows.
  EXPECT_EQ(f.append2DB(11, 2, -1), 3);
  EXPECT_EQ(task_.calls[1].values, h.values);
  EXPECT_EQ(task_.calls[1].filter, 2);
  EXPECT_EQ(task_.calls[1].position, -1);
}

TEST_F(FieldTask, EmptyBuffers) {
  CStr_Field s(1, "S");
  EXPECT_EQ(s.write2DB(1), 7);
  ASSERT_EQ(task_.calls.size(), 1u);
  EXPECT_EQ(task_.calls[0].rows, 0);
  EXPECT_FALSE(task_.calls[0].data);
  // Appending no rows appends nothing.
  CInt_Field i(1, 4, "I");
  EXPECT_EQ(i.append2DB(1, 1, -1), 0);
  EXPECT_EQ(i.append2DBNumeric(1, 1, -1, 2, 4), 0);
  EXPECT_EQ(task_.calls.size(), 1u);
}

TEST_F(FieldTask, AppendNumericPassesScaleAndMode) {
  CNumeric_Field f(1, 2, "N");
  ASSERT_EQ(f.Str2Data(0, "1.5"), 0);
  f.setRowCount(1);
  EXPECT_EQ(f.append2DBNumeric(4, 5, 6, 2, 3), 1);
  ASSERT_EQ(task_.calls.size(), 1u);
  EXPECT_EQ(task_.calls[0].op, "appendNumeric");
  EXPECT_EQ(task_.calls[0].scale, 2);
  EXPECT_EQ(task_.calls[0].mode, 3);
  EXPECT_EQ(task_.calls[0].position, 6);
  EXPECT_EQ(task_.calls[0].values, std::vector<std::string>{"1.500000"});
}

TEST_F(FieldTask, FailuresComeBackAsCodes) {
  CInt_Field f(1, 2, "I");
  f.setRowCount(3);  // more rows than room
  EXPECT_EQ(f.write2DB(1), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(f.Compile(), Q7_ERROR_INVALID_PARAMETER);
  f.setRowCount(1);
  task_.result = Q7_ERROR_NO_SUCH_TABLE;
  EXPECT_EQ(f.write2DB(1), Q7_ERROR_NO_SUCH_TABLE);
  EXPECT_EQ(f.append2DB(1, 1, 1), Q7_ERROR_NO_SUCH_TABLE);
  SetImportTask(nullptr);
  EXPECT_EQ(f.write2DB(1), Q7_ERROR_UNKNOWN);
  EXPECT_EQ(f.append2DB(1, 1, 1), Q7_ERROR_UNKNOWN);
}

// ---- Merging buffers ----

TEST_F(FieldTask, MergeAppendsTheOtherRows) {
  CStr_Field a(1, 2, "A"), b(1, 3, "B");
  a.Str2Data(0, "x");
  a.Str2Data(1, "yy");
  a.setRowCount(2);
  b.Str2Data(0, "zzz");
  b.Str2Data(2, "w");
  b.setRowCount(3);
  EXPECT_EQ(a.merge(&b), 2 + 3 + 5);
  EXPECT_EQ(a.getRowCount(), 5);
  a.write2DB(1);
  EXPECT_EQ(task_.calls.at(0).values, (std::vector<std::string>{"x", "yy", "zzz", "", "w"}));

  CInt_Field i(1, 1, "I");
  EXPECT_EQ(a.merge(&i), Q7_ERROR_FILTER_TYPE_MISMATCH);
  EXPECT_EQ(i.merge(&a), Q7_ERROR_FILTER_TYPE_MISMATCH);
  CDouble_Field d(1, 1, "D");
  CDate_Field dt(1, 1, "DT");
  EXPECT_EQ(d.merge(&dt), Q7_ERROR_FILTER_TYPE_MISMATCH);
}

// ---- Strings ----

TEST(Field, AverageLengthEstimate) {
  struct Case {
    int start_len;  // sample that sets the estimate first (no halving), -1 none
    const char* sample;
    int halve;
    int want;
  };
  const std::string big(5000, 'x');
  const Case cases[] = {
      {-1, "abc", 0, 3 + 5 + 1}, {-1, "abc", 1, 5},  // (3 + 5 + 1) / 2 = 4, held at 5
      {-1, nullptr, 0, 6},       {-1, big.c_str(), 0, 4095}, {20, "abcdefghij", 1, (10 + 26 + 1) / 2},
  };
  for (const Case& c : cases) {
    CStr_Field f;
    if (c.start_len >= 0) f.AvrStrLen(std::string(static_cast<size_t>(c.start_len), 'y').c_str(), 0);
    f.AvrStrLen(c.sample, c.halve);
    EXPECT_EQ(f.getAverage(), c.want);
  }
  CStr_Field sized;
  sized.AvrStrLen(std::string(99, 'x').c_str(), 0);  // 105
  sized.alloc(1000);
  EXPECT_EQ(sized.getPoolCapacity(), 105 * 1000);
  CStr_Field small(10);
  EXPECT_EQ(small.getPoolCapacity(), CStr_Field::kMinPool);
}

class FixedOwner : public CFieldOwner {
 public:
  explicit FixedOwner(long rows) : rows_(rows) {}
  long RemainingRowsEstimate(int, long) override {
    ++asked;
    return rows_;
  }
  int asked = 0;

 private:
  long rows_;
};

// Texts far longer than the estimate grow the pool; every text survives every move of the pool.
TEST_F(FieldTask, PoolGrowsAndKeepsTexts) {
  for (long owner_rows : {-1L, 0L, 50L}) {
    SCOPED_TRACE(owner_rows);
    task_.calls.clear();
    FixedOwner owner(owner_rows < 0 ? 0 : owner_rows);
    CStr_Field f(1, 2000, "S");
    if (owner_rows >= 0) f.setParser(&owner);
    std::vector<std::string> want;
    for (int r = 0; r < 2000; ++r) {
      want.push_back(std::string(static_cast<size_t>(r % 300), static_cast<char>('a' + r % 26)) +
                     std::to_string(r));
      ASSERT_EQ(f.Str2Data(r, want.back().c_str()), 0);
      f.countRow();
    }
    EXPECT_GT(f.getPoolCapacity(), CStr_Field::kMinPool);
    EXPECT_GE(f.getPoolCapacity(), f.getPoolUsed());
    if (owner_rows >= 0) {
      EXPECT_GT(owner.asked, 0);
    }
    f.write2DB(1);
    EXPECT_EQ(task_.calls.at(0).values, want);
  }
}

// ---- Compiling window by window ----

// The compiled list rendered value by value, and the value numbers.
struct Compiled {
  std::vector<std::string> list;
  std::vector<int> vno;
  bool operator==(const Compiled&) const = default;
};

Compiled Snapshot(CField& f) {
  Compiled c;
  TBaseArray* list = f.getCompiledList();
  TIntArray* vno = f.getCompiledVNo();
  EXPECT_NE(list, nullptr);
  EXPECT_NE(vno, nullptr);
  if (list == nullptr || vno == nullptr) return c;
  for (int i = 0; i < list->FArraySize; ++i) {
    if (f.getType() == Q7_TYPE_STRING) {
      c.list.push_back(static_cast<TStrArray*>(list)->GetPChar(i));
    } else {
      c.list.push_back(RenderRaw(f.getType(), list->FData, i));
    }
  }
  for (int i = 0; i < vno->FArraySize; ++i) c.vno.push_back(vno->GetInt(i));
  return c;
}

std::vector<std::string> Texts(int type, int n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<std::string> out;
  for (int i = 0; i < n; ++i) {
    const int v = static_cast<int>(rng() % 40) - 20;
    if (v == 0) {
      out.push_back("");  // some NULLs
      continue;
    }
    switch (type) {
      case Q7_TYPE_STRING:
        out.push_back("s" + std::to_string(v * 7));
        break;
      case Q7_TYPE_DATE:
        out.push_back("2021/3/" + std::to_string((v + 40) % 28 + 1));
        break;
      case Q7_TYPE_INTEGER:
        out.push_back(std::to_string(v * 1000));
        break;
      default:
        out.push_back(std::to_string(v) + ".25");
        break;
    }
  }
  return out;
}

// Windows of these sizes (0 included: a window that adds nothing).
const std::vector<std::vector<int>> kWindows = {{300}, {100, 200}, {1, 0, 150, 149}, {7, 7, 7, 279}};

TEST(Field, CompileByWindowsEqualsOneCompile) {
  for (int type : {I, D, DT, static_cast<int>(Q7_TYPE_STRING), N}) {
    const std::vector<std::string> texts = Texts(type, 300, static_cast<unsigned>(type));
    Compiled one;
    for (const std::vector<int>& windows : kWindows) {
      SCOPED_TRACE(std::string(FieldTypeName(type)) + " windows " + std::to_string(windows.size()));
      std::unique_ptr<CField> f = Make(type, 1, 300);
      size_t next = 0;
      for (int w : windows) {
        for (int r = 0; r < w; ++r) {
          ASSERT_EQ(f->Str2Data(r, texts[next++].c_str()), 0);
          f->countRow();
        }
        ASSERT_EQ(f->Compile(), 0);
        EXPECT_EQ(f->getRowCount(), 0);
      }
      EXPECT_EQ(f->getCompiledRows(), 300);
      const Compiled got = Snapshot(*f);
      if (windows.size() == 1) {
        one = got;
        // One compile against the rules: NULL first, values ascending, each row's number its value's.
        ASSERT_EQ(got.vno.size(), 301u);
        EXPECT_EQ(got.vno[0], 0);
        const std::string null = type == Q7_TYPE_STRING ? "" : "NULL";
        EXPECT_EQ(got.list[0], null);
        for (size_t r = 0; r < 300; ++r) {
          const std::string& v = got.list.at(static_cast<size_t>(got.vno[r + 1]));
          if (texts[r].empty()) {
            EXPECT_EQ(v, null);
          } else if (type == Q7_TYPE_STRING) {
            EXPECT_EQ(v, texts[r]);
          }
        }
      } else {
        EXPECT_TRUE(got == one);
      }
    }
  }
}

// A compiled string list keeps its texts after the next window reuses the pool.
TEST(Field, CompiledStringsOutliveThePool) {
  CStr_Field f(1, 2, "S");
  f.Str2Data(0, "bb");
  f.Str2Data(1, "aa");
  f.setRowCount(2);
  ASSERT_EQ(f.Compile(), 0);
  f.Str2Data(0, "zz");
  f.Str2Data(1, "bb");
  f.setRowCount(2);
  ASSERT_EQ(f.Compile(), 0);
  const Compiled c = Snapshot(f);
  EXPECT_EQ(c.list, (std::vector<std::string>{"", "aa", "bb", "zz"}));
  EXPECT_EQ(c.vno, (std::vector<int>{0, 2, 1, 3, 2}));
}

// A window holding exactly the values already compiled leaves the list as it is.
TEST(Field, WindowOfKnownValuesKeepsTheList) {
  CInt_Field f(1, 2, "I");
  for (const char* pair : {"5,3", "3,5", "5,5"}) {
    const std::string p(pair);
    f.Str2Data(0, p.substr(0, 1).c_str());
    f.Str2Data(1, p.substr(2).c_str());
    f.setRowCount(2);
    ASSERT_EQ(f.Compile(), 0);
  }
  const Compiled c = Snapshot(f);
  EXPECT_EQ(c.list, (std::vector<std::string>{"NULL", "3", "5"}));
  EXPECT_EQ(c.vno, (std::vector<int>{0, 2, 1, 1, 2, 2, 2}));
}

// The compiled list carries the field's attributes: a date list its extend type and format codes, a
// decimal list its scale and mode, through a merge too.
TEST(Field, CompiledListKeepsAttributes) {
  CDate_Field d(1, 2, "D");
  d.setDateFormat(0);
  d.setTimeFormat(2);
  CNumeric_Field n(1, 2, "N");
  n.setNumericInfo(2, Q7_ROUND_HALF_EVEN);
  for (int window = 0; window < 2; ++window) {
    d.Str2Data(0, window == 0 ? "2020/1/1" : "2019/1/1");
    d.setRowCount(1);
    ASSERT_EQ(d.Compile(), 0);
    n.Str2Data(0, window == 0 ? "1.25" : "0.5");
    n.setRowCount(1);
    ASSERT_EQ(n.Compile(), 0);
  }
  TDoubleArray* dl = static_cast<TDoubleArray*>(d.getCompiledList());
  EXPECT_EQ(dl->GetExtendType(), Q7_TYPE_DATE);
  EXPECT_EQ(dl->DispSecond(), 2);
  TNumericArray* nl = static_cast<TNumericArray*>(n.getCompiledList());
  EXPECT_EQ(nl->GetScale(), 2);
  EXPECT_EQ(nl->GetRoundingMode(), Q7_ROUND_HALF_EVEN);
  EXPECT_EQ(nl->FArraySize, 3);

  TIntArray* vno = nullptr;
  TBaseArray* list = nullptr;
  int rows = 0;
  n.TakeCompiled(&vno, &list, &rows);
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(n.getCompiledList(), nullptr);
  delete vno;
  delete list;
}

// ---- Text slots ----

TEST(Field, TextSlot) {
  CPStr s;
  EXPECT_STREQ(s.getData(), "");
  s.setData("abc");
  s.setData(nullptr);
  EXPECT_STREQ(s.getData(), "abc");
  const std::string big(5000, 'q');
  s.setData(big.c_str());
  EXPECT_EQ(strlen(s.getData()), CPStr::kSize - 1);
  s.setData("xyz", 2);
  EXPECT_STREQ(s.getData(), "xy");
}

}  // namespace
