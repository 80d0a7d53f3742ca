#include "prompter.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>

Prompter::~Prompter() = default;

UserInterface::Answer WidgetPrompter::messageBox(QWidget* parent, const QString& text, const QString& title,
                                                 UserInterface::Icon icon, UserInterface::Buttons buttons)
{
    QMessageBox box(parent);
    box.setWindowTitle(title);
    box.setText(text);
    box.setIcon(icon == UserInterface::Icon::Error         ? QMessageBox::Critical
                : icon == UserInterface::Icon::Exclamation ? QMessageBox::Warning
                                                           : QMessageBox::NoIcon);
    if (buttons == UserInterface::Buttons::OkCancel) {
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Cancel);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    return box.exec() == QMessageBox::Ok ? UserInterface::Answer::Ok : UserInterface::Answer::Cancel;
}

QString WidgetPrompter::QtFilter(const QString& filter)
{
    const QStringList parts = filter.split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty())
            break;
        QString description = parts[i];
        description.remove(QRegularExpression("\\s*\\([^)]*\\)\\s*$"));
        QStringList patterns = parts[i + 1].split(QRegularExpression("[;,]"), Qt::SkipEmptyParts);
        filters.append(QString("%1 (%2)").arg(description, patterns.join(' ')));
    }
    return filters.join(";;");
}

namespace {

void Prepare(QFileDialog& dialog, const UserInterface::FileRequest& request)
{
    dialog.setDirectory(request.folder);
    dialog.setNameFilter(WidgetPrompter::QtFilter(request.filter));
    if (!request.defaultSuffix.isEmpty())
        dialog.setDefaultSuffix(request.defaultSuffix);
}

}  // namespace

QString WidgetPrompter::askFile(QWidget* parent, const UserInterface::FileRequest& request)
{
    QFileDialog dialog(parent);
    Prepare(dialog, request);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

QStringList WidgetPrompter::askFiles(QWidget* parent, const UserInterface::FileRequest& request)
{
    QFileDialog dialog(parent);
    Prepare(dialog, request);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    if (dialog.exec() != QDialog::Accepted)
        return QStringList();
    return dialog.selectedFiles();
}
