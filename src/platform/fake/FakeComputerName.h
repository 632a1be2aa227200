#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QString>

#include "platform/ComputerName.h"

namespace tw {

// Answers `name` from the event loop, as the system's look-up does.
class FakeComputerName final : public ComputerName {
public:
    explicit FakeComputerName(QString n = QStringLiteral("Test computer")) : name(std::move(n)) {}

    void lookUp(std::function<void(const QString&)> done) override {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [done = std::move(done), n = name] { done(n); },
            Qt::QueuedConnection);
    }

    QString name;
};

}  // namespace tw
