// Opens and closes effects through the plug-in library's entry point many times over, the
// way a host scanning and re-scanning its plug-ins does, so that a leak checker run over it
// sees every allocation of an effect's life.
//
// Usage: open_close_cycles [cycles] [library]   (defaults: 10000, ./quorvel.so or .dll)
// Exits 0 when every cycle went as a host expects; otherwise prints the first fault, exits 1.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "framework/request_codes.h"
#include "host/loader/plugin_library.h"

using namespace quorvel::host;

namespace {

// Every tenth cycle the host refuses (version 0), so the entry point must create nothing.
std::intptr_t versionAnswer = 2400;

std::intptr_t host(EffectRecord* /*record*/, std::int32_t request, std::int32_t /*index*/, std::intptr_t /*value*/,
                   void* /*ptr*/, float /*opt*/) {
    return request == hostReqVersion ? versionAnswer : 0;
}

std::intptr_t ask(EffectRecord* record, std::int32_t request, std::int32_t index = 0, std::intptr_t value = 0,
                  void* ptr = nullptr, float opt = 0.0F) {
    return record->dispatchEntry(record, request, index, value, ptr, opt);
}

// What a host typically does between opening and closing: settings, activation, one short
// block in each precision, and the texts it shows.
void exercise(EffectRecord* record) {
    ask(record, reqOpen);
    ask(record, reqSampleRate, 0, 0, nullptr, 48000.0F);
    ask(record, reqBlockSize, 0, 16);
    ask(record, reqActivation, 0, 1);
    float in[2][16] = {};
    float out[2][16] = {};
    float* ins[2] = {in[0], in[1]};
    float* outs[2] = {out[0], out[1]};
    record->processFloatEntry(record, ins, outs, 16);
    double din[2][16] = {};
    double dout[2][16] = {};
    double* dins[2] = {din[0], din[1]};
    double* douts[2] = {dout[0], dout[1]};
    record->processDoubleEntry(record, dins, douts, 16);
    ask(record, reqActivation, 0, 0);
    char text[128];
    for (std::int32_t index = 0; index < record->paramCount; ++index) {
        ask(record, reqParamTitle, index, 0, text);
        ask(record, reqParamValueText, index, 0, text);
        ask(record, reqParamUnit, index, 0, text);
    }
    ask(record, reqEffectName, 0, 0, text);
    ask(record, reqProgramName, 0, 0, text);
}

}  // namespace

int main(int argc, char** argv) {
    const long cycles = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 10000;
#ifdef _WIN32
    const std::string path = argc > 2 ? argv[2] : "./quorvel.dll";
#else
    const std::string path = argc > 2 ? argv[2] : "./quorvel.so";
#endif
    if (cycles <= 0) {
        std::fprintf(stderr, "open_close_cycles: the cycle count must be a positive number, not '%s'\n", argv[1]);
        return 2;
    }

    PluginLibrary library(path);
    const PluginEntry entry = library.entry();
    if (entry == nullptr) {
        std::fprintf(stderr, "open_close_cycles: %s\n", library.error().c_str());
        return 1;
    }

    long opened = 0;
    for (long cycle = 0; cycle < cycles; ++cycle) {
        const bool refused = cycle % 10 == 9;
        versionAnswer = refused ? 0 : 2400;
        EffectRecord* record = entry(host);
        if (refused) {
            if (record != nullptr) {
                std::fprintf(stderr, "open_close_cycles: cycle %ld: an effect was created for version 0\n", cycle);
                return 1;
            }
            continue;
        }
        if (record == nullptr || record->magic != recordMagic) {
            std::fprintf(stderr, "open_close_cycles: cycle %ld: the entry point gave no valid record\n", cycle);
            return 1;
        }
        exercise(record);
        if (ask(record, reqClose) != 1) {
            std::fprintf(stderr, "open_close_cycles: cycle %ld: the close request did not answer 1\n", cycle);
            return 1;
        }
        ++opened;
    }
    std::printf("open_close_cycles: %ld cycles, %ld effects opened and closed\n", cycles, opened);
    return 0;
}
