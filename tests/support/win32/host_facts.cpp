// The Windows host's side of the observable differences (see support/host_facts.h).
#include "support/host_facts.h"

#include "platform/storage.h"

namespace vutil::test::host {

const int32_t kQueryOfAnExclusivelyHeldDocument = platform::stg::kFileNotFound;

}  // namespace vutil::test::host
