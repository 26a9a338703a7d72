// The float text form of JSON output and of JSON messages: shortest round-trip digits,
// "12.0" for whole numbers, exponents written as "1e+16" and "1e-6".
#pragma once

#include <string>

namespace lorvane {

// Appends the text form of a finite double (NaN and the infinities are the caller's case).
void append_float(std::string& out, double value);

}  // namespace lorvane
