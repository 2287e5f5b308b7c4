#include "host/audio/sound_file.h"

#include <sndfile.h>
#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif
#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "host/loader/usage_error.h"

namespace quorvel::host {

namespace {

#if defined(_WIN32)
// Creates `path` for writing through a descriptor whose file may be deleted while it is open
// (libsndfile's own opening forbids that), so that a tool ended by a plug-in's fault can still
// remove an unfinished output. Answers -1 when it cannot.
int createSharingDeletion(const std::string& path) {
    const HANDLE handle = CreateFileW(std::filesystem::path(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return -1;
    }
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY);
    if (descriptor < 0) {
        CloseHandle(handle);
    }
    return descriptor;
}
#endif

std::string extensionOf(const std::string& path) {
    const std::size_t dot = path.find_last_of('.');
    const std::size_t slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return {};
    }
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return extension;
}

// The major formats this libsndfile knows, in its own order.
std::vector<SF_FORMAT_INFO> majorFormats() {
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    std::vector<SF_FORMAT_INFO> formats(static_cast<std::size_t>(std::max(count, 0)));
    for (int k = 0; k < count; ++k) {
        formats[static_cast<std::size_t>(k)].format = k;
        sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &formats[static_cast<std::size_t>(k)], sizeof(SF_FORMAT_INFO));
    }
    return formats;
}

// The usual extensions of the major formats this libsndfile writes, as ".wav, .aiff, ...".
std::string knownExtensions() {
    std::vector<std::string> extensions;
    for (const SF_FORMAT_INFO& info : majorFormats()) {
        if (info.extension != nullptr &&
            std::find(extensions.begin(), extensions.end(), info.extension) == extensions.end()) {
            extensions.emplace_back(info.extension);
        }
    }
    std::string list;
    for (const std::string& extension : extensions) {
        list += (list.empty() ? "." : ", .") + extension;
    }
    return list;
}

// The major format whose usual extension is `extension`, as libsndfile lists them; 0 if none.
// Also the other names people give such files: .aif, and .ogg as well as the .oga this
// libsndfile lists for Ogg (where the build has Ogg).
int majorFormatFor(const std::string& extension) {
    struct Alias {
        const char* extension;
        int format;
    };
    static constexpr Alias aliases[] = {{"aif", SF_FORMAT_AIFF}, {"ogg", SF_FORMAT_OGG}, {"oga", SF_FORMAT_OGG}};
    const std::vector<SF_FORMAT_INFO> formats = majorFormats();
    for (const Alias& alias : aliases) {
        if (extension == alias.extension &&
            std::any_of(formats.begin(), formats.end(),
                        [&](const SF_FORMAT_INFO& info) { return info.format == alias.format; })) {
            return alias.format;
        }
    }
    for (const SF_FORMAT_INFO& info : formats) {
        if (info.extension != nullptr && extension == info.extension) {
            return info.format;
        }
    }
    return 0;
}

int subtypeOf(SampleEncoding encoding) {
    switch (encoding) {
    case SampleEncoding::float64:
        return SF_FORMAT_DOUBLE;
    case SampleEncoding::pcm16:
        return SF_FORMAT_PCM_16;
    case SampleEncoding::pcm24:
        return SF_FORMAT_PCM_24;
    case SampleEncoding::float32:
        break;
    }
    return SF_FORMAT_FLOAT;
}

std::string subtypeName(int subtype) {
    switch (subtype) {
    case SF_FORMAT_PCM_16:
        return "16-bit integer";
    case SF_FORMAT_PCM_24:
        return "24-bit integer";
    case SF_FORMAT_FLOAT:
        return "32-bit float";
    case SF_FORMAT_DOUBLE:
        return "64-bit float";
    case SF_FORMAT_VORBIS:
        return "Vorbis";
    default:
        return "libsndfile subtype " + std::to_string(subtype);
    }
}

