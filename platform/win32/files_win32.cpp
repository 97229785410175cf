#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace kelv::platform {
namespace {

HANDLE handle_of(FileHandle h) { return reinterpret_cast<HANDLE>(h.value); }

int64_t filetime(const FILETIME& t) {
  return static_cast<int64_t>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}

const DWORD g_process_start = GetTickCount();

}  // namespace

bool file_open(const std::string& name, Access access, FileHandle& out) {
  out = FileHandle{};
  if (name.empty()) return false;
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
  HANDLE h = CreateFileA(name.c_str(), rights, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  out.value = reinterpret_cast<intptr_t>(h);
  return true;
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
  if (pattern.empty() || max_entries == 0) return out;
  WIN32_FIND_DATAA fd;
  HANDLE f = FindFirstFileA(pattern.c_str(), &fd);
  if (f == INVALID_HANDLE_VALUE) return out;
  do {
    if (std::strcmp(fd.cFileName, ".") == 0 || std::strcmp(fd.cFileName, "..") == 0) continue;
    FindEntry e;
    e.name = fd.cFileName;
    e.size = (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
    e.attributes = fd.dwFileAttributes;
    e.creation_time = filetime(fd.ftCreationTime);
    out.push_back(std::move(e));
  } while (out.size() < max_entries && FindNextFileA(f, &fd));
  FindClose(f);
  return out;
}

bool file_attributes(const std::string& name, uint32_t& attributes) {
  DWORD a = GetFileAttributesA(name.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return false;
  attributes = a;
  return true;
}

void copy_permissions(const std::string& from, const std::string& to) {
  constexpr DWORD kCopied =
      FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
  DWORD a = GetFileAttributesA(from.c_str());
  if (a != INVALID_FILE_ATTRIBUTES && (a & kCopied)) SetFileAttributesA(to.c_str(), a & kCopied);
}
bool file_delete(const std::string& name) { return DeleteFileA(name.c_str()) != 0; }
bool file_move(const std::string& src, const std::string& dest) { return MoveFileA(src.c_str(), dest.c_str()) != 0; }
bool file_replace(const std::string& src, const std::string& dest) {
  return MoveFileExA(src.c_str(), dest.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool dir_make(const std::string& name) { return CreateDirectoryA(name.c_str(), nullptr) != 0; }
bool dir_delete(const std::string& name) { return RemoveDirectoryA(name.c_str()) != 0; }

bool temp_dir(std::string& out) {
  char buf[256];
  DWORD n = GetTempPathA(sizeof buf, buf);
  if (n == 0 || n >= sizeof buf) return false;
  out.assign(buf, n);
  return true;
}

bool create_unique_temp_file(const std::string& dir, const std::string& prefix, std::string& out, FileHandle* opened) {
  if (opened) *opened = FileHandle{};
  char buf[MAX_PATH];
  if (GetTempFileNameA(dir.c_str(), prefix.c_str(), 0, buf) == 0) return false;
  out = buf;
  // The service creates and closes the file; it is opened again for the caller.
  if (opened) file_open(out, Access::Write, *opened);
  return true;
}

bool now_filetime(int64_t& out) {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  out = filetime(ft);
  return true;
}

int32_t local_day_number() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return day_number(st.wYear, st.wMonth, st.wDay);
}

// From the hosting process's creation time, which the module may see long after.
uint64_t process_milliseconds() {
  FILETIME created, exited, kernel, user, now;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return GetTickCount() - g_process_start;
  GetSystemTimeAsFileTime(&now);
  int64_t diff = filetime(now) - filetime(created);
  return diff > 0 ? static_cast<uint64_t>(diff / 10000) : 0;
}
uint32_t time_seed() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  // Seconds since 1970, as the C runtime's time() gives them.
  return static_cast<uint32_t>((filetime(now) - kUnixEpochIn1601) / kFileTimeTicksPerSecond);
}
uint32_t process_id() { return GetCurrentProcessId(); }

std::string to_lower(std::string_view s) {
  std::string out(s);
  if (!out.empty()) CharLowerBuffA(out.data(), static_cast<DWORD>(out.size()));
  return out;
}

std::string to_upper(std::string_view s) {
  std::string out(s);
  if (!out.empty()) CharUpperBuffA(out.data(), static_cast<DWORD>(out.size()));
  return out;
}

}  // namespace kelv::platform
