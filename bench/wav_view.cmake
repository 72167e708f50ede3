# The waveform view under a one-hour 44.1 kHz 16-bit stereo WAV (about 635 MB,
# made under /tmp on first run): open-to-waveform time from a cold cache against
# one sequential read of the file (goal 1.0x) and warm (goal 150 ms), the
# longest UI-thread block meanwhile (goal 50 ms), resident memory (goal under
# 64 MB), and time to first audio after Play (goal 100 ms). Run it with PULSE_SERVER set to measure a real sound server.
add_executable(wav_view_bench EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/wav_view_bench.cpp)
target_link_libraries(wav_view_bench PRIVATE bc_ui_pages bc_audio_device)
bc_target_defaults(wav_view_bench)
add_dependencies(benchmarks wav_view_bench)
