#include "viewer/ViewerWindow.h"

#include "common/TextNumber.h"
#include "platform/QtText.h"
#include "recording/TriggerCapture.h"

#include "link/Quantity.h"
#include "reading/PreTriggerRows.h"
#include "reading/RecordExport.h"
#include "reading/RecordTime.h"
#include "reading/TriggerReplay.h"
#include "quality/VoltageEvents.h"
#include "recording/CsvText.h"
#include "recording/TriggerFile.h"
#include "viewer/ActionButton.h"
#include "viewer/BackgroundJob.h"
#include "viewer/EventListPanel.h"
#include "viewer/PlotPainter.h"
#include "viewer/RecordPlot.h"
#include "viewer/ReportBlocks.h"
#include "viewer/ReportHtml.h"
#include "viewer/ReportPdf.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QSettings>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <fstream>

namespace svglogger {

namespace c = recordColumn;

namespace {

constexpr int kRecentKept = 8;

// "N ファイル, M レコード": the files whose rows the set holds, each once (interval rows around
// continuous ones are parts of one file).
QString filesAndRows(const RecordSet &set)
{
    const auto files = std::count_if(set.sources().begin(), set.sources().end(),
                                     [](const RecordSet::Source &source) { return source.rowsUsed > 0; });
    return QString("%1 %2, %3 %4").arg(files).arg(QString::fromUtf8("ファイル")).arg(set.table().rows()).arg(QString::fromUtf8("レコード"));
}

// A time with its tenths: the rows of one second are spread over it.
QString timeText(double time)
{
    const double whole = std::floor(time);
    return fromStd(rowTimeText(static_cast<std::int64_t>(whole)))
        + QString(".%1").arg(static_cast<int>(std::floor((time - whole) * 10.0 + 1e-6)) % 10);
}

// Seven significant digits, or rounded to `decimals` places.
QString number(double value, int decimals = -1)
{
    if (std::isnan(value))
        return "-";
    std::string text;
    appendNumberText(text, static_cast<float>(value), decimals);
    return fromStd(text);
}

// The places a column's figures are written with: the CSV's (whole volts, one decimal for the
// powers and currents, a whole count and status word).
int decimalsOf(int slot)
{
    const int q = quantityOf(slot);
    return q < 0 ? 0 : std::max(kQuantities[static_cast<std::size_t>(q)].intervalDecimals, 0);
}

// Runs one of Qt's file dialogs and leaves the user's settings as they were: Qt's own dialog
// writes its history into QtProject.conf when it closes, a file this program never asked for.
template <typename Dialog>
auto withoutDialogSettings(Dialog dialog)
{
    const QString path = QSettings(QSettings::UserScope, "QtProject").fileName();
    QFile before(path);
    const bool existed = before.open(QIODevice::ReadOnly);
    const QByteArray bytes = existed ? before.readAll() : QByteArray();
    before.close();
    auto answer = dialog();
    QFile after(path);
    if (!existed) {
        after.remove();
    } else if (after.open(QIODevice::ReadOnly) && after.readAll() != bytes) {
        after.close();
        if (after.open(QIODevice::WriteOnly | QIODevice::Truncate))
            after.write(bytes);
    }
    return answer;
}

} // namespace

ViewerWindow::ViewerWindow(QWidget *parent)
    : QMainWindow(parent)
{
    setObjectName("ViewerWindow");
    setWindowTitle(QString::fromUtf8("ＳＶＧデータビューア"));
    setAcceptDrops(true);
    setContextMenuPolicy(Qt::NoContextMenu); // no menu to hide the band with
    resize(1280, 800);
    m_loader = new BackgroundJob(this);
    m_reportWriter = new BackgroundJob(this);
    m_followTimer = new QTimer(this);
    m_followTimer->setInterval(1000);
    useFileDialogs();
    createActions();
    createMenus();
    createBand();
    createPanels();
    updateActions();
}

void ViewerWindow::useFileDialogs()
{
    chooseFiles = [this] {
        return withoutDialogSettings([this] {
            return QFileDialog::getOpenFileNames(this, QString::fromUtf8("ログファイルを開く"), QString(),
                                                 QString::fromUtf8("ログファイル (*.csv);;すべて (*)"));
        });
    };
    chooseFolder = [this] {
        return withoutDialogSettings([this] { return QFileDialog::getExistingDirectory(this, QString::fromUtf8("フォルダを開く")); });
    };
    chooseSaveFile = [this](const QString &filter) {
        // In the folder of what is shown: a picture or an export goes beside its logs.
        QString folder;
        if (!m_shownInputs.isEmpty()) {
            const QFileInfo first(m_shownInputs.constFirst());
            folder = first.isDir() ? first.absoluteFilePath() : first.absolutePath();
        }
        return withoutDialogSettings([&] { return QFileDialog::getSaveFileName(this, QString::fromUtf8("保存"), folder, filter); });
    };
    chooseReportSettings = [this] {
        return withoutDialogSettings([this] {
            return QFileDialog::getOpenFileName(this, QString::fromUtf8("レポートの設定ファイル（取り消しで今の設定）"), QString(),
                                                QString::fromUtf8("設定 (*.ini *.conf *.txt);;すべて (*)"));
        });
    };
    chooseTriggerFile = [this] {
        return withoutDialogSettings([this] {
            return QFileDialog::getOpenFileName(this, QString::fromUtf8("トリガー設定ファイル"), QString(),
                                                QString::fromUtf8("設定 (*.ini *.conf *.txt);;すべて (*)"));
        });
    };
}

void ViewerWindow::createActions()
{
    m_recentMenu = new QMenu(this);
    for (const WindowCommandText &command : kWindowCommandTexts) {
        QAction *action = command.command == WindowCommand::Recent ? m_recentMenu->menuAction() : new QAction(this);
        action->setText(QString::fromUtf8(command.text));
        action->setObjectName(command.name);
        action->setShortcut(QKeySequence(QString::fromLatin1(command.shortcut), QKeySequence::PortableText));
        if (*command.toolTip != '\0')
            action->setToolTip(QString::fromUtf8(command.toolTip));
        action->setCheckable(command.checkable);
        m_actions[static_cast<std::size_t>(command.command)] = action;
    }
    const auto on = [this](WindowCommand command, auto run) { connect(action(command), &QAction::triggered, this, run); };
    // A save dialog with `filter`, then `write` to the file chosen.
    const auto savedAs = [this](const char *filter, auto write) {
        return [this, filter, write] {
            if (const QString path = chooseSaveFile(QString::fromUtf8(filter)); !path.isEmpty())
                write(path);
        };
    };
    on(WindowCommand::OpenFiles, [this] {
        if (const QStringList files = chooseFiles(); !files.isEmpty())
            open(files);
    });
    on(WindowCommand::OpenFolder, [this] {
        if (const QString folder = chooseFolder(); !folder.isEmpty())
            open({folder});
    });
    connect(m_recentMenu, &QMenu::aboutToShow, this, &ViewerWindow::fillRecentMenu);
    on(WindowCommand::SavePicture,
       savedAs("PNG (*.png);;JPEG (*.jpg *.jpeg);;SVG (*.svg)", [this](const QString &path) { savePicture(path); }));
    on(WindowCommand::ExportCsv, savedAs("CSV (*.csv)", [this](const QString &path) { exportCsv(path); }));
    on(WindowCommand::Cancel, [this] {
        m_loader->cancel();
        m_reportWriter->cancel();
    });
    on(WindowCommand::ShowAll, [this] { m_plot->showAll(); });
    connect(action(WindowCommand::Follow), &QAction::toggled, this, [this](bool on) {
        if (on) {
            m_followTimer->start();
            readAppended();
        } else {
            m_followTimer->stop();
        }
    });
    connect(m_followTimer, &QTimer::timeout, this, &ViewerWindow::readAppended);
    on(WindowCommand::ReplayTrigger, [this] {
        if (const QString path = chooseTriggerFile(); !path.isEmpty())
            replayTrigger(path);
    });
    on(WindowCommand::NextEvent, [this] { stepEvent(true); });
    on(WindowCommand::PreviousEvent, [this] { stepEvent(false); });
    on(WindowCommand::ExportEvents, savedAs("CSV (*.csv)", [this](const QString &path) { exportEvents(path); }));
    on(WindowCommand::WriteReport,
       savedAs("PDF (*.pdf);;HTML (*.html)", [this](const QString &path) { writeReport(path, chooseReportSettings()); }));
}

void ViewerWindow::createMenus()
{
    std::array<QMenu *, kWindowMenuTitles.size()> menus{};
    for (std::size_t m = 0; m < menus.size(); ++m)
        menus[m] = menuBar()->addMenu(QString::fromUtf8(kWindowMenuTitles[m]));
    for (const WindowCommandText &command : kWindowCommandTexts) {
        QMenu *menu = menus[static_cast<std::size_t>(command.menu)];
        if (command.separated)
            menu->addSeparator();
        menu->addAction(action(command.command));
    }
}

// The command band: files, the view, pictures and rows out; while a job runs its progress and 中止.
void ViewerWindow::createBand()
{
    QToolBar *band = addToolBar(QString());
    band->setObjectName("CommandBand");
    band->setMovable(false);
    band->setFloatable(false);
    band->layout()->setSpacing(6); // apart as the push buttons of a row are
    const auto buttons = [&](std::initializer_list<WindowCommand> commands) {
        for (WindowCommand command : commands)
            band->addWidget(new ActionButton(action(command), band));
    };
    buttons({WindowCommand::OpenFiles, WindowCommand::OpenFolder});
    auto *recent = new QToolButton(band);
    recent->setDefaultAction(action(WindowCommand::Recent));
    recent->setObjectName("Recent");
    band->addWidget(recent);
    // Framed like the buttons beside it, its menu open at a click: the tool bar would raise it,
    // the menu's action make it a split button.
    recent->setAutoRaise(false);
    recent->setPopupMode(QToolButton::InstantPopup);
    buttons({WindowCommand::ShowAll, WindowCommand::Follow, WindowCommand::ReplayTrigger});
    band->addWidget(new QLabel(QString::fromUtf8("プリトリガ:"), band));
    m_preTriggerBox = new QSpinBox(band);
    m_preTriggerBox->setObjectName("PreTriggerRows");
    m_preTriggerBox->setRange(0, TriggerCapture::kMaxPreTriggerCount);
    m_preTriggerBox->setToolTip(QString::fromUtf8("キャプチャファイルのプリトリガレコード数（網掛け）"));
    connect(m_preTriggerBox, &QSpinBox::valueChanged, this, [this] { updateShading(); });
    band->addWidget(m_preTriggerBox);
    buttons({WindowCommand::SavePicture, WindowCommand::ExportCsv, WindowCommand::ExportEvents, WindowCommand::WriteReport});
    auto *gap = new QWidget(band);
    gap->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    band->addWidget(gap);
    m_progress = new QProgressBar(band);
    m_progress->setObjectName("Progress");
    m_progress->setMaximum(1000); // the jobs' per mille
    for (BackgroundJob *job : {m_loader, m_reportWriter})
        connect(job, &BackgroundJob::progressed, m_progress, &QProgressBar::setValue);
    // In a tool bar a widget is shown and hidden through the action that holds it.
    m_progressItem = band->addWidget(m_progress);
    m_cancelItem = band->addWidget(new ActionButton(action(WindowCommand::Cancel), band));
    m_progressItem->setVisible(false);
    m_cancelItem->setVisible(false);
}

// The traces' switches, the plot with the row at the pointer and the figures between the
// cursors, the messages and the event list, the status text.
void ViewerWindow::createPanels()
{
    auto *central = new QWidget(this);
    auto *traces = new QHBoxLayout;
    for (std::size_t q = 0; q < kQuantities.size(); ++q) {
        m_traceChecks[q] = new QCheckBox(fromStd(kQuantities[q].csvHeader()), central);
        m_traceChecks[q]->setObjectName(QString("Trace_%1").arg(q));
        m_traceChecks[q]->setChecked(true);
        QPalette colours = m_traceChecks[q]->palette();
        colours.setColor(QPalette::WindowText, PlotPainter::colourOf(static_cast<int>(q)));
        m_traceChecks[q]->setPalette(colours);
        traces->addWidget(m_traceChecks[q]);
        connect(m_traceChecks[q], &QCheckBox::toggled, this, [this, q](bool on) {
            m_plot->options().hidden[q] = !on;
            m_plot->update();
        });
    }
    m_statusCheck = new QCheckBox(fromStd(kStatusWordHeader), central);
    m_statusCheck->setObjectName("Trace_Status");
    m_statusCheck->setChecked(true);
    connect(m_statusCheck, &QCheckBox::toggled, this, [this](bool on) {
        m_plot->options().statusHidden = !on;
        m_plot->update();
    });
    traces->addWidget(m_statusCheck);
    traces->addStretch();

    m_plot = new RecordPlot(central);
    connect(m_plot, &RecordPlot::pointerMoved, this, &ViewerWindow::showPointer);
    connect(m_plot, &RecordPlot::cursorsChanged, this, &ViewerWindow::showCursors);
    m_readout = new QLabel(central);
    m_readout->setObjectName("Readout");
    m_readout->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_cursorFigures = new QLabel(central);
    m_cursorFigures->setObjectName("CursorFigures");
    m_cursorFigures->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_cursorFigures->setWordWrap(true);
    m_messages = new QListWidget(central);
    m_messages->setObjectName("Messages");
    m_statusText = new QLabel(central);
    m_statusText->setObjectName("StatusText");

    auto *splitter = new QSplitter(Qt::Vertical, central);
    auto *top = new QWidget(splitter);
    auto *topLayout = new QVBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->addWidget(m_plot, 1);
    topLayout->addWidget(m_readout);
    topLayout->addWidget(m_cursorFigures);
    m_eventList = new EventListPanel(central);
    m_eventList->setEvents({}, m_reportSettings.nominal, m_reportSettingsSource);
    connect(m_eventList, &EventListPanel::activated, this, [this](std::size_t index) { goToEvent(index); });
    auto *lists = new QTabWidget(splitter);
    lists->addTab(m_messages, QString::fromUtf8("メッセージ"));
    lists->addTab(m_eventList, QString::fromUtf8("イベント"));
    splitter->addWidget(top);
    splitter->addWidget(lists);
    splitter->setStretchFactor(0, 5);
    splitter->setStretchFactor(1, 1);

    auto *layout = new QVBoxLayout(central);
    layout->addLayout(traces);
    layout->addWidget(splitter, 1);
    layout->addWidget(m_statusText);
    setCentralWidget(central);
}

QAction *ViewerWindow::action(WindowCommand command) const
{
    return m_actions[static_cast<std::size_t>(command)];
}

void ViewerWindow::updateActions()
{
    const bool shown = m_set != nullptr, job = busy();
    for (const WindowCommandText &command : kWindowCommandTexts) {
        bool can = true;
        switch (command.needs) {
        case WindowCommandNeeds::Nothing: can = true; break;
        case WindowCommandNeeds::NoJob: can = !job; break;
        case WindowCommandNeeds::Records: can = shown; break;
        case WindowCommandNeeds::RecordsNoJob: can = shown && !job; break;
        case WindowCommandNeeds::Job: can = job; break;
        }
        action(command.command)->setEnabled(can);
    }
}

ViewerWindow::~ViewerWindow()
{
    stopJobs();
}

void ViewerWindow::stopJobs()
{
    m_loader->stop();
    m_reportWriter->stop();
}

QString ViewerWindow::statusText() const
{
    return m_statusText->text();
}

void ViewerWindow::setStatus(const QString &text, StatusKind kind)
{
    QPalette palette = this->palette();
    if (kind == StatusKind::Failure)
        palette.setColor(QPalette::WindowText, QColor(255, 0, 0));
    m_statusText->setPalette(palette);
    m_statusText->setText(text);
}

void ViewerWindow::open(const QStringList &inputs)
{
    if (inputs.isEmpty())
        return;
    if (busy()) {
        setStatus(QString::fromUtf8("読み込み中です — 中止してから開いてください"));
        return;
    }
    std::vector<std::string> paths;
    for (const QString &input : inputs)
        paths.push_back(input.toStdString());
    m_loader->start([this, paths, inputs](const std::atomic<bool> &cancel, const BackgroundJob::Progress &progress) {
        // Held apart until the GUI thread takes them: dropped with the job if the window goes first.
        auto set = std::make_shared<std::unique_ptr<RecordSet>>(
            std::make_unique<RecordSet>(RecordSet::load(paths, progress, &cancel)));
        auto columns = std::make_shared<std::unique_ptr<TraceColumns>>(std::make_unique<TraceColumns>(**set));
        const bool cancelled = cancel;
        return BackgroundJob::HandOver([this, set, columns, cancelled, inputs] {
            finishLoading(std::move(*set), std::move(*columns), cancelled, inputs);
        });
    });
    // Its hand-over is queued: it comes after this.
    showJob(true);
    setStatus(QString::fromUtf8("読み込み中: ") + inputs.join(", "), StatusKind::Success);
}

bool ViewerWindow::loading() const
{
    return m_loader->running();
}

bool ViewerWindow::busy() const
{
    return m_loader->running() || m_reportWriter->running();
}

void ViewerWindow::showJob(bool running)
{
    m_progress->setValue(0);
    m_progressItem->setVisible(running);
    m_cancelItem->setVisible(running);
    updateActions();
}

bool ViewerWindow::writeReport(const QString &path, const QString &settingsFile)
{
    if (!m_set) {
        setStatus(QString::fromUtf8("先にログファイルを開いてください"));
        return false;
    }
    // The file chosen (a value the data refuse named by its line), else the window's settings
    // named by where they came from.
    ReportSettingsFile settings;
    if (settingsFile.isEmpty()) {
        settings.settings = m_reportSettings;
        settings.source = m_reportSettingsSource.toStdString();
    } else {
        settings = readReportSettings(settingsFile.toStdString());
    }
    if (!settings.error.empty()) {
        setStatus(QString::fromUtf8("レポートの設定を読めません: ") + fromStd(settings.error));
        return false;
    }
    if (busy()) {
        setStatus(QString::fromUtf8("読み込み中です — 終わってからもう一度どうぞ"));
        return false;
    }
    if (!settingsFile.isEmpty())
        setReportSettings(settings.settings, QFileInfo(settingsFile).fileName());
    // The range shown is the period asked for: time in it without rows counts against coverage.
    const std::pair<double, double> period = shownPeriod(m_set->table(), m_plot->window().from(), m_plot->window().to());
    const double from = period.first, to = period.second;
    if (m_set->table().lowerBound(from) >= m_set->table().lowerBound(to)) {
        setStatus(QString::fromUtf8("表示中の範囲に行がありません"));
        return false;
    }
    // The set stays as it is while the report runs: opening and reading on wait for it.
    const RecordSet *set = m_set.get();
    m_reportWriter->start([this, set, path, from, to, named = settings](const std::atomic<bool> &cancel,
                                                                       const BackgroundJob::Progress &progress) {
        const PowerQualityReport report = makeReport(
            *set, from, to, named.settings,
            [&progress](int done, int total) { progress(static_cast<std::uint64_t>(done), static_cast<std::uint64_t>(total) + 1); },
            &cancel);
        QString why;
        bool written = false;
        if (report.refusal) {
            why = fromStd(named.refusal(report.refusal->key, report.refusal->why));
        } else if (!report.cancelled) {
            const std::vector<ReportBlock> blocks = reportBlocks(report, ReportCsvFiles::NotWritten); // the window writes no CSV
            written = path.endsWith(".html", Qt::CaseInsensitive) ? writeReportHtml(path, blocks, report, why)
                                                                   : writeReportPdf(path, blocks, report, why);
        }
        const bool cancelled = report.cancelled;
        return BackgroundJob::HandOver([this, path, written, cancelled, why] {
            showJob(false);
            if (cancelled)
                setStatus(QString::fromUtf8("レポートを中止しました（ファイルは書いていません）"));
            else if (!written)
                setStatus(QString::fromUtf8("レポートを書けません: ") + why);
            else
                setStatus(QString::fromUtf8("レポートを書きました: ") + path, StatusKind::Success);
            emit reportWritten(written);
        });
    });
    showJob(true);
    setStatus(QString::fromUtf8("レポート作成中: ") + path, StatusKind::Success);
    return true;
}

void ViewerWindow::setReportSettings(const ReportSettings &settings, const QString &source)
{
    m_reportSettings = settings;
    m_reportSettingsSource = source;
    refreshEvents();
}

void ViewerWindow::refreshEvents()
{
    m_events.clear();
    if (m_set && m_columns)
        m_events = listEvents(m_firingTimes, reportVoltageEvents(m_set->table(), m_set->samplePeriod(), m_reportSettings));
    m_eventList->setEvents(m_events, m_reportSettings.nominal, m_reportSettingsSource);
}

bool ViewerWindow::goToEvent(std::size_t index)
{
    if (index >= m_events.size())
        return false;
    ViewWindow view = m_plot->window();
    const double half = (view.to() - view.from()) / 2.0;
    view.setRange(m_events[index].time - half, m_events[index].time + half);
    m_plot->setView(view);
    m_eventList->setCurrent(index);
    setStatus(QString::fromUtf8("イベント %1/%2: ").arg(index + 1).arg(m_events.size()) + m_eventList->itemText(index),
              StatusKind::Success);
    return true;
}

bool ViewerWindow::stepEvent(bool forward)
{
    const double middle = (m_plot->window().from() + m_plot->window().to()) / 2.0;
    const std::optional<std::size_t> index = forward ? nextEvent(m_events, middle, 1e-3) : previousEvent(m_events, middle, 1e-3);
    if (!index) {
        setStatus(m_events.empty() ? QString::fromUtf8("イベントはありません")
                                   : forward ? QString::fromUtf8("これより後のイベントはありません")
                                             : QString::fromUtf8("これより前のイベントはありません"),
                  StatusKind::Success);
        return false;
    }
    return goToEvent(*index);
}

bool ViewerWindow::exportEvents(const QString &path)
{
    QFile file(path);
    const std::string text = eventListCsv(m_events, m_reportSettings.nominal);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()) || !file.flush()) {
        setStatus(QString::fromUtf8("イベント一覧を書けません: ") + path + " — " + file.errorString());
        file.close();
        file.remove();
        return false;
    }
    setStatus(QString::fromUtf8("イベント一覧 %1 件を書き出しました（Uc = %2 V）: ").arg(m_events.size())
                  .arg(fromStd(significantText(m_reportSettings.nominal))) + path,
              StatusKind::Success);
    return true;
}

