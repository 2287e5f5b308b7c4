// A test plug-in that misbehaves on request, to drive quorvel-host's defences. Its behaviour
// comes from the environment variable QUORVEL_HOSTILE, a comma-separated list of:
//   crash@request:N, exit@request:N, abort@request:N, hang@request:N   at request code N
//   crash@block:N,   exit@block:N,   abort@block:N,   hang@block:N     at process call N (from 0)
//   crash@load, exit@load, abort@load, hang@load       while the library loads (its initialiser)
//   crash@unload, ...                                  while the library unloads (its finaliser)
//   exit3@..., throw@...  as above: exit(3); throw a std::runtime_error out of the call
//   slow:MS       every process call takes MS milliseconds
//   slowrequest:MS  every request takes MS milliseconds
//   chatty        prints on its standard output at every request and process call
//   giant-name    writes 4,000 bytes into the effect-name buffer
//   control-name  an effect name holding an escape sequence and a newline
//   nan           processing writes NaN
//   nan64         64-bit processing writes NaN; 32-bit is sound
//   loud          processing makes the input four times louder
//   latency:N     declares N frames of latency and delays its output by N frames
//   chdir:DIR     moves the process into the folder DIR when it is opened (a plug-in may)
// Otherwise it passes its two inputs through unchanged, in both precisions.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>
#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "framework/effect_record.h"
#include "framework/request_codes.h"

