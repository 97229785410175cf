// Writes what the Windows module is built from, out of the member tables: the interface
// definition that widl turns into the type library and the C++ header, and the
// function-table methods of the three COM classes. One source for names, DISPIDs, slot
// order, parameter types and defaults, so the two can never disagree.
//
//   comgen IDL_FILE CPP_FILE
//   comgen --reference FILE            the member reference (docs/reference.md)
//   comgen --registry-keys             the keys a registration writes (release packages)
//   comgen --class-registry PATH       the values registering the classes writes
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "server/classes.h"
#include "server/members.h"

namespace {

using namespace kelv;

std::string guid_idl(const Guid& g) {
  std::string t = g.text();
  return t.substr(1, t.size() - 2);
}

std::string idl_type(ValueType t) {
  switch (t) {
    case ValueType::Text:
    case ValueType::Name: return "BSTR";
    case ValueType::I4: return "long";
    case ValueType::UI1: return "unsigned char";
    case ValueType::I8: return "__int64";
    case ValueType::R8: return "double";
    case ValueType::Variant: return "VARIANT";
    case ValueType::ImageRef: return "IImage*";
    case ValueType::None: break;
  }
  return "void";
}

std::string cpp_type(ValueType t) {
  switch (t) {
    case ValueType::Text:
    case ValueType::Name: return "BSTR";
    case ValueType::I4: return "LONG";
    case ValueType::UI1: return "unsigned char";
    case ValueType::I8: return "INT64";
    case ValueType::R8: return "double";
    case ValueType::Variant: return "VARIANT";
    case ValueType::ImageRef: return "IImage*";
    case ValueType::None: break;
  }
  return "void";
}

std::string method_name(const Member& m) {
  switch (m.kind) {
    case MemberKind::Get: return "get_" + m.name;
    case MemberKind::Put: return "put_" + m.name;
    case MemberKind::Method: break;
  }
  return m.name;
}

// A text as an IDL string literal's contents: quotes and backslashes escaped, control
// characters (none expected in a one-line summary) dropped.
std::string idl_escaped(const std::string& text) {
  std::string out;
  for (char ch : text) {
    if (ch == '"' || ch == '\\') out += '\\';
    if (static_cast<unsigned char>(ch) >= 0x20) out += ch;
  }
  return out;
}

void write_idl(std::ostream& o) {
  o << "// Generated from the member tables by comgen; do not edit.\n"
       "import \"oaidl.idl\";\n\n"
       "[\n  uuid("
    << guid_idl(kLibId) << "),\n  version(" << kLibMajor << "." << kLibMinor << "),\n  lcid(0x0409),\n"
    << "  helpstring(\"" << kLibHelp << "\")\n]\nlibrary " << kLibName << "\n{\n"
    << "  importlib(\"stdole2.tlb\");\n\n";
  for (const InterfaceInfo& i : kInterfaces) o << "  interface " << interface_table(i.id).name << ";\n";
  // A derived interface declares only its own members; its function table continues
  // after its base's.
  for (const InterfaceInfo& i : kInterfaces) {
    const InterfaceTable& t = interface_table(i.id);
    o << "\n  [\n    uuid(" << guid_idl(i.iid) << "),\n    version(1.0),\n    helpstring(\"" << t.doc
      << "\"),\n    dual,\n    oleautomation\n  ]\n  interface " << t.name << " : "
      << (t.base ? t.base->name : std::string("IDispatch")) << "\n  {\n";
    for (const Member& m : t.own()) {
      o << "    [helpstring(\"" << idl_escaped(member_summary(i.id, m)) << "\"), ";
      if (m.kind == MemberKind::Get) o << "propget, ";
      if (m.kind == MemberKind::Put) o << "propput, ";
      o << "id(" << m.dispid << ")] HRESULT " << m.name << "(";
      bool first = true;
      for (const Param& p : m.params) {
        if (!first) o << ", ";
        first = false;
        o << "[in";
        if (p.optional) {
          o << ", defaultvalue(";
          if (p.type == ValueType::Text || p.type == ValueType::Name)
            o << "\"" << p.default_text << "\"";
          else
            o << p.default_int;
          o << ")";
        }
        o << "] " << idl_type(p.type);
        if (!p.name.empty()) o << " " << p.name;
      }
      if (m.result != ValueType::None) {
        if (!first) o << ", ";
        o << "[out, retval] " << idl_type(m.result) << "* result";
      }
      o << ");\n";
    }
    o << "  };\n";
  }
  for (const ClassInfo& c : kClasses) {
    o << "\n  [\n    uuid(" << guid_idl(c.clsid) << "),\n    version(1.0),\n    helpstring(\"" << c.description
      << "\")\n  ]\n  coclass " << c.name << "\n  {\n";
    // The default interface first, then the interfaces it derives from.
    for (const InterfaceTable* t = &interface_table(c.iface); t; t = t->base)
      o << "    " << (t == &interface_table(c.iface) ? "[default] " : "") << "interface " << t->name << ";\n";
    o << "  };\n";
  }
  o << "}\n";
}

// Each method packs its arguments into CallArgs and hands them, with its slot, to the
// class's shared call path; the result pointer's type picks the conversion back.
void write_cpp(std::ostream& o) {
  o << "// Generated from the member tables by comgen; do not edit.\n"
       "#pragma once\n\nnamespace kelv::win32 {\n";
  for (const ClassInfo& c : kClasses) {
    const InterfaceTable& t = interface_table(c.iface);
    std::string cls = "Com" + std::string(c.name);
    o << "\ntemplate <class Impl>\nclass " << cls << " final : public ComObject<" << t.name << ", Impl> {\n"
      << " public:\n  using ComObject<" << t.name << ", Impl>::ComObject;\n";
    for (const Member& m : t.members) {
      o << "\n  HRESULT STDMETHODCALLTYPE " << method_name(m) << "(";
      std::string sep;
      int k = 0;
      for (const Param& p : m.params) {
        o << sep << cpp_type(p.type) << " a" << k++;
        sep = ", ";
      }
      if (m.result != ValueType::None) o << sep << cpp_type(m.result) << "* result";
      o << ") override {\n    CallArgs args;\n";
      k = 0;
      for (const Param& p : m.params) {
        std::string a = "a" + std::to_string(k++);
        switch (p.type) {
          case ValueType::Text: o << "    args.push(arg_text(" << a << "));\n"; break;
          case ValueType::Name: o << "    args.push(arg_name(" << a << "));\n"; break;
          case ValueType::I4: o << "    args.push(static_cast<int32_t>(" << a << "));\n"; break;
          case ValueType::UI1: o << "    args.push(static_cast<uint8_t>(" << a << "));\n"; break;
          case ValueType::I8: o << "    args.push(static_cast<int64_t>(" << a << "));\n"; break;
          case ValueType::R8: o << "    args.push(" << a << ");\n"; break;
          case ValueType::Variant: o << "    args.push(arg_variant(" << a << "));\n"; break;
          case ValueType::ImageRef:
            o << "    ImageArg " << a << "_src(" << a << ");\n    args.push(" << a << "_src.source());\n";
            break;
          case ValueType::None: break;
        }
      }
      o << "    return this->call(" << m.slot << ", args" << (m.result != ValueType::None ? ", result" : "")
        << ");\n  }\n";
    }
    o << "};\n";
  }
  o << "\n}  // namespace kelv::win32\n";
}

std::string script_type(ValueType t) {
  switch (t) {
    case ValueType::Text: return "text";
    case ValueType::Name: return "name";
    case ValueType::I4: return "32-bit integer";
    case ValueType::UI1: return "byte";
    case ValueType::I8: return "64-bit integer";
    case ValueType::R8: return "double";
    case ValueType::Variant: return "variant";
    case ValueType::ImageRef: return "Image object";
    case ValueType::None: break;
  }
  return "-";
}

// One member's row; a property's put shares the row of its get.
void write_reference_row(std::ostream& o, const InterfaceTable& t, InterfaceId iface, const Member& m) {
  if (m.kind == MemberKind::Put && t.find(m.dispid, MemberKind::Get)) return;
  std::string args;
  for (const Param& p : m.params) {
    if (!args.empty()) args += ", ";
    args += (p.name.empty() ? std::string("value") : p.name) + " (" + script_type(p.type);
    if (p.optional)
      args += ", optional, default " + (p.type == ValueType::Text || p.type == ValueType::Name
                                            ? "\"" + p.default_text + "\""
                                            : std::to_string(p.default_int));
    args += ")";
  }
  std::string name = "`" + m.name + "`";
  std::string result = script_type(m.result);
  if (m.kind == MemberKind::Get) {
    bool put = t.find(m.dispid, MemberKind::Put) != nullptr;
    name += put ? " (property, get and put)" : " (property, get)";
    if (put) args = "value (" + script_type(m.result) + ") on put";
  }
  // A "|" in a summary would end the table's cell: it is escaped.
  std::string summary;
  for (char ch : member_summary(iface, m)) {
    if (ch == '|') summary += '\\';
    summary += ch;
  }
  o << "| " << m.dispid << " | " << name << " | " << (args.empty() ? "-" : args) << " | " << result << " | " << summary
    << " |\n";
}

// The member reference: every member of the three interfaces with DISPID, arguments,
// defaults and result, and one line on what it does.
void write_reference(std::ostream& o) {
  o << "# Member reference\n\n"
       "Generated from the member tables by `comgen --reference`; the test suite checks that\n"
       "this file matches them. Scripts call members by name; arguments go by position.\n"
       "Results marked 1/0 use 1 for success or yes and 0 for failure or no (`Info` reports\n"
       "these values). Properties are listed once with their get and put.\n\n"
       "Text is Unicode throughout. A *name* names a file, folder or mask: it reaches the file\n"
       "system exactly as the script wrote it, in any script, and never through a code page;\n"
       "names the component returns come back the same way. Only where text becomes bytes or\n"
       "bytes become text (buffers, string fields in files, the form-data decoder's texts) does\n"
       "a code page apply: BinaryRW's `CodePage`, the system's ANSI code page by default.\n\n"
       "A name means one file. Every member that takes a name refuses, as it refuses a name that\n"
       "can't be opened (0, -1 or \"\", nothing created, moved or deleted), a name that Windows\n"
       "would take for another file or for none: one with a NUL; a part (other than `.` and `..`)\n"
       "that ends in a dot or a space (`shell.asp.` would be `shell.asp`); a `:` anywhere but\n"
       "after a drive letter at the start (`x.asp:y.jpg` is a stream of `x.asp`); a `<`, `>` or\n"
       "`\"`, which a Windows search takes for wildcards (`shell.as>` finds `shell.asp`; `*` and\n"
       "`?` stay masks where a member allows them); a part that is a device name (CON, PRN,\n"
       "AUX, NUL, COM0 to COM9, LPT0 to LPT9, with the superscript digits too, CONIN$,\n"
       "CONOUT$; any case, with any extension); a device path (`\\\\.\\`).\n"
       "A name of the script's own with `\\\\?\\` before a drive or share path is checked as that\n"
       "path. The same names are refused on Linux. Names longer than 260 UTF-16 units work:\n"
       "on Windows the component hands the system the full name in its `\\\\?\\` form.\n"
       "`ExtractFileName`, `ExtractFileExt`, `ExtractFileNameOnly` and `SafeFileName` only\n"
       "split text, used up to its first NUL.\n\n"
       "To store an upload under its client's name, take `SafeFileName` of\n"
       "`FD_GetFileHeaderName`, accept only an allowed list of extensions (`ExtractFileExt` of\n"
       "the safe name, in lower case), check that `FileFormat` of the content is the format the\n"
       "extension says, and only then move the upload's file to that name (`FileMove`, which\n"
       "never replaces a file).\n";
  for (const ClassInfo& c : kClasses) {
    // The interfaces from the first to the class's default one: each lists what it adds.
    std::vector<const InterfaceTable*> chain;
    for (const InterfaceTable* t = &interface_table(c.iface); t; t = t->base) chain.insert(chain.begin(), t);
    o << "\n## " << c.name << " (\"" << c.progid << "\", interface `" << chain.back()->name << "`";
    if (chain.size() > 1) o << ", derived from `" << chain.front()->name << "`";
    o << ")\n";
    for (const InterfaceTable* t : chain) {
      if (t->base)
        o << "\n### Added by `" << t->name << "`\n\n`" << t->name << "` derives from `" << t->base->name
          << "`: every member above keeps its DISPID and slot, and scripts reach these by name like\nthe others.\n";
      o << "\n| DISPID | Member | Arguments | Result | What it does |\n|---|---|---|---|---|\n";
      for (const Member& m : t->own()) write_reference_row(o, *t, c.iface, m);
    }
  }
}

// What a registration puts in the registry, for the release packages' uninstall script
// and installer: the type library, each interface the type library registers, each class
// and ProgID. Fields are separated by one space; the last one, the text a key's default
// value holds, may contain spaces:
//   typelib LIBID VERSION LOCALE HELPSTRING
//   interface IID NAME
//   class CLSID PROGID DESCRIPTION
void write_registry_keys(std::ostream& o) {
  // The type library's key: LIBID, version, and the locale as RegisterTypeLib spells it.
  char locale[16];
  std::snprintf(locale, sizeof locale, "%x", static_cast<unsigned>(kLibLocale));
  o << "typelib " << kLibId.text() << " " << kLibMajor << "." << kLibMinor << " " << locale << " " << kLibHelp << "\n";
  for (const InterfaceInfo& i : kInterfaces)
    o << "interface " << i.iid.text() << " " << interface_table(i.id).name << "\n";
  for (const ClassInfo& c : kClasses)
    o << "class " << c.clsid.text() << " " << c.progid << " " << c.description << "\n";
}

// The values registering each class writes, one per line as KEY, NAME and DATA separated
// by tabs (an empty NAME is the key's default value), with `path` as the module's
// registration path: what an installer writes in the module's place.
void write_class_registry(std::ostream& o, const std::string& path) {
  const std::string version = std::to_string(kLibMajor) + "." + std::to_string(kLibMinor);
  for (const ClassInfo& c : kClasses)
    for (const RegistryValue& v : class_registry_values(c, c.clsid.text(), c.description, path, version, kLibId.text()))
      o << v.key << "\t" << v.name << "\t" << v.data << "\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--reference") {
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    write_reference(out);
    return out ? 0 : 1;
  }
  if (argc == 2 && std::string(argv[1]) == "--registry-keys") {
    write_registry_keys(std::cout);
    return std::cout ? 0 : 1;
  }
  if (argc == 3 && std::string(argv[1]) == "--class-registry") {
    write_class_registry(std::cout, argv[2]);
    return std::cout ? 0 : 1;
  }
  if (argc != 3) {
    std::fprintf(stderr,
                 "usage: comgen IDL_FILE CPP_FILE | comgen --reference FILE | comgen --registry-keys | "
                 "comgen --class-registry MODULE_PATH\n");
    return 2;
  }
  std::ostringstream idl, cpp;
  write_idl(idl);
  write_cpp(cpp);
  // Files are rewritten only when their text changes, so the build does not redo
  // everything that depends on them.
  for (auto [path, text] : {std::pair{argv[1], idl.str()}, std::pair{argv[2], cpp.str()}}) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream old;
    old << in.rdbuf();
    if (in && old.str() == text) continue;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) {
      std::fprintf(stderr, "comgen: cannot write %s\n", path);
      return 1;
    }
  }
  return 0;
}
