#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <cctype>
#include <functional>
#include <memory>

#include "island/IslandAccessibility.h"
#include "island/IslandFixture.h"
#include "island/IslandState.h"
#include "island/IslandView.h"

namespace tw::test {
namespace {

using C = IslandControl;
using Mode = TimerModel::Mode;

QString roleName(QAccessible::Role role) {
    switch (role) {
        case QAccessible::PushButton:
            return QStringLiteral("button");
        case QAccessible::ButtonMenu:
            return QStringLiteral("menu button");
        case QAccessible::RadioButton:
            return QStringLiteral("radio");
        case QAccessible::CheckBox:
            return QStringLiteral("check box");
        case QAccessible::EditableText:
            return QStringLiteral("edit");
        case QAccessible::StaticText:
            return QStringLiteral("text");
        case QAccessible::ProgressBar:
            return QStringLiteral("progress");
        case QAccessible::SpinBox:
            return QStringLiteral("spin box");
        case QAccessible::Link:
            return QStringLiteral("link");
        case QAccessible::Grouping:
            return QStringLiteral("group");
        default:
            return QStringLiteral("role %1").arg(static_cast<int>(role));
    }
}

// "role | name = value" of one element, as a screen reader would present it.
QString spoken(QAccessibleInterface* iface) {
    if (!iface) return QStringLiteral("(none)");
    QString s = roleName(iface->role()) + QStringLiteral(" | ") + iface->text(QAccessible::Name);
    const QString value = iface->text(QAccessible::Value);
    if (!value.isEmpty()) s += QStringLiteral(" = ") + value;
    return s;
}

// The events posted while an assistive technology listens, as "event | element name".
QStringList* recordedEvents = nullptr;
void recordEvent(QAccessibleEvent* event) {
    if (!recordedEvents) return;
    QAccessibleInterface* iface = event->accessibleInterface();
    QString name = iface ? iface->text(QAccessible::Name) : QString();
    if (iface && !iface->object()) {
        // An element of a control that went away has no name any more: say which one it was.
        if (auto* e = dynamic_cast<islandaccess::IslandElementAccessible*>(iface))
            if (!e->isValid()) name = QStringLiteral("#%1").arg(static_cast<int>(e->control()));
    }
    *recordedEvents << QStringLiteral("%1 | %2").arg(static_cast<int>(event->type())).arg(name);
}

class IslandAccessTest : public IslandFixture {
public:
    std::unique_ptr<IslandState> state;
    std::unique_ptr<IslandView> view;
    QStringList requests;

    void SetUp() override {
        if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
            GTEST_SKIP() << "needs a display (run under scripts/with-desktop)";
    }

    IslandView& build(IslandMetrics metrics, bool expanded = true) {
        state = std::make_unique<IslandState>(metrics);
        state->requestExpand = [this] { requests << QStringLiteral("expand"); };
        state->requestCollapse = [this] { requests << QStringLiteral("collapse"); };
        state->requestToggleTimer = [this] { requests << QStringLiteral("toggleTimer"); };
        state->requestHistory = [this] { requests << QStringLiteral("history"); };
        view = std::make_unique<IslandView>(model, *state, prefs);
        view->reduceMotion = [] { return true; };
        state->setExpanded(expanded);
        view->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        view->finishAnimations();
        return *view;
    }

    QAccessibleInterface* root() { return QAccessible::queryAccessibleInterface(view.get()); }

    QStringList children() {
        QStringList out;
        QAccessibleInterface* r = root();
        for (int i = 0; i < r->childCount(); ++i) out << spoken(r->child(i));
        return out;
    }

    // The child named `name`, or null.
    QAccessibleInterface* named(const QString& name) {
        QAccessibleInterface* r = root();
        for (int i = 0; i < r->childCount(); ++i)
            if (r->child(i)->text(QAccessible::Name) == name) return r->child(i);
        return nullptr;
    }

    void press(const QString& name,
               const QString& action = QAccessibleActionInterface::pressAction()) {
        QAccessibleInterface* e = named(name);
        ASSERT_NE(e, nullptr) << name.toStdString();
        ASSERT_NE(e->actionInterface(), nullptr);
        EXPECT_TRUE(e->actionInterface()->actionNames().contains(action)) << name.toStdString();
        e->actionInterface()->doAction(action);
    }

