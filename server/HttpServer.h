#pragma once

#include "RpcDispatcher.h"
#include "RequestOrigin.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <string>

// The transport: JSON-RPC bodies POSTed to one path over HTTP/1.1 (or HTTPS),
// event-driven. A connection costs no thread while it waits. Reads are
// answered by the I/O thread that read them (a bounded number); changes go to
// one writer thread, so a change waiting for the database's write lock never
// stops the service from accepting, reading and answering reads.
class HttpServer
{
public:
    static constexpr const char *Path = "/FIS94100.rdmParamGNRE";
    // The header in which the client declares the login it runs under (for
    // the history of changes: a statement of the client, not an authentication).
    static constexpr const char *UserHeader = "X-FIS94100-User";
    static constexpr size_t MaxRequestBytes = 1024 * 1024;
    static constexpr size_t MaxHeaderBytes = 16 * 1024;

    struct Options
    {
        int workers = 8;            // I/O threads, which also answer the reads (at least 2)
        int requestTimeout = 10;    // seconds for a request's headers and body, from its first byte
        int idleTimeout = 60;       // seconds a kept-alive connection may wait for its next request
        int maxConnections = 512;   // connections open at once; more are closed at once
        QByteArray token;           // when set, every request must carry "Authorization: Bearer <token>"
        QString tlsCertificate;     // PEM files; when set, the service speaks HTTPS only
        QString tlsKey;
        std::string health;         // the body of GET /health: version and engine, no data
    };

    HttpServer(const RpcDispatcher &dispatcher, Options options);
    ~HttpServer();
    HttpServer(const HttpServer &) = delete;
    HttpServer &operator=(const HttpServer &) = delete;

    // Binds and listens; port 0 takes a free port. Returns the port, or -1 with
    // the reason in *error (a port already in use is one).
    int bind(const QString &host, int port, QString *error);
    // Serves until stop() or SIGTERM/SIGINT: requests under way are answered,
    // then the connections close. Returns when all is done.
    void run();
    // From any thread, a signal handler excepted.
    void stop();

    // Whether an address is on this machine only (127.0.0.0/8, ::1, "localhost").
    static bool isLoopback(const QString &host);

    struct Impl; // the I/O state; its sessions live in HttpServer.cpp

private:
    std::unique_ptr<Impl> d;
};
