// The file-browser calls as a host makes them: one good and one refused call of each family, with
// the code the host sees and the ring entry the refusal leaves.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "q7api.h"
#include "tests/api/host_test_support.h"

namespace {

using q7host::DrainRing;
using q7host::RingEntry;

class Browser : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    DrainRing();
  }
  q7host::TempDir dir_;
};

TEST_F(Browser, FilesWrittenReadAndRemoved) {
  const std::string path = dir_.File("note.txt");
  ASSERT_EQ(RQ7BrowserPutFile(path.c_str(), 5, "hello"), 0);
  // Length comes before the truncate flag.
  ASSERT_EQ(RQ7BrowserPutFileEx(path.c_str(), 6, 0, " world"), 0);
  EXPECT_EQ(RQ7BrowserGetFileSize(path.c_str()), 11);

  std::vector<char> buf(8192 + 16, 'Z');
  int size = 0, length = 0;
  ASSERT_EQ(RQ7BrowserGetFile(path.c_str(), &size, &length, buf.data()), 0);
  EXPECT_EQ(size, 11);
  EXPECT_EQ(length, 11);
  EXPECT_STREQ(buf.data(), "hello world");
  ASSERT_EQ(RQ7BrowserGetFileEx(path.c_str(), 6, &size, &length, buf.data()), 0);
  EXPECT_STREQ(buf.data(), "world");
  long long size64 = 0;
  ASSERT_EQ(RQ7BrowserGetFileEx64(path.c_str(), 10, &size64, &length, buf.data()), 0);
  EXPECT_EQ(size64, 11);
  EXPECT_STREQ(buf.data(), "d");
  ASSERT_EQ(RQ7BrowserGetFile64(path.c_str(), &size64, &length, buf.data()), 0);
  EXPECT_EQ(length, 11);

  ASSERT_EQ(RQ7BrowserPutFileEx(path.c_str(), 2, 1, "ok"), 0);
  EXPECT_EQ(RQ7BrowserGetFileSize(path.c_str()), 2);
  ASSERT_EQ(RQ7BrowserDelFile(path.c_str()), 0);
  EXPECT_TRUE(DrainRing().empty());
}

TEST_F(Browser, DirectoriesListedMovedAndRemoved) {
  const std::string sub = dir_.File("sub");
  ASSERT_EQ(RQ7BrowserMakeDirectory(sub.c_str()), 0);
  ASSERT_EQ(RQ7BrowserPutFile((sub + "/a.txt").c_str(), 1, "a"), 0);
  ASSERT_EQ(RQ7BrowserPutFile((sub + "/b.log").c_str(), 1, "b"), 0);

  std::vector<char> names(4096), attrs(2048);
  int total = 0, returned = 0;
  // Names come before attributes.
  ASSERT_EQ(RQ7BrowserGetFileList((sub + "/*.txt").c_str(), 0, &total, &returned, names.data(), attrs.data()),
            0);
  EXPECT_EQ(total, 3);
  ASSERT_EQ(returned, 3);
  std::set<std::string> listed;
  const char* p = names.data();
  for (int i = 0; i < returned; ++i, p += strlen(p) + 1) {
    listed.insert(p);
    // A new file is readable and writable by its owner (and by the super-user, and no one
    // executes it).
    EXPECT_EQ(static_cast<unsigned char>(attrs[static_cast<size_t>(i)]),
              std::string(p) == "a.txt" ? 0x60 : 0x10)
        << p;
  }
  EXPECT_EQ(listed, (std::set<std::string>{".", "..", "a.txt"}));

  const std::string moved = dir_.File("moved");
  ASSERT_EQ(RQ7BrowserMove(sub.c_str(), moved.c_str()), 0);
  char cwd[512] = {};
  ASSERT_EQ(RQ7BrowserGetCurrentDirectory(cwd), 0);
  ASSERT_EQ(RQ7BrowserSetCurrentDirectory(moved.c_str()), 0);
  char now[512] = {};
  ASSERT_EQ(RQ7BrowserGetCurrentDirectory(now), 0);
  EXPECT_EQ(std::filesystem::path(now), std::filesystem::canonical(moved));
  ASSERT_EQ(RQ7BrowserSetCurrentDirectory(cwd), 0);
  ASSERT_EQ(RQ7BrowserDelDirectory(moved.c_str(), 1), 0);
  EXPECT_FALSE(std::filesystem::exists(moved));
  EXPECT_TRUE(DrainRing().empty());
}

