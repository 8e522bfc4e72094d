// The in-memory typed arrays: limits, growth, string area handling, copies and type functions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/zpk_memory.h"
#include "tests/support/test_support.h"
#include "values/ArrayFunctions.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"

namespace {

using q7test::CodeOf;

// Gives each test a ring of its own, so ring entries can be checked.
class ArraysTest : public q7test::RingTest {
 protected:
  struct Entry {
    std::string func;
    int code;
    std::string text;
  };
  std::vector<Entry> Entries() {
    std::vector<Entry> out;
    char func[ErrorRing::kNameSize];
    char text[ErrorRing::kMessageSize];
    int code = 0;
    int time = 0;
    while (ring_.Get(&time, func, &code, text)) out.push_back({func, code, text});
    return out;
  }
};

std::vector<std::string> Texts(TStrArray& a) {
  std::vector<std::string> out;
  for (int i = 0; i < a.FArraySize; ++i) out.emplace_back(a.GetPChar(i));
  return out;
}

}  // namespace

TEST_F(ArraysTest, InitArrayLimits) {
  struct Case {
    int unit;
    int n;
    int code;
  };
  const Case cases[] = {
      {1, 1, Q7_ERROR_INVALID_UNIT_SIZE},
      {257, 1, Q7_ERROR_INVALID_UNIT_SIZE},
      {2, 1, 0},
      {256, 1, 0},
      {4, 0, 0},
      {4, -1, Q7_ERROR_INVALID_ARRAY_SIZE},
      // 20 x 2,000,000,001 is 40,000,000,020 bytes: above the 40,000,000,000 limit.
      {20, 2000000001, Q7_ERROR_DATA_SIZE_OVERFLOW},
      {256, 2147483647, Q7_ERROR_DATA_SIZE_OVERFLOW},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.unit << " x " << c.n);
    TIntArray a;
    EXPECT_EQ(CodeOf([&] { a.InitArray(c.unit, c.n, 1); }), c.code);
    if (c.code == 0) {
      EXPECT_EQ(a.FUnitSize, c.unit);
      EXPECT_EQ(a.FArraySize, c.n);
      EXPECT_EQ(a.FAllocSize, c.n);
    } else {
      EXPECT_EQ(a.FArraySize, 0);
      EXPECT_EQ(a.FData, nullptr);
    }
  }
}

TEST_F(ArraysTest, AppendGrowsByAnEighthPlusTenThousand) {
  struct Case {
    int start;
    int64_t grown;
  };
  const Case cases[] = {{0, 10000}, {10000, 21250}, {80000, 100000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.start);
    TIntArray a(c.start, 1);
    const int v = 77;
    a.AppendData(&v);
    EXPECT_EQ(a.FAllocSize, c.grown);
    EXPECT_EQ(CalcMargin2(c.start), c.grown);
    EXPECT_EQ(a.FArraySize, c.start + 1);
    EXPECT_EQ(a.GetInt(c.start), 77);
    // While there is room, appending does not grow.
    a.AppendData(&v);
    EXPECT_EQ(a.FAllocSize, c.grown);
  }
}

TEST_F(ArraysTest, SetArraySizeNeverShrinksAndAdjustTrims) {
  TIntArray a(100, 1);
  a.SetArraySize(10);
  EXPECT_EQ(a.FArraySize, 10);
  EXPECT_EQ(a.FAllocSize, 100);
  a.AdjustMemArea();
  EXPECT_EQ(a.FAllocSize, 10);
  a.SetArraySize(25);
  EXPECT_EQ(a.FAllocSize, 25);

  a.SetArraySize(0);
  a.AdjustMemArea();
  EXPECT_EQ(a.FAllocSize, TBaseArray::kDefaultAllocSize);

  a.SetAllocSize(5);
  EXPECT_EQ(a.FAllocSize, 5);
  EXPECT_EQ(a.FArraySize, 0);
  a.SetArraySize(5);
  a.SetAllocSize(3);
  EXPECT_EQ(a.FArraySize, 3);
}

