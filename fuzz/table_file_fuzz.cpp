// Fuzz target of the table-file reader: the input is read as a ".Q7T" file into a database that
// already holds a table (so that name generation runs too). A table that loads is saved again.
#include <cstdint>
#include <cstdio>
#include <memory>

#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "fuzz/fuzz_support.h"

Q7_FUZZ_INITIALIZE

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  char dir[TTableCollection::kPathSize];
  q7fuzz::WriteInput("input.Q7T", data, size, dir);
  auto db = std::make_unique<TTableCollection>();
  char existing[] = "T";
  db->AddRealTable(existing, 2);
  char name[] = "input";
  int id = 0;
  try {
    id = db->LoadRealTable(dir, name);
    if (id > 0) db->SaveRealTable(dir, id);
  } catch (const CQ7Exception&) {
  }
  return 0;
}
