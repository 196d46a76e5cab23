# cmake -DSOURCE=DIR -DBINARY=DIR -DCXX=COMPILER -P run.cmake: configures the
# fresh project in SOURCE for this machine's instruction set (-march=native:
# fused multiply-add wherever the CPU has it, in the plain code as well as
# in the clones), optimized as a release build, builds it and runs its
# digests; fails if any step does.
foreach(step configure build digests)
  if(step STREQUAL "configure")
    set(command ${CMAKE_COMMAND} -S ${SOURCE} -B ${BINARY} -DCMAKE_BUILD_TYPE=Release
                -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_CXX_FLAGS=-march=native)
  elseif(step STREQUAL "build")
    set(command ${CMAKE_COMMAND} --build ${BINARY} -j 2)
  else()
    set(command ${BINARY}/test_digest)
  endif()
  execute_process(COMMAND ${command} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "the solver built alone: ${step} failed\n${out}")
  endif()
endforeach()
message(STATUS "the solver built alone (-march=native, release) reproduces every digest")
