// File content of every shape decodes exactly: long runs of the bytes the decoder holds
// back as a possible delimiter (CR, CR LF, LF, CR LF "-", prefixes of the boundary) at
// every length around the output buffer's size, at the start, middle and end of a file
// part, fed whole, byte by byte and cut at many points. A header line with no end is
// where decoding stops.
#include <gtest/gtest.h>

#include "image/image.h"
#include "unit/formdata/harness.h"

namespace kelv {
namespace {

using test::closing;
using test::Decoder;
using test::Outcome;
using test::part_file;

// The units whose runs are held back byte after byte; "\r\n--Xy" is a prefix of the
// delimiter of B, so no cut of a run of it completes the delimiter.
const std::string kShapes[] = {"\r", "\r\n", "\n", "\r\n-", "\r\n--Xy"};

std::string run_of(const std::string& unit, size_t length) {
  std::string s;
  s.reserve(length + unit.size());
  while (s.size() < length) s += unit;
  s.resize(length);
  return s;
}

enum class Where { Start, Middle, End };

std::string place(const std::string& run, Where where) {
  switch (where) {
    case Where::Start: return run + "yz";
    case Where::Middle: return "x" + run + "yz";
    case Where::End: return "x" + run;
  }
  return run;
}

class ContentShapes : public Decoder {
 protected:
  // Decodes a body holding `content` as its only file, cut at `cuts`, and checks that the
  // file holds exactly that content; false (with a failure) when it does not.
  bool exact(const std::string& content, const std::vector<size_t>& cuts, const std::string& what) {
    std::string body = part_file("f", "run.bin", "application/octet-stream", content) + closing();
    Outcome r = decode(body, cuts);
    const std::string want = "f|run.bin|application/octet-stream|" + content;
    if (r.result == 0 && r.files.size() == 1 && r.files[0] == want) return true;
    ADD_FAILURE() << what << ": result " << r.result << ", " << r.files.size() << " file(s)"
                  << (r.files.empty()
                          ? ""
                          : ", content of " + std::to_string(r.files[0].size() - (want.size() - content.size())) +
                                " bytes")
                  << " for " << content.size();
    return false;
  }

