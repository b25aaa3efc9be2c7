# The fuzz targets in the ordinary build, each with fuzz/replay_main.cpp as
# its main: one test per target replays its seed corpus (the regression
# inputs found by fuzzing included). The campaigns themselves need clang:
# scripts/fuzz.sh.
file(GLOB _fdp_dirs /usr/lib/llvm-*/lib/clang/*/include)
find_path(FUZZED_DATA_PROVIDER_DIR fuzzer/FuzzedDataProvider.h PATHS ${_fdp_dirs})
foreach(t fuzz_decoder fuzz_decoder_fast fuzz_ini fuzz_tables)
  file(READ ${CMAKE_SOURCE_DIR}/fuzz/${t}.cpp _src)
  string(FIND "${_src}" "FuzzedDataProvider.h" _needs_fdp)
  if(NOT _needs_fdp EQUAL -1 AND NOT FUZZED_DATA_PROVIDER_DIR)
    message(STATUS "${t}: no FuzzedDataProvider.h (libclang-rt-14-dev), seeds not replayed")
    continue()
  endif()
  add_executable(${t}_replay ${CMAKE_SOURCE_DIR}/fuzz/${t}.cpp ${CMAKE_SOURCE_DIR}/fuzz/replay_main.cpp)
  target_include_directories(${t}_replay PRIVATE ${CMAKE_SOURCE_DIR}/fuzz)
  if(NOT _needs_fdp EQUAL -1)
    # The header alone: clang's folder also holds its own C headers.
    configure_file(${FUZZED_DATA_PROVIDER_DIR}/fuzzer/FuzzedDataProvider.h
      ${CMAKE_BINARY_DIR}/fuzz_provider/fuzzer/FuzzedDataProvider.h COPYONLY)
    target_include_directories(${t}_replay SYSTEM PRIVATE ${CMAKE_BINARY_DIR}/fuzz_provider)
  endif()
  target_link_libraries(${t}_replay PRIVATE vireluz_core)
  add_test(NAME ${t}_seeds COMMAND ${t}_replay ${CMAKE_SOURCE_DIR}/fuzz/corpus/${t})
  set_tests_properties(${t}_seeds PROPERTIES ENVIRONMENT "LC_ALL=C.UTF-8")
endforeach()
