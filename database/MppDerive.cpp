// Duplicating, extracting, combining and condensing real tables with the columns built on the
// worker pool. The columns are DerivedColumns.h's, as in the serial forms, so both give the same
// table; what this file adds is the plan made on the calling thread (every filter and set found,
// every name given, every argument checked) and the claims that share the columns among workers.
#include "database/MppDerive.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "database/DerivedColumns.h"
#include "database/TFilter.h"
#include "database/TJoinTableBase.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/TextHelpers.h"
#include "foundation/mpp_tasks.h"
#include "foundation/zpk_memory.h"
#include "kernels/KernelPool.h"
#include "values/ArrayFunctions.h"
#include "values/CCompiler.h"
#include "values/Numeric.h"
#include "values/TIntArray.h"
#include "values/TStrArray.h"
#include "values/ValueListShare.h"
#include "values/ZpkBlock.h"

namespace {

// ---- Claims ----

// The engine's write lock for the scope: the claims, and the consuming combine's count-downs.
class WriteLock {
 public:
  WriteLock() { CSmpEngine::Instance()->mt_write_lock(); }
  ~WriteLock() { CSmpEngine::Instance()->mt_write_unlock(); }
  WriteLock(const WriteLock&) = delete;
  WriteLock& operator=(const WriteLock&) = delete;
};

// One run of a column-building task: `units` units, each built by the worker that claims it.
class ClaimedRun {
 public:
  explicit ClaimedRun(int units) : units_(units), claimed_(static_cast<size_t>(units), 0) {}
  virtual ~ClaimedRun() = default;
  ClaimedRun(const ClaimedRun&) = delete;
  ClaimedRun& operator=(const ClaimedRun&) = delete;

  int Units() const { return units_; }

  // The body of every worker: from its own index to the last unit. After a failure the others
  // stop claiming, since the pool rethrows it whatever they build.
  int Work(int first) {
    for (int i = first; i < units_; ++i) {
      if (!Claim(i)) continue;
      try {
        Build(i);
      } catch (...) {
        failed_.store(true, std::memory_order_relaxed);
        throw;
      }
    }
    return 0;
  }

 protected:
  // Builds unit i; runs on a worker, without the lock. Throws CQ7Exception on failure.
  virtual void Build(int i) = 0;

 private:
  bool Claim(int i) {
    if (failed_.load(std::memory_order_relaxed)) return false;
    WriteLock lock;
    if (claimed_[static_cast<size_t>(i)] != 0) return false;
    claimed_[static_cast<size_t>(i)] = 1;
    return true;
  }

