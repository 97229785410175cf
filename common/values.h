// Small value types that cross between the object classes and the automation boundary.
// They carry no automation type: the outer layers translate them to and from variants.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

namespace kelv {

// Leaves new elements uninitialised on resize, so that a buffer about to be filled by a
// read is not first cleared.
template <class T>
struct DefaultInitAllocator : std::allocator<T> {
  using std::allocator<T>::allocator;
  template <class U>
  struct rebind {
    using other = DefaultInitAllocator<U>;
  };
  template <class U>
  void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

using Bytes = std::vector<uint8_t, DefaultInitAllocator<uint8_t>>;

// A value received in a VARIANT parameter, after the boundary has followed one level of
// reference: a byte buffer, a string (as 8-bit text), or anything else.
struct VarIn {
  enum class Kind : uint8_t { Other, Buffer, Text };
  Kind kind = Kind::Other;
  std::span<const uint8_t> bytes;  // valid while the call runs; Buffer only
  std::string text;                // Text only

  bool is_buffer() const { return kind == Kind::Buffer; }
};

// A value handed back in a VARIANT result.
struct VarOut {
  enum class Type : uint8_t { Null, I1, I2, I4, I8, R4, R8, Buffer };
  Type type = Type::Null;
  int64_t i = 0;
  double d = 0;
  Bytes bytes;

  static VarOut null() { return {}; }
  static VarOut buffer(Bytes b) { return {Type::Buffer, 0, 0, std::move(b)}; }
  static VarOut integer(Type t, int64_t v) { return {t, v, 0, {}}; }
  static VarOut real(Type t, double v) { return {t, 0, v, {}}; }
};

// What an Image method receives for another Image object: the means to ask that object
// for its bitmap handle through its own interface. A null pointer is a missing object.
class ImageSource {
 public:
  virtual ~ImageSource() = default;
  // The other object's bitmap handle; false when its GetBmp call failed.
  virtual bool get_bmp(int32_t& handle) = 0;
};

}  // namespace kelv
