# The rendering bench builds its scenes with the tests' geometry helpers.
if(TARGET bench_render AND TARGET vs_test_support)
  target_link_libraries(bench_render PRIVATE vs_test_support)
endif()
