// Speaker layout utilities. Placeholder bodies that refuse every request; the layout
// records and their operations land with their own change.
#include "framework/audio_effect_x.h"

bool AudioEffectX::allocSpeakerLayout(SpeakerLayout** /*layout*/, std::int32_t /*count*/) {
    return false;
}
bool AudioEffectX::freeSpeakerLayout(SpeakerLayout** /*layout*/) {
    return true;
}
bool AudioEffectX::copySpeakerInfo(SpeakerInfo* /*to*/, const SpeakerInfo* /*from*/) {
    return false;
}
bool AudioEffectX::matchSpeakerLayout(SpeakerLayout** /*to*/, const SpeakerLayout* /*from*/) {
    return false;
}
