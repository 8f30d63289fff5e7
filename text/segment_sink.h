// Where the text services send their line segments: the caller's callback, else the device's line operation.
#pragma once

#include "vutil/text.h"

namespace vutil::text {

/// The output routing of one text call. The callback takes precedence; without callback and device (or with a
/// device that has no line operation) segments are dropped.
struct SegmentSink {
    intptr_t context = 0;
    draw_device *device = nullptr;
    intptr_t user = 0;
    txt_line_proc callback = nullptr;

    void operator()(const double *first, const double *second) const {
        if (callback != nullptr) {
            callback(context, device, first, second, user);
        } else if (device != nullptr && device->line != nullptr) {
            device->line(context, first, second, user);
        }
    }
};

}  // namespace vutil::text
