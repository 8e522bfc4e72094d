// The key columns of a join as a host reads them: their summaries, their contents copied into the
// host's buffers and the engine-memory view, for one key pair (copies of the source key filters) and
// two (the combined "#MASTER" and "#SLAVE"), and the refusals with their codes and ring entries.
// Each side's rows are decoded through the copied value list and held against the values the host
// wrote into the source tables.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "host_test_support.h"
#include "q7api.h"

namespace {

using q7host::DrainRing;
using q7host::kIntNull;
using q7host::RingEntry;
using Ring = std::vector<RingEntry>;
using Texts = std::vector<std::string>;

constexpr unsigned char kUntouched = 0xA5;

// A key column copied out of the engine: its value numbers by record and its value list (with the
// character area for strings).
struct KeyBody {
  std::vector<int32_t> numbers;
  std::vector<unsigned char> values;
  std::vector<char> area;
};

KeyBody BodyOf(const _TRFilterInfo& info) {
  KeyBody b;
  b.numbers.resize(static_cast<size_t>(info.rowCount));
  b.values.resize(static_cast<size_t>(info.valueCount) * static_cast<size_t>(info.unit));
  b.area.resize(static_cast<size_t>(info.stringAreaSize));
  return b;
}

_TRFilterBody BuffersOf(const _TRFilterInfo& info, KeyBody& b) {
  return {info.rowCount,   b.numbers.data(),    info.valueCount,
          b.values.data(), info.stringAreaSize, b.area.data()};
}

// The value of record r as text ("NULL" for the int NULL; the string NULL is "").
std::string Decode(const _TRFilterInfo& info, const KeyBody& b, int r) {
  const size_t at = static_cast<size_t>(b.numbers[static_cast<size_t>(r)]) * static_cast<size_t>(info.unit);
  if (info.type == Q7_TYPE_STRING) {
    uint64_t offset = 0;
    memcpy(&offset, b.values.data() + at, static_cast<size_t>(info.unit));  // little-endian offset
    return std::string(b.area.data() + offset);
  }
  int32_t v;
  memcpy(&v, b.values.data() + at, sizeof v);
  return v == kIntNull ? "NULL" : std::to_string(v);
}

class JoinKeysApi : public ::testing::Test {
 protected:
  // m: k {3, 1, NULL, 3, 8}, c {a, b, "", a, z}; s: k {1, 3, 9, NULL}, c {b, a, a, ""}. Record 3 of
  // m and record 4 of s have the all-NULL tuple; (3, a) and (1, b) meet on both sides.
  void SetUp() override {
    ASSERT_EQ(RQ7ClearDB(), 0);
    master_ = q7host::AddTable("m", 5);
    slave_ = q7host::AddTable("s", 4);
    m_k_ = q7host::AddIntColumn(master_, "k", {3, 1, kIntNull, 3, 8});
    m_c_ = q7host::AddStringColumn(master_, "c", {"a", "b", "", "a", "z"});
    s_k_ = q7host::AddIntColumn(slave_, "k", {1, 3, 9, kIntNull});
    s_c_ = q7host::AddStringColumn(slave_, "sc", {"b", "a", "a", ""});
    for (int id : {master_, slave_, m_k_, m_c_, s_k_, s_c_}) ASSERT_GT(id, 0);
    DrainRing();
  }
  void TearDown() override {
    RQ7ClearDB();
    DrainRing();
  }

  const Texts m_k_text_ = {"3", "1", "NULL", "3", "8"}, m_c_text_ = {"a", "b", "", "a", "z"};
  const Texts s_k_text_ = {"1", "3", "9", "NULL"}, s_c_text_ = {"b", "a", "a", ""};
  int master_ = 0, slave_ = 0, m_k_ = 0, m_c_ = 0, s_k_ = 0, s_c_ = 0;
};

using AddJoinFn = int (*)(const char*, int, int, int, const int*, int, int, const int*);

// Both sides' records on both build roads: one key pair keeps the source filters' names and values,
// two give "#MASTER"/"#SLAVE" whose numbers are equal exactly where the key tuples are. The two
// sides read one value list, and the pointer view agrees with the copies.
TEST_F(JoinKeysApi, KeyColumnsOfBothSidesDecodeToTheHostsKeys) {
  struct Case {
    const char* what;
    int m_keys[3], s_keys[3];
    int type;
    const char *m_name, *s_name;
    const Texts *m_want, *s_want;  // null: combined, compared as tuples
  };
  const Case cases[] = {
      {"int key", {m_k_, 0}, {s_k_, 0}, Q7_TYPE_INTEGER, "k", "k", &m_k_text_, &s_k_text_},
      {"string key", {m_c_, 0}, {s_c_, 0}, Q7_TYPE_STRING, "c", "sc", &m_c_text_, &s_c_text_},
      {"two keys", {m_k_, m_c_, 0}, {s_k_, s_c_, 0}, Q7_TYPE_INTEGER, "#MASTER", "#SLAVE", nullptr, nullptr},
  };
  const std::pair<const char*, AddJoinFn> roads[] = {{"parallel", RQ7AddJoinTable},
                                                     {"serial", Q7AddJoinTable}};
  for (const auto& [road, add] : roads) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(road) + " " + c.what);
      const int join = add("j", 0, master_, 1, c.m_keys, slave_, 1, c.s_keys);
      ASSERT_GT(join, 0);
      DrainRing();

