// Linkage of data shared by the library's own files but never exported.
#pragma once

// In an ELF library such data is reached directly instead of through the
// global offset table; other object formats export nothing unasked.
#if defined(__ELF__)
#define VUTIL_LOCAL __attribute__((visibility("hidden")))
#else
#define VUTIL_LOCAL
#endif
