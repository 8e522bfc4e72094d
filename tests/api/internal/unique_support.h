// A reference for the unique-row extractions, written from the rules with a hash set instead of a
// sort, and random tables to hold them against it.
#pragma once

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "opsets_support.h"

namespace unique_test {

struct KeyHash {
  size_t operator()(const std::vector<int>& key) const {
    size_t h = 0;
    for (int v : key) h = h * 1000003u + static_cast<size_t>(v);
    return h;
  }
};

// vnos[f][r - 1]: value number of record r in filter f. The first row of each key in set order;
// with keep_order 0 ordered by the last filter's value number, ties by the one before it, and so on.
inline std::vector<int> ReferenceUnique(const std::vector<std::vector<int>>& vnos,
                                        const std::vector<int>& set_rows, int keep_order) {
  auto key_of = [&](int row) {
    std::vector<int> key;
    for (const auto& v : vnos) key.push_back(v[static_cast<size_t>(row - 1)]);
    return key;
  };
  std::unordered_set<std::vector<int>, KeyHash> seen;
  std::vector<std::pair<std::vector<int>, int>> kept;  // reversed key (last filter first), row
  for (int r : set_rows) {
    std::vector<int> key = key_of(r);
    if (seen.insert(key).second) kept.emplace_back(std::vector<int>(key.rbegin(), key.rend()), r);
  }
  // Keys are distinct, so the order among the kept rows is fixed by the keys alone.
  if (keep_order == 0) std::sort(kept.begin(), kept.end());
  std::vector<int> rows;
  for (const auto& k : kept) rows.push_back(k.second);
  return rows;
}

class UniqueTest : public opsets_test::OpTest {
 protected:
  // A table of n records with one integer filter per spread (values 0 .. spread - 1) and, when
  // with_nulls, a string filter whose every fourth record or so is NULL; the filter IDs (0 ended).
  std::vector<int> RandomFilters(int t, int n, const std::vector<int>& spreads, bool with_nulls,
                                 std::mt19937* rng) {
    std::vector<int> ids;
    for (size_t f = 0; f < spreads.size(); ++f) {
      std::vector<int> values(static_cast<size_t>(n));
      for (int& v : values) v = static_cast<int>((*rng)() % static_cast<unsigned>(spreads[f]));
      ids.push_back(IntFilter(t, values, ("F" + std::to_string(f)).c_str()));
    }
    if (with_nulls) {
      const char* const texts[] = {"a", "b", "", "c"};
      std::vector<const char*> values(static_cast<size_t>(n));
      for (const char*& v : values) {
        const unsigned pick = (*rng)() % 5;
        v = pick == 4 ? nullptr : texts[pick];
      }
      ids.push_back(StringFilter(t, values, "S"));
    }
    ids.push_back(0);
    return ids;
  }
  // A shuffled subset of about two thirds of the records 1 .. n (at least one).
  std::vector<int> RandomSubset(int n, std::mt19937* rng) {
    std::vector<int> rows;
    for (int r = 1; r <= n; ++r) {
      if ((*rng)() % 3 != 0) rows.push_back(r);
    }
    if (rows.empty()) rows.push_back(1);
    std::shuffle(rows.begin(), rows.end(), *rng);
    return rows;
  }
  std::vector<std::vector<int>> AllValueNumbers(int t, const std::vector<int>& ids) {
    std::vector<std::vector<int>> vnos;
    for (int id : ids) {
      if (id > 0) vnos.push_back(ValueNumbers(t, id));
    }
    return vnos;
  }
};

}  // namespace unique_test
