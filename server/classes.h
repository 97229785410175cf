// The identity of the component: the type library, the three classes and their
// interfaces. The GUIDs are fixed for good: registrations and hosts key on them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "server/members.h"

namespace kelv {

struct Guid {
  uint32_t data1;
  uint16_t data2, data3;
  uint8_t data4[8];

  bool operator==(const Guid& o) const;
  // The standard text form, braces and upper-case hexadecimal digits included.
  std::string text() const;
  static bool parse(const std::string& text, Guid& out);
};

inline constexpr Guid kLibId{0x0FF16DFE, 0x1025, 0x4852, {0x96, 0x3C, 0xC4, 0x0C, 0x01, 0x7D, 0x01, 0x65}};
inline constexpr Guid kClsidImage{0x63E20705, 0x0DA7, 0x4347, {0x8C, 0xAD, 0x27, 0xAE, 0x8E, 0xF3, 0xAA, 0x0D}};
inline constexpr Guid kClsidBinaryRW{0xBB97D99C, 0x98CF, 0x443E, {0x93, 0x4A, 0xB6, 0xF3, 0xE8, 0x3E, 0x74, 0x78}};
inline constexpr Guid kClsidInfo{0xB8381B7E, 0x20B6, 0x422D, {0xA6, 0xF4, 0xA5, 0xD7, 0x7E, 0x80, 0xBA, 0x6D}};
inline constexpr Guid kIidIImage{0x28EA1342, 0xEAC7, 0x426E, {0x9D, 0x08, 0x9F, 0xBA, 0xC5, 0x42, 0x01, 0x3F}};
inline constexpr Guid kIidIBinaryRW{0xD6DD8160, 0x0081, 0x45F0, {0xA9, 0x4C, 0x1A, 0xBB, 0xE5, 0x68, 0xA1, 0xF1}};
inline constexpr Guid kIidIInfo{0xDA222ED8, 0xE4DB, 0x4833, {0xB6, 0xC0, 0x4E, 0x84, 0x53, 0xC3, 0xFD, 0xFB}};
inline constexpr Guid kIidIImage2{0xF61C5CFA, 0x0F28, 0x4C96, {0x8B, 0x50, 0xC2, 0x2B, 0x4D, 0x47, 0xB4, 0x7A}};
inline constexpr Guid kIidIBinaryRW2{0xFE7072BC, 0x3450, 0x42E5, {0x87, 0x19, 0x12, 0x11, 0xAE, 0x37, 0xA4, 0x84}};

inline constexpr const char* kLibName = "Kelvarin";
inline constexpr const char* kLibHelp = "Kelvarin.image Library";
inline constexpr uint16_t kLibMajor = 1;
inline constexpr uint16_t kLibMinor = 0;
inline constexpr uint32_t kLibLocale = 0x0409;

struct InterfaceInfo {
  InterfaceId id;
  Guid iid;
};

// Every interface, in the order the type library declares them: a base before the
// interfaces derived from it.
inline constexpr std::array<InterfaceInfo, kInterfaceCount> kInterfaces{{
    {InterfaceId::Image, kIidIImage},
    {InterfaceId::BinaryRW, kIidIBinaryRW},
    {InterfaceId::Info, kIidIInfo},
    {InterfaceId::Image2, kIidIImage2},
    {InterfaceId::BinaryRW2, kIidIBinaryRW2},
}};

const Guid& interface_iid(InterfaceId id);

struct ClassInfo {
  const char* name;         // "Image"
  const char* progid;       // "Kelvarin.Image"
  const char* description;  // the class's doc string
  Guid clsid;
  Guid iid;           // the default interface
  InterfaceId iface;  // the default interface's member table
  // The interface whose type information IDispatch::GetTypeInfo hands out, which is the
  // type name a script host reports for the object. An Image keeps reporting IImage, so
  // scripts that look at the name see what they always saw.
  InterfaceId described;
};

// The served classes, in the order the module walks them. An Image object's default
// interface is IImage2, a BinaryRW object's IBinaryRW2; each answers for the interface
// its default one derives from as well.
inline constexpr size_t kClassCount = 3;
inline constexpr std::array<ClassInfo, kClassCount> kClasses{{
    {"Image", "Kelvarin.Image", "image Object", kClsidImage, kIidIImage2, InterfaceId::Image2, InterfaceId::Image},
    {"BinaryRW", "Kelvarin.BinaryRW", "BinaryRW Object", kClsidBinaryRW, kIidIBinaryRW2, InterfaceId::BinaryRW2,
     InterfaceId::BinaryRW},
    {"Info", "Kelvarin.Info", "Info Object", kClsidInfo, kIidIInfo, InterfaceId::Info, InterfaceId::Info},
}};

const ClassInfo& class_info(InterfaceId id);

// Whether an object of the class answers an interface request for `iid`: its default
// interface or any interface that one derives from (IUnknown and IDispatch aside).
bool class_implements(const ClassInfo& cls, const Guid& iid);

// One value that registering a class writes below the classes root; an empty name is the
// key's default value.
struct RegistryValue {
  std::string key;
  std::string name;
  std::string data;
};

// What registering a class records, in the order it is written: the CLSID key with its
// description, in-process server and threading model; the ProgID with its CLSID; the
// class's ProgID, version and type library. `clsid` and `libid` are in the standard text
// form, `path` is the module's registration path.
std::vector<RegistryValue> class_registry_values(const ClassInfo& c, const std::string& clsid,
                                                 const std::string& description, const std::string& path,
                                                 const std::string& version, const std::string& libid);

}  // namespace kelv
