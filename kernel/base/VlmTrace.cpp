#include "base/VlmTrace.h"

#include <cstdarg>
#include <cstdio>

void VlmTrace(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fflush(stderr);
}
