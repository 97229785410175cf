#include "formdata/decoder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/msrand.h"
#include "common/status.h"

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
    : OutBuffer(kOutBufferSize) {
  Dir = dir;
  if (Dir.empty() && !platform::temp_dir(Dir)) Dir = "c:\\";
  if (!platform::is_separator(Dir.back())) Dir.push_back(platform::path_separator());
  BaseName = base_name;
  if (end_line.empty())
    EndLine = "\n\r";
  else if (end_line == "{-NoLineEnd-}")
    EndLine.clear();
  else
    EndLine = end_line;
}

TFD_Object::~TFD_Object() { close_output(); }

int32_t TFD_Object::Decode(std::span<const uint8_t> data) {
  if (Failed || State >= Complete || data.empty() || OutBuffer.empty()) return 0;
  Result<int32_t> decoded = guarded([&] { return run(data.data(), data.size()); });
  // Exhausted memory or any other raised error: nothing more is decoded; what was
  // gathered stays readable.
  if (!decoded) Failed = true;
  return std::move(decoded).value_or(0);
}

void TFD_Object::close_output() { platform::file_close(OutFile); }

// Writes out what waits in the buffer: at a part's end, the file's last piece.
bool TFD_Object::write_out() {
  if (OutCount > 0) {
    int64_t put = platform::file_write(OutFile, OutBuffer.data(), static_cast<size_t>(OutCount));
    if (put != OutCount) {
      close_output();
      State = WriteFailed;
      return false;
    }
  }
  OutCount = 0;
  return true;
}

// Appends file content. Bytes that would bring the buffer to the flush threshold go out
// at once, gathered behind what the buffer holds in one write: every write is at least
// the threshold (the last of each file excepted), bytes from the caller's chunk are not
// copied on their way to the file, and the buffer never holds more than the threshold
// whatever shape the content has. Flush::Now writes a file's last piece the same way.
bool TFD_Object::emit(const uint8_t* p, size_t n, Flush flush) {
  if (flush == Flush::AtThreshold && static_cast<size_t>(OutCount) + n < static_cast<size_t>(kFlushThreshold)) {
    std::memcpy(OutBuffer.data() + OutCount, p, n);
    OutCount += static_cast<int32_t>(n);
    return true;
  }
  const platform::WritePiece pieces[2] = {{OutBuffer.data(), static_cast<size_t>(OutCount)}, {p, n}};
  int64_t put = platform::file_write_gather(OutFile, pieces, 2);
  if (put != static_cast<int64_t>(static_cast<size_t>(OutCount) + n)) {
    close_output();
    State = WriteFailed;
    return false;
  }
  OutCount = 0;
  return true;
}

// Gives back a candidate delimiter that did not complete as content (CR LF, the matched
// part of Boundary, then `tail`) and goes on copying.
bool TFD_Object::give_back(const char* tail, size_t tail_len) {
  static const uint8_t crlf[2] = {CR, LF};
  size_t matched = static_cast<size_t>(CandidateLength);
  CandidateLength = 0;
  State = Copying;
  return emit(crlf, 2) && emit(reinterpret_cast<const uint8_t*>(Boundary.data()), matched) &&
         emit(reinterpret_cast<const uint8_t*>(tail), tail_len);
}

bool TFD_Object::delimiter_at(const uint8_t* p, size_t n) const {
  const size_t b = Boundary.size();
  if (b == 0 || n < b + 4 || p[0] != CR || p[1] != LF || std::memcmp(p + 2, Boundary.data(), b) != 0) return false;
  return (p[b + 2] == CR && p[b + 3] == LF) || (n >= b + 5 && p[b + 2] == '-' && p[b + 3] == '-' && p[b + 4] == CR);
}

size_t TFD_Object::content_run(const uint8_t* p, size_t n) const {
  for (size_t at = 0;;) {
    const void* found = std::memchr(p + at, CR, n - at);
    if (!found) return n;
    size_t cr = static_cast<size_t>(static_cast<const uint8_t*>(found) - p);
    // A CR followed by anything but LF, or CR LF followed by anything but the start of
    // Boundary, can't begin the delimiter: it is content like the rest of the run. Of a
    // run of CR bytes only the last may begin it.
    while (cr + 1 < n && p[cr + 1] == CR) ++cr;
    size_t after = n - cr - 1;
    if (after == 0) return cr;
    if (p[cr + 1] == LF) {
      size_t k = std::min(after - 1, Boundary.size());
      if (k == 0 ||
          (p[cr + 2] == static_cast<uint8_t>(Boundary[0]) && std::memcmp(p + cr + 2, Boundary.data(), k) == 0))
        return cr;
    }
    at = cr + 1;
  }
}

