// The text export of joins: every joined row of inner and outer joins (master- and slave-driven
// sets) printed field by field against the nested-loop reference and texts computed here (dates by
// std::chrono, doubles by snprintf); byte-exact lines with NULL partners, long quoted texts and both
// date separators; parts that add up to the serial file; row ranges; and the refusals with their
// ring entries, which never leave a file behind.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "database/CsvColumnPrinter.h"
#include "database/CsvExportFormat.h"
#include "tests/join/join_read_support.h"
#include "tests/support/test_support.h"

namespace {

using jbtest::Pair;
using kmtest::KeyType;
using kmtest::kNull;
using q7test::ReadAll;
using q7test::TempDir;

// The engine's serial of a civil date: days since 1899-12-30.
double DaySerial(int y, unsigned m, unsigned d) {
  using namespace std::chrono;
  return (sys_days(year{y} / month{m} / day{d}) - sys_days(year{1899} / December / day{30})).count();
}

// The text of a date serial as "yyyy<sep>mm<sep>dd".
std::string DateText(int serial, char sep) {
  using namespace std::chrono;
  const year_month_day ymd{sys_days(year{1899} / December / day{30}) + days{serial}};
  char text[16];
  snprintf(text, sizeof text, "%04d%c%02u%c%02u", static_cast<int>(ymd.year()), sep,
           static_cast<unsigned>(ymd.month()), sep, static_cast<unsigned>(ymd.day()));
  return text;
}

// The field a column built from abstract value v must print (join_build_support.h's values).
std::string FieldText(KeyType type, int v, char date_sep) {
  char text[64];
  switch (type) {
    case KeyType::kInt:
      return v == kNull ? "" : std::to_string(v * 3 - 7);
    case KeyType::kDouble:
      if (v == kNull) return "";
      snprintf(text, sizeof text, "%0.3f", v * 0.5 - 1.0);
      return text;
    case KeyType::kDate:
      return v == kNull ? "" : DateText(40000 + v, date_sep);
    case KeyType::kString:
      return v == kNull ? "\"\"" : "\"k" + std::to_string(v) + "\"";
    case KeyType::kDecimal:
      return v == kNull ? "" : std::to_string(v) + ".00";  // scale 2
  }
  return "?";
}

class JoinExportTest : public jrtest::JoinReadTest {
 protected:
  // The lines the columns give for the joined rows.
  std::string Lines(const std::vector<Pair>& pairs, char sep, char date_sep) const {
    std::string out;
    for (const Pair& p : pairs) {
      for (size_t c = 0; c < columns_.size(); ++c) {
        if (c > 0) out += sep;
        const int rec = columns_[c].side == 0 ? p.first : p.second;
        out += FieldText(columns_[c].type, columns_[c].v[static_cast<size_t>(rec)], date_sep);
      }
      out += '\n';
    }
    return out;
  }

  // The serial export of the set into a file of dir_; its bytes, or "error <code>".
  std::string Serial(TJoinTable* join, int set, char sep, char date_sep, int first = -1, int last = -1,
                     const int* ids = nullptr, const char* format_file = nullptr) {
    const int all[] = {-1};
    const int* list = ids != nullptr ? ids : all;
    const int rc =
        format_file == nullptr
            ? join->Export(set, list, first, last, sep, date_sep, dir_.Dir().c_str(), "out.csv")
            : join->Export(set, list, first, last, sep, date_sep, dir_.Dir().c_str(), "out.csv", format_file);
    if (rc != 0) return "error " + std::to_string(rc);
    return ReadAll(dir_.File("out.csv"));
  }

  static CsvExportState State(int set, char sep, char date_sep, EXPTFMT_t* formats = nullptr) {
    CsvExportState state;
    state.m_nSetID = set;
    state.m_cSeparator = sep;
    state.m_cDateSeparator = date_sep;
    state.m_pFormats = formats;
    return state;
  }

  // One part written by OutCsvPartFile; its bytes, or "error <code>".
  std::string Part(TJoinTable* join, const CsvExportState& state, CsvLineDiv_t rows, int buffer_size,
                   const int* ids = nullptr, const char* format_file = nullptr) {
    std::vector<int> all(static_cast<size_t>(join->GetNFilter()) + 1, -1);
    join->GetFilterIDList(all.data());
    CsvExportState copy = state;
    const std::string file = dir_.File("part.prf");
    const int rc = join->OutCsvPartFile(&copy, file.c_str(), ids != nullptr ? ids : all.data(), &rows,
                                        buffer_size, format_file);
    if (rc != 0) return "error " + std::to_string(rc);
    return ReadAll(file);
  }

