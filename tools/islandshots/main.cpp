// Renders every state of the island to PNG from the real island view, over a small desktop
// backdrop (wallpaper and top panel), at twice the point size. Usage: tw-island-shots [OUT-DIR]
#include <QApplication>
#include <QDir>
#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QTextStream>
#include <functional>
#include <memory>
#include <tuple>

#include "island/IslandMenuModel.h"
#include "island/IslandState.h"
#include "island/IslandView.h"
#include "island/IslandViewStyle.h"
#include "platform/UserDefaults.h"
#include "platform/fake/FakeScheduler.h"
#include "platform/linux/MessageBoxConfirmation.h"
#include "preferences/AppPreferences.h"
#include "timer/FocusTaskSource.h"
#include "timer/TimerModel.h"

namespace {

using namespace tw;

constexpr double kScale = 2;  // device pixels per point, unless a picture asks for another
constexpr int kCanvasWidth = 640;
constexpr int kCanvasHeight = 270;
constexpr double kMenuBar = 28;

IslandMetrics pill() {
    IslandMetrics m;
    m.style = IslandStyle::pill;
    m.notchHeight = kMenuBar;
    m.menuBarDepth = kMenuBar;
    return m;
}

// The notch style on a screen without a camera housing: the island sits in the top panel.
IslandMetrics stripNotch() {
    IslandMetrics m = pill();
    m.style = IslandStyle::notch;
    return m;
}

// A test screen with a camera housing.
IslandMetrics cameraNotch() {
    IslandMetrics m;
    m.style = IslandStyle::notch;
    m.hasNotch = true;
    m.notchWidth = 190;
    m.notchHeight = 32;
    m.menuBarDepth = 32;
    return m;
}

struct Scene {
    FakeScheduler clock;
    UserDefaults defaults;
    AppPreferences prefs{defaults};
    TimerModel model{prefs, defaults, clock, nullptr};
    std::unique_ptr<IslandState> island;
    std::unique_ptr<IslandView> view;

    explicit Scene(IslandMetrics metrics) {
        island = std::make_unique<IslandState>(metrics);
        view = std::make_unique<IslandView>(model, *island, prefs);
        view->reduceMotion = [] { return true; };
    }

    // Runs the timer for `seconds`.
    void run(double seconds) {
        if (model.runState() != TimerModel::RunState::running) model.toggle();
        clock.advance(seconds);
    }

