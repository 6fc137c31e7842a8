# Self-contained pieces of the update program: the CRC-32 of part files, the RTF
# reader with its code pages, and the pictures (compiled in as Qt resources).
# The notice files are copied next to the program in the build folder; their paths
# are in KAVREL_NOTICE_FILES (for install rules).
# Included from updater/CMakeLists.txt; gives the static library kavrel_assets.
find_package(Qt6 REQUIRED COMPONENTS Core Gui)

set(kavrel_assets_dir ${CMAKE_CURRENT_LIST_DIR})

add_library(kavrel_assets STATIC
  ${kavrel_assets_dir}/crc.cpp
  ${kavrel_assets_dir}/codepages.cpp
  ${kavrel_assets_dir}/rtfreader.cpp
  ${kavrel_assets_dir}/pictures.cpp
)
target_include_directories(kavrel_assets PUBLIC ${kavrel_assets_dir})
target_link_libraries(kavrel_assets PUBLIC Qt6::Core Qt6::Gui)

# resource paths :/kavrel/images/<name>.png
file(GLOB kavrel_picture_files CONFIGURE_DEPENDS ${kavrel_assets_dir}/data/images/*.png)
qt_add_resources(kavrel_assets kavrel_pictures
  PREFIX /kavrel
  BASE ${kavrel_assets_dir}/data
  FILES ${kavrel_picture_files})

file(GLOB KAVREL_NOTICE_FILES CONFIGURE_DEPENDS ${kavrel_assets_dir}/data/infotext.*.rtf)
set(kavrel_notice_copies)
foreach(f ${KAVREL_NOTICE_FILES})
  get_filename_component(name ${f} NAME)
  set(copy ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${name})
  add_custom_command(OUTPUT ${copy}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${f} ${copy}
    DEPENDS ${f} VERBATIM)
  list(APPEND kavrel_notice_copies ${copy})
endforeach()
add_custom_target(kavrel_notice_files ALL DEPENDS ${kavrel_notice_copies})
add_dependencies(kavrel_assets kavrel_notice_files)
