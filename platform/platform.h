// Everything that differs between Windows and Linux, behind one header. The build picks
// the implementation by file (posix/ or win32/).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kelv::platform {

// Unicode inside the component is UTF-8; the script boundary and the Windows file calls
// speak UTF-16. A surrogate that stands alone (Windows allows one in a file name) keeps
// its own three-byte form in UTF-8 (Surrogates::Keep, the generalized UTF-8 of such
// names), so every UTF-16 string comes back exactly; Surrogates::Replace makes it the
// default character '?' one way and U+FFFD the other. Bytes that form no UTF-8 sequence
// become U+FFFD each. Neither stops at a NUL.
enum class Surrogates : uint8_t { Keep, Replace };
std::string utf8_from_utf16(std::u16string_view wide, Surrogates lone = Surrogates::Keep);
std::u16string utf16_from_utf8(std::string_view utf8, Surrogates lone = Surrogates::Keep);
// The code points of UTF-8 text, a lone surrogate as its own (Keep) or as U+FFFD
// (Replace); and code points as UTF-8 again.
std::u32string code_points(std::string_view utf8, Surrogates lone = Surrogates::Keep);
std::string utf8_from_code_points(std::u32string_view code_points);

// 8-bit text in the system ANSI code page (UTF-8 on Linux) and UTF-16. Both directions
// stop at the first NUL. A character the 8-bit set cannot hold becomes its default
// character.
std::string to_narrow(std::u16string_view wide);
std::u16string to_wide(std::string_view narrow);

// Code pages by their Windows numbers: 0 is the system ANSI code page (UTF-8 on Linux),
// 65001 UTF-8. True when the system can convert text to and from `code_page`.
inline constexpr uint32_t kCodePageAnsi = 0;
inline constexpr uint32_t kCodePageUtf8 = 65001;
bool code_page_valid(uint32_t code_page);
// Text (UTF-8) as bytes in a code page: a character the page lacks becomes the page's
// default character. A page the system lacks converts as page 0.
std::string text_to_bytes(std::string_view text, uint32_t code_page);
// Bytes in a code page as text (UTF-8): bytes the page does not define become U+FFFD,
// never an error. Neither conversion stops at a NUL.
std::string bytes_to_text(std::string_view bytes, uint32_t code_page);

// ---- Names ---------------------------------------------------------------------------

// A name as the file calls take it: one that names exactly the file the script gave, on
// every system. Refused, on Linux too so that a page behaves alike on both builds:
// - an empty name, or one with a NUL (the system's calls would stop at it);
// - a component other than "." and ".." that ends in a dot or a space (Windows drops
//   them, and "shell.asp." would be "shell.asp");
// - a ":" anywhere but after a drive letter at the start (an NTFS stream);
// - a "<", ">" or '"', which a Windows search takes for wildcards ("shell.as>" finds
//   "shell.asp"); "*" and "?" stay, as the members that search take masks;
// - a component that is a device name (is_device_name);
// - a device path ("\\.\", "//?/" and the like), and a "\\?\" name that is not a drive or
//   share path. The script's own "\\?\" before one is taken, and the path checked.
// Either slash separates components.
bool is_usable_name(std::string_view name);
// True when Windows takes `component` (one part of a name) for a device: the part before
// its first dot, less trailing spaces, is CON, PRN, AUX, NUL, CONIN$, CONOUT$, or COM or
// LPT with a digit 0 to 9 or a superscript 1, 2 or 3, in any case.
bool is_device_name(std::string_view component);

// The full name of `name` in the form Windows hands to the file system unchanged, past
// MAX_PATH and without trimming: "\\?\X:\..." for a drive, "\\?\UNC\server\share\..." for
// a share. A relative name goes from `current_dir` (a full name; only read when
// needs_current_dir). "." and ".." are resolved (never above the root), either slash
// becomes "\" and repeated separators one; a trailing separator stays. A name the script
// gave with "\\?\" comes back as it is. Empty when no full name can be made.
std::u16string long_form(std::u16string_view name, std::u16string_view current_dir);
bool needs_current_dir(std::u16string_view name);

