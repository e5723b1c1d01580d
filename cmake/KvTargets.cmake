# Helpers shared by every folder's CMakeLists.txt.

# kv_library(name SOURCES ... LIBS ...): a static library of product code, warnings as errors.
function(kv_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${KV_WARNINGS}>)
  if(ARG_LIBS)
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  endif()
endfunction()

# kv_program(name SOURCES ... LIBS ... [CONSOLE]): a Windows program with wWinMain (or wmain).
function(kv_program name)
  cmake_parse_arguments(ARG "CONSOLE" "" "SOURCES;LIBS" ${ARGN})
  if(ARG_CONSOLE)
    add_executable(${name} ${ARG_SOURCES})
  else()
    add_executable(${name} WIN32 ${ARG_SOURCES})
  endif()
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${KV_WARNINGS}>)
  target_link_options(${name} PRIVATE -municode)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
endfunction()
