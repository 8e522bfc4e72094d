// Cube summaries through the interface: cubes over real and join tables against a group-by that the
// test computes from the rows it reads back, the handle refusals, the cell limit, category names and
// the temporary copy of small sets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host_test_support.h"
#include "q7api.h"

namespace {

using q7host::DrainRing;
using q7host::kIntNull;
using q7host::RefusalCase;
using q7host::RingEntry;
using Ints = std::vector<int>;

Numeric Dec(int64_t units) { return q7host::Decimal(units); }
const Numeric kDecNull = q7host::kDecimalNull;
const double kDNull = q7host::kDoubleNull;

__int128 ToI128(const Numeric& n) {
  return static_cast<__int128>((static_cast<unsigned __int128>(static_cast<uint64_t>(n.high)) << 64) | n.low);
}

// One row's value of a filter as the engine reads it back: its value number and the bytes that
// RQ7SummaryRead copies for it (a decimal: the value, then its NumericInfo).
struct RowValue {
  int vno = 0;
  int type = 0;
  std::string bytes;
  double number = 0;
  __int128 units = 0;
};

RowValue ReadRow(int table, int filter, int set, int pos) {
  RowValue v;
  EXPECT_EQ(RQ7GetVNoList(table, filter, set, pos + 1, 1, &v.vno), 1);
  std::vector<char> buf(4200);
  const int size = RQ7GetData(table, filter, set, pos, &v.type, buf.data());
  EXPECT_GE(size, 0);
  switch (v.type) {
    case Q7_TYPE_INTEGER: {
      int32_t x;
      memcpy(&x, buf.data(), 4);
      v.number = x;
      v.bytes.assign(buf.data(), 4);
      break;
    }
    case Q7_TYPE_STRING:
      v.bytes.assign(buf.data(), strlen(buf.data()) + 1);
      break;
    case Q7_TYPE_DECIMAL: {
      Numeric x;
      memcpy(&x, buf.data() + sizeof(NumericInfo), sizeof x);
      v.units = ToI128(x);
      v.bytes.assign(buf.data() + sizeof(NumericInfo), sizeof(Numeric));
      v.bytes.append(buf.data(), sizeof(NumericInfo));
      break;
    }
    default: {
      double x;
      memcpy(&x, buf.data(), 8);
      v.number = x;
      v.bytes.assign(buf.data(), 8);
      break;
    }
  }
  return v;
}

// What the group-by gives for one cell.
struct Expected {
  int count = 0;
  bool any = false;  // a non-NULL measure value
  RowValue max, min;
  double sum = 0;
  __int128 units = 0;
};

struct Status {
  int table = 0, set = 0, count = 0, measure = 0, computed = 0;
  _TDimensionDef dims[Q7_SUMMARY_MAX_DIMS] = {};
};

Status ReadStatus(int handle) {
  Status s;
  EXPECT_EQ(RQ7SummaryStatus(handle, &s.table, &s.set, &s.count, s.dims, &s.measure, &s.computed), 1);
  return s;
}

// Opens handle 0 over the dimensions (identity maps) and the measure, executes all bits and compares
// every cell with a group-by of the rows of the set as the summary's status names them.
void ExpectCubeMatchesGroupBy(int table, int set, const Ints& dims, int measure) {
  SCOPED_TRACE("table " + std::to_string(table) + " measure " + std::to_string(measure) + " dims " +
               std::to_string(dims.size()));
  std::vector<_TDimensionDef> defs(dims.size());
  for (size_t d = 0; d < dims.size(); ++d) defs[d].column_id = dims[d];
  ASSERT_EQ(Q7SummaryOpen(0, table, set, static_cast<int>(dims.size()), defs.data(), measure), 0);
  int computed = 0;
  ASSERT_EQ(RQ7SummaryExec(0, 15, &computed), 0);
  const Status st = ReadStatus(0);

  // The group-by, from the rows of the summed table and set.
  std::vector<int> strides(dims.size(), 1);
  int cells = 1;
  for (int d = static_cast<int>(dims.size()) - 1; d >= 0; --d) {
    strides[static_cast<size_t>(d)] = cells;
    cells *= st.dims[d].category_count;
  }
  std::vector<Expected> want(static_cast<size_t>(cells));
  const int rows = RQ7GetSetSize(st.table, st.set);
  ASSERT_GE(rows, 0);
  int measure_type = Q7_TYPE_INTEGER;
  for (int p = 0; p < rows; ++p) {
    int cell = 0;
    for (size_t d = 0; d < dims.size(); ++d) {
      cell += strides[d] * ReadRow(st.table, st.dims[d].column_id, st.set, p).vno;
    }
    Expected& e = want[static_cast<size_t>(cell)];
    if (measure <= 0) {
      ++e.count;
      continue;
    }
    const RowValue v = ReadRow(st.table, st.measure, st.set, p);
    measure_type = v.type;
    const bool text = v.type == Q7_TYPE_STRING;
    if (v.vno == 0 && !text) continue;
    ++e.count;
    if (v.vno == 0) {
      if (!e.any) e.max = e.min = v;
      continue;
    }
    if (!e.any || v.vno > e.max.vno) e.max = v;
    if (!e.any || v.vno < e.min.vno || e.min.vno == 0) e.min = v;
    e.any = true;
    e.sum += v.number;
    e.units += v.units;
  }
  const int basic_type =
      measure <= 0 ? Q7_TYPE_INTEGER
      : measure_type == Q7_TYPE_DATE || measure_type == Q7_TYPE_TIME || measure_type == Q7_TYPE_DATETIME
          ? Q7_TYPE_DOUBLE
          : measure_type;
  const int want_bits = measure <= 0 ? 1 : basic_type == Q7_TYPE_STRING ? 7 : 15;
  EXPECT_EQ(computed, want_bits);

  int total = 0;
  for (int cell = 0; cell < cells; ++cell) {
    SCOPED_TRACE("cell " + std::to_string(cell));
    Ints cats(Q7_SUMMARY_MAX_DIMS, 0);
    for (size_t d = 0; d < dims.size(); ++d) {
      cats[d] = cell / strides[d] % st.dims[d].category_count;
    }
    const Expected& e = want[static_cast<size_t>(cell)];
    total += e.count;
    for (int bit : {1, 2, 4, 8}) {
      if ((want_bits & bit) == 0) continue;
      char value[64] = {};
      int result_type = -1, count = -1, value_type = -1;
      ASSERT_EQ(RQ7SummaryRead(0, bit, cats.data(), &result_type, &count, &value_type, value), 0);
      EXPECT_EQ(count, e.count);
      EXPECT_EQ(result_type, basic_type);
      if (e.count == 0) continue;
      if (bit == 1) {
        int32_t n;
        memcpy(&n, value, 4);
        EXPECT_EQ(n, e.count);
      } else if (bit == 2 || bit == 4) {
        const RowValue& v = bit == 2 ? e.max : e.min;
        EXPECT_EQ(value_type, measure_type);
        EXPECT_EQ(std::string(value, v.bytes.size()), v.bytes) << "bit " << bit;
      } else if (basic_type == Q7_TYPE_DECIMAL) {
        EXPECT_EQ(value_type, Q7_TYPE_DECIMAL);
        Numeric sum;
        memcpy(&sum, value, sizeof sum);
        EXPECT_TRUE(ToI128(sum) == e.units);
      } else {
        double sum;
        memcpy(&sum, value, 8);
        EXPECT_EQ(sum, e.sum);
      }
    }
  }
  EXPECT_EQ(total, measure <= 0 ? rows : total);
  EXPECT_EQ(RQ7SummaryClose(0), 0);
}

// sales (20 rows): region INTEGER, price DOUBLE, day DATE, city STRING, amount DECIMAL(2), qty
// INTEGER; NULLs in every column.
class SummaryApi : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RQ7ClearDB(), 0);
    t_ = q7host::AddTable("sales", 20);
    ASSERT_GT(t_, 0);
    region_ = q7host::AddIntColumn(
        t_, "region", {3, 1, 2, 3, kIntNull, 1, 2, 2, 3, 1, 5, 5, 1, kIntNull, 2, 3, 1, 1, 2, 5});
    price_ = q7host::AddDoubleColumn(
        t_, "price", {1.5, 2, kDNull, 4, 8, 1.5, 2, 0.25, 4, 8, 16, kDNull, 1.5, 2, 4, 4, 8, 1.5, 2, 0.5});
    const double d1 = q7host::DateSerial(2024, 3, 1), d2 = q7host::DateSerial(2023, 12, 31);
    const double d3 = q7host::DateSerial(2025, 1, 15);
    day_ = q7host::AddDoubleColumn(t_, "day", {d1,     d2, d3, d1, kDNull, d2, d2, d3, d1, d1,
                                               kDNull, d3, d2, d1, d1,     d3, d2, d2, d1, kDNull},
                                   Q7_TYPE_DATE);
    city_ = q7host::AddStringColumn(
        t_, "city", {"rome", "oslo", "", "lima", "oslo", "rome", "",     "lima", "oslo", "kiev",
                     "rome", "oslo", "", "lima", "kiev", "rome", "oslo", "",     "lima", "rome"});
    amount_ = q7host::AddDecimalColumn(
        t_, "amount",
        {Dec(1234), Dec(-50), kDecNull, Dec(999), Dec(1),    Dec(1234), Dec(70),  kDecNull, Dec(5), Dec(-50),
         Dec(300),  Dec(1),   Dec(8),   Dec(999), Dec(1234), Dec(2),    kDecNull, Dec(40),  Dec(5), Dec(6)},
        2);
    qty_ = q7host::AddIntColumn(
        t_, "qty", {5, kIntNull, 7, 1, 2, 9, kIntNull, 3, 3, 4, 10, 2, kIntNull, 8, 6, 1, 1, 2, 5, kIntNull});
    for (int id : {region_, price_, day_, city_, amount_, qty_}) ASSERT_GT(id, 0);
    DrainRing();
  }
  void TearDown() override {
    for (int h = 0; h < Q7_SUMMARY_HANDLES; ++h) RQ7SummaryClose(h);
    RQ7ClearDB();
    DrainRing();
  }

  int t_ = 0, region_ = 0, price_ = 0, day_ = 0, city_ = 0, amount_ = 0, qty_ = 0;
};

