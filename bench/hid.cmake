# Vantrel: report-to-read latency, ring throughput and memory per open device.
kolvex_add_bench(hid_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/hid/HidBench.cpp LIBS vantrel_core)
# The framework's HID channel against a stand-in scanner (Linux): close, clear and a stalled
# write while the device misbehaves.
if(NOT WIN32)
  kolvex_add_bench(hid_channel_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/hid/HidChannelBench.cpp
    LIBS tavrix_core vantrel_standin)
  target_compile_definitions(hid_channel_bench PRIVATE VANTREL_LIBRARY_FILE="$<TARGET_FILE:Vantrel>")
  add_dependencies(hid_channel_bench Vantrel)
endif()
