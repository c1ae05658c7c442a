// The "Output options..." panel of the converter: layout, stack, compression and its level, pixel size, where
// outputs go (a folder, empty for beside the data), a name pattern, recursion, the input
// bits, the frames converted, entries passed over and data files by their ".orx" ending. The
// choices are plain values (OutputChoices) that live in the settings and are applied to
// each run; the panel only edits them.
#pragma once

#include <QCoreApplication>
#include <QDialog>
#include <QString>
#include <QStringList>

#include "convert/batch_run.h"
#include "export/export_options.h"
#include "present/output_settings.h"

class QCheckBox;
class QSpinBox;
class QLabel;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSettings;

namespace qf {

class DialogServices;

/// What the panel chooses; the defaults give today's outputs beside the data.
struct OutputChoices {
    Q_DECLARE_TR_FUNCTIONS(OutputChoices)
public:
    Layout layout = Layout::kExact;
    Compression compression = Compression::kNone;
    int level = 0;       ///< the deflate or zstd level; 0 for the codec's usual one
    QString pixelSize;   ///< as typed, e.g. "6.5um"; empty for none
    QString outputDir;   ///< empty: beside the data
    QString namePattern; ///< empty: the fixed naming rule
    bool recursive = false;
    bool stack = false;  ///< one multi-page TIFF per data file (TIFF kinds; bitmaps stay a file per frame)
    bool ome = false;      ///< stacks as OME-TIFF (.ome.tif)
    bool bigTiff = false;  ///< stacks as BigTIFF under 4 GiB too
    bool predictor = false;  ///< the horizontal predictor before compression (misread by ImageJ)
    int inputBits = 16;  ///< the bits the camera's intensities use (8 to 16)
    QString frames;      ///< e.g. "0-9,20,30-"; empty for every frame
    QString exclude;     ///< globs separated by spaces or semicolons; empty for none
    bool onlyOrx = false;  ///< data files only when named "*.orx"
    bool mirror = false;   ///< each subfolder's outputs into the same subfolder of outputDir
    bool salvage = false;  ///< files cut off inside a frame convert their complete frames
    bool keepWatching = false;  ///< a finished run goes on converting new data files until Cancel

    /// The globs of `exclude`, one each.
    QStringList ExcludeGlobs() const;

    static OutputChoices Load(const QSettings& settings);
    void Save(QSettings& settings) const;
    /// Why these choices cannot be used, in words, or empty when they can.
    QString Problem() const;
    /// Puts the choices into a run's settings; false (and `settings` unchanged) when
    /// Problem() is not empty.
    bool ApplyTo(BatchSettings& settings) const;
    /// Puts the choices into `options` and says why they cannot be run (the shared rules of
    /// Validate, in the dialog's words), or empty when they can.
    QString Fill(RunOptions& options) const;
    /// The choices as the presentation layer holds them, file names in the system's encoding.
    present::OutputSettings Plain() const;
    /// One line for the report: "Output options: layout portable, compression zstd, ...".
    QString ReportLine() const;
    /// What differs from the defaults, short enough for a line of the main window
    /// ("Output options: names {stem}_{frame:04}, ..."; "...: the defaults" when nothing does).
    QString Summary() const;

    bool operator==(const OutputChoices&) const = default;
};

class COutputOptionsDlg : public QDialog {
    Q_OBJECT
public:
    /// Opens on `choices`; `services` (not owned) picks the output folder.
    COutputOptionsDlg(const OutputChoices& choices, DialogServices& services, QWidget* parent = nullptr);

    /// What the fields say now.
    OutputChoices choices() const;

    QComboBox* layoutBox() const { return layout_; }
    QComboBox* compressionBox() const { return compression_; }
    /// The compression level: enabled for deflate and zstd; 0 shows as the codec's default.
    QSpinBox* levelBox() const { return level_; }
    QLineEdit* pixelSizeField() const { return pixelSize_; }
    QLineEdit* folderField() const { return folder_; }
    QPushButton* browseButton() const { return browse_; }
    QLineEdit* patternField() const { return pattern_; }
    QPushButton* suggestButton() const { return suggest_; }
    QCheckBox* recursiveBox() const { return recursive_; }
    QCheckBox* stackBox() const { return stack_; }
    QSpinBox* inputBitsBox() const { return inputBits_; }
    QLineEdit* framesField() const { return frames_; }
    QLineEdit* excludeField() const { return exclude_; }
    QCheckBox* onlyOrxBox() const { return onlyOrx_; }
    QCheckBox* predictorBox() const { return predictor_; }
    QCheckBox* omeBox() const { return ome_; }
    QCheckBox* bigTiffBox() const { return bigTiff_; }
    QCheckBox* mirrorBox() const { return mirror_; }
    QCheckBox* salvageBox() const { return salvage_; }
    QCheckBox* keepWatchingBox() const { return keepWatching_; }
    /// The line under the fields that says what is wrong ("" when all is well).
    QString problemText() const;

public slots:
    /// Closes with Accepted only when the choices can be used; else says why and stays.
    void accept() override;

private:
    void Browse();
    void UpdateProblem();
    /// The level box for the compression chosen now: its range, enabled or not.
    void UpdateLevel();

    DialogServices& services_;
    QComboBox* layout_;
    QComboBox* compression_;
    QSpinBox* level_;
    QLineEdit* pixelSize_;
    QLineEdit* folder_;
    QPushButton* browse_;
    QLineEdit* pattern_;
    QPushButton* suggest_;
    QCheckBox* recursive_;
    QCheckBox* stack_;
    QCheckBox* predictor_;
    QCheckBox* ome_;
    QCheckBox* bigTiff_;
    QSpinBox* inputBits_;
    QLineEdit* frames_;
    QLineEdit* exclude_;
    QCheckBox* onlyOrx_;
    QCheckBox* mirror_;
    QCheckBox* salvage_;
    QCheckBox* keepWatching_;
    QLabel* problem_;
};

}  // namespace qf
