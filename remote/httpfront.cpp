#include "httpfront.h"

#include "httpsystem.h"

#include <cstring>
#include <deque>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t connectionMemory = 32 * 1024; // libmicrohttpd's pool per connection: headers, buffers

// One connection: whether a request is being handled, or else when the next request's headers are due.
struct Link
{
    MHD_Connection *connection = nullptr;
    MHD_socket fd = MHD_INVALID_SOCKET;
    Clock::time_point headersDue;
    bool handling = false;
    bool shutDown = false;
};

// One request on a connection.
struct Exchange
{
    std::size_t bodyBytes = 0;
    bool bodyTooLarge = false;
    MHD_PostProcessor *form = nullptr;
    QList<QPair<QByteArray, QByteArray>> fields;
    std::uint64_t ticket = 0;           // set while the request is put off
    std::optional<alpaca::Reply> reply; // the put-off reply, once it has come

    ~Exchange()
    {
        if (form)
            MHD_destroy_post_processor(form);
    }
};

alpaca::Reply textReply(int status, const char *text)
{
    alpaca::Reply reply;
    reply.status = status;
    reply.contentType = "text/plain; charset=utf-8";
    reply.body = text;
    return reply;
}

MHD_Result queue(MHD_Connection *connection, const alpaca::Reply &reply)
{
    MHD_Response *response = MHD_create_response_from_buffer(std::size_t(reply.body.size()),
                                                             const_cast<char *>(reply.body.constData()),
                                                             MHD_RESPMEM_MUST_COPY);
    if (!response)
        return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.contentType.constData());
    const MHD_Result queued = MHD_queue_response(connection, unsigned(reply.status), response);
    MHD_destroy_response(response);
    return queued;
}

MHD_Result countHeader(void *total, MHD_ValueKind, const char *key, const char *value)
{
    *static_cast<std::size_t *>(total) += std::strlen(key) + (value ? std::strlen(value) : 0) + 4;
    return MHD_YES;
}

MHD_Result collectArgument(void *fields, MHD_ValueKind, const char *key, const char *value)
{
    static_cast<QList<QPair<QByteArray, QByteArray>> *>(fields)->append({QByteArray(key), QByteArray(value)});
    return MHD_YES;
}

// Form fields of a PUT or POST body, as libmicrohttpd decodes them; a long value comes in pieces.
MHD_Result collectField(void *exchange, MHD_ValueKind, const char *key, const char *, const char *, const char *,
                        const char *data, std::uint64_t offset, std::size_t size)
{
    auto &fields = static_cast<Exchange *>(exchange)->fields;
    if (offset == 0 || fields.isEmpty() || fields.last().first != key)
        fields.append({QByteArray(key), QByteArray()});
    fields.last().second.append(data, int(size));
    return MHD_YES;
}

QByteArray headerValue(MHD_Connection *connection, const char *name)
{
    return QByteArray(MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name));
}

Link *linkOf(MHD_Connection *connection)
{
    const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    return info ? static_cast<Link *>(info->socket_context) : nullptr;
}

} // namespace

// Replies that other threads hand in for put-off requests; it outlives the server for late senders.
struct Mailbox
{
    std::mutex mutex;
    std::deque<std::pair<std::uint64_t, alpaca::Reply>> replies;
    bool closed = false;
    const httpsystem::Wake wakeUp;

    void post(std::uint64_t ticket, const alpaca::Reply &reply)
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (closed)
            return;
        replies.emplace_back(ticket, reply);
        wake();
    }
    void wake() const { wakeUp.wake(); }
    std::deque<std::pair<std::uint64_t, alpaca::Reply>> take()
    {
        wakeUp.drain();
        const std::lock_guard<std::mutex> lock(mutex);
        std::deque<std::pair<std::uint64_t, alpaca::Reply>> taken;
        taken.swap(replies);
        return taken;
    }
};