  const int units_;
  std::vector<uint8_t> claimed_;
  std::atomic<bool> failed_{false};
};

struct ClaimParam {
  MppParamHeader header;
  ClaimedRun* run;
};

int WorkOnClaims(void* param) {
  return TaskFrame([&] {
    auto* p = static_cast<ClaimParam*>(param);
    return p->run->Work(p->header.index);
  });
}

// Runs the task on as many workers as there are units, at most every active worker; throws the
// first failing worker's code.
void RunClaims(ClaimedRun& run, int task) {
  if (run.Units() == 0) return;
  const int workers = KernelThreads(run.Units());
  for (int t = 0; t < workers; ++t) PoolParam<ClaimParam>(t)->run = &run;
  RunKernelTask(workers, task);
}

// ---- Columns ----

const int* Elements(TSetArray* set) { return set->FArraySize > 0 ? set->PIntAr() : nullptr; }

// Entry i of a filter-ID list; a list that is not there reads as 0 everywhere.
int Entry(const int* ids, int i) { return ids != nullptr ? ids[i] : 0; }

// A column compiled from raw values: raw holds `elements` values of the type, element 0 the NULL
// (taken over; freed on every path). The list is ascending and distinct, as a table compiles one.
DerivedColumn CompileRaw(int type, int elements, ZpkBlock<unsigned char> raw) {
  const int basic =
      type == Q7_TYPE_DATE || type == Q7_TYPE_TIME || type == Q7_TYPE_DATETIME ? Q7_TYPE_DOUBLE : type;
  ZpkBlock<int> numbers;
  int count = 0;
  void* list = nullptr;
  Compile(elements, basic, ValueTypeWidth(basic), raw.get(), numbers.Out(), &count, &list);
  DerivedColumn column;
  // A string list copies the texts out of the raw block here, while it still lives.
  column.list.reset(AdoptCompiledList(type, count, list));
  column.numbers = std::make_unique<TIntArray>(elements, numbers.get());
  numbers.Release();
  return column;
}

// An INTEGER column over n rows whose values fill(int* first_row) writes.
template <class Fill>
DerivedColumn IntColumn(int n, Fill fill) {
  ZpkBlock<unsigned char> raw(sizeof(int32_t) * (static_cast<size_t>(n) + 1));
  auto* values = reinterpret_cast<int32_t*>(raw.get());
  values[0] = INT32_MIN;
  fill(values + 1);
  return CompileRaw(Q7_TYPE_INTEGER, n + 1, std::move(raw));
}

// The table-ID column: n_a rows of id_a, then n_b rows of id_b. It is what compiling those values
// gives (the IDs that occur, ascending, after the NULL), numbered directly: the values are known.
DerivedColumn TableIdColumn(int n_a, int id_a, int n_b, int id_b) {
  std::vector<int32_t> values{INT32_MIN};
  if (n_a > 0) values.push_back(id_a);
  if (n_b > 0 && (n_a == 0 || id_b != id_a)) {
    values.insert(id_b < values.back() ? values.end() - 1 : values.end(), id_b);
  }
  const int count = static_cast<int>(values.size());
  ZpkBlock<int32_t> list(values.size());
  memcpy(list.get(), values.data(), sizeof(int32_t) * values.size());
  DerivedColumn column;
  // Taken over even when the list cannot be made.
  column.list.reset(AdoptCompiledList(Q7_TYPE_INTEGER, count, list.Release()));
  const int number_a =
      n_a > 0 ? static_cast<int>(std::find(values.begin(), values.end(), id_a) - values.begin()) : 0;
  const int number_b =
      n_b > 0 ? static_cast<int>(std::find(values.begin(), values.end(), id_b) - values.begin()) : 0;
  column.numbers = std::make_unique<TIntArray>(n_a + n_b + 1, 0);
  int* numbers = column.numbers->PIntAr();
  numbers[0] = 0;
  std::fill(numbers + 1, numbers + 1 + n_a, number_a);
  std::fill(numbers + 1 + n_a, numbers + 1 + n_a + n_b, number_b);
  return column;
}

// Gives a built column to its placeholder filter, which owns the arrays from then on.
void Install(TFilter* filter, DerivedColumn column) {
  filter->PV = column.numbers.release();
  filter->VL = column.list.release();
}

// Appends a filter without arrays under a copy of the seed, named by the filter-naming rule as
// AddFilter names every column of the serial forms; a worker gives it its arrays later. A refusal
// is thrown with `code`, or with its own code when `code` is 0.
TFilter* AddPlaceholder(TRealTable* table, const char* seed, int code = 0) {
  char work[TFilter::kNameSize];
  qz7_strlcpy(work, seed, sizeof work);
  const int id = table->AddFilter(TRealTable::kAppendPosition, work, nullptr, nullptr, false, 0, -1);
  if (id < 0) throw CQ7Exception(code != 0 ? code : id);
  return table->FFilters[table->FnFilter - 1];
}

// The basic type of a value list: every double kind is one.
int BasicListType(TFilter* filter) { return ArrayDataType(filter->VL); }

// Whether DropFilter would refuse the filter: the first key filter of a join over the table.
bool IsJoinKey(TRealTable* table, int filter_id) {
  TTableCollection* tables = table->Collection();
  if (tables == nullptr) return false;
  for (int i = 0; i < tables->TableCount(); ++i) {
    TBaseTable* t = tables->TableAt(i);
    if (t->GetType() != TBaseTable::kTypeJoin) continue;
    char name[TBaseTable::kNameSize];
    int master_table, master_set, master_key, slave_table, slave_set, slave_key;
    static_cast<TJoinTableBase*>(t)->GetJoinInfo(name, &master_table, &master_set, &master_key, &slave_table,
                                                 &slave_set, &slave_key);
    if ((master_table == table->FTableID && master_key == filter_id) ||
        (slave_table == table->FTableID && slave_key == filter_id)) {
      return true;
    }
  }
  return false;
}

// ---- Duplicate ----

class DuplicateRun : public ClaimedRun {
 public:
  explicit DuplicateRun(TRealTable* source)
      : ClaimedRun(source->FnFilter), source_(source), columns_(static_cast<size_t>(source->FnFilter)) {}
  DerivedColumn& Column(int i) { return columns_[static_cast<size_t>(i)]; }

