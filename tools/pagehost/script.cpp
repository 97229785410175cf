#include "script.h"

// The engine interfaces' identifiers are defined here; the import library lacks some.
#include <initguid.h>
#include <activscp.h>

#include <cstdio>

namespace pagehost {
namespace {

// The site the engine calls back: it hands out the page's objects by name and keeps the
// first error the script raised.
class Site final : public IActiveScriptSite {
 public:
  Site(const PageScript& page, RequestObject* request, ResponseObject* response, ServerObject* server)
      : m_page(page), m_request(request), m_response(response), m_server(server) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IActiveScriptSite)) return E_NOINTERFACE;
    *out = static_cast<IActiveScriptSite*>(this);
    AddRef();
    return S_OK;
  }
  // The site lives on the caller's stack for the whole run; the engine's references
  // are counted only to be dropped.
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }

  HRESULT STDMETHODCALLTYPE GetLCID(LCID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** unk, ITypeInfo** ti) override {
    if (mask & SCRIPTINFO_IUNKNOWN) {
      if (!unk) return E_POINTER;
      *unk = nullptr;
    }
    if (mask & SCRIPTINFO_ITYPEINFO) {
      if (!ti) return E_POINTER;
      *ti = nullptr;
    }
    IDispatch* item = nullptr;
    if (_wcsicmp(name, L"Request") == 0)
      item = m_request;
    else if (_wcsicmp(name, L"Response") == 0)
      item = m_response;
    else if (_wcsicmp(name, L"Server") == 0)
      item = m_server;
    if (!item) return TYPE_E_ELEMENTNOTFOUND;
    if (mask & SCRIPTINFO_IUNKNOWN) {
      item->AddRef();
      *unk = item;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDocVersionString(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnStateChange(SCRIPTSTATE) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnEnterScript() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnLeaveScript() override { return S_OK; }

  HRESULT STDMETHODCALLTYPE OnScriptError(IActiveScriptError* e) override {
    // Response.End stops the script through an error of its own: not a fault.
    if (m_response->ended() || !e || !m_error.empty()) return S_OK;
    EXCEPINFO ei{};
    e->GetExceptionInfo(&ei);
    if (ei.pfnDeferredFillIn) ei.pfnDeferredFillIn(&ei);
    DWORD context = 0;
    ULONG line = 0;
    LONG column = 0;
    e->GetSourcePosition(&context, &line, &column);
    SourceLine where = m_page.source_of(line);
    char code[16];
    std::snprintf(code, sizeof code, "%08lx", static_cast<unsigned long>(ei.scode ? ei.scode : ei.wCode));
    m_error = (ei.bstrSource ? narrow(ei.bstrSource) : std::string("Script")) + " error '" + code + "'\n" +
              (ei.bstrDescription ? narrow(ei.bstrDescription) : std::string("(no description)")) + "\n" + where.file +
              ", line " + std::to_string(where.line);
    SysFreeString(ei.bstrSource);
    SysFreeString(ei.bstrDescription);
    SysFreeString(ei.bstrHelpFile);
    return S_OK;
  }

  const std::string& error() const { return m_error; }

 private:
  const PageScript& m_page;
  RequestObject* m_request;
  ResponseObject* m_response;
  ServerObject* m_server;
  std::string m_error;
  ULONG m_refs = 1;
};

template <class T>
void release(T*& p) {
  if (p) p->Release();
  p = nullptr;
}

}  // namespace

ScriptOutcome run_page_script(const PageScript& page, RequestObject* request, ResponseObject* response,
                              ServerObject* server) {
  ScriptOutcome out;
  Site site(page, request, response, server);
  IActiveScript* engine = nullptr;
  IActiveScriptParse* parse = nullptr;
  CLSID clsid;
  std::wstring language = widen(page.language);
  HRESULT hr = CLSIDFromProgID(language.c_str(), &clsid);
  if (SUCCEEDED(hr))
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveScript, reinterpret_cast<void**>(&engine));
  if (SUCCEEDED(hr)) hr = engine->QueryInterface(IID_IActiveScriptParse, reinterpret_cast<void**>(&parse));
  if (FAILED(hr)) {
    release(engine);
    out.ok = false;
    out.error = "The script engine for the language \"" + page.language + "\" can't be started";
    return out;
  }
  hr = engine->SetScriptSite(&site);
  if (SUCCEEDED(hr)) hr = parse->InitNew();
  for (const wchar_t* item : {L"Request", L"Response", L"Server"})
    if (SUCCEEDED(hr)) hr = engine->AddNamedItem(item, SCRIPTITEM_ISVISIBLE | SCRIPTITEM_NOCODE);
  if (SUCCEEDED(hr)) {
    std::wstring code = widen(page.code, page.code_page ? page.code_page : CP_ACP);
    EXCEPINFO ei{};
    hr = parse->ParseScriptText(code.c_str(), nullptr, nullptr, nullptr, 0, 0, 0, nullptr, &ei);
    SysFreeString(ei.bstrSource);
    SysFreeString(ei.bstrDescription);
    SysFreeString(ei.bstrHelpFile);
    // The global code runs as the engine starts.
    if (SUCCEEDED(hr)) hr = engine->SetScriptState(SCRIPTSTATE_STARTED);
  }
  engine->Close();
  release(parse);
  release(engine);
  if (!site.error().empty()) {
    out.ok = false;
    out.error = site.error();
  } else if (FAILED(hr) && !response->ended()) {
    char text[64];
    std::snprintf(text, sizeof text, "The script engine failed (0x%08lx)", static_cast<unsigned long>(hr));
    out.ok = false;
    out.error = text;
  }
  return out;
}

}  // namespace pagehost