// The frames the header of an opened file promises. libsndfile counts only the frames a cut-off
// file holds, and notes the audio chunk's promised and real sizes in its log
// ("data : 38400 (should be 30400)"); the promise is the held frames scaled by their ratio.
std::int64_t promisedFramesOf(SNDFILE* file, std::int64_t frames) {
    std::vector<char> log(16384);
    sf_command(file, SFC_GET_LOG_INFO, log.data(), static_cast<int>(log.size()));
    const std::string text(log.data());
    for (const char* chunk : {"data : ", "SSND : "}) {
        const std::size_t at = text.find(chunk);
        if (at == std::string::npos) {
            continue;
        }
        const char* start = text.c_str() + at + std::strlen(chunk);
        char* end = nullptr;
        const long long claimed = std::strtoll(start, &end, 10);
        const char* should = " (should be ";
        if (end == start || std::strncmp(end, should, std::strlen(should)) != 0) {
            continue;
        }
        const long long real = std::strtoll(end + std::strlen(should), nullptr, 10);
        if (real > 0 && claimed > real) {
            return std::llround(static_cast<double>(frames) * static_cast<double>(claimed) / static_cast<double>(real));
        }
    }
    return frames;
}

// libsndfile's reason for a failure, as one line.
std::string reason(SNDFILE* file) {
    std::string text = sf_strerror(file);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.pop_back();
    }
    return text;
}

}  // namespace

SoundFileReader::SoundFileReader(const std::string& path) {
    SF_INFO info{};
    file_ = sf_open(path.c_str(), SFM_READ, &info);
    if (file_ == nullptr) {
        throw HostError("cannot read '" + path + "': " + reason(nullptr));
    }
    channels_ = info.channels;
    sampleRate_ = info.samplerate;
    frames_ = info.frames;
    promisedFrames_ = promisedFramesOf(file_, frames_);
}

SoundFileReader::~SoundFileReader() {
    sf_close(file_);
}

std::int64_t SoundFileReader::read(float* interleaved, std::int64_t count) {
    return sf_readf_float(file_, interleaved, count);
}

std::int64_t SoundFileReader::read(double* interleaved, std::int64_t count) {
    return sf_readf_double(file_, interleaved, count);
}

void requireAudioFormatName(const std::string& path) {
    if (majorFormatFor(extensionOf(path)) == 0) {
        throw UsageError("cannot tell an audio format from the name '" + path + "' (this build writes " +
                         knownExtensions() + ")");
    }
}

