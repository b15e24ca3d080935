// A port library that lacks Out32, to show the program's refusal of it.
extern "C" __attribute__((visibility("default"))) short Inp32(short) {
    return 0xFF;
}
