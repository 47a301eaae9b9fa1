// The folder picker: path rules, its messages and question through the message-box seam,
// creation of missing levels, the dialog's edit box and OK button, and the places above the
// tree (over stand-ins for their roots, with a real tmpfs for a card).
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>
#include <cstring>
#include <string>

#include "tests/support/temp_tree.h"
#include "ui/folder_picker.h"
#include "ui/message_box.h"

using nandell::FolderPicker;
using nandell::FolderPickerDialog;
using nandell::MessageBox;

namespace {

bool IsDir(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

QString Invalid(const std::string& path) {
  return QString::fromStdString("The folder:\n\n" + path + "\n\nis invalid. Please reenter.");
}
QString CannotCreate(const std::string& path) {
  return QString::fromStdString("The folder:\n\n" + path +
                                "\n\ncan not be created. Please double check.");
}
QString Question(const std::string& path) {
  return QString::fromStdString("The folder:\n\n" + path +
                                "\n\ndoes not exist. Do you want the folder to be created?");
}

std::string g_hook_text;

// Stand-ins for the places' roots under `base`: a home folder holding Pictures, a drive root
// (/media/USER) and a device root (gvfs), with some folders in each.
nandell::PlaceRoots MakePlaceRoots(const QString& base) {
  nandell::PlaceRoots roots{
      base + "/home", base + "/home/Pictures", {base + "/media"}, base + "/gvfs"};
  for (const char* folder :
       {"home/Pictures/2023", "home/Photos/2024", "media/Leftover", "gvfs/mtp:host=Google_Pixel_7",
        "gvfs/gphoto2:host=%5Busb%3A001%2C007%5D", "gvfs/smb-share:server=nas,share=photos",
        "other/deep"}) {
    QDir(base).mkpath(QString::fromUtf8(folder));
  }
  return roots;
}

// The places as "name|path" lines.
QStringList Listed(const std::vector<nandell::Place>& places) {
  QStringList lines;
  for (const nandell::Place& place : places) lines << place.name + "|" + place.path;
  return lines;
}

// The folder whose contents the tree shows.
QString ShownRoot(const FolderPickerDialog& dialog) {
  return static_cast<QFileSystemModel*>(dialog.Tree()->model())
      ->filePath(dialog.Tree()->rootIndex());
}

void ClickPlace(FolderPickerDialog& dialog, const QString& name) {
  QTreeWidget* list = dialog.PlacesList();
  const QList<QTreeWidgetItem*> items = list->findItems(name, Qt::MatchExactly);
  QVERIFY2(items.size() == 1, qPrintable(name));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(items[0]).center());
}

}  // namespace

class FolderPickerTest : public QObject {
  Q_OBJECT

 public:
  bool private_mounts_ = false;  // this process mounts where nobody else sees it

 private slots:
  // Boxes nobody queued an answer for are answered OK (the error boxes have only OK).
  void initTestCase() { MessageBox::SetDefaultAnswer(QMessageBox::Ok); }

  void init() {
    MessageBox::ClearAnswers();
    MessageBox::ClearShown();
    FolderPicker::ClearAnswers();
    FolderPicker::SetDialogHook(nullptr);
    QVERIFY(dir_.isValid());
    base_ = dir_.path().toStdString();
  }
  void cleanup() {
    nandell::SetPlaceRoots(std::nullopt);
    QCOMPARE(MessageBox::PendingAnswers(), 0);
  }

