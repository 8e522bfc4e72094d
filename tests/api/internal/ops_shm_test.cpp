// The shared-memory database image through its exported functions: creating the segment from a saved
// database, keeping it attached while tables lie in it, unloading, releasing, and the refusals.
// Each test process uses a segment key of its own (tests/foundation/shm_test_support.h).
#include "api/ops/ops_shm.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "api/ops/ops_database.h"
#include "foundation/zpk_shm.h"
#include "opsets_support.h"
#include "q7api.h"
#include "tests/database/table_files_support.h"
#include "tests/foundation/shm_test_support.h"
#include "tests/support/test_support.h"

namespace {

using opsets_test::Entry;
using shm_test::KeyScope;
using shm_test::SegmentsWithKey;

class ShmOps : public opsets_test::OpTest {
 protected:
  // Saves the database as dir/"shop.Q7D" and returns the file's size.
  int64_t SaveShop() {
    EXPECT_EQ(innerQ7SaveDBAs(dir_.Dir().c_str(), "shop"), 0);
    return static_cast<int64_t>(std::filesystem::file_size(dir_.File("shop.Q7D")));
  }

  KeyScope key_;
  q7test::TempDir dir_;
};

TEST_F(ShmOps, CreateSizesTheSegmentAndReleaseLeavesNothing) {
  IntTable({1, 2, 3});
  const int64_t file_size = SaveShop();
  EXPECT_EQ(innerQ7GetSharedMemorySize(), 0);
  // The name is a constant text: the extension must not be written into it.
  ASSERT_EQ(RQ7CreateSharedMemoryDB(dir_.Dir().c_str(), "shop"), 0);
  EXPECT_EQ(innerQ7GetSharedMemorySize(), file_size + 8);
  EXPECT_EQ(SegmentsWithKey(key_.key()), 1);
  EXPECT_EQ(RQ7CreateSharedMemoryDB(dir_.Dir().c_str(), "shop.Q7D"), Q7_ERROR_SHARED_MEMORY_MAPPING);

  EXPECT_EQ(RQ7ReleaseSharedMemoryArea(), 0);
  EXPECT_EQ(innerQ7GetSharedMemorySize(), 0);
  EXPECT_EQ(SegmentsWithKey(key_.key()), 0);
  EXPECT_EQ(Drain(), std::vector<Entry>{});
}

TEST_F(ShmOps, RefusalsWithoutASegment) {
  EXPECT_EQ(RQ7LoadDBFromSharedMemory(), Q7_ERROR_SHARED_MEMORY_MAPPING);
  EXPECT_EQ(Drain(), (std::vector<Entry>{
                         {"OpenMapping", Q7_ERROR_SHARED_MEMORY_MAPPING,
                          "Failed to open file mapping ( OpenFileMapping module )"},
                         {"LoadMem2DB", Q7_ERROR_SHARED_MEMORY_MAPPING, "Failed to open Shared memory "},
                     }));
  EXPECT_EQ(RQ7ReleaseSharedMemoryArea(), Q7_ERROR_SHARED_MEMORY_MAPPING);
  Drain();
  EXPECT_EQ(RQ7UnMapSharedMemory(), 0);
  EXPECT_EQ(RQ7UnLoadSharedMemoryDB(), 0);
  EXPECT_EQ(RQ7CreateSharedMemoryDB(dir_.Dir().c_str(), "absent"), Q7_ERROR_ILLEGAL_FILE_NAME);
  EXPECT_EQ(RQ7CreateSharedMemoryDB("/nonexistent-q7-dir", "shop"), Q7_ERROR_INVALID_DIRECTORY);
  EXPECT_EQ(RQ7CreateSharedMemoryDB(dir_.Dir().c_str(), nullptr), Q7_ERROR_ILLEGAL_FILE_NAME);
  EXPECT_EQ(SegmentsWithKey(key_.key()), 0);
}

// Tables read in place point into the attachment: it is not dropped under them, and unloading
// deletes them (and only them) before it detaches.
TEST_F(ShmOps, AttachmentStaysWhileTablesLieInIt) {
  IntTable({4, 5});
  SaveShop();
  ASSERT_EQ(RQ7CreateSharedMemoryDB(dir_.Dir().c_str(), "shop"), 0);
  char* image = nullptr;
  ASSERT_EQ(zpk_shm::Open(&image), 0);
  // Stand-ins for tables loaded from the image: the same mark as the in-place reader sets.
  const int own = IntTable({7}, nullptr, "own");
  const int in_image = IntTable({8}, nullptr, "in_image");
  Real(in_image)->FShmImage = 1;

  const Entry busy_unmap{"Q7UnMapSharedMemory", Q7_ERROR_SHM_BUSY,
                         "Tables of the shared memory image are loaded"};
  EXPECT_EQ(RQ7UnMapSharedMemory(), Q7_ERROR_SHM_BUSY);
  EXPECT_EQ(RQ7ReleaseSharedMemoryArea(), Q7_ERROR_SHM_BUSY);
  EXPECT_EQ(RQ7LoadDBFromSharedMemory(), Q7_ERROR_SHM_BUSY);
  EXPECT_EQ(Drain(), (std::vector<Entry>{
                         busy_unmap,
                         {"Q7ReleaseSharedMemoryArea", Q7_ERROR_SHM_BUSY, busy_unmap.message},
                         {"LoadMem2DB", Q7_ERROR_SHM_BUSY, busy_unmap.message},
                     }));
  EXPECT_EQ(zpk_shm::Image(), image);
  EXPECT_EQ(SegmentsWithKey(key_.key()), 1);

  // A join over the image's table holds it: the unload gives the refusal and stays attached.
  const int join = Join(in_image, own);
  EXPECT_EQ(RQ7UnLoadSharedMemoryDB(), Q7_ERROR_NOT_EDITABLE);
  EXPECT_EQ(zpk_shm::Image(), image);
  ASSERT_EQ(db()->DelTable(join), 0);
  Drain();

  EXPECT_EQ(RQ7UnLoadSharedMemoryDB(), 0);
  EXPECT_EQ(zpk_shm::Image(), nullptr);
  EXPECT_EQ(db()->TableCount(), 2);
  EXPECT_EQ(db()->ID2Loc(in_image), Q7_ERROR_NO_SUCH_TABLE);
  EXPECT_GE(db()->ID2Loc(own), 0);
  EXPECT_EQ(RQ7ReleaseSharedMemoryArea(), 0);
  EXPECT_EQ(SegmentsWithKey(key_.key()), 0);
}

// Two tables of every value type, with a set of their own, travel through a saved file into the
// segment and come back the same in this process and in a second one, which reads the segment
// without the file; appended to a database that holds a table, they get new IDs.
TEST_F(ShmOps, DatabaseOfEveryTypeRoundTripsThroughTheSegment) {
  const int first = NewTable("every", 12);
  files_test::AddEveryType(Real(first), 1);
  AddSet(first, {3, 1, 12, 2});
  const int second = NewTable("second", 5);
  files_test::AddEveryType(Real(second), 4);
  const int64_t file_size = SaveShop();
  const std::string want_first = files_test::Snapshot(Real(first));
  const std::string want_second = files_test::Snapshot(Real(second));
  ASSERT_EQ(RQ7CreateSharedMemoryDB(dir_.Dir().c_str(), "shop"), 0);
  std::filesystem::remove(dir_.File("shop.Q7D"));  // the segment is all the readers have

  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    alarm(120);  // a child that hangs ends as a failure instead of holding up the test
    if (RQ7ClearDB() != 0) _exit(1);
    if (RQ7LoadDBFromSharedMemory() != 0) _exit(2);
    if (innerQ7GetSharedMemorySize() != file_size + 8) _exit(3);
    if (db()->TableCount() != 2) _exit(4);
    if (files_test::Snapshot(Real(first)) != want_first) _exit(5);
    if (files_test::Snapshot(Real(second)) != want_second) _exit(6);
    if (RQ7IsSharedMemoryTable(first) != 1) _exit(7);
    if (RQ7UnLoadSharedMemoryDB() != 0 || db()->TableCount() != 0) _exit(8);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);

