// One line on what each member does, for the generated member reference.
#include <map>
#include <string>

#include "server/members.h"

namespace kelv {

std::string member_summary(InterfaceId iface, const Member& m) {
  static const std::map<std::string, std::string> image = {
      {"LoadFromBmp",
       "Loads a BMP file (any common depth, RLE, bit fields); 1 on success. A failed load leaves an empty image."},
      {"LoadFromJpg",
       "Loads a JPEG file (float IDCT, full scale, colour output); 1 on success. A failed load leaves an empty image."},
      {"CreateFromSize", "Makes a new w by h image, white, or filled with bgcol when bgcol > 0."},
      {"SaveToBmp",
       "Saves a 24-bit BMP file, without a colour profile; the target is replaced only by a complete file."},
      {"SaveToJpg", "Saves a JPEG file; -1 takes the default quality, progression and smoothing."},
      {"DeleteImage", "Discards the image (settings stay)."},
      {"IsValidImage", "1 when an image with pixels is held."},
      {"IsNullImage", "1 when no image is held."},
      {"RotateCW", "Turns the image a quarter clockwise."},
      {"RotateCCW", "Turns the image a quarter counter-clockwise."},
      {"Rotate180", "Turns the image half round."},
      {"ResizeImg", "Scales the image to w by h with nearest-neighbour sampling (area average with ResampleMode 1)."},
      {"Width", "The image's width; putting it crops or extends on the right."},
      {"Height", "The image's height; putting it crops or extends at the bottom."},
      {"SetTransparentColor", "Makes the colour transparent when this image is drawn onto another."},
      {"RemoveTransparency", "Switches transparency off."},
      {"ChangeSize", "Crops or extends to w by h, anchored at the top left; new area takes the brush once used."},
      {"GetColorFromRGB", "The colour value r + 256 g + 65536 b."},
      {"StretchDraw",
       "Draws another Image scaled into the w+1 by h+1 rectangle at (x, y), sampled as ResampleMode says; colour "
       "profiles as Draw."},
      {"Draw",
       "Draws another Image at (x, y), clipped, honouring its transparency; its pixels are converted into this "
       "image's colour profile when the two differ."},
      {"GetBmp", "The handle by which other Image objects reach this bitmap; 0 with no image."},
      {"GetColor", "The colour of pixel (x, y); -1 outside the image, 0 with no image."},
      {"Line", "A line from (x1, y1) to (x2, y2), the end point left out."},
      {"MoveTo", "Moves the pen position."},
      {"LineTo", "A line from the pen position to (x, y), which becomes the pen position."},
      {"PenColor", "The pen's colour."},
      {"BrushColor", "The brush's colour."},
      {"PenWidth", "The pen's width in pixels (negative values are ignored)."},
      {"FontName", "The font's name, in any script (at most 31 UTF-16 units)."},
      {"FontHeight", "The font height: negative the character height, positive the cell height, 0 the default."},
      {"FontColor", "The text colour."},
      {"FontStyle", "Bold 1, italic 2, underline 4, strike-out 8."},
      {"FontCharSet", "The Windows character-set identifier of the font."},
      {"TextOut", "Writes str with its top-left at (x, y); a solid brush paints the cell background."},
      {"GetTextHeight", "The height of str's extent in the current font."},
      {"GetTextWidth", "The width of str's extent in the current font."},
      {"Rectangle", "Outlines the w+1 by h+1 rectangle with the pen and fills it with the brush."},
      {"BrushStyle", "0 solid, 1 clear, 2-7 hatches (upward, downward, cross, diagonal cross, horizontal, vertical)."},
      {"FillRect", "Fills the w+1 by h+1 rectangle with the brush only."},
      {"Ellipse", "The ellipse in the w+1 by h+1 rectangle: outline with the pen, inside with the brush."},
      {"DefaultJpgQuality", "The JPEG quality a save uses for -1 (1..100, 78 at first)."},
      {"LineRect", "Outlines the w+1 by h+1 rectangle with the pen only."},
      {"LineEllipse", "Outlines the ellipse with the pen only."},
      {"cntThumbBorder", "The number of thumbnail border rings (0..255)."},
      {"SetThumbBorder", "Sets ring index's colour (0 is the outermost); 1 on success."},
      {"GetThumbBorder", "Ring index's colour; 0 out of range."},
      {"MakeThumb",
       "Replaces the image by an insideW by insideH thumbnail: rings, background, the picture fitted and centred "
       "(scaled as ResampleMode says)."},
      {"ThumbBgColor", "The thumbnail background colour."},
      {"DefaultJpgSmoothing", "The smoothing flag a save uses for -1 (only 1 switches it on)."},
      {"DefaultJpgProgressive", "The progression flag a save uses for -1 (only 1 switches it on)."},
      {"HeaderReadBmp", "Reads a BMP file's width and height from its header only; 1 on success."},
      {"HeaderReadJpg", "Reads a JPEG file's width and height from its frame header only; 1 on success."},
      {"HeaderGetWidth", "The width the last probe found; -1 unknown."},
      {"HeaderGetHeight", "The height the last probe found; -1 unknown."},
      {"HeaderGetHtmlWH", "width=\"W\" height=\"H\" for the probed size, or empty."},
      {"GetHtmlWH", "width=\"W\" height=\"H\" for the loaded image, or empty."},
      {"SaveToBufferBmp", "The BMP file as a byte buffer, or Null with no image."},
      {"SaveToBufferJpg", "The JPEG file as a byte buffer, or Null with no image."},
      {"AssignPicture",
       "Resets every setting and takes a copy of another Image's picture with its colour profile (converted to sRGB "
       "under ColorMode 1)."},
      {"GetRFromColor", "The red part of a colour."},
      {"GetGFromColor", "The green part of a colour."},
      {"GetBFromColor", "The blue part of a colour."},
      {"ResampleMode",
       "How ResizeImg, MakeThumb and StretchDraw scale: 0 nearest neighbour (at first), 1 area average; other values "
       "are ignored."},
      {"LoadFromJpgMin",
       "Loads a JPEG file at the smallest scale (1/8, 1/4, 1/2, 1) still at least minWidth by minHeight upright; 1 on "
       "success."},
      {"JpgOrientation",
       "The orientation tag (1..8) of the JPEG file last loaded or probed; 1 when it has none, for other formats and "
       "after ApplyOrientation."},
      {"ApplyOrientation",
       "Turns the image upright as JpgOrientation says and sets JpgOrientation to 1; 1 on success."},
      {"FlipHorizontal", "Mirrors the image left to right; 1 on success."},
      {"FlipVertical", "Mirrors the image top to bottom; 1 on success."},
      {"LoadFromPng",
       "Loads a PNG file (any depth, palette, interlace); transparency is mixed over ThumbBgColor. 1 on success; a "
       "failed load leaves an empty image."},
      {"SaveToPng",
       "Saves a PNG file at compression level 0..9 (-1 the default, 6); the target is replaced only by a complete "
       "file."},
      {"SaveToBufferPng", "The PNG file as a byte buffer (level as SaveToPng), or Null with no image."},
      {"HeaderReadPng", "Reads a PNG file's width and height from its header chunk only; 1 on success."},
      {"LoadFromFile",
       "Loads a BMP, JPEG, PNG, GIF (first frame), WebP (first frame) or AVIF (first image) file, told apart by its "
       "first bytes; transparency is mixed over ThumbBgColor. 1 on success; a failed load leaves an empty image."},
      {"HeaderReadFile",
       "Probes a BMP, JPEG, PNG, GIF, WebP or AVIF file's width and height, told apart by its first bytes; 1 on "
       "success."},
      {"HeaderGetFileSize", "The size in bytes of the file the last probe read, as a 64-bit integer; -1 unknown."},
      {"FileFormat",
       "The format of the file last loaded or probed: \"bmp\", \"jpeg\", \"png\", \"gif\", \"webp\" or \"avif\"; \"\" "
       "after a failure or with none."},
      {"SaveToWebp",
       "Saves a WebP file at Quality 1..100 (-1 DefaultJpgQuality), or with Lossless 1 every pixel kept; the target "
       "is replaced only by a complete file."},
      {"SaveToBufferWebp", "The WebP file as a byte buffer (arguments as SaveToWebp), or Null with no image."},
      {"LoadFromFileMin",
       "Loads any format LoadFromFile reads reduced by the largest whole factor that keeps it at least minWidth by "
       "minHeight upright (a JPEG by its DCT scale first), never holding more than the format needs; 1 on success."},
      {"MaxPixels",
       "The most pixels a loaded or new picture may hold (reduced loads count the reduced size); more fails the "
       "member before memory is taken. 0 (at first) for no limit; negative values are ignored."},
      {"ColorProfile",
       "The description of the image's colour profile (\"Display P3\", \"Adobe RGB (1998)\"), read from the file "
       "loaded; \"\" with none or an sRGB one. JPEG, PNG and WebP saves write the profile; BMP saves write none."},
      {"ColorMode",
       "0 (at first): loads keep the pixels as stored and the file's profile with them. 1: loads convert the pixels "
       "to sRGB and keep no profile. Other values are ignored. Pen, brush and font colours are sRGB: on an image "
       "with a profile they are drawn as the same colour in its space (so are the brush's fill of new area from "
       "ChangeSize, Width and Height, and ThumbBgColor and the thumbnail's rings), and they read back as given; "
       "GetColor gives a pixel's own numbers, in the image's profile."},
      {"ConvertToSRGB",
       "Converts the pixels to sRGB (relative colorimetric, black point compensation) and drops the profile; 1 on "
       "success or with nothing to convert, 0 with no image."},
      {"LastError",
       "Why the last load, probe, save or buffer member failed (\"The file could not be opened\", \"The picture "
       "holds 24000 x 24000 pixels, more than MaxPixels\", a decoder's own reason, ...); \"\" after one that "
       "succeeded or before any."},
  };
  static const std::map<std::string, std::string> binrw = {
      {"FOpen", "Opens a file with a C mode string (\"rb\", \"w+b\", \"a\", ...); 1 on success."},
      {"FClose", "Closes the open file."},
      {"FRead", "Reads up to Size bytes as a byte buffer (empty at the end)."},
      {"FEof", "1 after a read stopped short at the end of the file."},
      {"FileSize64", "A file's size as a 64-bit integer; -1 when nothing matches."},
      {"FSeek", "Moves to offset from the start (0), the current position (1) or the end (2)."},
      {"FTell", "The current position; -1 when unknown."},
      {"FWrite", "Writes a byte buffer; 1 when all of it was written."},
      {"FReadInt", "Reads a little-endian integer of 1, 2, 4 or 8 bytes; Null on a short read."},
      {"FReadFloat", "Reads a float of 4, 8 or 10 (x87 extended) bytes; Null on a short read."},
      {"FWriteInt", "Writes the low Size bytes of data, little-endian."},
      {"FWriteFloat", "Writes data as a float of 4, 8 or 10 bytes."},
      {"FReadStr", "Reads a zero-terminated string of at most MaxSize bytes."},
      {"FWriteStr", "Writes a string and a zero byte."},
      {"FReaded", "The number of bytes the last FRead or FReadStrBin read."},
      {"FileSize", "A file's size (low 32 bits); -1 when nothing matches. Wildcards allowed."},
      {"FReadStrBin", "Reads a fixed field of Size bytes; the bytes before its first zero as a buffer."},
      {"FWriteStrBin", "Writes a fixed field of Size bytes: the text, then fillchar padding."},
      {"StrToBuffer", "A string as a byte buffer (with a zero byte when AddZeroByte is 1)."},
      {"BufferToStr", "A byte buffer's bytes up to the first zero as a string."},
      {"IsBuffer", "1 when v is a byte buffer."},
      {"JoinBuffer", "Two byte buffers joined into a new one; Null when either is not a buffer."},
      {"FD_Init", "Starts a form-data upload into dir (base name, line join optional)."},
      {"FD_Decode", "Feeds the next chunk of the request body; 1 while the body goes on."},
      {"FD_EndDecode",
       "Ends the upload: 0 complete, negative when cut off, 1, 11, 12 or below -1000 on errors, 13 when the upload "
       "passed a limit (FD_MaxFileSize, FD_MaxFiles, FD_MaxFieldSize, FD_MaxFields)."},
      {"FD_GetFilesCount", "The number of uploaded files."},
      {"FD_GetFileName", "Where an uploaded file's content was written."},
      {"FD_GetFileHeaderName", "The file name the client sent, verbatim."},
      {"FD_GetFileContentType", "The content type the client sent."},
      {"FD_GetFileFormName", "The form field that carried the file."},
      {"FD_GetFileHeadersCount", "The number of header lines of an uploaded file's part."},
      {"FD_GetFileHeader", "One header line of an uploaded file's part."},
      {"FD_GetItemsCount", "The number of text fields."},
      {"FD_GetItemName", "A text field's name."},
      {"FD_GetItemValue", "A text field's value (lines joined by the line join)."},
      {"FD_FreeData", "Discards the decoder and its results (files stay on disk)."},
      {"FD_DeleteTMPFiles", "Deletes the upload's files; the number deleted."},
      {"FExists", "1 when a file (not a directory) matches the name. Wildcards allowed."},
      {"DirExists", "1 when the name is a directory."},
      {"ExtractFileName", "The name after the last \\ or /; mode 1 lower case, 2 upper case."},
      {"ExtractFileExt", "The extension after the last dot of the name; mode as above."},
      {"ExtractFileNameOnly", "The name before its first dot; mode as above."},
      {"FileCopy", "Copies src to dest; what 0 overwrites, anything else refuses an existing dest."},
      {"FileDelete", "Deletes a file."},
      {"FileMove", "Renames or moves a file or directory; refuses an existing dest."},
      {"DirMake", "Creates one directory."},
      {"FOpenRead", "Opens a file for reading in binary mode."},
      {"FOpenWrite", "Opens a file for writing in binary mode (created or truncated)."},
      {"FOpenAppend", "Opens a file for appending in binary mode."},
      {"DirDelete", "Removes an empty directory."},
      {"CreateTMPFile", "Creates an empty, uniquely named .TMP file in dir (or the temporary folder)."},
      {"OldFilesDelete", "Deletes the plain files matching dir_mask older than seconds; the number deleted."},
      {"CodePage",
       "The code page of texts made from bytes and into bytes: 0 the system's ANSI code page, 65001 UTF-8; "
       "other values the system lacks are ignored."},
      {"FD_MaxFileSize",
       "The most bytes one uploaded file may hold (0: no limit); a larger one stops the upload, leaves no file and "
       "makes FD_EndDecode give 13. Kept for every later FD_Init, as are the other limits."},
      {"FD_MaxFiles", "The most file parts an upload may hold (0: no limit); one more stops it (13)."},
      {"FD_MaxFieldSize",
       "The most bytes one text field's value may hold (0: no limit); a longer one stops the upload and leaves no "
       "field (13)."},
      {"FD_MaxFields",
       "The most text fields an upload may hold (0: no limit); one more stops it (13). With any limit set, a part's "
       "header block is held to 64 lines and 16 KB."},
      {"SafeFileName",
       "The name under which a client's file can be stored, as close to FileName as it can be: the part after the "
       "last \\ or /, without zero-width and direction characters, with control characters and < > : \" | ? * as _, "
       "without leading and trailing dots and spaces, _ before a device name (con.jpg gives _con.jpg), cut before its "
       "extension to 255 UTF-16 units and 255 UTF-8 bytes; _ when nothing is left."},
  };
  static const std::map<std::string, std::string> info = {
      {"GetVersion", "The major version, 1."},
      {"GetMinorVersion", "The minor version, 5."},
      {"GetTrueValue", "The value results use for true, 1."},
      {"GetFalseValue", "The value results use for false, 0."},
      {"GetAuthorInfo", "Who made the component."},
      {"GetSystem", "The operating system's code (0 for any system after Windows 2003 Server)."},
      {"GetSystemText", "The operating system's name, or \"undefined\"."},
  };
  // Each class's interfaces share one list: the derived one carries its base's members too.
  const bool of_image = iface == InterfaceId::Image || iface == InterfaceId::Image2;
  const bool of_binrw = iface == InterfaceId::BinaryRW || iface == InterfaceId::BinaryRW2;
  const auto& table = of_image ? image : of_binrw ? binrw : info;
  auto it = table.find(m.name);
  return it == table.end() ? std::string() : it->second;
}

}  // namespace kelv
