/* vutil: the whole public interface. */
#ifndef VUTIL_H
#define VUTIL_H

#include "vutil/frame.h"
#include "vutil/platform.h"
#include "vutil/runtime.h"
#include "vutil/fileio.h"
#include "vutil/storage.h"
#include "vutil/raster.h"
#include "vutil/geometry.h"
#include "vutil/text.h"

#endif /* VUTIL_H */
