#pragma once

#include "ParamStore.h"
#include "RpcDispatcher.h"

// The server object "FIS94100.rdmParamGNRE": its methods on a dispatcher.
void registerParamService(RpcDispatcher &dispatcher, ParamStore &store, const QString &certificateDir);