  // In this process, into an empty database: the image becomes the database, IDs as stored.
  ASSERT_EQ(RQ7ClearDB(), 0);
  ASSERT_EQ(RQ7LoadDBFromSharedMemory(), 0);
  EXPECT_EQ(innerQ7GetSharedMemorySize(), file_size + 8);
  ASSERT_EQ(db()->TableCount(), 2);
  EXPECT_EQ(files_test::Snapshot(Real(first)), want_first);
  EXPECT_EQ(files_test::Snapshot(Real(second)), want_second);
  EXPECT_EQ(RQ7IsSharedMemoryTable(first), 1);
  ASSERT_EQ(RQ7UnLoadSharedMemoryDB(), 0);
  EXPECT_EQ(db()->TableCount(), 0);

  // Into a database that holds a table: appended after it.
  const int own = IntTable({9, 8});
  ASSERT_EQ(RQ7LoadDBFromSharedMemory(), 0);
  ASSERT_EQ(db()->TableCount(), 3);
  EXPECT_EQ(db()->TableAt(0)->FTableID, own);
  EXPECT_GT(db()->TableAt(1)->FTableID, own);
  EXPECT_EQ(files_test::Snapshot(static_cast<TRealTable*>(db()->TableAt(1))), want_first);
  EXPECT_EQ(files_test::Snapshot(static_cast<TRealTable*>(db()->TableAt(2))), want_second);
  EXPECT_EQ(RQ7IsSharedMemoryTable(own), 0);
  ASSERT_EQ(RQ7UnLoadSharedMemoryDB(), 0);
  ASSERT_EQ(db()->TableCount(), 1);
  EXPECT_EQ(db()->TableAt(0)->FTableID, own);

