// Choosing the method of a non-cube summary of a real table.
#include "summary/SummaryMethod.h"

#include <algorithm>
#include <atomic>

#include "database/TBaseTable.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/SystemInfo.h"
#include "kernels/CountingSort.h"
#include "kernels/KernelPool.h"
#include "summary/noncube/FastCubeSum.h"
#include "summary/noncube/FastNonCubeSum.h"
#include "summary/noncube/MppCubeSum.h"
#include "summary/noncube/TNonCubeSum.h"

namespace {

constexpr double kMaxAddressableCells = 1073741824.0;  // 2^30
constexpr int64_t kMaxAddressBits = 30;
constexpr double kMaxDenseCells = 10000000.0;

constexpr int Number(SumMethod method) { return static_cast<int>(method); }

std::atomic<double> g_budget{-1.0};
std::atomic<int> g_forced{-1};

double PhysicalMemory() {
  static const double bytes = [] {
    unsigned long total = 0;
    unsigned long free = 0;
    getSystemMemInfo(&total, &free);
    return static_cast<double>(total);
  }();
  return bytes;
}

// Method 4 is the only one whose rows need no cell address of at most 30 bits.
bool NeedsSortDriver(const std::vector<int>& value_counts, double* cells) {
  double p = 1.0;
  int64_t b = 0;
  for (const int v : value_counts) {
    b += ConvertFromVLtoBitsize(static_cast<unsigned>(std::max(v, 0)));
    p *= v;
  }
  *cells = p;
  return p > kMaxAddressableCells || b > kMaxAddressBits;
}

}  // namespace

int ChooseSumMethod(const SumMethodFigures& f) {
  double p = 1.0;
  if (NeedsSortDriver(f.value_counts, &p)) return Number(SumMethod::kNonCubeDriver);
  const int bits = f.measures < 1 ? 0 : f.mask_bits;
  const double t = f.threads;
  double e0 = 4 * p * t;
  if (bits & (kSumSum | kSumAverage)) e0 += 8 * p * t;
  if (bits & kSumMax) e0 += 4 * p * t;
  if (bits & kSumMin) e0 += 4 * p * t;
  const double l2 = f.l2_cache_size < 1 ? CSmpEngine::kDefaultL2CacheSize : f.l2_cache_size;
  if (p < kMaxDenseCells && 0.5 * l2 > e0) return Number(SumMethod::kDenseCube);

  const int64_t n = std::max<int64_t>(f.rows, 0);
  const int64_t m = std::max(f.measures, 0);
  const double e1 = e0 + static_cast<double>(4 * n + 4 * n * m + 4 * n * (m + 2));
  int64_t e2 = 4 * n + 4 * n * (m + 2) + 4 * n * m + 4 * n;
  if (bits & (kSumSum | kSumAverage)) e2 += 8 * n;
  if (bits & kSumMax) e2 += 4 * n;
  if (bits & kSumMin) e2 += 4 * n;
  const double cheaper = std::min(e1, static_cast<double>(e2));
  if (cheaper > f.memory_budget / 2) return Number(SumMethod::kSortWithRows);
  return Number(e1 <= static_cast<double>(e2) ? SumMethod::kPackedCube : SumMethod::kSortWithMeasures);
}

int GetSuitableSumMethod(int table_id, int set_id, int n_dims, const int* dims, int n_measures,
                         const int* /*measures*/, const int* masks) {
  TTableCollection* db = CSmpEngine::Instance()->Database();
  TBaseTable* table = db ? db->GetTable(table_id) : nullptr;
  if (!table) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);
  TSetArray* set = table->GetSet(set_id);
  if (!set) throw CQ7Exception(Q7_ERROR_NO_SUCH_SET);
  if ((n_dims > 0 && !dims) || (n_measures > 0 && !masks)) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);

  SumMethodFigures f;
  f.rows = set->FArraySize;
  for (int d = 0; d < n_dims; ++d) {
    TFilter* filter = table->GetFilter(dims[d]);
    if (!filter) throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
    f.value_counts.push_back(filter->VL ? filter->VL->FArraySize : 0);
  }
  f.threads = KernelActiveThreads();
  f.l2_cache_size = KernelL2CacheSize();
  f.measures = n_measures;
  for (int i = 0; i < n_measures; ++i) f.mask_bits |= masks[i];
  f.memory_budget = SumMethodMemoryBudget();

  const int forced = ForcedSumMethod();
  if (forced >= 0) {
    double cells = 0;
    return NeedsSortDriver(f.value_counts, &cells) ? Number(SumMethod::kNonCubeDriver) : forced;
  }
  return ChooseSumMethod(f);
}

double SumMethodMemoryBudget() {
  const double set = g_budget.load();
  return set < 0 ? PhysicalMemory() : set;
}

void SetSumMethodMemoryBudget(double bytes) { g_budget.store(bytes < 0 ? -1.0 : bytes); }

void SetForcedSumMethod(int method) {
  const bool known = method >= Number(SumMethod::kDenseCube) && method <= Number(SumMethod::kNonCubeDriver);
  g_forced.store(known ? method : -1);
}

int ForcedSumMethod() { return g_forced.load(); }

namespace {

// The sort-based driver. Its refusals come as CQ7Exception.
int RunNonCubeDriver(int table_id, int set_id, int n_dims, const int* dims, int n_measures,
                     const int* measures, const int* masks, const int* decimals) {
  TNonCubeSum summary;
  summary.MppRun(table_id, set_id, n_dims, dims, n_measures, measures, masks, decimals);
  return summary.Result();
}

}  // namespace

int RunNonCubeSummary(TBaseTable* table, int table_id, int set_id, int n_dims, const int* dims,
                      int n_measures, const int* measures, const int* masks, const int* decimals) {
  if (table->GetType() == TBaseTable::kTypeJoin) {
    return RunNonCubeDriver(table_id, set_id, n_dims, dims, n_measures, measures, masks, decimals);
  }
  static_cast<TRealTable*>(table)->CheckMergeFilterTVL(true);
  // The request rules are the driver's whichever engine runs, and only the driver rounds the values
  // of a double measure that has decimals: such a request always runs there.
  TNonCubeSum request;
  request.MppCheckRequest(table_id, set_id, n_dims, dims, n_measures, measures, masks, decimals);
  const SumMethod method = request.RoundsSums()
                               ? SumMethod::kNonCubeDriver
                               : static_cast<SumMethod>(GetSuitableSumMethod(table_id, set_id, n_dims, dims,
                                                                             n_measures, measures, masks));
  int result = 0;
  switch (method) {
    case SumMethod::kDenseCube:
      result = MppCubeSum(table_id, set_id, n_dims, dims, n_measures, measures, masks, decimals);
      break;
    case SumMethod::kPackedCube:
      result = MppFastCubeSum(table_id, set_id, n_dims, dims, n_measures, measures, masks, decimals);
      break;
    case SumMethod::kSortWithMeasures:
    case SumMethod::kSortWithRows:
      result = MppFastNonCubeSum(table_id, set_id, n_dims, dims, n_measures, measures, masks, decimals,
                                 method == SumMethod::kSortWithMeasures ? 1 : 0);
      break;
    case SumMethod::kNonCubeDriver:
      return RunNonCubeDriver(table_id, set_id, n_dims, dims, n_measures, measures, masks, decimals);
    default:
      return 0;
  }
  // The driver registers (and drops) a set of representative rows; the other engines use up the
  // same set ID, so what the host's next set is called does not depend on the engine.
  if (result >= 1) table->UseUpSetID();
  return result;
}
