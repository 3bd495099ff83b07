#pragma once
// The main window's create command run as the user runs it: the kind's category selected, the
// dialog filled in and accepted. Unlike the create rows called on their own, the command also
// swaps the placeholder panel for the document area, so the data windows are really shown.

// Qt
#include <QMap>
#include <QString>

class TForm1;
class TFrmData;
class TMySocket;

namespace testing_support {

// Fills the named edit boxes of the kind's dialog and presses its OK button; returns the new
// instance, or nullptr when none was made.
TMySocket *CreateThroughDialog(TForm1 &form, const QString &kindText, const QMap<QString, QString> &edits);

// Selects the instance's node as the user does, which brings its data window to the front with
// its controls made; returns the window, or null if the instance went meanwhile.
TFrmData *ShowWindow(TForm1 &form, TMySocket *instance);

} // namespace testing_support
