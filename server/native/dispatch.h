// The native object model: the unknown, dispatch and class-factory interfaces, the
// type information of an interface with its name cache, the thread's error record, and
// one object template that serves every class from its member table.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "server/binding.h"
#include "server/classes.h"
#include "server/native/variant.h"

namespace kelv::native {

inline constexpr Guid kIidIUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr Guid kIidIDispatch{0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr Guid kIidIClassFactory{0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr Guid kIidNull{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

inline constexpr uint16_t DISPATCH_METHOD = 1;
inline constexpr uint16_t DISPATCH_PROPERTYGET = 2;
inline constexpr uint16_t DISPATCH_PROPERTYPUT = 4;
inline constexpr uint16_t DISPATCH_PROPERTYPUTREF = 8;
inline constexpr int32_t DISPID_PROPERTYPUT = -3;
inline constexpr int32_t DISPID_UNKNOWN = -1;

class Unknown {
 public:
  virtual HResult QueryInterface(const Guid& iid, void** out) = 0;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;

 protected:
  ~Unknown() = default;
};

// Arguments in reverse order, the last argument first, as the dispatch protocol has them.
struct DispParams {
  Variant* args = nullptr;
  uint32_t count = 0;
  const int32_t* named = nullptr;
  uint32_t named_count = 0;
};

struct ExcepInfo {
  uint16_t code = 0;
  std::u16string source;
  std::u16string description;
  HResult scode = 0;
};

// The type information of one interface: its member table, reference counted for the
// callers who hold it; the record itself lives as long as the module.
class TypeInfo final : public Unknown {
 public:
  explicit TypeInfo(const InterfaceTable& t);
  HResult QueryInterface(const Guid& iid, void** out) override;
  uint32_t AddRef() override;
  uint32_t Release() override;

  const InterfaceTable& table() const { return m_table; }
  // Exact, case-sensitive match against the name cache, from the last entry to the first.
  bool cached_lookup(const std::u16string& name, int32_t& dispid) const;
  // The type library's own lookup: the same names, case ignored.
  bool library_lookup(const std::u16string& name, int32_t& dispid) const;

 private:
  const InterfaceTable& m_table;
  std::vector<std::pair<std::u16string, int32_t>> m_names;
  std::atomic<uint32_t> m_refs{0};
};

// Loads the interface's type information from the registered type library, once per
// module lifetime, under the type-information lock. Fails with the loading status (and
// tries again on the next call) while the library is not registered.
HResult load_type_info(InterfaceId id, TypeInfo*& out);

class Dispatch : public Unknown {
 public:
  virtual HResult GetTypeInfoCount(uint32_t* count) = 0;
  virtual HResult GetTypeInfo(uint32_t index, uint32_t lcid, TypeInfo** out) = 0;
  virtual HResult GetIDsOfNames(const Guid& riid, const char16_t* const* names, uint32_t count, uint32_t lcid,
                                int32_t* dispids) = 0;
  virtual HResult Invoke(int32_t dispid, const Guid& riid, uint32_t lcid, uint16_t flags, DispParams* params,
                         Variant* result, ExcepInfo* excep, uint32_t* arg_err) = 0;

  // The function table: the member at `slot`, called directly with typed arguments.
  virtual HResult call_slot(int slot, const CallArgs& args, CallResult& result) = 0;

 protected:
  ~Dispatch() = default;
};

class ClassFactory : public Unknown {
 public:
  virtual HResult CreateInstance(Unknown* outer, const Guid& iid, void** out) = 0;
  virtual HResult LockServer(bool lock) = 0;

 protected:
  ~ClassFactory() = default;
};

// The thread's current error record, as SetErrorInfo and GetErrorInfo keep it.
struct ErrorRecord {
  Guid iid{};
  std::u16string source;
  std::u16string description;
};
void set_error_info(const ErrorRecord* rec);  // null clears it
bool take_error_info(ErrorRecord& out);

// The module lock count: one per live object and per LockServer(TRUE).
void lock_module();
void unlock_module();
int32_t module_lock_count();

}  // namespace kelv::native
