// The streaming multipart/form-data decoder of one upload. The body arrives in chunks
// of any size; a byte-level state machine that survives between calls splits it into
// text items, kept in memory, and file parts, written straight to files in an output
// directory through a fixed buffer.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"
#include "formdata/ext_value.h"
#include "platform/platform.h"

namespace kelv {

// One uploaded file.
struct TFD_FileInfo {
  std::string FormName;     // the form field that carried it
  std::string HeaderName;   // the file name the client sent, verbatim
  std::string ContentType;  // as sent
  std::string FilePath;     // where its content was written; empty when no file was made
  // The file name of the extended form (`filename*=`) when the part's disposition lines
  // carry one that can be read; the last such line counts.
  std::optional<ExtValue> ExtendedName;
};

// The bounds a page may set on an upload; 0 (or less) is no bound. An upload that
// passes one stops there.
struct TFD_Limits {
  int64_t max_file_size = 0;   // bytes of one file's content
  int32_t max_files = 0;       // file parts
  int32_t max_field_size = 0;  // bytes of one text field's value, as it is kept
  int32_t max_fields = 0;      // text fields
  bool any() const { return max_file_size > 0 || max_files > 0 || max_field_size > 0 || max_fields > 0; }
};

// The limits of an upload, asked one quantity at a time, each where that quantity grows:
// true while it is within its bound. Counts include the part or byte that is arriving.
class TFD_LimitCheck {
 public:
  // With any limit set, a part's header block is bounded as well: no more lines and
  // bytes than these (a browser sends two or three lines of a few hundred bytes).
  static constexpr size_t kHeaderLines = 64;
  static constexpr size_t kHeaderBytes = 16384;

  explicit TFD_LimitCheck(const TFD_Limits& limits) : m_limits(limits) {}

  bool file_bytes(int64_t size) const { return m_limits.max_file_size <= 0 || size <= m_limits.max_file_size; }
  bool file_parts(size_t count) const { return within(count, m_limits.max_files); }
  bool fields(size_t count) const { return within(count, m_limits.max_fields); }
  bool field_bytes(size_t size) const { return within(size, m_limits.max_field_size); }
  bool header_lines(size_t count) const { return !m_limits.any() || count <= kHeaderLines; }
  bool header_bytes(size_t size) const { return !m_limits.any() || size < kHeaderBytes; }
  // How many more bytes a header block that holds `size` may take.
  size_t header_room(size_t size) const { return m_limits.any() ? kHeaderBytes - size : SIZE_MAX; }

 private:
  static bool within(size_t n, int32_t bound) { return bound <= 0 || n <= static_cast<size_t>(bound); }
  TFD_Limits m_limits;
};

class TFD_Object {
 public:
  static constexpr size_t kOutBufferSize = 33130;
  // File content is written once this much is waiting, in one write with the bytes that
  // reach it; so the buffer never holds more than this and writes are never smaller
  // (except the last of each file).
  static constexpr int32_t kFlushThreshold = 32767;
  // Writes end at a multiple of kWriteAlign in the file when they can, else of a memory
  // page (emit).
  static constexpr uint64_t kWriteAlign = 32768;
  static constexpr uint64_t kWritePage = 4096;
  // Longer first lines are refused: a candidate delimiter must always fit the buffer.
  static constexpr size_t kMaxBoundary = 200;
  // A header line this long has no end in sight: decoding stops (GuardFired) rather than
  // let it take all memory. Real header lines are far shorter.
  static constexpr size_t kMaxHeaderLine = size_t{16} << 20;
  // The text between a value's lines that asks for nothing between them.
  static constexpr std::string_view kNoLineEnd = "{-NoLineEnd-}";

  // The decoder's states, in the order a body passes through them; the predicates below
  // name the ranges that mean something.
  enum class State : int16_t {
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
    GuardFired = 105,   // a header line passed kMaxHeaderLine
    LimitPassed = 106,  // the upload passed one of its limits
  };
  using enum State;
  // Inside a file part: its output file is open (20 to 26).
  static constexpr bool in_file_part(State s) { return s >= Copying && s <= BoundaryDashDash; }
  // Inside a file's content, short of knowing it complete (20 to 25): only the final CR
  // after "--" is missing in 26.
  static constexpr bool in_file_content(State s) { return s >= Copying && s <= BoundaryDash; }
  // Decoding has ended, whether complete or stopped (100 and above).
  static constexpr bool is_final(State s) { return s >= Complete; }

  // A new decoder: `dir` (empty: the system's temporary directory), the base name for
  // output files (empty: generated unique names), and the text between the lines of a
  // multi-line value (empty: LF CR; kNoLineEnd: nothing).
  // `limits` bound the upload.
  TFD_Object(const std::string& dir, const std::string& base_name, const std::string& end_line,
             const TFD_Limits& limits = {});
  virtual ~TFD_Object();
  TFD_Object(const TFD_Object&) = delete;
  TFD_Object& operator=(const TFD_Object&) = delete;

