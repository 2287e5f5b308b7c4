// The framework objects: the record a fresh effect shows the host, the flag declarations,
// the close rule, the editor slot and the base defaults.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "framework/audio_effect_x.h"

namespace {

// An effect that changes nothing the framework sets up; it counts its own destruction.
class PlainEffect : public AudioEffectX {
public:
    explicit PlainEffect(HostCallback host, int* destroyed = nullptr)
        : AudioEffectX(host, 1, 7), destroyed_(destroyed) {}
    ~PlainEffect() override {
        if (destroyed_ != nullptr) {
            ++*destroyed_;
        }
    }
    void processFloatBlock(float**, float**, std::int32_t) override {}
    void onClose() override { ++closes; }
    int closes = 0;

private:
    int* destroyed_;
};

class CountingEditor : public EffectEditor {
public:
    explicit CountingEditor(int* destroyed) : destroyed_(destroyed) {}
    ~CountingEditor() override { ++*destroyed_; }
    bool reportBounds(void*) override { return true; }
    bool attachWindow(void*) override { return true; }
    void detachWindow() override {}
    void onIdleTime() override {}
    bool onKeyPressed(KeyStroke&) override { return true; }
    bool onKeyReleased(KeyStroke&) override { return true; }
    bool applyKnobMode(std::int32_t) override { return true; }

private:
    int* destroyed_;
};

bool allZero(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

TEST(EffectRecordTest, FreshEffectShowsTheFrameworkDefaults) {
    auto* effect = new PlainEffect(nullptr);
    const EffectRecord& r = *effect->record();

    EXPECT_EQ(r.magic, 0x56737450);
    const unsigned char magicBytes[4] = {0x50, 0x74, 0x73, 0x56};
    EXPECT_EQ(std::memcmp(&r, magicBytes, 4), 0) << "magic must lie in memory as 50 74 73 56";
    EXPECT_NE(r.dispatchEntry, nullptr);
    EXPECT_NE(r.processAccumulateEntry, nullptr);
    EXPECT_NE(r.setParamEntry, nullptr);
    EXPECT_NE(r.getParamEntry, nullptr);
    EXPECT_NE(r.processFloatEntry, nullptr);
    EXPECT_NE(r.processDoubleEntry, nullptr);
    EXPECT_EQ(r.programCount, 1);
    EXPECT_EQ(r.paramCount, 7);
    EXPECT_EQ(r.inputCount, 1);
    EXPECT_EQ(r.outputCount, 2);
    EXPECT_EQ(r.flags, flagCanFloatReplacing);
    EXPECT_EQ(r.ioRatio, 1.0F);
    EXPECT_EQ(r.owner, effect);
    EXPECT_EQ(r.uniqueId, 0x4E6F4566);
    EXPECT_EQ(r.version, 1);
    EXPECT_EQ(r.reserved1, 0);
    EXPECT_EQ(r.reserved2, 0);
    EXPECT_EQ(r.latency, 0);
    EXPECT_EQ(r.realtimeQualities, 0);
    EXPECT_EQ(r.offlineQualities, 0);
    EXPECT_EQ(r.hostData, nullptr);
    EXPECT_TRUE(allZero(r.future, sizeof r.future));
    EXPECT_EQ(effect->sampleRate(), 44100.0F);
    EXPECT_EQ(effect->blockSize(), 1024);
    EXPECT_EQ(effect->currentProgram(), 0);
    EXPECT_EQ(effect->editor(), nullptr);

    EXPECT_EQ(r.dispatchEntry(effect->record(), reqClose, 0, 0, nullptr, 0.0F), 1);
}

TEST(EffectRecordTest, EachDeclarationTouchesOnlyItsOwnBit) {
    auto* effect = new PlainEffect(nullptr);
    EffectRecord& r = *effect->record();
    struct Declaration {
        void (*declare)(PlainEffect&, bool);
        std::int32_t bit;
    };
    const std::array<Declaration, 10> declarations{{
        {[](PlainEffect& e, bool on) { e.declareClip(on); }, flagHasClip},
        {[](PlainEffect& e, bool on) { e.declareVu(on); }, flagHasVu},
        {[](PlainEffect& e, bool on) { e.declareMono(on); }, flagCanMono},
        {[](PlainEffect& e, bool on) { e.declareFloatReplacing(on); }, flagCanFloatReplacing},
        {[](PlainEffect& e, bool on) { e.declareChunkPrograms(on); }, flagChunkPrograms},
        {[](PlainEffect& e, bool on) { e.declareInstrument(on); }, flagInstrument},
        {[](PlainEffect& e, bool on) { e.declareNoSoundInStop(on); }, flagNoSoundInStop},
        {[](PlainEffect& e, bool on) { e.declareAsync(on); }, flagAsync},
        {[](PlainEffect& e, bool on) { e.declareExternalBuffer(on); }, flagExternalBuffer},
        {[](PlainEffect& e, bool on) { e.declareDoubleReplacing(on); }, flagCanDoubleReplacing},
    }};
    for (const std::int32_t start : {0, 0x1FFF}) {
        r.flags = start;
        for (const auto& d : declarations) {
            d.declare(*effect, true);
            EXPECT_EQ(r.flags, start | d.bit);
            d.declare(*effect, false);
            EXPECT_EQ(r.flags, start & ~d.bit);
            r.flags = start;
        }
    }
    r.flags = flagCanFloatReplacing;

    effect->setLatency(64);
    effect->setRealtimeQualities(3);
    effect->setOfflineQualities(4);
    effect->assignUniqueId(0x54766E72);
    effect->setInputCount(2);
    effect->setOutputCount(6);
    EXPECT_EQ(r.latency, 64);
    EXPECT_EQ(r.realtimeQualities, 3);
    EXPECT_EQ(r.offlineQualities, 4);
    EXPECT_EQ(r.uniqueId, 0x54766E72);
    EXPECT_EQ(r.inputCount, 2);
    EXPECT_EQ(r.outputCount, 6);
    EXPECT_EQ(r.flags, flagCanFloatReplacing);
    r.dispatchEntry(&r, reqClose, 0, 0, nullptr, 0.0F);
}

TEST(EffectRecordTest, CloseCallsOnCloseThenDestroysEffectAndEditor) {
    int effectsDestroyed = 0;
    int editorsDestroyed = 0;
    auto* effect = new PlainEffect(nullptr, &effectsDestroyed);
    EffectRecord* r = effect->record();

    effect->setEditor(new CountingEditor(&editorsDestroyed));
    EXPECT_EQ(r->flags, flagCanFloatReplacing | flagHasEditor);
    EXPECT_NE(effect->editor(), nullptr);
    delete effect->editor();
    effect->setEditor(nullptr);
    EXPECT_EQ(r->flags, flagCanFloatReplacing);
    EXPECT_EQ(editorsDestroyed, 1);
    effect->setEditor(new CountingEditor(&editorsDestroyed));

    // The dispatch itself answers 0 for close; the entry answers 1 after destroying.
    EXPECT_EQ(effect->dispatch(reqClose, 0, 0, nullptr, 0.0F), 0);
    EXPECT_EQ(effect->closes, 1);
    EXPECT_EQ(effectsDestroyed, 0);
    EXPECT_EQ(r->dispatchEntry(r, reqClose, 0, 0, nullptr, 0.0F), 1);
    EXPECT_EQ(effectsDestroyed, 1);
    EXPECT_EQ(editorsDestroyed, 2);
}

TEST(EffectRecordTest, BaseDefaultsAnswerNothingAndTouchOnlyTheFirstByte) {
    auto* effect = new PlainEffect(nullptr);
    EffectRecord* r = effect->record();

    effect->selectProgram(-1);
    EXPECT_EQ(effect->currentProgram(), -1);
    effect->selectProgram(99);
    EXPECT_EQ(effect->currentProgram(), 99);

    EXPECT_EQ(r->getParamEntry(r, 3), 0.0F);
    EXPECT_EQ(effect->readVu(), 0.0F);

    char text[16];
    for (int which = 0; which < 4; ++which) {
        std::memset(text, 'x', sizeof text);
        switch (which) {
        case 0:
            effect->fillProgramName(text);
            break;
        case 1:
            effect->fillParamUnit(0, text);
            break;
        case 2:
            effect->fillParamValueText(0, text);
            break;
        default:
            effect->fillParamTitle(0, text);
            break;
        }
        EXPECT_EQ(text[0], '\0');
        for (std::size_t i = 1; i < sizeof text; ++i) {
            EXPECT_EQ(text[i], 'x') << "operation " << which << " wrote byte " << i;
        }
    }

    // The accumulating entry leaves the outputs alone unless an effect overrides it.
    float in[4] = {1, 2, 3, 4};
    float out[4] = {5, 6, 7, 8};
    float* ins[2] = {in, in};
    float* outs[2] = {out, out};
    r->processAccumulateEntry(r, ins, outs, 4);
    EXPECT_EQ(out[0], 5.0F);
    EXPECT_EQ(out[3], 8.0F);
    double din[2] = {1, 2};
    double dout[2] = {3, 4};
    double* dins[2] = {din, din};
    double* douts[2] = {dout, dout};
    r->processDoubleEntry(r, dins, douts, 2);  // the base has no 64-bit processing
    EXPECT_EQ(dout[0], 3.0);
    EXPECT_EQ(effect->saveChunk(nullptr, true), 0);
    EXPECT_EQ(effect->loadChunk(nullptr, 5, false), 0);

    r->dispatchEntry(r, reqClose, 0, 0, nullptr, 0.0F);
}

// A throw from an effect or from the host's callback ends the process in the entry function
// it passes through: it never unwinds into the host's frames. (Not on Windows, where each
// death test starts the test program again, which under Wine costs seconds.)
#if GTEST_HAS_DEATH_TEST && !defined(_WIN32)
// An effect whose operations throw, and one that asks a host that throws.
class ThrowingEffect : public AudioEffectX {
public:
    explicit ThrowingEffect(HostCallback host) : AudioEffectX(host, 1, 1) {}
    void processFloatBlock(float**, float**, std::int32_t) override { throw std::runtime_error("processing"); }
    void writeParam(std::int32_t, float) override { throw std::runtime_error("parameter"); }
    void onOpen() override { hostVersion(); }
};

std::intptr_t throwingHost(EffectRecord*, std::int32_t, std::int32_t, std::intptr_t, void*, float) {
    throw std::runtime_error("host");
}

TEST(EffectRecordDeathTest, AnExceptionEndsTheProcessAtTheEntryFunction) {
    const auto call = [](auto&& entry) {
        EffectRecord* r = (new ThrowingEffect(throwingHost))->record();
        try {
            entry(r);
        } catch (...) {
            std::fputs("unwound into the host\n", stderr);
            std::_Exit(0);  // an exit without the death the entry function owes
        }
    };
    float sample = 0.0F;
    float* channels[2] = {&sample, &sample};
    EXPECT_DEATH(call([&](EffectRecord* r) { r->processFloatEntry(r, channels, channels, 1); }), "");
    EXPECT_DEATH(call([](EffectRecord* r) { r->setParamEntry(r, 0, 0.5F); }), "");
    EXPECT_DEATH(call([](EffectRecord* r) { r->dispatchEntry(r, reqOpen, 0, 0, nullptr, 0.0F); }), "");
}
#endif

}  // namespace
