/*
 * q7demo - a host program that drives the engine through its C interface (q7api.h) only.
 *
 *   q7demo [rows]          rows defaults to 3000000
 *
 * It generates rows (INTEGER, DOUBLE, STRING, DATE and DECIMAL columns with some NULLs and texts that
 * need quotes), writes them as a CSV file with its catalog (as q7gen does) and imports the file into a
 * table on all cores. Then it searches the table several ways, combines the result sets, sorts by one
 * and by several filters, reads rows back one at a time and in blocks, saves the database into a
 * temporary directory, clears it and loads it again. Each step prints the time it took. Every result
 * is checked against the host's own copy of the data, and the program ends with one deliberately
 * bad call and the error-ring entries it left.
 *
 * Exit status: 0 when every step gave the expected result, 1 otherwise, 2 for a bad argument.
 */
#define _XOPEN_SOURCE 700

#include <math.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "demo_data.h"
#include "q7api.h"

enum { kDefaultRows = 3000000, kMaxRows = 100000000 };

/* ---- Reporting ----------------------------------------------------------------------------------- */
static double now_ms(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (double)ts.tv_sec * 1e3 + (double)ts.tv_nsec / 1e6;
}

/* A step's time runs from step_begin to step_stop (or to step_end when it was not stopped), so that
 * the host's checks of a result are not counted as the engine's time. */
static double g_step_start, g_step_stop;
static void step_begin(void) { g_step_start = now_ms(), g_step_stop = 0; }
static void step_stop(void) { g_step_stop = now_ms(); }
static void step_end(const char* format, ...) __attribute__((format(printf, 1, 2)));
static void step_end(const char* format, ...) {
  const double elapsed = (g_step_stop != 0 ? g_step_stop : now_ms()) - g_step_start;
  va_list args;
  va_start(args, format);
  printf("%10.1f ms  ", elapsed);
  vprintf(format, args);
  printf("\n");
  va_end(args);
  fflush(stdout);
}

/* Prints the ring's entries (oldest first; nothing when out is null) and empties it; returns how many
 * there were. */
static int print_ring(FILE* out, const char* indent) {
  int n = 0, time_ms = 0, code = 0;
  char api[64], message[128];
  while (RQ7GetErrorLog(&time_ms, api, &code, message) == 1) {
    if (out == NULL) continue;
    fprintf(out, "%sring entry %d: %-24s code 0x%08X  \"%s\"  (at %d ms of processor time)\n", indent, ++n,
            api, (unsigned)code, message, time_ms);
  }
  return n;
}

/* A call that must succeed: on a negative result prints what failed and the ring, and gives 0. */
static int ok(int result, const char* call) {
  if (result >= 0) return 1;
  fprintf(stderr, "q7demo: %s failed with 0x%08X\n", call, (unsigned)result);
  print_ring(stderr, "  ");
  return 0;
}
/* A result the host checked: prints the mismatch and gives 0. */
static int expect(int good, const char* what) {
  if (!good) fprintf(stderr, "q7demo: unexpected result: %s\n", what);
  return good;
}

/* ---- Building the table -------------------------------------------------------------------------- */
typedef struct Filters {
  int qty, price, city, day, amount;
} Filters;

static int make_temp_dir(char* dir, size_t size) {
  const char* base = getenv("TMPDIR");
  snprintf(dir, size, "%s/q7demo-XXXXXX", base && base[0] ? base : "/tmp");
  return mkdtemp(dir) != NULL;
}

static int find_filter(int table, const char* name, int* filter) {
  *filter = RQ7GetFilterIDFromName(table, name);
  return ok(*filter, name);
}

/* Writes the rows as a CSV file with its catalog (what q7gen writes), imports the file into the new
 * table "sales" on all cores, and finds its filters by name. */
