// libheif's functions as the HEIF reader calls them. Natively the library is linked
// (scripts/build-heif builds it as it builds the DLL); on Windows the library is a DLL of
// its own beside the module, loaded on first use from the module's own folder only and
// looked up once.
#pragma once

#include <libheif/heif.h>

#include <string>

namespace kelv::codec {

struct HeifLibrary {
  decltype(&::heif_context_alloc) context_alloc;
  decltype(&::heif_context_free) context_free;
  decltype(&::heif_context_read_from_reader) context_read_from_reader;
  decltype(&::heif_context_set_maximum_image_size_limit) context_set_maximum_image_size_limit;
  decltype(&::heif_context_get_primary_image_handle) context_get_primary_image_handle;
  decltype(&::heif_image_handle_release) image_handle_release;
  decltype(&::heif_image_handle_get_width) image_handle_get_width;
  decltype(&::heif_image_handle_get_height) image_handle_get_height;
  decltype(&::heif_image_handle_has_alpha_channel) image_handle_has_alpha_channel;
  decltype(&::heif_image_handle_is_premultiplied_alpha) image_handle_is_premultiplied_alpha;
  decltype(&::heif_image_handle_get_color_profile_type) image_handle_get_color_profile_type;
  decltype(&::heif_image_handle_get_raw_color_profile_size) image_handle_get_raw_color_profile_size;
  decltype(&::heif_image_handle_get_raw_color_profile) image_handle_get_raw_color_profile;
  decltype(&::heif_image_handle_get_nclx_color_profile) image_handle_get_nclx_color_profile;
  decltype(&::heif_nclx_color_profile_free) nclx_color_profile_free;
  decltype(&::heif_decoding_options_alloc) decoding_options_alloc;
  decltype(&::heif_decoding_options_free) decoding_options_free;
  decltype(&::heif_decode_image) decode_image;
  decltype(&::heif_image_release) image_release;
  decltype(&::heif_image_get_colorspace) image_get_colorspace;
  decltype(&::heif_image_get_width) image_get_width;
  decltype(&::heif_image_get_height) image_get_height;
  decltype(&::heif_image_get_bits_per_pixel_range) image_get_bits_per_pixel_range;
  decltype(&::heif_image_get_plane_readonly) image_get_plane_readonly;
  decltype(&::heif_image_get_chroma_format) image_get_chroma_format;
  decltype(&::heif_image_get_nclx_color_profile) image_get_nclx_color_profile;
};

// The reason a HEIC or AVIF load gives when the library can't be had.
inline constexpr const char* kHeifMissing = "the HEIF library is not installed beside kelvutil.dll";

// The library, set up on the first call (from any thread); nullptr, with the reason in
// `why`, when it is not there.
const HeifLibrary* heif_library(std::string& why);

}  // namespace kelv::codec
