// Turning one set of a join table into a new real table: one record per joined row, in the set's
// order, with the master and the slave record numbers when asked, then the listed join columns.
//
// The serial form (ConvertJoinToReal, AddRealized) and the parallel form (MppConvertJoinToReal,
// MppAddRealized) share the resolution of the joined rows and the gathering of the columns, both
// on the pool; they differ where their callers see a difference: how the record-number columns are
// compiled, how the join columns are named, how many listed columns are read, and whether the new
// table is condensed.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "database/DerivedColumns.h"
#include "database/MppDerive.h"
#include "database/NoSuchTexts.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/ErrorRing.h"
#include "foundation/ZpkAllocator.h"
#include "foundation/mpp_tasks.h"
#include "join/JoinRealize.h"
#include "join/JoinRecordKernels.h"
#include "join/TJoinTable.h"
#include "kernels/KernelPool.h"
#include "q7api.h"
#include "values/ArrayFunctions.h"
#include "values/TBaseArray.h"
#include "values/TIntArray.h"
#include "values/ZpkBlock.h"

namespace {

// ---- Runs on the pool ----

class RealizeRun {
 public:
  RealizeRun() = default;
  virtual ~RealizeRun() = default;
  RealizeRun(const RealizeRun&) = delete;
  RealizeRun& operator=(const RealizeRun&) = delete;
  // The body of worker `worker`; throws CQ7Exception on failure.
  virtual int Work(int worker) = 0;
};

struct RealizeParam {
  MppParamHeader header;
  RealizeRun* run;
};

void RunOnPool(RealizeRun& run, int workers) {
  if (workers < 1) return;
  for (int t = 0; t < workers; ++t) PoolParam<RealizeParam>(t)->run = &run;
  RunKernelTask(workers, kMppTaskRealizeJoinTable);
}

[[noreturn]] void ThrowOutOfRange() { throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE); }

int Count(const TIntArray* set) { return set != nullptr ? static_cast<int>(set->FArraySize) : 0; }
const int* Data(TIntArray* set) { return Count(set) > 0 ? set->PIntAr() : nullptr; }

// ---- The joined rows ----

// What resolves the joined rows of a set: the driving side's records, the first joined row of each
// and the key value number of every record, and the partner side's records grouped by key value.
struct Pairing {
  int n = 0;     // joined rows
  int side = 0;  // the driving side: 0 master, 1 slave
  const int* driving = nullptr;
  int n_driving = 0;
  const int* starts = nullptr;  // n_driving entries at least
  const int* key = nullptr;     // by record
  int n_key = 0;
  const int* groups = nullptr;  // by key value number
  int n_groups = 0;
  const int* partners = nullptr;
  int n_partners = 0;
};

// Fills master[j] and slave[j] for the joined rows of each worker's chunk. Every index is checked:
// the arrays of a set may come from a file or an image, and a row that does not resolve must not
// read past them.
class RecordRun : public RealizeRun {
 public:
  RecordRun(const Pairing& p, int* master, int* slave, int workers)
      : p_(p), master_(master), slave_(slave), workers_(workers) {}

  int Work(int worker) override {
    const int begin = static_cast<int>(int64_t{p_.n} * worker / workers_);
    const int end = static_cast<int>(int64_t{p_.n} * (worker + 1) / workers_);
    if (begin >= end) return 0;
    int* own = p_.side == 0 ? master_ : slave_;
    int* other = p_.side == 0 ? slave_ : master_;
    // The row that starts the chunk is found once; from there the driving row only moves on.
    int k = FindLoc(begin, p_.n_driving, p_.starts);
    for (int j = begin; j < end; ++j) {
      while (k < p_.n_driving - 1 && j >= p_.starts[k + 1]) ++k;
      const int record = p_.driving[k];
      if (record < 0 || record >= p_.n_key) ThrowOutOfRange();
      const int v = p_.key[record];
      if (v < 0 || v >= p_.n_groups) ThrowOutOfRange();
      const int64_t at = int64_t{p_.groups[v]} + (int64_t{j} - p_.starts[k]);
      if (at < 0 || at >= p_.n_partners) ThrowOutOfRange();
      own[j] = record;
      other[j] = p_.partners[at];
    }
    return 0;
  }

