// The multi-key integrated sort over filters: SortForMultiItem, SortForMultiItemEx and their forms.
#include "database/SortForMultiItem.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "database/TFilter.h"
#include "foundation/FailureCode.h"
#include "kernels/IntegratedSort.h"
#include "values/TBaseArray.h"
#include "values/TIntArray.h"
#include "values/ZpkBlock.h"

namespace {

// The sort columns of the filters, merging pending values on the way; a negative code when a
// filter cannot serve as a column. *elements receives the smallest value-number array length.
int ColumnsOf(int nFilters, TFilter** filters, std::vector<SortKeyColumn>* columns, int* elements) {
  if (nFilters < 1) return 0;  // the kernel refuses it
  if (filters == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  columns->reserve(static_cast<size_t>(nFilters));
  *elements = 0;
  for (int i = 0; i < nFilters; ++i) {
    TFilter* f = filters[i];
    if (f == nullptr || f->PV == nullptr || f->VL == nullptr) return Q7_ERROR_INVALID_PARAMETER;
    if (f->TVLCount > 0) f->MergeTVL(true);
    columns->push_back(SortKeyColumn{f->PV->PIntAr(), f->VL->FArraySize});
    *elements = i == 0 ? f->PV->FArraySize : std::min(*elements, f->PV->FArraySize);
  }
  return 0;
}

// Sort columns with every group of two or more columns (grouped as the integrated sort groups
// them) folded into one column holding the group's combined key per record, ascending.
//
// Why: a group sort reads each of its columns at every row, and after the first group the rows
// come in the order of the previous sort, so each read is a cache miss. Folding the group first
// reads the columns in record order, and the sort then reads one column per row and runs as the
// plain parallel counting sort. The order is the same: a combined key orders rows exactly as the
// group does. Folded blocks are kept in `blocks`.
struct FoldedColumns {
  std::vector<SortKeyColumn> columns;
  std::vector<int> dirs;
  std::vector<ZpkBlock<int>> blocks;
};

// False (nothing folded) when no group has two columns.
bool FoldGroups(const std::vector<SortKeyColumn>& columns, const int* dirs, int elements,
                FoldedColumns* out) {
  const std::vector<_FILT_GRP_> groups = SortColumnGroups(static_cast<int>(columns.size()), columns.data());
  if (groups.size() == columns.size()) return false;
  for (const _FILT_GRP_& g : groups) {
    if (g.count == 1) {
      out->columns.push_back(columns[g.first]);
      out->dirs.push_back(dirs[g.first]);
      continue;
    }
    ZpkBlock<int> keys(static_cast<size_t>(elements));
    int* k = keys.get();
    std::fill(k, k + elements, 0);
    int multiplier = 1;
    for (int j = g.first; j < g.first + g.count; ++j) {
      const int* vno = columns[j].vno;
      const int top = columns[j].nValues - 1;
      if (dirs[j] == 1) {
        for (int r = 0; r < elements; ++r) k[r] += (top - vno[r]) * multiplier;
      } else {
        for (int r = 0; r < elements; ++r) k[r] += vno[r] * multiplier;
      }
      multiplier *= columns[j].nValues;
    }
    out->columns.push_back(SortKeyColumn{k, multiplier});
    out->dirs.push_back(0);
    out->blocks.push_back(std::move(keys));
  }
  return true;
}

template <class Sort>
int WithColumns(int nFilters, TFilter** filters, int** outRows, int** outKeys, Sort sort) {
  if (outRows) *outRows = nullptr;
  if (outKeys) *outKeys = nullptr;
  try {
    std::vector<SortKeyColumn> columns;
    int elements = 0;
    const int rc = ColumnsOf(nFilters, filters, &columns, &elements);
    if (rc < 0) return rc;
    return sort(columns, elements);
  } catch (...) {
    return CurrentFailureCode();
  }
}

const SortKeyColumn* DataOf(const std::vector<SortKeyColumn>& columns) {
  return columns.empty() ? nullptr : columns.data();
}

}  // namespace

int SortForMultiItem(int nFilters, int n, const int* rows, TFilter** filters, const int* dirs, int** outRows,
                     int** outKeys, int mode, int unique) {
  return WithColumns(
      nFilters, filters, outRows, outKeys, [&](const std::vector<SortKeyColumn>& columns, int elements) {
        // Folding reads every record of each folded column once: worth it when the rows are a good
        // share of the records. Only the plain sort takes it; the key outputs keep the group sorts.
        FoldedColumns folded;
        if (outKeys == nullptr && dirs != nullptr && n > 0 && n >= elements / 4 &&
            FoldGroups(columns, dirs, elements, &folded)) {
          return SortForMultiItem(static_cast<int>(folded.columns.size()), n, rows, folded.columns.data(),
                                  folded.dirs.data(), outRows, nullptr, mode, unique);
        }
        return SortForMultiItem(nFilters, n, rows, DataOf(columns), dirs, outRows, outKeys, mode, unique);
      });
}

int SortForMultiItemEx(int nFilters, int n, const int* rows, TFilter** filters, const int* dirs,
                       int** outRows, int** outKeys, int* counts, int* firstRows, int mode, int unique) {
  return WithColumns(nFilters, filters, outRows, outKeys,
                     [&](const std::vector<SortKeyColumn>& columns, int) {
                       return SortForMultiItemEx(nFilters, n, rows, DataOf(columns), dirs, outRows, outKeys,
                                                 counts, firstRows, mode, unique);
                     });
}

TFilter* CreateFilter(int id, char* name, TIntArray* vno, TBaseArray* valueList, bool listNotOwned) {
  auto filter = std::make_unique<TFilter>(id, name);
  // The list first: borrowing alone can fail, and the value numbers stay the caller's until then.
  if (listNotOwned) {
    filter->BorrowValueList(valueList);
  } else {
    filter->ReplaceValueList(valueList);
  }
  filter->PV = vno;
  return filter.release();
}