void ViewerWindow::setFollowing(bool on)
{
    action(WindowCommand::Follow)->setChecked(on);
}

bool ViewerWindow::following() const
{
    return action(WindowCommand::Follow)->isChecked();
}

void ViewerWindow::readAppended()
{
    if (!m_set || busy())
        return; // a report reads the set, a load replaces it
    std::vector<std::string> inputs;
    for (const QString &input : m_shownInputs)
        inputs.push_back(input.toStdString());
    const double lastBefore = m_set->table().times().back();
    const std::size_t problemsBefore = m_set->problems().size();
    const RecordSet::Growth growth = m_set->grow(inputs);
    if (growth == RecordSet::Growth::Reload) {
        open(m_shownInputs);
        return;
    }
    for (std::size_t i = problemsBefore; i < m_set->problems().size(); ++i)
        m_messages->addItem(fromStd(m_set->problems()[i]));
    if (growth == RecordSet::Growth::None)
        return;
    // The extremes of the new rows: the pyramids are built anew (the view and cursors kept).
    std::optional<ViewWindow> view = m_plot->window();
    m_plot->setData(nullptr);
    m_columns = std::make_unique<TraceColumns>(*m_set);
    m_plot->setData(m_columns.get());
    // The view scrolls with the newest row while it shows it; moved elsewhere, it stays.
    const double lastNow = m_set->table().times().back();
    // Showing everything, it goes on showing everything; showing the end alone, it scrolls.
    const bool atTheEnd = view->to() >= lastBefore;
    const bool fromTheStart = view->from() <= m_set->table().times().front();
    if (atTheEnd && lastNow > lastBefore)
        view->setRange(view->from() + (fromTheStart ? 0.0 : lastNow - lastBefore), view->to() + (lastNow - lastBefore));
    m_plot->setView(*view);
    updateShading();
    refreshEvents();
    setStatus(filesAndRows(*m_set) + QString(" — %1 %2").arg(QString::fromUtf8("追従中: 最新")).arg(fromStd(rowTimeText(static_cast<std::int64_t>(lastNow)))),
              StatusKind::Success);
}

