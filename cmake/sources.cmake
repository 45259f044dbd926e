# Variant-neutral frame code: compiled once, for the baseline processor.
set(VORTA_FRAME_SOURCES
    frame/allocation.cpp
    frame/cpu_probe.cpp
    frame/exports.cpp
    frame/initialize.cpp
    frame/service_lists.cpp
    frame/variant_table.cpp)

# Kernel sources: compiled once per variant, into vorta::sse2 and vorta::avx2.
set(VORTA_VARIANT_SOURCES
    frame/variant_bodies.cpp
    containers/allocators.cpp
    containers/disposal.cpp
    containers/xxh3.cpp
    tensor/broadcast.cpp
    tensor/conv.cpp
    tensor/maps.cpp
    tensor/matmul.cpp
    tensor/reductions.cpp
    tensor/transcendental.cpp)
