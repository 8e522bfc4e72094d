// The text export's table-level pieces: a part's row share and the export format file's records.
#include "database/CsvExportFormat.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "foundation/TextHelpers.h"
#include "foundation/zpk_fstream.h"
#include "q7api.h"
#include "values/Numeric.h"

namespace {

constexpr int kPieceSize = 4096;

// Drops blanks and carriage returns in place.
void RemoveBlanksAndCR(char* text) {
  char* out = text;
  for (const char* in = text; *in != '\0'; ++in) {
    if (*in != ' ' && *in != '\r') *out++ = *in;
  }
  *out = '\0';
}

bool IsCommentOrEmpty(const char* line) {
  while (*line == ' ' || *line == '\t') ++line;
  return *line == '\0' || *line == '\n' || (line[0] == '/' && line[1] == '/');
}

// The token from `at` to the next tab, line feed, carriage return or the end; `at` moves past a tab
// (a line feed or the end stops every later token too).
std::string NextToken(const char** at) {
  const char* p = *at;
  const char* start = p;
  while (*p != '\0' && *p != '\t' && *p != '\n' && *p != '\r') ++p;
  std::string token(start, static_cast<size_t>(p - start));
  *at = *p == '\t' ? p + 1 : p + strlen(p);
  return token;
}

int RoundingModeOf(const std::string& name) {
  for (int mode = 0; mode <= 6; ++mode) {
    if (name == q7num::kRoundingModeNames[mode]) return mode;
  }
  return kNoRoundingMode;
}

}  // namespace

int readFmtInfo(const char* file, EXPTFMT_t* records, int capacity) {
  zpk_fstream stream;
  if (file == nullptr || stream.open(file, "r", 1) != 0) return Q7_ERROR_ILLEGAL_FILE_NAME;
  int count = 0;
  char piece[kPieceSize];
  while (count < capacity && stream.gets(piece, kPieceSize) != nullptr) {
    RemoveBlanksAndCR(piece);
    if (IsCommentOrEmpty(piece)) continue;
    const char* at = piece;
    const std::string name = NextToken(&at);
    const std::string digits_text = NextToken(&at);
    const std::string mode_name = NextToken(&at);
    if (name.empty() || digits_text.empty()) return Q7_CATALOG_PARSE_ERROR;
    EXPTFMT_t& record = records[count++];
    memset(record.name, 0, sizeof record.name);
    memcpy(record.name, name.data(), std::min(name.size(), sizeof record.name - 1));
    const int digits = Q7StrToInt(digits_text.c_str(), 1);
    record.digits = digits < 0 ? -1 : digits;
    record.rounding = record.digits == -1 ? -1 : RoundingModeOf(mode_name);
  }
  return count;
}

int DissolveLine2(char* line, char* a, char* b, char* c) {
  const char* at = line != nullptr ? line : "";
  const std::string tokens[3] = {NextToken(&at), NextToken(&at), NextToken(&at)};
  char* outs[3] = {a, b, c};
  for (int i = 0; i < 3; ++i) {
    if (outs[i] != nullptr) memcpy(outs[i], tokens[i].c_str(), tokens[i].size() + 1);
  }
  return tokens[0].empty() || tokens[1].empty() ? 0 : 1;
}

const EXPTFMT_t* FindExportFormat(const EXPTFMT_t* records, int n, const char* name) {
  if (records == nullptr || name == nullptr) return nullptr;
  for (int i = 0; i < n; ++i) {
    if (strcmp(records[i].name, name) == 0) return &records[i];
  }
  return nullptr;
}
