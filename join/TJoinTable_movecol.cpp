// Moving a slave column into the master table with the master records filled on the worker pool.
#include <atomic>
#include <cstdint>
#include <memory>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "foundation/CQ7Exception.h"
#include "foundation/mpp_tasks.h"
#include "join/ItemTransfer.h"
#include "join/JoinInOut.h"
#include "join/TJoinTable.h"
#include "kernels/KernelPool.h"
#include "values/TBaseArray.h"
#include "values/TIntArray.h"

namespace {

struct ItemTransferParam {
  MppParamHeader header;
  int start;
  int end;
  const int* masterRows;  // set 1's master rows
  ItemTransfer rule;
  int* out;  // records + 1 value numbers
};

inline int Get(const int* a, int64_t count, int64_t i, int fallback) {
  return (a == nullptr || i < 0 || i >= count) ? fallback : a[i];
}

inline void ChunkOf(int t, int workers, int n, int* start, int* end) {
  const int chunk = n / workers;
  *start = t * chunk;
  *end = (t == workers - 1) ? n : (t + 1) * chunk;
}

int* Data(TIntArray* a) { return a != nullptr ? a->PIntAr() : nullptr; }
int Count(const TIntArray* a) { return a != nullptr ? a->FArraySize : 0; }

}  // namespace

ItemTransfer MakeItemTransfer(const JoinSetEntry& e, TIntArray* master_vno, TIntArray* slave_vno,
                              int n_values, int records) {
  ItemTransfer rule{};
  rule.master_vno = Data(master_vno);
  rule.master_vno_count = Count(master_vno);
  rule.group_start = Data(e.projection[1]);
  rule.n_groups = e.projection[1] != nullptr ? e.projection[1]->FArraySize - 1 : 0;
  rule.partners = Data(e.rows[1]);
  rule.n_partners = Count(e.rows[1]);
  rule.slave_vno = Data(slave_vno);
  rule.slave_vno_count = Count(slave_vno);
  rule.n_values = n_values;
  rule.records = records;
  return rule;
}

int TransferredValue(const ItemTransfer& p, int r) {
  if (r < 1 || r > p.records) return -1;
  const int v = Get(p.master_vno, p.master_vno_count, r, -1);
  if (v < 0 || v >= p.n_groups) return -1;
  const int start = Get(p.group_start, int64_t{p.n_groups} + 1, v, 0);
  // A key value without slave partner (an outer join's) leaves the record NULL.
  if (start >= Get(p.group_start, int64_t{p.n_groups} + 1, int64_t{v} + 1, 0)) return -1;
  const int slave_record = Get(p.partners, p.n_partners, start, 0);
  if (slave_record < 1) return -1;
  const int value = Get(p.slave_vno, p.slave_vno_count, slave_record, 0);
  return value >= 0 && value < p.n_values ? value : 0;
}

int mpp_item_transfer(void* param) {
  return TaskFrame([&] {
    const auto* p = static_cast<const ItemTransferParam*>(param);
    for (int i = p->start; i < p->end; ++i) {
      const int r = p->masterRows[i];
      const int value = TransferredValue(p->rule, r);
      // A master set built from a host's rows may name a record twice, in two workers' chunks:
      // both write the same value number.
      if (value >= 0) std::atomic_ref<int>(p->out[r]).store(value, std::memory_order_relaxed);
    }
    return 0;
  });
}

int TJoinTable::MppMoveSlaveFlt2Master(int slave_filter_id) {
  TFilter* source = nullptr;
  if (FSlaveTable != nullptr) {
    // Looked up quietly: this form returns its refusals without a ring entry.
    const int pos = FSlaveTable->FilterID2Pos(slave_filter_id);
    if (pos >= 0) source = FSlaveTable->FFilters[pos];
  }
  if (source == nullptr || FMasterTable == nullptr) return Q7_ERROR_NO_SUCH_FILTER;
  char seed[kNameSize];
  char name[kNameSize];
  qz7_strlcpy(seed, source->FFilterName, kNameSize);
  if (FMasterTable->GenFilterName(seed, name) < 0) return Q7_ERROR_ILLEGAL_FILTER_NAME;
  // The value numbers are read as they stand: pending ones must be folded in first.
  source->MergeTVL(true);

  const JoinSetEntry& e = FEntries[0];
  TIntArray* master_vno = FMasterKeyFilter != nullptr ? FMasterKeyFilter->PV : nullptr;
  const int records = FMasterTable->TotalRecs();
  auto vno = std::make_unique<TIntArray>(records + 1, 1);
  std::unique_ptr<TBaseArray> list(source->VL->CopyArray());

  const int n_master = master_vno != nullptr ? Count(e.rows[0]) : 0;
  const int workers = KernelThreads(n_master);
  const ItemTransfer rule =
      MakeItemTransfer(e, master_vno, source->PV, static_cast<int>(list->FArraySize), records);
  for (int t = 0; t < workers; ++t) {
    ItemTransferParam* p = PoolParam<ItemTransferParam>(t);
    ChunkOf(t, workers, n_master, &p->start, &p->end);
    p->masterRows = Data(e.rows[0]);
    p->rule = rule;
    p->out = vno->PIntAr();
  }
  if (n_master > 0) RunKernelTask(workers, kMppTaskItemTransfer);

  const int id =
      FMasterTable->AddFilter(TRealTable::kAppendPosition, name, vno.get(), list.get(), false, 0, -1);
  if (id < 0) throw CQ7Exception(id);
  vno.release();
  list.release();
  return id;
}
