// The registry's file operations: table and file names, the header check of table files, the
// directory walk with its patterns, and the object-name format.
#include <sys/stat.h>
#include <sys/time.h>

#include <climits>
#include <cstring>
#include <ctime>
#include <set>
#include <string>

#include "foundation/SystemHeader.h"
#include "smcs_support.h"

namespace {

using smcs_test::RegistryTest;

TEST(Q7TNames, FileAndTableNames) {
  struct Case {
    std::string name;
    int want;
    std::string file;
    std::string table;
  };
  const std::string n251(251, 'a');
  const std::string n252(252, 'b');
  const std::string n255_ext = std::string(251, 'c') + ".Q7T";
  const std::string n256_ext = std::string(252, 'c') + ".Q7T";
  const Case cases[] = {
      {"Sales", 0, "Sales.Q7T", "Sales"},
      {"Sales.Q7T", 0, "Sales.Q7T", "Sales"},
      {"ab", 0, "ab.Q7T", "ab"},
      {".Q7", 0, ".Q7.Q7T", "_Q7"},            // short names always get the extension
      {"x.q7t", 0, "x.q7t.Q7T", "x_q7t"},      // the extension is matched exactly
      {"a b-c.Q7T", 0, "a b-c.Q7T", "a_b_c"},  // the table name is made file-safe
      {"dir/part", 0, "dir/part.Q7T", "dir_part"},
      {n251, 0, n251 + ".Q7T", n251},
      {n252, Q7_ERROR_ILLEGAL_TABLE_NAME, "", ""},
      {n255_ext, 0, n255_ext, std::string(251, 'c')},
      {n256_ext, Q7_ERROR_ILLEGAL_TABLE_NAME, "", ""},
      {std::string(2000, 'z'), Q7_ERROR_ILLEGAL_TABLE_NAME, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name.substr(0, 40));
    char file[kQ7TFileNameSize];
    char table[kQ7TTableNameSize];
    memset(file, 0x55, sizeof file);
    memset(table, 0x55, sizeof table);
    ASSERT_EQ(normalizeQ7TFileNameAndTableName(c.name.c_str(), file, table), c.want);
    if (c.want != 0) continue;
    EXPECT_EQ(std::string(file), c.file);
    EXPECT_EQ(std::string(table), c.table);
    char file_only[kQ7TFileNameSize];
    EXPECT_EQ(normalizeQ7TFileNameAndTableName(c.name.c_str(), file_only, nullptr), 0);
    EXPECT_EQ(std::string(file_only), c.file);
  }
}

// ---- Header check ----

class HeaderCheck : public RegistryTest {};

TEST_F(HeaderCheck, SavedTableFilePassesAndOthersAreRefused) {
  const std::string good = q7test::ReadAll(SaveTable("H", 3));
  ASSERT_GE(good.size(), kSysHeaderSize);
  ASSERT_EQ(checkQ7TFileHeader(dir_.File("H.Q7T").c_str()), 0);
  const auto with_byte = [&](size_t at, unsigned char value) {
    std::string b = good;
    b[at] = static_cast<char>(value);
    return b;
  };
  const unsigned char system_byte1 = static_cast<unsigned char>(good[1]);
  const unsigned char other_order = getSystemEndian() == kSysEndianLittle ? kSysEndianBig : kSysEndianLittle;
  struct Case {
    const char* what;
    std::string bytes;
    int want;
  };
  const Case cases[] = {
      {"empty", "", Q7_ERROR_ILLEGAL_FILE_NAME},
      {"short header", good.substr(0, 100), Q7_ERROR_ILLEGAL_FILE_NAME},
      {"header only", good.substr(0, kSysHeaderSize), 0},
      {"no header", std::string(600, 'x'), Q7_ERROR_NOT_REAL_TYPE},
      {"other byte order", with_byte(1, static_cast<unsigned char>((system_byte1 & ~0x0C) | other_order)),
       Q7_ERROR_NOT_REAL_TYPE},
      {"32-bit writer", with_byte(1, static_cast<unsigned char>((system_byte1 & ~0x03) | 1)),
       Q7_ERROR_NOT_REAL_TYPE},
      {"4-byte alignment", with_byte(3, 4), Q7_ERROR_NOT_REAL_TYPE},
      {"other character code", with_byte(4, 99), 0},  // not this check's business
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(checkQ7TFileHeader(dir_.Write("case.Q7T", c.bytes).c_str()), c.want);
  }
  EXPECT_EQ(checkQ7TFileHeader(dir_.File("missing.Q7T").c_str()), Q7_ERROR_ILLEGAL_FILE_NAME);
  EXPECT_EQ(checkQ7TFileHeader(dir_.Dir().c_str()), Q7_ERROR_ILLEGAL_FILE_NAME);
}

// ---- Directory walk ----

class FileWalk : public RegistryTest {
 protected:
  // Every name the walk gives for pattern, with the code that ended it.
  std::set<std::string> Walk(const std::string& dir, const char* pattern, int* end_code) {
    Q7TFileIterator iter{};
    std::set<std::string> names;
    *end_code = openFileIterator(dir.c_str(), &iter);
    if (*end_code != 0) return names;
    char name[kMatchingFileNameSize];
    while ((*end_code = findNextMatchingFile(&iter, pattern, name)) == 0) names.insert(name);
    closeFileIterator(&iter);
    EXPECT_EQ(iter.dir, nullptr);
    return names;
  }
};

TEST_F(FileWalk, RegularFilesMatchingThePattern) {
  for (const char* f : {"a.Q7T", "b.Q7T", "ab.Q7T", "c.txt", "star*.Q7T", "q?.Q7T", "back\\slash"})
    dir_.Write(f, "x");
  ASSERT_EQ(mkdir(dir_.File("dir.Q7T").c_str(), 0700), 0);
  ASSERT_EQ(symlink(dir_.File("a.Q7T").c_str(), dir_.File("link.Q7T").c_str()), 0);
  struct Case {
    const char* pattern;
    std::set<std::string> want;
  };
  const Case cases[] = {
      {"*.Q7T", {"a.Q7T", "b.Q7T", "ab.Q7T", "star*.Q7T", "q?.Q7T", "link.Q7T"}},
      {"?.Q7T", {"a.Q7T", "b.Q7T"}},
      {"*", {"a.Q7T", "b.Q7T", "ab.Q7T", "c.txt", "star*.Q7T", "q?.Q7T", "link.Q7T", "back\\slash"}},
      {"star\\*.Q7T", {"star*.Q7T"}},
      {"q\\?.Q7T", {"q?.Q7T"}},
      {"back\\\\slash", {"back\\slash"}},
      {"*.q7t", {}},
      {"c.txt", {"c.txt"}},
      {"dir.Q7T", {}},  // a directory is not a file
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    int end = 0;
    EXPECT_EQ(Walk(dir_.Dir(), c.pattern, &end), c.want);
    EXPECT_EQ(end, kNoMoreMatchingFiles);
  }
  int end = 0;
  EXPECT_TRUE(Walk(dir_.Dir(), "bad\\", &end).empty());
  EXPECT_EQ(end, Q7_ERROR_INVALID_PARAMETER);
}

TEST_F(FileWalk, DirectoriesThatCannotBeWalked) {
  dir_.Write("plain", "x");
  struct Case {
    std::string dir;
    int want;
  };
  const Case cases[] = {
      {dir_.File("missing"), Q7_ERROR_INVALID_DIRECTORY},
      {dir_.File("plain"), Q7_ERROR_ILLEGAL_FILE_NAME},
      {std::string(600, 'd'), Q7_ERROR_INVALID_DIRECTORY},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dir.substr(0, 60));
    Q7TFileIterator iter{};
    EXPECT_EQ(openFileIterator(c.dir.c_str(), &iter), c.want);
    EXPECT_EQ(iter.dir, nullptr);
    char name[kMatchingFileNameSize];
    EXPECT_EQ(findNextMatchingFile(&iter, "*", name), Q7_ERROR_ILLEGAL_FILE_NAME);
    closeFileIterator(&iter);
  }
}

