#pragma once

#include "state/connectstate.h"
#include "testplatform.h"

#include <memory>

// A ConnectState whose published values a test sets directly, to look at what the window
// shows for them. The operations stay the real ones.
class DrivenState : public ConnectState
{
public:
    using ConnectState::ConnectState;
    using ConnectState::setActivity;
    using ConnectState::setBusy;
    using ConnectState::setConnected;
    using ConnectState::setGroups;
    using ConnectState::setModels;
};
