#include "HttpServer.h"

#include "JsonRpc.h"
#include "Log.h"
#include "WaitRule.h"

#include <boost/asio.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <openssl/crypto.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <csignal>
#include <mutex>
#include <thread>
#include <optional>
#include <vector>

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

std::string errorBody(const QString &message)
{
    return jsonrpc::failure(QJsonValue::Null, jsonrpc::InvalidRequest, message).toStdString();
}

// The method a request names, read from the bytes without parsing them (for
// the log, and to tell changes from reads). A guess: the dispatcher decides
// what the request really is, and a change taken for a read still may not
// wait on a loop (see handle()).
std::string methodOf(const std::string &body)
{
    const size_t m = body.find("\"method\"");
    if (m == std::string::npos)
        return "?";
    const size_t open = body.find('"', body.find(':', m + 8) + 1);
    const size_t close = open == std::string::npos ? open : body.find('"', open + 1);
    if (close == std::string::npos || close - open > 64)
        return "?";
    return body.substr(open + 1, close - open - 1);
}

// Whether a request asks for a change (the Set methods): those run one at a
// time (see Impl::changeOrder).
bool isChange(const std::string &body) { return methodOf(body).starts_with("Set"); }

// One line per request: method, duration, outcome. Never the body or a token.
// Empty when such lines are not logged.
std::string requestLine(const std::string &body, const QByteArray &reply, std::chrono::steady_clock::duration took)
{
    if (!svclog::enabled(svclog::Level::Info))
        return std::string();
    const std::string_view text(reply.constData(), size_t(reply.size()));
    std::string outcome = "ok";
    if (text.empty()) {
        outcome = "notification";
    } else if (text.find("\"result\"") == std::string_view::npos) {
        outcome = "error";
        if (const size_t at = text.find("\"code\":"); at != std::string_view::npos) {
            const std::string_view code = text.substr(at + 7, 6);
            outcome.append(1, ' ').append(code.substr(0, code.find(',')));
        }
    }
    char millis[32];
    const auto [end, ec] = std::to_chars(millis, millis + sizeof millis, std::chrono::duration<double, std::milli>(took).count(),
                                         std::chars_format::fixed, 2);
    std::string line = "request ";
    line.append(methodOf(body)).append(1, ' ').append(millis, ec == std::errc() ? end : millis).append(" ms ").append(outcome);
    return line;
}

// A request's answer, and its log line, written once the answer is on its way.
struct Dispatched
{
    std::string reply;
    std::string logLine;

    void log() const
    {
        if (!logLine.empty())
            svclog::write(svclog::Level::Info, std::string_view(logLine));
    }
};

// What the server knows of a connection, to close the idle ones at a stop
// (from any thread: a session's own work runs on its strand).
struct SessionBase
{
    virtual ~SessionBase() = default;
    virtual void closeIfIdle() = 0; // posts to the session's strand
    virtual bool busy() const = 0;
};

} // namespace

struct HttpServer::Impl
{
    const RpcDispatcher &dispatcher;
    Options options;
    // The I/O runs on `threads` threads, each with an event loop of its own
    // (`loops`; the first also accepts and stops); a connection stays on one
    // loop, and a read is answered on the thread that read the request, with
    // no hand-over between threads. A slow read holds one loop; the others go on.
    int threads;
    std::vector<std::unique_ptr<asio::io_context>> loops;
    std::vector<asio::executor_work_guard<asio::io_context::executor_type>> keepRunning;
    size_t nextLoop = 0; // accepting loop only
    asio::io_context &ioc;
    tcp::acceptor acceptor{ioc};
    // Changes run one at a time, each whole under changeOrder (from the
    // check for a retried id to the answer remembered, so a retry arriving
    // meanwhile finds the first answer). A change that finds none under way
    // runs at once on its connection's loop, where it may not wait
    // (waitrule); one that finds another, or the write lock held by another
    // program, queues for the writer. So no loop waits for the write lock.
    asio::thread_pool writer{1};
    std::atomic<int> changesUnderWay{0}; // on a loop or queued for the writer
    std::mutex changeOrder;
    std::optional<asio::ssl::context> tls;
    asio::signal_set stopSignals{ioc, SIGINT, SIGTERM};
    asio::steady_timer drain{ioc};
    std::chrono::steady_clock::time_point drainUntil;
    std::atomic<int> connections{0};
    std::atomic<bool> stopping{false};
    std::mutex sessionsLock;
    std::vector<std::weak_ptr<SessionBase>> sessions;

