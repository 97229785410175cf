// HEIC files laid out as phones write them, for the tests: a grid image of HEVC tiles
// (each tile coded by heif-enc as a file of its own), turned by `irot`, mirrored by
// `imir`, with an ICC profile in `colr`. heif-enc writes single images only.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace kelv::test {

// One coded tile: its decoder configuration box (hvcC, whole) and its coded data.
struct HeifTile {
  std::vector<uint8_t> hvcc;
  std::vector<uint8_t> data;
};

// The tile of a single-image HEIC file written by heif-enc: its hvcC box and the whole of
// its media data box (heif-enc writes the one image's data there and nothing else).
inline HeifTile heif_tile_of(const std::vector<uint8_t>& file) {
  HeifTile t;
  auto be32 = [&](size_t at) {
    return uint32_t{file[at]} << 24 | uint32_t{file[at + 1]} << 16 | uint32_t{file[at + 2]} << 8 | file[at + 3];
  };
  for (size_t at = 4; at + 4 <= file.size(); ++at) {
    if (std::memcmp(&file[at], "hvcC", 4) == 0 && t.hvcc.empty()) {
      const size_t size = be32(at - 4);
      t.hvcc.assign(file.begin() + static_cast<ptrdiff_t>(at - 4),
                    file.begin() + static_cast<ptrdiff_t>(at - 4 + size));
    }
  }
  for (size_t at = 0; at + 8 <= file.size();) {
    const size_t size = be32(at);
    if (size < 8) break;
    if (std::memcmp(&file[at + 4], "mdat", 4) == 0)
      t.data.assign(file.begin() + static_cast<ptrdiff_t>(at + 8), file.begin() + static_cast<ptrdiff_t>(at + size));
    at += size;
  }
  return t;
}

struct HeifGrid {
  std::vector<HeifTile> tiles;  // row by row
  int columns = 1, rows = 1;
  int tile_width = 0, tile_height = 0;
  int width = 0, height = 0;  // the grid's picture: at most columns x rows tiles
  int turns = 0;              // irot: quarter turns anticlockwise, 0 for none
  int mirror = -1;            // imir: 0 about a vertical axis, 1 about a horizontal one, -1 none
  std::vector<uint8_t> icc;   // colr of type prof, when not empty
  int nclx_primaries = 0;     // colr of type nclx (with BT.601 limited-range matrix), when
  int nclx_transfer = 0;      // the primaries are not 0
};

