// TParseInfo: the checked import's catalog pass, data pass and the making of its table.
#include "import/TParseInfo.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/CharCode.h"
#include "foundation/SystemHeader.h"
#include "foundation/TextHelpers.h"
#include "import/CheckerText.h"
#include "import/ImportText.h"
#include "import/TCorrectLog.h"
#include "import/TFilterDscp.h"
#include "import/TIOBuf.h"
#include "q7api.h"
#include "values/DateTime.h"
#include "values/Numeric.h"
#include "values/NumericText.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"

namespace {

// A trimmed cell: every cell TIOBuf hands out fits.
constexpr size_t kWorkSize = TIOBuf::kMaxCell + 1;
// The filter position that appends after the last filter.
constexpr int kAppendPosition = 1024;
// The name of a field skipped by a line without a name.
constexpr char kSkippedName[] = "SKIPPED_FIELD";
// The scale and mode of a decimal field line without them.
constexpr int kDefaultScale = 10;

struct CodeName {
  const char* directive;  // after "//", as the upper-cased copy has it
  unsigned char code;
};
constexpr CodeName kCodes[] = {{"SHIFT-JIS", 20}, {"EUC", 49},   {"UTF-8", 33}, {"MS932", 18},
                               {"MS936", 65},     {"MS949", 19}, {"CP1252", 17}};

std::string CodeText(unsigned char code) {
  char name[kCheckerNameSize];
  return getCodeName(code, name);
}

std::string TypeText(int type) {
  char name[kCheckerNameSize];
  return getDataTypeName(static_cast<char>(type), name);
}

int TypeOfLetter(const char* letter) {
  if (strlen(letter) != 1) return 0;
  switch (letter[0]) {
    case 'A':
      return Q7_TYPE_STRING;
    case 'D':
      return Q7_TYPE_DATE;
    case 'E':
      return Q7_TYPE_DATETIME;
    case 'F':
      return Q7_TYPE_DOUBLE;
    case 'I':
      return Q7_TYPE_INTEGER;
    case 'N':
      return Q7_TYPE_DECIMAL;
    case 'T':
      return Q7_TYPE_TIME;
    default:
      return 0;
  }
}

[[noreturn]] void Refuse(int code) { throw CQ7Exception(code); }

// The first tab-separated token of the copy, without blanks: what the directives are matched on.
std::string Directive(const std::string& copy) {
  std::string token = copy.substr(0, copy.find('\t'));
  token.resize(strlen(AsciiExcludeSpace(token.data())));
  return token;
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

FILE* OpenCatalog(const std::string& path) {
  FILE* f = path.empty() ? nullptr : fopen(path.c_str(), "r");
  struct stat st;
  if (f != nullptr && (fstat(fileno(f), &st) != 0 || S_ISDIR(st.st_mode))) {
    fclose(f);
    f = nullptr;
  }
  return f;
}

std::string Joined(const char* dir, const char* file) {
  std::string path(strlen(dir) + strlen(file) + 2, '\0');
  build_AbsoluteName(dir, file, path.data());
  path.resize(strlen(path.c_str()));
  return path;
}

const char* OrEmpty(const char* text) { return text != nullptr ? text : ""; }

// The comment of a value that was read as NULL, by type.
const char* NullComment(int type) {
  switch (type) {
    case Q7_TYPE_INTEGER:
      return "ERROR! INT value converted to NULL";
    case Q7_TYPE_DOUBLE:
      return "ERROR! FLOAT value converted to NULL";
    case Q7_TYPE_DATE:
      return "ERROR! DATE value converted to NULL";
    case Q7_TYPE_TIME:
      return "ERROR! TIME value converted to NULL";
    case Q7_TYPE_DATETIME:
      return "ERROR! DATETIME value converted to NULL";
    default:
      return "ERROR! Numeric value converted to NULL";
  }
}

}  // namespace

TParseInfo::TParseInfo() : work_(kWorkSize) {}

TParseInfo::~TParseInfo() { ReleaseColumns(); }

void TParseInfo::ReleaseColumns() {
  for (Field& f : fields_) {
    delete f.values;
    f.values = nullptr;
  }
}

const char* TParseInfo::GetFilterName(int i) const {
  return i >= 0 && i < FieldCount() ? fields_[static_cast<size_t>(i)].name.c_str() : "";
}

// ---- Structure pass ----

int TParseInfo::iParseStructInfo(const char* dir, const char* catalog, TCorrectLog* log) {
  dir = OrEmpty(dir);
  catalog = OrEmpty(catalog);
  try {
    log->AddNote(0, 0, "", "", "", "trying to open Catalog file[%s]", catalog);
    FILE* file = catalog[0] != '\0' ? OpenCatalog(Joined(dir, catalog)) : nullptr;
    if (file == nullptr) {
      log->AddData(0, 0, "", "", "", "failed to open Catalog");
      return Q7_CATALOG_PARSE_ERROR;
    }
    std::unique_ptr<FILE, int (*)(FILE*)> closer(file, fclose);
    char raw[kMaxCatalogLine + 1];
    int line = 0;
    while (fgets(raw, sizeof raw, file) != nullptr) {
      ++line;
      size_t len = strlen(raw);
      while (len > 0 && (raw[len - 1] == '\n' || raw[len - 1] == '\r')) raw[--len] = '\0';
      ParseLine(line, raw, log);
    }
    EndOfCatalog(line, log);
    MakeColumns();
    return FieldCount();
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  } catch (...) {
    return Q7_CATALOG_PARSE_ERROR;
  }
}

void TParseInfo::ParseLine(int line, const char* raw, TCorrectLog* log) {
  std::string copy(raw);
  AsciiCutControl(AsciiUpper(copy.data()));
  copy.resize(strlen(copy.c_str()));
  const std::string directive = Directive(copy);
  if (SeparatorLine(line, copy, directive, log)) return;
  if (directive == "//CUTTOP") {
    cut_top_ = true;
    log->AddData(line, 0, "", "", "", "CUTTOP accepted");
    return;
  }
  if (CodeLine(line, directive, log)) return;
  if (copy.empty()) return;
  if (!StartsWith(directive, "//")) {
    FieldLine(line, raw, log);
    return;
  }
  log->AddData(line, 0, "", raw, "", "Ignored as a comment");
}

bool TParseInfo::SeparatorLine(int line, const std::string& copy, const std::string& directive,
                               TCorrectLog* log) {
  if (directive == "//TAB") {
    RegisterSeparator(line, '\t', log);
  } else if (directive == "//CSV") {
    RegisterSeparator(line, ',', log);
  } else if (directive == "//USR") {
    size_t at = copy.find('\t');
    while (at != std::string::npos) {
      const size_t next = copy.find('\t', at + 1);
      const std::string token =
          copy.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
      if (token.size() > 1) {
        log->AddData(line, 0, "", token.c_str(), "", "Error. This must be sigle char.");
        Refuse(Q7_CATALOG_PARSE_ERROR);
      }
      if (token.size() == 1) RegisterSeparator(line, token[0], log);
      at = next;
    }
  } else if (directive == "//FIX") {
    log->AddData(line, 0, "", directive.c_str(), "", "Error. This option is not allowed.");
    Refuse(Q7_CATALOG_PARSE_ERROR);
  } else {
    return false;
  }
  return true;
}

void TParseInfo::RegisterSeparator(int line, char c, TCorrectLog* log) {
  const std::string shown = c == ',' ? "CSV(Comma)" : c == '\t' ? "TAB" : std::string(1, c);
  const unsigned char u = static_cast<unsigned char>(c);
  if ((u < 32 && c != '\t') || c == '"') {
    log->AddNote(line, 0, "", shown.c_str(), shown.c_str(),
                 "ERROR. Tried to register illegal separator(char code = [0x%x])", u);
  } else if (separators_.find(c) != std::string::npos) {
    log->AddData(line, 0, "", shown.c_str(), shown.c_str(),
                 "NOT registered as a separator, already registered.");
  } else if (static_cast<int>(separators_.size()) < kMaxSeparators) {
    separators_ += c;
    log->AddData(line, 0, "", shown.c_str(), shown.c_str(), "registered as a separator");
  } else {
    log->AddData(line, 0, "", shown.c_str(), shown.c_str(),
                 "NOT registered as a separator, may be too many separators.");
  }
}

bool TParseInfo::CodeLine(int line, const std::string& directive, TCorrectLog* log) {
  if (!StartsWith(directive, "//")) return false;
  for (const CodeName& entry : kCodes) {
    if (directive.compare(2, std::string::npos, entry.directive) == 0) {
      code_ = entry.code;
      const std::string name = CodeText(code_);
      log->AddData(line, 0, "", directive.c_str(), name.c_str(), "Kanji-Code accepted.");
      return true;
    }
  }
  return false;
}

void TParseInfo::FieldLine(int line, const char* raw, TCorrectLog* log) {
  const int item = FieldCount() + 1;
  if (FieldCount() == kMaxFields) {
    log->AddNote(line, item, "", raw, "", "Error! Too many fields. A catalog may define [%d] fields.",
                 kMaxFields);
    Refuse(Q7_CATALOG_PARSE_ERROR);
  }
  TFilterDscp params;
  const int count = params.DesolvePrms(line, raw, log);
  Field field;
  if (count <= 2) {
    if (params.SearchSKIP() == 0) {
      log->AddNote(line, item, "", raw, "", "Error! Failed to parse[%s]", raw);
      Refuse(Q7_CATALOG_PARSE_ERROR);
    }
    field.skip = 1;
    field.name = kSkippedName;
    log->AddNote(line, item, field.name.c_str(), "", "", "SKIP [%d]th item.", item);
  } else if (params.SearchSKIP() != 0) {
    field.skip = 1;
    field.name = params.Param(2);
    log->AddNote(line, item, field.name.c_str(), "", "", "SKIP [%d]th item. name[%s]", item,
                 field.name.c_str());
  } else {
    field.name = params.Param(2);
    field.type = static_cast<uint8_t>(TypeOfLetter(params.Param(0)));
    if (field.type == 0) {
      log->AddNote(line, item, field.name.c_str(), params.Param(0), "",
                   "ERROR! Undefined type identifier [%s] at [%d]th item. name[%s]", params.Param(0), item,
                   field.name.c_str());
      Refuse(Q7_CATALOG_PARSE_ERROR);
    }
    const std::string type_name = TypeText(field.type);
    if (field.type == Q7_TYPE_DECIMAL) {
      field.scale = kDefaultScale;
      field.mode = Q7_ROUND_HALF_UP;
      if (count > 3) {
        // A scale outside what a decimal column holds would make every value of the column wrong,
        // so the catalog is refused rather than imported with it.
        int err = 0;
        const int scale = Str2Int(params.Param(3), 1, &err);
        if (err != 0 || params.Param(3)[0] == '\0' || scale < 0 || scale > kMaxScale) {
          log->AddNote(line, item, field.name.c_str(), params.Param(3), "", "Error! Scale out of range[%s]",
                       params.Param(3));
          Refuse(Q7_CATALOG_PARSE_ERROR);
        }
        field.scale = scale;
        field.mode = CheckNumericRoundType(params.Param(4));
      }
      log->AddNote(line, item, field.name.c_str(), "", "",
                   "Filter Defined: Type[%s] Name[%s] Scale[%d] Round[%s]", type_name.c_str(),
                   field.name.c_str(), field.scale, getRoundTypeName(field.mode));
    } else {
      log->AddNote(line, item, field.name.c_str(), "", "", "Filter Defined: Type[%s] Name[%s]",
                   type_name.c_str(), field.name.c_str());
    }
  }
  fields_.push_back(std::move(field));
}

void TParseInfo::EndOfCatalog(int line, TCorrectLog* log) {
  unsigned char db_code = getSystemInfoDBCharCode();
  log->AddNote(line, 0, "", "", "", "Kanji check start. Current DB code[%s], Current table code[%s]",
               CodeText(db_code).c_str(), CodeText(code_).c_str());
  if (separators_.empty()) {
    log->AddData(line, 0, "", "", "", "NO separator defined");
    Refuse(Q7_CATALOG_PARSE_ERROR);
  }
  if (code_ == 0) {
    code_ = db_code;
    log->AddNote(line, 0, "", "", "", "Table code set to [%s]", CodeText(code_).c_str());
  }
  if (db_code == 0 && code_ != 0) {
    setDBCharCode(code_);
    db_code = code_;
    log->AddNote(line, 0, "", "", "", "DB code set to [%s]", CodeText(db_code).c_str());
  }
  TTableCollection* db = CSmpEngine::Instance()->Database();
  if (db == nullptr || db->TableCount() == 0) {
    if (code_ != 0 && code_ != db_code) setDBCharCode(code_);
    db_code = code_;
  } else if (code_ != db_code) {
    log->AddNote(line, 0, "", "", "", "Error! DB Code mismatch. DB[%s] File[%s]", CodeText(db_code).c_str(),
                 CodeText(code_).c_str());
    Refuse(Q7_CATALOG_PARSE_ERROR);
  }
  log->AddNote(line, 0, "", "", "", "DB Code check up. DB[%s] File[%s]", CodeText(db_code).c_str(),
               CodeText(code_).c_str());
}

void TParseInfo::MakeColumns() {
  int column = 0;
  for (Field& f : fields_) {
    if (f.skip != 0) continue;
    f.column = ++column;
    switch (f.type) {
      case Q7_TYPE_INTEGER:
        f.values = new TIntArray();
        break;
      case Q7_TYPE_STRING:
        f.values = new TStrArray();
        break;
      case Q7_TYPE_DECIMAL:
        f.values = new TNumericArray();
        break;
      default:
        f.values = new TDoubleArray();
        break;
    }
  }
}

// ---- Data pass ----

int TParseInfo::iReadData(const char* dataDir, const char* dataFile, TCorrectLog* log) {
  try {
    TIOBuf reader(dataDir, dataFile, separators_.data(), static_cast<int>(separators_.size()), log);
    reader.SkipMark(code_);
    if (cut_top_ && reader.CutTop() < 0) return Q7_CATALOG_PARSE_ERROR;
    if (!reader.IsDataExists()) return 0;
    const int fields = FieldCount();
    int line = 1;
    int item = 0;
    for (;;) {
      char state = 0;
      const char* cell = reader.getOneCell(&state);
      if (cell == nullptr) {
        log->AddData(line, 0, "", "", "", "ERROR. Data parsing aborted.");
        return Q7_CATALOG_PARSE_ERROR;
      }
      if (item >= fields) {
        log->AddNote(
            line, 0, "", cell, "",
            "ERROR. Too many items[%d] appeared. One line should have [%d] fields. This one is ignored.",
            fields + 1, fields);
      } else if (fields_[static_cast<size_t>(item)].skip == 0) {
        Store(fields_[static_cast<size_t>(item)], cell, line, log);
      }
      if (state != 0) {
        for (int k = item + 1; k < fields; ++k) {
          Field& f = fields_[static_cast<size_t>(k)];
          log->AddData(line, f.column, f.name.c_str(), "", "",
                       "ERROR. Too few items in one line. Filled by NULL.");
          if (f.skip == 0) StoreNull(f);
        }
      }
      if (state == 2) return 0;
      if (state == 1) {
        ++line;
        item = 0;
      } else {
        ++item;
      }
    }
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  } catch (...) {
    return Q7_CATALOG_PARSE_ERROR;
  }
}

void TParseInfo::Store(Field& field, const char* cell, int line, TCorrectLog* log) {
  if (field.type == Q7_TYPE_STRING) {
    field.values->AppendData(cell);
    return;
  }
  char* text = work_.data();
  ExcludeTabSpaceComma(cell, text, work_.size());
  int error = 0;
  switch (field.type) {
    case Q7_TYPE_INTEGER: {
      const int v = StrToInt(text, &error);
      field.values->AppendData(&v);
      break;
    }
    case Q7_TYPE_DECIMAL: {
      Numeric v = q7num::NanNumeric();
      if (text[0] != '\0') {
        const NumericInfo info{field.scale, field.mode};
        const char* end = nullptr;
        const int status = q7num::NumericStr2Num(text, &info, &v, &end);
        // Only a value read to its last character, and one that fits, is taken.
        if (status < 0 || status == Q7_NUMERIC_OVERFLOW_POSITIVE || status == Q7_NUMERIC_OVERFLOW_NEGATIVE ||
            end == nullptr || *end != '\0' || q7num::IsNan(v)) {
          v = q7num::NanNumeric();
          error = 1;
        }
      }
      field.values->AppendData(&v);
      break;
    }
    default: {
      double v;
      switch (field.type) {
        case Q7_TYPE_DOUBLE:
          v = StrToDouble(text, &error);
          break;
        case Q7_TYPE_DATE:
          v = StrToDate(text, &error);
          break;
        case Q7_TYPE_TIME:
          v = StrToTime(text, &error);
          break;
        default:
          v = StrToDateTime(text, &error);
          break;
      }
      field.values->AppendData(&v);
      break;
    }
  }
  if (error != 0) log->AddData(line, field.column, field.name.c_str(), cell, "", NullComment(field.type));
}

void TParseInfo::StoreNull(Field& field) {
  switch (field.type) {
    case Q7_TYPE_INTEGER: {
      const int v = Q7_NULL_INTEGER;
      field.values->AppendData(&v);
      break;
    }
    case Q7_TYPE_STRING:
      field.values->AppendData("");
      break;
    case Q7_TYPE_DECIMAL: {
      const Numeric v = q7num::NanNumeric();
      field.values->AppendData(&v);
      break;
    }
    default: {
      const double v = -HUGE_VAL;
      field.values->AppendData(&v);
      break;
    }
  }
}

// ---- The table ----

int TParseInfo::MakeTable(const char* tableName, TCorrectLog* log) {
  const char* table_name = OrEmpty(tableName);
  int rows = -1;
  for (const Field& f : fields_) {
    if (f.skip != 0) continue;
    if (rows >= 0 && f.values->FArraySize != rows) {
      log->AddData(0, 0, "", "", "", "ERROR! SYSTEM 100");
      return Q7_ERROR_INNER_ENGINE;
    }
    rows = f.values->FArraySize;
  }
  if (rows < 0) rows = 0;
  TTableCollection* db = CSmpEngine::Instance()->Database();
  if (db == nullptr) return Q7_ERROR_INNER_ENGINE;
  std::string name(table_name);
  int id;
  try {
    id = db->AddRealTable(name.data(), rows);
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  }
  if (id < 0) return id;
  const int loc = db->ID2Loc(id);
  TBaseTable* table = loc >= 0 ? db->TableAt(loc) : nullptr;
  if (table == nullptr || table->GetTableKind() != 0) {
    log->AddNote(0, 0, "", "", "", "ERROR! Failed to create table[%s].", table_name);
    return Q7_ERROR_INNER_ENGINE;
  }
  auto* real = static_cast<TRealTable*>(table);
  log->AddNote(0, 0, "", "", "", "Succeeded to create table[%s], which has [%d] records.", table_name, rows);
  try {
    for (Field& f : fields_) {
      if (f.skip != 0) continue;
      if (f.type == Q7_TYPE_STRING) static_cast<TStrArray*>(f.values)->ConvStr2Absolute();
      char filter_name[TFilter::kNameSize] = {};
      qz7_strlcpy(filter_name, f.name.c_str(), sizeof filter_name);
      std::unique_ptr<TBaseArray> values(f.values);
      f.values = nullptr;
      const int filter = real->AddFilter2(kAppendPosition, filter_name, f.type, rows, values->FUnitSize,
                                          values->FData, 0, -1);
      values.reset();
      if (filter < 1) {
        log->AddNote(0, f.column, f.name.c_str(), "", "", "ERROR! AddFilter2 failed[%s].", f.name.c_str());
        throw CQ7Exception(filter < 0 ? filter : Q7_ERROR_INNER_ENGINE);
      }
      // The values were read at the field's scale; the new list must say so, or every value would
      // read at the list's default scale.
      if (f.type == Q7_TYPE_DECIMAL) {
        TFilter* made = real->GetFilter(filter);
        if (made == nullptr) throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
        static_cast<TNumericArray*>(made->VL)->SetDecimalInfo(f.scale, f.mode);
      }
      log->AddNote(0, f.column, f.name.c_str(), "", "", "Succeeded to create item[%s], it's type is[%s]",
                   f.name.c_str(), TypeText(f.type).c_str());
    }
  } catch (const CQ7Exception& e) {
    db->DelTable(id);
    return e.ErrorCode();
  } catch (...) {
    db->DelTable(id);
    return Q7_ERROR_UNKNOWN;
  }
  return id;
}
