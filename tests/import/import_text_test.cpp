// The import's text helpers: line reads, file sizes, mapped files, paths and blank editing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/CQ7Exception.h"
#include "foundation/zpk_fstream.h"
#include "import/ImportText.h"
#include "q7api.h"
#include "tests/support/test_support.h"

namespace {

std::string Cwd() {
  char buf[PATH_MAX];
  return getcwd(buf, sizeof buf) != nullptr ? buf : "";
}

// ---- Lines ----

TEST(ImportText, ReadLineNCRDropsTheLineEnd) {
  q7test::TempDir dir;
  const std::string path = dir.Write("lines.txt", "ab\r\nc\n\r\nx\ry\nlast");
  struct Want {
    const char* text;
    int length;
  };
  const Want want[] = {{"ab", 2}, {"c", 1}, {"", 0}, {"x\ry", 3}, {"last", 4}};
  zpk_fstream fs;
  ASSERT_EQ(fs.open(path.c_str(), kZpkRead, 1), 0);
  char buf[64];
  for (const Want& w : want) {
    int length = -1;
    ASSERT_EQ(readLineNCR(fs, buf, sizeof buf, &length), buf);
    EXPECT_STREQ(buf, w.text);
    EXPECT_EQ(length, w.length);
  }
  EXPECT_EQ(readLineNCR(fs, buf, sizeof buf, nullptr), nullptr);
}

TEST(ImportText, LongLinesArriveInPieces) {
  q7test::TempDir dir;
  const std::string path = dir.Write("long.txt", "abcdefg\nhi\n");
  zpk_fstream fs;
  ASSERT_EQ(fs.open(path.c_str(), kZpkRead, 1), 0);
  char buf[4];
  std::vector<std::string> pieces;
  while (readLineNCR(fs, buf, sizeof buf, nullptr) != nullptr) pieces.push_back(buf);
  EXPECT_EQ(pieces, (std::vector<std::string>{"abc", "def", "g", "hi"}));

  ASSERT_EQ(fs.open(path.c_str(), kZpkRead, 1), 0);
  char line[16];
  ASSERT_NE(readLine(fs, line, sizeof line), nullptr);
  EXPECT_STREQ(line, "abcdefg\n");
}

// ---- Files ----

TEST(ImportText, FileSizesAndLineEstimates) {
  q7test::TempDir dir;
  // Three lines of 10 bytes, then a long one that the sample does not reach.
  const std::string lines =
      dir.Write("l.txt", "123456789\n123456789\n123456789\n" + std::string(70, 'x') + "\n");
  const std::string empty = dir.Write("e.txt", "");
  const std::string missing = dir.File("none.txt");
  EXPECT_EQ(getFileSize2(lines.c_str()), 101);
  EXPECT_EQ(getFileLineSize(lines.c_str()), 10);
  EXPECT_EQ(get_AverageLines(lines.c_str()), 10);
  EXPECT_EQ(IsFileExist(lines.c_str()), 1);

  EXPECT_EQ(getFileSize2(empty.c_str()), 0);
  EXPECT_EQ(getFileLineSize(empty.c_str()), 0);
  EXPECT_EQ(get_AverageLines(empty.c_str()), 1);
  EXPECT_EQ(IsFileExist(empty.c_str()), 1);

  EXPECT_EQ(getFileSize2(missing.c_str()), 0);
  EXPECT_EQ(getFileLineSize(missing.c_str()), 0);
  EXPECT_EQ(get_AverageLines(missing.c_str()), 1);
  EXPECT_EQ(IsFileExist(missing.c_str()), 0);

  // Fewer than three lines: divided by the lines there are.
  const std::string two = dir.Write("t.txt", "abc\nabcdefg\n");
  EXPECT_EQ(getFileLineSize(two.c_str()), 6);
}

TEST(ImportText, MappedFiles) {
  q7test::TempDir dir;
  const std::string path = dir.Write("m.txt", "mapped text");
  int error = -1;
  const int fd = mmf_create(path.c_str(), &error);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(error, 0);
  void* view = mmf_mapview(fd, 11, 0);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(std::string(static_cast<const char*>(view), 11), "mapped text");
  EXPECT_EQ(mmf_mapview(fd, 0, 0), nullptr);
  EXPECT_EQ(mmf_mapview(fd, 4, 1), nullptr);  // not a page offset
  mmf_unmap(view, 11);
  mmf_close(fd);

  error = 0;
  EXPECT_EQ(mmf_create(dir.File("none").c_str(), &error), Q7_ERROR_ILLEGAL_FILE_NAME);
  EXPECT_EQ(error, Q7_ERROR_ILLEGAL_FILE_NAME);
  EXPECT_EQ(mmf_mapview(-1, 4, 0), nullptr);
}

// A file that shrank after its size was taken: the search for a line end runs into its end and
// fails as a file operation, not as a bad name.
TEST(ImportText, LineEndSearchInAShrunkFileFailsAsAFileOperation) {
  q7test::TempDir dir;
  const std::string path = dir.Write("s.txt", "no line end here");
  const int fd = mmf_create(path.c_str(), nullptr);
  ASSERT_GE(fd, 0);
  const uint64_t size = 16;
  EXPECT_EQ(FindLineEnd(fd, 0, size), size);
  for (const uint64_t taken : {size + 1, size + 100000}) {
    SCOPED_TRACE(taken);
    try {
      FindLineEnd(fd, 3, taken);
      ADD_FAILURE() << "no failure";
    } catch (const CQ7Exception& e) {
      EXPECT_EQ(e.ErrorCode(), Q7_ERROR_FILE_OPERATION_FAILED);
    }
  }
  mmf_close(fd);
}

// The UTF-8 byte-order mark counts only at the start of a UTF-8 text.
TEST(ImportText, Utf8MarkLength) {
  const std::string mark = "\xEF\xBB\xBF";
  EXPECT_EQ(Utf8MarkLength(kCharCodeUtf8, (mark + "1").c_str(), 4), 3u);
  EXPECT_EQ(Utf8MarkLength(kCharCodeUtf8, mark.c_str(), 3), 3u);
  EXPECT_EQ(Utf8MarkLength(kCharCodeUtf8, mark.c_str(), 2), 0u);
  EXPECT_EQ(Utf8MarkLength(17, mark.c_str(), 3), 0u);
  EXPECT_EQ(Utf8MarkLength(kCharCodeUtf8, ("1" + mark).c_str(), 4), 0u);
}

// ---- Paths ----

TEST(ImportText, AbsoluteDirectoryLeavesTheWorkingDirectory) {
  q7test::TempDir dir;
  std::filesystem::create_directory(dir.File("sub"));
  const std::string before = Cwd();
  const std::string real = std::filesystem::canonical(dir.Dir()).string();
  char out[kImportPathSize];
  ASSERT_EQ(CnvRelativeToAbsolute((dir.Dir() + "/sub/../sub/").c_str(), out), 0);
  EXPECT_EQ(std::string(out), real + "/sub");
  ASSERT_EQ(CnvRelativeToAbsolute("", out), 0);
  EXPECT_EQ(std::string(out), before);
  ASSERT_EQ(chdir(dir.Dir().c_str()), 0);
  ASSERT_EQ(CnvRelativeToAbsolute("sub", out), 0);
  EXPECT_EQ(std::string(out), real + "/sub");
  EXPECT_EQ(CnvRelativeToAbsolute("nowhere", out), -1);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(CnvRelativeToAbsolute(dir.Write("f", "x").c_str(), out), -1);  // a file is no directory
  EXPECT_EQ(Cwd(), real);
  ASSERT_EQ(chdir(before.c_str()), 0);
}

TEST(ImportText, BuildAbsoluteName) {
  struct Case {
    const char* dir;
    const char* name;
    const char* want;
  };
  const Case cases[] = {
      {"/data", "a.txt", "/data/a.txt"},
      {"/data/", "a.txt", "/data/a.txt"},
      {"", "a.txt", "a.txt"},
      {"/", "a.txt", "/a.txt"},
      {"/data", "", ""},
      {"rel/dir", "b", "rel/dir/b"},
  };
  for (const Case& c : cases) {
    char out[64] = "junk";
    EXPECT_STREQ(build_AbsoluteName(c.dir, c.name, out), c.want) << c.dir << " + " << c.name;
  }
  char same[64] = "/data";  // out may be the directory itself
  EXPECT_STREQ(build_AbsoluteName(same, "x", same), "/data/x");
}

TEST(ImportText, PathParts) {
  struct Case {
    const char* path;
    const char* dir;   // get_Path, null when it has no '/'
    const char* file;  // get_FileName
  };
  const Case cases[] = {
      {"/a/b/c.txt", "/a/b", "c.txt"}, {"c.txt", nullptr, "c.txt"}, {"/a/b/", "/a/b", ""}, {"/c", "", "c"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::string p1 = c.path, p2 = c.path;
    EXPECT_STREQ(get_FileName(p2.data()), c.file);
    char* dir = get_Path(p1.data());
    if (c.dir == nullptr) {
      EXPECT_EQ(dir, nullptr);
      EXPECT_EQ(p1, c.path);
    } else {
      EXPECT_STREQ(dir, c.dir);
    }
  }
  const char text[] = "a/b/c";
  EXPECT_EQ(rafo_strrchr(text, '/'), text + 3);
  EXPECT_EQ(rafo_strrchr(text, 'x'), nullptr);
  EXPECT_EQ(rafo_strrchr(text, 0), nullptr);
  const char high[] = "\x82\xE3\x81\x82";  // bytes above 0x7F are found too
  EXPECT_EQ(rafo_strrchr(high, 0x82), high + 3);
}

// ---- Blanks, quotes, tokens ----

TEST(ImportText, BlankAndQuoteEditing) {
  using Edit = char* (*)(char*);
  struct Case {
    const char* name;
    Edit edit;
    const char* in;
    const char* want;
  };
  const Case cases[] = {
      {"stripSpace", [](char* t) { return stripSpace(t, 0); }, " ,1,234 ", "1234 "},
      {"stripSpace", [](char* t) { return stripSpace(t, 0); }, ",, ,", ""},
      {"stripWhiteSpace", stripWhiteSpace, " \t a b", "a b"},
      {"removeSpace", [](char* t) { return removeSpace(0, t); }, " a b\tc ", "ab\tc"},
      {"removeSpaceTab", removeSpaceTab, " a b\tc ", "abc"},
      {"removeSpaceCR", [](char* t) { return removeSpaceCR(0, t); }, "I\t1 0\r", "I\t10"},
      {"removeQuotes", removeQuotes, "\"ab\"", "ab"},
      {"removeQuotes", removeQuotes, "\"\"", ""},
      {"removeQuotes", removeQuotes, "\"ab", "\"ab"},
      {"removeQuotes", removeQuotes, "\"", "\""},
      {"CutComment",
       [](char* t) {
         CutComment(t);
         return t;
       },
       " \t// note", ""},
      {"CutComment",
       [](char* t) {
         CutComment(t);
         return t;
       },
       "I\t1\tA//B", "I\t1\tA//B"},
      {"CutComment",
       [](char* t) {
         CutComment(t);
         return t;
       },
       "/ /x", "/ /x"},
  };
  for (const Case& c : cases) {
    std::string buf = c.in;
    EXPECT_STREQ(c.edit(buf.data()), c.want) << c.name << " [" << c.in << "]";
  }
  // Texts beyond the limit are left as they are.
  std::string big(kRemoveSpaceLimit + 1, ' ');
  removeSpace(0, big.data());
  EXPECT_EQ(strlen(big.c_str()), kRemoveSpaceLimit + 1);
  std::string at_limit(kRemoveSpaceLimit, ' ');
  removeSpaceCR(0, at_limit.data());
  EXPECT_STREQ(at_limit.c_str(), "");
}

TEST(ImportText, WhiteSpaceScans) {
  struct Case {
    const char* text;
    int any;       // scanWhiteSpace
    int datetime;  // scanWhiteSpaceForDateTime
  };
  const Case cases[] = {{"2020/1/1 10:00", 1, 0}, {" 2020", 1, 1}, {"a\tb", 1, 1}, {"ab", 0, 0}, {"", 0, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(scanWhiteSpace(c.text), c.any) << c.text;
    EXPECT_EQ(scanWhiteSpaceForDateTime(c.text), c.datetime) << c.text;
  }
}

TEST(ImportText, TabSepToken) {
  char token[32];
  const char line[] = "ab\tcd\ref";
  const char* rest = get_TabSepToken(0, line, token);
  EXPECT_STREQ(token, "ab");
  ASSERT_EQ(rest, line + 3);
  rest = get_TabSepToken(0, rest, token);
  EXPECT_STREQ(token, "cd");
  rest = get_TabSepToken(0, rest, token);
  EXPECT_STREQ(token, "ef");
  EXPECT_EQ(rest, nullptr);
}

TEST(ImportText, DissolveLineForms) {
  char t[6][64];
  EXPECT_EQ(DissolveLine("a\t\tc", t[0], t[1], t[2], t[3], t[4]), 1);
  EXPECT_STREQ(t[0], "a");
  EXPECT_STREQ(t[1], "");
  EXPECT_STREQ(t[2], "c");
  EXPECT_STREQ(t[3], "");
  EXPECT_STREQ(t[4], "");
  EXPECT_EQ(DissolveLine("\tb", t[0], t[1], t[2], t[3], t[4]), 0);
  EXPECT_EQ(DissolveLine("1\t2\t3\t4\t5\t6\t7", t[0], t[1], t[2], t[3], t[4], t[5]), 1);
  EXPECT_STREQ(t[5], "6");
  // A line end stops the line; what follows is not a token.
  EXPECT_EQ(DissolveLine("a\nb\tc", t[0], t[1], t[2], t[3], t[4], t[5]), 1);
  EXPECT_STREQ(t[0], "a");
  EXPECT_STREQ(t[1], "");
}

TEST(ImportText, DissolveFieldLine) {
  struct Case {
    const char* line;
    int result;
    int skip;
    const char* name;
    const char* p1;
    const char* p2;
  };
  const Case cases[] = {
      {"N\t12\tPRICE\t2\tROUNDHALFUP", 1, 0, "PRICE", "2", "ROUNDHALFUP"},
      {"A\t10\tMEMO\tSKIP", 1, 1, "MEMO", "SKIP", ""},
      {"A\t10\tMEMO\t\tskip", 1, 1, "MEMO", "", "skip"},
      {"A\t10\tMEMO\t\t\tx\tSkip", 1, 1, "MEMO", "", ""},
      {"A\t10\tMEMO\t\t\tSKIPPED", 1, 0, "MEMO", "", ""},
      {"Q\t10\tODD\tSKIP", 1, 1, "ODD", "SKIP", ""},  // the type is not looked at here
      {"SKIP\t10\tX", 1, 0, "X", "", ""},             // only parameters and later tokens count
      {"I\t10", 0, 0, "", "", ""},
      {"I\t\tNAME", 0, 0, "NAME", "", ""},
      {"\t10\tNAME", 0, 0, "NAME", "", ""},
      {"D\t8\tSOLD\tD2\n\tSKIP", 1, 0, "SOLD", "D2", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    char type[64], size[64], name[64], p1[64], p2[64];
    int skip = -1;
    EXPECT_EQ(DissolveLine(c.line, type, size, name, p1, p2, &skip), c.result);
    EXPECT_EQ(skip, c.skip);
    EXPECT_STREQ(name, c.name);
    EXPECT_STREQ(p1, c.p1);
    EXPECT_STREQ(p2, c.p2);
  }
}

// ---- Character codes ----

TEST(ImportText, UpperCaseStepsOverMultibyteCharacters) {
  struct Case {
    int code;
    const char* in;
    const char* want;
  };
  const Case cases[] = {
      // Shift_JIS / MS932: the trail byte of 0x82 0x61 is not the letter a.
      {20, "a\x82\x61z", "A\x82\x61Z"},
      {18, "\x82\x61\x62",
       "\x82\x61"
       "B"},
      {17, "a\x82\x61z", "A\x82\x41Z"},  // Cp1252: byte by byte
      {65, "\x82\x61", "\x82\x41"},      // outside 18..49: byte by byte
      {33, "caf\xC3\xA9 ok", "CAF\xC3\xA9 OK"},
      {19, "\xB0\x61x", "\xB0\x61X"},
      {49, "\x8F\xA1\x61q", "\x8F\xA1\x61Q"},
      // A lead byte cut off by the end of the text: the scan stops at the NUL.
      {20, "ab\x82", "AB\x82"},
      {33, "x\xF0\x9F", "X\xF0\x9F"},
  };
  for (const Case& c : cases) {
    std::string buf = c.in;
    EXPECT_STREQ(UpperCase(c.code, buf.data()), c.want) << "code " << c.code;
  }
  EXPECT_EQ(countMultiBytes(20, 0x82), 2);
  EXPECT_EQ(countMultiBytes(33, 0xE3), 3);
  EXPECT_EQ(countMultiBytes(49, 0x8F), 3);
  EXPECT_EQ(countMultiBytes(65, 0x82), 1);
  EXPECT_EQ(countMultiBytes(17, 0xE3), 1);
  EXPECT_EQ(countMultiBytes(0, 'a'), 1);
  EXPECT_EQ(sjis('\x82'), 0);
}

// ---- Catalog words ----

TEST(ImportText, RoundingModeNames) {
  const char* names[] = {"ROUNDUP",     "ROUNDDOWN",     "ROUNDCEILING", "ROUNDFLOOR",
                         "ROUNDHALFUP", "ROUNDHALFDOWN", "ROUNDHALFEVEN"};
  for (int mode = 0; mode <= 6; ++mode) {
    EXPECT_EQ(TransNumericRoundType(names[mode]), mode);
    EXPECT_STREQ(TransNumericRoundType2Str(mode), names[mode]);
  }
  for (const char* bad : {"roundup", "", "ROUNDUP ", "ROUND"})
    EXPECT_EQ(TransNumericRoundType(bad), INT_MIN) << bad;
  EXPECT_EQ(TransNumericRoundType(nullptr), INT_MIN);
  EXPECT_STREQ(TransNumericRoundType2Str(7), "");
  EXPECT_STREQ(TransNumericRoundType2Str(-1), "");
  EXPECT_STREQ(TransNumericRoundType2Str(INT_MIN), "");
}

TEST(ImportText, FlagBuild) {
  struct Case {
    unsigned short mode;
    int want;
  };
  const Case cases[] = {{0, 0},
                        {1 << 14, 16},
                        {1 << 5, 1},
                        {1 << 8, 1},
                        {(1 << 14) | (1 << 8) | (1 << 5), 17},
                        {0xFFFF & ~((1 << 14) | (1 << 8) | (1 << 5)), 0}};
  for (const Case& c : cases) {
    char out = -1;
    EXPECT_EQ(flag_build(c.mode, &out), c.want) << c.mode;
    EXPECT_EQ(out, c.want);
  }
  char to[4] = "xyz";
  assignValue("ab", to, 2);
  EXPECT_STREQ(to, "abz");
  assignValue("q", to, 0);
  EXPECT_STREQ(to, "abz");
}

}  // namespace
