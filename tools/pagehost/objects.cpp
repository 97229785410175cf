#include "objects.h"

#include "page_source.h"

#include <algorithm>
#include <cstring>
#include <cwctype>

namespace pagehost {
namespace {

enum : DISPID {
  kRequestTotalBytes = 1,
  kRequestBinaryRead,
  kRequestServerVariables,
  kRequestQueryString,
};
const NameEntry kRequestNames[] = {
    {L"TotalBytes", kRequestTotalBytes},
    {L"BinaryRead", kRequestBinaryRead},
    {L"ServerVariables", kRequestServerVariables},
    {L"QueryString", kRequestQueryString},
    {L"Item", DISPID_VALUE},
};

enum : DISPID {
  kResponseWrite = 1,
  kResponseBinaryWrite,
  kResponseWriteBlock,
  kResponseContentType,
  kResponseBuffer,
  kResponseEnd,
  kResponseAddHeader,
  kResponseStatus,
  kResponseClear,
  kResponseFlush,
  kResponseCodePage,
  kResponseCharset,
};
const NameEntry kResponseNames[] = {
    {L"Write", kResponseWrite},           {L"BinaryWrite", kResponseBinaryWrite},
    {L"WriteBlock", kResponseWriteBlock}, {L"ContentType", kResponseContentType},
    {L"Buffer", kResponseBuffer},         {L"End", kResponseEnd},
    {L"AddHeader", kResponseAddHeader},   {L"Status", kResponseStatus},
    {L"Clear", kResponseClear},           {L"Flush", kResponseFlush},
    {L"CodePage", kResponseCodePage},     {L"Charset", kResponseCharset},
};

enum : DISPID { kServerCreateObject = 1, kServerMapPath, kServerHTMLEncode };
const NameEntry kServerNames[] = {
    {L"CreateObject", kServerCreateObject},
    {L"MapPath", kServerMapPath},
    {L"HTMLEncode", kServerHTMLEncode},
};

HRESULT put_text(VARIANT* result, const std::wstring& s) {
  if (!result) return S_OK;
  V_VT(result) = VT_BSTR;
  V_BSTR(result) = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
  return V_BSTR(result) ? S_OK : E_OUTOFMEMORY;
}

bool is_get(WORD flags) { return flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD); }
bool is_put(WORD flags) { return flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF); }

// Bytes of a byte array argument, by value or by reference; false for anything else.
bool bytes_of(const VARIANT* v, const uint8_t*& data, size_t& n) {
  if (!v) return false;
  SAFEARRAY* sa = nullptr;
  if (V_VT(v) == (VT_ARRAY | VT_UI1))
    sa = V_ARRAY(v);
  else if (V_VT(v) == (VT_BYREF | VT_ARRAY | VT_UI1) && V_ARRAYREF(v))
    sa = *V_ARRAYREF(v);
  else
    return false;
  data = nullptr;
  n = 0;
  if (!sa) return true;
  if (sa->cDims != 1) return false;
  data = static_cast<const uint8_t*>(sa->pvData);
  n = sa->rgsabound[0].cElements;
  return true;
}

}  // namespace

std::wstring widen(const std::string& s, UINT cp) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(std::max(n, 0)), L'\0');
  if (n > 0) MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
  return out;
}

std::string narrow(const std::wstring& s, UINT cp) {
  if (s.empty()) return {};
  int n = WideCharToMultiByte(cp, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(std::max(n, 0)), '\0');
  if (n > 0) WideCharToMultiByte(cp, 0, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr, nullptr);
  return out;
}

// ---- DispatchObject -------------------------------------------------------------------

HRESULT DispatchObject::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDispatch)) return E_NOINTERFACE;
  *out = static_cast<IDispatch*>(this);
  AddRef();
  return S_OK;
}

ULONG DispatchObject::Release() {
  ULONG n = --m_refs;
  if (n == 0) delete this;
  return n;
}

