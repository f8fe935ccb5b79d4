#pragma once

// Whether the work of this thread may wait for the database's write lock.
//
// A change that finds no other under way runs at once on its connection's
// loop. There it must not wait for the lock (held by another program, say):
// every connection of that loop would wait with it. So, while a NoWaiting is
// alive, a change that would wait throws GiveWay before it has done anything,
// and the server queues it for the writer, where waiting holds nobody.
namespace waitrule {

// Thrown instead of waiting; not an error, never answered.
struct GiveWay
{
};

bool mayWait();

class NoWaiting
{
public:
    NoWaiting();
    ~NoWaiting();
    NoWaiting(const NoWaiting &) = delete;
    NoWaiting &operator=(const NoWaiting &) = delete;

private:
    bool m_before;
};

} // namespace waitrule
