// The module of the native build: the four entry points with their native meaning, the
// class factories, the registry they record into, and object creation by ProgID as a
// script host does it.
#pragma once

#include <string>

#include "server/native/dispatch.h"

namespace kelv::native {

HResult DllGetClassObject(const Guid& clsid, const Guid& iid, void** out);
HResult DllCanUnloadNow();
HResult DllRegisterServer();
HResult DllUnregisterServer();

// Creates an object by ProgID through the registry and the class factory, and hands out
// its dispatch interface, as a script host's CreateObject does.
HResult CreateObject(const std::string& progid, Dispatch** out);

// The registered ProgID of a class, as the component runtime reports it; false when the
// registry has none.
bool progid_from_clsid(const Guid& clsid, std::string& out);

// The file the module reports as its own (the registration path).
std::string module_path();

// Module termination: releases the cached factories and type information. Tests call it
// to start over as if the module had been unloaded and loaded again.
void module_terminate();

}  // namespace kelv::native
