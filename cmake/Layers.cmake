# morvane_layer(<target>...): the targets are the library of the layer whose
# folder this is (platform, imaging, support, app). A target that links one may
# include "<layer>/<header>" of that layer and of no layer it does not link, so
# that a dependency against the direction app -> imaging, support -> platform
# fails to compile: the include path names a folder of the build tree that
# holds nothing but a link to the layer's own folder. Where the link cannot be
# made (Windows without Developer Mode), the include path names the project's
# folder instead: the build works, without that check.
function(morvane_layer)
  cmake_path(GET CMAKE_CURRENT_SOURCE_DIR FILENAME layer)
  set(root ${PROJECT_BINARY_DIR}/layers/${layer})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${layer} RESULT failure SYMBOLIC)
  if(failure)
    message(STATUS "No link to ${layer}/ in the build tree (${failure}): its includes go unchecked")
    set(root ${PROJECT_SOURCE_DIR})
  endif()
  foreach(target IN LISTS ARGN)
    target_include_directories(${target} PUBLIC ${root})
  endforeach()
endfunction()
