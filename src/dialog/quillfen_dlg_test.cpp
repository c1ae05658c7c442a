// The converter dialog, driven offscreen: the folder picker, message boxes and modal
// runs go through a fake so that nothing blocks. Runs go through the real control and
// real ORX files; the tests wait for the worker with deadlines, never sleeps.
#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QScreen>
#include <QScrollBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStyle>
#include <QtTest>

#include "dialog/about_dlg.h"
#include "dialog/control_wrappers.h"
#include "dialog/dialog_services.h"
#include "dialog/dialog_test_support.h"
#include "dialog/profile_view.h"
#include "dialog/progress_strip.h"
#include "dialog/quillfen_dlg.h"
#include "dialog/run_worker.h"
#include "dialog/status_light.h"
#include "dialog/warning_box.h"
#include "platform/version.h"
#include "present/run_texts.h"

namespace qf {

using test::FakeServices;

class QuillfenDlgTest : public QObject, protected test::DialogFixture {
    Q_OBJECT

private:

    void Synth(const std::string& name, std::uint32_t frames) { QVERIFY(test::Synth(*dir, name, frames)); }
    std::vector<std::string> Outputs() { return test::Outputs(*dir); }
    void Prepare(CQuillfenDlg& dlg) {
        dlg.runSettings().pause = [](std::chrono::milliseconds) {};
        services.folder = QString::fromStdString(dir->path());
    }
    void Click(CQuillfenDlg& dlg, int id) {
        QTest::mouseClick(qobject_cast<QAbstractButton*>(dlg.Item(id)), Qt::LeftButton);
    }
    QAbstractButton* HostedButtonOf(CQuillfenDlg& dlg, int id) {
        return static_cast<HostedButton*>(dlg.Item(id))->button();
    }
    // Starts a run with "Choose Directory" and waits until the window shows how it ended.
    void RunAndWait(CQuillfenDlg& dlg) {
        Click(dlg, kIdChooseDirectory);
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.running(), 30000);
    }

private slots:
    void initTestCase() { StartProgram(); }
    void init() { StartCase(); }

