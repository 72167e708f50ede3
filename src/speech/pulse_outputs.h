#pragma once

#include "speech/audio_outputs.h"

namespace bc {

/// The audio outputs straight on the PulseAudio client library (which
/// PipeWire's pulse server speaks too): one connection to the sound server,
/// made the first time this is called and kept for the program's life, and
/// one playback stream per open sink. The library is opened on the first call
/// (a process that speaks has it already: the espeak-ng library links it), so
/// unlike the outputs on Qt Multimedia this loads little. Null when no sound
/// server answers, or the library is missing.
AudioOutputs* PulseOutputs();

/// Starts the connection of PulseOutputs without waiting for the server's
/// answer, so that the first sound need not wait for it.
void ConnectPulseOutputs();

}  // namespace bc
