#include "info/info.h"
#include "server/binding.h"

namespace kelv {
namespace {

constexpr MemberKind M = MemberKind::Method;

const Binding<TInfoImpl> kInfo[] = {
    {"GetVersion", M, [](TInfoImpl& o, const CallArgs&, CallResult& r) { r.value = o.GetVersion(); }},
    {"GetMinorVersion", M, [](TInfoImpl& o, const CallArgs&, CallResult& r) { r.value = o.GetMinorVersion(); }},
    {"GetTrueValue", M, [](TInfoImpl& o, const CallArgs&, CallResult& r) { r.value = o.GetTrueValue(); }},
    {"GetFalseValue", M, [](TInfoImpl& o, const CallArgs&, CallResult& r) { r.value = o.GetFalseValue(); }},
    {"GetAuthorInfo", M, [](TInfoImpl& o, const CallArgs&, CallResult& r) { r.value = o.GetAuthorInfo(); }},
    {"GetSystem", M, [](TInfoImpl& o, const CallArgs&, CallResult& r) { r.value = o.GetSystem(); }},
    {"GetSystemText", M, [](TInfoImpl& o, const CallArgs&, CallResult& r) { r.value = o.GetSystemText(); }},
};

}  // namespace

const std::vector<Thunk<Unwired>>& unwired_slots() {
  static const std::vector<Thunk<Unwired>> none;
  return none;
}

const std::vector<Thunk<TInfoImpl>>& info_slots() {
  static const auto slots =
      bind_slots<TInfoImpl>(interface_table(InterfaceId::Info), std::span<const Binding<TInfoImpl>>(kInfo));
  return slots;
}

}  // namespace kelv