void ViewerWindow::finishLoading(std::unique_ptr<RecordSet> newSet, std::unique_ptr<TraceColumns> newColumns, bool cancelled,
                                 const QStringList &inputs)
{
    showJob(false);
    m_messages->clear();
    for (const std::string &problem : newSet->problems())
        m_messages->addItem(fromStd(problem));
    if (newSet->table().rows() == 0) {
        setStatus(cancelled ? QString::fromUtf8("読み込みを中止しました")
                            : QString::fromUtf8("読めるレコードがありません: ") + inputs.join(", "));
        emit loaded();
        return;
    }
    m_plot->setData(nullptr);
    m_columns = std::move(newColumns);
    m_set = std::move(newSet);
    updateActions();
    m_plot->options().marks.clear();
    m_firingTimes.clear();
    m_plot->setData(m_columns.get());
    updateShading();
    refreshEvents();
    rememberRecent(inputs);
    m_shownInputs = inputs;
    QString status = filesAndRows(*m_set);
    if (!m_set->problems().empty())
        status += QString::fromUtf8(" — 読めなかった行・ファイル %1 件").arg(m_set->problems().size());
    if (cancelled)
        status += QString::fromUtf8(" — 中止: 読めた分だけ表示しています");
    setStatus(status, cancelled || !m_set->problems().empty() ? StatusKind::Failure : StatusKind::Success);
    showCursors();
    emit loaded();
}

