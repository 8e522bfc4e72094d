// The parallel compile on columns large enough to be split over every worker: a million rows of
// each type, with long runs of equal values across the slice edges.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/ErrorRing.h"
#include "tests/support/test_support.h"
#include "tests/values/ValueListTestSupport.h"
#include "values/CompileSettings.h"
#include "values/MppCompile.h"

using namespace vltest;

namespace {

constexpr int kMillion = 1000000;

// An error ring of the test's own; trailing blanks kept unless a test turns trimming on.
class MppCompileTest : public q7test::RingTest {
 protected:
  TrimSetting trim_{0};
};

TEST_F(MppCompileTest, IntegerColumnsDenseAndSparse) {
  // Dense (numbered by counting on the workers) and sparse (sorted in slices, then merged).
  for (int32_t scale : {1, 100000}) {
    SCOPED_TRACE(scale);
    const std::vector<int32_t> v = RunsOfInts(kMillion, 997, 5000, scale);
    ExpectMppCompileMatchesSerial(kMillion, 2, 4, v.data());
  }
  const std::vector<int32_t> random = IntColumn(kMillion, -2147483647, 2147483647, 3);
  ExpectMppCompileMatchesSerial(kMillion, 2, 4, random.data());
}

TEST_F(MppCompileTest, DoubleColumnsKeepTheEarliestZero) {
  // -0.0 only in the first slice and 0.0 everywhere after it: the list must keep -0.0.
  std::vector<double> v(kMillion);
  for (int i = 0; i < kMillion; ++i)
    v[static_cast<size_t>(i)] = static_cast<double>((i / 1009) % 3000) - 1500.0;
  for (int i = 0; i < kMillion; i += 17) v[static_cast<size_t>(i)] = i < 1000 ? -0.0 : 0.0;
  v[5] = std::numeric_limits<double>::quiet_NaN();
  v[kMillion - 1] = std::numeric_limits<double>::quiet_NaN();
  v[0] = kDblNull;
  for (int type : {3, 4, 5, 7}) ExpectMppCompileMatchesSerial(kMillion, type, 8, v.data());

  const std::vector<double> distinct = DoubleColumn(kMillion, 1 << 30, 9);
  ExpectMppCompileMatchesSerial(kMillion, 3, 8, distinct.data());
}

TEST_F(MppCompileTest, StringColumnsWithAndWithoutTrimming) {
  const std::vector<std::string> pool = TextPool(3000, 5);
  std::vector<std::string> padded;  // trailing blanks that trimming merges with the bare texts
  for (const std::string& t : pool) padded.push_back(t + "  ");
  std::vector<const char*> v(kMillion);
  for (int i = 0; i < kMillion; ++i) {
    const size_t k = static_cast<size_t>((i / 1013) * 31 % 3000);
    v[static_cast<size_t>(i)] = (i % 5 == 0 ? padded[k] : pool[k]).c_str();
  }
  v[0] = "";
  ExpectMppCompileMatchesSerial(kMillion, 6, 8, v.data());
  g_cut_last_space = 1;
  ExpectMppCompileMatchesSerial(kMillion, 6, 8, v.data());
  for (size_t k = 0; k < padded.size(); ++k) ASSERT_EQ(padded[k], pool[k] + "  ");  // texts untouched
}

TEST_F(MppCompileTest, DecimalColumns) {
  std::vector<Numeric> v(kMillion);
  for (int i = 0; i < kMillion; ++i) {
    const int64_t k = (i / 1021) % 4000 - 2000;
    v[static_cast<size_t>(i)] = Dec(k);
    if (i % 3 == 0) v[static_cast<size_t>(i)].high = k;
  }
  for (int i = 0; i < kMillion; i += 101) v[static_cast<size_t>(i)] = DecNan();
  ExpectMppCompileMatchesSerial(kMillion, 8, 16, v.data());
}

TEST_F(MppCompileTest, ArgumentErrorsAreRecordedOnce) {
  const int32_t ints[2] = {kIntNull, 1};
  int* rows = nullptr;
  int count = 0;
  void* list = nullptr;
  try {
    MppCompile(2, 2, 8, ints, &rows, &count, &list);
    FAIL();
  } catch (const CQ7Exception& e) {
    EXPECT_EQ(e.ErrorCode(), Q7_ERROR_INVALID_UNIT_WIDTH);
  }
  int time = 0, code = 0;
  char name[ErrorRing::kNameSize], text[ErrorRing::kMessageSize];
  ASSERT_EQ(ring_.Get(&time, name, &code, text), 1);
  EXPECT_STREQ(name, "Compile");
  EXPECT_STREQ(text, "Invalid Parameter : Width1Unit");
  EXPECT_EQ(ring_.Get(&time, name, &code, text), 0);
  EXPECT_EQ(rows, nullptr);
}

TEST_F(MppCompileTest, FewerElementsThanWorkers) {
  const int32_t ints[3] = {kIntNull, 2000000, -7};
  const double dbls[2] = {kDblNull, 1.0};
  const char* texts[3] = {"", "b", "a"};
  ExpectMppCompileMatchesSerial(3, 2, 4, ints);
  ExpectMppCompileMatchesSerial(2, 3, 8, dbls);
  ExpectMppCompileMatchesSerial(3, 6, 8, texts);
  ExpectMppCompileMatchesSerial(1, 6, 8, texts);
}

// ---- The compile with an implied NULL element 0 ----

// A copy of raw with the type's NULL put in front, compiled as before, against the compile that
// reads raw where it lies: the same count, value numbers and list bytes (texts by content, since
// the copy's NULL text is a pointer of its own).
void ExpectWithNullMatchesCopy(int n, int type, int width, const void* raw) {
  const size_t w = static_cast<size_t>(width);
  std::vector<unsigned char> copy((static_cast<size_t>(n) + 1) * w);
  static const char kNullText[] = "";
  const char* null_text = kNullText;
  const Numeric nan = DecNan();
  switch (type) {
    case 2:
      memcpy(copy.data(), &kIntNull, w);
      break;
    case 6:
      memcpy(copy.data(), &null_text, w);
      break;
    case 8:
      memcpy(copy.data(), &nan, w);
      break;
    default:
      memcpy(copy.data(), &kDblNull, w);
      break;
  }
  if (n > 0) memcpy(copy.data() + w, raw, w * static_cast<size_t>(n));
  Compiled old_road, direct;
  MppCompile(n + 1, type, width, copy.data(), &old_road.rows, &old_road.count, &old_road.list);
  MppCompileWithNull(n, type, width, raw, &direct.rows, &direct.count, &direct.list);
  ASSERT_EQ(direct.count, old_road.count);
  ASSERT_EQ(direct.Rows(n + 1), old_road.Rows(n + 1));
  if (type == 6) {
    for (int k = 0; k < old_road.count; ++k) {
      ASSERT_STREQ(static_cast<const char**>(direct.list)[k], static_cast<const char**>(old_road.list)[k])
          << k;
    }
  } else {
    ASSERT_EQ(memcmp(direct.list, old_road.list, w * static_cast<size_t>(old_road.count)), 0);
  }
}

TEST_F(MppCompileTest, ImpliedNullMatchesTheCopiedColumn) {
  constexpr int kRows = 100003;
  // Columns with NULLs of their own (which must fold into the implied one) and without (the NULL
  // comes in front and every number moves up), on the counting and the slice roads.
  const std::vector<int32_t> sparse = IntColumn(kRows, -2147483647, 2147483647, 11);
  const std::vector<int32_t> dense = RunsOfInts(kRows, 7, 900, 1);
  std::vector<int32_t> dense_no_null = dense;
  dense_no_null[0] = 5;
  std::vector<int32_t> sparse_no_null = sparse;
  for (int32_t& v : sparse_no_null) v = v == kIntNull ? 77 : v;
  const std::vector<int32_t> int_nulls(kRows, kIntNull);

  std::vector<double> dbls = DoubleColumn(kRows, 5000, 12);
  dbls[1] = -0.0;  // the earliest zero, after the implied NULL
  std::vector<double> nan_first = dbls;
  nan_first[0] = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> dbls_no_null = dbls;
  for (double& v : dbls_no_null) v = std::isnan(v) || v == kDblNull ? 3.5 : v;

  const std::vector<Numeric> decs = DecimalColumn(kRows, 4000, 13);
  std::vector<Numeric> decs_no_null = decs;
  for (Numeric& v : decs_no_null) v = v.high == INT64_MIN && v.low == 0 ? Dec(1) : v;

  const std::vector<std::string> pool = TextPool(2000, 14);
  std::vector<std::string> padded = {"   ", "a  ", "b", "b ", " c"};
  std::vector<const char*> texts = TextColumn(kRows, pool, 15);
  for (int i = 3; i < kRows; i += 101)
    texts[static_cast<size_t>(i)] = padded[static_cast<size_t>(i % 5)].c_str();
  texts[1] = nullptr;
  std::vector<const char*> texts_no_empty = texts;
  for (const char*& t : texts_no_empty) t = t == nullptr || t[0] == '\0' || t[0] == ' ' ? "zz" : t;

  struct Case {
    const char* name;
    int type;
    int width;
    const void* raw;
  };
  const Case cases[] = {
      {"int sparse", 2, 4, sparse.data()},
      {"int sparse without NULL", 2, 4, sparse_no_null.data()},
      {"int dense", 2, 4, dense.data()},
      {"int dense without NULL", 2, 4, dense_no_null.data()},
      {"int all NULL", 2, 4, int_nulls.data()},
      {"double", 3, 8, dbls.data()},
      {"date, NaN first", 4, 8, nan_first.data()},
      {"double without NULL", 3, 8, dbls_no_null.data()},
      {"decimal", 8, 16, decs.data()},
      {"decimal without NULL", 8, 16, decs_no_null.data()},
      {"texts", 6, 8, texts.data()},
      {"texts without empty ones", 6, 8, texts_no_empty.data()},
  };
  for (int trim : {0, 1}) {
    TrimSetting setting(trim);
    for (int cap : {1, 2, 3, 0}) {
      q7test::WorkerCap workers(cap);
      for (const Case& c : cases) {
        if (trim != 0 && c.type != 6) continue;
        SCOPED_TRACE(testing::Message() << c.name << ", trim " << trim << ", worker cap " << cap);
        for (int n : {kRows, 1, 0}) {
          SCOPED_TRACE(n);
          ExpectWithNullMatchesCopy(n, c.type, c.width, c.raw);
        }
      }
    }
  }
}

TEST_F(MppCompileTest, CountedAndWholeSortedColumnsMatchSerial) {
  // Whole-number doubles and 64-bit decimals of a range no wider than about twice the column are
  // numbered by counting; doubles of many distinct values are sorted as a whole from 2^18 rows on.
  // The near misses (a range too wide, an infinity, a fraction, decimals beyond 64 bits, few
  // distinct values) take the slice road. Every case must equal the serial compile, and with the
  // implied NULL the copied column, at any worker count.
  constexpr int kRows = 300007;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  std::mt19937_64 gen(21);
  auto below = [&gen](uint64_t n) { return static_cast<int64_t>(gen() % n); };

  std::vector<double> days(kRows);
  for (double& x : days) x = static_cast<double>(below(3653) - 1000);
  days[3] = -0.0;  // zeros of both signs: the earliest one is listed
  days[11] = nan;
  days[12] = kDblNull;
  std::vector<double> days_wide = days;
  days_wide[20] = 1e7;
  std::vector<double> days_inf = days;
  days_inf[30] = inf;
  std::vector<double> days_fraction = days;
  days_fraction[40] = 0.5;
  std::vector<double> days_no_null = days;
  days_no_null[11] = days_no_null[12] = 7.0;
  const std::vector<double> all_null(kRows, nan);

  std::vector<double> distinct = DoubleColumn(kRows, 1 << 30, 33);
  distinct[150000] = -0.0;
  distinct[250000] = 0.0;
  std::vector<double> few(kRows);
  for (double& x : few) x = static_cast<double>(below(500)) / 8.0;
  std::vector<Numeric> cents(kRows);
  for (Numeric& c : cents) c = Dec(below(100000) - 20000);
  for (int i = 5; i < kRows; i += 31) cents[static_cast<size_t>(i)] = DecNan();
  std::vector<Numeric> cents_no_null = cents;
  for (Numeric& c : cents_no_null) c = c.high == INT64_MIN && c.low == 0 ? Dec(3) : c;
  std::vector<Numeric> cents_extremes = cents;  // the least 64-bit value: the range no longer fits
  cents_extremes[7] = Numeric{uint64_t{1} << 63, -1};
  std::vector<Numeric> cents_least = cents_no_null;  // the least value within a narrow range
  for (Numeric& c : cents_least) c = Numeric{(uint64_t{1} << 63) + (c.low & 0xFFFF), -1};
  std::vector<Numeric> cents_beyond = cents;
  cents_beyond[9].high = 5;

  std::vector<double> fractions(kRows);
  for (double& x : fractions) x = static_cast<double>(below(1 << 22) - (1 << 20)) / 1024.0;
  fractions[2] = -0.0;
  for (int i = 100; i < kRows; i += 997) fractions[static_cast<size_t>(i)] = 0.0;
  for (int i = 50; i < kRows; i += 1009) fractions[static_cast<size_t>(i)] = nan;
  fractions[60] = kDblNull;
  fractions[70] = inf;
  std::vector<double> fractions_no_null = fractions;
  for (double& x : fractions_no_null) x = std::isnan(x) || x == kDblNull ? 0.75 : x;
  std::vector<double> fractions_heavy = fractions;  // one value in a third of the rows
  for (int i = 0; i < kRows; i += 3) fractions_heavy[static_cast<size_t>(i)] = 0.125;
  std::vector<double> fractions_few(kRows);
  for (double& x : fractions_few) x = static_cast<double>(below(500)) / 8.0;

  struct Case {
    const char* name;
    int type;
    int width;
    const void* raw;
  };
  const Case cases[] = {
      {"days", 4, 8, days.data()},
      {"days as doubles", 3, 8, days.data()},
      {"days, one far off", 4, 8, days_wide.data()},
      {"days and an infinity", 4, 8, days_inf.data()},
      {"days and a fraction", 4, 8, days_fraction.data()},
      {"days without NULL", 4, 8, days_no_null.data()},
      {"all NULL", 3, 8, all_null.data()},
      {"cents", 8, 16, cents.data()},
      {"cents without NULL", 8, 16, cents_no_null.data()},
      {"cents and the least 64-bit value", 8, 16, cents_extremes.data()},
      {"cents near the least 64-bit value", 8, 16, cents_least.data()},
      {"cents and one beyond 64 bits", 8, 16, cents_beyond.data()},
      {"fractions", 3, 8, fractions.data()},
      {"fractions as type 7", 7, 8, fractions.data()},
      {"fractions without NULL", 5, 8, fractions_no_null.data()},
      {"fractions, one value in a third", 3, 8, fractions_heavy.data()},
      {"few fractions", 3, 8, fractions_few.data()},
  };
  for (int cap : {1, 2, 3, 0}) {
    q7test::WorkerCap workers(cap);
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << c.name << ", worker cap " << cap);
      ExpectMppCompileMatchesSerial(kRows, c.type, c.width, c.raw);
      ExpectWithNullMatchesCopy(kRows, c.type, c.width, c.raw);
    }
  }
}