    CompletionCelebration card(bool figures, bool prompt) {
        CompletionCelebration c;
        c.id = QUuid::createUuid();
        c.mode = figures ? TimerModel::Mode::focus : TimerModel::Mode::rest;
        c.startedAt = clock.now() - 0.7;  // the confetti in full flight
        if (figures) {
            c.summary = TimerModel::SessionSummary{25, 3, clock.now()};
            c.glance = FocusGlance{75, 3, 4, 9, QStringLiteral("news.example.com")};
            c.onStartBreak = [] {};
        }
        c.showQuotePrompt = prompt;
        return c;
    }
};

void paintBackdrop(QPainter& p, const IslandMetrics& metrics) {
    QLinearGradient wallpaper(0, 0, kCanvasWidth, kCanvasHeight);
    wallpaper.setColorAt(0, QColor(64, 92, 140));
    wallpaper.setColorAt(0.55, QColor(120, 108, 160));
    wallpaper.setColorAt(1, QColor(214, 150, 140));
    p.fillRect(QRectF(0, 0, kCanvasWidth, kCanvasHeight), wallpaper);
    const double bar = metrics.menuBarDepth > 0 ? metrics.menuBarDepth : kMenuBar;
    p.fillRect(QRectF(0, 0, kCanvasWidth, bar), QColor(18, 18, 22, 170));
    QFont f = islandstyle::font(12.5, QFont::DemiBold);
    p.setFont(f);
    p.setPen(QColor(255, 255, 255, 220));
    p.drawText(QRectF(14, 0, 200, bar), Qt::AlignVCenter | Qt::AlignLeft,
               QStringLiteral("Activities"));
    p.setFont(islandstyle::font(12.5, QFont::Medium));
    p.drawText(QRectF(kCanvasWidth - 214, 0, 200, bar), Qt::AlignVCenter | Qt::AlignRight,
               QStringLiteral("Thu 10 Dec  10:45"));
    if (metrics.hasNotch) {
        // The camera housing the island hides behind.
        const QRectF housing(kCanvasWidth / 2.0 - metrics.notchWidth / 2, 0, metrics.notchWidth,
                             metrics.notchHeight);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        p.drawRoundedRect(housing.adjusted(0, -10, 0, 0), 10, 10);
    }
}

bool shoot(const QString& dir, const QString& name, IslandMetrics metrics,
           const std::function<void(Scene&)>& prepare, double scale = kScale) {
    Scene scene(metrics);
    prepare(scene);
    scene.view->finishAnimations();
    IslandView& view = *scene.view;
    const IslandMetrics shown =
        scene.island->notchPreviewMetrics().value_or(scene.island->metrics());
    QImage image(static_cast<int>(kCanvasWidth * scale), static_cast<int>(kCanvasHeight * scale),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    paintBackdrop(p, shown);
    // A closed pill dragged over the strip jumps into it; an open one stays under the pointer.
    const bool inStrip =
        !shown.isPill() && !(scene.island->isExpanded() && scene.island->metrics().isPill());
    const double top = inStrip ? 0 : kMenuBar + 6;
    const QPoint offset(static_cast<int>((kCanvasWidth - view.width()) / 2), static_cast<int>(top));
    view.render(&p, offset, QRegion(), QWidget::DrawChildren);
    p.end();
    const QString path =
        dir + QLatin1Char('/') + QStringLiteral("island-") + name + QStringLiteral(".png");
    const bool ok = image.save(path);
    QTextStream(stdout) << (ok ? "" : "FAILED ") << path << '\n';
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString dir =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("build/screenshots");
    QDir().mkpath(dir);
    using Mode = TimerModel::Mode;
    bool ok = true;
    const auto shot = [&](const char* name, IslandMetrics m, std::function<void(Scene&)> prepare) {
        ok = shoot(dir, QString::fromLatin1(name), m, prepare) && ok;
    };
    // The longest texts at scale 1 as well: text rounds differently there.
    const auto shotAtBothScales = [&](const char* name, IslandMetrics m,
                                      std::function<void(Scene&)> prepare) {
        ok = shoot(dir, QString::fromLatin1(name), m, prepare) && ok;
        ok = shoot(dir, QString::fromLatin1(name) + QStringLiteral("-scale1"), m, prepare, 1) && ok;
    };

    shot("collapsed-idle", pill(), [](Scene&) {});
    shot("collapsed-running", pill(), [](Scene& s) { s.run(46); });
    shot("collapsed-paused", pill(), [](Scene& s) {
        s.run(600);
        s.model.toggle();
    });
    shot("hovered", pill(), [](Scene& s) {
        s.run(46);
        s.island->setHovering(true);
    });
    shot("mini-pill", pill(), [](Scene& s) {
        s.run(46);
        s.island->setExpanded(true);
    });
    // The longest values: a two-hour focus (three-digit minutes) and a paused one.
    const auto longFocus = [](Scene& s) {
        s.model.setFocusMinutes(120);
        s.run(1);
    };
    shotAtBothScales("long-collapsed-running", pill(), longFocus);
    shotAtBothScales("long-mini-running", pill(), [&](Scene& s) {
        longFocus(s);
        s.island->setExpanded(true);
    });
    shotAtBothScales("long-mini-paused", pill(), [&](Scene& s) {
        longFocus(s);
        s.model.toggle();
        s.island->setExpanded(true);
    });
    shotAtBothScales("long-collapsed-paused", pill(), [&](Scene& s) {
        longFocus(s);
        s.model.toggle();
    });
    shotAtBothScales("long-expanded-running", stripNotch(), [&](Scene& s) {
        longFocus(s);
        s.island->setExpanded(true);
    });
    // The longest words the island is given: a long task title, a long shortcut complaint, long
    // site names, a card with three-digit figures and a long top distraction.
    shotAtBothScales("long-task-title", stripNotch(), [&](Scene& s) {
        longFocus(s);
        const FocusTask task{QStringLiteral("t1"), QStringLiteral("p1"),
                             QStringLiteral("Write the quarterly report for the regional planning "
                                            "committee and send it round")};
        FocusTaskSource source;
        source.isAvailable = [] { return true; };
        source.tasks = [task] { return std::vector<FocusTask>{task}; };
        source.selected = [task] { return std::optional<FocusTask>(task); };
        source.select = [](const std::optional<FocusTask>&) {};
        s.prefs.setTickTickEnabled(true);
        s.view->setTaskPickerHook(source);
        s.island->setExpanded(true);
    });
    shotAtBothScales("long-shortcut-unavailable", stripNotch(), [&](Scene& s) {
        longFocus(s);
        s.prefs.setShortcutError(QStringLiteral(
            "Ctrl+Alt+Shift+Space is taken by another application, and so is the alternative."));
        s.island->setExpanded(true);
    });
    shotAtBothScales("long-block-warning", pill(), [&](Scene& s) {
        longFocus(s);
        s.island->setExpanded(true);
        s.island->setBlockWarning(
            QStringLiteral("video-streaming.entertainment.international-example.co.uk"));
        s.island->setBlockWarningSeconds(10);
    });
    shotAtBothScales("long-blocked-site", stripNotch(), [&](Scene& s) {
        longFocus(s);
        s.island->setExpanded(true);
        s.island->setBlockedSite(
            QStringLiteral("video-streaming.entertainment.international-example.co.uk"));
    });
    shotAtBothScales("long-card-focus", pill(), [&](Scene& s) {
        s.island->setExpanded(true);
        CompletionCelebration c = s.card(true, false);
        c.summary = TimerModel::SessionSummary{180, 128, s.clock.now()};
        c.glance = FocusGlance{1440, 365, 999, 9999,
                               QStringLiteral("video-streaming.entertainment.example.co.uk")};
        s.island->setCelebration(c);
    });
    shotAtBothScales("long-notch-collapsed-running", cameraNotch(), longFocus);
    shot("dragged-over-strip", pill(), [](Scene& s) {
        s.run(46);
        s.island->setNotchPreviewMetrics(stripNotch());
    });
    shot("dragged-open-pill", pill(), [](Scene& s) {
        s.run(46);
        s.island->setExpanded(true);
        s.island->setNotchPreviewMetrics(stripNotch());
    });
    shot("expanded-focus", stripNotch(), [](Scene& s) {
        s.run(46);
        s.island->setExpanded(true);
    });
    shot("expanded-idle", stripNotch(), [](Scene& s) { s.island->setExpanded(true); });
    shot("expanded-break", stripNotch(), [](Scene& s) {
        s.model.selectMode(Mode::rest);
        s.run(71);
        s.island->setExpanded(true);
    });
    shot("expanded-chip-hovered", stripNotch(), [](Scene& s) {
        s.island->setExpanded(true);
        s.island->setHoveredDuration(Mode::focus);
    });
    shot("undo-offer", stripNotch(), [](Scene& s) {
        s.run(300);
        s.model.reset(QStringLiteral("Session reset"));
        s.island->setExpanded(true);
    });
    shot("shortcut-unavailable", stripNotch(), [](Scene& s) {
        s.prefs.setShortcutError(QStringLiteral("Ctrl+Alt+Space is taken by another application."));
        s.island->setExpanded(true);
    });
    shot("block-warning", pill(), [](Scene& s) {
        s.run(300);
        s.island->setExpanded(true);
        s.island->setBlockWarning(QStringLiteral("youtube.com"));
        s.island->setBlockWarningSeconds(7);
    });
    shot("blocked-site", stripNotch(), [](Scene& s) {
        s.run(300);
        s.island->setExpanded(true);
        s.island->setBlockedSite(QStringLiteral("news.example.com"));
    });
    shot("card-break", pill(), [](Scene& s) {
        s.island->setExpanded(true);
        s.island->setCelebration(s.card(false, false));
    });
    shot("card-focus", pill(), [](Scene& s) {
        s.island->setExpanded(true);
        s.island->setCelebration(s.card(true, false));
    });
    shot("card-quote-prompt", stripNotch(), [](Scene& s) {
        s.island->setExpanded(true);
        s.island->setCelebration(s.card(true, true));
    });
    shot("notch-collapsed-running", cameraNotch(), [](Scene& s) { s.run(46); });
    shot("notch-idle-hover", cameraNotch(), [](Scene& s) { s.island->setHovering(true); });
    shot("notch-expanded", cameraNotch(), [](Scene& s) {
        s.run(46);
        s.island->setExpanded(true);
    });
    // The dark menus and the quit question beside the island.
    const auto save = [&](const QString& name, QWidget& widget) {
        widget.ensurePolished();
        widget.adjustSize();
        const QString path = dir + QLatin1Char('/') + name + QStringLiteral(".png");
        const bool saved = widget.grab().save(path);
        QTextStream(stdout) << (saved ? "" : "FAILED ") << path << '\n';
        ok = saved && ok;
    };
    for (const auto& [name, mode, tray] :
         {std::tuple{"island-menu-focus", Mode::focus, true},
          std::tuple{"island-menu-break-no-tray", Mode::rest, false}}) {
        QMenu menu;
        islandstyle::styleMenu(menu, islandstyle::modeColor(mode));
        islandmenu::fill(menu, islandmenu::contextMenu(true, false, false, tray),
                         [](const islandmenu::MenuEntry&) {});
        save(QString::fromLatin1(name), menu);
    }
    Confirmation::Question question;
    question.title = QStringLiteral("Tarnwhistle");
    question.text = QStringLiteral("Quit Tarnwhistle?");
    question.informativeText = QStringLiteral("Quit and end the 119:59 focus session?");
    question.cancelLabel = QStringLiteral("Cancel");
    question.confirmLabel = QStringLiteral("Quit");
    question.accent = islandstyle::modeColor(Mode::focus);
    const std::unique_ptr<QMessageBox> box = makeQuestionBox(question);
    save(QStringLiteral("quit-question"), *box);
    return ok ? 0 : 1;
}