void ViewerWindow::updateShading()
{
    m_plot->options().shaded.clear();
    if (m_set) {
        // In capture files only: the rows before each capture's firing row.
        const RecordTable &table = m_set->table();
        for (const RecordSet::Part &part : m_set->parts()) {
            const std::size_t before =
                preTriggerRows(part.path, table.times().data() + part.firstRow, part.rows,
                               static_cast<std::size_t>(m_preTriggerBox->value()));
            if (before > 0)
                m_plot->options().shaded.push_back(
                    {table.times()[part.firstRow], table.times()[part.firstRow + std::min(before, part.rows - 1)]});
        }
    }
    m_plot->update();
}

void ViewerWindow::showPointer(double time)
{
    if (!m_set)
        return;
    const RecordTable &table = m_set->table();
    const std::size_t row = table.atOrBefore(time);
    if (row >= table.rows()) {
        m_readout->setText(timeText(time));
        return;
    }
    QString text = timeText(table.times()[row]);
    for (int slot : m_set->columns()) {
        text += "   " + fromStd(columnName(slot)) + " " + number(table.value(slot, row));
        if (slot == recordColumn::kStatus)
            if (const std::string bits = statusBitNames(table.value(slot, row)); !bits.empty())
                text += " (" + fromStd(bits) + ")";
    }
    m_readout->setText(text);
}

