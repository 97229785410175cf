// pagehost: a stand-in for a web server's page engine, for tests and the demo only. It
// listens on 127.0.0.1, runs `*.asp` pages from one folder with the system's script
// engine, and serves them from a pool of worker threads, each its own single-threaded
// apartment, as a web server does. It is not a product: no TLS, no sessions, no
// authentication, loopback only.
//
//   pagehost --root DIR [--port N] [--workers N] [--timeout S] [--log] [--record DIR]
//            [--allow-quit]
//
// /.pagehost/status answers the process's handle count and private bytes (for load
// tests); /.pagehost/quit (with --allow-quit) stops the host after the requests in hand.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <psapi.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

#include "conn.h"
#include "objects.h"
#include "page_source.h"
#include "script.h"

namespace pagehost {
namespace {

struct Options {
  std::string root;
  int port = 8080;
  int workers = 8;
  int timeout_s = 30;
  int keep_alive_s = 15;
  int64_t max_body = INT32_MAX;  // Request.TotalBytes is a 32-bit count
  bool log = false;
  bool allow_quit = false;
  std::string record;
};

struct Host {
  Options opt;
  CRITICAL_SECTION lock;
  CONDITION_VARIABLE ready;
  std::deque<Conn*> work;       // connections with a request to read
  std::vector<Conn*> returned;  // kept-alive connections going back to the poller
  bool stopping = false;
  SOCKET wake = INVALID_SOCKET;
  sockaddr_in wake_addr{};
  std::atomic<uint64_t> requests{0}, pages{0}, errors{0}, uploads_bytes{0};
  std::atomic<int> active{0};
  std::atomic<uint64_t> record_seq{0};
};

Host g_host;

void log_line(const char* fmt, ...) {
  if (!g_host.opt.log) return;
  char buf[1024];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  std::fprintf(stdout, "%s\n", buf);
  std::fflush(stdout);
}

void wake_poller() {
  char b = 1;
  sendto(g_host.wake, &b, 1, 0, reinterpret_cast<sockaddr*>(&g_host.wake_addr), sizeof g_host.wake_addr);
}

void simple_response(Conn& c, int status, const std::string& content_type, const std::string& body, bool keep_alive,
                     bool head_only = false) {
  std::string h = "HTTP/1.1 " + std::to_string(status) + " " + status_text(status) +
                  "\r\nContent-Type: " + content_type + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" +
                  (keep_alive ? "Connection: keep-alive\r\n" : "Connection: close\r\n") + "\r\n";
  if (!head_only) h += body;
  c.send_all(h);
}

std::string error_page(int status, const std::string& text) {
  return "<html><body><h1>" + std::to_string(status) + " " + status_text(status) + "</h1><p>" + html_escape(text) +
         "</p></body></html>\n";
}

std::string file_path(const std::string& page_path) {
  std::string out = g_host.opt.root;
  for (char c : page_path) out += c == '/' ? '\\' : c;
  return out;
}

bool read_file(const std::string& name, std::string& out) {
  HANDLE f = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  bool ok = GetFileSizeEx(f, &size) && size.QuadPart < (64 << 20);
  if (ok) {
    out.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    ok = out.empty() || (ReadFile(f, out.data(), static_cast<DWORD>(out.size()), &got, nullptr) && got == out.size());
  }
  CloseHandle(f);
  return ok;
}

// The process's open handles. Where the system reports no count (Wine answers 0), every
// handle value is asked for its flags, which succeeds exactly for the open ones.
DWORD handle_count() {
  DWORD n = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &n) && n) return n;
  for (uintptr_t v = 4; v < (uintptr_t{1} << 16); v += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(v), &flags)) ++n;
  }
  return n;
}

std::string status_json() {
  DWORD handles = handle_count();
  PROCESS_MEMORY_COUNTERS_EX mem{};
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&mem), sizeof mem);
  char buf[512];
  std::snprintf(
      buf, sizeof buf,
      "{\"handles\":%lu,\"private_bytes\":%llu,\"working_set\":%llu,\"requests\":%llu,\"pages\":%llu,"
      "\"errors\":%llu,\"active\":%d,\"workers\":%d,\"page_objects\":%ld}\n",
      static_cast<unsigned long>(handles), static_cast<unsigned long long>(mem.PrivateUsage),
      static_cast<unsigned long long>(mem.WorkingSetSize), static_cast<unsigned long long>(g_host.requests.load()),
      static_cast<unsigned long long>(g_host.pages.load()), static_cast<unsigned long long>(g_host.errors.load()),
      g_host.active.load(), g_host.opt.workers, DispatchObject::live());
  return buf;
}

