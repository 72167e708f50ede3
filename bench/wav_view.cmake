# The waveform view under a one-hour 44.1 kHz 16-bit stereo WAV (about 635 MB,
# made under /tmp on first run): open-to-waveform time (goal 300 ms), the
# longest UI-thread block meanwhile (goal 50 ms), resident memory beyond the
# mapped pages (goal under 64 MB), and time to first audio after Play (goal
# 100 ms). Run it with PULSE_SERVER set to measure a real sound server.
add_executable(wav_view_bench EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/wav_view_bench.cpp)
target_link_libraries(wav_view_bench PRIVATE bc_ui_pages bc_audio_device)
bc_target_defaults(wav_view_bench)
add_dependencies(benchmarks wav_view_bench)
