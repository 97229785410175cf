#include "formdata/decoder.h"

#include <algorithm>
#include <cstring>

#include "common/msrand.h"
#include "platform/folders.h"

namespace kelv {
namespace {

constexpr uint8_t CR = '\r';
constexpr uint8_t LF = '\n';
constexpr uint8_t kCr[1] = {CR};
constexpr uint8_t kCrLf[2] = {CR, LF};

// What the header lines are searched for.
constexpr std::string_view kDisposition = "Content-Disposition:";
constexpr std::string_view kFormData = "form-data";
constexpr std::string_view kNameMarker = "name=\"";
constexpr std::string_view kFileNameMarker = "filename=\"";
constexpr std::string_view kContentType = "Content-Type:";

// A quoted header value from `start` up to the next double quote; the line's last byte
// is never taken, so an unterminated value loses its last character.
std::string collect(const std::string& line, size_t start) {
  if (start + 1 >= line.size()) return {};
  return line.substr(start, std::min(line.find('"', start), line.size() - 1) - start);
}

// The form field name marker `name="`, taken only as a parameter of its own: at the
// start of the parameters or after ";" and optional spaces, so that the file name
// marker `filename="` is never read as the field name.
size_t find_name_parameter(const std::string& line) {
  for (size_t p = line.find(kNameMarker); p != std::string::npos; p = line.find(kNameMarker, p + 1)) {
    size_t k = p;
    while (k > 0 && (line[k - 1] == ' ' || line[k - 1] == '\t')) --k;
    if (k > 0 && (line[k - 1] == ';' || line[k - 1] == ':')) return p;
  }
  return std::string::npos;
}

// How many of the n bytes at p come before the next CR or LF.
size_t line_run(const uint8_t* p, size_t n) {
  size_t k = 0;
  while (k < n && p[k] != CR && p[k] != LF) ++k;
  return k;
}

}  // namespace

TFD_Object::TFD_Object(const std::string& dir, const std::string& base_name, const std::string& end_line,
                       const TFD_Limits& limits)
    : m_out_buffer(kOutBufferSize), m_limits(limits) {
  m_dir = platform::folder_with_separator(dir);
  m_base_name = base_name;
  if (end_line.empty())
    m_end_line = "\n\r";
  else if (end_line != kNoLineEnd)
    m_end_line = end_line;
}

TFD_Object::~TFD_Object() { close_output(); }

int32_t TFD_Object::Decode(std::span<const uint8_t> data) {
  if (m_failure.status != Status::Ok || is_final(m_state) || data.empty() || m_out_buffer.empty()) return 0;
  Result<int32_t> decoded = guarded([&] { return run(data.data(), data.size()); });
  // Exhausted memory or any other raised error: nothing more is decoded; what was
  // gathered stays readable, and the error's status stays to tell what it was.
  if (!decoded) fail(Error{decoded.status(), decoded.text()});
  return std::move(decoded).value_or(0);
}

bool TFD_Object::fail(Error why) {
  m_failure = std::move(why);
  return false;
}

void TFD_Object::close_output() { platform::file_close(m_out_file); }

// Writes out what waits in the buffer: at a part's end, the file's last piece.
bool TFD_Object::write_out() {
  if (m_out_count > 0) {
    int64_t put = platform::file_write(m_out_file, m_out_buffer.data(), static_cast<size_t>(m_out_count));
    if (put != m_out_count) {
      close_output();
      m_state = WriteFailed;
      return false;
    }
    m_written += put;
  }
  m_out_count = 0;
  return true;
}

// Appends file content. Bytes that would bring the buffer to the flush threshold go out
// at once, gathered behind what the buffer holds in one write: every write is at least
// the threshold (the last of each file excepted), and the buffer never holds more than
// the threshold whatever shape the content has. Such a write ends at a multiple of
// kWriteAlign in the file when it can, the bytes after it (no more than the threshold)
// waiting in the buffer, or else at a page boundary: file systems that keep large pages
// in their cache pay a good deal for writes that begin and end inside them (ext4: a
// third more for a large file). Flush::Now writes a file's last piece whole.
bool TFD_Object::emit(const uint8_t* p, size_t n, Flush flush) {
  m_file_size += static_cast<int64_t>(n);
  if (!m_limits.file_bytes(m_file_size)) return pass_limit();
  const size_t held = static_cast<size_t>(m_out_count), total = held + n;
  constexpr auto threshold = static_cast<size_t>(kFlushThreshold);
  if (flush == Flush::AtThreshold && total < threshold) {
    std::memcpy(m_out_buffer.data() + held, p, n);
    m_out_count = static_cast<int32_t>(total);
    return true;
  }
  size_t put = total;
  if (flush == Flush::AtThreshold) {
    for (uint64_t align : {kWriteAlign, kWritePage}) {
      const uint64_t end = (m_written + total) / align * align;
      if (end >= m_written + threshold && m_written + total - end <= threshold) {
        put = static_cast<size_t>(end - m_written);
        break;
      }
    }
  }
  // The buffer holds no more than the threshold and the write is at least as long, so
  // all of it goes, and what is left is the run's last bytes.
  const platform::WritePiece pieces[2] = {{m_out_buffer.data(), held}, {p, put - held}};
  if (platform::file_write_gather(m_out_file, pieces, 2) != static_cast<int64_t>(put)) {
    close_output();
    m_state = WriteFailed;
    return false;
  }
  m_written += put;
  std::memcpy(m_out_buffer.data(), p + (put - held), total - put);
  m_out_count = static_cast<int32_t>(total - put);
  return true;
}

// Gives back a candidate delimiter that did not complete as content (CR LF, the matched
// part of m_boundary, then `tail`) and goes on copying.
bool TFD_Object::give_back(const char* tail, size_t tail_len) {
  size_t matched = static_cast<size_t>(m_candidate_length);
  m_candidate_length = 0;
  m_state = Copying;
  return emit(kCrLf, 2) && emit(reinterpret_cast<const uint8_t*>(m_boundary.data()), matched) &&
         emit(reinterpret_cast<const uint8_t*>(tail), tail_len);
}

bool TFD_Object::delimiter_at(const uint8_t* p, size_t n) const {
  const size_t b = m_boundary.size();
  if (b == 0 || n < b + 4 || p[0] != CR || p[1] != LF || std::memcmp(p + 2, m_boundary.data(), b) != 0) return false;
  return (p[b + 2] == CR && p[b + 3] == LF) || (n >= b + 5 && p[b + 2] == '-' && p[b + 3] == '-' && p[b + 4] == CR);
}

void TFD_Object::prepare_search() {
  static_assert(kMaxBoundary + 2 <= 255, "a skip must fit a byte");
  m_delimiter = "\r\n" + m_boundary;
  const size_t m = m_delimiter.size();
  m_skip.fill(static_cast<uint8_t>(m));
  for (size_t k = 0; k + 1 < m; ++k) m_skip[static_cast<uint8_t>(m_delimiter[k])] = static_cast<uint8_t>(m - 1 - k);
}

// The first whole delimiter is found with a skip search: a window of the delimiter's
// length moves along the bytes by the skip of the byte under its last position, so most
// content bytes are never looked at. Four windows move at once, each over its own
// stretch of the next kLanes * kLaneBytes bytes: each step waits for the byte it lands
// on, and four steps that don't wait for each other keep the processor busy, while the
// stretches stay short enough that little is looked at past a delimiter near the start.
// The first stretch's match comes first. Without a whole delimiter, the last bytes may
// still begin one: it holds a single CR, its first byte, so only the last CR among them
// can.
size_t TFD_Object::content_run(const uint8_t* p, size_t n) const {
  constexpr size_t kLanes = 4, kLaneBytes = 2048;
  const auto* d = reinterpret_cast<const uint8_t*>(m_delimiter.data());
  const size_t m = m_delimiter.size();
  const uint8_t last = d[m - 1];
  const auto match = [&](size_t end) { return p[end] == last && std::memcmp(p + end + 1 - m, d, m - 1) == 0; };
  // Positions are those of a window's last byte.
  for (size_t base = m - 1; base < n;) {
    const size_t width = std::min(kLaneBytes, (n - base) / kLanes);
    size_t at[kLanes], stop[kLanes];
    for (size_t k = 0; k < kLanes; ++k) at[k] = base + k * width;
    for (size_t k = 0; k + 1 < kLanes; ++k) stop[k] = at[k + 1];
    stop[kLanes - 1] = width < kLaneBytes ? n : base + kLanes * kLaneBytes;
    while (at[0] < stop[0] && at[1] < stop[1] && at[2] < stop[2] && at[3] < stop[3]) {
      const uint8_t c0 = p[at[0]], c1 = p[at[1]], c2 = p[at[2]], c3 = p[at[3]];
      if ((c0 == last) | (c1 == last) | (c2 == last) | (c3 == last)) {
        if (match(at[0])) return at[0] + 1 - m;
        if (match(at[1]) || match(at[2]) || match(at[3])) break;  // the stretches before it finish first
      }
      at[0] += m_skip[c0], at[1] += m_skip[c1], at[2] += m_skip[c2], at[3] += m_skip[c3];
    }
    for (size_t k = 0; k < kLanes; ++k)
      for (; at[k] < stop[k]; at[k] += m_skip[p[at[k]]])
        if (match(at[k])) return at[k] + 1 - m;
    base = stop[kLanes - 1];
  }
  const size_t from = n >= m ? n - m + 1 : 0;
  for (size_t q = n; q > from; --q)
    if (p[q - 1] == CR) return std::memcmp(p + q - 1, d, n - q + 1) == 0 ? q - 1 : n;
  return n;
}

bool TFD_Object::open_output(size_t n) {
  close_output();
  m_out_count = 0;
  m_candidate_length = 0;
  m_file_size = 0;
  m_written = 0;
  TFD_FileInfo& info = m_files.back();
  if (!m_base_name.empty()) return open_named_output(info, n);
  // A unique temporary file, named from N: 001, 012, 123, 1234. It comes back open, so
  // it is not opened a second time.
  std::string number = std::to_string(n);
  if (number.size() < 3) number.insert(0, 3 - number.size(), '0');
  std::string path;
  if (!platform::create_temp_file_chain(m_dir, number, path, &m_out_file)) {
    info.FilePath.clear();
    return false;
  }
  info.FilePath = path;
  return m_out_file.valid();
}

// m_dir + m_base_name + "_" + N + ".tmp", then with H (milliseconds since the process
// started) and then with random digits after H. Each is created exclusively, so two
// uploads into one directory never share a file; a clash moves on to the next name.
bool TFD_Object::open_named_output(TFD_FileInfo& info, size_t n) {
  MsRand rnd;
  std::string stem = m_dir + m_base_name + "_";
  std::string number = std::to_string(n) + ".tmp";
  std::string h = platform::hex_digits(static_cast<uint32_t>(platform::process_milliseconds()), 4);
  for (int k = 0; k < 4; ++k) {
    if (k == 2) rnd.seed(platform::time_seed());
    std::string path =
        k == 0 ? stem + number
               : stem + h + (k >= 2 ? platform::hex_digits(static_cast<uint32_t>(rnd.next()), 2) : "") + "_" + number;
    info.FilePath = path;
    if (platform::file_open(path, platform::Access::CreateNew, m_out_file)) return true;
    uint32_t attributes = 0;
    if (!platform::file_attributes(path, attributes)) return false;  // not a clash: it can't be made
  }
  info.FilePath.clear();
  return false;
}

// One step per byte, or per run of bytes where a state can take them at once: file
// content goes to content(), which keeps the chunk until the part ends; the line states
// take their byte after the skip flags have had it.
int32_t TFD_Object::run(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n;) {
    if (in_file_part(m_state)) {
      if (!content(p, n, i)) return 0;
      continue;
    }
    const uint8_t b = p[i++];
    if (skips(b)) continue;
    bool go_on = false;
    switch (m_state) {
      case Boundary_: go_on = boundary_byte(b); break;
      case PartStart: start_part(); [[fallthrough]];
      case Headers: go_on = header_byte(p, n, i); break;
      case TextValue: go_on = text_byte(b); break;
      default: break;
    }
    if (!go_on) return 0;
  }
  return 1;
}

