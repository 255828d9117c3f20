// The update check against a real HTTP server in the test process (QTcpServer): newer and equal
// versions, replies the endpoint should never send (garbage, binary, 10 MB, HTTP errors,
// redirect loops), a refused connection and a server that never answers, and the once-a-day
// rule with the first check marked as a new installation.
#include "app/updateclient.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <optional>

using namespace qz;

namespace {

// A minimal HTTP server: every request is answered by Respond (raw bytes; empty: no answer at
// all, the connection stays open). It records the request lines it saw.
class THttpServer {
public:
    using TRespond = std::function<QByteArray(const QByteArray& path)>;
    explicit THttpServer(TRespond respond) : FRespond(std::move(respond)) {
        FServer.listen(QHostAddress::LocalHost);
        QObject::connect(&FServer, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* s = FServer.nextPendingConnection()) {
                QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    FBuffer[s] += s->readAll();
                    if (!FBuffer[s].contains("\r\n\r\n")) return;
                    const QByteArray line = FBuffer[s].left(FBuffer[s].indexOf("\r\n"));
                    Requests.push_back(line);
                    const QByteArray path = line.split(' ').value(1);
                    const QByteArray answer = FRespond(path);
                    FBuffer.remove(s);
                    if (answer.isEmpty()) return;
                    s->write(answer);
                    s->disconnectFromHost();
                });
                QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    std::string Url(const char* path = "/check?v=1") const {
        return "http://127.0.0.1:" + std::to_string(FServer.serverPort()) + path;
    }
    std::vector<QByteArray> Requests;

private:
    TRespond FRespond;
    QTcpServer FServer;
    QHash<QTcpSocket*, QByteArray> FBuffer;
};

QByteArray Http(int status, const QByteArray& body, const QByteArray& extraHeaders = {}) {
    return "HTTP/1.1 " + QByteArray::number(status) +
           " X\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body;
}

// Runs one check and waits for its result (the event loop runs meanwhile).
TUpdateResult Check(const std::string& url, bool report = true, int timeoutMs = 20000) {
    std::optional<TUpdateResult> got;
    QEventLoop loop;
    TUpdateClient client([&](const TUpdateResult& r) {
        got = r;
        loop.quit();
    });
    client.SetTimeoutMs(timeoutMs);
    client.Start(url, report);
    // A guard so that a check that never ends fails the test instead of hanging it.
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_TRUE(got.has_value()) << "the check did not end: " << url;
    EXPECT_EQ(client.Pending(), 0);
    return got.value_or(TUpdateResult{});
}

using K = TUpdateResult::TKind;

} // namespace

TEST(UpdateReply, ParsesPairsAsTheEndpointWritesThem) {
    struct Case {
        const char* Body;
        bool Offers;
    };
    const Case cases[] = {
        {"VERSION=4.3\r\nINFOURL=https://example.invalid/new\r\n", true},
        {"VERSION=4.25\nINFOURL=u", false},
        {"VERSION=4.250\nINFOURL=u", false},
        {"VERSION=4,30\nINFOURL=u", false},         // does not parse: 0
        {"VERSION=5.0", false},                     // no information address
        {"version=9\nINFOURL=u", false},            // keys compare with their case
        {"VERSION=5=1\nINFOURL=u", false},          // the value is "5=1"
        {"VERSION=9\rINFOURL=u\rVERSION=1", false}, // CR alone; the last occurrence counts
        {"VERSION=1\nVERSION=10\nINFOURL=u", true},
        {"VERSION= 10 \nINFOURL=u", true},
        {"VERSION=1e9\nINFOURL=u", false},
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReplyOffersUpdate(ParseUpdateReply(c.Body)), c.Offers) << c.Body;
    const TUpdateReply r = ParseUpdateReply("junk\nINFOURL= a=b \r\nVERSION=4.3");
    EXPECT_EQ(r.InfoUrl, " a=b ");
    EXPECT_EQ(r.Version, "4.3");
}

