// The base request dispatch: codes 0-24, each turned into one virtual operation.
#include "framework/audio_effect.h"

std::intptr_t AudioEffect::dispatch(std::int32_t request, std::int32_t index, std::intptr_t value, void* ptr,
                                    float opt) {
    // Read as unsigned, every negative code lies above 24 and is answered 0 with the rest.
    if (static_cast<std::uint32_t>(request) > static_cast<std::uint32_t>(reqLoadChunk)) {
        return 0;
    }
    switch (request) {
    case reqOpen:
        onOpen();
        break;
    case reqClose:
        onClose();
        break;
    case reqSelectProgram: {
        // Only a program that exists is selected: a negative index is ignored like a too
        // large one, so a host cannot make an effect index its programs out of bounds.
        const auto program = static_cast<std::int32_t>(value);
        if (program >= 0 && program < programTotal) {
            selectProgram(program);
        }
        break;
    }
    case reqCurrentProgram:
        return currentProgram();
    case reqRenameProgram:
        renameProgram(static_cast<char*>(ptr));
        break;
    case reqProgramName:
        fillProgramName(static_cast<char*>(ptr));
        break;
    case reqParamUnit:
        fillParamUnit(index, static_cast<char*>(ptr));
        break;
    case reqParamValueText:
        fillParamValueText(index, static_cast<char*>(ptr));
        break;
    case reqParamTitle:
        fillParamTitle(index, static_cast<char*>(ptr));
        break;
    case reqSampleRate:
        applySampleRate(opt);
        break;
    case reqBlockSize:
        applyBlockSize(static_cast<std::int32_t>(value));
        break;
    case reqActivation:
        if (value != 0) {
            onActivate();
        } else {
            onDeactivate();
        }
        break;
    case reqEditorBounds:
        return editorObject != nullptr && editorObject->reportBounds(ptr) ? 1 : 0;
    case reqEditorOpen:
        return editorObject != nullptr && editorObject->attachWindow(ptr) ? 1 : 0;
    case reqEditorClose:
        if (editorObject != nullptr) {
            editorObject->detachWindow();
        }
        break;
    case reqEditorIdle:
        if (editorObject != nullptr) {
            editorObject->onIdleTime();
        }
        break;
    case reqIdentify:
        return fourCharCode('N', 'v', 'E', 'f');
    case reqSaveChunk:
        return saveChunk(static_cast<void**>(ptr), index != 0);
    case reqLoadChunk:
        return loadChunk(ptr, static_cast<std::int32_t>(value), index != 0);
    default:
        break;  // 9, 16-18, 20, 21: nothing
    }
    return 0;
}
