#include "image/imageImpl.h"
#include "server/binding.h"

namespace kelv {
namespace {

using T = TImageImpl;
constexpr MemberKind M = MemberKind::Method;
constexpr MemberKind G = MemberKind::Get;
constexpr MemberKind P = MemberKind::Put;

const Binding<T> kImage[] = {
    {"LoadFromBmp", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.LoadFromBmp(a.text(0)); }},
    {"LoadFromJpg", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.LoadFromJpg(a.text(0)); }},
    {"CreateFromSize", M,
     [](T& o, const CallArgs& a, CallResult& r) { r.value = o.CreateFromSize(a.i4(0), a.i4(1), a.i4(2)); }},
    {"SaveToBmp", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.SaveToBmp(a.text(0)); }},
    {"SaveToJpg", M,
     [](T& o, const CallArgs& a, CallResult& r) { r.value = o.SaveToJpg(a.text(0), a.i4(1), a.i4(2), a.i4(3)); }},
    {"DeleteImage", M, [](T& o, const CallArgs&, CallResult&) { o.DeleteImage(); }},
    {"IsValidImage", M, [](T& o, const CallArgs&, CallResult& r) { r.value = o.IsValidImage(); }},
    {"IsNullImage", M, [](T& o, const CallArgs&, CallResult& r) { r.value = o.IsNullImage(); }},
    {"RotateCW", M, [](T& o, const CallArgs&, CallResult& r) { r.value = o.RotateCW(); }},
    {"RotateCCW", M, [](T& o, const CallArgs&, CallResult& r) { r.value = o.RotateCCW(); }},
    {"Rotate180", M, [](T& o, const CallArgs&, CallResult& r) { r.value = o.Rotate180(); }},
    {"ResizeImg", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.ResizeImg(a.i4(0), a.i4(1)); }},
    {"Width", G, [](T& o, const CallArgs&, CallResult& r) { r.value = o.get_Width(); }},
    {"Width", P, [](T& o, const CallArgs& a, CallResult&) { o.put_Width(a.i4(0)); }},
    {"Height", G, [](T& o, const CallArgs&, CallResult& r) { r.value = o.get_Height(); }},
    {"Height", P, [](T& o, const CallArgs& a, CallResult&) { o.put_Height(a.i4(0)); }},
    {"SetTransparentColor", M, [](T& o, const CallArgs& a, CallResult&) { o.SetTransparentColor(a.i4(0)); }},
    {"RemoveTransparency", M, [](T& o, const CallArgs&, CallResult&) { o.RemoveTransparency(); }},
    {"ChangeSize", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.ChangeSize(a.i4(0), a.i4(1)); }},
    {"DefaultJpgQuality", G, [](T& o, const CallArgs&, CallResult& r) { r.value = o.get_DefaultJpgQuality(); }},
    {"DefaultJpgQuality", P, [](T& o, const CallArgs& a, CallResult&) { o.put_DefaultJpgQuality(a.i4(0)); }},
    {"DefaultJpgSmoothing", G, [](T& o, const CallArgs&, CallResult& r) { r.value = o.get_DefaultJpgSmoothing(); }},
    {"DefaultJpgSmoothing", P, [](T& o, const CallArgs& a, CallResult&) { o.put_DefaultJpgSmoothing(a.i4(0)); }},
    {"DefaultJpgProgressive", G,
     [](T& o, const CallArgs&, CallResult& r) { r.value = o.get_DefaultJpgProgressive(); }},
    {"DefaultJpgProgressive", P,
     [](T& o, const CallArgs& a, CallResult&) { o.put_DefaultJpgProgressive(a.i4(0)); }},
    {"GetColorFromRGB", M,
     [](T&, const CallArgs& a, CallResult& r) { r.value = T::GetColorFromRGB(a.ui1(0), a.ui1(1), a.ui1(2)); }},
    {"GetRFromColor", M, [](T&, const CallArgs& a, CallResult& r) { r.value = T::GetRFromColor(a.i4(0)); }},
    {"GetGFromColor", M, [](T&, const CallArgs& a, CallResult& r) { r.value = T::GetGFromColor(a.i4(0)); }},
    {"GetBFromColor", M, [](T&, const CallArgs& a, CallResult& r) { r.value = T::GetBFromColor(a.i4(0)); }},
    {"GetColor", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.GetColor(a.i4(0), a.i4(1)); }},
    {"Line", M, [](T& o, const CallArgs& a, CallResult&) { o.Line(a.i4(0), a.i4(1), a.i4(2), a.i4(3)); }},
    {"MoveTo", M, [](T& o, const CallArgs& a, CallResult&) { o.MoveTo(a.i4(0), a.i4(1)); }},
    {"LineTo", M, [](T& o, const CallArgs& a, CallResult&) { o.LineTo(a.i4(0), a.i4(1)); }},
    {"Rectangle", M, [](T& o, const CallArgs& a, CallResult&) { o.Rectangle(a.i4(0), a.i4(1), a.i4(2), a.i4(3)); }},
    {"FillRect", M, [](T& o, const CallArgs& a, CallResult&) { o.FillRect(a.i4(0), a.i4(1), a.i4(2), a.i4(3)); }},
    {"Ellipse", M, [](T& o, const CallArgs& a, CallResult&) { o.Ellipse(a.i4(0), a.i4(1), a.i4(2), a.i4(3)); }},
    {"LineRect", M, [](T& o, const CallArgs& a, CallResult&) { o.LineRect(a.i4(0), a.i4(1), a.i4(2), a.i4(3)); }},
    {"LineEllipse", M,
     [](T& o, const CallArgs& a, CallResult&) { o.LineEllipse(a.i4(0), a.i4(1), a.i4(2), a.i4(3)); }},
    {"TextOut", M, [](T& o, const CallArgs& a, CallResult&) { o.TextOut(a.i4(0), a.i4(1), a.text(2)); }},
    {"GetTextWidth", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.GetTextWidth(a.text(0)); }},
    {"GetTextHeight", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.GetTextHeight(a.text(0)); }},
    {"PenColor", G, [](T& o, const CallArgs&, CallResult& r) { r.value = o.get_PenColor(); }},
    {"PenColor", P, [](T& o, const CallArgs& a, CallResult&) { o.put_PenColor(a.i4(0)); }},
    {"PenWidth", G, [](T& o, const CallArgs&, CallResult& r) { r.value = o.get_PenWidth(); }},
    {"PenWidth", P, [](T& o, const CallArgs& a, CallResult&) { o.put_PenWidth(a.i4(0)); }},
    {"BrushColor", G, [](T& o, const CallArgs&, CallResult& r) { r.value = o.get_BrushColor(); }},
    {"BrushColor", P, [](T& o, const CallArgs& a, CallResult&) { o.put_BrushColor(a.i4(0)); }},
    {"BrushStyle", G, [](T& o, const CallArgs&, CallResult& r) { r.value = o.get_BrushStyle(); }},
    {"BrushStyle", P, [](T& o, const CallArgs& a, CallResult&) { o.put_BrushStyle(a.ui1(0)); }},
    {"FontName", G, [](T& o, const CallArgs&, CallResult& r) { r.value = o.get_FontName(); }},
    {"FontName", P, [](T& o, const CallArgs& a, CallResult&) { o.put_FontName(a.text(0)); }},
    {"FontHeight", G, [](T& o, const CallArgs&, CallResult& r) { r.value = o.get_FontHeight(); }},
    {"FontHeight", P, [](T& o, const CallArgs& a, CallResult&) { o.put_FontHeight(a.i4(0)); }},
    {"FontColor", G, [](T& o, const CallArgs&, CallResult& r) { r.value = o.get_FontColor(); }},
    {"FontColor", P, [](T& o, const CallArgs& a, CallResult&) { o.put_FontColor(a.i4(0)); }},
    {"FontStyle", G, [](T& o, const CallArgs&, CallResult& r) { r.value = o.get_FontStyle(); }},
    {"FontStyle", P, [](T& o, const CallArgs& a, CallResult&) { o.put_FontStyle(a.ui1(0)); }},
    {"FontCharSet", G, [](T& o, const CallArgs&, CallResult& r) { r.value = o.get_FontCharSet(); }},
    {"FontCharSet", P, [](T& o, const CallArgs& a, CallResult&) { o.put_FontCharSet(a.ui1(0)); }},
    {"cntThumbBorder", G, [](T& o, const CallArgs&, CallResult& r) { r.value = o.get_cntThumbBorder(); }},
    {"cntThumbBorder", P, [](T& o, const CallArgs& a, CallResult&) { o.put_cntThumbBorder(a.i4(0)); }},
    {"SetThumbBorder", M,
     [](T& o, const CallArgs& a, CallResult& r) { r.value = o.SetThumbBorder(a.i4(0), a.i4(1)); }},
    {"GetThumbBorder", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.GetThumbBorder(a.i4(0)); }},
    {"MakeThumb", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.MakeThumb(a.i4(0), a.i4(1)); }},
    {"ThumbBgColor", G, [](T& o, const CallArgs&, CallResult& r) { r.value = o.get_ThumbBgColor(); }},
    {"ThumbBgColor", P, [](T& o, const CallArgs& a, CallResult&) { o.put_ThumbBgColor(a.i4(0)); }},
    {"HeaderReadBmp", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.HeaderReadBmp(a.text(0)); }},
    {"HeaderReadJpg", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.HeaderReadJpg(a.text(0)); }},
    {"HeaderGetWidth", M, [](T& o, const CallArgs&, CallResult& r) { r.value = o.HeaderGetWidth(); }},
    {"HeaderGetHeight", M, [](T& o, const CallArgs&, CallResult& r) { r.value = o.HeaderGetHeight(); }},
    {"HeaderGetHtmlWH", M, [](T& o, const CallArgs&, CallResult& r) { r.value = o.HeaderGetHtmlWH(); }},
    {"GetHtmlWH", M, [](T& o, const CallArgs&, CallResult& r) { r.value = o.GetHtmlWH(); }},
    {"GetBmp", M, [](T& o, const CallArgs&, CallResult& r) { r.value = o.GetBmp(); }},
    {"Draw", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.Draw(a.i4(0), a.i4(1), a.image(2)); }},
    {"StretchDraw", M,
     [](T& o, const CallArgs& a, CallResult& r) {
       r.value = o.StretchDraw(a.i4(0), a.i4(1), a.i4(2), a.i4(3), a.image(4));
     }},
    {"AssignPicture", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.AssignPicture(a.image(0)); }},
    {"SaveToBufferBmp", M, [](T& o, const CallArgs&, CallResult& r) { r.value = o.SaveToBufferBmp(); }},
    {"SaveToBufferJpg", M,
     [](T& o, const CallArgs& a, CallResult& r) { r.value = o.SaveToBufferJpg(a.i4(0), a.i4(1), a.i4(2)); }},
    // The second interface.
    {"ResampleMode", G, [](T& o, const CallArgs&, CallResult& r) { r.value = o.get_ResampleMode(); }},
    {"ResampleMode", P, [](T& o, const CallArgs& a, CallResult&) { o.put_ResampleMode(a.i4(0)); }},
    {"LoadFromJpgMin", M,
     [](T& o, const CallArgs& a, CallResult& r) { r.value = o.LoadFromJpgMin(a.text(0), a.i4(1), a.i4(2)); }},
    {"JpgOrientation", G, [](T& o, const CallArgs&, CallResult& r) { r.value = o.get_JpgOrientation(); }},
    {"ApplyOrientation", M, [](T& o, const CallArgs&, CallResult& r) { r.value = o.ApplyOrientation(); }},
    {"FlipHorizontal", M, [](T& o, const CallArgs&, CallResult& r) { r.value = o.FlipHorizontal(); }},
    {"FlipVertical", M, [](T& o, const CallArgs&, CallResult& r) { r.value = o.FlipVertical(); }},
    {"LoadFromPng", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.LoadFromPng(a.text(0)); }},
    {"SaveToPng", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.SaveToPng(a.text(0), a.i4(1)); }},
    {"SaveToBufferPng", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.SaveToBufferPng(a.i4(0)); }},
    {"HeaderReadPng", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.HeaderReadPng(a.text(0)); }},
    {"LoadFromFile", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.LoadFromFile(a.text(0)); }},
    {"HeaderReadFile", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.HeaderReadFile(a.text(0)); }},
};

}  // namespace

const std::vector<Thunk<TImageImpl>>& image_slots() {
  static const auto slots = bind_slots<T>(interface_table(InterfaceId::Image2), std::span<const Binding<T>>(kImage));
  return slots;
}

}  // namespace kelv
