// Operations of the exported engine, version, environment, character-code, error-log, restart and
// log-setting calls.
//
// Called inside the exported frames, with the API lock held (except where noted). They record
// their own failures in the error ring.
#pragma once

#include "q7api.h"

// Points *versions at the process-wide copy of the four version numbers and *copyright at the
// copyright text (both engine memory, valid until unload). Returns 0.
int innerQ7GetVersion(int** versions, char** copyright);
// The RQ7 form: copies the four numbers into versions (four ints) and the text into copyright (at
// least 512 bytes), each when not null, after innerQ7GetVersion succeeded. Returns its result.
int innerRQ7GetVersion(int* versions, char* copyright);

// The Q7 form of the error-ring read (CDBTask::GetErrorLog): api and message are pointers to the
// host's buffers (63 and 127 bytes); a null pointer, or one that points at null, skips that output.
int innerQ7GetErrorLog(int* time, char** api, int* code, char** message);

// Restarts the engine (CSmpEngine::ReInitialize), which takes the API lock itself: call WITHOUT the
// lock held. Returns 0.
int innerQ7ReInitializeMS();

// Sets the database character code named by name (convertDBStringCode2DBCharCode, then
// setDBCharCode); the latter's result. A success that changes the code clears the tables flag.
int innerQ7SetDBCharCode(const char* name);
// The same by locale ID (innerQ7SetKanjiCode).
int SetDatabaseKanjiCode(int locale);

// Stores the history log's output option (0 off, 1 standard output, 2 standard error, 3 file).
// Only for option 3 with a non-null path, the log file name is kept: the path itself when it
// contains "//", otherwise the current directory, "//" and the path (cut to the name buffer).
// Returns 0.
int innerQ7LogInit(int option, const char* path);

// Fills the environment record; when the database character code is not set, sets it to UTF8
// first. A null record records "Invalid Parameter : env" under "RQ7GetEnvironment" and returns
// Q7_ERROR_INVALID_PARAMETER.
int innerQ7GetEnvironment(_TREnvironment* env);

// Total and free host memory in bytes into *info (getSystemMemInfo's unsigned longs widened to the
// record's 64-bit fields); its result. A null info records "Invalid Parameter : info" under
// "RQ7GetSystemMemInfo" and returns Q7_ERROR_INVALID_PARAMETER.
int innerQ7GetSystemMemInfo(_TRMemInfo* info);
