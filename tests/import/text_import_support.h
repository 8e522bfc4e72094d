// Shared by the line-parser and parallel-import tests: a scratch directory that is the working
// directory for the test (the catalog message log lands there), catalogs read from text, and the
// rows of a parser's field buffers or of a table rendered as text, so that the two can be compared.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CErrorLog.h"
#include "foundation/CSmpEngine.h"
#include "import/CCatalogParser.h"
#include "import/CField.h"
#include "import/CTextParser.h"
#include "tests/support/test_support.h"
#include "values/TBaseArray.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"

namespace q7import_test {

using Rows = std::vector<std::vector<std::string>>;

// Entry `index` of a value list as text; NULL as "<null>".
inline std::string ValueText(TBaseArray* list, int index) {
  // Every list holds NULL at index 0; a text's NULL is the empty text.
  if (index == 0) return list->GetDataType() == 6 ? "" : "<null>";
  char text[96];
  switch (list->GetDataType()) {
    case 2:
      std::snprintf(text, sizeof text, "%d", static_cast<int*>(list->FData)[index]);
      return text;
    case 3:
      std::snprintf(text, sizeof text, "%.17g", static_cast<double*>(list->FData)[index]);
      return text;
    case 6:
      return static_cast<const char*>(list->GetAddress(index));
    case 8: {
      const Numeric& v = static_cast<Numeric*>(list->FData)[index];
      NumericInfo info;
      static_cast<TNumericArray*>(list)->GetDecimalInfo(&info);
      std::snprintf(text, sizeof text, "%llx:%llx/%d", static_cast<unsigned long long>(v.high),
                    static_cast<unsigned long long>(v.low), info.scale);
      return text;
    }
    default:
      return "<?>";
  }
}

// Rows of compiled columns: numbers[r + 1] indexes list for row r.
inline void AddColumn(Rows* rows, TIntArray* numbers, TBaseArray* list, int count) {
  if (rows->size() < static_cast<size_t>(count)) rows->resize(static_cast<size_t>(count));
  for (int r = 0; r < count; ++r)
    rows->at(static_cast<size_t>(r)).push_back(ValueText(list, numbers->PIntAr()[r + 1]));
}

// The rows a line-mode parse left in the parser's field buffers (compiles them).
inline Rows ParserRows(CTextParser& parser) {
  Rows rows;
  for (int f = 0; f < parser.getFieldItemCount(); ++f) {
    CField* field = parser.getFieldItem(f);
    const int count = field->getRowCount();
    EXPECT_EQ(field->Compile(), 0);
    AddColumn(&rows, field->getCompiledVNo(), field->getCompiledList(), count);
  }
  return rows;
}

inline TRealTable* RealTable(int id) {
  TTableCollection* tables = CSmpEngine::Instance()->Database();
  TBaseTable* base = tables == nullptr ? nullptr : tables->GetTable(id);
  return (base == nullptr || base->GetTableKind() != 0) ? nullptr : static_cast<TRealTable*>(base);
}

// The records of a real table in record order, one text per filter in display order.
inline Rows TableRows(int id) {
  Rows rows;
  TRealTable* table = RealTable(id);
  if (table == nullptr) {
    ADD_FAILURE() << "no table " << id;
    return rows;
  }
  int ids[TRealTable::kMaxFilters + 1];
  const int filters = table->GetFilterIDList(ids);
  rows.resize(static_cast<size_t>(table->TotalRecs()));
  for (int f = 0; f < filters; ++f) {
    TFilter* filter = table->GetFilter(ids[f]);
    AddColumn(&rows, filter->PV, filter->VL, table->TotalRecs());
  }
  return rows;
}

inline std::string Join(const std::vector<std::string>& row) {
  std::string out;
  for (size_t i = 0; i < row.size(); ++i) out += (i ? "|" : "") + row[i];
  return out;
}

// The report lines of a catalog message log (the banner and blank lines left out).
inline std::vector<std::string> ReportLines(const std::string& log) {
  std::vector<std::string> out;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);) {
    if (line.find("DATA") == 0 || line.find("FILTER") == 0 || line.find("ITEM") == 0 ||
        line.find("OUT_OF") == 0)
      out.push_back(line);
  }
  return out;
}

// Each test runs in a scratch directory of its own, the working directory meanwhile.
class ImportDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char cwd[PATH_MAX];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    cwd_ = cwd;
    ASSERT_EQ(chdir(dir_.Dir().c_str()), 0);
  }
  void TearDown() override {
    ASSERT_EQ(chdir(cwd_.c_str()), 0);
    LOGOBJ->setFileName("catalog_err_log.txt");
  }

  // A fresh catalog parser (multi = 1: the parallel road) over the catalog text; readInfo must
  // succeed. init() starts a new message log in the scratch directory.
  CCatalogParser* Catalog(const std::string& text, int multi = 0) {
    const std::string path = dir_.Write("cat.txt", text);
    catalog_ = std::make_unique<CCatalogParser>(multi);
    catalog_->init();
    std::vector<char> name(path.begin(), path.end());
    name.push_back('\0');
    EXPECT_GT(catalog_->readInfo(name.data()), 0) << text;
    return catalog_.get();
  }
  std::string Log() { return q7test::ReadAll(dir_.File("catalog_err_log.txt")); }

  q7test::TempDir dir_;
  std::string cwd_;
  std::unique_ptr<CCatalogParser> catalog_;
};

}  // namespace q7import_test