namespace {

enum class Misdeed { none, crash, exit, exit3, abort, hang, raise, exitProcess, terminateProcess };

struct Trigger {
    Misdeed misdeed = Misdeed::none;
    bool atBlock = false;  // else at a request
    long at = -1;
};

// The misdeed named by `what`.
Misdeed misdeedNamed(const std::string& what) {
    return what == "crash"   ? Misdeed::crash
           : what == "exit"  ? Misdeed::exit
           : what == "exit3" ? Misdeed::exit3
           : what == "abort" ? Misdeed::abort
           : what == "hang"  ? Misdeed::hang
           : what == "throw" ? Misdeed::raise
           // The process ended through the system, no C runtime involved (elsewhere exit(5)).
           : what == "exitprocess"      ? Misdeed::exitProcess
           : what == "terminateprocess" ? Misdeed::terminateProcess
                                        : Misdeed::none;
}

struct Behaviour {
    Trigger trigger;
    bool chatty = false;
    bool giantName = false;
    bool controlName = false;
    bool nan = false;
    bool nan64 = false;
    bool loud = false;
    std::int32_t latency = 0;
    long slowMilliseconds = 0;
    long slowRequestMilliseconds = 0;
    Misdeed atLoad = Misdeed::none;
    Misdeed atUnload = Misdeed::none;
    std::string chdirTo;
};

Behaviour readBehaviour() {
    Behaviour behaviour;
    const char* setting = std::getenv("QUORVEL_HOSTILE");
    std::string list = setting != nullptr ? setting : "";
    list += ',';
    for (std::size_t start = 0, comma = 0; (comma = list.find(',', start)) != std::string::npos; start = comma + 1) {
        const std::string item = list.substr(start, comma - start);
        const std::size_t at = item.find('@');
        const std::size_t colon = item.find(':');
        if (at != std::string::npos && item.compare(at, std::string::npos, "@load") == 0) {
            behaviour.atLoad = misdeedNamed(item.substr(0, at));
        } else if (at != std::string::npos && item.compare(at, std::string::npos, "@unload") == 0) {
            behaviour.atUnload = misdeedNamed(item.substr(0, at));
        } else if (at != std::string::npos && colon != std::string::npos) {
            Trigger& trigger = behaviour.trigger;
            trigger.misdeed = misdeedNamed(item.substr(0, at));
            trigger.atBlock = item.compare(at + 1, colon - at - 1, "block") == 0;
            trigger.at = std::strtol(item.c_str() + colon + 1, nullptr, 10);
        } else if (item == "chatty") {
            behaviour.chatty = true;
        } else if (item == "giant-name") {
            behaviour.giantName = true;
        } else if (item == "control-name") {
            behaviour.controlName = true;
        } else if (item == "nan") {
            behaviour.nan = true;
        } else if (item == "nan64") {
            behaviour.nan64 = true;
        } else if (item == "loud") {
            behaviour.loud = true;
        } else if (item.rfind("chdir:", 0) == 0) {
            behaviour.chdirTo = item.substr(6);
        } else if (item.rfind("slowrequest:", 0) == 0) {
            behaviour.slowRequestMilliseconds = std::strtol(item.c_str() + 12, nullptr, 10);
        } else if (item.rfind("slow:", 0) == 0) {
            behaviour.slowMilliseconds = std::strtol(item.c_str() + 5, nullptr, 10);
        } else if (item.rfind("latency:", 0) == 0) {
            behaviour.latency = static_cast<std::int32_t>(std::strtol(item.c_str() + 8, nullptr, 10));
        }
    }
    return behaviour;
}

void sleepMilliseconds(long milliseconds) {
#if defined(_WIN32)
    Sleep(static_cast<DWORD>(milliseconds));  // the Windows cross toolchains have no std::this_thread
#else
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
#endif
}

// Writes through a null pointer. Left out of the undefined-behaviour sanitizer, which would
// otherwise end the process with its report before the crash the host must survive.
__attribute__((no_sanitize("undefined"))) void crash() {
    static int* volatile nowhere = nullptr;
    // cppcheck-suppress nullPointer ; the crash is this test plug-in's purpose
    *nowhere = 1;
}

void misbehave(Misdeed misdeed) {
    switch (misdeed) {
    case Misdeed::crash:
        crash();
        break;
    case Misdeed::exit:
        std::exit(0);
    case Misdeed::exit3:
        std::exit(3);
    case Misdeed::abort:
        std::abort();
    case Misdeed::hang:
        for (;;) {
            sleepMilliseconds(1000);
        }
    case Misdeed::raise:
        throw std::runtime_error("cannot write 'out.wav': No space left on device");
#if defined(_WIN32)
    case Misdeed::exitProcess:
        ExitProcess(5);
    case Misdeed::terminateProcess:
        TerminateProcess(GetCurrentProcess(), 6);
        break;
#else
    case Misdeed::exitProcess:
    case Misdeed::terminateProcess:
        std::exit(5);
#endif
    case Misdeed::none:
        break;
    }
}

struct HostileEffect {
    EffectRecord record{};  // first member: the record's address is the object's
    Behaviour behaviour;
    long blocks = 0;
    std::vector<double> delayLine[2];  // the last `latency` input samples per channel
};

static_assert(std::is_standard_layout_v<EffectRecord>);

HostileEffect* owner(EffectRecord* record) {
    return reinterpret_cast<HostileEffect*>(reinterpret_cast<char*>(record) - offsetof(HostileEffect, record));
}

void copyText(void* ptr, const char* text) {
    if (ptr != nullptr) {
        std::strcpy(static_cast<char*>(ptr), text);
    }
}

std::intptr_t dispatch(EffectRecord* record, std::int32_t request, std::int32_t index, std::intptr_t /*value*/,
                       void* ptr, float /*opt*/) {
    HostileEffect* effect = owner(record);
    const Behaviour& behaviour = effect->behaviour;
    if (behaviour.chatty) {
        std::printf("hostile: request %d\n", request);
        std::fflush(stdout);
    }
    if (!behaviour.trigger.atBlock && behaviour.trigger.at == request) {
        misbehave(behaviour.trigger.misdeed);
    }
    if (behaviour.slowRequestMilliseconds > 0) {
        sleepMilliseconds(behaviour.slowRequestMilliseconds);
    }
    switch (request) {
    case reqClose:
        delete effect;
        return 1;
    case reqParamTitle:
        copyText(ptr, index == 0 ? "Gain" : "");
        return 0;
    case reqParamUnit:
        copyText(ptr, "x");
        return 0;
    case reqParamValueText:
        copyText(ptr, "1");
        return 0;
    case reqProgramName:
        copyText(ptr, "Only");
        return 0;
    case reqEffectName:
        if (behaviour.giantName && ptr != nullptr) {
            std::memset(ptr, 'G', 4000);
            static_cast<char*>(ptr)[3999] = '\0';
        } else {
            copyText(ptr, behaviour.controlName ? "Evil\x1b[31mRed\nName" : "Hostile");
        }
        return 1;
    case reqProductText:
        copyText(ptr, "Hostile");
        return 1;
    case reqVendorText:
        copyText(ptr, "Test Bench");
        return 1;
    case reqVendorVersion:
        return 1;
    case reqInterfaceVersion:
        return 2400;
    default:
        return 0;
    }
}

void setParam(EffectRecord* /*record*/, std::int32_t /*index*/, float /*value*/) {}

float getParam(EffectRecord* /*record*/, std::int32_t /*index*/) {
    return 1.0F;
}

template <typename Sample>
void process(EffectRecord* record, Sample** inputs, Sample** outputs, std::int32_t frameCount) {
    HostileEffect* effect = owner(record);
    const Behaviour& behaviour = effect->behaviour;
    if (behaviour.chatty) {
        std::printf("hostile: block %ld\n", effect->blocks);
        std::fflush(stdout);
    }
    if (behaviour.trigger.atBlock && behaviour.trigger.at == effect->blocks) {
        misbehave(behaviour.trigger.misdeed);
    }
    ++effect->blocks;
    if (behaviour.slowMilliseconds > 0) {
        sleepMilliseconds(behaviour.slowMilliseconds);
    }
    for (int c = 0; c < 2; ++c) {
        std::vector<double>& delay = effect->delayLine[c];
        for (std::int32_t k = 0; k < frameCount; ++k) {
            double value = static_cast<double>(inputs[c][k]);
            if (!delay.empty()) {
                delay.push_back(value);
                value = delay.front();
                delay.erase(delay.begin());
            }
            const bool writeNan = behaviour.nan || (behaviour.nan64 && std::is_same_v<Sample, double>);
            outputs[c][k] = writeNan ? std::numeric_limits<Sample>::quiet_NaN()
                                     : static_cast<Sample>(behaviour.loud ? 4.0 * value : value);
        }
    }
}

void processAccumulate(EffectRecord* /*record*/, float** /*inputs*/, float** /*outputs*/, std::int32_t /*frames*/) {}

// Misbehaves while the library loads and unloads, as its static constructors and destructors.
struct LibraryLifetime {
    LibraryLifetime() { misbehave(readBehaviour().atLoad); }
    ~LibraryLifetime() { misbehave(readBehaviour().atUnload); }
    LibraryLifetime(const LibraryLifetime&) = delete;
    LibraryLifetime& operator=(const LibraryLifetime&) = delete;
};
const LibraryLifetime lifetime;

}  // namespace

