# Third-party libraries. Nothing is vendored: the sources of PCRE2, libpng and Duktape come
# from Debian's source packages (apt-get source), fetched once per checkout into
# build/_sources, and are built into each build tree with that tree's toolchain.
include(ExternalProject)

set(LZF_SOURCES_DIR "${CMAKE_SOURCE_DIR}/build/_sources" CACHE PATH
    "Where the Debian source packages are unpacked")
file(MAKE_DIRECTORY "${LZF_SOURCES_DIR}")

function(lzf_fetch_source package dir_glob out_var)
  file(LOCK "${LZF_SOURCES_DIR}/.lock" GUARD FUNCTION TIMEOUT 600)
  file(GLOB found LIST_DIRECTORIES true "${LZF_SOURCES_DIR}/${dir_glob}")
  if(NOT found)
    message(STATUS "Fetching the source package ${package}")
    execute_process(COMMAND apt-get source -q "${package}/bookworm"
                    WORKING_DIRECTORY "${LZF_SOURCES_DIR}"
                    RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
    file(GLOB found LIST_DIRECTORIES true "${LZF_SOURCES_DIR}/${dir_glob}")
    if(NOT found)
      message(FATAL_ERROR "apt-get source ${package} failed (${rc}): ${err}\n"
                          "Run scripts/setup.sh first (it enables deb-src).")
    endif()
  endif()
  list(GET found 0 first)
  set(${out_var} "${first}" PARENT_SCOPE)
endfunction()

set(LZF_DEPS_PREFIX "${CMAKE_BINARY_DIR}/_deps")
file(MAKE_DIRECTORY "${LZF_DEPS_PREFIX}/include")

# --- Duktape: one C file; its configuration gets the execution time-out hook switched on.
lzf_fetch_source(duktape "duktape-2.*" LZF_DUKTAPE_SRC)
set(duk_out "${LZF_DEPS_PREFIX}/duktape")
if(NOT EXISTS "${duk_out}/duk_config.h")
  file(MAKE_DIRECTORY "${duk_out}")
  file(COPY "${LZF_DUKTAPE_SRC}/src/duktape.c" "${LZF_DUKTAPE_SRC}/src/duktape.h"
       DESTINATION "${duk_out}")
  file(READ "${LZF_DUKTAPE_SRC}/src/duk_config.h" cfg)
  string(REPLACE "#undef DUK_USE_INTERRUPT_COUNTER" "#define DUK_USE_INTERRUPT_COUNTER" cfg "${cfg}")
  string(REPLACE "#undef DUK_USE_EXEC_TIMEOUT_CHECK"
         "extern int LzfDuktapeTimeoutCheck(void*);\n#define DUK_USE_EXEC_TIMEOUT_CHECK(udata) LzfDuktapeTimeoutCheck(udata)"
         cfg "${cfg}")
  file(WRITE "${duk_out}/duk_config.h" "${cfg}")
endif()
add_library(lzf_duktape STATIC "${duk_out}/duktape.c")
target_include_directories(lzf_duktape SYSTEM PUBLIC "${duk_out}")
set_target_properties(lzf_duktape PROPERTIES LINKER_LANGUAGE C)
target_compile_options(lzf_duktape PRIVATE -w)
if(NOT LZF_WINDOWS)
  target_link_libraries(lzf_duktape PUBLIC m)
endif()

# --- PCRE2 (16-bit code units, JIT) and libpng.
if(LZF_WINDOWS)
  lzf_fetch_source(pcre2 "pcre2-10.*" LZF_PCRE2_SRC)
  lzf_fetch_source(libpng1.6 "libpng1.6-1.6.*" LZF_LIBPNG_SRC)
  # zlib comes from Debian's mingw-w64 package for this tree's architecture.
  set(LZF_ZLIB_ROOT "${CMAKE_FIND_ROOT_PATH}")
  set(cross_args
      -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
      -DCMAKE_BUILD_TYPE=Release
      -DCMAKE_INSTALL_PREFIX=${LZF_DEPS_PREFIX}
      -DCMAKE_POLICY_DEFAULT_CMP0074=NEW)
  ExternalProject_Add(pcre2_ext
    SOURCE_DIR "${LZF_PCRE2_SRC}"
    BINARY_DIR "${CMAKE_BINARY_DIR}/_deps/pcre2-build"
    CMAKE_ARGS ${cross_args}
      -DBUILD_SHARED_LIBS=OFF -DPCRE2_BUILD_PCRE2_8=OFF -DPCRE2_BUILD_PCRE2_16=ON
      -DPCRE2_SUPPORT_JIT=ON -DPCRE2_BUILD_PCRE2GREP=OFF -DPCRE2_BUILD_TESTS=OFF
      -DPCRE2_SUPPORT_UNICODE=ON
    BUILD_BYPRODUCTS "${LZF_DEPS_PREFIX}/lib/libpcre2-16.a"
    UPDATE_COMMAND "" INSTALL_COMMAND ${CMAKE_COMMAND} --build . --target install)
  add_library(lzf_pcre2 STATIC IMPORTED GLOBAL)
  set_target_properties(lzf_pcre2 PROPERTIES
    IMPORTED_LOCATION "${LZF_DEPS_PREFIX}/lib/libpcre2-16.a"
    INTERFACE_INCLUDE_DIRECTORIES "${LZF_DEPS_PREFIX}/include"
    INTERFACE_COMPILE_DEFINITIONS "PCRE2_STATIC;PCRE2_CODE_UNIT_WIDTH=16")
  add_dependencies(lzf_pcre2 pcre2_ext)

  ExternalProject_Add(libpng_ext
    SOURCE_DIR "${LZF_LIBPNG_SRC}"
    BINARY_DIR "${CMAKE_BINARY_DIR}/_deps/libpng-build"
    CMAKE_ARGS ${cross_args}
      -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF
      -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_FILES=ON
      -DZLIB_INCLUDE_DIR=${LZF_ZLIB_ROOT}/include
      -DZLIB_LIBRARY=${LZF_ZLIB_ROOT}/lib/libz.a
      -DM_LIBRARY=
    BUILD_BYPRODUCTS "${LZF_DEPS_PREFIX}/lib/libpng16.a"
    UPDATE_COMMAND "" INSTALL_COMMAND ${CMAKE_COMMAND} --build . --target install)
  add_library(lzf_png STATIC IMPORTED GLOBAL)
  set_target_properties(lzf_png PROPERTIES
    IMPORTED_LOCATION "${LZF_DEPS_PREFIX}/lib/libpng16.a"
    INTERFACE_INCLUDE_DIRECTORIES "${LZF_DEPS_PREFIX}/include"
    INTERFACE_LINK_LIBRARIES "${LZF_ZLIB_ROOT}/lib/libz.a")
  add_dependencies(lzf_png libpng_ext)
  add_library(lzf_zlib INTERFACE)
  target_include_directories(lzf_zlib SYSTEM INTERFACE "${LZF_ZLIB_ROOT}/include")
  target_link_libraries(lzf_zlib INTERFACE "${LZF_ZLIB_ROOT}/lib/libz.a")
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(PCRE2_16 REQUIRED IMPORTED_TARGET libpcre2-16)
  add_library(lzf_pcre2 INTERFACE)
  target_link_libraries(lzf_pcre2 INTERFACE PkgConfig::PCRE2_16)
  target_compile_definitions(lzf_pcre2 INTERFACE PCRE2_CODE_UNIT_WIDTH=16)
  find_package(PNG REQUIRED)
  add_library(lzf_png INTERFACE)
  target_link_libraries(lzf_png INTERFACE PNG::PNG)
  find_package(ZLIB REQUIRED)
  add_library(lzf_zlib INTERFACE)
  target_link_libraries(lzf_zlib INTERFACE ZLIB::ZLIB)
endif()

# --- GoogleTest from Debian's googletest sources, built with this tree's toolchain.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/_deps/googletest" EXCLUDE_FROM_ALL SYSTEM)
# GoogleTest's own sources hold UTF-8 literals ("µs"): keep them out of the GBK literal rule.
foreach(t gtest gtest_main)
  target_compile_options(${t} PRIVATE -fexec-charset=UTF-8)
endforeach()