 private:
  Pairing p_;
  int* master_;
  int* slave_;
  int workers_;
};

// ---- The columns ----

// What a join column's new value list is: the source's own (borrowed), a whole copy, or a copy of
// the entries the rows use and the NULL (what condensing the new table would leave).
enum class ListMode { kShare, kCopy, kCondense };

// The value numbers of `filter` at the records (record 0, no record on this side, is NULL), with
// the value list `mode` asks for (none for kShare). Runs on a worker: the source is only read.
DerivedColumn GatherColumn(TFilter* filter, const int* records, int n, ListMode mode) {
  if (filter->PV == nullptr || filter->VL == nullptr) throw CQ7Exception(Q7_ERROR_ILLEGAL_ARRAY_DATA);
  const int type = ArrayDataType(filter->VL);
  const bool condense = mode == ListMode::kCondense && (type == Q7_TYPE_INTEGER || type == Q7_TYPE_DOUBLE ||
                                                        type == Q7_TYPE_STRING || type == Q7_TYPE_DECIMAL);
  DerivedColumn column;
  column.numbers = std::make_unique<TIntArray>(n + 1, 0);
  int* out = column.numbers->PIntAr();
  out[0] = 0;
  ++out;
  const int* pv = filter->PV->PIntAr();
  const int last_record = filter->PV->FArraySize - 1;
  const int entries = filter->VL->FArraySize;
  // Every list holds its NULL entry, which a row without a record on this side takes.
  if (n > 0 && entries < 1) throw CQ7Exception(Q7_ERROR_ILLEGAL_ARRAY_DATA);
  // used[v]: some row holds value number v; the NULL stays even when no row holds it.
  ZpkVector<int> used(condense ? static_cast<size_t>(entries) : 0, 0);
  if (condense && entries > 0) used[0] = 1;
  for (int r = 0; r < n; ++r) {
    const int record = records[r];
    int v = 0;  // record 0: no record on this side
    if (record != 0) {
      if (record < 0 || record > last_record) ThrowOutOfRange();
      v = pv[record];
      if (v < 0 || v >= entries) throw CQ7Exception(Q7_ERROR_ILLEGAL_ARRAY_DATA);
    }
    out[r] = v;
    if (condense) used[static_cast<size_t>(v)] = 1;
  }
  if (mode == ListMode::kShare) return column;
  if (!condense) {
    column.list = SelectValueList(filter->VL, nullptr);
    return column;
  }
  column.list = SelectValueList(filter->VL, used.data());
  if (column.list->FArraySize == entries) return column;
  // used[v] becomes v's number among the kept entries.
  int next = 0;
  for (int& u : used) u = u != 0 ? next++ : 0;
  for (int r = 0; r < n; ++r) out[r] = used[static_cast<size_t>(out[r])];
  return column;
}

struct ColumnUnit {
  enum class Kind { kMasterRecNo, kSlaveRecNo, kJoin };
  Kind kind = Kind::kJoin;
  int side = 0;               // kJoin: 0 master, 1 slave
  TFilter* source = nullptr;  // kJoin: the join's source filter
  int origin = 0;             // the new filter's origin filter ID
  std::string name;
  DerivedColumn column;             // kJoin, once built
  std::unique_ptr<TFilter> filter;  // record numbers (parallel form), once built
};

// Builds each unit once, whatever the worker count: worker w looks at units w, w + 1, ... and
// builds those it claims under the engine's write lock (the build runs without it).
class ColumnRun : public RealizeRun {
 public:
  ColumnRun(std::vector<ColumnUnit>* units, const int* master, const int* slave, int n, ListMode mode)
      : units_(units), claimed_(units->size(), 0), master_(master), slave_(slave), n_(n), mode_(mode) {}

  int Work(int worker) override {
    for (size_t i = static_cast<size_t>(worker); i < units_->size(); ++i) {
      if (!Claim(i)) continue;
      try {
        Build((*units_)[i], static_cast<int>(i));
      } catch (...) {
        failed_.store(true, std::memory_order_relaxed);
        throw;
      }
    }
    return 0;
  }

