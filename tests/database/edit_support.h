// A real table with one filter of each value type next to a plain model of it (the value of every
// record as text, the records of every set), for the row-editing and condensing tests: random
// edits are applied to both and the table must keep matching the model and its own invariants.
#pragma once

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "table_test_support.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"

namespace edtest {

constexpr int32_t kIntNull = INT32_MIN;
constexpr double kDblNull = -HUGE_VAL;
inline Numeric DecNan() { return Numeric{0, INT64_MIN}; }
inline Numeric Dec(int64_t v) { return Numeric{static_cast<uint64_t>(v), v < 0 ? -1 : 0}; }

// The types of the model's filters, in display order.
constexpr int kTypes[] = {Q7_TYPE_INTEGER, Q7_TYPE_DOUBLE, Q7_TYPE_DATE, Q7_TYPE_STRING, Q7_TYPE_DECIMAL};
constexpr int kTypeCount = 5;

inline int RawWidth(int type) { return type == Q7_TYPE_INTEGER ? 4 : type == Q7_TYPE_DECIMAL ? 16 : 8; }

// One raw element as text; the NULL of each type reads "NULL" (a string's NULL is the empty text).
inline std::string FormatRaw(int type, const void* element) {
  char buf[64];
  switch (type) {
    case Q7_TYPE_INTEGER: {
      int32_t v;
      memcpy(&v, element, 4);
      if (v == kIntNull) return "NULL";
      snprintf(buf, sizeof buf, "%d", v);
      return buf;
    }
    case Q7_TYPE_STRING: {
      const char* t;
      memcpy(&t, element, sizeof t);
      return t == nullptr || *t == '\0' ? "NULL" : std::string("'") + t + "'";
    }
    case Q7_TYPE_DECIMAL: {
      Numeric v;
      memcpy(&v, element, 16);
      if (v.high == INT64_MIN && v.low == 0) return "NULL";
      snprintf(buf, sizeof buf, "%lld:%llu", static_cast<long long>(v.high),
               static_cast<unsigned long long>(v.low));
      return buf;
    }
    default: {
      double v;
      memcpy(&v, element, 8);
      if (v == kDblNull) return "NULL";
      snprintf(buf, sizeof buf, "%a", v);
      return buf;
    }
  }
}

// Entry i of a value list (or pending list) as FormatRaw reads it.
inline std::string ListEntry(TBaseArray* list, int type, int i) {
  if (type == Q7_TYPE_STRING) {
    const char* t = static_cast<TStrArray*>(list)->GetPChar(i);
    return FormatRaw(type, &t);
  }
  return FormatRaw(type, static_cast<const char*>(list->FData) + static_cast<size_t>(RawWidth(type)) * i);
}

// The value of record r, read through the pending list when it is pending there.
inline std::string Cell(TFilter* f, int type, int r) {
  const int vn = f->PV->GetInt(r);
  return vn < 0 ? ListEntry(f->TVL, type, -vn) : ListEntry(f->VL, type, vn);
}

inline std::vector<std::string> Column(TFilter* f, int type) {
  std::vector<std::string> out;
  for (int r = 1; r < f->PV->FArraySize; ++r) out.push_back(Cell(f, type, r));
  return out;
}

// Strict ascending order of two value-list entries of one list.
inline bool EntryLess(TBaseArray* list, int type, int a, int b) {
  const char* data = static_cast<const char*>(list->FData);
  switch (type) {
    case Q7_TYPE_INTEGER:
      return reinterpret_cast<const int32_t*>(data)[a] < reinterpret_cast<const int32_t*>(data)[b];
    case Q7_TYPE_STRING: {
      auto* s = static_cast<TStrArray*>(list);
      return strcmp(s->GetPChar(a), s->GetPChar(b)) < 0;
    }
    case Q7_TYPE_DECIMAL: {
      const Numeric* n = reinterpret_cast<const Numeric*>(data);
      return n[a].high != n[b].high ? n[a].high < n[b].high : n[a].low < n[b].low;
    }
    default:
      return reinterpret_cast<const double*>(data)[a] < reinterpret_cast<const double*>(data)[b];
  }
}

// The invariants every edit keeps: set 1 holds 1 .. n, every set holds records only, every filter
// one value number per record into its list (or a live pending entry), lists ascending and
// distinct with the NULL first.
inline void ExpectConsistent(TRealTable* t, const std::vector<int>& types) {
  const int n = t->TotalRecs();
  const std::vector<int> all = ttest::Rows(t->FSets[0]);
  for (int i = 0; i < n; ++i) ASSERT_EQ(all[static_cast<size_t>(i)], i + 1);
  for (int s = 0; s < t->FnSet; ++s) {
    for (int r : ttest::Rows(t->FSets[s])) ASSERT_TRUE(r >= 1 && r <= n) << "set " << s << " holds " << r;
  }
  ASSERT_EQ(t->FnFilter, static_cast<int>(types.size()));
  for (int f = 0; f < t->FnFilter; ++f) {
    TFilter* filter = t->FFilters[f];
    const int type = types[static_cast<size_t>(f)];
    ASSERT_EQ(filter->PV->FArraySize, n + 1) << filter->FFilterName;
    const int count = filter->VL->FArraySize;
    ASSERT_EQ(ListEntry(filter->VL, type, 0), "NULL") << filter->FFilterName;
    for (int i = 1; i < count; ++i)
      ASSERT_TRUE(EntryLess(filter->VL, type, i - 1, i)) << filter->FFilterName << " " << i;
    for (int r = 1; r <= n; ++r) {
      const int vn = filter->PV->GetInt(r);
      if (vn >= 0) {
        ASSERT_LT(vn, count) << filter->FFilterName << " record " << r;
      } else {
        ASSERT_LE(-vn, filter->TVLCount) << filter->FFilterName << " record " << r;
        ASSERT_EQ(filter->TVLRecNo->GetInt(-vn), r);
      }
    }
  }
}

// Random values of each model type, and the raw buffers that carry them to the table.
class ValueSource {
 public:
  explicit ValueSource(uint32_t seed) : gen_(seed) {
    for (int i = 0; i < 120; ++i) {
      char buf[16];
      snprintf(buf, sizeof buf, "s%03d", i);
      texts_.push_back(buf);
    }
  }
  // `wide` draws from a range larger than the initial columns use, so new values come in.
  void Append(int type, bool wide, std::vector<unsigned char>* raw) {
    const bool null = gen_() % 11 == 0;
    const int span = wide ? 120 : 40;
    const int k = static_cast<int>(gen_() % span);
    unsigned char elem[16];
    switch (type) {
      case Q7_TYPE_INTEGER: {
        const int32_t v = null ? kIntNull : k * 3 - 100;
        memcpy(elem, &v, 4);
        break;
      }
      case Q7_TYPE_STRING: {
        const char* t = null ? "" : texts_[static_cast<size_t>(k)].c_str();
        memcpy(elem, &t, 8);
        break;
      }
      case Q7_TYPE_DECIMAL: {
        const Numeric v = null ? DecNan() : Dec(k * 125 - 4000);
        memcpy(elem, &v, 16);
        break;
      }
      case Q7_TYPE_DATE: {
        const double v = null ? kDblNull : 45000.0 + k;
        memcpy(elem, &v, 8);
        break;
      }
      default: {
        const double v = null ? kDblNull : k * 0.25 - 7.5;
        memcpy(elem, &v, 8);
        break;
      }
    }
    raw->insert(raw->end(), elem, elem + RawWidth(type));
  }
  std::vector<unsigned char> Values(int type, int count, bool wide) {
    std::vector<unsigned char> raw;
    for (int i = 0; i < count; ++i) Append(type, wide, &raw);
    return raw;
  }
  std::mt19937& gen() { return gen_; }

