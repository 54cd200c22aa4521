# tessor_library(NAME folder-target DEPS ...): one static library per engine
# folder, built from every .cpp in the folder. Sources are globbed so adding a
# unit needs no edit here.
# tessor_sources(VAR [DIR]): the .cpp files of a folder for the platform
# being built. The system side of a unit lives beside it: win/NAME.cpp is the
# Windows side and, when the folder also has NAME.cpp, takes its place there;
# posix/NAME.cpp is built everywhere else. A unit with portable code keeps it
# in NAME.cpp and only moves the system calls to posix/ and win/.
function(tessor_sources var)
  set(dir ${CMAKE_CURRENT_SOURCE_DIR})
  if(ARGC GREATER 1)
    set(dir ${ARGV1})
  endif()
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(WIN32)
    file(GLOB side CONFIGURE_DEPENDS ${dir}/win/*.cpp)
    foreach(file IN LISTS side)
      get_filename_component(unit ${file} NAME)
      list(REMOVE_ITEM srcs ${dir}/${unit})
    endforeach()
  else()
    file(GLOB side CONFIGURE_DEPENDS ${dir}/posix/*.cpp)
  endif()
  list(APPEND srcs ${side})
  set(${var} ${srcs} PARENT_SCOPE)
endfunction()

function(tessor_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  tessor_sources(srcs)
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# tessor_test(NAME SOURCES ... LIBS ... LABELS ... [TIMEOUT s]): a GoogleTest
# executable whose tests ctest runs one by one. Label "engine" marks suites
# that the sanitizer runs repeat; "slow" marks suites that drive external
# image readers over large trees.
function(tessor_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    TESSOR_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    TESSOR_BINARY_DIR="${CMAKE_BINARY_DIR}")
  # gtest_discover_tests splits a list value into property names, so the
  # labels travel as one word ("engine-slow"); ctest -L and -LE take
  # regular expressions, so "-L engine -LE slow" still selects by each part.
  list(JOIN ARG_LABELS "-" label)
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 120
    PROPERTIES LABELS "${label}" TIMEOUT ${ARG_TIMEOUT})
endfunction()

# tessor_carry_version(TARGET): the program or library carries the version
# note (version/FileVersion.h), so FileVersionText reads its version.
function(tessor_carry_version target)
  target_sources(${target} PRIVATE $<TARGET_OBJECTS:tessor_version_note>)
endfunction()