struct HttpFront::Loop
{
    HttpFront::Handler &handler;
    std::vector<MHD_Daemon *> &daemons;
    std::shared_ptr<Mailbox> mailbox = std::make_shared<Mailbox>();
    std::atomic<bool> stopping{false};
    std::unordered_set<Link *> links{};
    std::unordered_map<std::uint64_t, std::pair<MHD_Connection *, Exchange *>> putOff{};
    std::uint64_t nextTicket = 1;

    void run();
    void waitForWork();
    void resumeAnswered();
    void closeLateHeaders();
    void finish();

    MHD_Result headersIn(MHD_Connection *connection, const char *url, const char *method, Exchange &exchange);
    MHD_Result bodyIn(MHD_Connection *connection, Exchange &exchange, const char *data, std::size_t size);
    MHD_Result answer(MHD_Connection *connection, const char *url, const char *method, Exchange &exchange);

    static MHD_Result onRequest(void *cls, MHD_Connection *connection, const char *url, const char *method,
                                const char *version, const char *uploadData, std::size_t *uploadSize,
                                void **context);
    static void onCompleted(void *cls, MHD_Connection *connection, void **context, MHD_RequestTerminationCode);
    static void onConnection(void *cls, MHD_Connection *connection, void **socketContext,
                             MHD_ConnectionNotificationCode code);
};

void HttpFront::Loop::run()
{
    while (!stopping) {
        waitForWork();
        resumeAnswered();
        for (MHD_Daemon *daemon : daemons)
            MHD_run(daemon);
        closeLateHeaders();
    }
    finish();
}

void HttpFront::Loop::waitForWork()
{
    long long timeoutMs = 500;
    for (MHD_Daemon *daemon : daemons) {
        MHD_UNSIGNED_LONG_LONG daemonMs = 0;
        if (MHD_get_timeout(daemon, &daemonMs) == MHD_YES)
            timeoutMs = std::min(timeoutMs, static_cast<long long>(daemonMs));
    }
    const Clock::time_point now = Clock::now();
    for (const Link *link : links)
        if (!link->handling && !link->shutDown)
            timeoutMs = std::min<long long>(
                timeoutMs, std::chrono::duration_cast<std::chrono::milliseconds>(link->headersDue - now).count() + 1);
    httpsystem::waitForWork(mailbox->wakeUp, daemons, std::max(0LL, timeoutMs));
}

void HttpFront::Loop::resumeAnswered()
{
    for (auto &answered : mailbox->take()) {
        const auto found = putOff.find(answered.first);
        if (found == putOff.end())
            continue;
        found->second.second->reply = std::move(answered.second);
        MHD_resume_connection(found->second.first);
        putOff.erase(found);
    }
}

// A client that has not sent its headers in time loses its connection: the socket is shut at once (the client
// sees it end), and libmicrohttpd, which may miss that on a socket whose peer has half-closed it already, lets it
// go after a second without traffic.
void HttpFront::Loop::closeLateHeaders()
{
    const Clock::time_point now = Clock::now();
    for (Link *link : links) {
        if (link->handling || link->shutDown || now < link->headersDue)
            continue;
        httpsystem::shutDown(link->fd);
        MHD_set_connection_option(link->connection, MHD_CONNECTION_OPTION_TIMEOUT, 1u);
        link->shutDown = true;
    }
}

// Put-off requests are answered at once, so that no connection stays suspended when the daemons stop.
void HttpFront::Loop::finish()
{
    resumeAnswered();
    {
        const std::lock_guard<std::mutex> lock(mailbox->mutex);
        mailbox->closed = true;
    }
    for (auto &waiting : putOff) {
        waiting.second.second->reply = textReply(MHD_HTTP_SERVICE_UNAVAILABLE, "The panel is closing");
        MHD_resume_connection(waiting.second.first);
    }
    putOff.clear();
    for (MHD_Daemon *daemon : daemons)
        MHD_run(daemon);
}

