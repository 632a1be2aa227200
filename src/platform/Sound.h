#pragma once

#include <memory>

namespace tw {

// One short sound held in memory that can be played again from its start.
class Sound {
public:
    virtual ~Sound() = default;
    virtual void setVolume(float volume) = 0;  // 0…1
    virtual void play() = 0;                   // from the beginning
    virtual void stop() = 0;
};

}  // namespace tw
