// The program's identity and Qt's own texts in Polish.

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "dialogs/application.h"
#include "dialogs/messagedialogs.h"
#include "support/modal_helpers.h"
#include "support/qtest_main.h"

using namespace velmora;

class ApplicationTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    SetApplicationIdentity();
    QVERIFY2(InstallQtTranslations(*qApp),
             qPrintable("no qtbase_pl in " + QtTranslationsFolder() + " (scripts/install-deps.sh installs it)"));
  }

  void identityGivesTheTitlesTheirName() {
    QCOMPARE(QGuiApplication::applicationDisplayName(), QStringLiteral("Velmora"));
    QCOMPARE(ApplicationTitle(), QStringLiteral("Velmora"));
    QCOMPARE(MessageKindCaption(TMessageKind::mtCustom), QStringLiteral("Velmora"));
    QCOMPARE(QGuiApplication::desktopFileName(), QString::fromLatin1(kDesktopFileId));
    const QIcon icon = QApplication::windowIcon();
    QVERIFY(!icon.isNull());
    for (const int size : {16, 32, 256}) QCOMPARE(icon.pixmap(size, size).size(), QSize(size, size));
  }

  void qtTextsComeOutPolish_data() {
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("source");
    // The folder browser, the save dialog of "Zapisz ..." and its overwrite question, the buttons.
    QTest::newRow("Choose") << "QFileDialog"
                            << "&Choose";
    QTest::newRow("Directory") << "QFileDialog"
                               << "Directory:";
    QTest::newRow("Save As") << "QFileDialog"
                             << "Save As";
    QTest::newRow("File name") << "QFileDialog"
                               << "File &name:";
    QTest::newRow("overwrite") << "QFileDialog"
                               << "%1 already exists.\nDo you want to replace it?";
    QTest::newRow("Cancel") << "QPlatformTheme"
                            << "Cancel";
    QTest::newRow("Save") << "QPlatformTheme"
                          << "Save";
  }

  void qtTextsComeOutPolish() {
    QFETCH(QString, context);
    QFETCH(QString, source);
    const QString translated = QCoreApplication::translate(context.toLatin1().constData(), source.toUtf8().constData());
    QVERIFY2(!translated.isEmpty() && translated != source, qPrintable(context + ": " + source));
  }

  void folderBrowserSpeaksPolish() {
    QTemporaryDir dir;
    QStringList buttons, labels;
    QString title;
    test::OnNextModal([&](QWidget* d) {
      title = d->windowTitle();
      for (const QPushButton* b : d->findChildren<QPushButton*>())
        if (b->isVisible()) buttons << b->text();
      for (const QLabel* l : d->findChildren<QLabel*>())
        if (l->isVisible()) labels << l->text();
      d->close();
    });
    // As ChooseFolder sets it up.
    QFileDialog dialog(nullptr, QString());
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::ShowDirsOnly);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setDirectory(dir.path());
    dialog.exec();
    QVERIFY2(buttons.contains(QStringLiteral("&Wybierz")), qPrintable(buttons.join(", ")));
    QVERIFY2(buttons.contains(QStringLiteral("Anuluj")), qPrintable(buttons.join(", ")));
    QVERIFY2(labels.contains(QStringLiteral("Katalog:")), qPrintable(labels.join(", ")));
    QVERIFY(!buttons.contains(QStringLiteral("Cancel")));
  }
};

VELMORA_QTEST_MAIN(ApplicationTest)
#include "application_test.moc"