HRESULT DispatchObject::GetTypeInfoCount(UINT* n) {
  if (!n) return E_POINTER;
  *n = 0;
  return S_OK;
}

HRESULT DispatchObject::GetTypeInfo(UINT, LCID, ITypeInfo** out) {
  if (out) *out = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT DispatchObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (count && (!names || !ids)) return E_POINTER;
  HRESULT hr = S_OK;
  for (UINT k = 0; k < count; ++k) {
    ids[k] = DISPID_UNKNOWN;
    if (k > 0) {  // named arguments are not offered
      hr = DISP_E_UNKNOWNNAME;
      continue;
    }
    for (size_t i = 0; i < m_count; ++i)
      if (names[k] && _wcsicmp(names[k], m_names[i].name) == 0) ids[k] = m_names[i].id;
    if (ids[k] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

HRESULT DispatchObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                               EXCEPINFO* excep, UINT*) {
  if (result) VariantInit(result);
  if (params && params->cNamedArgs &&
      !(params->cNamedArgs == 1 && params->rgdispidNamedArgs && params->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT))
    return DISP_E_NONAMEDARGS;
  AddRef();  // the page may drop its last reference inside the call
  HRESULT hr = call(id, flags, Args{params}, result, excep);
  Release();
  return hr;
}

const VARIANT* DispatchObject::Args::at(UINT k) const {
  if (k >= count()) return nullptr;
  const VARIANT* v = raw(k);
  if (V_VT(v) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(v)) v = V_VARIANTREF(v);
  if (V_VT(v) == VT_ERROR && V_ERROR(v) == DISP_E_PARAMNOTFOUND) return nullptr;  // omitted
  return v;
}

HRESULT DispatchObject::fail(EXCEPINFO* excep, HRESULT code, const std::wstring& source, const std::wstring& text) {
  if (!excep) return code;
  std::memset(excep, 0, sizeof *excep);
  excep->bstrSource = SysAllocString(source.c_str());
  excep->bstrDescription = SysAllocString(text.c_str());
  excep->scode = code;
  return DISP_E_EXCEPTION;
}

bool DispatchObject::text_of(const VARIANT* v, std::wstring& out) {
  out.clear();
  if (!v || V_VT(v) == VT_EMPTY || V_VT(v) == VT_NULL) return true;
  VARIANT t;
  VariantInit(&t);
  if (FAILED(VariantChangeType(&t, const_cast<VARIANT*>(v), VARIANT_ALPHABOOL, VT_BSTR))) return false;
  out.assign(V_BSTR(&t), SysStringLen(V_BSTR(&t)));
  VariantClear(&t);
  return true;
}

// ---- Request --------------------------------------------------------------------------

RequestObject::RequestObject(Conn& conn, const RequestHead& head, std::string remote, int port, HANDLE record)
    : DispatchObject(kRequestNames, std::size(kRequestNames)),
      m_conn(conn),
      m_head(head),
      m_remote(std::move(remote)),
      m_port(port),
      m_record(record) {}

size_t RequestObject::read(uint8_t* out, size_t n) {
  n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(n), unread()));
  if (n == 0) return 0;
  if (m_head.expect_continue && !m_continue_sent) {
    m_continue_sent = true;
    m_conn.send_all(std::string("HTTP/1.1 100 Continue\r\n\r\n"));
  }
  size_t got = m_conn.read_body(out, n);
  m_read += static_cast<int64_t>(got);
  if (got < n) {
    // The client ended or stalled inside the body: nothing more is read from it.
    m_cut_off = true;
    m_read = m_head.content_length;
  }
  if (m_record != INVALID_HANDLE_VALUE && got) {
    DWORD put = 0;
    WriteFile(m_record, out, static_cast<DWORD>(got), &put, nullptr);
  }
  return got;
}

