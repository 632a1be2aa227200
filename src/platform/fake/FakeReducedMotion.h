#pragma once

#include "platform/ReducedMotion.h"

namespace tw {

class FakeReducedMotion final : public ReducedMotion {
public:
    bool reduced = false;
    bool isReduced() override { return reduced; }
};

}  // namespace tw
