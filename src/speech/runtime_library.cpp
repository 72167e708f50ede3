#include "speech/runtime_library.h"

#include <dlfcn.h>

namespace bc {

// Never closed: the calls found stay in use until the program exits. Local:
// the library's symbols serve only the calls found here.
RuntimeLibrary::RuntimeLibrary(const char* soname)
    : handle_(dlopen(soname, RTLD_LAZY | RTLD_LOCAL)) {}

void* RuntimeLibrary::Symbol(const char* name) const {
  return handle_ ? dlsym(handle_, name) : nullptr;
}

}  // namespace bc
