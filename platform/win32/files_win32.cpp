#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "platform/platform.h"
#include "platform/win32/wide.h"

namespace kelv::platform {
namespace {

HANDLE handle_of(FileHandle h) { return reinterpret_cast<HANDLE>(h.value); }

std::u16string current_dir() {
  std::u16string buf(MAX_PATH, u'\0');
  DWORD n = GetCurrentDirectoryW(static_cast<DWORD>(buf.size()), wide_chars(buf));
  if (n >= buf.size()) {
    buf.assign(n, u'\0');
    n = GetCurrentDirectoryW(static_cast<DWORD>(buf.size()), wide_chars(buf));
  }
  buf.resize(n < buf.size() ? n : 0);
  return buf;
}

// A name as the wide calls take it. It reaches them as the script wrote it, UTF-8 to
// UTF-16 and never through a code page (whose best-fit mapping and default character
// would name another file); it is checked (is_usable_name) and then made full in its
// "\\?\" form, so that the system neither trims it nor applies MAX_PATH. False for a name
// no call may take.
bool wide(const std::string& name, std::u16string& out) {
  if (!is_usable_name(name)) return false;
  const std::u16string w = utf16_from_utf8(name);
  out = long_form(w, needs_current_dir(w) ? current_dir() : std::u16string());
  return !out.empty();
}

}  // namespace

bool file_open(const std::string& name, Access access, FileHandle& out) {
  out = FileHandle{};
  DWORD rights = 0, disposition = 0;
  switch (access) {
    case Access::Read: rights = GENERIC_READ, disposition = OPEN_EXISTING; break;
    case Access::Write: rights = GENERIC_WRITE, disposition = CREATE_ALWAYS; break;
    case Access::Append: rights = FILE_APPEND_DATA | SYNCHRONIZE, disposition = OPEN_ALWAYS; break;
    case Access::ReadUpdate: rights = GENERIC_READ | GENERIC_WRITE, disposition = OPEN_EXISTING; break;
    case Access::WriteUpdate: rights = GENERIC_READ | GENERIC_WRITE, disposition = CREATE_ALWAYS; break;
    case Access::AppendUpdate: rights = GENERIC_READ | FILE_APPEND_DATA | SYNCHRONIZE, disposition = OPEN_ALWAYS; break;
    case Access::CreateNew: rights = GENERIC_WRITE, disposition = CREATE_NEW; break;
  }
  std::u16string w;
  if (!wide(name, w)) return false;
  HANDLE h = CreateFileW(wide_chars(w), rights, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  out.value = reinterpret_cast<intptr_t>(h);
  return true;
}

Created file_create_new(const std::string& name, FileHandle& out) {
  out = FileHandle{};
  std::u16string w;
  if (!wide(name, w)) return Created::Failed;
  HANDLE h = CreateFileW(wide_chars(w), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD e = GetLastError();
    return e == ERROR_FILE_EXISTS || e == ERROR_ALREADY_EXISTS ? Created::Exists : Created::Failed;
  }
  out.value = reinterpret_cast<intptr_t>(h);
  return Created::Made;
}

int64_t file_read(FileHandle h, void* buf, size_t n) {
  DWORD got = 0;
  if (!ReadFile(handle_of(h), buf, static_cast<DWORD>(n), &got, nullptr)) return -1;
  return got;
}

// A write the disk can't take in full goes through in part and succeeds; the next one
// fails with nothing written, and answers -1 (as a signed count: a DWORD -1 would read as
// four billion bytes written).
int64_t file_write(FileHandle h, const void* buf, size_t n) {
  DWORD put = 0;
  if (!WriteFile(handle_of(h), buf, static_cast<DWORD>(n), &put, nullptr)) return put ? int64_t{put} : int64_t{-1};
  return put;
}

// Windows has no gathering write for ordinary files: the pieces go out one after the
// other with nothing in between.
int64_t file_write_gather(FileHandle h, const WritePiece* pieces, size_t count) {
  int64_t done = 0;
  for (size_t k = 0; k < count; ++k) {
    if (!pieces[k].size) continue;
    int64_t w = file_write(h, pieces[k].data, pieces[k].size);
    if (w < 0) return done ? done : -1;
    done += w;
    if (static_cast<size_t>(w) < pieces[k].size) break;
  }
  return done;
}

// One ReadFile per piece (or per gigabyte of one), each given its offset.
int64_t file_read_at(FileHandle h, uint64_t offset, const ReadPiece* pieces, size_t count) {
  int64_t done = 0;
  for (size_t k = 0; k < count; ++k) {
    char* p = static_cast<char*>(pieces[k].data);
    size_t left = pieces[k].size;
    while (left) {
      uint64_t at = offset + static_cast<uint64_t>(done);
      OVERLAPPED o{};
      o.Offset = static_cast<DWORD>(at);
      o.OffsetHigh = static_cast<DWORD>(at >> 32);
      DWORD want = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left), got = 0;
      if (!ReadFile(handle_of(h), p, want, &got, &o)) {
        if (GetLastError() == ERROR_HANDLE_EOF) return done;
        return done ? done : -1;
      }
      if (got == 0) return done;
      done += got, p += got, left -= got;
    }
  }
  return done;
}

int64_t file_size(FileHandle h) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(handle_of(h), &size)) return -1;
  return size.QuadPart;
}

