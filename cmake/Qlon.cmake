# Helpers shared by every folder's CMakeLists.txt.

# qlon_sources(VAR DIR): the .cpp files of DIR (not of its tests/ folder).
function(qlon_sources var dir)
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
  set(${var} ${srcs} PARENT_SCOPE)
endfunction()

# qlon_add_tests(NAME DIR LIBS...): one GoogleTest executable from DIR/*.cpp,
# each test registered with CTest. Tests never touch the user's real stand-in
# state: the platform root points into the build tree unless a test moves it
# to its own temporary folder; widgets run on the offscreen platform.
function(qlon_add_tests name dir)
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE ${ARGN} qlon_testsupport GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES
      TIMEOUT 300
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QLON_PLATFORM_ROOT=${CMAKE_BINARY_DIR}/test-root;QLON_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endfunction()
