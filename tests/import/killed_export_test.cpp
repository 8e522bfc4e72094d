// A parallel export that is killed, or fails, at any point between its first part and the end leaves
// the file of its name as it was; what a killed export left beside it (the file it was writing and
// its part files) goes at the next export of the same file. The moments are the exporter's own: its
// test hook runs after each part is written and once every part is joined, and kills the process
// there (or fails the export there), so no test waits on a timing.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"
#include "import/CCMultiThreadExport.h"
#include "q7api.h"
#include "tests/support/test_support.h"

namespace {

using q7test::ReadAll;
using q7test::TempDir;

// The parent's directory, handed to the re-executed child through the environment.
constexpr char kDirVariable[] = "Q7_KILLED_EXPORT_DIR";
constexpr int kRows = 3000;
constexpr char kOld[] = "an old file of the same name\n";
constexpr char kTarget[] = "out.csv";

// The hook's orders: the part-written call that acts (1 the first, 2 the second...; 0 none), whether
// it acts after every part is joined, and what it does there.
std::atomic<int> g_calls{0};
int g_act_at_call = 0;
bool g_act_when_joined = false;
int g_fail_code = 0;  // 0: kill the process

int Act() {
  if (g_fail_code == 0) kill(getpid(), SIGKILL);
  return g_fail_code;
}

int Hook(int part) {
  if (part < 0) return g_act_when_joined ? Act() : 0;
  return g_calls.fetch_add(1) + 1 == g_act_at_call ? Act() : 0;
}

// The hook and small parts for one export.
class HookedExport {
 public:
  HookedExport(int call, bool when_joined, int fail_code) {
    g_calls = 0;
    g_act_at_call = call;
    g_act_when_joined = when_joined;
    g_fail_code = fail_code;
    CCMultiThreadExport::SetMinRowsPerPartForTest(1);
    CCMultiThreadExport::SetPartHookForTest(Hook);
  }
  ~HookedExport() {
    CCMultiThreadExport::SetPartHookForTest(nullptr);
    CCMultiThreadExport::SetMinRowsPerPartForTest(0);
  }
  HookedExport(const HookedExport&) = delete;
  HookedExport& operator=(const HookedExport&) = delete;
};

class ExportOverAnOldFile : public ::testing::Test {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const char* inherited = getenv(kDirVariable);
    parent_ = inherited == nullptr;
    if (parent_) {
      own_dir_ = std::make_unique<TempDir>();
      dir_ = own_dir_->Dir();
      setenv(kDirVariable, dir_.c_str(), 1);
    } else {
      dir_ = inherited;
    }
    db_ = CSmpEngine::Instance()->Database();
    ASSERT_NE(db_, nullptr);
    std::string name = "exported";
    table_id_ = db_->AddRealTable(name.data(), kRows);
    ASSERT_GT(table_id_, 0);
    table_ = static_cast<TRealTable*>(db_->GetTable(table_id_));
    std::vector<int32_t> ints(kRows);
    std::vector<std::string> texts(kRows);
    std::vector<const char*> text_ptrs(kRows);
    for (int i = 0; i < kRows; ++i) {
      ints[static_cast<size_t>(i)] = i * 7919 % 100003;
      texts[static_cast<size_t>(i)] = "row " + std::to_string(i);
      text_ptrs[static_cast<size_t>(i)] = texts[static_cast<size_t>(i)].c_str();
    }
    std::string id = "ID";
    std::string text = "NAME";
    ASSERT_GT(table_->AddFilter2(1024, id.data(), Q7_TYPE_INTEGER, kRows, 4, ints.data(), 0, -1), 0);
    ASSERT_GT(table_->AddFilter2(1024, text.data(), Q7_TYPE_STRING, kRows, 8, text_ptrs.data(), 0, -1), 0);
    std::ofstream(dir_ + "/" + kTarget, std::ios::binary) << kOld;
  }
  void TearDown() override {
    if (parent_) unsetenv(kDirVariable);
    db_->DelTable(table_id_);
  }

