#include "controls/cCommonDialog.h"

#include <QApplication>
#include <QColorDialog>
#include <QFontDialog>
#include <QPalette>
#include <QWidget>
#include <array>
#include <utility>

namespace Rules = CommonDialogRules;

namespace {

cCommonDialog::ColorHandler& colorHandler() {
    static cCommonDialog::ColorHandler installed;
    return installed;
}

WinColor::Value toValue(const QColor& color) {
    return WinColor::Rgb(color.red(), color.green(), color.blue());
}

QPalette paletteOf(const QWidget* owner) {
    return owner != nullptr ? owner->palette() : QApplication::palette();
}

cCommonDialog::ColorAnswer runColorDialog(const cCommonDialog::ColorRequest& request) {
    const QPalette palette = paletteOf(request.owner);
    std::array<QRgb, Rules::CustomColors::kCount> shown{};
    for (int i = 0; i < Rules::CustomColors::kCount; ++i) {
        const QColor color =
            WinColor::ToQColor(request.customColors[static_cast<std::size_t>(i)], palette);
        shown[static_cast<std::size_t>(i)] = color.rgb();
        QColorDialog::setCustomColor(i, color);
    }
    const QColor initial = (request.flags & Rules::kColorInit) != 0
                               ? WinColor::ToQColor(request.color, palette)
                               : QColor(Qt::black);
    QColorDialog dialog(initial, request.owner);
    cCommonDialog::ColorAnswer answer;
    if (dialog.exec() == QDialog::Accepted) {
        answer.result = cCommonDialog::Result::Confirmed;
        answer.color = toValue(dialog.selectedColor());
    }
    // Unchanged custom colours keep their stored value, which may name a system colour.
    cCommonDialog::ColorSet custom = request.customColors;
    bool changed = false;
    for (int i = 0; i < Rules::CustomColors::kCount; ++i) {
        const QColor now = QColorDialog::customColor(i);
        if (now.rgb() != shown[static_cast<std::size_t>(i)]) {
            custom[static_cast<std::size_t>(i)] = toValue(now);
            changed = true;
        }
    }
    if (changed) {
        answer.customColors = custom;
    }
    return answer;
}

} // namespace

cCommonDialog::ColorHandler cCommonDialog::SetColorHandler(ColorHandler handler) {
    return std::exchange(colorHandler(), std::move(handler));
}

bool cCommonDialog::VBChooseColor(WinColor::Value& Color, bool AnyColor, bool FullOpen,
                                  bool DisableFullOpen, QWidget* Owner, std::uint32_t& flags) {
    begin();
    ColorRequest request;
    request.color = Color;
    request.flags = Rules::ColorFlags(flags, AnyColor, FullOpen, DisableFullOpen);
    request.customColors = m_customColors.All();
    request.owner = Owner;
    const ColorAnswer answer = colorHandler() ? colorHandler()(request) : runColorDialog(request);
    if (answer.customColors) {
        m_customColors.Replace(*answer.customColors);
    }
    switch (answer.result) {
    case Result::Confirmed:
        m_apiReturn = 1;
        Color = answer.color;
        flags = request.flags;
        return true;
    case Result::Failed:
        m_extendedError = answer.extendedError != 0 ? answer.extendedError : Rules::kDialogFailure;
        return false;
    case Result::Cancelled:
        break;
    }
    return false;
}

WinColor::Value cCommonDialog::CustomColor(int index) {
    return m_customColors.Get(index);
}

void cCommonDialog::SetCustomColor(int index, WinColor::Value color) {
    m_customColors.Put(index, color);
}

bool cCommonDialog::VBChooseFont(QFont& CurFont, std::intptr_t /*PrinterDC*/, QWidget* Owner,
                                 WinColor::Value /*Color*/, int MinSize, int MaxSize,
                                 std::uint32_t& flags) {
    begin();
    const std::uint32_t dialogFlags = Rules::FontFlags(flags, MinSize, MaxSize);
    QFontDialog dialog(CurFont, Owner);
    dialog.setOption(QFontDialog::MonospacedFonts, (dialogFlags & Rules::kFixedPitchOnly) != 0);
    dialog.setOption(QFontDialog::ScalableFonts, (dialogFlags & Rules::kScalableOnly) != 0);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    QFont chosen = dialog.selectedFont();
    if (chosen.pointSize() > 0) {
        chosen.setPointSize(
            Rules::ClampFontSize(chosen.pointSize(), MinSize, MaxSize, dialogFlags));
    }
    CurFont = chosen;
    flags = dialogFlags;
    m_apiReturn = 1;
    return true;
}
