// Copying one row's value of a filter, wherever it lies, into the caller's buffer by type.
#include "database/CellValue.h"

#include <cstring>

#include "q7api.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"

int CopyCellValue(int type, const ValueAt& at, void* out, int limit) {
  switch (type) {
    case Q7_TYPE_INTEGER: {
      const int v = static_cast<TIntArray*>(at.list)->PIntAr()[at.index];
      memcpy(out, &v, 4);
      return 4;
    }
    case Q7_TYPE_DECIMAL: {
      Numeric v;
      static_cast<TNumericArray*>(at.list)->GetDecimal(at.index, &v);
      memcpy(out, &v, 16);
      return 16;
    }
    case Q7_TYPE_STRING: {
      const char* text = static_cast<TStrArray*>(at.list)->GetPChar(at.index);
      const size_t len = strnlen(text, static_cast<size_t>(limit));
      memcpy(out, text, len);
      static_cast<char*>(out)[len] = '\0';
      return static_cast<int>(len);
    }
    default: {
      const double v = static_cast<TDoubleArray*>(at.list)->GetDouble(at.index);
      memcpy(out, &v, 8);
      return 8;
    }
  }
}
