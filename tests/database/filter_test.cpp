// Filter records: field offsets, round trips through every target, truncation and verbose reads.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "database/SortForMultiItem.h"
#include "database/TFilter.h"
#include "database/TSetArray.h"
#include "database/TSortedSetArray.h"
#include "foundation/CErrorLog.h"
#include "foundation/CMemFile.h"
#include "foundation/CQ7Exception.h"
#include "foundation/SystemHeader.h"
#include "foundation/TMemStream.h"
#include "foundation/TextHelpers.h"
#include "foundation/zpk_fstream.h"
#include "tests/database/filter_fixture.h"
#include "tests/support/test_support.h"
#include "values/CompileSettings.h"
#include "values/ValueListShare.h"

using namespace ftest;

namespace {

using q7test::CodeOf;
using q7test::MessageOf;
using q7test::TempDir;

// An 8-aligned block of caller memory for memory images.
struct Block {
  explicit Block(size_t n) : words((n + 7) / 8, 0) {}
  uint8_t* bytes() { return reinterpret_cast<uint8_t*>(words.data()); }
  long size() const { return static_cast<long>(words.size() * 8); }
  std::vector<uint64_t> words;
};

int32_t I32(const uint8_t* b, size_t at) {
  int32_t v;
  memcpy(&v, b + at, 4);
  return v;
}

// The same column contents: ID, name, origins, value numbers and list entries.
void ExpectSameFilter(TFilter* a, TFilter* b) {
  EXPECT_EQ(a->FFilterID, b->FFilterID);
  EXPECT_STREQ(a->FFilterName, b->FFilterName);
  EXPECT_EQ(a->FOrgTblID, b->FOrgTblID);
  EXPECT_EQ(a->FOrgFltID, b->FOrgFltID);
  EXPECT_EQ(Elements(a->PV), Elements(b->PV));
  ASSERT_EQ(a->VL->GetDataType(), b->VL->GetDataType());
  ASSERT_EQ(a->VL->FArraySize, b->VL->FArraySize);
  EXPECT_EQ(memcmp(a->VL->FUserArea, b->VL->FUserArea, TBaseArray::kUserAreaSize), 0);
  for (int i = 0; i < a->VL->FArraySize; ++i) {
    if (a->VL->GetDataType() == Q7_TYPE_STRING) {
      EXPECT_STREQ(static_cast<TStrArray*>(a->VL)->GetPChar(i), static_cast<TStrArray*>(b->VL)->GetPChar(i));
    } else {
      EXPECT_EQ(memcmp(a->VL->GetAddress(i), b->VL->GetAddress(i), static_cast<size_t>(a->VL->FUnitSize)), 0);
    }
  }
}

// One filter of each value-list kind, with origins set.
std::vector<std::unique_ptr<TFilter>> SampleFilters() {
  std::vector<std::unique_ptr<TFilter>> all;
  all.push_back(IntFilter({7, kIntNull, -3, 7}, 3));
  all.push_back(DoubleFilter({45000.0, 2.0, kDblNull}, Q7_TYPE_DATE));
  all.push_back(StrFilter({"b", "", "a", "b", "longer text"}));
  auto dec = DecimalFilter({Dec(125), Dec(-5), DecNan()});
  static_cast<TNumericArray*>(dec->VL)->SetDecimalInfo(2, Q7_ROUND_HALF_EVEN);
  all.push_back(std::move(dec));
  int k = 0;
  for (auto& f : all) {
    f->FOrgTblID = 11 + k;
    f->FOrgFltID = 21 + k++;
  }
  return all;
}

using FilterTest = RingTest;

// ---- Records ----

TEST_F(FilterTest, RecordFieldsSitAtTheirOffsets) {
  auto f = IntFilter({4, 9});
  f->FFilterID = 0x01020304;
  f->FOrgTblID = 17;
  f->FOrgFltID = 18;
  Block block(4096);
  CMemFile mf(block.bytes(), block.size());
  f->SaveFilter2Mem(&mf);
  const uint8_t* b = block.bytes();
  EXPECT_EQ(I32(b, 0), 0x01020304);
  EXPECT_EQ(I32(b, 4), 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(b + 8), "F");
  EXPECT_EQ(I32(b, 264), 17);
  EXPECT_EQ(I32(b, 268), 0);
  EXPECT_EQ(I32(b, 272), 18);
  EXPECT_EQ(I32(b, 276), 0);
  EXPECT_EQ(I32(b, 280), Q7_TYPE_INTEGER);  // the PV record's type
  // PV: 3 elements from 280 + 96; then the value-list type after its padding.
  const size_t vl_type_at = 280 + 96 + 12 + 4;
  EXPECT_EQ(I32(b, vl_type_at), Q7_TYPE_INTEGER);
  EXPECT_EQ(I32(b, vl_type_at + 8), Q7_TYPE_INTEGER);  // the VL record's own type field
  // The sizing pass covers what was written.
  CMemFile sizing;
  EXPECT_GE(f->SizeFilter2Mem(&sizing), mf.Cursor() - reinterpret_cast<char*>(block.bytes()));
}

TEST_F(FilterTest, MemoryImageRoundTripOfEveryKind) {
  for (auto& f : SampleFilters()) {
    SCOPED_TRACE(f->VL->GetDataType());
    CMemFile sizing;
    sizing.sizeFileHeader();
    const int64_t need = f->SizeFilter2Mem(&sizing) + 256;
    Block block(static_cast<size_t>(need));
    {
      CMemFile mf(block.bytes(), block.size());
      mf.writeFileHeader();
      f->SaveFilter2Mem(&mf);
    }
    CMemFile mf(block.bytes(), block.size());
    mf.readFileHeader();
    TFilter loaded(&mf, f->FFilterID);
    ExpectSameFilter(f.get(), &loaded);
  }
}

TEST_F(FilterTest, FileAndMemoryStreamRoundTrips) {
  TempDir dir;
  const std::string path = dir.File("filters.bin");
  auto filters = SampleFilters();
  {
    zpk_fstream fs;
    zpk_open(fs, path.c_str(), kZpkWrite | kZpkBinary, 0);
    fs.writeFileHeader();
    for (auto& f : filters) f->SaveFilter(fs);
    zpk_close(fs);
  }
  {
    zpk_fstream fs;
    zpk_open(fs, path.c_str(), kZpkRead | kZpkBinary, 0);
    fs.readFileHeader(false);
    for (auto& f : filters) {
      TFilter loaded(fs, f->FFilterID);
      ExpectSameFilter(f.get(), &loaded);
    }
    EXPECT_EQ(fs.remaining(), 0);
  }

  MemStream = new TMemStream();
  MemStream->writeStreamHeader();
  for (auto& f : filters) f->SaveFilterMem();
  std::vector<char> image(MemStream->pArea(), MemStream->pArea() + MemStream->nUsed());
  delete MemStream;
  MemStream = new TMemStream(static_cast<long>(image.size()), image.data());
  MemStream->readStreamHeader();
  for (auto& f : filters) {
    TFilter loaded(f->FFilterID);
    ExpectSameFilter(f.get(), &loaded);
  }
  delete MemStream;
  MemStream = nullptr;
}

TEST_F(FilterTest, SharedMemoryImageIsReadInPlaceAndMapsTheOriginTable) {
  auto filters = SampleFilters();
  int64_t need = 0;
  for (auto& f : filters) need += f->WriteToSharedMemory(nullptr);
  Block block(static_cast<size_t>(need));
  void* cursor = block.bytes();
  for (auto& f : filters) EXPECT_EQ(f->WriteToSharedMemory(&cursor), 0);
  EXPECT_LE(static_cast<char*>(cursor) - reinterpret_cast<char*>(block.bytes()), need);

  // Row 0 old IDs, row 1 new ones.
  std::vector<int> map(2 * kTableIdMapSize, 0);
  map[0] = 12;
  map[kTableIdMapSize] = 99;
  cursor = block.bytes();
  for (auto& f : filters) {
    TFilter loaded(&cursor, block.bytes() + block.size(), f->FFilterID, map.data());
    EXPECT_EQ(loaded.PV->FNotOwned, 1);
    const int want_table = f->FOrgTblID == 12 ? 99 : f->FOrgTblID;
    f->FOrgTblID = want_table;
    ExpectSameFilter(f.get(), &loaded);
  }
}

// A record whose value-list type field is replaced: type 5 reads as a double list, 9 is refused.
TEST_F(FilterTest, ValueListTypeSelectsTheArrayClass) {
  auto f = DoubleFilter({1.0, 2.0});
  Block block(4096);
  {
    CMemFile mf(block.bytes(), block.size());
    mf.writeFileHeader();
    f->SaveFilter2Mem(&mf);
  }
  const size_t vl_type_at = 256 + 280 + 96 + 12 + 4;
  ASSERT_EQ(I32(block.bytes(), vl_type_at), Q7_TYPE_DOUBLE);
  struct Case {
    int32_t type;
    int code;
  } const cases[] = {{Q7_TYPE_TIME, 0},
                     {Q7_TYPE_DATETIME, 0},
                     {9, Q7_ERROR_ILLEGAL_FILTER_TYPE},
                     {0, Q7_ERROR_ILLEGAL_FILTER_TYPE}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    memcpy(block.bytes() + vl_type_at, &c.type, 4);
    CMemFile mf(block.bytes(), block.size());
    mf.readFileHeader();
    std::unique_ptr<TFilter> loaded;
    EXPECT_EQ(CodeOf([&] { loaded = std::make_unique<TFilter>(&mf, 1); }), c.code);
    if (c.code == 0) {
      EXPECT_EQ(loaded->VL->GetDataType(), Q7_TYPE_DOUBLE);
    }
  }
}

TEST_F(FilterTest, TruncatedImagesFailWithACode) {
  auto f = StrFilter({"alpha", "beta"});
  Block block(4096);
  long used;
  {
    CMemFile mf(block.bytes(), block.size());
    mf.writeFileHeader();
    f->SaveFilter2Mem(&mf);
    used = static_cast<long>(mf.Cursor() - reinterpret_cast<char*>(block.bytes()));
  }
  for (long cut = 256; cut < used; cut += 7) {
    SCOPED_TRACE(cut);
    CMemFile mf(block.bytes(), cut);
    mf.readFileHeader();
    EXPECT_NE(CodeOf([&] { TFilter loaded(&mf, 1); }), 0);
  }
}

// The verbose reader logs the header fields and, unlike a reader that would leave a filter
// without arrays, fails the load on a damaged record.
TEST_F(FilterTest, VerboseReaderLogsAndFailsTheLoadOnAnError) {
  TempDir dir;
  char saved[CErrorLog::kFileNameSize];
  LOGOBJ->getFileName(saved);
  const std::string log_path = dir.File("catalog_err_log.txt");
  LOGOBJ->setFileName(log_path.c_str());
  const std::string path = dir.File("f.bin");
  auto f = IntFilter({1, 2, 3}, 5);
  f->FOrgTblID = 8;
  {
    zpk_fstream fs;
    zpk_open(fs, path.c_str(), kZpkWrite | kZpkBinary, 0);
    fs.writeFileHeader();
    f->SaveFilter(fs);
    const int32_t bad_type = 9;
    // A second record with an unknown list type follows.
    zpk_write(fs, &f->FFilterID, 4, 1);
    zpk_write(fs, f->FFilterName, 1, TFilter::kNameSize);
    zpk_write(fs, &f->FOrgTblID, 4, 1);
    zpk_write(fs, &f->FOrgFltID, 4, 1);
    f->PV->SaveArray(fs);
    zpk_write(fs, &bad_type, 4, 1);
    zpk_close(fs);
  }
  {
    zpk_fstream fs;
    zpk_open(fs, path.c_str(), kZpkRead | kZpkBinary, 0);
    fs.readFileHeader(false);
    TFilter good(fs, 5, 1);
    EXPECT_EQ(good.VL->FArraySize, 4);
    EXPECT_EQ(CodeOf([&] { TFilter bad(fs, 5, 1); }), Q7_ERROR_ILLEGAL_FILTER_TYPE);
  }
  LOGOBJ->setFileName(saved);
  std::ifstream in(log_path);
  std::stringstream text;
  text << in.rdbuf();
  for (const char* line : {"Reading FilterData ........\n", "FFilterID\t= 5\n", "FFilterName = F\n",
                           "FOrgTblID\t= 8\n", "FOrgFltID\t= 0\n"}) {
    EXPECT_NE(text.str().find(line), std::string::npos) << line;
  }
}

// ---- Names and copies ----

TEST_F(FilterTest, NamesAreMadeFileSafeOrRefused) {
  char name[] = "a b.c";
  TFilter f(3, name);
  EXPECT_STREQ(name, "a_b_c");
  EXPECT_STREQ(f.FFilterName, "a_b_c");
  EXPECT_EQ(f.FFilterID, 3);
  char empty[] = "";
  EXPECT_EQ(CodeOf([&] { TFilter g(1, empty); }), Q7_ERROR_ILLEGAL_FILTER_NAME);
  std::string long_name(256, 'x');
  EXPECT_EQ(CodeOf([&] { TFilter g(1, long_name.data()); }), Q7_ERROR_ILLEGAL_FILTER_NAME);
  EXPECT_EQ(TakeRing(), "");  // the constructor records nothing
}

TEST_F(FilterTest, CopyFilterKeepsTheCallersNameAndClearsTheNumbersBlock) {
  auto f = StrFilter({"x", "y", "x"});
  f->FOrgTblID = 4;
  f->FOrgFltID = 6;
  f->PV->FUserArea[3] = 0x5A;
  char name[] = "new name";
  std::unique_ptr<TFilter> copy(f->CopyFilter(9, name));
  EXPECT_STREQ(name, "new name");
  EXPECT_STREQ(copy->FFilterName, "new_name");
  EXPECT_EQ(copy->FFilterID, 9);
  EXPECT_EQ(copy->FOrgTblID, 4);
  EXPECT_EQ(copy->FOrgFltID, 6);
  EXPECT_EQ(copy->PV->FUserArea[3], 0);
  EXPECT_EQ(Elements(copy->PV), Elements(f->PV));
  EXPECT_NE(copy->VL, f->VL);

  char empty[] = "";
  EXPECT_EQ(CodeOf([&] { delete f->CopyFilter(2, empty); }), Q7_ERROR_ILLEGAL_FILTER_NAME);
  EXPECT_EQ(TakeRing(), "CopyFilter|Illegal FilterName");

  // The copy constructor keeps the attribute block and refuses a null source.
  TFilter same(f.get());
  EXPECT_EQ(same.PV->FUserArea[3], 0x5A);
  EXPECT_EQ(CodeOf([] { TFilter none(static_cast<TFilter*>(nullptr)); }), Q7_ERROR_NO_SUCH_FILTER);
}

TEST_F(FilterTest, CopiesNeverCarryPendingNumbers) {
  std::vector<int32_t> rows(200, 1);
  auto f = IntFilter(rows);
  auto set = AllRecords(200);
  const int v = 42;
  ASSERT_TRUE(f->UseTVL(0, 1, &v, false, false, nullptr, set.get()));
  ASSERT_EQ(f->PV->GetInt(1), -1);
  TFilter copy(f.get());
  EXPECT_EQ(IntValue(&copy, 1), 42);
  EXPECT_EQ(f->TVLCount, 0);
}

// ---- Pending list ----

TEST_F(FilterTest, PendingListSizeFollowsTheRecordCount) {
  struct Case {
    int records;
    int writes;
    bool pending;
    int size;  // TVLSize after the write
  } const cases[] = {
      {99, 1, false, 0},       {100, 1, true, 101},         {100, 100, true, 101},    {100, 101, false, 0},
      {50000, 1, true, 10001}, {50000, 10000, true, 10001}, {50000, 10001, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.records << " records, " << c.writes << " writes");
    std::vector<int32_t> rows(static_cast<size_t>(c.records));
    for (int i = 0; i < c.records; ++i) rows[static_cast<size_t>(i)] = i % 10;
    auto f = IntFilter(rows);
    auto set = AllRecords(c.records);
    std::vector<int32_t> values(static_cast<size_t>(c.writes));
    for (int i = 0; i < c.writes; ++i) values[static_cast<size_t>(i)] = 1000 + i;
    EXPECT_EQ(f->CheckTVLUse(c.writes), c.pending ? 1 : 0);
    EXPECT_EQ(f->UseTVL(0, c.writes, values.data(), false, false, nullptr, set.get()), c.pending);
    EXPECT_EQ(f->TVLSize, c.size);
    if (c.pending) {
      EXPECT_EQ(f->TVLCount, c.writes);
      EXPECT_EQ(f->PV->GetInt(c.writes), -c.writes);
      EXPECT_TRUE(f->MergeTVL(false));
      for (int i = 0; i < c.writes; i += 97) EXPECT_EQ(IntValue(f.get(), i + 1), 1000 + i);
    }
  }
}

TEST_F(FilterTest, AFullListAsksForAMergeFirst) {
  std::vector<int32_t> rows(100, 5);
  auto f = IntFilter(rows);
  auto set = AllRecords(100);
  std::vector<int32_t> values(60);
  for (int i = 0; i < 60; ++i) values[static_cast<size_t>(i)] = 100 + i;
  ASSERT_TRUE(f->UseTVL(0, 60, values.data(), false, false, nullptr, set.get()));
  EXPECT_EQ(f->CheckTVLUse(40), 1);
  EXPECT_EQ(f->CheckTVLUse(41), 2);
  for (int i = 0; i < 60; ++i) values[static_cast<size_t>(i)] = 200 + i;
  // 60 more do not fit beside the first 60: the first ones are merged, then the list is reused.
  ASSERT_TRUE(f->UseTVL(40, 60, values.data(), false, false, nullptr, set.get()));
  EXPECT_EQ(f->TVLCount, 60);
  f->MergeTVL(false);
  EXPECT_EQ(IntValue(f.get(), 1), 100);
  EXPECT_EQ(IntValue(f.get(), 41), 200);
  EXPECT_EQ(IntValue(f.get(), 100), 259);
  // Appending beyond the last entry is refused and changes nothing.
  f->TVLCount = f->TVLSize - 1;
  EXPECT_EQ(f->AppendTVLInt(7, 1), -1);
  EXPECT_EQ(IntValue(f.get(), 1), 100);
  f->TVLCount = 0;
}

TEST_F(FilterTest, ValuesInTheListAreStoredAsTheirNumbers) {
  std::vector<int32_t> rows(150);
  for (int i = 0; i < 150; ++i) rows[static_cast<size_t>(i)] = i % 3;
  auto f = IntFilter(rows);
  auto set = AllRecords(150);
  const int32_t two = 2;
  ASSERT_TRUE(f->UseTVL(0, 1, &two, false, false, nullptr, set.get()));
  EXPECT_EQ(f->TVLCount, 0);
  EXPECT_EQ(IntValue(f.get(), 1), 2);
}

// Two records given the same new value share one value number after the merge; a record written
// again with a known value keeps that one.
TEST_F(FilterTest, MergeGivesEqualNewValuesOneNumber) {
  for (bool parallel : {false, true}) {
    SCOPED_TRACE(parallel);
    std::vector<int32_t> rows(300);
    for (int i = 0; i < 300; ++i) rows[static_cast<size_t>(i)] = (i % 5) * 10;
    auto f = IntFilter(rows);
    auto set = MakeSet({7, 250, 9});
    const int32_t values[] = {25, 25, 25};
    ASSERT_TRUE(f->UseTVL(0, 3, values, false, parallel, nullptr, set.get()));
    EXPECT_EQ(f->TVLCount, 3);
    const int32_t known = 40;
    ASSERT_TRUE(f->UseTVL(2, 1, &known, false, parallel, nullptr, set.get()));
    ASSERT_TRUE(f->MergeTVL(parallel));
    EXPECT_EQ(f->TVLCount, 0);
    EXPECT_EQ(f->PV->GetInt(7), f->PV->GetInt(250));
    EXPECT_EQ(IntValue(f.get(), 7), 25);
    EXPECT_EQ(IntValue(f.get(), 9), 40);
    EXPECT_EQ(IntValue(f.get(), 8), 20);  // the others renumbered with the list
    EXPECT_EQ(f->VL->FArraySize, 7);      // NULL, 0, 10, 20, 25, 30, 40
    EXPECT_FALSE(f->MergeTVL(parallel));
  }
}

TEST_F(FilterTest, FillWritesOneValueToARange) {
  std::vector<std::string> rows(120, "a");
  auto f = StrFilter(rows);
  auto set = AllRecords(120);
  const char* text = "zz";
  ASSERT_TRUE(f->UseTVL(10, 3, &text, true, false, nullptr, set.get()));
  EXPECT_EQ(f->TVLCount, 3);
  f->MergeTVL(false);
  auto* vl = static_cast<TStrArray*>(f->VL);
  for (int r : {11, 12, 13}) EXPECT_STREQ(vl->GetPChar(f->PV->GetInt(r)), "zz");
  EXPECT_STREQ(vl->GetPChar(f->PV->GetInt(10)), "a");
  EXPECT_STREQ(vl->GetPChar(0), "");
  // The pending list is reset for reuse with its NULL intact.
  EXPECT_STREQ(static_cast<TStrArray*>(f->TVL)->GetPChar(0), "");
}

TEST_F(FilterTest, WrittenTextsLoseTrailingBlanksWhileTheSettingIsOn) {
  std::vector<std::string> rows(120, "a");
  auto f = StrFilter(rows);
  auto set = AllRecords(120);
  g_cut_last_space = 1;
  const char* values[] = {"a  ", "b  "};
  const bool used = f->UseTVL(0, 2, values, false, false, nullptr, set.get());
  g_cut_last_space = 0;
  ASSERT_TRUE(used);
  EXPECT_EQ(f->TVLCount, 1);  // "a  " is the known "a"
  f->MergeTVL(false);
  EXPECT_STREQ(static_cast<TStrArray*>(f->VL)->GetPChar(f->PV->GetInt(2)), "b");
}

// A text the pending list cannot hold sends the write the rebuild way, with nothing left pending.
TEST_F(FilterTest, ATextTooLongForTheListGoesTheRebuildWay) {
  std::vector<std::string> rows(120, "a");
  auto f = StrFilter(rows);
  auto set = AllRecords(120);
  const std::string huge(5000, 'x');
  const char* values[] = {"b", huge.c_str()};
  EXPECT_FALSE(f->UseTVL(0, 2, values, false, false, nullptr, set.get()));
  EXPECT_EQ(f->TVLCount, 0);
  EXPECT_STREQ(static_cast<TStrArray*>(f->VL)->GetPChar(f->PV->GetInt(1)), "b");
  EXPECT_STREQ(static_cast<TStrArray*>(f->VL)->GetPChar(f->PV->GetInt(2)), "a");
}

// The attribute block survives a merge: a DATE list stays DATE, a decimal list keeps its scale.
TEST_F(FilterTest, MergeKeepsTheListAttributes) {
  for (bool parallel : {false, true}) {
    SCOPED_TRACE(parallel);
    std::vector<double> days(200, 40000.0);
    auto dates = DoubleFilter(days, Q7_TYPE_DATE);
    static_cast<TDoubleArray*>(dates->VL)->SetDispType(1, 2);
    auto set = AllRecords(200);
    const double day = 45000.0;
    ASSERT_TRUE(dates->UseTVL(0, 1, &day, false, parallel, nullptr, set.get()));
    ASSERT_TRUE(dates->MergeTVL(parallel));
    auto* dl = static_cast<TDoubleArray*>(dates->VL);
    EXPECT_EQ(dl->GetExtendType(), Q7_TYPE_DATE);
    EXPECT_EQ(dl->DispFirst(), 1);
    EXPECT_EQ(dl->DispSecond(), 2);
    EXPECT_EQ(dl->GetDouble(dates->PV->GetInt(1)), 45000.0);

    std::vector<Numeric> amounts(200, Dec(100));
    auto dec = DecimalFilter(amounts);
    static_cast<TNumericArray*>(dec->VL)->SetDecimalInfo(2, Q7_ROUND_DOWN);
    const Numeric v = Dec(12345);
    ASSERT_TRUE(dec->UseTVL(5, 1, &v, false, parallel, nullptr, set.get()));
    ASSERT_TRUE(dec->MergeTVL(parallel));
    EXPECT_EQ(static_cast<TNumericArray*>(dec->VL)->GetScale(), 2);
    EXPECT_EQ(static_cast<TNumericArray*>(dec->VL)->GetRoundingMode(), Q7_ROUND_DOWN);
  }
}

// A merge moves the column to a new list and never frees or changes a list that another column
// still uses (a borrowed list, or one with two counted holders).
TEST_F(FilterTest, MergeLeavesASharedListToItsOtherColumn) {
  std::vector<int32_t> rows(150);
  for (int i = 0; i < 150; ++i) rows[static_cast<size_t>(i)] = i % 4;
  auto set = AllRecords(150);
  const int32_t v = 77;

  // Borrowed: b uses a's list.
  auto a = IntFilter(rows);
  auto b = IntFilter(rows);
  b->BorrowValueList(a->VL);
  ASSERT_TRUE(b->UseTVL(0, 1, &v, false, false, nullptr, set.get()));
  ASSERT_TRUE(b->MergeTVL(false));
  EXPECT_NE(b->VL, a->VL);
  EXPECT_EQ(b->FSharedVL, 0);
  EXPECT_EQ(a->VL->FArraySize, 5);
  EXPECT_EQ(IntValue(a.get(), 4), 3);
  EXPECT_EQ(IntValue(b.get(), 1), 77);

  // Counted: both hold the list; b's merge drops only b's hold.
  auto c = IntFilter(rows);
  auto d = IntFilter(rows);
  ReleaseValueList(d->VL);
  RetainValueList(c->VL);
  d->VL = c->VL;
  ASSERT_EQ(ValueListHolders(c->VL), 2);
  ASSERT_TRUE(d->UseTVL(0, 1, &v, false, true, nullptr, set.get()));
  ASSERT_TRUE(d->MergeTVL(true));
  EXPECT_EQ(ValueListHolders(c->VL), 1);
  EXPECT_EQ(c->VL->FArraySize, 5);
  EXPECT_EQ(IntValue(d.get(), 1), 77);
  EXPECT_EQ(IntValue(d.get(), 2), 1);
}

TEST_F(FilterTest, AllocTVLRefusesAListOfNoKnownType) {
  std::vector<int32_t> rows(150, 1);
  auto f = IntFilter(rows);
  TBaseArray* real = f->VL;
  TBaseArray odd;
  f->VL = &odd;
  EXPECT_EQ(CodeOf([&] { f->AllocTVL(); }), Q7_ERROR_ILLEGAL_FILTER_TYPE);
  EXPECT_EQ(TakeRing(), "AllocTVL|Invalid Parameter : DataType(0)");
  EXPECT_EQ(f->TVL, nullptr);
  EXPECT_EQ(f->TVLRecNo, nullptr);
  f->VL = real;
}

// ---- High-speed state and views ----

TEST_F(FilterTest, HighSpeedFilterRefusesChanges) {
  std::vector<int32_t> rows = {3, 1, 2};
  auto f = IntFilter(rows);
  snprintf(f->FFilterName, TFilter::kNameSize, "Price");
  auto set = AllRecords(3);
  auto* view = new TSortedSetArray();
  view->initialize(set.get(), f.get());
  view->Reclaim();
  f->Taint();  // not high-speed: the view is dropped
  EXPECT_FALSE(view->HasData());
  f->HighSpeedSearchEnable(true);
  EXPECT_TRUE(view->HasData());
  EXPECT_EQ(Elements(view), (std::vector<int>{2, 3, 1}));
  EXPECT_EQ(CodeOf([&] { f->Taint(); }), Q7_ERROR_HIGH_SPEED_FILTER);
  EXPECT_EQ(MessageOf([&] { f->Taint(); }), "Cannot modify high speed search filter: Price");
  EXPECT_TRUE(view->HasData());
  f->HighSpeedSearchEnable(false);
  EXPECT_TRUE(view->HasData());  // turning off leaves the views
  f->Taint();
  EXPECT_FALSE(view->HasData());
}

// A view is never sorted on pending (negative) value numbers: rebuilding merges first.
TEST_F(FilterTest, RebuildingAViewMergesPendingValuesFirst) {
  std::vector<int32_t> rows(200);
  for (int i = 0; i < 200; ++i) rows[static_cast<size_t>(i)] = i % 2 ? kIntNull : 50;
  auto f = IntFilter(rows);
  auto set = MakeSet({3, 1, 2, 4});
  auto all = AllRecords(200);
  auto* view = new TSortedSetArray();
  view->initialize(set.get(), f.get());
  const int32_t values[] = {10, 90};
  f->Taint();
  ASSERT_TRUE(f->UseTVL(2, 2, values, false, false, nullptr, all.get()));  // records 3 and 4
  ASSERT_LT(f->PV->GetInt(3), 0);
  f->HighSpeedSearchEnable(true);
  EXPECT_EQ(f->TVLCount, 0);
  EXPECT_EQ(Elements(view), (std::vector<int>{2, 3, 1, 4}));  // NULL, 10, 50, 90
  EXPECT_EQ(view->NullCount(), 1);
}

TEST_F(FilterTest, ViewsDieWithTheirFilterOrTheirSet) {
  auto f = IntFilter({1, 2});
  auto set = AllRecords(2);
  auto* v1 = new TSortedSetArray();
  v1->initialize(set.get(), f.get());
  EXPECT_EQ(set->GetSortedSet(f.get()), v1);
  f.reset();  // destroys v1, which leaves the set's list
  EXPECT_TRUE(set->SortedSets().empty());

  auto g = IntFilter({1, 2});
  auto* v2 = new TSortedSetArray();
  v2->initialize(set.get(), g.get());
  const int64_t with_view = g->GetMemSize();
  EXPECT_GT(with_view, static_cast<int64_t>(sizeof(TFilter)));
  set.reset();  // destroys v2, which leaves the filter's list
  EXPECT_TRUE(g->SortedSets().empty());
}

TEST_F(FilterTest, MemSizeLeavesOutABorrowedList) {
  auto a = IntFilter({1, 2, 3, 4});
  auto b = IntFilter({1, 2, 3, 4});
  const int64_t own = b->GetMemSize();
  b->BorrowValueList(a->VL);
  EXPECT_EQ(b->GetMemSize(), own - a->VL->GetMemSize());
}

// CreateFilter takes the value numbers over and either owns the list or borrows it: a borrowed list
// outlives the filter, stays out of its size, and a refused name leaves both arrays to the caller.
TEST_F(FilterTest, CreateFilterOwnsOrBorrowsTheList) {
  auto source = IntFilter({5, 3, 5, 9});
  for (const bool not_owned : {false, true}) {
    SCOPED_TRACE(not_owned);
    auto* vno = static_cast<TIntArray*>(source->PV->CopyArray());
    TBaseArray* list = source->VL->CopyArray();
    char name[] = "copy";
    std::unique_ptr<TFilter> f(CreateFilter(7, name, vno, list, not_owned));
    EXPECT_EQ(f->FFilterID, 7);
    EXPECT_STREQ(f->FFilterName, "copy");
    EXPECT_EQ(f->PV, vno);
    EXPECT_EQ(f->VL, list);
    EXPECT_EQ(f->FSharedVL, not_owned ? 1 : 0);
    EXPECT_EQ(ValueListHolders(list), not_owned ? 2 : 1);
    EXPECT_EQ(IntValue(f.get(), 4), 9);
    const int64_t own = static_cast<int64_t>(sizeof(TFilter)) + vno->GetMemSize();
    EXPECT_EQ(f->GetMemSize(), own + (not_owned ? 0 : list->GetMemSize()));
    f.reset();
    if (not_owned) {
      // The caller's hold keeps the list.
      EXPECT_EQ(ValueListHolders(list), 1);
      EXPECT_EQ(*static_cast<int*>(list->GetAddress(1)), 3);
      ReleaseValueList(list);
    }
  }
  auto* vno = static_cast<TIntArray*>(source->PV->CopyArray());
  TBaseArray* list = source->VL->CopyArray();
  char empty[] = "";
  EXPECT_EQ(q7test::CodeOf([&] { delete CreateFilter(1, empty, vno, list, false); }),
            Q7_ERROR_ILLEGAL_FILTER_NAME);
  EXPECT_EQ(ValueListHolders(list), 1);
  delete vno;
  ReleaseValueList(list);
}

TEST(FilterFree, ConvertInt2StringDoesNothing) {
  TIntArray* rows = reinterpret_cast<TIntArray*>(1);
  TStrArray* list = reinterpret_cast<TStrArray*>(1);
  EXPECT_EQ(ConvertInt2String(nullptr, nullptr, &rows, &list), 0);
  EXPECT_EQ(rows, nullptr);
  EXPECT_EQ(list, nullptr);
}

}  // namespace