// A CR that ended a line drops the LFs after it, and an LF the CRs: the second half of a
// line end, whichever order it comes in.
bool TFD_Object::skips(uint8_t b) {
  if (m_skip_lf) {
    if (b == LF) return true;
    m_skip_lf = false;
  }
  if (m_skip_cr) {
    if (b == CR) return true;
    m_skip_cr = false;
  }
  return false;
}

// Whether b ends a line; if so, the other half of the line end is skipped from now on.
bool TFD_Object::ends_line(uint8_t b) {
  if (b != CR && b != LF) return false;
  (b == CR ? m_skip_lf : m_skip_cr) = true;
  return true;
}

// The first line is the boundary, whatever it holds; a longer one than kMaxBoundary is
// refused.
bool TFD_Object::boundary_byte(uint8_t b) {
  if (ends_line(b)) {
    m_boundary_length = static_cast<int32_t>(m_boundary.size());
    prepare_search();
    m_state = PartStart;
    return true;
  }
  if (m_boundary.size() >= kMaxBoundary) return fail({Status::Raised, "The boundary line is too long"});
  m_boundary.push_back(static_cast<char>(b));
  return true;
}

void TFD_Object::start_part() {
  m_part_headers = std::make_unique<std::vector<std::string>>();
  m_part_headers->reserve(4);
  m_header_line.clear();
  m_part_name.clear();
  m_part_content_type.clear();
  m_part_file_name.clear();
  m_part_extended_name.reset();
  m_item_value.clear();
  m_is_file_part = false;
  m_header_bytes = 0;
  m_header_lines = 0;
  m_state = Headers;
}

