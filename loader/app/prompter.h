// The modal questions of Dravik's window (message boxes and file dialogs),
// behind one interface so that tests can answer them.
#pragma once

#include "core/ui.h"

#include <QString>
#include <QStringList>

class QWidget;

class Prompter {
public:
    virtual ~Prompter();
    virtual UserInterface::Answer messageBox(QWidget* parent, const QString& text, const QString& title,
                                             UserInterface::Icon icon, UserInterface::Buttons buttons) = 0;
    // One file, or "" when cancelled.
    virtual QString askFile(QWidget* parent, const UserInterface::FileRequest& request) = 0;
    // Several files to open at once, or none when cancelled.
    virtual QStringList askFiles(QWidget* parent, const UserInterface::FileRequest& request) = 0;
};

// Qt's message boxes and file dialogs.
class WidgetPrompter : public Prompter {
public:
    UserInterface::Answer messageBox(QWidget* parent, const QString& text, const QString& title,
                                     UserInterface::Icon icon, UserInterface::Buttons buttons) override;
    QString askFile(QWidget* parent, const UserInterface::FileRequest& request) override;
    QStringList askFiles(QWidget* parent, const UserInterface::FileRequest& request) override;

    // "Binary File (*.BIN)|*.BIN||" as Qt's file dialogs take it:
    // "Binary File (*.BIN)", one filter a line.
    static QString QtFilter(const QString& filter);
};
