# The layers of the player, lowest first. A source or header in a layer's
# folder may include headers of its own layer and of the layers before it,
# never of a later one: the libraries then link as a tree.
set(VS_LAYERS platform assets core model view controller script program)

# vs_check_layers(SOURCE_DIR): stops with the list of includes that go up.
function(vs_check_layers source_dir)
  set(problems "")
  list(LENGTH VS_LAYERS count)
  math(EXPR last "${count} - 1")
  foreach(rank RANGE ${last})
    list(GET VS_LAYERS ${rank} layer)
    file(GLOB_RECURSE files "${source_dir}/${layer}/*.h" "${source_dir}/${layer}/*.cpp")
    foreach(file IN LISTS files)
      file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"[a-z_]+/")
      foreach(line IN LISTS lines)
        string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([a-z_]+)/.*" "\\1" target "${line}")
        list(FIND VS_LAYERS "${target}" target_rank)
        if(target_rank GREATER rank)
          file(RELATIVE_PATH rel "${source_dir}" "${file}")
          string(STRIP "${line}" line)
          list(APPEND problems "  ${rel} (${layer}) includes a ${target} header: ${line}")
        endif()
      endforeach()
    endforeach()
  endforeach()
  if(problems)
    list(JOIN problems "\n" text)
    message(FATAL_ERROR "Includes that go up the layers (${VS_LAYERS}):\n${text}")
  endif()
endfunction()

# Run as a script (cmake -DSOURCE_DIR=... -P CheckLayers.cmake), as the test does.
if(CMAKE_SCRIPT_MODE_FILE AND SOURCE_DIR)
  vs_check_layers("${SOURCE_DIR}")
endif()
