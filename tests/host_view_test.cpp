// The effect as a host sees it through the built library: the answer to every request code,
// the exact bytes written into every text buffer, parameters, value texts and the program.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "framework/request_codes.h"
#include "host/loader/plugin_library.h"
#include "recording_host.h"

using namespace quorvel::host;

namespace {

const std::string pluginPath = std::string("./") + QUORVEL_PLUGIN_FILE;

constexpr unsigned char canary = 0xA5;
constexpr std::size_t lead = 16;  // canary bytes before the text buffer

class HostViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library.loaded()) << library.error();
        PluginEntry entry = library.entry();
        ASSERT_NE(entry, nullptr) << library.error();
        record = entry(RecordingHost::callback);
        ASSERT_NE(record, nullptr);
    }

    void TearDown() override {
        if (record != nullptr) {
            EXPECT_EQ(send(reqClose), 1);
        }
    }

    std::intptr_t send(std::int32_t request, std::int32_t index = 0, std::intptr_t value = 0, void* ptr = nullptr,
                       float opt = 0.0F) {
        return record->dispatchEntry(record, request, index, value, ptr, opt);
    }

    // Sends a text request into a canary-filled buffer and answers the bytes that changed:
    // empty when nothing was written; otherwise from the first written byte to the last.
    // Fails the test when a byte before the buffer was touched.
    std::string written(std::int32_t request, std::int32_t index, std::intptr_t* answer = nullptr) {
        std::vector<unsigned char> buffer(lead + 128, canary);
        const std::intptr_t a = send(request, index, 0, buffer.data() + lead);
        if (answer != nullptr) {
            *answer = a;
        }
        for (std::size_t i = 0; i < lead; ++i) {
            EXPECT_EQ(buffer[i], canary) << "request " << request << " wrote before its buffer";
        }
        std::size_t end = buffer.size();
        while (end > lead && buffer[end - 1] == canary) {
            --end;
        }
        return std::string(buffer.begin() + lead, buffer.begin() + static_cast<std::ptrdiff_t>(end));
    }

    // A text followed by zeros up to `size` bytes in all.
    static std::string padded(const char* text, std::size_t size) {
        std::string bytes(text);
        bytes.resize(size, '\0');
        return bytes;
    }

    std::string programName() {
        char name[32] = {};
        send(reqProgramName, 0, 0, name);
        return name;
    }

    PluginLibrary library{pluginPath};
    RecordingHost host;
    EffectRecord* record = nullptr;
};

// The effect's answer to every code from -1 to 100, with the buffers a careful host would
// pass. Codes not listed answer 0.
std::intptr_t expectedAnswer(std::int32_t request, std::intptr_t value) {
    switch (request) {
    case reqIdentify:
        return 0x4E764566;  // 'NvEf'
    case reqParamAutomatable:
        return 1;
    case reqEffectName:
    case reqVendorText:
    case reqProductText:
        return 1;
    case reqVendorVersion:
        return 1000;
    case reqInterfaceVersion:
        return 2400;
    case reqCurrentMidiProgram:
        return -1;
    case reqTotalSampleCount:
        return value;
    default:
        return 0;
    }
}

TEST_F(HostViewTest, EveryRequestCodeAnswersAsTheTableSays) {
    for (const std::intptr_t value : {std::intptr_t{0}, std::intptr_t{7}, std::intptr_t{-5}}) {
        for (std::int32_t request = -1; request <= 100; ++request) {
            if (request == reqClose) {
                continue;  // ends the effect: checked by TearDown
            }
            std::vector<char> buffer(256, '\0');
            int layoutIn = 0;
            int layoutOut = 0;
            void* slotIn = &layoutIn;
            void* slotOut = &layoutOut;
            std::intptr_t sentValue = value;
            void* ptr = buffer.data();
            if (request == reqGetSpeakerLayout) {
                sentValue = reinterpret_cast<std::intptr_t>(&slotIn);
                ptr = &slotOut;
            }
            const std::intptr_t expected = request == reqGetSpeakerLayout ? 0 : expectedAnswer(request, value);
            EXPECT_EQ(send(request, 0, sentValue, ptr, 0.0F), expected) << "request " << request << " value " << value;
            if (request == reqGetSpeakerLayout) {
                EXPECT_EQ(slotIn, nullptr);
                EXPECT_EQ(slotOut, nullptr);
            }
        }
        EXPECT_EQ(send(reqCurrentProgram), 0) << "no program but 0 may be selected";
    }
    EXPECT_EQ(host.requests.size(), 1U) << "only the version question goes to the host";
}

