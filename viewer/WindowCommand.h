#pragma once

#include <array>
#include <cstddef>

namespace svglogger {

// The commands of svg-logger-view's window, in the order of their menus. Each is one QAction:
// its menu entry, its shortcut and, where the band has one, its button.
enum class WindowCommand {
    OpenFiles, OpenFolder, Recent, SavePicture, ExportCsv, Cancel, // ファイル
    ShowAll, Follow,                                               // 表示
    ReplayTrigger, NextEvent, PreviousEvent, ExportEvents,         // イベント
    WriteReport,                                                   // レポート
};
inline constexpr std::size_t kWindowCommands = 13;

enum class WindowMenu { File, View, Events, Report };
inline constexpr std::array<const char *, 4> kWindowMenuTitles{"ファイル(&F)", "表示(&V)", "イベント(&E)", "レポート(&R)"};

// When a command can run; the window disables it otherwise (its function, called anyway, says
// why in the status text).
enum class WindowCommandNeeds {
    Nothing,
    NoJob,          // nothing loading, no report being written
    Records,        // a set shown
    RecordsNoJob,
    Job,            // something to stop
};

struct WindowCommandText {
    WindowCommand command;
    WindowMenu menu;
    bool separated;        // a line above it in its menu
    const char *text;      // the caption (UTF-8), on its button and in its menu
    const char *name;      // the object name of the action and of its button
    const char *shortcut;  // QKeySequence's portable text; empty: none
    const char *toolTip;   // empty: the caption says it
    bool checkable;
    WindowCommandNeeds needs;
};

inline constexpr std::array<WindowCommandText, kWindowCommands> kWindowCommandTexts{{
    {WindowCommand::OpenFiles, WindowMenu::File, false, "開く", "OpenFiles", "Ctrl+O", "", false, WindowCommandNeeds::NoJob},
    {WindowCommand::OpenFolder, WindowMenu::File, false, "フォルダ", "OpenFolder", "Ctrl+Shift+O", "", false, WindowCommandNeeds::NoJob},
    {WindowCommand::Recent, WindowMenu::File, false, "最近", "Recent", "", "", false, WindowCommandNeeds::NoJob},
    {WindowCommand::SavePicture, WindowMenu::File, true, "画像保存", "SavePicture", "Ctrl+S", "", false, WindowCommandNeeds::Records},
    {WindowCommand::ExportCsv, WindowMenu::File, false, "CSV出力", "ExportCsv", "Ctrl+E", "", false, WindowCommandNeeds::Records},
    {WindowCommand::Cancel, WindowMenu::File, true, "中止", "CancelLoading", "Esc", "", false, WindowCommandNeeds::Job},
    {WindowCommand::ShowAll, WindowMenu::View, false, "全体", "ShowAll", "", "", false, WindowCommandNeeds::Records},
    {WindowCommand::Follow, WindowMenu::View, false, "追従", "Follow", "",
     "記録中のファイルに追加された行を毎秒読み込み、最新の行を表示し続けます", true, WindowCommandNeeds::Nothing},
    {WindowCommand::ReplayTrigger, WindowMenu::Events, false, "トリガー再生", "TriggerReplay", "", "", false,
     WindowCommandNeeds::Records},
    {WindowCommand::NextEvent, WindowMenu::Events, true, "次のイベント", "NextEvent", "N", "", false, WindowCommandNeeds::Records},
    {WindowCommand::PreviousEvent, WindowMenu::Events, false, "前のイベント", "PreviousEvent", "P", "", false,
     WindowCommandNeeds::Records},
    {WindowCommand::ExportEvents, WindowMenu::Events, true, "イベントCSV", "ExportEvents", "",
     "イベント一覧を CSV に書き出します（N: 次、P: 前のイベントへ）", false, WindowCommandNeeds::Records},
    {WindowCommand::WriteReport, WindowMenu::Report, false, "レポート…", "WriteReport", "",
     "表示中の範囲の電力品質・SVG 効果レポート（PDF または HTML）", false, WindowCommandNeeds::RecordsNoJob},
}};

constexpr bool windowCommandsInOrder()
{
    for (std::size_t i = 0; i < kWindowCommandTexts.size(); ++i)
        if (static_cast<std::size_t>(kWindowCommandTexts[i].command) != i)
            return false;
    return true;
}
static_assert(windowCommandsInOrder(), "kWindowCommandTexts holds each command at its own index");
static_assert(static_cast<std::size_t>(WindowCommand::WriteReport) + 1 == kWindowCommands);
static_assert(static_cast<std::size_t>(WindowMenu::Report) + 1 == kWindowMenuTitles.size());

} // namespace svglogger
