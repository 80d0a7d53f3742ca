#include "web/server.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include "web/content.h"
#include "web/panel_page.h"  // generated from page.html: kPanelPage, kPanelPageSize

namespace sim::web {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using Request = http::request<http::string_body>;
using Response = http::response<http::string_body>;

namespace {

// Console bytes a page is shown when it connects, per port.
constexpr uint64_t kConsoleBacklog = 64 * 1024;
// Console bytes in one message at most.
constexpr size_t kConsoleChunk = 64 * 1024;

Response reply(const Request& req, http::status status, const std::string& type, std::string body)
{
    Response res{status, req.version()};
    res.set(http::field::server, "velm5plus simulated board");
    res.set(http::field::content_type, type);
    res.set(http::field::cache_control, "no-store");
    res.keep_alive(req.keep_alive());
    res.body() = std::move(body);
    res.prepare_payload();
    return res;
}

Response problem(const Request& req, http::status status, const std::string& text)
{
    return reply(req, status, "text/plain; charset=utf-8", text + "\n");
}

}  // namespace

struct Server::Impl {
    explicit Impl(PanelPublisher& p) : panel(p) {}

    PanelPublisher& panel;
    asio::io_context ioc{1};
    tcp::acceptor acceptor{ioc};
    std::thread thread;
    int port = 0;
    std::atomic<bool> kick_pending{false};
    class Socket;
    std::vector<std::weak_ptr<Socket>> sockets;  // io thread only

    void accept();
    void kick_all();
};

// ------------------------------------------------------------ WebSocket

// One page's WebSocket.  One message is in flight at a time; when it has
// gone, the next is made from what is newest, so a slow page skips pictures
// instead of piling them up.
class Server::Impl::Socket : public std::enable_shared_from_this<Socket> {
public:
    Socket(tcp::socket&& s, Impl& srv) : ws_(std::move(s)), srv_(srv) {}

    void run(Request req)
    {
        ws_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
        ws_.async_accept(req, beast::bind_front_handler(&Socket::on_accept, shared_from_this()));
    }

    // Sends what is new, unless a message is still on its way.
    void kick()
    {
        if (writing_ || !open_)
            return;
        if (next_message()) {
            writing_ = true;
            ws_.async_write(asio::buffer(out_), beast::bind_front_handler(&Socket::on_write, shared_from_this()));
        }
    }

private:
    void on_accept(beast::error_code ec)
    {
        if (ec)
            return;
        open_ = true;
        for (int port : {1, 2}) {
            uint64_t end = srv_.panel.console_end(port);
            console_pos_[port - 1] = end > kConsoleBacklog ? end - kConsoleBacklog : 0;
        }
        srv_.sockets.push_back(weak_from_this());
        kick();
        read();
    }

    // The state first, then console bytes (small), then the picture.
    bool next_message()
    {
        PanelSnapshot snap = srv_.panel.snapshot();
        if (!sent_any_ || snap.generation != sent_generation_) {
            sent_any_ = true;
            sent_generation_ = snap.generation;
            out_ = state_json(snap);
            ws_.text(true);
            return true;
        }
        for (int port : {1, 2}) {
            uint64_t& pos = console_pos_[port - 1];
            uint64_t begin = 0;
            std::string bytes = srv_.panel.console(port, pos, &begin);
            if (bytes.empty())
                continue;
            if (bytes.size() > kConsoleChunk)
                bytes.resize(kConsoleChunk);
            pos = begin + bytes.size();
            out_ = console_message(port, bytes);
            ws_.binary(true);
            return true;
        }
        if (snap.picture && snap.picture != sent_picture_) {
            out_ = frame_message(sent_picture_.get(), *snap.picture);
            sent_picture_ = snap.picture;
            if (!out_.empty()) {
                ws_.binary(true);
                return true;
            }
        }
        return false;
    }

    void on_write(beast::error_code ec, size_t)
    {
        writing_ = false;
        if (ec) {
            open_ = false;
            return;
        }
        kick();
    }

    void read()
    {
        ws_.async_read(in_, beast::bind_front_handler(&Socket::on_read, shared_from_this()));
    }