TEST_F(SummaryApi, CubesOverRealTablesMatchTheGroupBy) {
  // Column numbers: 0 region, 1 price, 2 day, 3 city, 4 amount, 5 qty; measure -1: none.
  struct CubeCase {
    Ints dims;
    int measure;
  };
  const std::vector<CubeCase> cubes = {
      {{}, -1},    {{}, 5},     {{0}, 5},          {{3}, 1},           {{3, 2}, 4},
      {{0, 4}, 2}, {{4, 0}, 3}, {{3, 2, 0, 4}, 5}, {{0, 1, 2, 3}, -1},
  };
  const Ints columns = {region_, price_, day_, city_, amount_, qty_};
  // The whole table, and a set of some rows in another order.
  const int32_t from = 2;
  const char* bound = reinterpret_cast<const char*>(&from);
  const int subset = RQ7SearchByField(t_, region_, 1, Q7_SEARCH_AT_LEAST, bound, bound);
  ASSERT_GT(subset, 1);
  for (int set : {1, subset}) {
    for (const CubeCase& c : cubes) {
      Ints dims;
      for (int d : c.dims) dims.push_back(columns[static_cast<size_t>(d)]);
      ExpectCubeMatchesGroupBy(t_, set, dims, c.measure < 0 ? 0 : columns[static_cast<size_t>(c.measure)]);
    }
  }
}

