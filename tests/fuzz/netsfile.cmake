# The networks file reader, with a save and a reload of every tree it reads.
find_package(pugixml QUIET)
if(TARGET pugixml::pugixml OR TARGET pugixml)
  z5_add_fuzzer(netsfile_fuzz
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/netsfile_fuzz.cpp ${CMAKE_SOURCE_DIR}/library/uZ5NetsFileController.cpp
    LIBS z5platform $<IF:$<TARGET_EXISTS:pugixml::pugixml>,pugixml::pugixml,pugixml>
    CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/netsfile)
  target_include_directories(netsfile_fuzz PRIVATE ${CMAKE_SOURCE_DIR}/library ${CMAKE_SOURCE_DIR}/include)
  target_compile_definitions(netsfile_fuzz PRIVATE TOVAMOD_INTERNAL)
  target_compile_options(netsfile_fuzz PRIVATE -fno-sanitize-recover=undefined)
endif()
