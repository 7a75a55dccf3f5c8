// npkova-web: the administration pages for any browser. It serves the
// administration folder over HTTP and plays the plug-in's part on the server
// (AdminSite); this file is only the HTTP side, with Qt's HTTP server.
#include "platform/version.h"
#include "plugin/web/admin_site.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QThreadPool>
#include <QUrl>
#include <QUrlQuery>
#include <QtConcurrent/QtConcurrentRun>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

using namespace vnk::plugin::web;

const char* const Usage =
    "usage: npkova-web [ADDRESS:]PORT FOLDER\n"
    "       npkova-web --help | --version\n"
    "\n"
    "Serves the administration pages of FOLDER (wbem.htm, magic.htm, batch.htm, the\n"
    "images) to any browser, and does on this machine what the plug-in does in them:\n"
    "  wbem.htm   searches the LAN and answers with the frame page of what answered\n"
    "             (WBEMMAIN.htm, with the list WBEMLIST.htm beside it); a browser that\n"
    "             asks while a search runs gets that search's pages\n"
    "  magic.htm  the magic packet form, sent back here, which sends the packets\n"
    "  batch.htm  the PCs of FOLDER/MagicPkt.ini, and a button that wakes them\n"
    "It listens on 127.0.0.1 (this machine only) unless ADDRESS says otherwise\n"
    "(0.0.0.0: every address of this machine). It answers only requests whose Host\n"
    "is that address (or localhost) and port, serves only the pages and images of\n"
    "FOLDER itself, and takes a form only with the token of the page it gave out\n"
    "since it started.\n"
    "\n"
    "Environment: VNK_BROADCAST and VNK_PORT (the search), VNK_WOL_PORT (magic\n"
    "packets), VNK_STATE_DIR (the registry, where the last Ethernet address sent\n"
    "from the form is kept).\n";

// Answers go out at once: a header and a body written apart would otherwise
// wait for the browser's delayed acknowledgement, some 40 ms each.
class NoDelayServer final : public QTcpServer {
protected:
    void incomingConnection(qintptr descriptor) override {
        const int on = 1;
        ::setsockopt(int(descriptor), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        QTcpServer::incomingConnection(descriptor);
    }
};

// 128 bits from the system's secure source, as hex.
std::string newToken() {
    std::string token;
    for (int i = 0; i < 4; ++i) {
        char part[9];
        std::snprintf(part, sizeof part, "%08x", QRandomGenerator::system()->generate());
        token += part;
    }
    return token;
}

Request requestOf(const QHttpServerRequest& r) {
    Request request;
    request.method = r.method() == QHttpServerRequest::Method::Get    ? "GET"
                     : r.method() == QHttpServerRequest::Method::Post ? "POST"
                                                                      : "OTHER";
    request.path = r.url().path(QUrl::FullyDecoded).toStdString();
    for (const auto& [name, value] : r.headers())
        if (name.compare("host", Qt::CaseInsensitive) == 0)
            request.host = value.toStdString();
    if (r.method() == QHttpServerRequest::Method::Post) {
        QByteArray body = r.body();
        body.replace('+', ' ');
        const QUrlQuery form(QString::fromUtf8(body));
        for (const auto& [name, value] : form.queryItems(QUrl::FullyDecoded))
            request.form.emplace(name.toStdString(), value.toStdString());
    }
    return request;
}

QHttpServerResponse responseOf(const Answer& a) {
    QHttpServerResponse response(QByteArray::fromStdString(a.contentType), QByteArray::fromStdString(a.body),
                                 QHttpServerResponder::StatusCode(a.status));
    const std::pair<QByteArray, QByteArray> headers[] = {
        // Only this server's own pages may frame its pages, and nothing is
        // read as another type than it is served as.
        {"X-Frame-Options", "SAMEORIGIN"},
        {"X-Content-Type-Options", "nosniff"},
        {"Referrer-Policy", "no-referrer"},
    };
    for (const auto& [name, value] : headers)
        response.setHeader(name, value);
    if (a.contentType == "text/html")
        response.setHeader("Cache-Control", "no-store");
    if (!a.location.empty())
        response.setHeader("Location", QByteArray::fromStdString(a.location));
    return response;
}

} // namespace

int main(int argc, char** argv) {
    std::string listen, folder;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::puts("npkova-web " VNK_VERSION);
            return 0;
        }
        if (arg.empty() || arg[0] == '-' || !folder.empty()) {
            std::fprintf(stderr, "npkova-web: unexpected argument \"%s\"\n%s", argv[i], Usage);
            return 2;
        }
        (listen.empty() ? listen : folder) = arg;
    }
    const auto where = parseListenAddress(listen);
    if (!where) {
        std::fprintf(stderr, "npkova-web: \"%s\" is not [ADDRESS:]PORT (an IPv4 address, a port from 1)\n%s",
                     listen.c_str(), Usage);
        return 2;
    }
    std::error_code error;
    const auto canonical = std::filesystem::canonical(folder.empty() ? "." : folder, error);
    if (folder.empty() || error || !std::filesystem::is_directory(canonical)) {
        std::fprintf(stderr, "npkova-web: \"%s\" is not a folder\n%s", folder.c_str(), Usage);
        return 2;
    }

    SiteOptions options;
    options.folder = canonical.string();
    options.address = where->first;
    options.port = where->second;
    options.token = newToken();
    std::string why;
    options.endpoint = vnk::platform::Endpoint::fromEnvironment(&why);
    const auto wol = why.empty() ? vnk::wol::wolDestinationFromEnvironment(&why) : std::nullopt;
    if (!wol) {
        std::fprintf(stderr, "npkova-web: %s\n", why.c_str());
        return 2;
    }
    options.wol = *wol;

    QCoreApplication app(argc, argv);
    AdminSite site(options);
    // A search holds its thread for seconds: enough threads that images and
    // other browsers are served meanwhile.
    QThreadPool workers;
    workers.setMaxThreadCount(16);
    QHttpServer server;
    const auto answerLater = [&](const QHttpServerRequest& r) {
        return QtConcurrent::run(&workers, [&site, request = requestOf(r)] { return responseOf(site.answer(request)); });
    };
    server.route(QStringLiteral("/"), answerLater);
    server.route(QStringLiteral("/<arg>"), [&](const QString&, const QHttpServerRequest& r) { return answerLater(r); });
    // Anything else (a path in a folder, a method not routed) is answered at
    // once: it needs no search and no packet.
    server.setMissingHandler([&](const QHttpServerRequest& r, QHttpServerResponder&& responder) {
        responseOf(site.answer(requestOf(r))).write(std::move(responder));
    });
    auto* tcp = new NoDelayServer;
    if (!tcp->listen(QHostAddress(QString::fromStdString(options.address)), options.port)) {
        std::fprintf(stderr, "npkova-web: cannot listen on %s:%u (is another program using the port?)\n",
                     options.address.c_str(), options.port);
        return 1;
    }
    server.bind(tcp);
    const bool loopback = QHostAddress(QString::fromStdString(options.address)).isLoopback();
    std::printf("npkova-web: serving %s at http://%s:%u/wbem.htm\n", options.folder.c_str(),
                options.address == "0.0.0.0" ? "127.0.0.1" : options.address.c_str(), options.port);
    std::printf(loopback ? "npkova-web: only this machine can open it (give ADDRESS:PORT to serve others)\n"
                         : "npkova-web: other machines can open it: anyone who reaches this address can search "
                           "the LAN and wake its PCs\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}