      _TRFilterInfo mi, si;
      ASSERT_EQ(RQ7GetJoinKeyInfo(join, &mi, &si), 0);
      EXPECT_EQ(std::string(mi.name), c.m_name);
      EXPECT_EQ(std::string(si.name), c.s_name);
      EXPECT_EQ(mi.rowCount, 6);
      EXPECT_EQ(si.rowCount, 5);
      EXPECT_EQ(mi.type, c.type);
      EXPECT_EQ(si.type, c.type);
      EXPECT_EQ(mi.unit, si.unit);
      EXPECT_EQ(mi.valueCount, si.valueCount);
      EXPECT_EQ(mi.stringAreaSize, si.stringAreaSize);
      EXPECT_EQ(mi.stringAreaSize > 0, c.type == Q7_TYPE_STRING);

      KeyBody mb = BodyOf(mi), sb = BodyOf(si);
      _TRFilterBody m_body = BuffersOf(mi, mb), s_body = BuffersOf(si, sb);
      ASSERT_EQ(RQ7GetJoinKeyBody(join, &m_body, &s_body), 0);
      EXPECT_EQ(mb.values, sb.values) << "one value list";
      EXPECT_EQ(mb.area, sb.area);
      Texts m_got, s_got;
      for (int r = 1; r <= 5; ++r) m_got.push_back(Decode(mi, mb, r));
      for (int r = 1; r <= 4; ++r) s_got.push_back(Decode(si, sb, r));
      if (c.m_want != nullptr) {
        EXPECT_EQ(m_got, *c.m_want);
        EXPECT_EQ(s_got, *c.s_want);
      } else {
        // Across both sides, two records carry one number exactly when their tuples are equal; the
        // all-NULL tuple reads as NULL.
        Texts got = m_got, tuples;
        got.insert(got.end(), s_got.begin(), s_got.end());
        for (int r = 0; r < 5; ++r) tuples.push_back(m_k_text_[r] + "/" + m_c_text_[r]);
        for (int r = 0; r < 4; ++r) tuples.push_back(s_k_text_[r] + "/" + s_c_text_[r]);
        for (size_t a = 0; a < got.size(); ++a) {
          for (size_t b = 0; b < got.size(); ++b) {
            EXPECT_EQ(got[a] == got[b], tuples[a] == tuples[b]) << tuples[a] << " vs " << tuples[b];
          }
        }
        EXPECT_EQ(m_got[2], "NULL");
        EXPECT_EQ(s_got[3], "NULL");
      }

      _TFilterInfo mp, sp;
      ASSERT_EQ(Q7GetJoinKey(join, &mp, &sp), 0);
      EXPECT_EQ(std::string(mp.name), c.m_name);
      EXPECT_EQ(std::string(sp.name), c.s_name);
      EXPECT_EQ((std::vector<int>{mp.rowCount, mp.type, mp.unit, mp.valueCount}),
                (std::vector<int>{mi.rowCount, mi.type, mi.unit, mi.valueCount}));
      EXPECT_EQ((std::vector<int>{sp.rowCount, sp.type, sp.unit, sp.valueCount}),
                (std::vector<int>{si.rowCount, si.type, si.unit, si.valueCount}));
      EXPECT_EQ(std::vector<int32_t>(mp.valueNumbers, mp.valueNumbers + mp.rowCount), mb.numbers);
      EXPECT_EQ(std::vector<int32_t>(sp.valueNumbers, sp.valueNumbers + sp.rowCount), sb.numbers);
      EXPECT_EQ(mp.values, sp.values) << "one value list";
      EXPECT_EQ(memcmp(mp.values, mb.values.data(), mb.values.size()), 0);
      EXPECT_EQ(mp.stringArea != nullptr, c.type == Q7_TYPE_STRING);
      EXPECT_EQ(mp.stringArea, sp.stringArea);
      EXPECT_EQ(DrainRing(), Ring{});
      ASSERT_EQ(RQ7DeleteTable(join), 0);
      DrainRing();
    }
  }
}

