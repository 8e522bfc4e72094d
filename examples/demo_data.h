/*
 * The example programs' rows: a generated sales table that q7gen writes as a CSV file with its catalog
 * and that q7demo generates again (the same rows on every run) to check the engine's answers.
 */
#ifndef Q7_EXAMPLES_DEMO_DATA_H
#define Q7_EXAMPLES_DEMO_DATA_H

#include <math.h>
#include <stdint.h>

#include "q7api.h"

#define INT_NULL Q7_NULL_INTEGER
#define DECIMAL_NULL INT64_MIN /* host copy of the DECIMAL column: units, or this for NULL */
static const double kDoubleNull = -INFINITY;
enum { kAmountScale = 2, kNoCity = 255 };

/* Two city names need quotes in CSV: one holds a comma, one holds quotes. */
extern const char* const kCities[];
extern const int kCityCount;

typedef struct Data {
  int rows;
  int32_t* qty;        /* 0..999 */
  double* price;       /* 0.00..9999.99 */
  unsigned char* city; /* index into kCities, kNoCity for NULL (the empty text) */
  double* day;         /* date serials of 2015-01-01 .. 2024-12-31 */
  int64_t* amount;     /* hundredths, -500.00 .. 9999.99 */
} Data;

/* The engine's date serial: days since 1899-12-30, proleptic Gregorian calendar. */
double date_serial(int y, int m, int d);
void serial_to_date(double serial, int* y, int* m, int* d);
const char* city_text(unsigned char c);

/* Fills data with rows generated rows (some NULLs in every column); 0 when memory runs out. */
int make_data(Data* data, int rows);
void free_data(Data* data);

/* Writes dir/csv_name (a title line, then one line per row: qty,price,day,city,amount with empty fields
 * for NULLs, dates as yyyy/mm/dd, texts quoted where they need it) and dir/catalog_name, the catalog that
 * imports it. Returns 0 on success, else prints why and returns -1. */
int write_sales_csv(const Data* data, const char* dir, const char* csv_name, const char* catalog_name);

#endif
