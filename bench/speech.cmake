# Speech: synthesis speed against real time, and how soon a short announcement
# reaches the audio output after Speak.
add_executable(speech_bench EXCLUDE_FROM_ALL speech_bench.cpp)
target_link_libraries(speech_bench PRIVATE bc_speech benchmark::benchmark bc_audio_device)
bc_target_defaults(speech_bench)
add_dependencies(benchmarks speech_bench)
