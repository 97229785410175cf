// Many pages at once, as a web server runs them: each thread is one page that creates its
// own objects by ProgID and takes an upload from body to thumbnail, with every piece of
// state the objects share between threads in play (the factory cache, the bitmap handle
// table, the font cache, libjpeg's error recovery, temporary names in one folder). Built
// with ThreadSanitizer by `make tsan`, which runs this suite.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "server/native/client.h"
#include "unit/support.h"

namespace kelv::native {
namespace {

constexpr int kThreads = 8;
constexpr int kPagesPerThread = 4;

Variant text(const std::string& s) { return Variant::str(platform::to_wide(s)); }

Bytes buffer_of(const Variant& v) { return v.vt == (VT_ARRAY | VT_UI1) && v.arr ? v.arr->data : Bytes{}; }

std::string body_for(const Bytes& jpeg) {
  std::string b =
      "--XyZzy\r\nContent-Disposition: form-data; name=\"title\"\r\n\r\nLake\r\n"
      "--XyZzy\r\nContent-Disposition: form-data; name=\"photo\"; filename=\"C:\\pics\\lake.jpg\"\r\n"
      "Content-Type: image/jpeg\r\n\r\n";
  b.append(jpeg.begin(), jpeg.end());
  return b + "\r\n--XyZzy--\r\n";
}

class ConcurrentPages : public test::RegisteredModule {
 protected:
  void SetUp() override {
    RegisteredModule::SetUp();
    m_uploads = m_dir / "uploads";
    std::filesystem::create_directory(m_uploads);
    // A photo-like picture, made once: gradients and an ellipse, saved as JPEG.
    Object img = Object::create("Kelvarin.Image");
    ASSERT_EQ(img.call_i4("CreateFromSize", {Variant::i4(640), Variant::i4(480)}), 1);
    for (int y = 0; y < 480; y += 8) {
      img.put("PenColor", Variant::i4((y / 2) | ((255 - y / 2) << 8) | (128 << 16)));
      img.put("PenWidth", Variant::i4(8));
      img.call("Line", {Variant::i4(0), Variant::i4(y), Variant::i4(640), Variant::i4(y)});
    }
    img.put("BrushColor", Variant::i4(0x3366CC));
    img.call("Ellipse", {Variant::i4(100), Variant::i4(80), Variant::i4(300), Variant::i4(200)});
    m_jpeg = buffer_of(img.call("SaveToBufferJpg", {Variant::i4(90)}));
    ASSERT_GT(m_jpeg.size(), 1000u);
    m_body = body_for(m_jpeg);
    m_corrupt = (m_dir / "corrupt.jpg").string();
    // Cut inside its headers: libjpeg stops with an error, not a warning.
    std::ofstream(m_corrupt, std::ios::binary).write(reinterpret_cast<const char*>(m_jpeg.data()), 120);
    m_reference = page(0, 0);
    ASSERT_FALSE(m_reference.empty());
  }

