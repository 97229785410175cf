// What the raster layer raises when it cannot go on: the core's Failure, under the name
// its callers know. Image members catch it through `guarded`: the guarded properties hand
// its text to the caller, the others report a result.
#pragma once

#include "common/status.h"

namespace kelv::raster {

using GraphicsError = Failure;

}  // namespace kelv::raster