 private:
  bool Claim(size_t i) {
    // After a failure the pool rethrows it whatever else is built.
    if (failed_.load(std::memory_order_relaxed)) return false;
    CSmpEngine* engine = CSmpEngine::Instance();
    engine->mt_write_lock();
    const bool mine = claimed_[i] == 0;
    claimed_[i] = 1;
    engine->mt_write_unlock();
    return mine;
  }

  void Build(ColumnUnit& u, int position) {
    switch (u.kind) {
      case ColumnUnit::Kind::kMasterRecNo:
      case ColumnUnit::Kind::kSlaveRecNo: {
        char name[TFilter::kNameSize];
        qz7_strlcpy(name, u.name.c_str(), sizeof name);
        const int* records = u.kind == ColumnUnit::Kind::kMasterRecNo ? master_ : slave_;
        u.filter.reset(GenFilter2(position + 1, name, Q7_TYPE_INTEGER, n_, 4, records));
        break;
      }
      case ColumnUnit::Kind::kJoin:
        u.column = GatherColumn(u.source, u.side == 0 ? master_ : slave_, n_, mode_);
        break;
    }
  }

  std::vector<ColumnUnit>* units_;
  std::vector<uint8_t> claimed_;
  const int* master_;
  const int* slave_;
  int n_;
  ListMode mode_;
  std::atomic<bool> failed_{false};
};

// ---- The conversion ----

struct Request {
  TJoinTable* join;
  int set_id;
  bool master_rec_no;
  bool slave_rec_no;
  const int* filter_ids;  // null: no listed column
  bool share;
};

enum class Form { kSerial, kParallel };

int ListedID(const int* ids, int k) { return ids != nullptr ? ids[k] : 0; }

// Resolves every joined row of the set into master[] and slave[] (n entries each).
void ResolveRecords(TJoinTable* join, int set_id, int side, int n, int* master, int* slave) {
  TSetArray* own = join->GetSet(set_id);
  if (own == nullptr) throw CQ7Exception(Q7_ERROR_NO_JOIN_SET);
  TSetArray* other = join->GetSlaveSet(set_id);
  if (other == nullptr) throw CQ7Exception(Q7_ERROR_NO_SLAVE_SET);
  TSetArray* own_projection = nullptr;
  TSetArray* other_projection = nullptr;
  if (join->GetProjectionSets(set_id, &own_projection, &other_projection) < 0)
    throw CQ7Exception(Q7_ERROR_PROJECTION_FAILED);
  if (n == 0) return;
  if (own_projection == nullptr || other_projection == nullptr)
    throw CQ7Exception(Q7_ERROR_PROJECTION_FAILED);

  TFilter* key = side == 0 ? join->FMasterKeyFilter : join->FSlaveKeyFilter;
  Pairing p;
  p.n = n;
  p.side = side;
  p.driving = Data(own);
  p.n_driving = Count(own);
  p.starts = Data(own_projection);
  p.key = key != nullptr && key->PV != nullptr ? Data(key->PV) : nullptr;
  p.n_key = key != nullptr ? Count(key->PV) : 0;
  p.groups = Data(other_projection);
  p.n_groups = Count(other_projection);
  p.partners = Data(other);
  p.n_partners = Count(other);
  if (p.n_driving < 1 || Count(own_projection) < p.n_driving || p.key == nullptr) ThrowOutOfRange();
  const int workers = KernelThreads(n);
  RecordRun run(p, master, slave, workers);
  RunOnPool(run, workers);
}

