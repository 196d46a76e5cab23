# geneig_reference_lapack: what the tests' oracle and the benchmarks'
# "zhegvd" and "zhegv" rows link, reference LAPACK with reference BLAS.
#
# Debian lets an optimized library (OpenBLAS, BLIS, ...) take the names
# liblapack.so.3 and libblas.so.3 through its alternatives, and FindLAPACK
# then finds that one; the reference libraries stay in lapack/ and blas/
# beside them. Where those directories exist, the target links the
# libraries there, and an executable that links it looks in them first for
# every library it loads, whatever the alternatives point at: DT_RPATH,
# since DT_RUNPATH would not reach liblapack's own dependence on libblas.
# Elsewhere it falls back to what FindLAPACK found.
include_guard(GLOBAL)
find_package(LAPACK REQUIRED)
set(_geneig_multiarch "/usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}")
find_library(GENEIG_REFERENCE_LAPACK NAMES lapack PATHS "${_geneig_multiarch}/lapack"
             NO_DEFAULT_PATH)
find_library(GENEIG_REFERENCE_BLAS NAMES blas PATHS "${_geneig_multiarch}/blas" NO_DEFAULT_PATH)
add_library(geneig_reference_lapack INTERFACE)
if(CMAKE_LIBRARY_ARCHITECTURE AND GENEIG_REFERENCE_LAPACK AND GENEIG_REFERENCE_BLAS)
  target_link_libraries(geneig_reference_lapack INTERFACE ${GENEIG_REFERENCE_LAPACK}
                        ${GENEIG_REFERENCE_BLAS})
  target_link_options(geneig_reference_lapack INTERFACE "LINKER:--disable-new-dtags"
                      "LINKER:-rpath,${_geneig_multiarch}/lapack:${_geneig_multiarch}/blas")
else()
  target_link_libraries(geneig_reference_lapack INTERFACE ${LAPACK_LIBRARIES})
endif()
