#pragma once

#include "common/Clock.h"

#include <string>

namespace svglogger {

// Text forms of the CSV fields.

// A 32-bit float rounded to `decimals` places (halves to the even digit), written in the
// shortest general form with at most 7 significant digits: 12.25 -> "12.2", 12.0 -> "12",
// -0.04 -> "0". A negative `decimals` writes the value unrounded.
std::string numberText(float value, int decimals);
inline std::string numberText(float value) { return numberText(value, -1); }
void appendNumberText(std::string &text, float value, int decimals);
// The number that numberText(value, decimals) stands for, without making the text: equal to
// reading that text back for every value of at most seven significant digits (every value
// the controller's 16-bit readings lead to); -0 becomes 0, as the text does.
double rowNumber(float value, int decimals);

// "yyyy/MM/dd H:mm:ss" (2016/06/24 9:05:03); the date alone at exactly 0:00:00.
// The same on every locale.
std::string dateTimeText(const LocalDateTime &time);
void appendDateTimeText(std::string &text, const LocalDateTime &time);

} // namespace svglogger
