// Value-to-text formatting. Placeholder bodies that write an empty text; the formatting
// rules land with their own change.
#include "framework/audio_effect.h"
#include "framework/bounded_text.h"

void AudioEffect::formatDecibels(float /*value*/, char* text, std::int32_t maxLength) {
    copyBounded(text, "", maxLength);
}
void AudioEffect::formatHertz(float /*samples*/, char* text, std::int32_t maxLength) {
    copyBounded(text, "", maxLength);
}
void AudioEffect::formatMilliseconds(float /*samples*/, char* text, std::int32_t maxLength) {
    copyBounded(text, "", maxLength);
}
void AudioEffect::formatFloat(float /*value*/, char* text, std::int32_t maxLength) {
    copyBounded(text, "", maxLength);
}
void AudioEffect::formatInteger(std::int32_t /*value*/, char* text, std::int32_t maxLength) {
    copyBounded(text, "", maxLength);
}
