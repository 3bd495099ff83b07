#pragma once
// The program's file dialog: the toolkit's own (not the desktop's), speaking simplified Chinese,
// its file list included: sizes, type names and dates as the Chinese locale writes them.

// Qt
#include <QIdentityProxyModel>
#include <QString>

// platform
#include "MessageSeam.h"

class QWidget;

// The columns of the dialog's file list the file system model writes in the system's locale
// (size, the folder's type name, date), written in the default locale instead.
class TFileListTexts : public QIdentityProxyModel {
    Q_OBJECT
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
};

// A file to read or to write, chosen by the user; empty when the dialog was cancelled.
QString ChooseFileInDialog(QWidget *parent, ui::FileChoice choice, const QString &caption);
