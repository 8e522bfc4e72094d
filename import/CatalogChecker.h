// The checked catalog import: a catalog-described text file loaded into a new real table by a
// strict, single-threaded reader that writes every decision, rejected cell and corrected value into
// two correction logs (import/TCorrectLog.h) in the catalog's directory:
//   <table name>_scheme.txt  the structure pass over the catalog (complete before the data is read)
//   <table name>_data.txt    the data pass and the making of the table
// (the table name made file-safe first, ToFileName). Bad values become NULL, surplus cells are
// dropped and missing ones filled with NULL; only a malformed catalog or data-file structure fails
// the import (import/TParseInfo.h gives the rules and the codes).
//
// Callers hold the API lock for the whole call (the database, its character code and the logs are
// process-wide). The call writes nothing to the error ring of its own: the logs are its report.
#pragma once

// The catalog dir/catalog, the data dataDir/dataFile, the new table named tableName. Null texts
// read as empty. Returns the new table's ID or a negative code; throws nothing. After a failure no
// new table stays in the database.
int AddCatalogFileChecker(const char* dir, const char* catalog, const char* dataDir, const char* dataFile,
                          const char* tableName) noexcept;