// The page list a person sees at "/" when the folder has no index page.
std::string folder_index() {
  std::string body = "<html><body><h1>Pages</h1><ul>\n";
  WIN32_FIND_DATAA fd;
  HANDLE f = FindFirstFileA((g_host.opt.root + "\\*.asp").c_str(), &fd);
  if (f != INVALID_HANDLE_VALUE) {
    do {
      std::string n = html_escape(fd.cFileName);
      body += "<li><a href=\"/" + n + "\">" + n + "</a></li>\n";
    } while (FindNextFileA(f, &fd));
    FindClose(f);
  }
  return body + "</ul></body></html>\n";
}

bool ends_with_asp(const std::string& p) {
  return p.size() > 4 && iequals(std::string_view(p).substr(p.size() - 4), ".asp");
}

// Serves one request of the connection. True when the connection stays open for the next.
bool serve(Conn& c, const std::string& remote) {
  RequestHead head;
  int status = c.read_head(head);
  if (status < 0) return false;
  ++g_host.requests;
  if (status) {
    ++g_host.errors;
    log_line("- %d (bad request head)", status);
    simple_response(c, status, "text/html", error_page(status, "The request could not be read."), false);
    c.linger_close();
    return false;
  }
  bool head_only = head.method == "HEAD";
  if (head.path == "/.pagehost/status") {
    simple_response(c, 200, "application/json", status_json(), head.keep_alive && head.content_length == 0, head_only);
    return head.keep_alive && head.content_length == 0;
  }
  if (head.path == "/.pagehost/quit" && g_host.opt.allow_quit) {
    simple_response(c, 200, "text/plain", "stopping\n", false);
    EnterCriticalSection(&g_host.lock);
    g_host.stopping = true;
    LeaveCriticalSection(&g_host.lock);
    wake_poller();
    return false;
  }
  std::string path = head.path;
  int early = 0;
  std::string why;
  if (!is_safe_path(path))
    early = 400, why = "The path is not a page path.";
  else if (head.content_length > g_host.opt.max_body)
    early = 413, why = "The request body is too large.";
  if (!early && path == "/") {
    std::string text;
    if (read_file(file_path("/index.asp"), text)) {
      path = "/index.asp";
    } else {
      bool keep = head.keep_alive && head.content_length == 0;
      simple_response(c, 200, "text/html", folder_index(), keep, head_only);
      return keep;
    }
  }
  std::string text;
  if (!early && !ends_with_asp(path)) early = 404, why = "Only .asp pages are served here.";
  if (!early && !read_file(file_path(path), text)) early = 404, why = "There is no page " + path + ".";
  PageScript page;
  if (!early) {
    page =
        translate_page(path, text, [](const std::string& p, std::string& out) { return read_file(file_path(p), out); });
    if (!page.error.empty()) early = 500, why = page.error;
  }
  if (early) {
    ++g_host.errors;
    log_line("%s %s %d", head.method.c_str(), head.target.c_str(), early);
    bool keep = head.keep_alive && head.content_length == 0;
    simple_response(c, early, "text/html", error_page(early, why), keep, head_only);
    if (!keep) c.linger_close();
    return keep;
  }

  HANDLE record = INVALID_HANDLE_VALUE;
  if (!g_host.opt.record.empty() && head.content_length > 0) {
    char name[32];
    std::snprintf(name, sizeof name, "\\%06llu.body", static_cast<unsigned long long>(++g_host.record_seq));
    record = CreateFileA((g_host.opt.record + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  DWORD started = GetTickCount();
  auto* request = new RequestObject(c, head, remote, g_host.opt.port, record);
  auto* response = new ResponseObject(c, head, &page.blocks, page.code_page);
  auto* server = new ServerObject(g_host.opt.root, path);
  ++g_host.active;
  ScriptOutcome outcome = run_page_script(page, request, response, server);
  --g_host.active;
  ++g_host.pages;
  if (record != INVALID_HANDLE_VALUE) CloseHandle(record);

  bool keep = head.keep_alive;
  if (request->cut_off()) {
    // The body ended early: whatever the page made of it, the client gets an error.
    response->error(400, "The request body was cut off.");
    keep = false;
  } else if (!outcome.ok) {
    response->error(500, outcome.error);
    log_line("page error: %s", outcome.error.c_str());
  }
  // A body the page left unread would be taken for the next request: the connection
  // ends with this response instead.
  if (request->unread() > 0) keep = false;
  if (!outcome.ok || request->cut_off()) ++g_host.errors;
  bool alive = response->finish(keep);
  log_line("%s %s %d %llu bytes %lu ms", head.method.c_str(), head.target.c_str(), response->status_code(),
           static_cast<unsigned long long>(response->body_bytes()),
           static_cast<unsigned long>(GetTickCount() - started));
  request->Release();
  response->Release();
  server->Release();
  if (!alive) c.linger_close();
  return alive;
}

std::string peer_of(SOCKET s) {
  sockaddr_in a{};
  int len = sizeof a;
  if (getpeername(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) return "127.0.0.1";
  char buf[32];
  const uint8_t* b = reinterpret_cast<const uint8_t*>(&a.sin_addr);
  std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
  return buf;
}

DWORD WINAPI worker(LPVOID) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  for (;;) {
    EnterCriticalSection(&g_host.lock);
    while (g_host.work.empty() && !g_host.stopping) SleepConditionVariableCS(&g_host.ready, &g_host.lock, INFINITE);
    if (g_host.work.empty()) {
      LeaveCriticalSection(&g_host.lock);
      break;
    }
    Conn* c = g_host.work.front();
    g_host.work.pop_front();
    LeaveCriticalSection(&g_host.lock);

    std::string remote = peer_of(c->socket());
    bool keep = serve(*c, remote);
    // Requests the client sent ahead are served at once.
    while (keep && c->has_buffered()) keep = serve(*c, remote);
    if (keep) {
      EnterCriticalSection(&g_host.lock);
      c->idle_since = GetTickCount64();
      g_host.returned.push_back(c);
      LeaveCriticalSection(&g_host.lock);
      wake_poller();
    } else {
      delete c;
    }
  }
  CoUninitialize();
  return 0;
}

void set_timeouts(SOCKET s, int seconds) {
  DWORD ms = static_cast<DWORD>(seconds) * 1000;
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
  setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
  BOOL one = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
}

void push_work(Conn* c) {
  EnterCriticalSection(&g_host.lock);
  g_host.work.push_back(c);
  LeaveCriticalSection(&g_host.lock);
  WakeConditionVariable(&g_host.ready);
}

// The poller: accepts connections and watches kept-alive ones until their next request.
void poll_loop(SOCKET listener, SOCKET wake_recv) {
  std::vector<Conn*> idle;
  std::vector<WSAPOLLFD> fds;
  for (;;) {
    EnterCriticalSection(&g_host.lock);
    bool stop = g_host.stopping;
    idle.insert(idle.end(), g_host.returned.begin(), g_host.returned.end());
    g_host.returned.clear();
    LeaveCriticalSection(&g_host.lock);
    if (stop) break;
    fds.clear();
    fds.push_back(WSAPOLLFD{listener, POLLRDNORM, 0});
    fds.push_back(WSAPOLLFD{wake_recv, POLLRDNORM, 0});
    for (Conn* c : idle) fds.push_back(WSAPOLLFD{c->socket(), POLLRDNORM, 0});
    int n = WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), 1000);
    if (n < 0) {
      Sleep(10);
      continue;
    }
    if (fds[1].revents) {
      char sink[64];
      while (recv(wake_recv, sink, sizeof sink, 0) > 0) {
      }
    }
    std::vector<Conn*> still;
    ULONGLONG now = GetTickCount64();
    for (size_t k = 0; k < idle.size(); ++k) {
      Conn* c = idle[k];
      if (fds[k + 2].revents)
        push_work(c);  // a request, or the client closed: a worker reads it
      else if (now - static_cast<ULONGLONG>(c->idle_since) > static_cast<ULONGLONG>(g_host.opt.keep_alive_s) * 1000)
        delete c;
      else
        still.push_back(c);
    }
    idle.swap(still);
    if (fds[0].revents & POLLRDNORM) {
      for (;;) {
        SOCKET s = accept(listener, nullptr, nullptr);
        if (s == INVALID_SOCKET) break;
        u_long blocking = 0;
        ioctlsocket(s, FIONBIO, &blocking);
        set_timeouts(s, g_host.opt.timeout_s);
        push_work(new Conn(s));
      }
    }
  }
  for (Conn* c : idle) delete c;
}

bool parse_options(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](const char* name) -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "pagehost: %s needs a value\n", name);
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "--root")
      o.root = value("--root");
    else if (a == "--port")
      o.port = std::atoi(value("--port"));
    else if (a == "--workers")
      o.workers = std::atoi(value("--workers"));
    else if (a == "--timeout")
      o.timeout_s = std::atoi(value("--timeout"));
    else if (a == "--keep-alive")
      o.keep_alive_s = std::atoi(value("--keep-alive"));
    else if (a == "--record")
      o.record = value("--record");
    else if (a == "--log")
      o.log = true;
    else if (a == "--allow-quit")
      o.allow_quit = true;
    else
      return false;
  }
  while (!o.root.empty() && (o.root.back() == '\\' || o.root.back() == '/')) o.root.pop_back();
  return !o.root.empty() && o.port > 0 && o.port < 65536 && o.workers > 0 && o.workers <= 256 && o.timeout_s > 0;
}

}  // namespace
}  // namespace pagehost

