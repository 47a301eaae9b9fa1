#include "ui/preview_window.h"

#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QTreeWidget>
#include <algorithm>
#include <map>
#include <utility>

#include "ui/elided_text.h"
#include "ui/png_button.h"
#include "ui/resources.h"
#include "ui/texts.h"
#include "ui/thumbnails.h"

namespace nandell {
namespace {

// The plan's files under a tree item (a folder: all its days' files), by index.
constexpr int kFilesRole = Qt::UserRole;

QString FileName(const std::string& path) {
  const QString text = QString::fromStdString(path);
  return text.mid(text.lastIndexOf(QLatin1Char('/')) + 1);
}

QTreeWidgetItem* AddItem(QTreeWidget* tree, QTreeWidgetItem* parent, const QStringList& texts) {
  return parent != nullptr ? new QTreeWidgetItem(parent, texts) : new QTreeWidgetItem(tree, texts);
}

// The number of files of every item, and their indices for the thumbnails.
void SetFiles(QTreeWidgetItem* item, const QList<int>& files) {
  item->setData(0, kFilesRole, QVariant::fromValue(files));
  item->setText(1, QString::number(files.size()));
  item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
}

}  // namespace

PreviewWindow::PreviewWindow(RunPlan plan, QWidget* parent)
    : PanelWindow(kSkinPreview, QTr(kTitle), parent), plan_(std::move(plan)) {
  const int W = width();
  const int H = height();
  // What would be done, and what the dry run found.
  QLabel* folders = AddText(QString(), 20, 40, W - 40, kTextColor);
  folders->setObjectName(QStringLiteral("folders"));
  const QString line = QTr(plan_.config.move ? kMoveLineText : kCopyLineText);
  const QString photo = QString::fromStdString(plan_.config.photo_folder);
  const QString output = QString::fromStdString(plan_.config.output_folder);
  const QFontMetrics metrics = folders->fontMetrics();
  const int room = (W - 40 - metrics.horizontalAdvance(line.arg(QString(), QString()))) / 2;
  folders->setText(line.arg(ElidePath(photo, metrics, room), ElidePath(output, metrics, room)));
  folders->setToolTip(line.arg(photo, output));
  QLabel* summary = AddText(QString::fromStdString(plan_.end.summary).trimmed() +
                                QStringLiteral("  ") + QTr(kDryRunNoteText).trimmed(),
                            20, 60, W - 40, kNoteColor);
  summary->setObjectName(QStringLiteral("summary"));

  tree_ = new QTreeWidget(this);
  tree_->setObjectName(QStringLiteral("plan"));
  tree_->setGeometry(20, 86, 330, H - 50 - 86 - 10);
  tree_->setHeaderLabels({QTr("目录"), QTr("文件"), QTr("说明")});
  tree_->header()->setStretchLastSection(true);
  tree_->setColumnWidth(0, 170);
  tree_->setColumnWidth(1, 48);
  tree_->setUniformRowHeights(true);
  tree_->setTextElideMode(Qt::ElideMiddle);
  FillTree();

  model_ = new ThumbnailModel(this);
  auto* thumbnails = new QListView(this);
  thumbnails->setObjectName(QStringLiteral("thumbnails"));
  thumbnails->setGeometry(360, 86, W - 20 - 360, H - 50 - 86 - 10);
  thumbnails->setViewMode(QListView::IconMode);
  thumbnails->setIconSize(QSize(ThumbnailLoader::kSize, ThumbnailLoader::kSize));
  thumbnails->setGridSize(QSize(ThumbnailLoader::kSize + 24, ThumbnailLoader::kSize + 34));
  thumbnails->setResizeMode(QListView::Adjust);
  thumbnails->setMovement(QListView::Static);
  thumbnails->setUniformItemSizes(true);
  thumbnails->setTextElideMode(Qt::ElideMiddle);
  thumbnails->setModel(model_);
  connect(tree_, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* item) { ShowFiles(item); });

