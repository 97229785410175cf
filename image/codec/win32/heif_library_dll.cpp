// kelvheif.dll, loaded on first use from the folder this module was loaded from, by its
// full name: never through the search path, so a DLL of that name planted in the current
// folder or on PATH is never the one loaded. Its functions are looked up once and kept
// for the life of the process.
#include <windows.h>

#include <string>

#include "image/codec/heif_library.h"

namespace kelv::codec {
namespace {

// The full name of the file this code was loaded from; empty when it can't be had.
std::wstring own_module_name() {
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&own_module_name), &self))
    return {};
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(self, name.data(), static_cast<DWORD>(name.size()));
    if (n == 0) return {};
    if (n < name.size()) {
      name.resize(n);
      return name;
    }
    name.resize(name.size() * 2);
  }
}

template <class F>
bool look_up(HMODULE dll, const char* name, F& slot) {
  slot = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
  return slot != nullptr;
}

// Loads the DLL and finds every function; nullptr when the DLL or one of them is missing.
const HeifLibrary* load() {
  std::wstring name = own_module_name();
  const size_t slash = name.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return nullptr;
  name.resize(slash + 1);
  name += L"kelvheif.dll";
  // With a full name and this flag, the DLL's own imports are looked for in its folder
  // and the system's; the file itself is only ever the one named.
  HMODULE dll = LoadLibraryExW(name.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!dll) return nullptr;
  static HeifLibrary l;
  const bool found =
      look_up(dll, "heif_context_alloc", l.context_alloc) && look_up(dll, "heif_context_free", l.context_free) &&
      look_up(dll, "heif_context_read_from_reader", l.context_read_from_reader) &&
      look_up(dll, "heif_context_set_maximum_image_size_limit", l.context_set_maximum_image_size_limit) &&
      look_up(dll, "heif_context_get_primary_image_handle", l.context_get_primary_image_handle) &&
      look_up(dll, "heif_image_handle_release", l.image_handle_release) &&
      look_up(dll, "heif_image_handle_get_width", l.image_handle_get_width) &&
      look_up(dll, "heif_image_handle_get_height", l.image_handle_get_height) &&
      look_up(dll, "heif_image_handle_has_alpha_channel", l.image_handle_has_alpha_channel) &&
      look_up(dll, "heif_image_handle_is_premultiplied_alpha", l.image_handle_is_premultiplied_alpha) &&
      look_up(dll, "heif_image_handle_get_color_profile_type", l.image_handle_get_color_profile_type) &&
      look_up(dll, "heif_image_handle_get_raw_color_profile_size", l.image_handle_get_raw_color_profile_size) &&
      look_up(dll, "heif_image_handle_get_raw_color_profile", l.image_handle_get_raw_color_profile) &&
      look_up(dll, "heif_image_handle_get_nclx_color_profile", l.image_handle_get_nclx_color_profile) &&
      look_up(dll, "heif_nclx_color_profile_free", l.nclx_color_profile_free) &&
      look_up(dll, "heif_decoding_options_alloc", l.decoding_options_alloc) &&
      look_up(dll, "heif_decoding_options_free", l.decoding_options_free) &&
      look_up(dll, "heif_decode_image", l.decode_image) && look_up(dll, "heif_image_release", l.image_release) &&
      look_up(dll, "heif_image_get_colorspace", l.image_get_colorspace) &&
      look_up(dll, "heif_image_get_width", l.image_get_width) &&
      look_up(dll, "heif_image_get_height", l.image_get_height) &&
      look_up(dll, "heif_image_get_bits_per_pixel_range", l.image_get_bits_per_pixel_range) &&
      look_up(dll, "heif_image_get_plane_readonly", l.image_get_plane_readonly) &&
      look_up(dll, "heif_image_get_chroma_format", l.image_get_chroma_format) &&
      look_up(dll, "heif_image_get_nclx_color_profile", l.image_get_nclx_color_profile);
  if (!found) {
    FreeLibrary(dll);
    return nullptr;
  }
  return &l;
}

}  // namespace

const HeifLibrary* heif_library(std::string& why) {
  // Set up once, whichever apartment's thread comes first; the others wait for it.
  static const HeifLibrary* const library = load();
  if (!library) why = kHeifMissing;
  return library;
}

}  // namespace kelv::codec
