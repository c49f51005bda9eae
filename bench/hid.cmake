# Vantrel: report-to-read latency, ring throughput and memory per open device.
kolvex_add_bench(hid_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/hid/HidBench.cpp LIBS vantrel_core)
