#include "FormPlaces.h"

#include <algorithm>
#include <limits>

// Qt
#include <QFontMetrics>

#include "LogLines.h"

namespace formplaces {

namespace {
// The form's address columns: the first at 232 (the labels of the second at 365 and 367), each
// label 130 wide; at their narrowest the columns start just right of the stop button (ends at 184).
constexpr int FormColumn = 232;
constexpr int NearColumn = 192;
constexpr int FormLabelWidth = 130;
constexpr int LabelHeight = 13;
constexpr int RightMargin = 4;
// Label4 stands 3 right of the first column, Label6 2 further, as on the form.
constexpr int ColumnGap = 3;
constexpr int Label6Shift = 2;
// Stacked, the four labels fill the box's 81 from just below its frame line.
constexpr int StackTop = 14;
constexpr int StackPitch = 16;

// Button2 on the form, and what it keeps to the box's right edge when it moves in.
constexpr QRect FormResetButton(371, 10, 80, 25);
constexpr int ResetRightMargin = 6;
constexpr int SwitchGap = 8;

// The send button ends at 26; the repeat count box is 21 high, 4 above the counter line.
constexpr int FormCaptionTop = 48;
constexpr int NearCaptionTop = 28;
constexpr int RepeatBoxHeight = 21;
constexpr int CounterGap = 4;

QString FirstHalf(const QString &line)
{
    return line.left(line.indexOf(u'，') + 1);
}
} // namespace

TStatusPlaces StatusPlaces(int width)
{
    TStatusPlaces p;
    p.Label1 = QRect(16, 24, 73, LabelHeight);
    p.Button5 = QRect(16, 48, 80, 27);
    p.Button6 = QRect(104, 48, 80, 27);
    const int room = ColumnGap + Label6Shift + RightMargin;
    const int column = std::clamp(width - room - 2 * FormLabelWidth, NearColumn, FormColumn);
    const int labelWidth = std::min(FormLabelWidth, (width - room - column) / 2);
    if (labelWidth >= LabelMinWidth) {
        const int second = column + labelWidth + ColumnGap;
        p.Label3 = QRect(column, 24, labelWidth, LabelHeight);
        p.Label4 = QRect(second, 24, labelWidth, LabelHeight);
        p.Label5 = QRect(column, 56, labelWidth, LabelHeight);
        p.Label6 = QRect(second + Label6Shift, 56, labelWidth, LabelHeight);
        return p;
    }
    const int stackedWidth = std::max(LabelMinWidth, width - NearColumn - RightMargin);
    QRect *const stack[] = {&p.Label3, &p.Label4, &p.Label5, &p.Label6};
    for (int i = 0; i < 4; ++i)
        *stack[i] = QRect(NearColumn, StackTop + i * StackPitch, stackedWidth, LabelHeight);
    return p;
}

int StatusMinWidth()
{
    return NearColumn + LabelMinWidth + RightMargin;
}

QRect ResetButtonPlace(int width)
{
    QRect r = FormResetButton;
    r.moveLeft(std::min(FormResetButton.left(), width - FormResetButton.width() - ResetRightMargin));
    return r;
}

int SwitchRowMinWidth(int switchRight)
{
    return switchRight + SwitchGap + FormResetButton.width() + ResetRightMargin;
}

int RepeatCaptionTop(int panelHeight, int counterHeight)
{
    const int below = RepeatBoxBelowCaption + RepeatBoxHeight + CounterGap + counterHeight;
    return std::clamp(panelHeight - below, NearCaptionTop, FormCaptionTop);
}

int SidePanelMinHeight(int counterHeight)
{
    return NearCaptionTop + RepeatBoxBelowCaption + RepeatBoxHeight + CounterGap + counterHeight;
}

QSize CounterTextSize(const QFontMetrics &metrics)
{
    const int64_t extremes[] = {std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::min()};
    int width = 0;
    for (const int64_t value : extremes) {
        const QString line = CounterLine(value, value);
        const QString first = FirstHalf(line);
        width = std::max({width, metrics.horizontalAdvance(first), metrics.horizontalAdvance(line.mid(first.size()))});
    }
    // Laid out as a paragraph, a line can come out a pixel wider than its advance.
    width += 2;
    int height = 0;
    for (const int64_t value : extremes)
        height = std::max(height, metrics.boundingRect(QRect(0, 0, width, 1000), Qt::TextWordWrap,
                                                       CounterLine(value, value)).height());
    return {width, height};
}

} // namespace formplaces
