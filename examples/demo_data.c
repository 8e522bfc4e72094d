#define _XOPEN_SOURCE 700

#include "demo_data.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

const char* const kCities[] = {
    "Amsterdam", "Athens",    "Bangkok",  "Barcelona",    "Berlin",
    "Bogota",    "Boston",    "Cairo",    "Chicago",      "Denver",
    "Dublin",    "Hamburg",   "Helsinki", "Houston",      "Kyoto",
    "Lima",      "Lisbon",    "London",   "Lyon",         "Madrid",
    "Manila",    "Milan",     "Munich",   "Nairobi",      "Osaka",
    "Oslo",      "Paris",     "Porto",    "Prague",       "Quito",
    "Rome",      "San Diego", "San Jose", "Santiago",     "Santos",
    "Seattle",   "Seoul",     "Sydney",   "Tokyo",        "Toronto",
    "Vienna",    "Warsaw",    "Zurich",   "Paris, Texas", "The \"Big Apple\"",
};
const int kCityCount = (int)(sizeof kCities / sizeof kCities[0]);

static uint64_t g_seed = 0x9E3779B97F4A7C15u;
static uint64_t next_random(void) { /* splitmix64: the same rows on every run */
  uint64_t z = (g_seed += 0x9E3779B97F4A7C15u);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return z ^ (z >> 31);
}
static int one_in(int n) { return next_random() % (uint64_t)n == 0; }

double date_serial(int y, int m, int d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153L * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return (double)(era * 146097 + doe - 719468 + 25569);
}

void serial_to_date(double serial, int* y, int* m, int* d) {
  const long z = (long)serial - 25569 + 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const long doe = z - era * 146097;
  const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long mp = (5 * doy + 2) / 153;
  *d = (int)(doy - (153 * mp + 2) / 5 + 1);
  *m = (int)(mp < 10 ? mp + 3 : mp - 9);
  *y = (int)(yoe + era * 400 + (*m <= 2));
}

const char* city_text(unsigned char c) { return c == kNoCity ? "" : kCities[c]; }

int make_data(Data* data, int rows) {
  memset(data, 0, sizeof *data);
  g_seed = 0x9E3779B97F4A7C15u;
  data->rows = rows;
  data->qty = malloc(sizeof(int32_t) * (size_t)rows);
  data->price = malloc(sizeof(double) * (size_t)rows);
  data->city = malloc((size_t)rows);
  data->day = malloc(sizeof(double) * (size_t)rows);
  data->amount = malloc(sizeof(int64_t) * (size_t)rows);
  if (!data->qty || !data->price || !data->city || !data->day || !data->amount) return 0;
  const double first_day = date_serial(2015, 1, 1);
  const double days = date_serial(2025, 1, 1) - first_day;
  for (int i = 0; i < rows; ++i) {
    data->qty[i] = one_in(50) ? INT_NULL : (int32_t)(next_random() % 1000);
    data->price[i] = one_in(100) ? kDoubleNull : (double)(next_random() % 1000000) / 100.0;
    data->city[i] = one_in(33) ? kNoCity : (unsigned char)(next_random() % (uint64_t)kCityCount);
    data->day[i] = one_in(100) ? kDoubleNull : first_day + (double)(next_random() % (uint64_t)days);
    data->amount[i] = one_in(100) ? DECIMAL_NULL : (int64_t)(next_random() % 1050000) - 50000;
  }
  return 1;
}

void free_data(Data* data) {
  free(data->qty);
  free(data->price);
  free(data->city);
  free(data->day);
  free(data->amount);
}

/* A text field: quoted, with its quotes doubled, when it holds a comma, a quote or a line end. */
static void put_text(FILE* out, const char* text) {
  if (strpbrk(text, ",\"\r\n") == NULL) {
    fputs(text, out);
    return;
  }
  fputc('"', out);
  for (const char* p = text; *p; ++p) {
    if (*p == '"') fputc('"', out);
    fputc(*p, out);
  }
  fputc('"', out);
}

static int write_rows(const Data* data, FILE* out) {
  fputs("qty,price,day,city,amount\n", out);
  for (int i = 0; i < data->rows; ++i) {
    if (data->qty[i] != INT_NULL) fprintf(out, "%d", data->qty[i]);
    fputc(',', out);
    if (data->price[i] != kDoubleNull) fprintf(out, "%.2f", data->price[i]);
    fputc(',', out);
    if (data->day[i] != kDoubleNull) {
      int y, m, d;
      serial_to_date(data->day[i], &y, &m, &d);
      fprintf(out, "%04d/%02d/%02d", y, m, d);
    }
    fputc(',', out);
    put_text(out, city_text(data->city[i]));
    fputc(',', out);
    const int64_t a = data->amount[i];
    if (a != DECIMAL_NULL) fprintf(out, "%s%lld.%02lld", a < 0 ? "-" : "", llabs(a) / 100, llabs(a) % 100);
    fputc('\n', out);
  }
  return ferror(out) ? -1 : 0;
}

/* Field lines: type letter, width, name and the type's parameters, tab-separated. */
static const char kCatalog[] =
    "//CSV\n"
    "//CUTTOP\n"
    "//ERROR\tSTOP\n"
    "I\t10\tqty\n"
    "F\t12\tprice\n"
    "D\t10\tday\n"
    "A\t40\tcity\n"
    "N\t12\tamount\t2\tROUNDHALFUP\n";

static int write_file(const char* dir, const char* name, const Data* data) {
  char path[4096];
  snprintf(path, sizeof path, "%s/%s", dir, name);
  FILE* out = fopen(path, "w");
  if (out == NULL) {
    fprintf(stderr, "cannot write %s: %s\n", path, strerror(errno));
    return -1;
  }
  int result = data != NULL ? write_rows(data, out) : (fputs(kCatalog, out) < 0 ? -1 : 0);
  if (fclose(out) != 0) result = -1;
  if (result != 0) fprintf(stderr, "cannot write %s: %s\n", path, strerror(errno));
  return result;
}

int write_sales_csv(const Data* data, const char* dir, const char* csv_name, const char* catalog_name) {
  return write_file(dir, csv_name, data) == 0 && write_file(dir, catalog_name, NULL) == 0 ? 0 : -1;
}
