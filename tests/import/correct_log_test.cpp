// The correction log of the checked import, its quoted texts, the field-line splitter and the cell
// helpers, pinned byte by byte on the files they write.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "import/CheckerText.h"
#include "import/TCorrectLog.h"
#include "import/TFilterDscp.h"
#include "q7api.h"
#include "tests/support/test_support.h"

namespace {

constexpr char kHeader[] = "LineNo\tFieldNo\tFieldName\tErrorString\tCorrectedTo\tComment\n";

std::string Closing(int events) {
  return "0\t0\t\"\"\t\"\"\t\"\"\t\"Log event occured " + std::to_string(events) + " times.\"\n";
}

TEST(CorrectLog, WritesTheHeaderQuotedRecordsAndTheClosingCount) {
  q7test::TempDir dir;
  std::string path;
  {
    TCorrectLog log(dir.Dir().c_str(), "orders.csv");
    path = log.Path();
    EXPECT_EQ(log.AddData(3, 2, "Na\"me", "x\ty\x01z", nullptr, "comment"), 0);
    EXPECT_EQ(log.AddData(-1, 0, "a", "b", "c", "d"), -1);  // counted, not written
    EXPECT_EQ(log.AddData(0, -4, "a", "b", "c", "d"), -1);
    EXPECT_EQ(log.AddNote(7, 0, "", "", "ok", "Scale[%d]", 12), 0);
    EXPECT_EQ(log.EventCount(), 4);
  }
  // The caller's extension is cut: the log of "orders.csv" is "orders.txt".
  EXPECT_EQ(path, dir.File("orders.txt"));
  EXPECT_EQ(q7test::ReadAll(path), std::string(kHeader) +
                                       "3\t2\t\"Na\"\"me\"\t\"x!y!z\"\t\"\"\t\"comment\"\n"
                                       "7\t0\t\"\"\t\"\"\t\"ok\"\t\"Scale[12]\"\n" +
                                       Closing(4));
}

// The log is written beside its name and takes it when done: an import killed on the way leaves the
// last whole log, never a cut one.
TEST(CorrectLog, OldLogStaysWholeUntilTheNewOneIsDone) {
  q7test::TempDir dir;
  const std::string path = dir.Write("orders.txt", "an old log\n");
  {
    TCorrectLog log(dir.Dir().c_str(), "orders.csv");
    ASSERT_TRUE(log.IsOpen());
    EXPECT_EQ(log.AddData(1, 1, "f", "e", "c", "m"), 0);
    EXPECT_EQ(q7test::ReadAll(path), "an old log\n");
  }
  EXPECT_EQ(q7test::ReadAll(path), std::string(kHeader) + "1\t1\t\"f\"\t\"e\"\t\"c\"\t\"m\"\n" + Closing(1));
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Dir())) files += entry.is_regular_file();
  EXPECT_EQ(files, 1u);
}

TEST(CorrectLog, NameIsMadeFileSafe) {
  q7test::TempDir dir;
  TCorrectLog log(dir.Dir().c_str(), "a b/c:d.x");
  EXPECT_EQ(log.Path(), dir.File("a_b_c_d.txt"));
  EXPECT_TRUE(log.IsOpen());
}

TEST(CorrectLog, TenThousandthEventIsTooManyErrorsAndLaterOnesAreOnlyCounted) {
  q7test::TempDir dir;
  std::string path;
  {
    TCorrectLog log(dir.Dir().c_str(), "big");
    path = log.Path();
    for (int i = 1; i <= TCorrectLog::kMaxEvents + 5; ++i) {
      const int want = i <= TCorrectLog::kMaxEvents ? 0 : 1;
      ASSERT_EQ(log.AddData(i, 1, "f", "e", "c", "m"), want) << i;
    }
  }
  const std::string text = q7test::ReadAll(path);
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find('\n', at);
    lines.push_back(text.substr(at, end - at + 1));
    at = end + 1;
  }
  // Header, 9999 records, the cut, the closing record.
  ASSERT_EQ(lines.size(), 1u + 9999u + 1u + 1u);
  EXPECT_EQ(lines[9999], "9999\t1\t\"f\"\t\"e\"\t\"c\"\t\"m\"\n");
  EXPECT_EQ(lines[10000], "0\t0\t\"\"\t\"\"\t\"\"\t\"Too many errors.\"\n");
  EXPECT_EQ(lines[10001], Closing(TCorrectLog::kMaxEvents + 5));
}

TEST(CorrectLog, LogThatCannotBeOpenedIsSilent) {
  q7test::TempDir dir;
  TCorrectLog log(dir.File("missing").c_str(), "x");
  EXPECT_FALSE(log.IsOpen());
  EXPECT_EQ(log.AddData(1, 1, "a", "b", "c", "d"), 0);
  EXPECT_EQ(log.EventCount(), 1);
}

