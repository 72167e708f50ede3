// The audio outputs as a module the command-line program loads when sound is
// to play on a device (see bc::DeviceOutputs). Its one exported symbol:
#include "speech/qt_audio_outputs.h"

extern "C" __attribute__((visibility("default"))) bc::AudioOutputs* bc_audio_outputs() {
  return &bc::QtAudioOutputs();
}
