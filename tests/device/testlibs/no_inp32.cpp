// A port library that lacks Inp32, to show the program's refusal of it.
extern "C" __attribute__((visibility("default"))) void Out32(short, short) {}
