// PageCore: the download core as the download page drives it: start one for a
// request, tell it to quit, poll its status. The installer's is the
// process-wide CoreSession; tests give the page a scripted one.
// Every method may be called from any thread.
#pragma once

#include "core_client/CoreSession.h"
#include "core_client/CoreStatus.h"

namespace zdl {

class PageCore {
public:
    virtual ~PageCore() = default;
    // False when the core program or the source address cannot be
    // provided (nothing started).
    virtual bool Start(const CoreStartRequest& request) = 0;
    virtual void Stop() = 0;
    // One poll: sends the requests, takes what has arrived, never waits.
    virtual void Poll(CoreStatus& status) = 0;
};

class SessionPageCore : public PageCore {
public:
    explicit SessionPageCore(CoreSession& session)
        : session_(session)
    {
    }
    bool Start(const CoreStartRequest& request) override { return session_.StartCore(request); }
    void Stop() override { session_.StopCore(); }
    void Poll(CoreStatus& status) override { session_.PollCoreStatus(status); }

private:
    CoreSession& session_;
};

} // namespace zdl
