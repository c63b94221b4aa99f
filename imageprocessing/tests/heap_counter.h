// Counts what the process asks of the heap between Start() and Stop(), and
// can make every such request fail. Linking heap_counter.cpp replaces the
// global operator new and delete, so it belongs only in executables that want
// that: the memory tests and the benchmark.
#pragma once

namespace iptest::heap {

struct Usage {
  long long peak = 0;  // most bytes live at once
  int calls = 0;       // requests made
};

// From now on, count requests (and refuse them when `failing`).
void Start(bool failing = false);
// Stops counting and reports what was seen since Start().
Usage Stop();

}  // namespace iptest::heap
