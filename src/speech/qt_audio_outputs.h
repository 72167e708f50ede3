#pragma once

#include "speech/audio_outputs.h"

namespace bc {

/// The audio outputs on Qt Multimedia (QMediaDevices, QAudioSink).
AudioOutputs& QtAudioOutputs();

}  // namespace bc