static int build_table(const Data* data, int* table, Filters* f) {
  char dir[Q7_PATH_BUFFER_SIZE], csv[Q7_PATH_BUFFER_SIZE + 16], catalog[Q7_PATH_BUFFER_SIZE + 16];
  if (!expect(make_temp_dir(dir, sizeof dir), "a temporary directory")) return 0;
  snprintf(csv, sizeof csv, "%s/sales.csv", dir);
  snprintf(catalog, sizeof catalog, "%s/sales.cat", dir);

  step_begin();
  int good =
      expect(write_sales_csv(data, dir, "sales.csv", "sales.cat") == 0, "the CSV file and its catalog");
  struct stat st;
  if (good) good = expect(stat(csv, &st) == 0, "the written CSV file");
  if (good)
    step_end("write %d rows as CSV with its catalog (%.1f MB)", data->rows, (double)st.st_size / 1048576.0);

  if (good) {
    step_begin();
    *table = RQ7AddCatalogFileEx2(dir, "sales.cat", dir, "sales.csv", "sales");
    step_stop();
    good = ok(*table, "RQ7AddCatalogFileEx2") &&
           expect(RQ7GetTotalRows(*table) == data->rows, "imported rows") &&
           find_filter(*table, "qty", &f->qty) && find_filter(*table, "price", &f->price) &&
           find_filter(*table, "day", &f->day) && find_filter(*table, "city", &f->city) &&
           find_filter(*table, "amount", &f->amount);
    if (good)
      step_end(
          "import it into table \"sales\" (%d): qty INTEGER, price DOUBLE, day DATE, city STRING, amount "
          "DECIMAL(%d)",
          *table, kAmountScale);
  }
  /* The import leaves its message log in the catalog's directory; nothing went wrong, so it is empty
   * or absent. */
  char log[Q7_PATH_BUFFER_SIZE + 32];
  snprintf(log, sizeof log, "%s/catalog_err_log.txt", dir);
  remove(log);
  remove(csv);
  remove(catalog);
  rmdir(dir);
  return good;
}

/* ---- Host-side predicates, one per search and set operation --------------------------------------- */
static double g_since_2020; /* date_serial(2020, 1, 1), set by main */

static int p_qty_100s(const Data* d, int i) { return d->qty[i] >= 100 && d->qty[i] <= 199; }
static int p_lisbon(const Data* d, int i) {
  return d->city[i] != kNoCity && strcmp(kCities[d->city[i]], "Lisbon") == 0;
}
static int p_since_2020(const Data* d, int i) {
  return d->day[i] != kDoubleNull && d->day[i] >= g_since_2020;
}
static int p_negative(const Data* d, int i) { return d->amount[i] != DECIMAL_NULL && d->amount[i] < 0; }
static int p_no_price(const Data* d, int i) { return d->price[i] == kDoubleNull; }
static int p_san(const Data* d, int i) { return strncmp(city_text(d->city[i]), "San", 3) == 0; }
static int p_lisbon_100s(const Data* d, int i) { return p_qty_100s(d, i) && p_lisbon(d, i); }
static int p_recent_or_negative(const Data* d, int i) { return p_since_2020(d, i) || p_negative(d, i); }
static int p_san_priced(const Data* d, int i) { return p_san(d, i) && !p_no_price(d, i); }
static int p_priced(const Data* d, int i) { return !p_no_price(d, i); }

typedef int (*Predicate)(const Data*, int);

static int count_rows(const Data* d, Predicate p) {
  int n = 0;
  for (int i = 0; i < d->rows; ++i) n += p(d, i);
  return n;
}

/* Reads a set's record numbers into a new block (*rows, owned by the caller); its size or a code. */
static int read_set(int table, int set, int** rows) {
  int count = 0, none = 0;
  *rows = NULL;
  const int size = RQ7GetSet(table, set, &count, 0, &none);
  if (size <= 0) return size;
  *rows = malloc(sizeof(int) * (size_t)size);
  if (*rows == NULL) return Q7_ERROR_OUT_OF_MEMORY;
  const int again = RQ7GetSet(table, set, &count, size, *rows);
  if (again < 0) {
    free(*rows);
    *rows = NULL;
  }
  return again;
}

/* The set holds exactly the records the predicate selects, each once. */
static int set_matches(const Data* d, int table, int set, Predicate p, int* size) {
  int* rows = NULL;
  *size = read_set(table, set, &rows);
  if (!ok(*size, "RQ7GetSet")) return 0;
  unsigned char* seen = calloc((size_t)d->rows + 1, 1);
  int good = seen != NULL && *size == count_rows(d, p);
  for (int k = 0; good && k < *size; ++k) {
    const int r = rows[k];
    good = r >= 1 && r <= d->rows && !seen[r] && p(d, r - 1);
    if (good) seen[r] = 1;
  }
  free(seen);
  free(rows);
  return good;
}

static uint64_t set_hash(int table, int set, int* size) {
  int* rows = NULL;
  *size = read_set(table, set, &rows);
  uint64_t h = 1469598103934665603u;
  for (int k = 0; k < *size; ++k) h = (h ^ (uint32_t)rows[k]) * 1099511628211u;
  free(rows);
  return h;
}

