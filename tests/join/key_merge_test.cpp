// The join key merge, serial and parallel forms side by side: the numbering rules on small fixed
// cases, decimal scales, a brute-force reference over every value type and 1, 2 and 32 keys, and
// the refused arguments.
#include <gtest/gtest.h>

#include <set>

#include "key_merge_support.h"
#include "tests/support/test_support.h"
#include "values/TDoubleArray.h"

namespace {

using kmtest::All;
using kmtest::Expected;
using kmtest::KeyType;
using kmtest::kForms;
using kmtest::kNull;
using kmtest::Merged;
using kmtest::MergeKeys;
using kmtest::OneKey;
using kmtest::Side;
using q7test::CodeOf;

// Distinct non-zero numbers of a column: the side's run count.
int Runs(const std::vector<int>& numbers) {
  std::set<int> runs(numbers.begin(), numbers.end());
  runs.erase(0);
  return static_cast<int>(runs.size());
}

struct FixedCase {
  const char* name;
  std::vector<int> master;  // abstract key values of records 1..n
  std::vector<int> master_set;
  std::vector<int> slave;
  std::vector<int> slave_set;
  std::vector<int> want_master;  // element 0 first
  std::vector<int> want_slave;
};

const FixedCase kFixed[] = {
    {"no common tuple", {1, 2, 3}, {3, 1, 2}, {4, 5}, {1, 2}, {0, 1, 2, 3}, {0, 4, 5}},
    {"one shared tuple", {7}, {1}, {7}, {1}, {0, 1}, {0, 1}},
    {"rows outside the sets", {1, 2, 3}, {2}, {2, 9}, {1}, {0, 0, 1, 0}, {0, 1, 0}},
    {"all-NULL tuples", {kNull, 3}, {1, 2}, {kNull, 1}, {1, 2}, {0, 0, 2}, {0, 0, 1}},
    {"empty master set", {5, 6}, {}, {3, kNull, 3, 8}, {1, 2, 3, 4}, {0, 0, 0}, {0, 1, 0, 1, 2}},
    {"empty slave set", {4, 4, 2}, {1, 2, 3}, {1}, {}, {0, 2, 2, 1}, {0, 0}},
    {"both sets empty", {1}, {}, {1}, {}, {0, 0}, {0, 0}},
    {"interleaved with repeats",
     {4, 2, 4, 9},
     {4, 3, 2, 1},
     {9, 1, 2, 2},
     {1, 2, 3, 4},
     {0, 3, 2, 3, 4},
     {0, 4, 1, 2, 2}},
    {"slave inside one master gap", {1, 10}, {1, 2}, {5, 6, 5}, {1, 2, 3}, {0, 1, 4}, {0, 2, 3, 2}},
};

TEST(JoinKeyMerge, NumbersTuplesFromOneWithTheAllNullTupleZero) {
  for (const kmtest::Form& form : kForms) {
    for (const FixedCase& c : kFixed) {
      SCOPED_TRACE(testing::Message() << form.name << ": " << c.name);
      const Side m = OneKey(c.master);
      const Side s = OneKey(c.slave);
      kmtest::Keys mk(m, {KeyType::kInt}, 2);
      kmtest::Keys sk(s, {KeyType::kInt}, 2);
      auto m_set = ftest::MakeSet(c.master_set);
      auto s_set = ftest::MakeSet(c.slave_set);
      const Merged got = MergeKeys(form.fn, 1, mk.data(), m_set.get(), sk.data(), s_set.get());
      Expected want;
      want.master = c.want_master;
      want.slave = c.want_slave;
      kmtest::ExpectMerged(got, want);
      EXPECT_EQ(kmtest::Reference(m, c.master_set, s, c.slave_set).master, c.want_master);
      // The serial list leaves room past the numbers issued; the parallel one has exactly one entry
      // per distinct tuple plus the NULL entry.
      const int distinct = kmtest::Reference(m, c.master_set, s, c.slave_set).distinct;
      EXPECT_EQ(got.ValueCount(),
                form.parallel ? distinct + 1 : Runs(c.want_master) + Runs(c.want_slave) + 4);
    }
  }
}

// One DECIMAL key: 1.5 at scale 2 meets 1.5000 at scale 4, 2.25 and 2.2501 stay apart, whichever
// side has the larger scale; the key columns themselves keep their scales and numbers.
TEST(JoinKeyMerge, DecimalKeysMeetAtTheLargerScale) {
  const std::vector<Numeric> scale2 = {vltest::Dec(150), vltest::Dec(225), vltest::Dec(300)};
  const std::vector<Numeric> scale4 = {vltest::Dec(15000), vltest::Dec(22501), vltest::Dec(30000)};
  for (const kmtest::Form& form : kForms) {
    for (bool master_small : {true, false}) {
      SCOPED_TRACE(testing::Message()
                   << form.name << (master_small ? ": master scale 2" : ": master scale 4"));
      auto two = ftest::DecimalFilter(scale2);
      static_cast<TNumericArray*>(two->VL)->SetDecimalInfo(2, Q7_ROUND_HALF_UP);
      auto four = ftest::DecimalFilter(scale4);
      static_cast<TNumericArray*>(four->VL)->SetDecimalInfo(4, Q7_ROUND_DOWN);
      TFilter* m_key = master_small ? two.get() : four.get();
      TFilter* s_key = master_small ? four.get() : two.get();
      TBaseArray* two_list = two->VL;
      const std::vector<int> two_numbers = ftest::Elements(two->PV);
      auto all = ftest::AllRecords(3);
      const Merged got = MergeKeys(form.fn, 1, &m_key, all.get(), &s_key, all.get());
      Expected want;
      const std::vector<int> small = {0, 1, 2, 4};  // 1.5, 2.25, 3
      const std::vector<int> large = {0, 1, 3, 4};  // 1.5000, 2.2501, 3.0000
      want.master = master_small ? small : large;
      want.slave = master_small ? large : small;
      kmtest::ExpectMerged(got, want);
      EXPECT_EQ(two->VL, two_list);
      EXPECT_EQ(static_cast<TNumericArray*>(two->VL)->GetScale(), 2);
      EXPECT_EQ(ftest::Elements(two->PV), two_numbers);
      Numeric v;
      static_cast<TNumericArray*>(two->VL)->GetDecimal(1, &v);
      EXPECT_EQ(v.low, 150u);
    }
  }
}

// Small random tables with repeats and NULLs against the brute-force numbering: every value type on
// 1, 2 and 32 keys, and a key list that mixes all the types.
TEST(JoinKeyMerge, MatchesBruteForceForEveryTypeAndKeyCount) {
  std::vector<std::vector<KeyType>> type_lists;
  for (KeyType t : kmtest::kAllTypes) {
    for (int keys : {1, 2, 32}) type_lists.push_back(std::vector<KeyType>(static_cast<size_t>(keys), t));
  }
  std::vector<KeyType> mixed;
  for (int k = 0; k < 32; ++k) mixed.push_back(kmtest::kAllTypes[k % 5]);
  type_lists.push_back(mixed);

  uint32_t seed = 1;
  for (const auto& types : type_lists) {
    const int keys = static_cast<int>(types.size());
    for (int round = 0; round < 3; ++round, ++seed) {
      std::mt19937 gen(seed);
      // Few values per key when there are many keys, so that tuples still repeat and match.
      const int range = keys == 1 ? 12 : 4;
      const Side m = kmtest::RandomSide(gen, 40 + round * 7, keys, 14, range, round != 1);
      const Side s = kmtest::RandomSide(gen, 35, keys, 14, range, round == 0);
      // The two sides share part of their tuples: the slave copies some master records.
      Side s2 = s;
      for (int r = 1; r <= s.n; r += 3) {
        const int from = 1 + static_cast<int>(gen() % static_cast<unsigned>(m.n));
        for (int k = 0; k < keys; ++k)
          s2.values[k][static_cast<size_t>(r)] = m.values[k][static_cast<size_t>(from)];
      }
      const std::vector<int> m_rows = kmtest::RandomSet(gen, m.n, 80);
      const std::vector<int> s_rows = kmtest::RandomSet(gen, s2.n, round == 2 ? 100 : 70);
      const Expected want = kmtest::Reference(m, m_rows, s2, s_rows);
      kmtest::Keys mk(m, types, 2);
      kmtest::Keys sk(s2, types, 4);
      auto m_set = ftest::MakeSet(m_rows);
      auto s_set = ftest::MakeSet(s_rows);
      for (const kmtest::Form& form : kForms) {
        SCOPED_TRACE(testing::Message()
                     << form.name << " " << kmtest::TypeName(types[0]) << (types == mixed ? " mixed" : "")
                     << " keys " << keys << " seed " << seed);
        kmtest::ExpectMerged(MergeKeys(form.fn, keys, mk.data(), m_set.get(), sk.data(), s_set.get()), want);
      }
    }
  }
}

// A key value written through the pending list takes part in the merge.
TEST(JoinKeyMerge, PendingKeyValuesAreMergedFirst) {
  for (const kmtest::Form& form : kForms) {
    SCOPED_TRACE(form.name);
    auto m_key = ftest::IntFilter({5, 6, 7});
    m_key->TVLMinRecs = 1;
    m_key->AllocTVL();
    ASSERT_EQ(m_key->AppendTVLInt(42, 2), 1);
    auto s_key = ftest::IntFilter({42, 7});
    TFilter* m = m_key.get();
    TFilter* s = s_key.get();
    auto m_set = ftest::AllRecords(3);
    auto s_set = ftest::AllRecords(2);
    const Merged got = MergeKeys(form.fn, 1, &m, m_set.get(), &s, s_set.get());
    Expected want;
    want.master = {0, 1, 3, 2};  // 5, 42, 7
    want.slave = {0, 3, 2};
    kmtest::ExpectMerged(got, want);
    EXPECT_EQ(ftest::IntValue(m, 2), 42);
  }
}

struct BadCase {
  const char* name;
  int key_count;
  KeyType slave_type;
  std::vector<int> master_set;
  int code;
};

const BadCase kBad[] = {
    {"no keys", 0, KeyType::kInt, {1}, Q7_ERROR_INVALID_PARAMETER},
    {"33 keys", 33, KeyType::kInt, {1}, Q7_ERROR_INVALID_PARAMETER},
    {"record 0 in the set", 1, KeyType::kInt, {1, 0}, Q7_ERROR_INVALID_PARAMETER},
    {"record past the table", 1, KeyType::kInt, {3, 4}, Q7_ERROR_INVALID_PARAMETER},
    {"int against string", 1, KeyType::kString, {1}, Q7_ERROR_DATA_TYPE_MISMATCH},
    {"int against double", 1, KeyType::kDouble, {1}, Q7_ERROR_DATA_TYPE_MISMATCH},
};

TEST(JoinKeyMerge, RefusesBadArgumentsAndLeavesNoOutput) {
  for (const kmtest::Form& form : kForms) {
    for (const BadCase& c : kBad) {
      SCOPED_TRACE(testing::Message() << form.name << ": " << c.name);
      // 33 key columns on each side, so that the key count alone decides.
      const std::vector<int> values = {1, 2, 3};
      std::vector<std::unique_ptr<TFilter>> owned;
      std::vector<TFilter*> m_keys;
      std::vector<TFilter*> s_keys;
      for (int k = 0; k < 33; ++k) {
        owned.push_back(kmtest::KeyColumn(KeyType::kInt, {kNull, 1, 2, 3}));
        m_keys.push_back(owned.back().get());
        owned.push_back(kmtest::KeyColumn(c.slave_type, {kNull, 1, 2, 3}));
        s_keys.push_back(owned.back().get());
      }
      TBaseArray* m_list = m_keys[0]->VL;
      const std::vector<int> m_numbers = ftest::Elements(m_keys[0]->PV);
      auto m_set = ftest::MakeSet(c.master_set);
      auto s_set = ftest::AllRecords(3);
      auto* sentinel = reinterpret_cast<TFilter*>(&owned);
      TFilter* m = sentinel;
      TFilter* s = sentinel;
      EXPECT_EQ(CodeOf([&] {
                  form.fn(c.key_count, m_keys.data(), m_set.get(), s_keys.data(), s_set.get(), &m, &s);
                }),
                c.code);
      EXPECT_EQ(m, nullptr);
      EXPECT_EQ(s, nullptr);
      EXPECT_EQ(m_keys[0]->VL, m_list);
      EXPECT_EQ(ftest::Elements(m_keys[0]->PV), m_numbers);
    }
  }
}

// Scaling 10^30 (scale 0) up to scale 10 leaves 128 bits: the value cannot be ordered among the
// other side's, so the merge fails rather than match it wrongly.
TEST(JoinKeyMerge, DecimalBeyondTheLargerScaleFails) {
  for (const kmtest::Form& form : kForms) {
    SCOPED_TRACE(form.name);
    Numeric huge = vltest::Dec(0);
    huge.high = int64_t{1} << 40;
    auto m_key = ftest::DecimalFilter({huge, vltest::Dec(1)});
    static_cast<TNumericArray*>(m_key->VL)->SetDecimalInfo(0, Q7_ROUND_HALF_UP);
    auto s_key = ftest::DecimalFilter({vltest::Dec(1)});
    static_cast<TNumericArray*>(s_key->VL)->SetDecimalInfo(10, Q7_ROUND_HALF_UP);
    TFilter* mk = m_key.get();
    TFilter* sk = s_key.get();
    auto m_set = ftest::AllRecords(2);
    auto s_set = ftest::AllRecords(1);
    TFilter* m = nullptr;
    TFilter* s = nullptr;
    EXPECT_EQ(CodeOf([&] { form.fn(1, &mk, m_set.get(), &sk, s_set.get(), &m, &s); }),
              Q7_ERROR_DATA_OVERFLOW);
    EXPECT_EQ(m, nullptr);
    EXPECT_EQ(static_cast<TNumericArray*>(m_key->VL)->GetScale(), 0);
  }
}

// The serial run search: skip below the target, then measure the run that equals it.
TEST(JoinKeyMerge, GetUniqueRangeFindsTheRunOfTheTarget) {
  int groups[] = {0, 0, 1, 1, 1, 3, 4};
  struct Case {
    int target, pos, offset;
    int found, want_pos, want_len;
  };
  const Case cases[] = {
      {1, 0, 0, 1, 2, 3},  // the all-NULL run is skipped
      {2, 2, 0, 0, 5, 0},  // no run numbered 2: pos stops at the next larger one
      {4, 5, 1, 1, 5, 1},  // run 3 plus offset 1
      {9, 0, 0, 0, 7, 0},  // past the end
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "target " << c.target << " offset " << c.offset);
    int pos = c.pos;
    int len = -1;
    EXPECT_EQ(GetUniqueRange(c.target, 7, groups, &pos, &len, c.offset), c.found);
    EXPECT_EQ(pos, c.want_pos);
    EXPECT_EQ(len, c.want_len);
  }
}

TEST(JoinKeyMerge, CompAreaOrdersByKeyOneFirst) {
  int a0[] = {0, 1, 1, 2};
  int a1[] = {0, 5, 3, 0};
  int* arrays[] = {a0, a1};
  EXPECT_EQ(CompArea(2, 1, arrays, 2, arrays), 1);   // (1,5) > (1,3)
  EXPECT_EQ(CompArea(2, 2, arrays, 3, arrays), -1);  // (1,3) < (2,0)
  EXPECT_EQ(CompArea(2, 1, arrays, 1, arrays), 0);
  EXPECT_EQ(CompArea(1, 1, arrays, 2, arrays), 0);  // key 1 alone ties
  EXPECT_EQ(CompArea(0, 1, arrays, 3, arrays), 0);
}

}  // namespace
