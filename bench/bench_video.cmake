# The video bench encodes its own 640 x 480 clip with libtheoraenc, through
# the same media maker the tests use.
pkg_check_modules(THEORAENC_BENCH REQUIRED IMPORTED_TARGET theoraenc)
pkg_check_modules(VORBISENC_VIDEO_BENCH REQUIRED IMPORTED_TARGET vorbisenc)
target_sources(bench_video PRIVATE "${CMAKE_SOURCE_DIR}/tests/support/test_video.cpp"
                                   "${CMAKE_SOURCE_DIR}/tests/support/test_media.cpp")
target_include_directories(bench_video PRIVATE "${CMAKE_SOURCE_DIR}/tests")
target_link_libraries(bench_video PRIVATE PkgConfig::THEORAENC_BENCH PkgConfig::VORBISENC_VIDEO_BENCH)
