// Opens everything a compound document holds, storage level after storage level, for the tests and the fuzz
// harness.
#pragma once

#include <vector>

#include "platform/storage.h"
#include "storage/compound_document.h"

namespace vutil::test {

/// Enumerates every storage below `root` (which it releases, with everything it opens), hands each stream that
/// opens to `visit`, and stops opening after `limit` elements.
template <typename Visit> void walkDocument(platform::Storage *root, int limit, Visit visit) {
    namespace pf = platform;
    int elementsSeen = 0;
    for (std::vector<pf::Storage *> pending{root}; !pending.empty();) {
        pf::Storage *storage = pending.back(), *inner = nullptr;
        pending.pop_back();
        pf::ElementEnumerator *elements = nullptr;
        const bool listed = storage->enumElements(&elements) == pf::stg::kOk;
        for (pf::ElementStatus status; listed && elements->next(&status) == pf::stg::kOk && ++elementsSeen <= limit;) {
            pf::Stream *stream = nullptr;
            if (status.type == pf::kTypeStorage) {
                if (storage->openStorage(status.name, storage::kElementMode, &inner) == pf::stg::kOk)
                    pending.push_back(inner);
            } else if (storage->openStream(status.name, storage::kElementMode, &stream) == pf::stg::kOk) {
                visit(stream), stream->release();
            }
        }
        if (listed) elements->release();
        storage->release();
    }
}

}  // namespace vutil::test