void ViewerWindow::showCursors()
{
    const ViewWindow &window = m_plot->window();
    if (!m_set || (!window.cursorA && !window.cursorB)) {
        m_cursorFigures->setText(QString::fromUtf8("カーソル: クリックで A、右クリック（Shift+クリック）で B"));
        return;
    }
    QString text;
    if (window.cursorA)
        text += "A " + timeText(*window.cursorA) + "   ";
    if (window.cursorB)
        text += "B " + timeText(*window.cursorB) + "   ";
    if (const auto between = window.between(m_set->table(), m_set->columns())) {
        text += QString::fromUtf8("Δt %1 s\n").arg(number(between->seconds, 1));
        for (const ViewWindow::Between::Slot &s : between->figures) {
            const int places = decimalsOf(s.slot);
            text += fromStd(columnName(s.slot)) + QString::fromUtf8(": Δ ") + number(s.delta, places) + "  min "
                + number(s.min, places) + "  max " + number(s.max, places) + "  mean " + number(s.mean) + "   ";
        }
    }
    m_cursorFigures->setText(text);
}

void ViewerWindow::replayTrigger(const QString &path)
{
    if (!m_set) {
        setStatus(QString::fromUtf8("先にログファイルを開いてください"));
        return;
    }
    const TriggerFile trigger = TriggerFile::read(path.toStdString());
    if (!trigger.error.empty()) {
        setStatus(QString::fromUtf8("トリガー設定を読めません: ") + fromStd(trigger.error));
        return;
    }
    const RecordTable &table = m_set->table();
    std::vector<double> &marks = m_plot->options().marks;
    marks.clear();
    for (std::size_t row : svglogger::replayTrigger(table, 0, table.rows(), trigger.settings,
                                                    static_cast<std::int16_t>(trigger.enabledConditions)))
        marks.push_back(table.times()[row]);
    m_firingTimes = marks;
    refreshEvents();
    m_plot->update();
    setStatus(QString::fromUtf8("トリガー再生: %1 回").arg(marks.size()), StatusKind::Success);
}

