// The smallest program that shows what the island shows: a frameless, translucent, always-on-top
// label at the top centre of the screen whose countdown changes once a second, and a name on the
// session bus. Measured side by side with Tarnwhistle by bench/process.py; it prints nothing.
#include <QApplication>
#include <QDBusConnection>
#include <QLabel>
#include <QScreen>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);

    QLabel label;
    label.setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    label.setAttribute(Qt::WA_TranslucentBackground);
    label.setWindowTitle(QStringLiteral("tw-bare-label"));
    label.setAlignment(Qt::AlignCenter);
    label.setFixedSize(208, 26);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    // TW_LABEL_TOP moves it down, so that it can run beside the island without covering it.
    const int top = qEnvironmentVariableIntValue("TW_LABEL_TOP");
    label.move(screen.x() + (screen.width() - label.width()) / 2, screen.y() + top);

    int left = 25 * 60;
    const auto tick = [&] {
        left = left > 0 ? left - 1 : 25 * 60 - 1;
        label.setText(QStringLiteral("%1:%2")
                          .arg(left / 60, 2, 10, QLatin1Char('0'))
                          .arg(left % 60, 2, 10, QLatin1Char('0')));
    };
    tick();
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, &app, tick);
    timer.start(1000);

    label.show();
    // The name is taken once the event loop runs, as a program that has finished launching would.
    QTimer::singleShot(0, &app, [] {
        QDBusConnection::sessionBus().registerService(QStringLiteral("dev.tarnwhistle.barelabel"));
    });
    return app.exec();
}