// The byte before i, in a header block.
bool TFD_Object::header_byte(const uint8_t* p, size_t n, size_t& i) {
  if (ends_line(p[i - 1])) return header_line_end();
  if (m_header_line.size() >= kMaxHeaderLine) {
    m_state = GuardFired;
    return false;
  }
  const size_t block = m_header_bytes + m_header_line.size();
  if (!m_limits.header_bytes(block)) return pass_limit();
  // This byte and the ones up to the line's end go in at once, as far as the bounds let
  // them (the byte past a bound meets the checks above).
  const size_t room = std::min(kMaxHeaderLine - m_header_line.size(), m_limits.header_room(block));
  const size_t take = std::min(room, line_run(p + i - 1, n - i + 1));
  m_header_line.append(reinterpret_cast<const char*>(p + i - 1), take);
  i += take - 1;
  return true;
}

bool TFD_Object::header_line_end() {
  if (m_header_line.empty()) return header_block_end();
  m_header_bytes += m_header_line.size();
  if (!m_limits.header_lines(++m_header_lines)) return pass_limit();
  m_part_headers->push_back(m_header_line);
  examine_header(m_header_line);
  m_header_line.clear();
  m_skip_lf = true;
  return true;
}

// Later lines overwrite what earlier ones gave. The extended file name is read here and
// nowhere else: it makes a file part only when such names are accepted, and is kept for
// the file's record whatever the code page.
void TFD_Object::examine_header(const std::string& line) {
  if (line.find(kDisposition) != std::string::npos && line.find(kFormData) != std::string::npos) {
    const size_t name = find_name_parameter(line);
    if (name != std::string::npos) m_part_name = collect(line, name + kNameMarker.size());
    // A line without a '*' has no extended parameter: most lines are passed over at once.
    std::optional<ExtValue> extended;
    if (line.find('*') != std::string::npos) extended = extended_parameter(line, "filename");
    const size_t file = line.find(kFileNameMarker);
    if (file != std::string::npos) {
      m_is_file_part = true;
      m_part_file_name = collect(line, file + kFileNameMarker.size());
    } else if (m_extended_names && extended) {
      m_is_file_part = true;
    }
    if (extended) m_part_extended_name = std::move(extended);
  }
  const size_t type = line.find(kContentType);
  if (type != std::string::npos) {
    size_t start = type + kContentType.size();
    if (start < line.size() && line[start] == ' ') ++start;
    m_part_content_type = line.substr(start);
  }
}