TEST(CheckerText, LogTextIsCutAtItsBoundAndNeverSplitsAQuotePair) {
  std::vector<char> out(kMaxLogText + 3);
  EXPECT_EQ(q7test::CodeOf([&] { ToLogText("x", out.data(), 511); }), Q7_ERROR_LOG_TEXT_OVERFLOW);

  const std::string long_text(kMaxLogText + 10, 'a');
  EXPECT_EQ(ToLogText(long_text.c_str(), out.data(), static_cast<int>(out.size())),
            static_cast<int>(kMaxLogText + 2));
  EXPECT_EQ(std::string(out.data()), "\"" + std::string(kMaxLogText, 'a') + "\"");

  // 509 bytes of room in a 512-byte buffer: 508 letters, then a pair that no longer fits.
  std::vector<char> small(512);
  const std::string quoted = std::string(508, 'b') + "\"tail";
  EXPECT_EQ(ToLogText(quoted.c_str(), small.data(), 512), 510);
  EXPECT_EQ(std::string(small.data()), "\"" + std::string(508, 'b') + "\"");
}

struct TrimCase {
  const char* in;
  const char* want;
};

TEST(CheckerText, NumberCellsLoseOuterBlanksAndGroupingCommas) {
  const TrimCase cases[] = {
      {" \t1,234\t ", "1234"},       {",5", ",5"}, {"12 ,", "12"}, {"1 2", "1 2"}, {"", ""}, {" \t ", ""},
      {"-1,000,000.5", "-1000000.5"}};
  for (const TrimCase& c : cases) {
    SCOPED_TRACE(c.in);
    char out[32];
    EXPECT_EQ(ExcludeTabSpaceComma(c.in, out, sizeof out), strlen(c.want));
    EXPECT_STREQ(out, c.want);
  }
  char tiny[4];
  EXPECT_EQ(ExcludeTabSpaceComma("123456", tiny, sizeof tiny), 3u);
  EXPECT_STREQ(tiny, "123");
  EXPECT_EQ(q7test::CodeOf([&] { ExcludeTabSpaceComma("1", tiny, 0); }), Q7_ERROR_LOG_TEXT_OVERFLOW);
}

TEST(CheckerText, CheckedReadersGiveNullAndAnErrorForBadText) {
  int error = 7;
  EXPECT_EQ(StrToInt("", &error), INT_MIN);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(StrToInt("1234", &error), 1234);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(StrToInt("12x", &error), INT_MIN);
  EXPECT_EQ(error, 1);
  EXPECT_EQ(StrToInt("99999999999", &error), INT_MIN);
  EXPECT_EQ(error, 1);
  EXPECT_EQ(StrToDouble("-2.5", &error), -2.5);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(StrToDouble("2.5.1", &error), -HUGE_VAL);
  EXPECT_EQ(error, 1);
  EXPECT_EQ(StrToDate("", &error), -HUGE_VAL);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(StrToDate("2024/13/01", &error), -HUGE_VAL);
  EXPECT_EQ(error, 1);
  EXPECT_EQ(StrToTime("12:00:00", &error), 0.5);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(StrToDateTime("noon", &error), -HUGE_VAL);
  EXPECT_EQ(error, 1);
}

TEST(CheckerText, NamesAndSmallHelpers) {
  char name[kCheckerNameSize];
  EXPECT_STREQ(getCodeName(20, name), "Shift-JIS");
  EXPECT_STREQ(getCodeName(0, name), "UNKNOWN");
  EXPECT_STREQ(getDataTypeName(8, name), "DECIMAL");
  EXPECT_STREQ(getDataTypeName(9, name), "???");
  EXPECT_STREQ(getRoundTypeName(6), "ROUNDHALFEVEN");
  EXPECT_STREQ(getRoundTypeName(7), "ERROR. Undefined round mode");
  EXPECT_EQ(CheckNumericRoundType("ROUNDFLOOR"), 3);
  EXPECT_EQ(CheckNumericRoundType("roundfloor"), Q7_ROUND_HALF_UP);
  EXPECT_EQ(CheckNumericRoundType(nullptr), Q7_ROUND_HALF_UP);

  char number[16];
  EXPECT_STREQ(i2s(42, 5, number), "00042");
  EXPECT_STREQ(i2s(-7, 4, number), "00-7");
  char text[] =
      "a\x01\tb\x7f\xc3\xa9"
      "c";
  EXPECT_STREQ(AsciiCutControl(text),
               "a\tb\x7f"
               "c");
  char file[] = "data.v2.csv";
  EXPECT_STREQ(CutExtension(file), "data.v2");
}

