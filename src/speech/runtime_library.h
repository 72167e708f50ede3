#pragma once

namespace bc {

/// A system library opened when it is first needed (dlopen) rather than when
/// the program starts: a program that never speaks or plays a sound then loads
/// neither the library nor the libraries it links. Kept open for the life of
/// the program.
class RuntimeLibrary {
 public:
  /// Opens the library by its run-time name (its soname, such as
  /// "libpulse.so.0"); a library that is missing leaves every Find false.
  explicit RuntimeLibrary(const char* soname);

  /// Sets `call` to the library's function `name`; false when it has none.
  template <typename Function>
  bool Find(Function*& call, const char* name) const {
    call = reinterpret_cast<Function*>(Symbol(name));
    return call != nullptr;
  }

 private:
  [[nodiscard]] void* Symbol(const char* name) const;

  void* handle_ = nullptr;
};

}  // namespace bc
