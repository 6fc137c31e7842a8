# Data logger directory and header replies. The parsing sources are compiled in so
# that libFuzzer sees their coverage.
z5_add_fuzzer(dlu_fuzz
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/dlu_fuzz.cpp
          ${CMAKE_SOURCE_DIR}/library/uDLUFileData.cpp
          ${CMAKE_SOURCE_DIR}/library/uNumberText.cpp
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/dlu)
target_include_directories(dlu_fuzz PRIVATE ${CMAKE_SOURCE_DIR}/library ${CMAKE_SOURCE_DIR}/include
  ${CMAKE_SOURCE_DIR}/platform)
target_compile_options(dlu_fuzz PRIVATE -fno-sanitize-recover=undefined)