/* ---- Steps ------------------------------------------------------------------------------------------ */
enum { kSearches = 6, kCombined = 4, kSorted = 2, kSets = kSearches + kCombined + kSorted };
typedef struct Sets {
  int id[kSets];
  const char* what[kSets];
} Sets;

/* Ends a step that made a set: the set must hold exactly the rows p selects. */
static int set_step_end(const Data* d, int table, int set, Predicate p, const char* verb, const char* what) {
  if (!ok(set, what)) return 0;
  int size = 0;
  if (!expect(set_matches(d, table, set, p, &size), what)) return 0;
  step_end("%-7s %-38s -> set %3d, %9d rows", verb, what, set, size);
  return 1;
}

static int search_step(const Data* d, int table, int filter, int op, void* from, void* to, Predicate p,
                       const char* what, int* set) {
  step_begin();
  *set = RQ7SearchByField(table, filter, Q7_SET_ALL, op, from, to);
  step_stop();
  return set_step_end(d, table, *set, p, "search", what);
}

static int searches(const Data* d, int table, const Filters* f, Sets* s) {
  int32_t low = 100, high = 199;
  double since = g_since_2020;
  Numeric zero;
  RQ7NumericSetZero(&zero);
  char lisbon[] = "Lisbon", san[] = "San";
  s->what[0] = "qty between 100 and 199";
  s->what[1] = "city = \"Lisbon\"";
  s->what[2] = "day >= 2020-01-01 (NULLs excluded)";
  s->what[3] = "amount < 0.00";
  s->what[4] = "price IS NULL";
  s->what[5] = "city starts with \"San\"";
  return search_step(d, table, f->qty, Q7_SEARCH_BETWEEN, &low, &high, p_qty_100s, s->what[0], &s->id[0]) &&
         search_step(d, table, f->city, Q7_SEARCH_EQUAL, lisbon, NULL, p_lisbon, s->what[1], &s->id[1]) &&
         search_step(d, table, f->day, Q7_SEARCH_AT_LEAST | Q7_SEARCH_NULL_BOUND_EMPTY, &since, NULL,
                     p_since_2020, s->what[2], &s->id[2]) &&
         search_step(d, table, f->amount, Q7_SEARCH_LESS, &zero, NULL, p_negative, s->what[3], &s->id[3]) &&
         search_step(d, table, f->price, Q7_SEARCH_IS_NULL, NULL, NULL, p_no_price, s->what[4], &s->id[4]) &&
         search_step(d, table, f->city, Q7_SEARCH_STARTS_WITH, san, NULL, p_san, s->what[5], &s->id[5]);
}

static int combine_step(const Data* d, int table, int op, int a, int b, Predicate p, const char* what,
                        int* set) {
  step_begin();
  *set = op < 0 ? RQ7SetNotReal(table, a) : RQ7SetOpeReal(table, op, a, b);
  step_stop();
  return set_step_end(d, table, *set, p, "combine", what);
}

static int combinations(const Data* d, int table, Sets* s) {
  const int* id = s->id;
  s->what[6] = "qty 100s AND Lisbon";
  s->what[7] = "since 2020 OR negative amount";
  s->what[8] = "San... AND NOT price NULL";
  s->what[9] = "NOT price NULL";
  return combine_step(d, table, Q7_SET_AND, id[0], id[1], p_lisbon_100s, s->what[6], &s->id[6]) &&
         combine_step(d, table, Q7_SET_OR, id[2], id[3], p_recent_or_negative, s->what[7], &s->id[7]) &&
         combine_step(d, table, Q7_SET_AND_NOT, id[5], id[4], p_san_priced, s->what[8], &s->id[8]) &&
         combine_step(d, table, -1, id[4], 0, p_priced, s->what[9], &s->id[9]);
}

static int amount_cmp_desc(int64_t a, int64_t b) { /* NULL (INT64_MIN) is the smallest: last */
  return a == b ? 0 : (a > b ? -1 : 1);
}

/* The sorted set holds the source set's rows (set_matches) in the wanted order. */
static int check_price_desc(const Data* d, int table, int set) {
  int* rows = NULL;
  const int n = read_set(table, set, &rows);
  int good = n >= 0;
  for (int k = 1; good && k < n; ++k) good = d->price[rows[k - 1] - 1] >= d->price[rows[k] - 1];
  free(rows);
  return good;
}

