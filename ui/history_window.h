#pragma once

#include <QString>
#include <string>
#include <vector>

#include "engine/run_session.h"
#include "platform/translate.h"
#include "ui/panel_window.h"

class QLabel;
class QTreeWidget;

namespace nandell {

/// The window titled "整理历史": the runs into an output folder, one a row, as
/// `nandell-cli history` lists them (when, copy or move, how many files, undone or not; the
/// journal in the row's tooltip), the newest chosen. "撤销" (shown while the run chosen can still
/// be undone and the session is idle) asks its opener to undo it (UndoRequested); the outcome is
/// shown under the list as the main window shows an undo's, and the list read again.
class HistoryWindow : public PanelWindow {
  Q_OBJECT

 public:
  /// The title and the texts of the list, shown translated.
  static constexpr const char* kTitle = TrNoop("整理历史");
  static constexpr const char* kUndoText = TrNoop("撤销");

  /// The window over the runs into `output_folder`; `session` (which must outlive it) tells
  /// whether an undo may start now.
  HistoryWindow(const RunSession& session, std::string output_folder, QWidget* parent = nullptr);

  /// Reads the runs again (a run or an undo ended), keeping the run chosen.
  void Refresh();
  /// Shows `text`, the end of an undo in the words of the main window's message area, under
  /// the list, and reads the runs again.
  void ShowOutcome(const std::string& text);
  /// Shows the undo button only while the run chosen can be undone and the session is idle.
  void UpdateUndoButton();

  /// The controls, for tests and tools.
  QTreeWidget* List() const { return list_; }
  QLabel* Outcome() const { return outcome_; }
  PngButton* UndoButton() const { return undo_; }

 signals:
  /// The user asks to undo the run of journal `journal`.
  void UndoRequested(const QString& journal);

 private:
  struct Run {
    std::string journal;
    bool undoable = false;
  };

  const RunSession& session_;
  std::string output_folder_;
  std::vector<Run> runs_;  // in the list's order
  QTreeWidget* list_ = nullptr;
  QLabel* outcome_ = nullptr;
  PngButton* undo_ = nullptr;
};

}  // namespace nandell
