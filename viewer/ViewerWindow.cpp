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
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QSettings>
#include <QShortcut>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>
#include <fstream>

namespace svglogger {

namespace c = recordColumn;

namespace {

constexpr int kRecentKept = 8;


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

QPushButton *button(const char *caption, const char *name, QWidget *parent)
{
    auto *b = new QPushButton(QString::fromUtf8(caption), parent);
    b->setObjectName(name);
    return b;
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
    : QWidget(parent)
{
    setObjectName("ViewerWindow");
    setWindowTitle(QString::fromUtf8("ＳＶＧデータビューア"));
    setAcceptDrops(true);
    resize(1280, 800);

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

    // The command band: files, the view, pictures and rows out.
    auto *openButton = button("開く", "OpenFiles", this);
    auto *folderButton = button("フォルダ", "OpenFolder", this);
    m_recentButton = new QToolButton(this);
    m_recentButton->setObjectName("Recent");
    m_recentButton->setText(QString::fromUtf8("最近"));
    m_recentButton->setPopupMode(QToolButton::InstantPopup);
    m_recentMenu = new QMenu(m_recentButton);
    m_recentButton->setMenu(m_recentMenu);
    auto *allButton = button("全体", "ShowAll", this);
    auto *triggerButton = button("トリガー再生", "TriggerReplay", this);
    auto *pngButton = button("画像保存", "SavePicture", this);
    auto *csvButton = button("CSV出力", "ExportCsv", this);
    auto *eventsButton = button("イベントCSV", "ExportEvents", this);
    auto *reportButton = button("レポート…", "WriteReport", this);
    reportButton->setToolTip(QString::fromUtf8("表示中の範囲の電力品質・SVG 効果レポート（PDF または HTML）"));
    eventsButton->setToolTip(QString::fromUtf8("イベント一覧を CSV に書き出します（N: 次、P: 前のイベントへ）"));
    m_preTriggerBox = new QSpinBox(this);
    m_preTriggerBox->setObjectName("PreTriggerRows");
    m_preTriggerBox->setRange(0, TriggerCapture::kMaxPreTriggerCount);
    m_preTriggerBox->setToolTip(QString::fromUtf8("キャプチャファイルのプリトリガレコード数（網掛け）"));
    m_progress = new QProgressBar(this);
    m_progress->setObjectName("Progress");
    m_progress->hide();
    m_cancelButton = button("中止", "CancelLoading", this);
    m_cancelButton->hide();
    m_followButton = button("追従", "Follow", this);
    m_followButton->setCheckable(true);
    m_followButton->setToolTip(QString::fromUtf8("記録中のファイルに追加された行を毎秒読み込み、最新の行を表示し続けます"));
    m_followTimer = new QTimer(this);
    m_followTimer->setInterval(1000);
    auto *band = new QHBoxLayout;
    for (QWidget *w : std::initializer_list<QWidget *>{openButton, folderButton, m_recentButton, allButton, m_followButton,
                                                       triggerButton})
        band->addWidget(w);
    band->addWidget(new QLabel(QString::fromUtf8("プリトリガ:"), this));
    band->addWidget(m_preTriggerBox);
    band->addWidget(pngButton);
    band->addWidget(csvButton);
    band->addWidget(eventsButton);
    band->addWidget(reportButton);
    band->addStretch();
    band->addWidget(m_progress);
    band->addWidget(m_cancelButton);

    // The traces' switches, in their colours.
    auto *traces = new QHBoxLayout;
    for (std::size_t q = 0; q < kQuantities.size(); ++q) {
        m_traceChecks[q] = new QCheckBox(fromStd(kQuantities[q].csvHeader()), this);
        m_traceChecks[q]->setObjectName(QString("Trace_%1").arg(q));
        m_traceChecks[q]->setChecked(true);
        QPalette colours = m_traceChecks[q]->palette();
        colours.setColor(QPalette::WindowText, PlotPainter::colourOf(static_cast<int>(q)));
        m_traceChecks[q]->setPalette(colours);
        traces->addWidget(m_traceChecks[q]);
    }
    m_statusCheck = new QCheckBox(fromStd(kStatusWordHeader), this);
    m_statusCheck->setObjectName("Trace_Status");
    m_statusCheck->setChecked(true);
    traces->addWidget(m_statusCheck);
    traces->addStretch();

    m_plot = new RecordPlot(this);
    m_readout = new QLabel(this);
    m_readout->setObjectName("Readout");
    m_readout->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_cursorFigures = new QLabel(this);
    m_cursorFigures->setObjectName("CursorFigures");
    m_cursorFigures->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_cursorFigures->setWordWrap(true);
    m_messages = new QListWidget(this);
    m_messages->setObjectName("Messages");
    m_statusText = new QLabel(this);
    m_statusText->setObjectName("StatusText");

    auto *splitter = new QSplitter(Qt::Vertical, this);
    auto *top = new QWidget(splitter);
    auto *topLayout = new QVBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->addWidget(m_plot, 1);
    topLayout->addWidget(m_readout);
    topLayout->addWidget(m_cursorFigures);
    m_eventList = new EventListPanel(this);
    m_eventList->setEvents({}, m_reportSettings.nominal, m_reportSettingsSource);
    auto *lists = new QTabWidget(splitter);
    lists->addTab(m_messages, QString::fromUtf8("メッセージ"));
    lists->addTab(m_eventList, QString::fromUtf8("イベント"));
    splitter->addWidget(top);
    splitter->addWidget(lists);
    splitter->setStretchFactor(0, 5);
    splitter->setStretchFactor(1, 1);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(band);
    layout->addLayout(traces);
    layout->addWidget(splitter, 1);
    layout->addWidget(m_statusText);

    connect(openButton, &QPushButton::clicked, this, [this] {
        const QStringList files = chooseFiles();
        if (!files.isEmpty())
            open(files);
    });
    connect(folderButton, &QPushButton::clicked, this, [this] {
        const QString folder = chooseFolder();
        if (!folder.isEmpty())
            open({folder});
    });
    connect(allButton, &QPushButton::clicked, m_plot, &RecordPlot::showAll);
    connect(triggerButton, &QPushButton::clicked, this, [this] {
        const QString path = chooseTriggerFile();
        if (!path.isEmpty())
            replayTrigger(path);
    });
    connect(pngButton, &QPushButton::clicked, this, [this] {
        const QString path = chooseSaveFile(QString::fromUtf8("PNG (*.png);;JPEG (*.jpg *.jpeg);;SVG (*.svg)"));
        if (!path.isEmpty())
            savePicture(path);
    });
    connect(csvButton, &QPushButton::clicked, this, [this] {
        const QString path = chooseSaveFile(QString::fromUtf8("CSV (*.csv)"));
        if (!path.isEmpty())
            exportCsv(path);
    });
    connect(reportButton, &QPushButton::clicked, this, [this] {
        const QString path = chooseSaveFile(QString::fromUtf8("PDF (*.pdf);;HTML (*.html)"));
        if (!path.isEmpty())
            writeReport(path, chooseReportSettings());
    });
    connect(eventsButton, &QPushButton::clicked, this, [this] {
        const QString path = chooseSaveFile(QString::fromUtf8("CSV (*.csv)"));
        if (!path.isEmpty())
            exportEvents(path);
    });
    connect(m_eventList, &EventListPanel::activated, this, [this](std::size_t index) { goToEvent(index); });
    connect(new QShortcut(QKeySequence(Qt::Key_N), this), &QShortcut::activated, this, [this] { stepEvent(true); });
    connect(new QShortcut(QKeySequence(Qt::Key_P), this), &QShortcut::activated, this, [this] { stepEvent(false); });
    connect(m_cancelButton, &QPushButton::clicked, this, [this] { m_cancel = true; });
    connect(m_followButton, &QPushButton::toggled, this, [this](bool on) {
        if (on) {
            m_followTimer->start();
            readAppended();
        } else {
            m_followTimer->stop();
        }
    });
    connect(m_followTimer, &QTimer::timeout, this, &ViewerWindow::readAppended);
    for (std::size_t q = 0; q < m_traceChecks.size(); ++q)
        connect(m_traceChecks[q], &QCheckBox::toggled, this, [this, q](bool on) {
            m_plot->options().hidden[q] = !on;
            m_plot->update();
        });
    connect(m_statusCheck, &QCheckBox::toggled, this, [this](bool on) {
        m_plot->options().statusHidden = !on;
        m_plot->update();
    });
    connect(m_preTriggerBox, &QSpinBox::valueChanged, this, [this] { updateShading(); });
    connect(m_plot, &RecordPlot::pointerMoved, this, &ViewerWindow::showPointer);
    connect(m_plot, &RecordPlot::cursorsChanged, this, &ViewerWindow::showCursors);
    connect(m_recentMenu, &QMenu::aboutToShow, this, &ViewerWindow::fillRecentMenu);
}

ViewerWindow::~ViewerWindow()
{
    stopLoading();
}

void ViewerWindow::stopLoading()
{
    m_cancel = true;
    if (m_loader.joinable())
        m_loader.join();
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
    if (m_loader.joinable()) {
        setStatus(QString::fromUtf8("読み込み中です — 中止してから開いてください"));
        return;
    }
    m_cancel = false;
    m_loadingInputs = inputs;
    m_progress->setValue(0);
    m_progress->show();
    m_cancelButton->show();
    setStatus(QString::fromUtf8("読み込み中: ") + inputs.join(", "), StatusKind::Success);
    std::vector<std::string> paths;
    for (const QString &input : inputs)
        paths.push_back(input.toStdString());
    m_loader = std::thread([this, paths] {
        auto *set = new RecordSet(RecordSet::load(
            paths,
            [this](std::uint64_t done, std::uint64_t total) { showProgress(done, total); },
            &m_cancel));
        m_loadedColumns = std::make_unique<TraceColumns>(*set);
        m_loadedSet.reset(set);
        m_loadCancelled = m_cancel;
        QMetaObject::invokeMethod(this, [this] { finishLoading(); }, Qt::QueuedConnection);
    });
}

// From the background: the bar in per mille (a large file's bytes do not fit its int).
void ViewerWindow::showProgress(std::uint64_t done, std::uint64_t total)
{
    const int perMille = total == 0 ? 1000 : static_cast<int>(done * 1000 / total);
    QMetaObject::invokeMethod(this, [this, perMille] {
        m_progress->setMaximum(1000);
        m_progress->setValue(perMille);
    }, Qt::QueuedConnection);
}

bool ViewerWindow::writeReport(const QString &path, const QString &settingsFile)
{
    if (!m_set) {
        setStatus(QString::fromUtf8("先にログファイルを開いてください"));
        return false;
    }
    const ReportSettingsFile settings =
        settingsFile.isEmpty() ? ReportSettingsFile{m_reportSettings, {}} : readReportSettings(settingsFile.toStdString());
    if (!settings.error.empty()) {
        setStatus(QString::fromUtf8("レポートの設定を読めません: ") + fromStd(settings.error));
        return false;
    }
    if (m_loader.joinable()) {
        setStatus(QString::fromUtf8("読み込み中です — 終わってからもう一度どうぞ"));
        return false;
    }
    if (!settingsFile.isEmpty())
        setReportSettings(settings.settings, QFileInfo(settingsFile).fileName());
    // The range shown, as far as it holds rows.
    const std::vector<double> &times = m_set->table().times();
    const double from = std::max(std::floor(m_plot->window().from()), std::floor(times.front()));
    const double to = std::min(std::floor(m_plot->window().to()) + 1.0, std::floor(times.back()) + 1.0);
    if (m_set->table().lowerBound(from) >= m_set->table().lowerBound(to)) {
        setStatus(QString::fromUtf8("表示中の範囲に行がありません"));
        return false;
    }
    m_cancel = false;
    m_progress->setValue(0);
    m_progress->show();
    m_cancelButton->show();
    setStatus(QString::fromUtf8("レポート作成中: ") + path, StatusKind::Success);
    m_loader = std::thread([this, path, from, to, chosen = settings.settings] {
        const PowerQualityReport report = makeReport(
            *m_set, from, to, chosen,
            [this](int done, int total) { showProgress(static_cast<std::uint64_t>(done), static_cast<std::uint64_t>(total) + 1); },
            &m_cancel);
        QString why;
        bool written = false;
        if (!report.cancelled) {
            const std::vector<ReportBlock> blocks = reportBlocks(report);
            if (path.endsWith(".html", Qt::CaseInsensitive)) {
                const QByteArray html = reportHtml(blocks, report).toUtf8();
                QSaveFile file(path);
                written = file.open(QIODevice::WriteOnly) && file.write(html) == html.size() && file.commit();
                if (!written)
                    why = "cannot write " + path + ": " + file.errorString();
            } else {
                written = writeReportPdf(path, blocks, report, why);
            }
        }
        const bool cancelled = report.cancelled;
        QMetaObject::invokeMethod(this, [this, path, written, cancelled, why] {
            if (m_loader.joinable())
                m_loader.join();
            m_progress->hide();
            m_cancelButton->hide();
            if (cancelled)
                setStatus(QString::fromUtf8("レポートを中止しました（ファイルは書いていません）"));
            else if (!written)
                setStatus(QString::fromUtf8("レポートを書けません: ") + why);
            else
                setStatus(QString::fromUtf8("レポートを書きました: ") + path, StatusKind::Success);
            emit reportWritten(written);
        }, Qt::QueuedConnection);
    });
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
    m_followButton->setChecked(on);
}

bool ViewerWindow::following() const
{
    return m_followButton->isChecked();
}

void ViewerWindow::readAppended()
{
    if (!m_set || loading())
        return;
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
    setStatus(QString("%1 %2, %3 %4 — %5 %6").arg(m_set->parts().size()).arg(QString::fromUtf8("ファイル"))
                  .arg(m_set->table().rows()).arg(QString::fromUtf8("レコード"))
                  .arg(QString::fromUtf8("追従中: 最新")).arg(fromStd(rowTimeText(static_cast<std::int64_t>(lastNow)))),
              StatusKind::Success);
}

void ViewerWindow::finishLoading()
{
    if (m_loader.joinable())
        m_loader.join(); // it has handed its results over: they are the window's now
    std::unique_ptr<RecordSet> newSet = std::move(m_loadedSet);
    std::unique_ptr<TraceColumns> newColumns = std::move(m_loadedColumns);
    const bool cancelled = m_loadCancelled;
    if (!newSet)
        return;
    m_progress->hide();
    m_cancelButton->hide();
    m_messages->clear();
    for (const std::string &problem : newSet->problems())
        m_messages->addItem(fromStd(problem));
    if (newSet->table().rows() == 0) {
        setStatus(cancelled ? QString::fromUtf8("読み込みを中止しました")
                            : QString::fromUtf8("読めるレコードがありません: ") + m_loadingInputs.join(", "));
        emit loaded();
        return;
    }
    m_plot->setData(nullptr);
    m_columns = std::move(newColumns);
    m_set = std::move(newSet);
    m_plot->options().marks.clear();
    m_firingTimes.clear();
    m_plot->setData(m_columns.get());
    updateShading();
    refreshEvents();
    rememberRecent(m_loadingInputs);
    m_shownInputs = m_loadingInputs;
    QString status = QString("%1 %2, %3 %4").arg(m_set->parts().size()).arg(QString::fromUtf8("ファイル"))
                         .arg(m_set->table().rows()).arg(QString::fromUtf8("レコード"));
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
    stopLoading();
    QWidget::closeEvent(event);
}

} // namespace svglogger
