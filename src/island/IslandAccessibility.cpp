#include "island/IslandAccessibility.h"

#include <QLineEdit>
#include <QMenu>
#include <QWindow>
#include <algorithm>
#include <cmath>

#include "island/IslandState.h"
#include "island/IslandViewText.h"
#include "preferences/AppPreferences.h"
#include "timer/TimerModel.h"

namespace tw {

namespace islandaccess {

namespace {

namespace T = islandtext;
using C = IslandControl;
using Mode = TimerModel::Mode;

EventSink eventSink = nullptr;

void post(QAccessibleEvent* event) {
    if (eventSink)
        eventSink(event);
    else
        QAccessible::updateAccessibility(event);
}

constexpr int kMinMinutes = IslandActions::minMinutes;
constexpr int kMaxMinutes = IslandActions::maxMinutes;

QAccessibleInterface* islandFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("tw::IslandView") && object && object->isWidgetType())
        return new IslandAccessible(static_cast<IslandView*>(object));
    return nullptr;
}

bool fieldOpen(const QLineEdit* field) {
    return field && !field->isHidden();
}

std::optional<Mode> chipMode(C c) {
    switch (c) {
        case C::focusChip:
        case C::focusMinus:
        case C::focusValue:
        case C::focusPlus:
            return Mode::focus;
        case C::breakChip:
        case C::breakMinus:
        case C::breakValue:
        case C::breakPlus:
            return Mode::rest;
        default:
            return std::nullopt;
    }
}

int minutes(const IslandView& v, Mode mode) {
    const TimerModel& m = v.actions().model();
    return static_cast<int>(mode == Mode::focus ? m.focusMinutes() : m.breakMinutes());
}

// What one element says about itself, read live from the view.
struct Info {
    QAccessible::Role role = QAccessible::NoRole;
    QString name;
    QString description;
    QString help;
    QString value;
    bool pressable = false;
    QString pressLabel;  // what "Press" does, when it is more than a click
    bool focusable = false;
    bool checkable = false;
    bool checked = false;
    bool selected = false;
    bool disabled = false;
    bool editable = false;
};

QStringList cardLines(const IslandView& v) {
    const auto& card = v.actions().island().celebration();
    if (!card) return {};
    QStringList lines{card->title(), card->subtitle()};
    if (card->showsFigures()) {
        lines << card->summaryLine();
        if (const auto top = card->topDistractionLine()) lines << *top;
    }
    const auto& quote = v.actions().quoteState();
    if (card->showQuotePrompt && quote.sent && quote.cardID == card->id)
        lines << celebration::quote::thanks();
    return lines;
}

Info describe(const IslandView& v, C c) {
    Info i;
    const IslandLayout& layout = v.layout();
    const IslandContent content = layout.content;
    const TimerModel& model = v.actions().model();
    i.help = layout.help(c);
    i.description = i.help;
    const auto button = [&](QAccessible::Role role = QAccessible::PushButton) {
        i.role = role;
        i.name = i.help;
        i.pressable = true;
        i.focusable = true;
    };
    if (c == card) {
        const auto& celebrationCard = v.actions().island().celebration();
        i.role = QAccessible::Grouping;
        i.name = T::spokenJoin(cardLines(v));
        i.description.clear();
        i.help.clear();
        if (celebrationCard && celebrationCard->showsFigures() && celebrationCard->onStartBreak &&
            !layout.rect(C::startBreak).isEmpty()) {
            i.pressable = true;
            i.focusable = true;
            i.pressLabel = QStringLiteral("Start break");
        }
        return i;
    }
    switch (c) {
        case C::detach:
        case C::settings:
        case C::reset:
        case C::startPause:
        case C::skip:
        case C::startBreak:
            button();
            break;
        case C::moreActions:
            button(QAccessible::ButtonMenu);
            break;
        case C::phaseFocus:
        case C::phaseBreak: {
            const Mode mode = c == C::phaseFocus ? Mode::focus : Mode::rest;
            button(QAccessible::RadioButton);
            i.name = T::phaseSegmentName(TimerModel::title(mode));
            i.checkable = true;
            i.checked = model.mode() == mode;
            i.value = T::selectionValue(i.checked);
            break;
        }
        case C::countdown:
            if (content == IslandContent::expanded || content == IslandContent::mini) {
                i.role = QAccessible::EditableText;
                i.name = T::remainingTimeName();
                i.description = T::remainingTimeHint();
                i.value = model.formattedRemaining();
                i.pressable = true;
                i.focusable = true;
                i.editable = true;
            } else if (content == IslandContent::blockWarning) {
                const IslandState& island = v.actions().island();
                i.role = QAccessible::StaticText;
                i.name =
                    T::spokenJoin({T::blockWarningLine(island.blockWarning().value_or(QString()),
                                                       island.blockWarningSeconds()),
                                   T::blockWarningHint()});
            } else if (content == IslandContent::blockedSite) {
                i.role = QAccessible::StaticText;
                i.name = T::spokenJoin(
                    {T::blockedNoticeLine(v.actions().island().blockedSite().value_or(QString()),
                                          model.remaining()),
                     QStringLiteral("Back to your focus")});
            } else {
                i.role = QAccessible::StaticText;
                i.name = T::remainingTimeName();
                i.value = model.formattedRemaining();
            }
            break;
        case C::progress:
            i.role = QAccessible::ProgressBar;
            i.name = T::sessionProgressName();
            i.value = QString::number(std::lround(islandlayout::progress(model) * 100)) +
                      QLatin1Char('%');
            break;
        case C::focusChip:
        case C::breakChip: {
            const Mode mode = *chipMode(c);
            i.role = QAccessible::SpinBox;
            i.name = T::chipName(mode);
            i.value = QString::number(minutes(v, mode));
            i.pressable = true;
            i.focusable = true;
            i.selected = model.mode() == mode;
            break;
        }
        case C::focusMinus:
        case C::focusPlus:
        case C::breakMinus:
        case C::breakPlus: {
            const Mode mode = *chipMode(c);
            const bool up = c == C::focusPlus || c == C::breakPlus;
            button();
            i.name = T::chipStepName(mode, up);
            i.disabled = up ? minutes(v, mode) >= kMaxMinutes : minutes(v, mode) <= kMinMinutes;
            break;
        }
        case C::focusValue:
        case C::breakValue: {
            const Mode mode = *chipMode(c);
            i.role = QAccessible::EditableText;
            i.name = T::chipAccessibleName(TimerModel::title(mode));
            i.value = QString::number(minutes(v, mode));
            i.pressable = true;
            i.focusable = true;
            i.editable = true;
            break;
        }
        case C::history:
            button(QAccessible::Link);
            i.name = T::historyLine(model.focusMinutesToday(), model.completedToday());
            i.description = T::historyHint();
            break;
        case C::undo:
            button(QAccessible::Link);
            if (const auto offer = model.undoOffer()) i.name = T::undoLine(offer->label);
            break;
        case C::taskPicker: {
            button(QAccessible::ButtonMenu);
            i.name = T::taskPickerName();
            i.value = v.actions().taskTitle();
            break;
        }
        case C::shortcutWarning:
            button();
            i.name = T::spokenJoin({T::shortcutUnavailableTitle(), T::shortcutUnavailableHint()});
            break;
        case C::quoteMayQuote:
            button(QAccessible::CheckBox);
            i.name = celebration::quote::permission();
            i.checkable = true;
            i.checked = v.actions().quoteState().mayQuote;
            break;
        case C::quoteSend:
            button();
            i.name = celebration::quote::send();
            i.disabled = !celebration::canSendQuote(v.actions().quoteState().text);
            break;
        case C::quoteField:  // the real field stands for it
        case C::count:
            break;
    }
    if (i.name.isEmpty()) i.name = i.help;
    return i;
}

}  // namespace

