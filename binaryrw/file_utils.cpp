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

std::string name_part(const std::string& name) {
  size_t i = name.size();
  while (i > 0 && !platform::is_separator(name[i - 1])) --i;
  return name.substr(i);
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
  return apply_case(name_part(FileName), mode);
}

std::string TBinaryRWImpl::ExtractFileExt(const std::string& FileName, int32_t mode) {
  // Backwards from the end: a separator before any dot means no extension.
  for (size_t i = FileName.size(); i > 0; --i) {
    char c = FileName[i - 1];
    if (platform::is_separator(c)) return {};
    if (c == '.') return apply_case(FileName.substr(i), mode);
  }
  return {};
}

std::string TBinaryRWImpl::ExtractFileNameOnly(const std::string& FileName, int32_t mode) {
  std::string name = name_part(FileName);
  size_t dot = name.find('.');
  if (dot != std::string::npos) name.resize(dot);
  return apply_case(name, mode);
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
