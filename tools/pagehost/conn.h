// One client connection: a socket with its read-ahead buffer. A worker owns it while it
// serves a request; between requests of a kept-alive connection the poller holds it.
#pragma once

#include <winsock2.h>

#include <cstdint>
#include <string>

#include "http_head.h"

namespace pagehost {

class Conn {
 public:
  explicit Conn(SOCKET s);
  ~Conn();
  Conn(const Conn&) = delete;
  Conn& operator=(const Conn&) = delete;

  SOCKET socket() const { return m_socket; }
  bool has_buffered() const { return m_pos < m_buf.size(); }

  // Reads a request head. Returns 0 with `head` filled, -1 when the connection ended
  // (or timed out) before any byte of a head, or the HTTP status to answer.
  int read_head(RequestHead& head);

  // Reads up to `n` bytes of the body into `out` (replacing it); fewer only when the
  // client ended the connection or stalled past the timeout.
  size_t read_body(uint8_t* out, size_t n);

  bool send_all(const void* data, size_t n);
  bool send_all(const std::string& s) { return send_all(s.data(), s.size()); }

  // Ends the sending side and reads what the client still sends for a moment, so that
  // a client that is still sending sees the response rather than a reset.
  void linger_close();

  int64_t idle_since = 0;  // tick count when it went back to the poller

 private:
  bool fill();

  SOCKET m_socket;
  std::string m_buf;
  size_t m_pos = 0;
};

}  // namespace pagehost
