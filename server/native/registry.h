// A small file-backed stand-in for HKEY_CLASSES_ROOT. Keys are paths separated by "\",
// compared without regard to case as the Windows registry does; every value is a string.
// The file is named by the environment variable KELVUTIL_REGISTRY, or lies in the user's
// configuration folder.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kelv::native {

class Registry {
 public:
  // Reads the registry file named by the environment (a missing file is empty).
  static Registry open();
  static std::string default_path();

  explicit Registry(std::string path);

  // Creates the key (and its parents) if missing and sets one value; "" is the default.
  bool set_value(const std::string& key, const std::string& name, const std::string& data);
  std::optional<std::string> value(const std::string& key, const std::string& name = "") const;
  bool key_exists(const std::string& key) const;
  std::vector<std::string> subkeys(const std::string& key) const;  // immediate children
  // Deletes a key with everything below it, depth first; false if the key is missing.
  bool delete_tree(const std::string& key);
  bool save() const;

  const std::string& path() const { return m_path; }

 private:
  struct Key {
    std::string name;  // as first written
    std::map<std::string, std::string> values;
  };
  static std::string fold(const std::string& key);
  bool load();

  std::string m_path;
  std::map<std::string, Key> m_keys;  // by case-folded path
};

}  // namespace kelv::native