std::string RequestObject::server_variable(const std::string& name) const {
  std::string n = name;
  for (char& c : n) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (n == "REQUEST_METHOD") return m_head.method;
  if (n == "QUERY_STRING") return m_head.query;
  if (n == "CONTENT_LENGTH") return m_head.has_header("Content-Length") ? std::to_string(m_head.content_length) : "";
  if (n == "CONTENT_TYPE") return m_head.header("Content-Type");
  if (n == "SCRIPT_NAME" || n == "PATH_INFO" || n == "URL") return m_head.path;
  if (n == "SERVER_PROTOCOL") return m_head.version;
  if (n == "SERVER_PORT") return std::to_string(m_port);
  if (n == "SERVER_NAME") return "127.0.0.1";
  if (n == "SERVER_SOFTWARE") return "kelvutil-pagehost";
  if (n == "REMOTE_ADDR" || n == "REMOTE_HOST") return m_remote;
  if (n == "HTTPS") return "off";
  if (n.rfind("HTTP_", 0) == 0) {
    for (const Header& h : m_head.headers) {
      std::string key = "HTTP_" + h.name;
      for (char& c : key) c = c == '-' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (key == n) return m_head.header(h.name);
    }
  }
  return {};
}

HRESULT RequestObject::call(DISPID id, WORD flags, const Args& args, VARIANT* result, EXCEPINFO* excep) {
  if (!is_get(flags)) return DISP_E_MEMBERNOTFOUND;
  std::wstring name;
  switch (id) {
    case kRequestTotalBytes:
      if (result) {
        V_VT(result) = VT_I4;
        V_I4(result) = static_cast<LONG>(std::min<int64_t>(m_head.content_length, INT32_MAX));
      }
      return S_OK;
    case kRequestBinaryRead: {
      VARIANT n;
      VariantInit(&n);
      const VARIANT* a = args.at(0);
      if (!a || FAILED(VariantChangeType(&n, const_cast<VARIANT*>(a), 0, VT_I4)) || V_I4(&n) < 0)
        return fail(excep, E_INVALIDARG, L"Request", L"BinaryRead needs a count of bytes");
      size_t want = static_cast<size_t>(std::min<int64_t>(V_I4(&n), unread()));
      SAFEARRAY* sa = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(want));
      if (!sa) return fail(excep, E_OUTOFMEMORY, L"Request", L"Out of memory");
      size_t got = read(static_cast<uint8_t*>(sa->pvData), want);
      if (got < want) {
        SAFEARRAYBOUND b{static_cast<ULONG>(got), 0};
        SafeArrayRedim(sa, &b);
      }
      // The count passed by reference tells the page how much it got.
      VARIANT* ref = args.raw(0);
      if (V_VT(ref) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(ref)) {
        VariantClear(V_VARIANTREF(ref));
        V_VT(V_VARIANTREF(ref)) = VT_I4;
        V_I4(V_VARIANTREF(ref)) = static_cast<LONG>(got);
      }
      if (!result) {
        SafeArrayDestroy(sa);
        return S_OK;
      }
      V_VT(result) = VT_ARRAY | VT_UI1;
      V_ARRAY(result) = sa;
      return S_OK;
    }
    case kRequestServerVariables:
      if (!text_of(args.at(0), name) || name.empty())
        return fail(excep, E_INVALIDARG, L"Request", L"ServerVariables needs a name");
      return put_text(result, widen(server_variable(narrow(name))));
    case kRequestQueryString:
      if (!args.at(0)) return put_text(result, widen(m_head.query));
      if (!text_of(args.at(0), name)) return fail(excep, E_INVALIDARG, L"Request", L"QueryString needs a name");
      return put_text(result, widen(query_value(m_head.query, narrow(name))));
    case DISPID_VALUE: {
      if (!text_of(args.at(0), name) || name.empty()) return fail(excep, E_INVALIDARG, L"Request", L"A name is needed");
      std::string v = query_value(m_head.query, narrow(name));
      return put_text(result, widen(v.empty() ? server_variable(narrow(name)) : v));
    }
  }
  return DISP_E_MEMBERNOTFOUND;
}