    void on_read(beast::error_code ec, size_t)
    {
        if (ec) {
            open_ = false;
            return;
        }
        PageInput in = parse_page_input(beast::buffers_to_string(in_.data()));
        in_.consume(in_.size());
        switch (in.kind) {
        case PageInput::Touch:
            srv_.panel.post_touch(in.x, in.y, in.down);  // one off the panel is dropped
            break;
        case PageInput::Card:
            srv_.panel.post_card(in.present);
            break;
        case PageInput::Send:
            srv_.panel.post_console(in.port, in.bytes);
            break;
        case PageInput::Bad:
            break;  // a page of another version: nothing to do with it
        }
        read();
    }

    websocket::stream<beast::tcp_stream> ws_;
    Impl& srv_;
    beast::flat_buffer in_;
    std::string out_;
    bool open_ = false;
    bool writing_ = false;
    bool sent_any_ = false;
    uint64_t sent_generation_ = 0;
    std::shared_ptr<const PanelPicture> sent_picture_;
    uint64_t console_pos_[2] = {0, 0};
};

// ------------------------------------------------------------ HTTP

class HttpSession : public std::enable_shared_from_this<HttpSession> {
public:
    HttpSession(tcp::socket&& s, Server::Impl& srv) : stream_(std::move(s)), srv_(srv) {}

    void run() { read(); }

private:
    void read()
    {
        req_ = {};
        stream_.expires_after(std::chrono::seconds(60));
        http::async_read(stream_, buffer_, req_, beast::bind_front_handler(&HttpSession::on_read, shared_from_this()));
    }

    void on_read(beast::error_code ec, size_t)
    {
        if (ec == http::error::end_of_stream) {
            stream_.socket().shutdown(tcp::socket::shutdown_send, ec);
            return;
        }
        if (ec)
            return;
        std::string target(req_.target());
        std::string path = target.substr(0, target.find('?'));
        std::string query = target.size() > path.size() ? target.substr(path.size() + 1) : "";
        if (path == "/ws" && websocket::is_upgrade(req_)) {
            stream_.expires_never();
            std::make_shared<Server::Impl::Socket>(stream_.release_socket(), srv_)->run(std::move(req_));
            return;
        }
        route(path, query);
    }

    void route(const std::string& path, const std::string& query)
    {
        const bool get = req_.method() == http::verb::get, post = req_.method() == http::verb::post;
        if (path == "/" || path == "/index.html") {
            if (!get)
                return send(problem(req_, http::status::method_not_allowed, "use GET for the panel page"));
            return send(reply(req_, http::status::ok, "text/html; charset=utf-8",
                              std::string(reinterpret_cast<const char*>(kPanelPage), kPanelPageSize)));
        }
        if (path == "/state") {
            if (!get)
                return send(problem(req_, http::status::method_not_allowed, "use GET for /state"));
            return send(reply(req_, http::status::ok, "application/json", state_json(srv_.panel.snapshot())));
        }
        if (path == "/screen.bmp") {
            if (!get)
                return send(problem(req_, http::status::method_not_allowed, "use GET for /screen.bmp"));
            PanelSnapshot snap = srv_.panel.snapshot();
            return send(reply(req_, http::status::ok, "image/bmp", bmp_file(*snap.picture)));
        }
        if (path == "/touch") {
            if (!post)
                return send(problem(req_, http::status::method_not_allowed, "use POST /touch?x=&y=&down=0|1"));
            long x, y, down;
            if (!query_number(query, "x", &x) || !query_number(query, "y", &y) || !query_number(query, "down", &down) ||
                (down != 0 && down != 1))
                return send(problem(req_, http::status::bad_request, "/touch wants x=, y= (a panel pixel) and down=0 or 1"));
            if (srv_.panel.post_touch(static_cast<int>(x), static_cast<int>(y), down == 1, answer_with_state()))
                return;
            PanelSnapshot snap = srv_.panel.snapshot();
            return send(problem(req_, http::status::bad_request,
                                "/touch: " + std::to_string(x) + "," + std::to_string(y) + " is not on the " +
                                    std::to_string(snap.picture->width) + "x" + std::to_string(snap.picture->height) +
                                    " panel"));
        }
        if (path == "/card") {
            if (!post)
                return send(problem(req_, http::status::method_not_allowed, "use POST /card?present=0|1"));
            long present;
            if (!query_number(query, "present", &present) || (present != 0 && present != 1))
                return send(problem(req_, http::status::bad_request, "/card wants present=0 or 1"));
            srv_.panel.post_card(present == 1, answer_with_state());
            return;
        }
        send(problem(req_, http::status::not_found,
                     "no " + path + " here: the panel page is /, the endpoints /screen.bmp, /state, /touch, /card"));
    }

