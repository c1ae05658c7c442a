// The "Output options..." panel, driven offscreen: its choices survive a restart, it
// refuses what cannot be written, and a run takes them (folder, pattern, layout) and says
// so in its report.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>
#include <tiffio.h>

#include <clocale>

#include "dialog/dialog_test_support.h"
#include "dialog/output_options_dlg.h"
#include "dialog/quillfen_dlg.h"
#include "tools/orx_writer.h"

namespace qf {

using test::FakeServices;

class OutputOptionsDlgTest : public QObject, protected test::DialogFixture {
    Q_OBJECT

private:

    // The panel as a user fills it: portable, zstd, a pixel size, a folder picked with
    // Browse, the suggested pattern, subfolders.
    void FillPanel(QDialog& dialog, const QString& folder, bool stack = false) {
        auto* panel = qobject_cast<COutputOptionsDlg*>(&dialog);
        QVERIFY(panel);
        panel->layoutBox()->setCurrentIndex(1);
        panel->compressionBox()->setCurrentIndex(panel->compressionBox()->findData(QStringLiteral("zstd")));
        panel->pixelSizeField()->setText(QStringLiteral("6.5um"));
        services.folder = folder;
        QTest::mouseClick(panel->browseButton(), Qt::LeftButton);
        QTest::mouseClick(panel->suggestButton(), Qt::LeftButton);
        panel->recursiveBox()->setChecked(true);
        panel->stackBox()->setChecked(stack);
        QCOMPARE(panel->problemText(), QString());
    }

private slots:
    void initTestCase() { StartProgram(); }
    void init() { StartCase(); }

    void choicesMadeInThePanelSurviveARestart() {
        const QString out = QString::fromStdString(*dir / "out");
        {
            CQuillfenDlg dlg(&services);
            QCOMPARE(dlg.outputChoices(), OutputChoices());  // nothing chosen yet: today's outputs
            services.onModal = [&](QDialog& d) { FillPanel(d, out, true); };
            dlg.OnOutputOptions();
        }
        CQuillfenDlg again(&services);
        const OutputChoices c = again.outputChoices();
        QCOMPARE(c.layout, Layout::kPortable);
        QCOMPARE(c.compression, Compression::kZstd);
        QCOMPARE(c.pixelSize, QStringLiteral("6.5um"));
        QCOMPARE(c.outputDir, out);
        QCOMPARE(c.namePattern, QStringLiteral("{stem}_{frame:04}"));
        QVERIFY(c.recursive);
        QVERIFY(c.stack);
    }

    void levelIsOfferedForDeflateAndZstdOnlyAndSurvivesARestartIntoTheRun() {
        {
            CQuillfenDlg dlg(&services);
            services.onModal = [&](QDialog& d) {
                auto* panel = qobject_cast<COutputOptionsDlg*>(&d);
                QVERIFY(panel);
                QComboBox* codecs = panel->compressionBox();
                QStringList offered;
                for (int i = 0; i < codecs->count(); ++i) {
                    codecs->setCurrentIndex(i);
                    if (panel->levelBox()->isEnabled()) offered << codecs->currentData().toString();
                }
                QCOMPARE(offered, (QStringList{QStringLiteral("deflate"), QStringLiteral("zstd")}));
                codecs->setCurrentIndex(codecs->findData(QStringLiteral("zstd")));
                QCOMPARE(panel->levelBox()->value(), 0);  // the codec's default until one is chosen
                panel->levelBox()->setValue(15);
                QCOMPARE(panel->problemText(), QString());
            };
            dlg.OnOutputOptions();
        }
        CQuillfenDlg again(&services);
        const OutputChoices c = again.outputChoices();
        QCOMPARE(c.compression, Compression::kZstd);
        QCOMPARE(c.level, 15);
        RunOptions run;
        QCOMPARE(c.Fill(run), QString());
        QCOMPARE(run.exportOptions.level, 15);
        QVERIFY2(c.Summary().contains(QStringLiteral("zstd level 15")), qPrintable(c.Summary()));
    }