// ---- Response -------------------------------------------------------------------------

ResponseObject::ResponseObject(Conn& conn, const RequestHead& head, const std::vector<std::string>* blocks,
                               unsigned code_page)
    : DispatchObject(kResponseNames, std::size(kResponseNames)),
      m_conn(conn),
      m_head(head),
      m_blocks(blocks),
      m_code_page(code_page ? code_page : CP_ACP) {}

bool ResponseObject::send_head(bool chunked, bool keep_alive, size_t length) {
  std::string h = m_head.version == "HTTP/1.0" ? "HTTP/1.0 " : "HTTP/1.1 ";
  h += m_status + "\r\nContent-Type: " + m_content_type + (m_charset.empty() ? "" : "; charset=" + m_charset) + "\r\n";
  if (chunked)
    h += "Transfer-Encoding: chunked\r\n";
  else if (length != SIZE_MAX)
    h += "Content-Length: " + std::to_string(length) + "\r\n";
  h += keep_alive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
  h += "Cache-Control: private\r\n";
  for (const Header& x : m_headers) h += x.name + ": " + x.value + "\r\n";
  h += "\r\n";
  m_headers_sent = true;
  if (!m_conn.send_all(h)) m_broken = true;
  return !m_broken;
}

bool ResponseObject::flush_chunk() {
  if (m_broken) return false;
  if (!m_headers_sent) {
    // HTTP/1.0 has no chunks: the body runs to the end of the connection.
    if (!send_head(m_head.version == "HTTP/1.1", m_head.keep_alive && m_head.version == "HTTP/1.1", SIZE_MAX))
      return false;
  }
  if (m_body.empty() || m_head.method == "HEAD") {
    m_body.clear();
    return true;
  }
  bool ok = true;
  if (m_head.version == "HTTP/1.1") {
    char len[32];
    std::snprintf(len, sizeof len, "%zx\r\n", m_body.size());
    ok = m_conn.send_all(std::string(len)) && m_conn.send_all(m_body) && m_conn.send_all(std::string("\r\n"));
  } else {
    ok = m_conn.send_all(m_body);
  }
  m_body.clear();
  if (!ok) m_broken = true;
  return ok;
}

bool ResponseObject::finish(bool keep_alive) {
  if (m_broken) return false;
  if (!m_headers_sent) {
    if (!send_head(false, keep_alive, m_body.size())) return false;
    if (m_head.method != "HEAD" && !m_conn.send_all(m_body)) return false;
    m_body.clear();
    return keep_alive;
  }
  if (!flush_chunk()) return false;
  if (m_head.version != "HTTP/1.1") return false;  // the end of the body is the end of the connection
  return m_conn.send_all(std::string("0\r\n\r\n")) && keep_alive;
}

void ResponseObject::error(int status, const std::string& text) {
  std::string page = "<html><body><h1>" + std::to_string(status) + " " + status_text(status) + "</h1><pre>" +
                     html_escape(text) + "</pre></body></html>\n";
  if (!m_headers_sent) {
    m_status = std::to_string(status) + " " + status_text(status);
    m_status_code = status;
    m_content_type = "text/html";
    m_headers.clear();
    m_body = page;
  } else {
    m_body += page;
  }
}

// The end of the page travels as an exception with no text: the engine stops the script
// and never shows it, and an engine that does not free an exception's strings (Wine's
// VBScript) then has none to lose on every page that ends this way.
HRESULT ResponseObject::page_ended(EXCEPINFO* excep) {
  if (!excep) return kPageEnded;
  std::memset(excep, 0, sizeof *excep);
  excep->scode = kPageEnded;
  return DISP_E_EXCEPTION;
}

HRESULT ResponseObject::write(const void* data, size_t n, EXCEPINFO* excep) {
  if (m_ended) return page_ended(excep);
  m_body.append(static_cast<const char*>(data), n);
  m_body_bytes += n;
  if (!m_buffer && !flush_chunk()) m_broken = true;  // a gone client: the page runs on
  return S_OK;
}