// The operating system's version record, in the terms of the Windows version query.
struct OsVersion {
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
  uint32_t platform_id = 0;  // 1: consumer line, 2: NT line; anything else elsewhere
};
// False when the query itself failed.
bool os_version(OsVersion& out);

// The system's separator for names it builds itself ('\\' on Windows, '/' on Linux).
char path_separator();

}  // namespace kelv::platform

namespace kelv::platform {

// ---- Files ---------------------------------------------------------------------------

// An open file of the operating system; -1 when none.
struct FileHandle {
  intptr_t value = -1;
  bool valid() const { return value != -1; }
};

enum class Access : uint8_t {
  Read,          // must exist
  Write,         // created, or truncated
  Append,        // created if missing; every write goes to the end
  ReadUpdate,    // read and write; must exist
  WriteUpdate,   // read and write; created, or truncated
  AppendUpdate,  // read and write; created if missing; writes go to the end
  CreateNew,     // write; fails if the name exists (atomic)
};

bool file_open(const std::string& name, Access access, FileHandle& out);
// Creates `name` as a new file open for writing, atomically. Exists when the name is
// taken, so that a caller looking for a free name tries the next one; Failed for every
// other refusal.
enum class Created : uint8_t { Made, Exists, Failed };
Created file_create_new(const std::string& name, FileHandle& out);
// Bytes transferred, or -1 on an error.
int64_t file_read(FileHandle h, void* buf, size_t n);
int64_t file_write(FileHandle h, const void* buf, size_t n);

// Memory for the gathering and scattering transfers.
struct WritePiece {
  const void* data;
  size_t size;
};
struct ReadPiece {
  void* data;
  size_t size;
};
// Writes the pieces in order at the file position, as one system call where the system
// has a gathering write; the bytes written (fewer when the file can't grow), or -1.
int64_t file_write_gather(FileHandle h, const WritePiece* pieces, size_t count);
// Reads the bytes that follow `offset` into the pieces in order, whatever the file
// position (which is left undefined); the bytes read (fewer at the end of the file), or
// -1.
int64_t file_read_at(FileHandle h, uint64_t offset, const ReadPiece* pieces, size_t count);
// The size of an open file, or -1.
int64_t file_size(FileHandle h);
// whence: 0 start, 1 current, 2 end. The new position, or -1.
int64_t file_seek(FileHandle h, int64_t offset, int whence);
void file_close(FileHandle& h);

// Attribute bits, as the Windows file system names them.
inline constexpr uint32_t kAttrReadOnly = 0x1;
inline constexpr uint32_t kAttrHidden = 0x2;
inline constexpr uint32_t kAttrSystem = 0x4;
inline constexpr uint32_t kAttrDirectory = 0x10;
inline constexpr uint32_t kAttrOffline = 0x1000;

// One entry found by a directory search.
struct FindEntry {
  std::string name;  // the last component only
  uint64_t size = 0;
  uint32_t attributes = 0;
  int64_t creation_time = 0;  // UTC, 100-nanosecond intervals since 1601
};

// Searches by name with the wildcards "*" and "?" in the last component. On Linux the
// last component is matched case-sensitively; "hidden" is a name beginning with ".",
// "read-only" a file its owner cannot write, the creation time the birth time where the
// file system keeps one, else the modification time.
std::vector<FindEntry> find_files(const std::string& pattern, size_t max_entries = SIZE_MAX);

// File attributes of a name (no wildcards); false when it does not exist.
bool file_attributes(const std::string& name, uint32_t& attributes);

// Copies a file through a new file beside dest, which takes dest's name only once the
// whole content is in it (write_file_replacing): a failed copy leaves no file behind
// and an existing dest as it was. The copy takes the source's permissions.
bool file_copy(const std::string& src, const std::string& dest, bool fail_if_exists);
// Gives `to` the permissions of `from`: the mode bits on Linux, the read-only, hidden,
// system and archive attributes on Windows.
void copy_permissions(const std::string& from, const std::string& to);
bool file_delete(const std::string& name);
// Renames or moves a file or directory; fails when dest exists.
bool file_move(const std::string& src, const std::string& dest);
bool dir_make(const std::string& name);
bool dir_delete(const std::string& name);

// The temporary-files directory, ending in the separator; false when it can't be told.
bool temp_dir(std::string& out);
// Creates a new, empty file named dir + the first three characters of prefix + up to four
// hexadecimal digits + ".TMP", atomically, and gives its full name. `dir` ends in a
// separator. With `opened`, the new file is also handed back open for writing (invalid
// when it was made but could not be opened), so the caller needn't open it again.
bool create_unique_temp_file(const std::string& dir, const std::string& prefix, std::string& out,
                             FileHandle* opened = nullptr);
// The chain of names a temporary file is tried under: create_unique_temp_file with
// `prefix`, then with "~" in place of its first character, then with two pseudo-random
// prefixes of three hexadecimal digits or more. The first that can be had wins; false
// (with `out` empty) when none can.
bool create_temp_file_chain(const std::string& dir, const std::string& prefix, std::string& out,
                            FileHandle* opened = nullptr);

// Either slash separates the parts of a name, on every system.
inline bool is_separator(char c) { return c == '\\' || c == '/'; }
// `v` in upper-case hexadecimal digits, `min_digits` of them at the least.
std::string hex_digits(uint32_t v, int min_digits);

// ---- Time ----------------------------------------------------------------------------

// The current time, UTC, in 100-nanosecond intervals since 1 January 1601.
bool now_filetime(int64_t& out);
// Today's local date as whole days since 30 December 1899.
int32_t local_day_number();
// A calendar date (month 1 to 12) as whole days since 30 December 1899.
int32_t day_number(int year, int month, int day);
// 1 January 1970 in 100-nanosecond intervals since 1 January 1601.
inline constexpr int64_t kUnixEpochIn1601 = 116444736000000000LL;
inline constexpr int64_t kFileTimeTicksPerSecond = 10000000;
// Milliseconds the hosting process has run: from its creation time on Windows, from when
// the module was loaded on Linux. Seeds and the numbers in new names read it.
uint64_t process_milliseconds();
// Seconds since 1970 for seeding pseudo-random generators.
uint32_t time_seed();
// The hosting process's identifier, to tell its names from other processes' names.
uint32_t process_id();
// A start value for the counters that number new files: the clock, the process's running
// time and its id, scattered, so that other processes and later runs start elsewhere.
uint32_t process_seed();

// ---- Text ----------------------------------------------------------------------------

// Case conversion of text (UTF-8) by the system's Unicode case rules.
std::string to_lower(std::string_view s);
std::string to_upper(std::string_view s);

}  // namespace kelv::platform