// The HEIC file of a grid.
inline std::vector<uint8_t> heic_grid_file(const HeifGrid& g) {
  using Bytes = std::vector<uint8_t>;
  auto u8 = [](Bytes& b, unsigned v) { b.push_back(static_cast<uint8_t>(v)); };
  auto u16 = [&](Bytes& b, unsigned v) { u8(b, v >> 8), u8(b, v & 0xFF); };
  auto u32 = [&](Bytes& b, uint32_t v) { u16(b, v >> 16), u16(b, v & 0xFFFF); };
  auto text = [](Bytes& b, const char* s) { b.insert(b.end(), s, s + std::strlen(s)); };
  auto box = [&](const char* type, const Bytes& body) {
    Bytes b;
    u32(b, static_cast<uint32_t>(8 + body.size()));
    text(b, type);
    b.insert(b.end(), body.begin(), body.end());
    return b;
  };
  auto full = [&](const char* type, unsigned version, unsigned flags, const Bytes& body) {
    Bytes b;
    u32(b, version << 24 | flags);
    b.insert(b.end(), body.begin(), body.end());
    return box(type, b);
  };
  auto join = [](std::initializer_list<Bytes> parts) {
    Bytes b;
    for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
    return b;
  };
  const unsigned n = static_cast<unsigned>(g.tiles.size());
  Bytes ftyp;
  text(ftyp, "heic"), u32(ftyp, 0), text(ftyp, "mif1heic");
  Bytes hdlr(4, 0);
  text(hdlr, "pict"), hdlr.resize(hdlr.size() + 13, 0);
  Bytes pitm;
  u16(pitm, 1);
  // Item 1 is the grid, items 2.. the tiles, hidden.
  Bytes iinf;
  u16(iinf, n + 1);
  for (unsigned id = 1; id <= n + 1; ++id) {
    Bytes infe;
    u16(infe, id), u16(infe, 0), text(infe, id == 1 ? "grid" : "hvc1"), u8(infe, 0);
    iinf = join({iinf, full("infe", 2, id == 1 ? 0 : 1, infe)});
  }
  Bytes dimg;
  u16(dimg, 1), u16(dimg, n);
  for (unsigned id = 2; id <= n + 1; ++id) u16(dimg, id);
  // Properties: each tile's hvcC (1..n), the tiles' size (n+1), the grid's (n+2), then
  // the turn, the mirror and the profile as given.
  Bytes ipco;
  for (const HeifTile& t : g.tiles) ipco = join({ipco, t.hvcc});
  Bytes ispe;
  u32(ispe, static_cast<uint32_t>(g.tile_width)), u32(ispe, static_cast<uint32_t>(g.tile_height));
  ipco = join({ipco, full("ispe", 0, 0, ispe)});
  ispe.clear(), u32(ispe, static_cast<uint32_t>(g.width)), u32(ispe, static_cast<uint32_t>(g.height));
  ipco = join({ipco, full("ispe", 0, 0, ispe)});
  std::vector<unsigned> grid_props = {n + 2};
  unsigned next = n + 3;
  if (!g.icc.empty()) {
    Bytes colr;
    text(colr, "prof"), colr.insert(colr.end(), g.icc.begin(), g.icc.end());
    ipco = join({ipco, box("colr", colr)});
    grid_props.push_back(next++);
  }
  if (g.nclx_primaries) {
    Bytes colr;
    text(colr, "nclx"), u16(colr, static_cast<unsigned>(g.nclx_primaries));
    u16(colr, static_cast<unsigned>(g.nclx_transfer)), u16(colr, 6), u8(colr, 0);
    ipco = join({ipco, box("colr", colr)});
    grid_props.push_back(next++);
  }
  if (g.turns) {
    ipco = join({ipco, box("irot", Bytes{static_cast<uint8_t>(g.turns & 3)})});
    grid_props.push_back(0x80 | next++);
  }
  if (g.mirror >= 0) {
    ipco = join({ipco, box("imir", Bytes{static_cast<uint8_t>(g.mirror)})});
    grid_props.push_back(0x80 | next++);
  }
  Bytes ipma;
  u32(ipma, n + 1);
  u16(ipma, 1), u8(ipma, static_cast<unsigned>(grid_props.size()));
  for (unsigned p : grid_props) u8(ipma, p);
  for (unsigned id = 2; id <= n + 1; ++id) u16(ipma, id), u8(ipma, 2), u8(ipma, 0x80 | (id - 1)), u8(ipma, n + 1);
  // The grid's description, then the tiles' data, in the media data box.
  Bytes grid_data;
  u8(grid_data, 0), u8(grid_data, 0), u8(grid_data, static_cast<unsigned>(g.rows - 1));
  u8(grid_data, static_cast<unsigned>(g.columns - 1)), u16(grid_data, static_cast<unsigned>(g.width));
  u16(grid_data, static_cast<unsigned>(g.height));
  auto meta_with = [&](uint32_t data_start) {
    Bytes iloc;
    u8(iloc, 0x44), u8(iloc, 0), u16(iloc, n + 1);
    uint32_t at = data_start;
    for (unsigned id = 1; id <= n + 1; ++id) {
      const uint32_t length = static_cast<uint32_t>(id == 1 ? grid_data.size() : g.tiles[id - 2].data.size());
      u16(iloc, id), u16(iloc, 0), u16(iloc, 1), u32(iloc, at), u32(iloc, length);
      at += length;
    }
    return full("meta", 0, 0,
                join({full("hdlr", 0, 0, hdlr), full("pitm", 0, 0, pitm), full("iinf", 0, 0, iinf),
                      full("iref", 0, 0, box("dimg", dimg)),
                      box("iprp", join({box("ipco", ipco), full("ipma", 0, 0, ipma)})), full("iloc", 0, 0, iloc)}));
  };
  const Bytes head = box("ftyp", ftyp);
  const size_t meta_size = meta_with(0).size();
  Bytes mdat = grid_data;
  for (const HeifTile& t : g.tiles) mdat = join({mdat, t.data});
  return join({head, meta_with(static_cast<uint32_t>(head.size() + meta_size + 8)), box("mdat", mdat)});
}

}  // namespace kelv::test
