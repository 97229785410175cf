#include "formdata/decoder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/msrand.h"
#include "common/status.h"
#include "formdata/ext_value.h"

namespace kelv {
namespace {

constexpr uint8_t CR = '\r';
constexpr uint8_t LF = '\n';

// A quoted header value from `start` up to the next double quote; the line's last byte
// is never taken, so an unterminated value loses its last character.
std::string collect(const std::string& line, size_t start) {
  std::string out;
  for (size_t q = start; q + 1 < line.size() && line[q] != '"'; ++q) out.push_back(line[q]);
  return out;
}

// The form field name marker `name="`, taken only as a parameter of its own: at the
// start of the parameters or after ";" and optional spaces, so that the file name
// marker `filename="` is never read as the field name.
size_t find_name_parameter(const std::string& line) {
  static const std::string marker = "name=\"";
  for (size_t p = line.find(marker); p != std::string::npos; p = line.find(marker, p + 1)) {
    size_t k = p;
    while (k > 0 && (line[k - 1] == ' ' || line[k - 1] == '\t')) --k;
    if (k > 0 && (line[k - 1] == ';' || line[k - 1] == ':')) return p;
  }
  return std::string::npos;
}

}  // namespace

TFD_Object::TFD_Object(const std::string& dir, const std::string& base_name, const std::string& end_line)
    : m_out_buffer(kOutBufferSize) {
  m_dir = dir;
  if (m_dir.empty() && !platform::temp_dir(m_dir)) m_dir = "c:\\";
  if (!platform::is_separator(m_dir.back())) m_dir.push_back(platform::path_separator());
  m_base_name = base_name;
  if (end_line.empty())
    m_end_line = "\n\r";
  else if (end_line == "{-NoLineEnd-}")
    m_end_line.clear();
  else
    m_end_line = end_line;
}

TFD_Object::~TFD_Object() { close_output(); }

int32_t TFD_Object::Decode(std::span<const uint8_t> data) {
  if (m_failed || m_state >= Complete || data.empty() || m_out_buffer.empty()) return 0;
  Result<int32_t> decoded = guarded([&] { return run(data.data(), data.size()); });
  // Exhausted memory or any other raised error: nothing more is decoded; what was
  // gathered stays readable.
  if (!decoded) m_failed = true;
  return std::move(decoded).value_or(0);
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
  }
  m_out_count = 0;
  return true;
}

// Appends file content. Bytes that would bring the buffer to the flush threshold go out
// at once, gathered behind what the buffer holds in one write: every write is at least
// the threshold (the last of each file excepted), bytes from the caller's chunk are not
// copied on their way to the file, and the buffer never holds more than the threshold
// whatever shape the content has. Flush::Now writes a file's last piece the same way.
bool TFD_Object::emit(const uint8_t* p, size_t n, Flush flush) {
  if (flush == Flush::AtThreshold && static_cast<size_t>(m_out_count) + n < static_cast<size_t>(kFlushThreshold)) {
    std::memcpy(m_out_buffer.data() + m_out_count, p, n);
    m_out_count += static_cast<int32_t>(n);
    return true;
  }
  const platform::WritePiece pieces[2] = {{m_out_buffer.data(), static_cast<size_t>(m_out_count)}, {p, n}};
  int64_t put = platform::file_write_gather(m_out_file, pieces, 2);
  if (put != static_cast<int64_t>(static_cast<size_t>(m_out_count) + n)) {
    close_output();
    m_state = WriteFailed;
    return false;
  }
  m_out_count = 0;
  return true;
}

// Gives back a candidate delimiter that did not complete as content (CR LF, the matched
// part of m_boundary, then `tail`) and goes on copying.
bool TFD_Object::give_back(const char* tail, size_t tail_len) {
  static const uint8_t crlf[2] = {CR, LF};
  size_t matched = static_cast<size_t>(m_candidate_length);
  m_candidate_length = 0;
  m_state = Copying;
  return emit(crlf, 2) && emit(reinterpret_cast<const uint8_t*>(m_boundary.data()), matched) &&
         emit(reinterpret_cast<const uint8_t*>(tail), tail_len);
}