    CompletionCelebration focusCard(bool quotePrompt) {
        CompletionCelebration card;
        card.id = QUuid::createUuid();
        card.summary = TimerModel::SessionSummary{25, 0, {}};
        card.showQuotePrompt = quotePrompt;
        return card;
    }
};

struct StateCase {
    const char* name;
    std::function<void(IslandAccessTest&)> setUp;
    QStringList expected;
    friend void PrintTo(const StateCase& c, std::ostream* os) { *os << c.name; }
};

class IslandAccessStates : public IslandAccessTest,
                           public ::testing::WithParamInterface<StateCase> {};

const QStringList kChips = {
    "spin box | Set focus length = 25",      "button | Decrease focus length",
    "edit | Focus duration in minutes = 25", "button | Increase focus length",
    "spin box | Set break length = 5",       "button | Decrease break length",
    "edit | Break duration in minutes = 5",  "button | Increase break length",
};

const StateCase kStates[] = {
    {"idle", [](IslandAccessTest& t) { t.build(notchMetrics()); },
     QStringList{"button | Detach from the top edge and float as a pill", "button | Settings",
                 "radio | Select Focus phase = Selected",
                 "radio | Select Break phase = Not selected", "edit | Remaining time = 25:00",
                 "progress | Session progress = 0%", "button | Reset",
                 "button | Start (Ctrl+Alt+Space)", "button | Skip"} +
         kChips + QStringList{"link | Today: 0m · 0 sessions"}},
    {"running",
     [](IslandAccessTest& t) {
         t.build(notchMetrics());
         t.startFocus();
         t.clock.advance(60);
     },
     QStringList{"button | Detach from the top edge and float as a pill", "button | Settings",
                 "radio | Select Focus phase = Selected",
                 "radio | Select Break phase = Not selected", "edit | Remaining time = 24:00",
                 "progress | Session progress = 4%", "button | Reset",
                 "button | Pause (Ctrl+Alt+Space)", "button | Skip"} +
         kChips + QStringList{"link | Today: 1m · 0 sessions"}},
    {"paused",
     [](IslandAccessTest& t) {
         t.build(notchMetrics());
         t.startFocus();
         t.clock.advance(90);
         t.model.toggle();
     },
     QStringList{"button | Detach from the top edge and float as a pill", "button | Settings",
                 "radio | Select Focus phase = Selected",
                 "radio | Select Break phase = Not selected", "edit | Remaining time = 23:30",
                 "progress | Session progress = 6%", "button | Reset",
                 "button | Start (Ctrl+Alt+Space)", "button | Skip"} +
         kChips + QStringList{"link | Today: 1m · 0 sessions"}},
    {"undo, warning and task picker",
     [](IslandAccessTest& t) {
         t.prefs.setTickTickEnabled(true);
         t.prefs.setShortcutError(QStringLiteral("The system refused Ctrl+Alt+Space."));
         t.build(notchMetrics());
         const FocusTask write{QStringLiteral("t1"), QStringLiteral("p1"),
                               QStringLiteral("Write report")};
         FocusTaskSource hook;
         hook.tasks = [=] { return std::vector<FocusTask>{write}; };
         hook.selected = [=] { return std::optional<FocusTask>(write); };
         t.view->setTaskPickerHook(hook);
         t.startFocus();
         t.clock.advance(30);
         t.model.reset(QStringLiteral("Session reset"));
     },
     QStringList{"button | Detach from the top edge and float as a pill", "button | Settings",
                 "radio | Select Focus phase = Selected",
                 "radio | Select Break phase = Not selected", "edit | Remaining time = 25:00",
                 "progress | Session progress = 0%", "button | Reset",
                 "button | Start (Ctrl+Alt+Space)", "button | Skip"} +
         kChips +
         QStringList{"link | Today: 0m · 0 sessions", "link | Undo Session reset",
                     "menu button | Pick a task = Write report",
                     "button | Shortcut unavailable. Change the start/pause shortcut in Settings"}},
    {"mini",
     [](IslandAccessTest& t) { t.build(pillMetrics()); },
     {"edit | Remaining time = 25:00", "progress | Session progress = 0%", "button | Reset",
      "button | Start (Ctrl+Alt+Space)", "button | Skip", "link | Today: 0m · 0 sessions",
      "menu button | More actions"}},
    {"closed pill, hovered",
     [](IslandAccessTest& t) {
         t.build(pillMetrics(), false);
         t.state->setHovering(true);
     },
     {"text | Remaining time = 25:00", "progress | Session progress = 0%", "button | Start focus",
      "menu button | More actions"}},
    {"closed notch, idle", [](IslandAccessTest& t) { t.build(notchMetrics(), false); }, {}},
    {"blocked site",
     [](IslandAccessTest& t) {
         t.build(notchMetrics());
         t.startFocus();
         t.state->setBlockedSite(QStringLiteral("news.example"));
     },
     {"text | news.example blocked, 25:00 left. Back to your focus"}},
    {"celebration",
     [](IslandAccessTest& t) {
         t.build(pillMetrics());
         CompletionCelebration card = t.focusCard(true);
         card.onStartBreak = [] {};
         t.state->setCelebration(card);
     },
     {"group | Focus complete! Nice work. Enjoy your break. 25 min focused",
      "edit | Enjoying Tarnwhistle? Share a sentence.",
      "check box | You may quote this on the site", "button | Send"}},
};

TEST_P(IslandAccessStates, ChildrenSayWhatTheIslandShows) {
    GetParam().setUp(*this);
    QAccessibleInterface* r = root();
    ASSERT_NE(r, nullptr);
    EXPECT_NE(dynamic_cast<islandaccess::IslandAccessible*>(r), nullptr);
    EXPECT_EQ(children().join('\n').toStdString(), GetParam().expected.join('\n').toStdString());

    // Every child lies inside the view on the screen, says it is shown and is its parent's.
    const QRect screen(view->mapToGlobal(QPoint(0, 0)), view->size());
    for (int i = 0; i < r->childCount(); ++i) {
        QAccessibleInterface* c = r->child(i);
        SCOPED_TRACE(spoken(c).toStdString());
        EXPECT_TRUE(c->isValid());
        EXPECT_FALSE(c->rect().isEmpty());
        EXPECT_TRUE(screen.contains(c->rect()));
        EXPECT_FALSE(c->state().invisible);
        EXPECT_EQ(c->parent(), r);
        EXPECT_EQ(r->indexOfChild(c), i);
    }
}

INSTANTIATE_TEST_SUITE_P(IslandAccess, IslandAccessStates, ::testing::ValuesIn(kStates),
                         [](const auto& info) {
                             std::string n;
                             for (const char ch : std::string(info.param.name))
                                 n += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             return n;
                         });

TEST_F(IslandAccessTest, DescriptionsStatesAndValues) {
    build(notchMetrics());
    EXPECT_EQ(named("Remaining time")->text(QAccessible::Description),
              "Editable. Type minutes or mm:ss");
    EXPECT_EQ(named("Remaining time")->text(QAccessible::Help),
              "Type minutes or mm:ss, then press Return (up to 120 minutes)");
    EXPECT_EQ(named("Today: 0m · 0 sessions")->text(QAccessible::Description),
              "Opens the last 7 days");
    EXPECT_EQ(named("Set focus length")->text(QAccessible::Description), "Set focus length");
    EXPECT_EQ(named("Focus duration in minutes")->text(QAccessible::Description),
              "Type 1–120 minutes, then press Return");
    EXPECT_TRUE(named("Select Focus phase")->state().checked);
    EXPECT_FALSE(named("Select Break phase")->state().checked);
    EXPECT_TRUE(named("Set focus length")->state().selected);
    EXPECT_TRUE(named("Start (Ctrl+Alt+Space)")->state().focusable);

    QAccessibleValueInterface* chip = named("Set break length")->valueInterface();
    ASSERT_NE(chip, nullptr);
    EXPECT_EQ(chip->currentValue().toInt(), 5);
    EXPECT_EQ(chip->minimumValue().toInt(), 1);
    EXPECT_EQ(chip->maximumValue().toInt(), 120);
    chip->setCurrentValue(500);
    EXPECT_EQ(model.breakMinutes(), 120);
    EXPECT_TRUE(named("Increase break length")->state().disabled) << "the end of the range";
    EXPECT_FALSE(named("Increase break length")
                     ->actionInterface()
                     ->actionNames()
                     .contains(QAccessibleActionInterface::pressAction()));

    QAccessibleInterface* progress = named("Session progress");
    ASSERT_NE(progress->valueInterface(), nullptr);
    startFocus();
    clock.advance(15 * 60);
    EXPECT_DOUBLE_EQ(progress->valueInterface()->currentValue().toDouble(), 60.0);
    ASSERT_NE(named("Remaining time")->textInterface(), nullptr);
    EXPECT_EQ(named("Remaining time")->textInterface()->text(0, -1), "10:00");
}

struct ActionCase {
    const char* name;
    std::function<void(IslandAccessTest&)> act;
    std::function<void(IslandAccessTest&)> check;
};

TEST_F(IslandAccessTest, ActionsDoWhatAClickDoes) {
    const ActionCase cases[] = {
        {"start", [](IslandAccessTest& t) { t.press("Start (Ctrl+Alt+Space)"); },
         [](IslandAccessTest& t) {
             EXPECT_EQ(t.model.runState(), TimerModel::RunState::running);
             EXPECT_NE(t.named("Pause (Ctrl+Alt+Space)"), nullptr);
         }},
        {"phase segment", [](IslandAccessTest& t) { t.press("Select Break phase"); },
         [](IslandAccessTest& t) {
             EXPECT_EQ(t.model.mode(), Mode::rest);
             EXPECT_EQ(t.named("Select Break phase")->text(QAccessible::Value), "Selected");
         }},
        {"chip minus", [](IslandAccessTest& t) { t.press("Decrease focus length"); },
         [](IslandAccessTest& t) { EXPECT_EQ(t.model.focusMinutes(), 24); }},
        {"chip steps",
         [](IslandAccessTest& t) {
             t.press("Set focus length", QAccessibleActionInterface::decreaseAction());
             t.press("Set break length", QAccessibleActionInterface::increaseAction());
         },
         [](IslandAccessTest& t) {
             EXPECT_EQ(t.model.focusMinutes(), 24);
             EXPECT_EQ(t.model.breakMinutes(), 6);
         }},
        {"history", [](IslandAccessTest& t) { t.press("Today: 0m · 0 sessions"); },
         [](IslandAccessTest& t) { EXPECT_EQ(t.requests, QStringList{"history"}); }},
        {"countdown edit", [](IslandAccessTest& t) { t.press("Remaining time"); },
         [](IslandAccessTest& t) {
             // The real field takes the element's place, so the reader lands in it.
             EXPECT_FALSE(t.view->countdownField()->isHidden());
             QAccessibleInterface* field = t.named("Remaining time");
             ASSERT_NE(field, nullptr);
             EXPECT_EQ(field->object(), t.view->countdownField());
             EXPECT_EQ(field->role(), QAccessible::EditableText);
         }},
        {"the island itself",
         [](IslandAccessTest& t) {
             t.root()->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
         },
         [](IslandAccessTest& t) { EXPECT_EQ(t.requests, QStringList{"collapse"}); }},
    };
    for (const ActionCase& c : cases) {
        SCOPED_TRACE(c.name);
        model.selectMode(Mode::focus);
        requests.clear();
        build(notchMetrics());
        c.act(*this);
        c.check(*this);
        view.reset();
        model.reset(QStringLiteral("Session reset"));
        model.setFocusMinutes(25);
        model.setBreakMinutes(5);
    }
}

TEST_F(IslandAccessTest, CardAndClosedPillActions) {
    build(pillMetrics(), false);
    state->setHovering(true);
    press("Start focus");
    EXPECT_EQ(requests, QStringList{"toggleTimer"});

    state->setHovering(false);
    state->setExpanded(true);
    int breaks = 0;
    CompletionCelebration card = focusCard(true);
    card.onStartBreak = [&] { ++breaks; };
    state->setCelebration(card);
    QAccessibleInterface* group = root()->child(0);
    ASSERT_EQ(group->role(), QAccessible::Grouping);
    EXPECT_EQ(group->actionInterface()->localizedActionDescription(
                  QAccessibleActionInterface::pressAction()),
              "Start break");
    group->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(breaks, 1);

    QAccessibleInterface* send = named("Send");
    EXPECT_TRUE(send->state().disabled) << "nothing typed yet";
    view->quoteField()->setText(QStringLiteral("Keeps me going"));
    EXPECT_FALSE(send->state().disabled);
    press("You may quote this on the site");
    EXPECT_FALSE(view->quoteState().mayQuote);
    EXPECT_FALSE(named("You may quote this on the site")->state().checked);
    press("Send");
    EXPECT_TRUE(view->quoteState().sent);
    EXPECT_EQ(children().join('\n').toStdString(),
              "group | Focus complete! Nice work. Enjoy your break. 25 min focused. Thank you — "
              "noted.");
}

TEST_F(IslandAccessTest, ElementsNeverDangle) {
    build(notchMetrics());
    QAccessibleInterface* start = named("Start (Ctrl+Alt+Space)");
    ASSERT_NE(start, nullptr);
    const QAccessible::Id id = QAccessible::uniqueId(start);

    // The island closes: the element stays the same object but says it is gone.
    state->setExpanded(false);
    EXPECT_FALSE(start->isValid());
    EXPECT_TRUE(start->state().invisible);
    EXPECT_TRUE(start->rect().isEmpty());
    EXPECT_TRUE(start->text(QAccessible::Name).isEmpty());
    EXPECT_EQ(root()->indexOfChild(start), -1);
    start->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(model.runState(), TimerModel::RunState::idle) << "a gone control does nothing";
    EXPECT_EQ(root()->childCount(), 0);

    // Back again, the same element names the control afresh.
    state->setExpanded(true);
    EXPECT_TRUE(start->isValid());
    EXPECT_EQ(named("Start (Ctrl+Alt+Space)"), start);
    EXPECT_EQ(QAccessible::accessibleInterface(id), start);

    // With the view gone its elements are gone from the cache too.
    view.reset();
    EXPECT_EQ(QAccessible::accessibleInterface(id), nullptr);
}

TEST_F(IslandAccessTest, ChangesAreReported) {
    build(notchMetrics());
    QStringList events;
    recordedEvents = &events;
    islandaccess::setEventSink(recordEvent);
    const std::unique_ptr<void, void (*)(void*)> restore(&events, [](void*) {
        islandaccess::setEventSink(nullptr);
        recordedEvents = nullptr;
    });
    const auto has = [&](QAccessible::Event type, const QString& name) {
        return events.contains(QStringLiteral("%1 | %2").arg(static_cast<int>(type)).arg(name));
    };
    startFocus();  // the first report after activation takes the baseline
    events.clear();

    clock.advance(60);  // the progress moves by whole percents
    EXPECT_TRUE(has(QAccessible::TextUpdated, "Remaining time")) << events.join('\n').toStdString();
    EXPECT_TRUE(has(QAccessible::ValueChanged, "Session progress"));

    events.clear();
    model.toggle();  // pause
    EXPECT_TRUE(has(QAccessible::NameChanged, "Start (Ctrl+Alt+Space)"))
        << events.join('\n').toStdString();

    model.reset(QStringLiteral("Session reset"));
    events.clear();
    model.selectMode(Mode::rest);
    EXPECT_TRUE(has(QAccessible::StateChanged, "Select Break phase"))
        << events.join('\n').toStdString();
    EXPECT_TRUE(has(QAccessible::StateChanged, "Select Focus phase"));

    events.clear();
    state->setExpanded(false);
    EXPECT_TRUE(has(QAccessible::ObjectHide, QStringLiteral("#%1").arg(int(C::startPause))))
        << events.join('\n').toStdString();
    EXPECT_TRUE(has(QAccessible::ObjectReorder, QString()));
}

}  // namespace
}  // namespace tw::test
