#pragma once

#include <QString>

#include <functional>

class QWidget;

// Every message box of the program goes through here, so that tests can answer it and read it.
using MessageBoxHook = std::function<void(const QString& caption, const QString& text)>;
void SetMessageBoxHook(MessageBoxHook hook);

// The error box: caption "Tiktakon", stop icon, OK, the text with a full stop added.
void ShowErrorBox(QWidget* parent, const QString& text);
QString WithFullStop(const QString& text);
