#include "platform/dynlib.h"

#include <dlfcn.h>

namespace platform {

namespace {
std::string LastLoaderError(const char* fallback) {
  const char* e = ::dlerror();
  return e ? std::string(e) : std::string(fallback);
}
} // namespace

DynamicLibrary::~DynamicLibrary() { Close(); }

bool DynamicLibrary::Open(const std::string& path) {
  Close();
  ::dlerror();
  handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    error_ = LastLoaderError("the library could not be loaded");
    return false;
  }
  error_.clear();
  return true;
}

void DynamicLibrary::Close() {
  if (handle_) ::dlclose(handle_);
  handle_ = nullptr;
}

void* DynamicLibrary::Symbol(const char* name) {
  if (!handle_) {
    error_ = "no library is open";
    return nullptr;
  }
  ::dlerror();
  void* address = ::dlsym(handle_, name);
  if (!address) error_ = LastLoaderError("the symbol is missing");
  return address;
}

} // namespace platform
