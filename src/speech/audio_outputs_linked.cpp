// The audio outputs built into the program (Qt Multimedia linked in).
#include "speech/qt_audio_outputs.h"

namespace bc {

AudioOutputs* DeviceOutputs() {
  return &QtAudioOutputs();
}

void PrepareDeviceOutputs() {}

}  // namespace bc