  // One page: the upload decoded into the shared folder, probed, loaded, framed, sent
  // as a buffer, copied into a second image through its bitmap handle, drawn on with
  // text, saved beside the uploads, and cleaned up. Returns the thumbnail's bytes, or
  // nothing after the first failed step (recorded as a test failure).
  Bytes page(int thread, int round) {
    std::string where = "thread " + std::to_string(thread) + " page " + std::to_string(round) + ": ";
    auto failed = [&](const char* step) {
      ADD_FAILURE() << where << step;
      return Bytes{};
    };
    Object bin = Object::create("Kelvarin.BinaryRW");
    Object img = Object::create("Kelvarin.Image");
    Object copy = Object::create("Kelvarin.Image");
    if (!bin || !img || !copy) return failed("CreateObject failed");
    bin.call("FD_Init", {text(m_uploads.string())});
    // Chunks of a size that cuts the delimiter somewhere, different for each thread.
    size_t chunk = 4093 + static_cast<size_t>(thread) * 977;
    for (size_t at = 0; at < m_body.size(); at += chunk) {
      Bytes piece(m_body.begin() + static_cast<std::ptrdiff_t>(at),
                  m_body.begin() + static_cast<std::ptrdiff_t>(std::min(m_body.size(), at + chunk)));
      bin.call("FD_Decode", {Variant::bytes(std::move(piece))});
    }
    if (bin.call_i4("FD_EndDecode") != 0) return failed("FD_EndDecode");
    std::string stored = bin.call_text("FD_GetFileName", {Variant::i4(0)});
    Variant file = text(stored);
    std::vector<uint8_t> on_disk;
    platform::read_whole_file(stored, on_disk, size_t{1} << 30);
    if (!std::equal(on_disk.begin(), on_disk.end(), m_jpeg.begin(), m_jpeg.end()))
      return failed("the stored upload differs from the photo");

    if (img.call_i4("HeaderReadJpg", {file}) != 1 || img.call_text("HeaderGetHtmlWH") != "width=\"640\" height=\"480\"")
      return failed("header probe");
    // A broken JPEG on the way: libjpeg's error recovery is per call and per thread.
    if (img.call_i4("LoadFromJpg", {text(m_corrupt)}) != 0) return failed("corrupt load");
    if (img.call_i4("LoadFromJpg", {file}) != 1) return failed("LoadFromJpg");
    img.put("cntThumbBorder", Variant::i4(2));
    img.call("SetThumbBorder", {Variant::i4(0), Variant::i4(0x505050)});
    img.call("SetThumbBorder", {Variant::i4(1), Variant::i4(0xFFFFFF)});
    img.put("ThumbBgColor", Variant::i4(0xF0F0F0));
    if (img.call_i4("MakeThumb", {Variant::i4(160), Variant::i4(120)}) != 1) return failed("MakeThumb");
    Bytes thumb = buffer_of(img.call("SaveToBufferJpg", {Variant::i4(85)}));

    // Another object reaches this one's bitmap through the handle table.
    if (copy.call_i4("AssignPicture", {Variant::dispatch(img.get())}) != 1 ||
        copy.call_i4("Draw", {Variant::i4(10), Variant::i4(10), Variant::dispatch(img.get())}) != 1)
      return failed("AssignPicture or Draw");
    copy.put("FontHeight", Variant::i4(14 + thread));
    copy.call("TextOut", {Variant::i4(4), Variant::i4(4), text("Lake " + std::to_string(thread))});
    std::string saved = (m_uploads / ("thumb-" + std::to_string(thread) + ".jpg")).string();
    if (copy.call_i4("SaveToJpg", {text(saved)}) != 1) return failed("SaveToJpg");
    std::string tmp = bin.call_text("CreateTMPFile", {text(m_uploads.string())});
    if (tmp.empty()) return failed("CreateTMPFile");
    bin.call("FileDelete", {text(tmp)});
    bin.call("FileDelete", {text(saved)});
    if (bin.call_i4("FD_DeleteTMPFiles") != 1) return failed("FD_DeleteTMPFiles");
    return thumb;
  }

  std::filesystem::path m_uploads;
  Bytes m_jpeg;
  std::string m_body;
  std::string m_corrupt;
  Bytes m_reference;
};

TEST_F(ConcurrentPages, EveryPageGetsTheSameThumbnailAndLeavesNoFile) {
  std::atomic<int> same{0}, different{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kPagesPerThread; ++round) {
        Bytes thumb = page(t, round);
        (thumb == m_reference ? same : different) += 1;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(same.load(), kThreads * kPagesPerThread);
  EXPECT_EQ(different.load(), 0);
  std::vector<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(m_uploads)) left.push_back(e.path().filename().string());
  EXPECT_TRUE(left.empty()) << left.size() << " files left, the first " << (left.empty() ? "" : left[0]);
  EXPECT_EQ(DllCanUnloadNow(), hr::S_OK);  // every object of every page was released
}

// Objects whose bitmap handles are given out and dropped on many threads at once: a
// handle names its own bitmap while the bitmap lives, and nothing after.
TEST_F(ConcurrentPages, BitmapHandlesStayTrueUnderChurn) {
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int k = 0; k < 40; ++k) {
        Object a = Object::create("Kelvarin.Image");
        Object b = Object::create("Kelvarin.Image");
        a.call_i4("CreateFromSize", {Variant::i4(8 + t), Variant::i4(5 + k % 7), Variant::i4(t * 1000 + k + 1)});
        int32_t assigned = b.call_i4("AssignPicture", {Variant::dispatch(a.get())});
        int64_t width = b.get("Width").i;
        int32_t colour = b.call_i4("GetColor", {Variant::i4(1), Variant::i4(1)});
        if (assigned != 1 || width != 8 + t || colour != t * 1000 + k + 1) {
          ADD_FAILURE() << "thread " << t << " round " << k << ": assigned " << assigned << ", width " << width
                        << ", colour " << colour;
          wrong += 1;
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
}

// Saves from many threads into one folder at the same moment: each writes a temporary file
// beside its target first, and no save may fail for want of a free temporary name.
TEST_F(ConcurrentPages, SavesIntoOneFolderAtOnceAllSucceed) {
  constexpr int kSavers = 32;
  std::atomic<int> ready{0}, failed{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kSavers; ++t) {
    threads.emplace_back([&, t] {
      Object img = Object::create("Kelvarin.Image");
      img.call_i4("CreateFromSize", {Variant::i4(4), Variant::i4(4), Variant::i4(t + 1)});
      std::string target = (m_uploads / ("save-" + std::to_string(t) + ".bmp")).string();
      ++ready;
      while (ready.load() < kSavers) std::this_thread::yield();
      for (int k = 0; k < 20; ++k)
        if (img.call_i4("SaveToBmp", {text(target)}) != 1) ++failed;
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failed.load(), 0);
}

}  // namespace
}  // namespace kelv::native
