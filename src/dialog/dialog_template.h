// The converter dialog's template: every item with its rectangle in dialog units, in
// template order (which is also the tab order), and the About box's.
#pragma once

#include <QRect>
#include <QString>
#include <vector>

class QFont;

namespace qf {

enum class ItemKind { kPushButton, kDefaultPushButton, kHosted, kGroupBox, kRadioButton, kIcon, kStatic };

struct TemplateItem {
    int id;
    ItemKind kind;
    const char* text;
    QRect dialogUnits;  ///< x, y, width, height in dialog units

    /// The caption as the user reads it, through the translator ("qf::DialogTemplate").
    QString Caption() const;
};

inline constexpr int kConverterWidthDu = 315;
inline constexpr int kConverterHeightDu = 302;
inline constexpr int kAboutWidthDu = 170;
inline constexpr int kAboutHeightDu = 82;

inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdAcquisition = 1000;
inline constexpr int kIdFirstRadio = 1024;
inline constexpr int kIdChooseDirectory = 1028;

/// Template 102, the converter.
const std::vector<TemplateItem>& ConverterTemplate();
/// Template 100, the About box; its third line is ours to word.
const std::vector<TemplateItem>& AboutTemplate();

/// Dialog units to pixels for a font: x by a quarter of the average character width,
/// y by an eighth of the character height, rounded as the platform's MulDiv rounds.
class DialogUnits {
public:
    DialogUnits(int baseX, int baseY) : baseX_(baseX), baseY_(baseY) {}
    /// Base units of `font`: the average width of the 52 letters, and the height.
    static DialogUnits ForFont(const QFont& font);

    int X(int du) const;
    int Y(int du) const;
    QRect Rect(const QRect& du) const;
    int baseX() const { return baseX_; }
    int baseY() const { return baseY_; }

private:
    int baseX_, baseY_;
};

}  // namespace qf
