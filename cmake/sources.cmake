# Variant-neutral frame code: compiled once, for the baseline processor.
set(VORTA_FRAME_SOURCES
    frame/allocation.cpp
    frame/cpu_probe.cpp
    frame/exports.cpp
    frame/initialize.cpp
    frame/service_lists.cpp
    frame/variant_table.cpp)

# Kernel sources: compiled once per variant, into vorta::sse2 and vorta::avx2.
# Every .cpp of the kernel folders is a kernel source; a new family only adds files.
file(GLOB VORTA_VARIANT_SOURCES CONFIGURE_DEPENDS
     ${CMAKE_SOURCE_DIR}/containers/*.cpp ${CMAKE_SOURCE_DIR}/math/*.cpp
     ${CMAKE_SOURCE_DIR}/scene/*.cpp ${CMAKE_SOURCE_DIR}/tensor/*.cpp)
list(PREPEND VORTA_VARIANT_SOURCES frame/variant_bodies.cpp)