 private:
  std::mt19937 gen_;
  std::vector<std::string> texts_;
};

// The plain model: cols[f][r] the text of record r (index 0 unused), sets[s] the records of set s
// (set_ids[s] its ID in the table).
struct Model {
  std::vector<std::vector<std::string>> cols;
  std::vector<std::vector<int>> sets;
  std::vector<int> set_ids;

  int n() const { return static_cast<int>(cols[0].size()) - 1; }

  void DeleteRecords(const std::vector<uint8_t>& gone) {
    std::vector<int> renumber(gone.size(), 0);
    int next = 0;
    for (size_t r = 0; r < gone.size(); ++r) renumber[r] = gone[r] ? 0 : next++;
    for (auto& col : cols) {
      std::vector<std::string> kept;
      for (size_t r = 0; r < col.size(); ++r) {
        if (!gone[r]) kept.push_back(col[r]);
      }
      col = kept;
    }
    for (auto& set : sets) {
      std::vector<int> kept;
      for (int r : set) {
        if (!gone[static_cast<size_t>(r)]) kept.push_back(renumber[static_cast<size_t>(r)]);
      }
      set = kept;
    }
  }
  void DelRows(int from, int count) {
    std::vector<uint8_t> gone(static_cast<size_t>(n()) + 1, 0);
    for (int r = from; r <= n() && r - from < count; ++r) gone[static_cast<size_t>(r)] = 1;
    DeleteRecords(gone);
  }
  void DelRowsEx(size_t set, int from, int count) {
    std::vector<uint8_t> gone(static_cast<size_t>(n()) + 1, 0);
    const auto& rows = sets[set];
    for (int i = from - 1; i < static_cast<int>(rows.size()) && i - (from - 1) < count; ++i) {
      gone[static_cast<size_t>(rows[static_cast<size_t>(i)])] = 1;
    }
    DeleteRecords(gone);
  }
  void InsRows(int position, int count) {
    const int at = position == 0 ? 1 : std::min(n() + 1, position);
    for (auto& col : cols) col.insert(col.begin() + at, static_cast<size_t>(count), "NULL");
    for (size_t s = 1; s < sets.size(); ++s) {
      for (int& r : sets[s]) {
        if (r >= at) r += count;
      }
    }
    sets[0].clear();
    for (int r = 1; r <= n(); ++r) sets[0].push_back(r);
  }
  // Values (raw, one element per row, or one element for a fill) to rows from .. of a set.
  void Write(size_t set, int filter, int type, int from, int count, const std::vector<unsigned char>& raw,
             bool fill) {
    const auto& rows = sets[set];
    const size_t w = static_cast<size_t>(RawWidth(type));
    for (int i = 0; i < count && from - 1 + i < static_cast<int>(rows.size()); ++i) {
      const int r = rows[static_cast<size_t>(from - 1 + i)];
      cols[static_cast<size_t>(filter)][static_cast<size_t>(r)] =
          FormatRaw(type, raw.data() + (fill ? 0 : w * i));
    }
  }
};

// A table of n records with one filter per model type, a few extra sets (in scattered order), and
// the model that matches it.
class EditTableTest : public ttest::TableTest {
 protected:
  void Build(int n, uint32_t seed) {
    values_ = std::make_unique<ValueSource>(seed);
    t_ = Real(AddTable("edit", n));
    model_.cols.assign(kTypeCount, std::vector<std::string>(1, "NULL"));
    for (int f = 0; f < kTypeCount; ++f) {
      const int type = kTypes[f];
      std::vector<unsigned char> raw = values_->Values(type, n, false);
      std::string name = "c" + std::to_string(f);
      ASSERT_GT(t_->AddFilter2(1024, name.data(), type, n, RawWidth(type), raw.data(), t_->FTableID, -1), 0);
      ids_.push_back(t_->FFilters[f]->FFilterID);
      types_.push_back(type);
      for (int r = 0; r < n; ++r) {
        model_.cols[static_cast<size_t>(f)].push_back(
            FormatRaw(type, raw.data() + static_cast<size_t>(RawWidth(type)) * r));
      }
    }
    model_.sets.push_back({});
    for (int r = 1; r <= n; ++r) model_.sets[0].push_back(r);
    model_.set_ids.push_back(t_->FSetIDs[0]);
    for (int s = 0; s < 3; ++s) AddRandomSet();
  }