void installFactory() {
    static const bool installed = [] {
        QAccessible::installFactory(islandFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

bool listening() {
    return eventSink || QAccessible::isActive();
}

void setEventSink(EventSink sink) {
    eventSink = sink;
}

QList<Entry> entries(const IslandView& view) {
    QList<Entry> out;
    QLineEdit* const countdown = view.countdownField();
    QLineEdit* const chip = view.chipField();
    QLineEdit* const quote = view.quoteField();
    const IslandLayout& layout = view.layout();
    const auto editing = view.chipEditing();
    const bool celebration = layout.content == IslandContent::celebration;
    if (celebration) out << Entry{card, nullptr};
    for (int n = 0; n < static_cast<int>(C::count); ++n) {
        const C c = static_cast<C>(n);
        if (layout.rect(c).isEmpty()) continue;
        if (c == C::startBreak && celebration) continue;  // the card's own action
        QWidget* field = nullptr;
        if (c == C::countdown && fieldOpen(countdown))
            field = countdown;
        else if (((c == C::focusValue && editing == Mode::focus) ||
                  (c == C::breakValue && editing == Mode::rest)) &&
                 fieldOpen(chip))
            field = chip;
        else if (c == C::quoteField) {
            if (!fieldOpen(quote)) continue;
            field = quote;
        }
        out << Entry{c, field};
    }
    for (QObject* object : view.children()) {
        auto* widget = qobject_cast<QWidget*>(object);
        if (!widget || widget->isWindow() || qobject_cast<QMenu*>(widget) || widget == countdown ||
            widget == chip || widget == quote)
            continue;
        out << Entry{C::count, widget};
    }
    return out;
}

// ---- IslandAccessible ----

IslandAccessible::IslandAccessible(IslandView* view)
    : QAccessibleWidget(view, QAccessible::Grouping) {}

IslandAccessible::~IslandAccessible() {
    for (const QAccessible::Id id : ids_) {
        if (!id) continue;
        // Only our own element: the cache may have dropped it already (at exit).
        if (dynamic_cast<IslandElementAccessible*>(QAccessible::accessibleInterface(id)))
            QAccessible::deleteAccessibleInterface(id);
    }
}

IslandView* IslandAccessible::view() const {
    return static_cast<IslandView*>(widget());
}

QAccessibleInterface* IslandAccessible::element(IslandControl control) const {
    const auto slot = static_cast<size_t>(control);
    if (slot >= ids_.size()) return nullptr;
    QAccessible::Id& id = ids_[slot];
    if (id) {
        auto* existing =
            dynamic_cast<IslandElementAccessible*>(QAccessible::accessibleInterface(id));
        if (existing && existing->control() == control) return existing;
    }
    auto* made = new IslandElementAccessible(view(), control);
    id = QAccessible::registerAccessibleInterface(made);
    return made;
}

QAccessibleInterface* IslandAccessible::entryInterface(const Entry& entry) const {
    if (entry.widget) return QAccessible::queryAccessibleInterface(entry.widget);
    return element(entry.control);
}

int IslandAccessible::childCount() const {
    if (!view()) return 0;
    return static_cast<int>(entries(*view()).size());
}

QAccessibleInterface* IslandAccessible::child(int index) const {
    if (!view()) return nullptr;
    const QList<Entry> list = entries(*view());
    if (index < 0 || index >= list.size()) return nullptr;
    return entryInterface(list[index]);
}

int IslandAccessible::indexOfChild(const QAccessibleInterface* child) const {
    if (!child || !view()) return -1;
    Entry wanted;
    if (QObject* object = child->object()) {
        if (!object->isWidgetType()) return -1;
        wanted.widget = static_cast<QWidget*>(object);
    } else if (const auto* e = dynamic_cast<const IslandElementAccessible*>(child)) {
        if (e->parent() != this) return -1;
        wanted.control = e->control();
    } else {
        return -1;
    }
    const QList<Entry> list = entries(*view());
    for (qsizetype n = 0; n < list.size(); ++n) {
        const bool match = wanted.widget ? list[n].widget == wanted.widget
                                         : !list[n].widget && list[n].control == wanted.control;
        if (match) return static_cast<int>(n);
    }
    return -1;
}

QAccessibleInterface* IslandAccessible::childAt(int x, int y) const {
    if (!view()) return nullptr;
    // The smallest hit wins: the steppers and values lie inside their chips.
    QAccessibleInterface* best = nullptr;
    qint64 bestArea = 0;
    for (const Entry& entry : entries(*view())) {
        QAccessibleInterface* iface = entryInterface(entry);
        if (!iface) continue;
        const QRect r = iface->rect();
        if (!r.contains(x, y)) continue;
        const qint64 area = static_cast<qint64>(r.width()) * r.height();
        if (!best || area < bestArea) {
            best = iface;
            bestArea = area;
        }
    }
    return best;
}

QAccessibleInterface* IslandAccessible::focusChild() const {
    if (!view()) return nullptr;
    for (const Entry& entry : entries(*view())) {
        if (entry.widget && entry.widget->hasFocus())
            return QAccessible::queryAccessibleInterface(entry.widget);
    }
    return QAccessibleWidget::focusChild();
}

QStringList IslandAccessible::actionNames() const {
    QStringList names = QAccessibleWidget::actionNames();
    names.prepend(pressAction());
    return names;
}

void IslandAccessible::doAction(const QString& action) {
    if (action != pressAction() || !view()) {
        QAccessibleWidget::doAction(action);
        return;
    }
    IslandState& island = view()->actions().island();
    if (island.isExpanded())
        island.requestCollapse();
    else
        island.requestExpand();
}

QString IslandAccessible::localizedActionDescription(const QString& action) const {
    if (action == pressAction() && view()) {
        return view()->actions().island().isExpanded() ? QStringLiteral("Close the island")
                                                       : QStringLiteral("Open the island");
    }
    return QAccessibleWidget::localizedActionDescription(action);
}

// ---- IslandElementAccessible ----

IslandElementAccessible::IslandElementAccessible(IslandView* view, IslandControl control)
    : view_(view), control_(control) {}

bool IslandElementAccessible::isValid() const {
    if (!view_) return false;
    return entries(*view_).contains(Entry{control_, nullptr});
}

QWindow* IslandElementAccessible::window() const {
    if (!view_) return nullptr;
    return view_->window()->windowHandle();
}

QAccessibleInterface* IslandElementAccessible::parent() const {
    return view_ ? QAccessible::queryAccessibleInterface(view_.data()) : nullptr;
}

QString IslandElementAccessible::text(QAccessible::Text t) const {
    if (!isValid()) return {};
    const Info info = describe(*view_, control_);
    switch (t) {
        case QAccessible::Name:
            return info.name;
        case QAccessible::Description:
            return info.description;
        case QAccessible::Help:
            return info.help;
        case QAccessible::Value:
            return info.value;
        default:
            return {};
    }
}

QRect IslandElementAccessible::rect() const {
    if (!isValid()) return {};
    const QRectF local =
        control_ == card ? view_->layout().cardBox() : view_->layout().rect(control_);
    return local.toAlignedRect().translated(view_->mapToGlobal(QPoint(0, 0)));
}

QAccessible::Role IslandElementAccessible::role() const {
    if (!view_) return QAccessible::NoRole;
    return describe(*view_, control_).role;
}

QAccessible::State IslandElementAccessible::state() const {
    QAccessible::State s;
    const bool shown = isValid();
    s.invisible = !shown || !view_->isVisible();
    s.offscreen = s.invisible;
    if (!shown) return s;
    const Info info = describe(*view_, control_);
    s.focusable = info.focusable;
    s.checkable = info.checkable;
    s.checked = info.checked;
    s.selectable = control_ == C::focusChip || control_ == C::breakChip;
    s.selected = info.selected;
    s.disabled = info.disabled;
    s.editable = info.editable;
    s.readOnly = info.role == QAccessible::StaticText;
    return s;
}

bool IslandElementAccessible::hasNumericValue() const {
    return control_ == C::progress || control_ == C::focusChip || control_ == C::breakChip;
}

bool IslandElementAccessible::hasTextValue() const {
    if (!view_ || hasNumericValue()) return false;
    const QAccessible::Role r = describe(*view_, control_).role;
    return r == QAccessible::EditableText || r == QAccessible::StaticText ||
           control_ == C::taskPicker;
}

void* IslandElementAccessible::interface_cast(QAccessible::InterfaceType type) {
    switch (type) {
        case QAccessible::ActionInterface:
            return static_cast<QAccessibleActionInterface*>(this);
        case QAccessible::ValueInterface:
            return hasNumericValue() ? static_cast<QAccessibleValueInterface*>(this) : nullptr;
        case QAccessible::TextInterface:
            return hasTextValue() ? static_cast<QAccessibleTextInterface*>(this) : nullptr;
        default:
            return nullptr;
    }
}

QStringList IslandElementAccessible::actionNames() const {
    if (!isValid()) return {};
    const Info info = describe(*view_, control_);
    QStringList names;
    if (info.pressable && !info.disabled) names << pressAction();
    if (control_ == C::focusChip || control_ == C::breakChip)
        names << increaseAction() << decreaseAction();
    return names;
}

void IslandElementAccessible::doAction(const QString& action) {
    if (!actionNames().contains(action)) return;
    IslandActions& actions = view_->actions();
    const IslandContent content = view_->layout().content;
    if (action == pressAction()) {
        actions.activate(control_ == card ? C::startBreak : control_, content);
    } else if (action == increaseAction()) {
        actions.activate(control_ == C::focusChip ? C::focusPlus : C::breakPlus, content);
    } else if (action == decreaseAction()) {
        actions.activate(control_ == C::focusChip ? C::focusMinus : C::breakMinus, content);
    }
}

QString IslandElementAccessible::localizedActionDescription(const QString& action) const {
    if (action == pressAction() && view_) {
        const Info info = describe(*view_, control_);
        if (!info.pressLabel.isEmpty()) return info.pressLabel;
    }
    return QAccessibleActionInterface::localizedActionDescription(action);
}

QVariant IslandElementAccessible::currentValue() const {
    if (!view_ || !hasNumericValue()) return {};
    if (control_ == C::progress) return islandlayout::progress(view_->actions().model()) * 100;
    return minutes(*view_, *chipMode(control_));
}

void IslandElementAccessible::setCurrentValue(const QVariant& value) {
    if (!isValid() || control_ == C::progress || !hasNumericValue()) return;
    bool ok = false;
    const double wanted = value.toDouble(&ok);
    if (!ok || !std::isfinite(wanted)) return;
    const int m =
        static_cast<int>(std::clamp(std::round(wanted), double(kMinMinutes), double(kMaxMinutes)));
    TimerModel& model = view_->actions().model();
    if (*chipMode(control_) == Mode::focus)
        model.setFocusMinutes(m);
    else
        model.setBreakMinutes(m);
}

QVariant IslandElementAccessible::maximumValue() const {
    if (!hasNumericValue()) return {};
    return control_ == C::progress ? QVariant(100.0) : QVariant(kMaxMinutes);
}

QVariant IslandElementAccessible::minimumValue() const {
    if (!hasNumericValue()) return {};
    return control_ == C::progress ? QVariant(0.0) : QVariant(kMinMinutes);
}

QVariant IslandElementAccessible::minimumStepSize() const {
    if (!hasNumericValue()) return {};
    return control_ == C::progress ? QVariant(0.0) : QVariant(1);
}

namespace {
QString shownText(const IslandElementAccessible& e) {
    const QString value = e.text(QAccessible::Value);
    return value.isEmpty() ? e.text(QAccessible::Name) : value;
}
}  // namespace

void IslandElementAccessible::selection(int, int* startOffset, int* endOffset) const {
    *startOffset = 0;
    *endOffset = 0;
}

QString IslandElementAccessible::text(int startOffset, int endOffset) const {
    const QString all = shownText(*this);
    const int start = std::clamp(startOffset, 0, static_cast<int>(all.size()));
    const int end = endOffset < 0 ? static_cast<int>(all.size())
                                  : std::clamp(endOffset, start, static_cast<int>(all.size()));
    return all.mid(start, end - start);
}

int IslandElementAccessible::characterCount() const {
    return static_cast<int>(shownText(*this).size());
}

QString IslandElementAccessible::attributes(int, int* startOffset, int* endOffset) const {
    *startOffset = 0;
    *endOffset = characterCount();
    return {};
}

// ---- Notifier ----

void Notifier::update(IslandView& view) {
    if (!listening()) {
        last_.reset();
        return;
    }
    auto* root = dynamic_cast<IslandAccessible*>(QAccessible::queryAccessibleInterface(&view));
    if (!root) return;
    QList<Item> now;
    for (const Entry& entry : entries(view)) {
        Item item{entry, {}, {}, {}, {}};
        if (!entry.widget) {
            QAccessibleInterface* e = root->element(entry.control);
            item.name = e->text(QAccessible::Name);
            item.description = e->text(QAccessible::Description);
            item.value = e->text(QAccessible::Value);
            item.state = e->state();
        }
        now << item;
    }
    if (!last_) {
        last_ = now;
        return;
    }
    const auto find = [](const QList<Item>& items, const Entry& entry) -> const Item* {
        for (const Item& item : items)
            if (item.entry == entry) return &item;
        return nullptr;
    };
    bool reordered = now.size() != last_->size();
    for (qsizetype n = 0; !reordered && n < now.size(); ++n)
        reordered = !(now[n].entry == (*last_)[n].entry);

    for (const Item& old : *last_) {
        if (old.entry.widget || find(now, old.entry)) continue;
        QAccessibleEvent hide(root->element(old.entry.control), QAccessible::ObjectHide);
        post(&hide);
    }
    for (const Item& item : now) {
        if (item.entry.widget) continue;
        QAccessibleInterface* e = root->element(item.entry.control);
        const Item* old = find(*last_, item.entry);
        if (!old) {
            QAccessibleEvent created(e, QAccessible::ObjectCreated);
            post(&created);
            QAccessibleEvent show(e, QAccessible::ObjectShow);
            post(&show);
            continue;
        }
        if (old->name != item.name) {
            QAccessibleEvent changed(e, QAccessible::NameChanged);
            post(&changed);
        }
        if (old->description != item.description) {
            QAccessibleEvent changed(e, QAccessible::DescriptionChanged);
            post(&changed);
        }
        if (old->value != item.value) {
            if (auto* value = e->valueInterface()) {
                QAccessibleValueChangeEvent changed(e, value->currentValue());
                post(&changed);
            } else if (e->textInterface()) {
                QAccessibleTextUpdateEvent changed(e, 0, old->value, item.value);
                post(&changed);
            }
        }
        QAccessible::State diff;
        diff.checked = old->state.checked != item.state.checked;
        diff.selected = old->state.selected != item.state.selected;
        diff.disabled = old->state.disabled != item.state.disabled;
        diff.invisible = old->state.invisible != item.state.invisible;
        diff.offscreen = old->state.offscreen != item.state.offscreen;
        if (diff.checked || diff.selected || diff.disabled || diff.invisible || diff.offscreen) {
            QAccessibleStateChangeEvent changed(e, diff);
            post(&changed);
        }
    }
    if (reordered) {
        QAccessibleEvent changed(root, QAccessible::ObjectReorder);
        post(&changed);
    }
    last_ = std::move(now);
}

}  // namespace islandaccess
}  // namespace tw
