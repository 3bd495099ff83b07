// The send box's history in the window: Ctrl+Up and Ctrl+Down walk it, and the box's context menu
// lists it ("发送历史"), newest first.

#include "datapanel.h"

// Qt
#include <QCheckBox>
#include <QKeyEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTextCursor>

namespace {

// An entry's caption: the start of its text on one line.
constexpr int CaptionChars = 40;

QString CaptionOf(const TSentText &sent)
{
    QString text = sent.text.left(CaptionChars + 1);
    for (QChar &c : text)
        if (c == u'\n' || c == u'\r' || c == u'\t')
            c = u' ';
    if (text.size() > CaptionChars)
        text = text.left(CaptionChars) + QStringLiteral("…");
    // A menu reads & as the mark of a shortcut key.
    text.replace(u'&', QStringLiteral("&&"));
    return sent.hex ? QStringLiteral("[HEX] ") + text : text;
}

} // namespace

void TFrmData::RecallSent(const TSentText &sent)
{
    if (!IsBuilt())
        return;
    FRecalling = true;
    // The switch first: it changes what the box's characters mean.
    CheckBox2->setChecked(sent.hex);
    Memo3->setPlainText(sent.text);
    Memo3->moveCursor(QTextCursor::End);
    FRecalling = false;
}

bool TFrmData::RecallKey(const QKeyEvent *event)
{
    if ((event->key() != Qt::Key_Up && event->key() != Qt::Key_Down)
        || (event->modifiers() & ~Qt::KeypadModifier) != Qt::ControlModifier)
        return false;
    TSentText shown;
    bool found;
    if (event->key() == Qt::Key_Up) {
        QString box = Memo3->document()->toRawText();
        box.replace(QChar::ParagraphSeparator, u'\n');
        box.replace(QChar::LineSeparator, u'\n');
        found = FSendHistory.Older({box, HexMode()}, &shown);
    } else {
        found = FSendHistory.Newer(&shown);
    }
    if (found)
        RecallSent(shown);
    // Taken either way: at either end of the history the box stays as it is.
    return true;
}

void TFrmData::AddHistoryMenu(QMenu *menu)
{
    QMenu *history = menu->addMenu(QStringLiteral("发送历史"));
    const auto &entries = FSendHistory.Entries();
    history->setEnabled(!entries.empty());
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        const TSentText sent = *it;
        history->addAction(CaptionOf(sent), this, [this, sent] {
            FSendHistory.Leave();
            RecallSent(sent);
        });
    }
}
