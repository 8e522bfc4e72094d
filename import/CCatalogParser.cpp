// CCatalogParser: reading a catalog file and driving the import of the source file it describes.
#include "import/CCatalogParser.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "database/TBaseTable.h"
#include "database/TTableCollection.h"
#include "foundation/CErrorLog.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/FailureCode.h"
#include "foundation/SystemHeader.h"
#include "foundation/TextHelpers.h"
#include "foundation/zpk_fstream.h"
#include "import/CCMultiThreadImport.h"
#include "import/CTextParser.h"
#include "import/CatalogErrorInfo.h"
#include "import/ImportEntry.h"
#include "import/ImportTask.h"
#include "import/ImportText.h"
#include "q7api.h"

char CCatalogParser::m_szSrcFile[CCatalogParser::kSrcFileSize] = "SrcData.dat";

namespace {

constexpr char kDefaultLogName[] = "catalog_err_log.txt";
constexpr char kDefaultSrcFile[] = "SrcData.dat";
// Lines come in pieces of at most kLineBufferSize - 1 bytes; a longer line is split.
constexpr int kLineBufferSize = 4098;
// Date format codes "D1".."D14" and time format codes "T1".."T4".
constexpr int kMaxDateCode = 14;
constexpr int kMaxTimeCode = 4;
constexpr int kMaxScale = 38;

// The next line the log writes is preceded by a new banner.
void RequestBanner() {
  LOGOBJ->mutex_lock();
  CErrorLog::isBegin = true;
  LOGOBJ->mutex_unlock();
}

// "D7" -> 7 for prefix 'D' and max 14; an empty or unknown code is 0, the default reading.
int FormatCode(const char* text, char prefix, int max) {
  if (text[0] != prefix || text[1] == '\0') return 0;
  int value = 0;
  for (const char* p = text + 1; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9' || value > max) return 0;
    value = value * 10 + (*p - '0');
  }
  return value >= 1 && value <= max ? value : 0;
}

// The text as a directive word: upper-cased (single-byte letters; multibyte characters of the code
// stepped over whole), blanks and tabs removed.
std::string DirectiveWord(int code, const char* text) {
  std::string word(text);
  UpperCase(code, word.data());
  removeSpaceTab(word.data());
  return std::string(word.c_str());
}

// The tab-separated tokens of a directive line (a line feed or carriage return also ends one).
std::vector<std::string> TabTokens(const char* line) {
  std::vector<std::string> tokens;
  const char* start = line;
  for (const char* p = line;; ++p) {
    if (*p == '\t' || *p == '\0' || *p == '\n' || *p == '\r') {
      tokens.emplace_back(start, p);
      if (*p != '\t') break;
      start = p + 1;
    }
  }
  return tokens;
}

struct CodeName {
  const char* name;  // upper case
  unsigned char code;
};
// Both the spellings the catalog writer uses ("UTF-8", "EUC", "Shift_JIS", "Cp1252") and the
// database code names are accepted; case does not matter.
constexpr CodeName kCodeNames[] = {
    {"SHIFT-JIS", 20}, {"SHIFT_JIS", 20}, {"EUC", 49},   {"EUC_JP", 49}, {"UTF-8", 33},
    {"UTF8", 33},      {"MS932", 18},     {"MS936", 65}, {"MS949", 19},  {"CP1252", 17},
};

// Raised by the reading steps after their log line is written.
[[noreturn]] void Fail(int code) { throw CQ7Exception(code); }

}  // namespace

CCatalogParser::CCatalogParser() { SetDefaults(0); }

CCatalogParser::CCatalogParser(int multiThread) { SetDefaults(multiThread); }

void CCatalogParser::SetDefaults(int multiThread) {
  m_nMultiThread = multiThread;
  m_chCodeType = getSystemInfoDBCharCode();
  snprintf(m_szSrcFile, sizeof m_szSrcFile, "%s", kDefaultSrcFile);
}