extern "C" EffectRecord* VSTPluginMain(HostCallback host) {
    if (host(nullptr, hostReqVersion, 0, 0, nullptr, 0.0F) == 0) {
        return nullptr;
    }
    auto* effect = new (std::nothrow) HostileEffect;
    if (effect == nullptr) {
        return nullptr;
    }
    effect->behaviour = readBehaviour();
#if !defined(_WIN32)
    if (!effect->behaviour.chdirTo.empty() && chdir(effect->behaviour.chdirTo.c_str()) != 0) {
        std::perror("hostile: chdir");
    }
#endif
    for (std::vector<double>& delay : effect->delayLine) {
        delay.assign(static_cast<std::size_t>(effect->behaviour.latency), 0.0);
    }
    EffectRecord& record = effect->record;
    record.magic = recordMagic;
    record.dispatchEntry = dispatch;
    record.processAccumulateEntry = processAccumulate;
    record.setParamEntry = setParam;
    record.getParamEntry = getParam;
    record.programCount = 1;
    record.paramCount = 1;
    record.inputCount = 2;
    record.outputCount = 2;
    record.latency = effect->behaviour.latency;
    record.flags = flagCanFloatReplacing | flagCanDoubleReplacing;
    record.ioRatio = 1.0F;
    record.uniqueId = fourCharCode('H', 's', 't', 'l');
    record.version = 1;
    record.processFloatEntry = process<float>;
    record.processDoubleEntry = process<double>;
    return &record;
}