/* rank[record] is the record's position in the source set: rows equal in every key keep that order. */
static int check_city_then_amount(const Data* d, int table, int set, const int* rank) {
  int* rows = NULL;
  const int n = read_set(table, set, &rows);
  int good = n >= 0;
  for (int k = 1; good && k < n; ++k) {
    const int a = rows[k - 1], b = rows[k];
    int c = strcmp(city_text(d->city[a - 1]), city_text(d->city[b - 1]));
    if (c == 0) c = amount_cmp_desc(d->amount[a - 1], d->amount[b - 1]);
    if (c == 0) c = rank[a] < rank[b] ? -1 : 1;
    good = c < 0;
  }
  free(rows);
  return good;
}

static int sorts(const Data* d, int table, const Filters* f, Sets* s) {
  int size = 0;
  step_begin();
  s->what[10] = "by price, descending";
  s->id[10] = RQ7SortByField(table, f->price, s->id[7], Q7_SORT_DESCENDING);
  step_stop();
  if (!ok(s->id[10], "RQ7SortByField") ||
      !expect(set_matches(d, table, s->id[10], p_recent_or_negative, &size) &&
                  check_price_desc(d, table, s->id[10]),
              s->what[10]))
    return 0;
  step_end("sort    set %-3d %-30s -> set %3d, %9d rows", s->id[7], s->what[10], s->id[10], size);

  int* source = NULL;
  const int n = read_set(table, s->id[0], &source);
  int* rank = calloc((size_t)d->rows + 1, sizeof(int));
  int good = ok(n, "RQ7GetSet") && expect(rank != NULL, "host memory for the ranks");
  for (int k = 0; good && k < n; ++k) rank[source[k]] = k;
  free(source);
  /* The last filter of the list is the first key. */
  int keys[] = {f->amount, f->city, 0};
  int dirs[] = {Q7_SORT_DESCENDING, Q7_SORT_ASCENDING, Q7_SORT_ASCENDING};
  step_begin();
  s->what[11] = "by city, then amount desc.";
  if (good) {
    s->id[11] = RQ7IntegratedSortByField(table, s->id[0], keys, dirs);
    step_stop();
    good = ok(s->id[11], "RQ7IntegratedSortByField") &&
           expect(set_matches(d, table, s->id[11], p_qty_100s, &size) &&
                      check_city_then_amount(d, table, s->id[11], rank),
                  s->what[11]);
  }
  free(rank);
  if (good) step_end("sort    set %-3d %-30s -> set %3d, %9d rows", s->id[0], s->what[11], s->id[11], size);
  return good;
}

/* Copies text into out (size bytes), cut when it does not fit. */
static void copy_text(char* out, size_t size, const char* text) {
  size_t n = strlen(text);
  if (n >= size) n = size - 1;
  memcpy(out, text, n);
  out[n] = '\0';
}

/* One value of a row, formatted, and whether it is the host's value. */
static int format_value(const Data* d, int table, int filter, int set, int pos, int record, char* out,
                        size_t size) {
  int type = 0;
  union {
    int32_t i;
    double x;
    char text[Q7_TEXT_BUFFER_SIZE];
    struct {
      NumericInfo info;
      Numeric value;
    } decimal;
  } v;
  memset(&v, 0, sizeof v);
  if (!ok(RQ7GetData1(table, filter, set, pos, &type, &v), "RQ7GetData1")) return 0;
  const int i = record - 1;
  switch (type) {
    case Q7_TYPE_INTEGER:
      if (v.i == INT_NULL)
        snprintf(out, size, "NULL");
      else
        snprintf(out, size, "%d", v.i);
      return v.i == d->qty[i];
    case Q7_TYPE_DOUBLE:
      if (v.x == kDoubleNull)
        snprintf(out, size, "NULL");
      else
        snprintf(out, size, "%.2f", v.x);
      return v.x == d->price[i];
    case Q7_TYPE_DATE:
      if (v.x == kDoubleNull) {
        snprintf(out, size, "NULL");
      } else {
        int y, m, dd;
        serial_to_date(v.x, &y, &m, &dd);
        snprintf(out, size, "%04d-%02d-%02d", y, m, dd);
      }
      return v.x == d->day[i];
    case Q7_TYPE_STRING:
      copy_text(out, size, v.text[0] ? v.text : "NULL");
      return strcmp(v.text, city_text(d->city[i])) == 0;
    case Q7_TYPE_DECIMAL: {
      if (RQ7NumericNum2Str(&v.decimal.value, &v.decimal.info, 0, v.decimal.info.scale, out, size) < 0)
        snprintf(out, size, "?");
      const int is_null = RQ7NumericIsNan(&v.decimal.value);
      if (is_null) snprintf(out, size, "NULL");
      return is_null ? d->amount[i] == DECIMAL_NULL
                     : v.decimal.info.scale == kAmountScale && (int64_t)v.decimal.value.low == d->amount[i];
    }
    default:
      return 0;
  }
}

