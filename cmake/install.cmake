# The installed tree (`make install`, i.e. `cmake --install build/release --prefix P`), laid
# out as a Debian library package lays it out:
#
#   bin/zorv                          the command; RUNPATH $ORIGIN/../lib
#   lib/libzorv.so.1.0.3              the library; SONAME libzorv.so.1
#   lib/libzorv.so.1 -> libzorv.so.1.0.3, lib/libzorv.so -> libzorv.so.1 (for -lzorv)
#   lib/libnqkernel.so.1.0.3, .so.1, .so  the host runtime's kernel, versioned the same way
#   lib/zorv/libnqstring.so, libnqetok.so, libnqeparse.so   the sibling extensions
#   lib/zorv/libzorv.so -> ../libzorv.so.1                  what the kernel loads as "zorv"
#   include/zorv/*.h, nodetypes.def   the public headers
#   lib/pkgconfig/zorv.pc, lib/cmake/zorv/  pkg-config file; CMake package (zorv::zorv)
#   share/man/man1/zorv.1, share/zorv/sample.csv  the manual; the command's sample table
#
# The kernel loads an extension as lib<name>.so from its extension folder. The sibling
# extensions are plugins that only the kernel opens, never linked by a program: they stay
# out of the linker's search path in the private folder lib/zorv/, which the kernel prefers
# when it exists beside libnqkernel.so (host/kernel/kernel.cpp), and keep unversioned names.
# libzorv.so is both: a plugin the kernel loads by name and a library whose exported names
# programs link. Its real file is versioned in lib/; the kernel's lib/zorv/libzorv.so
# points at the SONAME link, so that the runtime needs no development link and follows an
# upgrade of the library, and a program that links libzorv.so.1 and loads it through the
# kernel gets one copy (the dynamic loader knows the file again by device and inode).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(ZORV_EXTENSION_DIR ${CMAKE_INSTALL_LIBDIR}/zorv)

set_target_properties(zorv PROPERTIES VERSION ${PROJECT_VERSION}
                                      SOVERSION ${PROJECT_VERSION_MAJOR})
if(TARGET nqkernel)
  set_target_properties(nqkernel PROPERTIES VERSION ${PROJECT_VERSION}
                                            SOVERSION ${PROJECT_VERSION_MAJOR})
endif()

# Only the release tree is installed; the rules below are harmless elsewhere, but need the
# host runtime and the command.
if(NOT TARGET nqkernel OR NOT TARGET zorv_cli)
  return()
endif()

# An embedding program links the kernel (it opens one and loads the library through it) and
# libzorv (for the exported names it calls: missing values, case mapping, ZORVTran ...).
# The installed headers are the include directory. Neither applies inside the build tree.
target_link_libraries(zorv INTERFACE $<INSTALL_INTERFACE:nqkernel>)
install(TARGETS zorv nqkernel EXPORT zorvTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

foreach(ext nqstring nqetok nqeparse)
  # They need libnqkernel.so.1, one folder up.
  set_target_properties(${ext} PROPERTIES INSTALL_RPATH "$ORIGIN/..")
  install(TARGETS ${ext} LIBRARY DESTINATION ${ZORV_EXTENSION_DIR})
endforeach()
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install)
file(CREATE_LINK ../libzorv.so.${PROJECT_VERSION_MAJOR} ${CMAKE_BINARY_DIR}/install/libzorv.so
     SYMBOLIC)
install(FILES ${CMAKE_BINARY_DIR}/install/libzorv.so DESTINATION ${ZORV_EXTENSION_DIR})

set_target_properties(zorv_cli PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
install(TARGETS zorv_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/data/sample.csv DESTINATION ${CMAKE_INSTALL_DATADIR}/zorv)
install(FILES ${CMAKE_SOURCE_DIR}/cli/zorv.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

file(GLOB public_headers ${CMAKE_SOURCE_DIR}/include/zorv/*.h
     ${CMAKE_SOURCE_DIR}/include/zorv/*.def)
install(FILES ${public_headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zorv)

# The CMake package: imported targets zorv::zorv and zorv::nqkernel, found relative to the
# package's own folder, so the tree may be moved after installation.
set(cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/zorv)
install(EXPORT zorvTargets NAMESPACE zorv:: DESTINATION ${cmake_dir})
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/zorvConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/install/zorvConfig.cmake
                              INSTALL_DESTINATION ${cmake_dir})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/install/zorvConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/install/zorvConfig.cmake
              ${CMAKE_BINARY_DIR}/install/zorvConfigVersion.cmake DESTINATION ${cmake_dir})

# pkg-config names absolute folders, so zorv.pc is written when installing, for the prefix
# given then (`cmake --install --prefix`), not the one the tree was configured with.
install(CODE "
  set(ZORV_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  set(ZORV_PC_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
  set(ZORV_PC_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
  set(ZORV_PC_VERSION \"${PROJECT_VERSION}\")
  configure_file(\"${CMAKE_SOURCE_DIR}/cmake/zorv.pc.in\" \"${CMAKE_BINARY_DIR}/install/zorv.pc\"
                 @ONLY)
  file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig\"
       TYPE FILE FILES \"${CMAKE_BINARY_DIR}/install/zorv.pc\")
")