TEST(FilterDscp, SplitsAtTabsAndKeepsOnlyTheNameAsWritten) {
  TFilterDscp d;
  EXPECT_EQ(d.DesolvePrms(1, "n\t 12 \tMy Name \t 2\troundup", nullptr), 5);
  EXPECT_STREQ(d.Param(0), "N");
  EXPECT_STREQ(d.Param(1), "12");
  EXPECT_STREQ(d.Param(2), "My Name ");
  EXPECT_STREQ(d.Param(3), "2");
  EXPECT_STREQ(d.Param(4), "ROUNDUP");
  EXPECT_STREQ(d.Param(5), "");
  EXPECT_EQ(d.SearchSKIP(), 0);
  EXPECT_EQ(d.DesolvePrms(2, "", nullptr), 0);
  // "SKIP" as the name is a name.
  EXPECT_EQ(d.DesolvePrms(3, "A\t5\tSKIP", nullptr), 3);
  EXPECT_EQ(d.SearchSKIP(), 0);
  EXPECT_EQ(d.DesolvePrms(4, "A\t5\tx\t s kip", nullptr), 4);
  EXPECT_EQ(d.SearchSKIP(), 1);
}

TEST(FilterDscp, TooManyOrTooLongParametersAreLoggedAndRefused) {
  q7test::TempDir dir;
  const std::string eleven = "1\t2\t3\t4\t5\t6\t7\t8\t9\t10\t11";
  const std::string too_long = "A\t5\t" + std::string(256, 'n');
  std::string path;
  {
    TCorrectLog log(dir.Dir().c_str(), "split");
    path = log.Path();
    TFilterDscp d;
    EXPECT_EQ(d.DesolvePrms(1, "1\t2\t3\t4\t5\t6\t7\t8\t9\t10", &log), 10);
    EXPECT_EQ(q7test::CodeOf([&] { d.DesolvePrms(2, eleven.c_str(), &log); }), Q7_CATALOG_PARSE_ERROR);
    EXPECT_EQ(d.Count(), 0);
    EXPECT_EQ(d.DesolvePrms(3, ("A\t5\t" + std::string(255, 'n')).c_str(), &log), 3);
    EXPECT_EQ(q7test::CodeOf([&] { d.DesolvePrms(4, too_long.c_str(), &log); }), Q7_CATALOG_PARSE_ERROR);
  }
  EXPECT_EQ(q7test::ReadAll(path), std::string(kHeader) + "2\t0\t\"\"\t\"1!2!3!4!5!6!7!8!9!10!11\"\t\"\"\t" +
                                       "\"Error! Too many parameters.\"\n" + "4\t0\t\"\"\t\"A!5!" +
                                       std::string(256, 'n') + "\"\t\"\"\t\"Error! Too long.\"\n" +
                                       Closing(2));
}

}  // namespace

// Each dump zeroes its array first, so a shorter dump leaves no values of a longer one behind, and
// none copies more than its bound.
TEST(CheckerText, DumpsCopyAtMostTheBoundAfterZeroing) {
  struct Case {
    int count;
    int copied;
  };
  const Case cases[] = {{600, kDumpCount}, {3, 3}, {0, 0}, {-1, 0}};
  std::vector<int> ints(600);
  std::vector<double> doubles(600);
  std::vector<Numeric> numerics(600);
  std::vector<std::string> texts(600);
  std::vector<char*> strings(600);
  for (int i = 0; i < 600; ++i) {
    ints[i] = i + 1;
    doubles[i] = i + 0.5;
    numerics[i] = Numeric{static_cast<uint64_t>(i + 1), 0};
    texts[i] = "v" + std::to_string(i);
    strings[i] = texts[i].data();
  }
  strings[1] = nullptr;
  std::string long_text(kDumpTextSize + 10, 'x');
  strings[2] = long_text.data();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.count);
    dump_Int(c.count, ints.data());
    dump_Dbl(c.count, doubles.data());
    dump_Num(c.count, numerics.data());
    dump_Str(c.count, strings.data());
    std::vector<int> got_ints(kDumpCount);
    std::vector<double> got_doubles(kDumpCount);
    std::vector<Numeric> got_numerics(kDumpCount);
    auto got_strings = std::make_unique<char[][kDumpTextSize]>(kDumpCount);
    DumpedInts(got_ints.data());
    DumpedDoubles(got_doubles.data());
    DumpedNumerics(got_numerics.data());
    DumpedStrings(got_strings.get());
    for (int i = 0; i < kDumpCount; ++i) {
      const bool copied = i < c.copied;
      ASSERT_EQ(got_ints[i], copied ? i + 1 : 0) << i;
      ASSERT_EQ(got_doubles[i], copied ? i + 0.5 : 0.0) << i;
      ASSERT_EQ(got_numerics[i].low, copied ? static_cast<uint64_t>(i + 1) : 0u) << i;
      const std::string expected = !copied || i == 1 ? ""
                                   : i == 2          ? long_text.substr(0, kDumpTextSize - 1)
                                                     : texts[i];
      ASSERT_EQ(std::string(got_strings[i]), expected) << i;
    }
  }
  dump_Int(5, nullptr);  // null values copy nothing but still zero
  std::vector<int> got(kDumpCount, -1);
  DumpedInts(got.data());
  EXPECT_EQ(got[0], 0);
}
