#include "dravik_app.h"

#include "dravik_dlg.h"

bool CDravikApp::InitInstance()
{
    CDravikDlg dlg;
    dlg.exec();
    return false;
}
