// Fuzz target of the image readers, through the roads the exported loads take: the first byte of
// the input picks the reader, the rest is the image, in a block of exactly its length at an
// 8-aligned address:
//   0  a database memory image, loaded as RQ7LoadDBFromMem does (CDBTask::LoadDBFromMem);
//   1  a single-table memory image, loaded as RQ7LoadRealTableFromMem does, then again as
//      RQ7LoadMemRealTable does with the block's length;
//   2  a shared-memory database image (a database file) read in place with the segment's length,
//      installed as the database;
//   3  the memory stream, whose tables are added until it has no more.
// The two loads without a length read within the length word of the image's header. An image
// without one (0 there) is trusted to be whole by those roads, so the target writes the block's
// length into the word when the input's is 0 or larger than the block; a word within the block is
// kept, so that short words are explored too. An input shorter than the header takes only the
// road with a length: a host hands the others at least the header.
// What loads is used as a host would (q7fuzz::ExerciseTables), written again in the same form and
// read back: what was written must load again. No reader may read beyond the block.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "api/ops/ops_database.h"
#include "api/ops/ops_images.h"
#include "api/ops/ops_tables.h"
#include "api/task/CDBTask.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/SystemHeader.h"
#include "foundation/TMemStream.h"
#include "fuzz/fuzz_support.h"
#include "q7api.h"

Q7_FUZZ_INITIALIZE

