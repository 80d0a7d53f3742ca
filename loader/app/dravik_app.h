// The application object: shows the main window modally and ends with it.
#pragma once

class CDravikApp {
public:
    // Runs the main window; false: the program then ends.
    bool InitInstance();
};
