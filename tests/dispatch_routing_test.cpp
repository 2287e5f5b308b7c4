// Which operation each request reaches and which request value lands in which argument: a
// test effect records every operation the dispatchers call, with its arguments, and answers
// with values that show whether a result is passed on as is or as a truth value.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "framework/audio_effect_x.h"

namespace {

// The request values every routed request carries; distinct so that each shows where it went.
constexpr std::int32_t sentIndex = 11;
constexpr std::intptr_t sentValue = 22;
constexpr float sentOpt = 3.5F;
char sentBuffer[16];
void* const sentPtr = sentBuffer;

// Renders a call as text, naming the request's own pointers so that the table below reads
// as the routing: "ptr" is the request's ptr, "@22" the request's value read as a pointer.
class CallLog {
public:
    template <typename... Args>
    void add(const char* operation, const Args&... args) {
        std::ostringstream call;
        call << operation << '(';
        [[maybe_unused]] const char* separator = "";
        ((call << separator << show(args), separator = ", "), ...);
        call << ')';
        calls.push_back(call.str());
    }

    std::vector<std::string> calls;

private:
    static std::string show(bool b) { return b ? "true" : "false"; }
    static std::string show(std::int32_t n) { return std::to_string(n); }
    static std::string show(float f) {
        std::ostringstream s;
        s << f;
        return s.str();
    }
    template <typename T>
    static std::string show(T* p) {
        if (p == nullptr) {
            return "null";
        }
        if (static_cast<const void*>(p) == sentPtr) {
            return "ptr";
        }
        return "@" + std::to_string(reinterpret_cast<std::uintptr_t>(p));
    }
};

class RecordingEditor : public EffectEditor {
public:
    explicit RecordingEditor(CallLog& log) : log_(log) {}
    bool reportBounds(void* ptr) override { return log_.add("reportBounds", ptr), answer; }
    bool attachWindow(void* ptr) override { return log_.add("attachWindow", ptr), answer; }
    void detachWindow() override { log_.add("detachWindow"); }
    void onIdleTime() override { log_.add("onIdleTime"); }
    bool onKeyPressed(KeyStroke& key) override { return keep("onKeyPressed", key), answer; }
    bool onKeyReleased(KeyStroke& key) override { return keep("onKeyReleased", key), answer; }
    bool applyKnobMode(std::int32_t mode) override { return log_.add("applyKnobMode", mode), answer; }

    bool answer = true;
    std::vector<KeyStroke> keys;

private:
    void keep(const char* operation, const KeyStroke& key) {
        log_.add(operation);
        keys.push_back(key);
    }
    CallLog& log_;
};

// Overrides every operation a request can reach. Truth operations answer `truthAnswer`,
// integer operations `numberAnswer`.
class RoutingEffect : public AudioEffectX {
public:
    RoutingEffect() : AudioEffectX(nullptr, 3, 7) {}
    void processFloatBlock(float**, float**, std::int32_t) override {}

    CallLog log;
    bool truthAnswer = true;
    std::int32_t numberAnswer = -123456;

    void onOpen() override { log.add("onOpen"); }
    void onClose() override { log.add("onClose"); }
    void onDeactivate() override { log.add("onDeactivate"); }
    void onActivate() override { log.add("onActivate"); }
    void applySampleRate(float rate) override { log.add("applySampleRate", rate); }
    void applyBlockSize(std::int32_t size) override { log.add("applyBlockSize", size); }
    std::int32_t currentProgram() override { return log.add("currentProgram"), numberAnswer; }
    void selectProgram(std::int32_t index) override { log.add("selectProgram", index); }
    void renameProgram(char* name) override { log.add("renameProgram", name); }
    void fillProgramName(char* text) override { log.add("fillProgramName", text); }
    void fillParamUnit(std::int32_t i, char* text) override { log.add("fillParamUnit", i, text); }
    void fillParamValueText(std::int32_t i, char* text) override { log.add("fillParamValueText", i, text); }
    void fillParamTitle(std::int32_t i, char* text) override { log.add("fillParamTitle", i, text); }
    std::int32_t saveChunk(void** data, bool flag) override { return log.add("saveChunk", data, flag), numberAnswer; }
    std::int32_t loadChunk(void* data, std::int32_t size, bool flag) override {
        return log.add("loadChunk", data, size, flag), numberAnswer;
    }