HRESULT ResponseObject::too_late(EXCEPINFO* excep) {
  return fail(excep, E_FAIL, L"Response", L"The HTTP headers are already written");
}

HRESULT ResponseObject::call(DISPID id, WORD flags, const Args& args, VARIANT* result, EXCEPINFO* excep) {
  std::wstring text;
  switch (id) {
    case kResponseWrite:
      if (!text_of(args.at(0), text)) return fail(excep, DISP_E_TYPEMISMATCH, L"Response", L"Write: type mismatch");
      {
        std::string bytes = narrow(text, m_code_page);
        return write(bytes.data(), bytes.size(), excep);
      }
    case kResponseBinaryWrite: {
      const uint8_t* data = nullptr;
      size_t n = 0;
      if (!bytes_of(args.at(0), data, n))
        return fail(excep, DISP_E_TYPEMISMATCH, L"Response", L"BinaryWrite needs a byte array");
      return write(data, n, excep);
    }
    case kResponseWriteBlock: {
      VARIANT k;
      VariantInit(&k);
      const VARIANT* a = args.at(0);
      if (!a || FAILED(VariantChangeType(&k, const_cast<VARIANT*>(a), 0, VT_I4)) || V_I4(&k) < 0 ||
          static_cast<size_t>(V_I4(&k)) >= m_blocks->size())
        return fail(excep, E_INVALIDARG, L"Response", L"No such block");
      const std::string& b = (*m_blocks)[static_cast<size_t>(V_I4(&k))];
      return write(b.data(), b.size(), excep);
    }
    case kResponseContentType:
      if (is_put(flags)) {
        if (m_headers_sent) return too_late(excep);
        if (!text_of(args.put_value(), text)) return DISP_E_TYPEMISMATCH;
        m_content_type = narrow(text);
        return S_OK;
      }
      return put_text(result, widen(m_content_type));
    case kResponseStatus:
      if (is_put(flags)) {
        if (m_headers_sent) return too_late(excep);
        if (!text_of(args.put_value(), text)) return DISP_E_TYPEMISMATCH;
        std::string s = narrow(text);
        int code = std::atoi(s.c_str());
        if (code < 100 || code > 999 || s.find_first_of("\r\n") != std::string::npos)
          return fail(excep, E_INVALIDARG, L"Response",
                      L"Status must be a code and a reason, such as \"404 Not Found\"");
        m_status = s;
        m_status_code = code;
        return S_OK;
      }
      return put_text(result, widen(m_status));
    case kResponseBuffer:
      if (is_put(flags)) {
        VARIANT b;
        VariantInit(&b);
        if (!args.put_value() || FAILED(VariantChangeType(&b, const_cast<VARIANT*>(args.put_value()), 0, VT_BOOL)))
          return DISP_E_TYPEMISMATCH;
        bool on = V_BOOL(&b) != VARIANT_FALSE;
        if (!on && m_buffer && !flush_chunk()) m_broken = true;
        m_buffer = on;
        return S_OK;
      }
      if (result) {
        V_VT(result) = VT_BOOL;
        V_BOOL(result) = m_buffer ? VARIANT_TRUE : VARIANT_FALSE;
      }
      return S_OK;
    case kResponseAddHeader: {
      std::wstring value;
      if (!text_of(args.at(0), text) || !text_of(args.at(1), value) || text.empty())
        return fail(excep, E_INVALIDARG, L"Response", L"AddHeader needs a name and a value");
      if (m_headers_sent) return too_late(excep);
      std::string n = narrow(text), v = narrow(value);
      if (n.find_first_of(":\r\n") != std::string::npos || v.find_first_of("\r\n") != std::string::npos)
        return fail(excep, E_INVALIDARG, L"Response", L"A header name or value holds a line break or colon");
      m_headers.push_back(Header{n, v});
      return S_OK;
    }
    case kResponseCodePage:
      if (is_put(flags)) {
        VARIANT v;
        VariantInit(&v);
        if (!args.put_value() || FAILED(VariantChangeType(&v, const_cast<VARIANT*>(args.put_value()), 0, VT_I4)) ||
            !IsValidCodePage(static_cast<UINT>(V_I4(&v))))
          return fail(excep, E_INVALIDARG, L"Response", L"CodePage must name a code page of the system");
        m_code_page = static_cast<UINT>(V_I4(&v));
        return S_OK;
      }
      if (result) {
        V_VT(result) = VT_I4;
        V_I4(result) = static_cast<LONG>(m_code_page == CP_ACP ? GetACP() : m_code_page);
      }
      return S_OK;
    case kResponseCharset:
      if (is_put(flags)) {
        if (m_headers_sent) return too_late(excep);
        if (!text_of(args.put_value(), text)) return DISP_E_TYPEMISMATCH;
        std::string c = narrow(text);
        if (c.find_first_of(";\r\n") != std::string::npos)
          return fail(excep, E_INVALIDARG, L"Response", L"A charset holds a line break or semicolon");
        m_charset = c;
        return S_OK;
      }
      return put_text(result, widen(m_charset));
    case kResponseClear: m_body.clear(); return S_OK;
    case kResponseFlush:
      if (!flush_chunk()) m_broken = true;
      return S_OK;
    case kResponseEnd: m_ended = true; return page_ended(excep);
  }
  return DISP_E_MEMBERNOTFOUND;
}

