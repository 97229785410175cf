#include "info/info.h"
#include "server/binding.h"

namespace kelv {
namespace {

constexpr MemberKind M = MemberKind::Method;

const Binding<TInfoImpl> kInfo[] = {
    {"GetVersion", M, method<TInfoImpl, &TInfoImpl::GetVersion>},
    {"GetMinorVersion", M, method<TInfoImpl, &TInfoImpl::GetMinorVersion>},
    {"GetTrueValue", M, method<TInfoImpl, &TInfoImpl::GetTrueValue>},
    {"GetFalseValue", M, method<TInfoImpl, &TInfoImpl::GetFalseValue>},
    {"GetAuthorInfo", M, method<TInfoImpl, &TInfoImpl::GetAuthorInfo>},
    {"GetSystem", M, method<TInfoImpl, &TInfoImpl::GetSystem>},
    {"GetSystemText", M, method<TInfoImpl, &TInfoImpl::GetSystemText>},
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
