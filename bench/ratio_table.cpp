#include "bench/ratio_table.h"

#include <cstdio>
#include <utility>

namespace {

constexpr std::int32_t targetFrames = 512;

const char* sceneTitle(Scene scene) {
    switch (scene) {
    case Scene::wavesOff:
        return "waves off";
    case Scene::leftWave:
        return "left wave on";
    case Scene::bothWaves:
        return "both waves on";
    case Scene::periodPerBlock:
        return "period per block";
    }
    return "?";
}

// A ratio with two decimals, or "-" for a case that did not run.
std::string shown(double value) {
    if (value <= 0.0) {
        return "-";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

}  // namespace

RatioTableReporter::RatioTableReporter(std::vector<BenchCase> cases, bool details)
    : ConsoleReporter(OO_Tabular), cases(std::move(cases)), details(details) {}

bool RatioTableReporter::ReportContext(const Context& context) {
    if (details) {
        return ConsoleReporter::ReportContext(context);
    }
    PrintBasicContext(&GetErrorStream(), context);
    return true;
}

void RatioTableReporter::ReportRuns(const std::vector<Run>& runs) {
    if (details) {
        ConsoleReporter::ReportRuns(runs);
    }
    for (const Run& run : runs) {
        if (run.error_occurred) {
            continue;
        }
        const bool repeated = run.repetitions > 1;
        const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
        const bool single = run.run_type == Run::RT_Iteration && !repeated;
        const auto items = run.counters.find("items_per_second");
        if ((median || single) && items != run.counters.end()) {
            framesPerSecond[run.run_name.function_name] = items->second.value;
            repetitions = run.repetitions;
        }
    }
}

double RatioTableReporter::rate(Processing processing, Precision precision, Scene scene, std::int32_t frames) const {
    const auto found = framesPerSecond.find(BenchCase{processing, precision, scene, frames}.name());
    return found == framesPerSecond.end() ? 0.0 : found->second;
}

double RatioTableReporter::ratioToFloor(Processing processing, Precision precision, Scene scene,
                                        std::int32_t frames) const {
    const double floor = rate(Processing::copy, precision, Scene::wavesOff, frames);
    const double measured = rate(processing, precision, scene, frames);
    return floor > 0.0 && measured > 0.0 ? floor / measured : 0.0;
}

void RatioTableReporter::printTable() const {
    std::printf(
        "\nCost per frame as a multiple of copying the same samples (copy = 1), through the\n"
        "effect record; %s.\n\n",
        repetitions > 1 ? ("medians of " + std::to_string(repetitions) + " repetitions").c_str() : "one run each");
    std::printf("%-30s %-25s %-25s\n", "", "32-bit samples", "64-bit samples");
    std::printf("%-30s", "frames per block");
    for (Precision precision : precisions) {
        (void)precision;
        for (std::int32_t frames : blockSizes) {
            std::printf(" %7d", frames);
        }
        std::printf(" ");
    }
    std::printf("\n%-30s", "copy floor, ns per frame");
    for (Precision precision : precisions) {
        for (std::int32_t frames : blockSizes) {
            const double floor = rate(Processing::copy, precision, Scene::wavesOff, frames);
            std::printf(" %7s", floor > 0.0 ? shown(1e9 / floor).c_str() : "-");
        }
        std::printf(" ");
    }
    std::printf("\n");
    for (Scene scene : scenes) {
        for (Processing processing : {Processing::literal, Processing::quorvel}) {
            char title[64];
            std::snprintf(title, sizeof title, "%-18s %s", processing == Processing::literal ? sceneTitle(scene) : "",
                          processing == Processing::literal ? "literal" : "quorvel");
            std::printf("%-30s", title);
            for (Precision precision : precisions) {
                for (std::int32_t frames : blockSizes) {
                    std::printf(" %7s", shown(ratioToFloor(processing, precision, scene, frames)).c_str());
                }
                std::printf(" ");
            }
            std::printf("\n");
        }
    }
}

void RatioTableReporter::printTargets() const {
    struct Target {
        const char* title;
        Processing processing;
        Scene scene;
        Processing baseProcessing;
        Scene baseScene;
        double limit;
    };
    const Target targets[] = {
        {"both waves on / waves off", Processing::quorvel, Scene::bothWaves, Processing::quorvel, Scene::wavesOff, 2.0},
        {"waves off / literal waves off", Processing::quorvel, Scene::wavesOff, Processing::literal, Scene::wavesOff,
         1.0},
        {"period per block / literal", Processing::quorvel, Scene::periodPerBlock, Processing::literal,
         Scene::periodPerBlock, 1.2},
    };
    std::printf("\nTargets at %d frames per block (cost ratios)  %-18s %-18s\n", targetFrames, "32-bit", "64-bit");
    for (const Target& t : targets) {
        std::printf("%-32s <= %.2f  ", t.title, t.limit);
        for (Precision precision : precisions) {
            const double measured = rate(t.processing, precision, t.scene, targetFrames);
            const double base = rate(t.baseProcessing, precision, t.baseScene, targetFrames);
            if (measured > 0.0 && base > 0.0) {
                const double ratio = base / measured;
                std::printf(" %5.2f %-12s", ratio, ratio <= t.limit ? "holds" : "MISSED");
            } else {
                std::printf(" %5s %-12s", "-", "not run");
            }
        }
        std::printf("\n");
    }
}

void RatioTableReporter::Finalize() {
    std::fflush(nullptr);
    printTable();
    printTargets();
    std::fflush(stdout);
}
