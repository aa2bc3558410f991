# Helpers shared by every folder's CMakeLists.txt.

# qlon_sources(VAR DIR): the .cpp files of DIR (not of its tests/ folder).
function(qlon_sources var dir)
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
  set(${var} ${srcs} PARENT_SCOPE)
endfunction()

# qlon_room(TARGET DIR USES...): the sources of DIR, a room of one concern in
# a component's folder, as the static library TARGET. It exports DIR as an
# include folder (headers are included by bare name) and links USES: the
# rooms and libraries whose headers it includes.
function(qlon_room target dir)
  qlon_sources(srcs ${CMAKE_CURRENT_SOURCE_DIR}/${dir})
  add_library(${target} STATIC ${srcs})
  target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/${dir})
  target_link_libraries(${target} PUBLIC ${ARGN})
endfunction()

# qlon_rooms_only(): fails the configuration when a source lies in the
# current folder itself instead of one of its rooms (a file added there would
# otherwise be left out of every library).
function(qlon_rooms_only)
  file(GLOB stray CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(stray)
    message(FATAL_ERROR "Sources outside the rooms of ${CMAKE_CURRENT_SOURCE_DIR}: ${stray}. "
                        "Each belongs in the room of its concern (docs/ARCHITECTURE.md).")
  endif()
endfunction()

# qlon_ship_folder(TARGET SOURCE_DIR NAME): the files of SOURCE_DIR copied
# beside the program, into its folder NAME, by TARGET (built by default).
function(qlon_ship_folder target source name)
  file(GLOB files CONFIGURE_DEPENDS ${source}/*)
  set(folder ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${name})
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}.stamp)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${files} ${folder}
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${files})
  add_custom_target(${target} ALL DEPENDS ${stamp})
endfunction()

# qlon_add_tests(NAME DIRS LIBS...): one GoogleTest executable from the .cpp
# files of DIRS (a folder, or a list of folders: a component's rooms' tests/
# and the folder of the fixtures they share, each then an include folder of
# the program), each test registered with CTest. Tests never touch the user's
# real stand-in state: the platform root points into the build tree unless a
# test moves it to its own temporary folder; widgets run on the offscreen
# platform.
function(qlon_add_tests name dirs)
  set(srcs)
  foreach(dir IN LISTS dirs)
    file(GLOB dir_srcs CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
    list(APPEND srcs ${dir_srcs})
  endforeach()
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE ${ARGN} qlon_testsupport GTest::gmock GTest::gtest_main)
  list(LENGTH dirs dir_count)
  if(dir_count GREATER 1)
    target_include_directories(${name} PRIVATE ${dirs})
  endif()
  # The environment comes with the command that runs each test (and the
  # discovery): a list-valued ENVIRONMENT property would lose all but its
  # first entry on its way through gtest_discover_tests.
  set_property(TARGET ${name} PROPERTY CROSSCOMPILING_EMULATOR
    ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen QLON_PLATFORM_ROOT=${CMAKE_BINARY_DIR}/test-root
    QLON_SOURCE_DIR=${CMAKE_SOURCE_DIR})
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES
      TIMEOUT 300)
endfunction()
