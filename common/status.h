// The core's one error model. A failure is a Status: a code from the table below, whose
// text is what a script reads when a member hands the failure on as an error. Code that
// cannot go on raises a Failure; `guarded` turns anything raised into a Result, which
// carries a value or the status that stopped it up to the member that reports it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace kelv {

// Every code and its text. Raised stands for an error whose text is its own (a codec
// library's message, a standard exception's), kept beside the code in the Result.
#define KELV_STATUS_TABLE(X)                                                 \
  X(Ok, "")                                                                  \
  X(NotWired, "Not implemented")                                             \
  X(OutOfMemory, "Out of memory")                                            \
  X(Raised, "")                                                              \
  X(InvalidBitmapSize, "Invalid bitmap size")                                \
  X(NoBitmapStorage, "Not enough storage is available for the bitmap")       \
  X(NoBitmapHandles, "No bitmap handles are left")                           \
  X(BitmapTooLargeToWrite, "Bitmap too large to be written")                 \
  X(TooManyPixels, "The image would hold more pixels than MaxPixels allows") \
  X(NoFont, "No font is installed for text output")                          \
  X(FontCannotBeSized, "The font can't be sized")                            \
  X(NoTextOutput, "Text output is not available")                            \
  X(FontCannotBeCreated, "The font can't be created")                        \
  X(OutOfSystemResources, "Out of system resources")

enum class Status : uint8_t {
#define KELV_STATUS_CODE(code, text) code,
  KELV_STATUS_TABLE(KELV_STATUS_CODE)
#undef KELV_STATUS_CODE
};

constexpr const char* status_text(Status s) {
  switch (s) {
#define KELV_STATUS_CASE(code, text) \
  case Status::code: return text;
    KELV_STATUS_TABLE(KELV_STATUS_CASE)
#undef KELV_STATUS_CASE
  }
  return "";
}

// Raised where an operation cannot go on; its text is the status's.
class Failure : public std::exception {
 public:
  explicit Failure(Status s) : m_status(s) {}
  Status status() const noexcept { return m_status; }
  const char* what() const noexcept override { return status_text(m_status); }

 private:
  Status m_status;
};

// Why an operation failed: the code and the text a script would read.
struct Error {
  Status status = Status::Raised;
  std::string text;
};

// A value, or the Error that stopped the operation. Result<void> carries no value.
template <class T>
class Result {
  using Value = std::conditional_t<std::is_void_v<T>, std::monostate, T>;

 public:
  Result() requires std::is_void_v<T>
  = default;
  Result(Value v)  // NOLINT: a value converts to its Result
      requires(!std::is_void_v<T>)
      : m_state(std::move(v)) {}
  Result(Error e) : m_state(std::move(e)) {}  // NOLINT: so does an Error

  bool ok() const { return m_state.index() == 0; }
  explicit operator bool() const { return ok(); }
  Status status() const { return ok() ? Status::Ok : std::get<Error>(m_state).status; }
  // The failure's text; empty for a success.
  const std::string& text() const {
    static const std::string none;
    return ok() ? none : std::get<Error>(m_state).text;
  }

  Value& value() requires(!std::is_void_v<T>) { return std::get<Value>(m_state); }
  // The value, or `fallback` when the operation failed: how a member reports a failure
  // as its result.
  Value value_or(Value fallback) && requires(!std::is_void_v<T>) {
    return ok() ? std::move(std::get<Value>(m_state)) : std::move(fallback);
  }

 private:
  std::variant<Value, Error> m_state;
};

// Runs `f` and returns what it returns, or the Error it raised. This is the one place
// where an exception of any kind is caught: a member that reports failures as a result
// runs its work through it, and so does the boundary for every call, so nothing raised
// ever reaches a script host. Running out of memory keeps its own code, because the
// boundary reports it as such.
template <class F>
auto guarded(F&& f) -> Result<std::invoke_result_t<F>> {
  using R = std::invoke_result_t<F>;
  try {
    if constexpr (std::is_void_v<R>) {
      std::forward<F>(f)();
      return {};
    } else {
      return std::forward<F>(f)();
    }
  } catch (const Failure& e) {
    return Error{e.status(), e.what()};
  } catch (const std::bad_alloc&) {
    return Error{Status::OutOfMemory, status_text(Status::OutOfMemory)};
  } catch (const std::exception& e) {
    return Error{Status::Raised, e.what()};
  } catch (...) {
    return Error{Status::Raised, {}};
  }
}

// Runs `f`, which says whether it succeeded, through `guarded`; a raised error reads as
// false and leaves its text in `message`: the fixed buffer where the codec libraries keep
// theirs, so a caller reads one message whichever way a step failed.
template <size_t N, class F>
bool guarded_into(char (&message)[N], F&& f) {
  Result<bool> done = guarded(std::forward<F>(f));
  if (done) return done.value();
  std::snprintf(message, N, "%s", done.text().c_str());
  return false;
}

}  // namespace kelv