  TempDir dir_;
};

TEST_F(JoinExportTest, EveryJoinedRowPrintsItsRecordsFields) {
  std::mt19937 gen(20261211);
  const std::vector<KeyType> master_types = {KeyType::kString, KeyType::kDecimal, KeyType::kDate};
  const std::vector<KeyType> slave_types = {KeyType::kDouble, KeyType::kInt, KeyType::kString};
  for (int outer : {0, 1}) {
    SCOPED_TRACE(outer ? "outer" : "inner");
    TJoinTable* join = Join(Build(gen, 90, 70, 12, outer, master_types, slave_types));
    std::vector<int> all_m, all_s;
    for (int r = 1; r <= keys_[0].n; ++r) all_m.push_back(r);
    for (int r = 1; r <= keys_[1].n; ++r) all_s.push_back(r);
    const jbtest::Reference ref = jbtest::NestedLoopJoin(outer != 0, keys_[0], all_m, keys_[1], all_s);
    ASSERT_FALSE(ref.pairs.empty());
    // A slave-driven set walks the same columns from the other side; column 0 reads its pairs.
    const int slave_driven = join->SortByRecNo(1, 1, 1);
    ASSERT_GT(slave_driven, 1);
    const std::vector<Pair> by_slave = jrtest::ReadPairs(join, slave_driven);
    struct SetCase {
      int set;
      const std::vector<Pair>* pairs;
    };
    for (const SetCase& s : {SetCase{1, &ref.pairs}, SetCase{slave_driven, &by_slave}}) {
      SCOPED_TRACE(s.set);
      const int n = static_cast<int>(s.pairs->size());
      ASSERT_EQ(join->GetSetSize(s.set), n);
      const std::string csv = Lines(*s.pairs, ',', '/');
      EXPECT_EQ(Serial(join, s.set, ',', '/'), csv);
      EXPECT_EQ(Serial(join, s.set, '\t', '-'), Lines(*s.pairs, '\t', '-'));
      // A format file without records: doubles fall back to 3 digits, as they print anyway.
      EXPECT_EQ(Serial(join, s.set, ',', '/', -1, -1, nullptr, "no-such-format.txt"), csv);
      // Parts cut anywhere, inside a driving row's partners too, add up to the whole.
      const CsvExportState state = State(s.set, ',', '/');
      for (int cuts : {1, 2, 5}) {
        std::string joined;
        for (int k = 0; k < cuts; ++k) {
          const CsvLineDiv_t rows{1 + k * n / cuts, (k + 1) * n / cuts};
          joined += Part(join, state, rows, k % 2 == 0 ? 0 : 1 << 20);
        }
        EXPECT_EQ(joined, csv) << cuts << " parts";
      }
    }
    EXPECT_EQ(TakeRing(), "");
  }
}

// Masters 1..3 (K 1, 2, 3) and slaves 1..3 (K 1, 1, 4), joined outer on K: the slave without a
// master first, then master 1 with both its slaves, then the masters without a slave.
class SmallExportTest : public JoinExportTest {
 protected:
  void SetUp() override {
    JoinExportTest::SetUp();
    long_text_ = "x" + std::string(9000, '"') + "y";  // longer than the 4096 bytes a column starts with
    master_ = AddTable("M", 3);
    slave_ = AddTable("S", 3);
    const int mk = AddRaw(master_, "K", Q7_TYPE_INTEGER, 4, std::vector<int32_t>{1, 2, 3}.data());
    std::vector<const char*> texts{"a\"b", "", long_text_.c_str()};
    AddRaw(master_, "A", Q7_TYPE_STRING, 8, texts.data());
    AddRaw(master_, "D", Q7_TYPE_DATE, 8,
           std::vector<double>{DaySerial(2024, 1, 31), vltest::kDblNull, DaySerial(1999, 12, 31)}.data());
    const int sk = AddRaw(slave_, "K", Q7_TYPE_INTEGER, 4, std::vector<int32_t>{1, 1, 4}.data());
    AddRaw(slave_, "F", Q7_TYPE_DOUBLE, 8, std::vector<double>{2.5, 2e18, -0.25}.data());
    AddRaw(slave_, "E", Q7_TYPE_DATETIME, 8,
           std::vector<double>{DaySerial(2024, 2, 1) + 0.25, vltest::kDblNull, DaySerial(2000, 2, 29) + 0.5}
               .data());
    join_ = Join(AddJoin(false, 1, master_, -1, {mk, 0}, slave_, -1, {sk, 0}));
    ASSERT_NE(join_, nullptr);
  }

