// The main window as fogbell-cli play shows it on a terminal (header only: only play uses it).
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "host/app/main_view.h"
#include "host/tracks/track_table.h"

namespace fogbell::cli {

// The main window as a terminal sees it: a track list nobody sees, the status line kept for
// standard error, the play bar drawn as "name  position / length" in place, and the window's
// queue run by the command's own loop.
class TerminalView final : public MainView {
  public:
    // display: standard error is a terminal, on which the play bar is drawn.
    TerminalView(bool loop, bool display) : display_(display) {
        checks_[CheckId::kLoopSound] = loop;
    }

    // Runs what other threads posted; false when there was nothing.
    bool RunPosted() {
        std::deque<std::function<void()>> tasks;
        {
            std::lock_guard lock(mutex_);
            tasks.swap(posted_);
        }
        for (auto& task : tasks) {
            task();
        }
        return !tasks.empty();
    }
    // Redraws the play bar's line when it changed (on a terminal only).
    void Draw() {
        if (!display_) {
            return;
        }
        std::lock_guard lock(mutex_);
        const std::string line =
            caption_ + "  " + std::to_string(position_) + " / " + std::to_string(high_);
        if (line != drawn_) {
            std::fprintf(stderr, "\r\033[K%s", line.c_str());
            std::fflush(stderr);
            drawn_ = line;
        }
    }
    // Ends the drawn line.
    void EndLine() {
        if (display_ && !drawn_.empty()) {
            std::fputs("\n", stderr);
            drawn_.clear();
        }
    }
    const std::string& LastStatus() const { return status_; }
    // Selects only the row of this name; false when the list has none.
    bool SelectOnly(const std::string& name) {
        const long row = tracks_->FindShown(name);
        if (row < 0) {
            return false;
        }
        tracks_->ClearSelection();
        tracks_->SetSelected(static_cast<std::size_t>(row), true);
        return true;
    }

    // MainView
    void BindTracks(TrackTable& table) override { tracks_ = &table; }
    OverwriteAnswer AskOverwrite(const std::string&) override { return OverwriteAnswer::kKeepAll; }
    void TracksChanged() override {}
    void SelectionChanged(long) override {}
    void SetCountLabel(const std::string&) override {}
    std::string CountLabel() const override { return ""; }
    void SetStatus(const std::string& text) override {
        std::lock_guard lock(mutex_);
        status_ = text;
    }
    void SetFileNameBox(const std::string&) override {}
    std::string FileNameBox() const override { return ""; }
    void SetSaveDirectoryBox(const std::string&) override {}
    std::string SaveDirectoryBox() const override { return ""; }
    void EnableButton(ButtonId, bool) override {}
    bool IsButtonEnabled(ButtonId) const override { return false; }
    void SetProgressCaption(ProgressId id, const std::string& caption) override {
        if (id == ProgressId::kPlay) {
            std::lock_guard lock(mutex_);
            caption_ = caption;
        }
    }
    void SetProgressRange(ProgressId id, std::uint32_t, std::uint32_t high) override {
        if (id == ProgressId::kPlay) {
            std::lock_guard lock(mutex_);
            high_ = high;
            position_ = 0;
        }
    }
    void SetProgressPos(ProgressId id, std::uint32_t position) override {
        if (id == ProgressId::kPlay) {
            std::lock_guard lock(mutex_);
            position_ = position;
        }
    }
    void SetPlayText(const std::string& text) override { playText_ = text; }
    std::string PlayText() const override { return playText_; }
    void SetCheck(CheckId id, bool checked) override {
        std::lock_guard lock(mutex_);
        checks_[id] = checked;
    }
    bool IsChecked(CheckId id) const override {
        std::lock_guard lock(mutex_);
        const auto it = checks_.find(id);
        return it != checks_.end() && it->second;
    }
    void ApplyTopMost(bool) override {}
    void SetVolumeSlider(std::int32_t) override {}
    void ShowMessage(const std::string& text, MessageIcon) override { SetStatus(text); }
    bool AskYesNo(const std::string&) override { return false; }  // playing asks nothing
    std::optional<std::string> AskOpenFile(const std::string&) override { return std::nullopt; }
    std::optional<std::string> AskFolder(const std::string&) override { return std::nullopt; }
    std::optional<int> ShowMenu(const std::vector<MenuItem>&, int, int) override {
        return std::nullopt;
    }
    void PostToWindow(std::function<void()> task) override {
        std::lock_guard lock(mutex_);
        posted_.push_back(std::move(task));
    }

  private:
    const bool display_;
    mutable std::mutex mutex_;  // guards what the play thread reaches and the bar
    std::deque<std::function<void()>> posted_;
    std::map<CheckId, bool> checks_;
    std::string status_;
    std::string caption_;
    std::uint32_t position_ = 0, high_ = 0;
    std::string drawn_;
    // The window thread's own state.
    TrackTable* tracks_ = nullptr;  // the core's rows
    std::string playText_;
};

}  // namespace fogbell::cli
