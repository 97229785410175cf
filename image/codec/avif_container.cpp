#include "image/codec/avif_container.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>

namespace kelv::codec {
namespace {

// The container boxes that are read into memory are capped: an image's metadata is a
// few hundred bytes, a long sequence's sample tables some kilobytes.
constexpr uint64_t kMaxBoxRead = 16u << 20;
// The head of the file that holds its type box.
constexpr size_t kTypeBoxBytes = 64;
constexpr size_t kMaxExtents = 4096;
constexpr size_t kMaxProperties = 4096;
constexpr size_t kMaxItems = 65536;

constexpr char kAlphaUrn[] = "urn:mpeg:mpegB:cicp:systems:auxiliary:alpha";
constexpr char kAlphaUrnHevc[] = "urn:mpeg:hevc:2015:auxid:1";

using Type = uint32_t;
constexpr Type fourcc(const char (&s)[5]) {
  return Type(uint8_t(s[0])) << 24 | Type(uint8_t(s[1])) << 16 | Type(uint8_t(s[2])) << 8 | Type(uint8_t(s[3]));
}

// A big-endian reader over a span that fails (and stays failed) on any read past its
// end.
class In {
 public:
  explicit In(std::span<const uint8_t> bytes) : m_bytes(bytes) {}
  bool ok() const { return m_ok; }
  size_t left() const { return m_ok ? m_bytes.size() - m_at : 0; }
  uint64_t n(size_t bytes) {
    if (!need(bytes)) return 0;
    uint64_t v = 0;
    for (size_t k = 0; k < bytes; ++k) v = v << 8 | m_bytes[m_at++];
    return v;
  }
  uint8_t u8() { return static_cast<uint8_t>(n(1)); }
  uint16_t u16() { return static_cast<uint16_t>(n(2)); }
  uint32_t u32() { return static_cast<uint32_t>(n(4)); }
  std::span<const uint8_t> take(size_t bytes) {
    if (!need(bytes)) return {};
    auto s = m_bytes.subspan(m_at, bytes);
    m_at += bytes;
    return s;
  }
  void skip(size_t bytes) { take(bytes); }
  // A zero-terminated string (the terminator is passed over).
  std::string text() {
    std::string s;
    while (need(1)) {
      const char c = static_cast<char>(m_bytes[m_at++]);
      if (c == '\0') return s;
      s += c;
    }
    return s;
  }