MHD_Result HttpFront::Loop::onRequest(void *cls, MHD_Connection *connection, const char *url, const char *method,
                                      const char *, const char *uploadData, std::size_t *uploadSize, void **context)
{
    Loop &loop = *static_cast<Loop *>(cls);
    auto *exchange = static_cast<Exchange *>(*context);
    if (!exchange) {
        exchange = new Exchange;
        *context = exchange;
        if (Link *link = linkOf(connection))
            link->handling = true;
        return loop.headersIn(connection, url, method, *exchange);
    }
    if (*uploadSize > 0) {
        const std::size_t size = *uploadSize;
        *uploadSize = 0;
        return loop.bodyIn(connection, *exchange, uploadData, size);
    }
    if (exchange->bodyTooLarge)
        return MHD_YES; // refused already
    if (exchange->reply)
        return queue(connection, *exchange->reply);
    return loop.answer(connection, url, method, *exchange);
}

// Refuses what is too large before the body is read; prepares the form parser.
MHD_Result HttpFront::Loop::headersIn(MHD_Connection *connection, const char *url, const char *method,
                                      Exchange &exchange)
{
    std::size_t headerBytes = std::strlen(url) + std::strlen(method);
    MHD_get_connection_values(connection, MHD_HEADER_KIND, countHeader, &headerBytes);
    if (headerBytes > maxHeaderBytes)
        return queue(connection, textReply(MHD_HTTP_REQUEST_HEADER_FIELDS_TOO_LARGE, "Request headers too large"));
    const QByteArray length = headerValue(connection, MHD_HTTP_HEADER_CONTENT_LENGTH);
    if (!length.isEmpty()) {
        bool number = false;
        const qulonglong bytes = length.trimmed().toULongLong(&number);
        if (!number || bytes > maxBodyBytes)
            return queue(connection, textReply(MHD_HTTP_CONTENT_TOO_LARGE, "Request body too large"));
    }
    exchange.form = MHD_create_post_processor(connection, 1024, collectField, &exchange);
    return MHD_YES;
}

// A chunked body has no length to look at: it is counted as it comes and refused when it passes the limit.
MHD_Result HttpFront::Loop::bodyIn(MHD_Connection *connection, Exchange &exchange, const char *data, std::size_t size)
{
    if (exchange.bodyTooLarge)
        return MHD_NO;
    exchange.bodyBytes += size;
    if (exchange.bodyBytes > maxBodyBytes) {
        exchange.bodyTooLarge = true;
        return queue(connection, textReply(MHD_HTTP_CONTENT_TOO_LARGE, "Request body too large"));
    }
    if (exchange.form && MHD_post_process(exchange.form, data, size) != MHD_YES) {
        MHD_destroy_post_processor(exchange.form);
        exchange.form = nullptr;
    }
    return MHD_YES;
}

MHD_Result HttpFront::Loop::answer(MHD_Connection *connection, const char *url, const char *method,
                                   Exchange &exchange)
{
    if (exchange.form) {
        MHD_destroy_post_processor(exchange.form); // hands over the last field
        exchange.form = nullptr;
    }
    alpaca::Request request;
    request.method = method;
    request.path = url;
    QList<QPair<QByteArray, QByteArray>> fields;
    MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, collectArgument, &fields);
    fields += exchange.fields;
    for (const auto &field : fields)
        request.params.append({QString::fromUtf8(field.first), QString::fromUtf8(field.second)});
    request.host = headerValue(connection, MHD_HTTP_HEADER_HOST);
    const char *origin = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Origin");
    request.hasOrigin = origin != nullptr;
    request.origin = QByteArray(origin);

    const std::uint64_t ticket = nextTicket++;
    const Later later = [box = mailbox, ticket](const alpaca::Reply &reply) { box->post(ticket, reply); };
    const std::optional<alpaca::Reply> reply = handler(request, later);
    if (reply)
        return queue(connection, *reply);
    exchange.ticket = ticket;
    putOff.emplace(ticket, std::make_pair(connection, &exchange));
    MHD_suspend_connection(connection);
    return MHD_YES;
}

