// Joins written out as text by a host: RQ7ExportAsCSV and RQ7ExportAsTAB of inner and outer joins
// give one line per joined row, the fields taken from the master and slave records a nested-loop
// join written here pairs, printed as the real tables print them; column lists and row ranges; and
// the refused calls with their codes and ring entries, which leave no file behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host_test_support.h"
#include "q7api.h"

namespace {

using q7host::DrainRing;
using q7host::kIntNull;
using q7host::RefusalCase;
using q7host::RingEntry;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Per record (index 0: the record an outer join's row without partner stands for, all NULL): the
// key and the texts the record's value columns print, by date separator.
struct Record {
  int key = kIntNull;
  std::string slash;  // fields after the key, ',' separated, dates with '/'
  std::string dash;   // the same, '\t' separated, dates with '-'
};

struct Pair {
  int master;
  int slave;
};

// The pairing rule: equal keys pair (NULL with NULL); an outer join leaves out NULL keys and adds
// the rows without partner: the slave ones first, then each master row with its partners or alone.
std::vector<Pair> NestedLoopJoin(bool outer, const std::vector<Record>& m, const std::vector<Record>& s) {
  std::vector<Pair> pairs;
  auto partnered = [](int key, const std::vector<Record>& other) {
    for (size_t o = 1; o < other.size(); ++o) {
      if (other[o].key == key) return true;
    }
    return false;
  };
  if (outer) {
    for (size_t r = 1; r < s.size(); ++r) {
      if (s[r].key != kIntNull && !partnered(s[r].key, m)) pairs.push_back({0, static_cast<int>(r)});
    }
  }
  for (size_t mr = 1; mr < m.size(); ++mr) {
    if (outer && m[mr].key == kIntNull) continue;
    bool any = false;
    for (size_t sr = 1; sr < s.size(); ++sr) {
      if (m[mr].key == s[sr].key) {
        pairs.push_back({static_cast<int>(mr), static_cast<int>(sr)});
        any = true;
      }
    }
    if (outer && !any) pairs.push_back({static_cast<int>(mr), 0});
  }
  return pairs;
}

std::string KeyText(int key) { return key == kIntNull ? "" : std::to_string(key); }

class JoinExportTest : public ::testing::Test {
 protected:
  static constexpr int kMasters = 600;
  static constexpr int kSlaves = 500;

  // Masters: K (0..49, some NULL), NAME (texts with quotes and commas, some NULL), AMOUNT (DECIMAL
  // scale 2). Slaves: K, PRICE (DOUBLE), DAY (DATE).
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    RQ7ClearDB();
    master_ = q7host::AddTable("M", kMasters);
    slave_ = q7host::AddTable("S", kSlaves);
    ASSERT_GT(master_, 0);
    ASSERT_GT(slave_, 0);
    masters_.assign(kMasters + 1, Record{kIntNull, ",\"\",", "\t\"\"\t"});
    slaves_.assign(kSlaves + 1, Record{kIntNull, ",,", "\t\t"});
    std::vector<int32_t> keys;
    std::vector<std::string> names;
    std::vector<Numeric> amounts;
    for (int r = 1; r <= kMasters; ++r) {
      const int key = r % 23 == 0 ? kIntNull : (r * 7) % 50;
      const std::string name = r % 11 == 0 ? "" : "n\"" + std::to_string(r % 13) + ",x";
      const bool null_amount = r % 17 == 0;
      const int64_t units = (r * 37) % 20001 - 10000;
      keys.push_back(key);
      names.push_back(name);
      amounts.push_back(null_amount ? q7host::kDecimalNull : q7host::Decimal(units));
      char amount[32] = "";
      if (!null_amount) {
        snprintf(amount, sizeof amount, "%s%lld.%02lld", units < 0 ? "-" : "",
                 static_cast<long long>(llabs(units) / 100), static_cast<long long>(llabs(units) % 100));
      }
      std::string quoted = "\"";
      for (char c : name) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
      quoted += "\"";
      masters_[r] = {key, "," + quoted + "," + amount, "\t" + quoted + "\t" + amount};
    }
    ASSERT_GT(q7host::AddIntColumn(master_, "K", keys), 0);
    ASSERT_GT(q7host::AddStringColumn(master_, "NAME", names), 0);
    ASSERT_GT(q7host::AddDecimalColumn(master_, "AMOUNT", amounts, 2), 0);

    keys.clear();
    std::vector<double> prices, days;
    for (int r = 1; r <= kSlaves; ++r) {
      const int key = r % 19 == 0 ? kIntNull : (r * 3) % 60;  // keys 50..59 have no master
      const bool null_price = r % 13 == 0;
      const double price = (r % 400) * 0.25 - 20;
      const int month = 1 + r % 12;
      const int day = 1 + r % 28;
      keys.push_back(key);
      prices.push_back(null_price ? q7host::kDoubleNull : price);
      days.push_back(q7host::DateSerial(2020, month, day));
      char text[64] = "";
      if (!null_price) snprintf(text, sizeof text, "%0.3f", price);
      char slash[16], dash[16];
      snprintf(slash, sizeof slash, "2020/%02d/%02d", month, day);
      snprintf(dash, sizeof dash, "2020-%02d-%02d", month, day);
      slaves_[r] = {key, std::string(",") + text + "," + slash, std::string("\t") + text + "\t" + dash};
    }
    ASSERT_GT(q7host::AddIntColumn(slave_, "K", keys), 0);
    ASSERT_GT(q7host::AddDoubleColumn(slave_, "PRICE", prices), 0);
    ASSERT_GT(q7host::AddDoubleColumn(slave_, "DAY", days, Q7_TYPE_DATE), 0);
    DrainRing();
  }
  void TearDown() override { RQ7ClearDB(); }

  int Join(int outer) {
    const int keys[] = {1, 0};
    const int id = RQ7AddJoinTable("J", outer, master_, -1, keys, slave_, -1, keys);
    EXPECT_GT(id, 0);
    return id;
  }

  // The lines of every column of the pairs.
  std::string Lines(const std::vector<Pair>& pairs, bool tab) const {
    std::string out;
    for (const Pair& p : pairs) {
      const Record& m = masters_[static_cast<size_t>(p.master)];
      const Record& s = slaves_[static_cast<size_t>(p.slave)];
      const char sep = tab ? '\t' : ',';
      out +=
          KeyText(m.key) + (tab ? m.dash : m.slash) + sep + KeyText(s.key) + (tab ? s.dash : s.slash) + "\n";
    }
    return out;
  }

  q7host::TempDir dir_;
  int master_ = 0;
  int slave_ = 0;
  std::vector<Record> masters_, slaves_;
};

TEST_F(JoinExportTest, CsvAndTabLinesFollowTheReferenceJoin) {
  for (int outer : {0, 1}) {
    SCOPED_TRACE(outer ? "outer" : "inner");
    const int join = Join(outer);
    const std::vector<Pair> pairs = NestedLoopJoin(outer != 0, masters_, slaves_);
    ASSERT_EQ(RQ7GetSetSize(join, 1), static_cast<int>(pairs.size()));
    DrainRing();
    ASSERT_EQ(RQ7ExportAsCSV(join, -1, nullptr, -1, -1, '/', dir_.path().c_str(), "j.csv"), 0);
    EXPECT_EQ(ReadFile(dir_.File("j.csv")), Lines(pairs, false));
    const int all[] = {-1};
    ASSERT_EQ(RQ7ExportAsTAB(join, 1, all, -1, -1, '-', dir_.path().c_str(), "j.tab"), 0);
    EXPECT_EQ(ReadFile(dir_.File("j.tab")), Lines(pairs, true));

    // Listed columns in the host's order (slave PRICE, master K), rows 3 .. 7.
    const int some[] = {5, 1, -1};
    ASSERT_EQ(RQ7ExportAsCSV(join, 1, some, 3, 7, '/', dir_.path().c_str(), "some.csv"), 0);
    std::string want;
    for (size_t row = 2; row < 7; ++row) {
      const Record& s = slaves_[static_cast<size_t>(pairs[row].slave)];
      want +=
          s.slash.substr(1, s.slash.find(',', 1) - 1) + "," + KeyText(masters_[pairs[row].master].key) + "\n";
    }
    EXPECT_EQ(ReadFile(dir_.File("some.csv")), want);
    EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
    ASSERT_EQ(RQ7DeleteTable(join), 0);
  }
}

TEST_F(JoinExportTest, RefusedCallsLeaveNoFile) {
  const int join = Join(0);
  const std::string dir = dir_.path();
  const int bad[] = {1, 99, -1};
  const RefusalCase cases[] = {
      {"rows",
       [&] { return RQ7ExportAsCSV(join, 1, nullptr, 5, 3, '/', dir.c_str(), "x.csv"); },
       Q7_ERROR_INVALID_PARAMETER,
       {{"RQ7ExportAsCSV", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : RowFrom(5) RowTo(3)"}}},
      {"set",
       [&] { return RQ7ExportAsCSV(join, 77, nullptr, -1, -1, '/', dir.c_str(), "x.csv"); },
       Q7_ERROR_NO_SUCH_SET,
       {{"SetID2Pos", Q7_ERROR_NO_SUCH_SET, "No Such Set: 77"},
        {"GetSetSize", Q7_ERROR_ILLEGAL_SET_ID, "No Such Set: 77"}}},
      {"filter",
       [&] { return RQ7ExportAsTAB(join, 1, bad, -1, -1, '/', dir.c_str(), "x.csv"); },
       Q7_ERROR_ILLEGAL_FILTER,
       {}},
      {"directory",
       [&] { return RQ7ExportAsCSV(join, 1, nullptr, -1, -1, '/', "/no/such/dir", "x.csv"); },
       Q7_ERROR_INVALID_PATH,
       {}},
      {"catalog, filter",
       [&] {
         int list[] = {1, 99, -1};
         return RQ7SaveAsCatalog(join, 1, list, 0, -1, -1, '/', dir.c_str(), "x.cat");
       },
       Q7_ERROR_ILLEGAL_FILTER,
       {{"GetFilter", Q7_ERROR_NO_SUCH_FILTER, "No Such Filter: 99"}}},
  };
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.call(), c.code);
    EXPECT_EQ(DrainRing(), c.ring);
    EXPECT_TRUE(std::filesystem::is_empty(dir));
  }
}

}  // namespace
