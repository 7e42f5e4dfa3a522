# The texture bench makes its PNG with the tests' media maker.
if(TARGET bench_textures AND TARGET vs_test_support)
  target_link_libraries(bench_textures PRIVATE vs_test_support)
endif()
