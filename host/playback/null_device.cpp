// The null device: no sound card. Each buffer has a thread that takes the ring at real time
// times the speed factor, in slices of a hundredth of a second, and hands every slice it
// "played" (after volume) to the device's recording.
//
// Determinism: a pass of the ring always ends at a slice boundary, and when it has ended (the
// notification is set) the thread waits until the notification has been handled (reset), the
// buffer stops or is released, or one second of real time has passed, before it takes the next
// slice. So whatever the speed, each block written at a notification starts exactly at the
// beginning of the ring, and the recording is the same on every run.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

#include "host/audio/wave_writer.h"
#include "host/playback/sound_device.h"

namespace fogbell {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint32_t kSlicesPerSecond = 100;
constexpr auto kHandlingTimeout = std::chrono::milliseconds(1000);

std::mutex cutLock;
std::string cutRecording;  // RecordingCutAtLimit

// The WAVE files of one device: the first format goes to the path given; a buffer in another
// format finishes that file and starts "PATH.2.wav", "PATH.3.wav", ... so nothing is lost.
class Recording {
  public:
    explicit Recording(std::string path) : path_(std::move(path)) {}
    ~Recording() { Close(); }

    void Append(const WAVEFORMATEX& format, const std::uint8_t* data, std::uint32_t size) {
        std::lock_guard lock(mutex_);
        if (files_ == 0 || !SameFormat(format)) {
            Close();
            ++files_;
            const std::string path =
                files_ == 1 ? path_ : path_ + "." + std::to_string(files_) + ".wav";
            writer_ = std::make_unique<WaveWriter>();
            if (writer_->Create(path, format) != WaveWriter::Status::kOk) {
                writer_.reset();
            }
            format_ = format;
        }
        if (writer_ && writer_->Append(data, size) == WaveWriter::Status::kTooLarge) {
            // The file is finished with what it holds; the sound plays on unrecorded.
            Close();
            const std::lock_guard guard(cutLock);
            cutRecording = files_ == 1 ? path_ : path_ + "." + std::to_string(files_) + ".wav";
        }
    }

  private:
    bool SameFormat(const WAVEFORMATEX& f) const {
        return f.nChannels == format_.nChannels && f.nSamplesPerSec == format_.nSamplesPerSec;
    }

    // Patches the lengths of the file being written and closes it.
    void Close() {
        if (writer_) {
            writer_->Finish();
            writer_.reset();
        }
    }

    std::mutex mutex_;
    const std::string path_;
    std::unique_ptr<WaveWriter> writer_;  // the file being written, one writer per file
    WAVEFORMATEX format_{};
    int files_ = 0;
};

class NullBuffer final : public SoundBuffer {
  public:
    NullBuffer(const WAVEFORMATEX& bufferFormat, double speed, std::shared_ptr<Recording> recording)
        : SoundBuffer(bufferFormat), speed_(speed), recording_(std::move(recording)) {
        thread_ = std::thread([this] { Run(); });
    }
    ~NullBuffer() override {
        {
            std::lock_guard lock(mutex);
            closing_ = true;
        }
        Changed();
        thread_.join();
    }

    void Changed() override {
        changed.notify_all();
        std::shared_ptr<SoundEvent> current;
        {
            std::lock_guard lock(mutex);
            current = event;
        }
        if (current) {
            current->Wake();
        }
    }

  private:
    void Run() {
        const std::uint32_t align = format.nBlockAlign;
        const std::uint32_t slice = std::max<std::uint32_t>(
            align, format.nAvgBytesPerSec / kSlicesPerSecond / align * align);
        const double bytesPerSecond = format.nAvgBytesPerSec * speed_;
        std::vector<std::uint8_t> out(slice + align);
        std::unique_lock lock(mutex);
        Clock::time_point paceStart = Clock::now();
        std::uint64_t paced = 0;  // bytes taken since paceStart
        while (!closing_) {
            if (!playing) {
                changed.wait(lock, [&] { return closing_ || playing; });
                paceStart = Clock::now();
                paced = 0;
                continue;
            }
            const std::uint32_t planned = std::min(slice, BytesToNotification());
            const auto due =
                paceStart +
                std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                    static_cast<double>(paced + planned) / bytesPerSecond));
            if (changed.wait_until(lock, due, [&] { return closing_ || !playing; })) {
                continue;  // stopped or released before the slice was due
            }
            // A block written meanwhile (a seek) may have moved the notification closer.
            const std::uint32_t size = std::min(planned, BytesToNotification());
            lock.unlock();
            bool fromPlaying = false;
            const bool passEnded = Render(out.data(), size, &fromPlaying);
            if (recording_ && fromPlaying) {
                recording_->Append(format, out.data(), size);
            }
            if (passEnded) {
                std::shared_ptr<SoundEvent> current;
                {
                    std::lock_guard guard(mutex);
                    current = event;
                }
                if (current) {
                    current->WaitUntilReset(kHandlingTimeout, [this] {
                        std::lock_guard guard(mutex);
                        return closing_ || !playing;
                    });
                }
            }
            lock.lock();
            paced += size;
            if (passEnded) {
                paceStart = Clock::now();  // the wait is not made up for
                paced = 0;
            }
        }
    }

    const double speed_;
    std::shared_ptr<Recording> recording_;
    bool closing_ = false;  // under mutex
    std::thread thread_;
};

class NullDevice final : public SoundDevice {
  public:
    explicit NullDevice(const SoundOutputOptions& options) : speed_(options.speed) {
        if (!options.recordPath.empty()) {
            recording_ = std::make_shared<Recording>(options.recordPath);
        }
    }
    SoundBuffer* NewBuffer(const WAVEFORMATEX& format, SoundResult& result) override {
        try {
            return new NullBuffer(format, speed_, recording_);
        } catch (const std::bad_alloc&) {
            result = DSERR_OUTOFMEMORY;
        } catch (const std::system_error&) {
            result = DSERR_OUTOFMEMORY;  // no thread could be started for it
        }
        return nullptr;
    }

  private:
    const double speed_;
    std::shared_ptr<Recording> recording_;
};

}  // namespace

std::string RecordingCutAtLimit() {
    const std::lock_guard guard(cutLock);
    return cutRecording;
}

SoundDevice* NewNullDevice(const SoundOutputOptions& options, SoundResult& result) {
    if (!(options.speed > 0)) {
        result = DSERR_INVALIDPARAM;
        return nullptr;
    }
    if (!options.recordPath.empty()) {
        // The recording is written when the first buffer plays; a path that cannot be written
        // is refused now, before anything plays.
        std::FILE* probe = std::fopen(options.recordPath.c_str(), "wb");
        if (probe == nullptr) {
            result = DSERR_INVALIDPARAM;
            return nullptr;
        }
        std::fclose(probe);
    }
    return new NullDevice(options);
}

}  // namespace fogbell