TEST_F(ArraysTest, SizeFailuresAreLogged) {
  TIntArray a(4, 1);
  EXPECT_EQ(CodeOf([&] { a.SetArraySize(-1); }), Q7_ERROR_ROW_SIZE_OVERFLOW);
  EXPECT_EQ(CodeOf([&] { a.SetAllocSize(-2); }), Q7_ERROR_ROW_SIZE_OVERFLOW);
  EXPECT_EQ(CodeOf([&] { a.SetAllocSize(10000000001LL); }), Q7_ERROR_DATA_SIZE_OVERFLOW);
  const auto entries = Entries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].func, "SetArraySize");
  EXPECT_EQ(entries[0].text, "Invalid Parameter : NewSize(-1)");
  EXPECT_EQ(entries[1].func, "SetAllocSize");
  EXPECT_EQ(entries[1].text, "Illrgal row size : NewSize(-2)");
  EXPECT_EQ(entries[2].text, "DataSize overflow");
  EXPECT_EQ(a.FArraySize, 4);
  EXPECT_EQ(a.FAllocSize, 4);
}

TEST_F(ArraysTest, IndexChecksLogOnlyWhereTheAccessorSaysSo) {
  TIntArray ints(3, 1);
  TDoubleArray doubles(3, 1);
  TStrArray strs(3, 1);
  TNumericArray decimals(3, 1);
  Numeric num{};
  char out[16] = {};
  struct Case {
    const char* what;
    std::function<void()> call;
    const char* logged;  // null: no ring entry
  };
  const Case cases[] = {
      {"GetInt", [&] { ints.GetInt(3); }, "GetInt"},
      {"GetIntPtr", [&] { ints.GetIntPtr(-1); }, "GetInt"},
      {"int GetAddress", [&] { ints.GetAddress(3); }, "GetAddress"},
      {"PutInt", [&] { ints.PutInt(3, 1); }, nullptr},
      {"GetDouble", [&] { doubles.GetDouble(3); }, "GetDouble"},
      {"GetDoublePtr", [&] { doubles.GetDoublePtr(3); }, "GetDoublePtr"},
      {"PutDouble", [&] { doubles.PutDouble(-1, 1.0); }, nullptr},
      {"GetPChar", [&] { strs.GetPChar(3); }, "GetPChar"},
      {"str GetAddress", [&] { strs.GetAddress(-1); }, "GetAddress"},
      {"GetPChar2", [&] { strs.GetPChar2(3); }, nullptr},
      {"PutPChar", [&] { strs.PutPChar(3, "x"); }, nullptr},
      {"GetDecimal", [&] { decimals.GetDecimal(3, &num); }, nullptr},
      {"PutDecimal", [&] { decimals.PutDecimal(-1, &num); }, nullptr},
      // The element virtuals, shared by the fixed-width classes, keep each class's names.
      {"int GetData", [&] { ints.GetData(3, out); }, "GetInt"},
      {"int PutData", [&] { ints.PutData(-1, out); }, nullptr},
      {"double GetData", [&] { doubles.GetData(-1, out); }, "GetDouble"},
      {"double GetAddress", [&] { doubles.GetAddress(3); }, "GetAddress"},
      {"double PutData", [&] { doubles.PutData(3, out); }, nullptr},
      {"decimal GetData", [&] { decimals.GetData(3, out); }, nullptr},
      {"decimal GetAddress", [&] { decimals.GetAddress(-1); }, nullptr},
      {"decimal PutData", [&] { decimals.PutData(3, out); }, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(CodeOf(c.call), Q7_ERROR_INDEX_OUT_OF_RANGE);
    const auto entries = Entries();
    if (c.logged) {
      ASSERT_EQ(entries.size(), 1u);
      EXPECT_EQ(entries[0].func, c.logged);
      EXPECT_EQ(entries[0].code, Q7_ERROR_INDEX_OUT_OF_RANGE);
      EXPECT_EQ(entries[0].text.rfind("Invalid Parameter : idx(", 0), 0u);
    } else {
      EXPECT_TRUE(entries.empty());
    }
  }
}

TEST_F(ArraysTest, PutPCharTakes4095CharactersAndRefuses4096) {
  TStrArray a(2, 1);
  const std::string ok(4095, 'a');
  a.PutPChar(0, ok.c_str());
  a.PutPChar(1, "b");
  EXPECT_EQ(a.GetPChar(0), ok);
  a.Sweep();
  ASSERT_EQ(a.FCompact, 1);
  const std::string too_long(4096, 'b');
  EXPECT_EQ(CodeOf([&] { a.PutPChar(1, too_long.c_str()); }), Q7_ERROR_STRING_SIZE_OVERFLOW);
  EXPECT_EQ(a.FCompact, 0);
  EXPECT_STREQ(a.GetPChar(1), "b");
  // Appending has no limit.
  a.AppendData(too_long.c_str());
  EXPECT_EQ(a.GetPChar(2), too_long);
}

TEST_F(ArraysTest, ReplacedTextsStayUntilSweep) {
  TStrArray a(5, 1);
  const char* texts[] = {"zero", "one", "two", "three", "four"};
  for (int i = 0; i < 5; ++i) a.PutPChar(i, texts[i]);
  const int64_t before = a.FPCLast;
  a.PutPChar(3, "THREE!");
  EXPECT_EQ(a.FPCLast, before + 7);
  a.Sweep();
  EXPECT_EQ(a.FCompact, 1);
  EXPECT_EQ(a.FPCLast, before + 1);  // "THREE!" is one longer than "three"
  EXPECT_EQ(Texts(a), (std::vector<std::string>{"zero", "one", "two", "THREE!", "four"}));
  // Compacted means in element order, with no gaps.
  int64_t pos = 0;
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(a.Offsets()[i], static_cast<uint64_t>(pos));
    pos += static_cast<int64_t>(strlen(a.GetPChar(i))) + 1;
  }
}

