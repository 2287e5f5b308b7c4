// Bounded text copies used for every name, title and formatted value that leaves an effect.
// Both run on whatever thread calls them, touch nothing but the two texts, and never write
// to a null destination or for a negative bound; a null source counts as the empty text.
#pragma once

#include <cstdint>

// Copies `source` up to its terminating zero or n characters, whichever comes first, fills
// the rest of the first n positions with zeros and writes a zero at position n: exactly
// n + 1 characters are written, and at most n characters of `source` are read.
// Answers `destination`.
char* copyBounded(char* destination, const char* source, std::int32_t n);

// Appends `source` to the text in `destination`, keeping only the first n characters of the
// two together, and writes a zero after the last kept character and at position n. Nothing
// is written beyond position n, and no zeros are written after the terminating one.
// Answers `destination`.
char* appendBounded(char* destination, const char* source, std::int32_t n);
