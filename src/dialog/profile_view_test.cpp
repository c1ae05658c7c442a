// The profiles scale to the data: 0 to 2^N - 1 for N-bit intensities (the bitmap kinds'
// scaled samples taken back to the camera's units), the frame's own range otherwise, and
// for the normalized kind what its output holds. A run through the dialog with input
// bits 12 on a 12-bit series shows the profiles on 0 to 4095.
#include <QAbstractButton>
#include <QSpinBox>
#include <QtTest>
#include <algorithm>

#include "control/getdata_ctrl.h"
#include "dialog/dialog_test_support.h"
#include "dialog/output_options_dlg.h"
#include "dialog/profile_view.h"
#include "dialog/quillfen_dlg.h"
#include "tools/synthetic_beam.h"

namespace qf {

using Values = std::vector<std::uint16_t>;
using Plotted = std::vector<std::uint32_t>;

class ProfileViewTest : public QObject, protected test::DialogFixture {
    Q_OBJECT

private:

private slots:
    void initTestCase() { StartProgram(); }
    void init() { StartCase(); }

    void sixteenBitsPlotTheValuesOnTheFramesOwnRange() {
        ProfileView view(ProfileView::Direction::kHorizontal, 1006, nullptr);
        view.ShowProfile(Values{10, 300, 4000, 20}, 3, 2, kStandardizedTiff, 16);
        QCOMPARE(view.plotted(), (Plotted{10, 300, 4000, 20}));
        QCOMPARE(view.axisTop(), 4000u);
        view.ShowProfile(Values{0, 0}, 0, 0, kStandardizedTiff, 16);
        QCOMPARE(view.axisTop(), 1u);  // a black frame still has an axis
        view.ShowProfile(Values{15 << 8, 255 << 8}, 0, 1, kGrayscaleBitmap, 16);
        QCOMPARE(view.axisTop(), 255u << 8);
    }

    void normalizedKindPlotsWhatItsOutputHolds() {
        ProfileView view(ProfileView::Direction::kVertical, 1007, nullptr);
        for (int bits : {16, 12}) {
            view.ShowProfile(Values{0, 1000, 4000, 3000}, 1, 2, kNormalizedTiff, bits);
            QCOMPARE(view.plotted(), (Plotted{0, 1000u * 65535u / 4000u, 65535, 3000u * 65535u / 4000u}));
            QCOMPARE(view.axisTop(), 65535u);
        }
        QCOMPARE(view.values(), (Values{0, 1000, 4000, 3000}));  // the values as pulled stay
    }

    void inputBitsPlotTheCamerasIntensitiesOnTheirRange() {
        ProfileView view(ProfileView::Direction::kHorizontal, 1006, nullptr);
        // Standardized: the intensities as they are; one above 12 bits sits at the top.
        view.ShowProfile(Values{0, 100, 4095, 5000}, 0, 3, kStandardizedTiff, 12);
        QCOMPARE(view.plotted(), (Plotted{0, 100, 4095, 4095}));
        QCOMPARE(view.axisTop(), 4095u);
        // Colour: the samples scaled by 16 in the pull (65535 when above 12 bits).
        view.ShowProfile(Values{0, 100 << 4, 4095 << 4, 65535}, 0, 3, kFalseColorBitmap, 12);
        QCOMPARE(view.plotted(), (Plotted{0, 100, 4095, 4095}));
        // Grayscale: the high byte of the scaled sample, x 256.
        view.ShowProfile(Values{0, (100 << 4) & 0xFF00, 0xFF00}, 0, 2, kGrayscaleBitmap, 12);
        QCOMPARE(view.plotted(), (Plotted{0, ((100 << 4) & 0xFF00) >> 4, 0xFF0}));
        QCOMPARE(view.axisTop(), 4095u);
        view.ShowProfile(Values{0, 200}, 0, 1, kStandardizedTiff, 8);
        QCOMPARE(view.axisTop(), 255u);
    }

    void dialogRunWithTwelveInputBitsShowsProfilesOnZeroTo4095() {
        BeamSettings s;
        s.width = 24;
        s.height = 16;
        s.frames = 2;
        s.bits = 12;
        QVERIFY(WriteSyntheticBeam(*dir / "a.orx", s).ok());
        CQuillfenDlg dlg(&services);
        services.onModal = [](QDialog& d) {
            if (auto* panel = qobject_cast<COutputOptionsDlg*>(&d)) panel->inputBitsBox()->setValue(12);
        };
        dlg.OnOutputOptions();
        services.onModal = nullptr;
        dlg.runSettings().pause = [](std::chrono::milliseconds) {};
        services.folder = QString::fromStdString(dir->path());
        QTest::mouseClick(qobject_cast<QAbstractButton*>(dlg.Item(kIdFirstRadio + kStandardizedTiff)), Qt::LeftButton);
        QTest::mouseClick(qobject_cast<QAbstractButton*>(dlg.Item(kIdChooseDirectory)), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.running(), 30000);
        QCOMPARE(services.warnings, QStringList());
        auto* across = static_cast<ProfileView*>(dlg.Item(1006));
        QCOMPARE(across->axisTop(), 4095u);
        const auto peak = *std::max_element(across->values().begin(), across->values().end());
        QVERIFY2(peak > 2048 && peak <= 4095, qPrintable(QString::number(peak)));  // a 12-bit beam
        QCOMPARE(*std::max_element(across->plotted().begin(), across->plotted().end()), std::uint32_t{peak});
    }
};

}  // namespace qf

QTEST_MAIN(qf::ProfileViewTest)
#include "profile_view_test.moc"
