// The memory stream as the host drives it: the process's one stream (MemStream,
// foundation/TMemStream.h), opened for writing (the engine's buffer, which the host may look at) or
// for reading over the host's bytes, written and read in raw bytes, closed.
//
// Conventions of api/ops/OpCommon.h: each operation has its own catch and records a CQ7Exception
// under "Q7" + its name ("Q7MemStreamOpenWrite", ...); anything else gives Q7_ERROR_UNKNOWN.
// Opening either kind replaces the current stream, but only once the new one exists: a refused
// open leaves the current stream as it was. Closing or replacing a write stream frees its buffer,
// so a buffer pointer the host got from GetWriteBuf or GetStatus is valid only until then. A read
// stream reads the host's bytes in place: they must stay valid and unchanged until the stream is
// closed or replaced, and are never freed by the engine.
//
// "No stream" failures record ("Q7MemStream...", Q7_ERROR_STREAM_NOT_OPEN, "Failed to open stream").
// Thread safety: call under the API lock (from inside an exported frame).
#pragma once

// Drops the current stream and opens a write stream of 1,000,000 bytes. Q7_ERROR_OUT_OF_MEMORY.
// Returns 0.
int innerQ7MemStreamOpenWrite();
// Drops the current stream and opens a read stream over the length bytes at data. A null data or a
// negative length: Q7_ERROR_INVALID_PARAMETER. Returns 0.
int innerQ7MemStreamOpenRead(long length, void* data);
// Appends length bytes (after the stream's padding of (position & 7) zero bytes, as every write of
// the stream has) and returns length. Refused before anything is written: a negative length, a
// length above INT32_MAX (the count could not be returned), or a null data with a positive length
// (Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : Length(%ld)" / "Data"). A stream that cannot
// grow fails with Q7_ERROR_OUT_OF_MEMORY and is closed (mode 0, its buffer freed): later writes give
// Q7_ERROR_INVALID_MEMSTREAM until it is opened again. A stream not in write mode:
// Q7_ERROR_INVALID_MEMSTREAM. No stream: Q7_ERROR_STREAM_NOT_OPEN.
int innerQ7MemStreamWrite(const void* data, long length);
// Skips the stream's padding (as its readers do), then copies min(length, bytes left, INT32_MAX)
// bytes into out, advances past them and returns their count (0 at the end). A negative length or a
// null out with a positive length: Q7_ERROR_INVALID_PARAMETER. Not a read stream:
// Q7_ERROR_INVALID_MEMSTREAM without a ring entry. No stream: Q7_ERROR_STREAM_NOT_OPEN.
int innerQ7MemStreamRead(void* out, long length);
// The stream's used size and its buffer (still owned by the engine). No stream, or a stream whose
// buffer is gone (a failed growth): Q7_ERROR_STREAM_NOT_OPEN. Null outputs:
// Q7_ERROR_INVALID_PARAMETER. Returns 0.
int innerQ7MemStreamGetWriteBuf(long* size, void** buffer);
// The mode (0 none or failed, 1 read, 2 write), used size, position and buffer; with no stream
// mode 0, size and position 0 and a null buffer. Null outputs are skipped. Always returns 0.
int innerQ7MemStreamGetStatus(int* mode, long* size, long* position, void** buffer);
// Closes the stream (freeing a write stream's buffer) and empties the slot. Returns 0, also when
// there is no stream.
int innerQ7MemStreamClose();