  int AddRaw(int table, std::string name, int type, int width, const void* data) {
    const int id = Real(table)->AddFilter2(1024, name.data(), type, 3, width, data, 0, -1);
    EXPECT_GT(id, 0) << name;
    return id;
  }

  // The long text as its field: quoted, every quote doubled.
  std::string LongField() const { return "\"x" + std::string(18000, '"') + "y\""; }

  std::string long_text_;
  TJoinTable* join_ = nullptr;
};

TEST_F(SmallExportTest, LinesAreByteExactWithNullPartnersLongTextsAndBothDateSeparators) {
  const std::string csv =
      ",\"\",,4,-0.250,2000/02/29 12:00:00\n"
      "1,\"a\"\"b\",2024/01/31,1,2.500,2024/02/01 06:00:00\n"
      "1,\"a\"\"b\",2024/01/31,1,2.0000000000000E+18,\n"
      "2,\"\",,,,\n"
      "3," +
      LongField() + ",1999/12/31,,,\n";
  const std::string tab =
      "\t\"\"\t\t4\t-0.250\t2000-02-29 12:00:00\n"
      "1\t\"a\"\"b\"\t2024-01-31\t1\t2.500\t2024-02-01 06:00:00\n"
      "1\t\"a\"\"b\"\t2024-01-31\t1\t2.0000000000000E+18\t\n"
      "2\t\"\"\t\t\t\t\n"
      "3\t" +
      LongField() + "\t1999-12-31\t\t\t\n";
  EXPECT_EQ(Serial(join_, 1, ',', '/'), csv);
  EXPECT_EQ(Serial(join_, -1, '\t', '-'), tab);
  for (int buffer_size : {0, 1, 4096, 1 << 20}) {
    SCOPED_TRACE(buffer_size);
    EXPECT_EQ(Part(join_, State(1, ',', '/'), {1, 5}, buffer_size), csv);
    EXPECT_EQ(Part(join_, State(1, '\t', '-'), {1, 5}, buffer_size), tab);
  }
  EXPECT_EQ(TakeRing(), "");
}

TEST_F(SmallExportTest, FormatRecordsShapeDoublesByTheSourceFilterName) {
  const int ids[] = {5, 1, -1};  // F, then the master's K
  const std::string format = dir_.File("fmt.txt");
  {
    FILE* f = fopen(format.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fputs("F\t1\tROUNDHALFUP\n", f);
    fclose(f);
  }
  // Serial: the record's digits; a double of 2e18 stays in the exponent form.
  EXPECT_EQ(Serial(join_, 1, ',', '/', -1, -1, ids, format.c_str()),
            "-0.2,\n2.5,1\n2.0000000000000E+18,1\n,2\n,3\n");
  std::vector<EXPTFMT_t> records(kExportFormatRecords);
  snprintf(records[0].name, sizeof records[0].name, "F");
  records[0].digits = 20;  // above 15: 3 digits
  records[0].rounding = Q7_ROUND_HALF_UP;
  EXPECT_EQ(Part(join_, State(1, ',', '/', records.data()), {2, 3}, 0, ids, "fmt.txt"),
            "2.500,1\n2.0000000000000E+18,1\n");
  // Without a format file the records are not read.
  records[0].digits = 0;
  EXPECT_EQ(Part(join_, State(1, ',', '/', records.data()), {2, 2}, 0, ids, nullptr), "2.500,1\n");
  EXPECT_EQ(TakeRing(), "");
}

// A source filter that is no longer in its table (its ID swapped for one the master never issued):
// the serial lines stop after the field before it, keeping that field's separator; a part fails.
TEST_F(SmallExportTest, AColumnWhoseSourceFilterHasGoneEndsTheSerialLines) {
  const int saved = join_->FMasterColumns[1];
  join_->FMasterColumns[1] = 9999;
  const int ids[] = {1, 2, 3, -1};
  EXPECT_EQ(Serial(join_, 1, ',', '/', -1, -1, ids), ",\n1,\n1,\n2,\n3,\n");
  EXPECT_EQ(Part(join_, State(1, ',', '/'), {1, 5}, 0, ids),
            "error " + std::to_string(Q7_ERROR_NO_SUCH_FILTER));
  join_->FMasterColumns[1] = saved;
  EXPECT_EQ(TakeRing(), "");
}

struct RangeCase {
  int first;
  int last;
  const char* want;  // rows of the master's K
};

TEST_F(SmallExportTest, RowRangesAreCutToTheSet) {
  const int ids[] = {1, -1};
  const RangeCase cases[] = {
      {-1, -1, "\n1\n1\n2\n3\n"},
      {2, 3, "1\n1\n"},
      {4, 99, "2\n3\n"},
      {-1, 2, "\n1\n"},
      {0, 5, ""},
      {4, 2, ""},
      {6, 9, ""},
      {-5, 3, ""},
  };
  for (const RangeCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.first) + ".." + std::to_string(c.last));
    EXPECT_EQ(Serial(join_, 1, ',', '/', c.first, c.last, ids), c.want);
    EXPECT_EQ(Serial(join_, 1, ',', '/', c.first, c.last, ids, "none.txt"), c.want);
  }
  EXPECT_EQ(TakeRing(), "");
}