// The empty line: the header block ends, and a file's content or a text value begins. A
// part beyond the number allowed is not taken.
bool TFD_Object::header_block_end() {
  if (m_is_file_part) {
    if (!file_part_begins()) return false;
  } else {
    if (!m_limits.fields(m_item_names.size() + 1)) return pass_limit();
    m_part_headers.reset();
    m_item_names.push_back(std::move(m_part_name));
    m_state = TextValue;
  }
  m_part_name.clear();
  m_part_content_type.clear();
  m_part_file_name.clear();
  m_part_extended_name.reset();
  m_item_value.clear();
  m_value_line.clear();
  m_first_value_line = true;
  return true;
}

bool TFD_Object::file_part_begins() {
  if (!m_limits.file_parts(m_files.size() + 1)) return pass_limit();
  m_files.push_back(TFD_FileInfo{std::move(m_part_name),
                                 std::move(m_part_file_name),
                                 std::move(m_part_content_type),
                                 {},
                                 std::move(m_part_extended_name)});
  m_header_lists.push_back(std::move(*m_part_headers));
  m_part_headers.reset();
  if (!open_output(m_files.size())) {
    m_state = CreateFailed;
    return false;
  }
  m_state = Copying;
  m_is_file_part = false;
  return true;
}

bool TFD_Object::text_byte(uint8_t b) {
  if (ends_line(b)) return text_line_end();
  m_value_line.push_back(static_cast<char>(b));
  // A line longer than the delimiter is value for certain: it counts at once.
  return m_value_line.size() <= m_boundary.size() + 2 || value_fits();
}

