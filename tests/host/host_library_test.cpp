// The stand-in host: rendering against the effect's own processing, and the host's guards
// against untrusted plug-ins. (The validator's tests are in validation_test.cpp.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "framework/request_codes.h"
#include "host/audio/sound_file.h"
#include "host/cli/atomic_output.h"
#include "host/cli/commands.h"
#include "host/loader/guarded_buffer.h"
#include "host/loader/host_callback.h"
#include "host/loader/param_settings.h"
#include "host/loader/plugin_info.h"
#include "host/loader/plugin_instance.h"
#include "host/loader/usage_error.h"
#include "host/plot/waveform_plot.h"
#include "host/render/render.h"
#include "host/supervision/isolation.h"
#include "host/validate/allocation_probe.h"
#include "host/validate/validation.h"

using namespace quorvel::host;

namespace {

std::string local(const char* file) {
    return std::string("./") + file;
}

const std::string quorvelPath = local(QUORVEL_PLUGIN_FILE);

std::filesystem::path scratchFile(const std::string& name) {
    const auto dir = std::filesystem::temp_directory_path() / "quorvel-host-test";
    std::filesystem::create_directories(dir);
    return dir / name;
}

// ---- Render --------------------------------------------------------------------------

constexpr int inputRate = 48000;
constexpr std::int64_t inputFrames = 10007;  // not a multiple of the block size
constexpr std::int32_t block = 100;

void writeInput(const std::string& path) {
    std::vector<float> frames(2 * inputFrames);
    std::uint32_t seed = 99;
    for (float& sample : frames) {
        seed = seed * 1664525U + 1013904223U;
        sample = static_cast<float>(static_cast<double>(seed >> 8) / 16777216.0 - 0.5);
    }
    std::ofstream{path};  // the writer fills an existing file only
    SoundFileWriter writer(path, 2, inputRate, SampleEncoding::float32);
    writer.write(frames.data(), inputFrames);
    writer.finish();
}

// The ramp value for the step starting at `position`: `from` at the first frame, `to` at the
// last, in a straight line, rounded once to float. Worked out in long double, multiplying
// before dividing; ParamSettingTest pins the render's own ramp to literal values.
float ramp(float from, float to, std::int64_t position) {
    const long double last = inputFrames - 1;
    const long double at = std::min<long double>(static_cast<long double>(position), last);
    return static_cast<float>(from + (static_cast<long double>(to) - from) * at / last);
}

// The input processed by the effect directly through its record, block by block, with the
// same parameter values the render command is asked for.
template <typename Sample>
std::vector<Sample> processDirectly(const std::string& inputPath) {
    PluginLibrary library(quorvelPath);
    EffectRecord* record = library.entry()(hostCallback);
    const auto ask = [record](std::int32_t request, std::intptr_t value = 0, float opt = 0.0F) {
        return record->dispatchEntry(record, request, 0, value, nullptr, opt);
    };
    ask(reqOpen);
    ask(reqSampleRate, 0, static_cast<float>(inputRate));
    ask(reqBlockSize, block);
    ask(reqActivation, 1);
    record->setParamEntry(record, 1, 1.0F);   // LDur
    record->setParamEntry(record, 4, 1.0F);   // RDur
    record->setParamEntry(record, 3, 0.98F);  // LPeriod

    SoundFileReader input(inputPath);
    std::vector<Sample> interleaved(2 * block), left(block), right(block), outLeft(block), outRight(block);
    std::vector<Sample> result;
    std::int64_t position = 0;
    while (const auto n = static_cast<std::int32_t>(input.read(interleaved.data(), block))) {
        for (std::int32_t k = 0; k < n; ++k) {
            left[k] = interleaved[2 * k];
            right[k] = interleaved[2 * k + 1];
        }
        // While a ramp moves, each block is processed in steps of at most 64 frames.
        for (std::int32_t offset = 0; offset < n; offset += 64) {
            const std::int32_t frames = std::min<std::int32_t>(64, n - offset);
            Sample* stepIns[2] = {left.data() + offset, right.data() + offset};
            Sample* stepOuts[2] = {outLeft.data() + offset, outRight.data() + offset};
            record->setParamEntry(record, 0, ramp(0.1F, 0.9F, position + offset));   // Tavenor (balance)
            record->setParamEntry(record, 5, ramp(1.0F, 0.25F, position + offset));  // RAmp
            if constexpr (std::is_same_v<Sample, double>) {
                record->processDoubleEntry(record, stepIns, stepOuts, frames);
            } else {
                record->processFloatEntry(record, stepIns, stepOuts, frames);
            }
        }
        for (std::int32_t k = 0; k < n; ++k) {
            result.push_back(outLeft[k]);
            result.push_back(outRight[k]);
        }
        position += n;
    }
    ask(reqActivation, 0);
    ask(reqClose);
    return result;
}

template <typename Sample>
void expectRenderMatchesDirectProcessing(int precision) {
    const std::string input = scratchFile("render-input-" + std::to_string(precision) + ".wav").string();
    const std::string output = scratchFile("render-output-" + std::to_string(precision) + ".wav").string();
    writeInput(input);

    RenderOptions options;
    options.plugin = quorvelPath;
    options.input = input;
    options.output = output;
    options.sets = {"LDur=1", "rdur=1", "3=0.98"};  // by title, by title in other case, by index
    options.ramps = {"Tavenor=0.1:0.9", "5=1:0.25"};
    options.precision = precision;
    options.blockSize = block;
    ASSERT_EQ(runRender(options), 0);

    SoundFileReader rendered(output);
    ASSERT_EQ(rendered.channels(), 2);
    ASSERT_EQ(rendered.sampleRate(), inputRate);
    ASSERT_EQ(rendered.frames(), inputFrames);
    std::vector<Sample> written(2 * inputFrames);
    ASSERT_EQ(rendered.read(written.data(), inputFrames), inputFrames);

    const std::vector<Sample> expected = processDirectly<Sample>(input);
    ASSERT_EQ(expected.size(), written.size());
    EXPECT_EQ(std::memcmp(expected.data(), written.data(), written.size() * sizeof(Sample)), 0)
        << "the rendered file differs from the effect's own processing of the same blocks";
}

TEST(RenderTest, OutputIsBitIdenticalToTheEffectsOwnProcessingIn32Bits) {
    expectRenderMatchesDirectProcessing<float>(32);
}

TEST(RenderTest, OutputIsBitIdenticalToTheEffectsOwnProcessingIn64Bits) {
    expectRenderMatchesDirectProcessing<double>(64);
}

TEST(RenderTest, RefusesToOverwriteItsInputAndLeavesNoFileBehindOnFailure) {
    const std::string input = scratchFile("same.wav").string();
    writeInput(input);
    RenderOptions options;
    options.plugin = quorvelPath;
    options.input = input;
    options.output = input;
    EXPECT_THROW(runRender(options), HostError);
    EXPECT_EQ(SoundFileReader(input).frames(), inputFrames) << "the input must be untouched";

    options.output = scratchFile("never.wav").string();
    options.ramps = {"Tavenor=0:2"};
    std::filesystem::remove(options.output);
    EXPECT_THROW(runRender(options), HostError);
    EXPECT_FALSE(std::filesystem::exists(options.output));
}

// ---- The host's guards ---------------------------------------------------------------------

TEST(GuardedBufferTest, SeesWritesPastEitherEndAndMissingTerminators) {
    GuardedBuffer buffer(9);
    std::memcpy(buffer.data(), "12345678", 9);
    EXPECT_TRUE(buffer.intact());
    EXPECT_EQ(buffer.text(), "12345678");

    GuardedBuffer unterminated(4, 'x');
    EXPECT_EQ(unterminated.text(), std::nullopt);

    GuardedBuffer overrun(9);
    std::memcpy(overrun.data(), "GainOfTheSignal!", 17);
    EXPECT_EQ(overrun.overrunAfter(), 8U);
    EXPECT_EQ(overrun.overrunBefore(), 0U);

    GuardedBuffer underrun(9);
    underrun.data()[-3] = 0;
    EXPECT_EQ(underrun.overrunBefore(), 3U);
    EXPECT_FALSE(underrun.intact());
}

TEST(PluginInstanceTest, RefusesRecordsItCannotTrust) {
    EffectRecord record{};
    record.magic = recordMagic;
    EXPECT_FALSE(recordProblems(record).empty()) << "null entries";
    record.magic = 0x12345678;
    ASSERT_EQ(recordProblems(record).size(), 1U);
    EXPECT_EQ(recordProblems(record)[0], "magic is 0x12345678, not 0x56737450");

    PluginLibrary library(quorvelPath);
    PluginInstance instance(library.entry());
    EffectRecord copy = instance.record();
    copy.paramCount = -1;
    copy.outputCount = 1000;
    EXPECT_EQ(recordProblems(copy).size(), 2U);
    EXPECT_TRUE(recordProblems(instance.record()).empty());

    EXPECT_THROW((PluginInstance{library.entry(), refusingHostCallback}), HostError);
}

TEST(HostCallbackTest, AnswersVersionRateAndBlockSizeAndZeroToTheRest) {
    hostSettings().sampleRate = 48000.0F;
    hostSettings().blockSize = 256;
    EXPECT_EQ(hostCallback(nullptr, hostReqVersion, 0, 0, nullptr, 0.0F), 2400);
    EXPECT_EQ(hostCallback(nullptr, hostReqSampleRate, 0, 0, nullptr, 0.0F), 48000);
    EXPECT_EQ(hostCallback(nullptr, hostReqBlockSize, 0, 0, nullptr, 0.0F), 256);
    // A bogus record and pointer are never read.
    auto* bogus = reinterpret_cast<EffectRecord*>(std::uintptr_t{16});
    for (const std::int32_t request : {hostReqAutomate, hostReqTimeInfo, hostReqVendorText, 99, -1}) {
        EXPECT_EQ(hostCallback(bogus, request, 7, 7, bogus, 1.0F), 0) << request;
    }
    EXPECT_EQ(refusingHostCallback(nullptr, hostReqVersion, 0, 0, nullptr, 0.0F), 0);
}

TEST(ParamSettingTest, NamesByTitleOrIndexAndRefusesWhatItCannotUse) {
    PluginLibrary library(quorvelPath);
    PluginInstance instance(library.entry());
    EXPECT_EQ(parseParamSetting("LPeriod=0.25", false, instance).index, 3);
    EXPECT_EQ(parseParamSetting("lperiod=0.25", false, instance).index, 3);
    EXPECT_EQ(parseParamSetting("6=1", false, instance).index, 6);
    const ParamSetting ramp = parseParamSetting("Tavenor=0:1", true, instance);
    EXPECT_EQ(ramp.valueAt(0, 101), 0.0F);
    EXPECT_EQ(ramp.valueAt(50, 101), 0.5F);
    EXPECT_EQ(ramp.valueAt(100, 101), 1.0F);
    EXPECT_EQ(ramp.valueAt(500, 101), 1.0F);
    // The render's ramps, pinned as numbers: 0.1 to 0.9 and 1 to 0.25 over 10,007 frames.
    const ParamSetting balance = parseParamSetting("Tavenor=0.1:0.9", true, instance);
    EXPECT_EQ(balance.valueAt(0, 10007), 0x1.99999ap-4F);   // 0.1
    EXPECT_EQ(balance.valueAt(64, 10007), 0x1.ae8f18p-4F);  // 0.105116934
    EXPECT_EQ(balance.valueAt(5003, 10007), 0.5F);
    EXPECT_EQ(balance.valueAt(5056, 10007), 0x1.022b6ap-1F);   // 0.504237473
    EXPECT_EQ(balance.valueAt(10006, 10007), 0x1.ccccccp-1F);  // 0.9
    EXPECT_EQ(balance.valueAt(20000, 10007), 0x1.ccccccp-1F);
    const ParamSetting amplitude = parseParamSetting("5=1:0.25", true, instance);
    EXPECT_EQ(amplitude.valueAt(64, 10007), 0x1.fd8b3cp-1F);    // 0.995202899
    EXPECT_EQ(amplitude.valueAt(3333, 10007), 0x1.8016ecp-1F);  // 0.75017488

    EXPECT_EQ(parseParamSetting("0000006=1", false, instance).index, 6);

    for (const char* bad : {"Nope=1", "7=0.5", "99999999999=0", "LDur", "=1", "LDur=x", "LDur=1.5", "LDur=-0.1",
                            "LDur=nan", "LDur=inf", "LDur=1e40"}) {
        EXPECT_THROW(parseParamSetting(bad, false, instance), UsageError) << bad;
    }
    EXPECT_THROW(parseParamSetting("LDur=1", true, instance), UsageError);
    EXPECT_THROW(parseParamSetting("LDur=0:2", true, instance), UsageError);
    try {
        parseParamSetting("LDur=1e40", false, instance);
        ADD_FAILURE() << "LDur=1e40 was taken";
    } catch (const UsageError& error) {
        EXPECT_NE(std::string(error.what()).find("out of range"), std::string::npos) << error.what();
    }
    EXPECT_EQ(parseParamSettings({"LDur=1"}, {"RDur=0:1"}, instance).size(), 2U);
    EXPECT_THROW(parseParamSettings({"LDur=1"}, {"ldur=0:1"}, instance), UsageError);
    EXPECT_THROW(parseParamSettings({"1=1", "LDur=0"}, {}, instance), UsageError);
}

TEST(PrintableTextTest, EscapesControlCharactersOnly) {
    EXPECT_EQ(printableText("Evil\x1b[31mRed\nName\t\r\x7f"), "Evil\\x1b[31mRed\\nName\\t\\r\\x7f");
    EXPECT_EQ(printableText("Caf\xc3\xa9 = 1"), "Caf\xc3\xa9 = 1");
}

TEST(OutputSetTest, ReplacesTheTargetOnlyOnCommitAndKeepsItsPermissions) {
    const std::filesystem::path target = scratchFile("atomic-target.txt");
    { std::ofstream(target) << "before"; }
#if !defined(_WIN32)
    std::filesystem::permissions(target, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
#endif
    const auto folderSize = [&target]() {
        const auto entries = std::filesystem::directory_iterator(target.parent_path());
        return std::distance(std::filesystem::begin(entries), std::filesystem::end(entries));
    };
    const auto filesBefore = folderSize();
    std::string temporary;
    {
        OutputSet output;
        temporary = output.temporaryPath(output.add(target.string(), "the output"));
        EXPECT_EQ(std::filesystem::path(temporary).parent_path(), target.parent_path());
        std::ofstream(temporary) << "abandoned";
    }
    EXPECT_FALSE(std::filesystem::exists(temporary)) << "an abandoned temporary file is removed";
    EXPECT_EQ(folderSize(), filesBefore);
    // Read and closed at once: Windows refuses to replace a file that is open.
    const auto contents = [&target]() {
        std::ifstream file(target);
        return std::string(std::istreambuf_iterator<char>(file), {});
    };
    EXPECT_EQ(contents(), "before");
    {
        OutputSet output;
        std::ofstream(output.temporaryPath(output.add(target.string(), "the output"))) << "after";
        output.commit();
    }
    EXPECT_EQ(contents(), "after");
    EXPECT_EQ(folderSize(), filesBefore);
#if !defined(_WIN32)
    EXPECT_EQ(std::filesystem::status(target).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
#endif
    std::filesystem::remove(target);
    {
        OutputSet output;
        std::ofstream(output.temporaryPath(output.add(target.string(), "the output"))) << "new";
        EXPECT_NO_THROW(output.commit()) << "a target that did not exist yet";
    }
    EXPECT_EQ(contents(), "new");
    OutputSet refused;
    EXPECT_THROW(refused.add(target.parent_path().string(), "the output"), HostError) << "a folder is refused";
    EXPECT_THROW(refused.add((target.parent_path() / "no-such-folder" / "x.wav").string(), "the output"), HostError);
}

TEST(PluginInfoTest, DescribesTheEffectAsTheHostSeesIt) {
    PluginLibrary library(quorvelPath);
    PluginInstance instance(library.entry());
    const PluginInfo info = describePlugin(instance);
    EXPECT_EQ(info.effectName, "Tavenor");
    EXPECT_EQ(info.vendor, "Halvorn Media Technologies");
    EXPECT_EQ(info.vendorVersion, 1000);
    EXPECT_EQ(fourCharText(info.uniqueId), "Tvnr");
    EXPECT_EQ(info.interfaceVersion, 2400);
    EXPECT_EQ(flagNames(info.flags), (std::vector<std::string>{"canFloatReplacing", "canDoubleReplacing"}));
    EXPECT_EQ(info.programs, std::vector<std::string>{"Default"});
    ASSERT_EQ(info.params.size(), 7U);
    EXPECT_EQ(info.params[3].title, "LPeriod");
    EXPECT_EQ(info.params[5].value, 1.0F);
    EXPECT_TRUE(info.params[6].automatable);
    EXPECT_TRUE(info.problems.empty());
    EXPECT_EQ(instance.dispatch(reqCurrentProgram), 0) << "the current program is selected again";

    EXPECT_EQ(flagNames(0x4010), (std::vector<std::string>{"canFloatReplacing", "0x4000"}));
    EXPECT_EQ(fourCharText(0x41000A7F), "A...");
    EXPECT_EQ(categoryName(2), "instrument");
}

TEST(RenderTest, AMonoSourceFeedsEveryInputAndMissingChannelsAreSilent) {
    EXPECT_EQ(sourceChannelFor(0, 1), 0);
    EXPECT_EQ(sourceChannelFor(1, 1), 0);
    EXPECT_EQ(sourceChannelFor(1, 2), 1);
    EXPECT_EQ(sourceChannelFor(2, 2), -1);
}

TEST(WaveformSummaryTest, DrawsTheOutputAlignedWithTheInputItAnswers) {
    // An effect with 10 frames of latency passes 100 frames through, pushed out by 10 silent
    // ones: every drawn output frame must sit beside the input frame it answers.
    constexpr int latency = 10;
    WaveformSummary summary(100, 1000.0, 100, latency);
    float in[2][110] = {};
    float out[2][110] = {};
    for (int k = 0; k < 100; ++k) {
        in[0][k] = in[1][k] = static_cast<float>(k + 1) / 128.0F;
        out[0][k + latency] = out[1][k + latency] = in[0][k];
    }
    for (int offset = 0; offset < 110; offset += 32) {  // blocks that do not divide the latency
        const float* inputs[2] = {in[0] + offset, in[1] + offset};
        const float* outputs[2] = {out[0] + offset, out[1] + offset};
        summary.onBlock(inputs, 2, outputs, 2, std::min(32, 110 - offset));
    }
    EXPECT_EQ(summary.frames(), 100);
    std::istringstream columns(summary.dataLines());
    int rows = 0;
    for (double time, v[8]; columns >> time >> v[0] >> v[1] >> v[2] >> v[3] >> v[4] >> v[5] >> v[6] >> v[7]; ++rows) {
        EXPECT_EQ(v[4], v[0]) << "column at " << time << " s";
        EXPECT_EQ(v[7], v[3]) << "column at " << time << " s";
    }
    EXPECT_EQ(rows, 100) << "the silence after the end is not drawn";
    std::istringstream closeUp(summary.closeUpLines());
    rows = 0;
    for (double time, v[4]; closeUp >> time >> v[0] >> v[1] >> v[2] >> v[3]; ++rows) {
        EXPECT_EQ(v[2], v[0]) << "close-up at " << time << " ms";
    }
    EXPECT_EQ(rows, 30);
}

}  // namespace
