#include "AsyncSelect.h"

#include "MessageSeam.h"
#include "SelectReactor.h"

namespace ws {

TAsyncSelect::TAsyncSelect(TSocket s, Handler handler, QObject *parent)
    : QObject(parent), FSocket(s), FHandler(std::move(handler))
{
    setNonBlocking(s, true);
    if (TSelectReactor *reactor = TSelectReactor::Instance())
        FKey = reactor->Add(this, s);
}

TAsyncSelect::~TAsyncSelect()
{
    if (TSelectReactor *reactor = TSelectReactor::Existing(); reactor && FKey)
        reactor->Remove(FKey, FSocket);
}

void TAsyncSelect::setReadEnabled(bool on)
{
    FWantRead = on;
    apply();
}

void TAsyncSelect::setWriteEnabled(bool on)
{
    FWantWrite = on;
    apply();
}

void TAsyncSelect::setHangupEnabled(bool on)
{
    FWantHangup = on;
    apply();
}

void TAsyncSelect::apply()
{
    if (TSelectReactor *reactor = TSelectReactor::Existing(); reactor && FKey)
        reactor->Watch(FKey, FSocket, FWantRead && !FSuppressed, FWantWrite && !FSuppressed,
                       FWantHangup && !FWantRead && !FSuppressed);
}

void TAsyncSelect::Notify(Ready which)
{
    if (FInHandler) {
        FSuppressed = true;
        apply();
        return;
    }
    QPointer<TAsyncSelect> self(this);
    FInHandler = true;
    struct Restore {
        QPointer<TAsyncSelect> &s;
        ~Restore()
        {
            if (!s)
                return;
            s->FInHandler = false;
            if (std::exchange(s->FSuppressed, false))
                s->apply();
        }
    } restore{self};
    // May destroy this object. An error it raises is told here, with this socket still quiet,
    // so that the box's own event loop cannot re-enter the handler.
    ui::RunGuarded([&] { FHandler(which); });
}

} // namespace ws