    Impl(const RpcDispatcher &d, Options o)
        : dispatcher(d), options(std::move(o)), threads(std::max(2, options.workers)), loops(makeLoops(threads)), ioc(*loops.front())
    {
        for (auto &loop : loops)
            keepRunning.push_back(asio::make_work_guard(*loop));
    }

    static std::vector<std::unique_ptr<asio::io_context>> makeLoops(int n)
    {
        std::vector<std::unique_ptr<asio::io_context>> out;
        for (int i = 0; i < n; ++i)
            out.push_back(std::make_unique<asio::io_context>(1));
        return out;
    }

    void stopLoops()
    {
        for (auto &loop : loops)
            loop->stop();
    }

    void accept();
    void beginStop();
    void waitForDrain();
};

namespace {

template <class Stream>
class Session : public SessionBase, public std::enable_shared_from_this<Session<Stream>>
{
public:
    Session(HttpServer::Impl &server, Stream stream)
        : m_server(server), m_stream(std::move(stream)), m_timer(m_stream.get_executor()), m_peer(peerAddress())
    {
        ++m_server.connections;
    }
    ~Session() override { --m_server.connections; }

    void start()
    {
        if constexpr (std::is_same_v<Stream, beast::tcp_stream>) {
            read();
        } else {
            expiresAfter(std::chrono::seconds(m_server.options.requestTimeout));
            m_stream.async_handshake(asio::ssl::stream_base::server, [self = this->shared_from_this()](beast::error_code ec) {
                if (ec)
                    return self->close();
                self->read();
            });
        }
    }

    auto executor() { return m_stream.get_executor(); }

    void closeIfIdle() override
    {
        asio::post(m_stream.get_executor(), [self = this->shared_from_this()] {
            if (self->m_idle)
                self->close();
        });
    }
    bool busy() const override { return !m_idle && !m_closed; }

private:
    using Clock = std::chrono::steady_clock;

    beast::tcp_stream &lowest() { return beast::get_lowest_layer(m_stream); }

    // Every wait of a connection has a deadline: the next request's first
    // bytes, a whole request, an answer's sending. One timer watches it. It is
    // armed no later than the deadline and at most a request timeout ahead, so
    // that moving the deadline with each request costs no system call; a
    // deadline met closes the connection, as a stream's own timeout would.
    void expiresAfter(Clock::duration d)
    {
        m_deadline = Clock::now() + d;
        if (m_deadline < m_timerAt)
            arm(m_deadline);
    }
    void expiresNever() { m_deadline = Clock::time_point::max(); }
    void arm(Clock::time_point at)
    {
        m_timerAt = at;
        m_timer.expires_at(at);
        m_timer.async_wait([weak = this->weak_from_this()](beast::error_code ec) {
            const auto self = weak.lock();
            if (ec || !self || self->m_closed)
                return;
            const auto now = Clock::now();
            if (now >= self->m_deadline)
                return self->close();
            self->arm(std::min(self->m_deadline, now + std::chrono::seconds(self->m_server.options.requestTimeout)));
        });
    }

    void read()
    {
        if (m_server.stopping)
            return close();
        m_parser.emplace();
        m_parser->body_limit(HttpServer::MaxRequestBytes);
        m_parser->header_limit(HttpServer::MaxHeaderBytes);
        m_idle = true;
        // Waiting for the next request costs no thread; the request's own
        // deadline starts with its first bytes.
        if (m_buffer.size() > 0) // the next request is already here (pipelined)
            return readRequest();
        expiresAfter(std::chrono::seconds(m_server.options.idleTimeout));
        m_stream.async_read_some(m_buffer.prepare(16 * 1024), [self = this->shared_from_this()](beast::error_code ec, size_t n) {
            if (ec) {
                self->m_idle = false;
                return self->close();
            }
            self->m_buffer.commit(n);
            self->readRequest();
        });
    }

    // From the request's first bytes: all of it within the request deadline.
    void readRequest()
    {
        m_idle = false;
        expiresAfter(std::chrono::seconds(m_server.options.requestTimeout));
        http::async_read(m_stream, m_buffer, *m_parser, [self = this->shared_from_this()](beast::error_code ec, size_t) {
            if (ec)
                return self->failed(ec);
            self->handle();
        });
    }

