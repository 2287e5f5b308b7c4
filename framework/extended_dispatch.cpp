// The extended request dispatch: codes 25-79, each turned into one added operation; every
// other code goes to the base dispatch unchanged.
#include "framework/audio_effect_x.h"

namespace {

constexpr std::intptr_t truth(bool value) {
    return value ? 1 : 0;
}

// The key record for requests 59 and 60: the index as character, the low byte of value as
// virtual key, and the low byte of opt truncated toward zero as modifiers. An opt that is
// not a number or lies outside the 32-bit range gives modifiers 0.
KeyStroke keyStrokeFrom(std::int32_t index, std::intptr_t value, float opt) {
    const double option = opt;
    std::int32_t modifiers = 0;
    if (option > -2147483649.0 && option < 2147483648.0) {
        modifiers = static_cast<std::int32_t>(option);
    }
    return KeyStroke{index, static_cast<std::uint8_t>(value & 0xFF), static_cast<std::uint8_t>(modifiers & 0xFF)};
}

}  // namespace

std::intptr_t AudioEffectX::dispatch(std::int32_t request, std::int32_t index, std::intptr_t value, void* ptr,
                                     float opt) {
    switch (request) {
    case reqEvents:
        return handleEvents(static_cast<EventBlock*>(ptr));
    case reqParamAutomatable:
        return truth(isParamAutomatable(index));
    case reqParamFromText:
        return truth(paramFromText(index, static_cast<char*>(ptr)));
    case reqProgramNameAt:
        return truth(fillProgramNameAt(static_cast<std::int32_t>(value), index, static_cast<char*>(ptr)));
    case reqInputPinInfo:
        return truth(fillInputPinInfo(index, ptr));
    case reqOutputPinInfo:
        return truth(fillOutputPinInfo(index, ptr));
    case reqCategory:
        return category();
    case reqOfflineNotify:
        return truth(onOfflineNotify(ptr, static_cast<std::int32_t>(value), index != 0));
    case reqOfflinePrepare:
        return truth(onOfflinePrepare(ptr, static_cast<std::int32_t>(value)));
    case reqOfflineRun:
        return truth(onOfflineRun(ptr, static_cast<std::int32_t>(value)));
    case reqVariableIo:
        return truth(processVariableIo(ptr));
    case reqSetSpeakerLayout:
        return truth(acceptSpeakerLayout(pointerFromAnswer<SpeakerLayout>(&value), static_cast<SpeakerLayout*>(ptr)));
    case reqBypass:
        return truth(applyBypass(value != 0));
    case reqEffectName:
        return truth(fillEffectName(static_cast<char*>(ptr)));
    case reqVendorText:
        return truth(fillVendorText(static_cast<char*>(ptr)));
    case reqProductText:
        return truth(fillProductText(static_cast<char*>(ptr)));
    case reqVendorVersion:
        return vendorVersion();
    case reqVendorCall:
        return vendorCall(index, static_cast<std::int32_t>(value), ptr, opt);
    case reqSupports:
        return supports(static_cast<const char*>(ptr));
    case reqTailLength:
        return tailLength();
    case reqParamProperties:
        return truth(fillParamProperties(index, ptr));
    case reqInterfaceVersion:
        return interfaceVersion();
    case reqEditorKeyDown:
        if (editorObject != nullptr) {
            KeyStroke key = keyStrokeFrom(index, value, opt);
            return truth(editorObject->onKeyPressed(key));
        }
        return 0;
    case reqEditorKeyUp:
        if (editorObject != nullptr) {
            KeyStroke key = keyStrokeFrom(index, value, opt);
            return truth(editorObject->onKeyReleased(key));
        }
        return 0;
    case reqEditorKnobMode:
        return editorObject != nullptr ? truth(editorObject->applyKnobMode(static_cast<std::int32_t>(value))) : 0;
    case reqMidiProgramName:
        return fillMidiProgramName(index, ptr);
    case reqCurrentMidiProgram:
        return fillCurrentMidiProgram(index, ptr);
    case reqMidiProgramCategory:
        return fillMidiProgramCategory(index, ptr);
    case reqMidiProgramsChanged:
        return truth(midiProgramsChanged(index));
    case reqMidiKeyName:
        return truth(fillMidiKeyName(index, ptr));
    case reqProgramChangeStart:
        return truth(onProgramChangeStart());
    case reqProgramChangeEnd:
        return truth(onProgramChangeEnd());
    case reqGetSpeakerLayout:
        return truth(reportSpeakerLayout(pointerFromAnswer<SpeakerLayout*>(&value), static_cast<SpeakerLayout**>(ptr)));
    case reqNextShellPlugin:
        return nextShellPlugin(static_cast<char*>(ptr));
    case reqProcessingStart:
        return onProcessingStart();
    case reqProcessingStop:
        return onProcessingStop();
    case reqTotalSampleCount:
        return applyTotalSampleCount(static_cast<std::int32_t>(value));
    case reqPanLaw:
        return truth(applyPanLaw(static_cast<std::int32_t>(value), opt));
    case reqBankLoadStart:
        return onBankLoadStart(ptr);
    case reqProgramLoadStart:
        return onProgramLoadStart(ptr);
    case reqProcessPrecision:
        return truth(applyProcessPrecision(static_cast<std::int32_t>(value)));
    case reqMidiInputChannels:
        return midiInputChannelCount();
    case reqMidiOutputChannels:
        return midiOutputChannelCount();
    default:
        // Not the base class's override chain: its own implementation, called directly.
        return AudioEffect::dispatch(request, index, value, ptr, opt);
    }
}
