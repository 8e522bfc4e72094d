// What the file-reader fuzz targets share: a working directory, quiet logs, a host use of the input.
#include "fuzz/fuzz_support.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "api/ops/ops_data.h"
#include "api/ops/ops_database.h"
#include "api/ops/ops_filters.h"
#include "api/ops/ops_search.h"
#include "api/ops/ops_sets.h"
#include "api/startup.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CErrorLog.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "q7api.h"

namespace q7fuzz {

const std::string& WorkDir() {
  static const std::string dir = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "q7fuzzXXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) abort();
    return pattern;
  }();
  // A run that ends normally leaves no directory behind; one that finds a crash keeps it, with the
  // files the input wrote.
  static const bool removed_at_exit = [] {
    return atexit([] {
             std::error_code ec;
             std::filesystem::remove_all(WorkDir(), ec);
           }) == 0;
  }();
  (void)removed_at_exit;
  return dir;
}

void WriteInput(const char* name, const uint8_t* data, size_t size, char* dir) {
  const std::string path = WorkDir() + "/" + name;
  // Unlinking first avoids the write-out some file systems start when a full file is truncated.
  unlink(path.c_str());
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) abort();
  for (size_t done = 0; done < size;) {
    const ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) abort();
    done += static_cast<size_t>(n);
  }
  close(fd);
  snprintf(dir, 512, "%s", WorkDir().c_str());
}

void QuietEngine() {
  StartLibrary();  // the tasks registered, the engine holding a collection, as in the shared library
  LOGOBJ->setFileName("/dev/null");
}

void Require(bool ok, const char* what, int code) {
  if (ok) return;
  fprintf(stderr, "q7fuzz: %s (code 0x%08X)\n", what, static_cast<unsigned>(code));
  abort();
}