  // Also takes a part whose disposition names its file only in the extended form
  // (`filename*=`) for a file part. Off at first: such a part is a text item.
  void accept_extended_file_names(bool on) { m_extended_names = on; }

  // Feeds one chunk: 1 when it was consumed, 0 when decoding stopped or can't go on.
  int32_t Decode(std::span<const uint8_t> data);
  // What stopped decoding for good inside a call, an error rather than a state of the
  // upload: running out of memory stays Status::OutOfMemory; a body the decoder can't
  // read is Status::Raised with its own text. Status::Ok while nothing has.
  const Error& failure() const { return m_failure; }
  // EndDecode's result codes. A state the upload stopped in that is none of these gives
  // minus the state; a failed decode gives -(kEndFailedBase + the state).
  static constexpr int32_t kEndComplete = 0;
  static constexpr int32_t kEndWriteFailed = 1;
  static constexpr int32_t kEndCreateFailed = 11;
  static constexpr int32_t kEndGuardFired = 12;
  static constexpr int32_t kEndLimitPassed = 13;
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
  State state() const { return m_state; }
  // New limits hold from the next byte decoded on.
  void set_limits(const TFD_Limits& limits) { m_limits = TFD_LimitCheck(limits); }

 private:
  // The state functions. Each returns false when the call must stop (m_state or
  // m_failure says why); i is the position of the chunk's next byte.
  int32_t run(const uint8_t* p, size_t n);
  bool skips(uint8_t b);
  bool ends_line(uint8_t b);
  bool boundary_byte(uint8_t b);
  void start_part();
  bool header_byte(const uint8_t* p, size_t n, size_t& i);
  bool header_line_end();
  void examine_header(const std::string& line);
  bool header_block_end();
  bool file_part_begins();
  bool text_byte(uint8_t b);
  bool text_line_end();
  bool value_fits();
  bool content(const uint8_t* p, size_t n, size_t& i);
  bool copy_run(const uint8_t* p, size_t n, size_t& i);
  bool candidate_byte(uint8_t b, size_t& i);
  bool part_complete(bool body_ends);
  // Stops the upload at a limit; the part that passed it leaves nothing. Always false.
  bool pass_limit();
  // Stops decoding for good with the error that struck. Always false.
  bool fail(Error why);
  int32_t result_code() const;

  // The output file and the buffer before it.
  bool open_output(size_t n);
  bool open_named_output(TFD_FileInfo& info, size_t n);
  enum class Flush : uint8_t { AtThreshold, Now };
  bool emit(const uint8_t* p, size_t n, Flush flush = Flush::AtThreshold);
  bool give_back(const char* tail, size_t tail_len);
  bool write_out();
  void close_output();

  // The delimiter search.
  // How many of the n bytes at p are content for certain: those before the first CR
  // that may begin the delimiter as far as the bytes go.
  size_t content_run(const uint8_t* p, size_t n) const;
  // Sets up the skip search for the delimiter once m_boundary is complete.
  void prepare_search();
  // Whether the n bytes at p begin with a whole delimiter: CR LF, m_boundary, then CR LF
  // or "--" CR.
  bool delimiter_at(const uint8_t* p, size_t n) const;

  // The fields of the decoder, in their declared order.
  int32_t m_boundary_length = 0;
  int32_t m_out_count = 0;
  int32_t m_candidate_length = 0;  // the held candidate is m_boundary's first bytes
  std::string m_boundary;
  State m_state = Boundary_;
  std::vector<uint8_t> m_out_buffer;
  bool m_skip_lf = false;
  bool m_is_file_part = false;
  bool m_skip_cr = false;
  bool m_first_value_line = false;
  Error m_failure{Status::Ok, {}};  // not Ok: an error aborted a call; nothing more is decoded
  std::string m_part_name;
  std::string m_part_content_type;
  std::string m_part_file_name;
  std::optional<ExtValue> m_part_extended_name;
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

  TFD_LimitCheck m_limits;
  int64_t m_file_size = 0;    // content bytes of the open output file so far
  uint64_t m_written = 0;     // of them, the bytes written to it
  size_t m_header_bytes = 0;  // bytes of the current header block's lines
  size_t m_header_lines = 0;  // and their number
  // The delimiter CR LF m_boundary, and for the skip search (Boyer-Moore-Horspool) how
  // far a window may move on, by the byte under its last position.
  std::string m_delimiter;
  std::array<uint8_t, 256> m_skip{};
};

}  // namespace kelv
