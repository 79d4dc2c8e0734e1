# Helpers shared by every directory's CMakeLists.
include_guard(GLOBAL)

set(TESSALY_TEST_OPT_FLAGS "-O1" CACHE STRING "Optimisation of test sources and GoogleTest")

# tessaly_library(NAME DIR... LIBS ...): a static library from every .cpp of the listed
# folders (globbed, so adding a source file needs no CMake edit).
function(tessaly_library name)
  cmake_parse_arguments(A "" "" "DIRS;LIBS" ${ARGN})
  set(srcs)
  foreach(d IN LISTS A_DIRS)
    file(GLOB s CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${d}/*.cpp" "${CMAKE_CURRENT_SOURCE_DIR}/${d}/*.c")
    list(APPEND srcs ${s})
  endforeach()
  if(NOT srcs)
    set(stub "${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp")
    file(WRITE "${stub}" "// nothing here yet\n")
    set(srcs "${stub}")
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${A_LIBS})
endfunction()

# tessaly_test(NAME DIR LIBS ...): one GoogleTest executable from every .cpp of DIR.
function(tessaly_test name dir)
  cmake_parse_arguments(A "SERIAL" "" "LIBS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp")
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE ${A_LIBS} GTest::gtest_main GTest::gmock)
  # The code under test keeps the build's optimisation; the test sources themselves
  # (mostly GoogleTest macro expansions) build much faster at -O1.
  target_compile_options(${name} PRIVATE ${TESSALY_TEST_OPT_FLAGS})
  target_compile_definitions(${name} PRIVATE
    TESSALY_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    TESSALY_SHARED_DIR="${TESSALY_SHARED_DIR}")
  if(TESSALY_RUN_TESTS)
    include(GoogleTest)
    if(A_SERIAL)
      gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
        PROPERTIES RUN_SERIAL TRUE)
    else()
      gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60)
    endif()
  endif()
endfunction()

# All targets of this build, every directory.
function(_tessaly_all_targets out dir)
  get_property(targets DIRECTORY "${dir}" PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY "${dir}" PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    _tessaly_all_targets(more "${sub}")
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

# An executable whose folder has no source yet (a layer still being written) gets a
# placeholder main that says so and fails, so the rest of the tree configures and builds.
function(tessaly_fill_empty_targets)
  _tessaly_all_targets(targets "${CMAKE_SOURCE_DIR}")
  foreach(t IN LISTS targets)
    get_target_property(type ${t} TYPE)
    get_target_property(srcs ${t} SOURCES)
    if(type STREQUAL "EXECUTABLE" AND NOT srcs)
      set(stub "${CMAKE_BINARY_DIR}/stubs/${t}_not_written_yet.cpp")
      file(WRITE "${stub}" "#include <cstdio>\nint main() { std::fputs(\"${t}: not written yet\\n\", stderr); return 2; }\n")
      target_sources(${t} PRIVATE "${stub}")
      message(WARNING "${t} has no sources yet: built from a placeholder that exits with 2")
    endif()
  endforeach()
endfunction()

# Copies TESSALY_RUNTIME_DLLS (libbz2.dll for the Windows builds) into the output folder
# of every executable and DLL, where LoadLibrary finds them first, so the programs and
# the tests under wine find them without PATH changes. Natively there is nothing to copy.
function(tessaly_copy_runtime_dlls)
  if(NOT TESSALY_RUNTIME_DLLS)
    return()
  endif()
  _tessaly_all_targets(targets "${CMAKE_SOURCE_DIR}")
  set(dirs)
  foreach(t IN LISTS targets)
    get_target_property(type ${t} TYPE)
    if(type MATCHES "^(EXECUTABLE|SHARED_LIBRARY|MODULE_LIBRARY)$")
      get_target_property(dir ${t} RUNTIME_OUTPUT_DIRECTORY)
      if(NOT dir)
        get_target_property(dir ${t} BINARY_DIR)
      endif()
      list(APPEND dirs "${dir}")
    endif()
  endforeach()
  list(REMOVE_DUPLICATES dirs)
  foreach(dir IN LISTS dirs)
    file(COPY ${TESSALY_RUNTIME_DLLS} DESTINATION "${dir}")
  endforeach()
endfunction()
