# Prerequisites of the optional parts of the build. When one is missing,
# configuring stops with one line naming the Debian packages to install; the
# line is also left in the build directory as "missing-prerequisites", which
# the Makefile prints in place of CMake's whole log.

file(REMOVE ${CMAKE_BINARY_DIR}/missing-prerequisites)

# geneig_missing(WHAT PACKAGE...): stop, naming what needs the packages.
function(geneig_missing what)
  list(JOIN ARGN " " packages)
  set(line "${what} need the Debian packages: ${packages} (make deps installs them, as root)")
  file(WRITE ${CMAKE_BINARY_DIR}/missing-prerequisites "${line}\n")
  message(FATAL_ERROR "${line}")
endfunction()

# geneig_require(WHAT NAME PACKAGE [NAME PACKAGE]...): find_package(NAME)
# for each pair, and stop naming the packages of all that are missing.
macro(geneig_require what)
  set(_geneig_args ${ARGN})
  set(_geneig_missing)
  while(_geneig_args)
    list(POP_FRONT _geneig_args _geneig_name _geneig_package)
    find_package(${_geneig_name} QUIET)
    if(NOT ${_geneig_name}_FOUND)
      list(APPEND _geneig_missing ${_geneig_package})
    endif()
  endwhile()
  if(_geneig_missing)
    list(REMOVE_DUPLICATES _geneig_missing)
    geneig_missing("${what}" ${_geneig_missing})
  endif()
endmacro()