  EXPECT_EQ(RQ7ReleaseSharedMemoryArea(), 0);
  EXPECT_EQ(SegmentsWithKey(key_.key()), 0);
  EXPECT_EQ(innerQ7GetSharedMemorySize(), 0);
}

// A segment holding a cut or damaged database file is refused with a code when loaded: the engine
// keeps an empty database, and nothing holds the attachment.
TEST_F(ShmOps, DamagedImagesAreRefusedAndNothingIsKept) {
  files_test::AddEveryType(Real(NewTable("every", 20)), 2);
  SaveShop();
  const std::string good = q7test::ReadAll(dir_.File("shop.Q7D"));
  std::string big_count = good;
  // The table count: after the header, the four versions and the issued ID (256 + 16 + 4), padded
  // by (276 & 7) bytes.
  int32_t count = 0;
  memcpy(&count, &good[280], 4);
  ASSERT_EQ(count, 1);
  const int32_t huge = 0x7FFFFFF0;
  memcpy(&big_count[280], &huge, 4);
  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case kCases[] = {
      {"cut after the header", good.substr(0, 300)},
      {"cut in the middle", good.substr(0, good.size() / 2)},
      {"cut one byte short", good.substr(0, good.size() - 1)},
      {"table count beyond the image", big_count},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    q7test::WriteAll(dir_.File("bad.Q7D"), c.bytes);
    ASSERT_EQ(RQ7CreateSharedMemoryDB(dir_.Dir().c_str(), "bad"), 0);
    ASSERT_EQ(RQ7ClearDB(), 0);
    EXPECT_LT(RQ7LoadDBFromSharedMemory(), 0);
    ASSERT_NE(db(), nullptr);
    EXPECT_EQ(db()->TableCount(), 0);
    EXPECT_EQ(RQ7UnMapSharedMemory(), 0);
    EXPECT_EQ(RQ7ReleaseSharedMemoryArea(), 0);
    Drain();
  }
  EXPECT_EQ(SegmentsWithKey(key_.key()), 0);
}

}  // namespace
