#pragma once

#include "RpcDispatcher.h"

#include <QString>
#include <memory>

namespace httplib { class Server; }

// Serves a dispatcher over HTTP/1.1: POST of JSON-RPC bodies at one path.
class HttpServer
{
public:
    static constexpr const char *Path = "/FIS94100.rdmParamGNRE";
    static constexpr size_t MaxRequestBytes = 1024 * 1024;

    explicit HttpServer(const RpcDispatcher &dispatcher, int threads = 8);
    ~HttpServer();

    // Binds; port 0 takes a free port. Returns the port bound, or -1.
    int bind(const QString &host, int port);
    void listen(); // blocks until stop()
    void stop();

private:
    const RpcDispatcher &m_dispatcher;
    std::unique_ptr<httplib::Server> m_server;
};
