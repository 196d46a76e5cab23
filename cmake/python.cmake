# The Python module (GENEIG_BUILD_PYTHON): the package geneig, built as
#
#   <build>/python/geneig/__init__.py, dask.py, *.pyi, py.typed
#   <build>/python/geneig/_geneig.<abi>.so   the solver and the file routines
#
# so that PYTHONPATH=<build>/python imports it, and installed into the
# prefix's site-packages (GENEIG_PYTHON_INSTALL_DIR). Debian's /usr/bin/python3
# with NumPy and pybind11. With the tests, CTest runs the pytest suite of
# tests/python on it.
include_guard(GLOBAL)

if(GENEIG_SANITIZE)
  # An extension module built with the sanitizers needs their run-time
  # preloaded into the interpreter; the sanitized builds leave it out.
  message(STATUS "geneig: the Python module is not built with the sanitizers")
  return()
endif()

if(NOT DEFINED Python_EXECUTABLE AND EXISTS /usr/bin/python3)
  set(Python_EXECUTABLE /usr/bin/python3 CACHE FILEPATH "The Python of the module")
endif()
find_package(Python 3.9 QUIET COMPONENTS Interpreter Development.Module)
set(PYBIND11_FINDPYTHON ON)
find_package(pybind11 2.6 CONFIG QUIET)
set(_geneig_missing)
if(NOT Python_Development.Module_FOUND)
  list(APPEND _geneig_missing python3-dev)
endif()
if(NOT pybind11_FOUND)
  list(APPEND _geneig_missing pybind11-dev)
endif()

# geneig_python_modules(VAR MODULE PACKAGE...): the packages of the Python
# modules that Python_EXECUTABLE cannot import, appended to VAR.
function(geneig_python_modules var)
  set(missing ${${var}})
  while(ARGN)
    list(POP_FRONT ARGN module package)
    execute_process(COMMAND ${Python_EXECUTABLE} -c "import ${module}"
                    RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
    if(NOT status EQUAL 0)
      list(APPEND missing ${package})
    endif()
  endwhile()
  set(${var} ${missing} PARENT_SCOPE)
endfunction()
if(Python_Interpreter_FOUND)
  geneig_python_modules(_geneig_missing numpy python3-numpy)
else()
  list(APPEND _geneig_missing python3 python3-numpy)
endif()
if(_geneig_missing)
  geneig_missing("the Python bindings" ${_geneig_missing})
endif()

set(GENEIG_PYTHON_DIR ${PROJECT_BINARY_DIR}/python)
pybind11_add_module(geneig_python MODULE NO_EXTRAS src/python/module.cpp
                    src/python/stack_solve.cpp)
set_target_properties(geneig_python PROPERTIES OUTPUT_NAME _geneig
                      LIBRARY_OUTPUT_DIRECTORY ${GENEIG_PYTHON_DIR}/geneig
                      CXX_VISIBILITY_PRESET hidden)
find_package(Threads REQUIRED)
# The solver's target brings the flags that its bits depend on.
target_link_libraries(geneig_python PRIVATE geneig_io geneig_solver Threads::Threads)
target_include_directories(geneig_python PRIVATE ${GENEIG_INCLUDE_DIR})  # version.h

set(GENEIG_PYTHON_FILES __init__.py __init__.pyi dask.py dask.pyi py.typed)
foreach(file ${GENEIG_PYTHON_FILES})
  configure_file(src/python/geneig/${file} ${GENEIG_PYTHON_DIR}/geneig/${file} COPYONLY)
endforeach()

execute_process(
  COMMAND ${Python_EXECUTABLE} -c
          "import sysconfig; print(sysconfig.get_path('platlib', 'posix_prefix', vars={'base': '', 'platbase': ''}).lstrip('/'))"
  OUTPUT_VARIABLE _geneig_site OUTPUT_STRIP_TRAILING_WHITESPACE)
set(GENEIG_PYTHON_INSTALL_DIR ${_geneig_site} CACHE STRING
    "Where cmake --install puts the package geneig, relative to the prefix")
if(IS_ABSOLUTE "${GENEIG_PYTHON_INSTALL_DIR}" OR GENEIG_PYTHON_INSTALL_DIR STREQUAL "")
  message(FATAL_ERROR "GENEIG_PYTHON_INSTALL_DIR must be a path relative to the prefix, "
                      "not '${GENEIG_PYTHON_INSTALL_DIR}'")
endif()
install(TARGETS geneig_python LIBRARY DESTINATION ${GENEIG_PYTHON_INSTALL_DIR}/geneig)
list(TRANSFORM GENEIG_PYTHON_FILES PREPEND src/python/geneig/ OUTPUT_VARIABLE _geneig_sources)
install(FILES ${_geneig_sources} DESTINATION ${GENEIG_PYTHON_INSTALL_DIR}/geneig)

if(GENEIG_BUILD_TESTS)
  set(_geneig_missing)
  geneig_python_modules(_geneig_missing scipy python3-scipy pytest python3-pytest
                        dask.array python3-dask distributed python3-distributed)
  if(_geneig_missing)
    geneig_missing("the tests" ${_geneig_missing})
  endif()
  # The slow tests have their own command, make test-python-slow.
  add_test(NAME python COMMAND ${Python_EXECUTABLE} -m pytest -q -p no:cacheprovider -m "not slow"
                               ${PROJECT_SOURCE_DIR}/tests/python)
  set_tests_properties(python PROPERTIES TIMEOUT 300 ENVIRONMENT
                       "PYTHONPATH=${GENEIG_PYTHON_DIR};GENEIG_EXE=$<TARGET_FILE:geneig>")
endif()
