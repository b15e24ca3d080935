#pragma once

// The port I/O library's C interface, the same two entry points as the
// Windows library of that name, so the program resolves them by name; and
// PortProblem, which the program takes where a library has it.

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

// 0 when a write to the address reaches something: its parallel port, opened
// and claimed, or the trace file. Otherwise non-zero, and why holds the reason
// ("/dev/parport0: No such file or directory"), cut to size bytes.
INPOUT32_EXPORT int PortProblem(short portAddress, char* why, int size);

#ifdef __cplusplus
}
#endif
