#pragma once
// Diagnostic trace: one printf-style line to standard error, flushed at once so that the
// last line before a crash is never lost. Tracing never changes behaviour.

void VlmTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));
