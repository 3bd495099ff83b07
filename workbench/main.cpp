// Velmora: starts the application, makes the main window and the creation dialogs, runs the loop.

// platform
#include "FileIo.h"
#include "ProcessLimits.h"

#include "TApplication.h"
#include "Unit1.h"
#include "newclientsock.h"
#include "newgroupsock.h"
#include "newserversock.h"
#include "newudpserver.h"
#include "newudpsock.h"

int main(int argc, char **argv)
{
    RaiseOpenFileLimit();
    TApplication app(argc, argv);
    InstallMessageBoxes();
    TForm1 mainWindow;
    // The creation dialogs live as long as the main window and are reused for every creation.
    frmNewServerSock = new TfrmNewServerSock(&mainWindow);
    frmNewClientSock = new TfrmNewClientSock(&mainWindow);
    frmNewUdpSock = new TfrmNewUdpSock(&mainWindow);
    frmNewGroupSock = new TfrmNewGroupSock(&mainWindow);
    frmNewUDPServer = new TfrmNewUDPServer(&mainWindow);
    mainWindow.show();
    const int status = app.exec();
    // Closing ended every capture and save; what they still hold reaches its file before the end.
    fileio::WaitForWorkers(10000);
    return status;
}
