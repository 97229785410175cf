#include "server/classes.h"

#include <cstdio>
#include <cstring>

namespace kelv {

bool Guid::operator==(const Guid& o) const {
  return data1 == o.data1 && data2 == o.data2 && data3 == o.data3 && std::memcmp(data4, o.data4, sizeof data4) == 0;
}

std::string Guid::text() const {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", static_cast<unsigned>(data1),
                data2, data3, data4[0], data4[1], data4[2], data4[3], data4[4], data4[5], data4[6], data4[7]);
  return buf;
}

bool Guid::parse(const std::string& t, Guid& out) {
  if (t.size() != 38 || t[0] != '{' || t[37] != '}') return false;
  static const int groups[] = {8, 4, 4, 4, 12};
  uint8_t bytes[16];
  size_t pos = 1, b = 0;
  for (int g = 0; g < 5; ++g) {
    for (int k = 0; k < groups[g]; k += 2) {
      unsigned v = 0;
      for (int h = 0; h < 2; ++h) {
        char c = t[pos++];
        v <<= 4;
        if (c >= '0' && c <= '9')
          v |= static_cast<unsigned>(c - '0');
        else if (c >= 'A' && c <= 'F')
          v |= static_cast<unsigned>(c - 'A' + 10);
        else if (c >= 'a' && c <= 'f')
          v |= static_cast<unsigned>(c - 'a' + 10);
        else
          return false;
      }
      bytes[b++] = static_cast<uint8_t>(v);
    }
    if (g < 4 && t[pos++] != '-') return false;
  }
  out.data1 = (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
  out.data2 = static_cast<uint16_t>((bytes[4] << 8) | bytes[5]);
  out.data3 = static_cast<uint16_t>((bytes[6] << 8) | bytes[7]);
  std::memcpy(out.data4, bytes + 8, 8);
  return true;
}

const Guid& interface_iid(InterfaceId id) {
  for (const InterfaceInfo& i : kInterfaces)
    if (i.id == id) return i.iid;
  return kInterfaces[0].iid;
}

bool class_implements(const ClassInfo& cls, const Guid& iid) {
  for (const InterfaceTable* t = &interface_table(cls.iface); t; t = t->base)
    if (interface_iid(t->id) == iid) return true;
  return false;
}

const ClassInfo& class_info(InterfaceId id) {
  for (const ClassInfo& c : kClasses)
    if (c.iface == id) return c;
  return kClasses[0];
}

std::vector<RegistryValue> class_registry_values(const ClassInfo& c, const std::string& clsid,
                                                 const std::string& description, const std::string& path,
                                                 const std::string& version, const std::string& libid) {
  const std::string ck = "CLSID\\" + clsid;
  const std::string progid = c.progid;
  return {
      {ck, "", description},
      {ck + "\\InprocServer32", "", path},
      {ck + "\\InprocServer32", "ThreadingModel", "Apartment"},
      {progid, "", description},
      {progid + "\\CLSID", "", clsid},
      {ck + "\\ProgID", "", progid},
      {ck + "\\Version", "", version},
      {ck + "\\Typelib", "", libid},
  };
}

}  // namespace kelv
