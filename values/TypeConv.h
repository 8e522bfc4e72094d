// Conversion of a value list into another value type, entry by entry.
//
// When a column is duplicated into another type only its value list is converted (each distinct
// value once); the caller then compiles the converted entries (values/CCompiler.h) and maps the
// rows through. Entry k of the destination is the conversion of source entry k; the destination is
// neither sorted nor free of duplicates. Entry 0 (NULL) is never converted: the destination's entry
// 0 is the target's NULL (0x80000000, minus infinity, the empty text, the decimal NaN).
//
// Sources: TIntArray (INTEGER), TDoubleArray (DOUBLE, DATE, TIME, DATETIME: the function name says
// which), TStrArray (STRING) or TNumericArray (DECIMAL, with its own scale and rounding mode).
// Destinations, with room for as many entries as the source has (or `to`):
//   INTEGER   an int buffer;  DOUBLE, DATE, TIME, DATETIME  a double buffer;
//   DECIMAL   a TNumericArray whose scale and rounding mode are the target's (its count must cover
//             the entries written);
//   STRING    an array of text pointers and a character area of count x TypeConvTextWidth(source
//             type) bytes; the pointers point into the area. The whole-list forms pack the texts
//             one after another (entry 0 the empty text at the area's start), except DECIMAL texts,
//             which take fixed slots of 50 bytes (entry k at area + 50 k); the range forms put entry
//             k at area + k x TypeConvTextWidth(source type).
//
// Forms: the whole-list form `xVL2yVL(src, dst)` converts entries 1..count-1 and sets entry 0; the
// range form `xVL2yVLConv(src, dst, from, to)` converts entries from..to-1 (entry 0 set to NULL when
// from is 0). Both give the same values. A range outside 0..count of the source, or a DECIMAL
// destination too short for it, throws Q7_ERROR_INDEX_OUT_OF_RANGE before anything is written.
//
// Single entries that cannot be converted (an invalid date, a text that is no number) become the
// target's NULL or the empty text; only an allocation failure (Q7_ERROR_OUT_OF_MEMORY) ends a
// conversion. The source list is never written: STRING to DECIMAL drops the grouping commas from a
// copy of each text.
//
// Thread safety: a range form writes only the destination entries of its range (and their text
// slots), so ranges of one conversion may run on different threads at once. Numbers are read and
// written with '.' as the decimal point whatever locale the host has set.
#pragma once

class TBaseArray;
class TIntArray;
class TDoubleArray;
class TStrArray;
class TNumericArray;

// Bytes of one text slot when converting a list of this value type to STRING: 20 for INTEGER,
// DATE, TIME and DATETIME, 320 for DOUBLE, 50 for DECIMAL; 0 for any other code.
int TypeConvTextWidth(int srcType);

// Converts entries 0..n-1 of src (of value type srcType) to dstType on the worker pool (task 18,
// "Q7_MPP_TYPECONV"), each worker taking one range of the range forms. dst is the destination
// buffer (the pointer array for STRING, unused for DECIMAL), area the text area for STRING (range
// layout), decDst the destination for DECIMAL. A pair outside the table (a type outside 2..8, or
// equal types other than DECIMAL) converts nothing. Throws Q7_ERROR_INVALID_PARAMETER for n beyond
// the source, a missing destination, or a source whose class does not fit srcType; otherwise the
// first failing worker's code. Call only from the thread that drives the pool.
void DoTypeConv(int n, int srcType, int dstType, TBaseArray* src, void* dst, char* area,
                TNumericArray* decDst);

// Task 18: the worker's range of the conversion described in its parameter block. Returns 0, or the
// code of a failure.
int mpp_type_conversion(void* param);

// ---- to INTEGER ----
void dblVL2intVL(TDoubleArray* src, int* dst);
void dblVL2intVLConv(TDoubleArray* src, int* dst, int from, int to);
void dateVL2intVL(TDoubleArray* src, int* dst);
void dateVL2intVLConv(TDoubleArray* src, int* dst, int from, int to);
void timeVL2intVL(TDoubleArray* src, int* dst);
void timeVL2intVLConv(TDoubleArray* src, int* dst, int from, int to);
void datetimeVL2intVL(TDoubleArray* src, int* dst);
void datetimeVL2intVLConv(TDoubleArray* src, int* dst, int from, int to);
void strVL2intVL(TStrArray* src, int* dst);
void strVL2intVLConv(TStrArray* src, int* dst, int from, int to);
void decVL2intVL(TNumericArray* src, int* dst);
void decVL2intVLConv(TNumericArray* src, int* dst, int from, int to);

// ---- to DOUBLE ----
void intVL2dblVL(TIntArray* src, double* dst);
void intVL2dblVLConv(TIntArray* src, double* dst, int from, int to);
void dateVL2dblVL(TDoubleArray* src, double* dst);
void dateVL2dblVLConv(TDoubleArray* src, double* dst, int from, int to);
void timeVL2dblVL(TDoubleArray* src, double* dst);
void timeVL2dblVLConv(TDoubleArray* src, double* dst, int from, int to);
void datetimeVL2dblVL(TDoubleArray* src, double* dst);
void datetimeVL2dblVLConv(TDoubleArray* src, double* dst, int from, int to);
void strVL2dblVL(TStrArray* src, double* dst);
void strVL2dblVLConv(TStrArray* src, double* dst, int from, int to);
void decVL2dblVL(TNumericArray* src, double* dst);
void decVL2dblVLConv(TNumericArray* src, double* dst, int from, int to);

