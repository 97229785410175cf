#include "conn.h"

#include <algorithm>
#include <cstring>

namespace pagehost {

Conn::Conn(SOCKET s) : m_socket(s) {}

Conn::~Conn() {
  if (m_socket != INVALID_SOCKET) closesocket(m_socket);
}

bool Conn::fill() {
  if (m_pos == m_buf.size()) {
    m_buf.clear();
    m_pos = 0;
  }
  char chunk[16384];
  int n = recv(m_socket, chunk, sizeof chunk, 0);
  if (n <= 0) return false;  // closed, reset or timed out
  m_buf.append(chunk, static_cast<size_t>(n));
  return true;
}

int Conn::read_head(RequestHead& head) {
  size_t end = 0;
  for (;;) {
    std::string_view data(m_buf.data() + m_pos, m_buf.size() - m_pos);
    // Empty lines before a request are allowed (some clients send one after a body).
    while (!data.empty() && (data[0] == '\r' || data[0] == '\n')) data.remove_prefix(1), ++m_pos;
    end = find_head_end(data);
    if (end) break;
    if (data.size() > kMaxHeadBytes) return 431;
    bool started = !data.empty();
    if (!fill()) return started ? 400 : -1;
  }
  if (end > kMaxHeadBytes) return 431;
  int status = parse_head(std::string_view(m_buf.data() + m_pos, end), head);
  m_pos += end;
  return status;
}

size_t Conn::read_body(uint8_t* out, size_t n) {
  size_t done = 0;
  while (done < n) {
    if (m_pos == m_buf.size()) {
      // Large reads go straight into the caller's buffer.
      if (n - done >= 16384) {
        int got = recv(m_socket, reinterpret_cast<char*>(out + done),
                       static_cast<int>(std::min<size_t>(n - done, 1 << 20)), 0);
        if (got <= 0) break;
        done += static_cast<size_t>(got);
        continue;
      }
      if (!fill()) break;
    }
    size_t take = std::min(n - done, m_buf.size() - m_pos);
    std::memcpy(out + done, m_buf.data() + m_pos, take);
    m_pos += take;
    done += take;
  }
  return done;
}

bool Conn::send_all(const void* data, size_t n) {
  const char* p = static_cast<const char*>(data);
  while (n) {
    int put = send(m_socket, p, static_cast<int>(std::min<size_t>(n, 1 << 20)), 0);
    if (put <= 0) return false;
    p += put;
    n -= static_cast<size_t>(put);
  }
  return true;
}

void Conn::linger_close() {
  shutdown(m_socket, SD_SEND);
  // Drain for at most about a second, so a closing socket with unread data does not
  // reset the connection before the client has read the response.
  DWORD t = 200;
  setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&t), sizeof t);
  char sink[16384];
  for (int k = 0; k < 64; ++k)
    if (recv(m_socket, sink, sizeof sink, 0) <= 0) break;
}

}  // namespace pagehost
