// Dravik: builds the memory image of pictures, fonts and macros and programs
// it into the controller over the serial line.
#include "dravik_app.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Kestrom");
    QApplication::setApplicationName("Dravik");
    CDravikApp theApp;
    theApp.InitInstance();
    return 0;
}