// ---- to DATE ----
void intVL2dateVL(TIntArray* src, double* dst);
void intVL2dateVLConv(TIntArray* src, double* dst, int from, int to);
void doubleVL2dateVL(TDoubleArray* src, double* dst);
void doubleVL2dateVLConv(TDoubleArray* src, double* dst, int from, int to);
void timeVL2dateVL(TDoubleArray* src, double* dst);
void timeVL2dateVLConv(TDoubleArray* src, double* dst, int from, int to);
void datetimeVL2dateVL(TDoubleArray* src, double* dst);
void datetimeVL2dateVLConv(TDoubleArray* src, double* dst, int from, int to);
void strVL2dateVL(TStrArray* src, double* dst);
void strVL2dateVLConv(TStrArray* src, double* dst, int from, int to);
void decVL2dateVL(TNumericArray* src, double* dst);
void decVL2dateVLConv(TNumericArray* src, double* dst, int from, int to);

// ---- to TIME ----
void intVL2timeVL(TIntArray* src, double* dst);
void intVL2timeVLConv(TIntArray* src, double* dst, int from, int to);
void doubleVL2timeVL(TDoubleArray* src, double* dst);
void doubleVL2timeVLConv(TDoubleArray* src, double* dst, int from, int to);
void dateVL2timeVL(TDoubleArray* src, double* dst);
void dateVL2timeVLConv(TDoubleArray* src, double* dst, int from, int to);
void datetimeVL2timeVL(TDoubleArray* src, double* dst);
void datetimeVL2timeVLConv(TDoubleArray* src, double* dst, int from, int to);
void strVL2timeVL(TStrArray* src, double* dst);
void strVL2timeVLConv(TStrArray* src, double* dst, int from, int to);
void decVL2timeVL(TNumericArray* src, double* dst);
void decVL2timeVLConv(TNumericArray* src, double* dst, int from, int to);

// ---- to DATETIME ----
void intVL2datetimeVL(TIntArray* src, double* dst);
void intVL2datetimeVLConv(TIntArray* src, double* dst, int from, int to);
void doubleVL2datetimeVL(TDoubleArray* src, double* dst);
void doubleVL2datetimeVLConv(TDoubleArray* src, double* dst, int from, int to);
void dateVL2datetimeVL(TDoubleArray* src, double* dst);
void dateVL2datetimeVLConv(TDoubleArray* src, double* dst, int from, int to);
void timeVL2datetimeVL(TDoubleArray* src, double* dst);
void timeVL2datetimeVLConv(TDoubleArray* src, double* dst, int from, int to);
void strVL2datetimeVL(TStrArray* src, double* dst);
void strVL2datetimeVLConv(TStrArray* src, double* dst, int from, int to);
void decVL2datetimeVL(TNumericArray* src, double* dst);
void decVL2datetimeVLConv(TNumericArray* src, double* dst, int from, int to);

// ---- to STRING ----
void intVL2strVL(TIntArray* src, char** dst, char* area);
void intVL2strVLConv(TIntArray* src, char** dst, char* area, int from, int to);
void doubleVL2strVL(TDoubleArray* src, char** dst, char* area);
void doubleVL2strVLConv(TDoubleArray* src, char** dst, char* area, int from, int to);
void dateVL2strVL(TDoubleArray* src, char** dst, char* area);
void dateVL2strVLConv(TDoubleArray* src, char** dst, char* area, int from, int to);
void timeVL2strVL(TDoubleArray* src, char** dst, char* area);
void timeVL2strVLConv(TDoubleArray* src, char** dst, char* area, int from, int to);
void datetimeVL2strVL(TDoubleArray* src, char** dst, char* area);
void datetimeVL2strVLConv(TDoubleArray* src, char** dst, char* area, int from, int to);
void decVL2strVL(TNumericArray* src, char** dst, char* area);
void decVL2strVLConv(TNumericArray* src, char** dst, char* area, int from, int to);

// ---- to DECIMAL ----
void intVL2decVL(TIntArray* src, TNumericArray* dst);
void intVL2decVLConv(TIntArray* src, TNumericArray* dst, int from, int to);
void dblVL2decVL(TDoubleArray* src, TNumericArray* dst);
void dblVL2decVLConv(TDoubleArray* src, TNumericArray* dst, int from, int to);
void dateVL2decVL(TDoubleArray* src, TNumericArray* dst);
void dateVL2decVLConv(TDoubleArray* src, TNumericArray* dst, int from, int to);
void timeVL2decVL(TDoubleArray* src, TNumericArray* dst);
void timeVL2decVLConv(TDoubleArray* src, TNumericArray* dst, int from, int to);
void datetimeVL2decVL(TDoubleArray* src, TNumericArray* dst);
void datetimeVL2decVLConv(TDoubleArray* src, TNumericArray* dst, int from, int to);
void strVL2decVL(TStrArray* src, TNumericArray* dst);
void strVL2decVLConv(TStrArray* src, TNumericArray* dst, int from, int to);
void decVL2decVL(TNumericArray* src, TNumericArray* dst);
void decVL2decVLConv(TNumericArray* src, TNumericArray* dst, int from, int to);