static int read_rows(const Data* d, int table, const Filters* f, const Sets* s) {
  const int set = s->id[11];
  step_begin();
  const int n_set = RQ7GetSetSize(table, set);
  if (!ok(n_set, "RQ7GetSetSize")) return 0;
  const int positions[5] = {1, 2, n_set / 3, 2 * n_set / 3, n_set};
  printf("  rows of set %d (%s), %d rows:\n", set, s->what[11], n_set);
  printf("    %9s %9s %5s %10s %-10s %-12s %10s\n", "position", "record", "qty", "price", "day", "city",
         "amount");
  int good = 1;
  for (int k = 0; k < 5; ++k) {
    const int pos = positions[k];
    if (pos < 1 || pos > n_set || (k > 0 && pos <= positions[k - 1])) continue; /* few rows */
    int record = 0;
    if (!ok(RQ7GetRowNo1(table, set, pos, &record), "RQ7GetRowNo1")) return 0;
    char qty[32], price[32], day[32], city[64], amount[64];
    good = good && format_value(d, table, f->qty, set, pos, record, qty, sizeof qty) &&
           format_value(d, table, f->price, set, pos, record, price, sizeof price) &&
           format_value(d, table, f->day, set, pos, record, day, sizeof day) &&
           format_value(d, table, f->city, set, pos, record, city, sizeof city) &&
           format_value(d, table, f->amount, set, pos, record, amount, sizeof amount);
    if (!good) break;
    printf("    %9d %9d %5s %10s %-10s %-12s %10s\n", pos, record, qty, price, day, city, amount);
  }
  if (!expect(good, "values read one by one")) return 0;
  step_end("read rows value by value");

  /* Blocks of up to 128 rows: the prices of the sorted set, and its cities with their texts packed. */
  const int sorted = s->id[10];
  int* rows = NULL;
  const int n = read_set(table, sorted, &rows);
  if (!ok(n, "RQ7GetSet")) return 0;
  step_begin();
  long values = 0;
  for (int first = 1; good && first <= n;) {
    int type = 0, count = 0;
    double block[128];
    char unused[Q7_TEXT_BUFFER_SIZE];
    if (!ok(RQ7GetData1M(table, f->price, sorted, first, &type, &count, block, unused), "RQ7GetData1M")) {
      good = 0;
      break;
    }
    good = type == Q7_TYPE_DOUBLE && count >= 1 && count <= 128 && first - 1 + count <= n;
    for (int k = 0; good && k < count; ++k) good = block[k] == d->price[rows[first - 1 + k] - 1];
    first += count;
    values += count;
  }
  for (int first = 1; good && first <= n && first <= 128 * 100;) {
    int type = 0, count = 0;
    int32_t offsets[256];
    char texts[Q7_TEXT_BUFFER_SIZE];
    if (!ok(RQ7GetData1M(table, f->city, sorted, first, &type, &count, offsets, texts), "RQ7GetData1M")) {
      good = 0;
      break;
    }
    good = type == Q7_TYPE_STRING && count >= 1 && count <= 128;
    for (int k = 0; good && k < count; ++k)
      good = offsets[k] >= 0 && offsets[k] < Q7_TEXT_BUFFER_SIZE &&
             strcmp(texts + offsets[k], city_text(d->city[rows[first - 1 + k] - 1])) == 0;
    first += count;
    values += count;
  }
  free(rows);
  if (!expect(good, "values read in blocks")) return 0;
  step_end("read %ld values in blocks of up to 128 rows", values);
  return 1;
}

