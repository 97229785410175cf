#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "platform/platform.h"

namespace kelv::platform {
namespace {

int fd_of(FileHandle h) { return static_cast<int>(h.value); }

int64_t to_filetime(const struct statx_timestamp& t) {
  return kUnixEpochIn1601 + static_cast<int64_t>(t.tv_sec) * kFileTimeTicksPerSecond + t.tv_nsec / 100;
}

bool has_wildcards(std::string_view s) { return s.find_first_of("*?") != std::string_view::npos; }

// "*" any run of characters, "?" one character of any script, everything else itself; a
// name's leading "." is matched only by a "." (hidden names stay out of "*"). The pattern
// comes as code points, converted once for the whole search.
bool wildcard_match(const std::u32string& p, std::string_view name) {
  const std::u32string n = code_points(name);
  if (!n.empty() && n[0] == U'.' && (p.empty() || p[0] != U'.')) return false;
  size_t i = 0, j = 0, star = std::u32string::npos, mark = 0;
  while (j < n.size()) {
    if (i < p.size() && (p[i] == U'?' || (p[i] != U'*' && p[i] == n[j]))) {
      ++i, ++j;
    } else if (i < p.size() && p[i] == U'*') {
      star = i++, mark = j;
    } else if (star != std::u32string::npos) {
      i = star + 1, j = ++mark;
    } else {
      return false;
    }
  }
  while (i < p.size() && p[i] == U'*') ++i;
  return i == p.size();
}

bool entry_of(const std::string& path, const std::string& name, FindEntry& e) {
  struct statx sx {};
  if (statx(AT_FDCWD, path.c_str(), AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return false;
  e.name = name;
  e.size = sx.stx_size;
  e.attributes = 0;
  if (S_ISDIR(sx.stx_mode)) e.attributes |= kAttrDirectory;
  if (!(sx.stx_mode & S_IWUSR)) e.attributes |= kAttrReadOnly;
  if (!name.empty() && name[0] == '.') e.attributes |= kAttrHidden;
  if (!S_ISDIR(sx.stx_mode) && !S_ISREG(sx.stx_mode)) e.attributes |= kAttrSystem;
  e.creation_time = (sx.stx_mask & STATX_BTIME) ? to_filetime(sx.stx_btime) : to_filetime(sx.stx_mtime);
  return true;
}

}  // namespace

bool file_open(const std::string& name, Access access, FileHandle& out) {
  out = FileHandle{};
  if (!is_usable_name(name)) return false;
  int flags = O_CLOEXEC;
  switch (access) {
    case Access::Read: flags |= O_RDONLY; break;
    case Access::Write: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
    case Access::Append: flags |= O_WRONLY | O_CREAT | O_APPEND; break;
    case Access::ReadUpdate: flags |= O_RDWR; break;
    case Access::WriteUpdate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case Access::AppendUpdate: flags |= O_RDWR | O_CREAT | O_APPEND; break;
    case Access::CreateNew: flags |= O_WRONLY | O_CREAT | O_EXCL; break;
  }
  int fd = ::open(name.c_str(), flags, 0666);
  if (fd < 0) return false;
  // A directory opens for reading only (for writing the system refuses it); a stream
  // over it is of no use.
  struct stat st {};
  if (access == Access::Read && (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode))) {
    ::close(fd);
    return false;
  }
  out.value = fd;
  return true;
}

Created file_create_new(const std::string& name, FileHandle& out) {
  out = FileHandle{};
  if (!is_usable_name(name)) return Created::Failed;
  int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return errno == EEXIST ? Created::Exists : Created::Failed;
  out.value = fd;
  return Created::Made;
}

int64_t file_read(FileHandle h, void* buf, size_t n) {
  for (;;) {
    ssize_t r = ::read(fd_of(h), buf, n);
    if (r >= 0) return r;
    if (errno != EINTR) return -1;
  }
}

int64_t file_write(FileHandle h, const void* buf, size_t n) {
  size_t done = 0;
  const char* p = static_cast<const char*>(buf);
  while (done < n) {
    ssize_t w = ::write(fd_of(h), p + done, n - done);
    if (w < 0) {
      if (errno == EINTR) continue;
      return done ? static_cast<int64_t>(done) : -1;
    }
    if (w == 0) break;
    done += static_cast<size_t>(w);
  }
  return static_cast<int64_t>(done);
}

namespace {

// Moves an iovec array past `done` bytes that a partial transfer took.
void advance(struct iovec*& v, int& count, size_t done) {
  while (count > 0 && done >= v->iov_len) done -= v->iov_len, ++v, --count;
  if (count > 0) v->iov_base = static_cast<char*>(v->iov_base) + done, v->iov_len -= done;
}

// Runs one gathering or scattering transfer to its end: `call` makes one system call on
// the pieces still to go and the bytes done so far. Up to 8 pieces need no allocation.
template <class Piece, class Call>
int64_t transfer(const Piece* pieces, size_t count, Call call) {
  struct iovec small[8];
  std::vector<struct iovec> large;
  struct iovec* v = small;
  if (count > std::size(small)) {
    large.resize(count);
    v = large.data();
  }
  int left = 0;
  for (size_t k = 0; k < count; ++k)
    if (pieces[k].size) v[left++] = {const_cast<void*>(static_cast<const void*>(pieces[k].data)), pieces[k].size};
  int64_t done = 0;
  while (left > 0) {
    ssize_t r = call(v, std::min(left, IOV_MAX), done);
    if (r < 0) {
      if (errno == EINTR) continue;
      return done ? done : -1;
    }
    if (r == 0) break;  // no room to write, or the end of the file
    done += r;
    advance(v, left, static_cast<size_t>(r));
  }
  return done;
}

}  // namespace

int64_t file_write_gather(FileHandle h, const WritePiece* pieces, size_t count) {
  return transfer(pieces, count, [&](const struct iovec* v, int n, int64_t) { return ::writev(fd_of(h), v, n); });
}

int64_t file_read_at(FileHandle h, uint64_t offset, const ReadPiece* pieces, size_t count) {
  return transfer(pieces, count, [&](const struct iovec* v, int n, int64_t done) {
    return ::preadv(fd_of(h), v, n, static_cast<off_t>(offset + static_cast<uint64_t>(done)));
  });
}

int64_t file_size(FileHandle h) {
  struct stat st {};
  if (fstat(fd_of(h), &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

int64_t file_seek(FileHandle h, int64_t offset, int whence) {
  int w = whence == 1 ? SEEK_CUR : whence == 2 ? SEEK_END : SEEK_SET;
  off_t r = ::lseek(fd_of(h), static_cast<off_t>(offset), w);
  return r < 0 ? -1 : static_cast<int64_t>(r);
}

void file_close(FileHandle& h) {
  if (h.valid()) ::close(fd_of(h));
  h = FileHandle{};
}

std::vector<FindEntry> find_files(const std::string& pattern, size_t max_entries) {
  std::vector<FindEntry> out;
  if (!is_usable_name(pattern) || max_entries == 0) return out;
  size_t slash = pattern.find_last_of('/');
  std::string dir = slash == std::string::npos ? std::string() : pattern.substr(0, slash + 1);
  std::string last = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
  if (last.empty()) return out;
  if (!has_wildcards(last)) {
    FindEntry e;
    if (entry_of(pattern, last, e)) out.push_back(std::move(e));
    return out;
  }
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return out;
  const std::u32string wanted = code_points(last);
  while (struct dirent* de = ::readdir(d)) {
    std::string name = de->d_name;
    if (name == "." || name == "..") continue;
    if (!wildcard_match(wanted, name)) continue;
    FindEntry e;
    if (entry_of(dir + name, name, e)) out.push_back(std::move(e));
    if (out.size() >= max_entries) break;
  }
  ::closedir(d);
  return out;
}

bool file_attributes(const std::string& name, uint32_t& attributes) {
  if (!is_usable_name(name)) return false;
  FindEntry e;
  std::string trimmed = name;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  size_t slash = trimmed.find_last_of('/');
  if (!entry_of(name, slash == std::string::npos ? trimmed : trimmed.substr(slash + 1), e)) return false;
  attributes = e.attributes;
  return true;
}

void copy_permissions(const std::string& from, const std::string& to) {
  struct stat st {};
  if (is_usable_name(from) && is_usable_name(to) && ::stat(from.c_str(), &st) == 0)
    ::chmod(to.c_str(), st.st_mode & 07777);
}

bool file_delete(const std::string& name) {
  struct stat st {};
  if (!is_usable_name(name) || ::lstat(name.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  return ::unlink(name.c_str()) == 0;
}

bool file_move(const std::string& src, const std::string& dest) {
  if (!is_usable_name(src) || !is_usable_name(dest)) return false;
  return ::renameat2(AT_FDCWD, src.c_str(), AT_FDCWD, dest.c_str(), RENAME_NOREPLACE) == 0;
}

bool file_replace(const std::string& src, const std::string& dest) {
  return is_usable_name(src) && is_usable_name(dest) && ::rename(src.c_str(), dest.c_str()) == 0;
}

bool dir_make(const std::string& name) { return is_usable_name(name) && ::mkdir(name.c_str(), 0777) == 0; }
bool dir_delete(const std::string& name) { return is_usable_name(name) && ::rmdir(name.c_str()) == 0; }

bool temp_dir(std::string& out) {
  const char* t = std::getenv("TMPDIR");
  out = (t && *t) ? t : "/tmp";
  if (out.back() != '/') out.push_back('/');
  return true;
}
}  // namespace kelv::platform