    void cancelledPanelChangesNothing() {
        CQuillfenDlg dlg(&services);
        services.modalResult = QDialog::Rejected;
        services.onModal = [&](QDialog& d) { FillPanel(d, QStringLiteral("/elsewhere")); };
        dlg.OnOutputOptions();
        QCOMPARE(dlg.outputChoices(), OutputChoices());
        QCOMPARE(OutputChoices::Load(QSettings()), OutputChoices());
    }

    void panelRefusesWhatCannotBeWrittenAndSaysWhy() {
        OutputChoices exactWithSize;
        exactWithSize.pixelSize = QStringLiteral("6.5um");
        COutputOptionsDlg panel(exactWithSize, services);
        QVERIFY(panel.problemText().contains(QStringLiteral("portable layout")));
        panel.accept();
        QCOMPARE(panel.result(), int(QDialog::Rejected));  // stays open
        panel.stackBox()->setChecked(true);  // a stack takes a pixel size in either layout
        QCOMPARE(panel.problemText(), QString());
        panel.stackBox()->setChecked(false);
        panel.layoutBox()->setCurrentIndex(1);
        QCOMPARE(panel.problemText(), QString());
        panel.pixelSizeField()->setText(QStringLiteral("6.5 furlongs"));
        QVERIFY(panel.problemText().contains(QStringLiteral("is no pixel size")));
        panel.pixelSizeField()->clear();
        panel.patternField()->setText(QStringLiteral("{nope}"));
        QVERIFY(panel.problemText().startsWith(QStringLiteral("Name pattern:")));
        panel.patternField()->clear();
        panel.accept();
        QCOMPARE(panel.result(), int(QDialog::Accepted));
    }

    // Qt sets the C library's locale from the user's; a German desktop's decimal comma
    // must not turn "6.5um" away.
    void pixelSizeReadsTheSameInACommaDecimalLocale() {
        const std::string before = std::setlocale(LC_NUMERIC, nullptr);
        if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") || *std::localeconv()->decimal_point != ',') {
            std::setlocale(LC_NUMERIC, before.c_str());
            QSKIP("de_DE.UTF-8 is not installed (localedef -i de_DE -f UTF-8 de_DE.UTF-8)");
        }
        OutputChoices portable;
        portable.layout = Layout::kPortable;
        COutputOptionsDlg panel(portable, services);
        QStringList problems;
        for (const char* text : {"6.5um", "6.5x7.25\xC2\xB5m", "6.5\xCE\xBCm", "0.0065mm"}) {
            panel.pixelSizeField()->setText(QString::fromUtf8(text));
            if (!panel.problemText().isEmpty()) problems << panel.problemText();
        }
        panel.pixelSizeField()->setText(QStringLiteral("0.001nm"));
        const QString tooSmall = panel.problemText();
        std::setlocale(LC_NUMERIC, before.c_str());
        QCOMPARE(problems, QStringList());
        QVERIFY2(tooSmall.contains(QStringLiteral("from 0.0023284 nm")), qPrintable(tooSmall));
    }

