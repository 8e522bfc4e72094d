// The library start: registers every folder's worker tasks, gives the engine the start and stop
// steps of the layers above it and starts it. The shared library runs it at load (startup.cpp);
// programs that link the api folder's library directly call it before their first operation.
//
// Idempotent; not thread-safe: call at start-up, before any other thread uses the engine.
#pragma once

void StartLibrary();
