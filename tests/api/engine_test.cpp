// The engine, version, environment, character-code and error-log calls, as a host sees them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "q7api.h"

namespace {

static_assert(sizeof(_TREnvironment) == 352);
static_assert(offsetof(_TREnvironment, osKind) == 256);
static_assert(offsetof(_TREnvironment, hardwareSecond) == 284);
static_assert(offsetof(_TREnvironment, osCharCode) == 288);
static_assert(offsetof(_TREnvironment, dbCharCode) == 320);
static_assert(sizeof(_TRMemInfo) == 16);
static_assert(offsetof(_TRMemInfo, free) == 8);

struct Entry {
  int time = 0;
  std::string api;
  int code = 0;
  std::string message;
};

// Reads the ring empty and returns what it held, oldest first.
std::vector<Entry> DrainRing() {
  std::vector<Entry> entries;
  for (;;) {
    Entry e;
    char api[63], message[127];
    if (RQ7GetErrorLog(&e.time, api, &e.code, message) != 1) return entries;
    e.api = api;
    e.message = message;
    entries.push_back(e);
  }
}

std::string DBCharCodeName() {
  _TREnvironment env;
  EXPECT_EQ(RQ7GetEnvironment(&env), 0);
  return env.dbCharCode;
}

class EngineApi : public ::testing::Test {
 protected:
  void SetUp() override { DrainRing(); }
  void TearDown() override { RQ7SetDBCharCode("UTF8"); }
};

TEST_F(EngineApi, EmptyRingGivesZeroAndLeavesBuffersUntouched) {
  int time = -7, code = -7;
  char api[63] = "keep", message[127] = "keep";
  EXPECT_EQ(RQ7GetErrorLog(&time, api, &code, message), 0);
  EXPECT_EQ(time, -7);
  EXPECT_EQ(code, -7);
  EXPECT_STREQ(api, "keep");
  EXPECT_STREQ(message, "keep");

  char* api_ptr = api;
  char* message_ptr = message;
  EXPECT_EQ(Q7GetErrorLog(&time, &api_ptr, &code, &message_ptr), 0);
  EXPECT_EQ(code, -7);
  EXPECT_STREQ(api, "keep");
}

TEST_F(EngineApi, CharacterCodeNamesAndLocalesSetTheCode) {
  const std::pair<const char*, int> kNames[] = {{"Cp1252", 5}, {"MS932", 1},  {"MS949", 2}, {"Shift_JIS", 0},
                                                {"UTF8", 3},   {"EUC_JP", 4}, {"MS936", 6}};
  for (const auto& [name, locale] : kNames) {
    SCOPED_TRACE(name);
    EXPECT_EQ(RQ7SetDBCharCode(name), 0);
    EXPECT_EQ(DBCharCodeName(), name);
    EXPECT_EQ(RQ7SetDBCharCode("UTF8"), 0);
    EXPECT_EQ(RQ7SetKanjiCode(locale), 0);
    EXPECT_EQ(DBCharCodeName(), name);
    EXPECT_EQ(Q7SetKanjiCode(3), 0);
    EXPECT_EQ(DBCharCodeName(), "UTF8");
  }
  EXPECT_TRUE(DrainRing().empty());
}

TEST_F(EngineApi, UnknownCharacterCodeIsRefusedAndChangesNothing) {
  ASSERT_EQ(RQ7SetDBCharCode("MS932"), 0);
  const char* kBadNames[] = {"nonsense", "utf8", "", nullptr};
  for (const char* name : kBadNames) {
    SCOPED_TRACE(name ? name : "(null)");
    EXPECT_EQ(RQ7SetDBCharCode(name), Q7_ERROR_INVALID_CHAR_CODE);
  }
  EXPECT_EQ(RQ7SetKanjiCode(7), Q7_ERROR_INVALID_CHAR_CODE);
  EXPECT_EQ(Q7SetKanjiCode(-1), Q7_ERROR_INVALID_CHAR_CODE);
  EXPECT_EQ(DBCharCodeName(), "MS932");
  // The setters run in the light frame and their operation records nothing: the host sees the
  // code only.
  EXPECT_TRUE(DrainRing().empty());
}

TEST_F(EngineApi, RefusedEnvironmentRecordLeavesOneRingEntry) {
  EXPECT_EQ(RQ7GetEnvironment(nullptr), Q7_ERROR_INVALID_PARAMETER);
  const auto entries = DrainRing();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].api, "RQ7GetEnvironment");
  EXPECT_EQ(entries[0].code, Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(entries[0].message, "Invalid Parameter : env");
  // The same entry read through the mirror's pointer-to-buffer form.
  EXPECT_EQ(RQ7GetEnvironment(nullptr), Q7_ERROR_INVALID_PARAMETER);
  char api[63] = {}, message[127] = {};
  char* api_ptr = api;
  char* message_ptr = message;
  int time = 0, code = 0;
  EXPECT_EQ(Q7GetErrorLog(&time, &api_ptr, &code, &message_ptr), 1);
  EXPECT_STREQ(api, "RQ7GetEnvironment");
  EXPECT_EQ(code, Q7_ERROR_INVALID_PARAMETER);
}