void HttpFront::Loop::onCompleted(void *cls, MHD_Connection *connection, void **context, MHD_RequestTerminationCode)
{
    Loop &loop = *static_cast<Loop *>(cls);
    auto *exchange = static_cast<Exchange *>(*context);
    if (exchange) {
        loop.putOff.erase(exchange->ticket);
        delete exchange;
        *context = nullptr;
    }
    if (Link *link = linkOf(connection)) {
        link->handling = false;
        link->headersDue = Clock::now() + headerTime;
    }
}

void HttpFront::Loop::onConnection(void *cls, MHD_Connection *connection, void **socketContext,
                                   MHD_ConnectionNotificationCode code)
{
    Loop &loop = *static_cast<Loop *>(cls);
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
        auto *link = new Link;
        link->connection = connection;
        link->fd = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD)->connect_fd;
        link->headersDue = Clock::now() + headerTime;
        loop.links.insert(link);
        *socketContext = link;
    } else {
        auto *link = static_cast<Link *>(*socketContext);
        loop.links.erase(link);
        delete link;
        *socketContext = nullptr;
    }
}

HttpFront::HttpFront(Handler handler)
    : handler(std::move(handler))
    , loop(new Loop{this->handler, daemons})
{
}

HttpFront::~HttpFront()
{
    stop();
}

bool HttpFront::bind(const std::string &host, int &port)
{
    unsigned flags = httpsystem::daemonFlags() | MHD_ALLOW_SUSPEND_RESUME;
    httpsystem::Address numeric;
    if (host == "::") {
        flags |= MHD_USE_DUAL_STACK;
    } else if (host != "0.0.0.0") {
        if (host.find(':') != std::string::npos)
            flags |= MHD_USE_IPv6;
        numeric = httpsystem::numericAddress(host, port);
        if (!numeric.valid)
            return false; // never all interfaces in place of an address that did not parse
    }
    const sockaddr *address = numeric.get();
    MHD_Daemon *daemon = MHD_start_daemon(
        flags, std::uint16_t(port), nullptr, nullptr, &Loop::onRequest, loop.get(),
        MHD_OPTION_CONNECTION_LIMIT, maxConnections,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, connectionMemory,
        MHD_OPTION_CONNECTION_TIMEOUT, idleSeconds,
        MHD_OPTION_NOTIFY_COMPLETED, &Loop::onCompleted, loop.get(),
        MHD_OPTION_NOTIFY_CONNECTION, &Loop::onConnection, loop.get(),
        address ? MHD_OPTION_SOCK_ADDR : MHD_OPTION_END, address,
        MHD_OPTION_END);
    if (!daemon)
        return false;
    port = MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_BIND_PORT)->port;
    hosts.push_back(host);
    daemons.push_back(daemon);
    return true;
}

bool HttpFront::bindAll(bool network, int port)
{
    stop();
    int chosen = port;
    if (network) {
        if (!bind("::", chosen) && !bind("0.0.0.0", chosen))
            return false;
    } else {
        if (!bind("127.0.0.1", chosen))
            return false;
        bind("::1", chosen); // a machine without IPv6 serves on IPv4 only
    }
    boundPort = chosen;
    return true;
}

void HttpFront::start()
{
    loop->stopping = false;
    thread = std::thread([this] { loop->run(); });
}

void HttpFront::stop()
{
    if (thread.joinable()) {
        loop->stopping = true;
        loop->mailbox->wake();
        thread.join();
    }
    for (MHD_Daemon *daemon : daemons)
        MHD_stop_daemon(daemon);
    daemons.clear();
    hosts.clear();
}

std::string HttpFront::listenText() const
{
    std::string text;
    for (const std::string &host : hosts) {
        if (!text.empty())
            text += " and ";
        text += host.find(':') != std::string::npos ? "[" + host + "]" : host;
    }
    return text + " port " + std::to_string(boundPort);
}