  void AddRandomSet() {
    std::vector<int> rows;
    for (int r = 1; r <= model_.n(); ++r) {
      if (values_->gen()() % 3 == 0) rows.push_back(r);
    }
    std::shuffle(rows.begin(), rows.end(), values_->gen());
    const int id = t_->AddSetFromRows(static_cast<int>(rows.size()), rows.data());
    ASSERT_GT(id, 0);
    model_.sets.push_back(rows);
    model_.set_ids.push_back(id);
  }

  // Turns the pending list of every filter off (every write then rebuilds its column) or back on.
  void SetPending(bool on) {
    for (int f = 0; f < t_->FnFilter; ++f) t_->FFilters[f]->TVLMinRecs = on ? TFilter::kTVLMinRecs : INT_MAX;
  }

  void ExpectMatchesModel() {
    ExpectConsistent(t_, types_);
    for (size_t s = 0; s < model_.sets.size(); ++s) {
      ASSERT_EQ(ttest::Rows(t_->GetSet(model_.set_ids[s])), model_.sets[s]) << "set " << s;
    }
    for (int f = 0; f < kTypeCount; ++f) {
      std::vector<std::string> want(model_.cols[static_cast<size_t>(f)].begin() + 1,
                                    model_.cols[static_cast<size_t>(f)].end());
      ASSERT_EQ(Column(t_->GetFilter(ids_[static_cast<size_t>(f)]), kTypes[f]), want) << "filter " << f;
    }
  }

