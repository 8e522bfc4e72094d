// Semi-join filtering between two real tables by an INTEGER key, serial and on the worker pool.
#include "join/JoinInOut.h"

#include <atomic>
#include <cstdint>
#include <cstring>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/mpp_tasks.h"
#include "kernels/KernelPool.h"
#include "values/CCompiler.h"
#include "values/MppCompile.h"
#include "values/TBaseArray.h"
#include "values/TIntArray.h"
#include "values/ZpkBlock.h"

namespace {

// A value list compiled from the values of a set's rows: ascending, distinct, and (when asked)
// each row's index into it.
struct CompiledKeys {
  ZpkBlock<int32_t> list;
  ZpkBlock<int32_t> rows;
  int count = 0;
};

// A set's rows read through a key filter: value numbers and the INTEGER list they index. Every
// read is bounds-checked, so a damaged set or filter throws instead of reading past an array.
class KeyColumn {
 public:
  explicit KeyColumn(const InOutSide& side)
      : vno_(side.key->PV->PIntAr()),
        vno_count_(side.key->PV->FArraySize),
        values_(static_cast<const int32_t*>(side.key->VL->FData)),
        value_count_(side.key->VL->FArraySize) {}

  int ValueCount() const { return value_count_; }
  const int32_t* Values() const { return values_; }
  const int* Vno() const { return vno_; }
  int VnoCount() const { return vno_count_; }

  int ValueNumber(int row) const {
    if (static_cast<uint32_t>(row) >= static_cast<uint32_t>(vno_count_))
      throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
    const int v = vno_[row];
    if (static_cast<uint32_t>(v) >= static_cast<uint32_t>(value_count_))
      throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
    return v;
  }
  int32_t Value(int row) const { return values_[ValueNumber(row)]; }

 private:
  const int* vno_;
  int vno_count_;
  const int32_t* values_;
  int value_count_;
};

// Compiles the key values of n rows into an ascending distinct list; with `with_rows` also keeps
// each row's index into it.
CompiledKeys CompileRows(const KeyColumn& column, const int* rows, int n, bool with_rows, bool parallel) {
  ZpkBlock<int32_t> raw(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) raw[i] = column.Value(rows[i]);
  int* numbers = nullptr;
  void* list = nullptr;
  int count = 0;
  if (parallel) {
    MppCompile(n, 2, 4, raw.get(), &numbers, &count, &list);
  } else {
    Compile(n, 2, 4, raw.get(), &numbers, &count, &list);
  }
  CompiledKeys out;
  out.list.Reset(static_cast<int32_t*>(list));
  out.rows.Reset(numbers);
  out.count = count;
  if (!with_rows) out.rows.Reset();
  return out;
}

// ---- Task 24: flags the value numbers of a chunk of set B's rows ----

struct JoinInOutParam {
  MppParamHeader header;
  int start;
  int end;
  const int* rows;
  const int* vno;
  int vno_count;
  uint8_t* flags;  // shared by every worker; only ever set to 1
  int n_flags;
  int newly_set;  // out: flags this worker found clear and set (a hint, never relied on)
};

inline void ChunkOf(int t, int workers, int n, int* start, int* end) {
  const int chunk = n / workers;
  *start = t * chunk;
  *end = (t == workers - 1) ? n : (t + 1) * chunk;
}

// Flags every value number that a row of set B holds, one byte per entry of B's value list.
ZpkBlock<uint8_t> FlagValues(const KeyColumn& column, const TSetArray* set, bool parallel) {
  const int n_flags = column.ValueCount();
  ZpkBlock<uint8_t> flags(static_cast<size_t>(n_flags > 0 ? n_flags : 1));
  std::memset(flags.get(), 0, static_cast<size_t>(n_flags > 0 ? n_flags : 1));
  const int m = set->FArraySize;
  const int* rows = const_cast<TSetArray*>(set)->PIntAr();
  if (!parallel) {
    for (int i = 0; i < m; ++i) flags[column.ValueNumber(rows[i])] = 1;
    return flags;
  }
  const int workers = KernelThreads(m);
  for (int t = 0; t < workers; ++t) {
    JoinInOutParam* p = PoolParam<JoinInOutParam>(t);
    ChunkOf(t, workers, m, &p->start, &p->end);
    p->rows = rows;
    p->vno = column.Vno();
    p->vno_count = column.VnoCount();
    p->flags = flags.get();
    p->n_flags = n_flags;
    p->newly_set = 0;
  }
  RunKernelTask(workers, kMppTaskJoinInOut);
  return flags;
}

// K: the ascending distinct key values among set B's rows. A value list much longer than the set
// is not worth a flag per entry: the rows' values are compiled instead.
CompiledKeys ValuesOfB(const InOutSide& b, bool parallel) {
  const KeyColumn column(b);
  const int m = b.set->FArraySize;
  if (column.ValueCount() / 8 >= m) return CompileRows(column, b.set->PIntAr(), m, false, parallel);
  ZpkBlock<uint8_t> flags = FlagValues(column, b.set, parallel);
  int count = 0;
  for (int v = 0; v < column.ValueCount(); ++v) count += flags[v];
  CompiledKeys out;
  out.list = ZpkBlock<int32_t>(static_cast<size_t>(count > 0 ? count : 1));
  for (int v = 0; v < column.ValueCount(); ++v) {
    if (flags[v] != 0) out.list[out.count++] = column.Values()[v];
  }
  return out;
}

// marks[i] = 1 where list[i] occurs in k, else 0; both ascending and distinct: one merge pass.
void MarkCommon(const int32_t* list, int n, const int32_t* k, int k_count, uint8_t* marks) {
  int j = 0;
  for (int i = 0; i < n; ++i) {
    while (j < k_count && k[j] < list[i]) ++j;
    marks[i] = (j < k_count && k[j] == list[i]) ? 1 : 0;
  }
}

// Keeps, in order, the rows of s whose flag equals `keep`.
void Compact(TSetArray* s, uint8_t keep, const uint8_t* row_flags) {
  int* rows = s->PIntAr();
  const int n = s->FArraySize;
  int kept = 0;
  for (int i = 0; i < n; ++i) {
    if (row_flags[i] == keep) rows[kept++] = rows[i];
  }
  s->SetArraySize(kept);
}

}  // namespace

