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
    void Play(OpenedFile&, const std::string&) override { view_.SetStatus(kNoDevice); }
    void Stop() override {}
    bool IsPlaying() const override { return false; }
    void SetVolume(int) override {}
    std::unique_lock<std::mutex> ExcludeRefill() override { return std::unique_lock(mutex_); }
    void Shutdown() override {}

    static constexpr const char* kNoDevice = "No sound device.";

  private:
    MainView& view_;
    std::mutex mutex_;
};

}  // namespace fogbell::window