// A column held in pieces (as an import's chunks hold it) is numbered where it lies when counting
// or the whole sort fits it, with the joined column's outputs byte for byte; otherwise nothing is
// made. The pieces are uneven, one is empty, and the earliest zero (-0.0) lies in a later piece
// than the first.
TEST_F(MppCompileTest, PiecesMatchTheJoinedColumn) {
  constexpr int kRows = 300007;
  std::mt19937_64 gen(31);
  auto below = [&gen](uint64_t n) { return static_cast<int64_t>(gen() % n); };
  std::vector<int32_t> dense(kRows);
  for (int32_t& v : dense) v = static_cast<int32_t>(below(200000) - 50000);
  dense[9] = kIntNull;
  const std::vector<int32_t> sparse = IntColumn(kRows, -2147483647, 2147483647, 32);
  std::vector<double> days(kRows);
  for (double& x : days) x = static_cast<double>(below(3653) + 1);
  days[150000] = -0.0;
  days[250000] = 0.0;
  days[40] = kDblNull;
  std::vector<double> fractions = days;
  fractions[200000] = 0.5;
  std::vector<double> distinct = DoubleColumn(kRows, 1 << 30, 33);
  distinct[150000] = -0.0;
  distinct[250000] = 0.0;
  std::vector<double> few(kRows);
  for (double& x : few) x = static_cast<double>(below(500)) / 8.0;
  std::vector<Numeric> cents(kRows);
  for (Numeric& c : cents) c = Dec(below(100000) - 20000);
  cents[77] = DecNan();

  struct Case {
    const char* name;
    int type;
    int width;
    const void* raw;
    bool in_place;  // with no more pieces than workers
  };
  const Case cases[] = {
      {"dense ints", 2, 4, dense.data(), true},
      {"sparse ints", 2, 4, sparse.data(), false},
      {"days", 4, 8, days.data(), true},
      {"days as doubles", 3, 8, days.data(), true},
      {"days and a fraction", 4, 8, fractions.data(), false},
      {"cents", 8, 16, cents.data(), true},
      {"distinct doubles", 3, 8, distinct.data(), true},
      {"few doubles", 3, 8, few.data(), false},
  };
  const int cuts[] = {0, 1000, 150001, 150001, 260000, kRows};
  for (int cap : {2, 3, 0}) {
    q7test::WorkerCap workers(cap);
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << c.name << ", worker cap " << cap);
      // Each piece a block of its own, as the chunks' are.
      std::vector<std::vector<char>> blocks;
      std::vector<MppColumnPiece> pieces;
      for (size_t k = 0; k + 1 < std::size(cuts); ++k) {
        const char* from = static_cast<const char*>(c.raw) + static_cast<size_t>(cuts[k]) * c.width;
        blocks.emplace_back(from, from + static_cast<size_t>(cuts[k + 1] - cuts[k]) * c.width);
        pieces.push_back({blocks.back().data(), cuts[k + 1] - cuts[k]});
      }
      Compiled joined, split;
      MppCompileWithNull(kRows, c.type, c.width, c.raw, &joined.rows, &joined.count, &joined.list);
      const bool in_place = MppCompileWithNullPieces(pieces.data(), static_cast<int>(pieces.size()), c.type,
                                                     c.width, &split.rows, &split.count, &split.list);
      ASSERT_EQ(in_place, c.in_place && CSmpEngine::Instance()->ActiveThreads() >= 4);
      if (!in_place) {
        EXPECT_EQ(split.rows, nullptr);
        EXPECT_EQ(split.list, nullptr);
        continue;
      }
      ASSERT_EQ(split.count, joined.count);
      ASSERT_EQ(split.Rows(kRows + 1), joined.Rows(kRows + 1));
      ASSERT_EQ(
          memcmp(split.list, joined.list, static_cast<size_t>(c.width) * static_cast<size_t>(joined.count)),
          0);
    }
  }
}

}  // namespace
