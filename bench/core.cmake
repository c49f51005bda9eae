# Service core: push+deliver of one scan in steady state (time and heap allocations per
# scan) and decoding one scan.
kolvex_add_bench(core_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/core/CoreBench.cpp LIBS kolvex_core Tavrix)
