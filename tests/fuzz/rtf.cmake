# RTF reader of the update program (Qt is linked, not instrumented).
find_package(Qt6 QUIET COMPONENTS Core Gui)
if(Qt6Gui_FOUND)
  z5_add_fuzzer(rtf_fuzz
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/rtf_fuzz.cpp
            ${CMAKE_SOURCE_DIR}/updater/rtfreader.cpp
            ${CMAKE_SOURCE_DIR}/updater/codepages.cpp
    LIBS Qt6::Core Qt6::Gui
    CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/rtf)
  target_include_directories(rtf_fuzz PRIVATE ${CMAKE_SOURCE_DIR}/updater)
endif()
