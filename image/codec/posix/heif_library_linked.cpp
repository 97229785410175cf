// The native build links libheif (scripts/build-heif): its functions are there from the start.
#include "image/codec/heif_library.h"

namespace kelv::codec {

const HeifLibrary* heif_library(std::string&) {
  static const HeifLibrary library{
      heif_context_alloc,
      heif_context_free,
      heif_context_read_from_reader,
      heif_context_set_maximum_image_size_limit,
      heif_context_get_primary_image_handle,
      heif_image_handle_release,
      heif_image_handle_get_width,
      heif_image_handle_get_height,
      heif_image_handle_has_alpha_channel,
      heif_image_handle_is_premultiplied_alpha,
      heif_image_handle_get_color_profile_type,
      heif_image_handle_get_raw_color_profile_size,
      heif_image_handle_get_raw_color_profile,
      heif_image_handle_get_nclx_color_profile,
      heif_nclx_color_profile_free,
      heif_decoding_options_alloc,
      heif_decoding_options_free,
      heif_decode_image,
      heif_image_release,
      heif_image_get_colorspace,
      heif_image_get_width,
      heif_image_get_height,
      heif_image_get_bits_per_pixel_range,
      heif_image_get_plane_readonly,
      heif_image_get_chroma_format,
      heif_image_get_nclx_color_profile,
  };
  return &library;
}

}  // namespace kelv::codec
