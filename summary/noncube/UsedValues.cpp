// The values an output column keeps of its source's value list: only those its rows use.
#include "summary/noncube/UsedValues.h"

#include <algorithm>
#include <cstdint>

#include "foundation/CQ7Exception.h"
#include "q7api.h"
#include "values/Numeric.h"
#include "values/TBaseArray.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"
#include "values/ZpkBlock.h"

int UsedValues::NewNumber(int v) const {
  if (!new_number.empty()) return new_number[static_cast<size_t>(v)];
  return static_cast<int>(std::lower_bound(kept.begin(), kept.end(), v) - kept.begin());
}

UsedValues CollectUsedValues(int n_values, int n_rows, const int* numbers) {
  UsedValues used;
  // A group-by of few rows over a measure of millions of distinct values would otherwise zero and
  // walk a flag per value for a handful of them.
  if (static_cast<int64_t>(n_rows) * 4 < n_values) {
    used.kept.assign(numbers, numbers + n_rows);
    used.kept.push_back(0);
    std::sort(used.kept.begin(), used.kept.end());
    used.kept.erase(std::unique(used.kept.begin(), used.kept.end()), used.kept.end());
    return used;
  }
  used.new_number.assign(static_cast<size_t>(std::max(n_values, 1)), -1);
  used.new_number[0] = 0;
  for (int r = 0; r < n_rows; ++r) used.new_number[static_cast<size_t>(numbers[r])] = 0;
  for (int v = 0; v < n_values; ++v) {
    if (used.new_number[static_cast<size_t>(v)] < 0) continue;
    used.new_number[static_cast<size_t>(v)] = static_cast<int>(used.kept.size());
    used.kept.push_back(v);
  }
  return used;
}

namespace {

template <class T>
void Gather(const void* from, void* to, const ZpkVector<int>& kept) {
  const T* src = static_cast<const T*>(from);
  T* dst = static_cast<T*>(to);
  for (size_t i = 0; i < kept.size(); ++i) dst[i] = src[kept[i]];
}

}  // namespace

std::unique_ptr<TBaseArray> ListOfValues(TBaseArray* vl, const ZpkVector<int>& kept) {
  const int n = static_cast<int>(kept.size());
  switch (vl->GetDataType()) {
    case Q7_TYPE_INTEGER: {
      auto ints = std::make_unique<TIntArray>(n, 0);
      Gather<int>(vl->FData, ints->FData, kept);
      return ints;
    }
    case Q7_TYPE_DOUBLE: {
      auto doubles = std::make_unique<TDoubleArray>(n, 0);
      Gather<double>(vl->FData, doubles->FData, kept);
      return doubles;
    }
    case Q7_TYPE_STRING: {
      // The list adopts the pointer block as its offsets, so it comes from the engine's allocator.
      ZpkBlock<char*> texts(static_cast<size_t>(std::max(n, 1)));
      for (int i = 0; i < n; ++i) texts[i] = static_cast<char*>(vl->GetAddress(kept[static_cast<size_t>(i)]));
      auto list = std::make_unique<TStrArray>(n, texts.get());
      texts.Release();
      return list;
    }
    case Q7_TYPE_DECIMAL: {
      auto decimals = std::make_unique<TNumericArray>(n, 0);
      Gather<Numeric>(vl->FData, decimals->FData, kept);
      return decimals;
    }
    default:
      throw CQ7Exception(Q7_ERROR_INVALID_DATA_TYPE);
  }
}
