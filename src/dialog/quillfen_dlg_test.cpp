// The converter dialog, driven offscreen: the folder picker, message boxes and modal
// runs go through a fake so that nothing blocks.
#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QtTest>

#include "tools/synthetic_beam.h"
#include "dialog/dialog_services.h"
#include "dialog/dialog_template.h"
#include "dialog/quillfen_dlg.h"
#include "test/temp_folder.h"

namespace qf {

struct FakeServices : DialogServices {
    QString folder;
    QStringList warnings;
    QStringList modalTitles;
    int picks = 0;
    QString PickFolder(QWidget*) override {
        ++picks;
        return folder;
    }
    void ShowWarning(QWidget*, const QString&, const QString& text) override { warnings << text; }
    int RunModal(QDialog& dialog) override {
        modalTitles << dialog.windowTitle();
        return QDialog::Accepted;
    }
};

// Records what a person would see each time the kind is asked for, and can change the
// radio choice between files as a person might.
class ProbedDialog : public CQuillfenDlg {
public:
    using CQuillfenDlg::CQuillfenDlg;
    std::vector<int> cursorShapes;
    std::function<void(int)> beforeRefresh;
    int refreshes = 0;

protected:
    int RefreshExportKind() override {
        if (beforeRefresh) beforeRefresh(refreshes);
        ++refreshes;
        const QCursor* cursor = QApplication::overrideCursor();
        cursorShapes.push_back(cursor ? cursor->shape() : -1);
        return CQuillfenDlg::RefreshExportKind();
    }
};

class QuillfenDlgTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::TempFolder> dir;
    FakeServices services;

    void Synth(const std::string& name, std::uint32_t frames) {
        BeamSettings s;
        s.width = 8;
        s.height = 4;
        s.frames = frames;
        QVERIFY(WriteSyntheticBeam(*dir / name, s).ok());
    }
    std::vector<std::string> Outputs() {
        std::vector<std::string> out;
        for (const auto& n : test::Entries(dir->path())) {
            if (!n.ends_with(".orx")) out.push_back(n);
        }
        return out;
    }
    void Prepare(CQuillfenDlg& dlg) {
        dlg.runSettings().settle = std::chrono::milliseconds(0);
        services.folder = QString::fromStdString(dir->path());
    }
    void Click(CQuillfenDlg& dlg, int id) {
        QTest::mouseClick(qobject_cast<QAbstractButton*>(dlg.Item(id)), Qt::LeftButton);
    }

private slots:
    void init() {
        dir = std::make_unique<test::TempFolder>();
        services = FakeServices();
    }

