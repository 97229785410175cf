// Runs one page script with a new instance of the system's script engine on the calling
// thread, which must be a single-threaded apartment. The page's objects are the named
// items Request, Response and Server.
#pragma once

#include <string>

#include "objects.h"
#include "page_source.h"

namespace pagehost {

struct ScriptOutcome {
  bool ok = true;
  std::string error;  // the engine's message with the page file and line
};

ScriptOutcome run_page_script(const PageScript& page, RequestObject* request, ResponseObject* response,
                              ServerObject* server);

}  // namespace pagehost
