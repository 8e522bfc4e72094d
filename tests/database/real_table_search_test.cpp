// Real-table searches: every search code on every type, serial and parallel, and refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TSortedSetArray.h"
#include "foundation/CQ7Exception.h"
#include "foundation/SystemHeader.h"
#include "tests/database/search_support.h"
#include "values/TIntArray.h"

using namespace stest;
using ttest::MakeSet;
using ttest::Rows;

namespace {

constexpr int kRows = 240;

template <class K>
struct Data {
  std::vector<typename K::V> values;  // record r holds values[r - 1]
  std::vector<typename K::V> bounds;
};

// About 120 distinct values over 240 records, with NULLs; bounds inside, between and outside.
Data<IntKind> IntData() {
  Data<IntKind> d;
  for (int i = 0; i < kRows; ++i) d.values.push_back(i % 7 == 0 ? kIntNull : (i * 37) % 120 - 60);
  d.bounds = {kIntNull, -61, -60, 0, 5, 59, 60, INT_MAX};
  return d;
}

template <class K>
Data<K> DoubleData(double scale, double offset) {
  Data<K> d;
  for (int i = 0; i < kRows; ++i)
    d.values.push_back(i % 7 == 0 ? kDblNull : ((i * 37) % 120) * scale + offset);
  d.bounds = {kDblNull, offset - 1, offset, offset + 0.25 * scale, offset + 17 * scale, offset + 119 * scale,
              1e12};
  return d;
}

Data<DecimalKind> DecimalData() {
  Data<DecimalKind> d;
  for (int i = 0; i < kRows; ++i)
    d.values.push_back(i % 7 == 0 ? DecNan() : Dec(((i * 37) % 120) * 25 - 1500));
  d.bounds = {DecNan(), Dec(-1501), Dec(-1500), Dec(0), Dec(13), Dec(1475), Dec(99999)};
  return d;
}

Data<StrKind> StrData() {
  Data<StrKind> d;
  for (int i = 0; i < kRows; ++i) {
    if (i % 9 == 0) {
      d.values.push_back("");
    } else if (i % 31 == 0) {
      d.values.push_back(i % 2 ? "ab\xff" : "ab\xff\x01");
    } else {
      d.values.push_back("k" + std::to_string((i * 37) % 120));
    }
  }
  d.bounds = {"", "k", "k1", "k10", "k119", "k5", "z", "ab\xff", "\xff", "0"};
  return d;
}

std::string Describe(int op, bool negate, size_t i, size_t j) {
  return "op " + std::to_string(op) + (negate ? " negated" : "") + ", bounds #" + std::to_string(i) + " #" +
         std::to_string(j);
}

class RealTableSearch : public ttest::TableTest {
 protected:
  // Every code the kind serves, with and without bit 0x80 and negate, over every bound (every
  // pair for 1 and 5): the set searches, serial and parallel, keep exactly the rows a row-by-row
  // scan keeps, in set order, in the full-list form (all rows, rows backwards) and in the scope
  // form (a set much smaller than the value list). The table searches register the same rows.
  template <class K>
  void CheckEveryCode(Data<K> d) {
    TRealTable* t = Real(AddTable("T", kRows));
    const int fid = AddColumn<K>(t, "F", d.values);
    ASSERT_GT(fid, 0);
    TFilter* filter = t->GetFilter(fid);
    std::vector<int> all(kRows);
    for (int i = 0; i < kRows; ++i) all[static_cast<size_t>(i)] = i + 1;
    const std::vector<int> backwards(all.rbegin(), all.rend());
    const std::vector<int> few = {200, 3, 77, 8, 1, 150, 64, 99, 7, 22};
    ASSERT_LT(static_cast<int>(few.size()), filter->VL->FArraySize >> 3);  // the scope form
    for (const auto& rows : {all, backwards, few}) {
      auto set = MakeSet(rows);
      const int set_id = t->AddSetFromRows(static_cast<int>(rows.size()), rows.data());
      for (int code : CodesFor<K>()) {
        for (int excl : {0, 0x80}) {
          const int op = code | excl;
          const size_t n_from = code == 11 ? 1 : d.bounds.size();
          const size_t n_to = (code == 1 || code == 5) ? d.bounds.size() : 1;
          for (size_t i = 0; i < n_from; ++i) {
            for (size_t j = 0; j < n_to; ++j) {
              auto from = d.bounds[i];
              auto to = d.bounds[j];
              for (int negate = 0; negate < 2; ++negate) {
                const auto want = ScanRows<K>(d.values, rows, op, from, to, negate != 0);
                const std::string what =
                    Describe(op, negate, i, j) + ", set of " + std::to_string(rows.size());
                std::unique_ptr<TSetArray> serial(
                    set->SearchByValue(filter, op, K::Bound(from), K::Bound(to), negate != 0));
                ASSERT_EQ(Rows(serial.get()), want) << what << " serial";
                std::unique_ptr<TSetArray> parallel(
                    set->MppSearchByValue(filter, op, K::Bound(from), K::Bound(to), negate != 0));
                ASSERT_EQ(Rows(parallel.get()), want) << what << " parallel";
                if (!want.empty()) {
                  EXPECT_EQ(parallel->FAllocSize, parallel->FArraySize);
                }
              }
              const auto want = ScanRows<K>(d.values, rows, op, from, to, false);
              const int by_field = t->SearchByField(fid, set_id, op, K::Bound(from), K::Bound(to));
              ASSERT_EQ(Rows(t->GetSet(by_field)), want) << Describe(op, false, i, j) << " SearchByField";
              const int mpp = t->MppSearchByField(fid, set_id, op, K::Bound(from), K::Bound(to));
              ASSERT_EQ(Rows(t->GetSet(mpp)), want) << Describe(op, false, i, j) << " MppSearchByField";
              EXPECT_EQ(t->GetCurrentSetID(), mpp);
              t->DelSet(by_field);
              t->DelSet(mpp);
            }
          }
        }
      }
      t->DelSet(set_id);
    }
  }
};

TEST_F(RealTableSearch, EveryCodeOnIntegers) { CheckEveryCode(IntData()); }
TEST_F(RealTableSearch, EveryCodeOnDoubles) { CheckEveryCode(DoubleData<DoubleKind>(0.5, -30)); }
TEST_F(RealTableSearch, EveryCodeOnDates) { CheckEveryCode(DoubleData<DateKind>(1, 45000)); }
TEST_F(RealTableSearch, EveryCodeOnDecimals) { CheckEveryCode(DecimalData()); }
TEST_F(RealTableSearch, EveryCodeOnStrings) { CheckEveryCode(StrData()); }

// A built sorted view of the set answers the parallel search as it answers the serial one (rows in
// value order), except for middle and right match, which scan the set.
TEST_F(RealTableSearch, ParallelSearchUsesTheSetsView) {
  TRealTable* t = Real(AddTable("T", 6));
  const int f = AddColumn<StrKind>(t, "S", {"pear", "", "apple", "peach", "apple", "plum"});
  TFilter* filter = t->GetFilter(f);
  auto set = MakeSet({6, 5, 4, 3, 2, 1});
  auto* view = new TSortedSetArray();
  view->initialize(set.get(), filter);
  view->Reclaim();
  struct Case {
    int op;
    const char* from;
    std::vector<int> want;
  } const cases[] = {
      {8, "pe", {4, 1}},                                                  // value order: peach, pear
      {3, "pear", {1, 6}}, {0, "apple", {5, 3}}, {9, "a", {5, 4, 3, 1}},  // set order
      {10, "e", {5, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.op);
    std::unique_ptr<TSetArray> serial(set->SearchByValue(filter, c.op, c.from, c.from, false));
    std::unique_ptr<TSetArray> parallel(set->MppSearchByValue(filter, c.op, c.from, c.from, false));
    EXPECT_EQ(Rows(parallel.get()), c.want);
    EXPECT_EQ(Rows(serial.get()), c.want);
  }
}

TEST_F(RealTableSearch, ValueSearchesRefuseWhatTheTypeDoesNotServe) {
  TRealTable* t = Real(AddTable("T", 3));
  const int ints = AddColumn<IntKind>(t, "I", {1, 2, 3});
  const int texts = AddColumn<StrKind>(t, "S", {"a", "b", "c"});
  DrainRing();
  int32_t one = 1;
  char a[] = "a";
  struct Case {
    int filter, op;
    char* bound;
    const char* ring;
  } const cases[] = {
      {ints, 12, reinterpret_cast<char*>(&one), "MppSearchByValue|Invalid Parameter : OpeNo"},
      {ints, 8, reinterpret_cast<char*>(&one), "MppSearchByValue|Illegal data type ( Not STRING )"},
      {texts, 11, a, "MppSearchByValue|Illegal data type ( Is STRING )"},
  };
  const auto sets_before = SetIDs(t);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.op);
    try {
      t->MppSearchByField(c.filter, -1, c.op, c.bound, c.bound);
      ADD_FAILURE() << "accepted";
    } catch (const CQ7Exception& e) {
      EXPECT_EQ(e.ErrorCode(), Q7_ERROR_INVALID_OPERATION);
    }
    EXPECT_EQ(DrainRing(), std::vector<std::string>{c.ring});
    EXPECT_EQ(SetIDs(t), sets_before);
  }
  struct Missing {
    int filter, set;
    int code;
    const char* last_ring;
  } const missing[] = {
      {99, -1, Q7_ERROR_NO_SUCH_FILTER, "MppSearchByField|No Such Filter: 99"},
      {ints, 42, Q7_ERROR_ILLEGAL_SET_ID, "MppSearchByField|No Such Set: 42"},
  };
  for (const Missing& m : missing) {
    try {
      t->MppSearchByField(m.filter, m.set, 0, reinterpret_cast<char*>(&one), nullptr);
      ADD_FAILURE() << "accepted";
    } catch (const CQ7Exception& e) {
      EXPECT_EQ(e.ErrorCode(), m.code);
    }
    EXPECT_EQ(DrainRing().back(), m.last_ring);
  }
}