TEST_F(ArraysTest, UnputElementsReadEmptyAndSweepSafely) {
  // Without the zero-fill flag too, and more elements than the 1024-byte area has bytes.
  TStrArray a(3000, 0);
  EXPECT_EQ(a.FStrAreaSize, TStrArray::kInitialAreaSize);
  EXPECT_EQ(a.FPCLast, 0);
  for (int i = 0; i < a.FArraySize; i += 999) EXPECT_STREQ(a.GetPChar(i), "");
  a.Sweep();
  EXPECT_EQ(a.FPCLast, 3000);
  EXPECT_STREQ(a.GetPChar(2999), "");

  TStrArray grown;
  grown.SetArraySize(4);
  for (int i = 0; i < 4; ++i) EXPECT_STREQ(grown.GetPChar(i), "");
  grown.PutPChar(2, "x");
  grown.SetArraySize(1);
  grown.SetArraySize(6);  // elements 1..5 come back without a text of their own
  EXPECT_STREQ(grown.GetPChar(5), grown.GetPChar(0));
  EXPECT_STREQ(grown.GetPChar(2), "");
}

// An element that was never put reads the empty text, whatever has been put elsewhere since: a text
// put or appended at offset 0 (where unput elements start) must not show through them.
TEST_F(ArraysTest, UnputElementsStayEmptyAfterOtherPuts) {
  struct Case {
    const char* what;
    std::function<void(TStrArray&)> build;
    std::vector<std::string> want;
  };
  const Case cases[] = {
      {"put at 0 first", [](TStrArray& a) { a.PutPChar(0, "zero"); }, {"zero", "", ""}},
      {"put elsewhere first", [](TStrArray& a) { a.PutPChar(1, "one"); }, {"", "one", ""}},
      {"appended first", [](TStrArray& a) { a.AppendData("tail"); }, {"", "", "", "tail"}},
      {"empty text put first, then more",
       [](TStrArray& a) {
         a.PutPChar(0, "");
         a.PutPChar(2, "two");
       },
       {"", "", "two"}},
      {"grown after puts",
       [](TStrArray& a) {
         a.PutPChar(0, "zero");
         a.PutPChar(2, "two");
         a.SetArraySize(5);
         a.PutPChar(4, "four");
       },
       {"zero", "", "two", "", "four"}},
      {"shrunk and grown back",
       [](TStrArray& a) {
         a.PutPChar(2, "x");
         a.SetArraySize(1);
         a.SetArraySize(3);
       },
       {"", "", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (int zero_fill : {0, 1}) {
      TStrArray a(3, zero_fill);
      c.build(a);
      EXPECT_EQ(Texts(a), c.want);
      a.AppendData("later");
      std::vector<std::string> want = c.want;
      want.emplace_back("later");
      EXPECT_EQ(Texts(a), want);
      a.Sweep();
      EXPECT_EQ(Texts(a), want);
    }
  }

  // An array built from texts (offset 0 holds its first one), then grown.
  const char* texts[] = {"alpha", "beta"};
  auto* ptrs = static_cast<char**>(malloc(sizeof texts));
  memcpy(ptrs, texts, sizeof texts);
  TStrArray from_texts(2, ptrs);
  from_texts.SetArraySize(4);
  from_texts.PutPChar(3, "delta");
  EXPECT_EQ(Texts(from_texts), (std::vector<std::string>{"alpha", "beta", "", "delta"}));
}

TEST_F(ArraysTest, PutPCharOfOwnTextSurvivesAreaGrowth) {
  TStrArray a(2, 1);
  a.PutPChar(0, "a text that is copied onto itself");
  a.AdjustMemArea();  // area exactly full: the next put must move it
  ASSERT_EQ(a.FStrAreaSize, a.FPCLast);
  a.PutPChar(1, a.GetPChar(0));
  EXPECT_STREQ(a.GetPChar(1), "a text that is copied onto itself");
  a.AppendData(a.GetPChar(1));
  EXPECT_STREQ(a.GetPChar(2), "a text that is copied onto itself");
}

TEST_F(ArraysTest, StringAppendAndAdjustFollowTheAreaRules) {
  TStrArray a;
  a.AppendData("abc");
  EXPECT_EQ(a.FAllocSize, 10000);
  EXPECT_EQ(a.FStrAreaSize, 4 + 4 / 8 + 10000);
  EXPECT_EQ(a.FPCLast, 4);
  a.AdjustMemArea();
  EXPECT_EQ(a.FAllocSize, 1);
  EXPECT_EQ(a.FStrAreaSize, 4);
  // Filling the area exactly also grows it.
  a.AppendData("");
  EXPECT_EQ(a.FStrAreaSize, 5 + 5 / 8 + 10000);

  TStrArray empty(0, 1);
  empty.AdjustMemArea();
  EXPECT_EQ(empty.FStrAreaSize, TStrArray::kInitialAreaSize);
}

TEST_F(ArraysTest, GetPChar2SkipsTheFirstByteFromIndexOne) {
  TStrArray a(3, 1);
  a.PutPChar(0, "#null");
  a.PutPChar(1, "#abc");
  a.PutPChar(2, "");
  EXPECT_STREQ(a.GetPChar2(0), "#null");
  EXPECT_STREQ(a.GetPChar2(1), "abc");
  EXPECT_STREQ(a.GetPChar2(2), "");  // never past the NUL of an empty text
}

TEST_F(ArraysTest, StrGetDataCopiesAtMost4095Characters) {
  TStrArray a(2, 1);
  const std::string long_text(5000, 'q');
  a.AppendData(long_text.c_str());
  a.PutPChar(0, "short");
  std::vector<char> out(TStrArray::kMaxPutBytes + 16, 'X');
  EXPECT_EQ(a.GetData(2, out.data()), 4095);
  EXPECT_EQ(std::string(out.data()), std::string(4095, 'q'));
  EXPECT_EQ(a.GetData(0, out.data()), 5);
  EXPECT_STREQ(out.data(), "short");
}

TEST_F(ArraysTest, StrFromPointersMakesOneExactArea) {
  const char* texts[] = {"alpha", "", "gamma", nullptr};
  auto* ptrs = static_cast<char**>(malloc(sizeof texts));
  memcpy(ptrs, texts, sizeof texts);
  TStrArray a(4, ptrs);
  EXPECT_EQ(a.FCompact, 1);
  EXPECT_EQ(a.FPCLast, 6 + 1 + 6 + 1);
  EXPECT_EQ(a.FStrAreaSize, a.FPCLast);
  EXPECT_EQ(a.Offsets()[2], 7u);
  EXPECT_EQ(Texts(a), (std::vector<std::string>{"alpha", "", "gamma", ""}));
}

TEST_F(ArraysTest, CopiesAreIndependentAndKeepAttributes) {
  TIntArray ints(0, 1);
  for (int v : {5, 6, 7}) ints.AppendData(&v);
  ints.FUserArea[1] = 2;
  ints.SetSetName("S1");
  TDoubleArray doubles(2, 1);
  doubles.SetExtendType(Q7_TYPE_DATE);
  doubles.SetDispType(3, 1);
  doubles.PutDouble(1, 45000.5);
  TNumericArray decimals(2, 1);
  decimals.SetDecimalInfo(2, Q7_ROUND_HALF_EVEN);
  const Numeric n{12345, 0};
  decimals.PutDecimal(1, &n);
  TStrArray strs(2, 1);
  strs.PutPChar(0, "first");
  strs.PutPChar(1, "second");
  strs.PutPChar(0, "FIRST");
  strs.FUserArea[3] = 9;

  for (bool parallel : {false, true}) {
    SCOPED_TRACE(parallel);
    auto copy = [&](TBaseArray& a) {
      return std::unique_ptr<TBaseArray>(parallel ? a.MppCopyArray() : a.CopyArray());
    };
    auto ci = copy(ints);
    auto* i2 = static_cast<TIntArray*>(ci.get());
    EXPECT_EQ(i2->FAllocSize, 3);
    EXPECT_EQ(i2->GetInt(2), 7);
    EXPECT_EQ(i2->FUserArea[1], 2);
    EXPECT_STREQ(i2->GetSetName(), "");
    i2->PutInt(0, 99);
    EXPECT_EQ(ints.GetInt(0), 5);

    auto cd = copy(doubles);
    auto* d2 = static_cast<TDoubleArray*>(cd.get());
    EXPECT_EQ(d2->GetExtendType(), Q7_TYPE_DATE);
    EXPECT_EQ(d2->DispFirst(), 3);
    EXPECT_EQ(d2->GetDouble(1), 45000.5);

    auto cn = copy(decimals);
    auto* n2 = static_cast<TNumericArray*>(cn.get());
    EXPECT_EQ(n2->GetScale(), 2);
    EXPECT_EQ(n2->GetRoundingMode(), Q7_ROUND_HALF_EVEN);
    Numeric got{};
    n2->GetDecimal(1, &got);
    EXPECT_EQ(got.low, 12345u);

    auto cs = copy(strs);
    auto* s2 = static_cast<TStrArray*>(cs.get());
    EXPECT_EQ(strs.FCompact, 1);  // the source is compacted first
    EXPECT_EQ(s2->FCompact, 1);
    EXPECT_EQ(s2->FUserArea[3], 0);
    EXPECT_EQ(Texts(*s2), (std::vector<std::string>{"FIRST", "second"}));
    s2->PutPChar(0, "changed");
    EXPECT_STREQ(strs.GetPChar(0), "FIRST");
  }
  TBaseArray base;
  EXPECT_EQ(base.CopyArray(), &base);
}

TEST_F(ArraysTest, IntSetHelpers) {
  const int values[] = {0, 3, -1, 5};
  auto* block = static_cast<int*>(malloc(sizeof values));
  memcpy(block, values, sizeof values);
  TIntArray a(4, block);
  EXPECT_EQ(a.Exclude0Rec(), 2);
  EXPECT_EQ(a.FArraySize, 2);
  EXPECT_EQ(a.FAllocSize, 4);
  EXPECT_EQ(a.GetInt(0), 3);
  EXPECT_EQ(a.GetInt(1), 5);
  a.InitAsSet();
  EXPECT_EQ(a.FAllocSize, 2);
  EXPECT_EQ(a.GetInt(0), 1);
  EXPECT_EQ(a.GetInt(1), 2);

  const std::string long_name(400, 'n');
  a.SetSetName(long_name.c_str());
  EXPECT_EQ(strlen(a.GetSetName()), static_cast<size_t>(TIntArray::kSetNameSize - 1));
}

TEST_F(ArraysTest, ExtendTypeOfDoubleArrays) {
  TDoubleArray a(1, 1);
  EXPECT_EQ(a.GetExtendType(), 3);
  EXPECT_EQ(a.FUserArea[0], 3);
  for (int t : {3, 4, 5, 7}) {
    a.SetExtendType(t);
    EXPECT_EQ(a.GetExtendType(), t);
  }
  a.SetExtendType(0);
  EXPECT_EQ(a.FUserArea[0], 3);
  Entries();
  EXPECT_EQ(CodeOf([&] { a.SetExtendType(6); }), Q7_ERROR_ILLEGAL_FILTER_TYPE);
  const auto entries = Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].func, "SetExtendType");
  EXPECT_EQ(entries[0].code, Q7_ERROR_INVALID_DATA_TYPE);
  EXPECT_EQ(entries[0].text, "Illegal data type  : 6");
  a.FUserArea[0] = 9;
  EXPECT_EQ(CodeOf([&] { a.GetExtendType(); }), Q7_ERROR_ILLEGAL_FILTER_TYPE);
}