 protected:
  void Build(int i) override { columns_[static_cast<size_t>(i)] = CopyColumn(source_->FFilters[i]); }

 private:
  TRealTable* source_;
  std::vector<DerivedColumn> columns_;
};

// ---- Extract ----

class ExtractRun : public ClaimedRun {
 public:
  enum class Kind { kTableIDs, kRecNos, kListed };
  struct Unit {
    Kind kind;
    TFilter* source;  // kListed
    TFilter* target;
  };

  ExtractRun(std::vector<Unit> units, int table_id, const int* rows, int n)
      : ClaimedRun(static_cast<int>(units.size())),
        units_(std::move(units)),
        table_id_(table_id),
        rows_(rows),
        n_(n) {}

 protected:
  void Build(int i) override {
    const Unit& u = units_[static_cast<size_t>(i)];
    switch (u.kind) {
      case Kind::kTableIDs:
        Install(u.target, TableIdColumn(n_, table_id_, 0, 0));
        break;
      case Kind::kRecNos:
        Install(u.target, IntColumn(n_, [&](int32_t* v) {
                  if (n_ > 0) memcpy(v, rows_, sizeof(int32_t) * static_cast<size_t>(n_));
                }));
        break;
      case Kind::kListed:
        Install(u.target, ExtractColumn(u.source, rows_, n_));
        break;
    }
  }

 private:
  std::vector<Unit> units_;
  int table_id_;
  const int* rows_;
  int n_;
};

// ---- Combine ----

// One side of a consuming combine: the source's filter IDs and, per ID, the pairs still to read it
// (one array for both sides when they are one table).
struct ConsumedSide {
  TRealTable* table = nullptr;
  int n_filter = 0;
  const int* all = nullptr;
  int* uses = nullptr;
  std::vector<uint8_t> keep;  // per entry of `all`: a join key, which the source keeps

  bool Active() const { return table != nullptr && all != nullptr && uses != nullptr; }
};

class CombineRun : public ClaimedRun {
 public:
  enum class Kind { kTableIDs, kRecNos, kPair };
  struct Unit {
    Kind kind;
    TFilter* a;
    TFilter* b;
    int id_a;
    int id_b;
    TFilter* target;
  };
  struct Rows {
    const int* rows;
    int n;
    int table_id;
  };

  CombineRun(std::vector<Unit> units, Rows a, Rows b, ConsumedSide* side_a, ConsumedSide* side_b)
      : ClaimedRun(static_cast<int>(units.size())),
        units_(std::move(units)),
        a_(a),
        b_(b),
        side_a_(side_a),
        side_b_(side_b) {}

 protected:
  void Build(int i) override {
    const Unit& u = units_[static_cast<size_t>(i)];
    const int n = a_.n + b_.n;
    switch (u.kind) {
      case Kind::kTableIDs:
        Install(u.target, TableIdColumn(a_.n, a_.table_id, b_.n, b_.table_id));
        break;
      case Kind::kRecNos:
        Install(u.target, IntColumn(n, [&](int32_t* v) {
                  if (a_.n > 0) memcpy(v, a_.rows, sizeof(int32_t) * static_cast<size_t>(a_.n));
                  if (b_.n > 0) memcpy(v + a_.n, b_.rows, sizeof(int32_t) * static_cast<size_t>(b_.n));
                }));
        break;
      case Kind::kPair:
        Install(u.target, CombineColumn(u.a, a_.rows, a_.n, u.b, b_.rows, b_.n));
        CountDown(side_a_, u.id_a);
        CountDown(side_b_, u.id_b);
        break;
    }
  }