TEST_F(RealTableSearch, ListOfValuesSerialAndParallel) {
  TRealTable* t = Real(AddTable("T", 6));
  const int f = AddColumn<IntKind>(t, "I", {5, kIntNull, 7, 5, 9, 7});
  const int back[] = {6, 5, 4, 3, 2, 1};
  const int set = t->AddSetFromRows(6, back);
  int32_t wanted[] = {7, 123, 5, 7, kIntNull};
  for (int parallel = 0; parallel < 2; ++parallel) {
    const int id =
        parallel ? t->MppSearchByFieldNValues(f, set, 5, wanted) : t->SearchByFieldNValues(f, set, 5, wanted);
    EXPECT_EQ(Rows(t->GetSet(id)), (std::vector<int>{6, 4, 3, 2, 1}));
    EXPECT_EQ(t->GetCurrentSetID(), id);
    const int none =
        parallel ? t->MppSearchByFieldNValues(f, set, 0, wanted) : t->SearchByFieldNValues(f, set, 0, wanted);
    EXPECT_TRUE(Rows(t->GetSet(none)).empty());
  }
  EXPECT_THROW(t->MppSearchByFieldNValues(f, set, -1, wanted), CQ7Exception);
  DrainRing();
  EXPECT_THROW(t->MppSearchByFieldNValues(77, set, 1, wanted), CQ7Exception);
  EXPECT_EQ(DrainRing().back(), "SearchByFieldNValues|No Such Filter: 77");
}