bool TFD_Object::delimiter_at(const uint8_t* p, size_t n) const {
  const size_t b = m_boundary.size();
  if (b == 0 || n < b + 4 || p[0] != CR || p[1] != LF || std::memcmp(p + 2, m_boundary.data(), b) != 0) return false;
  return (p[b + 2] == CR && p[b + 3] == LF) || (n >= b + 5 && p[b + 2] == '-' && p[b + 3] == '-' && p[b + 4] == CR);
}

size_t TFD_Object::content_run(const uint8_t* p, size_t n) const {
  for (size_t at = 0;;) {
    const void* found = std::memchr(p + at, CR, n - at);
    if (!found) return n;
    size_t cr = static_cast<size_t>(static_cast<const uint8_t*>(found) - p);
    // A CR followed by anything but LF, or CR LF followed by anything but the start of
    // m_boundary, can't begin the delimiter: it is content like the rest of the run. Of a
    // run of CR bytes only the last may begin it.
    while (cr + 1 < n && p[cr + 1] == CR) ++cr;
    size_t after = n - cr - 1;
    if (after == 0) return cr;
    if (p[cr + 1] == LF) {
      size_t k = std::min(after - 1, m_boundary.size());
      if (k == 0 ||
          (p[cr + 2] == static_cast<uint8_t>(m_boundary[0]) && std::memcmp(p + cr + 2, m_boundary.data(), k) == 0))
        return cr;
    }
    at = cr + 1;
  }
}

