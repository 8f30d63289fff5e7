// What the two hosts' backends answer differently where a caller can see it. A test that meets such a
// difference takes its expectation from here; each says which host gives what, and why.
#pragma once

#include <cstdint>

namespace vutil::test::host {

/// The storage query of a document another opener holds exclusively. POSIX hosts read the header through an open
/// that takes no lock, and the query succeeds; Windows has no such open, so the header cannot be read and the
/// document is not found. (Opening it in place meets the sharing violation on both.)
extern const int32_t kQueryOfAnExclusivelyHeldDocument;

}  // namespace vutil::test::host
