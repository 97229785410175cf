#include "server/members.h"

#include <cstdlib>
#include <stdexcept>

namespace kelv {
namespace {

// One row per function-table entry, in slot order. Parameters are written
// "name:type" and separated by ";"; "=default" makes a parameter optional ("dir:name="
// is an optional text defaulting to empty). A put accessor's value has no name.
struct Row {
  int slot;
  int32_t dispid;
  const char* name;
  MemberKind kind;
  const char* params;
  ValueType result;
};

constexpr MemberKind M = MemberKind::Method;
constexpr MemberKind G = MemberKind::Get;
constexpr MemberKind P = MemberKind::Put;
constexpr ValueType None = ValueType::None;
constexpr ValueType Text = ValueType::Text;
constexpr ValueType Name = ValueType::Name;
constexpr ValueType I4 = ValueType::I4;
constexpr ValueType I8 = ValueType::I8;
constexpr ValueType UI1 = ValueType::UI1;
constexpr ValueType Var = ValueType::Variant;

const Row kImageRows[] = {
    {7, 1, "LoadFromBmp", M, "FileName:name", I4},
    {8, 2, "LoadFromJpg", M, "FileName:name", I4},
    {9, 3, "CreateFromSize", M, "w:i4;h:i4;bgcol:i4=0", I4},
    {10, 4, "SaveToBmp", M, "FileName:name", I4},
    {11, 5, "SaveToJpg", M, "FileName:name;Quality:i4=-1;Progressive:i4=-1;Smoothing:i4=-1", I4},
    {12, 6, "DeleteImage", M, "", None},
    {13, 7, "IsValidImage", M, "", I4},
    {14, 8, "IsNullImage", M, "", I4},
    {15, 9, "RotateCW", M, "", I4},
    {16, 10, "RotateCCW", M, "", I4},
    {17, 11, "Rotate180", M, "", I4},
    {18, 12, "ResizeImg", M, "w:i4;h:i4", I4},
    {19, 13, "Width", G, "", I4},
    {20, 13, "Width", P, ":i4", None},
    {21, 14, "Height", G, "", I4},
    {22, 14, "Height", P, ":i4", None},
    {23, 16, "SetTransparentColor", M, "color:i4", None},
    {24, 17, "RemoveTransparency", M, "", None},
    {25, 18, "ChangeSize", M, "w:i4;h:i4", I4},
    {26, 19, "GetColorFromRGB", M, "r:ui1;g:ui1;b:ui1", I4},
    {27, 20, "StretchDraw", M, "x:i4;y:i4;w:i4;h:i4;img:image", I4},
    {28, 21, "Draw", M, "x:i4;y:i4;img:image", I4},
    {29, 23, "GetBmp", M, "", I4},
    {30, 24, "GetColor", M, "x:i4;y:i4", I4},
    {31, 25, "Line", M, "x1:i4;y1:i4;x2:i4;y2:i4", None},
    {32, 26, "MoveTo", M, "x:i4;y:i4", None},
    {33, 27, "LineTo", M, "x:i4;y:i4", None},
    {34, 28, "PenColor", G, "", I4},
    {35, 28, "PenColor", P, ":i4", None},
    {36, 29, "BrushColor", G, "", I4},
    {37, 29, "BrushColor", P, ":i4", None},
    {38, 30, "PenWidth", G, "", I4},
    {39, 30, "PenWidth", P, ":i4", None},
    {40, 33, "FontName", G, "", Text},
    {41, 33, "FontName", P, ":text", None},
    {42, 34, "FontHeight", G, "", I4},
    {43, 34, "FontHeight", P, ":i4", None},
    {44, 35, "FontColor", G, "", I4},
    {45, 35, "FontColor", P, ":i4", None},
    {46, 36, "FontStyle", G, "", UI1},
    {47, 36, "FontStyle", P, ":ui1", None},
    {48, 37, "FontCharSet", G, "", UI1},
    {49, 37, "FontCharSet", P, ":ui1", None},
    {50, 38, "TextOut", M, "x:i4;y:i4;str:text", None},
    {51, 39, "GetTextHeight", M, "str:text", I4},
    {52, 40, "GetTextWidth", M, "str:text", I4},
    {53, 41, "Rectangle", M, "x1:i4;y1:i4;w:i4;h:i4", None},
    {54, 15, "BrushStyle", G, "", UI1},
    {55, 15, "BrushStyle", P, ":ui1", None},
    {56, 22, "FillRect", M, "x1:i4;y1:i4;w:i4;h:i4", None},
    {57, 32, "Ellipse", M, "x1:i4;y1:i4;w:i4;h:i4", None},
    {58, 42, "DefaultJpgQuality", G, "", I4},
    {59, 42, "DefaultJpgQuality", P, ":i4", None},
    {60, 43, "LineRect", M, "x1:i4;y1:i4;w:i4;h:i4", None},
    {61, 44, "LineEllipse", M, "x1:i4;y1:i4;w:i4;h:i4", None},
    {62, 45, "cntThumbBorder", G, "", I4},
    {63, 45, "cntThumbBorder", P, ":i4", None},
    {64, 47, "SetThumbBorder", M, "index:i4;color:i4", I4},
    {65, 48, "GetThumbBorder", M, "index:i4", I4},
    {66, 49, "MakeThumb", M, "insideW:i4;insideH:i4", I4},
    {67, 50, "ThumbBgColor", G, "", I4},
    {68, 50, "ThumbBgColor", P, ":i4", None},
    {69, 52, "DefaultJpgSmoothing", G, "", I4},
    {70, 52, "DefaultJpgSmoothing", P, ":i4", None},
    {71, 53, "DefaultJpgProgressive", G, "", I4},
    {72, 53, "DefaultJpgProgressive", P, ":i4", None},
    {73, 46, "HeaderReadBmp", M, "FileName:name", I4},
    {74, 54, "HeaderReadJpg", M, "FileName:name", I4},
    {75, 55, "HeaderGetWidth", M, "", I4},
    {76, 56, "HeaderGetHeight", M, "", I4},
    {77, 57, "HeaderGetHtmlWH", M, "", Text},
    {78, 58, "GetHtmlWH", M, "", Text},
    {79, 59, "SaveToBufferBmp", M, "", Var},
    {80, 60, "SaveToBufferJpg", M, "Quality:i4=-1;Progressive:i4=-1;Smoothing:i4=-1", Var},
    {81, 31, "AssignPicture", M, "in:image", I4},
    {82, 51, "GetRFromColor", M, "color:i4", UI1},
    {83, 62, "GetGFromColor", M, "color:i4", UI1},
    {84, 63, "GetBFromColor", M, "color:i4", UI1},
};

// Members beyond the first interface. A load or a probe records the JPEG orientation tag
// (1 for other formats), which ApplyOrientation consumes.
const Row kImage2Rows[] = {
    {85, 200, "ResampleMode", G, "", I4},
    {86, 200, "ResampleMode", P, ":i4", None},
    {87, 201, "LoadFromJpgMin", M, "FileName:name;minWidth:i4;minHeight:i4", I4},
    {88, 202, "JpgOrientation", G, "", I4},
    {89, 203, "ApplyOrientation", M, "", I4},
    {90, 204, "FlipHorizontal", M, "", I4},
    {91, 205, "FlipVertical", M, "", I4},
    {92, 206, "LoadFromPng", M, "FileName:name", I4},
    {93, 207, "SaveToPng", M, "FileName:name;level:i4=-1", I4},
    {94, 208, "SaveToBufferPng", M, "level:i4=-1", Var},
    {95, 209, "HeaderReadPng", M, "FileName:name", I4},
    {96, 210, "LoadFromFile", M, "FileName:name", I4},
    {97, 211, "HeaderReadFile", M, "FileName:name", I4},
    {98, 212, "HeaderGetFileSize", M, "", Var},
    {99, 213, "FileFormat", G, "", Text},
    {100, 214, "SaveToWebp", M, "FileName:name;Quality:i4=-1;Lossless:i4=0", I4},
    {101, 215, "SaveToBufferWebp", M, "Quality:i4=-1;Lossless:i4=0", Var},
    {102, 216, "LoadFromFileMin", M, "FileName:name;minWidth:i4;minHeight:i4", I4},
    {103, 217, "MaxPixels", G, "", I4},
    {104, 217, "MaxPixels", P, ":i4", None},
    {105, 221, "LastError", G, "", Text},
    {106, 218, "ColorProfile", G, "", Text},
    {107, 219, "ColorMode", G, "", I4},
    {108, 219, "ColorMode", P, ":i4", None},
    {109, 220, "ConvertToSRGB", M, "", I4},
};

const Row kBinaryRWRows[] = {
    {7, 1, "FOpen", M, "FileName:name;Type:text", I4},
    {8, 2, "FClose", M, "", None},
    {9, 3, "FRead", M, "Size:i4=16384", Var},
    {10, 7, "FEof", M, "", I4},
    {11, 8, "FileSize64", M, "FileName:name", Var},
    {12, 9, "FSeek", M, "offset:i4;from:i4", I4},
    {13, 10, "FTell", M, "", I4},
    {14, 11, "FWrite", M, "data:variant", I4},
    {15, 12, "FReadInt", M, "Size:i4", Var},
    {16, 13, "FReadFloat", M, "Size:i4", Var},
    {17, 14, "FWriteInt", M, "data:i8;Size:i4", I4},
    {18, 15, "FWriteFloat", M, "data:r8;Size:i4", I4},
    {19, 16, "FReadStr", M, "MaxSize:i4=255", Text},
    {20, 17, "FWriteStr", M, "string:text", I4},
    {21, 18, "FReaded", M, "", I4},
    {22, 19, "FileSize", M, "FileName:name", I4},
    {23, 4, "FReadStrBin", M, "Size:i4", Var},
    {24, 6, "FWriteStrBin", M, "string:variant;Size:i4;fillchar:ui1=0", I4},
    {25, 20, "StrToBuffer", M, "string:text;AddZeroByte:i4=0", Var},
    {26, 21, "BufferToStr", M, "buffer:variant", Text},
    {27, 22, "IsBuffer", M, "v:variant", I4},
    {28, 5, "JoinBuffer", M, "buffer1:variant;buffer2:variant", Var},
    {29, 23, "FD_Init", M, "dir:name=;FileName:name=;endline:text=", I4},
    {30, 24, "FD_Decode", M, "data:variant", I4},
    {31, 25, "FD_EndDecode", M, "", I4},
    {32, 26, "FD_GetFilesCount", M, "", I4},
    {33, 27, "FD_GetFileName", M, "fileindex:i4", Name},
    {34, 28, "FD_GetFileHeaderName", M, "fileindex:i4", Text},
    {35, 29, "FD_GetFileContentType", M, "fileindex:i4", Text},
    {36, 30, "FD_GetFileFormName", M, "fileindex:i4", Text},
    {37, 31, "FD_GetFileHeadersCount", M, "fileindex:i4", I4},
    {38, 32, "FD_GetFileHeader", M, "fileindex:i4;index:i4", Text},
    {39, 33, "FD_GetItemsCount", M, "", I4},
    {40, 34, "FD_GetItemName", M, "index:i4", Text},
    {41, 35, "FD_GetItemValue", M, "index:i4", Text},
    {42, 36, "FD_FreeData", M, "", None},
    {43, 37, "FD_DeleteTMPFiles", M, "", I4},
    {44, 39, "FExists", M, "FileName:name", I4},
    {45, 40, "DirExists", M, "dirname:name", I4},
    {46, 41, "ExtractFileName", M, "FileName:text;mode:i4=0", Text},
    {47, 43, "ExtractFileExt", M, "FileName:text;mode:i4=0", Text},
    {48, 38, "ExtractFileNameOnly", M, "FileName:text;mode:i4=0", Text},
    {49, 42, "FileCopy", M, "src:name;dest:name;what:i4", I4},
    {50, 44, "FileDelete", M, "FileName:name", I4},
    {51, 45, "FileMove", M, "src:name;dest:name", I4},
    {52, 46, "DirMake", M, "dirname:name", I4},
    {53, 47, "FOpenRead", M, "FileName:name", I4},
    {54, 48, "FOpenWrite", M, "FileName:name", I4},
    {55, 49, "FOpenAppend", M, "FileName:name", I4},
    {56, 50, "DirDelete", M, "EmptyDirName:name", I4},
    {57, 51, "CreateTMPFile", M, "dir:name=", Name},
    {58, 53, "OldFilesDelete", M, "seconds:i4;dir_mask:name", I4},
};

// Members beyond the first interface. CodePage names the code page of every text the
// object makes from bytes or into bytes.
const Row kBinaryRW2Rows[] = {
    {59, 200, "CodePage", G, "", I4},
    {60, 200, "CodePage", P, ":i4", None},
    {61, 201, "FD_MaxFileSize", G, "", I8},
    {62, 201, "FD_MaxFileSize", P, ":i8", None},
    {63, 202, "FD_MaxFiles", G, "", I4},
    {64, 202, "FD_MaxFiles", P, ":i4", None},
    {65, 203, "FD_MaxFieldSize", G, "", I4},
    {66, 203, "FD_MaxFieldSize", P, ":i4", None},
    {67, 204, "FD_MaxFields", G, "", I4},
    {68, 204, "FD_MaxFields", P, ":i4", None},
    {69, 205, "SafeFileName", M, "FileName:text", Text},
};

const Row kInfoRows[] = {
    {7, 1, "GetVersion", M, "", I4},       {8, 2, "GetMinorVersion", M, "", I4},  {9, 3, "GetTrueValue", M, "", I4},
    {10, 4, "GetFalseValue", M, "", I4},   {11, 5, "GetAuthorInfo", M, "", Text}, {12, 6, "GetSystem", M, "", I4},
    {13, 7, "GetSystemText", M, "", Text},
};

ValueType parse_type(std::string_view s) {
  if (s == "text") return ValueType::Text;
  if (s == "name") return ValueType::Name;
  if (s == "i4") return ValueType::I4;
  if (s == "ui1") return ValueType::UI1;
  if (s == "i8") return ValueType::I8;
  if (s == "r8") return ValueType::R8;
  if (s == "variant") return ValueType::Variant;
  if (s == "image") return ValueType::ImageRef;
  throw std::logic_error("member table: unknown type " + std::string(s));
}

std::vector<Param> parse_params(std::string_view spec) {
  std::vector<Param> out;
  while (!spec.empty()) {
    size_t end = spec.find(';');
    std::string_view one = spec.substr(0, end);
    spec = end == std::string_view::npos ? std::string_view{} : spec.substr(end + 1);

    Param p;
    size_t colon = one.find(':');
    size_t eq = one.find('=');
    p.name = std::string(one.substr(0, colon));
    p.type = parse_type(one.substr(colon + 1, eq == std::string_view::npos ? eq : eq - colon - 1));
    if (eq != std::string_view::npos) {
      p.optional = true;
      std::string def(one.substr(eq + 1));
      if (p.type == ValueType::Text || p.type == ValueType::Name)
        p.default_text = def;
      else
        p.default_int = std::strtoll(def.c_str(), nullptr, 10);
    }
    out.push_back(std::move(p));
  }
  return out;
}

InterfaceTable build(InterfaceId id, const char* name, const char* doc, std::span<const Row> rows,
                     const InterfaceTable* base = nullptr) {
  InterfaceTable t{id, name, doc, {}, nullptr, 0};
  if (base) {
    t.base = base;
    t.members = base->members;
    t.own_first = t.members.size();
  }
  const bool image = id == InterfaceId::Image || id == InterfaceId::Image2;
  for (const Row& r : rows) {
    Member m;
    m.slot = r.slot;
    m.dispid = r.dispid;
    m.name = r.name;
    m.kind = r.kind;
    m.params = parse_params(r.params);
    m.result = r.result;
    // Every property accessor of IImage and SetTransparentColor report a raised error
    // to the caller as an exception; every other member reports through its result.
    m.guarded = image && (r.kind != MemberKind::Method || m.name == "SetTransparentColor");
    t.members.push_back(std::move(m));
  }
  return t;
}

}  // namespace

size_t Member::required_count() const {
  size_t n = 0;
  for (const Param& p : params)
    if (!p.optional) ++n;
  return n;
}

const Member* InterfaceTable::find(int32_t dispid, MemberKind kind) const {
  for (const Member& m : members)
    if (m.dispid == dispid && m.kind == kind) return &m;
  return nullptr;
}

const Member* InterfaceTable::by_name(std::string_view n) const {
  for (const Member& m : members)
    if (m.name == n) return &m;
  return nullptr;
}

const InterfaceTable& interface_table(InterfaceId id) {
  static const InterfaceTable image =
      build(InterfaceId::Image, "IImage", "Dispatch interface for image Object", kImageRows);
  static const InterfaceTable binrw =
      build(InterfaceId::BinaryRW, "IBinaryRW", "Dispatch interface for BinaryRW Object", kBinaryRWRows);
  static const InterfaceTable info = build(InterfaceId::Info, "IInfo", "Dispatch interface for Info Object", kInfoRows);
  static const InterfaceTable image2 =
      build(InterfaceId::Image2, "IImage2", "Dispatch interface for image Object, with the photo members", kImage2Rows,
            &image);
  static const InterfaceTable binrw2 =
      build(InterfaceId::BinaryRW2, "IBinaryRW2", "Dispatch interface for BinaryRW Object, with the text members",
            kBinaryRW2Rows, &binrw);
  switch (id) {
    case InterfaceId::Image: return image;
    case InterfaceId::Image2: return image2;
    case InterfaceId::BinaryRW: return binrw;
    case InterfaceId::BinaryRW2: return binrw2;
    case InterfaceId::Info: return info;
  }
  return info;
}

std::string_view to_string(ValueType t) {
  switch (t) {
    case ValueType::None: return "none";
    case ValueType::Text: return "text";
    case ValueType::Name: return "name";
    case ValueType::I4: return "i4";
    case ValueType::UI1: return "ui1";
    case ValueType::I8: return "i8";
    case ValueType::R8: return "r8";
    case ValueType::Variant: return "variant";
    case ValueType::ImageRef: return "image";
  }
  return "?";
}

std::string_view to_string(MemberKind k) {
  switch (k) {
    case MemberKind::Method: return "method";
    case MemberKind::Get: return "get";
    case MemberKind::Put: return "put";
  }
  return "?";
}

}  // namespace kelv
