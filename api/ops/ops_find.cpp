// Find operations of the operation layer: the serial road of the exported incremental finds.
#include "api/ops/ops_find.h"

#include <cstring>

#include "api/ops/CharCodeChecks.h"
#include "api/ops/OpCommon.h"
#include "database/TRealTable.h"

namespace {

// The longest bound text the string find takes, without its zero.
constexpr size_t kMaxFindText = 4096;

constexpr int kFindBetween = 1;
constexpr int kFindWithin = 5;

bool TooLong(const char* text) { return text != nullptr && strnlen(text, kMaxFindText + 1) > kMaxFindText; }

}  // namespace

int innerQ7OpenStrFindReal(int table_id, int filter_id, int kind, const char* from, const char* to) {
  constexpr char kRing[] = "Q7OpenStrFindReal";
  return RunOp(kRing, [&] {
    TRealTable* table = FindRealTable(kRing, table_id);
    // A missing text is a host error, not the empty text: a find for it would mark rows the host
    // never asked for and report success.
    if (from == nullptr) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : From");
    if (to == nullptr && (kind == kFindBetween || kind == kFindWithin)) {
      throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : To");
    }
    if (TooLong(from) || TooLong(to)) {
      Refuse(kRing, Q7_ERROR_STRING_SIZE_OVERFLOW, Q7_ERROR_STRING_SIZE_OVERFLOW, "StringSize overflow");
    }
    return CheckInner(kRing, table->OpenStrFind(filter_id, kind, from, to));
  });
}

int innerRQ7OpenStrFindRealSJIS(int table_id, int filter_id, int kind, const char* from, const char* to) {
  RequireShiftJisDatabase();
  return innerQ7OpenStrFindReal(table_id, filter_id, kind, from, to);
}

int innerRQ7OpenStrFindRealLocale(int table_id, int filter_id, int kind, const char* from, const char* to,
                                  int locale) {
  RequireLocaleOfDatabase(locale);
  return innerQ7OpenStrFindReal(table_id, filter_id, kind, from, to);
}

int innerQ7OpenIntFindReal(int table_id, int filter_id, int kind, int from, int to) {
  constexpr char kRing[] = "Q7OpenIntFindReal";
  return RunOp(kRing, [&] {
    return CheckInner(kRing, FindRealTable(kRing, table_id)->OpenIntFind(filter_id, kind, from, to));
  });
}

int innerQ7OpenFloatFindReal(int table_id, int filter_id, int kind, double from, double to) {
  constexpr char kRing[] = "Q7OpenFloatFindReal";
  return RunOp(kRing, [&] {
    return CheckInner(kRing, FindRealTable(kRing, table_id)->OpenFloatFind(filter_id, kind, from, to));
  });
}

int innerQ7OpenNumericFindReal(int table_id, int filter_id, int kind, Numeric from, Numeric to) {
  constexpr char kRing[] = "innerQ7OpenNumericFindReal";
  return RunOp(kRing, [&] {
    return CheckInner(kRing, FindRealTable(kRing, table_id)->OpenNumericFind(filter_id, kind, from, to));
  });
}

int innerQ7GetFindStatus(int table_id, int* hits, int* filter_id) {
  constexpr char kRing[] = "Q7GetFindStatus";
  return RunOp(kRing, [&] {
    return CheckInner(kRing, FindRealTable(kRing, table_id)->GetFindStatus(hits, filter_id));
  });
}

int innerQ7GetNextHitReal(int table_id, int find_id, int set_id, int from, int dir, int* filter_id,
                          int* pos) {
  constexpr char kRing[] = "Q7GetNextHitReal";
  return RunOp(kRing, [&] {
    TRealTable* table = FindRealTable(kRing, table_id);
    return CheckInner(kRing, table->GetNextHit(find_id, set_id, from, dir, filter_id, pos));
  });
}

int innerQ7CloseFindReal(int table_id) {
  constexpr char kRing[] = "Q7CloseFindReal";
  return RunOp(kRing, [&] {
    FindRealTable(kRing, table_id)->CloseFind();
    return 0;
  });
}

int innerQ7FindRecNoReal(int table_id, int set_id, int rec_no) {
  constexpr char kRing[] = "Q7FindRecNoReal";
  return RunOp(kRing,
               [&] { return CheckInner(kRing, FindRealTable(kRing, table_id)->FindRecNo(set_id, rec_no)); });
}