CCatalogParser::~CCatalogParser() {
  delete m_pTextParser;
  delete[] m_pSkipFlags;
  // The importer deletes its records when it ends; any it left behind go with the parser.
  for (CatalogErrorInfo* info : m_ErrorInfoList) delete info;
}

int CCatalogParser::setSrcFile(const char* path) {
  if (path == nullptr) return 0;
  if (strlen(path) >= sizeof m_szSrcFile) return Q7_ERROR_ILLEGAL_FILE_NAME;
  memcpy(m_szSrcFile, path, strlen(path) + 1);
  return 0;
}

void CCatalogParser::setTableNameOverride(const char* name) {
  snprintf(m_szTableName, sizeof m_szTableName, "%s", name != nullptr ? name : "");
}

void CCatalogParser::init() {
  m_nImportedRows = 0;
  m_nCutTop = 0;
  m_nLineCount = 0;
  // A parser from an earlier run of this object is not carried into the next.
  delete m_pTextParser;
  m_pTextParser = nullptr;
  m_nFieldCheck = 1;
  m_nErrorLogType = 1;
  m_chCodeType = getSystemInfoDBCharCode();
  remove(kDefaultLogName);
  RequestBanner();
  if (getcwd(m_szWorkDir, sizeof m_szWorkDir) == nullptr) m_szWorkDir[0] = '\0';
  LOGOBJ->setFileName(kDefaultLogName);
}

// ---- Getters by position ----

int CCatalogParser::isSkipped(int line) const {
  if (m_pSkipFlags == nullptr || line < 0 || line >= m_nFieldLineCount) return 0;
  return m_pSkipFlags[line];
}

int CCatalogParser::getLineSize(int line) const {
  return line >= 0 && line < m_nFieldLineCount ? m_nLineSize[line] : 0;
}

int CCatalogParser::getFieldType(int field) const {
  return field >= 0 && field < m_nFieldCount ? m_nFieldType[field] : 0;
}

const char* CCatalogParser::getFieldName(int field) const {
  return field >= 0 && field < m_nFieldCount ? m_szFieldName[field] : "";
}

int CCatalogParser::getParam1(int field) const {
  return field >= 0 && field < m_nFieldCount ? m_nParam1[field] : 0;
}

int CCatalogParser::getParam2(int field) const {
  return field >= 0 && field < m_nFieldCount ? m_nParam2[field] : 0;
}

// ---- Reading the catalog ----

int CCatalogParser::readInfo(char* catalogPath) {
  zpk_fstream stream;
  if (catalogPath == nullptr || stream.open(catalogPath, kZpkRead, 1) != 0) {
    LOGOBJ->NoteFailureCode(Q7_ERROR_ILLEGAL_FILE_NAME);
    LogMsg("FILE  [%s] MISSING ", catalogPath != nullptr ? catalogPath : "");
    return Q7_ERROR_ILLEGAL_FILE_NAME;
  }
  try {
    const int result = ReadInfoLines(catalogPath, stream);
    stream.close();
    return result;
  } catch (const CQ7Exception& e) {
    stream.close();
    return e.ErrorCode();
  } catch (...) {
    stream.close();
    return CurrentFailureCode();
  }
}