int64_t file_seek(FileHandle h, int64_t offset, int whence) {
  LARGE_INTEGER to, now;
  to.QuadPart = offset;
  DWORD method = whence == 1 ? FILE_CURRENT : whence == 2 ? FILE_END : FILE_BEGIN;
  if (!SetFilePointerEx(handle_of(h), to, &now, method)) return -1;
  return now.QuadPart;
}

void file_close(FileHandle& h) {
  if (h.valid()) CloseHandle(handle_of(h));
  h = FileHandle{};
}

std::vector<FindEntry> find_files(const std::string& pattern, size_t max_entries) {
  std::vector<FindEntry> out;
  std::u16string w;
  if (!wide(pattern, w) || max_entries == 0) return out;
  WIN32_FIND_DATAW fd;
  HANDLE f = FindFirstFileW(wide_chars(w), &fd);
  if (f == INVALID_HANDLE_VALUE) return out;
  do {
    if (std::wcscmp(fd.cFileName, L".") == 0 || std::wcscmp(fd.cFileName, L"..") == 0) continue;
    FindEntry e;
    e.name = utf8_from_wide(fd.cFileName);
    e.size = (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
    e.attributes = fd.dwFileAttributes;
    e.creation_time = filetime(fd.ftCreationTime);
    out.push_back(std::move(e));
  } while (out.size() < max_entries && FindNextFileW(f, &fd));
  FindClose(f);
  return out;
}

bool file_attributes(const std::string& name, uint32_t& attributes) {
  std::u16string w;
  if (!wide(name, w)) return false;
  DWORD a = GetFileAttributesW(wide_chars(w));
  if (a == INVALID_FILE_ATTRIBUTES) return false;
  attributes = a;
  return true;
}

void copy_permissions(const std::string& from, const std::string& to) {
  constexpr DWORD kCopied =
      FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
  std::u16string src, dest;
  if (!wide(from, src) || !wide(to, dest)) return;
  DWORD a = GetFileAttributesW(wide_chars(src));
  if (a != INVALID_FILE_ATTRIBUTES && (a & kCopied)) SetFileAttributesW(wide_chars(dest), a & kCopied);
}
bool file_delete(const std::string& name) {
  std::u16string w;
  return wide(name, w) && DeleteFileW(wide_chars(w)) != 0;
}
bool file_move(const std::string& src, const std::string& dest) {
  std::u16string from, to;
  return wide(src, from) && wide(dest, to) && MoveFileW(wide_chars(from), wide_chars(to)) != 0;
}
bool file_replace(const std::string& src, const std::string& dest) {
  std::u16string from, to;
  return wide(src, from) && wide(dest, to) &&
         MoveFileExW(wide_chars(from), wide_chars(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool dir_make(const std::string& name) {
  std::u16string w;
  return wide(name, w) && CreateDirectoryW(wide_chars(w), nullptr) != 0;
}
bool dir_delete(const std::string& name) {
  std::u16string w;
  return wide(name, w) && RemoveDirectoryW(wide_chars(w)) != 0;
}

// A folder name longer than the 256 characters the service is first asked for is read
// again into a buffer of its size.
bool temp_dir(std::string& out) {
  std::u16string buf(256, u'\0');
  DWORD n = GetTempPathW(static_cast<DWORD>(buf.size()), wide_chars(buf));
  if (n >= buf.size()) {
    buf.assign(n + 1, u'\0');
    n = GetTempPathW(static_cast<DWORD>(buf.size()), wide_chars(buf));
  }
  if (n == 0 || n >= buf.size()) return false;
  buf.resize(n);
  out = utf8_from_utf16(buf);
  return true;
}
}  // namespace kelv::platform