namespace kelv::platform {

// Renames src over dest, replacing dest in one step.
bool file_replace(const std::string& src, const std::string& dest);

// Reads a whole file; false when it can't be opened or read, or is larger than
// max_bytes.
bool read_whole_file(const std::string& name, std::vector<uint8_t>& out, size_t max_bytes);

// Receives a file's bytes piece by piece; false stops the writing.
using WriteSink = std::function<bool(const uint8_t* data, size_t size)>;

// What a write that makes a whole file does with a file already there.
enum class Existing : uint8_t {
  Replace,  // the new file replaces it
  Keep,     // it stays, and the write fails
};

// Writes a file so that it is either complete or untouched: `produce` hands the bytes
// to a sink that puts them in a new temporary file in the target's directory, which
// takes the target's name only once all of them are written. On failure (a write that
// falls short on a full disk included) nothing is left behind and an existing target
// stays. A read-only target is never replaced, whatever the host's rename would allow:
// that is a failure too.
bool write_file_replacing(const std::string& name, const std::function<bool(const WriteSink&)>& produce,
                          Existing existing = Existing::Replace);
bool write_file_replacing(const std::string& name, const uint8_t* data, size_t size);

}  // namespace kelv::platform

namespace kelv::platform {

// A lock for module-wide state, on every toolchain (the Windows cross compiler has no
// std::mutex in its thread model).
class Mutex {
 public:
  Mutex();
  ~Mutex();
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;
  void lock();
  void unlock();

 private:
  void* m_impl;
};

class LockGuard {
 public:
  explicit LockGuard(Mutex& m) : m_mutex(m) { m_mutex.lock(); }
  ~LockGuard() { m_mutex.unlock(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  Mutex& m_mutex;
};

}  // namespace kelv::platform
