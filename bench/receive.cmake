# Receive path per scan, and the JNI round trip from Java.
kolvex_add_bench(bench_receive SOURCES receive/ReceiveBench.cpp LIBS kolvex_core Tavrix)

# Java benchmark: needs the framework test double to feed one scan (as the JVM tests do).
get_target_property(_tavrix_sources Tavrix SOURCES)
if(TARGET kolvex_jar AND NOT WIN32 AND _tavrix_sources MATCHES "FakeTavrix")
  add_library(KolvexJvmFeed SHARED ${CMAKE_SOURCE_DIR}/tests/jvm/Feed.cpp)
  target_link_libraries(KolvexJvmFeed PRIVATE Tavrix kolvex_jni_headers kolvex_platform)
  target_include_directories(KolvexJvmFeed PRIVATE ${CMAKE_SOURCE_DIR})
  kolvex_java_jar(kolvex_bench_jar JAR ${CMAKE_BINARY_DIR}/lib/kolvex-bench.jar
    SOURCES java/com/jpos/scanner/tests/KolvexJniBench.java
            ../tests/jvm/com/jpos/scanner/tests/Feed.java
    CLASSPATH ${KOLVEX_JAR})
  add_dependencies(kolvex_bench_jar Kolvex KolvexJvmFeed)
endif()
