// A session view that keeps everything it was shown.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "transport/session_view.h"

namespace korvo::test {

class RecordingView : public SessionView {
  public:
    void SetStatus(const std::string& text) override {
        std::lock_guard lock(mutex_);
        statuses_.push_back(text);
    }
    std::string Status() const override {
        std::lock_guard lock(mutex_);
        return statuses_.empty() ? std::string() : statuses_.back();
    }
    void SetCaption(const std::string& text) override {
        std::lock_guard lock(mutex_);
        captions_.push_back(text);
    }
    void SetTitle(const std::string& text) override {
        std::lock_guard lock(mutex_);
        titles_.push_back(text);
    }
    void SetProgress(int percent) override {
        std::lock_guard lock(mutex_);
        progress_.push_back(percent);
    }

    std::vector<std::string> statuses() const {
        std::lock_guard lock(mutex_);
        return statuses_;
    }
    std::vector<int> progress() const {
        std::lock_guard lock(mutex_);
        return progress_;
    }
    // Every status text joined, for "was it ever shown" checks.
    std::string AllStatus() const {
        std::lock_guard lock(mutex_);
        std::string all;
        for (const std::string& s : statuses_) all += s + "\n";
        return all;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> statuses_;
    std::vector<std::string> captions_;
    std::vector<std::string> titles_;
    std::vector<int> progress_;
};

}  // namespace korvo::test