bool IsIntegerKey(const TFilter* key) {
  return key != nullptr && key->VL != nullptr && key->PV != nullptr && key->VL->GetDataType() == 2;
}

int FindInOutSide(int table_id, int set_id, int key_id, InOutSide* side) {
  TTableCollection* db = CSmpEngine::Instance()->Database();
  const int loc = db != nullptr ? db->ID2Loc(table_id) : Q7_ERROR_NO_SUCH_TABLE;
  if (loc < 0) return Q7_ERROR_NO_SUCH_TABLE;
  TBaseTable* table = db->TableAt(loc);
  if (table->GetType() != TBaseTable::kTypeReal) return Q7_ERROR_NOT_REAL_TABLE;
  auto* real = static_cast<TRealTable*>(table);
  // Looked up quietly: the tables' own lookups record entries that this form does not make.
  const int id = set_id < 0 ? real->FCurrentSetID : set_id;
  TSetArray* set = nullptr;
  for (int pos = 0; pos < real->FnSet && set == nullptr; ++pos) {
    if (real->FSetIDs[pos] == id) set = real->FSets[pos];
  }
  if (set == nullptr) return Q7_ERROR_NO_SUCH_SET;
  const int filter_pos = real->FilterID2Pos(key_id);
  if (filter_pos < 0) return Q7_ERROR_NO_SUCH_FILTER;
  TFilter* key = real->FFilters[filter_pos];
  if (!IsIntegerKey(key)) return Q7_ERROR_INVALID_DATA_TYPE;
  *side = InOutSide{real, set, key};
  return 0;
}

int ExtractInOutSet(const InOutSide& a, const InOutSide& b, int mode, bool parallel) {
  // Pending values leave negative value numbers behind; the lists are read as they stand below.
  a.table->CheckMergeFilterTVL(true);
  if (b.table != a.table) b.table->CheckMergeFilterTVL(true);

  const int result = a.table->AddSet(a.set);
  if (result < 0) return result;
  TSetArray* s = a.table->GetSet(result);
  if (s == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_SET);

  if (b.set->FArraySize == 0) {
    if (mode != 0) s->SetArraySize(0);
    return result;
  }
  const int n = s->FArraySize;
  if (n == 0) return result;

  const CompiledKeys k = ValuesOfB(b, parallel);
  const KeyColumn column(a);
  ZpkBlock<uint8_t> row_flags(static_cast<size_t>(n));
  const int* rows = s->PIntAr();
  if (n <= column.ValueCount() / 8) {
    const CompiledKeys l = CompileRows(column, rows, n, true, parallel);
    ZpkBlock<uint8_t> marks(static_cast<size_t>(l.count > 0 ? l.count : 1));
    MarkCommon(l.list.get(), l.count, k.list.get(), k.count, marks.get());
    for (int i = 0; i < n; ++i) row_flags[i] = marks[l.rows[i]];
  } else {
    const int w = column.ValueCount();
    ZpkBlock<uint8_t> marks(static_cast<size_t>(w > 0 ? w : 1));
    MarkCommon(column.Values(), w, k.list.get(), k.count, marks.get());
    for (int i = 0; i < n; ++i) row_flags[i] = marks[column.ValueNumber(rows[i])];
  }
  Compact(s, mode != 0 ? 1 : 0, row_flags.get());
  return result;
}

int MppExtractJoinInOut(int table_a, int set_a, int key_a, int table_b, int set_b, int key_b, int mode) {
  InOutSide a;
  InOutSide b;
  int code = FindInOutSide(table_a, set_a, key_a, &a);
  if (code == 0) code = FindInOutSide(table_b, set_b, key_b, &b);
  if (code != 0) return code;
  return ExtractInOutSet(a, b, mode, true);
}

int mpp_join_inout(void* param) {
  return TaskFrame([&] {
    auto* p = static_cast<JoinInOutParam*>(param);
    int newly = 0;
    for (int i = p->start; i < p->end; ++i) {
      const int row = p->rows[i];
      if (static_cast<uint32_t>(row) >= static_cast<uint32_t>(p->vno_count))
        throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
      const int v = p->vno[row];
      if (static_cast<uint32_t>(v) >= static_cast<uint32_t>(p->n_flags))
        throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
      // Other workers write the same bytes; a flag only ever goes from 0 to 1.
      std::atomic_ref<uint8_t> flag(p->flags[v]);
      if (flag.load(std::memory_order_relaxed) == 0) {
        flag.store(1, std::memory_order_relaxed);
        ++newly;
      }
    }
    p->newly_set = newly;
    return 0;
  });
}
