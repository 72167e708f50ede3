// The audio outputs of the command-line program: the sound server reached
// directly (pulse_outputs.h), or else those of the module beside the program
// (build tree) or in the package's private folder (installed), loaded once, on
// first use. A module that is missing or does not load leaves the program
// without a device: sound then plays silently, as on a machine without sound.
#include <dlfcn.h>

#include <cstdio>
#include <filesystem>

#include "config/paths.h"
#include "speech/audio_outputs.h"
#include "speech/pulse_outputs.h"

#ifndef BC_AUDIO_MODULE
#define BC_AUDIO_MODULE "brindlecast-audio.so"
#endif
#ifndef BC_AUDIO_MODULE_DIR_FROM_BINDIR
#define BC_AUDIO_MODULE_DIR_FROM_BINDIR "../libexec/brindlecast"
#endif

namespace bc {
namespace {

using Entry = AudioOutputs* (*)();

AudioOutputs* Load() {
  const std::filesystem::path program = ExecutablePath();
  if (program.empty()) {
    return nullptr;
  }
  const std::filesystem::path dir = program.parent_path();
  for (const auto& folder : {dir, dir / BC_AUDIO_MODULE_DIR_FROM_BINDIR}) {
    const std::filesystem::path module = (folder / BC_AUDIO_MODULE).lexically_normal();
    std::error_code error;
    if (!std::filesystem::exists(module, error)) {
      continue;
    }
    // Never closed: the outputs live as long as the program. Lazy binding, as
    // for the libraries linked at start-up: binding all of Qt Gui's symbols
    // now would delay the first sound.
    void* handle = dlopen(module.c_str(), RTLD_LAZY | RTLD_LOCAL);
    auto entry = handle ? reinterpret_cast<Entry>(dlsym(handle, "bc_audio_outputs")) : nullptr;
    if (!entry) {
      // A damaged installation: say so, rather than speak silently unexplained.
      const char* why = dlerror();
      std::fprintf(stderr, "brindlecast: cannot load the audio module %s (%s); speaking silently\n",
                   module.c_str(), why ? why : "no entry point");
      return nullptr;
    }
    return entry();
  }
  return nullptr;
}

}  // namespace

AudioOutputs* DeviceOutputs() {
  static AudioOutputs* const outputs = [] {
    AudioOutputs* direct = PulseOutputs();
    return direct ? direct : Load();
  }();
  return outputs;
}

void PrepareDeviceOutputs() {
  ConnectPulseOutputs();
}

}  // namespace bc
