#include "server/native/dispatch.h"

#include <optional>

#include "platform/platform.h"

namespace kelv::native {
namespace {

std::u16string fold(const std::u16string& s) {
  std::u16string out = s;
  for (char16_t& c : out)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  return out;
}

thread_local std::optional<ErrorRecord> t_error;
std::atomic<int32_t> g_lock_count{0};

}  // namespace

TypeInfo::TypeInfo(const InterfaceTable& t) : m_table(t) {
  // The name cache: every member function's name (with its length, which the string
  // carries) and DISPID.
  for (const Member& m : t.members) m_names.emplace_back(platform::to_wide(m.name), m.dispid);
}

HResult TypeInfo::QueryInterface(const Guid& iid, void** out) {
  if (!out) return hr::E_POINTER;
  *out = nullptr;
  if (!(iid == kIidIUnknown)) return hr::E_NOINTERFACE;
  *out = this;
  AddRef();
  return hr::S_OK;
}

uint32_t TypeInfo::AddRef() { return ++m_refs; }
uint32_t TypeInfo::Release() { return --m_refs; }

bool TypeInfo::cached_lookup(const std::u16string& name, int32_t& dispid) const {
  for (auto it = m_names.rbegin(); it != m_names.rend(); ++it) {
    if (it->first.size() == name.size() && it->first == name) {
      dispid = it->second;
      return true;
    }
  }
  return false;
}

bool TypeInfo::library_lookup(const std::u16string& name, int32_t& dispid) const {
  std::u16string wanted = fold(name);
  for (const auto& [n, id] : m_names) {
    if (fold(n) == wanted) {
      dispid = id;
      return true;
    }
  }
  return false;
}

void set_error_info(const ErrorRecord* rec) {
  if (rec)
    t_error = *rec;
  else
    t_error.reset();
}

bool take_error_info(ErrorRecord& out) {
  if (!t_error) return false;
  out = *t_error;
  t_error.reset();
  return true;
}

void lock_module() { ++g_lock_count; }
void unlock_module() { --g_lock_count; }
int32_t module_lock_count() { return g_lock_count.load(); }

}  // namespace kelv::native
