// Drives Image objects by name, as a page script does, for the colour check
// (check_colour.py):
//
//   colour_tool p3 FILE          writes a Display P3 profile (made with lcms2)
//   colour_tool saves IN OUTDIR  loads IN and writes what a page would: the picture as
//                                loaded, saved as PNG, JPEG at quality 95 and lossless
//                                WebP (keep.*); converted with ConvertToSRGB
//                                (convert.png); loaded under ColorMode 1 (mode1.png)
#include <cstdio>
#include <string>

#include "image/codec/colour.h"
#include "platform/platform.h"
#include "server/native/client.h"
#include "server/native/module.h"

namespace {

using kelv::native::Object;
using kelv::native::Variant;

Variant text(const std::string& s) { return Variant::str(kelv::platform::to_wide(s)); }

bool saves(const std::string& in, const std::string& dir) {
  Object img = Object::create("Kelvarin.Image");
  if (!img || img.call_i4("LoadFromFile", {text(in)}) != 1) return false;
  bool ok = img.call_i4("SaveToPng", {text(dir + "/keep.png")}) == 1 &&
            img.call_i4("SaveToJpg", {text(dir + "/keep.jpg"), Variant::i4(95)}) == 1 &&
            img.call_i4("SaveToWebp", {text(dir + "/keep.webp"), Variant::i4(100), Variant::i4(1)}) == 1 &&
            img.call_i4("ConvertToSRGB") == 1 && img.call_i4("SaveToPng", {text(dir + "/convert.png")}) == 1;
  img.put("ColorMode", Variant::i4(1));
  return ok && img.call_i4("LoadFromFile", {text(in)}) == 1 &&
         img.call_i4("SaveToPng", {text(dir + "/mode1.png")}) == 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "";
  if (what == "p3" && argc == 3) {
    const kelv::codec::IccBytes icc = kelv::codec::icc_from_nclx(12, 13);
    return kelv::platform::write_file_replacing(argv[2], icc.data(), icc.size()) ? 0 : 1;
  }
  if (what == "saves" && argc == 4) {
    if (kelv::native::DllRegisterServer() != kelv::native::hr::S_OK) return 1;
    const bool ok = saves(argv[2], argv[3]);
    kelv::native::module_terminate();
    return ok ? 0 : 1;
  }
  std::fprintf(stderr, "usage: colour_tool p3 FILE | colour_tool saves IN OUTDIR\n");
  return 2;
}