bool TFD_Object::open_output(size_t n) {
  close_output();
  m_out_count = 0;
  m_candidate_length = 0;
  TFD_FileInfo& info = m_files.back();
  MsRand rnd;
  if (!m_base_name.empty()) {
    // m_dir + m_base_name + "_" + N + ".tmp", then with H (milliseconds since the process
    // started) and then with random digits after H. Each is created exclusively, so two
    // uploads into one directory never share a file; a clash moves on to the next name.
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
  // A unique temporary file, named from N: 001, 012, 123, 1234. It comes back open, so
  // it is not opened a second time.
  char number[16];
  std::snprintf(number, sizeof number, "%03zu", n);
  std::string path;
  if (!platform::create_temp_file_chain(m_dir, number, path, &m_out_file)) {
    info.FilePath.clear();
    return false;
  }
  info.FilePath = path;
  return m_out_file.valid();
}

void TFD_Object::examine_header(const std::string& line) {
  if (line.find("Content-Disposition:") != std::string::npos && line.find("form-data") != std::string::npos) {
    size_t name = find_name_parameter(line);
    if (name != std::string::npos) m_part_name = collect(line, name + 6);
    size_t file = line.find("filename=\"");
    if (file != std::string::npos) {
      m_is_file_part = true;
      m_part_file_name = collect(line, file + 10);
    } else if (m_extended_names && extended_parameter(line, "filename")) {
      m_is_file_part = true;
    }
  }
  size_t type = line.find("Content-Type:");
  if (type != std::string::npos) {
    size_t start = type + 13;
    if (start < line.size() && line[start] == ' ') ++start;
    m_part_content_type = line.substr(start);
  }
}

bool TFD_Object::header_line_end() {
  if (!m_header_line.empty()) {
    m_part_headers->push_back(m_header_line);
    examine_header(m_header_line);
    m_header_line.clear();
    m_skip_lf = true;
    return true;
  }
  // The empty line: the header block ends.
  if (m_is_file_part) {
    m_files.push_back(TFD_FileInfo{m_part_name, m_part_file_name, m_part_content_type, {}});
    m_header_lists.push_back(std::move(*m_part_headers));
    m_part_headers.reset();
    if (!open_output(m_files.size())) {
      m_state = CreateFailed;
      return false;
    }
    m_state = Copying;
    m_is_file_part = false;
  } else {
    m_part_headers.reset();
    m_item_names.push_back(m_part_name);
    m_state = TextValue;
  }
  m_part_name.clear();
  m_part_content_type.clear();
  m_part_file_name.clear();
  m_item_value.clear();
  m_value_line.clear();
  m_first_value_line = true;
  return true;
}

// A line of a text value has ended; true when it was the closing delimiter.
bool TFD_Object::text_line_end() {
  if (!m_boundary.empty() && m_value_line.compare(0, m_boundary.size(), m_boundary) == 0) {
    if (m_value_line.size() == m_boundary.size()) {
      m_item_values.push_back(m_item_value);
      m_value_line.clear();
      m_state = PartStart;
      return false;
    }
    if (m_value_line.size() == m_boundary.size() + 2 && m_value_line.compare(m_boundary.size(), 2, "--") == 0) {
      m_item_values.push_back(m_item_value);
      m_value_line.clear();
      m_state = Complete;
      return true;
    }
  }
  if (m_first_value_line)
    m_first_value_line = false;
  else
    m_item_value += m_end_line;
  m_item_value += m_value_line;
  m_value_line.clear();
  return false;
}

int32_t TFD_Object::run(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n;) {
    if (m_state >= Copying && m_state <= BoundaryDashDash) {
      // Entering file content, the second half of the blank line's end may still be
      // dropped; after that byte every byte is content.
      if (m_skip_lf || m_skip_cr) {
        bool drop = (m_skip_lf && p[i] == LF) || (m_skip_cr && p[i] == CR);
        m_skip_lf = m_skip_cr = false;
        if (drop) {
          ++i;
          continue;
        }
      }
      if (!content(p, n, i)) return 0;
      continue;
    }

    uint8_t b = p[i++];
    if (m_skip_lf) {
      if (b == LF) continue;
      m_skip_lf = false;
    }
    if (m_skip_cr) {
      if (b == CR) continue;
      m_skip_cr = false;
    }

    switch (m_state) {
      case Boundary_:
        if (b == CR || b == LF) {
          (b == CR ? m_skip_lf : m_skip_cr) = true;
          m_boundary_length = static_cast<int32_t>(m_boundary.size());
          m_state = PartStart;
        } else {
          if (m_boundary.size() >= kMaxBoundary) {
            m_failed = true;
            return 0;
          }
          m_boundary.push_back(static_cast<char>(b));
        }
        break;

      case PartStart:
        m_part_headers = std::make_unique<std::vector<std::string>>();
        m_header_line.clear();
        m_part_name.clear();
        m_part_content_type.clear();
        m_part_file_name.clear();
        m_item_value.clear();
        m_is_file_part = false;
        m_state = Headers;
        [[fallthrough]];

      case Headers:
        if (b == CR || b == LF) {
          (b == CR ? m_skip_lf : m_skip_cr) = true;
          if (!header_line_end()) return 0;
        } else {
          if (m_header_line.size() >= kMaxHeaderLine) {
            m_state = GuardFired;
            return 0;
          }
          m_header_line.push_back(static_cast<char>(b));
        }
        break;

      case TextValue:
        if (b == CR || b == LF) {
          (b == CR ? m_skip_lf : m_skip_cr) = true;
          if (text_line_end()) return 0;
        } else {
          m_value_line.push_back(static_cast<char>(b));
        }
        break;

      default: return 0;
    }
  }
  return 1;
}

