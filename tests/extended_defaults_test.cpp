// The defaults of AudioEffectX that the host sees without any override: identity requests,
// the category that follows the instrument flag, and the settings stored directly.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "framework/audio_effect_x.h"

namespace {

// An AudioEffectX that overrides nothing but the sound.
class PlainEffect : public AudioEffectX {
public:
    PlainEffect() : AudioEffectX(nullptr, 1, 7) {}
    void processFloatBlock(float**, float**, std::int32_t) override {}
    void applySampleRate(float) override { ++overridesCalled; }
    void applyBlockSize(std::int32_t) override { ++overridesCalled; }
    int overridesCalled = 0;
};

TEST(ExtendedDefaultsTest, IdentityDefaultsAnswerZeroAndWriteNothing) {
    PlainEffect effect;
    char text[80];
    std::memset(text, 'x', sizeof text);
    for (const std::int32_t request : {reqEffectName, reqVendorText, reqProductText, reqVendorVersion}) {
        EXPECT_EQ(effect.dispatch(request, 0, 0, text, 0.0F), 0) << "request " << request;
    }
    EXPECT_EQ(std::string(text, sizeof text), std::string(sizeof text, 'x'));
}

TEST(ExtendedDefaultsTest, CategoryFollowsTheInstrumentFlagAndSettingsStoreDirectly) {
    PlainEffect effect;
    EffectRecord& r = *effect.record();
    EXPECT_EQ(effect.dispatch(reqCategory, 0, 0, nullptr, 0.0F), 0);
    r.flags = 0x1FFF & ~flagInstrument;
    EXPECT_EQ(effect.dispatch(reqCategory, 0, 0, nullptr, 0.0F), 0) << "no other flag counts";
    effect.declareInstrument(true);
    EXPECT_EQ(r.flags, 0x1FFF);
    EXPECT_EQ(effect.dispatch(reqCategory, 0, 0, nullptr, 0.0F), 2);
    effect.declareInstrument(false);
    EXPECT_EQ(effect.dispatch(reqCategory, 0, 0, nullptr, 0.0F), 0);

    effect.applyBlockSizeAndRate(256, 96000.0F);
    EXPECT_EQ(effect.blockSize(), 256);
    EXPECT_EQ(effect.sampleRate(), 96000.0F);
    EXPECT_EQ(effect.overridesCalled, 0);
}

}  // namespace
