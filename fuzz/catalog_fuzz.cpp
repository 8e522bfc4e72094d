// Fuzz target of the catalog reader: the input is a catalog file that describes a fixed source
// text (lines that split differently as CSV, tab-separated, fixed-width or user-separated text). The
// catalog is imported into a new table on the worker pool; a table that results is used as a host
// would (searches, sorts, set operations, block reads), the source is appended to it on the pool and
// on the calling thread, and the table is used again.
#include <cstdint>
#include <cstdio>

#include "api/ops/ops_database.h"
#include "fuzz/fuzz_support.h"
#include "q7api.h"

Q7_FUZZ_INITIALIZE

namespace {

// Every field line type and every split finds something here: commas, tabs, semicolons, quotes,
// dates in two spellings, decimals, a blank line and no final line feed.
constexpr char kSource[] =
    "1,2.5,2024/01/02,\"a,b\",12.34,10:11:12,2024/01/02 10:11:12\n"
    "22\t3.25\t2024-02-29\tx\t-1.5\t23:59\t1999/12/31\n"
    "333;4e3;31/12/1999;\"q\"\"q\";;00:00;\n"
    "\n"
    ",,,,,,\n"
    "4444|-0|2000/2/30|long text with blanks   |99999999999999999999.99|25:00|x";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  char dir[512];
  q7fuzz::WriteInput("source.txt", reinterpret_cast<const uint8_t*>(kSource), sizeof kSource - 1, dir);
  q7fuzz::WriteInput("input.cat", data, size, dir);
  innerQ7ClearDB();
  const int table = RQ7AddCatalogFileEx2(dir, "input.cat", dir, "source.txt", "T");
  if (table > 0) {
    q7fuzz::ExerciseTables(&table, 1);
    RQ7AppendCatalogFileEx2(table, -1, -1, dir, "input.cat", dir, "source.txt");
    RQ7AppendCatalogFileEx2(table, 2, 3, dir, "input.cat", dir, "source.txt");
    q7fuzz::ExerciseTables(&table, 1);
  }
  innerQ7ClearDB();
  return 0;
}
