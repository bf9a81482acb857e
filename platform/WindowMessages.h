#pragma once

#include <QString>

#include <functional>

// Registered window messages: a name that any program can post to all top-level
// windows. Names map to process-wide message ids (0xC000 and up, the same id for
// the same name, compared case-insensitively).
class IWindowMessages {
public:
    using TBroadcastHandler = std::function<void(unsigned messageId)>;

    virtual ~IWindowMessages() = default;
    virtual unsigned RegisterWindowMessage(const QString& name) = 0;
    // `handler` runs on the GUI thread for every broadcast that another program
    // (or this one) posts; an empty handler stops listening. Returns false when no
    // broadcast can arrive (no session bus): the program runs on without them.
    virtual bool Listen(TBroadcastHandler handler) = 0;
    // Posts `name` to the top-level windows of every program that listens.
    virtual bool Broadcast(const QString& name) = 0;
};

IWindowMessages& SystemWindowMessages();
