// The file-system utilities of BinaryRW. None of them uses the object's state.

#include "binaryrw/binary_rw.h"
#include "platform/folders.h"
#include "platform/platform.h"

namespace kelv {
namespace {

std::string apply_case(std::string s, int32_t mode) {
  if (mode == 1) return platform::to_lower(s);
  if (mode == 2) return platform::to_upper(s);
  return s;
}

// A name-splitting member's argument is text: used up to its first NUL.
std::string_view text_arg(const std::string& s) { return std::string_view(s).substr(0, s.find('\0')); }

std::string name_part(std::string_view name) {
  size_t i = name.size();
  while (i > 0 && !platform::is_separator(name[i - 1])) --i;
  return std::string(name.substr(i));
}

}  // namespace

int32_t TBinaryRWImpl::FExists(const std::string& FileName) {
  auto found = platform::find_files(FileName, 1);
  return !found.empty() && !(found[0].attributes & platform::kAttrDirectory) ? 1 : 0;
}

int32_t TBinaryRWImpl::DirExists(const std::string& dirname) {
  uint32_t attr = 0;
  return platform::file_attributes(dirname, attr) && (attr & platform::kAttrDirectory) ? 1 : 0;
}

std::string TBinaryRWImpl::ExtractFileName(const std::string& FileName, int32_t mode) {
  return apply_case(name_part(text_arg(FileName)), mode);
}

std::string TBinaryRWImpl::ExtractFileExt(const std::string& FileName, int32_t mode) {
  const std::string_view name = text_arg(FileName);
  // Backwards from the end: a separator before any dot means no extension.
  for (size_t i = name.size(); i > 0; --i) {
    char c = name[i - 1];
    if (platform::is_separator(c)) return {};
    if (c == '.') return apply_case(std::string(name.substr(i)), mode);
  }
  return {};
}

std::string TBinaryRWImpl::ExtractFileNameOnly(const std::string& FileName, int32_t mode) {
  std::string name = name_part(text_arg(FileName));
  size_t dot = name.find('.');
  if (dot != std::string::npos) name.resize(dot);
  return apply_case(name, mode);
}

namespace {

// Characters that change how a name is shown and not what it names: zero-width ones, the
// direction marks, embeddings, overrides and isolates, and the byte order mark.
bool is_invisible(char32_t c) {
  return (c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF;
}

bool is_refused_in_names(char32_t c) {
  return c < 0x20 || c == 0x7F || std::u32string_view(U"<>:\"|?*").find(c) != std::u32string_view::npos;
}

bool is_dot_or_space(char32_t c) { return c == U'.' || c == U' '; }

void trim_dots_and_spaces(std::u32string& s) {
  while (!s.empty() && is_dot_or_space(s.back())) s.pop_back();
  size_t lead = 0;
  while (lead < s.size() && is_dot_or_space(s[lead])) ++lead;
  s.erase(0, lead);
}

// A file name's most: 255 UTF-16 units, and 255 bytes of UTF-8 for the file systems that
// count bytes.
constexpr size_t kMaxNameUnits = 255;
constexpr size_t kMaxNameBytes = 255;

struct NameLength {
  size_t units = 0, bytes = 0;
  void add(char32_t c) {
    units += c >= 0x10000 ? 2 : 1;
    bytes += c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
  }
  bool fits() const { return units <= kMaxNameUnits && bytes <= kMaxNameBytes; }
};

NameLength length_of(std::u32string_view s) {
  NameLength n;
  for (char32_t c : s) n.add(c);
  return n;
}

}  // namespace

std::string TBinaryRWImpl::SafeFileName(const std::string& FileName) {
  std::u32string name;
  for (char32_t c : platform::code_points(name_part(text_arg(FileName)))) {
    if (is_invisible(c)) continue;
    name.push_back(is_refused_in_names(c) ? U'_' : c);
  }
  trim_dots_and_spaces(name);
  if (platform::is_device_name(platform::utf8_from_code_points(name))) name.insert(0, 1, U'_');
  if (!length_of(name).fits()) {
    // The part before the last dot is cut, character by character, so the extension
    // stays; an extension too long to keep with one character before it is cut too.
    size_t dot = name.rfind(U'.');
    if (dot == std::u32string::npos || dot == 0 || !length_of(name.substr(dot - 1)).fits()) dot = name.size();
    const std::u32string ext = name.substr(dot);
    std::u32string stem = name.substr(0, dot);
    size_t keep = 0;
    for (NameLength n = length_of(ext); keep < stem.size(); ++keep) {
      n.add(stem[keep]);
      if (!n.fits()) break;
    }
    stem.resize(keep);
    name = stem + ext;
    trim_dots_and_spaces(name);
  }
  return name.empty() ? "_" : platform::utf8_from_code_points(name);
}

int32_t TBinaryRWImpl::FileCopy(const std::string& src, const std::string& dest, int32_t what) {
  return platform::file_copy(src, dest, what != 0) ? 1 : 0;
}

int32_t TBinaryRWImpl::FileDelete(const std::string& FileName) { return platform::file_delete(FileName) ? 1 : 0; }
int32_t TBinaryRWImpl::FileMove(const std::string& src, const std::string& dest) {
  return platform::file_move(src, dest) ? 1 : 0;
}
int32_t TBinaryRWImpl::DirMake(const std::string& dirname) { return platform::dir_make(dirname) ? 1 : 0; }
int32_t TBinaryRWImpl::DirDelete(const std::string& EmptyDirName) { return platform::dir_delete(EmptyDirName) ? 1 : 0; }

std::string TBinaryRWImpl::CreateTMPFile(const std::string& dir) {
  const std::string d = platform::folder_with_separator(dir);
  // The prefix is today's day number in hexadecimal; of it the first three characters
  // name the file.
  std::string out;
  platform::create_temp_file_chain(d, platform::hex_digits(static_cast<uint32_t>(platform::local_day_number()), 3),
                                   out);
  return out;
}

int32_t TBinaryRWImpl::OldFilesDelete(int32_t seconds, const std::string& dir_mask) {
  if (dir_mask.empty()) return 0;
  auto found = platform::find_files(dir_mask);
  if (found.empty()) return 0;
  size_t cut = dir_mask.find_last_of("\\/:");
  // A mask without a directory deletes nothing.
  if (cut == std::string::npos) return 0;
  const std::string dir = platform::folder_with_separator(dir_mask.substr(0, cut + 1));
  constexpr uint32_t kSkip = platform::kAttrReadOnly | platform::kAttrHidden | platform::kAttrSystem |
                             platform::kAttrDirectory | platform::kAttrOffline;
  int32_t count = 0;
  for (const platform::FindEntry& e : found) {
    if (e.attributes & kSkip) continue;
    int64_t now = 0;
    if (!platform::now_filetime(now)) continue;
    int64_t age = (now - e.creation_time) / platform::kFileTimeTicksPerSecond;
    if (age > static_cast<int64_t>(seconds) && platform::file_delete(dir + e.name)) ++count;
  }
  return count;
}

}  // namespace kelv