    void runWritesIntoTheChosenFolderByPatternAndReportsTheChoices() {
        QVERIFY(test::Synth(*dir, "a.orx", 2, 8, 4));
        const QString out = QString::fromStdString(*dir / "out");
        CQuillfenDlg dlg(&services);
        dlg.runSettings().pause = [](std::chrono::milliseconds) {};
        services.onModal = [&](QDialog& d) {
            if (qobject_cast<COutputOptionsDlg*>(&d)) FillPanel(d, out);
        };
        dlg.OnOutputOptions();
        services.folder = QString::fromStdString(dir->path());
        QTest::mouseClick(qobject_cast<QAbstractButton*>(dlg.Item(kIdChooseDirectory)), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.running(), 30000);
        QCOMPARE(services.warnings, QStringList());
        QCOMPARE(test::Entries(dir->path()), (std::vector<std::string>{"a.orx", "out"}));
        QCOMPARE(test::Entries(*dir / "out"), (std::vector<std::string>{"a_0000.tiff", "a_0001.tiff"}));
        TIFF* tif = TIFFOpen((*dir / "out/a_0000.tiff").c_str(), "r");
        QVERIFY(tif);
        std::uint16_t orientation = 0, compression = 0;
        TIFFGetField(tif, TIFFTAG_ORIENTATION, &orientation);
        TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
        TIFFClose(tif);
        QCOMPARE(orientation, std::uint16_t{ORIENTATION_TOPLEFT});
        QCOMPARE(compression, std::uint16_t{COMPRESSION_ZSTD});
        dlg.OnShowReport();
        QVERIFY(!services.reportLines.isEmpty());
        const QString first = services.reportLines.first();
        QVERIFY2(first.contains(QStringLiteral("layout portable")) && first.contains(QStringLiteral("zstd")) &&
                     first.contains(QStringLiteral("pixel size 6.5um")) && first.contains(QStringLiteral("{stem}_{frame:04}")),
                 qPrintable(first));
    }

    // A stack per data file, plain or as an OME-TIFF forced into BigTIFF: the file is what
    // was asked for (read back through libtiff), and the choices outlive the window.
    void stackChoicesWriteOneTiffPerDataFileAsAskedAndSurviveARestart() {
        QVERIFY(test::Synth(*dir, "a.orx", 3, 8, 4));
        const struct {
            bool omeBigTiff;
            const char* folder;
            const char* name;
        } cases[] = {{false, "out", "a_0000.tiff"}, {true, "ome", "a_0000.ome.tif"}};
        for (const auto& c : cases) {
            const QString out = QString::fromStdString(*dir / c.folder);
            {
                CQuillfenDlg dlg(&services);
                dlg.runSettings().pause = [](std::chrono::milliseconds) {};
                services.onModal = [&](QDialog& d) {
                    FillPanel(d, out, true);
                    auto* panel = qobject_cast<COutputOptionsDlg*>(&d);
                    panel->omeBox()->setChecked(c.omeBigTiff);
                    panel->bigTiffBox()->setChecked(c.omeBigTiff);
                    QCOMPARE(panel->problemText(), QString());
                };
                dlg.OnOutputOptions();
                services.folder = QString::fromStdString(dir->path());
                QTest::mouseClick(qobject_cast<QAbstractButton*>(dlg.Item(kIdChooseDirectory)), Qt::LeftButton);
                QTRY_VERIFY_WITH_TIMEOUT(!dlg.running(), 30000);
                QCOMPARE(services.warnings, QStringList());
            }
            QCOMPARE(test::Entries(*dir / c.folder), (std::vector<std::string>{c.name}));
            const std::string path = *dir / c.folder + "/" + c.name;
            TIFF* tif = TIFFOpen(path.c_str(), "r");
            QVERIFY(tif);
            QCOMPARE(int(TIFFNumberOfDirectories(tif)), 3);
            QCOMPARE(bool(TIFFIsBigTIFF(tif)), c.omeBigTiff);
            char* description = nullptr;
            QVERIFY(TIFFGetField(tif, TIFFTAG_IMAGEDESCRIPTION, &description) == 1);
            QCOMPARE(std::string(description).find("<OME") != std::string::npos, c.omeBigTiff);
            TIFFClose(tif);
            CQuillfenDlg again(&services);
            QCOMPARE(again.outputChoices().ome, c.omeBigTiff);
            QCOMPARE(again.outputChoices().bigTiff, c.omeBigTiff);
        }
    }

