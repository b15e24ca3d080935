#pragma once

// The port I/O library's C interface, the same two entry points as the
// Windows library of that name, so the program resolves them by name.

#if defined(_WIN32)
#define INPOUT32_EXPORT __declspec(dllexport)
#else
#define INPOUT32_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Returns the byte read from a 16-bit I/O address.
INPOUT32_EXPORT short Inp32(short portAddress);

// Writes the low byte of data to a 16-bit I/O address.
INPOUT32_EXPORT void Out32(short portAddress, short data);

#ifdef __cplusplus
}
#endif
