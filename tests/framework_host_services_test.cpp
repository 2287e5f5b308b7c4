// The framework's host services, the AudioEffect and AudioEffectX operations that call the
// host: every host request's six arguments against the host request table, the conversion
// of the answers 0, 1, 2 and -1 by result kind, the fallbacks without a host, the two
// refresh operations and activation's request for events.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "framework/audio_effect_x.h"
#include "recording_host.h"

namespace {

class ServiceEffect : public AudioEffectX {
public:
    explicit ServiceEffect(HostCallback host, RecordingHost* watched = nullptr)
        : AudioEffectX(host, 1, 7), watched_(watched) {}
    void processFloatBlock(float**, float**, std::int32_t) override {}

    // Records each write with the number of host requests already sent at that moment.
    void writeParam(std::int32_t index, float value) override {
        writes.push_back({index, value, watched_ != nullptr ? watched_->requests.size() : 0U});
    }
    std::int32_t supports(const char* capability) override {
        questions.emplace_back(capability);
        return supportsAnswer;
    }

    struct Write {
        std::int32_t index;
        float value;
        std::size_t requestsBefore;
    };
    std::vector<Write> writes;
    std::vector<std::string> questions;
    std::int32_t supportsAnswer = 0;

private:
    RecordingHost* watched_;
};

// Distinct objects whose addresses the services must pass through untouched.
int itemsObject, taskObject, textObject, descriptionObject, selectorObject, dataObject, eventsObject, vendorObject;
void* const items = &itemsObject;
void* const task = &taskObject;
char* const text = reinterpret_cast<char*>(&textObject);
void* const description = &descriptionObject;
void* const selector = &selectorObject;
void* const data = &dataObject;
EventBlock* const events = reinterpret_cast<EventBlock*>(&eventsObject);
void* const vendorPtr = &vendorObject;

enum class Kind {
    integer,     // the answer unchanged; 0 without a host
    truth,       // 1 for a non-zero answer; 0 without a host
    exactOne,    // 1 only for the answer 1; 0 without a host
    pointer,     // the answer as a pointer; null without a host
    none,        // nothing returned
    version,     // the answer, but 1 for 0; 1 without a host
    connected,   // 1 for the answer 0; 1 without a host
    sampleRate,  // the answer when positive, else the stored 44100
    blockSize,   // the answer when positive, else the stored 1024
};

struct HostService {
    const char* name;
    std::intptr_t (*call)(ServiceEffect&);
    std::int32_t code;
    std::int32_t index;
    std::intptr_t value;
    void* ptr;
    float opt;
    Kind kind;
};

// Host request codes used outside the table, as numbers.
constexpr std::int32_t wantEvents = 6;
constexpr std::int32_t askSampleRate = 16;
constexpr std::int32_t askBlockSize = 17;

std::intptr_t fromPointer(const void* p) {
    return reinterpret_cast<std::intptr_t>(p);
}

// The host request table, one row per service. Codes are written as the numbers a host
// receives, not as the framework's own names for them, so that a renumbered name fails here.
// clang-format off
const HostService services[] = {
    {"writeParamAndNotify", [](ServiceEffect& e) { e.writeParamAndNotify(2, 0.25F); return std::intptr_t{0}; },
     0, 2, 0, nullptr, 0.25F, Kind::none},
    {"hostVersion", [](ServiceEffect& e) -> std::intptr_t { return e.hostVersion(); },
     1, 0, 0, nullptr, 0.0F, Kind::version},
    {"hostCurrentId", [](ServiceEffect& e) -> std::intptr_t { return e.hostCurrentId(); },
     2, 0, 0, nullptr, 0.0F, Kind::integer},
    {"hostIdle", [](ServiceEffect& e) { e.hostIdle(); return std::intptr_t{0}; },
     3, 0, 0, nullptr, 0.0F, Kind::none},
    {"isInputConnected", [](ServiceEffect& e) -> std::intptr_t { return e.isInputConnected(3); },
     4, 3, 0, nullptr, 0.0F, Kind::connected},
    {"isOutputConnected", [](ServiceEffect& e) -> std::intptr_t { return e.isOutputConnected(3); },
     4, 3, 1, nullptr, 0.0F, Kind::connected},
    {"requestEvents", [](ServiceEffect& e) { e.requestEvents(7); return std::intptr_t{0}; },
     6, 0, 7, nullptr, 0.0F, Kind::none},
    {"hostTimeInfo", [](ServiceEffect& e) { return fromPointer(e.hostTimeInfo(0x200)); },
     7, 0, 0x200, nullptr, 0.0F, Kind::pointer},
    {"sendEventsToHost", [](ServiceEffect& e) -> std::intptr_t { return e.sendEventsToHost(events); },
     8, 0, 0, events, 0.0F, Kind::exactOne},
    {"hostTempoAt", [](ServiceEffect& e) { return e.hostTempoAt(96); },
     10, 0, 96, nullptr, 0.0F, Kind::integer},
    {"hostAutomatableCount", [](ServiceEffect& e) { return e.hostAutomatableCount(); },
     11, 0, 0, nullptr, 0.0F, Kind::integer},
    {"hostParamQuantization", [](ServiceEffect& e) { return e.hostParamQuantization(); },
     12, 0, 0, nullptr, 0.0F, Kind::integer},
    {"announceIoChange", [](ServiceEffect& e) -> std::intptr_t { return e.announceIoChange(); },
     13, 0, 0, nullptr, 0.0F, Kind::truth},
    {"requestIdle", [](ServiceEffect& e) -> std::intptr_t { return e.requestIdle(); },
     14, 0, 0, nullptr, 0.0F, Kind::truth},
    {"requestWindowSize", [](ServiceEffect& e) -> std::intptr_t { return e.requestWindowSize(640, 480); },
     15, 640, 480, nullptr, 0.0F, Kind::truth},
    {"refreshSampleRate", [](ServiceEffect& e) { return static_cast<std::intptr_t>(e.refreshSampleRate()); },
     16, 0, 0, nullptr, 0.0F, Kind::sampleRate},
    {"refreshBlockSize", [](ServiceEffect& e) -> std::intptr_t { return e.refreshBlockSize(); },
     17, 0, 0, nullptr, 0.0F, Kind::blockSize},
    {"hostInputLatency", [](ServiceEffect& e) { return e.hostInputLatency(); },
     18, 0, 0, nullptr, 0.0F, Kind::integer},
    {"hostOutputLatency", [](ServiceEffect& e) { return e.hostOutputLatency(); },
     19, 0, 0, nullptr, 0.0F, Kind::integer},
    {"hostPreviousPlug", [](ServiceEffect& e) { return fromPointer(e.hostPreviousPlug(3)); },
     20, 0, 0, nullptr, 0.0F, Kind::pointer},
    {"hostNextPlug", [](ServiceEffect& e) { return fromPointer(e.hostNextPlug(4)); },
     21, 0, 0, nullptr, 0.0F, Kind::pointer},
    {"hostReplaceOrAccumulate", [](ServiceEffect& e) { return e.hostReplaceOrAccumulate(); },
     22, 0, 0, nullptr, 0.0F, Kind::integer},
    {"hostProcessLevel", [](ServiceEffect& e) { return e.hostProcessLevel(); },
     23, 0, 0, nullptr, 0.0F, Kind::integer},
    {"hostAutomationState", [](ServiceEffect& e) { return e.hostAutomationState(); },
     24, 0, 0, nullptr, 0.0F, Kind::integer},
    {"hostOfflineStart", [](ServiceEffect& e) -> std::intptr_t { return e.hostOfflineStart(items, 11, 22); },
     25, 22, 11, items, 0.0F, Kind::truth},
    {"hostOfflineRead", [](ServiceEffect& e) -> std::intptr_t { return e.hostOfflineRead(task, 5, true); },
     26, 1, 5, task, 0.0F, Kind::truth},
    {"hostOfflineRead without flag", [](ServiceEffect& e) -> std::intptr_t { return e.hostOfflineRead(task, 6, false); },
     26, 0, 6, task, 0.0F, Kind::truth},
    {"hostOfflineWrite", [](ServiceEffect& e) -> std::intptr_t { return e.hostOfflineWrite(task, 9); },
     27, 0, 9, task, 0.0F, Kind::truth},
    {"hostOfflinePass", [](ServiceEffect& e) -> std::intptr_t { return e.hostOfflinePass(); },
     28, 0, 0, nullptr, 0.0F, Kind::truth},
    {"hostOfflineMetaPass", [](ServiceEffect& e) -> std::intptr_t { return e.hostOfflineMetaPass(); },
     29, 0, 0, nullptr, 0.0F, Kind::truth},
    {"requestOutputSampleRate", [](ServiceEffect& e) { e.requestOutputSampleRate(48000.0F); return std::intptr_t{0}; },
     30, 0, 0, nullptr, 48000.0F, Kind::none},
    {"hostOutputSpeakerLayout", [](ServiceEffect& e) { return fromPointer(e.hostOutputSpeakerLayout()); },
     31, 0, 0, nullptr, 0.0F, Kind::pointer},
    {"hostVendorText", [](ServiceEffect& e) -> std::intptr_t { return e.hostVendorText(text); },
     32, 0, 0, text, 0.0F, Kind::truth},
    {"hostProductText", [](ServiceEffect& e) -> std::intptr_t { return e.hostProductText(text); },
     33, 0, 0, text, 0.0F, Kind::truth},
    {"hostVendorVersion", [](ServiceEffect& e) { return e.hostVendorVersion(); },
     34, 0, 0, nullptr, 0.0F, Kind::integer},
    {"hostVendorCall", [](ServiceEffect& e) { return e.hostVendorCall(5, -6, vendorPtr, 0.75F); },
     35, 5, -6, vendorPtr, 0.75F, Kind::integer},
    {"hostSupports", [](ServiceEffect& e) -> std::intptr_t { return e.hostSupports(text); },
     37, 0, 0, text, 0.0F, Kind::truth},
    {"hostLanguage", [](ServiceEffect& e) { return e.hostLanguage(); },
     38, 0, 0, nullptr, 0.0F, Kind::integer},
    {"hostOpenWindow", [](ServiceEffect& e) { return fromPointer(e.hostOpenWindow(description)); },
     39, 0, 0, description, 0.0F, Kind::pointer},
    {"hostCloseWindow", [](ServiceEffect& e) -> std::intptr_t { return e.hostCloseWindow(description); },
     40, 0, 0, description, 0.0F, Kind::truth},
    {"hostDirectory", [](ServiceEffect& e) { return fromPointer(e.hostDirectory()); },
     41, 0, 0, nullptr, 0.0F, Kind::pointer},
    {"requestDisplayRefresh", [](ServiceEffect& e) -> std::intptr_t { return e.requestDisplayRefresh(); },
     42, 0, 0, nullptr, 0.0F, Kind::truth},
    {"announceEditStart", [](ServiceEffect& e) -> std::intptr_t { return e.announceEditStart(3); },
     43, 3, 0, nullptr, 0.0F, Kind::truth},
    {"announceEditEnd", [](ServiceEffect& e) -> std::intptr_t { return e.announceEditEnd(4); },
     44, 4, 0, nullptr, 0.0F, Kind::truth},
    {"openHostFileSelector", [](ServiceEffect& e) -> std::intptr_t { return e.openHostFileSelector(selector); },
     45, 0, 0, selector, 0.0F, Kind::truth},
    {"closeHostFileSelector", [](ServiceEffect& e) -> std::intptr_t { return e.closeHostFileSelector(selector); },
     46, 0, 0, selector, 0.0F, Kind::truth},
    {"hostChunkFile", [](ServiceEffect& e) -> std::intptr_t { return e.hostChunkFile(data); },
     48, 0, 0, data, 0.0F, Kind::truth},
    {"hostInputSpeakerLayout", [](ServiceEffect& e) { return fromPointer(e.hostInputSpeakerLayout()); },
     49, 0, 0, nullptr, 0.0F, Kind::pointer},
};
// clang-format on

// What a service answers when the host answers `answer`.
std::intptr_t expectedResult(Kind kind, std::intptr_t answer) {
    switch (kind) {
    case Kind::integer:
    case Kind::pointer:
        return answer;
    case Kind::truth:
        return answer != 0 ? 1 : 0;
    case Kind::exactOne:
        return answer == 1 ? 1 : 0;
    case Kind::none:
        return 0;
    case Kind::version:
        return answer == 0 ? 1 : answer;
    case Kind::connected:
        return answer == 0 ? 1 : 0;
    case Kind::sampleRate:
        return answer > 0 ? answer : 44100;
    case Kind::blockSize:
        return answer > 0 ? answer : 1024;
    }
    return -999;
}

// What a service answers without a host.
std::intptr_t fallbackResult(Kind kind) {
    switch (kind) {
    case Kind::version:
    case Kind::connected:
        return 1;
    case Kind::sampleRate:
        return 44100;
    case Kind::blockSize:
        return 1024;
    default:
        return 0;
    }
}

TEST(FrameworkHostServicesTest, EveryServiceSendsItsRowOfTheHostRequestTable) {
    std::set<std::int32_t> covered;
    for (const HostService& service : services) {
        covered.insert(service.code);
        for (const std::intptr_t answer : {0, 1, 2, -1}) {
            SCOPED_TRACE(std::string(service.name) + " answered " + std::to_string(answer));
            RecordingHost host;
            host.answers.clear();
            host.defaultAnswer = answer;
            ServiceEffect effect(&RecordingHost::callback);

            const std::intptr_t result = service.call(effect);

            ASSERT_EQ(host.requests.size(), 1U);
            const HostRequest& sent = host.requests.front();
            EXPECT_EQ(sent.record, effect.record());
            EXPECT_EQ(sent.request, service.code);
            EXPECT_EQ(sent.index, service.index);
            EXPECT_EQ(sent.value, service.value);
            EXPECT_EQ(sent.ptr, service.ptr);
            EXPECT_EQ(sent.opt, service.opt);
            EXPECT_EQ(result, expectedResult(service.kind, answer));
        }

        SCOPED_TRACE(std::string(service.name) + " without a host");
        RecordingHost host;
        ServiceEffect effect(nullptr);
        EXPECT_EQ(service.call(effect), fallbackResult(service.kind));
        EXPECT_TRUE(host.requests.empty());
    }

    // Every code the system sends is in the table; 5, 9, 36 and 47 are never sent.
    std::set<std::int32_t> expected{0, 1, 2, 3, 4, 6, 7, 8};
    for (std::int32_t code = 10; code <= 49; ++code) {
        if (code != 36 && code != 47) {
            expected.insert(code);
        }
    }
    EXPECT_EQ(covered, expected);
}

TEST(FrameworkHostServicesTest, ParameterIsWrittenBeforeTheHostHearsOfIt) {
    {
        RecordingHost host;
        ServiceEffect effect(nullptr, &host);
        effect.writeParamAndNotify(2, 0.25F);
        ASSERT_EQ(effect.writes.size(), 1U);
        EXPECT_EQ(effect.writes[0].index, 2);
        EXPECT_EQ(effect.writes[0].value, 0.25F);
        EXPECT_TRUE(host.requests.empty());
    }
    RecordingHost host;
    ServiceEffect effect(&RecordingHost::callback, &host);
    effect.writeParamAndNotify(2, 0.25F);
    ASSERT_EQ(effect.writes.size(), 1U);
    EXPECT_EQ(effect.writes[0].requestsBefore, 0U);
    ASSERT_EQ(host.requests.size(), 1U);
    EXPECT_EQ(host.requests[0].opt, 0.25F);
}

TEST(FrameworkHostServicesTest, RefreshKeepsTheStoredValueUnlessTheAnswerIsPositive) {
    RecordingHost host;
    ServiceEffect effect(&RecordingHost::callback);
    host.answers[askSampleRate] = 48000;
    host.answers[askBlockSize] = 512;
    EXPECT_EQ(effect.refreshSampleRate(), 48000.0F);
    EXPECT_EQ(effect.refreshBlockSize(), 512);
    for (const std::intptr_t answer : {0, -1}) {
        host.answers[askSampleRate] = answer;
        host.answers[askBlockSize] = answer;
        EXPECT_EQ(effect.refreshSampleRate(), 48000.0F);
        EXPECT_EQ(effect.refreshBlockSize(), 512);
    }
    EXPECT_EQ(effect.sampleRate(), 48000.0F);
    EXPECT_EQ(effect.blockSize(), 512);
    // The largest block size the stored field holds is taken, on every width of answer.
    host.answers[askBlockSize] = std::numeric_limits<std::int32_t>::max();
    EXPECT_EQ(effect.refreshBlockSize(), std::numeric_limits<std::int32_t>::max());
    host.answers[askBlockSize] = 512;
    EXPECT_EQ(effect.refreshBlockSize(), 512);
    if constexpr (sizeof(std::intptr_t) > sizeof(std::int32_t)) {
        // A 64-bit answer too wide for the block size leaves the stored one alone.
        host.answers[askBlockSize] = static_cast<std::intptr_t>(INT64_C(0x100000200));
        EXPECT_EQ(effect.refreshBlockSize(), 512);
    }

    ServiceEffect unhosted(nullptr);
    unhosted.applySampleRate(96000.0F);
    unhosted.applyBlockSize(64);
    EXPECT_EQ(unhosted.refreshSampleRate(), 96000.0F);
    EXPECT_EQ(unhosted.refreshBlockSize(), 64);
}

TEST(FrameworkHostServicesTest, NullPointersToSelectorsAndChunkFilesSendNothing) {
    RecordingHost host;
    host.defaultAnswer = 7;
    ServiceEffect effect(&RecordingHost::callback);
    EXPECT_FALSE(effect.openHostFileSelector(nullptr));
    EXPECT_FALSE(effect.closeHostFileSelector(nullptr));
    EXPECT_FALSE(effect.hostChunkFile(nullptr));
    EXPECT_TRUE(host.requests.empty());
    EXPECT_TRUE(effect.openHostFileSelector(selector));
}

// Activation through request 12 with a non-zero value; answers the host requests it caused.
std::vector<HostRequest> activate(ServiceEffect& effect, RecordingHost& host) {
    host.requests.clear();
    effect.dispatch(reqActivation, 0, 1, nullptr, 0.0F);
    return host.requests;
}

TEST(FrameworkHostServicesTest, ActivationAsksForEventsOnlyForInstrumentsAndMidiReceivers) {
    RecordingHost host;
    ServiceEffect effect(&RecordingHost::callback);

    for (const std::int32_t answer : {0, 2, -1}) {
        effect.supportsAnswer = answer;
        effect.questions.clear();
        EXPECT_TRUE(activate(effect, host).empty()) << "supports answered " << answer;
        ASSERT_EQ(effect.questions.size(), 1U);
        EXPECT_EQ(effect.questions[0], "receiveVstMidiEvent");
    }

    effect.supportsAnswer = 1;
    auto sent = activate(effect, host);
    ASSERT_EQ(sent.size(), 1U);
    EXPECT_EQ(sent[0].request, wantEvents);
    EXPECT_EQ(sent[0].index, 0);
    EXPECT_EQ(sent[0].value, 1);
    EXPECT_EQ(sent[0].ptr, nullptr);
    EXPECT_EQ(sent[0].record, effect.record());

    // An instrument asks for events without asking its own capabilities.
    effect.supportsAnswer = 0;
    effect.questions.clear();
    effect.declareInstrument(true);
    sent = activate(effect, host);
    ASSERT_EQ(sent.size(), 1U);
    EXPECT_EQ(sent[0].request, wantEvents);
    EXPECT_EQ(sent[0].value, 1);
    EXPECT_TRUE(effect.questions.empty());

    // Deactivation asks nothing.
    host.requests.clear();
    effect.dispatch(reqActivation, 0, 0, nullptr, 0.0F);
    EXPECT_TRUE(host.requests.empty());
}

}  // namespace
