#include "about_dlg.h"

#include "app_icon.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName("100");
    setWindowTitle("About Dravik");
    auto* icon = new QLabel;
    icon->setPixmap(DravikIcon().pixmap(32, 32));
    auto* text = new QLabel("Dravik Version 2.4.1");
    text->setObjectName("version");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addWidget(text, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
}
