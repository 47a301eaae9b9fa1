#pragma once

// The main window's texts, for both windows (Qt and Windows); shown translated (Tr).

#include <string>

#include "platform/translate.h"

namespace nandell {
struct RunEndEvent;
struct UndoEndEvent;
}  // namespace nandell

namespace nandell::main_window_texts {

/// The system menu entry that opens the About box (also string 101 of the Windows resources).
inline constexpr const char* kAboutMenu = TrNoop("关于 Nandell(&A)...");
/// The right-click menu's minimize and close entries.
inline constexpr const char* kMinimizeMenu = TrNoop("最小化(&N)");
inline constexpr const char* kCloseMenu = TrNoop("关闭(&C)");
/// The question before a close stops a run in progress (caption "提示", 是/否).
inline constexpr const char* kCloseDuringRun = TrNoop("整理正在进行, 确定要停止并退出吗?");
/// The right-click entry that undoes the last run.
inline constexpr const char* kUndoMenu = TrNoop("撤销上次整理(&U)");
/// The question before an undo (caption "提示", 是/否); "%1" is the number of files.
inline constexpr const char* kUndoQuestion = TrNoop("确定要撤销上次整理吗? (共 %1 个文件)");
/// The right-click entries that preview a run (a dry run shown before anything changes) and
/// list the output folder's runs.
inline constexpr const char* kPreviewMenu = TrNoop("预览整理(&P)...");
inline constexpr const char* kHistoryMenu = TrNoop("整理历史(&H)...");
/// The question before the undo of a run chosen in the history; "%1" is the number of files.
inline constexpr const char* kUndoRunQuestion = TrNoop("确定要撤销这次整理吗? (共 %1 个文件)");
/// The line under the summary that names the failure list: this text, then its path.
inline constexpr const char* kFailureList = TrNoop("失败列表: ");
/// The same line when the failure list could not be written: this text, its path and reason.
inline constexpr const char* kReportProblem = TrNoop("无法写入失败列表: ");
/// The same line when the run's journal could not be written (it cannot be undone).
inline constexpr const char* kJournalProblem = TrNoop("无法写入整理记录: ");
/// The folder picker's caption, and its titles for the photo and the output folder.
inline constexpr const char* kBrowseCaption = TrNoop("浏览目录");
inline constexpr const char* kPhotoFolderTitle = TrNoop("导入目录");
inline constexpr const char* kOutputFolderTitle = TrNoop("保存目录");
/// The delete-source check box.
inline constexpr const char* kDeleteSource = TrNoop("删除源文件");
/// The template captions of the folder, organize and stop buttons (never drawn; the artwork
/// carries the label).
inline constexpr const char* kPhotoFolderButton = TrNoop("照片目录");
inline constexpr const char* kOutputFolderButton = TrNoop("输出目录");
inline constexpr const char* kOrganizeButton = TrNoop("整理");
inline constexpr const char* kStopButton = TrNoop("停止");

/// The line under a run's summary that says why its failure list (or, when it has none, its
/// journal) could not be written, translated; empty when both were written.
std::string RunEndProblemLine(const RunEndEvent& event);
/// The line under a run's summary that names its failure list; empty when it wrote none.
std::string FailureListLine(const RunEndEvent& event);
/// What an undo came to: `refusal` when it was refused, else its summary; then, when it was
/// stopped, a line that says so.
std::string UndoOutcomeText(const UndoEndEvent& end, const std::string& refusal);

}  // namespace nandell::main_window_texts