TEST_F(Browser, RefusedCallsLeaveTheirEntries) {
  const std::string missing = dir_.File("none");
  ASSERT_EQ(RQ7BrowserMakeDirectory(dir_.File("full").c_str()), 0);
  ASSERT_EQ(RQ7BrowserPutFile(dir_.File("full/x").c_str(), 1, "x"), 0);
  std::vector<char> buf(8192), names(4096), attrs(2048);
  int size = 0, length = 0, total = 0, returned = 0;
  long long size64 = 0;
  const q7host::RefusalCase kCases[] = {
      {"size",
       [&] { return static_cast<int>(RQ7BrowserGetFileSize(missing.c_str())); },
       Q7_ERROR_ILLEGAL_FILE_NAME,
       {{"RQ7BrowserGetFileSize", Q7_ERROR_ILLEGAL_FILE_NAME, "Failed to get filesize "}}},
      {"read",
       [&] { return RQ7BrowserGetFile(missing.c_str(), &size, &length, buf.data()); },
       Q7_ERROR_ILLEGAL_FILE_NAME,
       {}},
      {"read64",
       [&] { return RQ7BrowserGetFile64(missing.c_str(), &size64, &length, buf.data()); },
       Q7_ERROR_ILLEGAL_FILE_NAME,
       {{"RQ7BrowserGetFile64", Q7_ERROR_ILLEGAL_FILE_NAME, "Failed to get filesize"}}},
      {"read past the end",
       [&] { return RQ7BrowserGetFileEx(dir_.File("full/x").c_str(), 5, &size, &length, buf.data()); },
       Q7_ERROR_ILLEGAL_FILE_NAME,
       {{"RQ7BrowserGetFileEx", Q7_ERROR_ILLEGAL_FILE_NAME, "Failed to read file"}}},
      {"read64 past the end",
       [&] { return RQ7BrowserGetFileEx64(dir_.File("full/x").c_str(), 5, &size64, &length, buf.data()); },
       Q7_ERROR_ILLEGAL_FILE_NAME,
       {{"RQ7BrowserGetFileEx64", Q7_ERROR_ILLEGAL_FILE_NAME, "Failed to read file"}}},
      {"put",
       [&] { return RQ7BrowserPutFile((missing + "/f").c_str(), 1, "x"); },
       Q7_ERROR_ILLEGAL_FILE_NAME,
       {{"RQ7BrowserPutFile", Q7_ERROR_ILLEGAL_FILE_NAME, "Failed to open file"}}},
      {"put ex",
       [&] { return RQ7BrowserPutFileEx(missing.c_str(), -2, 1, "x"); },
       Q7_ERROR_INVALID_PARAMETER,
       {{"RQ7BrowserPutFileEx", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : put_len(-2)"}}},
      {"delete file",
       [&] { return RQ7BrowserDelFile(missing.c_str()); },
       Q7_ERROR_FILE_OPERATION_FAILED,
       {{"RQ7BrowserDelFile", Q7_ERROR_FILE_OPERATION_FAILED, "Failed to delete file"}}},
      {"list",
       [&] {
         return RQ7BrowserGetFileList((missing + "/*.*").c_str(), 0, &total, &returned, names.data(),
                                      attrs.data());
       },
       Q7_ERROR_INVALID_DIRECTORY,
       {}},
      {"make",
       [&] { return RQ7BrowserMakeDirectory(dir_.path().c_str()); },
       Q7_ERROR_MAKE_DIRECTORY_FAILED,
       {{"RQ7BrowserMakeDirectory", Q7_ERROR_MAKE_DIRECTORY_FAILED, "Failed to make directory"}}},
      {"change",
       [&] { return RQ7BrowserSetCurrentDirectory(missing.c_str()); },
       Q7_ERROR_FILE_OPERATION_FAILED,
       {{"RQ7BrowserSetCurrentDirectory", Q7_ERROR_FILE_OPERATION_FAILED,
         "Failed to set current directory"}}},
      {"current",
       [&] { return RQ7BrowserGetCurrentDirectory(nullptr); },
       Q7_ERROR_INVALID_PARAMETER,
       {{"RQ7BrowserGetCurrentDirectory", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter"}}},
      {"delete a full directory",
       [&] { return RQ7BrowserDelDirectory(dir_.File("full").c_str(), 0); },
       Q7_ERROR_DIRECTORY_NOT_EMPTY,
       {{"RQ7BrowserDelDirectory", Q7_ERROR_DIRECTORY_NOT_EMPTY, "Failed to delete directory"}}},
      {"move",
       [&] { return RQ7BrowserMove(missing.c_str(), dir_.File("y").c_str()); },
       Q7_ERROR_FILE_OPERATION_FAILED,
       {{"RQ7BrowserMove", Q7_ERROR_FILE_OPERATION_FAILED, "Failed to move file ( or directory )"}}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.call(), c.code);
    EXPECT_EQ(DrainRing(), c.ring);
  }
}

}  // namespace