// File content, from p[i] on, until the chunk ends or the part does. The delimiter is
// CR LF m_boundary; bytes that may begin it are held back (as m_state and m_candidate_length,
// never more than CR LF, m_boundary and two bytes) and given back as content the moment
// the match fails. The byte that broke a match is then looked at again as content, so a
// CR there starts a new candidate.
bool TFD_Object::content(const uint8_t* p, size_t n, size_t& i) {
  while (i < n) {
    const uint8_t b = p[i];
    switch (m_state) {
      case Copying: {
        // The run up to the next CR that may begin the delimiter goes out in one piece;
        // when the whole delimiter follows, it is the file's last piece and goes out
        // straight from the chunk, gathered behind what the buffer holds.
        size_t run = content_run(p + i, n - i);
        if (run > 0 && !(delimiter_at(p + i + run, n - i - run) ? emit(p + i, run, Flush::Now) : emit(p + i, run)))
          return false;
        i += run;
        if (i < n) {
          m_candidate_length = 0;
          m_state = CrSeen;
          ++i;
        }
        break;
      }

      case CrSeen:
        if (b == LF) {
          m_state = CrLfSeen;
          ++i;
        } else {
          // The held CR can no longer begin the delimiter.
          static const uint8_t cr = CR;
          if (!emit(&cr, 1)) return false;
          m_state = Copying;
        }
        break;

      case CrLfSeen:
        if (m_candidate_length < m_boundary_length &&
            b == static_cast<uint8_t>(m_boundary[static_cast<size_t>(m_candidate_length)])) {
          ++i;
          if (++m_candidate_length == m_boundary_length) m_state = BoundaryMatched;
        } else if (m_boundary_length == 0 && b != CR) {
          // With an empty first line there is no delimiter to compare against.
          m_failed = true;
          return false;
        } else if (!give_back("", 0)) {
          return false;
        }
        break;

      case BoundaryMatched:
        if (b == CR || b == '-') {
          m_state = b == CR ? BoundaryCr : BoundaryDash;
          ++i;
        } else if (!give_back("", 0)) {
          return false;
        }
        break;

      case BoundaryCr:
        if (b == LF) {
          // The part is complete.
          ++i;
          if (!write_out()) return false;
          close_output();
          m_candidate_length = 0;
          m_state = PartStart;
          return true;
        }
        if (!give_back("\r", 1)) return false;
        break;

      case BoundaryDash:
        if (b == '-') {
          m_state = BoundaryDashDash;
          ++i;
        } else if (!give_back("-", 1)) {
          return false;
        }
        break;

      case BoundaryDashDash:
        if (b == CR) {
          // The body is complete; the final LF and any epilogue are ignored.
          if (!write_out()) return false;
          close_output();
          m_out_count = 0;
          m_candidate_length = 0;
          m_state = Complete;
          return false;
        }
        if (!give_back("--", 2)) return false;
        break;

      default: return false;
    }
  }
  return true;
}

int32_t TFD_Object::EndDecode() {
  if (m_state == Headers) m_part_headers.reset();
  if (m_state >= Copying && m_state <= BoundaryDash) {
    // Cut off inside file content: the open file is closed first (an open file can't be
    // deleted on Windows), then every output file of the upload is deleted.
    close_output();
    DeleteFiles();
  } else if (m_state == BoundaryDashDash) {
    // Only the final CR is missing: the content is complete and is kept.
    write_out();
    close_output();
  } else {
    close_output();
  }
  // The buffers go: decoding can't go on until the next FD_Init.
  m_out_buffer.clear();
  m_out_buffer.shrink_to_fit();
  int32_t result;
  if (m_failed)
    result = -(kEndFailedBase + m_state);
  else if (m_state == WriteFailed)
    result = kEndWriteFailed;
  else if (m_state == Boundary_)
    result = kEndNothingFed;
  else if (m_state == CreateFailed)
    result = kEndCreateFailed;
  else if (m_state == GuardFired)
    result = kEndGuardFired;
  else if (m_state == Complete)
    result = kEndComplete;
  else
    result = -m_state;
  m_state = Boundary_;
  return result;
}

int32_t TFD_Object::DeleteFiles() {
  int32_t count = 0;
  for (const TFD_FileInfo& f : m_files)
    if (platform::file_delete(f.FilePath)) ++count;
  return count;
}

}  // namespace kelv
