#include "image/image.h"
#include "server/binding.h"

namespace kelv {
namespace {

using T = TImageImpl;
constexpr MemberKind M = MemberKind::Method;
constexpr MemberKind G = MemberKind::Get;
constexpr MemberKind P = MemberKind::Put;

const Binding<T> kImage[] = {
    {"LoadFromBmp", M, method<T, &T::LoadFromBmp>},
    {"LoadFromJpg", M, method<T, &T::LoadFromJpg>},
    {"CreateFromSize", M, method<T, &T::CreateFromSize>},
    {"SaveToBmp", M, method<T, &T::SaveToBmp>},
    {"SaveToJpg", M, method<T, &T::SaveToJpg>},
    {"DeleteImage", M, method<T, &T::DeleteImage>},
    {"IsValidImage", M, method<T, &T::IsValidImage>},
    {"IsNullImage", M, method<T, &T::IsNullImage>},
    {"RotateCW", M, method<T, &T::RotateCW>},
    {"RotateCCW", M, method<T, &T::RotateCCW>},
    {"Rotate180", M, method<T, &T::Rotate180>},
    {"ResizeImg", M, method<T, &T::ResizeImg>},
    {"Width", G, method<T, &T::get_Width>},
    {"Width", P, method<T, &T::put_Width>},
    {"Height", G, method<T, &T::get_Height>},
    {"Height", P, method<T, &T::put_Height>},
    {"SetTransparentColor", M, method<T, &T::SetTransparentColor>},
    {"RemoveTransparency", M, method<T, &T::RemoveTransparency>},
    {"ChangeSize", M, method<T, &T::ChangeSize>},
    {"DefaultJpgQuality", G, method<T, &T::get_DefaultJpgQuality>},
    {"DefaultJpgQuality", P, method<T, &T::put_DefaultJpgQuality>},
    {"DefaultJpgSmoothing", G, method<T, &T::get_DefaultJpgSmoothing>},
    {"DefaultJpgSmoothing", P, method<T, &T::put_DefaultJpgSmoothing>},
    {"DefaultJpgProgressive", G, method<T, &T::get_DefaultJpgProgressive>},
    {"DefaultJpgProgressive", P, method<T, &T::put_DefaultJpgProgressive>},
    {"GetColorFromRGB", M, method<T, &T::GetColorFromRGB>},
    {"GetRFromColor", M, method<T, &T::GetRFromColor>},
    {"GetGFromColor", M, method<T, &T::GetGFromColor>},
    {"GetBFromColor", M, method<T, &T::GetBFromColor>},
    {"GetColor", M, method<T, &T::GetColor>},
    {"Line", M, method<T, &T::Line>},
    {"MoveTo", M, method<T, &T::MoveTo>},
    {"LineTo", M, method<T, &T::LineTo>},
    {"Rectangle", M, method<T, &T::Rectangle>},
    {"FillRect", M, method<T, &T::FillRect>},
    {"Ellipse", M, method<T, &T::Ellipse>},
    {"LineRect", M, method<T, &T::LineRect>},
    {"LineEllipse", M, method<T, &T::LineEllipse>},
    {"TextOut", M, method<T, &T::TextOut>},
    {"GetTextWidth", M, method<T, &T::GetTextWidth>},
    {"GetTextHeight", M, method<T, &T::GetTextHeight>},
    {"PenColor", G, method<T, &T::get_PenColor>},
    {"PenColor", P, method<T, &T::put_PenColor>},
    {"PenWidth", G, method<T, &T::get_PenWidth>},
    {"PenWidth", P, method<T, &T::put_PenWidth>},
    {"BrushColor", G, method<T, &T::get_BrushColor>},
    {"BrushColor", P, method<T, &T::put_BrushColor>},
    {"BrushStyle", G, method<T, &T::get_BrushStyle>},
    {"BrushStyle", P, method<T, &T::put_BrushStyle>},
    {"FontName", G, method<T, &T::get_FontName>},
    {"FontName", P, method<T, &T::put_FontName>},
    {"FontHeight", G, method<T, &T::get_FontHeight>},
    {"FontHeight", P, method<T, &T::put_FontHeight>},
    {"FontColor", G, method<T, &T::get_FontColor>},
    {"FontColor", P, method<T, &T::put_FontColor>},
    {"FontStyle", G, method<T, &T::get_FontStyle>},
    {"FontStyle", P, method<T, &T::put_FontStyle>},
    {"FontCharSet", G, method<T, &T::get_FontCharSet>},
    {"FontCharSet", P, method<T, &T::put_FontCharSet>},
    {"cntThumbBorder", G, method<T, &T::get_cntThumbBorder>},
    {"cntThumbBorder", P, method<T, &T::put_cntThumbBorder>},
    {"SetThumbBorder", M, method<T, &T::SetThumbBorder>},
    {"GetThumbBorder", M, method<T, &T::GetThumbBorder>},
    {"MakeThumb", M, method<T, &T::MakeThumb>},
    {"ThumbBgColor", G, method<T, &T::get_ThumbBgColor>},
    {"ThumbBgColor", P, method<T, &T::put_ThumbBgColor>},
    {"HeaderReadBmp", M, method<T, &T::HeaderReadBmp>},
    {"HeaderReadJpg", M, method<T, &T::HeaderReadJpg>},
    {"HeaderGetWidth", M, method<T, &T::HeaderGetWidth>},
    {"HeaderGetHeight", M, method<T, &T::HeaderGetHeight>},
    {"HeaderGetHtmlWH", M, method<T, &T::HeaderGetHtmlWH>},
    {"GetHtmlWH", M, method<T, &T::GetHtmlWH>},
    {"GetBmp", M, method<T, &T::GetBmp>},
    {"Draw", M, method<T, &T::Draw>},
    {"StretchDraw", M, method<T, &T::StretchDraw>},
    {"AssignPicture", M, method<T, &T::AssignPicture>},
    {"SaveToBufferBmp", M, method<T, &T::SaveToBufferBmp>},
    {"SaveToBufferJpg", M, method<T, &T::SaveToBufferJpg>},
    // The second interface.
    {"ResampleMode", G, method<T, &T::get_ResampleMode>},
    {"ResampleMode", P, method<T, &T::put_ResampleMode>},
    {"LoadFromJpgMin", M, method<T, &T::LoadFromJpgMin>},
    {"JpgOrientation", G, method<T, &T::get_JpgOrientation>},
    {"ApplyOrientation", M, method<T, &T::ApplyOrientation>},
    {"FlipHorizontal", M, method<T, &T::FlipHorizontal>},
    {"FlipVertical", M, method<T, &T::FlipVertical>},
    {"LoadFromPng", M, method<T, &T::LoadFromPng>},
    {"SaveToPng", M, method<T, &T::SaveToPng>},
    {"SaveToBufferPng", M, method<T, &T::SaveToBufferPng>},
    {"HeaderReadPng", M, method<T, &T::HeaderReadPng>},
    {"LoadFromFile", M, method<T, &T::LoadFromFile>},
    {"HeaderReadFile", M, method<T, &T::HeaderReadFile>},
    {"HeaderGetFileSize", M, method<T, &T::HeaderGetFileSize>},
};

}  // namespace

const std::vector<Thunk<TImageImpl>>& image_slots() {
  static const auto slots = bind_slots<T>(interface_table(InterfaceId::Image2), std::span<const Binding<T>>(kImage));
  return slots;
}

}  // namespace kelv
