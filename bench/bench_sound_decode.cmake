# The sound bench encodes its own sample with libvorbisenc, through the same
# media maker the tests use.
pkg_check_modules(VORBISENC_BENCH REQUIRED IMPORTED_TARGET vorbisenc)
target_sources(bench_sound_decode PRIVATE "${CMAKE_SOURCE_DIR}/tests/support/test_media.cpp")
target_include_directories(bench_sound_decode PRIVATE "${CMAKE_SOURCE_DIR}/tests")
target_link_libraries(bench_sound_decode PRIVATE PkgConfig::VORBISENC_BENCH)
