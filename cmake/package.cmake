# The installed library and the files that let other builds find it:
#
#   bin/geneig                         the program
#   lib/libgeneig.a, lib/libgeneig.so  solver, file routines, C and Fortran entries
#   include/geneig/                    geneig.h (C), geneig.hpp and the C++ headers;
#                                      the public headers only
#   lib/cmake/geneig/                  find_package(geneig): target geneig::geneig
#   lib/pkgconfig/geneig.pc            pkg-config geneig (libgeneig.so)
#   lib/pkgconfig/geneig-static.pc     pkg-config geneig-static (libgeneig.a)
#   share/man/man1, man3               geneig(1); eigcab(3), eigch(3), mtxcnv(3), and
#                                      eigcabw(3), eigchw(3), eiglwork(3) leading to them
#   share/doc/geneig/                  README.md, CHANGELOG.md, LICENSE and the manual, docs/
#
# Every file found through the package locates the others relative to
# itself, so an installed tree can be moved.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(GENEIG_INCLUDE_DIR ${PROJECT_BINARY_DIR}/include/geneig)
configure_file(${PROJECT_SOURCE_DIR}/src/api/version.h.in ${GENEIG_INCLUDE_DIR}/version.h @ONLY)

# One set of objects for both libraries, compiled once with the flags that
# make every result the same bits; position-independent for the shared one.
set_target_properties(geneig_solver geneig_io PROPERTIES POSITION_INDEPENDENT_CODE ON)
set(GENEIG_OBJECTS $<TARGET_OBJECTS:geneig_solver> $<TARGET_OBJECTS:geneig_io>
                   $<TARGET_OBJECTS:geneig_api>)
add_library(geneig_shared SHARED ${GENEIG_OBJECTS})
add_library(geneig_static STATIC ${GENEIG_OBJECTS})
set_target_properties(geneig_shared PROPERTIES OUTPUT_NAME geneig EXPORT_NAME geneig
                      VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
set_target_properties(geneig_static PROPERTIES OUTPUT_NAME geneig EXPORT_NAME geneig_static)
# The shared library exports the API alone (geneig.map); the static library
# and the program keep every symbol.
target_link_options(geneig_shared PRIVATE LINKER:--no-undefined
                    LINKER:--version-script=${PROJECT_SOURCE_DIR}/cmake/geneig.map)
set_property(TARGET geneig_shared APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/geneig.map)
foreach(library geneig_shared geneig_static)
  target_include_directories(${library} INTERFACE
                             $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  target_compile_features(${library} INTERFACE cxx_std_20)
endforeach()

install(TARGETS geneig RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS geneig_shared geneig_static EXPORT geneigTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
# The public headers, and no other: each compiles on its own.
install(FILES src/api/geneig.h src/api/geneig.hpp ${GENEIG_INCLUDE_DIR}/version.h
              src/solver/eigcab.hpp src/solver/mtxcnv.hpp src/solver/geneig_ill.h
              src/solver/result_check.hpp
              src/driver/rdmtx.hpp src/driver/saveeig.hpp
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/geneig)

set(GENEIG_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/geneig)
install(EXPORT geneigTargets NAMESPACE geneig:: DESTINATION ${GENEIG_CMAKE_DIR})
configure_package_config_file(cmake/geneigConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/geneigConfig.cmake
                              INSTALL_DESTINATION ${GENEIG_CMAKE_DIR})
# 0.x: a new minor version may change the interface.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/geneigConfigVersion.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/geneigConfig.cmake
              ${PROJECT_BINARY_DIR}/geneigConfigVersion.cmake
        DESTINATION ${GENEIG_CMAKE_DIR})

# geneig.pc and geneig-static.pc find the prefix from their own place,
# lib/pkgconfig. The linker takes libgeneig.so over libgeneig.a wherever
# both are, "pkg-config --static" or not: geneig-static names the archive
# itself.
file(RELATIVE_PATH GENEIG_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
foreach(module geneig geneig-static)
  configure_file(cmake/${module}.pc.in ${PROJECT_BINARY_DIR}/${module}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${module}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()

# The reentrant entries' pages are ".so" links to the pages that describe them.
foreach(page man1/geneig.1 man3/eigcab.3 man3/eigch.3 man3/mtxcnv.3 man3/eigcabw.3
             man3/eigchw.3 man3/eiglwork.3)
  configure_file(man/${page} ${PROJECT_BINARY_DIR}/man/${page} @ONLY)
  get_filename_component(section ${page} DIRECTORY)
  install(FILES ${PROJECT_BINARY_DIR}/man/${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/${section})
endforeach()

install(FILES LICENSE README.md CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY docs DESTINATION ${CMAKE_INSTALL_DOCDIR})