  start_ = AddButton(kPngStartRun, QTr(kStartText));
  start_->setObjectName(QStringLiteral("start"));
  PngButton* cancel = AddButton(kPngOptionsCancel, QTr("取消"));
  cancel->setObjectName(QStringLiteral("cancel"));
  cancel->move(W - 24 - cancel->width(), H - 40);
  start_->move(cancel->x() - 12 - start_->width(), H - 40);
  connect(start_, &QAbstractButton::clicked, this, &QDialog::accept);
  connect(cancel, &QAbstractButton::clicked, this, &QDialog::reject);

  // The first day opens, with its photos.
  QTreeWidgetItem* first = tree_->topLevelItem(0);
  while (first != nullptr && first->childCount() > 0) first = first->child(0);
  if (first != nullptr) tree_->setCurrentItem(first);
}

void PreviewWindow::FillTree() {
  // The folders the files would go to, from the targets below the output folder: the year and
  // day folders, or the day folders alone, as the run would make them.
  const std::string& output = plan_.config.output_folder;
  std::map<QString, std::pair<QTreeWidgetItem*, QList<int>>> folders;
  QList<int> failed, skipped;
  for (size_t i = 0; i < plan_.files.size(); ++i) {
    const FileEvent& file = plan_.files[i];
    if (file.outcome == FileOutcome::kSkipped) {
      skipped << static_cast<int>(i);
      continue;
    }
    if (file.outcome != FileOutcome::kTransferred) {
      failed << static_cast<int>(i);
      continue;
    }
    const std::string relative = file.target.compare(0, output.size(), output) == 0
                                     ? file.target.substr(output.size())
                                     : file.target;
    const QStringList parts =
        QString::fromStdString(relative).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QTreeWidgetItem* parent = nullptr;
    QString key;
    for (qsizetype level = 0; level + 1 < parts.size(); ++level) {
      key += parts[level] + QLatin1Char('/');
      auto& [item, files] = folders[key];
      if (item == nullptr) item = AddItem(tree_, parent, {parts[level]});
      files << static_cast<int>(i);
      parent = item;
    }
  }
  for (auto& [key, folder] : folders) SetFiles(folder.first, folder.second);
  tree_->sortItems(0, Qt::AscendingOrder);
  tree_->expandAll();

  // Then what would not be placed, each file with its reason.
  const auto add_group = [this](const char* title, const QList<int>& files, bool failures) {
    if (files.isEmpty()) return;
    QTreeWidgetItem* group = AddItem(tree_, nullptr, {QTr(title)});
    SetFiles(group, files);
    for (const int i : files) {
      const FileEvent& file = plan_.files[static_cast<size_t>(i)];
      const QString note = failures ? QString::fromStdString(file.reason)
                                    : QTr(kSameAsText) + QString::fromStdString(file.target);
      QTreeWidgetItem* item = AddItem(tree_, group, {QString::fromStdString(file.source)});
      item->setText(2, note);
      item->setToolTip(0, QString::fromStdString(file.source));
      item->setToolTip(2, note);
      item->setData(0, kFilesRole, QVariant::fromValue(QList<int>{i}));
    }
    group->setExpanded(true);
  };
  add_group(kFailedGroupText, failed, true);
  add_group(kSkippedGroupText, skipped, false);
}

void PreviewWindow::ShowFiles(QTreeWidgetItem* item) {
  std::vector<ThumbnailModel::Item> items;
  if (item != nullptr) {
    for (const int i : item->data(0, kFilesRole).value<QList<int>>()) {
      const FileEvent& file = plan_.files[static_cast<size_t>(i)];
      const bool placed = file.outcome == FileOutcome::kTransferred;
      const QString source = QString::fromStdString(file.source);
      items.push_back({source, FileName(placed ? file.target : file.source),
                       placed
                           ? source + QStringLiteral("\n→ ") + QString::fromStdString(file.target)
                           : source});
    }
  }
  // A folder's photos by the names they would have there.
  std::stable_sort(items.begin(), items.end(),
                   [](const auto& a, const auto& b) { return a.name < b.name; });
  model_->SetItems(std::move(items));
}

}  // namespace nandell
