// Operations of the exported engine, version, environment and log-setting calls.
//
// Called inside the exported frames, with the API lock held (except where noted). They record
// their own failures in the error ring.
#pragma once

#include "q7api.h"

// Points *versions at the process-wide copy of the four version numbers and *copyright at the
// copyright text (both engine memory, valid until unload). Returns 0.
int innerQ7GetVersion(int** versions, char** copyright);

// Stores the history log's output option (0 off, 1 standard output, 2 standard error, 3 file).
// Only for option 3 with a non-null path, the log file name is kept: the path itself when it
// contains "//", otherwise the current directory, "//" and the path (cut to the name buffer).
// Returns 0.
int innerQ7LogInit(int option, const char* path);

// Fills the environment record; when the database character code is not set, sets it to UTF8
// first. A null record records "Invalid Parameter : env" under "RQ7GetEnvironment" and returns
// Q7_ERROR_INVALID_PARAMETER.
int innerQ7GetEnvironment(_TREnvironment* env);
