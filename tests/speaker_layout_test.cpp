// Speaker layouts: exact block sizes, zeroing, the name cut at 63 characters, verbatim
// copies, refused counts that keep the slot's layout, memory exhaustion that empties the
// slot, and the source that is the slot's own layout.
// Run under AddressSanitizer, fresh blocks are filled with junk, so the zeroing is real.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "framework/audio_effect_x.h"
#include "framework/speaker_layout.h"

namespace {

// Watches the non-throwing allocations, through which layouts get their blocks.
struct AllocationLog {
    int count = 0;
    std::size_t lastSize = 0;
    bool failNext = false;
};

AllocationLog& allocations() {
    static AllocationLog log;
    return log;
}

// Blocks beyond this size are refused, standing in for an exhausted heap.
constexpr std::size_t largestGrantedBlock = std::size_t{1} << 30;

}  // namespace

// Records each non-throwing allocation and can refuse one on request.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    AllocationLog& log = allocations();
    ++log.count;
    log.lastSize = size;
    if (log.failNext || size > largestGrantedBlock) {
        log.failNext = false;
        return nullptr;
    }
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

namespace {

// Whether the hook above is the allocator in use: a memory checker such as valgrind puts its
// own in its place, and then sizes cannot be watched nor exhaustion staged.
bool allocationsWatched() {
    static const bool watched = [] {
        const AllocationLog before = allocations();
        void* volatile probe = ::operator new(1, std::nothrow);
        ::operator delete(probe);
        const bool seen = allocations().count == before.count + 1;
        allocations() = before;
        return seen;
    }();
    return watched;
}

// The number and last size of the non-throwing allocations since the log was cleared.
void expectAllocations(int count, std::size_t lastSize = 0) {
    if (allocationsWatched()) {
        EXPECT_EQ(allocations().count, count);
        if (count > 0) {
            EXPECT_EQ(allocations().lastSize, lastSize);
        }
    }
}

class LayoutEffect : public AudioEffectX {
public:
    LayoutEffect() : AudioEffectX(nullptr, 1, 7) {}
    void processFloatBlock(float**, float**, std::int32_t) override {}
};

// Counts the calls that matchSpeakerLayout makes and can refuse one speaker copy.
class CountingLayoutEffect : public LayoutEffect {
public:
    bool allocSpeakerLayout(SpeakerLayout** layout, std::int32_t count) override {
        ++allocs;
        return LayoutEffect::allocSpeakerLayout(layout, count);
    }
    bool freeSpeakerLayout(SpeakerLayout** layout) override {
        ++frees;
        return LayoutEffect::freeSpeakerLayout(layout);
    }
    bool copySpeakerInfo(SpeakerInfo* to, const SpeakerInfo* from) override {
        if (copies++ == refusedCopy) {
            return false;
        }
        return LayoutEffect::copySpeakerInfo(to, from);
    }
    int allocs = 0;
    int frees = 0;
    int copies = 0;
    int refusedCopy = -1;
};

std::size_t nameLength(const char* name, std::size_t limit) {
    std::size_t length = 0;
    while (length < limit && name[length] != '\0') {
        ++length;
    }
    return length;
}

std::size_t blockSize(std::int32_t count) {
    return 8 + 112 * static_cast<std::size_t>(count);
}

bool onlyCountIsSet(const SpeakerLayout* layout) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(layout);
    for (std::size_t i = 0; i < blockSize(layout->count); ++i) {
        if ((i < 4 || i >= 8) && bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

// A speaker whose every byte is set, the name filled with `letters` letters and then junk.
void fillSpeaker(SpeakerInfo& speaker, int seed, int letters) {
    std::memset(&speaker, 0x40 + seed, sizeof speaker);
    speaker.value1 = 0.25F * static_cast<float>(seed);
    speaker.value2 = -1.5F;
    speaker.value3 = 3.0F;
    speaker.value4 = static_cast<float>(seed) + 0.5F;
    for (int i = 0; i < letters; ++i) {
        speaker.name[i] = static_cast<char>('a' + (i + seed) % 26);
    }
    if (letters < 64) {
        speaker.name[letters] = '\0';
    }
    speaker.type = 100 + seed;
    for (int i = 0; i < 28; ++i) {
        speaker.reserved[i] = static_cast<std::uint8_t>(i * 7 + seed);
    }
}

// `to` equals `from`, except that the name ends at its terminator (or byte 63) and is
// zero from there on.
void expectCopied(const SpeakerInfo& to, const SpeakerInfo& from) {
    EXPECT_EQ(to.value1, from.value1);
    EXPECT_EQ(to.value2, from.value2);
    EXPECT_EQ(to.value3, from.value3);
    EXPECT_EQ(to.value4, from.value4);
    EXPECT_EQ(to.type, from.type);
    EXPECT_EQ(std::memcmp(to.reserved, from.reserved, sizeof to.reserved), 0);
    const std::size_t length = nameLength(from.name, 63);
    EXPECT_EQ(std::memcmp(to.name, from.name, length), 0);
    for (std::size_t i = length; i < 64; ++i) {
        EXPECT_EQ(to.name[i], '\0') << "name byte " << i;
    }
}

TEST(SpeakerLayoutTest, AllocationGivesOneZeroedBlockOfExactSize) {
    LayoutEffect effect;
    SpeakerLayout* slot = nullptr;

    allocations() = {};
    ASSERT_TRUE(effect.allocSpeakerLayout(&slot, 0));
    ASSERT_NE(slot, nullptr);
    expectAllocations(1, 8);
    EXPECT_EQ(slot->type, 0);
    EXPECT_EQ(slot->count, 0);

    // A full slot is released first (a leak checker sees the old block go).
    ASSERT_TRUE(effect.allocSpeakerLayout(&slot, 2));
    expectAllocations(2, 232);
    EXPECT_EQ(slot->count, 2);
    EXPECT_TRUE(onlyCountIsSet(slot));
    EXPECT_EQ(reinterpret_cast<unsigned char*>(&slot->speaker(1)) - reinterpret_cast<unsigned char*>(slot), 120);

    ASSERT_TRUE(effect.allocSpeakerLayout(&slot, 37));
    expectAllocations(3, blockSize(37));
    EXPECT_TRUE(onlyCountIsSet(slot));

    EXPECT_TRUE(effect.freeSpeakerLayout(&slot));
    EXPECT_EQ(slot, nullptr);
    EXPECT_TRUE(effect.freeSpeakerLayout(&slot));
    EXPECT_EQ(slot, nullptr);
    EXPECT_TRUE(effect.freeSpeakerLayout(nullptr));
    EXPECT_FALSE(effect.allocSpeakerLayout(nullptr, 1));
}

TEST(SpeakerLayoutTest, RefusedCountsKeepTheSlotsLayoutAndExhaustionEmptiesTheSlot) {
    LayoutEffect effect;
    SpeakerLayout* slot = nullptr;
    ASSERT_TRUE(effect.allocSpeakerLayout(&slot, 1));
    SpeakerLayout* const held = slot;
    held->type = 0x5107;
    held->speaker(0).type = 42;
    const auto expectUnchanged = [&] {
        EXPECT_EQ(slot, held);
        EXPECT_EQ(held->type, 0x5107);
        EXPECT_EQ(held->count, 1);
        EXPECT_EQ(held->speaker(0).type, 42);
    };

    // Negative counts, and counts whose size wraps the size type, allocate nothing.
    for (const std::int32_t count : {-1, -2, std::numeric_limits<std::int32_t>::min()}) {
        allocations() = {};
        EXPECT_FALSE(effect.allocSpeakerLayout(&slot, count)) << count;
        expectUnchanged();
        expectAllocations(0);
    }
    // An empty slot stays empty.
    SpeakerLayout* empty = nullptr;
    EXPECT_FALSE(effect.allocSpeakerLayout(&empty, -1));
    EXPECT_EQ(empty, nullptr);

    // The largest count: too large for a 32-bit size type (refused, the layout kept), too
    // large for the heap on 64 bits (an acceptable count: the old layout is released).
    if (!allocationsWatched()) {
        effect.freeSpeakerLayout(&slot);
        GTEST_SKIP() << "another allocator is in use; heap exhaustion cannot be staged";
    }
    allocations() = {};
    EXPECT_FALSE(effect.allocSpeakerLayout(&slot, std::numeric_limits<std::int32_t>::max()));
    if (sizeof(std::size_t) > 4) {
        EXPECT_EQ(slot, nullptr) << "an acceptable count that got no memory left the old layout in the slot";
        EXPECT_EQ(allocations().count, 1);
        ASSERT_TRUE(effect.allocSpeakerLayout(&slot, 1));
    } else {
        expectUnchanged();
        EXPECT_EQ(allocations().count, 0);
    }

    // An exhausted heap answers false and leaves the slot empty, its layout released.
    allocations() = {};
    allocations().failNext = true;
    EXPECT_FALSE(effect.allocSpeakerLayout(&slot, 3));
    EXPECT_EQ(slot, nullptr) << "an acceptable count that got no memory left the old layout in the slot";
    EXPECT_EQ(allocations().count, 1);
    // An empty slot given an acceptable count and no memory stays empty.
    allocations().failNext = true;
    EXPECT_FALSE(effect.allocSpeakerLayout(&slot, 2));
    EXPECT_EQ(slot, nullptr);
}

TEST(SpeakerLayoutTest, CopyCutsTheNameAndCopiesEverythingElseVerbatim) {
    LayoutEffect effect;
    SpeakerInfo from{};
    SpeakerInfo to{};

    fillSpeaker(from, 3, 64);  // no terminator anywhere in the name
    std::memset(&to, 0xEE, sizeof to);
    ASSERT_TRUE(effect.copySpeakerInfo(&to, &from));
    expectCopied(to, from);
    EXPECT_EQ(nameLength(to.name, 64), 63U);

    fillSpeaker(from, 4, 5);
    std::memset(&to, 0xEE, sizeof to);
    ASSERT_TRUE(effect.copySpeakerInfo(&to, &from));
    expectCopied(to, from);
    EXPECT_EQ(std::string(to.name), std::string(from.name, 5));

    SpeakerInfo before{};
    std::memcpy(&before, &to, sizeof to);
    EXPECT_FALSE(effect.copySpeakerInfo(&to, nullptr));
    EXPECT_FALSE(effect.copySpeakerInfo(nullptr, &from));
    EXPECT_EQ(std::memcmp(&before, &to, sizeof to), 0);
}

// A host-owned layout of `count` speakers with junk after every name's terminator.
std::vector<unsigned char> hostLayout(std::int32_t count) {
    std::vector<unsigned char> block(blockSize(count));
    auto* layout = reinterpret_cast<SpeakerLayout*>(block.data());
    layout->type = 0x7E57;
    layout->count = count;
    for (std::int32_t i = 0; i < count; ++i) {
        fillSpeaker(layout->speaker(i), i, 10 * i + 1);
    }
    return block;
}

TEST(SpeakerLayoutTest, MatchMakesACompleteCopyThroughTheVirtualOperations) {
    CountingLayoutEffect effect;
    std::vector<unsigned char> block = hostLayout(6);
    const auto* source = reinterpret_cast<const SpeakerLayout*>(block.data());
    SpeakerLayout* slot = nullptr;
    ASSERT_TRUE(effect.allocSpeakerLayout(&slot, 2));
    effect.allocs = 0;

    allocations() = {};
    ASSERT_TRUE(effect.matchSpeakerLayout(&slot, source));
    expectAllocations(1, blockSize(6));
    EXPECT_EQ(effect.frees, 1);
    EXPECT_EQ(effect.allocs, 1);
    EXPECT_EQ(effect.copies, 6);
    EXPECT_EQ(slot->type, 0x7E57);
    EXPECT_EQ(slot->count, 6);
    for (std::int32_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        expectCopied(slot->speaker(i), source->speaker(i));
    }

    // The slot's own layout as the source stays as it is.
    SpeakerLayout* const own = slot;
    allocations() = {};
    EXPECT_TRUE(effect.matchSpeakerLayout(&slot, slot));
    EXPECT_EQ(slot, own);
    expectAllocations(0);
    EXPECT_EQ(slot->count, 6);
    expectCopied(slot->speaker(5), source->speaker(5));

    // A null source changes nothing.
    EXPECT_FALSE(effect.matchSpeakerLayout(&slot, nullptr));
    EXPECT_EQ(slot, own);

    // A refused speaker copy stops at once and leaves the partly filled layout.
    effect.copies = 0;
    effect.refusedCopy = 2;
    EXPECT_FALSE(effect.matchSpeakerLayout(&slot, source));
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(effect.copies, 3);
    expectCopied(slot->speaker(1), source->speaker(1));
    EXPECT_EQ(slot->speaker(2).type, 0);
    effect.refusedCopy = -1;

    // A host layout with a count that allocation refuses, or a null slot address, is
    // refused before anything is released: the slot keeps its layout and nothing is called.
    ASSERT_TRUE(effect.allocSpeakerLayout(&slot, 1));
    SpeakerLayout* const held = slot;
    held->speaker(0).type = 42;
    effect.frees = effect.allocs = effect.copies = 0;
    for (const std::int32_t count : {-3, -1, std::numeric_limits<std::int32_t>::min()}) {
        reinterpret_cast<SpeakerLayout*>(block.data())->count = count;
        allocations() = {};
        EXPECT_FALSE(effect.matchSpeakerLayout(&slot, source)) << count;
        EXPECT_EQ(slot, held);
        EXPECT_EQ(slot->count, 1);
        EXPECT_EQ(slot->speaker(0).type, 42);
        expectAllocations(0);
    }
    reinterpret_cast<SpeakerLayout*>(block.data())->count = 6;
    EXPECT_FALSE(effect.matchSpeakerLayout(nullptr, source));
    EXPECT_EQ(effect.frees + effect.allocs + effect.copies, 0);
    effect.freeSpeakerLayout(&slot);
}

}  // namespace
