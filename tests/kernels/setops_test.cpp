// Set operations on row lists against a reference, edge cases, and parallel against serial.
#include "kernels/SetOps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <numeric>
#include <vector>

#include "kernel_test_util.h"
#include "kernels/RowFilters.h"
#include "setops_test_util.h"

namespace {

using q7test::CodeOf;
using q7test::RingScope;
using setops_test::Contents;
using setops_test::FilterInput;
using setops_test::HalfSet;
using setops_test::kNot;
using setops_test::MakeFilterInput;
using setops_test::MakeSet;
using setops_test::RandomRows;
using setops_test::Reference;
using setops_test::Result;
using setops_test::RunOp;

std::vector<int> Range(int from, int to) {
  std::vector<int> v;
  for (int r = from; r <= to; ++r) v.push_back(r);
  return v;
}

std::vector<int> Without(std::vector<int> v, int row) {
  v.erase(std::remove(v.begin(), v.end(), row), v.end());
  return v;
}

// ---- Set operations ----

struct OpCase {
  const char* name;
  int op;  // kNot: a's complement
  int n_rows;
  std::vector<int> a, b;
  std::vector<int> want;
};

TEST(SetOperations, ResultsAscendingWithCountAndSize) {
  const OpCase cases[] = {
      {"not, bit 0 and the bits above 40 stay clear", kNot, 40, {3, 40}, {}, Without(Range(1, 39), 3)},
      {"not of nothing in one full word", kNot, 31, {}, {}, Range(1, 31)},
      {"not across the first word edge", kNot, 32, {31}, {}, Without(Range(1, 32), 31)},
      {"not of all rows is empty", kNot, 10, Range(1, 10), {}, {}},
      {"not with no rows", kNot, 0, {}, {}, {}},
      {"and not", kSetOpeAndNot, 10, {1, 2, 3}, {2, 9}, {1, 3}},
      {"and", kSetOpeAnd, 10, {1, 2, 3}, {2, 9}, {2}},
      {"or", kSetOpeOr, 10, {1, 2, 3}, {2, 9}, {1, 2, 3, 9}},
      {"unordered sets", kSetOpeOr, 70, {64, 3, 33}, {70, 1, 32}, {1, 3, 32, 33, 64, 70}},
      {"and with an empty set", kSetOpeAnd, 10, {1, 2}, {}, {}},
      {"or with an empty set", kSetOpeOr, 10, {}, {4, 2}, {2, 4}},
      {"and not an empty set", kSetOpeAndNot, 10, {7, 5}, {}, {5, 7}},
      {"empty and not anything", kSetOpeAndNot, 10, {}, {1, 2}, {}},
      {"or with no rows", kSetOpeOr, 0, {}, {}, {}},
  };
  for (bool parallel : {false, true}) {
    for (const OpCase& c : cases) {
      SCOPED_TRACE(testing::Message() << c.name << (parallel ? " (Mpp)" : ""));
      const Result r = RunOp(parallel, c.op, c.n_rows, c.a, c.b);
      EXPECT_EQ(r.count, static_cast<int>(c.want.size()));
      EXPECT_EQ(r.rows, c.want);
    }
  }
}

// A list may hold a record twice or a number that is no record of the table. The result is the
// operation over the records the list does hold, and its count is that of the rows written, so
// nothing lands past the result (ASan checks the writes).
TEST(SetOperations, RepeatedAndOutOfRangeRowsAreSafe) {
  const std::vector<int> strange = {5, 5, 0, -3, INT_MIN, INT_MAX, 7, 7, 7};
  for (int n_rows : {1, 6, 10, 31, 32, 40, 63, 64}) {
    // Just past the table, inside and past the bitmap's last word.
    std::vector<int> a = strange;
    a.push_back(n_rows + 1);
    a.push_back(n_rows + 32);
    a.push_back(((n_rows + 32) / 32) * 32 - 1);
    std::vector<int> b = {n_rows, n_rows, 2, n_rows + 1, 0, 64, 65};
    for (bool parallel : {false, true}) {
      for (int op : {kNot, kSetOpeAnd, kSetOpeOr, kSetOpeAndNot}) {
        SCOPED_TRACE(testing::Message() << "nRows " << n_rows << " op " << op << (parallel ? " (Mpp)" : ""));
        const Result r = RunOp(parallel, op, n_rows, a, b);
        EXPECT_EQ(r.rows, Reference(op, n_rows, a, b));
      }
    }
  }
}

// Every record listed twice: the complement is empty, not a negative count.
TEST(SetOperations, ComplementOfDoubledSetIsEmpty) {
  std::vector<int> twice = Range(1, 100);
  twice.insert(twice.end(), twice.begin(), twice.end());
  for (bool parallel : {false, true}) {
    const Result r = RunOp(parallel, kNot, 100, twice);
    EXPECT_EQ(r.count, 0);
    EXPECT_EQ(r.size, 10);
  }
}

TEST(SetOperations, NegativeRowCountGivesEmptyResult) {
  for (bool parallel : {false, true}) {
    for (int op : {kNot, kSetOpeAnd, kSetOpeOr, kSetOpeAndNot}) {
      SCOPED_TRACE(op);
      const Result r = RunOp(parallel, op, -40, {1, 2}, {2});
      EXPECT_EQ(r.count, 0);
    }
  }
}

TEST(SetOperations, NullAndDataLessArraysAreEmptySets) {
  TIntArray no_data;
  for (bool parallel : {false, true}) {
    int size = 0;
    int* out = nullptr;
    EXPECT_EQ((parallel ? MppSetOpeNot : SetOpeNot)(5, nullptr, &size, &out), 5);
    EXPECT_EQ(std::vector<int>(out, out + 5), Range(1, 5));
    zpk_free(out);
    auto b = MakeSet({2, 3});
    EXPECT_EQ((parallel ? MppSetOpeCommon : SetOpeCommon)(kSetOpeOr, 5, &no_data, b.get(), &size, &out), 2);
    EXPECT_EQ(std::vector<int>(out, out + 2), (std::vector<int>{2, 3}));
    zpk_free(out);
  }
}

TEST(SetOperations, InvalidOpCodeRefusedAndOnlySerialFormLogs) {
  auto a = MakeSet({1, 2});
  auto b = MakeSet({2});
  for (int op : {3, -1, INT_MAX}) {
    SCOPED_TRACE(op);
    RingScope ring;
    int size = 77;
    int* out = reinterpret_cast<int*>(0x1);
    EXPECT_EQ(CodeOf([&] { SetOpeCommon(op, 10, a.get(), b.get(), &size, &out); }),
              Q7_ERROR_INVALID_OPERATION);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(size, 77);
    EXPECT_EQ(ring.TakeCoded(), "SetOpeCommon|E0000034|Invalid Parameter : OpCode");
    EXPECT_EQ(ring.TakeCoded(), "");

    out = reinterpret_cast<int*>(0x1);
    EXPECT_EQ(CodeOf([&] { MppSetOpeCommon(op, 10, a.get(), b.get(), &size, &out); }),
              Q7_ERROR_INVALID_OPERATION);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(ring.TakeCoded(), "");
  }
}

TEST(SetOperations, RandomListsMatchReference) {
  uint32_t seed = 1;
  for (int n_rows : {1, 2, 31, 32, 33, 63, 64, 65, 1000, 4097}) {
    for (int n : {0, 1, 3, n_rows / 2, 2 * n_rows}) {
      const std::vector<int> a = RandomRows(n, -2, n_rows + 40, seed++);
      const std::vector<int> b = RandomRows(n / 2 + 1, 0, n_rows + 1, seed++);
      for (int op : {kNot, kSetOpeAnd, kSetOpeOr, kSetOpeAndNot}) {
        SCOPED_TRACE(testing::Message() << "nRows " << n_rows << " n " << n << " op " << op);
        const std::vector<int> want = Reference(op, n_rows, a, b);
        EXPECT_EQ(RunOp(false, op, n_rows, a, b).rows, want);
        EXPECT_EQ(RunOp(true, op, n_rows, a, b).rows, want);
      }
    }
  }
}

TEST(SetOperations, ParallelEqualsSerialOnAMillionRows) {
  constexpr int kRows = 1000000;
  const std::vector<int> a = HalfSet(kRows, 11);
  const std::vector<int> b = HalfSet(kRows, 12);
  for (int op : {kNot, kSetOpeAnd, kSetOpeOr, kSetOpeAndNot}) {
    SCOPED_TRACE(op);
    const Result serial = RunOp(false, op, kRows, a, b);
    const Result parallel = RunOp(true, op, kRows, a, b);
    EXPECT_EQ(parallel.count, serial.count);
    EXPECT_TRUE(parallel.rows == serial.rows);
    EXPECT_TRUE(serial.rows == Reference(op, kRows, a, b));
  }
}

// ---- Bitmap primitives ----

TEST(BitMaps, ToBitMapClearsAndSetsOnlyRowsOfTheBitmap) {
  const std::vector<int> rows = {0, 1, 31, 32, 63, 64, -1, 31, INT_MIN};
  for (bool parallel : {false, true}) {
    std::vector<int> bitmap(3, -1);
    (parallel ? MppToBitMap : ToBitMap)(static_cast<int>(rows.size()), rows.data(), 2, bitmap.data());
    EXPECT_EQ(static_cast<uint32_t>(bitmap[0]), 0x80000002u);
    EXPECT_EQ(static_cast<uint32_t>(bitmap[1]), 0x80000001u);
    EXPECT_EQ(bitmap[2], -1);  // beyond the words given: untouched
    std::vector<int> out(4, 0);
    EXPECT_EQ(CountBitMap(2, bitmap.data()), 4);
    EXPECT_EQ(BM2Array(2, bitmap.data(), out.data()), 4);
    EXPECT_EQ(out, (std::vector<int>{1, 31, 32, 63}));

    (parallel ? MppToBitMap : ToBitMap)(0, rows.data(), 2, bitmap.data());
    EXPECT_EQ(bitmap[0], 0);
    EXPECT_EQ(bitmap[1], 0);
  }
}

TEST(BitMaps, NegateClearsBitZeroAndBitsAboveRowCount) {
  struct Case {
    int n_rows;
    std::vector<uint32_t> in, want;
  };
  const Case cases[] = {
      {40, {0x00000008u, 0x00000100u}, {0xFFFFFFF6u, 0x000000FFu}},  // rows 3 and 40 given
      {31, {0u}, {0xFFFFFFFEu}},
      {32, {0u, 0u}, {0xFFFFFFFEu, 0x00000001u}},
      {0, {0u}, {0u}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.n_rows);
    std::vector<uint32_t> bitmap = c.in;
    NegateBitMap(c.n_rows, reinterpret_cast<int*>(bitmap.data()));
    EXPECT_EQ(bitmap, c.want);
  }
  int untouched = 5;
  NegateBitMap(-1, &untouched);  // no words
  EXPECT_EQ(untouched, 5);
}

TEST(BitMaps, AndOrWordwiseIntoEitherOperand) {
  std::vector<int> a = {0x0F, 0x3C, 0x7};
  const std::vector<int> b = {0x3C, 0x0F, 0x1};
  std::vector<int> out(3);
  ORBitMap(40, a.data(), b.data(), out.data());  // 2 words
  EXPECT_EQ(out, (std::vector<int>{0x3F, 0x3F, 0}));
  ANDBitMap(40, a.data(), b.data(), a.data());
  EXPECT_EQ(a, (std::vector<int>{0x0C, 0x0C, 0x7}));
}

// ---- SieveOpe ----

TEST(SieveOpe, KeepsRowsOfAInBInAsOrderEvenWhenRepeated) {
  auto a = MakeSet({9, 2, 5, 2, 50, 0, -1, 2});
  auto b = MakeSet({2, 9, 7, 50});  // 50 is no row of 10
  TIntArray* out = nullptr;
  EXPECT_EQ(SieveOpe(10, a.get(), b.get(), &out), 4);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(Contents(*out), (std::vector<int>{9, 2, 2, 2}));
  delete out;

  auto empty = MakeSet({});
  EXPECT_EQ(SieveOpe(10, a.get(), empty.get(), &out), 0);
  EXPECT_EQ(out->FArraySize, 0);
  delete out;
}

// ---- Row filters ----

using FilterFn = void (*)(TIntArray*, TIntArray*, TIntArray*, const unsigned char*);
using ScopeFilterFn = void (*)(TIntArray*, TIntArray*, const int*, const unsigned char*);

TEST(RowFilters, ScopeKeepsSelectedPositionsInOrder) {
  for (ScopeFilterFn filter : {MoveRecsForScanScope, MppMoveRecsForScanScope}) {
    auto src = MakeSet({7, 3, 9});
    const std::vector<int> index = {0, 1, 0};
    const unsigned char select[] = {1, 0};
    TIntArray dst;
    filter(src.get(), &dst, index.data(), select);
    EXPECT_EQ(Contents(dst), (std::vector<int>{7, 9}));
  }
}

TEST(RowFilters, ByValueNumberKeepsOrderAndDropsNonRecords) {
  // Records 1 .. 6 with value numbers; value 1 and 3 are selected.
  auto vno = MakeSet({0, 1, 2, 3, 1, 0, 3});
  const unsigned char select[] = {0, 1, 0, 1};
  for (FilterFn filter : {MoveRecsForScan, MppMoveRecsForScan}) {
    auto src = MakeSet({6, 2, 1, 7, 0, -5, 4, 3, 4});
    TIntArray dst;
    filter(src.get(), &dst, vno.get(), select);
    EXPECT_EQ(Contents(dst), (std::vector<int>{6, 1, 4, 3, 4}));

    filter(src.get(), src.get(), vno.get(), select);  // in place
    EXPECT_EQ(Contents(*src), (std::vector<int>{6, 1, 4, 3, 4}));

    auto empty = MakeSet({});
    filter(empty.get(), &dst, vno.get(), select);
    EXPECT_EQ(dst.FArraySize, 0);
  }
}

TEST(RowFilters, ParallelEqualsSerialOnLargeSets) {
  const FilterInput in = MakeFilterInput(1000000, 50, 21, false);
  TIntArray serial, parallel, scope;
  MoveRecsForScan(in.src.get(), &serial, in.vno.get(), in.select.data());
  MppMoveRecsForScan(in.src.get(), &parallel, in.vno.get(), in.select.data());
  MppMoveRecsForScanScope(in.src.get(), &scope, in.index.data(), in.select.data());
  const std::vector<int> want = Contents(serial);
  EXPECT_GT(want.size(), 100000u);
  EXPECT_TRUE(Contents(parallel) == want);
  EXPECT_TRUE(Contents(scope) == want);
}

}  // namespace
