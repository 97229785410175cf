// The streaming multipart/form-data decoder of one upload. The body arrives in chunks
// of any size; a byte-level state machine that survives between calls splits it into
// text items, kept in memory, and file parts, written straight to files in an output
// directory through a fixed buffer.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace kelv {

// One uploaded file.
struct TFD_FileInfo {
  std::string FormName;     // the form field that carried it
  std::string HeaderName;   // the file name the client sent, verbatim
  std::string ContentType;  // as sent
  std::string FilePath;     // where its content was written; empty when no file was made
};

class TFD_Object {
 public:
  static constexpr size_t kOutBufferSize = 33130;
  // File content is written once this much is waiting, in one write with the bytes that
  // reach it; so the buffer never holds more than this and writes are never smaller
  // (except the last of each file).
  static constexpr int32_t kFlushThreshold = 32767;
  // Longer first lines are refused: a candidate delimiter must always fit the buffer.
  static constexpr size_t kMaxBoundary = 200;
  // A header line this long has no end in sight: decoding stops (GuardFired) rather than
  // let it take all memory. Real header lines are far shorter.
  static constexpr size_t kMaxHeaderLine = size_t{16} << 20;

  // The decoder's states; ranges mean something (20 to 26 are inside file content,
  // 100 and above are final).
  enum m_state : int16_t {
    Boundary_ = 0,
    PartStart = 10,
    Headers = 11,
    Copying = 20,
    CrSeen = 21,
    CrLfSeen = 22,
    BoundaryMatched = 23,
    BoundaryCr = 24,
    BoundaryDash = 25,
    BoundaryDashDash = 26,
    TextValue = 30,
    Complete = 100,
    WriteFailed = 101,
    CreateFailed = 102,
    GuardFired = 105,  // a header line passed kMaxHeaderLine
  };

  // A new decoder: `dir` (empty: the system's temporary directory), the base name for
  // output files (empty: generated unique names), and the text between the lines of a
  // multi-line value (empty: LF CR; "{-NoLineEnd-}": nothing).
  TFD_Object(const std::string& dir, const std::string& base_name, const std::string& end_line);
  virtual ~TFD_Object();
  TFD_Object(const TFD_Object&) = delete;
  TFD_Object& operator=(const TFD_Object&) = delete;

  // Also takes a part whose disposition names its file only in the extended form
  // (`filename*=`) for a file part. Off at first: such a part is a text item.
  void accept_extended_file_names(bool on) { m_extended_names = on; }

  // Feeds one chunk: 1 when it was consumed, 0 when decoding stopped or can't go on.
  int32_t Decode(std::span<const uint8_t> data);
  // EndDecode's result codes. A state the upload stopped in that is none of these gives
  // minus the state; a failed decode gives -(kEndFailedBase + the state).
  static constexpr int32_t kEndComplete = 0;
  static constexpr int32_t kEndWriteFailed = 1;
  static constexpr int32_t kEndCreateFailed = 11;
  static constexpr int32_t kEndGuardFired = 12;
  static constexpr int32_t kEndNothingFed = -501;  // no boundary came: nothing usable was fed
  static constexpr int32_t kEndFailedBase = 1000;

  // Ends the upload and gives its result code.
  int32_t EndDecode();
  // Deletes every output file of the upload; the number deleted.
  int32_t DeleteFiles();

  const std::vector<TFD_FileInfo>& files() const { return m_files; }
  const std::vector<std::vector<std::string>>& header_lists() const { return m_header_lists; }
  const std::vector<std::string>& item_names() const { return m_item_names; }
  const std::vector<std::string>& item_values() const { return m_item_values; }
  int16_t state() const { return m_state; }

 private:
  int32_t run(const uint8_t* p, size_t n);
  // Each returns false when the call must stop (m_state says why).
  bool content(const uint8_t* p, size_t n, size_t& i);
  bool header_line_end();
  void examine_header(const std::string& line);
  bool open_output(size_t n);
  bool text_line_end();
  enum class Flush : uint8_t { AtThreshold, Now };
  bool emit(const uint8_t* p, size_t n, Flush flush = Flush::AtThreshold);
  bool give_back(const char* tail, size_t tail_len);
  bool write_out();
  void close_output();
  // How many of the n bytes at p are content for certain: those before the first CR
  // that may begin the delimiter as far as the bytes go.
  size_t content_run(const uint8_t* p, size_t n) const;
  // Whether the n bytes at p begin with a whole delimiter: CR LF, m_boundary, then CR LF
  // or "--" CR.
  bool delimiter_at(const uint8_t* p, size_t n) const;

  // The fields of the decoder, in their declared order.
  int32_t m_boundary_length = 0;
  int32_t m_out_count = 0;
  int32_t m_candidate_length = 0;  // the held candidate is m_boundary's first bytes
  std::string m_boundary;
  int16_t m_state = Boundary_;
  std::vector<uint8_t> m_out_buffer;
  bool m_skip_lf = false;
  bool m_is_file_part = false;
  bool m_skip_cr = false;
  bool m_first_value_line = false;
  bool m_failed = false;
  std::string m_part_name;
  std::string m_part_content_type;
  std::string m_part_file_name;
  std::string m_header_line;
  std::string m_item_value;
  std::string m_value_line;
  std::vector<std::vector<std::string>> m_header_lists;
  std::vector<TFD_FileInfo> m_files;
  std::vector<std::string> m_item_names;
  std::vector<std::string> m_item_values;
  std::unique_ptr<std::vector<std::string>> m_part_headers;
  std::string m_dir;
  std::string m_base_name;
  std::string m_end_line;
  platform::FileHandle m_out_file;
  bool m_extended_names = false;
};

}  // namespace kelv
