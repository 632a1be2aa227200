#pragma once

// Whether the user asked the desktop to reduce motion. Read at the moment of each animated
// change, so it has to be cheap.

namespace tw {

class ReducedMotion {
public:
    virtual ~ReducedMotion() = default;
    virtual bool isReduced() = 0;
};

}  // namespace tw