TEST_F(ArraysTest, DecimalInfoLivesInAttributeBytes) {
  // Every way of making a new array starts at the default scale and mode (a loaded one keeps its
  // stored pair: array_record_test).
  auto* block = static_cast<Numeric*>(calloc(1, sizeof(Numeric)));
  const std::unique_ptr<TNumericArray> made[] = {std::make_unique<TNumericArray>(),
                                                 std::make_unique<TNumericArray>(2, 1),
                                                 std::make_unique<TNumericArray>(1, block)};
  for (const auto& m : made) {
    EXPECT_EQ(m->FUserArea[6], TNumericArray::kDefaultScale);
    EXPECT_EQ(m->FUserArea[7], TNumericArray::kDefaultRoundingMode);
  }
  TNumericArray a;
  EXPECT_EQ(a.FUserArea[6], 6);
  EXPECT_EQ(a.FUserArea[7], 4);
  a.FUserArea[6] = static_cast<uint8_t>(-2);
  a.FUserArea[7] = 1;
  EXPECT_EQ(a.GetScale(), -2);
  EXPECT_EQ(a.GetRoundingMode(), 1);
  NumericInfo info{};
  a.GetDecimalInfo(&info);
  EXPECT_EQ(info.scale, -2);
  const NumericInfo set{10, 6};
  a.SetDecimalInfo(&set);
  EXPECT_EQ(a.GetDecimalInfo()->scale, 10);
  EXPECT_EQ(a.FUserArea[7], 6);
}

