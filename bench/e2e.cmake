# End-to-end benchmarks in a real JVM over scanner-sim (Linux): latency from the simulated
# scanner writing a label to DataCount reading 1, over a pseudo-terminal and over UDP; CPU
# of the whole process while claimed and enabled with nothing scanned; and ScannerSession's
# listener: UDP wire to onScan, and idle with the trace at level 5. ./dev bench runs
# bin/bench_e2e.
if(WIN32 OR NOT TARGET kolvex_jar)
  return()
endif()
set(_bench_jar ${CMAKE_BINARY_DIR}/lib/kolvex-e2e-bench.jar)
set(_cur ${CMAKE_CURRENT_SOURCE_DIR})
set(CMAKE_CURRENT_SOURCE_DIR ${_cur}/e2e)  # kolvex_java_jar takes sources from here
kolvex_java_jar(kolvex_e2e_bench JAR ${_bench_jar}
  SOURCES com/jpos/scanner/bench/E2eBench.java com/jpos/scanner/bench/ListenerBench.java
  CLASSPATH ${KOLVEX_JAR} ${KOLVEX_API_JAR} RELEASE 11)
set(CMAKE_CURRENT_SOURCE_DIR ${_cur})
add_dependencies(kolvex_e2e_bench Kolvex Tavrix scanner-sim kolvex_api_jar)
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/bin/bench_e2e CONTENT "#!/bin/sh
set -e
export KOLVEX_REGISTRY=${CMAKE_BINARY_DIR}/bench_e2e.reg
run() { ${Java_JAVA_EXECUTABLE} -Djava.library.path=${CMAKE_BINARY_DIR}/lib -cp ${KOLVEX_JAR}:${_bench_jar} com.jpos.scanner.bench.E2eBench \"$@\"; }
run latency pty $<TARGET_FILE:scanner-sim>
# A label paced like a 9600-baud line at the default frame gap; and unpaced with FrameGapMs 0
# (each read handed on at once: paced, a label would be cut into several scans).
run latency pty $<TARGET_FILE:scanner-sim> 300 9600 default
run latency pty $<TARGET_FILE:scanner-sim> 2000 0 0
run latency udp $<TARGET_FILE:scanner-sim>
run idle $<TARGET_FILE:scanner-sim> 10
lrun() { ${Java_JAVA_EXECUTABLE} -Djava.library.path=${CMAKE_BINARY_DIR}/lib -cp ${KOLVEX_JAR}:${KOLVEX_API_JAR}:${_bench_jar} com.jpos.scanner.bench.ListenerBench \"$@\"; }
lrun latency $<TARGET_FILE:scanner-sim>
lrun idle $<TARGET_FILE:scanner-sim> ${CMAKE_BINARY_DIR}/bench_listener_idle.log 10
" FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
