// Writes the seed corpus of the file-reader fuzz targets into <dir>/db_file_fuzz and
// <dir>/table_file_fuzz: small valid database and table files with every value type, NULLs,
// extra sets, a current set other than 1, a sorted view and a high-speed filter, in the current
// file version and as a set-1-only table. With a second directory, also writes there the
// regression inputs (<regressions>/db_file_fuzz, <regressions>/table_file_fuzz): crafted files that
// once crashed the engine or made a database unreadable, which every fuzz run replays first. The
// image reader's target gets the same database and table in each image form (<dir>/image_fuzz,
// <regressions>/image_fuzz).
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TSortedSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/TMemStream.h"
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

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

void PutInt(std::string* bytes, size_t at, int32_t v) {
  if (at + 4 <= bytes->size()) memcpy(bytes->data() + at, &v, 4);
}

// Byte positions in a database file of real tables (each int32 unit padded to 8 bytes): the
// issued table ID, then after `n` table names the first table's kind, its table ID and its name.
constexpr size_t kIssuedAt = 272;
size_t KindAt(int n) { return 288 + 256 * static_cast<size_t>(n); }
size_t NameAt(int n) { return KindAt(n) + 32; }

// The regression inputs. Each is a small database (two tables: A with its set IDs at the top of the
// range, B plain) or table file, changed where the fault lay.
// The folders of the two file targets below root, made when missing.
struct TargetDirs {
  std::string db_dir;
  std::string table_dir;
  explicit TargetDirs(const std::filesystem::path& root)
      : db_dir((root / "db_file_fuzz").string()), table_dir((root / "table_file_fuzz").string()) {
    std::filesystem::create_directories(db_dir);
    std::filesystem::create_directories(table_dir);
  }
};

int WriteRegressions(const std::filesystem::path& root) {
  const TargetDirs dirs(root);
  const std::string& db_dir = dirs.db_dir;
  const std::string& table_dir = dirs.table_dir;

  // Set IDs up to INT32_MAX with the last set ID there: a search made the next ID wrap to
  // INT32_MIN, came back as that "code", freed the set the table still listed, and clearing the
  // database then freed it again.
  TTableCollection db;
  TRealTable* a = BuildTable(db, "A", 6);
  if (a->ResetSetID(0, INT32_MAX) != 0) return 1;
  const int rows[] = {5, 1, 3};
  if (a->AddSetFromRows(3, rows) != INT32_MAX) return 1;
  BuildTable(db, "B", 3);
  char dir[TTableCollection::kPathSize];
  snprintf(dir, sizeof dir, "%s", db_dir.c_str());
  char name[] = "set_ids_at_top";
  db.SaveDB(dir, name);
  snprintf(dir, sizeof dir, "%s", table_dir.c_str());
  char table_name[] = "set_ids_at_top";
  if (db.SaveRealTableAs(dir, table_name, a->FTableID) != 0) return 1;

  const std::string good = ReadFile(db_dir + "/set_ids_at_top.Q7D");
  // The issued table ID at the top: the next table ID wrapped.
  std::string issued = good;
  PutInt(&issued, kIssuedAt, INT32_MAX);
  WriteFile(db_dir + "/issued_id_at_top.Q7D", issued);
  // A negative kind came back from the load as its "code".
  for (int32_t kind : {-1, INT32_MIN}) {
    std::string bad = good;
    PutInt(&bad, KindAt(2), kind);
    WriteFile(db_dir + "/kind_" + std::to_string(kind) + ".Q7D", bad);
  }
  // An empty stored name made the whole database unreadable.
  std::string no_name = good;
  if (no_name.size() > NameAt(2)) no_name[NameAt(2)] = '\0';
  WriteFile(db_dir + "/empty_table_name.Q7D", no_name);
  // Not a database file at all.
  WriteFile(db_dir + "/not_a_database.Q7D", "plain text, no database\n");
  return 0;
}

// The seeds of the image reader's target (fuzz/image_fuzz.cpp): the first byte picks the form, 0
// a database image, 1 a single-table image, 2 a database file read in place, 3 the memory stream
// (a table in full, then another with set 1 only).
int WriteImageSeeds(const std::filesystem::path& dir, TTableCollection& db, TRealTable* a,
                    const std::string& database_file) {
  std::filesystem::create_directories(dir);
  std::vector<uint64_t> buffer(1 << 16);
  void* end = nullptr;
  auto image = [&] { return std::string(reinterpret_cast<char*>(buffer.data()), static_cast<char*>(end)); };
  if (db.SaveDB2Mem(buffer.size() * 8, buffer.data(), &end) != 0) return 1;
  WriteFile((dir / "database_image").string(), '\x00' + image());
  if (db.SaveRealTable2Mem(a->FTableID, buffer.size() * 8, buffer.data(), &end) != 0) return 1;
  WriteFile((dir / "table_image").string(), '\x01' + image());
  WriteFile((dir / "in_place").string(), '\x02' + ReadFile(database_file));
  MemStream = new TMemStream();
  a->SaveTableMem(0);
  static_cast<TRealTable*>(db.TableAt(1))->SaveTableMem(1);
  WriteFile((dir / "stream").string(), '\x03' + std::string(MemStream->pArea(), MemStream->nUsed()));
  delete MemStream;
  MemStream = nullptr;
  return 0;
}

// The regression inputs of the image readers: in-place images whose lengths lead past their end,
// which the in-place readers once followed.
void WriteImageRegressions(const std::filesystem::path& dir, const std::string& database_file) {
  std::filesystem::create_directories(dir);
  const std::string good = ReadFile(database_file);
  WriteFile((dir / "in_place_cut").string(), '\x02' + good.substr(0, good.size() * 3 / 4));
  std::string many = good;
  PutInt(&many, kIssuedAt + 8, 9999);  // the table count: more names than the image holds
  WriteFile((dir / "in_place_table_count").string(), '\x02' + many);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    fprintf(stderr, "usage: %s <corpus directory> [<regression directory>]\n", argv[0]);
    return 2;
  }
  q7fuzz::QuietEngine();
  const TargetDirs dirs(std::filesystem::absolute(argv[1]));
  const std::string& db_dir = dirs.db_dir;
  const std::string& table_dir = dirs.table_dir;

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
  if (WriteImageSeeds(std::filesystem::absolute(argv[1]) / "image_fuzz", db, a, db_dir + "/seed.Q7D") != 0)
    return 1;
  if (argc != 3) return 0;
  WriteImageRegressions(std::filesystem::absolute(argv[2]) / "image_fuzz", db_dir + "/seed.Q7D");
  return WriteRegressions(std::filesystem::absolute(argv[2]));
}