TEST_F(SmallExportTest, RefusalsAreRecordedAndWriteNothing) {
  const int bad[] = {1, 99, -1};
  const int all[] = {-1};
  const std::string dir = dir_.Dir();
  const std::string missing = dir_.File("no/such");
  struct Case {
    const char* what;
    std::function<int()> call;
    int code;
    std::vector<std::string> ring;
  };
  const Case cases[] = {
      {"set",
       [&] { return join_->Export(77, all, -1, -1, ',', '/', dir.c_str(), "out.csv"); },
       Q7_ERROR_NO_SUCH_SET,
       {"SetID2Pos|E0000071|No Such Set: 77", "Export|E0000071|No Such Set: 77"}},
      {"set, format",
       [&] { return join_->Export(77, all, -1, -1, ',', '/', dir.c_str(), "out.csv", "f"); },
       Q7_ERROR_NO_SUCH_SET,
       {"SetID2Pos|E0000071|No Such Set: 77", "Export|E0000071|No Such Set: 77"}},
      {"directory",
       [&] { return join_->Export(1, all, -1, -1, ',', '/', missing.c_str(), "out.csv"); },
       Q7_ERROR_INVALID_PATH,
       {"Export|E0000004|Failed to get path ( result getcwd )"}},
      {"filter",
       [&] { return join_->Export(1, bad, -1, -1, ',', '/', dir.c_str(), "out.csv"); },
       Q7_ERROR_ILLEGAL_FILTER,
       {"JFilterID2Pos|E0000088|No Such Filter: 99", "Export|E0000088|No Filter"}},
      {"filter, format",
       [&] { return join_->Export(1, bad, -1, -1, ',', '/', dir.c_str(), "out.csv", "f"); },
       Q7_ERROR_NO_SUCH_FILTER,
       {"JFilterID2Pos|E0000088|No Such Filter: 99", "Export|E000006A|No Filter"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    q7test::RingScope ring;
    EXPECT_EQ(c.call(), c.code);
    std::vector<std::string> got;
    for (std::string e = ring.TakeCoded(); !e.empty(); e = ring.TakeCoded()) got.push_back(e);
    EXPECT_EQ(got, c.ring);
    EXPECT_FALSE(std::filesystem::exists(dir_.File("out.csv")));
  }

  // The parts run on workers: codes only, never a ring entry.
  const std::string part = dir_.File("p.prf");
  CsvExportState state = State(1, ',', '/');
  const int none[] = {-1};
  const int ok[] = {1, -1};
  CsvLineDiv_t rows{1, 5};
  EXPECT_EQ(join_->OutCsvPartFile(&state, part.c_str(), none, &rows, 0, nullptr), Q7_ERROR_ILLEGAL_FILTER);
  EXPECT_EQ(join_->OutCsvPartFile(&state, part.c_str(), bad, &rows, 0, nullptr), Q7_ERROR_ILLEGAL_FILTER);
  EXPECT_FALSE(std::filesystem::exists(part));
  state.m_nSetID = 9;
  EXPECT_EQ(join_->OutCsvPartFile(&state, part.c_str(), ok, &rows, 0, nullptr), Q7_ERROR_NO_SUCH_SET);
  state.m_nSetID = 1;
  rows = {4, 6};
  EXPECT_EQ(join_->OutCsvPartFile(&state, part.c_str(), ok, &rows, 0, nullptr), Q7_ERROR_INDEX_OUT_OF_RANGE);
  rows = {1, 5};
  EXPECT_EQ(join_->OutCsvPartFile(&state, dir_.File("no/such/p.prf").c_str(), ok, &rows, 0, nullptr),
            Q7_ERROR_ILLEGAL_FILE_NAME);
  EXPECT_EQ(TakeRing(), "");
}

}  // namespace