int CCatalogParser::ReadInfoLines(char* catalogPath, zpk_fstream& stream) {
  m_nFieldCheck = 1;
  if (m_pSkipFlags == nullptr) m_pSkipFlags = new unsigned char[kMaxFieldLines];
  memset(m_pSkipFlags, 0, kMaxFieldLines);
  m_nFieldCount = 0;
  m_nFieldLineCount = 0;

  // Messages name the catalog by its file name only.
  std::string path_copy(catalogPath);
  const std::string catalog_name = get_FileName(path_copy.data());

  char buffer[kLineBufferSize];
  while (readLineNCR(stream, buffer, kLineBufferSize, nullptr) != nullptr) {
    ++m_nLineCount;
    removeSpaceCR(0, buffer);
    if (buffer[0] == '\0') continue;
    if (buffer[0] == '/' && buffer[1] == '/') {
      ReadDirective(buffer);
      continue;
    }
    ReadFieldLine(buffer, catalog_name.c_str());
  }
  if (m_nSplitType == 0) {
    LOGOBJ->NoteFailureCode(Q7_CATALOG_PARSE_ERROR);
    LogMsg("NO FILE FORMAT IS SPECIFIED");
    Fail(Q7_CATALOG_PARSE_ERROR);
  }
  if (m_nFieldCount == 0) {
    LOGOBJ->NoteFailureCode(Q7_CATALOG_PARSE_ERROR);
    LogMsg("NO FILTER IS SPECIFIED");
    Fail(Q7_CATALOG_PARSE_ERROR);
  }
  return m_nFieldCount;
}

int CCatalogParser::ReadDirective(char* line) {
  const std::string word = DirectiveWord(m_chCodeType, line);
  if (word == "//CSV") {
    m_nSplitType = 2;
  } else if (word == "//TAB") {
    m_nSplitType = 1;
  } else if (word == "//FIX") {
    m_nSplitType = 3;
  } else if (word == "//CUTTOP") {
    m_nCutTop = 1;
  } else if (DirectiveWord(m_chCodeType, TabTokens(line)[0].c_str()) == "//USR") {
    ReadFileOption(line);
  } else {
    const std::string first = DirectiveWord(m_chCodeType, TabTokens(line)[0].c_str());
    if (first == "//ERROR" || first == "//ERRORLOG") {
      ReadImportOption(line);
    } else if (!ReadCodeType(line)) {
      CutComment(line);
    }
  }
  return 0;
}

void CCatalogParser::ReadFileOption(const char* line) {
  const std::vector<std::string> tokens = TabTokens(line);
  char separators[5] = {};
  bool any = false;
  for (size_t i = 1; i < tokens.size() && i <= 5; ++i) {
    separators[i - 1] = tokens[i].empty() ? '\0' : tokens[i][0];
    any = any || separators[i - 1] != '\0';
  }
  if (any) {
    m_nSplitType = 4;
    memcpy(m_chUserSep, separators, sizeof m_chUserSep);
  } else {
    m_nSplitType = 2;
  }
}

void CCatalogParser::ReadImportOption(const char* line) {
  const std::vector<std::string> tokens = TabTokens(line);
  const std::string first = DirectiveWord(m_chCodeType, tokens[0].c_str());
  const std::string second = tokens.size() > 1 ? DirectiveWord(m_chCodeType, tokens[1].c_str()) : "";
  if (first == "//ERROR") {
    if (second == "CONTINUE") {
      m_nErrorLogType = 2;
    } else if (second == "STOP") {
      m_nErrorLogType = 1;
    } else if (second == "SKIPLINE") {
      m_nErrorLogType = 3;
    } else if (second == "NONE") {
      m_nErrorLogType = 0;
      m_nFieldCheck = 0;
    }
  } else if (!second.empty()) {  // "//ERRORLOG"
    remove(second.c_str());
    RequestBanner();
    LOGOBJ->setFileName(second.c_str());
  }
}

bool CCatalogParser::ReadCodeType(const char* line) {
  const std::string first = TabTokens(line)[0];
  const std::string name = DirectiveWord(m_chCodeType, first.c_str() + 2);
  for (const CodeName& entry : kCodeNames) {
    if (name == entry.name) {
      m_chCodeType = entry.code;
      return true;
    }
  }
  return false;
}

