// The memory stream as the host drives it: opening, writing, reading and closing the one stream.
#include "api/ops/ops_memstream.h"

#include <cstdint>
#include <memory>

#include "api/ops/OpCommon.h"
#include "foundation/TMemStream.h"

namespace {

constexpr char kNoStream[] = "Failed to open stream";

TMemStream* RequireStream(const char* ring) {
  if (MemStream == nullptr) Refuse(ring, Q7_ERROR_STREAM_NOT_OPEN, Q7_ERROR_STREAM_NOT_OPEN, "%s", kNoStream);
  return MemStream;
}

// The new stream is built before the old one goes, so a refused open changes nothing.
void Replace(std::unique_ptr<TMemStream> stream) {
  delete MemStream;
  MemStream = stream.release();
}

}  // namespace

int innerQ7MemStreamOpenWrite() {
  return RunOp("Q7MemStreamOpenWrite", [] {
    Replace(std::make_unique<TMemStream>());
    return 0;
  });
}

int innerQ7MemStreamOpenRead(long length, void* data) {
  return RunOp("Q7MemStreamOpenRead", [&] {
    Replace(std::make_unique<TMemStream>(length, data));
    return 0;
  });
}

int innerQ7MemStreamWrite(const void* data, long length) {
  constexpr char kRing[] = "Q7MemStreamWrite";
  return RunOp(kRing, [&] {
    TMemStream* stream = RequireStream(kRing);
    // A negative length would be taken as a huge one and end the stream; a count above INT32_MAX
    // could not come back as the result.
    if (length < 0 || length > INT32_MAX) {
      Refuse(kRing, Q7_ERROR_INVALID_PARAMETER, Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : Length(%ld)",
             length);
    }
    if (data == nullptr && length > 0) {
      Refuse(kRing, Q7_ERROR_INVALID_PARAMETER, Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : Data");
    }
    // The stream records its own refusals ("writeStream").
    return static_cast<int>(stream->writeStream(data, 1, static_cast<size_t>(length)));
  });
}

int innerQ7MemStreamRead(void* out, long length) {
  constexpr char kRing[] = "Q7MemStreamRead";
  return RunOp(kRing, [&] {
    TMemStream* stream = RequireStream(kRing);
    if (stream->OpenMode() != TMemStream::kModeRead) RefuseSilently(Q7_ERROR_INVALID_MEMSTREAM);
    if (length < 0 || (out == nullptr && length > 0)) {
      Refuse(kRing, Q7_ERROR_INVALID_PARAMETER, Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : Length(%ld)",
             length);
    }
    // The count must fit the result; the host reads the rest with the next call.
    const long wanted = length < INT32_MAX ? length : INT32_MAX;
    return static_cast<int>(stream->readStream(out, 1, static_cast<size_t>(wanted)));
  });
}

int innerQ7MemStreamGetWriteBuf(long* size, void** buffer) {
  constexpr char kRing[] = "Q7MemStreamGetWriteBuf";
  return RunOp(kRing, [&] {
    if (size == nullptr || buffer == nullptr) {
      Refuse(kRing, Q7_ERROR_INVALID_PARAMETER, Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : %s",
             size == nullptr ? "Size" : "Buffer");
    }
    TMemStream* stream = RequireStream(kRing);
    if (stream->pArea() == nullptr)
      Refuse(kRing, Q7_ERROR_STREAM_NOT_OPEN, Q7_ERROR_STREAM_NOT_OPEN, "%s", kNoStream);
    *size = stream->nUsed();
    *buffer = stream->pArea();
    return 0;
  });
}

int innerQ7MemStreamGetStatus(int* mode, long* size, long* position, void** buffer) {
  const TMemStream* stream = MemStream;
  if (mode != nullptr) *mode = stream != nullptr ? stream->OpenMode() : TMemStream::kModeClosed;
  if (size != nullptr) *size = stream != nullptr ? stream->nUsed() : 0;
  if (position != nullptr) *position = stream != nullptr ? stream->Pos() : 0;
  if (buffer != nullptr) *buffer = stream != nullptr ? stream->pArea() : nullptr;
  return 0;
}

int innerQ7MemStreamClose() {
  delete MemStream;
  MemStream = nullptr;
  return 0;
}
