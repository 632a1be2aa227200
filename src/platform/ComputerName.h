#pragma once

#include <QString>
#include <functional>

namespace tw {

// The computer's name as its user knows it, which the website shows in the list of the user's
// devices.
class ComputerName {
public:
    virtual ~ComputerName() = default;
    // Calls `done` once, from the event loop, with the name; empty when the system gives none.
    virtual void lookUp(std::function<void(const QString& name)> done) = 0;
};

}  // namespace tw
