#pragma once

#include <vector>

#include "platform/Sound.h"

namespace tw {

// Records what was asked of a sound.
class FakeSound final : public Sound {
public:
    struct Log {
        int plays = 0;
        int stops = 0;
        float volume = -1;
        bool playing = false;
        std::vector<float> playedAt;  // the volume of each play
    };
    explicit FakeSound(Log* log) : log_(log) {}
    void setVolume(float v) override { log_->volume = v; }
    void play() override {
        ++log_->plays;
        log_->playing = true;
        log_->playedAt.push_back(log_->volume);
    }
    void stop() override {
        ++log_->stops;
        log_->playing = false;
    }

private:
    Log* log_;
};

}  // namespace tw