    void inputBitsFramesAndEntryChoicesSurviveARestartAndReachTheRun() {
        QVERIFY(test::Synth(*dir, "a.orx", 3, 8, 4));
        QVERIFY(test::Synth(*dir, "skip1.orx", 2, 8, 4));
        test::WriteBytes(*dir / "a.orx.json", {'{', '}'});  // a sidecar: no data file
        {
            CQuillfenDlg dlg(&services);
            services.onModal = [&](QDialog& d) {
                auto* panel = qobject_cast<COutputOptionsDlg*>(&d);
                QVERIFY(panel);
                panel->inputBitsBox()->setValue(12);
                panel->framesField()->setText(QStringLiteral("1-"));
                panel->excludeField()->setText(QStringLiteral("skip*;  calib* "));
                panel->onlyOrxBox()->setChecked(true);
                QCOMPARE(panel->problemText(), QString());
            };
            dlg.OnOutputOptions();
        }
        CQuillfenDlg dlg(&services);
        const OutputChoices c = dlg.outputChoices();
        QCOMPARE(c.inputBits, 12);
        QCOMPARE(c.frames, QStringLiteral("1-"));
        QCOMPARE(c.ExcludeGlobs(), (QStringList{QStringLiteral("skip*"), QStringLiteral("calib*")}));
        QVERIFY(c.onlyOrx);

        dlg.runSettings().pause = [](std::chrono::milliseconds) {};
        services.onModal = nullptr;
        services.folder = QString::fromStdString(dir->path());
        QTest::mouseClick(qobject_cast<QAbstractButton*>(dlg.Item(kIdChooseDirectory)), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.running(), 30000);
        QCOMPARE(services.warnings, QStringList());  // the sidecar is no failure
        // Frames 1 and 2 only, under their usual names; skip1.orx passed over.
        QCOMPARE(test::Entries(dir->path()),
                 (std::vector<std::string>{"a.orx", "a.orx.json", "a1.tiff", "a2.tiff", "skip1.orx"}));
        QCOMPARE(dlg.runSettings().inputBits, 12);
        QCOMPARE(dlg.runSettings().exclude, (std::vector<std::string>{"skip*", "calib*"}));
        QVERIFY(dlg.runSettings().onlyOrx);
        dlg.OnShowReport();
        QVERIFY(!services.reportLines.isEmpty());
        const QString first = services.reportLines.first();
        QVERIFY2(first.contains(QStringLiteral("input bits 12")) && first.contains(QStringLiteral("frames 1-")) &&
                     first.contains(QStringLiteral("passing over skip* calib*")) &&
                     first.contains(QStringLiteral("*.orx only")),
                 qPrintable(first));
    }

