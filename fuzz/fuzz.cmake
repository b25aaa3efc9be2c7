# libFuzzer targets (clang only). The whole build is compiled with
# -fsanitize=fuzzer-no-link,address,undefined (set near the top of the main
# CMakeLists.txt when VIRELUZ_FUZZ is ON); the targets below add the libFuzzer
# driver at link time. Run them with scripts/fuzz.sh.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "VIRELUZ_FUZZ needs clang (configure with CC=clang CXX=clang++)")
endif()

# SimpleIni's own functions and std::string's get no coverage hooks (see
# coverage_ignore.txt); everything is compiled again when that list changes.
set(FUZZ_IGNORE ${CMAKE_SOURCE_DIR}/fuzz/coverage_ignore.txt)
target_compile_options(vireluz_core PRIVATE -fsanitize-coverage-ignorelist=${FUZZ_IGNORE})
set_source_files_properties(${CORE_SOURCES} PROPERTIES OBJECT_DEPENDS ${FUZZ_IGNORE})

set(VIRELUZ_FUZZ_TARGETS fuzz_decoder fuzz_decoder_fast fuzz_ini fuzz_tables)
foreach(t ${VIRELUZ_FUZZ_TARGETS})
  add_executable(${t} ${CMAKE_SOURCE_DIR}/fuzz/${t}.cpp)
  set_source_files_properties(${CMAKE_SOURCE_DIR}/fuzz/${t}.cpp PROPERTIES OBJECT_DEPENDS ${FUZZ_IGNORE})
  target_include_directories(${t} PRIVATE ${CMAKE_SOURCE_DIR}/fuzz)
  target_compile_options(${t} PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
    -fsanitize-coverage-ignorelist=${FUZZ_IGNORE})
  target_link_options(${t} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${t} PRIVATE vireluz_core)
endforeach()
add_custom_target(fuzz_all DEPENDS ${VIRELUZ_FUZZ_TARGETS})

# Replaying the seed corpus (with its regression inputs) once is a quick check:
# `ctest --test-dir build-fuzz`.
enable_testing()
foreach(t ${VIRELUZ_FUZZ_TARGETS})
  add_test(NAME ${t}_seeds COMMAND ${t} -runs=0 ${CMAKE_SOURCE_DIR}/fuzz/corpus/${t})
  set_tests_properties(${t}_seeds PROPERTIES ENVIRONMENT
    "UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1;ASAN_OPTIONS=detect_leaks=1;LC_ALL=C.UTF-8")
endforeach()
