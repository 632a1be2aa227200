// The desktop widget's entry: shows the running focus session in a small window on the desktop,
// or as text for status bars. It reads the snapshot that Tarnwhistle publishes in the app-group
// suite and nothing else.
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "platform/linux/DisplayProbe.h"
#include "platform/linux/X11CompositorWatch.h"
#include "platform/linux/X11WindowHints.h"
#include "widget/app/FocusWidgetHost.h"
#include "widget/app/FocusWidgetProvider.h"
#include "widget/app/FocusWidgetView.h"
#include "widget/app/FocusWidgetWindow.h"
#include "widget/app/WidgetPosition.h"

namespace {

const char kUsage[] =
    "Usage: tarnwhistle-widget [--print | --waybar] [--size small|medium]\n"
    "\n"
    "Your running focus session, right on the desktop: a small window below your other\n"
    "windows, on every workspace, showing the phase, the countdown and a status line of\n"
    "the running Tarnwhistle. Drag it to move it; it stays where you leave it.\n"
    "\n"
    "  --print    print the current phase, countdown and status as one line and exit\n"
    "  --waybar   keep running and print one JSON object per update for waybar\n"
    "             (text, tooltip, class focus/break/paused/idle, percentage)\n"
    "  --size     the window's size: small (the default) or medium\n"
    "  --version  print the version and exit\n"
    "  --help     print this help and exit\n";

enum class Mode { window, print, waybar, render };

struct Options {
    Mode mode = Mode::window;
    tw::FocusWidgetView::Family family = tw::FocusWidgetView::Family::systemSmall;
    QString pngFile;
    double scale = 2.0;
};

void writeLine(const QByteArray& line) {
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int usageError(const char* message) {
    std::fprintf(stderr, "tarnwhistle-widget: %s\n\n%s", message, kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(arg, "--version") == 0) {
            std::printf("tarnwhistle-widget %s\n", TW_VERSION);
            return 0;
        }
        if (std::strcmp(arg, "--print") == 0) {
            options.mode = Mode::print;
        } else if (std::strcmp(arg, "--waybar") == 0) {
            options.mode = Mode::waybar;
        } else if (std::strcmp(arg, "--size") == 0 && i + 1 < argc) {
            const char* size = argv[++i];
            if (std::strcmp(size, "small") == 0) {
                options.family = tw::FocusWidgetView::Family::systemSmall;
            } else if (std::strcmp(size, "medium") == 0) {
                options.family = tw::FocusWidgetView::Family::systemMedium;
            } else {
                return usageError("the size is small or medium");
            }
        } else if (std::strcmp(arg, "--render-png") == 0 && i + 1 < argc) {
            // Draws the current entry into a picture file, without a display (screenshots).
            options.mode = Mode::render;
            options.pngFile = QString::fromLocal8Bit(argv[++i]);
        } else if (std::strcmp(arg, "--scale") == 0 && i + 1 < argc) {
            options.scale = std::atof(argv[++i]);
            if (!(options.scale >= 0.5 && options.scale <= 8)) {
                return usageError("the scale lies between 0.5 and 8");
            }
        } else {
            return usageError((std::string("unknown option ") + arg).c_str());
        }
    }

    const tw::FocusWidgetProvider provider;

    switch (options.mode) {
        case Mode::print: {
            QCoreApplication app(argc, argv);
            const auto timeline = provider.timeline();
            writeLine(tw::widget_text::plainLine(*timeline.entryAt(provider.now())).toUtf8());
            return 0;
        }
        case Mode::waybar: {
            QCoreApplication app(argc, argv);
            tw::FocusWidgetHost host(provider);
            host.onEntry = [](const tw::FocusWidgetEntry& entry) {
                writeLine(tw::widget_text::waybarJson(entry));
            };
            host.start();
            return app.exec();
        }
        case Mode::render: {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            QGuiApplication app(argc, argv);
            const auto timeline = provider.timeline();
            const tw::FocusWidgetView view(*timeline.entryAt(provider.now()));
            const QImage image =
                view.render(tw::FocusWidgetView::sizeFor(options.family), options.scale);
            if (!image.save(options.pngFile, "PNG")) {
                std::fprintf(stderr, "tarnwhistle-widget: could not write %s\n",
                             options.pngFile.toLocal8Bit().constData());
                return 1;
            }
            return 0;
        }
        case Mode::window:
            break;
    }

    if (!tw::displayReachable()) {
        std::fputs("tarnwhistle-widget: cannot open the display (try --print or --waybar)\n",
                   stderr);
        return 1;
    }
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("tarnwhistle-widget"));
    QGuiApplication::setApplicationDisplayName(QLatin1String(tw::TarnwhistleWidget::displayName));
    QGuiApplication::setDesktopFileName(QStringLiteral("dev.tarnwhistle.app"));

    tw::X11WindowHints hints;
    const auto compositor = tw::X11CompositorWatch::create();
    tw::FocusWidgetWindow window(options.family, tw::widget_position::defaultFile(), &hints,
                                 compositor.get());
    tw::FocusWidgetHost host(provider);
    host.onEntry = [&window](const tw::FocusWidgetEntry& entry) { window.setEntry(entry); };
    host.start();
    window.present();
    return app.exec();
}
