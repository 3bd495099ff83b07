#pragma once
// Where the data window's hand-placed controls go at a given width. The form was drawn for the
// width of a window maximised in the main window at its first size (537): there and wider every
// control sits where the form puts it. Narrower, as windows side by side are, the address labels
// close up on the buttons and then stand in one column beside them, and the counter reset moves
// in from the right, so that every control stays whole down to the narrowest box (the minimums
// below). The texts of the labels are clipped at their width as always; their tips hold them whole.

#include <cstdint>

// Qt
#include <QRect>
#include <QSize>
#include <QString>

class QFontMetrics;

namespace formplaces {

// The status box (GroupBox1): the link state, the open and stop buttons, the address labels.
struct TStatusPlaces {
    QRect Label1, Label3, Label4, Label5, Label6, Button5, Button6;
};
TStatusPlaces StatusPlaces(int width);
// An address label is never narrower than this: an address with its port, or a port with its
// caption, fits in it.
constexpr int LabelMinWidth = 120;
// The narrowest status box: one column of address labels at their narrowest.
int StatusMinWidth();

// The counter reset of the hex switch row (GroupBox8), and the narrowest row that keeps it clear
// of a switch whose right edge is at switchRight.
QRect ResetButtonPlace(int width);
int SwitchRowMinWidth(int switchRight);

// The repeat count's caption and box in the side panel (Label7, ComboBox2): where the form puts
// them while the panel is as tall as on the form, closer under the send button when it is not, and
// the least height of the panel, whose counter line at its foot is counterHeight high.
int RepeatCaptionTop(int panelHeight, int counterHeight);
constexpr int RepeatBoxBelowCaption = 20;
int SidePanelMinHeight(int counterHeight);

// The log box is 164 high while the window is as tall as the form, and shares what a shorter
// window lacks with the send box, down to this.
constexpr int LogMaxHeight = 164;
constexpr int LogMinHeight = 60;
// The send box keeps room for a few characters beside the side panel.
constexpr int SendBoxMinWidth = 100;

// The counter line is written in two lines in the side panel, broken after its full-width comma:
// the panel is as wide as the longer half of the longest line the 64-bit counters can make, and no
// narrower than the form's 157.
constexpr int SidePanelWidth = 157;
// The room the counter text needs for any counts, in two lines (without the margins around it).
QSize CounterTextSize(const QFontMetrics &metrics);

} // namespace formplaces
