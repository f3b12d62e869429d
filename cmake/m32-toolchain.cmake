# The 32-bit x86 build: the host's compiler with -m32 (multilib), libraries of the i386
# architecture, and qemu-i386 to run what it builds, since this kernel runs no 32-bit code.
#
# Floating-point arithmetic goes through SSE as on x86-64: the x87 unit would keep intermediate
# results at extended precision (changing the voicing's rounding) and ignores the flush-to-zero
# mode that rendering sets.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
foreach(kind EXE SHARED MODULE)
    set(CMAKE_${kind}_LINKER_FLAGS_INIT "-m32")
endforeach()

# pkg-config answers for the i386 libraries only.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig")

find_program(QUENZAL_QEMU_I386 qemu-i386 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QUENZAL_QEMU_I386})