    void failed(beast::error_code ec)
    {
        if (ec == http::error::body_limit)
            return respond(http::status::payload_too_large,
                           errorBody(QStringLiteral("Requisição maior que o limite de %1 bytes.").arg(HttpServer::MaxRequestBytes)), false);
        if (ec == http::error::header_limit)
            return respond(http::status::request_header_fields_too_large, errorBody(QStringLiteral("Cabeçalhos grandes demais.")), false);
        if (ec.category() == http::make_error_code(http::error::bad_method).category() && ec != http::error::end_of_stream
            && ec != http::error::partial_message)
            return respond(http::status::bad_request, errorBody(QStringLiteral("Requisição HTTP inválida.")), false);
        close(); // the peer left, or was too slow
    }

    void handle()
    {
        http::request<http::string_body> req = m_parser->release();
        const bool keepAlive = req.keep_alive();
        // The health check answers anyone: it tells the version and the engine, nothing of the data.
        if (req.target() == "/health" && req.method() == http::verb::get)
            return respond(http::status::ok, m_server.options.health, keepAlive);
        if (req.target() != HttpServer::Path)
            return respond(http::status::not_found,
                           errorBody(QStringLiteral("Caminho desconhecido; use POST %1.").arg(QString::fromLatin1(HttpServer::Path))), keepAlive);
        if (req.method() != http::verb::post)
            return respond(http::status::method_not_allowed,
                           errorBody(QStringLiteral("Método HTTP não aceito; use POST %1.").arg(QString::fromLatin1(HttpServer::Path))), keepAlive);
        if (!authorized(req))
            return respond(http::status::unauthorized, errorBody(QStringLiteral("Não autorizado: credencial ausente ou inválida.")), keepAlive);

        // A read is answered here and now, and so is a change when no other
        // is under way; nothing here may wait for the write lock: what would
        // (a change, or one taken for a read) queues for the writer, and its
        // answer comes back to this connection's strand.
        expiresNever();
        auto body = std::make_shared<std::string>(std::move(req.body()));
        const RequestOrigin origin{declaredUser(req), m_peer};
        const bool change = isChange(*body);
        if (change && m_server.changesUnderWay.fetch_add(1) != 0)
            return toWriter(body, keepAlive, origin);
        std::optional<Dispatched> out;
        try {
            out = dispatchHere(*body, origin, change);
        } catch (...) {
            if (change)
                m_server.changesUnderWay.fetch_sub(1);
            throw;
        }
        if (!out) { // gave way: to the writer, counted there
            if (!change)
                m_server.changesUnderWay.fetch_add(1);
            return toWriter(body, keepAlive, origin);
        }
        if (change)
            m_server.changesUnderWay.fetch_sub(1);
        answer(std::move(out->reply), keepAlive);
        out->log();
    }

    // The answer, or none when the request gives way: a change while another
    // holds the order, or whatever would wait for the write lock.
    std::optional<Dispatched> dispatchHere(const std::string &body, const RequestOrigin &origin, bool change) const
    {
        std::unique_lock order(m_server.changeOrder, std::defer_lock);
        if (change && !order.try_lock())
            return std::nullopt;
        try {
            waitrule::NoWaiting here;
            return dispatch(body, origin);
        } catch (const waitrule::GiveWay &) {
            return std::nullopt;
        }
    }

    // A change counted in changesUnderWay, run on the writer.
    void toWriter(const std::shared_ptr<std::string> &body, bool keepAlive, const RequestOrigin &origin)
    {
        asio::post(m_server.writer, [self = this->shared_from_this(), body, keepAlive, origin] {
            Dispatched out = self->dispatchChange(*body, origin);
            asio::post(self->m_stream.get_executor(), [self, reply = std::move(out.reply), keepAlive]() mutable {
                self->answer(std::move(reply), keepAlive);
            });
            out.log();
        });
    }

    // A change counted in changesUnderWay, which it leaves when done.
    Dispatched dispatchChange(const std::string &body, const RequestOrigin &origin) const
    {
        struct Leave
        {
            std::atomic<int> &count;
            ~Leave() { count.fetch_sub(1); }
        } leave{m_server.changesUnderWay};
        std::lock_guard order(m_server.changeOrder);
        return dispatch(body, origin);
    }

    Dispatched dispatch(const std::string &body, const RequestOrigin &origin) const
    {
        const auto started = std::chrono::steady_clock::now();
        const QByteArray reply = m_server.dispatcher.handle(QByteArray::fromRawData(body.data(), qsizetype(body.size())), origin);
        return {reply.toStdString(), requestLine(body, reply, std::chrono::steady_clock::now() - started)};
    }

    void answer(std::string out, bool keepAlive)
    {
        if (out.empty()) // a notification
            respond(http::status::no_content, std::string(), keepAlive);
        else
            respond(http::status::ok, std::move(out), keepAlive);
    }

