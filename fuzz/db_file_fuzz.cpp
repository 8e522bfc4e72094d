// Fuzz target of the database-file reader: the input is read as a ".Q7D" file. A database that
// loads is also saved again, so that whatever the reader accepts is also safe to write.
#include <cstdint>
#include <cstdio>
#include <memory>

#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "fuzz/fuzz_support.h"

Q7_FUZZ_INITIALIZE

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  char dir[TTableCollection::kPathSize];
  q7fuzz::WriteInput("input.Q7D", data, size, dir);
  char name[] = "input";
  std::unique_ptr<TTableCollection> db;
  try {
    db = std::make_unique<TTableCollection>(dir, name);
  } catch (const CQ7Exception&) {
    return 0;
  }
  try {
    db->LoadComplete(0);
    char again[] = "again";
    db->SaveDB(dir, again);
  } catch (const CQ7Exception&) {
  }
  return 0;
}
