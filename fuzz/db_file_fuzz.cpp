// Fuzz target of the database-file reader: the input is loaded as a ".Q7D" file through the
// operation layer's load, over a database that holds a table. What loads is then used as a host
// would (searches, sorts, set operations, block reads), saved, and loaded again: a database that
// was saved must load back.
#include <cstdint>
#include <cstdio>

#include "api/ops/ops_database.h"
#include "api/ops/ops_tables.h"
#include "fuzz/fuzz_support.h"
#include "q7api.h"

Q7_FUZZ_INITIALIZE

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  char dir[512];
  q7fuzz::WriteInput("input.Q7D", data, size, dir);
  innerQ7ClearDB();
  innerQ7AddRealTable("before", 3);
  if (innerQ7LoadDB(dir, "input") != 0) {
    innerQ7ClearDB();
    return 0;
  }
  q7fuzz::ExerciseDatabase();
  const int saved = innerQ7SaveDBAs(dir, "again");
  if (saved == 0) {
    const int tables = innerQ7GetNTable();
    const int reloaded = innerQ7LoadDB(dir, "again");
    q7fuzz::Require(reloaded == 0, "a saved database does not load again", reloaded);
    q7fuzz::Require(innerQ7GetNTable() == tables, "the reloaded database lost tables", tables);
    q7fuzz::ExerciseDatabase();
  }
  // Destroys every table and set the operations above made.
  innerQ7ClearDB();
  return 0;
}
