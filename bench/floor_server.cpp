// bench_floor: the least a server of this kind can do for a request, in its
// own process, on the same HTTP library as the service (Boost.Beast, HTTP/1.1,
// keep-alive, TCP_NODELAY, one thread). It answers every POST with fixed bytes
// (--reply FILE), after the work asked for:
//   --update FILE              a prepared single-row UPDATE, each call a real
//                              change, on its own SQLite file (WAL, synchronous=FULL)
//   --select FILE --sql TEXT [--bind VALUE]...
//                              a prepared SELECT, every row stepped and every
//                              column read as text
// It prints "bench_floor listening on http://127.0.0.1:PORT/" when it serves.
#include <utility> // before Boost 1.74's asio, which uses std::exchange without it

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

[[noreturn]] void die(const std::string &why)
{
    std::fprintf(stderr, "bench_floor: %s\n", why.c_str());
    std::exit(2);
}

// The database work done before each answer.
class Work
{
public:
    virtual ~Work() = default;
    virtual void run() = 0;
};

class Database
{
public:
    explicit Database(const std::string &file)
    {
        if (sqlite3_open(file.c_str(), &m_db) != SQLITE_OK)
            die("cannot open " + file);
        exec("PRAGMA busy_timeout = 10000");
        exec("PRAGMA journal_mode = WAL");
        exec("PRAGMA synchronous = FULL");
    }
    ~Database()
    {
        for (sqlite3_stmt *s : m_statements)
            sqlite3_finalize(s);
        sqlite3_close(m_db);
    }
    void exec(const char *sql)
    {
        if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
            die(std::string(sql) + ": " + sqlite3_errmsg(m_db));
    }
    sqlite3_stmt *prepare(const std::string &sql)
    {
        sqlite3_stmt *s = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK)
            die(sql + ": " + sqlite3_errmsg(m_db));
        m_statements.push_back(s);
        return s;
    }
    void check(int rc, int expected)
    {
        if (rc != expected)
            die(sqlite3_errmsg(m_db));
    }

private:
    sqlite3 *m_db = nullptr;
    std::vector<sqlite3_stmt *> m_statements;
};

class Update : public Work
{
public:
    explicit Update(const std::string &file) : m_db(file)
    {
        m_db.exec("CREATE TABLE IF NOT EXISTS FLOORROW (K VARCHAR(2) NOT NULL PRIMARY KEY, V VARCHAR(100))");
        m_db.exec("INSERT OR IGNORE INTO FLOORROW (K, V) VALUES ('01', 'a')");
        m_update = m_db.prepare("UPDATE FLOORROW SET V = ?1 WHERE K = '01'");
    }
    void run() override
    {
        m_toggle = !m_toggle;
        const char *value = m_toggle ? "fiscal@alimentospaulista.com.br" : "fiscal2@alimentospaulista.com.br";
        sqlite3_bind_text(m_update, 1, value, -1, SQLITE_STATIC);
        m_db.check(sqlite3_step(m_update), SQLITE_DONE);
        sqlite3_reset(m_update);
    }

private:
    Database m_db;
    sqlite3_stmt *m_update;
    bool m_toggle = false;
};

class Select : public Work
{
public:
    Select(const std::string &file, const std::string &sql, std::vector<std::string> binds)
        : m_db(file), m_binds(std::move(binds))
    {
        m_select = m_db.prepare(sql);
    }
    void run() override
    {
        for (size_t i = 0; i < m_binds.size(); ++i)
            sqlite3_bind_text(m_select, int(i) + 1, m_binds[i].c_str(), int(m_binds[i].size()), SQLITE_STATIC);
        const int columns = sqlite3_column_count(m_select);
        size_t bytes = 0;
        int rc;
        while ((rc = sqlite3_step(m_select)) == SQLITE_ROW)
            for (int c = 0; c < columns; ++c) {
                const unsigned char *text = sqlite3_column_text(m_select, c);
                bytes += text ? size_t(sqlite3_column_bytes(m_select, c)) : 0;
            }
        m_db.check(rc, SQLITE_DONE);
        sqlite3_reset(m_select);
        m_seen += bytes; // read, so it is not optimised away
    }

private:
    Database m_db;
    std::vector<std::string> m_binds;
    sqlite3_stmt *m_select;
    size_t m_seen = 0;
};

struct Floor
{
    std::string reply;
    std::unique_ptr<Work> work;
};

class Session : public std::enable_shared_from_this<Session>
{
public:
    Session(tcp::socket socket, Floor &floor) : m_stream(std::move(socket)), m_floor(floor) {}
    void read()
    {
        m_request = {};
        http::async_read(m_stream, m_buffer, m_request, [self = shared_from_this()](beast::error_code ec, size_t) {
            if (ec)
                return self->close();
            self->answer();
        });
    }

private:
    void answer()
    {
        if (m_floor.work)
            m_floor.work->run();
        m_response = {};
        m_response.result(http::status::ok);
        m_response.version(11);
        m_response.set(http::field::server, "fis94100-server"); // the service's header bytes
        m_response.set(http::field::content_type, "application/json");
        m_response.keep_alive(m_request.keep_alive());
        m_response.body() = m_floor.reply;
        m_response.prepare_payload();
        http::async_write(m_stream, m_response, [self = shared_from_this()](beast::error_code ec, size_t) {
            if (ec || !self->m_response.keep_alive())
                return self->close();
            self->read();
        });
    }
    void close()
    {
        beast::error_code ignored;
        m_stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
    }

    beast::tcp_stream m_stream;
    Floor &m_floor;
    beast::flat_buffer m_buffer;
    http::request<http::string_body> m_request;
    http::response<http::string_body> m_response;
};

void accept(tcp::acceptor &acceptor, Floor &floor)
{
    acceptor.async_accept([&acceptor, &floor](beast::error_code ec, tcp::socket socket) {
        if (!ec) {
            socket.set_option(tcp::no_delay(true), ec);
            std::make_shared<Session>(std::move(socket), floor)->read();
        }
        if (acceptor.is_open())
            accept(acceptor, floor);
    });
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        die("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

int main(int argc, char **argv)
{
    Floor floor;
    std::string update, select, sql;
    std::vector<std::string> binds;
    bool haveReply = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                die(a + " needs a value");
            return argv[++i];
        };
        if (a == "--reply") {
            floor.reply = readFile(value());
            haveReply = true;
        } else if (a == "--update") {
            update = value();
        } else if (a == "--select") {
            select = value();
        } else if (a == "--sql") {
            sql = value();
        } else if (a == "--bind") {
            binds.push_back(value());
        } else if (a == "--port") {
            value(); // always a free port
        } else {
            die("unknown option " + a);
        }
    }
    if (!haveReply)
        die("--reply FILE is needed");
    if (!update.empty())
        floor.work = std::make_unique<Update>(update);
    else if (!select.empty())
        floor.work = std::make_unique<Select>(select, sql, binds);

    asio::io_context ioc{1};
    tcp::acceptor acceptor(ioc, tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
    asio::signal_set stops(ioc, SIGINT, SIGTERM);
    stops.async_wait([&](beast::error_code, int) { ioc.stop(); });
    accept(acceptor, floor);
    std::printf("bench_floor listening on http://127.0.0.1:%d/\n", int(acceptor.local_endpoint().port()));
    std::fflush(stdout);
    ioc.run();
    return 0;
}