    // Runs on the firmware thread once an input is in: answers with the
    // state that shows it, from the server's thread.
    std::function<void()> answer_with_state()
    {
        auto self = shared_from_this();
        return [self] {
            asio::post(self->srv_.ioc, [self] {
                self->send(reply(self->req_, http::status::ok, "application/json",
                                 state_json(self->srv_.panel.snapshot())));
            });
        };
    }

    void send(Response&& res)
    {
        auto sp = std::make_shared<Response>(std::move(res));
        http::async_write(stream_, *sp, [self = shared_from_this(), sp](beast::error_code ec, size_t) {
            if (ec)
                return;
            if (sp->need_eof()) {
                self->stream_.socket().shutdown(tcp::socket::shutdown_send, ec);
                return;
            }
            self->read();
        });
    }

    beast::tcp_stream stream_;
    Server::Impl& srv_;
    beast::flat_buffer buffer_;
    Request req_;
};

// ------------------------------------------------------------ server

void Server::Impl::accept()
{
    acceptor.async_accept(ioc, [this](beast::error_code ec, tcp::socket s) {
        if (!ec) {
            s.set_option(tcp::no_delay(true), ec);
            std::make_shared<HttpSession>(std::move(s), *this)->run();
        }
        if (acceptor.is_open())
            accept();
    });
}

void Server::Impl::kick_all()
{
    kick_pending = false;
    std::vector<std::weak_ptr<Socket>> live;
    for (auto& w : sockets)
        if (auto s = w.lock()) {
            s->kick();
            live.push_back(w);
        }
    sockets.swap(live);
}

Server::Server(PanelPublisher& panel) : impl_(std::make_unique<Impl>(panel)) {}

Server::~Server()
{
    impl_->ioc.stop();
    if (impl_->thread.joinable())
        impl_->thread.join();
}

static void begin_serving(Server::Impl& s)
{
    s.port = s.acceptor.local_endpoint().port();
    s.accept();
    s.thread = std::thread([&s] { s.ioc.run(); });
}

bool Server::start(int port, std::string* error)
{
    Impl& s = *impl_;
    beast::error_code ec;
    tcp::endpoint at(asio::ip::address_v4::loopback(), static_cast<unsigned short>(port));
    s.acceptor.open(at.protocol(), ec);
    if (!ec)
        s.acceptor.set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec)
        s.acceptor.bind(at, ec);
    if (!ec)
        s.acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        *error = "cannot serve the panel page on 127.0.0.1:" +
                 (port ? std::to_string(port) : std::string("a port of the system's choice")) + ": " + ec.message();
        s.acceptor.close(ec);
        return false;
    }
    begin_serving(s);
    return true;
}

bool Server::adopt(int listening_fd, std::string* error)
{
    Impl& s = *impl_;
    beast::error_code ec;
    s.acceptor.assign(tcp::v4(), listening_fd, ec);
    if (ec) {
        *error = "cannot take over the panel page's socket: " + ec.message();
        return false;
    }
    begin_serving(s);
    return true;
}

int Server::listening_fd() const
{
    return impl_->acceptor.native_handle();
}

int Server::port() const
{
    return impl_->port;
}

void Server::notify()
{
    Impl& s = *impl_;
    if (!s.kick_pending.exchange(true))
        asio::post(s.ioc, [&s] { s.kick_all(); });
}

}  // namespace sim::web
