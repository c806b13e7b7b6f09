#include "ui/FileDialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QLibraryInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QTranslator>
#include <QTreeView>

namespace svglogger {

namespace {

// Qt's own Japanese texts for its dialogs (Debian's qt6-translations-l10n), where they are
// installed; without them the dialog keeps Qt's English.
void installQtTranslations()
{
    static bool done = false;
    if (done || !qApp)
        return;
    done = true;
    auto *translator = new QTranslator(qApp);
    if (translator->load(QLocale(QLocale::Japanese, QLocale::Japan), "qtbase", "_",
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

// The program keeps no settings: Qt's dialog would write its history and sizes into the
// user's QtProject.conf. They go to a folder of the program's own, removed when it ends.
void keepDialogSettingsAway()
{
    static QTemporaryDir folder;
    static bool done = false;
    if (done || !folder.isValid())
        return;
    done = true;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder.path());
}

} // namespace

std::optional<QString> chooseOutputFile(QWidget *parent, const QString &start)
{
    installQtTranslations();
    keepDialogSettingsAway();
    const QString allFiles = QString::fromUtf8("すべてのファイル (*.*)");
    const QString csvFiles = QString::fromUtf8("ＣＳＶファイル (*.csv)");
    QFileDialog dialog(parent);
    dialog.setObjectName("FileDialog");
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile); // only the folder part is used
    dialog.setNameFilters({allFiles, csvFiles});
    dialog.selectNameFilter(csvFiles);
    dialog.selectFile(start);
    dialog.resize(760, 460);
    // Columns wide enough to read: the name takes what is left.
    if (auto *details = dialog.findChild<QTreeView *>("treeView")) {
        QHeaderView *header = details->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(QHeaderView::ResizeToContents);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

} // namespace svglogger
