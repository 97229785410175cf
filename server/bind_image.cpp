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
};

}  // namespace

const std::vector<Thunk<TImageImpl>>& image_slots() {
  static const auto slots = bind_slots<T>(interface_table(InterfaceId::Image), std::span<const Binding<T>>(kImage));
  return slots;
}

}  // namespace kelv
