# The synthesizer's bundle, Zarn.bundle/ in the build tree: Zarn.so (the
# bridge carrying the synthesizer, only the host entry points exported), the
# information file and Resources/, which the generators under resources/
# fill with the filter characteristics, the factory MIDI controller map and
# the factory presets.

if(TARGET zarn_synth)
  zarn_bundle(Zarn
    INFO ${CMAKE_CURRENT_LIST_DIR}/Info.txt.in
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/bundle/ZarnBundle.cpp
    LIBRARIES zarn_bridge zarn_synth_editor zarn_synth zarn_editor zarn_gui zarn_hints zarn_host zarn_host_services zarn_plugin
              zarn_wave zarn_base zarn_platform Threads::Threads)

  # The resource generators are defined later in the tree (resources/ and
  # its sub-folders): the bundle depends on each of their custom targets, so
  # a bundle built on its own still gets its resources.
  function(_zarn_bundle_resources dir)
    get_property(_targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(_t ${_targets})
      get_target_property(_type ${_t} TYPE)
      if(_type STREQUAL "UTILITY")
        add_dependencies(Zarn ${_t})
      endif()
    endforeach()
    get_property(_subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(_d ${_subdirs})
      _zarn_bundle_resources(${_d})
    endforeach()
  endfunction()
  cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL _zarn_bundle_resources ${CMAKE_SOURCE_DIR}/resources)
endif()
