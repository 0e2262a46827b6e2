#pragma once

#include <string>

namespace ostrel {

// The shortest decimal that reads back as the same double, with ".0" after
// an integral value: 3.5 is "3.5", 10 is "10.0". Magnitudes outside
// [0.0001, 2^54] may take an exponent form.
std::string doubleText(double value);

}  // namespace ostrel
