# ImageProcessing.dll as Windows programs expect it: named without a "lib"
# prefix, exporting exactly the names of its .def file, with a version
# resource, pinned once loaded (src/dll_main.cpp), and depending on system
# DLLs alone (the toolchain files link GCC's runtime statically). Included
# by imageprocessing/CMakeLists.txt when building for Windows.

# The same code as a static library, which the tests link: the DLL keeps
# private copies of Highway's choice of SIMD level, OpenMP's thread count and
# operator new, which the tests set or count. Made before the DLL-only files join.
get_target_property(_imageprocessing_sources ImageProcessing SOURCES)
add_library(ImageProcessingStatic STATIC ${_imageprocessing_sources})
target_compile_definitions(ImageProcessingStatic PUBLIC MORVANE_IMAGEPROCESSING_STATIC)
target_include_directories(ImageProcessingStatic
  PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include
  PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src)
target_link_libraries(ImageProcessingStatic PUBLIC OpenMP::OpenMP_CXX hwy::hwy Threads::Threads
                                            PRIVATE morvane_build_flags)


enable_language(RC)
configure_file(${CMAKE_CURRENT_LIST_DIR}/ImageProcessing.rc.in
               ${CMAKE_CURRENT_BINARY_DIR}/ImageProcessing.rc @ONLY)
target_sources(ImageProcessing PRIVATE src/dll_main.cpp
                                       ${CMAKE_CURRENT_LIST_DIR}/ImageProcessing-${MORVANE_WINDOWS_ARCH}.def
                                       ${CMAKE_CURRENT_BINARY_DIR}/ImageProcessing.rc)
# ImageProcessing.dll beside libImageProcessing.dll.a, the import library
# that mingw-w64 callers link.
set_target_properties(ImageProcessing PROPERTIES PREFIX "")
