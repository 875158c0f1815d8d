#pragma once

class ZUNAListView;

namespace zuna {

// Benchmark hook, off unless ZUNA_INTAKE_PROBE names a file: for each run of intake on
// `view` (from the drop until its last row is in), appends one line of key=value fields to
// that file: rows, intake_ms, first_row_ms, and stall_ms, the longest the event loop went
// without turning meanwhile (measured by a 1 ms timer, so it reads at most 1 ms high).
// The benchmarks drive the real binary from outside and read what it cannot be asked.
void probeIntakeIfAsked(ZUNAListView *view);

}  // namespace zuna