TEST_F(SummaryApi, EmptyCellsAndNullMeasures) {
  // A STRING measure counts its NULL rows but never reports NULL as MIN.
  _TDimensionDef def{};
  def.column_id = region_;
  ASSERT_EQ(Q7SummaryOpen(0, t_, 1, 1, &def, city_), 0);
  int computed = 0;
  ASSERT_EQ(RQ7SummaryExec(0, 15, &computed), 0);
  EXPECT_EQ(computed, 7);
  int rt = 0, vt = 0, count = 0;
  void* value = nullptr;
  // Region 1 (value number 1): cities oslo, rome, kiev, "", oslo, "" -> COUNT 6, MIN "kiev".
  int cats[Q7_SUMMARY_MAX_DIMS] = {1};
  ASSERT_EQ(Q7SummaryRead(0, 4, cats, &rt, &vt, &count, &value), 0);
  EXPECT_EQ(count, 6);
  EXPECT_STREQ(static_cast<const char*>(value), "kiev");
  EXPECT_EQ(Q7SummaryRead(0, 8, cats, &rt, &vt, &count, &value),
            static_cast<int>(Q7_ERROR_INVALID_OUTPUT_PARAMETER));
  EXPECT_EQ(RQ7SummaryClose(0), 0);

  // Only SUM asked: COUNT comes too.
  ASSERT_EQ(Q7SummaryOpen(0, t_, 1, 1, &def, qty_), 0);
  ASSERT_EQ(RQ7SummaryExec(0, 8, &computed), 0);
  EXPECT_EQ(computed, 9);
  // A cell that no row reaches: COUNT 0 and no value for any bit.
  _TDimensionDef defs[2] = {};
  defs[0].column_id = region_;
  defs[1].column_id = city_;
  ASSERT_EQ(Q7SummaryOpen(1, t_, 1, 2, defs, qty_), 0);
  ASSERT_EQ(RQ7SummaryExec(1, 15, &computed), 0);
  int none[Q7_SUMMARY_MAX_DIMS] = {0, 0};  // NULL region, NULL city: no such row
  for (int bit : {1, 2, 4, 8}) {
    value = &count;
    ASSERT_EQ(Q7SummaryRead(1, bit, none, &rt, &vt, &count, &value), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(value, nullptr);
  }
  // Read gives the decimal-less view of a SUM: value type 3 even for a decimal measure; Read2 (the
  // RQ7 form) reports 8 and appends the scale.
  EXPECT_EQ(RQ7SummaryClose(1), 0);
  ASSERT_EQ(Q7SummaryOpen(1, t_, 1, 0, nullptr, amount_), 0);
  ASSERT_EQ(RQ7SummaryExec(1, 15, &computed), 0);
  ASSERT_EQ(Q7SummaryRead(1, 8, none, &rt, &vt, &count, &value), 0);
  EXPECT_EQ(rt, Q7_TYPE_DECIMAL);
  EXPECT_EQ(vt, Q7_TYPE_DOUBLE);
  char buf[64];
  ASSERT_EQ(RQ7SummaryRead(1, 8, none, &rt, &count, &vt, buf), 0);
  EXPECT_EQ(vt, Q7_TYPE_DECIMAL);
  NumericInfo info;
  memcpy(&info, buf + sizeof(Numeric), sizeof info);
  EXPECT_EQ(info.scale, 2);
  EXPECT_EQ(count, 17);
}

TEST_F(SummaryApi, HandleRefusalsAndRingEntries) {
  // Handle 0: executed, COUNT of a STRING measure by region; handle 1: open, not executed.
  _TDimensionDef def{};
  def.column_id = region_;
  ASSERT_EQ(Q7SummaryOpen(0, t_, 1, 1, &def, city_), 0);
  int computed = 0;
  ASSERT_EQ(RQ7SummaryExec(0, 15, &computed), 0);
  ASSERT_EQ(Q7SummaryOpen(1, t_, 1, 1, &def, 0), 0);
  DrainRing();

  int a = 0, b = 0, c = 0;
  char value[64];
  char name[128];
  int cats[Q7_SUMMARY_MAX_DIMS] = {};
  int far[Q7_SUMMARY_MAX_DIMS] = {99};
  int host_dims[518 * 33] = {};
  const std::string handle_text = "Invalid Parameter : SumHandle";
  auto failed = [](const char* api, int code) { return RingEntry{api, code, "Failed to open"}; };
  const std::vector<RefusalCase> cases = {
      {"open handle 8",
       [&] { return Q7SummaryOpen(8, t_, 1, 1, &def, 0); },
       Q7_ERROR_INVALID_SUM_HANDLE,
       {{"Q7SummaryOpen", Q7_ERROR_INVALID_SUM_HANDLE, handle_text}}},
      {"exec handle -1",
       [&] { return RQ7SummaryExec(-1, 1, &a); },
       Q7_ERROR_INVALID_SUM_HANDLE,
       {{"Q7SummaryExec", Q7_ERROR_INVALID_SUM_HANDLE, handle_text}}},
      {"status handle 8",
       [&] { return RQ7SummaryStatus(8, &a, &b, &c, nullptr, &a, &b); },
       Q7_ERROR_INVALID_SUM_HANDLE,
       {}},
      {"open in use",
       [&] { return Q7SummaryOpen(0, t_, 1, 1, &def, 0); },
       Q7_ERROR_SUMMARY_IN_USE,
       {{"Q7SummaryOpen", Q7_ERROR_SUMMARY_IN_USE, handle_text}}},
      {"exec free",
       [&] { return RQ7SummaryExec(5, 1, &a); },
       Q7_ERROR_NO_SUCH_SUMMARY,
       {{"Q7SummaryExec", Q7_ERROR_NO_SUCH_SUMMARY, handle_text}}},
      {"read free",
       [&] { return RQ7SummaryRead(5, 1, cats, &a, &b, &c, value); },
       Q7_ERROR_NO_SUCH_SUMMARY,
       {{"Q7SummaryRead", Q7_ERROR_NO_SUCH_SUMMARY, handle_text}}},
      {"category free",
       [&] { return RQ7CategoryRead(5, 0, 0, name); },
       Q7_ERROR_NO_SUCH_SUMMARY,
       {{"Q7CategoryRead", Q7_ERROR_NO_SUCH_SUMMARY, handle_text}}},
      {"exec twice",
       [&] { return RQ7SummaryExec(0, 1, &a); },
       Q7_ERROR_SUMMARY_STATE,
       {{"Q7SummaryExec", Q7_ERROR_SUMMARY_STATE, handle_text}}},
      {"read not executed",
       [&] { return RQ7SummaryRead(1, 1, cats, &a, &b, &c, value); },
       Q7_ERROR_INVALID_OUTPUT_PARAMETER,
       {{"SummaryRead", Q7_ERROR_INVALID_OUTPUT_PARAMETER, "Invalid Parameter : SumType(1)"},
        failed("Q7SummaryRead", Q7_ERROR_INVALID_OUTPUT_PARAMETER)}},
      {"read bit 3",
       [&] { return RQ7SummaryRead(0, 3, cats, &a, &b, &c, value); },
       Q7_ERROR_INVALID_PARAMETER,
       {{"SummaryRead", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : SumType(3)"},
        failed("Q7SummaryRead", Q7_ERROR_INVALID_PARAMETER)}},
      {"read bit 16",
       [&] { return RQ7SummaryRead(0, 16, cats, &a, &b, &c, value); },
       Q7_ERROR_INVALID_PARAMETER,
       {{"SummaryRead", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : SumType(16)"},
        failed("Q7SummaryRead", Q7_ERROR_INVALID_PARAMETER)}},
      {"read SUM of text",
       [&] { return RQ7SummaryRead(0, 8, cats, &a, &b, &c, value); },
       Q7_ERROR_INVALID_OUTPUT_PARAMETER,
       {{"SummaryRead", Q7_ERROR_INVALID_OUTPUT_PARAMETER, "Invalid Parameter : SumType(8)"},
        failed("Q7SummaryRead", Q7_ERROR_INVALID_OUTPUT_PARAMETER)}},
      {"read category past the end",
       [&] { return RQ7SummaryRead(0, 1, far, &a, &b, &c, value); },
       Q7_ERROR_OUT_OF_RANGE,
       {{"SummaryRead", Q7_ERROR_OUT_OF_RANGE, "Invalid Parameter : Dims(0)"}}},
      {"category dimension",
       [&] { return RQ7CategoryRead(0, 1, 0, name); },
       Q7_ERROR_OUT_OF_RANGE,
       {{"Q7CategoryRead", Q7_ERROR_OUT_OF_RANGE, "Invalid Parameter : DimNo"}}},
      {"category number",
       [&] { return RQ7CategoryRead(0, 0, 99, name); },
       Q7_ERROR_OUT_OF_RANGE,
       {{"Q7CategoryRead", Q7_ERROR_OUT_OF_RANGE, "Invalid Parameter : CatNo"}}},
      {"33 dimensions",
       [&] { return RQ7SummaryOpen(2, t_, 1, 33, host_dims, 0); },
       Q7_ERROR_OUT_OF_RANGE,
       {{"RQ7SummaryOpen", Q7_ERROR_OUT_OF_RANGE, "Invalid Parameter : nDim(33)"}}},
      {"no such table",
       [&] { return Q7SummaryOpen(2, 99, 1, 1, &def, 0); },
       Q7_ERROR_NO_SUCH_TABLE,
       {{"GetTable", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99"},
        failed("Q7SummaryOpen", Q7_ERROR_NO_SUCH_TABLE)}},
      {"no such measure",
       [&] { return Q7SummaryOpen(2, t_, 1, 1, &def, 99); },
       Q7_ERROR_NO_SUCH_FILTER,
       {{"GetFilter", Q7_ERROR_NO_SUCH_FILTER, "No Such Filter: 99"},
        failed("Q7SummaryOpen", Q7_ERROR_NO_SUCH_FILTER)}},
      {"read into no buffer",
       [&] { return RQ7SummaryRead(0, 1, cats, &a, &b, &c, nullptr); },
       Q7_ERROR_INVALID_PARAMETER,
       {}},
      {"category into no buffer",
       [&] { return RQ7CategoryRead(0, 0, 0, nullptr); },
       Q7_ERROR_INVALID_PARAMETER,
       {}},
      {"close free", [&] { return RQ7SummaryClose(6); }, 0, {}},
  };
  for (const RefusalCase& rc : cases) {
    SCOPED_TRACE(rc.what);
    EXPECT_EQ(rc.call(), rc.code);
    EXPECT_EQ(DrainRing(), rc.ring);
  }
  // The refused open left handle 0 as it was, the failed ones left handle 2 free.
  EXPECT_EQ(ReadStatus(0).computed, 7);
  int untouched = -5;
  EXPECT_EQ(RQ7SummaryStatus(2, &untouched, &untouched, &untouched, nullptr, &untouched, &untouched), 0);
  EXPECT_EQ(untouched, -5);
}

int CallbackAnswer = 0;
int NameCallback(int, int, int, int, int, int category, char** name) {
  static std::string text;
  text = "group " + std::to_string(category);
  *name = text.data();
  return CallbackAnswer;
}

TEST_F(SummaryApi, HostMapsNamesAndCallbacks) {
  // Regions folded into two categories: odd and even (the NULL, value number 0, with the even).
  Status probe;
  _TDimensionDef plain{};
  plain.column_id = region_;
  ASSERT_EQ(Q7SummaryOpen(0, t_, 1, 1, &plain, 0), 0);
  probe = ReadStatus(0);
  ASSERT_EQ(RQ7SummaryClose(0), 0);
  const int values = probe.dims[0].category_count;  // NULL, 1, 2, 3, 5
  ASSERT_EQ(values, 5);
  int map[] = {0, 1, 0, 1, 1};
  std::string long_name(200, 'x');
  char* names[] = {const_cast<char*>("even"), long_name.data()};

  struct MapCase {
    const char* what;
    int count;
    bool names;
    bool callback;
    int bad_entry;  // map index set to `count`, or -1
    int code;
  };
  const MapCase cases[] = {
      {"names", 2, true, false, -1, 0},
      {"callback", 2, false, true, -1, 0},
      {"entry equal to the count", 2, true, false, 3, Q7_ERROR_INVALID_PARAMETER},
      {"no way to name", 2, false, false, -1, Q7_ERROR_INVALID_PARAMETER},
      {"names and callback", 2, true, true, -1, Q7_ERROR_INVALID_PARAMETER},
      {"no category", 0, true, false, -1, Q7_ERROR_INVALID_PARAMETER},
  };
  for (const MapCase& c : cases) {
    SCOPED_TRACE(c.what);
    int local_map[5];
    memcpy(local_map, map, sizeof map);
    if (c.bad_entry >= 0) local_map[c.bad_entry] = c.count;
    _TDimensionDef def{region_, c.count, local_map, c.names ? names : nullptr,
                       c.callback ? NameCallback : nullptr};
    ASSERT_EQ(Q7SummaryOpen(0, t_, 1, 1, &def, 0), c.code);
    DrainRing();
    if (c.code != 0) continue;
    int computed = 0;
    ASSERT_EQ(RQ7SummaryExec(0, 1, &computed), 0);
    int cats[Q7_SUMMARY_MAX_DIMS] = {1};
    int rt, vt, count;
    void* value;
    ASSERT_EQ(Q7SummaryRead(0, 1, cats, &rt, &vt, &count, &value), 0);
    EXPECT_EQ(count, 13);  // regions 1, 3, 5
    const Status st = ReadStatus(0);
    EXPECT_NE(st.dims[0].category_map, local_map);  // the summary's own copy
    EXPECT_EQ(st.dims[0].category_count, 2);
    char name[128];
    if (c.names) {
      EXPECT_EQ(RQ7CategoryRead(0, 0, 1, name), 0);
      EXPECT_EQ(std::string(name), long_name.substr(0, 127));
    } else {
      for (int answer : {0, 7}) {
        CallbackAnswer = answer;
        char* text = nullptr;
        int result = -1;
        EXPECT_EQ(Q7CategoryRead(0, 0, 1, &text, &result), 0);
        EXPECT_EQ(result, answer);
        EXPECT_STREQ(text, "group 1");
      }
      CallbackAnswer = Q7_ERROR_INVALID_PARAMETER;
      EXPECT_EQ(RQ7CategoryRead(0, 0, 1, name), static_cast<int>(Q7_ERROR_INVALID_PARAMETER));
      EXPECT_EQ(DrainRing(), (std::vector<RingEntry>{{"Q7CategoryRead", Q7_ERROR_INVALID_PARAMETER,
                                                      "Invalid Parameter : CallBackRet"}}));
      CallbackAnswer = 0;
    }
    ASSERT_EQ(RQ7SummaryClose(0), 0);
  }
}

TEST_F(SummaryApi, TenMillionCellsAtMost) {
  // Mapped dimensions give any category count: every entry goes to category 0.
  std::vector<int> map(32, 0);
  struct LimitCase {
    Ints counts;
    int code;
  };
  const LimitCase cases[] = {
      {{10000000}, 0},      {{10000001}, Q7_ERROR_SUMMARY_CELLS_OVERFLOW},
      {{10, 1000000}, 0},   {{11, 909091}, Q7_ERROR_SUMMARY_CELLS_OVERFLOW},  // 10,000,001
      {{2, 5, 1000000}, 0},
  };
  for (const LimitCase& c : cases) {
    SCOPED_TRACE(c.counts.size());
    std::vector<_TDimensionDef> defs;
    for (int n : c.counts) defs.push_back({region_, n, map.data(), nullptr, NameCallback});
    EXPECT_EQ(Q7SummaryOpen(0, t_, 1, static_cast<int>(defs.size()), defs.data(), 0), c.code);
    RQ7SummaryClose(0);
  }
}

TEST_F(SummaryApi, DefaultNamesAreTheValues) {
  // One row per type, with NULLs: the NULL entry (category 0) and the first value (category 1).
  const int t = q7host::AddTable("kinds", 2);
  const int i = q7host::AddIntColumn(t, "i", {42, kIntNull});
  const int d = q7host::AddDoubleColumn(t, "d", {1.5, kDNull});
  const int day = q7host::AddDoubleColumn(t, "day", {q7host::DateSerial(2024, 3, 1), kDNull}, Q7_TYPE_DATE);
  const int s = q7host::AddStringColumn(t, "s", {"abc", ""});
  const int n = q7host::AddDecimalColumn(t, "n", {Dec(1234), kDecNull}, 2);
  const Ints columns = {i, d, day, s, n};
  std::vector<_TDimensionDef> defs(columns.size());
  for (size_t k = 0; k < columns.size(); ++k) defs[k].column_id = columns[k];
  ASSERT_EQ(Q7SummaryOpen(0, t, 1, static_cast<int>(defs.size()), defs.data(), 0), 0);
  struct NameCase {
    int dim, category;
    const char* text;
  };
  const NameCase cases[] = {
      {0, 0, "-2147483648"}, {0, 1, "42"}, {1, 0, "      -inf"}, {1, 1, "     1.500"}, {2, 0, ""},
      {2, 1, "2024/03/01"},  {3, 0, ""},   {3, 1, "abc"},        {4, 1, "12.34"},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.dim) + "/" + std::to_string(c.category));
    char name[128];
    EXPECT_EQ(RQ7CategoryRead(0, c.dim, c.category, name), 0);
    EXPECT_STREQ(name, c.text);
    EXPECT_STREQ(RQ7CategoryReadR1(0, c.dim, c.category), c.text);
  }
  DrainRing();
}

TEST_F(SummaryApi, SmallSetIsSummedOverATemporaryCopy) {
  // 200 rows with 200 distinct codes: a set of 5 rows is at most a twentieth of the value list.
  const int t = q7host::AddTable("wide", 200);
  Ints codes, weights;
  for (int r = 0; r < 200; ++r) {
    codes.push_back(1000 - r);
    weights.push_back(r % 7 == 0 ? kIntNull : r);
  }
  const int code = q7host::AddIntColumn(t, "code", codes);
  const int other = q7host::AddIntColumn(t, "other", codes);
  const int weight = q7host::AddIntColumn(t, "weight", weights);
  const int32_t bounds[] = {990, 994};
  const int set = RQ7SearchByField(t, code, 1, Q7_SEARCH_BETWEEN, reinterpret_cast<const char*>(&bounds[0]),
                                   reinterpret_cast<const char*>(&bounds[1]));
  ASSERT_EQ(RQ7GetSetSize(t, set), 5);
  const int tables = RQ7GetNTable();

  _TDimensionDef def{};
  def.column_id = code;
  ASSERT_EQ(Q7SummaryOpen(0, t, set, 1, &def, weight), 0);
  const Status st = ReadStatus(0);
  EXPECT_NE(st.table, t);
  EXPECT_EQ(st.set, 1);
  EXPECT_EQ(st.dims[0].column_id, 1);  // code and weight are the copy's columns 1 and 2
  EXPECT_EQ(st.measure, 2);
  EXPECT_EQ(st.dims[0].category_count, 6);
  EXPECT_EQ(RQ7GetNTable(), tables + 1);
  EXPECT_EQ(RQ7SummaryClose(0), 0);
  EXPECT_EQ(RQ7GetNTable(), tables);
  (void)other;

  ExpectCubeMatchesGroupBy(t, set, {code}, weight);
  EXPECT_EQ(RQ7GetNTable(), tables);
}

// A master and a slave with duplicate, missing and NULL keys.
class SummaryJoinApi : public SummaryApi {
 protected:
  void SetUp() override {
    SummaryApi::SetUp();
    m_ = q7host::AddTable("orders", 12);
    m_key_ = q7host::AddIntColumn(m_, "key", {1, 2, 2, 3, kIntNull, 5, 5, 7, 1, 2, 9, kIntNull});
    m_region_ = q7host::AddIntColumn(m_, "region", {1, 1, 2, 2, 1, 3, 1, 2, 2, 3, 1, 2});
    m_amount_ = q7host::AddDecimalColumn(m_, "amount",
                                         {Dec(100), Dec(250), kDecNull, Dec(7), Dec(1), Dec(300), Dec(-20),
                                          Dec(5), Dec(100), Dec(33), Dec(8), Dec(9)},
                                         2);
    m_note_ = q7host::AddStringColumn(m_, "note", {"b", "a", "", "c", "a", "b", "", "d", "a", "c", "b", "e"});
    s_ = q7host::AddTable("customers", 8);
    s_key_ = q7host::AddIntColumn(s_, "key", {2, 2, 2, 1, 5, 8, kIntNull, 4});
    s_city_ = q7host::AddStringColumn(s_, "city", {"rome", "", "oslo", "rome", "lima", "oslo", "kiev", ""});
    s_score_ = q7host::AddIntColumn(s_, "score", {10, kIntNull, 30, 40, 50, 60, 70, kIntNull});
    const double d1 = q7host::DateSerial(2024, 1, 2), d2 = q7host::DateSerial(2022, 6, 30);
    s_when_ = q7host::AddDoubleColumn(s_, "when", {d1, d2, kDNull, d1, d2, d2, d1, kDNull}, Q7_TYPE_DATE);
    for (int id : {m_key_, m_region_, m_amount_, m_note_, s_key_, s_city_, s_score_, s_when_})
      ASSERT_GT(id, 0);
    DrainRing();
  }
  int Join(int outer) {
    const int mk[] = {m_key_, 0};
    const int sk[] = {s_key_, 0};
    return RQ7AddJoinTable(outer ? "outerjoin" : "innerjoin", outer, m_, 1, mk, s_, 1, sk);
  }
  // Join column IDs: the master's four filters, then the slave's.
  static constexpr int kMasterColumns = 4;
  int S(int slave_filter) const { return kMasterColumns + slave_filter; }

  int m_ = 0, m_key_ = 0, m_region_ = 0, m_amount_ = 0, m_note_ = 0;
  int s_ = 0, s_key_ = 0, s_city_ = 0, s_score_ = 0, s_when_ = 0;
};

TEST_F(SummaryJoinApi, CubesOverInnerAndOuterJoinsMatchTheJoinedRows) {
  for (int outer : {0, 1}) {
    SCOPED_TRACE(outer ? "outer" : "inner");
    const int j = Join(outer);
    ASSERT_GT(j, 0);
    struct JoinCube {
      Ints dims;
      int measure;
    };
    const std::vector<JoinCube> cubes = {
        {{}, 0},
        {{m_region_}, 0},                                   // one side, no measure
        {{S(s_city_)}, 0},                                  // the slave side only
        {{m_region_, S(s_city_)}, 0},                       // both sides
        {{m_region_, m_note_, S(s_city_), S(s_when_)}, 0},  // four dimensions
        {{}, m_amount_},                                    // no dimension, decimal measure
        {{}, S(s_city_)},                                   // text measure on the slave
        {{m_region_}, m_amount_},                           // measure and dimension on the master
        {{S(s_when_)}, S(s_score_)},                        // both on the slave
        {{m_region_}, S(s_score_)},                         // slave measure over master dimension
        {{S(s_city_)}, m_amount_},                          // master measure over slave dimension
        {{m_note_, S(s_city_)}, S(s_when_)},                // date measure, both sides
        {{m_region_, S(s_when_)}, S(s_city_)},              // text measure, both sides
        {{S(s_city_)}, m_note_},                            // master text measure, slave dimension
    };
    for (const JoinCube& c : cubes) ExpectCubeMatchesGroupBy(j, 1, c.dims, c.measure);
    ASSERT_EQ(RQ7DeleteTable(j), 0);
  }
}

// ---- Stale handles ----
// A handle outlives what it summarises: the host may delete the table or the set, clear the
// database or load another, and a table ID is issued again after a clear. Each way of removal runs
// in a child that re-executes this binary for it (gtest's thread-safe death-test style), so that a
// call through a dangling pointer fails its case instead of ending the run. The child exits 0 when
// every call was refused as stale with its ring entry and closing then freed both handles.

enum class Gone { kTableDeleted, kDatabaseCleared, kDatabaseLoaded, kSetDeleted };

const char* GoneName(Gone how) {
  switch (how) {
    case Gone::kTableDeleted:
      return "table deleted";
    case Gone::kDatabaseCleared:
      return "database cleared";
    case Gone::kDatabaseLoaded:
      return "database loaded";
    case Gone::kSetDeleted:
      return "set deleted";
  }
  return "";
}

// Handle 0 is opened only, handle 1 opened and executed, before the table goes.
constexpr int kOpened = 0;
constexpr int kExecuted = 1;

struct StaleCall {
  const char* what;
  int handle;
  std::function<int(int handle, int table)> call;
  std::vector<RingEntry> ring;
};

RingEntry StaleEntry(const char* api) {
  return {api, Q7_ERROR_INVALID_SUM_HANDLE, "Invalid Parameter : SumHandle"};
}

// A table like the fixture's region and qty columns, built after the old one went, so that the
// new table, its columns and their lists may well take the old addresses.
int ImportLikeSales() {
  const int t = q7host::AddTable("sales", 20);
  q7host::AddIntColumn(t, "region",
                       {3, 1, 2, 3, kIntNull, 1, 2, 2, 3, 1, 5, 5, 1, kIntNull, 2, 3, 1, 1, 2, 5});
  q7host::AddIntColumn(t, "qty", {5, 6, 7, 1, 2, 9, 4, 3, 3, 4, 10, 2, 1, 8, 6, 1, 1, 2, 5, 3});
  return t;
}

// The child's run: 0 when right, else 1 with what went wrong on stderr (shown by the parent).
int StaleOutcome(Gone how, const std::vector<StaleCall>& calls, int t, int region, int qty) {
  int failures = 0;
  auto wrong = [&](const char* what, const char* step, int code) {
    std::fprintf(stderr, "%s, %s: %s gave 0x%x\n", GoneName(how), what, step, static_cast<unsigned>(code));
    ++failures;
    return 1;
  };
  q7host::TempDir dir;
  const int rows[] = {1, 2, 3, 5, 8, 13};
  const int set = how == Gone::kSetDeleted ? RQ7AddSetReal(t, 6, rows) : 1;
  if (set < 1) return wrong("setup", "RQ7AddSetReal", set);
  int r = 0;
  // The loaded database holds the very table the summaries are opened on, under the same ID.
  if (how == Gone::kDatabaseLoaded && (r = RQ7SaveDBAs(dir.path().c_str(), "same")) != 0) {
    return wrong("setup", "save", r);
  }
  _TDimensionDef def{};
  def.column_id = region;
  int computed = 0;
  for (int h : {kOpened, kExecuted}) {
    if ((r = Q7SummaryOpen(h, t, set, 1, &def, qty)) != 0) return wrong("setup", "open", r);
  }
  if ((r = RQ7SummaryExec(kExecuted, 15, &computed)) != 0) return wrong("setup", "exec", r);

  int table_now = t;
  switch (how) {
    case Gone::kTableDeleted:
      if ((r = RQ7DeleteTable(t)) != 0) return wrong("removal", "RQ7DeleteTable", r);
      table_now = ImportLikeSales();
      break;
    case Gone::kDatabaseCleared:
      if ((r = RQ7ClearDB()) != 0) return wrong("removal", "RQ7ClearDB", r);
      table_now = ImportLikeSales();
      if (table_now != t) return wrong("import", "the ID issued again", table_now);
      break;
    case Gone::kDatabaseLoaded:
      if ((r = RQ7LoadDB(dir.path().c_str(), "same")) != 0) return wrong("removal", "RQ7LoadDB", r);
      if ((r = RQ7GetTotalRows(t)) != 20) return wrong("import", "the loaded table", r);
      break;
    case Gone::kSetDeleted:
      if ((r = RQ7DeleteSet(t, set)) != 0) return wrong("removal", "RQ7DeleteSet", r);
      ImportLikeSales();
      break;
  }
  DrainRing();
  for (const StaleCall& c : calls) {
    r = c.call(c.handle, table_now);
    const std::vector<RingEntry> ring = DrainRing();
    if (r != Q7_ERROR_INVALID_SUM_HANDLE) wrong(c.what, "the call", r);
    if (ring != c.ring) wrong(c.what, "the ring entries (their number)", static_cast<int>(ring.size()));
  }
  for (int h : {kOpened, kExecuted}) {
    if ((r = RQ7SummaryClose(h)) != 0) wrong("close", "RQ7SummaryClose", r);
    int table = 0, set_id = 0, count = 0, measure = 0;
    _TDimensionDef dims[Q7_SUMMARY_MAX_DIMS];
    r = RQ7SummaryStatus(h, &table, &set_id, &count, dims, &measure, &computed);
    if (r != 0) wrong("close", "RQ7SummaryStatus after closing", r);
  }
  return failures == 0 ? 0 : 1;
}

class SummaryStaleTest : public SummaryApi {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    SummaryApi::SetUp();
  }
};

TEST_F(SummaryStaleTest, HandleWhoseTableOrSetWentIsRefused) {
  int n = 0;
  char name[128];
  int result_type = 0, value_type = 0, count = 0;
  void* where = nullptr;
  char value[4200];
  const int cell[Q7_SUMMARY_MAX_DIMS] = {1};
  const std::vector<StaleCall> calls = {
      {"RQ7SummaryExec",
       kOpened,
       [&](int h, int) { return RQ7SummaryExec(h, 15, &n); },
       {StaleEntry("Q7SummaryExec")}},
      {"RQ7CategoryRead",
       kOpened,
       [&](int h, int) { return RQ7CategoryRead(h, 0, 1, name); },
       {StaleEntry("Q7CategoryRead")}},
      {"RQ7SummaryRead",
       kExecuted,
       [&](int h, int) { return RQ7SummaryRead(h, 2, cell, &result_type, &count, &value_type, value); },
       {StaleEntry("Q7SummaryRead")}},
      {"Q7SummaryRead",
       kExecuted,
       [&](int h, int) { return Q7SummaryRead(h, 8, cell, &result_type, &value_type, &count, &where); },
       {StaleEntry("Q7SummaryRead")}},
      {"RQ7SummaryStatus",
       kExecuted,
       [&](int h, int) {
         _TDimensionDef dims[Q7_SUMMARY_MAX_DIMS];
         int table = 0, set = 0, measure = 0;
         return RQ7SummaryStatus(h, &table, &set, &count, dims, &measure, &n);
       },
       {}},
      {"RQ7CategoryRead, executed",
       kExecuted,
       [&](int h, int) { return RQ7CategoryRead(h, 0, 1, name); },
       {StaleEntry("Q7CategoryRead")}},
      {"RQ7SummaryIntoRealTable",
       kExecuted,
       [&](int h, int) { return RQ7SummaryIntoRealTable(h, 0); },
       {StaleEntry("Q7SummaryIntoRealTable")}},
      {"RQ7SummaryIntoRealTable2",
       kExecuted,
       [&](int h, int) { return RQ7SummaryIntoRealTable2(h, 15, 1); },
       {StaleEntry("Q7SummaryIntoRealTable")}},
      {"Q7SummaryIntoRealTable",
       kExecuted,
       [&](int h, int) { return Q7SummaryIntoRealTable(h, 15, 0); },
       {StaleEntry("Q7SummaryIntoRealTable")}},
      {"RQ7AppendSummaryToRealTable",
       kExecuted,
       [&](int h, int table) { return RQ7AppendSummaryToRealTable(h, table, 1, 0); },
       {}},
  };
  for (Gone how : {Gone::kTableDeleted, Gone::kDatabaseCleared, Gone::kDatabaseLoaded, Gone::kSetDeleted}) {
    SCOPED_TRACE(GoneName(how));
    EXPECT_EXIT(std::_Exit(StaleOutcome(how, calls, t_, region_, qty_)), ::testing::ExitedWithCode(0), "");
  }
}

TEST_F(SummaryJoinApi, HandleOverADeletedJoinIsRefused) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const int j = Join(0);
  ASSERT_GT(j, 0);
  _TDimensionDef defs[2] = {};
  defs[0].column_id = m_region_;
  defs[1].column_id = S(s_city_);
  ASSERT_EQ(Q7SummaryOpen(0, j, 1, 2, defs, S(s_score_)), 0);
  ASSERT_EQ(RQ7DeleteTable(j), 0);
  EXPECT_EXIT(
      {
        int computed = 0;
        const int code = RQ7SummaryExec(0, 15, &computed);
        std::fprintf(stderr, "exec gave 0x%x\n", static_cast<unsigned>(code));
        std::_Exit(code == Q7_ERROR_INVALID_SUM_HANDLE && RQ7SummaryClose(0) == 0 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// The copy of a small set is the summary's own table; once the database is cleared its ID names
// another table, which closing the handle must leave alone.
TEST_F(SummaryStaleTest, ClosingAfterAClearLeavesTheTableThatTookTheCopysID) {
  const int t = q7host::AddTable("wide", 200);
  Ints codes;
  for (int r = 0; r < 200; ++r) codes.push_back(1000 - r);
  const int code = q7host::AddIntColumn(t, "code", codes);
  const int32_t bounds[] = {990, 994};
  const int set = RQ7SearchByField(t, code, 1, Q7_SEARCH_BETWEEN, reinterpret_cast<const char*>(&bounds[0]),
                                   reinterpret_cast<const char*>(&bounds[1]));
  ASSERT_EQ(RQ7GetSetSize(t, set), 5);
  _TDimensionDef def{};
  def.column_id = code;
  ASSERT_EQ(Q7SummaryOpen(0, t, set, 1, &def, 0), 0);
  const int copy = ReadStatus(0).table;
  ASSERT_GT(copy, t);

  ASSERT_EQ(RQ7ClearDB(), 0);
  int last = 0;
  while (last < copy) last = q7host::AddTable("host", 3);
  ASSERT_EQ(last, copy);
  const int tables = RQ7GetNTable();
  DrainRing();
  EXPECT_EQ(RQ7SummaryClose(0), 0);
  EXPECT_EQ(RQ7GetNTable(), tables);
  EXPECT_EQ(RQ7GetTotalRows(copy), 3);
  EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
}

TEST_F(SummaryJoinApi, DeletingAJoinLeavesNoRingEntry) {
  for (int outer : {0, 1}) {
    SCOPED_TRACE(outer ? "outer" : "inner");
    const int j = Join(outer);
    ASSERT_GT(j, 0);
    DrainRing();
    EXPECT_EQ(RQ7DeleteTable(j), 0);
    EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
    EXPECT_LT(RQ7GetTotalRows(j), 0);
  }
}

}  // namespace