int CCatalogParser::ReadFieldLine(char* line, const char* catalog_name) {
  // The size and skip tables hold kMaxFieldLines positions; a longer catalog is refused whole.
  if (m_nFieldLineCount >= kMaxFieldLines) {
    LOGOBJ->NoteFailureCode(Q7_CATALOG_PARSE_ERROR);
    LogMsg("FILTERS EXCEED MAXIMUM LIMIT\t\t [ > %d] ", kMaxFieldLines);
    Fail(Q7_CATALOG_PARSE_ERROR);
  }
  const size_t len = strlen(line) + 1;
  std::vector<char> store(len * 5);
  char* type = store.data();
  char* size = type + len;
  char* name = size + len;
  char* param1 = name + len;
  char* param2 = param1 + len;
  int skip = 0;
  if (DissolveLine(line, type, size, name, param1, param2, &skip) == 0) {
    LOGOBJ->NoteFailureCode(Q7_CATALOG_PARSE_ERROR);
    LogMsg("Q7_CATALOG_PARSE_ERROR\t----->\t in %s\t\t@ Row = %d ", catalog_name, m_nLineCount);
    Fail(Q7_CATALOG_PARSE_ERROR);
  }
  UpperCase(m_chCodeType, param1);
  UpperCase(m_chCodeType, param2);
  const int position = m_nFieldLineCount++;

  if (skip) {
    m_pSkipFlags[position] = 1;
  } else {
    const int field = m_nFieldCount;
    int value_type = 0;
    int p1 = 0;
    int p2 = 0;
    switch (type[0]) {
      case 'A':
      case 'a':
        value_type = 6;
        break;
      case 'I':
      case 'i':
        value_type = 2;
        break;
      case 'F':
      case 'f':
        value_type = 3;
        break;
      case 'D':
      case 'd':
        value_type = 4;
        p1 = FormatCode(param1, 'D', kMaxDateCode);
        break;
      case 'T':
      case 't':
        value_type = 5;
        p1 = FormatCode(param1, 'T', kMaxTimeCode);
        break;
      case 'E':
      case 'e':
        value_type = 7;
        p1 = FormatCode(param1, 'D', kMaxDateCode);
        p2 = FormatCode(param2, 'T', kMaxTimeCode);
        break;
      case 'N':
      case 'n':
        value_type = 8;
        break;
      default:
        LOGOBJ->NoteFailureCode(Q7_ERROR_UNDEFINED_FILTER_TYPE);
        LogMsg("UNDEFINED FILTER TYPE\t----->\t[%s] in %s\t\t@ Row = %d ", type, catalog_name, m_nLineCount);
        Fail(Q7_ERROR_UNDEFINED_FILTER_TYPE);
    }
    if (value_type == 8) {
      p1 = Str2Int(param1, 0);
      if (p1 < 0 || p1 > kMaxScale) {
        m_nParam1[field] = -1;
        LOGOBJ->NoteFailureCode(Q7_CATALOG_PARSE_ERROR);
        LogMsg("Q7_ERROR_INVALID_SCALE\t----->\t[%s] in %s\t\t@ Row = %d ", param1, catalog_name,
               m_nLineCount);
        Fail(Q7_CATALOG_PARSE_ERROR);
      }
      p2 = TransNumericRoundType(param2);
      if (p2 < 0 || p2 > 6) {
        m_nParam2[field] = -1;
        LOGOBJ->NoteFailureCode(Q7_CATALOG_PARSE_ERROR);
        LogMsg("Q7_ERROR_INVALID_ROUNDMODE\t----->\t[%s] in %s\t\t@ Row = %d ", param2, catalog_name,
               m_nLineCount);
        Fail(Q7_CATALOG_PARSE_ERROR);
      }
    }
    if (strlen(name) > static_cast<size_t>(kMaxNameLength)) {
      LOGOBJ->NoteFailureCode(Q7_CATALOG_PARSE_ERROR);
      LogMsg("FILTERS NAME SIZE EXCEED MAXIMUM LIMIT\t\t [ > %d] ", kMaxNameLength);
      Fail(Q7_CATALOG_PARSE_ERROR);
    }
    m_nFieldType[field] = value_type;
    m_nParam1[field] = p1;
    m_nParam2[field] = p2;
    memcpy(m_szFieldName[field], name, strlen(name) + 1);
    ++m_nFieldCount;
  }

  m_nLineSize[position] = Str2Int(size, 0);
  if (m_nSplitType == 3 && (m_nLineSize[position] < 1 || m_nLineSize[position] > kMaxFixedWidth)) {
    LOGOBJ->NoteFailureCode(Q7_CATALOG_PARSE_ERROR);
    LogMsg("FILTER SIZE LIMIT EXCEEDED (>=%d) \t----->\t[%s] in %s\t\t@ Row = %d ", kMaxFixedWidth + 1, size,
           catalog_name, m_nLineCount);
    Fail(Q7_CATALOG_PARSE_ERROR);
  }
  return 0;
}