    std::int32_t handleEvents(EventBlock* e) override { return log.add("handleEvents", e), numberAnswer; }
    bool isParamAutomatable(std::int32_t i) override { return log.add("isParamAutomatable", i), truthAnswer; }
    bool paramFromText(std::int32_t i, char* t) override { return log.add("paramFromText", i, t), truthAnswer; }
    bool fillProgramNameAt(std::int32_t v, std::int32_t i, char* t) override {
        return log.add("fillProgramNameAt", v, i, t), truthAnswer;
    }
    bool fillInputPinInfo(std::int32_t i, void* p) override { return log.add("fillInputPinInfo", i, p), truthAnswer; }
    bool fillOutputPinInfo(std::int32_t i, void* p) override { return log.add("fillOutputPinInfo", i, p), truthAnswer; }
    std::int32_t category() override { return log.add("category"), numberAnswer; }
    bool onOfflineNotify(void* p, std::int32_t v, bool f) override {
        return log.add("onOfflineNotify", p, v, f), truthAnswer;
    }
    bool onOfflinePrepare(void* p, std::int32_t v) override { return log.add("onOfflinePrepare", p, v), truthAnswer; }
    bool onOfflineRun(void* p, std::int32_t v) override { return log.add("onOfflineRun", p, v), truthAnswer; }
    bool processVariableIo(void* p) override { return log.add("processVariableIo", p), truthAnswer; }
    bool acceptSpeakerLayout(SpeakerLayout* in, SpeakerLayout* out) override {
        return log.add("acceptSpeakerLayout", in, out), truthAnswer;
    }
    bool applyBypass(bool on) override { return log.add("applyBypass", on), truthAnswer; }
    bool fillEffectName(char* t) override { return log.add("fillEffectName", t), truthAnswer; }
    bool fillVendorText(char* t) override { return log.add("fillVendorText", t), truthAnswer; }
    bool fillProductText(char* t) override { return log.add("fillProductText", t), truthAnswer; }
    std::int32_t vendorVersion() override { return log.add("vendorVersion"), numberAnswer; }
    std::int32_t vendorCall(std::int32_t i, std::int32_t v, void* p, float o) override {
        return log.add("vendorCall", i, v, p, o), numberAnswer;
    }
    std::int32_t supports(const char* c) override { return log.add("supports", c), numberAnswer; }
    std::int32_t tailLength() override { return log.add("tailLength"), numberAnswer; }
    bool fillParamProperties(std::int32_t i, void* p) override {
        return log.add("fillParamProperties", i, p), truthAnswer;
    }
    std::int32_t interfaceVersion() override { return log.add("interfaceVersion"), numberAnswer; }
    std::int32_t fillMidiProgramName(std::int32_t i, void* p) override {
        return log.add("fillMidiProgramName", i, p), numberAnswer;
    }
    std::int32_t fillCurrentMidiProgram(std::int32_t i, void* p) override {
        return log.add("fillCurrentMidiProgram", i, p), numberAnswer;
    }
    std::int32_t fillMidiProgramCategory(std::int32_t i, void* p) override {
        return log.add("fillMidiProgramCategory", i, p), numberAnswer;
    }
    bool midiProgramsChanged(std::int32_t i) override { return log.add("midiProgramsChanged", i), truthAnswer; }
    bool fillMidiKeyName(std::int32_t i, void* p) override { return log.add("fillMidiKeyName", i, p), truthAnswer; }
    bool onProgramChangeStart() override { return log.add("onProgramChangeStart"), truthAnswer; }
    bool onProgramChangeEnd() override { return log.add("onProgramChangeEnd"), truthAnswer; }
    bool reportSpeakerLayout(SpeakerLayout** in, SpeakerLayout** out) override {
        return log.add("reportSpeakerLayout", in, out), truthAnswer;
    }
    std::int32_t nextShellPlugin(char* name) override { return log.add("nextShellPlugin", name), numberAnswer; }
    std::int32_t onProcessingStart() override { return log.add("onProcessingStart"), numberAnswer; }
    std::int32_t onProcessingStop() override { return log.add("onProcessingStop"), numberAnswer; }
    std::int32_t applyTotalSampleCount(std::int32_t v) override {
        return log.add("applyTotalSampleCount", v), numberAnswer;
    }
    bool applyPanLaw(std::int32_t v, float o) override { return log.add("applyPanLaw", v, o), truthAnswer; }
    std::int32_t onBankLoadStart(void* p) override { return log.add("onBankLoadStart", p), numberAnswer; }
    std::int32_t onProgramLoadStart(void* p) override { return log.add("onProgramLoadStart", p), numberAnswer; }
    bool applyProcessPrecision(std::int32_t v) override { return log.add("applyProcessPrecision", v), truthAnswer; }
    std::int32_t midiInputChannelCount() override { return log.add("midiInputChannelCount"), numberAnswer; }
    std::int32_t midiOutputChannelCount() override { return log.add("midiOutputChannelCount"), numberAnswer; }
};

enum class Answer { zero, truth, number, identify };

struct Route {
    std::int32_t request;
    const char* call;  // the one call expected; empty for none
    Answer answer;
};

// Every code from -1 to 100 with index 11, value 22, the buffer as ptr and opt 3.5, for an
// effect without an editor. Codes not listed call nothing and answer 0.
const std::vector<Route> routes = {
    {0, "onOpen()", Answer::zero},
    {1, "onClose()", Answer::zero},
    {3, "currentProgram()", Answer::number},
    {4, "renameProgram(ptr)", Answer::zero},
    {5, "fillProgramName(ptr)", Answer::zero},
    {6, "fillParamUnit(11, ptr)", Answer::zero},
    {7, "fillParamValueText(11, ptr)", Answer::zero},
    {8, "fillParamTitle(11, ptr)", Answer::zero},
    {10, "applySampleRate(3.5)", Answer::zero},
    {11, "applyBlockSize(22)", Answer::zero},
    {12, "onActivate()", Answer::zero},
    {22, "", Answer::identify},
    {23, "saveChunk(ptr, true)", Answer::number},
    {24, "loadChunk(ptr, 22, true)", Answer::number},
    {25, "handleEvents(ptr)", Answer::number},
    {26, "isParamAutomatable(11)", Answer::truth},
    {27, "paramFromText(11, ptr)", Answer::truth},
    {29, "fillProgramNameAt(22, 11, ptr)", Answer::truth},
    {33, "fillInputPinInfo(11, ptr)", Answer::truth},
    {34, "fillOutputPinInfo(11, ptr)", Answer::truth},
    {35, "category()", Answer::number},
    {38, "onOfflineNotify(ptr, 22, true)", Answer::truth},
    {39, "onOfflinePrepare(ptr, 22)", Answer::truth},
    {40, "onOfflineRun(ptr, 22)", Answer::truth},
    {41, "processVariableIo(ptr)", Answer::truth},
    {42, "acceptSpeakerLayout(@22, ptr)", Answer::truth},
    {44, "applyBypass(true)", Answer::truth},
    {45, "fillEffectName(ptr)", Answer::truth},
    {47, "fillVendorText(ptr)", Answer::truth},
    {48, "fillProductText(ptr)", Answer::truth},
    {49, "vendorVersion()", Answer::number},
    {50, "vendorCall(11, 22, ptr, 3.5)", Answer::number},
    {51, "supports(ptr)", Answer::number},
    {52, "tailLength()", Answer::number},
    {56, "fillParamProperties(11, ptr)", Answer::truth},
    {58, "interfaceVersion()", Answer::number},
    {62, "fillMidiProgramName(11, ptr)", Answer::number},
    {63, "fillCurrentMidiProgram(11, ptr)", Answer::number},
    {64, "fillMidiProgramCategory(11, ptr)", Answer::number},
    {65, "midiProgramsChanged(11)", Answer::truth},
    {66, "fillMidiKeyName(11, ptr)", Answer::truth},
    {67, "onProgramChangeStart()", Answer::truth},
    {68, "onProgramChangeEnd()", Answer::truth},
    {69, "reportSpeakerLayout(@22, ptr)", Answer::truth},
    {70, "nextShellPlugin(ptr)", Answer::number},
    {71, "onProcessingStart()", Answer::number},
    {72, "onProcessingStop()", Answer::number},
    {73, "applyTotalSampleCount(22)", Answer::number},
    {74, "applyPanLaw(22, 3.5)", Answer::truth},
    {75, "onBankLoadStart(ptr)", Answer::number},
    {76, "onProgramLoadStart(ptr)", Answer::number},
    {77, "applyProcessPrecision(22)", Answer::truth},
    {78, "midiInputChannelCount()", Answer::number},
    {79, "midiOutputChannelCount()", Answer::number},
};

const Route* routeOf(std::int32_t request) {
    for (const Route& route : routes) {
        if (route.request == request) {
            return &route;
        }
    }
    return nullptr;
}

TEST(DispatchRoutingTest, EveryCodeReachesOneOperationWithItsArgumentsAndAnswers) {
    for (const bool truth : {true, false}) {
        for (const std::int32_t number : {-123456, 0x7FFFFFFF}) {
            RoutingEffect effect;
            effect.truthAnswer = truth;
            effect.numberAnswer = number;
            for (std::int32_t request = -1; request <= 100; ++request) {
                effect.log.calls.clear();
                const std::intptr_t answer = effect.dispatch(request, sentIndex, sentValue, sentPtr, sentOpt);

                const Route* route = routeOf(request);
                const std::string call = route != nullptr ? route->call : "";
                const Answer kind = route != nullptr ? route->answer : Answer::zero;
                if (call.empty()) {
                    EXPECT_TRUE(effect.log.calls.empty())
                        << "request " << request << " called " << effect.log.calls.front();
                } else {
                    ASSERT_EQ(effect.log.calls.size(), 1U) << "request " << request;
                    EXPECT_EQ(effect.log.calls[0], call) << "request " << request;
                }
                switch (kind) {
                case Answer::zero:
                    EXPECT_EQ(answer, 0) << "request " << request;
                    break;
                case Answer::truth:
                    EXPECT_EQ(answer, truth ? 1 : 0) << "request " << request;
                    break;
                case Answer::number:
                    EXPECT_EQ(answer, number) << "request " << request;
                    break;
                case Answer::identify:
                    EXPECT_EQ(answer, 0x4E764566) << "request " << request;
                    break;
                }
            }
        }
    }
}

TEST(DispatchRoutingTest, IntegersBecomeTruthValuesByComparisonWithZero) {
    RoutingEffect effect;
    struct Case {
        std::int32_t request, index;
        std::intptr_t value;
        const char* call;
    };
    const std::intptr_t wide = sizeof(std::intptr_t) > 4 ? std::intptr_t{1} << 40 : std::intptr_t{-7};
    const Case cases[] = {
        {12, 0, 0, "onDeactivate()"},
        {12, 0, 2, "onActivate()"},
        {12, 0, -1, "onActivate()"},
        {12, 0, wide, "onActivate()"},  // the whole value counts, not its low 32 bits
        {44, 0, 0, "applyBypass(false)"},
        {44, 0, 2, "applyBypass(true)"},
        {44, 0, -1, "applyBypass(true)"},
        {44, 0, wide, "applyBypass(true)"},
        {38, 0, 0, "onOfflineNotify(null, 0, false)"},
        {38, 5, 0, "onOfflineNotify(null, 0, true)"},
        {38, -1, 0, "onOfflineNotify(null, 0, true)"},
        {23, 0, 0, "saveChunk(null, false)"},
        {23, 5, 0, "saveChunk(null, true)"},
        {24, 0, 9, "loadChunk(null, 9, false)"},
        {24, -3, 9, "loadChunk(null, 9, true)"},
        {73, 0, -5, "applyTotalSampleCount(-5)"},
        {11, 0, 512, "applyBlockSize(512)"},
    };
    for (const Case& c : cases) {
        effect.log.calls.clear();
        effect.dispatch(c.request, c.index, c.value, nullptr, 0.0F);
        ASSERT_EQ(effect.log.calls.size(), 1U) << "request " << c.request;
        EXPECT_EQ(effect.log.calls[0], c.call) << "request " << c.request << " value " << c.value;
    }
}

TEST(DispatchRoutingTest, ProgramSelectionTakesOnlyExistingPrograms) {
    RoutingEffect effect;  // three programs
    for (const std::intptr_t value : {std::intptr_t{-1}, std::intptr_t{0}, std::intptr_t{2}, std::intptr_t{3},
                                      std::intptr_t{std::numeric_limits<std::int32_t>::min()}}) {
        effect.dispatch(reqSelectProgram, 0, value, nullptr, 0.0F);
    }
    EXPECT_EQ(effect.log.calls, (std::vector<std::string>{"selectProgram(0)", "selectProgram(2)"}));
}

TEST(DispatchRoutingTest, EditorRequestsReachTheEditorOnlyWhenThereIsOne) {
    RoutingEffect effect;
    char window[8];
    for (const std::int32_t request : {13, 14, 15, 19, 59, 60, 61}) {
        std::memset(window, 'w', sizeof window);
        EXPECT_EQ(effect.dispatch(request, 97, 0x141, window, 3.9F), 0) << "request " << request;
        EXPECT_TRUE(effect.log.calls.empty()) << "request " << request;
        EXPECT_EQ(std::string(window, sizeof window), "wwwwwwww");
    }

    auto* editor = new RecordingEditor(effect.log);
    effect.setEditor(editor);
    for (const bool answer : {true, false}) {
        editor->answer = answer;
        effect.log.calls.clear();
        EXPECT_EQ(effect.dispatch(13, 0, 0, sentPtr, 0.0F), answer ? 1 : 0);
        EXPECT_EQ(effect.dispatch(14, 0, 0, sentPtr, 0.0F), answer ? 1 : 0);
        EXPECT_EQ(effect.dispatch(15, 0, 0, sentPtr, 0.0F), 0);
        EXPECT_EQ(effect.dispatch(19, 0, 0, sentPtr, 0.0F), 0);
        EXPECT_EQ(effect.dispatch(59, 97, 0x141, nullptr, 3.9F), answer ? 1 : 0);
        EXPECT_EQ(effect.dispatch(60, 97, 0x141, nullptr, 3.9F), answer ? 1 : 0);
        EXPECT_EQ(effect.dispatch(61, 0, -4, nullptr, 0.0F), answer ? 1 : 0);
        EXPECT_EQ(effect.log.calls,
                  (std::vector<std::string>{"reportBounds(ptr)", "attachWindow(ptr)", "detachWindow()", "onIdleTime()",
                                            "onKeyPressed()", "onKeyReleased()", "applyKnobMode(-4)"}));
    }
}

TEST(DispatchRoutingTest, KeyStrokesCarryIndexLowByteOfValueAndTruncatedOption) {
    RoutingEffect effect;
    auto* editor = new RecordingEditor(effect.log);
    effect.setEditor(editor);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        std::int32_t index;
        std::intptr_t value;
        float opt;
        std::int32_t character;
        std::uint8_t virtualKey, modifiers;
    };
    const Case cases[] = {
        {97, 0x141, 3.9F, 97, 0x41, 3},
        {97, 0x141, -1.0F, 97, 0x41, 255},
        {-5, -1, 0.99F, -5, 0xFF, 0},
        {0x12345678, 0x1FF, 511.0F, 0x12345678, 0xFF, 255},
        {0, 0, -2.5F, 0, 0, 254},           // toward zero: -2
        {0, 0, 2147483520.0F, 0, 0, 0x80},  // largest float below 2^31
        {0, 0, -2147483648.0F, 0, 0, 0},    // the lowest 32-bit integer, in range
        {0, 0, 2147483648.0F, 0, 0, 0},     // out of range
        {0, 0, -2147483904.0F, 0, 0, 0},    // out of range below
        {0, 0, nan, 0, 0, 0},
        {0, 0, inf, 0, 0, 0},
        {0, 0, -inf, 0, 0, 0},
    };
    for (const std::int32_t request : {reqEditorKeyDown, reqEditorKeyUp}) {
        for (const Case& c : cases) {
            editor->keys.clear();
            effect.dispatch(request, c.index, c.value, nullptr, c.opt);
            ASSERT_EQ(editor->keys.size(), 1U);
            const KeyStroke& key = editor->keys[0];
            EXPECT_EQ(key.character, c.character) << "opt " << c.opt;
            EXPECT_EQ(key.virtualKey, c.virtualKey) << "value " << c.value;
            EXPECT_EQ(key.modifiers, c.modifiers) << "opt " << c.opt;
        }
    }
}

