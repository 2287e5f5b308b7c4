#include "framework/bounded_text.h"

char* copyBounded(char* destination, const char* source, std::int32_t n) {
    if (destination == nullptr) {
        return destination;
    }
    std::int32_t i = 0;
    if (source != nullptr) {
        for (; i < n && source[i] != '\0'; ++i) {
            destination[i] = source[i];
        }
    }
    for (; i <= n; ++i) {
        destination[i] = '\0';
    }
    return destination;
}

char* appendBounded(char* destination, const char* source, std::int32_t n) {
    if (destination == nullptr || n < 0) {
        return destination;
    }
    std::int32_t end = 0;
    while (end < n && destination[end] != '\0') {
        ++end;
    }
    if (source != nullptr) {
        for (std::int32_t i = 0; end < n && source[i] != '\0'; ++i, ++end) {
            destination[end] = source[i];
        }
    }
    destination[end] = '\0';
    destination[n] = '\0';
    return destination;
}