SoundFileWriter::SoundFileWriter(const std::string& path, int channels, int sampleRate, SampleEncoding encoding,
                                 const std::string& formatName, bool exactEncoding)
    : channels_(channels), path_(formatName.empty() ? path : formatName) {
    const std::string& named = formatName.empty() ? path : formatName;
    const std::string extension = extensionOf(named);
    const int major = majorFormatFor(extension);
    if (major == 0) {
        throw HostError("cannot tell an audio format from the name '" + named + "' (this build writes " +
                        knownExtensions() + ")");
    }
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = sampleRate;
    const int wanted = subtypeOf(encoding);
    std::vector<int> subtypes{wanted};
    if (!exactEncoding) {
        subtypes.insert(subtypes.end(), {SF_FORMAT_FLOAT, SF_FORMAT_PCM_24, SF_FORMAT_PCM_16, SF_FORMAT_VORBIS});
    }
    for (const int subtype : subtypes) {
        info.format = major | subtype;
        if (sf_format_check(&info) != 0) {
            break;
        }
        info.format = 0;
    }
    if (info.format == 0) {
        throw HostError(exactEncoding ? "the ." + extension + " format cannot store " + std::to_string(channels) +
                                            "-channel audio as " + subtypeName(wanted)
                                      : "libsndfile cannot write " + std::to_string(channels) + "-channel audio as ." +
                                            extension);
    }
    const int subtype = info.format & SF_FORMAT_SUBMASK;
    storedFormat_ = subtypeName(subtype);
    clips_ = subtype != SF_FORMAT_FLOAT && subtype != SF_FORMAT_DOUBLE && subtype != SF_FORMAT_VORBIS;
#if defined(_WIN32)
    descriptor_ = createSharingDeletion(path);
    if (descriptor_ < 0) {
        throw HostError("cannot write '" + path +
                        "': " + std::system_category().message(static_cast<int>(GetLastError())));
    }
    file_ = sf_open_fd(descriptor_, SFM_WRITE, &info, SF_FALSE);
#else
    // The file is the tool's own temporary output: opened, never created, and never through a link.
    descriptor_ = open(path.c_str(), O_RDWR | O_TRUNC | O_CLOEXEC | O_NOFOLLOW);
    if (descriptor_ < 0) {
        throw HostError("cannot write '" + path + "': " + std::strerror(errno));
    }
    file_ = sf_open_fd(descriptor_, SFM_WRITE, &info, SF_FALSE);
#endif
    if (file_ == nullptr) {
        closeDescriptor();
        throw HostError("cannot write '" + path + "': " + reason(nullptr));
    }
    // Integer formats clip loud samples instead of wrapping them around.
    sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    // A peak chunk carries the time of writing; without it the same render gives the same bytes.
    sf_command(file_, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
}

SoundFileWriter::~SoundFileWriter() {
    if (file_ != nullptr) {
        sf_close(file_);
    }
    closeDescriptor();
}

void SoundFileWriter::closeDescriptor() {
    if (descriptor_ >= 0) {
#if defined(_WIN32)
        _close(descriptor_);
#else
        close(descriptor_);
#endif
        descriptor_ = -1;
    }
}

namespace {

// Integer encodings have no NaN: converted as it is, NaN becomes negative full scale (a loud
// click, or DC for a run of them). It is stored as silence instead, as the render reports.
template <typename Sample>
const Sample* withoutNaN(const Sample* interleaved, std::int64_t samples, std::vector<Sample>& copy) {
    const Sample* end = interleaved + samples;
    if (std::none_of(interleaved, end, [](Sample value) { return std::isnan(value); })) {
        return interleaved;
    }
    copy.assign(interleaved, end);
    std::replace_if(
        copy.begin(), copy.end(), [](Sample value) { return std::isnan(value); }, Sample{0});
    return copy.data();
}

}  // namespace

void SoundFileWriter::write(const float* interleaved, std::int64_t count) {
    if (clips_) {
        interleaved = withoutNaN(interleaved, count * channels_, floatCopy_);
    }
    if (sf_writef_float(file_, interleaved, count) != count) {
        throw HostError("cannot write '" + path_ + "': " + reason(file_));
    }
}

void SoundFileWriter::write(const double* interleaved, std::int64_t count) {
    if (clips_) {
        interleaved = withoutNaN(interleaved, count * channels_, doubleCopy_);
    }
    if (sf_writef_double(file_, interleaved, count) != count) {
        throw HostError("cannot write '" + path_ + "': " + reason(file_));
    }
}

void SoundFileWriter::finish() {
    SNDFILE* file = file_;
    file_ = nullptr;
    const bool failed = file != nullptr && sf_close(file) != 0;
#if !defined(_WIN32)
    const bool unsaved = descriptor_ >= 0 && (fsync(descriptor_) != 0 || close(descriptor_) != 0);
    descriptor_ = -1;
#else
    const bool unsaved = false;
#endif
    closeDescriptor();
    if (failed || unsaved) {
        throw HostError("cannot finish '" + path_ + "'");
    }
}

StoredAudio measureSoundFile(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        throw HostError("cannot read '" + path + "' back: " + reason(nullptr));
    }
    StoredAudio stored;
    stored.channels = info.channels;
    std::vector<double> samples(static_cast<std::size_t>(4096) * static_cast<std::size_t>(std::max(info.channels, 1)));
    for (;;) {
        const sf_count_t got = sf_readf_double(file, samples.data(), 4096);
        if (got <= 0) {
            break;
        }
        stored.frames += got;
        for (std::size_t k = 0; k < static_cast<std::size_t>(got) * static_cast<std::size_t>(info.channels); ++k) {
            if (!std::isfinite(samples[k])) {
                ++stored.nonFinite;
            } else {
                stored.peak = std::max(stored.peak, std::abs(samples[k]));
            }
        }
    }
    sf_close(file);
    return stored;
}

}  // namespace quorvel::host