    void initialSelectionConvertsAsNormalizedTiff() {
        Synth("a.orx", 2);
        ProbedDialog dlg(&services);
        Prepare(dlg);
        QCOMPARE(dlg.m_exportKind, 0);
        QVERIFY(qobject_cast<QAbstractButton*>(dlg.Item(kIdFirstRadio))->isChecked());
        Click(dlg, kIdChooseDirectory);
        QCOMPARE(Outputs(), (std::vector<std::string>{"a.tiff", "a1.tiff"}));
        QVERIFY(services.warnings.isEmpty());
        QCOMPARE(dlg.cursorShapes, std::vector<int>{Qt::WaitCursor});
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void radioChoiceMadeBeforeTheClickGovernsTheFiles() {
        Synth("a.orx", 1);
        ProbedDialog dlg(&services);
        Prepare(dlg);
        Click(dlg, kIdFirstRadio + 3);
        QCOMPARE(dlg.m_exportKind, 0);  // follows at the next data exchange
        Click(dlg, kIdChooseDirectory);
        QCOMPARE(dlg.m_exportKind, 3);
        QCOMPARE(test::ReadBytes(*dir / "a.bmp").at(28), 24);
    }

    void exportKindIsRefreshedOncePerDataFile() {
        Synth("a.orx", 2);
        Synth("b.orx", 2);
        ProbedDialog dlg(&services);
        Prepare(dlg);
        dlg.beforeRefresh = [&](int file) {
            if (file == 1) Click(dlg, kIdFirstRadio + 2);
        };
        Click(dlg, kIdChooseDirectory);
        QCOMPARE(dlg.refreshes, 2);
        QCOMPARE(Outputs(), (std::vector<std::string>{"a.tiff", "a1.tiff", "b.bmp", "b1.bmp"}));
    }

    void cancelInThePickerWritesNothing() {
        Synth("a.orx", 1);
        ProbedDialog dlg(&services);
        Prepare(dlg);
        services.folder.clear();
        Click(dlg, kIdChooseDirectory);
        QCOMPARE(services.picks, 1);
        QVERIFY(Outputs().empty());
        QVERIFY(services.warnings.isEmpty());
        QCOMPARE(dlg.refreshes, 0);
    }

    void failingRunShowsOneMessageNamingTheFile() {
        Synth("a.orx", 1);
        test::WriteBytes(*dir / "broken.orx", {1, 2, 3});
        ProbedDialog dlg(&services);
        Prepare(dlg);
        Click(dlg, kIdChooseDirectory);
        QCOMPARE(services.warnings.size(), 1);
        QVERIFY(services.warnings[0].contains(QString::fromStdString(*dir / "broken.orx") +
                                              ": cannot load: not an ORX file"));
        QVERIFY(services.warnings[0].startsWith("Some files could not be converted."));
        QVERIFY(dlg.isVisible() || !dlg.result());  // the dialog stays
    }

    void uncreatableTiffStopsTheRunAndTheDialogStays() {
        Synth("a.orx", 2);
        QVERIFY(QDir().mkdir(QString::fromStdString(*dir / "a.tiff")));
        ProbedDialog dlg(&services);
        Prepare(dlg);
        dlg.show();
        Click(dlg, kIdChooseDirectory);
        QCOMPARE(services.warnings.size(), 1);
        QVERIFY(services.warnings[0].startsWith("The conversion stopped: a TIFF file could not be created."));
        QVERIFY(dlg.isVisible());
    }

    void aboutCommandOpensTheAboutBox() {
        ProbedDialog dlg(&services);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QTest::keyClick(&dlg, Qt::Key_F1);
        QCOMPARE(services.modalTitles, QStringList{"About Quillfen"});
        QCOMPARE(dlg.actions().size(), 1);
        QCOMPARE(dlg.actions()[0]->text(), QString("&About Quillfen..."));
        QCOMPARE(dlg.contextMenuPolicy(), Qt::ActionsContextMenu);
    }

    void itemsStandAtTheirTemplateRectanglesAndStayOnResize() {
        ProbedDialog dlg(&services);
        QCOMPARE(dlg.windowTitle(), QString("ORX File Converter"));
        const DialogUnits du = DialogUnits::ForFont(dlg.font());
        QCOMPARE(dlg.size(), QSize(du.X(kConverterWidthDu), du.Y(kConverterHeightDu)));
        std::map<int, QRect> before;
        for (const TemplateItem& item : ConverterTemplate()) {
            QWidget* w = dlg.Item(item.id);
            QVERIFY(w);
            const QRect want = du.Rect(item.dialogUnits);
            QCOMPARE(w->pos(), want.topLeft());
            QCOMPARE(w->height(), want.height());
            QVERIFY(w->width() >= want.width());
            before[item.id] = w->geometry();
        }
        dlg.resize(dlg.width() + 200, dlg.height() + 150);
        for (const TemplateItem& item : ConverterTemplate()) QCOMPARE(dlg.Item(item.id)->geometry(), before[item.id]);
        QVERIFY(!(dlg.windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(dlg.windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(dlg.Item(1000)->property("wrapperClass").toString(), QString("CGetdatactrl1"));
        QCOMPARE(dlg.Item(1006)->property("wrapperClass").toString(), QString("CProfilesctrl1"));
        QCOMPARE(dlg.Item(1002)->property("wrapperClass").toString(), QString(""));
    }

    void tabOrderFollowsTheTemplateWithoutRadioButtons() {
        ProbedDialog dlg(&services);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(QApplication::focusWidget(), dlg.Item(kIdOk));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), dlg.Item(kIdCancel));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), dlg.Item(kIdChooseDirectory));
    }

    void escapeCancelsAndEnterAcceptsWithDataExchange() {
        {
            ProbedDialog dlg(&services);
            dlg.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dlg));
            QTest::keyClick(&dlg, Qt::Key_Escape);
            QCOMPARE(dlg.result(), int(QDialog::Rejected));
            QVERIFY(!dlg.isVisible());
        }
        ProbedDialog dlg(&services);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        Click(dlg, kIdFirstRadio + 1);
        dlg.Item(kIdOk)->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.m_exportKind, 1);
    }

    // QUILLFEN_SCREENSHOT=path saves what a person sees, for the README.
    void screenshotWhenAsked() {
        const QByteArray path = qgetenv("QUILLFEN_SCREENSHOT");
        if (path.isEmpty()) QSKIP("QUILLFEN_SCREENSHOT not set");
        ProbedDialog dlg(&services);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QVERIFY(dlg.grab().save(QString::fromLocal8Bit(path)));
    }
};

}  // namespace qf

QTEST_MAIN(qf::QuillfenDlgTest)
#include "quillfen_dlg_test.moc"
