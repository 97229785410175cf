// The member tables of the three automation interfaces: the one description of names,
// DISPIDs, function-table slots, parameters, optional defaults and result types. The
// native dispatcher runs from these tables; the type library of the Windows module is
// checked against them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kelv {

enum class ValueType : uint8_t {
  None,      // no result
  Text,      // BSTR: Unicode text, cut at its first NUL
  Name,      // BSTR: a file, folder or mask name, reaching the file system as written
  I4,        // 32-bit signed
  UI1,       // 8-bit unsigned
  I8,        // 64-bit signed
  R8,        // double
  Variant,   // VARIANT (a Buffer or a number held in a variant)
  ImageRef,  // pointer to another Image object's IImage
};

enum class MemberKind : uint8_t { Method, Get, Put };

struct Param {
  std::string name;  // empty for a put accessor's value
  ValueType type = ValueType::I4;
  bool optional = false;
  int64_t default_int = 0;   // default of an optional numeric parameter
  std::string default_text;  // default of an optional text parameter
};

// The function-table position of an interface's first member: IUnknown's three methods
// and IDispatch's four come before it.
inline constexpr int kFirstSlot = 7;

struct Member {
  int slot = 0;  // position in the function table; the first member is slot kFirstSlot
  int32_t dispid = 0;
  std::string name;
  MemberKind kind = MemberKind::Method;
  std::vector<Param> params;
  ValueType result = ValueType::None;
  bool guarded = false;  // a raised error becomes DISP_E_EXCEPTION with an error record

  size_t required_count() const;
};

// IImage2 derives from IImage, and IBinaryRW2 from IBinaryRW: each function table
// continues after its base's last slot and its DISPIDs start at 200, so every slot and
// DISPID of the first interfaces stays where it was.
enum class InterfaceId : uint8_t { Image, BinaryRW, Info, Image2, BinaryRW2 };
inline constexpr size_t kInterfaceCount = 5;

struct InterfaceTable {
  InterfaceId id;
  std::string name;                      // "IImage"
  std::string doc;                       // the interface's doc string
  std::vector<Member> members;           // in slot order, the base interface's members first
  const InterfaceTable* base = nullptr;  // the interface this one derives from (IDispatch: none)
  size_t own_first = 0;                  // index of the first member this interface declares

  // The members this interface declares itself, without the inherited ones.
  std::span<const Member> own() const { return std::span<const Member>(members).subspan(own_first); }
  const Member* find(int32_t dispid, MemberKind kind) const;
  const Member* by_name(std::string_view name) const;  // exact, case-sensitive
};

const InterfaceTable& interface_table(InterfaceId id);

// One line on what the member does, for the member reference.
std::string member_summary(InterfaceId iface, const Member& m);

std::string_view to_string(ValueType t);
std::string_view to_string(MemberKind k);

}  // namespace kelv
