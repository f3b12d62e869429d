// Every module shares the dynamic sanitizer runtime (the platform library is shared), and the
// fuzzer's main brings in the C++ library ahead of it. Nothing in that library replaces malloc,
// so the order does no harm, and the runtime is told not to insist on coming first.
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options() {
    return "verify_asan_link_order=0";
}
