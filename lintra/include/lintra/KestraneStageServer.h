// The console's command interface to one display server. It is the client
// session itself seen through the command encoders: it adds no data, and one
// object may be used through both interfaces.
#pragma once

#include "lintra/ClientSession.h"

class CKestraneStageServer : public CClientSession {
public:
    CKestraneStageServer() = default;
};

static_assert(sizeof(CKestraneStageServer) == sizeof(CClientSession),
              "the stage server holds exactly the session's data");