// ---- Server ---------------------------------------------------------------------------

ServerObject::ServerObject(std::string root, std::string page_path)
    : DispatchObject(kServerNames, std::size(kServerNames)),
      m_root(std::move(root)),
      m_page_path(std::move(page_path)) {}

HRESULT ServerObject::call(DISPID id, WORD flags, const Args& args, VARIANT* result, EXCEPINFO* excep) {
  if (!is_get(flags)) return DISP_E_MEMBERNOTFOUND;
  std::wstring text;
  switch (id) {
    case kServerCreateObject: {
      if (!text_of(args.at(0), text) || text.empty())
        return fail(excep, E_INVALIDARG, L"Server", L"CreateObject needs a ProgID");
      CLSID clsid;
      HRESULT hr = CLSIDFromProgID(text.c_str(), &clsid);
      IDispatch* obj = nullptr;
      if (SUCCEEDED(hr))
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                              reinterpret_cast<void**>(&obj));
      if (FAILED(hr)) {
        wchar_t msg[128];
        _snwprintf(msg, 128, L"Server.CreateObject failed for %ls (0x%08lx)", text.c_str(),
                   static_cast<unsigned long>(hr));
        return fail(excep, hr, L"Server", msg);
      }
      if (!result) {
        obj->Release();
        return S_OK;
      }
      V_VT(result) = VT_DISPATCH;
      V_DISPATCH(result) = obj;
      return S_OK;
    }
    case kServerMapPath: {
      if (!text_of(args.at(0), text)) return fail(excep, E_INVALIDARG, L"Server", L"MapPath needs a path");
      std::string p = narrow(text), virt;
      bool from_root = !p.empty() && (p[0] == '/' || p[0] == '\\');
      if (!resolve_page_path(m_page_path, p, from_root, virt))
        return fail(excep, E_INVALIDARG, L"Server", L"MapPath: the path leaves the page folder");
      std::string out = m_root;
      if (virt != "/")
        for (char c : virt) out += c == '/' ? '\\' : c;
      return put_text(result, widen(out));
    }
    case kServerHTMLEncode:
      if (!text_of(args.at(0), text)) return DISP_E_TYPEMISMATCH;
      // In UTF-8, so that every character of the text comes back.
      return put_text(result, widen(html_escape(narrow(text, CP_UTF8)), CP_UTF8));
  }
  return DISP_E_MEMBERNOTFOUND;
}

}  // namespace pagehost