// Fills the empty table from the join set. `condense`: the serial form's lists keep only what the
// rows use (a shared list is never condensed: it belongs to the source table).
void FillFromJoin(TRealTable* table, const Request& rq, Form form, bool condense) {
  TJoinTable* join = rq.join;
  int* source_ids = nullptr;
  int* source_tables = nullptr;
  int* source_filters = nullptr;
  join->GetJoinSrcInfo(&source_ids, &source_tables, &source_filters);

  int set_id = rq.set_id;
  if (set_id < 0) {
    set_id = join->GetCurrentSetID();
  } else if (join->SetID2Pos(set_id) < 0) {
    throw CQ7Exception(Q7_ERROR_NO_SUCH_SET);
  }
  int side = 0;
  int opposite = 1;
  join->FixMasterSlave(set_id, &side, &opposite);
  const int n = join->GetSetSize(set_id);
  if (n < 0) throw CQ7Exception(Q7_ERROR_NO_SUCH_SET);
  RegisterAllRows(table, n);

  const size_t slots = static_cast<size_t>(n > 0 ? n : 1);
  ZpkBlock<int> master(slots);
  ZpkBlock<int> slave(slots);
  ResolveRecords(join, set_id, side, n, master.get(), slave.get());

  // The plan: record-number columns first (master, then slave), then the listed join columns.
  std::vector<ColumnUnit> units;
  const int rec_columns = (rq.master_rec_no ? 1 : 0) + (rq.slave_rec_no ? 1 : 0);
  int listed_cap = TRealTable::kMaxFilters - rec_columns;
  if (form == Form::kParallel) listed_cap = std::min(listed_cap, join->GetNFilter());
  if (form == Form::kParallel) {
    if (rq.master_rec_no) units.push_back({ColumnUnit::Kind::kMasterRecNo, 0, nullptr, 0, "MRecNo", {}, {}});
    if (rq.slave_rec_no) units.push_back({ColumnUnit::Kind::kSlaveRecNo, 1, nullptr, 0, "SRecNo", {}, {}});
  } else {
    // The serial form compiles these on the calling thread (the compile drives the pool itself);
    // they come first in the table, so they are added before any join column.
    const std::pair<bool, const int*> rec_nos[] = {{rq.master_rec_no, master.get()},
                                                   {rq.slave_rec_no, slave.get()}};
    const char* names[] = {"MRecNo", "SRecNo"};
    for (int i = 0; i < 2; ++i) {
      if (!rec_nos[i].first) continue;
      char name[TFilter::kNameSize];
      qz7_strlcpy(name, names[i], sizeof name);
      if (table->AddFilter2(TRealTable::kAppendPosition, name, Q7_TYPE_INTEGER, n, 4, rec_nos[i].second, 0,
                            0) < 0) {
        throw CQ7Exception(Q7_ERROR_NO_WORK_AREA);
      }
    }
  }
  for (int k = 0; k < listed_cap && ListedID(rq.filter_ids, k) >= 1; ++k) {
    const int id = rq.filter_ids[k];
    int column_side = -1;
    if (join->JFilterID2Pos(id, &column_side) < 0) throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
    TFilter* source = join->GetFilter(id);
    if (source == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
    // Rows still pending read through the source's pending list: folded in first, so that every
    // record holds a number of the list that is gathered or shared.
    source->MergeTVL(true);
    const char* join_name = form == Form::kParallel ? join->GetJoinFilterName(id) : nullptr;
    units.push_back({ColumnUnit::Kind::kJoin,
                     column_side,
                     source,
                     source_filters[id - 1],
                     join_name != nullptr ? join_name : source->FFilterName,
                     {},
                     {}});
  }

  const ListMode mode = rq.share ? ListMode::kShare : condense ? ListMode::kCondense : ListMode::kCopy;
  ColumnRun run(&units, master.get(), slave.get(), n, mode);
  RunOnPool(run, std::min(static_cast<int>(units.size()), KernelActiveThreads()));
  master.Reset();
  slave.Reset();

  for (ColumnUnit& u : units) {
    if (u.kind != ColumnUnit::Kind::kJoin) {
      table->FFilters[table->FnFilter++] = u.filter.release();
      table->FLastFilterID = table->FnFilter;
      continue;
    }
    TIntArray* numbers = u.column.numbers.get();
    TBaseArray* list = rq.share ? u.source->VL : u.column.list.get();
    if (form == Form::kSerial) {
      char seed[TFilter::kNameSize];
      char unique[TFilter::kNameSize];
      qz7_strlcpy(seed, u.name.c_str(), sizeof seed);
      if (table->GenFilterName(seed, unique) < 0) throw CQ7Exception(Q7_ERROR_CONVERT_JOIN_FAILED);
      const int id =
          table->AddFilter(TRealTable::kAppendPosition, unique, numbers, list, rq.share, 0, u.origin);
      if (id < 0) throw CQ7Exception(id);
    } else {
      char name[TFilter::kNameSize];
      qz7_strlcpy(name, u.name.c_str(), sizeof name);
      auto filter = std::make_unique<TFilter>(table->FnFilter + 1, name);
      // The join's column names are unique among its columns only: one that a record-number
      // column took already gets the table's next free form.
      if (table->FilterName2Pos(filter->FFilterName) >= 0) {
        char unique[TFilter::kNameSize];
        if (table->GenFilterName(name, unique) < 0) throw CQ7Exception(Q7_ERROR_CONVERT_JOIN_FAILED);
        qz7_strlcpy(filter->FFilterName, unique, sizeof filter->FFilterName);
      }
      filter->PV = u.column.numbers.release();
      if (rq.share) {
        filter->BorrowValueList(list);
      } else {
        filter->VL = u.column.list.release();
      }
      filter->FOrgFltID = u.origin;
      table->FFilters[table->FnFilter++] = filter.release();
      table->FLastFilterID = table->FnFilter;
    }
    // The table owns both arrays now (a shared list stays the source's).
    u.column.numbers.release();
    u.column.list.release();
  }
}

int AddRealizedWith(TTableCollection* db, Form form, char* name, int join_table, int set_id,
                    bool master_rec_no, bool slave_rec_no, int* filter_ids, bool share) {
  const bool serial = form == Form::kSerial;
  if (db->Full()) return Q7_ERROR_TABLE_COUNT_OVERFLOW;
  TBaseTable* source = db->GetTable(join_table);
  if (source == nullptr) {
    if (serial) {
      PutErrorLog("AddRealized", Q7_ERROR_NO_SUCH_TABLE, NoSuchTableText(join_table, Blank::kTrailing));
    }
    return Q7_ERROR_NO_SUCH_TABLE;
  }
  if (source->GetType() != TBaseTable::kTypeJoin) {
    if (serial) PutErrorLog("AddRealized", Q7_ERROR_NOT_JOIN_TYPE, "Illegal table type ( Not JOIN )");
    return Q7_ERROR_NOT_JOIN_TYPE;
  }
  // The ID is taken before the build: a table that fails to build leaves it unused.
  const int id = db->IssueTableID();
  std::unique_ptr<TRealTable> table(new (std::nothrow) TRealTable(id, name, db));
  if (table == nullptr) throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  const Request rq{static_cast<TJoinTable*>(source), set_id, master_rec_no, slave_rec_no, filter_ids, share};
  FillFromJoin(table.get(), rq, form, serial);
  db->AppendTable(table.release());
  return id;
}

}  // namespace

