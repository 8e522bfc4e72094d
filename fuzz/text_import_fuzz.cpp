// Fuzz target of the line parsers: the input's first byte picks the source format (CSV,
// tab-separated, fixed-width, user separators), the catalog's error mode (STOP, CONTINUE, SKIPLINE,
// NONE), the road (a new table on the worker pool, a parallel append after the last row or inside
// the table, a single-thread append) and the window size of the parallel road (computed, or one
// page, so that lines and quotes are cut at window ends); the rest is the source text. Every catalog
// holds a field of each value type and one skipped field. What is imported is then used as a host
// would (searches, sorts, set operations, block reads), saved and loaded again; an import on all
// workers must give the same result, values and report lines as the same import on one worker with
// the other window size (quoted fields may hold line breaks, so records span lines and chunk and
// window borders fall inside them).
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "api/ops/ops_database.h"
#include "api/ops/ops_tables.h"
#include "foundation/CSmpEngine.h"
#include "fuzz/fuzz_support.h"
#include "import/CCMultiThreadImport.h"
#include "q7api.h"

Q7_FUZZ_INITIALIZE

namespace {

std::string Catalog(int format, int mode) {
  static const char* const kFormat[] = {"//CSV\n", "//TAB\n", "//FIX\n", "//USR\t;\t|\n"};
  static const char* const kMode[] = {"//ERROR\tSTOP\n", "//ERROR\tCONTINUE\n", "//ERROR\tSKIPLINE\n",
                                      "//ERROR\tNONE\n"};
  return std::string(kFormat[format]) + kMode[mode] +
         "I\t4\tid\nF\t6\tx\nD\t10\td\nA\t5\ts\nA\t2\tgone\tSKIP\nN\t8\tamt\t2\tROUNDHALFUP\nT\t5\tt\n"
         "E\t19\tdt\n";
}

// Every cell of the table, byte for byte, row by row (or the import's code).
std::string Render(int table) {
  if (table <= 0) return "code " + std::to_string(table);
  std::vector<int> ids(16);
  const int filters = RQ7GetFilterIDList(table, ids.data());
  std::string out;
  std::vector<char> value(4200);
  for (int row = 1; row <= RQ7GetTotalRows(table); ++row) {
    for (int f = 0; f < filters; ++f) {
      int type = 0;
      const int size = RQ7GetData1(table, ids[static_cast<size_t>(f)], 1, row, &type, value.data());
      out += std::to_string(type) + ":" +
             (size < 0 ? std::to_string(size) : std::string(value.data(), static_cast<size_t>(size))) + "|";
    }
    out += "\n";
  }
  return out;
}

// The catalog message log's report lines (those naming a row), and the log removed.
std::string Reports(const char* dir) {
  const std::string path = std::string(dir) + "/catalog_err_log.txt";
  std::ifstream in(path, std::ios::binary);
  std::string out, line;
  while (std::getline(in, line)) {
    if (line.find("@ Row") != std::string::npos) out += line + "\n";
  }
  in.close();
  std::remove(path.c_str());
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int format = data[0] & 3, mode = (data[0] >> 2) & 3, road = (data[0] >> 4) & 3;
  const bool one_page = (data[0] & 0x40) != 0;
  char dir[512];
  const std::string catalog = Catalog(format, mode);
  q7fuzz::WriteInput("input.cat", reinterpret_cast<const uint8_t*>(catalog.data()), catalog.size(), dir);
  q7fuzz::WriteInput("source.txt", data + 1, size - 1, dir);
  innerQ7ClearDB();
  CCMultiThreadImport::SetWindowSizeForTest(one_page ? 1 : 0);

  int table = 0;
  if (road == 0) {
    Reports(dir);
    table = RQ7AddCatalogFileEx2(dir, "input.cat", dir, "source.txt", "T");
    const std::string rows = Render(table);
    const std::string reports = Reports(dir);
    // One worker with the other window size: the same result, values and reports.
    CSmpEngine::Instance()->SetWorkerCapForTest(1);
    CCMultiThreadImport::SetWindowSizeForTest(one_page ? 0 : 1);
    const int again = RQ7AddCatalogFileEx2(dir, "input.cat", dir, "source.txt", "U");
    CSmpEngine::Instance()->SetWorkerCapForTest(0);
    q7fuzz::Require(Render(again) == rows, "the worker count or window size changed the imported values",
                    again);
    q7fuzz::Require(Reports(dir) == reports, "the worker count or window size changed the reports", again);
    if (again > 0) RQ7DeleteTable(again);
  } else {
    // The target: two rows of every type, appended to after the last row, from row 2, or by the
    // single-thread reader of 3 rows.
    static const char kTarget[] = "1,2,2024/01/01,a,b,1.5,1:00,2024/01/01 1:00\n2,3,,,,,,\n";
    const std::string seed = Catalog(0, 0);
    q7fuzz::WriteInput("target.cat", reinterpret_cast<const uint8_t*>(seed.data()), seed.size(), dir);
    q7fuzz::WriteInput("target.txt", reinterpret_cast<const uint8_t*>(kTarget), sizeof kTarget - 1, dir);
    table = RQ7AddCatalogFileEx2(dir, "target.cat", dir, "target.txt", "T");
    if (table > 0) {
      const int position = road == 2 ? 2 : -1, rows = road == 3 ? 3 : -1;
      RQ7AppendCatalogFileEx2(table, position, rows, dir, "input.cat", dir, "source.txt");
    }
  }
  CCMultiThreadImport::SetWindowSizeForTest(0);

  if (table > 0) {
    q7fuzz::ExerciseTables(&table, 1);
    if (innerQ7SaveDBAs(dir, "db") == 0) {
      const int reloaded = innerQ7LoadDB(dir, "db");
      q7fuzz::Require(reloaded == 0, "a saved database does not load again", reloaded);
    }
  }
  innerQ7ClearDB();
  return 0;
}