TEST_F(ArraysTest, TypeFunctions) {
  TBaseArray base;
  TIntArray ints;
  TDoubleArray dates;
  dates.SetExtendType(Q7_TYPE_DATE);
  TDoubleArray plain;
  TStrArray strs;
  TNumericArray decimals;
  struct Case {
    TBaseArray* arr;
    int type;
    int type_ex;  // 0: throws
    int unit;     // 0: throws
  };
  const Case cases[] = {
      {&base, 0, 0, 0},  {&ints, 2, 2, 4}, {&dates, 3, 4, 8},
      {&plain, 3, 3, 8}, {&strs, 6, 6, 8}, {&decimals, 8, 8, 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    EXPECT_EQ(ArrayDataType(c.arr), c.type);
    if (c.type_ex) {
      EXPECT_EQ(ArrayDataTypeEx(c.arr), c.type_ex);
    } else {
      EXPECT_EQ(CodeOf([&] { ArrayDataTypeEx(c.arr); }), Q7_ERROR_INVALID_DATA_TYPE);
      const auto entries = Entries();
      ASSERT_EQ(entries.size(), 1u);
      EXPECT_EQ(entries[0].func, "ArrayDataTypeEx");
      EXPECT_EQ(entries[0].text, "Invalid data type");
    }
    if (c.unit) {
      EXPECT_EQ(ArrayUnitSize(c.arr), c.unit);
    } else {
      EXPECT_EQ(CodeOf([&] { ArrayUnitSize(c.arr); }), Q7_ERROR_INVALID_DATA_TYPE);
    }
  }
  SetArrayDataTypeEx(&plain, Q7_TYPE_TIME);
  EXPECT_EQ(plain.GetExtendType(), Q7_TYPE_TIME);
  SetArrayDataTypeEx(&plain, Q7_TYPE_DOUBLE);
  EXPECT_EQ(plain.GetExtendType(), Q7_TYPE_DOUBLE);
  SetArrayDataTypeEx(&strs, Q7_TYPE_STRING);
  EXPECT_EQ(CodeOf([&] { SetArrayDataTypeEx(&plain, 0); }), Q7_ERROR_INVALID_DATA_TYPE);
  EXPECT_EQ(CodeOf([&] { SetArrayDataTypeEx(&ints, Q7_TYPE_DOUBLE); }), Q7_ERROR_INVALID_DATA_TYPE);
  EXPECT_EQ(CodeOf([&] { SetArrayDataTypeEx(&base, 0); }), Q7_ERROR_INVALID_DATA_TYPE);
  EXPECT_EQ(CodeOf([&] { CalcMargin(-1); }), Q7_ERROR_NEGATIVE_SIZE);
  EXPECT_EQ(CalcMargin(12), 12);
}

TEST_F(ArraysTest, CompareStrArray) {
  auto make = [](std::initializer_list<const char*> texts) {
    auto a = std::make_unique<TStrArray>(0, 1);
    for (const char* t : texts) a->AppendData(t);
    return a;
  };
  auto a = make({"", "apple", "pear"});
  auto b = make({"", "apple", "pear"});
  EXPECT_TRUE(CompareStrArray(a.get(), b.get()));
  auto other_text = make({"", "apple", "peas"});
  EXPECT_FALSE(CompareStrArray(a.get(), other_text.get()));
  auto shorter = make({"", "apple"});
  EXPECT_FALSE(CompareStrArray(a.get(), shorter.get()));
  TIntArray ints(3, 1);
  EXPECT_FALSE(CompareStrArray(a.get(), &ints));
}

TEST(CheckSame, TypeCountWidthAndContents) {
  auto ints = [](std::vector<int> v) {
    auto* a = new TIntArray(static_cast<int>(v.size()), 1);
    if (!v.empty()) std::memcpy(a->FData, v.data(), v.size() * sizeof(int));
    return a;
  };
  auto doubles = [](std::vector<double> v) {
    auto* a = new TDoubleArray(static_cast<int>(v.size()), 1);
    std::memcpy(a->FData, v.data(), v.size() * sizeof(double));
    return a;
  };
  auto strings = [](std::vector<const char*> v) {
    char** texts = static_cast<char**>(zpk_malloc(v.size() * sizeof(char*)));
    for (size_t i = 0; i < v.size(); ++i) texts[i] = const_cast<char*>(v[i]);
    return new TStrArray(static_cast<int>(v.size()), texts);
  };
  struct Case {
    const char* name;
    TBaseArray* a;
    TBaseArray* b;
    bool same;
  };
  const Case cases[] = {
      {"equal ints", ints({1, 2, 3}), ints({1, 2, 3}), true},
      {"ints differ in one element", ints({1, 2, 3}), ints({1, 2, 4}), false},
      {"ints of other counts", ints({1, 2}), ints({1, 2, 3}), false},
      {"int and double of one count", ints({0, 0}), doubles({0.0, 0.0}), false},
      {"equal doubles", doubles({-1.5, 2.0}), doubles({-1.5, 2.0}), true},
      {"-0.0 and 0.0 differ bytewise", doubles({-0.0}), doubles({0.0}), false},
      {"equal strings", strings({"", "ab", "c"}), strings({"", "ab", "c"}), true},
      {"strings differ in one element", strings({"", "ab", "c"}), strings({"", "ab", "d"}), false},
      {"empty ints", ints({}), ints({}), true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CheckSame(c.a, c.b), c.same) << c.name;
    EXPECT_EQ(CheckSame(c.b, c.a), c.same) << c.name;
    delete c.a;
    delete c.b;
  }
  TIntArray one(1, 1);
  EXPECT_FALSE(CheckSame(&one, nullptr));
}

TEST_F(ArraysTest, MemSizeCountsOwnedData) {
  TIntArray a(10, 1);
  EXPECT_EQ(a.GetMemSize(), static_cast<int64_t>(sizeof(TIntArray)) + 40);
  TStrArray s(2, 1);
  EXPECT_EQ(s.GetMemSize(), static_cast<int64_t>(sizeof(TStrArray)) + 16 + TStrArray::kInitialAreaSize);
}

TEST_F(ArraysTest, NotOwnedDataIsNeverResized) {
  int outside[4] = {1, 2, 3, 4};
  TIntArray a(4, outside);
  a.FNotOwned = 1;
  const int v = 5;
  EXPECT_EQ(CodeOf([&] { a.AppendData(&v); }), Q7_ERROR_SHARED_READ_ONLY);
  EXPECT_EQ(CodeOf([&] { a.SetArraySize(8); }), Q7_ERROR_SHARED_READ_ONLY);
  a.SetArraySize(2);
  a.AdjustMemArea();  // nothing to trim on memory that is not ours
  EXPECT_EQ(a.FAllocSize, 4);
  EXPECT_EQ(a.GetMemSize(), static_cast<int64_t>(sizeof(TIntArray)));
}