// A line of a text value has ended: it is the delimiter that closes the value (and
// perhaps the body), or the value's next line.
bool TFD_Object::text_line_end() {
  const size_t b = m_boundary.size();
  if (b > 0 && m_value_line.compare(0, b, m_boundary) == 0) {
    const bool next = m_value_line.size() == b;
    const bool last = m_value_line.size() == b + 2 && m_value_line.compare(b, 2, "--") == 0;
    if (next || last) {
      m_item_values.push_back(m_item_value);
      m_value_line.clear();
      m_state = next ? PartStart : Complete;
      return next;
    }
  }
  if (!value_fits()) return false;
  if (m_first_value_line)
    m_first_value_line = false;
  else
    m_item_value += m_end_line;
  m_item_value += m_value_line;
  m_value_line.clear();
  return true;
}

// Whether the value, with the line being read as its next line, is within its limit;
// when it is not, the upload stops there.
bool TFD_Object::value_fits() {
  const size_t kept = m_item_value.size() + (m_first_value_line ? 0 : m_end_line.size()) + m_value_line.size();
  return m_limits.field_bytes(kept) || pass_limit();
}

bool TFD_Object::pass_limit() {
  if (in_file_part(m_state)) {
    // The file is closed first: an open file can't be deleted on Windows.
    close_output();
    platform::file_delete(m_files.back().FilePath);
    m_files.pop_back();
    m_header_lists.pop_back();
  } else if (m_state == TextValue) {
    m_item_names.pop_back();
  }
  m_part_headers.reset();
  m_header_line.clear();
  m_header_line.shrink_to_fit();
  m_item_value.clear();
  m_item_value.shrink_to_fit();
  m_value_line.clear();
  m_value_line.shrink_to_fit();
  m_out_count = 0;
  m_candidate_length = 0;
  m_state = LimitPassed;
  return false;
}

// File content, from p[i] on, until the chunk ends or the part does. The delimiter is
// CR LF m_boundary; bytes that may begin it are held back (as m_state and m_candidate_length,
// never more than CR LF, m_boundary and two bytes) and given back as content the moment
// the match fails. The byte that broke a match is then looked at again as content, so a
// CR there starts a new candidate.
bool TFD_Object::content(const uint8_t* p, size_t n, size_t& i) {
  // Entering file content, the second half of the blank line's end may still be
  // dropped; after that byte every byte is content.
  if (m_skip_lf || m_skip_cr) {
    const bool drop = (m_skip_lf && p[i] == LF) || (m_skip_cr && p[i] == CR);
    m_skip_lf = m_skip_cr = false;
    if (drop) ++i;
  }
  while (i < n && in_file_part(m_state))
    if (!(m_state == Copying ? copy_run(p, n, i) : candidate_byte(p[i], i))) return false;
  return true;
}

