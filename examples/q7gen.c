/*
 * q7gen - writes the example sales table as a CSV file and the catalog that imports it.
 *
 *   q7gen directory [rows]    rows defaults to 3000000
 *
 * Writes directory/sales.csv and directory/sales.cat. A host imports them with
 * RQ7AddCatalogFileEx2(directory, "sales.cat", directory, "sales.csv", "sales").
 * Exit status: 0 on success, 1 when a file cannot be written, 2 for a bad argument.
 */
#include <stdio.h>
#include <stdlib.h>

#include "demo_data.h"

enum { kDefaultRows = 3000000, kMaxRows = 100000000 };

int main(int argc, char** argv) {
  long rows = kDefaultRows;
  char* end = NULL;
  if (argc == 3) rows = strtol(argv[2], &end, 10);
  if (argc < 2 || argc > 3 || (end != NULL && (end == argv[2] || *end != '\0')) || rows < 1 ||
      rows > kMaxRows) {
    fprintf(stderr, "usage: %s directory [rows]   (1 to %d rows, default %d)\n", argv[0], kMaxRows,
            kDefaultRows);
    return 2;
  }
  Data data;
  if (!make_data(&data, (int)rows)) {
    fprintf(stderr, "q7gen: out of memory\n");
    free_data(&data);
    return 1;
  }
  const int result = write_sales_csv(&data, argv[1], "sales.csv", "sales.cat");
  free_data(&data);
  if (result == 0) printf("q7gen: %ld rows in %s/sales.csv, catalog %s/sales.cat\n", rows, argv[1], argv[1]);
  return result == 0 ? 0 : 1;
}
