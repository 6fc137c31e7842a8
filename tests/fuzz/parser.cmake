# Stream parser, frame and ASCII mode. The parser's sources are compiled in so that
# libFuzzer sees their coverage.
add_executable(parser_fuzz
  ${CMAKE_CURRENT_LIST_DIR}/parser_fuzz.cpp
  ${CMAKE_SOURCE_DIR}/library/uStreamParser.cpp
  ${CMAKE_SOURCE_DIR}/library/uNumberText.cpp)
target_include_directories(parser_fuzz PRIVATE ${CMAKE_SOURCE_DIR}/library ${CMAKE_SOURCE_DIR}/tests/parser)
target_compile_options(parser_fuzz PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)
target_link_options(parser_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
add_dependencies(z5_fuzzers parser_fuzz)

# New inputs go to the build tree; the seeds in the repository stay as they are.
set(parser_fuzz_corpus ${CMAKE_CURRENT_BINARY_DIR}/corpus/parser)
file(MAKE_DIRECTORY ${parser_fuzz_corpus})
add_test(NAME parser_fuzz
  COMMAND parser_fuzz -max_total_time=20 -timeout=10 -rss_limit_mb=2048
          ${parser_fuzz_corpus} ${CMAKE_CURRENT_LIST_DIR}/corpus/parser)
set_tests_properties(parser_fuzz PROPERTIES LABELS fuzz TIMEOUT 120)
