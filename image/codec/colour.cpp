// All lcms2 calls. The library runs in a context of our own whose error handler keeps
// quiet (a damaged profile is a clean failure, never output or an exit); profiles and
// transforms are closed on every path by small owners.
#include "image/codec/colour.h"

#include <lcms2.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace kelv::codec {
namespace {

extern "C" void on_lcms_error(cmsContext, cmsUInt32Number, const char*) {}

cmsContext context() {
  static const cmsContext ctx = [] {
    cmsSetLogErrorHandler(on_lcms_error);
    cmsContext c = cmsCreateContext(nullptr, nullptr);
    if (c) cmsSetLogErrorHandlerTHR(c, on_lcms_error);
    return c;
  }();
  return ctx;
}

// A profile or transform handle, closed when it goes.
template <class Handle, auto Close>
struct Owner {
  Handle h = nullptr;
  explicit Owner(Handle handle) : h(handle) {}
  Owner(const Owner&) = delete;
  Owner& operator=(const Owner&) = delete;
  ~Owner() {
    if (h) Close(h);
  }
  explicit operator bool() const { return h != nullptr; }
};
using Profile = Owner<cmsHPROFILE, cmsCloseProfile>;
using Transform = Owner<cmsHTRANSFORM, cmsDeleteTransform>;

// The profile the bytes hold; sRGB for none.
Profile open(std::span<const uint8_t> icc) {
  if (icc.empty()) return Profile(cmsCreate_sRGBProfileTHR(context()));
  return Profile(cmsOpenProfileFromMemTHR(context(), icc.data(), static_cast<cmsUInt32Number>(icc.size())));
}

// The profile classes that describe how pixels look (not links, abstract or named
// colours).
bool describes_pixels(cmsHPROFILE h) {
  const cmsProfileClassSignature c = cmsGetDeviceClass(h);
  return c == cmsSigDisplayClass || c == cmsSigInputClass || c == cmsSigOutputClass || c == cmsSigColorSpaceClass;
}

bool close_xyz(const cmsCIEXYZ* a, const cmsCIEXYZ* b) {
  // Profiles of sRGB round their colorants differently in the fourth decimal.
  constexpr double kTolerance = 0.003;
  return a && b && std::fabs(a->X - b->X) < kTolerance && std::fabs(a->Y - b->Y) < kTolerance &&
         std::fabs(a->Z - b->Z) < kTolerance;
}

bool close_curve(const cmsToneCurve* a, const cmsToneCurve* b) {
  if (!a || !b) return false;
  constexpr int kSteps = 32;
  for (int i = 0; i <= kSteps; ++i) {
    const float t = static_cast<float>(i) / kSteps;
    if (std::fabs(cmsEvalToneCurveFloat(a, t) - cmsEvalToneCurveFloat(b, t)) > 0.004f) return false;
  }
  return true;
}

bool same_as_srgb(cmsHPROFILE h) {
  if (cmsGetColorSpace(h) != cmsSigRgbData || !cmsIsMatrixShaper(h)) return false;
  const Profile srgb(cmsCreate_sRGBProfileTHR(context()));
  if (!srgb) return false;
  constexpr cmsTagSignature kColorants[] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
  constexpr cmsTagSignature kCurves[] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
  for (int i = 0; i < 3; ++i) {
    if (!close_xyz(static_cast<const cmsCIEXYZ*>(cmsReadTag(h, kColorants[i])),
                   static_cast<const cmsCIEXYZ*>(cmsReadTag(srgb.h, kColorants[i]))) ||
        !close_curve(static_cast<const cmsToneCurve*>(cmsReadTag(h, kCurves[i])),
                     static_cast<const cmsToneCurve*>(cmsReadTag(srgb.h, kCurves[i]))))
      return false;
  }
  return true;
}

constexpr cmsUInt32Number kIntent = INTENT_RELATIVE_COLORIMETRIC;
constexpr cmsUInt32Number kFlags = cmsFLAGS_BLACKPOINTCOMPENSATION;

IccBytes save(cmsHPROFILE h) {
  cmsUInt32Number size = 0;
  if (!cmsSaveProfileToMem(h, nullptr, &size) || size == 0) return {};
  IccBytes out(size);
  if (!cmsSaveProfileToMem(h, out.data(), &size)) return {};
  out.resize(size);
  return out;
}

// An RGB profile of the given white, primaries and one tone curve for all three
// channels, described as `name`. Written as a version 2 profile, which every
// colour-managed viewer reads.
IccBytes build_rgb(const cmsCIExyY& white, const cmsCIExyYTRIPLE& primaries, cmsToneCurve* curve,
                   const std::string& name) {
  if (!curve) return {};
  cmsToneCurve* curves[3] = {curve, curve, curve};
  Profile p(cmsCreateRGBProfileTHR(context(), &white, &primaries, curves));
  cmsFreeToneCurve(curve);
  if (!p) return {};
  cmsSetProfileVersion(p.h, 2.1);
  cmsMLU* text = cmsMLUalloc(context(), 1);
  if (!text) return {};
  const bool named =
      cmsMLUsetASCII(text, "en", "US", name.c_str()) && cmsWriteTag(p.h, cmsSigProfileDescriptionTag, text);
  cmsMLUfree(text);
  return named ? save(p.h) : IccBytes{};
}

cmsToneCurve* gamma_curve(double gamma) { return cmsBuildGamma(context(), gamma); }

// The piecewise curves of sRGB and BT.709 (lcms2's parametric type 4:
// Y = (aX + b)^g for X >= d, Y = cX below).
cmsToneCurve* srgb_curve() {
  const cmsFloat64Number p[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
  return cmsBuildParametricToneCurve(context(), 4, p);
}

cmsToneCurve* bt709_curve() {
  const cmsFloat64Number p[5] = {1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081};
  return cmsBuildParametricToneCurve(context(), 4, p);
}

constexpr cmsCIExyY kD65{0.3127, 0.3290, 1.0};
constexpr cmsCIExyYTRIPLE kSrgbPrimaries{{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};

struct NclxPrimaries {
  uint16_t code;
  const char* name;
  cmsCIExyY white;
  cmsCIExyYTRIPLE rgb;
};

// H.273 colour primaries that an RGB profile describes.
constexpr NclxPrimaries kNclxPrimaries[] = {
    {1, "BT.709", kD65, kSrgbPrimaries},
    {4, "BT.470 System M", {0.310, 0.316, 1.0}, {{0.67, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.14, 0.08, 1.0}}},
    {5, "BT.601 (625 lines)", kD65, {{0.64, 0.33, 1.0}, {0.29, 0.60, 1.0}, {0.15, 0.06, 1.0}}},
    {6, "BT.601 (525 lines)", kD65, {{0.630, 0.340, 1.0}, {0.310, 0.595, 1.0}, {0.155, 0.070, 1.0}}},
    {7, "SMPTE 240M", kD65, {{0.630, 0.340, 1.0}, {0.310, 0.595, 1.0}, {0.155, 0.070, 1.0}}},
    {9, "BT.2020", kD65, {{0.708, 0.292, 1.0}, {0.170, 0.797, 1.0}, {0.131, 0.046, 1.0}}},
    {11, "DCI-P3", {0.314, 0.351, 1.0}, {{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}}},
    {12, "Display P3", kD65, {{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}}},
};

bool bt709_family(uint16_t transfer) { return transfer == 1 || transfer == 6 || transfer == 14 || transfer == 15; }

}  // namespace

bool is_srgb(std::span<const uint8_t> icc) {
  if (icc.empty()) return false;
  const Profile p = open(icc);
  return p && same_as_srgb(p.h);
}

IccBytes kept_profile(std::span<const uint8_t> icc) {
  if (icc.empty()) return {};
  const Profile p = open(icc);
  if (!p || cmsGetColorSpace(p.h) != cmsSigRgbData || !describes_pixels(p.h) ||
      !cmsIsIntentSupported(p.h, kIntent, LCMS_USED_AS_INPUT) || same_as_srgb(p.h))
    return {};
  return IccBytes(icc.begin(), icc.end());
}

std::string profile_description(std::span<const uint8_t> icc) {
  if (icc.empty()) return {};
  const Profile p = open(icc);
  if (!p) return {};
  std::array<char, 256> text{};
  if (cmsGetProfileInfoASCII(p.h, cmsInfoDescription, "en", "US", text.data(), text.size()) == 0) return {};
  std::string out(text.data(), strnlen(text.data(), text.size()));
  // Only printable characters, without the spaces some writers pad with.
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
  const auto last = out.find_last_not_of(' ');
  out.erase(last == std::string::npos ? 0 : last + 1);
  return out;
}

bool convert_pixels(raster::Bitmap& bmp, std::span<const uint8_t> from, std::span<const uint8_t> to) {
  if (std::ranges::equal(from, to)) return true;
  const Profile in = open(from), out = open(to);
  if (!in || !out) return false;
  const Transform t(cmsCreateTransformTHR(context(), in.h, TYPE_BGR_8, out.h, TYPE_BGR_8, kIntent, kFlags));
  if (!t.h) return false;
  if (bmp.empty()) return true;
  // Rows of one layout in and out: the transform works in place, row stride honoured.
  const auto stride = static_cast<cmsUInt32Number>(bmp.stride());
  cmsDoTransformLineStride(t.h, bmp.row(0), bmp.row(0), static_cast<cmsUInt32Number>(bmp.width()),
                           static_cast<cmsUInt32Number>(bmp.height()), stride, stride, 0, 0);
  return true;
}

ColoursFromSrgb::ColoursFromSrgb() = default;

ColoursFromSrgb::~ColoursFromSrgb() {
  if (m_transform) cmsDeleteTransform(static_cast<cmsHTRANSFORM>(m_transform));
}

void ColoursFromSrgb::use(std::span<const uint8_t> icc) {
  if (m_transform) cmsDeleteTransform(static_cast<cmsHTRANSFORM>(m_transform));
  m_transform = nullptr;
  m_done.clear();
  m_profile.assign(icc.begin(), icc.end());
  const Profile srgb = open({}), target = open(icc);
  if (srgb && target && cmsGetColorSpace(target.h) == cmsSigRgbData)
    m_transform = cmsCreateTransformTHR(context(), srgb.h, TYPE_BGR_8, target.h, TYPE_BGR_8, kIntent, kFlags);
}

raster::Bgr ColoursFromSrgb::in(std::span<const uint8_t> icc, raster::Bgr srgb) {
  if (icc.empty()) return srgb;
  if (!std::ranges::equal(icc, m_profile)) use(icc);
  if (!m_transform) return srgb;
  // A script that draws with ever new colours keeps only the latest few thousand.
  constexpr size_t kMostColours = 4096;
  const int32_t key = raster::to_colour(srgb);
  if (const auto found = m_done.find(key); found != m_done.end()) return found->second;
  if (m_done.size() >= kMostColours) m_done.clear();
  raster::Bgr out;
  static_assert(sizeof(raster::Bgr) == 3);
  cmsDoTransform(static_cast<cmsHTRANSFORM>(m_transform), &srgb, &out, 1);
  m_done.emplace(key, out);
  return out;
}

std::unique_ptr<RowConverter> RowConverter::to_srgb(std::span<const uint8_t> icc, PixelLayout layout) {
  const Profile in = open(icc), out = open({});
  if (!in || !out) return nullptr;
  const bool cmyk = layout != PixelLayout::Bgr;
  if (cmsGetColorSpace(in.h) != (cmyk ? cmsSigCmykData : cmsSigRgbData)) return nullptr;
  const cmsUInt32Number format = layout == PixelLayout::Bgr    ? TYPE_BGR_8
                                 : layout == PixelLayout::Cmyk ? TYPE_CMYK_8
                                                               : TYPE_CMYK_8_REV;
  cmsHTRANSFORM t = cmsCreateTransformTHR(context(), in.h, format, out.h, TYPE_BGR_8, kIntent, kFlags);
  if (!t) return nullptr;
  return std::unique_ptr<RowConverter>(new RowConverter(t));
}

RowConverter::~RowConverter() { cmsDeleteTransform(static_cast<cmsHTRANSFORM>(m_transform)); }

void RowConverter::apply(const uint8_t* in, uint8_t* out, size_t pixels) const {
  cmsDoTransform(static_cast<cmsHTRANSFORM>(m_transform), in, out, static_cast<cmsUInt32Number>(pixels));
}

IccBytes icc_from_png(uint32_t gamma, const double* chromaticities) {
  if (gamma == 0) return {};
  cmsCIExyY white = kD65;
  cmsCIExyYTRIPLE rgb = kSrgbPrimaries;
  bool srgb_primaries = true;
  if (chromaticities) {
    const double* c = chromaticities;
    white = {c[0], c[1], 1.0};
    rgb = {{c[2], c[3], 1.0}, {c[4], c[5], 1.0}, {c[6], c[7], 1.0}};
    constexpr double kSrgb[8] = {0.3127, 0.3290, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06};
    for (int i = 0; i < 8; ++i) srgb_primaries = srgb_primaries && std::fabs(c[i] - kSrgb[i]) < 0.01;
  }
  // Writers mark sRGB files with a gamma of 1/2.2 (45455) beside sRGB's chromaticities.
  if (srgb_primaries && gamma >= 44955 && gamma <= 45955) return {};
  return build_rgb(white, rgb, gamma_curve(100000.0 / gamma),
                   srgb_primaries ? "PNG gamma" : "PNG gamma and chromaticities");
}

IccBytes icc_from_nclx(uint16_t primaries, uint16_t transfer) {
  // 2 is "unspecified" for both: taken as sRGB's.
  if (primaries == 2) primaries = 1;
  if (transfer == 2) transfer = 13;
  if (primaries == 1 && (transfer == 13 || bt709_family(transfer))) return {};
  const auto* p = std::ranges::find_if(kNclxPrimaries, [&](const NclxPrimaries& e) { return e.code == primaries; });
  if (p == std::end(kNclxPrimaries)) return {};
  std::string name = p->name;
  cmsToneCurve* curve = nullptr;
  if (transfer == 13) {
    curve = srgb_curve();
  } else if (bt709_family(transfer)) {
    curve = bt709_curve();
    name += ", BT.709 transfer";
  } else if (transfer == 4 || transfer == 5 || transfer == 8) {
    const double g = transfer == 4 ? 2.2 : transfer == 5 ? 2.8 : 1.0;
    curve = gamma_curve(g);
    name += transfer == 8 ? ", linear" : transfer == 4 ? ", gamma 2.2" : ", gamma 2.8";
  } else {
    return {};  // PQ, HLG and the rest have no ICC form here
  }
  return build_rgb(p->white, p->rgb, curve, name);
}

}  // namespace kelv::codec
