// The call of one interface member on one object, in terms that carry no automation
// type. Each outer layer (the native dispatcher, the Windows function table) converts its
// arguments into CallArgs, runs the member's thunk and converts the CallResult back, so
// the glue from a member to its class method is written once for both.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "common/status.h"
#include "common/values.h"
#include "server/members.h"

namespace kelv {

class CallArgs {
 public:
  using Arg = std::variant<std::monostate, int32_t, uint8_t, int64_t, double, std::string, VarIn, ImageSource*>;

  void push(Arg a) { m_args.push_back(std::move(a)); }
  size_t size() const { return m_args.size(); }

  int32_t i4(size_t k) const { return std::get<int32_t>(m_args.at(k)); }
  uint8_t ui1(size_t k) const { return std::get<uint8_t>(m_args.at(k)); }
  int64_t i8(size_t k) const { return std::get<int64_t>(m_args.at(k)); }
  // By reference: a double returned by value passes through an x87 register on 32-bit
  // x86, which quiets a signalling NaN.
  const double& r8(size_t k) const { return std::get<double>(m_args.at(k)); }
  const std::string& text(size_t k) const { return std::get<std::string>(m_args.at(k)); }
  const VarIn& var(size_t k) const { return std::get<VarIn>(m_args.at(k)); }
  ImageSource* image(size_t k) const { return std::get<ImageSource*>(m_args.at(k)); }

 private:
  std::vector<Arg> m_args;
};

struct CallResult {
  std::variant<std::monostate, int32_t, uint8_t, int64_t, std::string, VarOut> value;
};

template <class Impl>
using Thunk = void (*)(Impl&, const CallArgs&, CallResult&);

template <class Impl>
struct Binding {
  const char* name;
  MemberKind kind;
  Thunk<Impl> fn;
};

// One argument as the parameter type of the method it goes to: each parameter type of a
// member table has one C++ type, and no other type binds (a method taking another type
// keeps a hand-written thunk).
template <class P>
decltype(auto) bound_arg(const CallArgs& a, size_t k) {
  using D = std::remove_cvref_t<P>;
  if constexpr (std::is_same_v<D, int32_t>)
    return a.i4(k);
  else if constexpr (std::is_same_v<D, uint8_t>)
    return a.ui1(k);
  else if constexpr (std::is_same_v<D, int64_t>)
    return a.i8(k);
  else if constexpr (std::is_same_v<D, double>)
    return a.r8(k);  // by reference, as r8 gives it
  else if constexpr (std::is_same_v<D, std::string>)
    return a.text(k);
  else if constexpr (std::is_same_v<D, VarIn>)
    return a.var(k);
  else if constexpr (std::is_same_v<D, ImageSource*>)
    return a.image(k);
  else
    static_assert(sizeof(D) == 0, "no member table type has this C++ type");
}

// The parameter types of a method, member (const or not) or static.
template <class... A>
struct ParamList {
  using Indices = std::index_sequence_for<A...>;
};
template <class M>
struct MethodParams;
template <class C, class R, class... A>
struct MethodParams<R (C::*)(A...)> : ParamList<A...> {};
template <class C, class R, class... A>
struct MethodParams<R (C::*)(A...) const> : ParamList<A...> {};
template <class R, class... A>
struct MethodParams<R (*)(A...)> : ParamList<A...> {};

// Calls `F` with the arguments read for its parameters; a result goes into the CallResult.
template <auto F, class Impl, class... A, size_t... K>
void call_bound(Impl& o, const CallArgs& a, CallResult& r, ParamList<A...>, std::index_sequence<K...>) {
  auto call = [&] {
    if constexpr (std::is_member_function_pointer_v<decltype(F)>)
      return (o.*F)(bound_arg<A>(a, K)...);
    else
      return F(bound_arg<A>(a, K)...);
  };
  if constexpr (std::is_void_v<decltype(call())>)
    call();
  else
    r.value = call();
}

// Binds a member to a method of the class, read from its signature:
// `{"SaveToJpg", M, method<Image, &Image::SaveToJpg>}`.
template <class Impl, auto F>
constexpr Thunk<Impl> method = [](Impl& o, const CallArgs& a, CallResult& r) {
  using Params = MethodParams<decltype(F)>;
  call_bound<F>(o, a, r, Params{}, typename Params::Indices{});
};

// Resolves a class's bindings against its member table into a slot-indexed list; a
// member with no binding yet is a null entry, answered with "not implemented".
template <class Impl>
std::vector<Thunk<Impl>> bind_slots(const InterfaceTable& table, std::span<const Binding<Impl>> bindings) {
  std::vector<Thunk<Impl>> slots(table.members.size(), nullptr);
  for (const Binding<Impl>& b : bindings)
    for (size_t i = 0; i < table.members.size(); ++i)
      if (table.members[i].name == b.name && table.members[i].kind == b.kind) slots[i] = b.fn;
  return slots;
}

// Runs the member at `index` (slot - kFirstSlot) of a class through `guarded`: an error
// never crosses the boundary. A slot with no binding answers NotWired.
template <class Impl>
Result<void> run_member(const std::vector<Thunk<Impl>>& slots, Impl& impl, size_t index, const CallArgs& args,
                        CallResult& result) {
  if (index >= slots.size() || !slots[index]) return Error{Status::NotWired, status_text(Status::NotWired)};
  return guarded([&] { slots[index](impl, args, result); });
}

// A class whose members are not wired to its object class yet: objects can be created,
// and every member answers "not implemented".
struct Unwired {};
const std::vector<Thunk<Unwired>>& unwired_slots();

class TInfoImpl;
class TImageImpl;
class TBinaryRWImpl;

// The slot-indexed thunks of each class (index 0 is kFirstSlot).
const std::vector<Thunk<TInfoImpl>>& info_slots();
const std::vector<Thunk<TBinaryRWImpl>>& binaryrw_slots();
const std::vector<Thunk<TImageImpl>>& image_slots();

}  // namespace kelv
