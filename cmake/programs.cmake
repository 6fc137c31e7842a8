# z5_programs: the programs a user starts from the build folder (what the run
# command builds): the update program with its data files, the device simulator,
# the example clients and every benchmark program (targets named *_benchmark).
function(z5_benchmarks_below dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  list(FILTER targets INCLUDE REGEX "_benchmark$")
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub ${subdirs})
    z5_benchmarks_below(${sub} more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

z5_benchmarks_below(${CMAKE_SOURCE_DIR} z5_benchmarks)
add_custom_target(z5_programs)
foreach(t Kavrel kavrel_data kavrel_notice_files z5sim list_devices read_measurements ${z5_benchmarks})
  if(TARGET ${t})
    add_dependencies(z5_programs ${t})
  endif()
endforeach()
