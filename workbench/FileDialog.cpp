#include "FileDialog.h"

// Qt
#include <QDateTime>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLocale>

QVariant TFileListTexts::data(const QModelIndex &index, int role) const
{
    auto *files = qobject_cast<QFileSystemModel *>(sourceModel());
    if (role != Qt::DisplayRole || !files || index.column() < 1 || index.column() > 3)
        return QIdentityProxyModel::data(index, role);
    const QModelIndex source = mapToSource(index);
    const QLocale locale;
    switch (index.column()) {
    case 1:
        return files->isDir(source) ? QString() : locale.formattedDataSize(files->size(source));
    case 2:
        if (files->isDir(source))
            return QStringLiteral("文件夹");
        break;
    case 3:
        return locale.toString(files->lastModified(source), QLocale::ShortFormat);
    }
    return QIdentityProxyModel::data(index, role);
}

QString ChooseFileInDialog(QWidget *parent, ui::FileChoice choice, const QString &caption)
{
    QFileDialog dialog(parent, caption);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setProxyModel(new TFileListTexts(&dialog));
    if (choice == ui::FileChoice::Open) {
        dialog.setFileMode(QFileDialog::ExistingFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, choice == ui::FileChoice::SaveUnconfirmed);
    }
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
}