// The run up to the next CR that may begin the delimiter goes out in one piece; when the
// whole delimiter follows, it is the file's last piece and goes out straight from the
// chunk, gathered behind what the buffer holds.
bool TFD_Object::copy_run(const uint8_t* p, size_t n, size_t& i) {
  const size_t run = content_run(p + i, n - i);
  const bool whole = delimiter_at(p + i + run, n - i - run);
  if (run > 0 && !(whole ? emit(p + i, run, Flush::Now) : emit(p + i, run))) return false;
  i += run;
  if (whole) {
    // The whole delimiter is in the chunk: the part ends here, as the states below would
    // find byte by byte (CR LF m_boundary CR LF, or "--" CR at the body's end).
    const size_t after = sizeof kCrLf + m_boundary.size();
    const bool body_ends = p[i + after] == '-';
    i += after + 2;
    return part_complete(body_ends);
  }
  if (i < n) {
    m_candidate_length = 0;
    m_state = CrSeen;
    ++i;
  }
  return true;
}

// One byte of a candidate delimiter: it goes on matching, or the held bytes go back as
// content and the byte is looked at again while copying.
bool TFD_Object::candidate_byte(uint8_t b, size_t& i) {
  const auto matches = [&](State next) {
    m_state = next;
    ++i;
    return true;
  };
  switch (m_state) {
    case CrSeen:
      if (b == LF) return matches(CrLfSeen);
      // The held CR can no longer begin the delimiter.
      if (!emit(kCr, 1)) return false;
      m_state = Copying;
      return true;
    case CrLfSeen:
      if (m_candidate_length < m_boundary_length &&
          b == static_cast<uint8_t>(m_boundary[static_cast<size_t>(m_candidate_length)]))
        return matches(++m_candidate_length == m_boundary_length ? BoundaryMatched : CrLfSeen);
      // With an empty first line there is no delimiter to compare against.
      if (m_boundary_length == 0 && b != CR) return fail({Status::Raised, "The boundary line is empty"});
      return give_back("", 0);
    case BoundaryMatched:
      if (b == CR || b == '-') return matches(b == CR ? BoundaryCr : BoundaryDash);
      return give_back("", 0);
    case BoundaryCr:
      if (b != LF) return give_back("\r", 1);
      ++i;
      return part_complete(false);
    case BoundaryDash:
      if (b == '-') return matches(BoundaryDashDash);
      return give_back("-", 1);
    case BoundaryDashDash:
      if (b == CR) return part_complete(true);
      return give_back("--", 2);
    default: return false;
  }
}

// The part is complete: its file's last piece goes out and the file is closed. Then the
// next part follows, or the body is complete (after "--" CR; the final LF and any
// epilogue are ignored) and the call stops.
bool TFD_Object::part_complete(bool body_ends) {
  if (!write_out()) return false;
  close_output();
  m_out_count = 0;
  m_candidate_length = 0;
  m_state = body_ends ? Complete : PartStart;
  return !body_ends;
}

int32_t TFD_Object::EndDecode() {
  if (m_state == Headers) m_part_headers.reset();
  if (in_file_content(m_state)) {
    // Cut off inside file content: the open file is closed first (an open file can't be
    // deleted on Windows), then every output file of the upload is deleted.
    close_output();
    DeleteFiles();
  } else {
    // In BoundaryDashDash only the final CR is missing: the content is complete and is
    // kept.
    if (m_state == BoundaryDashDash) write_out();
    close_output();
  }
  // The buffers go: decoding can't go on until the next FD_Init.
  m_out_buffer.clear();
  m_out_buffer.shrink_to_fit();
  const int32_t result = result_code();
  m_state = Boundary_;
  return result;
}

int32_t TFD_Object::result_code() const {
  const auto state = static_cast<int32_t>(m_state);
  if (m_failure.status != Status::Ok) return -(kEndFailedBase + state);
  switch (m_state) {
    case WriteFailed: return kEndWriteFailed;
    case Boundary_: return kEndNothingFed;
    case CreateFailed: return kEndCreateFailed;
    case GuardFired: return kEndGuardFired;
    case LimitPassed: return kEndLimitPassed;
    case Complete: return kEndComplete;
    default: return -state;
  }
}

int32_t TFD_Object::DeleteFiles() {
  int32_t count = 0;
  for (const TFD_FileInfo& f : m_files)
    if (platform::file_delete(f.FilePath)) ++count;
  return count;
}

}  // namespace kelv
