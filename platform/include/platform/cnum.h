// Number formatting and parsing in the C locale, whatever the user's locale.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// printf-style formatting in the C locale.
std::string FormatC(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// atof / atoi / strtod in the C locale.
double AtofC(const char* text);
int32_t AtoiC(const char* text);
// strtod in the C locale; *end receives the first unread character.
double StrtodC(const char* text, char** end);

}  // namespace platform