int mpp_realize_jointable(void* param) {
  return TaskFrame([&] {
    auto* p = static_cast<RealizeParam*>(param);
    return p->run->Work(p->header.index);
  });
}

void TRealTable::ConvertJoinToReal(TJoinTable* join, int set_id, bool add_master_rec_no,
                                   bool add_slave_rec_no, int* filter_ids, bool share_value_lists) {
  FillFromJoin(this, {join, set_id, add_master_rec_no, add_slave_rec_no, filter_ids, share_value_lists},
               Form::kSerial, false);
}

void TRealTable::MppConvertJoinToReal(TJoinTable* join, int set_id, bool add_master_rec_no,
                                      bool add_slave_rec_no, int* filter_ids, bool share_value_lists) {
  FillFromJoin(this, {join, set_id, add_master_rec_no, add_slave_rec_no, filter_ids, share_value_lists},
               Form::kParallel, false);
}

int TTableCollection::AddRealized(char* name, int join_table, int set_id, bool add_master_rec_no,
                                  bool add_slave_rec_no, int* filter_ids, bool share_value_lists) {
  return AddRealizedWith(this, Form::kSerial, name, join_table, set_id, add_master_rec_no, add_slave_rec_no,
                         filter_ids, share_value_lists);
}

int TTableCollection::MppAddRealized(char* name, int join_table, int set_id, bool add_master_rec_no,
                                     bool add_slave_rec_no, int* filter_ids, bool share_value_lists) {
  return AddRealizedWith(this, Form::kParallel, name, join_table, set_id, add_master_rec_no, add_slave_rec_no,
                         filter_ids, share_value_lists);
}
