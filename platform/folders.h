// The folder new files are made in, as every caller that takes one from a script forms it.
#pragma once

#include <string>

namespace kelv::platform {

// The folder `dir` names, ending in a separator (the system's own is added when it has
// none); an empty `dir` is the temporary-files directory, or "c:\" when that can't be
// told.
std::string folder_with_separator(const std::string& dir);

}  // namespace kelv::platform
