#include "MessageBox.h"

#include <QMessageBox>

namespace {
MessageBoxHook& Hook()
{
    static MessageBoxHook hook;
    return hook;
}
} // namespace

void SetMessageBoxHook(MessageBoxHook hook)
{
    Hook() = std::move(hook);
}

QString WithFullStop(const QString& text)
{
    return text.endsWith(u'.') ? text : text + u'.';
}

void ShowErrorBox(QWidget* parent, const QString& text)
{
    const QString shown = WithFullStop(text);
    if (Hook()) {
        Hook()(QStringLiteral("Tiktakon"), shown);
        return;
    }
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Tiktakon"), shown, QMessageBox::Ok, parent);
    box.exec();
}
