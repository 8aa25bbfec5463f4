// The dynamic-library loader: shared libraries that are opened at run time
// (the card library, the bridge and installer libraries) are reached through
// here.
#pragma once

#include <string>

namespace platform {

class DynamicLibrary {
public:
  DynamicLibrary() = default;
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // Opens the library at the path (symbols resolved at once and kept local to
  // it). False with a reason in Error() when it cannot be loaded; a library
  // that was open before is closed first.
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return handle_ != nullptr; }
  // The address of an exported symbol, or null (the reason in Error()).
  void* Symbol(const char* name);
  const std::string& Error() const { return error_; }

  // The typed address of an exported function, or null.
  template <class F> F* Function(const char* name) { return reinterpret_cast<F*>(Symbol(name)); }

private:
  void* handle_ = nullptr;
  std::string error_;
};

} // namespace platform