// ---- Small helpers ----

TEST_F(RegistryTest, FileQueries) {
  const std::string file = dir_.Write("f.bin", std::string(1234, 'q'));
  EXPECT_TRUE(isFileExistent(file.c_str()));
  EXPECT_FALSE(isFileExistent(dir_.File("none").c_str()));
  EXPECT_EQ(getSizeOfFile(file.c_str()), 1234);
  EXPECT_EQ(getSizeOfFile(dir_.File("none").c_str()), -1);
  EXPECT_TRUE(isFileWritable(file.c_str()));
  ASSERT_EQ(chmod(file.c_str(), 0400), 0);
  if (geteuid() != 0) {
    EXPECT_FALSE(isFileWritable(file.c_str()));
  }
  EXPECT_FALSE(isFileWritable(dir_.File("none").c_str()));
  std::string buffer(3 * 4096 + 5, 'p');
  prefault(buffer.data(), buffer.size());
  prefault(nullptr, 10);
}

TEST(ZPKObjectName, FormatsTheLocalTime) {
  const timeval cases[] = {{0, 0}, {1700000000, 42}, {1234567890, 999999}};
  for (const timeval& tv : cases) {
    SCOPED_TRACE(tv.tv_sec);
    char got[kZPKObjectNameSize];
    formatZPKObjectName(got, &tv);
    const time_t t = tv.tv_sec;
    struct tm local {};
    localtime_r(&t, &local);
    char stamp[32];
    strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &local);
    char usec[8];
    snprintf(usec, sizeof usec, "%06ld", static_cast<long>(tv.tv_usec));
    EXPECT_EQ(std::string(got), std::string("zpk") + stamp + usec);
  }
  testing::internal::CaptureStdout();
  printZPKObjectName();
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(q7test::FullMatch(printed, "\\[zpk[0-9]{20}\\]")) << printed;
}

}  // namespace