// Forwards to the extended dispatch but refuses to be entered twice: a fallback that went
// through the virtual dispatch again would come back here.
class ReentryWatchingEffect : public AudioEffectX {
public:
    ReentryWatchingEffect() : AudioEffectX(nullptr, 1, 7) {}
    void processFloatBlock(float**, float**, std::int32_t) override {}
    std::intptr_t dispatch(std::int32_t request, std::int32_t index, std::intptr_t value, void* ptr,
                           float opt) override {
        ++entries;
        if (depth > 0) {
            return -99;
        }
        ++depth;
        const std::intptr_t answer = AudioEffectX::dispatch(request, index, value, ptr, opt);
        --depth;
        return answer;
    }
    int entries = 0;
    int depth = 0;
};

TEST(DispatchRoutingTest, UnhandledCodesGoToTheBaseImplementationDirectly) {
    ReentryWatchingEffect effect;
    for (const std::int32_t request : {-1, 3, 9, 22, 28, 57, 80, 100}) {
        effect.entries = 0;
        const std::intptr_t answer = effect.dispatch(request, 0, 0, nullptr, 0.0F);
        EXPECT_EQ(effect.entries, 1) << "request " << request;
        EXPECT_EQ(answer, request == 22 ? 0x4E764566 : 0) << "request " << request;
    }
}

}  // namespace
