// Driving a modal dialog in a test: acts queued before the dialog runs, carried out by its event
// loop, on its controls found by id.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>

#include "skin/ControlCommand.h"

// Calls act with the active modal dialog, which must be a Dialog; another one is closed, so that
// the test fails instead of waiting for ever.
template <class Dialog, class Act>
void WhenShown(Act act) {
    QTimer::singleShot(0, [act] {
        QWidget* modal = QApplication::activeModalWidget();
        auto* dialog = dynamic_cast<Dialog*>(modal);
        if (dialog == nullptr) {
            ADD_FAILURE() << "the expected dialog is not the active modal window";
            if (modal != nullptr)
                modal->close();
            return;
        }
        act(*dialog);
    });
}

template <class Control>
Control* Item(QWidget& dialog, int id) {
    return static_cast<Control*>(GetDlgItem(&dialog, id));
}

inline void Press(QWidget& dialog, int id) {
    Item<QAbstractButton>(dialog, id)->click();
}
