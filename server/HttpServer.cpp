#include "HttpServer.h"

#include "JsonRpc.h"

#include <httplib.h>

HttpServer::HttpServer(const RpcDispatcher &dispatcher, int threads)
    : m_dispatcher(dispatcher), m_server(std::make_unique<httplib::Server>())
{
    auto &svr = *m_server;
    svr.new_task_queue = [threads] { return new httplib::ThreadPool(size_t(threads)); };
    svr.set_tcp_nodelay(true);
    svr.set_keep_alive_max_count(1000);
    svr.set_keep_alive_timeout(5); // an idle client reconnects; a stop waits no longer than this
    svr.set_payload_max_length(MaxRequestBytes);

    svr.Post(Path, [this](const httplib::Request &req, httplib::Response &res) {
        const QByteArray reply = m_dispatcher.handle(QByteArray::fromRawData(req.body.data(), qsizetype(req.body.size())));
        if (reply.isEmpty()) {
            res.status = 204;
            return;
        }
        res.set_content(reply.toStdString(), "application/json");
    });

    // Errors of the transport itself (oversized body, wrong path or verb) answer in JSON-RPC too.
    svr.set_error_handler(httplib::Server::HandlerWithResponse([](const httplib::Request &, httplib::Response &res) {
        QString message;
        switch (res.status) {
        case 413: message = QStringLiteral("Requisição maior que o limite de %1 bytes.").arg(MaxRequestBytes); break;
        case 404: message = QStringLiteral("Caminho desconhecido; use POST %1.").arg(QString::fromLatin1(Path)); break;
        default: message = QStringLiteral("Requisição HTTP inválida (%1).").arg(res.status); break;
        }
        res.set_content(jsonrpc::failure(QJsonValue::Null, jsonrpc::InvalidRequest, message).toStdString(), "application/json");
        return httplib::Server::HandlerResponse::Handled;
    }));
}

HttpServer::~HttpServer() = default;

int HttpServer::bind(const QString &host, int port)
{
    const std::string h = host.toStdString();
    if (port == 0)
        return m_server->bind_to_any_port(h);
    return m_server->bind_to_port(h, port) ? port : -1;
}

void HttpServer::listen() { m_server->listen_after_bind(); }
void HttpServer::stop() { m_server->stop(); }
