// The player's one log: a printf-style line sent to the debugger output.
#pragma once

// Formats into a 1028-byte buffer (longer text is cut at 1027 characters),
// then sends the text and a separate "\n".
void debugPrintf(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
