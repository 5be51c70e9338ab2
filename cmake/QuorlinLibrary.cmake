# One static library per subsystem folder: every .cpp of the folder is part of it,
# so adding a source file needs no edit of the build files.
function(quorlin_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(srcs)
    add_library(${name} STATIC ${srcs})
  else()
    add_library(${name} STATIC ${CMAKE_SOURCE_DIR}/cmake/empty.cpp)
  endif()
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} Threads::Threads)
endfunction()
