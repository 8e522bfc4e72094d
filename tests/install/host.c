/* A host written from the installed header alone: it must compile, link and run against the
 * installed library, found either through pkg-config or through find_package. */
#include <q7api.h>
#include <stdio.h>

int main(void) {
  int versions[4] = {0};
  if (RQ7GetVersion(versions, NULL) != 0) return 1;
  const int table = RQ7AddRealTable("installed", 3);
  if (table <= 0) return 2;
  int values[3] = {30, 10, 20};
  const int filter = Q7AddRealFilter2(table, 1024, "n", Q7_TYPE_INTEGER, 3, 4, values);
  if (filter <= 0) return 3;
  printf("engine %#x: table %d, filter %d\n", (unsigned)versions[0], table, filter);
  return RQ7ClearDB() == 0 ? 0 : 4;
}