 private:
  // The column that read filter `id` of the side stands: one use less, and at none left the source
  // gives the filter up. No worker looks the source's filters up (their addresses were taken
  // before the run) and the columns still to read this one hold uses of it, so the removal races
  // with nothing but other count-downs, which the write lock orders.
  static void CountDown(ConsumedSide* side, int id) {
    if (side == nullptr || !side->Active() || id < 1) return;
    TRealTable* source = side->table;
    WriteLock lock;
    for (int j = 0; j < side->n_filter; ++j) {
      if (side->all[j] != id) continue;
      if (side->uses[j] > 0 && --side->uses[j] == 0 && side->keep[static_cast<size_t>(j)] == 0) {
        for (int pos = 0; pos < source->FnFilter; ++pos) {
          TFilter* filter = source->FFilters[pos];
          if (filter->FFilterID != id) continue;
          memmove(source->FFilters + pos, source->FFilters + pos + 1,
                  sizeof(TFilter*) * static_cast<size_t>(source->FnFilter - pos - 1));
          source->FFilters[--source->FnFilter] = nullptr;
          // Under the lock: the filter's sorted views leave the source's sets as it goes.
          delete filter;
          break;
        }
      }
      return;
    }
  }

  std::vector<Unit> units_;
  Rows a_;
  Rows b_;
  ConsumedSide* side_a_;
  ConsumedSide* side_b_;
};

ConsumedSide MakeConsumedSide(TRealTable* table, int n_filter, const int* all, int* uses) {
  ConsumedSide side;
  if (all == nullptr || uses == nullptr) return side;
  side.table = table;
  side.n_filter = n_filter;
  side.all = all;
  side.uses = uses;
  side.keep.resize(static_cast<size_t>(n_filter > 0 ? n_filter : 0));
  for (int j = 0; j < n_filter; ++j) side.keep[static_cast<size_t>(j)] = IsJoinKey(table, all[j]) ? 1 : 0;
  return side;
}

// A find session whose filter a consuming combine gave up ends with it, as DropFilter ends it.
void CloseOrphanedFind(TRealTable* table) {
  if (table->FFindFilterID >= 0 && table->FilterID2Pos(table->FFindFilterID) < 0) table->CloseFind();
}

// ---- Condense ----

class CondenseRun : public ClaimedRun {
 public:
  explicit CondenseRun(TRealTable* table) : ClaimedRun(table->FnFilter), table_(table) {
    // Decided before the run, as workers replace lists: a list that another filter of the table
    // borrows keeps its numbering for that filter.
    lent_.assign(static_cast<size_t>(table->FnFilter), 0);
    for (int p = 0; p < table->FnFilter; ++p) {
      // A shared list is condensed through a copy, and copying a string list first compacts its
      // area in place: done here, once, so that workers copying one list only read it.
      TFilter* filter = table->FFilters[p];
      if (filter->VL != nullptr && filter->VL->GetDataType() == Q7_TYPE_STRING &&
          (filter->FSharedVL != 0 || ValueListHolders(filter->VL) > 1)) {
        static_cast<TStrArray*>(filter->VL)->Sweep();
      }
      for (int i = 0; i < table->FnFilter; ++i) {
        TFilter* other = table->FFilters[i];
        if (i != p && other->FSharedVL != 0 && other->VL == table->FFilters[p]->VL)
          lent_[static_cast<size_t>(p)] = 1;
      }
    }
  }

 protected:
  void Build(int i) override {
    const int rc = TRealTable::CondenseValueList(table_->FFilters[i], lent_[static_cast<size_t>(i)] != 0);
    if (rc < 0) throw CQ7Exception(rc);
  }

 private:
  TRealTable* table_;
  std::vector<uint8_t> lent_;
};

}  // namespace

// ---- Tasks ----

int mpp_combine_realtables(void* param) { return WorkOnClaims(param); }
int mpp_extract_realtables(void* param) { return WorkOnClaims(param); }
int mpp_condense_realtable(void* param) { return WorkOnClaims(param); }
int mpp_duplicate_realtable(void* param) { return WorkOnClaims(param); }

// ---- GenFilter2 ----