 private:
  bool need(size_t bytes) {
    if (!m_ok || bytes > m_bytes.size() - m_at) m_ok = false;
    return m_ok;
  }
  std::span<const uint8_t> m_bytes;
  size_t m_at = 0;
  bool m_ok = true;
};

struct Box {
  Type type = 0;
  std::span<const uint8_t> body;
};

// The boxes of a span, in order; false when one runs past the span's end.
bool boxes(std::span<const uint8_t> bytes, std::vector<Box>& out) {
  In in(bytes);
  while (in.left() > 0) {
    uint64_t size = in.u32();
    const Type type = in.u32();
    size_t header = 8;
    if (size == 1) size = in.n(8), header = 16;
    if (!in.ok()) return false;
    if (size == 0) size = in.left() + header;
    if (size < header || size - header > in.left()) return false;
    out.push_back(Box{type, in.take(static_cast<size_t>(size - header))});
  }
  return in.ok();
}

const Box* find(const std::vector<Box>& list, Type type) {
  for (const Box& b : list)
    if (b.type == type) return &b;
  return nullptr;
}

// The version of a full box; its flags go to `flags`.
uint8_t full_box(In& in, uint32_t* flags = nullptr) {
  const uint32_t vf = in.u32();
  if (flags) *flags = vf & 0xFFFFFF;
  return static_cast<uint8_t>(vf >> 24);
}

// What the properties of an item say.
struct Properties {
  uint32_t width = 0, height = 0;
  bool has_ispe = false;
  bool has_av1c = false;
  bool alpha_aux = false;
  AvifColour colour;
};

void read_property(const Box& b, Properties& p) {
  In in(b.body);
  switch (b.type) {
    case fourcc("ispe"):
      full_box(in);
      p.width = in.u32();
      p.height = in.u32();
      p.has_ispe = in.ok();
      break;
    case fourcc("av1C"): p.has_av1c = in.u8() == 0x81 && in.ok(); break;
    case fourcc("colr"):
      if (in.u32() == fourcc("nclx")) {
        AvifColour c;
        c.primaries = in.u16();
        c.transfer = in.u16();
        c.matrix = in.u16();
        c.full_range = (in.u8() & 0x80) != 0;
        c.given = in.ok();
        if (c.given && !p.colour.given) p.colour = c;
      }
      break;
    case fourcc("auxC"): {
      full_box(in);
      const std::string urn = in.text();
      p.alpha_aux = urn == kAlphaUrn || urn == kAlphaUrnHevc;
      break;
    }
    default: break;
  }
}

struct Item {
  Type type = 0;
  uint8_t method = 0;  // 0: in the file, 1: in the item data box
  std::vector<AvifImage::Extent> extents;
  std::vector<uint16_t> property_indices;  // 1-based into the property container
};

struct Reference {
  Type type;
  uint32_t from;
  uint32_t to;
};

bool parse_iloc(std::span<const uint8_t> body, std::map<uint32_t, Item>& items) {
  In in(body);
  const uint8_t version = full_box(in);
  if (version > 2) return false;
  const uint8_t sizes = in.u8(), more = in.u8();
  const size_t offset_size = sizes >> 4, length_size = sizes & 15, base_size = more >> 4;
  const size_t index_size = version >= 1 ? (more & 15) : 0;
  auto valid = [](size_t s) { return s == 0 || s == 4 || s == 8; };
  if (!valid(offset_size) || !valid(length_size) || !valid(base_size) || !valid(index_size)) return false;
  const uint32_t count = version < 2 ? in.u16() : in.u32();
  for (uint32_t i = 0; i < count && in.ok(); ++i) {
    const uint32_t id = version < 2 ? in.u16() : in.u32();
    uint8_t method = 0;
    if (version >= 1) method = in.u16() & 15;
    in.skip(2);  // data reference index: the file itself
    const uint64_t base = in.n(base_size);
    const uint16_t extents = in.u16();
    if (!in.ok() || extents > kMaxExtents || items.size() >= kMaxItems) return false;
    Item& item = items[id];
    item.method = method;
    item.extents.clear();
    for (uint16_t e = 0; e < extents; ++e) {
      in.skip(index_size);
      const uint64_t offset = in.n(offset_size), length = in.n(length_size);
      if (base > UINT64_MAX - offset) return false;
      item.extents.push_back({base + offset, length});
    }
  }
  return in.ok();
}

bool parse_iinf(std::span<const uint8_t> body, std::map<uint32_t, Item>& items) {
  In in(body);
  const uint8_t version = full_box(in);
  in.skip(version == 0 ? 2 : 4);  // entry count: the boxes that follow say it
  std::vector<Box> entries;
  if (!in.ok() || !boxes(in.take(in.left()), entries)) return false;
  for (const Box& e : entries) {
    if (e.type != fourcc("infe")) continue;
    In ie(e.body);
    const uint8_t v = full_box(ie);
    if (v < 2) continue;  // the older entries name no item type
    const uint32_t id = v == 2 ? ie.u16() : ie.u32();
    ie.skip(2);  // protection index
    const Type type = ie.u32();
    if (!ie.ok() || items.size() >= kMaxItems) return false;
    items[id].type = type;
  }
  return true;
}

bool parse_iref(std::span<const uint8_t> body, std::vector<Reference>& refs) {
  In in(body);
  const uint8_t version = full_box(in);
  std::vector<Box> list;
  if (!in.ok() || !boxes(in.take(in.left()), list)) return false;
  for (const Box& r : list) {
    In ir(r.body);
    const uint32_t from = version == 0 ? ir.u16() : ir.u32();
    const uint16_t count = ir.u16();
    for (uint16_t k = 0; k < count && ir.ok(); ++k) {
      const uint32_t to = version == 0 ? ir.u16() : ir.u32();
      if (ir.ok() && refs.size() < kMaxItems) refs.push_back({r.type, from, to});
    }
  }
  return true;
}

bool parse_iprp(std::span<const uint8_t> body, std::vector<Box>& properties, std::map<uint32_t, Item>& items) {
  std::vector<Box> list;
  if (!boxes(body, list)) return false;
  const Box* ipco = find(list, fourcc("ipco"));
  if (!ipco || !boxes(ipco->body, properties) || properties.size() > kMaxProperties) return false;
  for (const Box& b : list) {
    if (b.type != fourcc("ipma")) continue;
    In in(b.body);
    uint32_t flags = 0;
    const uint8_t version = full_box(in, &flags);
    const uint32_t count = in.u32();
    for (uint32_t i = 0; i < count && in.ok(); ++i) {
      const uint32_t id = version < 1 ? in.u16() : in.u32();
      const uint8_t n = in.u8();
      if (!in.ok() || items.size() >= kMaxItems) return false;
      Item& item = items[id];
      for (uint8_t k = 0; k < n; ++k) {
        const uint16_t index = (flags & 1) ? (in.u16() & 0x7FFF) : (in.u8() & 0x7F);
        if (in.ok() && index) item.property_indices.push_back(index);
      }
    }
    if (!in.ok()) return false;
  }
  return true;
}

Properties properties_of(const Item& item, const std::vector<Box>& properties) {
  Properties p;
  for (uint16_t index : item.property_indices)
    if (index <= properties.size()) read_property(properties[index - 1], p);
  return p;
}

bool to_image(const Item& item, const Properties& p, AvifImage& out, std::string& why) {
  if (item.type == fourcc("grid")) {
    why = "AVIF images made of a grid of tiles are not read";
    return false;
  }
  if (item.type != fourcc("av01") || !p.has_av1c || item.method > 1 || item.extents.empty()) {
    why = "The AVIF file's image is not an AV1 image";
    return false;
  }
  if (!p.has_ispe || p.width == 0 || p.height == 0) {
    why = "The AVIF image has no size";
    return false;
  }
  out.extents = item.extents;
  out.in_idat = item.method == 1;
  out.width = p.width;
  out.height = p.height;
  out.colour = p.colour;
  return true;
}

// A still image (or a sequence that carries its first frame as the primary item).
bool parse_meta(std::span<const uint8_t> body, AvifFile& file, std::string& why) {
  In in(body);
  full_box(in);
  std::vector<Box> list;
  if (!in.ok() || !boxes(in.take(in.left()), list)) return false;
  const Box* hdlr = find(list, fourcc("hdlr"));
  if (!hdlr) return false;
  In h(hdlr->body);
  full_box(h);
  h.skip(4);
  if (h.u32() != fourcc("pict") || !h.ok()) return false;
  const Box* pitm = find(list, fourcc("pitm"));
  if (!pitm) return false;
  In p(pitm->body);
  const uint32_t primary = full_box(p) == 0 ? p.u16() : p.u32();
  if (!p.ok()) return false;

  std::map<uint32_t, Item> items;
  std::vector<Box> properties;
  std::vector<Reference> refs;
  const Box* iloc = find(list, fourcc("iloc"));
  const Box* iinf = find(list, fourcc("iinf"));
  const Box* iprp = find(list, fourcc("iprp"));
  const Box* iref = find(list, fourcc("iref"));
  if (!iloc || !iinf || !iprp || !parse_iloc(iloc->body, items) || !parse_iinf(iinf->body, items) ||
      !parse_iprp(iprp->body, properties, items) || (iref && !parse_iref(iref->body, refs)))
    return false;
  if (const Box* idat = find(list, fourcc("idat"))) file.idat.assign(idat->body.begin(), idat->body.end());

  auto it = items.find(primary);
  if (it == items.end()) return false;
  if (!to_image(it->second, properties_of(it->second, properties), file.colour, why)) return false;
  // The alpha image: an auxiliary image of the primary one whose type is alpha.
  for (const Reference& r : refs) {
    if (r.type == fourcc("auxl") && r.to == primary) {
      auto a = items.find(r.from);
      if (a == items.end()) continue;
      const Properties ap = properties_of(a->second, properties);
      if (!ap.alpha_aux) continue;
      std::string ignored;
      file.has_alpha = to_image(a->second, ap, file.alpha, ignored);
      if (file.has_alpha) break;
    }
  }
  for (const Reference& r : refs)
    if (r.type == fourcc("prem") && r.from == primary) file.premultiplied = true;
  return true;
}

// One track of a sequence: its id, kind, what it refers to, and its first sample.
struct Track {
  uint32_t id = 0;
  Type handler = 0;
  std::vector<uint32_t> aux_of;  // tracks this one is an auxiliary image of
  AvifImage first;
  bool usable = false;
};

bool parse_stbl(std::span<const uint8_t> body, Track& t) {
  std::vector<Box> list;
  if (!boxes(body, list)) return false;
  const Box* stsd = find(list, fourcc("stsd"));
  const Box* stsz = find(list, fourcc("stsz"));
  const Box* stco = find(list, fourcc("stco"));
  const Box* co64 = find(list, fourcc("co64"));
  if (!stsd || !stsz || (!stco && !co64)) return false;
  // The first sample entry: an AV1 visual sample entry with its configuration.
  In sd(stsd->body);
  full_box(sd);
  if (sd.u32() == 0 || !sd.ok()) return false;
  std::vector<Box> entries;
  if (!boxes(sd.take(sd.left()), entries) || entries.empty() || entries[0].type != fourcc("av01")) return false;
  In ve(entries[0].body);
  ve.skip(24);
  t.first.width = ve.u16();
  t.first.height = ve.u16();
  ve.skip(50);
  std::vector<Box> inner;
  if (!ve.ok() || !boxes(ve.take(ve.left()), inner) || !find(inner, fourcc("av1C"))) return false;
  Properties p;
  for (const Box& b : inner) read_property(b, p);
  t.first.colour = p.colour;
  // The first sample is the first one of the first chunk.
  In sz(stsz->body);
  full_box(sz);
  uint32_t size = sz.u32();
  const uint32_t count = sz.u32();
  if (size == 0) size = sz.u32();
  In co(co64 ? co64->body : stco->body);
  full_box(co);
  if (co.u32() == 0) return false;
  const uint64_t offset = co64 ? co.n(8) : co.u32();
  if (!sz.ok() || !co.ok() || count == 0 || size == 0) return false;
  t.first.extents = {{offset, size}};
  t.usable = t.first.width > 0 && t.first.height > 0;
  return true;
}

bool parse_trak(std::span<const uint8_t> body, Track& t) {
  std::vector<Box> list;
  if (!boxes(body, list)) return false;
  const Box* tkhd = find(list, fourcc("tkhd"));
  const Box* mdia = find(list, fourcc("mdia"));
  if (!tkhd || !mdia) return false;
  In th(tkhd->body);
  th.skip(full_box(th) == 1 ? 16 : 8);
  t.id = th.u32();
  if (!th.ok()) return false;
  if (const Box* tref = find(list, fourcc("tref"))) {
    std::vector<Box> refs;
    if (!boxes(tref->body, refs)) return false;
    for (const Box& r : refs) {
      if (r.type != fourcc("auxl")) continue;
      In ir(r.body);
      while (ir.left() >= 4) t.aux_of.push_back(ir.u32());
    }
  }
  std::vector<Box> md;
  if (!boxes(mdia->body, md)) return false;
  const Box* hdlr = find(md, fourcc("hdlr"));
  const Box* minf = find(md, fourcc("minf"));
  if (!hdlr || !minf) return false;
  In h(hdlr->body);
  full_box(h);
  h.skip(4);
  t.handler = h.u32();
  std::vector<Box> mi;
  if (!h.ok() || !boxes(minf->body, mi)) return false;
  const Box* stbl = find(mi, fourcc("stbl"));
  return stbl && parse_stbl(stbl->body, t);
}

bool parse_moov(std::span<const uint8_t> body, AvifFile& file) {
  std::vector<Box> list;
  if (!boxes(body, list)) return false;
  std::vector<Track> tracks;
  for (const Box& b : list) {
    if (b.type != fourcc("trak")) continue;
    Track t;
    if (parse_trak(b.body, t) && t.usable) tracks.push_back(std::move(t));
  }
  const Track* colour = nullptr;
  for (const Track& t : tracks)
    if (t.handler == fourcc("pict") && t.aux_of.empty()) {
      colour = &t;
      break;
    }
  if (!colour) return false;
  file.colour = colour->first;
  for (const Track& t : tracks)
    if (t.handler == fourcc("auxv") && std::find(t.aux_of.begin(), t.aux_of.end(), colour->id) != t.aux_of.end()) {
      file.has_alpha = true;
      file.alpha = t.first;
      break;
    }
  return true;
}

}  // namespace

bool is_avif(std::span<const uint8_t> head) {
  if (head.size() < 16 || std::memcmp(head.data() + 4, "ftyp", 4) != 0) return false;
  const size_t size =
      std::min<size_t>(head.size(), size_t{head[0]} << 24 | size_t{head[1]} << 16 | size_t{head[2]} << 8 | head[3]);
  auto brand = [&](size_t at) {
    return std::memcmp(head.data() + at, "avif", 4) == 0 || std::memcmp(head.data() + at, "avis", 4) == 0;
  };
  if (brand(8)) return true;
  for (size_t at = 16; at + 4 <= size; at += 4)
    if (brand(at)) return true;
  return false;
}

bool parse_avif(ByteSource& source, AvifFile& file, std::string& why) {
  file = AvifFile{};
  why.clear();
  uint8_t head[kTypeBoxBytes];
  const size_t got = static_cast<size_t>(std::min<uint64_t>(sizeof head, source.size()));
  if (!source.read(0, head, got) || !is_avif(std::span<const uint8_t>(head, got))) {
    why = "The file is not an AVIF image";
    return false;
  }
  // The top-level boxes: their headers are read, and the metadata and movie boxes whole.
  std::optional<std::vector<uint8_t>> meta, moov;
  uint64_t at = 0;
  const uint64_t end = source.size();
  while (end - at >= 8) {
    uint8_t h[16];
    if (!source.read(at, h, 8)) break;
    uint64_t size = uint64_t{h[0]} << 24 | uint64_t{h[1]} << 16 | uint64_t{h[2]} << 8 | h[3];
    uint64_t header = 8;
    if (size == 1) {
      if (end - at < 16 || !source.read(at + 8, h + 8, 8)) break;
      size = 0;
      for (int k = 8; k < 16; ++k) size = size << 8 | h[k];
      header = 16;
    }
    if (size == 0) size = end - at;
    if (size < header || size > end - at) break;
    const bool is_meta = std::memcmp(h + 4, "meta", 4) == 0, is_moov = std::memcmp(h + 4, "moov", 4) == 0;
    if ((is_meta && !meta) || (is_moov && !moov)) {
      if (size - header > kMaxBoxRead) {
        why = "The AVIF file's metadata is too large";
        return false;
      }
      std::vector<uint8_t> body(static_cast<size_t>(size - header));
      if (!source.read(at + header, body.data(), body.size())) break;
      (is_meta ? meta : moov) = std::move(body);
    }
    at += size;
  }
  if (meta && parse_meta(*meta, file, why)) return true;
  if (!why.empty()) return false;
  file = AvifFile{};
  if (moov && parse_moov(*moov, file)) return true;
  why = "The AVIF file is damaged or holds no image";
  return false;
}

bool avif_image_bytes(ByteSource& source, const AvifFile& file, const AvifImage& image, std::vector<uint8_t>& out) {
  // An extent of length 0 runs to the end of the file (or of the item data box).
  const uint64_t space = image.in_idat ? file.idat.size() : source.size();
  std::vector<AvifImage::Extent> extents = image.extents;
  uint64_t total = 0;
  for (auto& e : extents) {
    if (e.offset > space) return false;
    if (e.length == 0) e.length = space - e.offset;
    if (e.length > space - e.offset || total > space - e.length) return false;
    total += e.length;
  }
  out.resize(static_cast<size_t>(total));
  size_t at = 0;
  for (const auto& e : extents) {
    const auto n = static_cast<size_t>(e.length);
    if (image.in_idat) {
      if (e.offset > file.idat.size() || n > file.idat.size() - e.offset) return false;
      std::memcpy(out.data() + at, file.idat.data() + e.offset, n);
    } else if (!source.read(e.offset, out.data() + at, n)) {
      return false;
    }
    at += n;
  }
  return true;
}

}  // namespace kelv::codec