// ---- The search from the second byte ----

// The texts compared: each value from its second byte, the NULL whole (empty).
std::string Key(const std::string& v) { return v.empty() ? v : v.substr(1); }

// Whether SearchByField2 keeps a row holding `value`, for a column whose values all begin with one
// byte (so whole-text order is second-byte order). The operator compares the value's key; the NULL
// is kept only by a range that starts on it: between or greater-or-equal from the empty text, and
// only while no one-byte value (whose key is empty too) stands at the start of the list instead.
bool KeepsFromSecondByte(const std::string& value, int op, const std::string& from, const std::string& to,
                         bool one_byte_value_listed) {
  if (value.empty()) return (op == 1 || op == 3) && from.empty() && !one_byte_value_listed;
  const std::string k = Key(value);
  switch (op) {
    case 0:
      return k == from;
    case 1:
      return from <= k && k <= to;
    case 2:
      return k <= from;
    case 3:
      return k >= from;
    case 4:
      return k != from;
    case 5:
      return from < k && k < to;
    case 6:
      return k < from;
    case 7:
      return k > from;
    case 8:
      return k.compare(0, from.size(), from) == 0;
    case 9:
      return k.find(from) != std::string::npos;
    default:
      return k.size() >= from.size() && k.compare(k.size() - from.size(), from.size(), from) == 0;
  }
}

// Every value starts with one byte, so the binary searches are exact: the dense path (all rows)
// and the scope path (a few rows of a long list) keep what the rule keeps, NULL rows included or
// not alike on both. With the one-byte value "X" in the column the empty bound stops on it, and
// the NULL rows drop out of between and greater-or-equal too.
TEST_F(RealTableSearch, SecondByteSearchKeepsNullRowsAlikeOnBothPaths) {
  for (const bool one_byte : {true, false}) {
    std::vector<std::string> values;
    for (int i = 0; i < 400; ++i) {
      if (i % 10 == 0) {
        values.push_back("");
      } else if (i == 7) {
        values.push_back(one_byte ? "X" : "X0999");
      } else {
        values.push_back("X" + std::to_string(1000 + (i * 53) % 300));
      }
    }
    TRealTable* t = Real(AddTable(one_byte ? "T1" : "T2", 400));
    const int f = AddColumn<StrKind>(t, "S", values);
    std::vector<int> all(400);
    for (int i = 0; i < 400; ++i) all[static_cast<size_t>(i)] = 400 - i;
    const std::vector<int> few = {11, 1, 8, 250, 31, 21, 390};  // NULL rows 1, 11, 21, 31; "X" is 8
    ASSERT_LT(static_cast<int>(few.size()), t->GetFilter(f)->VL->FArraySize >> 3);
    const std::vector<std::string> bounds = {"", "1", "10", "1000", "1150", "1299", "2", "0"};
    for (const auto& rows : {all, few}) {
      const int set = t->AddSetFromRows(static_cast<int>(rows.size()), rows.data());
      for (int op = 0; op <= 10; ++op) {
        for (const auto& from : bounds) {
          for (const auto& to : (op == 1 || op == 5) ? bounds : std::vector<std::string>{""}) {
            std::vector<int> want;
            for (int r : rows) {
              if (KeepsFromSecondByte(values[static_cast<size_t>(r - 1)], op, from, to, one_byte)) {
                want.push_back(r);
              }
            }
            std::string lo = from, hi = to;
            const int id = t->SearchByField2(f, set, op, lo.data(), hi.data());
            ASSERT_GT(id, 0);
            ASSERT_EQ(Rows(t->GetSet(id)), want) << "op " << op << " '" << from << "' '" << to << "', set of "
                                                 << rows.size() << (one_byte ? ", with \"X\"" : "");
            t->DelSet(id);
          }
        }
      }
      t->DelSet(set);
    }
  }
}

