#include "SocketList.h"

int TSocketList::IndexOf(const TMySocket *instance) const
{
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i].get() == instance)
            return static_cast<int>(i);
    return -1;
}

void TSocketList::Add(TMySocket *instance)
{
    FItems.emplace_back(instance);
}

void TSocketList::Remove(TMySocket *instance)
{
    const int i = IndexOf(instance);
    if (i >= 0)
        FItems.erase(FItems.begin() + i);
}
