# Serial lines over scanner-sim's line timing: silences inside a label, latency beyond the
# frame gap.
kolvex_add_bench(serial_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/serial/SerialBench.cpp
  LIBS tavrix_core scanner_sim_core)