bool TFD_Object::open_output(size_t n) {
  close_output();
  OutCount = 0;
  CandidateLength = 0;
  TFD_FileInfo& info = Files.back();
  MsRand rnd;
  if (!BaseName.empty()) {
    // Dir + BaseName + "_" + N + ".tmp", then with H (milliseconds since the process
    // started) and then with random digits after H. Each is created exclusively, so two
    // uploads into one directory never share a file; a clash moves on to the next name.
    std::string stem = Dir + BaseName + "_";
    std::string number = std::to_string(n) + ".tmp";
    std::string h = platform::hex_digits(static_cast<uint32_t>(platform::process_milliseconds()), 4);
    for (int k = 0; k < 4; ++k) {
      if (k == 2) rnd.seed(platform::time_seed());
      std::string path =
          k == 0 ? stem + number
                 : stem + h + (k >= 2 ? platform::hex_digits(static_cast<uint32_t>(rnd.next()), 2) : "") + "_" + number;
      info.FilePath = path;
      if (platform::file_open(path, platform::Access::CreateNew, OutFile)) return true;
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
  if (!platform::create_temp_file_chain(Dir, number, path, &OutFile)) {
    info.FilePath.clear();
    return false;
  }
  info.FilePath = path;
  return OutFile.valid();
}

void TFD_Object::examine_header(const std::string& line) {
  if (line.find("Content-Disposition:") != std::string::npos && line.find("form-data") != std::string::npos) {
    size_t name = find_name_parameter(line);
    if (name != std::string::npos) PartName = collect(line, name + 6);
    size_t file = line.find("filename=\"");
    if (file != std::string::npos) {
      IsFilePart = true;
      PartFileName = collect(line, file + 10);
    }
  }
  size_t type = line.find("Content-Type:");
  if (type != std::string::npos) {
    size_t start = type + 13;
    if (start < line.size() && line[start] == ' ') ++start;
    PartContentType = line.substr(start);
  }
}

bool TFD_Object::header_line_end() {
  if (!HeaderLine.empty()) {
    PartHeaders->push_back(HeaderLine);
    examine_header(HeaderLine);
    HeaderLine.clear();
    SkipLF = true;
    return true;
  }
  // The empty line: the header block ends.
  if (IsFilePart) {
    Files.push_back(TFD_FileInfo{PartName, PartFileName, PartContentType, {}});
    HeaderLists.push_back(std::move(*PartHeaders));
    PartHeaders.reset();
    if (!open_output(Files.size())) {
      State = CreateFailed;
      return false;
    }
    State = Copying;
    IsFilePart = false;
  } else {
    PartHeaders.reset();
    ItemNames.push_back(PartName);
    State = TextValue;
  }
  PartName.clear();
  PartContentType.clear();
  PartFileName.clear();
  ItemValue.clear();
  ValueLine.clear();
  FirstValueLine = true;
  return true;
}

// A line of a text value has ended; true when it was the closing delimiter.
bool TFD_Object::text_line_end() {
  if (!Boundary.empty() && ValueLine.compare(0, Boundary.size(), Boundary) == 0) {
    if (ValueLine.size() == Boundary.size()) {
      ItemValues.push_back(ItemValue);
      ValueLine.clear();
      State = PartStart;
      return false;
    }
    if (ValueLine.size() == Boundary.size() + 2 && ValueLine.compare(Boundary.size(), 2, "--") == 0) {
      ItemValues.push_back(ItemValue);
      ValueLine.clear();
      State = Complete;
      return true;
    }
  }
  if (FirstValueLine)
    FirstValueLine = false;
  else
    ItemValue += EndLine;
  ItemValue += ValueLine;
  ValueLine.clear();
  return false;
}

int32_t TFD_Object::run(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n;) {
    if (State >= Copying && State <= BoundaryDashDash) {
      // Entering file content, the second half of the blank line's end may still be
      // dropped; after that byte every byte is content.
      if (SkipLF || SkipCR) {
        bool drop = (SkipLF && p[i] == LF) || (SkipCR && p[i] == CR);
        SkipLF = SkipCR = false;
        if (drop) {
          ++i;
          continue;
        }
      }
      if (!content(p, n, i)) return 0;
      continue;
    }

    uint8_t b = p[i++];
    if (SkipLF) {
      if (b == LF) continue;
      SkipLF = false;
    }
    if (SkipCR) {
      if (b == CR) continue;
      SkipCR = false;
    }

    switch (State) {
      case Boundary_:
        if (b == CR || b == LF) {
          (b == CR ? SkipLF : SkipCR) = true;
          BoundaryLength = static_cast<int32_t>(Boundary.size());
          State = PartStart;
        } else {
          if (Boundary.size() >= kMaxBoundary) {
            Failed = true;
            return 0;
          }
          Boundary.push_back(static_cast<char>(b));
        }
        break;

      case PartStart:
        PartHeaders = std::make_unique<std::vector<std::string>>();
        HeaderLine.clear();
        PartName.clear();
        PartContentType.clear();
        PartFileName.clear();
        ItemValue.clear();
        IsFilePart = false;
        State = Headers;
        [[fallthrough]];

      case Headers:
        if (b == CR || b == LF) {
          (b == CR ? SkipLF : SkipCR) = true;
          if (!header_line_end()) return 0;
        } else {
          if (HeaderLine.size() >= kMaxHeaderLine) {
            State = GuardFired;
            return 0;
          }
          HeaderLine.push_back(static_cast<char>(b));
        }
        break;

      case TextValue:
        if (b == CR || b == LF) {
          (b == CR ? SkipLF : SkipCR) = true;
          if (text_line_end()) return 0;
        } else {
          ValueLine.push_back(static_cast<char>(b));
        }
        break;

      default: return 0;
    }
  }
  return 1;
}

// File content, from p[i] on, until the chunk ends or the part does. The delimiter is
// CR LF Boundary; bytes that may begin it are held back (as State and CandidateLength,
// never more than CR LF, Boundary and two bytes) and given back as content the moment
// the match fails. The byte that broke a match is then looked at again as content, so a
// CR there starts a new candidate.
bool TFD_Object::content(const uint8_t* p, size_t n, size_t& i) {
  while (i < n) {
    const uint8_t b = p[i];
    switch (State) {
      case Copying: {
        // The run up to the next CR that may begin the delimiter goes out in one piece;
        // when the whole delimiter follows, it is the file's last piece and goes out
        // straight from the chunk, gathered behind what the buffer holds.
        size_t run = content_run(p + i, n - i);
        if (run > 0 && !(delimiter_at(p + i + run, n - i - run) ? emit(p + i, run, Flush::Now) : emit(p + i, run)))
          return false;
        i += run;
        if (i < n) {
          CandidateLength = 0;
          State = CrSeen;
          ++i;
        }
        break;
      }

      case CrSeen:
        if (b == LF) {
          State = CrLfSeen;
          ++i;
        } else {
          // The held CR can no longer begin the delimiter.
          static const uint8_t cr = CR;
          if (!emit(&cr, 1)) return false;
          State = Copying;
        }
        break;

      case CrLfSeen:
        if (CandidateLength < BoundaryLength &&
            b == static_cast<uint8_t>(Boundary[static_cast<size_t>(CandidateLength)])) {
          ++i;
          if (++CandidateLength == BoundaryLength) State = BoundaryMatched;
        } else if (BoundaryLength == 0 && b != CR) {
          // With an empty first line there is no delimiter to compare against.
          Failed = true;
          return false;
        } else if (!give_back("", 0)) {
          return false;
        }
        break;

      case BoundaryMatched:
        if (b == CR || b == '-') {
          State = b == CR ? BoundaryCr : BoundaryDash;
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
          CandidateLength = 0;
          State = PartStart;
          return true;
        }
        if (!give_back("\r", 1)) return false;
        break;

      case BoundaryDash:
        if (b == '-') {
          State = BoundaryDashDash;
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
          OutCount = 0;
          CandidateLength = 0;
          State = Complete;
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
  if (State == Headers) PartHeaders.reset();
  if (State >= Copying && State <= BoundaryDash) {
    // Cut off inside file content: the open file is closed first (an open file can't be
    // deleted on Windows), then every output file of the upload is deleted.
    close_output();
    DeleteFiles();
  } else if (State == BoundaryDashDash) {
    // Only the final CR is missing: the content is complete and is kept.
    write_out();
    close_output();
  } else {
    close_output();
  }
  // The buffers go: decoding can't go on until the next FD_Init.
  OutBuffer.clear();
  OutBuffer.shrink_to_fit();
  int32_t result;
  if (Failed)
    result = -(kEndFailedBase + State);
  else if (State == WriteFailed)
    result = kEndWriteFailed;
  else if (State == Boundary_)
    result = kEndNothingFed;
  else if (State == CreateFailed)
    result = kEndCreateFailed;
  else if (State == GuardFired)
    result = kEndGuardFired;
  else if (State == Complete)
    result = kEndComplete;
  else
    result = -State;
  State = Boundary_;
  return result;
}

int32_t TFD_Object::DeleteFiles() {
  int32_t count = 0;
  for (const TFD_FileInfo& f : Files)
    if (platform::file_delete(f.FilePath)) ++count;
  return count;
}

}  // namespace kelv