TEST_F(HostViewTest, TextBuffersGetExactlyTheirBytes) {
    const char* titles[] = {"Tavenor", "LDur", "LAmp", "LPeriod", "RDur", "RAmp", "RPeriod"};
    const char* units[] = {"LR_Bal", "", "amp", "shift", "", "amp", "shift"};
    const char* values[] = {"50%", "Off", "1.000000", "0.000000", "Off", "1.000000", "0.000000"};
    for (std::int32_t index = 0; index < 7; ++index) {
        EXPECT_EQ(written(reqParamTitle, index), padded(titles[index], 9)) << index;
        EXPECT_EQ(written(reqParamUnit, index), padded(units[index], std::strlen(units[index]) + 1)) << index;
        EXPECT_EQ(written(reqParamValueText, index), padded(values[index], std::strlen(values[index]) + 1)) << index;
    }
    EXPECT_EQ(written(reqProgramName, 0), padded("Default", 25));

    std::intptr_t answer = 0;
    EXPECT_EQ(written(reqEffectName, 0, &answer), padded("Tavenor", 33));
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(written(reqProductText, 0, &answer), padded("Tavenor", 65));
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(written(reqVendorText, 0, &answer), padded("Halvorn Media Technologies", 65));
    EXPECT_EQ(answer, 1);

    const std::int32_t outside[] = {
        7, 8, -1, 1000, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()};
    for (const std::int32_t index : outside) {
        for (const std::int32_t request : {reqParamTitle, reqParamUnit, reqParamValueText}) {
            EXPECT_EQ(written(request, index, &answer), "") << "request " << request << " index " << index;
            EXPECT_EQ(answer, 0);
        }
    }

    // Values far outside 0..1 still give at most 8 characters and the zero.
    for (const float value : {1e30F, -1e30F, -1234567.0F, 123456.7F, -0.0078125F, -1.0F}) {
        for (std::int32_t index = 0; index < 7; ++index) {
            record->setParamEntry(record, index, value);
            const std::string text = written(reqParamValueText, index);
            EXPECT_GE(text.size(), 2U) << value;
            EXPECT_LE(text.size(), 9U) << value << " index " << index;
            EXPECT_EQ(text.back(), '\0') << value;
        }
    }
}

TEST_F(HostViewTest, NullBuffersGetNothingAndNameRequestsAnswerZero) {
    for (const std::int32_t request : {reqRenameProgram, reqProgramName}) {
        EXPECT_EQ(send(request, 0, 0, nullptr), 0);
    }
    for (std::int32_t index = -1; index <= 7; ++index) {
        for (const std::int32_t request : {reqParamUnit, reqParamValueText, reqParamTitle}) {
            EXPECT_EQ(send(request, index, 0, nullptr), 0);
        }
    }
    for (const std::int32_t request : {reqEffectName, reqVendorText, reqProductText}) {
        EXPECT_EQ(send(request, 0, 0, nullptr), 0) << "request " << request;
    }
    EXPECT_EQ(programName(), "Default") << "renaming to a null text changes nothing";

    // Layout request: only the slots that exist are written.
    int layout = 0;
    void* slot = &layout;
    EXPECT_EQ(send(reqGetSpeakerLayout, 0, 0, &slot), 0);
    EXPECT_EQ(slot, nullptr);
    slot = &layout;
    EXPECT_EQ(send(reqGetSpeakerLayout, 0, reinterpret_cast<std::intptr_t>(&slot), nullptr), 0);
    EXPECT_EQ(slot, nullptr);
    EXPECT_EQ(send(reqGetSpeakerLayout, 0, 0, nullptr), 0);
}

TEST_F(HostViewTest, ParametersAreStoredUnclampedAndShownWithExactRounding) {
    const float defaults[] = {0.5F, 0.0F, 1.0F, 0.0F, 0.0F, 1.0F, 0.0F};
    for (std::int32_t index = 0; index < 7; ++index) {
        EXPECT_EQ(record->getParamEntry(record, index), defaults[index]) << index;
    }
    EXPECT_EQ(record->getParamEntry(record, 7), -1.0F);
    EXPECT_EQ(record->getParamEntry(record, -1), -1.0F);
    record->setParamEntry(record, 7, 0.25F);
    record->setParamEntry(record, -1, 0.25F);
    for (std::int32_t index = 0; index < 7; ++index) {
        EXPECT_EQ(record->getParamEntry(record, index), defaults[index]) << "an outside write changed " << index;
    }

    struct Case {
        std::int32_t index;
        float value;
        const char* text;
    };
    // clang-format off
    const Case cases[] = {
        {0, 0.125F, "13%"},        {0, 0.37F, "37%"},         {0, 1.5F, "150%"},       {0, -0.25F, "-25%"},
        {0, 2e6F, "Huge!"},        {1, 0.5F, "Off"},          {1, 0.51F, "On"},        {4, 1.0F, "On"},
        {4, -3.0F, "Off"},         {2, 0.0078125F, "0.007813"}, {3, 0.25F, "0.250000"}, {5, -0.25F, "-0.25000"},
        {6, 12345678.0F, "12345678"}, {6, 1e30F, "Huge!"},
    };
    // clang-format on
    for (const Case& c : cases) {
        record->setParamEntry(record, c.index, c.value);
        EXPECT_EQ(record->getParamEntry(record, c.index), c.value);
        char text[9] = {};
        EXPECT_EQ(send(reqParamValueText, c.index, 0, text), 0);
        EXPECT_STREQ(text, c.text) << "index " << c.index << " value " << c.value;
    }
}

TEST_F(HostViewTest, OnlyTheOneProgramIsSelectedAndItsNameKeeps24Characters) {
    using Limits = std::numeric_limits<std::int32_t>;
    for (const std::intptr_t value : {std::intptr_t{-1}, std::intptr_t{1}, std::intptr_t{99},
                                      std::intptr_t{Limits::min()}, std::intptr_t{Limits::max()}}) {
        EXPECT_EQ(send(reqSelectProgram, 0, value), 0);
        EXPECT_EQ(send(reqCurrentProgram), 0) << "request 2 with " << value;
    }
    EXPECT_EQ(send(reqSelectProgram, 0, 0), 0);
    EXPECT_EQ(send(reqCurrentProgram), 0);

    char longName[] = "A program name of thirty chars";
    EXPECT_EQ(send(reqRenameProgram, 0, 0, longName), 0);
    EXPECT_EQ(programName(), std::string(longName, 24));
    char shortName[] = "Warm";
    send(reqRenameProgram, 0, 0, shortName);
    EXPECT_EQ(written(reqProgramName, 0), padded("Warm", 25));
}

}  // namespace