  void FolderNames_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("valid");
    QTest::newRow("plain") << QByteArray("photos") << true;
    QTest::newRow("inner blank and period") << QByteArray("my photos.2024") << true;
    QTest::newRow("chinese") << QByteArray("照片") << true;
    QTest::newRow("empty") << QByteArray("") << false;
    QTest::newRow("dot") << QByteArray(".") << false;
    QTest::newRow("dot dot") << QByteArray("..") << false;
    QTest::newRow("leading blank") << QByteArray(" a") << false;
    QTest::newRow("trailing blank") << QByteArray("a ") << false;
    QTest::newRow("leading tab") << QByteArray("\ta") << false;
    QTest::newRow("trailing period") << QByteArray("a.") << false;
    QTest::newRow("hidden name") << QByteArray(".config") << false;
    for (char c : std::string("\"*/:<>?\\|")) {
      QTest::newRow(qPrintable(QStringLiteral("holds %1").arg(QChar(c))))
          << QByteArray("a") + c + "b" << false;
    }
  }
  void FolderNames() {
    QFETCH(QByteArray, name);
    QFETCH(bool, valid);
    QCOMPARE(FolderPicker::IsValidFolderName(name.constData()), valid);
  }

  void NullName() { QVERIFY(!FolderPicker::IsValidFolderName(nullptr)); }

  void PathRules_data() {
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<int>("result");
    QTest::newRow("root") << QByteArray("/") << 0;
    QTest::newRow("two levels") << QByteArray("/home/photos") << 0;
    QTest::newRow("chinese levels") << QByteArray("/照片/2024年") << 0;
    QTest::newRow("empty") << QByteArray("") << 1;
    QTest::newRow("relative") << QByteArray("home/photos") << 1;
    QTest::newRow("dot relative") << QByteArray("./photos") << 1;
    QTest::newRow("windows drive") << QByteArray("C:\\photos") << 1;
    QTest::newRow("trailing slash") << QByteArray("/home/photos/") << 1;
    QTest::newRow("double slash") << QByteArray("/home//photos") << 1;
    QTest::newRow("leading double slash") << QByteArray("//server/share") << 1;
    QTest::newRow("dot level") << QByteArray("/home/./photos") << 1;
    QTest::newRow("dot dot level") << QByteArray("/home/../etc") << 1;
    QTest::newRow("level with question mark") << QByteArray("/home/what?") << 1;
    QTest::newRow("level with bar") << QByteArray("/home/a|b") << 1;
    QTest::newRow("level ending in blank") << QByteArray("/home/photos ") << 1;
  }
  void PathRules() {
    QFETCH(QByteArray, path);
    QFETCH(int, result);
    QCOMPARE(FolderPicker::CheckOrCreatePath(path.constData(), true), result);
  }

  void NullPathIsInvalid() { QCOMPARE(FolderPicker::CheckOrCreatePath(nullptr, true), 1); }

  void InvalidPathShowsTheInvalidMessage() {
    QCOMPARE(FolderPicker::ConfirmFolder("relative/path"), 1);
    QCOMPARE(MessageBox::ShownBoxes().size(), size_t{1});
    const MessageBox::Shown& box = MessageBox::ShownBoxes()[0];
    QCOMPARE(box.caption, QStringLiteral("Nandell"));
    QCOMPARE(box.text, Invalid("relative/path"));
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  }

  void ExistingFolderIsAcceptedWithoutQuestion() {
    QCOMPARE(FolderPicker::ConfirmFolder(base_), 0);
    QCOMPARE(FolderPicker::ConfirmFolder("/"), 0);
    QVERIFY(MessageBox::ShownBoxes().empty());
  }

  void TwoMissingLevelsCreatedAfterYes() {
    const std::string path = base_ + "/2024年/07-01";
    MessageBox::SetNextAnswer(QMessageBox::Yes);
    QCOMPARE(FolderPicker::ConfirmFolder(path), 0);
    QCOMPARE(MessageBox::ShownBoxes().size(), size_t{1});
    const MessageBox::Shown& box = MessageBox::ShownBoxes()[0];
    QCOMPARE(box.text, Question(path));
    QCOMPARE(box.caption, QStringLiteral("Nandell"));
    QCOMPARE(box.icon, QMessageBox::Question);
    QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No);
    QVERIFY(IsDir(base_ + "/2024年"));
    QVERIFY(IsDir(path));
  }

  void NothingCreatedAfterNo() {
    const std::string path = base_ + "/a/b";
    MessageBox::SetNextAnswer(QMessageBox::No);
    QCOMPARE(FolderPicker::ConfirmFolder(path), -1);
    QCOMPARE(MessageBox::ShownBoxes().size(), size_t{1});  // the question only
    QVERIFY(!IsDir(base_ + "/a"));
  }

  void LevelThatCannotBeCreated() {
    // A plain file stands where a level should be.
    const std::string file = base_ + "/file";
    QFile f(QString::fromStdString(file));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QCOMPARE(FolderPicker::CheckOrCreatePath((base_ + "/file/sub").c_str(), false), 2);
    MessageBox::SetNextAnswer(QMessageBox::Yes);
    QCOMPARE(FolderPicker::ConfirmFolder(file + "/sub"), 2);
    QCOMPARE(MessageBox::ShownBoxes().size(), size_t{2});
    QCOMPARE(MessageBox::ShownBoxes()[1].text, CannotCreate(file + "/sub"));
    QCOMPARE(MessageBox::ShownBoxes()[1].icon, QMessageBox::Warning);
  }

  void PlainFileIsNotAcceptedAsAFolder() {
    const std::string file = base_ + "/photo.jpg";
    QFile f(QString::fromStdString(file));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    MessageBox::SetNextAnswer(QMessageBox::Yes);
    QCOMPARE(FolderPicker::ConfirmFolder(file), 2);
    QCOMPARE(MessageBox::ShownBoxes().size(), size_t{2});
    QCOMPARE(MessageBox::ShownBoxes()[0].text, Question(file));
    QCOMPARE(MessageBox::ShownBoxes()[1].text, CannotCreate(file));
  }

  void InvalidLevelAfterCreatedOnesKeepsThem() {
    // Create mode stops at the first bad level; the levels before it stay.
    const std::string path = base_ + "/good/bad?/x";
    QCOMPARE(FolderPicker::CheckOrCreatePath(path.c_str(), false), 1);
    QVERIFY(IsDir(base_ + "/good"));
  }

  void NextAnswerSeam() {
    {
      FolderPicker picker("浏览目录", "导入目录", "", nullptr);
      FolderPicker::SetNextAnswer(base_);
      QCOMPARE(picker.DoModal(), 1);
      QCOMPARE(picker.GetPath(), base_);
    }
    {
      FolderPicker picker("浏览目录", "保存目录", nullptr, nullptr);
      FolderPicker::SetNextAnswer(std::nullopt);
      QCOMPARE(picker.DoModal(), -1);
    }
    {
      FolderPicker picker("浏览目录", "保存目录", nullptr, nullptr);
      FolderPicker::SetNextAnswer(base_ + "/a|b");
      QCOMPARE(picker.DoModal(), -1);  // invalid: the message, then the user gives up
      QCOMPARE(MessageBox::ShownBoxes().back().text, Invalid(base_ + "/a|b"));
    }
  }

  // A path typed or pasted with a trailing "/" is the folder without it, in the real dialog.
  void TypedTrailingSlashIsTheFolder_data() {
    QTest::addColumn<QString>("typed");  // "@" stands for the temporary folder
    QTest::addColumn<QString>("taken");  // empty: refused as invalid
    QTest::addColumn<bool>("asks");      // whether the creation question comes (answered Yes)
    QTest::newRow("existing") << "@/"
                              << "@" << false;
    QTest::newRow("missing, created") << "@/made/here/"
                                      << "@/made/here" << true;
    QTest::newRow("root") << "/"
                          << "/" << false;
    QTest::newRow("only one is dropped") << "@//"
                                         << "" << false;
  }
  void TypedTrailingSlashIsTheFolder() {
    QFETCH(QString, typed);
    QFETCH(QString, taken);
    QFETCH(bool, asks);
    typed.replace(QLatin1Char('@'), QString::fromStdString(base_));
    taken.replace(QLatin1Char('@'), QString::fromStdString(base_));
    g_hook_text = typed.toStdString();
    FolderPicker::SetDialogHook([](FolderPickerDialog& dialog) {
      dialog.Edit()->setText(QString::fromStdString(g_hook_text));
      QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
      if (dialog.isVisible()) dialog.reject();
    });
    if (asks) MessageBox::SetNextAnswer(QMessageBox::Yes);
    FolderPicker picker("浏览目录", "导入目录", base_.c_str(), nullptr);
    QCOMPARE(picker.DoModal(), taken.isEmpty() ? -1 : 1);
    FolderPicker::SetDialogHook(nullptr);
    if (taken.isEmpty()) {
      QCOMPARE(MessageBox::ShownBoxes().back().text,
               Invalid(g_hook_text.substr(0, g_hook_text.size() - 1)));
      return;
    }
    QCOMPARE(QString::fromStdString(picker.GetPath()), taken);
    QVERIFY(IsDir(taken.toStdString()));
    if (asks) QCOMPARE(MessageBox::ShownBoxes().front().text, Question(taken.toStdString()));
  }

  void PlacesOfTheStandIns() {
    const QString base = QString::fromStdString(base_);
    const nandell::PlaceRoots roots = MakePlaceRoots(base);
    // A folder left in the drive root is no drive; the desktop's network mount is no phone.
    QCOMPARE(
        Listed(nandell::ListPlaces(roots)),
        QStringList({"主目录|" + base + "/home", "图片|" + base + "/home/Pictures",
                     "[usb:001,007]|" + base + "/gvfs/gphoto2:host=%5Busb%3A001%2C007%5D",
                     "Google Pixel 7|" + base + "/gvfs/mtp:host=Google_Pixel_7", "文件系统|/"}));
  }

  // A card mounted while the picker is open appears (with its size), is chosen like a folder
  // of the tree, and goes when it is taken out.
  void CardAppearsWhileThePickerIsOpen() {
    const QString base = QString::fromStdString(base_);
    nandell::SetPlaceRoots(MakePlaceRoots(base));
    const QString card = base + QStringLiteral("/media/CARD");
    QVERIFY(QDir().mkpath(card));
    FolderPicker picker("浏览目录", "导入目录", "", nullptr);
    FolderPickerDialog dialog(&picker);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto listed = [&dialog] {
      return dialog.PlacesList()->findItems(QStringLiteral("CARD"), Qt::MatchExactly);
    };
    QVERIFY(listed().isEmpty());  // a folder, not yet a mounted card
    if (!private_mounts_) QSKIP("no mount namespace of its own here (needs root)");
    if (::mount("tmpfs", card.toUtf8().constData(), "tmpfs", 0, "size=16m") != 0)
      QSKIP(qPrintable(QStringLiteral("tmpfs cannot be mounted here: ") + std::strerror(errno)));
    auto unmount = qScopeGuard([&card] { ::umount2(card.toUtf8().constData(), MNT_DETACH); });
    QVERIFY(QDir().mkpath(card + QStringLiteral("/DCIM")));
    QTRY_COMPARE(listed().size(), 1);
    QCOMPARE(listed()[0]->text(1), QStringLiteral("可移动磁盘, 16.8 MB"));
    ClickPlace(dialog, QStringLiteral("CARD"));
    QCOMPARE(dialog.Edit()->text(), card);
    QCOMPARE(ShownRoot(dialog), card);
    QVERIFY(dialog.OkButton()->isEnabled());

    QCOMPARE(::umount2(card.toUtf8().constData(), 0), 0);
    unmount.dismiss();
    QTRY_VERIFY(listed().isEmpty());
    QCOMPARE(ShownRoot(dialog), base + QStringLiteral("/home"));
  }

  // The tree opens at the place holding the initial folder, with that folder selected.
  void TreeOpensAtTheCurrentFolder_data() {
    // "initial|root|selected|edit": the initial folder, the folder the tree shows, the one
    // selected in it (empty: none) and the edit box; "@" is the temporary folder.
    QTest::addColumn<QString>("row");
    QTest::newRow("inside home")
        << "@/home/Photos/2024|@/home|@/home/Photos/2024|@/home/Photos/2024";
    QTest::newRow("home itself") << "@/home/|@/home||@/home";
    QTest::newRow("inside Pictures")
        << "@/home/Pictures/2023|@/home/Pictures|@/home/Pictures/2023|@/home/Pictures/2023";
    QTest::newRow("none chosen yet") << "|@/home||@/home";
    QTest::newRow("outside the places") << "@/other/deep|/|@/other/deep|@/other/deep";
    QTest::newRow("gone") << "@/gone|@/home||";
  }
  void TreeOpensAtTheCurrentFolder() {
    QFETCH(QString, row);
    const QString base = QString::fromStdString(base_);
    const QStringList fields = row.replace(QLatin1Char('@'), base).split(QLatin1Char('|'));
    nandell::SetPlaceRoots(MakePlaceRoots(base));
    const std::string initial = fields[0].toStdString();
    FolderPicker picker("浏览目录", "导入目录", initial.c_str(), nullptr);
    FolderPickerDialog dialog(&picker);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(ShownRoot(dialog), fields[1]);
    auto* model = static_cast<QFileSystemModel*>(dialog.Tree()->model());
    QCOMPARE(model->filePath(dialog.Tree()->currentIndex()), fields[2]);
    QCOMPARE(dialog.Edit()->text(), fields[3]);
    QCOMPARE(dialog.OkButton()->isEnabled(), !fields[3].isEmpty());
    // The place the tree shows is marked in the list.
    QVERIFY(dialog.PlacesList()->currentItem() != nullptr);
    QCOMPARE(dialog.PlacesList()->currentItem()->toolTip(0), fields[1]);
  }

  // Choosing a place acts as a selection in the tree: the edit box takes it, the tree shows it.
  void ChoosingAPlaceSetsTheEditBoxAndTheTree() {
    const QString base = QString::fromStdString(base_);
    nandell::SetPlaceRoots(MakePlaceRoots(base));
    FolderPicker picker("浏览目录", "导入目录", (base_ + "/home/Photos/2024").c_str(), nullptr);
    FolderPickerDialog dialog(&picker);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    ClickPlace(dialog, QStringLiteral("图片"));
    QCOMPARE(dialog.Edit()->text(), base + QStringLiteral("/home/Pictures"));
    QCOMPARE(ShownRoot(dialog), base + QStringLiteral("/home/Pictures"));
    QVERIFY(!dialog.Tree()->currentIndex().isValid());
    // A folder of the tree, then the marked place again.
    QVERIFY(dialog.SelectFolder(base + QStringLiteral("/home/Pictures/2023")));
    QCOMPARE(dialog.Edit()->text(), base + QStringLiteral("/home/Pictures/2023"));
    ClickPlace(dialog, QStringLiteral("图片"));
    QCOMPARE(dialog.Edit()->text(), base + QStringLiteral("/home/Pictures"));
    // OK takes the place.
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    QCOMPARE(picker.GetPath(), base_ + "/home/Pictures");
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
  }

  void EmptyInitialFolderOpensAtHome() {
    FolderPicker picker("浏览目录", "导入目录", "", nullptr);
    FolderPickerDialog dialog(&picker);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.Edit()->text(), QDir::homePath());
    QVERIFY(dialog.OkButton()->isEnabled());
  }

  void DialogEditBoxFollowsSelectionAndDrivesOk() {
    FolderPicker picker("浏览目录", "导入目录", base_.c_str(), nullptr);
    FolderPickerDialog dialog(&picker);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("浏览目录"));
    // The initial folder is selected and shown in the edit box; OK is enabled.
    QCOMPARE(dialog.Edit()->text().toStdString(), base_);
    QVERIFY(dialog.OkButton()->isEnabled());
    // Emptying the box disables OK; one character enables it again.
    dialog.Edit()->clear();
    QVERIFY(!dialog.OkButton()->isEnabled());
    QTest::keyClicks(dialog.Edit(), "/");
    QVERIFY(dialog.OkButton()->isEnabled());
    QCOMPARE(picker.GetPath(), std::string("/"));
    // Selecting another folder in the tree replaces the text.
    QVERIFY(dialog.SelectFolder(QStringLiteral("/tmp")));
    QCOMPARE(dialog.Edit()->text(), QStringLiteral("/tmp"));
  }

  void InitialFolderStaysInViewWhileTheTreeFillsIn() {
    // Many folders sort before the initial one; the tree lists them after it has opened.
    const std::string parent = base_ + "/crowded";
    QVERIFY(::mkdir(parent.c_str(), 0777) == 0);
    for (int i = 0; i < 300; ++i) {
      const std::string name = parent + "/a" + std::to_string(1000 + i);
      QVERIFY(::mkdir(name.c_str(), 0777) == 0);
    }
    const std::string target = parent + "/zz/photos";
    QVERIFY(::mkdir((parent + "/zz").c_str(), 0777) == 0);
    QVERIFY(::mkdir(target.c_str(), 0777) == 0);

    FolderPicker picker("浏览目录", "导入目录", target.c_str(), nullptr);
    FolderPickerDialog dialog(&picker);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTreeView* tree = dialog.Tree();
    auto* model = tree->model();
    const QModelIndex crowded = tree->currentIndex().parent().parent();
    QCOMPARE(crowded.data().toString(), QStringLiteral("crowded"));
    // Every folder has arrived in the tree and been sorted in (the many before the selected
    // one), and the selected one is still on screen.
    QTRY_COMPARE(model->rowCount(crowded), 301);
    QTRY_COMPARE(model->index(0, 0, crowded).data().toString(), QStringLiteral("a1000"));
    QCOMPARE(dialog.Edit()->text().toStdString(), target);
    QTRY_VERIFY2(tree->viewport()->rect().contains(tree->visualRect(tree->currentIndex())),
                 qPrintable(QStringLiteral("item at y %1 of %2")
                                .arg(tree->visualRect(tree->currentIndex()).y())
                                .arg(tree->viewport()->height())));
  }

  void DialogOkKeepsItOpenOnInvalidText() {
    FolderPicker picker("浏览目录", "导入目录", base_.c_str(), nullptr);
    FolderPickerDialog dialog(&picker);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.Edit()->setText(QString::fromStdString(base_ + "/x?"));
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(MessageBox::ShownBoxes().size(), size_t{1});
    QCOMPARE(MessageBox::ShownBoxes()[0].text, Invalid(base_ + "/x?"));
    QCOMPARE(dialog.focusWidget(), dialog.Edit());
    QCOMPARE(dialog.Edit()->text().toStdString(), base_ + "/x?");
  }

  void DoModalCreatesTypedFolderAfterYes() {
    // Drives the real dialog: type two missing levels, press OK, answer Yes.
    g_hook_text = base_ + "/new/level";
    FolderPicker::SetDialogHook([](FolderPickerDialog& dialog) {
      dialog.Edit()->setText(QString::fromStdString(g_hook_text));
      QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    });
    MessageBox::SetNextAnswer(QMessageBox::Yes);
    FolderPicker picker("浏览目录", "保存目录", nullptr, nullptr);
    QCOMPARE(picker.DoModal(), 1);
    QCOMPARE(picker.GetPath(), g_hook_text);
    QVERIFY(IsDir(g_hook_text));
    FolderPicker::SetDialogHook(nullptr);
  }

  void DoModalCancelled() {
    FolderPicker::SetDialogHook([](FolderPickerDialog& dialog) { dialog.reject(); });
    FolderPicker picker("浏览目录", "保存目录", base_.c_str(), nullptr);
    QCOMPARE(picker.DoModal(), -1);
    FolderPicker::SetDialogHook(nullptr);
  }

 private:
  QTemporaryDir dir_;
  std::string base_;
};

// The card is mounted where nobody else sees it; the namespace is made before Qt starts a
// thread.
int main(int argc, char** argv) {
  const bool private_mounts = nandell::testing::PrivateMounts();
  QApplication app(argc, argv);
  app.setAttribute(Qt::AA_Use96Dpi, true);
  FolderPickerTest test;
  QTEST_SET_MAIN_SOURCE_PATH
  test.private_mounts_ = private_mounts;
  return QTest::qExec(&test, argc, argv);
}
#include "folder_picker_test.moc"
