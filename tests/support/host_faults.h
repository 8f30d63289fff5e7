// Faults of the host's file calls, put in through the file layer's seam (platform/file.h): the same failure on
// either host, made with that host's own calls, so that one test checks what the library makes of it.
#pragma once

namespace vutil::test::faults {

/// Every read of the file layer after the first `after` fails with an I/O error.
void failReads(int after = 0);
/// Reads hand out at most three bytes each, as a pipe or a slow device may.
void shortReads();
/// Every write fails: the disk is full.
void fullDisk();
/// Every move of a file position fails.
void failSeeks();
/// Counts the moves of file positions and the writes that reach the host from now on.
void countCalls();
int seeks();
int writes();
/// The host's own calls again, for every call of the seam.
void restore();

}  // namespace vutil::test::faults