static int save_clear_load(const Data* d, int* table, Filters* f, const Sets* s) {
  char dir[Q7_PATH_BUFFER_SIZE], file[Q7_PATH_BUFFER_SIZE + 88];
  if (!expect(make_temp_dir(dir, sizeof dir), "a temporary directory")) return 0;
  snprintf(file, sizeof file, "%s/q7demo.Q7D", dir);

  uint64_t before[kSets];
  int sizes[kSets];
  for (int k = 0; k < kSets; ++k) before[k] = set_hash(*table, s->id[k], &sizes[k]);

  int good = 1;
  step_begin();
  good = ok(RQ7SaveDBAs(dir, "q7demo"), "RQ7SaveDBAs");
  step_stop();
  struct stat st;
  if (good) good = expect(stat(file, &st) == 0, "the saved database file");
  if (good) step_end("save database to %s (%.1f MB)", file, (double)st.st_size / 1048576.0);

  if (good) {
    step_begin();
    good = ok(RQ7ClearDB(), "RQ7ClearDB") && expect(RQ7GetNTable() == 0, "no table after RQ7ClearDB");
    if (good) step_end("clear database (%d tables left)", RQ7GetNTable());
  }

  if (good) {
    step_begin();
    good = ok(RQ7LoadDB(dir, "q7demo"), "RQ7LoadDB");
    step_stop();
    if (good) {
      *table = RQ7GetTableIDFromName("sales");
      good = ok(*table, "RQ7GetTableIDFromName");
    }
    if (good)
      step_end("load database: table %d, %d rows, %d sets", *table, RQ7GetTotalRows(*table),
               RQ7GetNSet(*table));
  }

  /* The loaded database holds the same rows and the same sets under the same IDs. */
  if (good) {
    step_begin();
    good = expect(RQ7GetTotalRows(*table) == d->rows, "row count after loading");
    for (int k = 0; good && k < kSets; ++k) {
      int size = 0;
      good = expect(set_hash(*table, s->id[k], &size) == before[k] && size == sizes[k], s->what[k]);
    }
    f->city = RQ7GetFilterIDFromName(*table, "city");
    good = good && ok(f->city, "RQ7GetFilterIDFromName");
    char lisbon[] = "Lisbon";
    int again = good ? RQ7SearchByField(*table, f->city, Q7_SET_ALL, Q7_SEARCH_EQUAL, lisbon, NULL) : -1;
    step_stop();
    int size = 0;
    good = good && ok(again, "RQ7SearchByField") &&
           expect(set_matches(d, *table, again, p_lisbon, &size), "search on the loaded table");
    if (good) step_end("check loaded database: %d sets as saved, search again -> %d rows", kSets, size);
  }

  remove(file);
  rmdir(dir);
  return good;
}

static int bad_call(int table) {
  print_ring(NULL, ""); /* start from an empty ring */
  const int result = RQ7SetOpeReal(table, Q7_SET_AND, 99999, Q7_SET_ALL);
  printf("  deliberately bad call: RQ7SetOpeReal(%d, AND, set 99999, set 1) returned 0x%08X\n", table,
         (unsigned)result);
  const int entries = print_ring(stdout, "    ");
  return expect(result < 0, "the bad call fails") && expect(entries > 0, "the bad call leaves ring entries");
}

int main(int argc, char** argv) {
  long rows = kDefaultRows;
  char* end = NULL;
  if (argc == 2) rows = strtol(argv[1], &end, 10);
  if (argc > 2 || (end != NULL && (end == argv[1] || *end != '\0')) || rows < 1 || rows > kMaxRows) {
    fprintf(stderr, "usage: %s [rows]   (1 to %d rows, default %d)\n", argv[0], kMaxRows, kDefaultRows);
    return 2;
  }

  int versions[4] = {0};
  char copyright[512] = "";
  _TREnvironment env;
  if (!ok(RQ7GetVersion(versions, copyright), "RQ7GetVersion") ||
      !ok(RQ7GetEnvironment(&env), "RQ7GetEnvironment"))
    return 1;
  printf("q7demo: engine version 0x%08X %d.%d (%d), %d processors, %ld rows\n", (unsigned)versions[0],
         versions[1], versions[2], versions[3], env.processors, rows);

  Data data;
  g_since_2020 = date_serial(2020, 1, 1);
  step_begin();
  if (!expect(make_data(&data, (int)rows), "host memory for the data")) {
    free_data(&data);
    return 1;
  }
  step_end("generate %ld rows in host memory", rows);

  int table = 0;
  Filters f;
  Sets s;
  memset(&s, 0, sizeof s);
  int good = build_table(&data, &table, &f);
  good = good && searches(&data, table, &f, &s) && combinations(&data, table, &s) &&
         sorts(&data, table, &f, &s) && read_rows(&data, table, &f, &s) &&
         save_clear_load(&data, &table, &f, &s) && bad_call(table);

  step_begin();
  const int cleared = RQ7ClearDB();
  if (good) step_end("clear database");
  free_data(&data);
  good = good && ok(cleared, "RQ7ClearDB");
  printf("q7demo: %s\n", good ? "every step gave the expected result" : "FAILED");
  return good ? 0 : 1;
}
