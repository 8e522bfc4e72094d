// Fuzz target of the table-file reader: the input is loaded as a ".Q7T" file through the operation
// layer into a database that already holds a table (so that name generation runs too). A table
// that loads is then used as a host would (searches, sorts, set operations, block reads), saved as
// a table file and in a database, and loaded again: what was saved must load back.
#include <cstdint>
#include <cstdio>

#include "api/ops/ops_database.h"
#include "api/ops/ops_sets.h"
#include "api/ops/ops_tables.h"
#include "fuzz/fuzz_support.h"
#include "q7api.h"

Q7_FUZZ_INITIALIZE

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  char dir[512];
  q7fuzz::WriteInput("input.Q7T", data, size, dir);
  innerQ7ClearDB();
  innerQ7AddRealTable("T", 2);
  const int id = innerQ7LoadRealTable(dir, "input");
  if (id > 0) {
    q7fuzz::ExerciseTables(&id, 1);
    const int rows = innerQ7GetTotalRows(id);
    if (innerQ7SaveRealTableAs(dir, "again", id) == 0) {
      const int again = innerQ7LoadRealTable(dir, "again");
      q7fuzz::Require(again > 0, "a saved table does not load again", again);
      q7fuzz::Require(innerQ7GetTotalRows(again) == rows, "the reloaded table lost rows", rows);
      q7fuzz::ExerciseTables(&again, 1);
    }
    if (innerQ7SaveDBAs(dir, "db") == 0) {
      const int reloaded = innerQ7LoadDB(dir, "db");
      q7fuzz::Require(reloaded == 0, "a saved database does not load again", reloaded);
    }
  }
  // Destroys every table and set the operations above made.
  innerQ7ClearDB();
  return 0;
}