bool ViewerWindow::savePicture(const QString &path)
{
    if (!m_columns) {
        setStatus(QString::fromUtf8("表示するデータがありません"));
        return false;
    }
    PlotOptions options = m_plot->options();
    options.pointer.reset();
    options.source = PlotPainter::sourceOf(m_shownInputs);
    if (m_plot->window().cursorA && m_plot->window().cursorB)
        options.caption = m_cursorFigures->text().toStdString(); // the figures between the cursors
    PlotPainter plot(*m_columns, m_plot->window(), options);
    const std::optional<PlotPainter::Picture> kind = PlotPainter::pictureFormatOf(path);
    if (!kind) {
        setStatus(QString::fromUtf8("画像は .png、.jpg、.svg のいずれかの名前で保存してください: ") + path);
        return false;
    }
    const bool ok = plot.writePicture(m_plot->size(), path, *kind);
    setStatus(ok ? QString::fromUtf8("保存しました: ") + path : QString::fromUtf8("保存できません: ") + path,
              ok ? StatusKind::Success : StatusKind::Failure);
    m_plot->update(); // the pyramids' columns were laid out for the picture: again for the plot
    return ok;
}

bool ViewerWindow::exportCsv(const QString &path)
{
    if (!m_set) {
        setStatus(QString::fromUtf8("出力するデータがありません"));
        return false;
    }
    // Exactly the rows the figures between the cursors use (or those of the visible range).
    const ViewWindow::Span span = m_plot->window().rowSpan();
    std::ofstream file(path.toStdString(), std::ios::binary | std::ios::trunc);
    std::size_t rows = 0;
    const std::string why = file ? exportRows(*m_set, span.from, span.before, file, &rows)
                                 : std::string("cannot be written");
    file.close();
    if (!why.empty()) {
        QFile::remove(path);
        setStatus(QString::fromUtf8("CSVを出力できません: ") + fromStd(why));
        return false;
    }
    setStatus(QString::fromUtf8("%1 レコードを出力しました: ").arg(rows) + path, StatusKind::Success);
    return true;
}