  int Export() {
    CCMultiThreadExport* ex = CCMultiThreadExport::Instance();
    ex->init();
    const int rc = MppCsvExport(table_id_, 1, nullptr, -1, -1, ',', '/', dir_.c_str(), kTarget, nullptr);
    ex->free_mem();
    return rc;
  }

  // The whole new file, as the serial export writes it (in a directory of its own).
  std::string Wanted() {
    TempDir other;
    EXPECT_EQ(table_->Export(1, nullptr, -1, -1, ',', '/', other.Dir().c_str(), "want.csv"), 0);
    return ReadAll(other.File("want.csv"));
  }

  std::string Target() const { return ReadAll(dir_ + "/" + kTarget); }

  std::unique_ptr<TempDir> own_dir_;  // the parent's only: a killed child removes nothing
  std::string dir_;
  bool parent_ = true;
  TTableCollection* db_ = nullptr;
  int table_id_ = 0;
  TRealTable* table_ = nullptr;
};

// Where the export is killed. Not every export has a second or a fifth part: one that ends before
// the moment comes is killed after it returns, and the file must then be the whole new one.
struct KillCase {
  const char* what;
  int call;
  bool when_joined;
  bool always_reached;
};

void PrintTo(const KillCase& c, std::ostream* out) { *out << c.what; }

class KilledExport : public ExportOverAnOldFile, public ::testing::WithParamInterface<KillCase> {};

TEST_P(KilledExport, LeavesTheOldFileAndTheNextExportClearsWhatItLeft) {
  const KillCase& c = GetParam();
  EXPECT_EXIT(
      {
        HookedExport hooked(c.call, c.when_joined, 0);
        Export();
        kill(getpid(), SIGKILL);
      },
      ::testing::KilledBySignal(SIGKILL), "");
  const std::string wanted = Wanted();
  const std::string left = Target();
  if (c.always_reached) {
    EXPECT_EQ(left, kOld);
  } else {
    EXPECT_TRUE(left == kOld || left == wanted) << left.size() << " bytes";
  }
  const std::vector<std::string> entries = q7test::DirectoryNames(dir_);
  if (left == kOld) {
    // At least the file the export was writing stays beside the target, named after the target.
    EXPECT_GT(entries.size(), 1u);
  }
  for (const std::string& name : entries) EXPECT_EQ(name.rfind(kTarget, 0), 0u) << name;

  ASSERT_EQ(Export(), 0);
  EXPECT_EQ(Target(), wanted);
  EXPECT_EQ(q7test::DirectoryNames(dir_), std::vector<std::string>{kTarget});
}

INSTANTIATE_TEST_SUITE_P(Moments, KilledExport,
                         ::testing::Values(KillCase{"FirstPartWritten", 1, false, true},
                                           KillCase{"SecondPartWritten", 2, false, false},
                                           KillCase{"FifthPartWritten", 5, false, false},
                                           KillCase{"EveryPartJoined", 0, true, true}),
                         [](const ::testing::TestParamInfo<KillCase>& info) { return info.param.what; });

// A failure at any point leaves the old file and nothing beside it.
TEST_F(ExportOverAnOldFile, FailedExportLeavesTheOldFileAndNothingElse) {
  struct FailCase {
    const char* what;
    int call;
    bool when_joined;
  };
  const FailCase cases[] = {{"first part written", 1, false}, {"every part joined", 0, true}};
  for (const FailCase& c : cases) {
    SCOPED_TRACE(c.what);
    {
      HookedExport hooked(c.call, c.when_joined, Q7_ERROR_ILLEGAL_FILE_NAME);
      EXPECT_EQ(Export(), Q7_ERROR_ILLEGAL_FILE_NAME);
    }
    EXPECT_EQ(Target(), kOld);
    EXPECT_EQ(q7test::DirectoryNames(dir_), std::vector<std::string>{kTarget});
  }
  ASSERT_EQ(Export(), 0);
  EXPECT_EQ(Target(), Wanted());
}

}  // namespace
