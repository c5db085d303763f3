# lzf_add_test(name SOURCES a.cpp ... [LIBS lib ...] [TIMEOUT s] [ENV K=V ...])
# One GoogleTest program, registered with CTest as one test. Windows programs run through the
# cross-compiling emulator (cmake/wine-run.sh).
function(lzf_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} gtest gtest_main)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_ENV)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${T_ENV}")
  endif()
endfunction()

# The local catalogue service is a native program; the Windows tree finds it in the native tree.
if(LZF_WINDOWS)
  set(LZF_SERVICE_EXE "${CMAKE_SOURCE_DIR}/build/native/server/lanzifang-catalogue-server"
      CACHE FILEPATH "The local catalogue service program (built by the native tree)")
else()
  set(LZF_SERVICE_EXE "$<TARGET_FILE:lanzifang-catalogue-server>")
endif()

# lzf_add_service_test(name SOURCES ... [LIBS ...] [TIMEOUT s] [ENV K=V ...] [SERVICE_ARGS ...])
# Like lzf_add_test, but each run gets its own local catalogue service on a free loopback port
# (tests/support/with-service.sh); the program finds it in LZF_SERVICE_URL.
function(lzf_add_service_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;ENV;SERVICE_ARGS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} lzf_test_service gtest gtest_main)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set(runner "")
  if(LZF_WINDOWS)
    set(runner "${CMAKE_SOURCE_DIR}/cmake/wine-run.sh")
  endif()
  add_test(NAME ${name}
           COMMAND ${CMAKE_SOURCE_DIR}/tests/support/with-service.sh "${LZF_SERVICE_EXE}"
                   "${T_SERVICE_ARGS}" ${runner} $<TARGET_FILE:${name}>)
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_ENV)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${T_ENV}")
  endif()
endfunction()