    // The login the client says it runs under, for the history: printable
    // characters only, 64 at most.
    static QString declaredUser(const http::request<http::string_body> &req)
    {
        const auto it = req.find(HttpServer::UserHeader);
        if (it == req.end())
            return QString();
        QString user = QString::fromUtf8(it->value().data(), qsizetype(it->value().size()));
        user.removeIf([](QChar c) { return !c.isPrint(); });
        return user.trimmed().left(64);
    }

    // Read once, when the connection is accepted.
    QString peerAddress()
    {
        beast::error_code ec;
        const auto peer = lowest().socket().remote_endpoint(ec);
        return ec ? QString() : QString::fromStdString(peer.address().to_string());
    }

    bool authorized(const http::request<http::string_body> &req) const
    {
        const QByteArray &token = m_server.options.token;
        if (token.isEmpty())
            return true;
        const auto it = req.find(http::field::authorization);
        if (it == req.end())
            return false;
        const std::string_view value(it->value().data(), it->value().size());
        constexpr std::string_view scheme = "Bearer ";
        if (value.size() != scheme.size() + size_t(token.size()) || value.substr(0, scheme.size()) != scheme)
            return false;
        return CRYPTO_memcmp(value.data() + scheme.size(), token.constData(), size_t(token.size())) == 0;
    }

    void respond(http::status status, std::string body, bool keepAlive)
    {
        if (m_closed)
            return;
        auto res = std::make_shared<http::response<http::string_body>>(status, 11);
        res->set(http::field::server, "fis94100-server");
        if (!body.empty())
            res->set(http::field::content_type, "application/json");
        if (status == http::status::unauthorized)
            res->set(http::field::www_authenticate, "Bearer");
        res->keep_alive(keepAlive && !m_server.stopping);
        res->body() = std::move(body);
        res->prepare_payload();
        expiresAfter(std::chrono::seconds(m_server.options.requestTimeout));
        http::async_write(m_stream, *res, [self = this->shared_from_this(), res](beast::error_code ec, size_t) {
            if (ec)
                return self->close();
            if (!res->keep_alive())
                return self->lingerClose();
            self->read();
        });
    }

    // The answer is sent; what the client may still be sending (the rest of a
    // body too large) is read and dropped for a moment, so that it gets the
    // answer instead of a reset connection.
    void lingerClose()
    {
        beast::error_code ignored;
        lowest().socket().shutdown(tcp::socket::shutdown_send, ignored);
        expiresAfter(std::chrono::seconds(2));
        m_discarded = 0;
        discard();
    }
    void discard()
    {
        m_buffer.consume(m_buffer.size());
        lowest().async_read_some(m_buffer.prepare(64 * 1024), [self = this->shared_from_this()](beast::error_code ec, size_t n) {
            self->m_discarded += n;
            if (ec || self->m_discarded > 64 * HttpServer::MaxRequestBytes)
                return self->close();
            self->discard();
        });
    }

    void close()
    {
        if (m_closed)
            return;
        m_closed = true;
        m_idle = false;
        beast::error_code ignored;
        lowest().socket().shutdown(tcp::socket::shutdown_both, ignored);
        lowest().close();
    }

    HttpServer::Impl &m_server;
    Stream m_stream;
    beast::flat_buffer m_buffer;
    std::optional<http::request_parser<http::string_body>> m_parser;
    std::atomic<bool> m_idle{false};   // written on the strand, read by a stop
    std::atomic<bool> m_closed{false};
    size_t m_discarded = 0;
    asio::steady_timer m_timer;
    Clock::time_point m_deadline = Clock::time_point::max();
    Clock::time_point m_timerAt = Clock::time_point::max();
    const QString m_peer; // the client's address, for the history
};

} // namespace

void HttpServer::Impl::accept()
{
    // Connections go round the loops.
    asio::io_context &loop = *loops.at(nextLoop++ % loops.size());
    acceptor.async_accept(loop.get_executor(), [this](beast::error_code ec, tcp::socket socket) {
        if (stopping || !acceptor.is_open())
            return;
        if (!ec) {
            if (connections >= options.maxConnections) {
                beast::error_code ignored;
                socket.close(ignored); // over the cap: closed at once, nothing read
            } else {
                socket.set_option(tcp::no_delay(true), ec);
                std::shared_ptr<SessionBase> s;
                if (tls) {
                    auto session = std::make_shared<Session<beast::ssl_stream<beast::tcp_stream>>>(
                        *this, beast::ssl_stream<beast::tcp_stream>(beast::tcp_stream(std::move(socket)), *tls));
                    asio::post(session->executor(), [session] { session->start(); });
                    s = session;
                } else {
                    auto session = std::make_shared<Session<beast::tcp_stream>>(*this, beast::tcp_stream(std::move(socket)));
                    asio::post(session->executor(), [session] { session->start(); }); // on its own loop
                    s = session;
                }
                std::lock_guard lock(sessionsLock);
                std::erase_if(sessions, [](const std::weak_ptr<SessionBase> &w) { return w.expired(); });
                sessions.push_back(s);
            }
        }
        accept();
    });
}