TFilter* GenFilter2(int id, char* name, int type, int n, int width, const void* data) {
  if (name == nullptr || !ToFileName(name)) throw CQ7Exception(Q7_ERROR_ILLEGAL_FILTER_NAME);
  if (type < Q7_TYPE_INTEGER || type > Q7_TYPE_DECIMAL) throw CQ7Exception(Q7_ERROR_INVALID_DATA_TYPE);
  // The copy below reads n elements of this width: anything else would read past the data.
  if (width != ValueTypeWidth(type) || n < 0 || n == INT32_MAX)
    throw CQ7Exception(Q7_ERROR_INVALID_UNIT_WIDTH);
  if (n > 0 && data == nullptr) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);

  const size_t unit = static_cast<size_t>(width);
  ZpkBlock<unsigned char> raw(unit * (static_cast<size_t>(n) + 1));
  switch (type) {
    case Q7_TYPE_INTEGER: {
      const int32_t null_value = INT32_MIN;
      memcpy(raw.get(), &null_value, unit);
      break;
    }
    case Q7_TYPE_STRING: {
      static const char kEmpty[] = "";
      const char* null_text = kEmpty;
      memcpy(raw.get(), &null_text, unit);
      break;
    }
    case Q7_TYPE_DECIMAL: {
      const Numeric nan = q7num::NanNumeric();
      memcpy(raw.get(), &nan, unit);
      break;
    }
    default: {
      const double minus_infinity = -HUGE_VAL;
      memcpy(raw.get(), &minus_infinity, unit);
      break;
    }
  }
  if (n > 0) memcpy(raw.get() + unit, data, unit * static_cast<size_t>(n));
  DerivedColumn column = CompileRaw(type, n + 1, std::move(raw));
  auto filter = std::make_unique<TFilter>(0, name);
  filter->FFilterID = id;
  Install(filter.get(), std::move(column));
  return filter.release();
}

// ---- Table level ----

int TRealTable::MppDuplicateRealTable(TRealTable* source) {
  source->CheckMergeFilterTVL(true);
  DuplicateRun run(source);
  RunClaims(run, kMppTaskDuplicateRealTable);
  for (int i = 0; i < source->FnFilter; ++i) {
    char work[TFilter::kNameSize];
    qz7_strlcpy(work, source->FFilters[i]->FFilterName, sizeof work);
    DerivedColumn& column = run.Column(i);
    const int id = AddFilter(i, work, column.numbers.get(), column.list.get(), false, 0, -1);
    if (id < 0) throw CQ7Exception(id);
    column.numbers.release();
    column.list.release();
  }
  return RegisterCopyOfAllRows(this, source, true);
}