namespace {

constexpr int kValueBytes = 4096;
constexpr int kBlockRows = 128;
// Sets of a table whose blocks are read: the first ones and the last ones.
constexpr int kBlockSets = 4;

// One value in a filter's storage form: an int32, a double, a bare Numeric or the text itself.
struct Value {
  alignas(16) char bytes[kValueBytes];
};

// The value of a 1-based row of set 1; zeros (an empty text) when the row cannot be read.
void ReadValue(int table, int filter, int row, Value* out) {
  int type = 0;
  memset(out->bytes, 0, sizeof out->bytes);
  if (innerQ7GetData1Ex(table, filter, 1, row, &type, out->bytes, 1, kValueBytes) < 0)
    memset(out->bytes, 0, sizeof out->bytes);
}

// The table methods of the parallel roads, which the serial operation layer does not take.
TRealTable* RealTable(int table) {
  TTableCollection* db = CSmpEngine::Instance()->Database();
  TBaseTable* t = db != nullptr ? db->GetTable(table) : nullptr;
  return t != nullptr && t->GetType() == TBaseTable::kTypeReal ? static_cast<TRealTable*>(t) : nullptr;
}

template <class F>
void Coded(F&& f) {
  try {
    f();
  } catch (const CQ7Exception&) {
  }
}

// Every search of one filter from `source`, and two sorts.
void SearchFilter(int table, int filter, int type, int rows, int source) {
  Value low, middle;
  ReadValue(table, filter, 1, &low);
  ReadValue(table, filter, std::max(1, (rows + 1) / 2), &middle);

  // 12 is no search code.
  for (int op = 0; op <= 12; ++op) {
    for (int null_bit : {0, 0x80})
      innerQ7SearchByField(table, filter, source, op | null_bit, low.bytes, middle.bytes);
  }
  for (int op : {0, 1, 4, 8, 9, 10})
    innerQ7SearchByField2(table, filter, source, op, low.bytes, middle.bytes);
  if (TRealTable* t = RealTable(table)) {
    for (int op : {0, 1, 3, 5, 6, 11})
      Coded([&] { t->MppSearchByField(filter, source, op, low.bytes, middle.bytes); });
  }
  if (type == Q7_TYPE_STRING) {
    const char* patterns[] = {"*", "?*a*", "*\\*", low.bytes};
    for (const char* pattern : patterns) {
      innerQ7SearchByFieldWildCard(table, filter, source, pattern);
      if (TRealTable* t = RealTable(table))
        Coded([&] { t->MppSearchByFieldWildCard(filter, source, pattern); });
    }
  }

  // Two values of the storage type.
  union {
    int32_t i[2];
    double d[2];
    Numeric n[2];
    const char* s[2];
  } two;
  memset(&two, 0, sizeof two);
  switch (type) {
    case Q7_TYPE_INTEGER:
      memcpy(&two.i[0], low.bytes, 4);
      memcpy(&two.i[1], middle.bytes, 4);
      break;
    case Q7_TYPE_STRING:
      two.s[0] = low.bytes;
      two.s[1] = middle.bytes;
      break;
    case Q7_TYPE_DECIMAL:
      memcpy(&two.n[0], low.bytes, sizeof(Numeric));
      memcpy(&two.n[1], middle.bytes, sizeof(Numeric));
      break;
    default:
      memcpy(&two.d[0], low.bytes, 8);
      memcpy(&two.d[1], middle.bytes, 8);
      break;
  }
  innerQ7SearchByFieldNValues(table, filter, source, 2, &two);

  _TFilterInfo info;
  if (innerQ7GetFilter(table, filter, &info) == 0 && info.valueCount > 0) {
    std::vector<unsigned char> flags(static_cast<size_t>(info.valueCount));
    for (size_t v = 0; v < flags.size(); v += 2) flags[v] = 1;
    innerQ7Search(table, filter, source, flags.data());
    std::vector<int> counts(static_cast<size_t>(info.valueCount));
    innerQ7GetValCount(table, filter, source, counts.data());
  }

  innerQ7SortByField(table, filter, source, 0);
  innerQ7SortByField(table, filter, source, 1);
  if (TRealTable* t = RealTable(table)) Coded([&] { t->MppSortByField(filter, source, 1); });
}

// Block reads of one set: the values of every filter given (and the record numbers, filter 0) and
// the value numbers, from the first row and from the middle.
void ReadBlocks(int table, int set, const std::vector<int>& filters) {
  const int size = innerQ7GetSetSize(table, set);
  if (size < 0) return;
  for (int first : {1, std::max(1, size / 2)}) {
    int count = 0;
    int records[kBlockRows];
    int other[kBlockRows];
    RQ7GetRowNo1M(table, set, first, &count, records, other);
    alignas(16) unsigned char values[2048];
    char texts[kValueBytes];
    int vnos[kBlockRows];
    std::vector<int> all = filters;
    all.push_back(0);
    for (int filter : all) {
      int type = 0;
      RQ7GetData1M(table, filter, set, first, &type, &count, values, texts);
      RQ7GetVNoList(table, filter, set, first, kBlockRows, vnos);
    }
  }
}

void ExerciseTable(int table) {
  const int rows = innerQ7GetTotalRows(table);
  const int stored_current = innerQ7GetCurrentSetID(table);
  std::vector<int> stored_sets(static_cast<size_t>(std::max(0, innerQ7GetNSet(table))));
  if (!stored_sets.empty())
    innerQ7GetSetIDList(table, static_cast<int>(stored_sets.size()), stored_sets.data());
  const int stored_last = stored_sets.empty() ? 0 : stored_sets.back();

  // The first filter of each value type, at most kMaxFilters.
  int ids[TRealTable::kMaxFilters];
  const int n_filters = innerQ7GetFilterIDList(table, ids);
  std::vector<int> filters;
  std::vector<int> types;
  for (int k = 0; k < n_filters && static_cast<int>(filters.size()) < kMaxFilters; ++k) {
    const int type = innerQ7GetFilterType(table, ids[k]);
    if (std::find(types.begin(), types.end(), type) != types.end()) continue;
    filters.push_back(ids[k]);
    types.push_back(type);
  }

  // The stored current set may carry stored sorted views, which answer searches and sorts.
  for (size_t k = 0; k < filters.size(); ++k) {
    for (int source : {stored_current, 1}) SearchFilter(table, filters[k], types[k], rows, source);
  }

  innerQ7SortByRowNo(table, 0, stored_current, 1);
  for (int op = 0; op <= 8; ++op) {
    innerQ7SearchByRowNo(table, 0, 1, op, 2, rows / 2 + 1);
    innerQ7SearchByDispRowNoReal(table, stored_current, op, 1, 3);
  }
  const int latest = innerQ7GetCurrentSetID(table);
  innerQ7SetNotReal(table, latest);
  innerQ7SetNotReal(table, stored_current);
  for (int op = 0; op <= 3; ++op) innerQ7SetOpeReal(table, op, stored_current, latest);
  if (TRealTable* t = RealTable(table)) {
    t->MppSetNot(stored_current);
    t->MppSetOpe(1, stored_current, latest);
  }

  std::vector<int> sets(static_cast<size_t>(std::max(0, innerQ7GetNSet(table))));
  if (!sets.empty()) innerQ7GetSetIDList(table, static_cast<int>(sets.size()), sets.data());
  for (size_t k = 0; k < sets.size(); ++k) {
    if (k < kBlockSets || k + kBlockSets >= sets.size()) ReadBlocks(table, sets[k], filters);
  }

  // Every other new set goes again; the rest, sorted views included, is saved with the table.
  for (size_t k = 0; k < sets.size(); ++k) {
    if (sets[k] > stored_last && k % 2 == 0) innerQ7DeleteSet(table, sets[k]);
  }
  innerQ7ChangeCurrentSetID(table, stored_current);
}

}  // namespace

void ExerciseTables(const int* table_ids, int count) {
  for (int k = 0; k < count && k < kMaxTables; ++k) ExerciseTable(table_ids[k]);
}

void ExerciseDatabase() {
  std::vector<int> ids(static_cast<size_t>(TTableCollection::kMaxTables));
  const int n = innerQ7GetTableIDList(ids.data());
  if (n > 0) ExerciseTables(ids.data(), n);
}

}  // namespace q7fuzz
