// How Dravik's work without a window reaches its user: a status line, modal
// message boxes, the event pump of long operations and the file dialogs.
// The window implements it with Qt Widgets; tests record what it is given.
#pragma once

#include <QString>

class UserInterface {
public:
    enum class Icon { None, Error, Exclamation };
    // OkCancel has Cancel as its default button.
    enum class Buttons { Ok, OkCancel };
    enum class Answer { Ok, Cancel };

    struct FileRequest {
        bool save = false;      // save dialog (asks before overwriting) or open dialog
        QString filter;         // as "Binary File (*.BIN)|*.BIN||": description|patterns pairs
        QString folder;         // folder the dialog starts in
        QString defaultSuffix;  // added to a typed name without one, e.g. "BIN"
    };

    virtual ~UserInterface();

    // Replaces the status line's text.
    virtual void setStatus(const QString& text) = 0;
    // Shows a modal box and returns the button pressed.
    virtual Answer messageBox(const QString& text, const QString& title, Icon icon,
                              Buttons buttons = Buttons::Ok) = 0;
    // Lets pending window events run; false when the user asked to quit.
    virtual bool processEvents() = 0;
    // The chosen file's path, or an empty string when the dialog was cancelled.
    virtual QString askFile(const FileRequest& request) = 0;
};
