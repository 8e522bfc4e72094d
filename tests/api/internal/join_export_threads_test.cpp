// The parallel text export of joins (the task object's Export and ExportWithF, which cut the joined
// rows into parts written on the worker pool) gives the join's serial export byte for byte, for
// inner and outer joins, master- and slave-driven sets, whatever the worker count.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "api/task/CDBTask.h"
#include "database/TFilter.h"
#include "import/CCMultiThreadExport.h"
#include "task_test_support.h"
#include "tests/support/test_support.h"
#include "values/Numeric.h"
#include "values/TNumericArray.h"

namespace {

using tasktest::TaskTest;

constexpr int kMasters = 4000;
constexpr int kSlaves = 3000;
constexpr int kIntNull = INT_MIN;
constexpr double kDoubleNull = -HUGE_VAL;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Sets the smallest part for the test's lifetime, so that a few thousand rows make many parts.
class MinPartRows {
 public:
  explicit MinPartRows(int rows) { CCMultiThreadExport::SetMinRowsPerPartForTest(rows); }
  ~MinPartRows() { CCMultiThreadExport::SetMinRowsPerPartForTest(0); }
  MinPartRows(const MinPartRows&) = delete;
  MinPartRows& operator=(const MinPartRows&) = delete;
};

class JoinExportRoadsTest : public TaskTest {
 protected:
  // Masters: K (keys repeat, some NULL), NAME (quotes and commas), AMOUNT (DECIMAL scale 3). Slaves:
  // K, PRICE (DOUBLE), DAY (DATE), NOTE (STRING).
  void SetUp() override {
    TaskTest::SetUp();
    master_ = NewTable("M", kMasters);
    slave_ = NewTable("S", kSlaves);
    std::vector<int> keys(kMasters);
    std::vector<Numeric> amounts(kMasters);
    std::vector<const char*> names(kMasters);
    texts_.resize(kMasters + kSlaves);
    for (int i = 0; i < kMasters; ++i) {
      keys[i] = i % 29 == 0 ? kIntNull : (i * 7) % 1000;
      const int64_t units = (i * 131) % 200001 - 100000;
      amounts[i] =
          i % 31 == 0 ? Numeric{0, INT64_MIN} : Numeric{static_cast<uint64_t>(units), units < 0 ? -1 : 0};
      texts_[i] = i % 11 == 0 ? "" : "n\"" + std::to_string(i % 97) + ",x";
      names[i] = texts_[i].c_str();
    }
    master_key_ = AddFilter(master_, "K", Q7_TYPE_INTEGER, 4, keys.data());
    AddFilter(master_, "NAME", Q7_TYPE_STRING, 8, names.data());
    const int amount = AddFilter(master_, "AMOUNT", Q7_TYPE_DECIMAL, 16, amounts.data());
    static_cast<TNumericArray*>(Real(master_)->GetFilter(amount)->VL)->SetDecimalInfo(3, Q7_ROUND_HALF_EVEN);

    keys.assign(kSlaves, 0);
    std::vector<double> prices(kSlaves), days(kSlaves);
    std::vector<const char*> notes(kSlaves);
    for (int i = 0; i < kSlaves; ++i) {
      keys[i] = i % 23 == 0 ? kIntNull : (i * 3) % 1200;
      prices[i] = i % 13 == 0 ? kDoubleNull : ((i * 53) % 9973) / 7.0 - 500;
      days[i] = i % 17 == 0 ? kDoubleNull : 40000 + (i * 7) % 1000;
      texts_[kMasters + i] = "s" + std::to_string(i % 401);
      notes[i] = texts_[kMasters + i].c_str();
    }
    slave_key_ = AddFilter(slave_, "K", Q7_TYPE_INTEGER, 4, keys.data());
    AddFilter(slave_, "PRICE", Q7_TYPE_DOUBLE, 8, prices.data());
    AddFilter(slave_, "DAY", Q7_TYPE_DATE, 8, days.data());
    AddFilter(slave_, "NOTE", Q7_TYPE_STRING, 8, notes.data());
    ASSERT_TRUE(dir_.Dir().size() > 0);
    std::ofstream(dir_.File("fmt.txt")) << "PRICE\t2\tROUNDHALFUP\n";
  }

  int MakeJoin(int outer) {
    int master_keys[] = {master_key_, 0};
    int slave_keys[] = {slave_key_, 0};
    char name[] = "J";
    const int id = db()->MppAddJoinTable(name, outer, master_, -1, master_keys, slave_, -1, slave_keys);
    EXPECT_GT(id, 0);
    return id;
  }

  int master_ = 0, slave_ = 0, master_key_ = 0, slave_key_ = 0;
  std::vector<std::string> texts_;
  q7test::TempDir dir_;
};

TEST_F(JoinExportRoadsTest, PartsOnAnyWorkerCountGiveTheSerialFile) {
  MinPartRows small_parts(500);
  const std::string dir = dir_.Dir();
  const std::string format = dir_.File("fmt.txt");
  const int all[] = {-1};
  for (int outer : {0, 1}) {
    const int join_id = MakeJoin(outer);
    auto* join = static_cast<TJoinTable*>(db()->GetTable(join_id));
    // Set 1 is master-driven; a sort by a slave column drives the joined rows from the slave side.
    const int by_slave = join->MppSortByField(join->FnMasterColumn + 2, 1, 1);
    ASSERT_GT(by_slave, 1);
    Drain();
    for (int set : {1, by_slave}) {
      ASSERT_EQ(join->Export(set, all, -1, -1, ',', '/', dir.c_str(), "serial.csv"), 0);
      ASSERT_EQ(join->Export(set, all, -1, -1, ',', '/', dir.c_str(), "serial_f.csv", format.c_str()), 0);
      const std::string serial = ReadFile(dir_.File("serial.csv"));
      const std::string serial_f = ReadFile(dir_.File("serial_f.csv"));
      ASSERT_GT(serial.size(), 50000u);
      ASSERT_NE(serial, serial_f) << "the format file shaped nothing";
      for (int cap : {1, 2, 3, 0}) {
        SCOPED_TRACE(testing::Message() << (outer ? "outer" : "inner") << ", set " << set << ", cap " << cap);
        q7test::WorkerCap workers(cap);
        ASSERT_EQ(DBTASK()->Export(join_id, set, all, -1, -1, '/', dir.c_str(), "mpp.csv", ','), 0);
        EXPECT_GT(CCMultiThreadExport::Instance()->getPartCount(), cap == 1 ? 0 : 1);
        EXPECT_EQ(ReadFile(dir_.File("mpp.csv")), serial);
        ASSERT_EQ(DBTASK()->ExportWithF(join_id, set, all, -1, -1, '/', dir.c_str(), "mpp_f.csv",
                                        format.c_str(), ','),
                  0);
        EXPECT_EQ(ReadFile(dir_.File("mpp_f.csv")), serial_f);
      }
      EXPECT_EQ(Drain(), std::vector<tasktest::RingEntry>{});
    }
    ASSERT_EQ(db()->DelTable(join_id), 0);
  }
}

}  // namespace
