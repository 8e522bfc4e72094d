// The database character code: the table of codes, their names, locale ids and setters.
#include "foundation/CharCode.h"

#include <cstring>

#include "foundation/CQ7Exception.h"
#include "foundation/SystemHeader.h"

namespace {

struct CharCodeRow {
  unsigned char code;
  const char* name;
  int locale;
};

constexpr CharCodeRow kCharCodes[] = {
    {17, "Cp1252", 5}, {18, "MS932", 1},  {19, "MS949", 2}, {20, "Shift_JIS", 0},
    {33, "UTF8", 3},   {49, "EUC_JP", 4}, {65, "MS936", 6},
};

const CharCodeRow* FindCode(unsigned char code) {
  for (const auto& row : kCharCodes) {
    if (row.code == code) return &row;
  }
  return nullptr;
}

}  // namespace

int setDBCharCode(unsigned char code) {
  if (code == getSystemInfoDBCharCode()) return 0;
  if (FindCode(code) == nullptr) return Q7_ERROR_INVALID_CHAR_CODE;
  setSystemInfoDBCharCode(code);
  return 0;
}

int innerQ7SetKanjiCode(int localeId) {
  const unsigned char code = convertLocaleID2DBCharCode(localeId);
  if (code == 0) return Q7_ERROR_INVALID_CHAR_CODE;
  return setDBCharCode(code);
}

unsigned char convertLocaleID2DBCharCode(int localeId) {
  for (const auto& row : kCharCodes) {
    if (row.locale == localeId) return row.code;
  }
  return 0;
}

unsigned char convertDBStringCode2DBCharCode(const char* name) {
  if (name == nullptr) return 0;
  for (const auto& row : kCharCodes) {
    if (strcmp(row.name, name) == 0) return row.code;
  }
  return 0;
}

int convertDBCharCode2DBStringCode(unsigned char code, char* out) {
  const CharCodeRow* row = FindCode(code);
  strcpy(out, row != nullptr ? row->name : "NotDefined");
  return row != nullptr ? 0 : -1;
}

void getDBCharCode(char* out, bool alternative) {
  const unsigned char code = getSystemInfoDBCharCode();
  if (code == 0) {
    strcpy(out, "NotDefined");
    return;
  }
  const CharCodeRow* row = FindCode(code);
  if (row == nullptr) return;
  if (alternative && code == 33) {
    strcpy(out, "UTF-8");
  } else if (alternative && code == 49) {
    strcpy(out, "EUC");
  } else {
    strcpy(out, row->name);
  }
}

int getOSCharCode(char* out) {
  strcpy(out, "UTF8");
  return 33;
}
