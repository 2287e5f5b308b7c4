// The built plug-in library driven only through its exports and the record, as a host
// drives it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/loader/plugin_library.h"
#include "recording_host.h"

using namespace quorvel::host;

namespace {

const std::string pluginPath = std::string("./") + QUORVEL_PLUGIN_FILE;

class BinaryInterfaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library.loaded()) << library.error();
        entry = library.entry();
        ASSERT_NE(entry, nullptr) << library.error();
    }

    EffectRecord* open() {
        EffectRecord* record = entry(RecordingHost::callback);
        EXPECT_NE(record, nullptr);
        return record;
    }

    static void close(EffectRecord* record) { EXPECT_EQ(record->dispatchEntry(record, 1, 0, 0, nullptr, 0.0F), 1); }

    PluginLibrary library{pluginPath};
    PluginEntry entry = nullptr;
    RecordingHost host;
};

TEST_F(BinaryInterfaceTest, BothExportsAreOneFunction) {
    EXPECT_NE(library.symbol("VSTPluginMain"), nullptr);
    EXPECT_EQ(library.symbol("VSTPluginMain"), library.symbol("main"));
}

TEST_F(BinaryInterfaceTest, VersionAnswerZeroCreatesNothing) {
    host.answers[1] = 0;
    EXPECT_EQ(entry(RecordingHost::callback), nullptr);
    ASSERT_EQ(host.requests.size(), 1U);
    const HostRequest& asked = host.requests[0];
    EXPECT_EQ(asked.record, nullptr);
    EXPECT_EQ(asked.request, 1);
    EXPECT_EQ(asked.index, 0);
    EXPECT_EQ(asked.value, 0);
    EXPECT_EQ(asked.ptr, nullptr);
    EXPECT_EQ(asked.opt, 0.0F);

    // No callback at all: there is nobody to ask, so nothing is created either.
    EXPECT_EQ(entry(nullptr), nullptr);
}

TEST_F(BinaryInterfaceTest, AnyNonZeroVersionYieldsAQuorvelRecordAfterOneRequest) {
    auto* viaMain = reinterpret_cast<PluginEntry>(library.symbol("main"));
    for (const std::intptr_t version : {std::intptr_t{1}, std::intptr_t{2400}, std::intptr_t{-1}}) {
        for (PluginEntry call : {entry, viaMain}) {
            host.requests.clear();
            host.answers[1] = version;
            EffectRecord* record = call(RecordingHost::callback);
            ASSERT_NE(record, nullptr) << "version " << version;
            ASSERT_EQ(host.requests.size(), 1U) << "construction must not call the host";
            EXPECT_EQ(host.requests[0].record, nullptr);
            EXPECT_EQ(record->magic, 0x56737450);
            EXPECT_NE(record->owner, nullptr);
            EXPECT_EQ(record->programCount, 1);
            EXPECT_EQ(record->paramCount, 7);
            EXPECT_EQ(record->inputCount, 2);
            EXPECT_EQ(record->outputCount, 2);
            EXPECT_EQ(record->flags, 0x1010);
            EXPECT_EQ(record->uniqueId, 0x54766E72);
            EXPECT_EQ(record->version, 1);
            EXPECT_EQ(record->ioRatio, 1.0F);
            EXPECT_EQ(record->latency, 0);
            EXPECT_EQ(record->hostData, nullptr);
            close(record);
        }
    }
}

TEST_F(BinaryInterfaceTest, TwoEffectsAreIndependent) {
    EffectRecord* first = open();
    EffectRecord* second = open();
    ASSERT_NE(first, second);
    EXPECT_NE(first->owner, second->owner);
    first->setParamEntry(first, 0, 0.25F);
    EXPECT_EQ(first->getParamEntry(first, 0), 0.25F);
    EXPECT_EQ(second->getParamEntry(second, 0), 0.5F);
    close(first);
    EXPECT_EQ(second->getParamEntry(second, 0), 0.5F);
    close(second);
}

TEST_F(BinaryInterfaceTest, DefaultSoundHalvesBothSidesInBothPrecisions) {
    EffectRecord* record = open();
    std::vector<float> inL{1.0F, -0.5F, 0.25F, 3.0F}, inR{-1.0F, 0.125F, 2.0F, 0.0F};
    std::vector<float> outL(4, 9.0F), outR(4, 9.0F);
    float* ins[2] = {inL.data(), inR.data()};
    float* outs[2] = {outL.data(), outR.data()};
    record->processFloatEntry(record, ins, outs, 4);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(outL[k], inL[k] * 0.5F);
        EXPECT_EQ(outR[k], inR[k] * 0.5F);
    }
    std::vector<double> dinL{1.0, -0.5}, dinR{0.75, 2.0}, doutL(2), doutR(2);
    double* dins[2] = {dinL.data(), dinR.data()};
    double* douts[2] = {doutL.data(), doutR.data()};
    record->processDoubleEntry(record, dins, douts, 2);
    EXPECT_EQ(doutL[0], 0.5);
    EXPECT_EQ(doutR[1], 1.0);

    // The accumulating entry is not overridden: the outputs stay as they were.
    record->processAccumulateEntry(record, ins, outs, 4);
    EXPECT_EQ(outL[0], 0.5F);
    EXPECT_TRUE(host.requests.size() == 1U) << "processing must not call the host";
    close(record);
}

}  // namespace