using namespace pagehost;

int main(int argc, char** argv) {
  if (!parse_options(argc, argv, g_host.opt)) {
    std::fprintf(stderr,
                 "usage: pagehost --root DIR [--port N] [--workers N] [--timeout S] [--keep-alive S] [--log]\n"
                 "                [--record DIR] [--allow-quit]\n");
    return 2;
  }
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 1;
  InitializeCriticalSection(&g_host.lock);
  InitializeConditionVariable(&g_host.ready);

  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<u_short>(g_host.opt.port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // loopback only, always
  BOOL exclusive = TRUE;
  setsockopt(listener, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
  if (bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listener, SOMAXCONN) != 0) {
    std::fprintf(stderr, "pagehost: can't listen on 127.0.0.1:%d (error %d)\n", g_host.opt.port, WSAGetLastError());
    return 1;
  }
  u_long nonblocking = 1;
  ioctlsocket(listener, FIONBIO, &nonblocking);

  // Workers hand kept-alive connections back and wake the poller with a datagram.
  SOCKET wake_recv = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  sockaddr_in wa{};
  wa.sin_family = AF_INET;
  wa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int wl = sizeof wa;
  bind(wake_recv, reinterpret_cast<sockaddr*>(&wa), sizeof wa);
  getsockname(wake_recv, reinterpret_cast<sockaddr*>(&wa), &wl);
  ioctlsocket(wake_recv, FIONBIO, &nonblocking);
  g_host.wake = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  g_host.wake_addr = wa;

  std::vector<HANDLE> threads;
  for (int k = 0; k < g_host.opt.workers; ++k) threads.push_back(CreateThread(nullptr, 0, worker, nullptr, 0, nullptr));
  std::printf("pagehost: serving %s on http://127.0.0.1:%d/ with %d workers\n", g_host.opt.root.c_str(),
              g_host.opt.port, g_host.opt.workers);
  std::fflush(stdout);

  poll_loop(listener, wake_recv);

  closesocket(listener);
  WakeAllConditionVariable(&g_host.ready);
  for (HANDLE t : threads) {
    WaitForSingleObject(t, INFINITE);
    CloseHandle(t);
  }
  for (Conn* c : g_host.returned) delete c;
  closesocket(wake_recv);
  closesocket(g_host.wake);
  WSACleanup();
  std::printf("pagehost: stopped after %llu requests\n", static_cast<unsigned long long>(g_host.requests.load()));
  return 0;
}