    void panelRefusesAFrameListItCannotReadAndTheDefaultsAreTodays() {
        COutputOptionsDlg panel(OutputChoices(), services);
        QCOMPARE(panel.inputBitsBox()->value(), 16);
        QCOMPARE(panel.inputBitsBox()->minimum(), 8);
        QCOMPARE(panel.inputBitsBox()->maximum(), 16);
        panel.framesField()->setText(QStringLiteral("9-3"));
        QVERIFY2(panel.problemText().startsWith(QStringLiteral("Frames:")), qPrintable(panel.problemText()));
        panel.accept();
        QCOMPARE(panel.result(), int(QDialog::Rejected));
        panel.framesField()->setText(QStringLiteral("0-9,20,30-"));
        QCOMPARE(panel.problemText(), QString());
        BatchSettings settings;
        QVERIFY(panel.choices().ApplyTo(settings));
        QVERIFY(!settings.frames.all());
        QVERIFY(settings.frames.Contains(20) && settings.frames.Contains(31) && !settings.frames.Contains(10));
        QCOMPARE(settings.inputBits, 16);
        QVERIFY(settings.exclude.empty());
        QVERIFY(!settings.onlyOrx);
    }

private:
    // scan1, scan11 and scan12 of 3 frames: frame 1 and 2 of scan1 take the names of frame 0
    // of scan11 and scan12 (scan11.tiff, scan12.tiff).
    void CollidingSeries() {
        for (const char* name : {"scan1.orx", "scan11.orx", "scan12.orx"}) QVERIFY(test::Synth(*dir, name, 3));
    }
    void RunOver(CQuillfenDlg& dlg) {
        dlg.runSettings().pause = [](std::chrono::milliseconds) {};
        services.folder = QString::fromStdString(dir->path());
        QTest::mouseClick(qobject_cast<QAbstractButton*>(dlg.Item(kIdChooseDirectory)), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.running(), 30000);
    }

private slots:
    void collisionsAheadOfferThePatternAndYesNamesThisRunAndLaterOnes() {
        CollidingSeries();
        services.answer = true;
        {
            CQuillfenDlg dlg(&services);
            RunOver(dlg);
            QCOMPARE(services.questions,
                     QStringList{QStringLiteral("2 frames would not be written: their names are taken by other frames. "
                                                "Name the outputs {stem}_{frame:04}?")});
            QCOMPARE(services.warnings, QStringList());
            QCOMPARE(int(test::Outputs(*dir).size()), 9);
            QVERIFY(test::FileExists(*dir / "scan11_0000.tiff"));
            QCOMPARE(dlg.outputChoices().namePattern, QStringLiteral("{stem}_{frame:04}"));
            QVERIFY2(dlg.optionsLine()->text().contains(QStringLiteral("names {stem}_{frame:04}")),
                     qPrintable(dlg.optionsLine()->text()));
            dlg.OnShowReport();
            QVERIFY2(services.reportLines.first().contains(QStringLiteral("names {stem}_{frame:04}")),
                     qPrintable(services.reportLines.first()));
        }
        // Remembered: the next start names by the pattern and asks nothing.
        QCOMPARE(OutputChoices::Load(QSettings()).namePattern, QStringLiteral("{stem}_{frame:04}"));
        CQuillfenDlg again(&services);
        QVERIFY(again.optionsLine()->text().contains(QStringLiteral("names {stem}_{frame:04}")));
        RunOver(again);
        QCOMPARE(services.questions.size(), 1);
    }

    // day1/scan.orx and day2/scan.orx of `frames` frames each, converted into `out` with
    // subfolders; `more` adds to those choices.
    void DayFolders(const test::TempFolder& out, std::uint32_t frames,
                    const std::function<void(OutputChoices&)>& more) {
        for (const char* day : {"day1", "day2"}) {
            QVERIFY(QDir().mkpath(QString::fromStdString(*dir / day)));
            QVERIFY(test::Synth(*dir, std::string(day) + "/scan.orx", frames));
        }
        OutputChoices c;
        c.recursive = true;
        c.outputDir = QString::fromStdString(out.path());
        more(c);
        QSettings settings;
        c.Save(settings);
    }
    static int Tiffs(const std::string& folder) {
        int n = 0;
        for (const std::string& name : test::Entries(folder)) n += name.ends_with(".tiff");
        return n;
    }

    // A pattern of the stem and frame cannot tell day1's scan from day2's: only the folder can.
    void dayFoldersIntoOneOutputFolderOfferMirroringAndYesWritesEveryFrame() {
        test::TempFolder out;
        DayFolders(out, 8, [](OutputChoices&) {});
        services.answer = true;
        CQuillfenDlg dlg(&services);
        QCOMPARE(dlg.optionsLine()->text().contains(QStringLiteral("subfolders mirrored")), false);
        RunOver(dlg);
        QCOMPARE(services.questions.size(), 1);
        QVERIFY2(services.questions[0].startsWith(QStringLiteral("8 frames would not be written")),
                 qPrintable(services.questions[0]));
        QVERIFY(services.questions[0].contains(QStringLiteral("same subfolder of the output folder")));
        QCOMPARE(services.warnings, QStringList());
        QCOMPARE(Tiffs(out / "day1"), 8);
        QCOMPARE(Tiffs(out / "day2"), 8);
        QVERIFY(test::FileExists(out / "day2/scan7.tiff"));  // the usual names
        QVERIFY(dlg.outputChoices().mirror);
        QVERIFY(OutputChoices::Load(QSettings()).mirror);
        QVERIFY(dlg.optionsLine()->text().contains(QStringLiteral("subfolders mirrored")));
    }

