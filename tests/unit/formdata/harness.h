// The harness of the decoder tests: feeds a body to a decoder whole, byte by byte and
// cut at chosen or random points, and gathers everything a script can learn from it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "binaryrw/binary_rw.h"
#include "formdata/decoder.h"
#include "unit/binaryrw/fixture.h"

namespace kelv::test {

// Everything a script can learn from one upload, with file contents in place of paths.
struct Outcome {
  std::vector<std::string> names, values;
  std::vector<std::string> files;  // form|client name|type|content
  std::vector<std::vector<std::string>> headers;
  int32_t result = 0;
  bool operator==(const Outcome&) const = default;
};

inline std::ostream& operator<<(std::ostream& o, const Outcome& r) {
  o << "result " << r.result << "; items";
  for (size_t i = 0; i < r.names.size(); ++i)
    o << " [" << r.names[i] << "=" << (i < r.values.size() ? r.values[i] : "<none>") << "]";
  o << "; files";
  for (const auto& f : r.files) o << " [" << f << "]";
  return o;
}

inline std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  std::string s(in ? static_cast<size_t>(in.tellg()) : 0, '\0');
  in.seekg(0);
  in.read(s.data(), static_cast<std::streamsize>(s.size()));
  return s;
}

inline VarIn buffer(std::string_view s) {
  return VarIn{VarIn::Kind::Buffer, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(s.data()), s.size()), {}};
}

class Decoder : public ScratchDir {
 protected:
  // Feeds `body` cut at the given offsets; reads everything back and deletes the files.
  Outcome decode(const std::string& body, const std::vector<size_t>& cuts, const std::string& base = "",
                 const std::string& endline = "") {
    TFD_Object fd(m_dir.string(), base, endline, m_limits);
    size_t at = 0;
    for (size_t k = 0; k <= cuts.size(); ++k) {
      size_t end = k < cuts.size() ? cuts[k] : body.size();
      if (end > at) fd.Decode(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(body.data()) + at, end - at));
      at = std::max(at, end);
    }
    Outcome r;
    r.result = fd.EndDecode();
    r.names = fd.item_names();
    r.values = fd.item_values();
    for (const TFD_FileInfo& f : fd.files()) {
      std::string content = f.FilePath.empty()                    ? "<no file>"
                            : std::filesystem::exists(f.FilePath) ? slurp(f.FilePath)
                                                                  : "<deleted>";
      r.files.push_back(f.FormName + "|" + f.HeaderName + "|" + f.ContentType + "|" + content);
    }
    r.headers = fd.header_lists();
    fd.DeleteFiles();
    return r;
  }

  // The limits every decoder of the fixture gets.
  TFD_Limits m_limits;

  // Whole, byte by byte, at every single cut point and at random sets of cut points;
  // with `all_pairs`, at every pair of cut points as well. All must agree.
  Outcome decode_every_way(const std::string& body, bool all_pairs = false, const std::string& base = "",
                           const std::string& endline = "") {
    Outcome whole = decode(body, {}, base, endline);
    std::vector<size_t> every(body.size());
    for (size_t i = 0; i < body.size(); ++i) every[i] = i;
    EXPECT_EQ(decode(body, every, base, endline), whole) << "byte by byte";
    std::vector<std::vector<size_t>> cut_sets;
    for (size_t a = 1; a<body.size(); a += body.size()> 2000 ? body.size() / 500 : 1) {
      cut_sets.push_back({a});
      if (all_pairs)
        for (size_t b = a + 1; b < body.size(); ++b) cut_sets.push_back({a, b});
    }
    std::mt19937 rng(12345);
    for (int run = 0; run < 100; ++run) {
      std::vector<size_t> cuts;
      for (int k = 0; k < 6; ++k) cuts.push_back(rng() % body.size());
      std::sort(cuts.begin(), cuts.end());
      cut_sets.push_back(cuts);
    }
    for (const auto& cuts : cut_sets) {
      Outcome o = decode(body, cuts, base, endline);
      if (!(o == whole)) {
        ADD_FAILURE() << "cut at " << ::testing::PrintToString(cuts) << ": " << o << "\nwhole: " << whole;
        break;
      }
    }
    return whole;
  }
};

inline const std::string B = "--XyZ";

inline std::string part_text(const std::string& name, const std::string& value) {
  return B + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
}
inline std::string part_file(const std::string& name, const std::string& file, const std::string& type,
                             const std::string& content) {
  return B + "\r\nContent-Disposition: form-data; name=\"" + name + "\"; filename=\"" + file +
         "\"\r\nContent-Type: " + type + "\r\n\r\n" + content + "\r\n";
}
inline std::string closing() { return B + "--\r\n"; }

}  // namespace kelv::test
