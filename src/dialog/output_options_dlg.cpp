#include "dialog/output_options_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSpinBox>
#include <QVBoxLayout>

#include "convert/frame_selection.h"
#include "convert/output_namer.h"
#include "dialog/dialog_services.h"
#include "export/page_encoder.h"

namespace qf {
namespace {

const char* const kLayoutKey = "output/layout";
const char* const kCompressionKey = "output/compression";
const char* const kLevelKey = "output/level";
const char* const kPixelSizeKey = "output/pixelSize";
const char* const kFolderKey = "output/folder";
const char* const kPatternKey = "output/namePattern";
const char* const kRecursiveKey = "output/recursive";
const char* const kStackKey = "output/stack";
const char* const kPredictorKey = "output/predictor";
const char* const kOmeKey = "output/ome";
const char* const kBigTiffKey = "output/bigTiff";
const char* const kInputBitsKey = "output/inputBits";
const char* const kFramesKey = "output/frames";
const char* const kExcludeKey = "output/exclude";
const char* const kOnlyOrxKey = "output/onlyOrx";
const char* const kMirrorKey = "output/mirror";
const char* const kSalvageKey = "output/salvage";
const char* const kKeepWatchingKey = "output/keepWatching";
using present::kCompressions;
using present::kSuggestedPattern;

std::string Narrow(const QString& text) { return text.toUtf8().toStdString(); }

}  // namespace

OutputChoices OutputChoices::Load(const QSettings& settings) {
    OutputChoices c;
    // A value that is no longer understood falls back to the default, never fails a start.
    if (auto layout = ParseLayout(Narrow(settings.value(QLatin1String(kLayoutKey)).toString())); layout.ok()) {
        c.layout = layout.value();
    }
    if (auto compression = ParseCompression(Narrow(settings.value(QLatin1String(kCompressionKey)).toString()));
        compression.ok()) {
        c.compression = compression.value();
    }
    c.level = present::KeptLevel(c.compression, settings.value(QLatin1String(kLevelKey), 0).toLongLong());
    c.pixelSize = settings.value(QLatin1String(kPixelSizeKey)).toString();
    c.outputDir = settings.value(QLatin1String(kFolderKey)).toString();
    c.namePattern = settings.value(QLatin1String(kPatternKey)).toString();
    c.recursive = settings.value(QLatin1String(kRecursiveKey), false).toBool();
    c.stack = settings.value(QLatin1String(kStackKey), false).toBool();
    c.predictor = settings.value(QLatin1String(kPredictorKey), false).toBool();
    c.ome = settings.value(QLatin1String(kOmeKey), false).toBool();
    c.bigTiff = settings.value(QLatin1String(kBigTiffKey), false).toBool();
    const int bits = settings.value(QLatin1String(kInputBitsKey), 16).toInt();
    c.inputBits = bits >= 8 && bits <= 16 ? bits : 16;
    c.frames = settings.value(QLatin1String(kFramesKey)).toString();
    c.exclude = settings.value(QLatin1String(kExcludeKey)).toString();
    c.onlyOrx = settings.value(QLatin1String(kOnlyOrxKey), false).toBool();
    c.mirror = settings.value(QLatin1String(kMirrorKey), false).toBool();
    c.salvage = settings.value(QLatin1String(kSalvageKey), false).toBool();
    c.keepWatching = settings.value(QLatin1String(kKeepWatchingKey), false).toBool();
    return c;
}

void OutputChoices::Save(QSettings& settings) const {
    settings.setValue(QLatin1String(kLayoutKey), QLatin1String(LayoutName(layout)));
    settings.setValue(QLatin1String(kCompressionKey), QLatin1String(CompressionName(compression)));
    settings.setValue(QLatin1String(kLevelKey), level);
    settings.setValue(QLatin1String(kPixelSizeKey), pixelSize);
    settings.setValue(QLatin1String(kFolderKey), outputDir);
    settings.setValue(QLatin1String(kPatternKey), namePattern);
    settings.setValue(QLatin1String(kRecursiveKey), recursive);
    settings.setValue(QLatin1String(kStackKey), stack);
    settings.setValue(QLatin1String(kPredictorKey), predictor);
    settings.setValue(QLatin1String(kOmeKey), ome);
    settings.setValue(QLatin1String(kBigTiffKey), bigTiff);
    settings.setValue(QLatin1String(kInputBitsKey), inputBits);
    settings.setValue(QLatin1String(kFramesKey), frames);
    settings.setValue(QLatin1String(kExcludeKey), exclude);
    settings.setValue(QLatin1String(kOnlyOrxKey), onlyOrx);
    settings.setValue(QLatin1String(kMirrorKey), mirror);
    settings.setValue(QLatin1String(kSalvageKey), salvage);
    settings.setValue(QLatin1String(kKeepWatchingKey), keepWatching);
}

QStringList OutputChoices::ExcludeGlobs() const {
    return exclude.split(QRegularExpression(QStringLiteral("[\\s;]+")), Qt::SkipEmptyParts);
}

present::OutputSettings OutputChoices::Plain() const {
    present::OutputSettings plain;
    plain.layout = layout;
    plain.compression = compression;
    plain.level = level;
    plain.stack = stack;
    plain.predictor = predictor;
    plain.ome = ome;
    plain.bigTiff = bigTiff;
    plain.pixelSize = pixelSize.trimmed().toStdString();
    // File names in the system's encoding, as the run opens them.
    plain.outputDir = outputDir.isEmpty() ? std::string() : QFile::encodeName(outputDir).toStdString();
    plain.namePattern = namePattern.toStdString();
    plain.recursive = recursive;
    plain.mirror = mirror;
    plain.inputBits = inputBits;
    plain.frames = frames.trimmed().toStdString();
    plain.exclude = QFile::encodeName(ExcludeGlobs().join(QLatin1Char(' '))).toStdString();
    plain.onlyOrx = onlyOrx;
    plain.salvage = salvage;
    plain.keepWatching = keepWatching;
    return plain;
}

QString OutputChoices::Fill(RunOptions& run) const {
    return QString::fromStdString(present::ApplyOutputSettings(Plain(), run));
}

QString OutputChoices::Problem() const {
    BatchSettings scratch;
    return Fill(scratch);
}

bool OutputChoices::ApplyTo(BatchSettings& settings) const {
    BatchSettings filled = settings;
    if (!Fill(filled).isEmpty()) return false;
    settings = std::move(filled);
    return true;
}

QString OutputChoices::ReportLine() const { return QString::fromStdString(present::OutputReportLine(Plain())); }

QString OutputChoices::Summary() const { return QString::fromStdString(present::OutputSummary(Plain())); }

COutputOptionsDlg::COutputOptionsDlg(const OutputChoices& choices, DialogServices& services, QWidget* parent)
    : QDialog(parent), services_(services) {
    setWindowTitle(tr("Output Options"));
    layout_ = new QComboBox(this);
    layout_->addItem(tr("Exact (today's files, bottom row first)"), QLatin1String(LayoutName(Layout::kExact)));
    layout_->addItem(tr("Portable (top row first, shown right way up everywhere)"),
                     QLatin1String(LayoutName(Layout::kPortable)));
    layout_->setCurrentIndex(choices.layout == Layout::kPortable ? 1 : 0);
    compression_ = new QComboBox(this);
    for (Compression c : kCompressions) {
        // Each codec with the readers that open it, so that nobody picks one their program cannot.
        compression_->addItem(tr("%1 (%2)").arg(QLatin1String(CompressionName(c)),
                                                QString::fromStdString(CompressionReaders(c, false))),
                              QLatin1String(CompressionName(c)));
        if (c == choices.compression) compression_->setCurrentIndex(compression_->count() - 1);
    }
    level_ = new QSpinBox(this);
    level_->setSpecialValueText(tr("the codec's default"));
    predictor_ = new QCheckBox(tr("Horizontal predictor: smaller files; ImageJ 1.53t shows deflate with it wrong"), this);
    predictor_->setChecked(choices.predictor);
    predictor_->setToolTip(tr("GDAL, Pillow and tifffile undo the predictor; ImageJ 1.53t does after lzw, "
                              "not after deflate (16-bit samples)"));
    pixelSize_ = new QLineEdit(choices.pixelSize, this);
    pixelSize_->setPlaceholderText(tr("e.g. 6.5um, 650nm, 6.5x7um; empty for none"));
    folder_ = new QLineEdit(choices.outputDir, this);
    folder_->setPlaceholderText(tr("empty: beside the data"));
    browse_ = new QPushButton(tr("Browse..."), this);
    pattern_ = new QLineEdit(choices.namePattern, this);
    pattern_->setPlaceholderText(tr("empty: scan.tiff, scan1.tiff, ..."));
    suggest_ = new QPushButton(QLatin1String(kSuggestedPattern), this);
    suggest_->setToolTip(tr("Names such as scan_0000.tiff, scan_0001.tiff"));
    recursive_ = new QCheckBox(tr("Convert subfolders too"), this);
    recursive_->setChecked(choices.recursive);
    stack_ = new QCheckBox(tr("One multi-page TIFF per data file (a stack; TIFF kinds)"), this);
    stack_->setChecked(choices.stack);
    ome_ = new QCheckBox(tr("&OME-TIFF stacks (.ome.tif with its metadata; the portable layout)"), this);
    ome_->setChecked(choices.ome);
    bigTiff_ = new QCheckBox(tr("&BigTIFF stacks under 4 GiB too (larger stacks always are)"), this);
    bigTiff_->setChecked(choices.bigTiff);
    inputBits_ = new QSpinBox(this);
    inputBits_->setRange(8, 16);
    inputBits_->setValue(choices.inputBits);
    inputBits_->setToolTip(tr("12 for a 12-bit camera: the bitmap kinds then show its brightest samples white; "
                              "the TIFF kinds keep the intensities"));
    frames_ = new QLineEdit(choices.frames, this);
    frames_->setPlaceholderText(tr("empty: every frame; e.g. 0-9,20,30-"));
    exclude_ = new QLineEdit(choices.exclude, this);
    exclude_->setPlaceholderText(tr("e.g. *.json; calib*  (names passed over)"));
    onlyOrx_ = new QCheckBox(tr("Data files are only names ending in .orx (not scan1.orx.json)"), this);
    onlyOrx_->setChecked(choices.onlyOrx);
    mirror_ = new QCheckBox(tr("Mirror subfolders into the output folder"), this);
    mirror_->setChecked(choices.mirror);
    mirror_->setToolTip(tr("With an output folder and subfolders: day1/scan.orx and day2/scan.orx write into "
                           "day1/ and day2/ of the output folder, so that their names do not collide"));
    salvage_ = new QCheckBox(tr("Convert the complete frames of cut-off files (salvage)"), this);
    salvage_->setChecked(choices.salvage);
    salvage_->setToolTip(tr("A data file that ends inside a frame (an aborted acquisition) gives its complete "
                            "frames; the frames missing are listed in the report"));
    keepWatching_ = new QCheckBox(tr("Keep converting new files (until Cancel)"), this);
    keepWatching_->setChecked(choices.keepWatching);
    keepWatching_->setToolTip(tr("After the run the folder stays watched: each data file the camera writes is "
                                 "converted once it is complete and has not changed for 2 s"));
    problem_ = new QLabel(this);
    problem_->setWordWrap(true);

    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(folder_);
    folderRow->addWidget(browse_);
    auto* patternRow = new QHBoxLayout;
    patternRow->addWidget(pattern_);
    patternRow->addWidget(suggest_);
    auto* form = new QFormLayout;
    form->addRow(tr("&Layout:"), layout_);
    form->addRow(QString(), stack_);
    form->addRow(QString(), ome_);
    form->addRow(QString(), bigTiff_);
    form->addRow(tr("&Compression:"), compression_);
    form->addRow(tr("Compression le&vel:"), level_);
    form->addRow(QString(), predictor_);
    form->addRow(tr("&Pixel size:"), pixelSize_);
    // A label given as text to addRow(QString, QLayout*) gets no buddy: its '&' would show
    // and its Alt key would do nothing.
    auto* folderLabel = new QLabel(tr("Output &folder:"), this);
    folderLabel->setBuddy(folder_);
    auto* patternLabel = new QLabel(tr("&Name pattern:"), this);
    patternLabel->setBuddy(pattern_);
    form->addRow(folderLabel, folderRow);
    form->addRow(patternLabel, patternRow);
    form->addRow(QString(), recursive_);
    form->addRow(QString(), mirror_);
    form->addRow(tr("&Input bits:"), inputBits_);
    form->addRow(tr("F&rames:"), frames_);
    form->addRow(tr("&Exclude:"), exclude_);
    form->addRow(QString(), onlyOrx_);
    form->addRow(QString(), salvage_);
    form->addRow(QString(), keepWatching_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* column = new QVBoxLayout(this);
    column->addLayout(form);
    column->addWidget(problem_);
    column->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &COutputOptionsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &COutputOptionsDlg::reject);
    connect(browse_, &QPushButton::clicked, this, [this] { Browse(); });
    connect(suggest_, &QPushButton::clicked, this, [this] { pattern_->setText(QLatin1String(kSuggestedPattern)); });
    for (QLineEdit* field : {pixelSize_, folder_, pattern_, frames_}) {
        connect(field, &QLineEdit::textChanged, this, [this] { UpdateProblem(); });
    }
    for (QCheckBox* box : {stack_, ome_, bigTiff_, predictor_, recursive_, mirror_}) {
        connect(box, &QCheckBox::toggled, this, [this] { UpdateProblem(); });
    }
    connect(layout_, &QComboBox::currentIndexChanged, this, [this] { UpdateProblem(); });
    connect(compression_, &QComboBox::currentIndexChanged, this, [this] {
        UpdateLevel();
        UpdateProblem();
    });
    connect(level_, &QSpinBox::valueChanged, this, [this] { UpdateProblem(); });
    UpdateLevel();
    level_->setValue(choices.level);
    UpdateProblem();
}

OutputChoices COutputOptionsDlg::choices() const {
    OutputChoices c;
    c.layout = layout_->currentIndex() == 1 ? Layout::kPortable : Layout::kExact;
    c.compression = kCompressions[std::max(0, compression_->currentIndex())];
    // A level kept in a disabled box (lzw chosen after zstd) is no choice of this codec.
    c.level = level_->isEnabled() ? level_->value() : 0;
    c.pixelSize = pixelSize_->text().trimmed();
    c.outputDir = folder_->text().trimmed();
    c.namePattern = pattern_->text();
    c.recursive = recursive_->isChecked();
    c.stack = stack_->isChecked();
    c.predictor = predictor_->isChecked();
    c.ome = ome_->isChecked();
    c.bigTiff = bigTiff_->isChecked();
    c.inputBits = inputBits_->value();
    c.frames = frames_->text().trimmed();
    c.exclude = exclude_->text().trimmed();
    c.onlyOrx = onlyOrx_->isChecked();
    c.mirror = mirror_->isChecked();
    c.salvage = salvage_->isChecked();
    c.keepWatching = keepWatching_->isChecked();
    return c;
}

QString COutputOptionsDlg::problemText() const { return problem_->text(); }

void COutputOptionsDlg::accept() {
    UpdateProblem();
    if (!problem_->text().isEmpty()) return;
    QDialog::accept();
}

void COutputOptionsDlg::Browse() {
    const QString start = folder_->text().isEmpty() ? QDir::homePath() : folder_->text();
    const QString picked = services_.PickFolder(this, start);
    if (!picked.isEmpty()) folder_->setText(picked);
}

void COutputOptionsDlg::UpdateLevel() {
    const Compression c = kCompressions[std::max(0, compression_->currentIndex())];
    const LevelRange range = LevelsOf(c);
    level_->setEnabled(range.any());
    // 0 stands below the codec's range for "its default"; a value above the new codec's
    // highest (zstd's 19 for deflate) comes down to it, as a spin box does.
    level_->setRange(0, range.any() ? range.highest : 0);
    level_->setToolTip(range.any() ? tr("%1: %2").arg(QLatin1String(CompressionName(c)),
                                                      QString::fromStdString(LevelsText(c)))
                                   : tr("Only deflate and zstd take a level"));
}

void COutputOptionsDlg::UpdateProblem() { problem_->setText(choices().Problem()); }

}  // namespace qf
