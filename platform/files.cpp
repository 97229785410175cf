// File helpers built on the platform's primitives, the same on every system.
#include <atomic>
#include <cstdio>

#include "common/msrand.h"
#include "platform/folders.h"
#include "platform/platform.h"

namespace kelv::platform {

std::string hex_digits(uint32_t v, int min_digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*X", min_digits, v);
  return buf;
}

std::string folder_with_separator(const std::string& dir) {
  std::string out = dir;
  if (out.empty() && !temp_dir(out)) out = "c:\\";
  if (out.empty() || !is_separator(out.back())) out.push_back(path_separator());
  return out;
}

bool create_unique_temp_file(const std::string& dir, const std::string& prefix, std::string& out, FileHandle* opened) {
  if (opened) *opened = FileHandle{};
  const std::string p = prefix.substr(0, 3);
  // Count up from a start taken from the clock until a free name is created, as the
  // Windows service does (which would hand back a name past MAX_PATH in the system's own
  // form, or not at all); creation as a new file makes the name ours alone. The count goes
  // on from call to call, so files made in a row (within one millisecond, with the same
  // prefix) take the next numbers instead of trying the taken ones again.
  static std::atomic<uint32_t> next{process_seed()};
  for (unsigned k = 0; k < 0x10000; ++k) {
    const unsigned n = next.fetch_add(1, std::memory_order_relaxed) & 0xFFFF;
    if (n == 0) continue;
    char hex[8];
    std::snprintf(hex, sizeof hex, "%X", n);
    const std::string name = dir + p + hex + ".TMP";
    FileHandle h;
    const Created made = file_create_new(name, h);
    if (made == Created::Failed) return false;
    if (made == Created::Exists) continue;
    if (opened)
      *opened = h;
    else
      file_close(h);
    out = name;
    return true;
  }
  return false;
}

bool create_temp_file_chain(const std::string& dir, const std::string& prefix, std::string& out, FileHandle* opened) {
  if (create_unique_temp_file(dir, prefix, out, opened)) return true;
  std::string tilde = prefix;
  if (!tilde.empty()) tilde[0] = '~';
  if (create_unique_temp_file(dir, tilde, out, opened)) return true;
  MsRand rnd;
  rnd.seed(time_seed());
  for (int attempt = 0; attempt < 2; ++attempt)
    if (create_unique_temp_file(dir, hex_digits(static_cast<uint32_t>(rnd.next()), 3), out, opened)) return true;
  out.clear();
  return false;
}

int32_t day_number(int year, int month, int day) {
  // The Julian day number of the date (March-based years, so the leap day comes last),
  // less that of 30 December 1899.
  constexpr int kJulianDay18991230 = 2415019;
  const int a = (14 - month) / 12;
  const int y = year + 4800 - a, m = month + 12 * a - 3;
  const int julian = day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
  return julian - kJulianDay18991230;
}

bool read_whole_file(const std::string& name, std::vector<uint8_t>& out, size_t max_bytes) {
  FileHandle h;
  if (!file_open(name, Access::Read, h)) return false;
  int64_t size = file_seek(h, 0, 2);
  bool ok = size >= 0 && static_cast<uint64_t>(size) <= max_bytes && file_seek(h, 0, 0) == 0;
  if (ok) {
    out.resize(static_cast<size_t>(size));
    size_t done = 0;
    while (ok && done < out.size()) {
      int64_t n = file_read(h, out.data() + done, out.size() - done);
      if (n <= 0)
        ok = false;
      else
        done += static_cast<size_t>(n);
    }
  }
  file_close(h);
  return ok;
}

uint32_t process_seed() {
  // Knuth's multiplicative hash: seconds that follow one another land far apart.
  constexpr uint32_t kScatter = 2654435761u;
  return time_seed() * kScatter ^ static_cast<uint32_t>(process_milliseconds()) ^ process_id();
}

namespace {

// Linux and Wine let a rename replace a read-only file where Windows refuses; the
// attribute is checked here so that no host replaces one.
bool is_read_only(const std::string& name) {
  uint32_t attributes = 0;
  return file_attributes(name, attributes) && (attributes & kAttrReadOnly) != 0;
}

// The number in a save's temporary name. Saves on many threads at once (the pages of a
// web server) each take their own: a count shared by the process, started from the
// clock and the process so that other processes start elsewhere, and scattered so that
// names from one run do not line up with the next run's.
uint32_t next_temporary_number() {
  static std::atomic<uint32_t> count{process_seed()};
  uint32_t n = count.fetch_add(1, std::memory_order_relaxed);
  n ^= n >> 16;
  n *= 0x45D9F3Bu;
  return n ^ (n >> 16);
}

}  // namespace

bool write_file_replacing(const std::string& name, const std::function<bool(const WriteSink&)>& produce,
                          Existing existing) {
  if (!is_usable_name(name) || is_read_only(name)) return false;
  size_t cut = name.find_last_of("\\/");
  std::string dir = cut == std::string::npos ? std::string() : name.substr(0, cut + 1);
  for (int attempt = 0; attempt < 16; ++attempt) {
    char tail[32];
    std::snprintf(tail, sizeof tail, "~kelv%08X.tmp", next_temporary_number());
    std::string tmp = dir + tail;
    FileHandle h;
    if (!file_open(tmp, Access::CreateNew, h)) continue;  // taken, or the directory refuses
    // Small pieces gather in a staging buffer, so that a writer may hand over rows.
    std::vector<uint8_t> stage;
    stage.reserve(256 * 1024);
    // A full disk takes part of a write and then nothing: a write that makes no progress
    // ends the save.
    auto write_all = [&](const uint8_t* p, size_t n) {
      while (n) {
        int64_t w = file_write(h, p, n);
        if (w <= 0 || static_cast<uint64_t>(w) > n) return false;
        p += w, n -= static_cast<size_t>(w);
      }
      return true;
    };
    WriteSink sink = [&](const uint8_t* p, size_t n) {
      if (stage.size() + n > stage.capacity()) {
        if (!write_all(stage.data(), stage.size())) return false;
        stage.clear();
        if (n >= stage.capacity()) return write_all(p, n);
      }
      stage.insert(stage.end(), p, p + n);
      return true;
    };
    bool ok = produce(sink) && write_all(stage.data(), stage.size());
    file_close(h);
    // Checked again: the target may have been protected while the bytes were made.
    if (ok && !is_read_only(name) && (existing == Existing::Replace ? file_replace(tmp, name) : file_move(tmp, name)))
      return true;
    file_delete(tmp);
    return false;
  }
  return false;
}

bool write_file_replacing(const std::string& name, const uint8_t* data, size_t size) {
  return write_file_replacing(name, [&](const WriteSink& sink) { return sink(data, size); });
}

bool file_copy(const std::string& src, const std::string& dest, bool fail_if_exists) {
  uint32_t attributes = 0;
  if (fail_if_exists && file_attributes(dest, attributes)) return false;
  FileHandle in;
  if (!file_open(src, Access::Read, in)) return false;
  std::vector<uint8_t> buf(size_t{1} << 16);
  bool ok = write_file_replacing(
      dest,
      [&](const WriteSink& sink) {
        for (;;) {
          int64_t n = file_read(in, buf.data(), buf.size());
          if (n <= 0) return n == 0;
          if (!sink(buf.data(), static_cast<size_t>(n))) return false;
        }
      },
      fail_if_exists ? Existing::Keep : Existing::Replace);
  file_close(in);
  if (ok) copy_permissions(src, dest);
  return ok;
}

}  // namespace kelv::platform
