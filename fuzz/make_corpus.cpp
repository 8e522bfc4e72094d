// Writes the seed corpus of the file-reader fuzz targets into <dir>/db_file_fuzz and
// <dir>/table_file_fuzz: small valid database and table files with every value type, NULLs,
// extra sets, a current set other than 1, a sorted view and a high-speed filter, in the current
// file version and as a set-1-only table.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TSortedSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/zpk_fstream.h"
#include "fuzz/fuzz_support.h"
#include "q7api.h"

namespace {

void AddColumns(TRealTable* t) {
  const int n = t->TotalRecs();
  std::vector<int32_t> ints(n);
  std::vector<double> dbls(n);
  std::vector<const char*> texts(n);
  std::vector<Numeric> decs(n);
  const char* kTexts[] = {"", "a", "bc", "def"};
  for (int i = 0; i < n; ++i) {
    ints[i] = i % 3 == 0 ? INT32_MIN : i * 5 - 4;
    dbls[i] = i % 4 == 0 ? -HUGE_VAL : 40000 + i * 0.5;
    texts[i] = kTexts[i % 4];
    decs[i] = i % 3 == 1 ? Numeric{0, INT64_MIN} : Numeric{static_cast<uint64_t>(i * 7), 0};
  }
  struct Column {
    const char* name;
    int type;
    int width;
    void* data;
  } columns[] = {{"i", Q7_TYPE_INTEGER, 4, ints.data()},
                 {"d", Q7_TYPE_DOUBLE, 8, dbls.data()},
                 {"day", Q7_TYPE_DATE, 8, dbls.data()},
                 {"s", Q7_TYPE_STRING, 8, texts.data()},
                 {"n", Q7_TYPE_DECIMAL, 16, decs.data()}};
  for (const Column& c : columns) {
    std::string name = c.name;
    t->AddFilter2(TRealTable::kAppendPosition, name.data(), c.type, n, c.width, c.data, 0, -1);
  }
}

TRealTable* BuildTable(TTableCollection& db, const char* name, int rows) {
  std::string n = name;
  auto* t = static_cast<TRealTable*>(db.GetTable(db.AddRealTable(n.data(), rows)));
  AddColumns(t);
  std::vector<int> some;
  for (int r = rows; r >= 1; r -= 2) some.push_back(r);
  t->AddSetFromRows(static_cast<int>(some.size()), some.data());
  auto* view = new TSortedSetArray();
  view->initialize(t->GetSet(2), t->GetFilter(4));
  view->Reclaim();
  auto* all_view = new TSortedSetArray();
  all_view->initialize(t->GetSet(1), t->GetFilter(1));
  all_view->Reclaim();
  t->GetFilter(1)->HighSpeedSearchEnable(true);
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s <corpus directory>\n", argv[0]);
    return 2;
  }
  q7fuzz::QuietEngine();
  const std::filesystem::path root = std::filesystem::absolute(argv[1]);
  const std::string db_dir = (root / "db_file_fuzz").string();
  const std::string table_dir = (root / "table_file_fuzz").string();
  std::filesystem::create_directories(db_dir);
  std::filesystem::create_directories(table_dir);

  TTableCollection db;
  TRealTable* a = BuildTable(db, "A", 6);
  BuildTable(db, "B", 3);
  char dir[TTableCollection::kPathSize];
  snprintf(dir, sizeof dir, "%s", db_dir.c_str());
  char name[] = "seed";
  db.SaveDB(dir, name);

  snprintf(dir, sizeof dir, "%s", table_dir.c_str());
  db.SaveRealTable(dir, a->FTableID);
  // The same table with set 1 only, as a table file of its own.
  zpk_fstream out;
  const std::string one = table_dir + "/A_set1.Q7T";
  if (out.open(one.c_str(), kZpkWrite | kZpkBinary, 0) != 0 || out.writeFileHeader() != 0) return 1;
  a->SaveTable(&out, 1);
  out.close();
  return 0;
}