// ---- Import ----

int CCatalogParser::parse(char* catalogPath) {
  try {
    const int fields = readInfo(catalogPath);
    if (fields < 0) return fields;
    std::string title(catalogPath);
    ::getTitleName(title.data());
    if (strlen(title.c_str()) > static_cast<size_t>(kMaxNameLength)) {
      LOGOBJ->NoteFailureCode(Q7_ERROR_ILLEGAL_TABLE_NAME);
      LogMsg("ADD TABLE FAILED \t\t----->\t = %s", "Q7_ERROR_ILLEGAL_TABLE_NAME");
      return Q7_ERROR_ILLEGAL_TABLE_NAME;
    }
    snprintf(m_szTitleName, sizeof m_szTitleName, "%s", title.c_str());
    if (m_nMultiThread == 1) {
      if (m_nAppendFlag) {
        const int verified = verifyItems(m_nTargetTableID);
        if (verified < 0) return verified;
      }
      return CCMultiThreadImport::Instance()->MppImport(this, m_szSrcFile);
    }
    const int rows = processSRCFile(-1);
    if (rows < 0) return rows;
    m_nImportedRows = rows;
    return rows;
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  } catch (...) {
    return CurrentFailureCode();
  }
}

int CCatalogParser::parse_txt(char* catalogPath, int tableID, int rowSize) {
  m_nTargetTableID = tableID;
  if (rowSize < 0) return Q7_ERROR_INVALID_PARAMETER;
  const int fields = readInfo(catalogPath);
  if (fields < 0) return fields;
  const int verified = verifyItems(tableID);
  if (verified < 0) return verified;
  return processSRCFile(rowSize);
}

int CCatalogParser::verifyItems(int tableID) {
  try {
    ImportTaskServices* task = ImportTask();
    if (task == nullptr) return Q7_ERROR_UNKNOWN;
    // A join table lists up to twice the filters a real table may hold.
    std::vector<int> ids(2 * kMaxFields);
    const int filters = task->GetFilterIDList(tableID, ids.data());
    if (filters < 0) return filters;
    if (m_nFieldCount != filters) {
      if (m_nErrorLogType != 2) LOGOBJ->NoteFailureCode(Q7_CATALOG_PARSE_ERROR);
      LogMsg("FILTER MISMATCH \t----->\tFilters - Items [%d - %d] ", m_nFieldCount, filters);
      if (m_nErrorLogType != 2) return Q7_CATALOG_PARSE_ERROR;
    }
    m_nFieldCount = std::min(m_nFieldCount, filters);
    for (int i = 0; i < m_nFieldCount; ++i) {
      const int type = task->GetFilterType(tableID, ids[i]);
      if (type < 0) return type;
      if (type != m_nFieldType[i]) return Q7_ERROR_DATA_TYPE_MISMATCH;
    }
    return 0;
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  } catch (...) {
    return CurrentFailureCode();
  }
}