// Values that begin with different bytes, several of them one byte long: the binary searches are
// no longer exact, but a row is kept or not whatever the size of the set it is searched in, and a
// NULL row only by between or greater-or-equal from the empty text.
TEST_F(RealTableSearch, SecondByteSearchKeepsARowWhateverTheSetSize) {
  constexpr int kN = 600;
  std::vector<std::string> values;
  const char* const heads[] = {"a", "Z", "m", "#", "q"};
  for (int i = 0; i < kN; ++i) {
    if (i % 9 == 0) {
      values.push_back("");
    } else if (i % 50 == 1) {
      values.push_back(heads[(i / 50) % 5]);  // one byte: its key is empty, like the NULL's
    } else {
      values.push_back(std::string(heads[i % 5]) + std::to_string((i * 37) % 500));
    }
  }
  TRealTable* t = Real(AddTable("T", kN));
  const int f = AddColumn<StrKind>(t, "S", values);
  std::vector<int> all(kN);
  for (int i = 0; i < kN; ++i) all[static_cast<size_t>(i)] = i + 1;
  const int whole = t->AddSetFromRows(kN, all.data());
  // Small sets (the scope path), each holding NULL rows and one-byte values.
  const std::vector<std::vector<int>> smalls = {{1, 2, 52, 10, 300, 19, 152},
                                                {600, 451, 28, 102, 37, 252, 7}};
  for (const auto& rows : smalls) {
    ASSERT_LT(static_cast<int>(rows.size()), t->GetFilter(f)->VL->FArraySize >> 3);
  }
  const std::vector<std::string> bounds = {"", "1", "10", "2", "37", "499", "5", "9", "~"};
  for (int op = 0; op <= 10; ++op) {
    for (const auto& from : bounds) {
      for (const auto& to : (op == 1 || op == 5) ? bounds : std::vector<std::string>{""}) {
        SCOPED_TRACE(testing::Message() << "op " << op << " '" << from << "' '" << to << "'");
        std::string lo = from, hi = to;
        const int id = t->SearchByField2(f, whole, op, lo.data(), hi.data());
        ASSERT_GT(id, 0);
        const std::vector<int> kept = Rows(t->GetSet(id));
        t->DelSet(id);
        std::vector<bool> in_whole(kN + 1, false);
        for (int r : kept) {
          in_whole[static_cast<size_t>(r)] = true;
          if (values[static_cast<size_t>(r - 1)].empty()) {
            EXPECT_TRUE((op == 1 || op == 3) && from.empty()) << "NULL row " << r;
          }
        }
        for (const auto& rows : smalls) {
          const int set = t->AddSetFromRows(static_cast<int>(rows.size()), rows.data());
          std::vector<int> want;
          for (int r : rows) {
            if (in_whole[static_cast<size_t>(r)]) want.push_back(r);
          }
          const int small = t->SearchByField2(f, set, op, lo.data(), hi.data());
          ASSERT_GT(small, 0);
          EXPECT_EQ(Rows(t->GetSet(small)), want);
          t->DelSet(small);
          t->DelSet(set);
        }
      }
    }
  }
}