void ViewerWindow::rememberRecent(const QStringList &inputs)
{
    QSettings settings("svg-logger", "svg-logger-view");
    QStringList recent = settings.value("recent").toStringList();
    // Absolute: "最近" opens the same files from wherever the program is started next time.
    QStringList absolute;
    for (const QString &input : inputs)
        absolute << QFileInfo(input).absoluteFilePath();
    const QString entry = absolute.join('\n');
    recent.removeAll(entry);
    recent.prepend(entry);
    while (recent.size() > kRecentKept)
        recent.removeLast();
    settings.setValue("recent", recent);
}

void ViewerWindow::fillRecentMenu()
{
    m_recentMenu->clear();
    const QStringList recent = QSettings("svg-logger", "svg-logger-view").value("recent").toStringList();
    if (recent.isEmpty())
        m_recentMenu->addAction(QString::fromUtf8("（なし）"))->setEnabled(false);
    for (const QString &entry : recent) {
        const QStringList inputs = entry.split('\n');
        m_recentMenu->addAction(inputs.join(", "), this, [this, inputs] { open(inputs); });
    }
}

void ViewerWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void ViewerWindow::dropEvent(QDropEvent *event)
{
    openDropped(event->mimeData()->urls());
}

void ViewerWindow::openDropped(const QList<QUrl> &urls)
{
    QStringList inputs;
    for (const QUrl &url : urls)
        if (url.isLocalFile())
            inputs << url.toLocalFile();
    if (inputs.isEmpty())
        setStatus(QString::fromUtf8("ファイルかフォルダをドロップしてください"));
    open(inputs);
}

void ViewerWindow::closeEvent(QCloseEvent *event)
{
    stopJobs();
    QMainWindow::closeEvent(event);
}

} // namespace svglogger
