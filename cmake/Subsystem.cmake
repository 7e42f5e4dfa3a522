# vs_library(TARGET FOLDER SOURCE...): a static library of the sources listed
# (relative to FOLDER). Configuring stops when a .cpp or .c under FOLDER is not
# listed, so a new file is never left out silently; main.cpp files (program
# entries) and a testing/ subfolder (a library of its own) are not sources.
# The library exports only its own folder: users include "FOLDER/x.h" through
# a build-tree directory that holds just that folder.
function(vs_library target folder)
  set(dir "${CMAKE_SOURCE_DIR}/${folder}")
  set(listed "")
  foreach(src IN LISTS ARGN)
    if(NOT EXISTS "${dir}/${src}")
      message(FATAL_ERROR "${target}: listed source ${folder}/${src} does not exist")
    endif()
    list(APPEND listed "${dir}/${src}")
  endforeach()
  file(GLOB_RECURSE found CONFIGURE_DEPENDS "${dir}/*.cpp" "${dir}/*.c")
  foreach(file IN LISTS found)
    file(RELATIVE_PATH rel "${dir}" "${file}")
    if(rel MATCHES "(^|/)main\\.cpp$" OR rel MATCHES "^testing/")
      continue()
    endif()
    if(NOT file IN_LIST listed)
      message(FATAL_ERROR "${folder}/${rel} is in no library: add it to the sources of ${target} in CMakeLists.txt")
    endif()
  endforeach()
  add_library(${target} STATIC ${listed})
  set(include_root "${CMAKE_BINARY_DIR}/include/${target}")
  get_filename_component(parent "${include_root}/${folder}" DIRECTORY)
  file(MAKE_DIRECTORY "${parent}")
  file(CREATE_LINK "${dir}" "${include_root}/${folder}" SYMBOLIC)
  target_include_directories(${target} PUBLIC "${include_root}")
endfunction()

# vs_listed(OUT DIR GLOB WHERE FILE...): the FILEs (relative to DIR) as full
# paths in OUT. Configuring stops when one does not exist, or when a file that
# GLOB matches in DIR is not listed: WHERE says which list to add it to.
function(vs_listed out dir glob where)
  set(listed "")
  foreach(name IN LISTS ARGN)
    if(NOT EXISTS "${dir}/${name}")
      message(FATAL_ERROR "listed file ${dir}/${name} does not exist")
    endif()
    list(APPEND listed "${dir}/${name}")
  endforeach()
  file(GLOB found CONFIGURE_DEPENDS "${dir}/${glob}")
  foreach(file IN LISTS found)
    if(NOT file IN_LIST listed)
      message(FATAL_ERROR "${file} is listed nowhere: add it to ${where}")
    endif()
  endforeach()
  set(${out} ${listed} PARENT_SCOPE)
endfunction()

# vs_test_folder(FOLDER SOURCE...): one GoogleTest executable of the sources
# listed (relative to tests/FOLDER); every .cpp there must be listed.
function(vs_test_folder folder)
  vs_listed(srcs "${CMAKE_SOURCE_DIR}/tests/${folder}" "*.cpp" "vs_test_folder(${folder}) in tests/CMakeLists.txt"
            ${ARGN})
  set(target "test_${folder}")
  add_executable(${target} ${srcs})
  target_link_libraries(${target} PRIVATE vs_platform_testing vs_program GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${target} PRIVATE "${CMAKE_SOURCE_DIR}" "${CMAKE_SOURCE_DIR}/tests")
  target_compile_definitions(${target} PRIVATE
    VS_SOURCE_DIR="${CMAKE_SOURCE_DIR}" VS_BINARY_DIR="${CMAKE_BINARY_DIR}")
  # Tests never depend on the caller's sound setup: the silent driver unless a
  # test picks another itself.
  # (End-to-end players each get an X server of their own, so they run in
  # parallel like the rest.)
  set(props TIMEOUT 120 ENVIRONMENT "SDL_AUDIODRIVER=dummy")
  gtest_discover_tests(${target} WORKING_DIRECTORY "${CMAKE_BINARY_DIR}"
                       DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()