// Refusals: a missing table, a real table, and a negative capacity on either side (judged before
// the table, all six named); nothing is written to the host's records or buffers.
TEST_F(JoinKeysApi, RefusalsGiveCodesAndRingEntries) {
  const int m_keys[] = {m_k_, 0}, s_keys[] = {s_k_, 0};
  const int join = RQ7AddJoinTable("j", 0, master_, 1, m_keys, slave_, 1, s_keys);
  ASSERT_GT(join, 0);
  DrainRing();
  const std::string real = std::to_string(master_);
  std::vector<unsigned char> buffer(256, kUntouched);
  auto* ints = reinterpret_cast<int32_t*>(buffer.data());
  auto* chars = reinterpret_cast<char*>(buffer.data());
  const auto bodies = [&](int m3, int s1) {
    return std::pair<_TRFilterBody, _TRFilterBody>{{4, ints, 4, ints, m3, chars},
                                                   {s1, ints, 4, ints, 4, chars}};
  };
  _TRFilterInfo mi, si;
  _TFilterInfo mp, sp;
  memset(&mi, kUntouched, sizeof mi);
  memset(&si, kUntouched, sizeof si);
  memset(&mp, kUntouched, sizeof mp);
  memset(&sp, kUntouched, sizeof sp);
  const auto body_call = [&](int table, int m3, int s1) {
    auto [m, s] = bodies(m3, s1);
    return RQ7GetJoinKeyBody(table, &m, &s);
  };
  const auto missing = [](const char* api) {
    return Ring{{"GetTable", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99"},
                {api, Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99"}};
  };
  using Case = q7host::RefusalCase;
  const std::vector<Case> cases = {
      {"info, missing table", [&] { return RQ7GetJoinKeyInfo(99, &mi, &si); }, Q7_ERROR_NO_SUCH_TABLE,
       missing("RQ7GetJoinKeyInfo")},
      {"info, real table",
       [&] { return RQ7GetJoinKeyInfo(master_, &mi, &si); },
       Q7_ERROR_NOT_JOIN_TABLE,
       {{"RQ7GetJoinKeyInfo", Q7_ERROR_NO_SUCH_TABLE, "Not JoinTable: " + real}}},
      {"body, missing table", [&] { return body_call(99, 4, 4); }, Q7_ERROR_NO_SUCH_TABLE,
       missing("RQ7GetJoinKeyBody")},
      {"body, real table",
       [&] { return body_call(master_, 4, 4); },
       Q7_ERROR_NOT_JOIN_TABLE,
       {{"RQ7GetJoinKeyBody", Q7_ERROR_NO_SUCH_TABLE, "Not JoinTable: " + real}}},
      {"body, negative master capacity",
       [&] { return body_call(join, -3, 4); },
       Q7_ERROR_INVALID_PARAMETER,
       {{"RQ7GetJoinKeyBody", Q7_ERROR_NO_SUCH_TABLE, "Illegal Buffer size: 4, 4, -3,4, 4, 4 "}}},
      {"body, negative slave capacity",
       [&] { return body_call(join, 4, -1); },
       Q7_ERROR_INVALID_PARAMETER,
       {{"RQ7GetJoinKeyBody", Q7_ERROR_NO_SUCH_TABLE, "Illegal Buffer size: 4, 4, 4,-1, 4, 4 "}}},
      {"body, negative capacity before the table",
       [&] { return body_call(99, 4, -1); },
       Q7_ERROR_INVALID_PARAMETER,
       {{"RQ7GetJoinKeyBody", Q7_ERROR_NO_SUCH_TABLE, "Illegal Buffer size: 4, 4, 4,-1, 4, 4 "}}},
      {"pointers, missing table", [&] { return Q7GetJoinKey(99, &mp, &sp); }, Q7_ERROR_NO_SUCH_TABLE,
       missing("Q7GetJoinKey")},
      {"pointers, real table",
       [&] { return Q7GetJoinKey(master_, &mp, &sp); },
       Q7_ERROR_NOT_JOIN_TABLE,
       {{"Q7GetJoinKey", Q7_ERROR_NO_SUCH_TABLE, "Not JoinTable: " + real}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.call(), c.code);
    EXPECT_EQ(DrainRing(), c.ring);
    EXPECT_EQ(buffer, std::vector<unsigned char>(256, kUntouched));
  }
  for (const auto* record :
       {reinterpret_cast<const unsigned char*>(&mi), reinterpret_cast<const unsigned char*>(&si)}) {
    for (size_t i = 0; i < sizeof mi; ++i) ASSERT_EQ(record[i], kUntouched) << i;
  }
  for (const auto* record :
       {reinterpret_cast<const unsigned char*>(&mp), reinterpret_cast<const unsigned char*>(&sp)}) {
    for (size_t i = 0; i < sizeof mp; ++i) ASSERT_EQ(record[i], kUntouched) << i;
  }
}

}  // namespace
