// Velmora: starts the application, makes the main window and the creation dialogs, runs the loop.

#include "TApplication.h"
#include "Unit1.h"

int main(int argc, char **argv)
{
    TApplication app(argc, argv);
    InstallMessageBoxes();
    TForm1 mainWindow;
    mainWindow.show();
    return app.exec();
}