TEST_F(EngineApi, SystemMemInfoGivesTheMachinesMemory) {
  _TRMemInfo info;
  memset(&info, 0xA5, sizeof info);
  // The system query's own result: the free figure is not measured.
  EXPECT_EQ(RQ7GetSystemMemInfo(&info), -1);
  EXPECT_EQ(info.total,
            static_cast<uint64_t>(sysconf(_SC_PAGESIZE)) * static_cast<uint64_t>(sysconf(_SC_PHYS_PAGES)));
  EXPECT_EQ(info.free, 0u);
  EXPECT_EQ(DrainRing().size(), 0u);
  EXPECT_EQ(RQ7GetSystemMemInfo(nullptr), Q7_ERROR_INVALID_PARAMETER);
  const auto entries = DrainRing();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].api, "RQ7GetSystemMemInfo");
  EXPECT_EQ(entries[0].code, Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(entries[0].message, "Invalid Parameter : info");
}

TEST_F(EngineApi, VersionNumbersAndCopyright) {
  int versions[4] = {};
  char copyright[512] = {};
  EXPECT_EQ(RQ7GetVersion(versions, copyright), 0);
  EXPECT_EQ(versions[0], 0x01001001);
  EXPECT_EQ(versions[0], Q7_INTERFACE_VERSION);
  EXPECT_EQ(versions[1], 25);
  EXPECT_EQ(versions[2], 1);
  EXPECT_EQ(versions[3], 20170503);
  EXPECT_GT(strlen(copyright), 0u);

  int* engine_versions = nullptr;
  char* engine_copyright = nullptr;
  EXPECT_EQ(Q7GetVersion(&engine_versions, &engine_copyright), 0);
  ASSERT_NE(engine_versions, nullptr);
  EXPECT_EQ(memcmp(engine_versions, versions, sizeof versions), 0);
  EXPECT_STREQ(engine_copyright, copyright);
}

TEST_F(EngineApi, EnvironmentDescribesThisMachine) {
  _TREnvironment env;
  memset(&env, 0x5A, sizeof env);
  ASSERT_EQ(RQ7GetEnvironment(&env), 0);
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  EXPECT_STREQ(env.hostName, host);
  EXPECT_EQ(env.osKind, 53);
  EXPECT_GT(env.osMajor, 0);
  EXPECT_GE(env.osMinor, 0);
  EXPECT_EQ(env.hardwareThird, 6);
  EXPECT_EQ(env.endian, 4);
  EXPECT_EQ(env.wordSize, 64);
  EXPECT_EQ(env.processors, sysconf(_SC_NPROCESSORS_ONLN));
  EXPECT_EQ(env.hardwareSecond, -1);
  EXPECT_STREQ(env.osCharCode, "UTF8");
  EXPECT_STREQ(env.dbCharCode, "UTF8");
  // The name fields are zero-filled behind the name.
  for (size_t i = strlen(env.osCharCode); i < sizeof env.osCharCode; ++i) EXPECT_EQ(env.osCharCode[i], 0);
  for (size_t i = strlen(env.dbCharCode); i < sizeof env.dbCharCode; ++i) EXPECT_EQ(env.dbCharCode[i], 0);
}

TEST_F(EngineApi, LogInitAcceptsEveryOption) {
  for (int option : {1, 2, 3, 0}) {
    EXPECT_EQ(RQ7LogInit(option, "hist.log"), 0);
    EXPECT_EQ(Q7LogInit(option, nullptr), 0);
  }
}

TEST_F(EngineApi, ReInitializeKeepsTheRing) {
  ASSERT_EQ(RQ7GetEnvironment(nullptr), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RQ7ReInitializeMS(), 0);
  const auto entries = DrainRing();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].api, "RQ7GetEnvironment");
  // The engine answers as before.
  int versions[4] = {};
  EXPECT_EQ(RQ7GetVersion(versions, nullptr), 0);
  EXPECT_EQ(versions[0], 0x01001001);
}

}  // namespace
