# cmake --install: the program in bin, the libraries in lib, the public header
# with a pkg-config file and a CMake package config, and the program's data in
# share/zelto5, where the installed program looks when its own folder has none.
include(CMakePackageConfigHelpers)

set(z5_libraries z5platform)
if(TARGET z5d2xx)
  list(APPEND z5_libraries z5d2xx)
endif()
if(TARGET tovamod)
  list(APPEND z5_libraries tovamod)
endif()
install(TARGETS ${z5_libraries}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/include/tovamod.h ${CMAKE_SOURCE_DIR}/platform/z5widestring.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

if(TARGET tovamod)
  set(z5_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/tovamod)
  configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/tovamodConfig.cmake.in
    ${CMAKE_BINARY_DIR}/tovamodConfig.cmake INSTALL_DESTINATION ${z5_cmake_dir}
    PATH_VARS CMAKE_INSTALL_LIBDIR CMAKE_INSTALL_INCLUDEDIR)
  write_basic_package_version_file(${CMAKE_BINARY_DIR}/tovamodConfigVersion.cmake COMPATIBILITY SameMajorVersion)
  install(FILES ${CMAKE_BINARY_DIR}/tovamodConfig.cmake ${CMAKE_BINARY_DIR}/tovamodConfigVersion.cmake
    DESTINATION ${z5_cmake_dir})

  # The pkg-config file finds the prefix from its own place, so it also holds
  # for a prefix given only at install time.
  file(RELATIVE_PATH z5_pc_to_prefix /p/${CMAKE_INSTALL_LIBDIR}/pkgconfig /p)
  string(REGEX REPLACE "/$" "" z5_pc_to_prefix "${z5_pc_to_prefix}")
  configure_file(${CMAKE_SOURCE_DIR}/cmake/tovamod.pc.in ${CMAKE_BINARY_DIR}/tovamod.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/tovamod.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endif()

if(TARGET Kavrel)
  install(TARGETS Kavrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/updater/data/ DESTINATION ${CMAKE_INSTALL_DATADIR}/zelto5
    PATTERN images EXCLUDE)
endif()