    void initialSelectionConvertsAsNormalizedTiff() {
        Synth("a.orx", 2);
        CQuillfenDlg dlg(&services);
        Prepare(dlg);
        QCOMPARE(dlg.exportKind(), 0);
        QVERIFY(qobject_cast<QAbstractButton*>(dlg.Item(kIdFirstRadio))->isChecked());
        RunAndWait(dlg);
        QCOMPARE(Outputs(), (std::vector<std::string>{"a.tiff", "a1.tiff"}));
        QVERIFY(services.warnings.isEmpty());
        QCOMPARE(dlg.cursor().shape(), Qt::ArrowCursor);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void radioChoiceMadeBeforeTheClickGovernsTheFiles() {
        Synth("a.orx", 1);
        CQuillfenDlg dlg(&services);
        Prepare(dlg);
        Click(dlg, kIdFirstRadio + 3);
        QCOMPARE(dlg.exportKind(), 0);  // follows when the run asks for the kind
        RunAndWait(dlg);
        QCOMPARE(dlg.exportKind(), 3);
        QCOMPARE(test::ReadBytes(*dir / "a.bmp").at(28), 24);
    }

    void exportKindIsAskedOncePerDataFile() {
        Synth("a.orx", 2);
        Synth("b.orx", 2);
        CQuillfenDlg dlg(&services);
        Prepare(dlg);
        QSignalSpy asked(&dlg.worker(), &RunWorker::kindAsked);
        RunAndWait(dlg);
        QCOMPARE(asked.size(), 2);
        QCOMPARE(Outputs(), (std::vector<std::string>{"a.tiff", "a1.tiff", "b.tiff", "b1.tiff"}));
    }

    void cancelInThePickerWritesNothing() {
        Synth("a.orx", 1);
        CQuillfenDlg dlg(&services);
        Prepare(dlg);
        services.folder.clear();
        QSignalSpy asked(&dlg.worker(), &RunWorker::kindAsked);
        Click(dlg, kIdChooseDirectory);
        QVERIFY(!dlg.running());
        QCOMPARE(services.picks, 1);
        QVERIFY(Outputs().empty());
        QVERIFY(services.warnings.isEmpty());
        QCOMPARE(asked.size(), 0);
    }

    void failingRunShowsOneMessageNamingTheFile() {
        Synth("a.orx", 1);
        test::WriteBytes(*dir / "broken.orx", {1, 2, 3});
        CQuillfenDlg dlg(&services);
        Prepare(dlg);
        RunAndWait(dlg);
        QCOMPARE(services.warnings.size(), 1);
        QVERIFY(services.warnings[0].contains(QString::fromStdString(*dir / "broken.orx") +
                                              ": cannot load: not an ORX file"));
        QVERIFY(services.warnings[0].startsWith("Some files could not be converted."));
        QCOMPARE(static_cast<ProgressStrip*>(dlg.Item(1001))->text(),
                 QString("Finished with 1 failure: 1 of 1 frame written; 1 file complete, 0 partial, 1 failed"));
        QCOMPARE(static_cast<StatusLight*>(dlg.Item(1003))->state(), StatusLight::State::kFailures);
        QVERIFY(dlg.isVisible() || !dlg.result());  // the dialog stays
    }

    // The run disables "Choose Directory" and OK, so the focus moves on; Enter after the run
    // must not land on Cancel and close the program, after one run or several.
    void enterAfterARunLeavesTheWindowOpen() {
        Synth("a.orx", 2);
        CQuillfenDlg dlg(&services);
        Prepare(dlg);
        dlg.show();
        dlg.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        for (int run = 0; run < 2; ++run) {
            services.folder = QString::fromStdString(dir->path());
            RunAndWait(dlg);
            QWidget* focus = QApplication::focusWidget();
            QVERIFY(focus);
            QVERIFY(focus != dlg.Item(kIdCancel));
            services.folder.clear();  // should Enter pick a folder, the picker is cancelled
            QTest::keyClick(focus, Qt::Key_Return);
            QVERIFY(dlg.isVisible());
            QCOMPARE(dlg.result(), 0);
        }
    }

    // A line longer than the strip loses whole words (a path's parts count as words), never
    // part of one; the whole line is the tooltip.
    void longLinesAreShortenedAtWordEnds() {
        CQuillfenDlg dlg(&services);
        auto* strip = static_cast<ProgressStrip*>(dlg.Item(1001));
        auto* shown = strip->findChild<QLabel*>();
        QVERIFY(shown);
        const QString summary =
            QStringLiteral("Finished with 1 failure: 1 of 1 frame written; 1 file complete, 0 partial, 1 failed");
        strip->Finish(summary, 100);
        QVERIFY(shown->fontMetrics().horizontalAdvance(shown->text()) <= strip->contentsRect().width());
        if (shown->text() != summary) QCOMPARE(shown->toolTip(), summary);
        const QRegularExpression ends(QStringLiteral("[ /\\x{2026}]"));
        for (const QString& line :
             {summary, QStringLiteral("File 2 of 9: /data/camera/2026-12-08/day1/a-rather-long-series/scan12.orx")}) {
            const QStringList whole = line.split(ends, Qt::SkipEmptyParts);
            const QFontMetrics metrics = shown->fontMetrics();
            for (int width = 1; width <= metrics.horizontalAdvance(line) + 10; width += 7) {
                for (bool keepEnd : {true, false}) {
                    const QString elided = ElideAtWordEnds(line, metrics, width, keepEnd);
                    for (const QString& word : elided.split(ends, Qt::SkipEmptyParts)) {
                        QVERIFY2(whole.contains(word),
                                 qPrintable(QString("%1 at %2: %3").arg(word).arg(width).arg(elided)));
                    }
                    if (elided != line) QVERIFY(elided.contains(QChar(0x2026)));
                }
            }
        }
    }

    void uncreatableTiffStopsTheRunAndTheDialogStays() {
        Synth("a.orx", 2);
        QVERIFY(QDir().mkdir(QString::fromStdString(*dir / "a.tiff")));
        CQuillfenDlg dlg(&services);
        Prepare(dlg);
        dlg.show();
        RunAndWait(dlg);
        QCOMPARE(services.warnings.size(), 1);
        QVERIFY(services.warnings[0].startsWith("The conversion stopped: a TIFF file could not be created."));
        QVERIFY(dlg.isVisible());
    }

    void cleanRunEndsWithAStatusLineAndNoMessage() {
        Synth("a.orx", 3);
        Synth("b.orx", 2);
        CQuillfenDlg dlg(&services);
        Prepare(dlg);
        RunAndWait(dlg);
        QVERIFY(services.warnings.isEmpty());
        auto* strip = static_cast<ProgressStrip*>(dlg.Item(1001));
        QVERIFY2(strip->text().startsWith("Converted 2 files, 5 frames in "), qPrintable(strip->text()));
        QVERIFY(strip->text().endsWith(" s"));
        QCOMPARE(strip->percent(), 100);
        QCOMPARE(static_cast<StatusLight*>(dlg.Item(1003))->state(), StatusLight::State::kClean);
    }

    void folderWithoutDataFilesIsAmberAndSaysWhereTheyAre() {
        QVERIFY(QDir().mkpath(QString::fromStdString(*dir / "day1/later")));
        Synth("day1/a.orx", 1);
        Synth("day1/later/b.orx", 1);
        CQuillfenDlg dlg(&services);
        Prepare(dlg);
        RunAndWait(dlg);
        QVERIFY(services.warnings.isEmpty());
        QVERIFY(!test::FileExists(*dir / "day1/a.tiff"));
        QCOMPARE(static_cast<ProgressStrip*>(dlg.Item(1001))->text(),
                 "No data files in " + QDir(services.folder).dirName() + " (2 in subfolders)");
        QCOMPARE(static_cast<StatusLight*>(dlg.Item(1003))->state(), StatusLight::State::kFailures);
        // Longer than the strip: shortened in the middle where it shows, whole in the tooltip.
        auto* shown = dlg.Item(1001)->findChild<QLabel*>();
        QVERIFY(shown->fontMetrics().horizontalAdvance(shown->text()) <= dlg.Item(1001)->width());
        QVERIFY2(shown->text().endsWith(" (2 in subfolders)"), qPrintable(shown->text()));
        QCOMPARE(shown->toolTip(), static_cast<ProgressStrip*>(dlg.Item(1001))->text());
        services.folder = QString::fromStdString(*dir / "day1/later");
        QVERIFY(QDir().mkpath(QString::fromStdString(*dir / "day1/later/empty")));
        RunAndWait(dlg);
        QVERIFY2(static_cast<ProgressStrip*>(dlg.Item(1001))->text().startsWith("Converted 1 file, 1 frame in "),
                 qPrintable(static_cast<ProgressStrip*>(dlg.Item(1001))->text()));
        QCOMPARE(static_cast<StatusLight*>(dlg.Item(1003))->state(), StatusLight::State::kClean);
    }

    void reportListsEveryFailureOfARunWithAHundred() {
        for (int i = 0; i < 100; ++i) test::WriteBytes(*dir / QString("bad%1.orx").arg(i, 3, 10, QChar('0')).toStdString(), {1, 2, 3});
        CQuillfenDlg dlg(&services);
        Prepare(dlg);
        QVERIFY(!HostedButtonOf(dlg, 1005)->isEnabled());
        RunAndWait(dlg);
        QCOMPARE(services.warnings.size(), 1);
        QCOMPARE(services.warnings[0].count(": cannot load: not an ORX file"), present::kMaxListedFailures);
        QVERIFY(services.warnings[0].contains("... and 80 more"));
        QVERIFY(HostedButtonOf(dlg, 1005)->isEnabled());
        QTest::mouseClick(HostedButtonOf(dlg, 1005), Qt::LeftButton);
        QCOMPARE(services.modalTitles, QStringList{"Report of the last run"});
        QCOMPARE(services.reportLines.filter(": cannot load: not an ORX file").size(), 100);
        for (int i = 0; i < 100; ++i) {
            const QString name = QString::fromStdString(dir->path()) + QString("/bad%1.orx").arg(i, 3, 10, QChar('0'));
            QVERIFY2(services.reportLines.filter(name + ": cannot load: not an ORX file").size() == 1, qPrintable(name));
        }
    }

    void reportSavesEveryLineAsText() {
        test::WriteBytes(*dir / "bad.orx", {1, 2, 3});
        CQuillfenDlg dlg(&services);
        Prepare(dlg);
        RunAndWait(dlg);
        test::TempFolder out;
        services.saveAs = QString::fromStdString(out / "report.txt");
        CReportDlg report(RunTexts::ReportLines(*dlg.lastReport()), services);
        QVERIFY(report.Save());
        const auto bytes = test::ReadBytes(out / "report.txt");
        const QString text = QString::fromUtf8(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        QVERIFY(text.contains(QString::fromStdString(*dir / "bad.orx") + ": cannot load: not an ORX file"));
        QVERIFY(text.endsWith('\n'));
        QCOMPARE(text.count('\n'), report.list()->count());
    }

    void reportCopiesTheSelectedLinesOrAll() {
        CReportDlg report(QStringList{"first", "second", "third"}, services);
        report.Copy();
        QCOMPARE(QApplication::clipboard()->text(), QString("first\nsecond\nthird\n"));
        report.list()->item(0)->setSelected(true);
        report.list()->item(2)->setSelected(true);
        report.Copy();
        QCOMPARE(QApplication::clipboard()->text(), QString("first\nthird\n"));
    }

    void openFolderOpensTheConvertedFolder() {
        Synth("a.orx", 1);
        CQuillfenDlg dlg(&services);
        Prepare(dlg);
        QVERIFY(!HostedButtonOf(dlg, 1004)->isEnabled());
        RunAndWait(dlg);
        QTest::mouseClick(HostedButtonOf(dlg, 1004), Qt::LeftButton);
        QCOMPARE(services.opened, QStringList{QString::fromStdString(dir->path())});
        QCOMPARE(HostedButtonOf(dlg, 1004)->text(), QString("Open Folder"));
        QCOMPARE(HostedButtonOf(dlg, 1005)->text(), QString("Show Report"));
    }

    void folderAndKindAreRememberedAcrossStarts() {
        Synth("a.orx", 1);
        {
            CQuillfenDlg dlg(&services);
            Prepare(dlg);
            QCOMPARE(services.pickerStarts.size(), 0);
            Click(dlg, kIdFirstRadio + 2);
            RunAndWait(dlg);
            QCOMPARE(services.pickerStarts, QStringList{QString()});
        }
        CQuillfenDlg again(&services);
        QVERIFY(qobject_cast<QAbstractButton*>(again.Item(kIdFirstRadio + 2))->isChecked());
        QCOMPARE(again.exportKind(), 2);
        services.folder.clear();
        Click(again, kIdChooseDirectory);
        QCOMPARE(services.pickerStarts.last(), QString::fromStdString(dir->path()));
    }

    void arrowKeysSelectEachKindFromChooseDirectory() {
        CQuillfenDlg dlg(&services);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        dlg.Item(kIdChooseDirectory)->setFocus();
        for (int kind = 0; kind < 4; ++kind) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
            QCOMPARE(QApplication::focusWidget(), dlg.Item(kIdFirstRadio + kind));
            QVERIFY(qobject_cast<QAbstractButton*>(dlg.Item(kIdFirstRadio + kind))->isChecked());
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QCOMPARE(QApplication::focusWidget(), dlg.Item(kIdChooseDirectory));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
        QCOMPARE(QApplication::focusWidget(), dlg.Item(kIdFirstRadio + 3));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
        QCOMPARE(QApplication::focusWidget(), dlg.Item(kIdFirstRadio + 2));
        QVERIFY(qobject_cast<QAbstractButton*>(dlg.Item(kIdFirstRadio + 2))->isChecked());
        QCOMPARE(QSettings().value("converter/kind").toInt(), 2);
        // The radio buttons stay out of the tab order.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(!qobject_cast<QRadioButton*>(QApplication::focusWidget()));
    }

    void hostedViewsHaveAccessibleNames() {
        CQuillfenDlg dlg(&services);
        for (int id : {1001, 1002, 1003, 1006, 1007}) {
            QVERIFY2(!dlg.Item(id)->accessibleName().isEmpty(), qPrintable(QString::number(id)));
        }
        QCOMPARE(dlg.Item(1006)->accessibleName(), QString("Horizontal profile"));
        QCOMPARE(dlg.Item(1007)->accessibleName(), QString("Vertical profile"));
    }

    void enterAtTheStartPicksAFolderAndNeverClosesTheProgram() {
        CQuillfenDlg dlg(&services);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QTRY_COMPARE(QApplication::focusWidget(), dlg.Item(kIdChooseDirectory));
        services.folder.clear();  // the picker is cancelled
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(services.picks, 1);
        QVERIFY(dlg.isVisible());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter);
        QCOMPARE(services.picks, 2);
        QVERIFY(dlg.isVisible());
    }

    void aboutBoxGivesTheProgramsVersionAndExplainsOrlix() {
        CAboutDlg about;
        QStringList texts;
        for (QLabel* label : about.findChildren<QLabel*>()) {
            if (label->text().isEmpty()) continue;  // the icon
            texts << label->text();
            QVERIFY2(about.rect().contains(label->geometry()), qPrintable(label->text()));
            // Wrapped text needs no more lines than its rectangle holds.
            QVERIFY2(label->heightForWidth(label->width()) <= label->height() || !label->wordWrap(),
                     qPrintable(label->text()));
        }
        QVERIFY2(texts.contains(QString("Quillfen, Version ") + QuillfenVersion()), qPrintable(texts.join('|')));
        QCOMPARE(QString(QuillfenVersion()), QString("1.0.0.1"));
        QVERIFY2(texts.filter("Orlix files").filter(".orx").size() == 1, qPrintable(texts.join('|')));
        QVERIFY(about.findChild<QPushButton*>("aboutOk")->geometry().bottom() < about.height());
    }

    void longWarningScrollsWithinTheScreen() {
        QString text = "Some files could not be converted.\n";
        for (int i = 0; i < 60; ++i) text += QString("\n/data/day%1/scan.orx: cannot load: not an ORX file").arg(i);
        QVERIFY(WarningBox::NeedsList(text));
        QVERIFY(!WarningBox::NeedsList("The conversion was stopped.\n\nNot all frames of a.orx were written."));
        CQuillfenDlg dlg(&services);
        WarningBox box(&dlg, "ORX File Converter", text);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        const QRect screen = box.screen()->availableGeometry();
        QVERIFY2(box.frameGeometry().height() <= screen.height(), qPrintable(QString::number(box.height())));
        QVERIFY(box.width() <= screen.width());
        QCOMPARE(box.list()->count(), 60);
        QCOMPARE(box.list()->item(59)->text(), QString("/data/day59/scan.orx: cannot load: not an ORX file"));
        QVERIFY(box.list()->verticalScrollBar()->maximum() > 0);  // the rest is a scroll away
        QTest::keyClick(&box, Qt::Key_Return);
        QVERIFY(!box.isVisible());
    }

    void aboutCommandOpensTheAboutBox() {
        CQuillfenDlg dlg(&services);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QTest::keyClick(&dlg, Qt::Key_F1);
        QCOMPARE(services.modalTitles, QStringList{"About Quillfen"});
        // The context menu: About, then the output options (their panel has its own tests).
        QCOMPARE(dlg.actions().size(), 2);
        QCOMPARE(dlg.actions()[0]->text(), QString("&About Quillfen..."));
        QCOMPARE(dlg.actions()[1]->text(), QString("&Output options..."));
        QCOMPARE(dlg.contextMenuPolicy(), Qt::ActionsContextMenu);
    }

    // Every item the user sees, by name, at where it stands in the window.
    static std::map<QString, QRect> Placed(const CQuillfenDlg& dlg) {
        std::map<QString, QRect> placed;
        for (int id : {kIdOk, kIdCancel, kIdAcquisition, 1001, 1002, 1003, 1004, 1005, 1006, 1007, -1, kIdFirstRadio,
                       kIdFirstRadio + 1, kIdFirstRadio + 2, kIdFirstRadio + 3, kIdChooseDirectory}) {
            const QWidget* item = dlg.Item(id);
            placed[item->objectName()] = QRect(item->mapTo(&dlg, QPoint(0, 0)), item->size());
        }
        for (const char* name : {"outputOptions", "optionsLine"}) {
            const auto* item = dlg.findChild<QWidget*>(name);
            placed[name] = QRect(item->mapTo(&dlg, QPoint(0, 0)), item->size());
        }
        return placed;
    }

    // Resizes a shown dialog and waits for its layout to follow.
    static bool ResizeTo(CQuillfenDlg& dlg, QSize size) {
        dlg.resize(size);
        return QTest::qWaitFor([&] { return dlg.size() == size && dlg.layout()->geometry() == dlg.rect(); }, 5000);
    }

    // At the least size, the opening size and a large one: every item inside the window,
    // none on another (the radio buttons and Choose Directory stand in their group box),
    // and every text whole.
    void itemsStandApartInsideTheWindowWithTheirTextsWhole() {
        CQuillfenDlg dlg(&services);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        const QSize opening = dlg.size();
        QVERIFY(dlg.minimumSize().width() <= opening.width() && dlg.minimumSize().height() <= opening.height());
        // A profile's longest title: a row or column of five digits.
        static_cast<ProfileView*>(dlg.Item(1007))->ShowProfile({1, 2, 3}, 32767, 2);
        for (QSize size : {dlg.minimumSize(), opening, opening + QSize(500, 300)}) {
            QVERIFY(ResizeTo(dlg, size));
            const std::map<QString, QRect> placed = Placed(dlg);
            const auto inGroup = [&](const QString& name) {
                return dlg.Item(-1)->isAncestorOf(dlg.findChild<QWidget*>(name));
            };
            for (const auto& [name, rect] : placed) {
                QVERIFY2(!rect.isEmpty() && dlg.rect().contains(rect), qPrintable(name));
                if (inGroup(name)) QVERIFY2(placed.at("item-1").contains(rect), qPrintable(name));
                for (const auto& [other, otherRect] : placed) {
                    if (other == name || (name == "item-1" && inGroup(other)) || (other == "item-1" && inGroup(name))) {
                        continue;
                    }
                    QVERIFY2(!rect.intersects(otherRect), qPrintable(name + " on " + other));
                }
            }
            for (const QAbstractButton* button : dlg.findChildren<QAbstractButton*>()) {
                const QFontMetrics metrics = button->fontMetrics();
                int room = button->width();
                if (qobject_cast<const QRadioButton*>(button)) {
                    room -= button->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, button);
                }
                QVERIFY2(metrics.horizontalAdvance(button->text()) < room, qPrintable(button->text()));
                QVERIFY2(metrics.height() < button->height(), qPrintable(button->text()));
            }
            for (const QLabel* label : dlg.findChildren<QLabel*>()) {
                if (label->text().isEmpty() || !label->isVisible()) continue;
                QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(),
                         qPrintable(label->text()));
            }
            const auto* box = static_cast<QGroupBox*>(dlg.Item(-1));
            QVERIFY(box->fontMetrics().horizontalAdvance(box->title()) < box->width());
            const QFontMetrics metrics = dlg.Item(1007)->fontMetrics();
            QVERIFY(metrics.horizontalAdvance("Vertical profile, column 32767") < dlg.Item(1007)->width());
            QVERIFY(metrics.horizontalAdvance("65535") * 2 < dlg.Item(1006)->width());
            QVERIFY(metrics.height() * 4 < dlg.Item(1006)->height());
        }
        QCOMPARE(dlg.windowTitle(), QString("ORX File Converter"));
        QVERIFY(!(dlg.windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(dlg.windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(dlg.Item(kIdAcquisition)->property("wrapperClass").toString(), QString("CGetdatactrl1"));
        QCOMPARE(dlg.Item(1006)->property("wrapperClass").toString(), QString("CProfilesctrl1"));
        QCOMPARE(dlg.Item(1002)->property("wrapperClass").toString(), QString(""));
    }

    // A larger window goes to the frame view, and its width to the profiles, half each;
    // the radio group and the buttons beside the view keep their sizes and follow the
    // right edge, OK and Cancel the bottom right corner.
    void viewAndProfilesGrowWithTheWindowTheRestKeepsItsSize() {
        CQuillfenDlg dlg(&services);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        const std::map<QString, QRect> before = Placed(dlg);
        const QSize grown(300, 200);
        QVERIFY(ResizeTo(dlg, dlg.size() + grown));
        const std::map<QString, QRect> after = Placed(dlg);
        QCOMPARE(after.at("item1002"), before.at("item1002").adjusted(0, 0, grown.width(), grown.height()));
        QCOMPARE(after.at("item1006").size(), before.at("item1006").size() + QSize(grown.width() / 2, 0));
        QCOMPARE(after.at("item1007").size(), before.at("item1007").size() + QSize(grown.width() / 2, 0));
        QCOMPARE(after.at("item1006").topLeft(), before.at("item1006").topLeft() + QPoint(0, grown.height()));
        QCOMPARE(after.at("item1001").width(), before.at("item1001").width() + grown.width());
        for (const char* name : {"item1", "item2"}) {
            QCOMPARE(after.at(name), before.at(name).translated(grown.width(), grown.height()));
        }
        for (const char* name : {"item1003", "item1004", "item1005", "item-1", "item1024", "item1027", "item1028",
                                 "outputOptions", "optionsLine"}) {
            QCOMPARE(after.at(name), before.at(name).translated(grown.width(), 0));
        }
        // Back to the opening size: where everything began.
        QVERIFY(ResizeTo(dlg, dlg.size() - grown));
        QVERIFY(Placed(dlg) == before);
    }

    void tabOrderGoesRoundTheButtonsWithoutTheRadioButtons() {
        CQuillfenDlg dlg(&services);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        // The focus starts on Choose Directory; Tab goes round Output Options, OK and Cancel
        // back to it.
        QCOMPARE(QApplication::focusWidget(), dlg.Item(kIdChooseDirectory));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), dlg.findChild<QPushButton*>("outputOptions"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), dlg.Item(kIdOk));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), dlg.Item(kIdCancel));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), dlg.Item(kIdChooseDirectory));
    }

    void afterARunTabReachesTheTwoButtonsBesideTheView() {
        Synth("a.orx", 1);
        CQuillfenDlg dlg(&services);
        Prepare(dlg);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        RunAndWait(dlg);
        dlg.Item(kIdCancel)->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), HostedButtonOf(dlg, 1004));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), HostedButtonOf(dlg, 1005));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), dlg.Item(kIdChooseDirectory));
    }

    void escapeCancelsAndEnterAcceptsWithDataExchange() {
        {
            CQuillfenDlg dlg(&services);
            dlg.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dlg));
            QTest::keyClick(&dlg, Qt::Key_Escape);
            QCOMPARE(dlg.result(), int(QDialog::Rejected));
            QVERIFY(!dlg.isVisible());
        }
        CQuillfenDlg dlg(&services);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        Click(dlg, kIdFirstRadio + 1);
        dlg.Item(kIdOk)->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.exportKind(), 1);
    }
};

}  // namespace qf

QTEST_MAIN(qf::QuillfenDlgTest)
#include "quillfen_dlg_test.moc"
