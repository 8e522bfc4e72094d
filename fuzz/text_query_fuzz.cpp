// Fuzz target of the text query language, through the exported text search. The input is the query
// text itself. One table with a column of every value type (NULLs, duplicates, texts with quotes and
// bytes above 0x7F) is built once; each input is searched from set 1 and from a stored subset, and
// from set 1 again on the task object's parallel road. The engine must stay consistent: a search
// that succeeds registers exactly one new set, the current one, holding distinct rows of its source
// set, the same rows on both roads; a refusal registers nothing, carries a code of its own (never
// the unknown failure) and is the same on both roads. Every new set is read and deleted again.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "api/frame/frame.h"
#include "api/task/CDBTask.h"
#include "fuzz/fuzz_support.h"
#include "q7api.h"

namespace {

constexpr int kRows = 48;
constexpr int kAppend = 1024;
constexpr int kAllRows = 1;

int g_table = 0;
int g_subset = 0;  // the even rows, stored

void BuildTable() {
  g_table = RQ7AddRealTable("t", kRows);
  q7fuzz::Require(g_table > 0, "table not added", g_table);
  std::vector<int32_t> ints(kRows);
  std::vector<double> doubles(kRows), dates(kRows), times(kRows), datetimes(kRows);
  std::vector<Numeric> decimals(kRows);
  std::vector<std::string> texts(kRows);
  const char* words[] = {"", "Oslo", "Rome", "it's", "a\"b", "\xe6\x97\xa5\xe6\x9c\xac", "ab", "abc", "B"};
  for (int i = 0; i < kRows; ++i) {
    const bool null = i % 7 == 3;
    ints[i] = null ? INT32_MIN : (i * 37) % 11 - 5;
    doubles[i] = null ? -HUGE_VAL : ((i * 13) % 9 - 4) * 0.25;
    dates[i] = null ? -HUGE_VAL : 45000 + (i * 5) % 17;    // days of 2023
    times[i] = null ? -HUGE_VAL : ((i * 11) % 24) / 24.0;  // whole hours
    datetimes[i] = null ? -HUGE_VAL : 45000 + (i % 5) + ((i * 7) % 24) / 24.0;
    const int64_t units = null ? 0 : (i * 29) % 23 - 11;
    decimals[i] = null ? Numeric{0, INT64_MIN} : Numeric{static_cast<uint64_t>(units), units < 0 ? -1 : 0};
    texts[i] = words[i % (sizeof words / sizeof words[0])];
  }
  std::vector<const char*> text_pointers;
  for (const std::string& t : texts) text_pointers.push_back(t.c_str());

  const int filters[] = {
      Q7AddRealFilter2(g_table, kAppend, "i", Q7_TYPE_INTEGER, kRows, 4, ints.data()),
      Q7AddRealFilter2(g_table, kAppend, "d", Q7_TYPE_DOUBLE, kRows, 8, doubles.data()),
      Q7AddRealFilter2(g_table, kAppend, "s", Q7_TYPE_STRING, kRows, 8, text_pointers.data()),
      Q7AddRealFilter2(g_table, kAppend, "dt", Q7_TYPE_DATE, kRows, 8, dates.data()),
      Q7AddRealFilter2(g_table, kAppend, "tm", Q7_TYPE_TIME, kRows, 8, times.data()),
      Q7AddRealFilter2(g_table, kAppend, "dtm", Q7_TYPE_DATETIME, kRows, 8, datetimes.data()),
  };
  for (int f : filters) q7fuzz::Require(f > 0, "filter not added", f);
  const int decimal = RQ7AddRealFilter2Numeric(g_table, kAppend, "n", kRows, 2, Q7_ROUND_HALF_UP, "", "");
  q7fuzz::Require(decimal > 0, "decimal filter not added", decimal);
  const int written = RQ7OverwriteRealEx(g_table, kAllRows, decimal, 1, kRows, decimals.data());
  q7fuzz::Require(written >= 0, "decimals not written", written);

  std::vector<int> even;
  for (int row = 2; row <= kRows; row += 2) even.push_back(row);
  g_subset = RQ7AddSetReal(g_table, static_cast<int>(even.size()), even.data());
  q7fuzz::Require(g_subset > 0, "subset not added", g_subset);
}

int SetCount() {
  int unused = 0;
  return RQ7GetSetIDList(g_table, 0, &unused);
}

std::vector<int> Rows(int set) {
  int count = 0;
  std::vector<int> rows(kRows + 1);
  const int n = RQ7GetSet(g_table, set, &count, static_cast<int>(rows.size()), rows.data());
  q7fuzz::Require(n >= 0 && n <= kRows, "a new set does not read back", n);
  rows.resize(static_cast<size_t>(n));
  return rows;
}

// The outcome of one search: the new set's rows (sorted), or the code.
struct Outcome {
  int code = 0;
  std::vector<int> rows;
};

// Checks what one search left behind, then removes the new set again.
Outcome Settle(int result, int sets_before, int source) {
  Outcome out;
  if (result < 0) {
    q7fuzz::Require(result != Q7_ERROR_UNKNOWN, "a query failed without a code", result);
    q7fuzz::Require(SetCount() == sets_before, "a refused query left a set", result);
    out.code = result;
    return out;
  }
  q7fuzz::Require(SetCount() == sets_before + 1, "a query did not register one set", result);
  q7fuzz::Require(RQ7GetCurrentSetID(g_table) == result, "the new set is not current", result);
  out.rows = Rows(result);
  q7fuzz::Require(RQ7GetSetSize(g_table, result) == static_cast<int>(out.rows.size()), "set size differs",
                  result);
  std::sort(out.rows.begin(), out.rows.end());
  q7fuzz::Require(std::adjacent_find(out.rows.begin(), out.rows.end()) == out.rows.end(),
                  "a row appears twice", result);
  const std::vector<int> from = Rows(source);
  for (int row : out.rows) {
    q7fuzz::Require(std::find(from.begin(), from.end(), row) != from.end(), "a row outside the source set",
                    row);
  }
  q7fuzz::Require(RQ7DeleteSet(g_table, result) == 0, "the new set does not delete", result);
  q7fuzz::Require(SetCount() == sets_before, "the new set stayed", result);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  q7fuzz::QuietEngine();
  BuildTable();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The host hands a zero-ended text: an input with a zero byte ends there.
  const std::string text(reinterpret_cast<const char*>(data), size);
  const int sets = SetCount();

  const Outcome serial = Settle(RQ7SearchByText(g_table, kAllRows, text.c_str()), sets, kAllRows);
  Settle(RQ7SearchByText(g_table, g_subset, text.c_str()), sets, g_subset);

  int parallel_result;
  {
    ApiLock lock;  // the task object's slots run under the lock their exported caller holds
    parallel_result = DBTASK()->SearchByText(g_table, kAllRows, text.c_str());
  }
  const Outcome parallel = Settle(parallel_result, sets, kAllRows);
  q7fuzz::Require(parallel.code == serial.code, "the parallel road fails otherwise", parallel.code);
  q7fuzz::Require(parallel.rows == serial.rows, "the parallel road selects other rows",
                  static_cast<int>(parallel.rows.size()));

  // The ring keeps the last entries only; empty it so that every input starts alike.
  int time = 0, code = 0;
  char api[64], message[128];
  while (RQ7GetErrorLog(&time, api, &code, message) == 1) {
  }
  return 0;
}
