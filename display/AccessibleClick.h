#pragma once

#include <QAccessible>

#include <functional>

class QWidget;

// How assistive technology sees a drawn control that acts on a click: as a button or, when it
// has a `checked` state, as a check box, with an action that does what the click does.
// The description is the widget's own; the entry ends with the widget.
void MakeAccessibleClick(QWidget* widget, QAccessible::Role role, std::function<void()> press,
                         std::function<bool()> checked = {});

// Tells assistive technology that the checked state of `widget` changed.
void AnnounceChecked(QWidget* widget);
