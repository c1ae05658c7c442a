#include "dialog/dialog_template.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QtGlobal>

namespace qf {

const std::vector<TemplateItem>& ConverterTemplate() {
    static const std::vector<TemplateItem> items = {
        {1, ItemKind::kDefaultPushButton, QT_TRANSLATE_NOOP("qf::DialogTemplate", "OK"), {193, 283, 50, 14}},
        {2, ItemKind::kPushButton, QT_TRANSLATE_NOOP("qf::DialogTemplate", "Cancel"), {251, 283, 50, 14}},
        {1000, ItemKind::kHosted, "", {0, 277, 51, 25}},
        {1001, ItemKind::kHosted, "", {4, 3, 149, 20}},
        {1002, ItemKind::kHosted, "", {4, 27, 148, 161}},
        {1003, ItemKind::kHosted, "", {291, 0, 24, 12}},
        {1004, ItemKind::kHosted, "", {204, 115, 60, 25}},
        {1005, ItemKind::kHosted, "", {203, 154, 60, 25}},
        {1006, ItemKind::kHosted, "", {12, 194, 134, 77}},
        {1007, ItemKind::kHosted, "", {166, 194, 134, 77}},
        {-1, ItemKind::kGroupBox, QT_TRANSLATE_NOOP("qf::DialogTemplate", "Convert All Orlix Files in a Directory to:"), {156, 22, 155, 79}},
        {1024, ItemKind::kRadioButton, QT_TRANSLATE_NOOP("qf::DialogTemplate", "Normalized TIFF"), {161, 35, 70, 10}},
        {1025, ItemKind::kRadioButton, QT_TRANSLATE_NOOP("qf::DialogTemplate", "Standardized TIFF"), {161, 46, 76, 10}},
        {1026, ItemKind::kRadioButton, QT_TRANSLATE_NOOP("qf::DialogTemplate", "Grayscale Bitmap"), {161, 57, 72, 10}},
        {1027, ItemKind::kRadioButton, QT_TRANSLATE_NOOP("qf::DialogTemplate", "Color Palette Bitmap"), {161, 68, 82, 10}},
        {1028, ItemKind::kPushButton, QT_TRANSLATE_NOOP("qf::DialogTemplate", "Choose Directory"), {191, 81, 87, 16}},
    };
    return items;
}

const std::vector<TemplateItem>& AboutTemplate() {
    static const std::vector<TemplateItem> items = {
        {-1, ItemKind::kIcon, "", {14, 14, 21, 20}},
        // %1: the program's version, as quillfen-cli --version gives it.
        {-1, ItemKind::kStatic, QT_TRANSLATE_NOOP("qf::DialogTemplate", "Quillfen, Version %1"), {42, 14, 114, 8}},
        {-1, ItemKind::kStatic, QT_TRANSLATE_NOOP("qf::DialogTemplate", "ORX frames to TIFF and BMP"), {42, 26, 114, 8}},
        // The word in the converter's group box caption, which stays as users know it.
        {-1, ItemKind::kStatic,
         QT_TRANSLATE_NOOP("qf::DialogTemplate",
                           "\"Orlix files\" are the camera's data files, whose names end in .orx."),
         {42, 38, 120, 18}},
        {1, ItemKind::kDefaultPushButton, QT_TRANSLATE_NOOP("qf::DialogTemplate", "OK"), {113, 61, 50, 14}},
    };
    return items;
}

QString TemplateItem::Caption() const {
    return text && *text ? QCoreApplication::translate("qf::DialogTemplate", text) : QString();
}

DialogUnits DialogUnits::ForFont(const QFont& font) {
    QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return DialogUnits((letters / 26 + 1) / 2, metrics.height());
}

// MulDiv(du, base, n): du x base / n rounded half away from zero.
static int MulDiv(int a, int b, int c) {
    const long long product = static_cast<long long>(a) * b;
    return static_cast<int>(product >= 0 ? (product + c / 2) / c : (product - c / 2) / c);
}

int DialogUnits::X(int du) const { return MulDiv(du, baseX_, 4); }
int DialogUnits::Y(int du) const { return MulDiv(du, baseY_, 8); }

QRect DialogUnits::Rect(const QRect& du) const {
    return QRect(X(du.x()), Y(du.y()), X(du.x() + du.width()) - X(du.x()),
                 Y(du.y() + du.height()) - Y(du.y()));
}

}  // namespace qf
