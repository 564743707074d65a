# Unity (jumbo) builds: a target's files are compiled a batch at a time as one unit, so the Qt,
# GoogleTest and standard headers they share are read and instantiated once a batch instead of once a
# file. The price: the files of a target must not clash in their anonymous namespaces (each names its
# helpers for itself), and an edit of one file recompiles its batch. OFF compiles file by file.
option(VELMORA_UNITY_BUILD "Compile the libraries and test programs in batches of files (unity build)" ON)

function(velmora_unity target batch)
  if(NOT VELMORA_UNITY_BUILD)
    return()
  endif()
  set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE ${batch})
  # GCC flags a lambda or class holding a type of an anonymous namespace when that type comes from an
  # included file, which in a unit every file is; within one target it is harmless.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wno-subobject-linkage)
  endif()
endfunction()
