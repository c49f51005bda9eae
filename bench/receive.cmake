# Receive path per scan, and the JNI round trip from Java.
kolvex_add_bench(bench_receive SOURCES receive/ReceiveBench.cpp LIBS kolvex_core Tavrix)

# Java benchmark: needs the framework test double to feed one scan (as the JVM tests do).
# Run it with -Djava.library.path=build/bench/fakefw.
if(TARGET kolvex_jar AND NOT WIN32)
  include(${CMAKE_SOURCE_DIR}/cmake/FakeFramework.cmake)
  kolvex_java_jar(kolvex_bench_jar JAR ${CMAKE_BINARY_DIR}/lib/kolvex-bench.jar
    SOURCES java/com/jpos/scanner/tests/KolvexJniBench.java
            ../tests/jvm/com/jpos/scanner/tests/Feed.java
    CLASSPATH ${KOLVEX_JAR})
  add_dependencies(kolvex_bench_jar KolvexFake KolvexJvmFeed)
endif()