void HttpServer::Impl::beginStop()
{
    if (stopping.exchange(true))
        return;
    beast::error_code ignored;
    asio::post(acceptor.get_executor(), [this] {
        beast::error_code ignored;
        acceptor.close(ignored);
    });
    stopSignals.cancel(ignored);
    {
        std::lock_guard lock(sessionsLock);
        for (const auto &w : sessions)
            if (auto s = w.lock())
                s->closeIfIdle();
    }
    drainUntil = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    waitForDrain();
}

void HttpServer::Impl::waitForDrain()
{
    bool busy = false;
    {
        std::lock_guard lock(sessionsLock);
        for (const auto &w : sessions)
            if (auto s = w.lock())
                busy = busy || s->busy();
    }
    if (!busy || std::chrono::steady_clock::now() >= drainUntil) {
        stopLoops();
        return;
    }
    drain.expires_after(std::chrono::milliseconds(10));
    drain.async_wait([this](beast::error_code) { waitForDrain(); });
}

HttpServer::HttpServer(const RpcDispatcher &dispatcher, Options options)
    : d(std::make_unique<Impl>(dispatcher, std::move(options)))
{
    d->stopSignals.async_wait([this](beast::error_code ec, int) {
        if (!ec)
            d->beginStop();
    });
    // main() blocked these at its start, so that one arriving while the
    // database opened waited for this handler instead of killing the process.
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    pthread_sigmask(SIG_UNBLOCK, &stops, nullptr);
}

HttpServer::~HttpServer()
{
    d->writer.join();
}

bool HttpServer::isLoopback(const QString &host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    beast::error_code ec;
    const auto address = asio::ip::make_address(host.toStdString(), ec);
    return !ec && address.is_loopback();
}

int HttpServer::bind(const QString &host, int port, QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return -1;
    };
    try {
        if (!d->options.tlsCertificate.isEmpty()) {
            d->tls.emplace(asio::ssl::context::tls_server);
            d->tls->set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2
                                | asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 | asio::ssl::context::no_tlsv1_1);
            d->tls->use_certificate_chain_file(d->options.tlsCertificate.toStdString());
            d->tls->use_private_key_file(d->options.tlsKey.toStdString(), asio::ssl::context::pem);
        }
    } catch (const std::exception &e) {
        return fail(QStringLiteral("TLS certificate or key not usable (%1): %2").arg(d->options.tlsCertificate, QString::fromLocal8Bit(e.what())));
    }
    beast::error_code ec;
    tcp::resolver resolver(d->ioc);
    const auto results = resolver.resolve(host.toStdString(), std::to_string(port), ec);
    if (ec || results.empty())
        return fail(QStringLiteral("cannot resolve %1: %2").arg(host, QString::fromStdString(ec.message())));
    const tcp::endpoint endpoint = results.begin()->endpoint();
    d->acceptor.open(endpoint.protocol(), ec);
    if (!ec)
        d->acceptor.set_option(asio::socket_base::reuse_address(true), ec); // never SO_REUSEPORT: one service per port
    if (!ec)
        d->acceptor.bind(endpoint, ec);
    if (ec == asio::error::address_in_use)
        return fail(QStringLiteral("port %1 on %2 is already in use (is another service running?)").arg(port).arg(host));
    if (!ec)
        d->acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec)
        return fail(QStringLiteral("cannot listen on %1:%2: %3").arg(host).arg(port).arg(QString::fromStdString(ec.message())));
    return d->acceptor.local_endpoint().port();
}

void HttpServer::run()
{
    d->accept();
    std::vector<std::thread> others;
    for (size_t i = 1; i < d->loops.size(); ++i)
        others.emplace_back([this, i] { d->loops[i]->run(); });
    d->ioc.run();
    for (std::thread &t : others)
        t.join();
}

void HttpServer::stop()
{
    asio::post(d->ioc, [this] { d->beginStop(); });
}
