# Readers of the update program's configuration and language files. The units
# are compiled into the target so that the fuzzer sees their coverage.
if(TARGET kavrel_core)
  find_package(Qt6 REQUIRED COMPONENTS Core)
  z5_add_fuzzer(fuzz_updater_texts
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/updater_texts_fuzz.cpp
      ${CMAKE_SOURCE_DIR}/updater/configfile.cpp
      ${CMAKE_SOURCE_DIR}/updater/filebytes.cpp
      ${CMAKE_SOURCE_DIR}/updater/global.cpp
      ${CMAKE_SOURCE_DIR}/updater/textconv.cpp
      ${CMAKE_SOURCE_DIR}/updater/userlocale.cpp
    LIBS Qt6::Core
    CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/updater_texts)
  target_include_directories(fuzz_updater_texts PRIVATE ${CMAKE_SOURCE_DIR}/updater)
endif()
