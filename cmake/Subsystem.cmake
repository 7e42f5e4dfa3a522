# vs_subsystem(TARGET FOLDER): a static library of every source under FOLDER.
function(vs_subsystem target folder)
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS
       "${CMAKE_SOURCE_DIR}/${folder}/*.cpp" "${CMAKE_SOURCE_DIR}/${folder}/*.c")
  list(FILTER srcs EXCLUDE REGEX "/main\\.cpp$")
  # A testing/ folder holds test backends: a library of its own, for tests only.
  list(FILTER srcs EXCLUDE REGEX "/testing/")
  if(NOT srcs)
    # A folder without code yet still gives a linkable library.
    set(stub "${CMAKE_BINARY_DIR}/stub_${target}.cpp")
    file(WRITE "${stub}" "// no code in ${folder} yet\n")
    set(srcs "${stub}")
  endif()
  add_library(${target} STATIC ${srcs})
  target_include_directories(${target} PUBLIC "${CMAKE_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/generated")
endfunction()

# vs_test_folder(FOLDER): one GoogleTest executable of every .cpp in tests/FOLDER.
function(vs_test_folder folder)
  file(GLOB srcs CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/${folder}/*.cpp")
  if(NOT srcs)
    return()
  endif()
  set(target "test_${folder}")
  add_executable(${target} ${srcs})
  target_link_libraries(${target} PRIVATE vs_platform_testing vs_all GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${target} PRIVATE "${CMAKE_SOURCE_DIR}" "${CMAKE_SOURCE_DIR}/tests")
  target_compile_definitions(${target} PRIVATE
    VS_SOURCE_DIR="${CMAKE_SOURCE_DIR}" VS_BINARY_DIR="${CMAKE_BINARY_DIR}")
  # Tests never depend on the caller's sound setup: the silent driver unless a
  # test picks another itself.
  set(props TIMEOUT 120 ENVIRONMENT "SDL_AUDIODRIVER=dummy")
  if(folder STREQUAL "e2e")
    # Players under test share one X display and its keyboard focus: keys sent
    # to one must not reach another, so these run one at a time.
    list(APPEND props RUN_SERIAL TRUE)
  endif()
  gtest_discover_tests(${target} WORKING_DIRECTORY "${CMAKE_BINARY_DIR}"
                       DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()
