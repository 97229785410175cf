#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "platform/platform.h"

namespace kelv::platform {
namespace {

HANDLE handle_of(FileHandle h) { return reinterpret_cast<HANDLE>(h.value); }

// Names reach the system's wide calls as the script wrote them: UTF-8 to UTF-16, never a
// code page, whose best-fit mapping and default character would name another file.
// False for a name no call may take (empty, or with a NUL the system would stop at).
bool wide(const std::string& name, std::wstring& out) {
  if (!is_usable_name(name)) return false;
  std::u16string w = utf16_from_utf8(name);
  out.assign(w.begin(), w.end());
  return true;
}

std::string from_wide(const wchar_t* w) {
  std::u16string u(reinterpret_cast<const char16_t*>(w));
  return utf8_from_utf16(u);
}

int64_t filetime(const FILETIME& t) {
  return static_cast<int64_t>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}

const DWORD g_process_start = GetTickCount();

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
  std::wstring w;
  if (!wide(name, w)) return false;
  HANDLE h = CreateFileW(w.c_str(), rights, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
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

int64_t file_write(FileHandle h, const void* buf, size_t n) {
  DWORD put = 0;
  if (!WriteFile(handle_of(h), buf, static_cast<DWORD>(n), &put, nullptr)) return put ? put : -1;
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
  std::wstring w;
  if (!wide(pattern, w) || max_entries == 0) return out;
  WIN32_FIND_DATAW fd;
  HANDLE f = FindFirstFileW(w.c_str(), &fd);
  if (f == INVALID_HANDLE_VALUE) return out;
  do {
    if (std::wcscmp(fd.cFileName, L".") == 0 || std::wcscmp(fd.cFileName, L"..") == 0) continue;
    FindEntry e;
    e.name = from_wide(fd.cFileName);
    e.size = (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
    e.attributes = fd.dwFileAttributes;
    e.creation_time = filetime(fd.ftCreationTime);
    out.push_back(std::move(e));
  } while (out.size() < max_entries && FindNextFileW(f, &fd));
  FindClose(f);
  return out;
}

bool file_attributes(const std::string& name, uint32_t& attributes) {
  std::wstring w;
  if (!wide(name, w)) return false;
  DWORD a = GetFileAttributesW(w.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return false;
  attributes = a;
  return true;
}

bool file_copy(const std::string& src, const std::string& dest, bool fail_if_exists) {
  std::wstring from, to;
  return wide(src, from) && wide(dest, to) && CopyFileW(from.c_str(), to.c_str(), fail_if_exists) != 0;
}
bool file_delete(const std::string& name) {
  std::wstring w;
  return wide(name, w) && DeleteFileW(w.c_str()) != 0;
}
bool file_move(const std::string& src, const std::string& dest) {
  std::wstring from, to;
  return wide(src, from) && wide(dest, to) && MoveFileW(from.c_str(), to.c_str()) != 0;
}
bool file_replace(const std::string& src, const std::string& dest) {
  std::wstring from, to;
  return wide(src, from) && wide(dest, to) &&
         MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool dir_make(const std::string& name) {
  std::wstring w;
  return wide(name, w) && CreateDirectoryW(w.c_str(), nullptr) != 0;
}
bool dir_delete(const std::string& name) {
  std::wstring w;
  return wide(name, w) && RemoveDirectoryW(w.c_str()) != 0;
}

// A folder name longer than the 256 characters the service is first asked for is read
// again into a buffer of its size.
bool temp_dir(std::string& out) {
  std::wstring buf(256, L'\0');
  DWORD n = GetTempPathW(static_cast<DWORD>(buf.size()), buf.data());
  if (n >= buf.size()) {
    buf.assign(n + 1, L'\0');
    n = GetTempPathW(static_cast<DWORD>(buf.size()), buf.data());
  }
  if (n == 0 || n >= buf.size()) return false;
  buf.resize(n);
  out = utf8_from_utf16(std::u16string(buf.begin(), buf.end()));
  return true;
}

bool create_unique_temp_file(const std::string& dir, const std::string& prefix, std::string& out, FileHandle* opened) {
  if (opened) *opened = FileHandle{};
  std::wstring d;
  if (!wide(dir, d)) return false;
  const std::u16string p16 = utf16_from_utf8(prefix);
  const std::wstring p(p16.begin(), p16.end());
  wchar_t buf[MAX_PATH];
  if (GetTempFileNameW(d.c_str(), p.c_str(), 0, buf) == 0) return false;
  out = from_wide(buf);
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

namespace {

// Unicode case rules, on the UTF-16 form of the text.
std::string map_case(std::string_view s, bool upper) {
  std::u16string w = utf16_from_utf8(s);
  if (!w.empty()) {
    auto* p = reinterpret_cast<wchar_t*>(w.data());
    upper ? CharUpperBuffW(p, static_cast<DWORD>(w.size())) : CharLowerBuffW(p, static_cast<DWORD>(w.size()));
  }
  return utf8_from_utf16(w);
}

}  // namespace

std::string to_lower(std::string_view s) { return map_case(s, false); }
std::string to_upper(std::string_view s) { return map_case(s, true); }

}  // namespace kelv::platform
