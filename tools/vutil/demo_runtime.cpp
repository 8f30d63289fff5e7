// Demo section: runtime services.
#include "demo.h"
#include "vutil.h"

namespace vutil::tool::demo {

void runtimeSection(Context &context) {
    std::fprintf(context.out, "interface version %d\n", GetMXRLANG());
}

}  // namespace vutil::tool::demo