  // Every cut of the body that feeding may produce: a few fixed sets and random ones.
  std::vector<std::vector<size_t>> cut_sets(size_t body_size, unsigned seed, int random_sets) {
    std::vector<std::vector<size_t>> sets = {{}, {100, 101, 102, 32867, 32868, body_size / 2, body_size - 20}};
    std::mt19937 rng(seed);
    for (int k = 0; k < random_sets; ++k) {
      std::vector<size_t> cuts;
      for (int c = 0; c < 8; ++c) cuts.push_back(rng() % body_size);
      std::sort(cuts.begin(), cuts.end());
      sets.push_back(cuts);
    }
    return sets;
  }
};

std::vector<size_t> every_byte(size_t n) {
  std::vector<size_t> cuts(n);
  for (size_t i = 0; i < n; ++i) cuts[i] = i;
  return cuts;
}

TEST_F(ContentShapes, RunsOfEveryLengthAroundTheBufferSize) {
  // 32,700 to 33,200 takes in the flush threshold (32,767), the old overflow guard
  // (33,100) and the buffer's size (33,130).
  for (const std::string& unit : kShapes)
    for (Where where : {Where::Start, Where::Middle, Where::End})
      for (size_t length = 32700; length <= 33200; ++length) {
        std::string content = place(run_of(unit, length), where);
        size_t body_size = part_file("f", "run.bin", "application/octet-stream", content).size() + closing().size();
        bool ok = true;
        for (const auto& cuts : cut_sets(body_size, static_cast<unsigned>(length), length % 50 == 0 ? 4 : 0))
          ok = ok &&
               exact(content, cuts, "unit " + ::testing::PrintToString(unit) + " length " + std::to_string(length));
        if (!ok) return;
      }
}

TEST_F(ContentShapes, RunsFedOneByteAtATime) {
  for (const std::string& unit : kShapes)
    for (Where where : {Where::Start, Where::Middle, Where::End})
      for (size_t length :
           {32700u, 32766u, 32767u, 32768u, 33099u, 33100u, 33101u, 33110u, 33129u, 33130u, 33131u, 33200u}) {
        std::string content = place(run_of(unit, length), where);
        size_t body_size = part_file("f", "run.bin", "application/octet-stream", content).size() + closing().size();
        if (!exact(content, every_byte(body_size),
                   "byte by byte, unit " + ::testing::PrintToString(unit) + " length " + std::to_string(length)))
          return;
      }
}

TEST_F(ContentShapes, MegabyteRuns) {
  for (const std::string& unit : kShapes)
    for (Where where : {Where::Start, Where::Middle, Where::End}) {
      std::string content = place(run_of(unit, 1 << 20), where);
      size_t body_size = part_file("f", "run.bin", "application/octet-stream", content).size() + closing().size();
      for (const auto& cuts : cut_sets(body_size, 77, 3))
        if (!exact(content, cuts, "1 MB of " + ::testing::PrintToString(unit))) return;
    }
  std::string crs = place(run_of("\r", 1 << 20), Where::Middle);
  size_t body_size = part_file("f", "run.bin", "application/octet-stream", crs).size() + closing().size();
  exact(crs, every_byte(body_size), "1 MB of CR byte by byte");
}

TEST_F(ContentShapes, TheRunThatUsedToFillTheBuffer) {
  // x, 33,110 CR bytes, yz: the upload is complete and the file holds every byte.
  TBinaryRWImpl bin;
  bin.FD_Init(m_dir.string(), "", "");
  std::string content = "x" + std::string(33110, '\r') + "yz";
  std::string body = part_file("f", "cr.bin", "x/y", content) + closing();
  EXPECT_EQ(bin.FD_Decode(test::buffer(body)), 0);  // the closing delimiter was reached
  EXPECT_EQ(bin.FD_EndDecode(), 0);
  ASSERT_EQ(bin.FD_GetFilesCount(), 1);
  EXPECT_TRUE(test::slurp(bin.FD_GetFileName(0)) == content);
}

TEST_F(ContentShapes, BitmapsOfCarriageReturnsMadeByImage) {
  // Every pixel RGB(13,13,13): the pixel rows are nothing but 0x0D bytes, with zeros
  // between them where rows are padded.
  for (auto [w, h] : {std::pair{300, 200}, std::pair{115, 100}, std::pair{125, 200}}) {
    TImageImpl made;
    ASSERT_EQ(made.CreateFromSize(w, h, 0x0D0D0D), 1);
    ASSERT_EQ(made.SaveToBmp(path("grey13.bmp")), 1);
    std::string bmp = read_file("grey13.bmp");
    std::string body = part_file("photo", "grey13.bmp", "image/bmp", bmp) + closing();
    for (const auto& cuts : cut_sets(body.size(), 13, 5)) {
      TFD_Object fd(m_dir.string(), "", "");
      size_t at = 0;
      for (size_t k = 0; k <= cuts.size(); ++k) {
        size_t end = k < cuts.size() ? cuts[k] : body.size();
        if (end > at) fd.Decode(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(body.data()) + at, end - at));
        at = std::max(at, end);
      }
      ASSERT_EQ(fd.EndDecode(), 0) << w << "x" << h;
      ASSERT_EQ(fd.files().size(), 1u);
      TImageImpl loaded;
      ASSERT_EQ(loaded.LoadFromBmp(fd.files()[0].FilePath), 1);
      ASSERT_EQ(loaded.get_Width(), w);
      ASSERT_EQ(loaded.get_Height(), h);
      int differing = 0;
      for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) differing += !(loaded.bitmap()->pixel(x, y) == made.bitmap()->pixel(x, y));
      EXPECT_EQ(differing, 0) << w << "x" << h;
      fd.DeleteFiles();
    }
  }
}

TEST_F(ContentShapes, AHeaderLineWithNoEndStopsTheUpload) {
  // Past 16 MiB a header line is taken for one that never ends: decoding stops with the
  // guard's result and takes no more memory for it.
  TFD_Object fd(m_dir.string(), "", "");
  std::string start = "--b\r\nContent-Disposition: form-data; name=\"f\"; filename=\"x\"\r\nX-Endless: ";
  ASSERT_EQ(fd.Decode(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(start.data()), start.size())), 1);
  std::string chunk(1 << 20, 'h');
  auto feed = [&] {
    return fd.Decode(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(chunk.data()), chunk.size()));
  };
  for (int i = 0; i < 15; ++i) ASSERT_EQ(feed(), 1) << i;
  EXPECT_EQ(feed(), 0);  // the 16th megabyte passes the limit
  EXPECT_EQ(fd.state(), TFD_Object::GuardFired);
  EXPECT_EQ(feed(), 0);  // nothing more is decoded
  EXPECT_EQ(fd.EndDecode(), 12);
  EXPECT_TRUE(fd.files().empty());
  EXPECT_TRUE(std::filesystem::is_empty(m_dir));
}

}  // namespace
}  // namespace kelv
