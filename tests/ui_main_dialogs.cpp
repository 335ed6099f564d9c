// The Qt side of the dialogs interface that can be checked without a modal
// box: the open dialog's filter and the refusal of read-only files.
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QListView>
#include <QTemporaryDir>
#include <QTest>

#include "app/qt_dialogs.h"

class DialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void openDialogFilterIgnoresCase() {
    QTemporaryDir dir;
    const QStringList names = {"a.HPI", "b.ufo", "C.Gp4", "d.CcX", "e.txt", "f.hpi.bak", "g.gp3", ".h.hpi"};
    for (const QString& n : names) {
      QFile f(dir.filePath(n));
      QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QFileDialog dialog;
    SetUpArchiveDialog(dialog);
    QCOMPARE(dialog.fileMode(), QFileDialog::ExistingFiles);
    QVERIFY(dialog.testOption(QFileDialog::DontUseNativeDialog));
    dialog.setDirectory(dir.path());
    dialog.show();  // not exec: nothing waits for a user

    auto* combo = dialog.findChild<QComboBox*>("fileTypeCombo");
    QVERIFY(combo);
    QCOMPARE(combo->count(), 1);
    QCOMPARE(combo->currentText(), QString(kArchiveFilterText));

    auto* list = dialog.findChild<QListView*>("listView");
    QVERIFY(list);
    auto shown = [&] {
      QStringList s;
      const QModelIndex root = list->rootIndex();
      for (int r = 0; r < list->model()->rowCount(root); ++r)
        s << list->model()->index(r, 0, root).data().toString();
      s.sort();
      return s;
    };
    // The file system model lists the directory on its own thread.
    QTRY_COMPARE(shown(), (QStringList{".h.hpi", "C.Gp4", "a.HPI", "b.ufo", "d.CcX", "g.gp3"}));
  }

  void readOnlyFilesAreRefused() {
    QTemporaryDir dir;
    const QString writable = dir.filePath("w.hpi"), readOnly = dir.filePath("r.hpi");
    for (const QString& p : {writable, readOnly}) {
      QFile f(p);
      QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QVERIFY(QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    QCOMPARE(ReadOnlyFiles({writable, readOnly}), QStringList{readOnly});
    QCOMPARE(ReadOnlyFiles({writable}), QStringList());
  }
};

QTEST_MAIN(DialogsTest)
#include "ui_main_dialogs.moc"
