#pragma once
// printf-style formatting into a std::string of whatever length the text needs.
#include <cstdarg>
#include <cstdio>
#include <string>

std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
