#pragma once
// The one list that owns every socket instance; removing an instance destroys it.

#include <memory>
#include <vector>

#include "TMySocket.h"

class TSocketList {
public:
    int Count() const { return static_cast<int>(FItems.size()); }
    bool IsEmpty() const { return FItems.empty(); }
    TMySocket *Items(int index) const { return FItems.at(static_cast<size_t>(index)).get(); }
    int IndexOf(const TMySocket *instance) const;
    bool Contains(const TMySocket *instance) const { return IndexOf(instance) >= 0; }

    // Takes ownership.
    void Add(TMySocket *instance);
    // Destroys the instance; does nothing for one the list does not hold.
    void Remove(TMySocket *instance);

private:
    std::vector<std::unique_ptr<TMySocket>> FItems;
};