int CCatalogParser::processSRCFile(int rowSize) {
  delete m_pTextParser;
  m_pTextParser = nullptr;
  try {
    return ProcessSRCFileUnchecked(rowSize);
  } catch (const CQ7Exception& e) {
    delete m_pTextParser;
    m_pTextParser = nullptr;
    return e.ErrorCode();
  } catch (...) {
    delete m_pTextParser;
    m_pTextParser = nullptr;
    return CurrentFailureCode();
  }
}

int CCatalogParser::ProcessSRCFileUnchecked(int rowSize) {
  switch (m_nSplitType) {
    case 1:
      m_pTextParser = new CTABParser(this);
      break;
    case 2:
      m_pTextParser = new CCSVParser(this);
      break;
    case 3:
      m_pTextParser = new CFixedLengthParser(this);
      break;
    case 4:
      m_pTextParser = new CUSRParser(this, m_chUserSep[0], m_chUserSep[1], m_chUserSep[2], m_chUserSep[3],
                                     m_chUserSep[4]);
      break;
    default:
      LOGOBJ->NoteFailureCode(Q7_CATALOG_PARSE_ERROR);
      LogMsg("NO FILE FORMAT IS SPECIFIED");
      throw CQ7Exception(Q7_CATALOG_PARSE_ERROR);
  }
  m_pTextParser->setRowSize(rowSize);
  m_pTextParser->init();
  const int rows = m_pTextParser->parse(m_szSrcFile);
  if (rows < 0) throw CQ7Exception(rows);
  m_nImportedRows = rows;
  return rows;
}

int CCatalogParser::write2DB() {
  if (m_pTextParser == nullptr) return 0;
  try {
    if (m_nAppendFlag) return append2DB(m_nAppendPos);
    ImportTaskServices* task = ImportTask();
    if (task == nullptr) return Q7_ERROR_UNKNOWN;
    char seed[kMaxNameLength + 1];
    snprintf(seed, sizeof seed, "%s", m_szTableName[0] != '\0' ? m_szTableName : m_szTitleName);
    char name[kMaxNameLength + 1];
    if (task->GenerateTableName(seed, name) < 0) memcpy(name, seed, sizeof name);
    const int rows = m_pTextParser->getRowsParsed();
    const int table = task->AddRealTable(name, rows);
    if (table < 0) {
      LOGOBJ->NoteFailureCode(table);
      LogMsg("ADD TABLE FAILED \t\t----->\t = %s\t Lines = %d ErrorCode = %d", name, rows, table);
      return table;
    }
    const int written = m_pTextParser->write2DB(table);
    return written < 0 ? written : table;
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  } catch (...) {
    return CurrentFailureCode();
  }
}

int CCatalogParser::append2DB(int position) {
  if (m_pTextParser == nullptr) return 0;
  try {
    const int rows = m_pTextParser->getRowsParsed();
    // An empty source appends nothing.
    if (rows == 0) return 0;
    if (position == -1) {
      // Resolved once here: every field must start at the same row, and each append past the end
      // grows the table before the next field would see it.
      TTableCollection* db = CSmpEngine::Instance()->Database();
      const int loc = db != nullptr ? db->ID2Loc(m_nTargetTableID) : Q7_ERROR_NO_SUCH_TABLE;
      if (loc < 0) return Q7_ERROR_NO_SUCH_TABLE;
      position = db->TableAt(loc)->TotalRecs() + 1;
    }
    m_pTextParser->setNumericParams(m_nParam1, m_nParam2, m_nAppendFlag);
    const int result = m_pTextParser->append2DB(m_nTargetTableID, position);
    return result < 0 ? result : rows;
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  } catch (...) {
    return CurrentFailureCode();
  }
}

int CCatalogParser::SetAppendTableID(int tableID) {
  TTableCollection* db = CSmpEngine::Instance()->Database();
  if (db == nullptr || db->ID2Loc(tableID) < 0) return Q7_ERROR_NO_SUCH_TABLE;
  m_nTargetTableID = tableID;
  m_nAppendFlag = 1;
  return 0;
}