void TRealTable::MppExtractRealTable(int set_id, TRealTable* source, int add_table_id, int add_rec_no,
                                     int* filter_ids) {
  source->CheckMergeFilterTVL(true);
  TSetArray* set = source->GetSet(set_id);
  if (set == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_SET);
  const int n = set->FArraySize;
  RegisterAllRows(this, n);

  std::vector<ExtractRun::Unit> units;
  int budget = kMaxFilters;
  if (add_table_id != 0) {
    units.push_back(
        {ExtractRun::Kind::kTableIDs, nullptr, AddPlaceholder(this, "#TABLE_ID", Q7_ERROR_INNER_ENGINE)});
    --budget;
  }
  if (add_rec_no != 0) {
    units.push_back(
        {ExtractRun::Kind::kRecNos, nullptr, AddPlaceholder(this, "#REC_NO", Q7_ERROR_INNER_ENGINE)});
    --budget;
  }
  for (int k = 0; k < budget && Entry(filter_ids, k) >= 1; ++k) {
    TFilter* filter = source->GetFilter(filter_ids[k]);
    if (filter == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
    units.push_back({ExtractRun::Kind::kListed, filter, AddPlaceholder(this, filter->FFilterName)});
  }
  ExtractRun run(std::move(units), source->FTableID, Elements(set), n);
  RunClaims(run, kMppTaskExtractRealTable);
}

void TRealTable::MppCombineRealTable(int add_table_id, int add_rec_no, int set_a, int* ids_a, TRealTable* a,
                                     int set_b, int* ids_b, TRealTable* b, int n_filter_a, int n_filter_b,
                                     int* all_a, int* all_b, int* uses_a, int* uses_b) {
  TSetArray* sa = a->GetSet(set_a);
  TSetArray* sb = sa != nullptr ? b->GetSet(set_b) : nullptr;
  if (sa == nullptr || sb == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_SOURCE_SET);
  const int n_a = sa->FArraySize;
  const int n_b = sb->FArraySize;
  if (int64_t{n_a} + n_b >= INT32_MAX) throw CQ7Exception(Q7_ERROR_ROW_SIZE_OVERFLOW);
  a->CheckMergeFilterTVL(true);
  if (b != a) b->CheckMergeFilterTVL(true);
  RegisterAllRows(this, n_a + n_b);

  const int extras = (add_table_id != 0 ? 1 : 0) + (add_rec_no != 0 ? 1 : 0);
  int pairs = 0;
  for (; pairs < kMaxFilters - extras; ++pairs) {
    const int fa = Entry(ids_a, pairs);
    const int fb = Entry(ids_b, pairs);
    if (fa < 1 && fb < 1) break;
    if (fa < 0 || fb < 0) throw CQ7Exception(Q7_ERROR_ILLEGAL_FILTER);
  }
  // Every filter is found and every pair's types checked here: the workers only read.
  std::vector<CombineRun::Unit> units;
  for (int i = 0; i < pairs; ++i) {
    const int id_a = Entry(ids_a, i);
    const int id_b = Entry(ids_b, i);
    TFilter* fa = id_a >= 1 ? a->GetFilter(id_a) : nullptr;
    TFilter* fb = id_b >= 1 ? b->GetFilter(id_b) : nullptr;
    if ((id_a >= 1 && fa == nullptr) || (id_b >= 1 && fb == nullptr))
      throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
    if (fa != nullptr && fb != nullptr && BasicListType(fa) != BasicListType(fb))
      throw CQ7Exception(Q7_ERROR_FILTER_TYPE_MISMATCH);
    units.push_back({CombineRun::Kind::kPair, fa, fb, id_a, id_b, nullptr});
  }

  std::vector<CombineRun::Unit> all_units;
  if (add_table_id != 0) {
    all_units.push_back(
        {CombineRun::Kind::kTableIDs, nullptr, nullptr, 0, 0, AddPlaceholder(this, "TableID")});
  }
  if (add_rec_no != 0) {
    TFilter* rec_nos = AddPlaceholder(this, "RecNo");
    // This form keeps the name as requested (the naming rule would make it "RECNO"); no other
    // column carries it, since the rule renames every later "RecNo" seed.
    qz7_strlcpy(rec_nos->FFilterName, "RecNo", sizeof rec_nos->FFilterName);
    all_units.push_back({CombineRun::Kind::kRecNos, nullptr, nullptr, 0, 0, rec_nos});
  }
  for (CombineRun::Unit& u : units) {
    u.target = AddPlaceholder(this, (u.a != nullptr ? u.a : u.b)->FFilterName);
    all_units.push_back(u);
  }

  ConsumedSide side_a = MakeConsumedSide(a, n_filter_a, all_a, uses_a);
  ConsumedSide side_b = MakeConsumedSide(b, n_filter_b, all_b, uses_b);
  CombineRun run(std::move(all_units), {Elements(sa), n_a, a->FTableID}, {Elements(sb), n_b, b->FTableID},
                 &side_a, &side_b);
  try {
    RunClaims(run, kMppTaskCombineRealTable);
  } catch (...) {
    CloseOrphanedFind(a);
    CloseOrphanedFind(b);
    throw;
  }
  CloseOrphanedFind(a);
  CloseOrphanedFind(b);
}

int TRealTable::MppCondenseTable() {
  try {
    CheckMergeFilterTVL(true);
    // The arrays of a shared table are other processes' too (or lie in a read-only image).
    if (FShmImage != 0 || isQ7TShared()) return 0;
    CondenseRun run(this);
    RunClaims(run, kMppTaskCondenseRealTable);
    return 0;
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  } catch (...) {
    return Q7_ERROR_UNKNOWN;
  }
}

// ---- Collection level ----

int TTableCollection::MppDuplicateRealTable(char* name, int source_id) {
  return DuplicateRealTableWith(&TRealTable::MppDuplicateRealTable, name, source_id);
}

int TTableCollection::MppExtractRealTable(char* name, int source_id, int set_id, int add_table_id,
                                          int add_rec_no, int* filter_ids) {
  return ExtractRealTableWith(&TRealTable::MppExtractRealTable, name, source_id, set_id, add_table_id,
                              add_rec_no, filter_ids);
}

int TTableCollection::MppCombineRealTable(char* name, int add_table_id, int add_rec_no, int table_a,
                                          int set_a, int* ids_a, int table_b, int set_b, int* ids_b,
                                          int consume_sources) {
  return CombineRealTableWith(&TRealTable::MppCombineRealTable, nullptr, name, add_table_id, add_rec_no,
                              table_a, set_a, ids_a, table_b, set_b, ids_b, consume_sources);
}
