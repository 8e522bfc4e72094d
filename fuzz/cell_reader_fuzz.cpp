// Fuzz target of the checked import's cell reader: the input's first byte picks the catalog's
// separators (CSV, tab-separated, user separators ';' and '|', or CSV with the top line skipped)
// and the rest is the data text. Every catalog holds a field of each value type and a skipped
// field, so quoting, line ends, ^Z, surplus and missing cells and unreadable values all reach the
// logs and the column arrays. A table that results is used as a host would (searches, sorts, set
// operations, block reads); it cannot have more rows than the data has line ends, plus one.
#include <algorithm>
#include <cstdint>
#include <string>

#include "api/ops/ops_database.h"
#include "fuzz/fuzz_support.h"
#include "q7api.h"

Q7_FUZZ_INITIALIZE

namespace {

std::string Catalog(int kind) {
  static const char* const kSeparators[] = {"//CSV\n", "//TAB\n", "//USR\t;\t|\n", "//CSV\n//CUTTOP\n"};
  return std::string(kSeparators[kind]) +
         "I\t4\tid\nF\t6\tx\nD\t10\td\nA\t5\ts\nA\t2\tgone\tSKIP\nN\t8\tamt\t2\tROUNDHALFEVEN\nT\t5\tt\n"
         "E\t19\tdt\nN\t8\tq\n";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  char dir[512];
  const std::string catalog = Catalog(data[0] & 3);
  q7fuzz::WriteInput("input.cat", reinterpret_cast<const uint8_t*>(catalog.data()), catalog.size(), dir);
  q7fuzz::WriteInput("source.txt", data + 1, size - 1, dir);
  innerQ7ClearDB();
  const int table = RQ7AddCatalogFileChecker(dir, "input.cat", dir, "source.txt", "T");
  if (table > 0) {
    const long line_ends =
        std::count_if(data + 1, data + size, [](uint8_t c) { return c == '\n' || c == '\r'; });
    q7fuzz::Require(RQ7GetTotalRows(table) <= line_ends + 1, "more rows than lines", RQ7GetTotalRows(table));
    q7fuzz::ExerciseTables(&table, 1);
  }
  innerQ7ClearDB();
  return 0;
}