TEST(UpdateCheck, OnceADayFirstCheckMarkedAndNothingWithoutAnEndpoint) {
    const std::string ep = "http://h/c?v=1";
    struct Case {
        const char* Endpoint;
        bool Option, Force;
        int Last, Today;
        bool Send;
        const char* Url;
        int Stored;
    };
    const Case cases[] = {
        {"http://h/c?v=1", true, false, 0, 46000, true, "http://h/c?v=1&newinstall=1", 46000},
        {"http://h/c", true, false, 0, 46000, true, "http://h/c?newinstall=1", 46000},
        {"http://h/c?v=1", true, false, 45999, 46000, true, "http://h/c?v=1", 46000},
        {"http://h/c?v=1", true, false, 46000, 46000, false, "", 46000},  // already today
        {"http://h/c?v=1", false, false, 45000, 46000, false, "", 45000}, // option off
        {"http://h/c?v=1", false, true, 46000, 46000, true, "http://h/c?v=1", 46000}, // asked
        {"", true, true, 0, 46000, false, "", 0}, // the build has no endpoint
    };
    for (const Case& c : cases) {
        const TUpdateCheckPlan p = PlanUpdateCheck(c.Endpoint, c.Option, c.Force, c.Last, c.Today);
        EXPECT_EQ(p.Send, c.Send) << c.Endpoint << " " << c.Last;
        EXPECT_EQ(p.Url, c.Url);
        EXPECT_EQ(p.LastUpdateCheck, c.Stored);
    }
    EXPECT_EQ(UpdateEndpoint(ep), ep);
}

TEST(UpdateClient, AnswersOfAWorkingServer) {
    THttpServer server([](const QByteArray& path) {
        if (path.startsWith("/newer")) return Http(200, "VERSION=4.3\r\nINFOURL=https://x/y\r\n");
        if (path.startsWith("/same")) return Http(200, "VERSION=4.25\r\nINFOURL=https://x/y\r\n");
        if (path.startsWith("/garbage")) return Http(200, "<html>Hello, world</html>");
        if (path.startsWith("/binary")) {
            QByteArray b(4096, '\0');
            for (int i = 0; i < b.size(); ++i) b[i] = char(i * 37);
            b.replace(100, 20, "\nVERSION=9\n"); // with INFOURL missing: no update
            return Http(200, b);
        }
        if (path.startsWith("/missing")) return Http(404, "VERSION=9\nINFOURL=u\n");
        if (path.startsWith("/error")) return Http(500, "oops");
        return Http(200, "");
    });
    TUpdateResult r = Check(server.Url("/newer?v=1"));
    EXPECT_EQ(r.Kind, K::UpdateFound);
    EXPECT_EQ(r.Reply.Version, "4.3");
    EXPECT_EQ(r.Reply.InfoUrl, "https://x/y");
    EXPECT_TRUE(r.Report);
    EXPECT_NE(server.Requests.back().indexOf("/newer?v=1"), -1);

    EXPECT_EQ(Check(server.Url("/same"), false).Kind, K::NoUpdate);
    EXPECT_FALSE(Check(server.Url("/same"), false).Report);
    EXPECT_EQ(Check(server.Url("/garbage")).Kind, K::NoUpdate);
    EXPECT_EQ(Check(server.Url("/binary")).Kind, K::NoUpdate);
    for (const char* path : {"/missing", "/error"}) {
        r = Check(server.Url(path));
        EXPECT_EQ(r.Kind, K::Failed) << path; // an HTTP error is a failed check, not a reply
        EXPECT_FALSE(r.Error.empty());
    }
}

TEST(UpdateClient, HostileOrAbsentServersEndTheCheckWithoutAnUpdate) {
    THttpServer server([&](const QByteArray& path) -> QByteArray {
        if (path.startsWith("/huge")) {
            // 10 MB announced and sent, with a newer version at its start.
            QByteArray body = "VERSION=99\nINFOURL=u\n";
            body.append(QByteArray(10 * 1024 * 1024, 'x'));
            return Http(200, body);
        }
        if (path.startsWith("/chunked-huge"))
            return "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nVERSION=99\nINFOURL=u\n" +
                   QByteArray(10 * 1024 * 1024, 'y');
        if (path.startsWith("/loop")) return Http(302, "", "Location: /loop\r\n");
        if (path.startsWith("/silent")) return {};
        return Http(200, "");
    });
    for (const char* path : {"/huge", "/chunked-huge", "/loop"}) {
        const TUpdateResult r = Check(server.Url(path));
        EXPECT_EQ(r.Kind, K::Failed) << path;
        EXPECT_FALSE(r.Error.empty()) << path;
    }
    const TUpdateResult silent = Check(server.Url("/silent"), true, 300);
    EXPECT_EQ(silent.Kind, K::Failed);
    EXPECT_NE(silent.Error.find("did not answer"), std::string::npos) << silent.Error;

    // A port nobody listens on.
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost);
    const std::string refused = "http://127.0.0.1:" + std::to_string(closed.serverPort()) + "/";
    closed.close();
    EXPECT_EQ(Check(refused).Kind, K::Failed);
    // Not a web address at all.
    EXPECT_EQ(Check("file:///etc/passwd").Kind, K::Failed);
    EXPECT_EQ(Check("no address").Kind, K::Failed);
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
