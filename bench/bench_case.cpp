#include "bench/bench_case.h"

namespace {

const char* processingName(Processing p) {
    switch (p) {
    case Processing::copy:
        return "copy";
    case Processing::literal:
        return "literal";
    case Processing::quorvel:
        return "quorvel";
    }
    return "?";
}

const char* sceneName(Scene s) {
    switch (s) {
    case Scene::wavesOff:
        return "off";
    case Scene::leftWave:
        return "left";
    case Scene::bothWaves:
        return "both";
    case Scene::periodPerBlock:
        return "period-per-block";
    }
    return "?";
}

}  // namespace

std::string BenchCase::name() const {
    std::string text = processingName(processing);
    text += precision == Precision::single ? "/float/" : "/double/";
    if (processing != Processing::copy) {
        text += sceneName(scene);
        text += '/';
    }
    text += std::to_string(blockFrames);
    return text;
}
