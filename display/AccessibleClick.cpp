#include "AccessibleClick.h"

#include <QAccessibleWidget>
#include <QHash>
#include <QWidget>

namespace {

struct ClickEntry
{
    QAccessible::Role role;
    std::function<void()> press;
    std::function<bool()> checked;
};

QHash<const QObject*, ClickEntry>& Entries()
{
    static QHash<const QObject*, ClickEntry> entries;
    return entries;
}

class AccessibleClick final : public QAccessibleWidget
{
public:
    AccessibleClick(QWidget* widget, const ClickEntry& entry)
        : QAccessibleWidget(widget, entry.role), FEntry(entry)
    {
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        if (FEntry.checked) {
            s.checkable = true;
            s.checked = FEntry.checked();
        }
        return s;
    }

    QStringList actionNames() const override
    {
        return QStringList{FEntry.checked ? toggleAction() : pressAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& name) override
    {
        if ((name == pressAction() || name == toggleAction()) && widget()->isEnabled()) {
            FEntry.press();
            return;
        }
        QAccessibleWidget::doAction(name);
    }

private:
    ClickEntry FEntry;
};

QAccessibleInterface* Factory(const QString&, QObject* object)
{
    const auto found = Entries().constFind(object);
    if (found == Entries().constEnd()) {
        return nullptr;
    }
    return new AccessibleClick(static_cast<QWidget*>(object), *found);
}

} // namespace

void MakeAccessibleClick(QWidget* widget, QAccessible::Role role, std::function<void()> press,
                         std::function<bool()> checked)
{
    static const bool installed = [] {
        QAccessible::installFactory(&Factory);
        return true;
    }();
    Q_UNUSED(installed);
    Entries().insert(widget, ClickEntry{role, std::move(press), std::move(checked)});
    QObject::connect(widget, &QObject::destroyed, [widget] { Entries().remove(widget); });
}

void AnnounceChecked(QWidget* widget)
{
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent event(widget, changed);
    QAccessible::updateAccessibility(&event);
}
