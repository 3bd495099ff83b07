#include "AsyncSelect.h"

// Qt
#include <QSocketNotifier>

namespace ws {

TAsyncSelect::TAsyncSelect(TSocket s, Handler handler, QObject *parent)
    : QObject(parent), FSocket(s), FHandler(std::move(handler))
{
    setNonBlocking(s, true);
    FRead = new QSocketNotifier(s, QSocketNotifier::Read, this);
    FWrite = new QSocketNotifier(s, QSocketNotifier::Write, this);
    FRead->setEnabled(false);
    FWrite->setEnabled(false);
    connect(FRead, &QSocketNotifier::activated, this, [this] { dispatch(Readable); });
    connect(FWrite, &QSocketNotifier::activated, this, [this] { dispatch(Writable); });
}

TAsyncSelect::~TAsyncSelect() = default;

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

void TAsyncSelect::apply()
{
    FRead->setEnabled(FWantRead && !FInHandler);
    FWrite->setEnabled(FWantWrite && !FInHandler);
}

void TAsyncSelect::dispatch(Ready which)
{
    if (FInHandler)
        return;
    QPointer<TAsyncSelect> self(this);
    FInHandler = true;
    apply();
    struct Restore {
        QPointer<TAsyncSelect> &s;
        ~Restore()
        {
            if (s) {
                s->FInHandler = false;
                s->apply();
            }
        }
    } restore{self};
    FHandler(which); // may destroy this object; may throw (caught by the application)
}

} // namespace ws
