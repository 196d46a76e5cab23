# The C++ settings that every build of geneig shares: the root, cross/ and
# fuzz/ include this file before they add any target. C++20 without
# compiler extensions, and the warnings.
#
# Nothing here changes a result: the compile flags that the solver's bits
# depend on travel with its target (src/solver/CMakeLists.txt), so that any
# build that adds src/solver, this project's or another's, computes the same
# bits.
include_guard(GLOBAL)

set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
add_compile_options(-Wall -Wextra)

# geneig_default_build_type(TYPE): TYPE unless the configure names one.
macro(geneig_default_build_type type)
  if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
    set(CMAKE_BUILD_TYPE ${type} CACHE STRING "Build type" FORCE)
  endif()
endmacro()