TEST_F(RealTableSearch, SecondByteSearchSkipsTheFirstByte) {
  TRealTable* t = Real(AddTable("T", 3));
  // From the second byte: "abc", "bc", "b" (ordered so by whole text too: "Xabc" "Xb" "abc").
  const int f = AddColumn<StrKind>(t, "S", {"Xabc", "abc", "Xb"});
  struct Case {
    int op;
    const char* from;
    std::vector<int> want;
  } const cases[] = {
      {0, "abc", {1}}, {8, "b", {2, 3}}, {10, "bc", {1, 2}}, {9, "b", {1, 2, 3}},
      {6, "", {}},     {2, "", {}},      {3, "", {1, 2, 3}}, {7, "b", {2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.op << " '" << c.from << "'");
    std::string from = c.from;
    EXPECT_EQ(Rows(t->GetSet(t->SearchByField2(f, 1, c.op, from.data(), from.data()))), c.want);
  }
}

TEST_F(RealTableSearch, SecondByteSearchRefusals) {
  TRealTable* t = Real(AddTable("T", 3));
  const int s = AddColumn<StrKind>(t, "S", {"xa", "xb", ""});
  const int i = AddColumn<IntKind>(t, "I", {1, 2, 3});
  char a[] = "a";
  const int empty_set = t->AddSetFromRows(0, nullptr);
  t->SetCurrentSetID(1);
  DrainRing();
  struct Case {
    int filter, set, op, code;
    const char* ring;
  } const cases[] = {
      {99, 1, 0, Q7_ERROR_NO_SUCH_FILTER, "SearchByField2|No Such Filter: 99"},
      {i, 1, 0, Q7_ERROR_UNDEFINED_FILTER_TYPE, "SearchByField2|Illegal data type ( Not STRING )"},
      {s, 55, 0, Q7_ERROR_ILLEGAL_SET_ID, "SearchByField2|No Such Set: 55 "},
      {s, 1, 11, Q7_ERROR_INVALID_OPERATION, "SearchByField2|Invalid Parameter : OpeNo"},
      {s, 1, -1, Q7_ERROR_INVALID_OPERATION, "SearchByField2|Invalid Parameter : OpeNo"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ring);
    const auto before = SetIDs(t);
    EXPECT_EQ(t->SearchByField2(c.filter, c.set, c.op, a, a), c.code);
    EXPECT_EQ(DrainRing().back(), c.ring);
    EXPECT_EQ(SetIDs(t), before);
    EXPECT_EQ(t->GetCurrentSetID(), 1);
  }
  // An empty source gives an empty set whatever the code.
  const int id = t->SearchByField2(s, empty_set, 99, a, a);
  ASSERT_GT(id, 0);
  EXPECT_EQ(t->GetSetSize(id), 0);
  EXPECT_EQ(t->GetCurrentSetID(), id);
}

// ---- The host's map ----

TEST_F(RealTableSearch, HostMapSelectsValueNumbersInSourceOrder) {
  TRealTable* t = Real(AddTable("T", 5));
  const int f = AddColumn<IntKind>(t, "I", {30, kIntNull, 10, 30, 20});  // list: NULL 10 20 30
  const int back[] = {5, 4, 3, 2, 1};
  const int set = t->AddSetFromRows(5, back);
  std::vector<unsigned char> map = {1, 0, 0, 1};  // NULL and 30
  const int id = t->Search(f, set, map.data());
  EXPECT_EQ(Rows(t->GetSet(id)), (std::vector<int>{4, 2, 1}));
  EXPECT_EQ(t->GetCurrentSetID(), id);
  EXPECT_EQ(t->Search(99, set, map.data()), Q7_ERROR_NO_SUCH_FILTER);
  EXPECT_EQ(t->Search(f, 99, map.data()), Q7_ERROR_ILLEGAL_SET_ID);
  EXPECT_EQ(t->Search(f, set, nullptr), Q7_ERROR_INVALID_PARAMETER);
  const int empty = t->AddSetFromRows(0, nullptr);
  EXPECT_EQ(t->GetSetSize(t->Search(f, empty, map.data())), 0);
}

// Values written since the host read the value list are pending; the merge the search makes
// first grows and renumbers the list. The host's map (exactly as long as the list it read) keeps
// selecting the values it marked, and the new values select nothing.
TEST_F(RealTableSearch, HostMapSurvivesTheMergeOfPendingValues) {
  std::vector<int32_t> values;
  for (int i = 0; i < 200; ++i) values.push_back(i % 50);
  TRealTable* t = Real(AddTable("T", 200));
  const int fid = AddColumn<IntKind>(t, "I", values);
  TFilter* f = t->GetFilter(fid);
  const int n_before = f->VL->FArraySize;
  ASSERT_EQ(n_before, 51);
  std::vector<unsigned char> map(static_cast<size_t>(n_before), 0);
  map[11] = 1;  // value 10
  map[21] = 1;  // value 20
  f->AllocTVL();
  ASSERT_EQ(f->AppendTVLInt(-5, 11), 1);    // record 11 held 10, now a new smallest value
  ASSERT_EQ(f->AppendTVLInt(1000, 21), 2);  // record 21 held 20
  ASSERT_EQ(f->AppendTVLInt(-7, 3), 3);
  const int id = t->Search(fid, 1, map.data());
  EXPECT_GT(f->VL->FArraySize, n_before);
  EXPECT_EQ(f->TVLCount, 0);
  std::vector<int> want;
  for (int r = 1; r <= 200; ++r) {
    if ((values[static_cast<size_t>(r - 1)] == 10 || values[static_cast<size_t>(r - 1)] == 20) && r != 11 &&
        r != 21)
      want.push_back(r);
  }
  EXPECT_EQ(Rows(t->GetSet(id)), want);
}

// The set searches leave the merge of pending values to the table: each value search, serial and
// on the pool, finds a value that is still pending when it is called and leaves none pending.
TEST_F(RealTableSearch, ValueSearchesFindPendingValues) {
  using Search = std::function<int(TRealTable*, int, int32_t*)>;
  const std::pair<const char*, Search> roads[] = {
      {"SearchByField",
       [](TRealTable* t, int f, int32_t* v) {
         return t->SearchByField(f, 1, Q7_SEARCH_EQUAL, reinterpret_cast<char*>(v), nullptr);
       }},
      {"MppSearchByField",
       [](TRealTable* t, int f, int32_t* v) {
         return t->MppSearchByField(f, 1, Q7_SEARCH_EQUAL, reinterpret_cast<char*>(v), nullptr);
       }},
      {"SearchByFieldNValues",
       [](TRealTable* t, int f, int32_t* v) { return t->SearchByFieldNValues(f, 1, 1, v); }},
      {"MppSearchByFieldNValues",
       [](TRealTable* t, int f, int32_t* v) { return t->MppSearchByFieldNValues(f, 1, 1, v); }},
  };
  std::vector<int32_t> values;
  for (int i = 0; i < 200; ++i) values.push_back(i % 50);
  for (const auto& [name, search] : roads) {
    SCOPED_TRACE(name);
    TRealTable* t = Real(AddTable(name, 200));
    const int fid = AddColumn<IntKind>(t, "I", values);
    TFilter* f = t->GetFilter(fid);
    f->AllocTVL();
    ASSERT_EQ(f->AppendTVLInt(1000, 21), 1);  // record 21 held 20
    int32_t wanted = 1000;
    const int id = search(t, fid, &wanted);
    ASSERT_GT(id, 0);
    EXPECT_EQ(Rows(t->GetSet(id)), std::vector<int>{21});
    EXPECT_EQ(f->TVLCount, 0);
  }
}

// ---- Wildcards ----

TEST_F(RealTableSearch, WildCardKeepsMatchingRowsOnBothPaths) {
  std::vector<std::string> values;
  for (int i = 0; i < 300; ++i)
    values.push_back(i % 10 == 0 ? "" : "w" + std::to_string(i) + (i % 3 ? "a" : "*"));
  TRealTable* t = Real(AddTable("T", 300));
  const int f = AddColumn<StrKind>(t, "S", values);
  std::vector<int> all(300);
  for (int i = 0; i < 300; ++i) all[static_cast<size_t>(i)] = 300 - i;
  const std::vector<int> few = {1, 12, 100, 250, 31, 45};
  ASSERT_LT(static_cast<int>(few.size()), t->GetFilter(f)->VL->FArraySize >> 3);
  struct Case {
    const char* pattern;
    bool (*keeps)(const std::string&);
  } const cases[] = {
      {"*", [](const std::string&) { return true; }},
      {"", [](const std::string& v) { return v.empty(); }},
      {"w1*", [](const std::string& v) { return v.rfind("w1", 0) == 0; }},
      {"*a", [](const std::string& v) { return !v.empty() && v.back() == 'a'; }},
      {"*\\*", [](const std::string& v) { return !v.empty() && v.back() == '*'; }},
      {"w?5*", [](const std::string& v) { return v.size() >= 3 && v[0] == 'w' && v[2] == '5'; }},
  };
  for (const auto& rows : {all, few}) {
    const int set = t->AddSetFromRows(static_cast<int>(rows.size()), rows.data());
    for (const Case& c : cases) {
      std::vector<int> want;
      for (int r : rows) {
        if (c.keeps(values[static_cast<size_t>(r - 1)])) want.push_back(r);
      }
      for (int parallel = 0; parallel < 2; ++parallel) {
        SCOPED_TRACE(testing::Message()
                     << c.pattern << (parallel ? " parallel" : "") << ", set of " << rows.size());
        const int id = parallel ? t->MppSearchByFieldWildCard(f, set, c.pattern)
                                : t->SearchByFieldWildCard(f, set, c.pattern);
        ASSERT_GT(id, 0);
        EXPECT_EQ(Rows(t->GetSet(id)), want);
        EXPECT_EQ(t->GetCurrentSetID(), id);
        t->DelSet(id);
      }
    }
    t->DelSet(set);
  }
}

TEST_F(RealTableSearch, WildCardRefusals) {
  TRealTable* t = Real(AddTable("T", 2));
  const int s = AddColumn<StrKind>(t, "S", {"a", "b"});
  const int i = AddColumn<IntKind>(t, "I", {1, 2});
  const std::string longest(4095, '*');
  const std::string too_long(4096, '*');
  EXPECT_GT(t->SearchByFieldWildCard(s, 1, longest.c_str()), 0);
  DrainRing();
  struct Case {
    int filter, set;
    const char* pattern;
    int code;
    const char* ring;  // of the parallel form
  } const cases[] = {
      {s, 1, too_long.c_str(), Q7_ERROR_INVALID_PARAMETER,
       "MppSearchByFieldWildCard|Invalid Parameter : pattern"},
      {s, 1, nullptr, Q7_ERROR_INVALID_PARAMETER, "MppSearchByFieldWildCard|Invalid Parameter : pattern"},
      {99, 1, "*", Q7_ERROR_NO_SUCH_FILTER, "MppSearchByFieldWildCard|No Such Filter: 99"},
      {i, 1, "*", Q7_ERROR_INVALID_DATA_TYPE, "MppSearchByFieldWildCard|Illegal data type ( Not STRING )"},
      {s, 42, "*", Q7_ERROR_ILLEGAL_SET_ID, "MppSearchByFieldWildCard|No Such Set: 42"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ring);
    const auto before = SetIDs(t);
    EXPECT_EQ(t->SearchByFieldWildCard(c.filter, c.set, c.pattern), c.code);
    DrainRing();
    EXPECT_EQ(t->MppSearchByFieldWildCard(c.filter, c.set, c.pattern), c.code);
    EXPECT_EQ(DrainRing().back(), c.ring);
    EXPECT_EQ(SetIDs(t), before);
  }
  EXPECT_THROW(t->SearchByFieldWildCard(s, 1, "a\\"), CQ7Exception);
}

// ---- By position and by record number ----

TEST_F(RealTableSearch, ByPosition) {
  TRealTable* t = Real(AddTable("T", 10));
  const int back[] = {10, 9, 8, 7, 6, 5, 4, 3, 2, 1};  // position p holds record 11 - p
  const int set = t->AddSetFromRows(10, back);
  struct Case {
    int op, from, to;
    std::vector<int> positions;
  } const cases[] = {
      {0, 3, 0, {3}},
      {0, 0, 0, {}},
      {0, 11, 0, {}},
      {1, 0, 3, {1, 2, 3}},
      {1, 8, 20, {8, 9, 10}},
      {1, 5, 4, {}},
      {2, 2, 0, {1, 2}},
      {2, 0, 0, {}},
      {2, 50, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
      {3, 9, 0, {9, 10}},
      {3, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
      {3, 11, 0, {}},
      {4, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
      {4, 2, 0, {1, 3, 4, 5, 6, 7, 8, 9, 10}},
      {5, 2, 20, {3, 4, 5, 6, 7, 8, 9, 10}},
      {5, 3, 4, {}},
      {5, -5, 3, {1, 2}},
      {6, 3, 0, {1, 2}},
      {6, 99, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
      {6, 1, 0, {}},
      {7, 8, 0, {9, 10}},
      {7, 10, 0, {}},
      {7, -3, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "op " << c.op << " " << c.from << " " << c.to);
    const int id = t->SearchByRowNo(set, c.op, c.from, c.to);
    ASSERT_GT(id, 0);
    std::vector<int> want;
    for (int p : c.positions) want.push_back(11 - p);
    EXPECT_EQ(Rows(t->GetSet(id)), want);
    EXPECT_EQ(t->GetCurrentSetID(), id);
    t->DelSet(id);
  }
  t->SetCurrentSetID(set);
  const auto before = SetIDs(t);
  DrainRing();
  EXPECT_EQ(t->SearchByRowNo(set, 8, 1, 1), Q7_ERROR_INVALID_OPERATION);
  EXPECT_EQ(DrainRing().back(), "SearchByRowNo|Invalid Parameter : OpeNo");
  EXPECT_EQ(t->SearchByRowNo(77, 0, 1, 1), Q7_ERROR_ILLEGAL_SET_ID);
  EXPECT_EQ(DrainRing().back(), "SearchByRowNo|No Such Set: 77");
  EXPECT_EQ(SetIDs(t), before);
  EXPECT_EQ(t->GetCurrentSetID(), set);
  const int empty = t->AddSetFromRows(0, nullptr);
  EXPECT_EQ(t->GetSetSize(t->SearchByRowNo(empty, 8, 1, 1)), 0);
}

TEST_F(RealTableSearch, ByRecordNumber) {
  TRealTable* t = Real(AddTable("T", 6));
  const int rows[] = {4, 2, 6, 2, 1, 5};
  const int set = t->AddSetFromRows(6, rows);
  struct Case {
    int op, from, to;
    std::vector<int> want;
  } const cases[] = {
      {0, 2, 0, {2}},       {0, 3, 0, {}},     {1, 2, 4, {4, 2, 2}},
      {2, 2, 0, {2, 2, 1}}, {3, 5, 0, {6, 5}}, {4, 2, 0, {4, 6, 1, 5}},
      {5, 2, 6, {4, 5}},    {6, 2, 0, {1}},    {7, 4, 0, {6, 5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.op);
    const int id = t->SearchByRecNo(0, set, c.op, c.from, c.to);
    ASSERT_GT(id, 0);
    EXPECT_EQ(Rows(t->GetSet(id)), c.want);
    t->DelSet(id);
  }
  const int empty = t->AddSetFromRows(0, nullptr);
  const auto before = SetIDs(t);
  EXPECT_EQ(t->SearchByRecNo(0, empty, 8, 0, 0), Q7_ERROR_INVALID_OPERATION);
  EXPECT_EQ(SetIDs(t), before);
  EXPECT_EQ(t->GetCurrentSetID(), empty);
  DrainRing();
  EXPECT_EQ(t->SearchByRecNo(0, 99, 0, 0, 0), Q7_ERROR_ILLEGAL_SET_ID);
  EXPECT_EQ(DrainRing().back(), "SearchByRecNo|No Such Set: 99");
}

// Every search adds exactly one set, which becomes current; the source is untouched.
TEST_F(RealTableSearch, EverySearchRegistersOneNewCurrentSet) {
  TRealTable* t = Real(AddTable("T", 4));
  const int s = AddColumn<StrKind>(t, "S", {"xb", "xa", "", "xb"});
  const int i = AddColumn<IntKind>(t, "I", {3, 1, kIntNull, 3});
  int32_t three = 3;
  char b[] = "b";
  std::vector<unsigned char> map(3, 1);
  int32_t list[] = {1};
  const std::vector<std::pair<const char*, std::function<int()>>> searches = {
      {"SearchByField", [&] { return t->SearchByField(i, 1, 0, reinterpret_cast<char*>(&three), nullptr); }},
      {"MppSearchByField",
       [&] { return t->MppSearchByField(i, 1, 0, reinterpret_cast<char*>(&three), nullptr); }},
      {"SearchByField2", [&] { return t->SearchByField2(s, 1, 0, b, b); }},
      {"Search", [&] { return t->Search(i, 1, map.data()); }},
      {"SearchByFieldWildCard", [&] { return t->SearchByFieldWildCard(s, 1, "x*"); }},
      {"MppSearchByFieldWildCard", [&] { return t->MppSearchByFieldWildCard(s, 1, "x*"); }},
      {"SearchByFieldNValues", [&] { return t->SearchByFieldNValues(i, 1, 1, list); }},
      {"MppSearchByFieldNValues", [&] { return t->MppSearchByFieldNValues(i, 1, 1, list); }},
      {"SearchByRecNo", [&] { return t->SearchByRecNo(0, 1, 2, 2, 0); }},
      {"SearchByRowNo", [&] { return t->SearchByRowNo(1, 1, 2, 3); }},
  };
  for (const auto& [name, search] : searches) {
    SCOPED_TRACE(name);
    const auto before = SetIDs(t);
    const int id = search();
    ASSERT_GT(id, 0);
    auto after = SetIDs(t);
    ASSERT_EQ(after.size(), before.size() + 1);
    EXPECT_EQ(after.back(), id);
    EXPECT_EQ(t->GetCurrentSetID(), id);
    EXPECT_EQ(Rows(t->GetSet(1)), (std::vector<int>{1, 2, 3, 4}));
    if (t->GetSet(id)->FArraySize > 0) {
      EXPECT_EQ(t->GetSet(id)->FAllocSize, t->GetSet(id)->FArraySize);
    }
  }
}

// A negative set ID searches the current set.
TEST_F(RealTableSearch, NegativeSetMeansCurrentSet) {
  TRealTable* t = Real(AddTable("T", 5));
  const int f = AddColumn<IntKind>(t, "I", {1, 2, 3, 4, 5});
  const int odd[] = {5, 3, 1};
  t->AddSetFromRows(3, odd);
  int32_t two = 2;
  EXPECT_EQ(Rows(t->GetSet(t->SearchByField(f, -1, 3, reinterpret_cast<char*>(&two), nullptr))),
            (std::vector<int>{5, 3}));
  EXPECT_EQ(Rows(t->GetSet(t->SearchByRowNo(-1, 0, 2, 0))), (std::vector<int>{3}));
}

}  // namespace