    // With names by a pattern, the offer keeps them flat and puts the folder in the name; a
    // stack is one output per data file, so one stack is at stake, not its frames.
    void dayFolderStacksByPatternOfferTheFolderInTheName() {
        test::TempFolder out;
        DayFolders(out, 5, [](OutputChoices& c) {
            c.stack = true;
            c.namePattern = QStringLiteral("{stem}");
        });
        services.answer = true;
        CQuillfenDlg dlg(&services);
        RunOver(dlg);
        QCOMPARE(services.questions.size(), 1);
        QVERIFY2(services.questions[0].startsWith(QStringLiteral("1 stack would not be written")),
                 qPrintable(services.questions[0]));
        QVERIFY(services.questions[0].endsWith(QStringLiteral("Name the outputs {dir}_{stem}?")));
        QCOMPARE(services.warnings, QStringList());
        QCOMPARE(Tiffs(out.path()), 2);
        QCOMPARE(dlg.outputChoices().namePattern, QStringLiteral("{dir}_{stem}"));
        QVERIFY2(dlg.optionsLine()->text().contains(QStringLiteral("names {dir}_{stem}")),
                 qPrintable(dlg.optionsLine()->text()));
        QVERIFY(dlg.optionsLine()->toolTip().contains(QStringLiteral("names {dir}_{stem}")));
    }

    void mirrorNeedsSubfoldersAndAFolderAndBothChoicesSurviveARestart() {
        {
            CQuillfenDlg dlg(&services);
            QCOMPARE(dlg.optionsLine()->text(), QStringLiteral("Output options: the defaults"));
            services.onModal = [&](QDialog& d) {
                auto* panel = qobject_cast<COutputOptionsDlg*>(&d);
                QVERIFY(panel);
                panel->mirrorBox()->setChecked(true);
                QVERIFY(panel->problemText().startsWith(QStringLiteral("Mirroring subfolders needs")));
                panel->recursiveBox()->setChecked(true);
                QVERIFY(panel->problemText().startsWith(QStringLiteral("Mirroring subfolders needs")));
                panel->folderField()->setText(QStringLiteral("/out"));
                QCOMPARE(panel->problemText(), QString());
                panel->recursiveBox()->setChecked(false);
                QVERIFY(!panel->problemText().isEmpty());
                panel->recursiveBox()->setChecked(true);
                panel->salvageBox()->setChecked(true);
            };
            dlg.OnOutputOptions();
            QVERIFY(dlg.optionsLine()->toolTip().contains(QStringLiteral("subfolders mirrored")));
        }
        CQuillfenDlg again(&services);
        QVERIFY(again.outputChoices().mirror);
        QVERIFY(again.outputChoices().salvage);
        BatchSettings settings;
        QVERIFY(again.outputChoices().ApplyTo(settings));
        QVERIFY(settings.mirror);
    }

    // 3 complete frames of 8 and a piece of the fourth (an aborted acquisition), 6 x 4.
    void WriteCutOff(const std::string& path) {
        OrxHeader header;
        header.width = 6;
        header.height = 4;
        header.frameCount = 8;
        OrxWriter writer(path, header);
        std::vector<std::uint16_t> samples(header.storedSamples(), 100);
        for (int f = 0; f < 3; ++f) QVERIFY(writer.WriteFrame(samples.data()));
        QVERIFY(writer.FinishCutOff(samples.data(), 7).ok());
    }

