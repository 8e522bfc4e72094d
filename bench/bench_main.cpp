// The main of every benchmark program: the engine started as the library start does (every
// folder's worker tasks registered, the engine holding a collection), then Google Benchmark's own.
#include <benchmark/benchmark.h>

#include "api/startup.h"

int main(int argc, char** argv) {
  StartLibrary();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
