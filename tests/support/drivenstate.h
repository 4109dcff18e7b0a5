#pragma once

#include "state/connectstate.h"
#include "testplatform.h"

#include <memory>

// A ConnectState whose published values a test sets directly, to look at what the window
// shows for them. The operations stay the real ones.
class DrivenState : public ConnectState
{
public:
    explicit DrivenState(std::shared_ptr<TestPlatform> platform)
        : ConnectState(platform)
        , testPlatform(std::move(platform))
    {
    }

    using ConnectState::setAccountDetail;
    using ConnectState::setAccountName;
    using ConnectState::setActivity;
    using ConnectState::setAuthenticated;
    using ConnectState::setBusy;
    using ConnectState::setCodexInstalled;
    using ConnectState::setConnected;
    using ConnectState::setDownloadProgress;
    using ConnectState::setGroups;
    using ConnectState::setModels;

    std::shared_ptr<TestPlatform> testPlatform;
};
