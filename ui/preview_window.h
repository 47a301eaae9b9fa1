#pragma once

#include <QString>

#include "engine/run_session.h"
#include "platform/translate.h"
#include "ui/panel_window.h"

class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

namespace nandell {

class ThumbnailModel;

/// The window titled "整理预览": a dry run's plan before anything is changed. The folders and
/// the way (copy or move) above; the year and day folders the files would go to, with their
/// numbers of files, and the files that would fail or be skipped with the reason, as a tree;
/// beside it the thumbnails of the photos of the folder chosen in the tree. "开始整理" accepts
/// (its opener then runs the plan's config), "取消", the close cross and Escape reject.
class PreviewWindow : public PanelWindow {
  Q_OBJECT

 public:
  /// The title and the tree's texts, shown translated.
  static constexpr const char* kTitle = TrNoop("整理预览");
  static constexpr const char* kStartText = TrNoop("开始整理");
  static constexpr const char* kCopyLineText = TrNoop("复制: %1 → %2");
  static constexpr const char* kMoveLineText = TrNoop("移动: %1 → %2");
  static constexpr const char* kFailedGroupText = TrNoop("将失败的文件");
  static constexpr const char* kSkippedGroupText = TrNoop("将跳过的文件");
  static constexpr const char* kSameAsText = TrNoop("与此文件相同: ");

  /// The window showing `plan`.
  explicit PreviewWindow(RunPlan plan, QWidget* parent = nullptr);

  /// The plan shown; its config is what "开始整理" is to run.
  const RunPlan& Plan() const { return plan_; }

  /// The controls, for tests and tools.
  QTreeWidget* Tree() const { return tree_; }
  ThumbnailModel* ThumbnailItems() const { return model_; }
  PngButton* StartButton() const { return start_; }

 private:
  void FillTree();
  // The thumbnails of the files of `item` (a folder, a group or one file).
  void ShowFiles(QTreeWidgetItem* item);

  RunPlan plan_;
  QTreeWidget* tree_ = nullptr;
  ThumbnailModel* model_ = nullptr;
  PngButton* start_ = nullptr;
};

}  // namespace nandell
