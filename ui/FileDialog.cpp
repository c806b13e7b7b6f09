#include "ui/FileDialog.h"

#include <QFileDialog>

namespace svglogger {

std::optional<QString> chooseOutputFile(QWidget *parent, const QString &start)
{
    const QString allFiles = QString::fromUtf8("すべてのファイル (*.*)");
    const QString csvFiles = QString::fromUtf8("ＣＳＶファイル (*.csv)");
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile); // only the folder part is used
    dialog.setNameFilters({allFiles, csvFiles});
    dialog.selectNameFilter(csvFiles);
    dialog.selectFile(start);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

} // namespace svglogger
