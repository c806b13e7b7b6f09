#pragma once

#include "quality/EventList.h"
#include "quality/ReportSettings.h"
#include "reading/RecordSet.h"
#include "reading/TraceColumns.h"

#include "viewer/WindowCommand.h"

#include <QMainWindow>

#include <array>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QLabel;
class QListWidget;
class QMenu;
class QUrl;
class QProgressBar;
class QSpinBox;
class QTimer;

namespace svglogger {

class BackgroundJob;
class EventListPanel;
class RecordPlot;

// svg-logger-view's window: the recorded files as one timeline. Files and folders come from
// the command line, the open commands, drag and drop and the recent list; they load in the
// background with progress and 中止 while the window stays usable. Traces can be hidden, a
// trigger settings file marks where a run would have fired, the view goes out as PNG or SVG
// and its rows (or those between the cursors) as the logger's CSV. Each command is one
// QAction: its menu entry, its shortcut and its button in the band.
class ViewerWindow final : public QMainWindow
{
    Q_OBJECT

public:
    explicit ViewerWindow(QWidget *parent = nullptr);
    ~ViewerWindow() override;

    // Loads in the background; what was shown stays until the new set is read.
    void open(const QStringList &inputs);
    bool loading() const; // files being read (a report being written is no loading)
    // What was dropped on the window: its local files and folders.
    void openDropped(const QList<QUrl> &urls);
    // The dialogs' answers; tests set their own.
    std::function<QStringList()> chooseFiles;
    std::function<QString()> chooseFolder;
    std::function<QString(const QString &filter)> chooseSaveFile;
    std::function<QString()> chooseTriggerFile;

    RecordPlot *plot() const { return m_plot; }
    const RecordSet *records() const { return m_set.get(); }
    QString statusText() const;
    // Marks where a run with the trigger settings of `path` would have fired.
    void replayTrigger(const QString &path);
    // The view as a picture: PNG or (by its ending) SVG; false with the status text.
    bool savePicture(const QString &path);
    // Rows between the cursors (when both are set) or of the visible range, as the logger's CSV.
    bool exportCsv(const QString &path);
    // The event list: voltage dips, swells and interruptions, and the trigger replay's
    // firings, in time order. N and P (or the list) bring the next and previous one to the
    // middle of the view, its zoom kept.
    const std::vector<ListedEvent> &events() const { return m_events; }
    bool goToEvent(std::size_t index);
    bool stepEvent(bool forward);
    // The list as CSV (UTF-8); false with the status text.
    bool exportEvents(const QString &path);
    // "レポート…": the power-quality report of the range shown, as PDF (or HTML by the name's
    // ending), made in the background with progress and 中止; reportWritten() when it ends.
    // A `settingsFile` read becomes the window's report settings; none: those held.
    bool writeReport(const QString &path, const QString &settingsFile = {});
    std::function<QString()> chooseReportSettings; // the dialog's answer; empty: those held
    // The report's settings, which the event list judges by too; `source` says where they came
    // from (a file's name, the command line), shown above the list.
    void setReportSettings(const ReportSettings &settings, const QString &source);
    const ReportSettings &reportSettings() const { return m_reportSettings; }
    // "追従": what a running logger appends to the shown files and folders is read every
    // second; the view grows with the newest row while it shows everything, scrolls with it
    // while it shows the end, and stays where it was moved to.
    void setFollowing(bool on);
    bool following() const;
    // One look for what was appended (the timer's work; tests call it).
    void readAppended();

    // Enabled while it can run (the functions above, called anyway, say why they cannot).
    QAction *action(WindowCommand command) const;

signals:
    void loaded();
    void reportWritten(bool written);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void useFileDialogs();
    void createActions();
    void createMenus();
    void createBand();
    void createPanels();
    void updateActions();
    void finishLoading(std::unique_ptr<RecordSet> newSet, std::unique_ptr<TraceColumns> newColumns, bool cancelled,
                       const QStringList &inputs);
    // One job at a time: a report reads the set that a load would replace.
    bool busy() const;
    void showJob(bool running); // the progress bar and 中止
    void stopJobs();
    void showPointer(double time);
    void showCursors();
    void updateShading();
    void rememberRecent(const QStringList &inputs);
    void refreshEvents();
    void fillRecentMenu();
    // A failure shows in red, what went as asked (loaded, saved, exported) in the text's colour.
    enum class StatusKind { Failure, Success };
    void setStatus(const QString &text, StatusKind kind = StatusKind::Failure);

    RecordPlot *m_plot = nullptr;
    std::array<QCheckBox *, 8> m_traceChecks{};  // one per quantity, in its colour
    QCheckBox *m_statusCheck = nullptr;           // the status word's bits
    QLabel *m_readout = nullptr;                  // the row at the pointer
    QLabel *m_cursorFigures = nullptr;            // Δt and the figures between A and B
    QListWidget *m_messages = nullptr;            // rows left out, files without rows
    EventListPanel *m_eventList = nullptr;        // "イベント"
    std::array<QAction *, kWindowCommands> m_actions{};
    QProgressBar *m_progress = nullptr;
    QAction *m_progressItem = nullptr;            // the band's bar, shown while a job runs
    QAction *m_cancelItem = nullptr;              // the band's "中止"
    QTimer *m_followTimer = nullptr;              // "追従"
    QMenu *m_recentMenu = nullptr;                // "最近"
    QStringList m_shownInputs;                    // what the plot shows: a picture's title names it
    QSpinBox *m_preTriggerBox = nullptr;          // a capture file's pre-trigger rows, shaded
    QLabel *m_statusText = nullptr;

    std::vector<double> m_firingTimes; // the last trigger replay's
    std::vector<ListedEvent> m_events;
    ReportSettings m_reportSettings;
    QString m_reportSettingsSource = QString::fromUtf8("既定値");
    std::unique_ptr<RecordSet> m_set;
    std::unique_ptr<TraceColumns> m_columns;
    BackgroundJob *m_loader = nullptr;       // the files being read
    BackgroundJob *m_reportWriter = nullptr; // "レポート…"
};

} // namespace svglogger
