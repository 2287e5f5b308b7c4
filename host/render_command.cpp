// quorvel-host render: a file (or the built-in demo) through the plug-in into a file, and
// optionally a picture of the waveforms.
#include <cstdio>
#include <filesystem>
#include <memory>

#include "host/commands.h"
#include "host/demo_signal.h"
#include "host/progress_bar.h"
#include "host/render.h"
#include "host/sound_file.h"
#include "host/waveform_plot.h"

namespace {

std::unique_ptr<AudioSource> openSource(const RenderOptions& options) {
    if (options.input.empty()) {
        return std::make_unique<DemoSignal>();
    }
    std::error_code error;
    if (std::filesystem::exists(options.output, error) &&
        std::filesystem::equivalent(options.input, options.output, error)) {
        throw HostError("the output '" + options.output + "' is the input file; choose another name");
    }
    auto source = std::make_unique<SoundFileReader>(options.input);
    if (source->channels() > 2) {
        throw HostError("'" + options.input + "' has " + std::to_string(source->channels()) +
                        " channels; only mono and stereo files can be rendered");
    }
    return source;
}

std::vector<ParamSetting> resolveSettings(const RenderOptions& options, PluginInstance& instance) {
    std::vector<ParamSetting> settings;
    for (const std::string& text : options.sets) {
        settings.push_back(parseParamSetting(text, false, instance));
    }
    for (const std::string& text : options.ramps) {
        settings.push_back(parseParamSetting(text, true, instance));
    }
    return settings;
}

}  // namespace

int runRender(const RenderOptions& options) {
    PluginLibrary library(options.plugin);
    PluginInstance instance(requireEntry(library, options.plugin));
    instance.open();
    std::unique_ptr<AudioSource> source = openSource(options);
    const int rate = source->sampleRate();

    RenderSettings settings;
    settings.precision = options.precision == 64 ? Precision::float64 : Precision::float32;
    settings.blockSize = options.blockSize;
    settings.params = resolveSettings(options, instance);
    if (instance.inputCount() == 1 && source->channels() == 2) {
        std::fprintf(stderr, "quorvel-host: note: the plug-in has one input; the right channel is not used\n");
    }

    instance.configure(static_cast<float>(rate), options.blockSize);
    instance.setActive(true);
    const SampleEncoding encoding =
        settings.precision == Precision::float64 ? SampleEncoding::float64 : SampleEncoding::float32;
    std::int64_t frames = 0;
    std::unique_ptr<WaveformSummary> summary;
    if (!options.plot.empty()) {
        summary = std::make_unique<WaveformSummary>(source->frames(), rate);
    }
    try {
        SoundFileWriter writer(options.output, instance.outputCount(), rate, encoding);
        ProgressBar progress(source->frames());
        settings.progress = [&progress](std::int64_t done) { progress.update(done); };
        frames = renderAudio(instance, *source, writer, settings, summary.get());
        writer.finish();
    } catch (const HostError&) {
        std::error_code ignored;
        std::filesystem::remove(options.output, ignored);  // no half-written file is left behind
        throw;
    }
    const std::string effect = instance.effectName().text;
    instance.close();

    std::printf("Rendered %lld frames (%.2f s at %d Hz, %d-bit) of %s through %s to %s\n",
                static_cast<long long>(frames), static_cast<double>(frames) / rate, rate, options.precision,
                options.input.empty() ? "the built-in demo" : options.input.c_str(), effect.c_str(),
                options.output.c_str());
    if (summary) {
        const std::string title = effect + ": " + (options.input.empty() ? "built-in demo" : options.input);
        plotWaveforms(*summary, title, options.plot);
        std::printf("Plotted the waveforms to %s\n", options.plot.c_str());
    }
    return 0;
}
