// Audio files through libsndfile: any format it reads, and output in the format that the
// file name's extension names.
#pragma once

#include <string>
#include <vector>

#include "host/audio/audio_stream.h"

typedef struct sf_private_tag SNDFILE;  // libsndfile's own declaration

namespace quorvel::host {

class SoundFileReader : public AudioSource {
public:
    // Opens `path`; throws HostError with libsndfile's reason when it cannot be read.
    explicit SoundFileReader(const std::string& path);
    ~SoundFileReader() override;
    SoundFileReader(const SoundFileReader&) = delete;
    SoundFileReader& operator=(const SoundFileReader&) = delete;

    int channels() const override { return channels_; }
    int sampleRate() const override { return sampleRate_; }
    std::int64_t frames() const override { return frames_; }
    std::int64_t promisedFrames() const override { return promisedFrames_; }
    std::int64_t read(float* interleaved, std::int64_t count) override;
    std::int64_t read(double* interleaved, std::int64_t count) override;

private:
    SNDFILE* file_ = nullptr;
    int channels_ = 0;
    int sampleRate_ = 0;
    std::int64_t frames_ = 0;
    std::int64_t promisedFrames_ = 0;
};

// What an audio file holds, read back as it is stored.
struct StoredAudio {
    std::int64_t frames = 0;
    int channels = 0;
    double peak = 0.0;           // the largest finite magnitude
    std::int64_t nonFinite = 0;  // NaN and infinite samples
};

// Main thread. Reads the whole of the audio file at `path` and answers what it holds; throws
// HostError with libsndfile's reason when it cannot be read.
StoredAudio measureSoundFile(const std::string& path);

// How samples are stored in an output file.
enum class SampleEncoding { float32, float64, pcm16, pcm24 };

// Main thread. Throws UsageError when the extension of `path` names no format this build
// writes (the message lists the ones it does).
void requireAudioFormatName(const std::string& path);

class SoundFileWriter : public AudioSink {
public:
    // Writes into `path`, which must exist (a temporary output; it is emptied and never
    // created here), in the format the extension of `formatName` names (wav, aiff, flac, ...;
    // `path` itself when empty; messages name it), storing `encoding`. With `exactEncoding` false the nearest
    // encoding the format has is taken where it cannot store `encoding`. Peak chunks with
    // time stamps are left out, so the same audio gives the same bytes. Throws HostError for
    // an unknown extension, an encoding the format cannot store, or a file that cannot be
    // created.
    SoundFileWriter(const std::string& path, int channels, int sampleRate, SampleEncoding encoding,
                    const std::string& formatName = {}, bool exactEncoding = false);
    // Finishes the file (its header is complete only after this).
    ~SoundFileWriter() override;
    SoundFileWriter(const SoundFileWriter&) = delete;
    SoundFileWriter& operator=(const SoundFileWriter&) = delete;

    void write(const float* interleaved, std::int64_t count) override;
    void write(const double* interleaved, std::int64_t count) override;
    // Closes the file; throws HostError when finishing it fails.
    void finish();

    // The sample format stored, in words ("32-bit float", "24-bit integer").
    const std::string& storedFormat() const { return storedFormat_; }
    // Whether the stored format is integer, which clips samples beyond -1..1 and stores NaN
    // as 0 (silence), never as the full-scale value the raw conversion would give.
    bool clips() const { return clips_; }

private:
    void closeDescriptor();

    SNDFILE* file_ = nullptr;
    int channels_ = 0;
    std::vector<float> floatCopy_;    // integer formats: a block whose NaN became 0
    std::vector<double> doubleCopy_;  // the same for 64-bit samples
    int descriptor_ = -1;             // Windows: the descriptor the file was created through
    std::string path_;
    std::string storedFormat_;
    bool clips_ = false;
};

}  // namespace quorvel::host
