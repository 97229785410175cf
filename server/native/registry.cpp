#include "server/native/registry.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kelv::native {
namespace {

// One record a line: "K\t<key>" opens a key, "V\t<name>\t<data>" sets a value in it.
// Tabs, line ends and "%" inside names and data are written as %09, %0A, %0D and %25.
std::string escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '\t': out += "%09"; break;
      case '\n': out += "%0A"; break;
      case '\r': out += "%0D"; break;
      case '%': out += "%25"; break;
      default: out += c;
    }
  }
  return out;
}

std::string unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      out += static_cast<char>(std::strtol(s.substr(i + 1, 2).c_str(), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::string parent_of(const std::string& key) {
  size_t p = key.rfind('\\');
  return p == std::string::npos ? std::string() : key.substr(0, p);
}

}  // namespace

std::string Registry::default_path() {
  if (const char* p = std::getenv("KELVUTIL_REGISTRY"); p && *p) return p;
  if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x) return std::string(x) + "/kelvutil/registry";
  if (const char* h = std::getenv("HOME"); h && *h) return std::string(h) + "/.config/kelvutil/registry";
  return "kelvutil-registry";
}

Registry Registry::open() {
  Registry r(default_path());
  r.load();
  return r;
}

Registry::Registry(std::string path) : m_path(std::move(path)) {}

std::string Registry::fold(const std::string& key) {
  std::string out = key;
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool Registry::load() {
  m_keys.clear();
  std::ifstream in(m_path);
  if (!in) return false;
  std::string line;
  Key* current = nullptr;
  while (std::getline(in, line)) {
    if (line.size() > 2 && line[0] == 'K' && line[1] == '\t') {
      std::string name = unescape(line.substr(2));
      current = &m_keys[fold(name)];
      current->name = name;
    } else if (current && line.size() > 2 && line[0] == 'V' && line[1] == '\t') {
      size_t tab = line.find('\t', 2);
      if (tab == std::string::npos) continue;
      current->values[unescape(line.substr(2, tab - 2))] = unescape(line.substr(tab + 1));
    }
  }
  return true;
}

bool Registry::save() const {
  std::filesystem::path p(m_path);
  std::error_code ec;
  if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path(), ec);
  // Written to a temporary file and renamed, so a reader never sees half a registry.
  std::string tmp = m_path + ".tmp" + std::to_string(::getpid());
  {
    std::ofstream out(tmp, std::ios::trunc);
    if (!out) return false;
    for (const auto& [folded, key] : m_keys) {
      out << "K\t" << escape(key.name) << '\n';
      for (const auto& [name, data] : key.values) out << "V\t" << escape(name) << '\t' << escape(data) << '\n';
    }
    if (!out.flush()) return false;
  }
  return std::rename(tmp.c_str(), m_path.c_str()) == 0;
}

bool Registry::set_value(const std::string& key, const std::string& name, const std::string& data) {
  if (key.empty()) return false;
  for (std::string k = key; !k.empty(); k = parent_of(k)) {
    Key& entry = m_keys[fold(k)];
    if (entry.name.empty()) entry.name = k;
  }
  m_keys[fold(key)].values[name] = data;
  return true;
}

std::optional<std::string> Registry::value(const std::string& key, const std::string& name) const {
  auto it = m_keys.find(fold(key));
  if (it == m_keys.end()) return std::nullopt;
  auto v = it->second.values.find(name);
  if (v == it->second.values.end()) return std::nullopt;
  return v->second;
}

bool Registry::key_exists(const std::string& key) const { return m_keys.count(fold(key)) != 0; }

std::vector<std::string> Registry::subkeys(const std::string& key) const {
  std::vector<std::string> out;
  std::string prefix = fold(key) + "\\";
  for (const auto& [folded, entry] : m_keys)
    if (folded.compare(0, prefix.size(), prefix) == 0 && folded.find('\\', prefix.size()) == std::string::npos)
      out.push_back(entry.name);
  return out;
}

bool Registry::delete_tree(const std::string& key) {
  if (!key_exists(key)) return false;
  // Depth first: take the first subkey again and again until none is left.
  for (std::vector<std::string> subs = subkeys(key); !subs.empty(); subs = subkeys(key))
    if (!delete_tree(subs.front())) return false;
  m_keys.erase(fold(key));
  return true;
}

}  // namespace kelv::native
