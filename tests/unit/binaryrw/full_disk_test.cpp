// Every writer on a disk that fills up: a small tmpfs, mounted for the test (which needs
// root; elsewhere the tests say so and skip). Each writer returns its failure result at
// once, leaves no temporary file, and leaves an existing target byte for byte as it was.
#include <sys/mount.h>
#include <unistd.h>

#include <functional>

#include "binaryrw/binary_rw.h"
#include "formdata/decoder.h"
#include "image/image.h"
#include "unit/binaryrw/fixture.h"

namespace kelv {
namespace {

VarIn buffer_of(const std::string& s) {
  return VarIn{VarIn::Kind::Buffer, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(s.data()), s.size()), {}};
}

class FullDisk : public test::ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    m_full = m_dir / "full";
    std::filesystem::create_directory(m_full);
    if (geteuid() != 0 || ::mount("tmpfs", m_full.c_str(), "tmpfs", 0, "size=2m") != 0)
      GTEST_SKIP() << "a 2 MB tmpfs could not be mounted (this test needs root)";
    m_mounted = true;
    // The targets that must outlive the failed writes; then the disk is filled, leaving
    // 256 KB, so that each writer meets a write that goes through in part and then one
    // that fails.
    for (const char* name : {"keep.bmp", "keep.jpg", "keep.png", "keep.bin"}) write_full(name, "original");
    write_full("spare", std::string(256 << 10, 's'));
    TBinaryRWImpl filler;
    ASSERT_EQ(filler.FOpenWrite(full("filler")), 1);
    const std::string block(64 << 10, 'f');
    int blocks = 0;
    while (filler.FWrite(buffer_of(block)) == 1 && blocks < 100) ++blocks;
    ASSERT_LT(blocks, 100) << "the disk never filled";
    filler.FClose();
    std::filesystem::remove(full("spare"));
  }
  void TearDown() override {
    if (m_mounted) ::umount2(m_full.c_str(), MNT_DETACH);
    ScratchDir::TearDown();
  }
  std::string full(const std::string& name) const { return path("full/" + name); }
  void write_full(const std::string& name, const std::string& bytes) const { write_file("full/" + name, bytes); }
  std::string read_full(const std::string& name) const { return read_file("full/" + name); }
  // The names on the small disk that are none of the test's own.
  std::vector<std::string> strays() const {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(m_full)) {
      std::string n = e.path().filename().string();
      if (n != "filler" && n.rfind("keep.", 0) != 0) out.push_back(n);
    }
    return out;
  }

  std::filesystem::path m_full;
  bool m_mounted = false;
};

TEST_F(FullDisk, SavesAndCopiesFailAndLeaveTheTargetAsItWas) {
  TImageImpl img;
  ASSERT_EQ(img.CreateFromSize(1500, 1500, 0x336699), 1);
  img.put_PenColor(0xFFFFFF);
  for (int y = 0; y < 1500; y += 5) img.Line(0, y, 1500, 1500 - y);
  write_file("source", std::string(3 << 20, 'c'));
  const std::string source = path("source");
  struct Writer {
    const char* name;
    std::function<int32_t(const std::string&)> write;
    const char* target;
  };
  const Writer writers[] = {
      {"SaveToBmp", [&](const std::string& p) { return img.SaveToBmp(p); }, "keep.bmp"},
      {"SaveToJpg", [&](const std::string& p) { return img.SaveToJpg(p, 100, -1, -1); }, "keep.jpg"},
      {"SaveToPng", [&](const std::string& p) { return img.SaveToPng(p, 0); }, "keep.png"},
      {"FileCopy", [&](const std::string& p) { return TBinaryRWImpl::FileCopy(source, p, 0); }, "keep.bin"},
      {"FileCopy refusing", [&](const std::string& p) { return TBinaryRWImpl::FileCopy(source, p, 1); }, "keep.bin"},
  };
  for (const Writer& w : writers) {
    EXPECT_EQ(w.write(full(w.target)), 0) << w.name << " over an existing file";
    EXPECT_EQ(read_full(w.target), "original") << w.name;
    EXPECT_EQ(w.write(full(std::string("new-") + w.target)), 0) << w.name << " to a new name";
    EXPECT_EQ(strays(), std::vector<std::string>{}) << w.name;
  }
}

TEST_F(FullDisk, StreamWritesFailOnceTheirBytesMeetTheDisk) {
  TBinaryRWImpl b;
  ASSERT_EQ(b.FOpenWrite(full("stream")), 1);
  EXPECT_EQ(b.FWrite(buffer_of(std::string(1 << 20, 'w'))), 0);
  // After the failure every write of the stream fails.
  EXPECT_EQ(b.FWriteInt(7, 4), 0);
  EXPECT_EQ(b.FWriteFloat(1.5, 10), 0);
  EXPECT_EQ(b.FWriteStr("x"), 0);
  EXPECT_EQ(b.FWriteStrBin(buffer_of("x"), 4, 0), 0);
  ASSERT_EQ(b.FOpenWrite(full("stream")), 1);
  EXPECT_EQ(b.FWriteStrBin(buffer_of("x"), 1 << 20, 0), 0);
  ASSERT_EQ(b.FOpenWrite(full("stream")), 1);
  EXPECT_EQ(b.FWriteStr(std::string(1 << 20, 's')), 0);
  // Small writes gather in the stream's buffer and fail when it has to go out.
  ASSERT_EQ(b.FOpenWrite(full("stream")), 1);
  int n = 0;
  while (b.FWriteInt(n, 8) == 1 && n < 100000) ++n;
  EXPECT_LT(n, 100000);
  b.FClose();
}

TEST_F(FullDisk, AnUploadStopsWithTheShortWrite) {
  const std::string body = "--b\r\nContent-Disposition: form-data; name=\"f\"; filename=\"big\"\r\n\r\n" +
                           std::string(3 << 20, 'u') + "\r\n--b--\r\n";
  TFD_Object fd(m_full.string(), "", "");
  const auto* p = reinterpret_cast<const uint8_t*>(body.data());
  int32_t decoded = 1;
  size_t at = 0;
  for (; decoded == 1 && at < body.size(); at += 65536)
    decoded = fd.Decode(std::span<const uint8_t>(p + at, std::min<size_t>(65536, body.size() - at)));
  EXPECT_EQ(decoded, 0);
  EXPECT_LT(at, body.size() / 2);  // it stopped at the full disk, not at the body's end
  EXPECT_EQ(fd.EndDecode(), TFD_Object::kEndWriteFailed);
  ASSERT_EQ(fd.files().size(), 1u);
  EXPECT_EQ(fd.DeleteFiles(), 1);
}

}  // namespace
}  // namespace kelv
