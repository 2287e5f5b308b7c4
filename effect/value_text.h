// Display texts for parameter values in fixed-point notation, as a host shows them next to a
// control. Both operations run on whatever thread calls them (the host's main thread for
// value-text requests), allocate nothing and call nothing outside the standard library.
//
// Rounding is exact: the value is scaled by a power of ten without error and an exact half
// is rounded away from zero on every target (0.125 gives "13%", 0.0078125 gives "0.007813").
// A negative value, negative zero included, keeps its minus sign ("-0%"); a value that is not
// a number reads "nan", an infinite one "inf" or "-inf", with the percent sign where one
// belongs.
//
// Every text fits the 9 bytes a host supplies for a value text: at most paramTextLength
// characters and a zero. A longer text is cut to paramTextLength characters when the cut
// removes only decimals or the decimal point ("-0.250000" becomes "-0.25000"); when an integer
// digit or the percent sign would be lost the text is "Huge!".
#pragma once

#include <cstdint>

#include "framework/effect_record.h"

// Writes `value` x 100 with no decimals followed by a percent sign ("50%", "150%") into
// `text`, which must hold paramTextLength + 1 bytes; writes the text and its zero only.
void printPercent(float value, char* text);

// Writes `value` with six decimals ("0.500000", "1.000000") into `text`, which must hold
// paramTextLength + 1 bytes; writes the text and its zero only.
void printSixDecimals(float value, char* text);
