// quorvel-host render: a file (or the built-in demo) through the plug-in into a file, and
// optionally a picture of the waveforms. Both are written to temporary files next to their
// targets and renamed over them only when everything succeeded.
#include <nlohmann/json.hpp>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "host/audio/demo_signal.h"
#include "host/audio/sound_file.h"
#include "host/cli/atomic_output.h"
#include "host/cli/command_options.h"
#include "host/cli/commands.h"
#include "host/cli/progress_bar.h"
#include "host/loader/plugin_info.h"
#include "host/loader/usage_error.h"
#include "host/plot/waveform_plot.h"
#include "host/render/render.h"
#include "host/supervision/interruption.h"
#include "host/supervision/isolation.h"
#include "host/supervision/supervised_run.h"

namespace quorvel::host {

namespace {

std::unique_ptr<AudioSource> openSource(const RenderOptions& options) {
    if (options.input.empty()) {
        return std::make_unique<DemoSignal>();
    }
    auto source = std::make_unique<SoundFileReader>(options.input);
    if (source->channels() > 2) {
        throw HostError("'" + options.input + "' has " + std::to_string(source->channels()) +
                        " channels; only mono and stereo files can be rendered");
    }
    return source;
}

SampleEncoding encodingFor(const RenderOptions& options) {
    switch (options.encoding) {
    case EncodingChoice::pcm16:
        return SampleEncoding::pcm16;
    case EncodingChoice::pcm24:
        return SampleEncoding::pcm24;
    case EncodingChoice::float32:
        return SampleEncoding::float32;
    case EncodingChoice::float64:
        return SampleEncoding::float64;
    case EncodingChoice::automatic:
        break;
    }
    return options.precision == 64 ? SampleEncoding::float64 : SampleEncoding::float32;
}

// Refuses, before anything is written, outputs that would replace one of the files the render
// reads or each other.
// The longest declared latency a render compensates, in seconds.
constexpr int maxCompensatedLatencySeconds = 60;

void checkPaths(const RenderOptions& options) {
    checkOutputPath(options.output, "the output", {{"the input", options.input}, {"the plug-in", options.plugin}});
    if (!options.plot.empty()) {
        pictureFormatFor(options.plot);
        checkOutputPath(
            options.plot, "the plot",
            {{"the input", options.input}, {"the plug-in", options.plugin}, {"the output", options.output}});
    }
    requireAudioFormatName(options.output);
}

// The supervised part: everything that calls the plug-in. Writes the audio to `audioPath` and
// the picture to `plotPath` (when --plot is given) and answers the results as JSON.
std::string renderFiles(const RenderOptions& options, const std::string& audioPath, const std::string& plotPath) {
    std::unique_ptr<AudioSource> source = openSource(options);
    SupervisedPlugin plugin(options.plugin);
    PluginInstance& instance = plugin.instance();
    const int rate = source->sampleRate();

    RenderSettings settings;
    settings.precision = options.precision == 64 ? Precision::float64 : Precision::float32;
    settings.blockSize = options.blockSize;
    settings.params = parseParamSettings(options.sets, options.ramps, instance);
    settings.tailFrames = std::llround(options.tailSeconds * rate);
    nlohmann::json notes = nlohmann::json::array();
    if (instance.inputCount() == 1 && source->channels() == 2) {
        notes.push_back("the plug-in has one input; the right channel is not used");
    }
    prepareForProcessing(instance, static_cast<float>(rate), options.blockSize, settings.precision);
    const std::int32_t declaredLatency = instance.record().latency;
    if (declaredLatency > maxCompensatedLatencySeconds * rate) {
        // No effect delays its sound by this much; processing that many extra frames would
        // only keep the render busy for nothing.
        settings.compensateLatency = false;
        notes.push_back("the plug-in declares a latency of " + std::to_string(declaredLatency) + " frames, more than " +
                        std::to_string(maxCompensatedLatencySeconds) + " s: not compensated");
    }
    instance.noteRequests(nullptr);  // the blocks are noted instead

    std::unique_ptr<WaveformSummary> summary;
    if (!plotPath.empty()) {
        // Drawn as the audio is written: the output moved back by the compensated latency.
        const std::int64_t latency = settings.compensateLatency ? instance.record().latency : 0;
        summary = std::make_unique<WaveformSummary>(source->frames() + settings.tailFrames, rate, 1200, latency);
    }
    SoundFileWriter writer(audioPath, instance.outputCount(), rate, encodingFor(options), options.output,
                           options.encoding != EncodingChoice::automatic);
    ProgressBar progress(source->frames() + settings.tailFrames);
    settings.progress = [&progress](std::int64_t done) {
        // Where the work runs in the tool's own process, an interruption ends it here.
        if (const int signal = pendingInterruption(); signal != 0) {
            throw HostError(std::string("interrupted by ") + interruptionName(signal));
        }
        progress.update(done);
    };
    const RenderResult result = renderAudio(instance, *source, writer, settings, summary.get());
    writer.finish();
    instance.noteRequests(noteCheckProgress);
    const std::string effect = instance.effectName().text;
    instance.close();
    if (summary) {
        const std::string title = effect + ": " + (options.input.empty() ? "built-in demo" : options.input);
        plotWaveforms(*summary, printableText(title), plotPath, pictureFormatFor(options.plot));
    }
    return nlohmann::json{{"effect", effect},
                          {"rate", rate},
                          {"frames", result.framesWritten},
                          {"promised", result.sourceFramesPromised},
                          {"read", result.sourceFramesRead},
                          {"latency", result.latency},
                          {"peak", result.peak},
                          {"overFullScale", result.overFullScale},
                          {"nonFinite", result.nonFinite},
                          {"stored", writer.storedFormat()},
                          {"clips", writer.clips()},
                          {"notes", notes}}
        .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// The unit of the supervised work: the temporary paths of the audio and the picture (empty
// without --plot), apart by a zero byte, which no path holds.
std::string renderUnit(const std::string& audioPath, const std::string& plotPath) {
    return audioPath + '\0' + plotPath;
}

std::string renderSupervised(const RenderOptions& options, const std::string& unit) {
    const std::size_t split = unit.find('\0');
    if (split == std::string::npos) {
        throw HostError("the render was handed no output paths");
    }
    return renderFiles(options, unit.substr(0, split), unit.substr(split + 1));
}

void warn(const std::string& text) {
    std::fprintf(stderr, "quorvel-host render: warning: %s\n", text.c_str());
}

}  // namespace

int runRender(const RenderOptions& options) {
    const SupervisedWork work = [&options](const std::string& unit) { return renderSupervised(options, unit); };
    checkPaths(options);
    // Every file the render writes goes through this one set: created as temporary files now,
    // before the plug-in runs, put in place together at the end or not at all.
    OutputSet outputs;
    const std::size_t audio = outputs.add(options.output, "the output");
    std::optional<std::size_t> plot;
    if (!options.plot.empty()) {
        plot = outputs.add(options.plot, "the plot");
    }
    const std::string audioPath = outputs.temporaryPath(audio);
    const std::string plotPath = plot ? outputs.temporaryPath(*plot) : std::string();
    const nlohmann::json result =
        nlohmann::json::parse(runSupervised(work, renderUnit(audioPath, plotPath), "render", options.timeoutSeconds));

    for (const auto& note : result["notes"]) {
        std::fprintf(stderr, "quorvel-host render: note: %s\n", note.get<std::string>().c_str());
    }
    const auto promised = result["promised"].get<std::int64_t>();
    const auto read = result["read"].get<std::int64_t>();
    if (!options.input.empty() && read != promised) {
        warn("'" + options.input + "' promises " + std::to_string(promised) + " frames but holds " +
             std::to_string(read) + "; rendered the " + std::to_string(read));
    }
    const auto frames = result["frames"].get<std::int64_t>();
    const auto produced = result["nonFinite"].get<std::int64_t>();
    const bool integer = result["clips"].get<bool>();
    // Samples an integer file cannot hold as they are: beyond full scale, infinite or NaN.
    const std::int64_t clipped = integer ? result["overFullScale"].get<std::int64_t>() + produced : 0;
    if (produced > 0) {
        const std::string text = "the plug-in produced " + std::to_string(produced) +
                                 " non-finite samples (NaN or infinity)" +
                                 (integer ? ", which the " + result["stored"].get<std::string>() +
                                                " file cannot hold: they are stored clipped (NaN as 0)"
                                          : "");
        if (options.strict) {
            throw HostError(text + "; --strict refuses the render, so '" + options.output + "' was left as it was");
        }
        warn(text);
    }
    if (clipped > produced) {
        warn(std::to_string(clipped - produced) + " samples were clipped to full scale in the " +
             result["stored"].get<std::string>() + " file (--encoding float keeps them)");
    }
    if (const int signal = pendingInterruption(); signal != 0) {
        throw HostError(std::string("interrupted by ") + interruptionName(signal) + "; '" + options.output +
                        "' was left as it was");
    }
    // What the summary says is read back from the file as written.
    const StoredAudio stored = measureSoundFile(audioPath);
    std::vector<OutputSet::Check> checks{[&](const std::string& /*path*/) {
        if (stored.frames != frames) {
            return "it holds " + std::to_string(stored.frames) + " of " + std::to_string(frames) + " frames";
        }
        return std::string();
    }};
    if (plot) {
        const PictureFormat format = pictureFormatFor(options.plot);
        checks.emplace_back([format](const std::string& path) { return pictureFileProblem(path, format); });
    }

    // The summary is delivered before the outputs are put in place: a standard output that
    // cannot take it (a closed pipe, a full disk) fails the render with every file as it was,
    // so that exit status 0 always means both the outputs and the summary arrived.
    const int rate = result["rate"].get<int>();
    std::printf("Rendered %lld frames (%.2f s at %d Hz, %s) of %s through %s to %s\n", static_cast<long long>(frames),
                static_cast<double>(frames) / rate, rate, result["stored"].get<std::string>().c_str(),
                options.input.empty() ? "the built-in demo" : printableText(options.input).c_str(),
                printableText(result["effect"].get<std::string>()).c_str(), printableText(options.output).c_str());
    std::printf("Output peak %.6f (%.2f dBFS), %lld clipped, %lld non-finite samples%s\n", stored.peak,
                stored.peak > 0 ? 20.0 * std::log10(stored.peak) : -HUGE_VAL, static_cast<long long>(clipped),
                static_cast<long long>(stored.nonFinite),
                result["latency"].get<int>() > 0
                    ? ("; " + std::to_string(result["latency"].get<int>()) + " frames of latency compensated").c_str()
                    : "");
    if (plot) {
        std::printf("Plotted the waveforms to %s\n", printableText(options.plot).c_str());
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        const int error = errno;
        throw HostError(std::string("cannot write the summary to the standard output: ") + std::strerror(error) +
                        "; '" + options.output + "' was left as it was");
    }
    outputs.commit(checks);
    return 0;
}

Subcommand addRenderCommand(CLI::App& app) {
    auto options = std::make_shared<RenderOptions>();
    CLI::App* command = app.add_subcommand("render", "Process an audio file (or the built-in demo) into a file");
    addPluginOption(*command, options->plugin);
    command->add_option("-i,--input", options->input,
                        "Input audio file (any format libsndfile reads); without it, the built-in demo signal");
    command->add_option("-o,--output", options->output, "Output file; its extension names the format")->required();
    addSetOption(*command, options->sets);
    command->add_option("--ramp", options->ramps, "Move a parameter linearly over the input: NAME=FROM:TO");
    addPrecisionAndBlock(*command, options->precision, options->blockSize);
    command->add_option("--plot", options->plot,
                        "Draw input and output waveforms to this .png, .svg or .pdf "
                        "(needs gnuplot)");
    const std::map<std::string, EncodingChoice> encodings = {{"pcm16", EncodingChoice::pcm16},
                                                             {"pcm24", EncodingChoice::pcm24},
                                                             {"float", EncodingChoice::float32},
                                                             {"double", EncodingChoice::float64}};
    command
        ->add_option("--encoding", options->encoding,
                     "Stored sample format: pcm16, pcm24, float or double (default: float, double with "
                     "--precision 64)")
        ->transform(CLI::CheckedTransformer(encodings, CLI::ignore_case));
    command->add_option("--tail", options->tailSeconds, "Seconds of silence rendered after the input")
        ->check(finiteRange(0.0, 3600.0));
    command->add_flag("--strict", options->strict, "Fail (and leave the output as it was) on NaN or infinite output");
    addTimeoutOption(*command, options->timeoutSeconds);
    return {command, [options]() { return runRender(*options); },
            supervisedWork([options](const std::string& unit) { return renderSupervised(*options, unit); })};
}

}  // namespace quorvel::host
