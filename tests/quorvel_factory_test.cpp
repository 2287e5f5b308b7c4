// The effect factory: every effect it creates sits at an address its type's alignment allows,
// whatever the heap looked like before.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "effect/quorvel.h"

namespace {

TEST(QuorvelFactoryTest, CreatedEffectsAreAlignedForTheirType) {
    // Blocks of odd sizes between the effects leave the heap's free space at many offsets.
    std::vector<std::unique_ptr<char[]>> filler;
    std::vector<AudioEffect*> effects;
    for (int i = 0; i < 64; ++i) {
        filler.push_back(std::make_unique<char[]>(static_cast<std::size_t>(1 + (i * 37) % 61)));
        AudioEffect* effect = createEffect(nullptr);
        ASSERT_NE(effect, nullptr);
        effects.push_back(effect);
        if (i % 3 == 0) {
            filler.pop_back();
        }
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(effect) % alignof(Quorvel), 0U) << "effect " << i;
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(effect->record()) % alignof(EffectRecord), 0U);
    }
    for (std::size_t i = 0; i < effects.size(); i += 2) {
        delete effects[i];
        effects[i] = createEffect(nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(effects[i]) % alignof(Quorvel), 0U) << "re-created " << i;
    }
    for (AudioEffect* effect : effects) {
        delete effect;
    }
}

}  // namespace
