// Creates "Kelvarin.Info" by ProgID through the native automation layer and calls its
// members by name, as a script would.
#include <cstdio>

#include "server/native/client.h"
#include "server/native/module.h"

using kelv::native::Object;

int main() {
  using namespace kelv::native;
  HResult h = DllRegisterServer();
  if (failed(h)) {
    std::fprintf(stderr, "registration failed: 0x%08X\n", static_cast<unsigned>(h));
    return 1;
  }
  Object info = Object::create("Kelvarin.Info");
  if (!info) {
    std::fprintf(stderr, "CreateObject(\"Kelvarin.Info\") failed: 0x%08X\n", static_cast<unsigned>(info.status()));
    return 1;
  }
  std::printf("Kelvarin.Info (native)\n");
  std::printf("  version      %d.%d\n", info.call_i4("GetVersion"), info.call_i4("GetMinorVersion"));
  std::printf("  true/false   %d / %d\n", info.call_i4("GetTrueValue"), info.call_i4("GetFalseValue"));
  std::printf("  system       %d \"%s\"\n", info.call_i4("GetSystem"), info.call_text("GetSystemText").c_str());
  std::printf("  author       %s\n", info.call_text("GetAuthorInfo").c_str());
  return 0;
}
