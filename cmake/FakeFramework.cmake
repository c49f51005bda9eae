include_guard(GLOBAL)
# Kolvex linked against the test double, built as a shared library named Tavrix, both in a
# folder of their own: the JVM tests and the export test program drive the service through
# it (feeding bytes, answering claims) while the real Tavrix serves the end-to-end tests.
set(KOLVEX_FAKEFW_DIR ${CMAKE_BINARY_DIR}/fakefw)
add_library(TavrixFake SHARED ${CMAKE_SOURCE_DIR}/tests/support/FakeTavrix.cpp)
target_compile_definitions(TavrixFake PRIVATE TAVRIX_BUILD)
target_link_libraries(TavrixFake PRIVATE kolvex_platform kolvex_framework_api)
target_include_directories(TavrixFake PUBLIC ${CMAKE_SOURCE_DIR})
add_library(KolvexFake SHARED ${CMAKE_SOURCE_DIR}/jni/KolvexJni.cpp
            ${CMAKE_SOURCE_DIR}/jni/KolvexEventsJni.cpp)
target_link_libraries(KolvexFake PRIVATE kolvex_core TavrixFake)
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_sources(KolvexFake PRIVATE ${CMAKE_SOURCE_DIR}/jni/Kolvex.def)
  target_compile_definitions(KolvexFake PRIVATE KOLVEX_JNI_DEF_EXPORTS)
endif()
foreach(t TavrixFake KolvexFake)
  string(REPLACE "Fake" "" _name ${t})
  set_target_properties(${t} PROPERTIES OUTPUT_NAME ${_name}
    LIBRARY_OUTPUT_DIRECTORY ${KOLVEX_FAKEFW_DIR} RUNTIME_OUTPUT_DIRECTORY ${KOLVEX_FAKEFW_DIR}
    ARCHIVE_OUTPUT_DIRECTORY ${KOLVEX_FAKEFW_DIR})
endforeach()
set_target_properties(KolvexFake PROPERTIES CXX_VISIBILITY_PRESET hidden)

# The test-only JNI library through which Java feeds bytes to the test double.
if(NOT WIN32)
  # A Kolvex as it was before the extension natives (the eleven only), over the same test
  # double: the Java side must fall back to polling with it.
  set(KOLVEX_FAKEFW_PLAIN_DIR ${CMAKE_BINARY_DIR}/fakefw-plain)
  add_library(KolvexPlain SHARED ${CMAKE_SOURCE_DIR}/jni/KolvexJni.cpp)
  target_link_libraries(KolvexPlain PRIVATE kolvex_core TavrixFake)
  set_target_properties(KolvexPlain PROPERTIES OUTPUT_NAME Kolvex CXX_VISIBILITY_PRESET hidden
    LIBRARY_OUTPUT_DIRECTORY ${KOLVEX_FAKEFW_PLAIN_DIR})

  add_library(KolvexJvmFeed SHARED ${CMAKE_SOURCE_DIR}/tests/jvm/Feed.cpp)
  target_link_libraries(KolvexJvmFeed PRIVATE TavrixFake kolvex_jni_headers kolvex_platform)
  target_include_directories(KolvexJvmFeed PRIVATE ${CMAKE_SOURCE_DIR})
  set_target_properties(KolvexJvmFeed PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${KOLVEX_FAKEFW_DIR})
endif()
