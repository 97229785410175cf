// The objects a page sees: Request, Response and Server, with the members of the classic
// server page objects that upload pages use. Each is a plain IDispatch with its own name table
// (no type library); they live on the worker's thread for one request.
#pragma once

#include <winsock2.h>
#include <oaidl.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "conn.h"
#include "http_head.h"

namespace pagehost {

// The status a member raises for Response.End: the script stops there and the host
// treats it as the page's normal end.
constexpr HRESULT kPageEnded = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x0E0D);

struct NameEntry {
  const wchar_t* name;
  DISPID id;
};

class DispatchObject : public IDispatch {
 public:
  DispatchObject(const NameEntry* names, size_t count) : m_names(names), m_count(count) { ++s_live; }
  virtual ~DispatchObject() { --s_live; }
  // Request, Response and Server objects alive in the process: 0 between requests.
  static long live() { return s_live.load(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** out) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* excep, UINT* arg_err) override;

 protected:
  // The positional arguments in script order (the engine passes them last first), each
  // followed through one by-reference level.
  struct Args {
    DISPPARAMS* params;
    UINT count() const { return params ? params->cArgs - (params->cNamedArgs ? params->cNamedArgs : 0) : 0; }
    VARIANT* raw(UINT k) const { return &params->rgvarg[params->cArgs - 1 - k]; }
    const VARIANT* at(UINT k) const;
    // The value a property put assigns.
    const VARIANT* put_value() const { return params && params->cArgs ? &params->rgvarg[0] : nullptr; }
  };
  virtual HRESULT call(DISPID id, WORD flags, const Args& args, VARIANT* result, EXCEPINFO* excep) = 0;

  static HRESULT fail(EXCEPINFO* excep, HRESULT code, const std::wstring& source, const std::wstring& text);
  static bool text_of(const VARIANT* v, std::wstring& out);

 private:
  const NameEntry* m_names;
  size_t m_count;
  ULONG m_refs = 1;
  static inline std::atomic<long> s_live{0};
};

class RequestObject final : public DispatchObject {
 public:
  RequestObject(Conn& conn, const RequestHead& head, std::string remote, int port, HANDLE record);
  int64_t total_bytes() const { return m_head.content_length; }
  int64_t unread() const { return m_head.content_length - m_read; }
  bool cut_off() const { return m_cut_off; }
  // Reads up to n bytes of the body; the page's BinaryRead and the host's drain use it.
  size_t read(uint8_t* out, size_t n);

 protected:
  HRESULT call(DISPID id, WORD flags, const Args& args, VARIANT* result, EXCEPINFO* excep) override;

 private:
  std::string server_variable(const std::string& name) const;

  Conn& m_conn;
  const RequestHead& m_head;
  std::string m_remote;
  int m_port;
  HANDLE m_record;
  int64_t m_read = 0;
  bool m_cut_off = false;
  bool m_continue_sent = false;
};

class ResponseObject final : public DispatchObject {
 public:
  // `code_page`: the page's code page for what Write sends (0: the system's).
  ResponseObject(Conn& conn, const RequestHead& head, const std::vector<std::string>* blocks, unsigned code_page);
  bool ended() const { return m_ended; }
  bool headers_sent() const { return m_headers_sent; }
  // Finishes the response after the page: the head with the length and the buffered
  // body, or the last chunk. False when the client is gone.
  bool finish(bool keep_alive);
  // Replaces whatever the page produced by an error page, if nothing was sent yet;
  // otherwise the text goes after what was sent.
  void error(int status, const std::string& text);
  int status_code() const { return m_status_code; }
  uint64_t body_bytes() const { return m_body_bytes; }

 protected:
  HRESULT call(DISPID id, WORD flags, const Args& args, VARIANT* result, EXCEPINFO* excep) override;

 private:
  HRESULT write(const void* data, size_t n, EXCEPINFO* excep);
  bool send_head(bool chunked, bool keep_alive, size_t length);
  bool flush_chunk();
  HRESULT too_late(EXCEPINFO* excep);
  static HRESULT page_ended(EXCEPINFO* excep);

  Conn& m_conn;
  const RequestHead& m_head;
  const std::vector<std::string>* m_blocks;
  std::string m_status = "200 OK";
  int m_status_code = 200;
  std::string m_content_type = "text/html";
  std::string m_charset;  // added to the content type when a page sets one
  UINT m_code_page = CP_ACP;
  std::vector<Header> m_headers;
  std::string m_body;
  bool m_buffer = true;
  bool m_headers_sent = false;
  bool m_ended = false;
  bool m_broken = false;
  uint64_t m_body_bytes = 0;
};

class ServerObject final : public DispatchObject {
 public:
  ServerObject(std::string root, std::string page_path);

 protected:
  HRESULT call(DISPID id, WORD flags, const Args& args, VARIANT* result, EXCEPINFO* excep) override;

 private:
  std::string m_root;       // the page folder, a Windows path without a final "\"
  std::string m_page_path;  // "/dir/page.asp"
};

std::wstring widen(const std::string& s, UINT cp = CP_ACP);
std::string narrow(const std::wstring& s, UINT cp = CP_ACP);

}  // namespace pagehost
