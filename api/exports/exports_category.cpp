// Exported categorising: a new filter of category values over a real table's column.
#include "api/exports/keep_sharp_names.h"
#include "api/frame/frame.h"
#include "api/ops/ops_category.h"
#include "q7api.h"

Q7_EXPORT int RQ7AddCategoryReal(int table, int target_filter, int category_table) {
  return CheckedFrame("RQ7AddCategoryReal", [&] {
    // The new filter's name is seeded from the category table's; a "_#" part in it is kept.
    KeepSharpNames keep;
    return innerQ7AddCategoryReal(table, target_filter, category_table);
  });
}
Q7_EXPORT int Q7AddCategoryReal(int table, int target_filter, int category_table) {
  return PlainFrame([&] { return innerQ7AddCategoryReal(table, target_filter, category_table); });
}
