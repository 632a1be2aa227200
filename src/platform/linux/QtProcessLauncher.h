#pragma once

#include "platform/ChildProcess.h"

namespace tw {

// Child processes through QProcess, silent: every standard stream on the null device.
class QtProcessLauncher final : public ProcessLauncher {
public:
    std::unique_ptr<ChildProcess> start(const QString& program,
                                        const QStringList& arguments) override;
};

}  // namespace tw