    // The salvaging control serves the run's one job and each worker of several alike.
    void salvageConvertsTheCompleteFramesAndTheReportNamesTheMissingOnes() {
        for (int jobs : {1, 2}) {
            StartCase();
            WriteCutOff(*dir / "scan.orx");
            OutputChoices c;
            c.salvage = true;
            QSettings settings;
            c.Save(settings);
            CQuillfenDlg dlg(&services);
            dlg.runSettings().jobs = jobs;
            RunOver(dlg);
            QCOMPARE(test::Outputs(*dir), (std::vector<std::string>{"scan.tiff", "scan1.tiff", "scan2.tiff"}));
            QCOMPARE(services.warnings.size(), 1);
            QVERIFY2(services.warnings[0].contains(QStringLiteral(
                         "scan.orx: the file ends inside frame 3: 5 of 8 frames missing (the complete ones were "
                         "converted)")),
                     qPrintable(services.warnings[0]));
            dlg.OnShowReport();
            QVERIFY(services.reportLines.join('\n').contains(QStringLiteral("5 of 8 frames missing")));
        }
        // Without it the file is refused whole, as before, and the message says what saves it.
        StartCase();
        WriteCutOff(*dir / "scan.orx");
        CQuillfenDlg dlg(&services);
        RunOver(dlg);
        QCOMPARE(test::Outputs(*dir), std::vector<std::string>{});
        QCOMPARE(services.warnings.size(), 1);
        QVERIFY2(services.warnings[0].endsWith(QStringLiteral(
                     "1 data file ends inside a frame (cut off): with \"Convert the complete frames of cut-off files\" "
                     "in Output Options their complete frames are converted.")),
                 qPrintable(services.warnings[0]));
    }

    // QFormLayout gives a label made from a string beside a row of several widgets no
    // buddy: it would show "&" and its Alt key would do nothing.
    void folderAndPatternLabelsTakeTheirAltKeys() {
        COutputOptionsDlg panel(OutputChoices(), services);
        for (auto [text, field] : {std::pair{QStringLiteral("Output &folder:"), panel.folderField()},
                                   std::pair{QStringLiteral("&Name pattern:"), panel.patternField()}}) {
            QLabel* label = nullptr;
            for (QLabel* l : panel.findChildren<QLabel*>()) {
                if (l->text() == text) label = l;
            }
            QVERIFY2(label, qPrintable(text));
            QCOMPARE(label->buddy(), field);
        }
        panel.show();
        panel.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&panel));
        QTest::keyClick(&panel, Qt::Key_F, Qt::AltModifier);
        QTRY_COMPARE(QApplication::focusWidget(), panel.folderField());
        QTest::keyClick(&panel, Qt::Key_N, Qt::AltModifier);
        QTRY_COMPARE(QApplication::focusWidget(), panel.patternField());
    }

    void noRunsAsIsAndCleanFoldersAskNothing() {
        CollidingSeries();
        services.answer = false;
        CQuillfenDlg dlg(&services);
        RunOver(dlg);
        QCOMPARE(services.questions.size(), 1);
        QCOMPARE(int(test::Outputs(*dir).size()), 7);  // two frames refused, as before
        QVERIFY(!test::FileExists(*dir / "scan11_0000.tiff"));
        QCOMPARE(dlg.outputChoices().namePattern, QString());
        QCOMPARE(OutputChoices::Load(QSettings()).namePattern, QString());

        test::TempFolder clean;
        QVERIFY(test::Synth(clean, "a.orx", 3));
        services.questions.clear();
        services.folder = QString::fromStdString(clean.path());
        QTest::mouseClick(qobject_cast<QAbstractButton*>(dlg.Item(kIdChooseDirectory)), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.running(), 30000);
        QCOMPARE(services.questions, QStringList());
        QCOMPARE(int(test::Outputs(clean).size()), 3);
    }

    void contextMenuAndButtonOpenThePanel() {
        CQuillfenDlg dlg(&services);
        QAction* options = nullptr;
        for (QAction* a : dlg.actions()) {
            if (a->text().contains(QStringLiteral("Output options"))) options = a;
        }
        QVERIFY(options);
        options->trigger();
        auto* button = dlg.findChild<QPushButton*>(QStringLiteral("outputOptions"));
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(services.modalTitles, (QStringList{QStringLiteral("Output Options"), QStringLiteral("Output Options")}));
    }
};

}  // namespace qf

QTEST_MAIN(qf::OutputOptionsDlgTest)
#include "output_options_dlg_test.moc"