  // Applies `steps` random edits to table and model, checking after each. parallel uses the
  // Mpp forms of the writes.
  void RandomEdits(int steps, bool parallel, int max_write) {
    std::mt19937& g = values_->gen();
    for (int step = 0; step < steps; ++step) {
      SCOPED_TRACE(step);
      const int n = model_.n();
      const int op = static_cast<int>(g() % 10);
      const size_t set = g() % model_.sets.size();
      const int size = static_cast<int>(model_.sets[set].size());
      if (op == 0 && n > 10) {
        const int from = 1 + static_cast<int>(g() % n), count = 1 + static_cast<int>(g() % 12);
        ASSERT_EQ(t_->DelRows(from, count), std::min(count, n + 1 - from));
        model_.DelRows(from, count);
      } else if (op == 1 && size > 0 && n > 10) {
        const int from = 1 + static_cast<int>(g() % size), count = 1 + static_cast<int>(g() % 12);
        ASSERT_EQ(t_->DelRowsEx(model_.set_ids[set], from, count), std::min(count, size - from + 1));
        model_.DelRowsEx(set, from, count);
      } else if (op == 2) {
        const int position = static_cast<int>(g() % (n + 5)), count = 1 + static_cast<int>(g() % 8);
        ASSERT_EQ(t_->InsRows(position, count), count);
        model_.InsRows(position, count);
      } else if (op == 3) {
        AddRandomSet();
      } else if (op == 4) {
        ASSERT_EQ(t_->CondenseTable(), 0);
      } else if (size > 0) {
        const int f = static_cast<int>(g() % kTypeCount), type = kTypes[f];
        const int from = 1 + static_cast<int>(g() % size);
        const int count = 1 + static_cast<int>(g() % static_cast<unsigned>(max_write));
        const int k = std::min(count, size - from + 1);
        const bool fill = op >= 8;
        std::vector<unsigned char> raw = values_->Values(type, fill ? 1 : k, true);
        const int id = ids_[static_cast<size_t>(f)], set_id = model_.set_ids[set];
        TFilter* filter = t_->GetFilter(id);
        const TBaseArray* list_before = filter->VL;
        int rc;
        if (fill) {
          rc = parallel ? t_->MppFillEx(set_id, id, from, count, raw.data())
                        : t_->FillEx(set_id, id, from, count, raw.data());
        } else {
          // Only k values are given: a write never reads past the rows it writes.
          rc = parallel ? t_->MppOverWriteEx(set_id, id, from, count, raw.data())
                        : t_->OverWriteEx(set_id, id, from, count, raw.data());
        }
        ASSERT_EQ(rc, k);
        if (filter->TVLCount > 0) ++pending_writes_;
        if (filter->VL != list_before) ++merged_writes_;
        model_.Write(set, f, type, from, count, raw, fill);
      }
      ExpectMatchesModel();
    }
  }

  std::unique_ptr<ValueSource> values_;
  TRealTable* t_ = nullptr;
  Model model_;
  std::vector<int> ids_;
  std::vector<int> types_;
  // Writes after which the filter had pending values, and writes that replaced its value list.
  int pending_writes_ = 0;
  int merged_writes_ = 0;
};

}  // namespace edtest