namespace {

using Block = std::unique_ptr<char, decltype(&free)>;

Block Copy(const uint8_t* data, size_t size) {
  Block block(static_cast<char*>(malloc(size > 0 ? size : 1)), free);
  if (size > 0) memcpy(block.get(), data, size);
  return block;
}

// Makes the collection the engine's database (the old one goes); a throw leaves an empty one.
template <class Build>
bool InstallDatabase(Build build) {
  innerQ7ClearDB();
  CSmpEngine* engine = CSmpEngine::Instance();
  try {
    std::unique_ptr<TTableCollection> loaded(build());
    TTableCollection* old = engine->Database();
    engine->SetDatabase(loaded.release());
    delete old;
    engine->Database()->LoadComplete(0);
    return true;
  } catch (const CQ7Exception&) {
    return false;
  }
}

// The database image of the engine's database, grown until it fits (a loaded table may grow while
// it is used).
std::vector<uint64_t> SaveDatabaseImage(void** end) {
  for (size_t words = 1 << 12; words <= (size_t{1} << 26); words *= 4) {
    std::vector<uint64_t> image(words);
    const int rc = DBTASK()->SaveDB2Mem(words * 8, image.data(), end);
    if (rc == 0) return image;
    q7fuzz::Require(rc == Q7_ERROR_OUT_OF_MEMORY, "a loaded database cannot be written as an image", rc);
  }
  q7fuzz::Require(false, "a loaded database needs an image of more than 512 MB", 0);
  return {};
}

// The header's length word, as the exported loads without a length are bounded by it.
constexpr size_t kLengthWordAt = 8;

// A block of the input whose length word lies within it (see above). A host hands these roads at
// least the 256-byte header (size must be at least that).
Block CopyWithLength(const uint8_t* data, size_t size) {
  Block block = Copy(data, size);
  uint64_t word;
  memcpy(&word, block.get() + kLengthWordAt, sizeof word);
  // An image of the other byte order keeps its word: the reader swaps it, so any value may come
  // out, and only words that this system reads as within the block are kept.
  const bool other_order = (static_cast<uint8_t>(block.get()[1]) & 0x0C) != getSystemEndian();
  uint64_t as_read = word;
  if (other_order) flip_endian(&as_read, sizeof as_read);
  if (as_read == 0 || as_read > size) {
    word = size;
    if (other_order) flip_endian(&word, sizeof word);
    memcpy(block.get() + kLengthWordAt, &word, sizeof word);
  }
  return block;
}

void DatabaseImage(const uint8_t* data, size_t size) {
  if (size < kSysHeaderSize) return;
  Block block = CopyWithLength(data, size);
  void* end = nullptr;
  if (DBTASK()->LoadDBFromMem(block.get(), &end) != 0) return;
  q7fuzz::Require(static_cast<char*>(end) <= block.get() + size, "a database image was read past its length",
                  0);
  q7fuzz::ExerciseDatabase();
  std::vector<uint64_t> again = SaveDatabaseImage(&end);
  const int rc = DBTASK()->LoadDBFromMem(again.data(), &end);
  q7fuzz::Require(rc == 0, "a written database image does not load again", rc);
}

void TableImage(const uint8_t* data, size_t size) {
  innerQ7ClearDB();
  innerQ7AddRealTable("T", 2);
  if (size >= kSysHeaderSize) {
    Block block = CopyWithLength(data, size);
    void* end = nullptr;
    const int from_image = DBTASK()->LoadRealTableFromMem(block.get(), &end);
    if (from_image > 0) {
      q7fuzz::Require(static_cast<char*>(end) <= block.get() + size, "a table image was read past its length",
                      from_image);
    }
  }
  // The held image's road is given the length, and takes the input's own length word.
  Block as_given = Copy(data, size);
  const int id = DBTASK()->LoadMemRealTable(as_given.get(), size);
  if (id <= 0) return;
  q7fuzz::ExerciseTables(&id, 1);
  void* image = nullptr;
  unsigned long length = 0;
  const int rc = DBTASK()->GetMemRealTable(id, &image, &length);
  if (rc == Q7_ERROR_DATA_OVERFLOW) return;
  q7fuzz::Require(rc == 0, "a loaded table cannot be written as an image", rc);
  const int again = DBTASK()->LoadMemRealTable(image, length);
  q7fuzz::Require(again > 0, "a written table image does not load again", again);
  q7fuzz::ExerciseTables(&again, 1);
}

void SharedImage(const uint8_t* data, size_t size) {
  Block block = Copy(data, size);
  if (InstallDatabase(
          [&] { return new TTableCollection(static_cast<void*>(block.get()), uint64_t{size}); })) {
    q7fuzz::ExerciseDatabase();
    void* end = nullptr;
    std::vector<uint64_t> again = SaveDatabaseImage(&end);
    const int rc = DBTASK()->LoadDBFromMem(again.data(), &end);
    q7fuzz::Require(rc == 0, "a database read in place does not load again from its image", rc);
  }
  // No table may outlive the block it lies in.
  innerQ7ClearDB();
}

void Stream(const uint8_t* data, size_t size) {
  Block block = Copy(data, size);
  innerQ7ClearDB();
  delete MemStream;
  MemStream = new TMemStream(static_cast<long>(size), block.get());
  int ids[q7fuzz::kMaxTables];
  int n = 0;
  while (n < q7fuzz::kMaxTables) {
    const int id = innerQ7LoadRealTableMem();
    if (id <= 0) break;
    ids[n++] = id;
  }
  delete MemStream;
  MemStream = nullptr;
  if (n == 0) return;
  q7fuzz::ExerciseTables(ids, n);
  MemStream = new TMemStream();
  for (int i = 0; i < n; ++i) {
    const int rc = innerQ7SaveRealTableMem(ids[i], i % 2);
    q7fuzz::Require(rc == 0, "a loaded table cannot be written into the memory stream", rc);
  }
  std::vector<char> written(MemStream->pArea(), MemStream->pArea() + MemStream->nUsed());
  delete MemStream;
  MemStream = new TMemStream(static_cast<long>(written.size()), written.data());
  for (int i = 0; i < n; ++i) {
    const int again = innerQ7LoadRealTableMem();
    q7fuzz::Require(again > 0, "a table written into the memory stream does not load again", again);
  }
  delete MemStream;
  MemStream = nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t form = data[0] % 4;
  ++data;
  --size;
  switch (form) {
    case 0:
      DatabaseImage(data, size);
      break;
    case 1:
      TableImage(data, size);
      break;
    case 2:
      SharedImage(data, size);
      break;
    default:
      Stream(data, size);
      break;
  }
  // Destroys every table and set the operations above made, and the held image.
  innerQ7ClearDB();
  return 0;
}
