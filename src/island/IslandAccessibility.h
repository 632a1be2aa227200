#pragma once

// The island for assistive technologies. The island draws its controls itself, so it builds the
// tree screen readers walk on its own: the IslandView's interface has one element per control
// the island shows now, in control order (the completion card is a single element that reads
// all its lines), and a text field that is open for editing stands in the place of the control
// it edits. An element is named by its view and control only and reads the layout and the state
// live, so an element whose control went away reports itself invalid instead of dangling.

#include <QAccessibleWidget>
#include <QList>
#include <QPointer>
#include <QString>
#include <array>
#include <optional>

#include "island/IslandView.h"

namespace tw::islandaccess {

// The element of the completion card, which takes the place of the card's own controls except
// its text field, the quote permission and "Send".
inline constexpr IslandControl card = IslandControl::count;

// Registers the factory that gives every IslandView its tree (once per process; the view calls
// it when it is made).
void installFactory();

// Whether anyone listens for the island's changes: an assistive technology
// (QAccessible::isActive()) or an event sink.
bool listening();
// Where the island's change events go instead of QAccessible::updateAccessibility (which drops
// them while no bridge runs): for recording them in tests; null restores the default.
using EventSink = void (*)(QAccessibleEvent* event);
void setEventSink(EventSink sink);

// One child of the island's tree: a drawn control (or the card), or a real child widget.
struct Entry {
    IslandControl control = IslandControl::count;
    QWidget* widget = nullptr;  // set for a child widget
    friend bool operator==(const Entry&, const Entry&) = default;
};
// The island's children as they are now, in order.
QList<Entry> entries(const IslandView& view);

// The interface of an IslandView: the island as a whole, whose press action opens or closes it
// (what a tap outside the controls does), with the elements as its children.
class IslandAccessible : public QAccessibleWidget {
public:
    explicit IslandAccessible(IslandView* view);
    ~IslandAccessible() override;

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;
    QStringList actionNames() const override;
    void doAction(const QString& action) override;
    QString localizedActionDescription(const QString& action) const override;

    // The element of `control` (`card` for the card), made on first use; it stays the same
    // object for the view's life and reports itself invalid while its control is not shown.
    QAccessibleInterface* element(IslandControl control) const;

private:
    IslandView* view() const;
    QAccessibleInterface* entryInterface(const Entry& entry) const;

    mutable std::array<QAccessible::Id, static_cast<size_t>(IslandControl::count) + 1> ids_{};
};

// One drawn control of the island (or the card).
class IslandElementAccessible : public QAccessibleInterface,
                                public QAccessibleActionInterface,
                                public QAccessibleValueInterface,
                                public QAccessibleTextInterface {
public:
    IslandElementAccessible(IslandView* view, IslandControl control);

    IslandControl control() const { return control_; }

    bool isValid() const override;
    QObject* object() const override { return nullptr; }
    QWindow* window() const override;
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override;
    QAccessible::Role role() const override;
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    // Actions: "Press" does what a click does; the chips also step up and down.
    QStringList actionNames() const override;
    void doAction(const QString& action) override;
    QStringList keyBindingsForAction(const QString&) const override { return {}; }
    QString localizedActionDescription(const QString& action) const override;

    // The value of the progress (percent) and of the duration chips (minutes).
    QVariant currentValue() const override;
    void setCurrentValue(const QVariant& value) override;
    QVariant maximumValue() const override;
    QVariant minimumValue() const override;
    QVariant minimumStepSize() const override;

    // The shown text of the elements that have a text value (read only).
    void selection(int, int* startOffset, int* endOffset) const override;
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int* startOffset, int* endOffset) const override;

private:
    bool hasNumericValue() const;
    bool hasTextValue() const;

    QPointer<IslandView> view_;
    IslandControl control_;
};

// Keeps assistive technologies informed: compares what the island exposes now with what it
// exposed at the last call and posts the events for the differences (children shown, hidden or
// reordered; names, descriptions, values and states changed). Does nothing while no assistive
// technology listens.
class Notifier {
public:
    void update(IslandView& view);

private:
    struct Item {
        Entry entry;
        QString name;
        QString description;
        QString value;
        QAccessible::State state;
    };
    std::optional<QList<Item>> last_;
};

}  // namespace tw::islandaccess
