# zdl_add_test(name SOURCES a.cpp ... LIBS zdl_gfx ... [NATIVE_ONLY] [LABELS l ...])
# A GoogleTest executable registered with CTest. On Windows the test runs
# under Wine through scripts/wine-run.sh; NATIVE_ONLY skips it there.
function(zdl_add_test name)
  cmake_parse_arguments(A "NATIVE_ONLY" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(A_NATIVE_ONLY AND WIN32)
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE zdl_options ${A_LIBS} zdl::gtest)
  target_compile_definitions(${name} PRIVATE
    ZDL_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data"
    ZDL_BUILD_DIR="${PROJECT_BINARY_DIR}")
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 300)
  endif()
  if(WIN32)
    add_test(NAME ${name} COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-run.sh
             --timeout ${A_TIMEOUT} $<TARGET_FILE:${name}>)
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${A_TIMEOUT} LABELS "${A_LABELS}")
endfunction()

# zdl_module_library(name [GLOB_DIR dir] LIBS ...): a static library of the
# portable sources in the current folder (every .cpp except *_win.cpp and
# *_posix.cpp, which are taken only on their platform).
function(zdl_module_library name)
  cmake_parse_arguments(A "" "" "LIBS;EXCLUDE" ${ARGN})
  file(GLOB _all CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  set(_srcs)
  foreach(f ${_all})
    get_filename_component(_n ${f} NAME)
    if(_n IN_LIST A_EXCLUDE)
      continue()
    endif()
    if(_n MATCHES "_win\\.cpp$" AND NOT WIN32)
      continue()
    endif()
    if(_n MATCHES "_posix\\.cpp$" AND WIN32)
      continue()
    endif()
    list(APPEND _srcs ${f})
  endforeach()
  if(_srcs)
    add_library(${name} STATIC ${_srcs})
    target_link_libraries(${name} PUBLIC zdl_options ${A_LIBS})
  else()
    # Nothing portable here yet: an interface library keeps dependants linking.
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE zdl_options ${A_LIBS})
  endif()
endfunction()

# zdl_module_texts(target TABLE.txt): the module's player-visible texts,
# written in UTF-8 in the table beside its sources, as a generated header of
# GBK constants (<build>/generated/<module>/<Table>.h, included as
# "<module>/<Table>.h"). The build host converts them with iconv, for the
# native and the cross builds alike.
function(zdl_module_texts target table)
  get_filename_component(_name ${table} NAME_WE)
  file(RELATIVE_PATH _module ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  set(_dir ${PROJECT_BINARY_DIR}/generated)
  set(_header ${_dir}/${_module}/${_name}.h)
  add_custom_command(OUTPUT ${_header}
    COMMAND sh cmake/gen-texts.sh ${_module}/${table} ${_header}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${table} ${PROJECT_SOURCE_DIR}/cmake/gen-texts.sh
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} VERBATIM)
  target_sources(${target} PRIVATE ${_header})
  target_include_directories(${target} PUBLIC ${_dir})
endfunction()
