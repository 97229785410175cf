// The one error type of the raster layer. Image members catch it: the guarded properties
// hand its message to the caller, the others report a result.
#pragma once

#include <stdexcept>
#include <string>

namespace kelv::raster {

class GraphicsError : public std::runtime_error {
 public:
  explicit GraphicsError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace kelv::raster
