// The code checks of texts that exported calls take in a stated character code (SJIS and locale forms).
#include "api/ops/CharCodeChecks.h"

#include "foundation/CQ7Exception.h"
#include "foundation/CharCode.h"
#include "foundation/SystemHeader.h"
#include "q7api.h"

namespace {

constexpr int kAnyLocale = 99;

}  // namespace

void RequireShiftJisDatabase() {
  if (getSystemInfoDBCharCode() != Q7_CHARCODE_SHIFT_JIS) {
    throw CQ7Exception(Q7_ERROR_CHAR_CODE_MISMATCH, "Not equal to WS DBCharCode");
  }
}

void RequireLocaleOfDatabase(int locale) {
  if (locale == kAnyLocale) return;
  const unsigned char code = convertLocaleID2DBCharCode(locale);
  if (code == 0 || code != getSystemInfoDBCharCode()) {
    throw CQ7Exception(Q7_ERROR_CHAR_CODE_MISMATCH, "Invalid Parameter : LocaleID");
  }
}
