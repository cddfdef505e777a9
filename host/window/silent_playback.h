// Sound output for a program built without a playback engine: every track start reports that
// there is no sound device, and nothing plays.
#pragma once

#include <mutex>

#include "host/core/main_view.h"
#include "host/core/playback_control.h"

namespace fogbell::window {

class SilentPlayback final : public PlaybackControl {
  public:
    explicit SilentPlayback(MainView& view) : view_(view) {}
    bool StartPlayThread(std::string&) override { return true; }
    void SetCommandSink(CommandSink) override {}
    bool IsCurrentEndOfStream(std::int32_t) const override { return false; }
    Exclusion ExcludeRefill() override { return Exclusion(mutex_); }
    void Play(const Exclusion&, OpenedFile&, const std::string&) override {
        view_.SetStatus(kNoDevice);
    }
    void ReleaseStream(const Exclusion&) override {}
    void Stop(const Exclusion&) override {}
    bool IsPlaying() const override { return false; }
    void SetVolume(int) override {}
    void Shutdown() override {}

    static constexpr const char* kNoDevice = "No sound device.";

  private:
    MainView& view_;
    std::mutex mutex_;
};

}  // namespace fogbell::window
