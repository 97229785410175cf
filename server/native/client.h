// Late-bound calls on a native object, made the way a script host makes them: the name
// through GetIDsOfNames, then Invoke with the arguments last first. Used by the demo and
// the tests; the outcome of the last call is kept for inspection.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "server/native/dispatch.h"

namespace kelv::native {

class Object {
 public:
  Object() = default;
  explicit Object(Dispatch* d) : m_disp(d) {}  // adopts one reference
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
  Object(Object&& o) noexcept : m_disp(o.m_disp) { o.m_disp = nullptr; }
  Object& operator=(Object&& o) noexcept;
  ~Object();

  // CreateObject(progid); an empty Object (and status()) on failure.
  static Object create(const std::string& progid);

  Variant call(const std::string& name, std::vector<Variant> args = {});
  Variant get(const std::string& name, std::vector<Variant> args = {});
  void put(const std::string& name, Variant value);

  // Shortcuts for the common result types; a failed call gives 0 or "".
  int32_t call_i4(const std::string& name, std::vector<Variant> args = {});
  std::string call_text(const std::string& name, std::vector<Variant> args = {});

  Dispatch* get() const { return m_disp; }
  explicit operator bool() const { return m_disp != nullptr; }
  HResult status() const { return m_status; }
  const ExcepInfo& exception() const { return m_excep; }
  uint32_t arg_error() const { return m_arg_err; }

 private:
  Variant invoke(const std::string& name, uint16_t flags, std::vector<Variant> args, bool put);

  Dispatch* m_disp = nullptr;
  HResult m_status = 0;
  ExcepInfo m_excep;
  uint32_t m_arg_err = 0;
};

}  // namespace kelv::native
