#include "ui/history_window.h"

#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <utility>

#include "engine/journal.h"
#include "ui/elided_text.h"
#include "ui/png_button.h"
#include "ui/resources.h"
#include "ui/texts.h"

namespace nandell {

HistoryWindow::HistoryWindow(const RunSession& session, std::string output_folder, QWidget* parent)
    : PanelWindow(kSkinHistory, QTr(kTitle), parent),
      session_(session),
      output_folder_(std::move(output_folder)) {
  const int W = width();
  const int H = height();
  QLabel* folder = AddText(QString(), 20, 40, W - 40, kTextColor);
  folder->setObjectName(QStringLiteral("folder"));
  const QString lead = QTr("输出目录") + QStringLiteral(": ");
  const QString path = QString::fromStdString(output_folder_);
  folder->setText(lead + ElidePath(path, folder->fontMetrics(),
                                   W - 40 - folder->fontMetrics().horizontalAdvance(lead)));
  folder->setToolTip(path);

  list_ = new QTreeWidget(this);
  list_->setObjectName(QStringLiteral("runs"));
  list_->setGeometry(20, 64, W - 40, 250);
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setHeaderLabels({QTr("开始时间"), QTr("方式"), QTr("结果"), QTr("撤销")});
  list_->setColumnWidth(0, 140);
  list_->setColumnWidth(1, 50);
  list_->setColumnWidth(2, 250);
  list_->header()->setStretchLastSection(true);
  connect(list_, &QTreeWidget::currentItemChanged, this, &HistoryWindow::UpdateUndoButton);

  outcome_ = AddText(QString(), 20, 320, W - 40, kTextColor);
  outcome_->setObjectName(QStringLiteral("outcome"));
  outcome_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  outcome_->resize(W - 40, 3 * outcome_->fontMetrics().lineSpacing() + 4);

  undo_ = AddButton(kPngUndo, QTr(kUndoText));
  undo_->setObjectName(QStringLiteral("undo"));
  undo_->move(W - 24 - undo_->width(), H - 40);
  connect(undo_, &QAbstractButton::clicked, this, [this] {
    const int row = list_->indexOfTopLevelItem(list_->currentItem());
    if (row >= 0)
      emit UndoRequested(QString::fromStdString(runs_[static_cast<size_t>(row)].journal));
  });

  Refresh();
  // The newest run is the one most often wanted.
  if (list_->topLevelItemCount() > 0)
    list_->setCurrentItem(list_->topLevelItem(list_->topLevelItemCount() - 1));
  UpdateUndoButton();
}

void HistoryWindow::Refresh() {
  const int chosen = list_->indexOfTopLevelItem(list_->currentItem());
  list_->clear();
  runs_.clear();
  // The lines of `nandell-cli history`, one field a column; the journal in the tooltip. No
  // output folder chosen yet has no runs (an empty path would be the current folder).
  std::vector<std::pair<std::string, Journal>> listed;
  if (!output_folder_.empty()) listed = session_.ListRuns(output_folder_);
  for (const auto& [journal, run] : listed) {
    const QStringList fields =
        QString::fromStdString(FormatHistoryLine(journal, run)).split(QLatin1Char('\t'));
    auto* item = new QTreeWidgetItem(list_, fields.mid(0, 4));
    for (int column = 0; column < 4; ++column) item->setToolTip(column, fields.value(4));
    runs_.push_back({journal, !FullyUndone(run)});
  }
  if (runs_.empty() && outcome_->text().isEmpty()) {
    outcome_->setText(QString::fromStdString(TrFormat("没有整理记录: %s", output_folder_.c_str())));
  }
  if (chosen >= 0 && chosen < list_->topLevelItemCount())
    list_->setCurrentItem(list_->topLevelItem(chosen));
  UpdateUndoButton();
}

void HistoryWindow::ShowOutcome(const std::string& text) {
  outcome_->setText(ElideMessage(QString::fromStdString(text).trimmed(), outcome_->fontMetrics(),
                                 outcome_->width()));
  Refresh();
}

void HistoryWindow::UpdateUndoButton() {
  const int row = list_->indexOfTopLevelItem(list_->currentItem());
  undo_->setVisible(row >= 0 && static_cast<size_t>(row) < runs_.size() &&
                    runs_[static_cast<size_t>(row)].undoable && session_.IsIdle());
}

}  // namespace nandell
