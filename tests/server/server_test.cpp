// quillivar-server spoken to over real HTTP on loopback, converting with the real engine.

#include "testsupport.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <future>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace quillivar::test;

namespace {

const QString kBin = QStringLiteral(QUILLIVAR_BUILD_BIN);

struct Response {
    int status = 0;
    QMap<QByteArray, QByteArray> headers;  // names in lower case
    QByteArray body;
    QJsonObject Json() const { return QJsonDocument::fromJson(body).object(); }
};

// One HTTP/1.1 connection to the service, read and written by hand, so that a test can stop
// reading halfway or hold a request open.
class Connection {
public:
    explicit Connection(int port) {
        socket_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const timeval timeout{120, 0};  // no read waits for ever
        setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        connected_ = connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~Connection() { Close(); }
    void Close() {
        if (socket_ >= 0) close(socket_);
        socket_ = -1;
    }
    bool Send(const QByteArray& bytes) {
        qsizetype sent = 0;
        while (connected_ && sent < bytes.size()) {
            const ssize_t n = send(socket_, bytes.constData() + sent, static_cast<size_t>(bytes.size() - sent), MSG_NOSIGNAL);
            if (n <= 0) return false;
            sent += n;
        }
        return connected_;
    }
    // The status line and headers.
    Response ReadHead() {
        Response response;
        const QList<QByteArray> lines = ReadUntil("\r\n\r\n").split('\n');
        const QList<QByteArray> statusLine = lines.value(0).split(' ');
        response.status = statusLine.value(1).toInt();
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0) response.headers.insert(lines[i].left(colon).toLower(), lines[i].mid(colon + 1).trimmed());
        }
        return response;
    }
    // The next piece of a chunked body; empty at its end or when the connection broke.
    QByteArray ReadChunk() {
        bool ok = false;
        const qsizetype size = ReadUntil("\r\n").trimmed().toLongLong(&ok, 16);
        if (!ok) return {};
        QByteArray chunk = ReadExactly(size);
        ReadExactly(2);
        return chunk;
    }
    void ReadBody(Response& response) {
        if (response.headers.value("transfer-encoding") == "chunked") {
            for (QByteArray chunk = ReadChunk(); !chunk.isEmpty(); chunk = ReadChunk()) response.body += chunk;
        } else {
            response.body = ReadExactly(response.headers.value("content-length").toLongLong());
        }
    }

private:
    QByteArray ReadUntil(const QByteArray& end) {
        while (!buffer_.contains(end) && Fill()) {
        }
        const qsizetype at = buffer_.indexOf(end);
        const QByteArray text = at < 0 ? buffer_ : buffer_.left(at + end.size());
        buffer_.remove(0, text.size());
        return text;
    }
    QByteArray ReadExactly(qsizetype size) {
        while (buffer_.size() < size && Fill()) {
        }
        const QByteArray bytes = buffer_.left(size);
        buffer_.remove(0, bytes.size());
        return bytes;
    }
    bool Fill() {
        char data[65536];
        const ssize_t n = socket_ < 0 ? -1 : recv(socket_, data, sizeof data, 0);
        if (n > 0) buffer_.append(data, n);
        return n > 0;
    }
    int socket_ = -1;
    bool connected_ = false;
    QByteArray buffer_;
};

// A multipart/form-data body.
class Form {
public:
    Form& File(const QByteArray& fileName, const QByteArray& bytes) {
        body_ += "--" + kBoundary + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" + fileName +
                 "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + bytes + "\r\n";
        return *this;
    }
    Form& Document(const QString& path) {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        return File(QFileInfo(path).fileName().toUtf8(), file.readAll());
    }
    Form& Field(const QByteArray& name, const QByteArray& value) {
        body_ += "--" + kBoundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
        return *this;
    }
    QByteArray Request(const QByteArray& headers = {}) const {
        const QByteArray body = body_ + "--" + kBoundary + "--\r\n";
        return "POST /v1/convert HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: multipart/form-data; boundary=" + kBoundary +
               "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n" + headers + "\r\n" + body;
    }

private:
    inline static const QByteArray kBoundary = "quillivar-test-7d1f3c";
    QByteArray body_;
};

Response Exchange(int port, const QByteArray& request) {
    Connection connection(port);
    connection.Send(request);
    Response response = connection.ReadHead();
    connection.ReadBody(response);
    return response;
}

Response Get(int port, const QByteArray& path, const QByteArray& headers = {}) {
    return Exchange(port, "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + "\r\n");
}

// quillivar-server on a free loopback port, with its temporary folder and engine state of
// its own; stopped with SIGTERM at the end.
class Server {
public:
    // `processors` > 0: the service sees only that many, as taskset shows it.
    explicit Server(const QStringList& arguments, int processors = 0) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TMPDIR", temporary_.path());
        process_.setProcessEnvironment(environment);
        const QStringList command = QStringList{kBin + "/quillivar-server", "--listen", "127.0.0.1:0"} + arguments;
        if (processors > 0) {
            process_.start("taskset", QStringList{"-c", QStringLiteral("0-%1").arg(processors - 1)} + command);
        } else {
            process_.start(command.first(), command.mid(1));
        }
        const QRegularExpression listening("listening on http://127\\.0\\.0\\.1:(\\d+)/");
        for (int wait = 0; wait < 120 && port == 0 && process_.state() != QProcess::NotRunning; ++wait) {
            process_.waitForReadyRead(1000);
            log_ += QString::fromUtf8(process_.readAllStandardError());
            if (const auto match = listening.match(log_); match.hasMatch()) port = match.captured(1).toInt();
        }
        // Ready: its engines are warm.
        for (int wait = 0; wait < 120 && port != 0 && Get(port, "/ready").status != 200; ++wait) QThread::msleep(500);
    }
    ~Server() {
        if (process_.state() != QProcess::NotRunning) Stop();
    }
    // SIGTERM; its exit status, or -1 when it did not exit by itself within a minute.
    int Stop() {
        kill(static_cast<pid_t>(process_.processId()), SIGTERM);
        if (!process_.waitForFinished(60000)) {
            process_.kill();
            process_.waitForFinished();
            return -1;
        }
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }
    pid_t Pid() const { return static_cast<pid_t>(process_.processId()); }
    std::vector<pid_t> Engines() const { return EnginesOf(Pid()); }
    // What requests left in its temporary folder.
    QStringList Leftovers() const { return QDir(temporary_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden); }
    QString Log() { return log_ += QString::fromUtf8(process_.readAllStandardError()); }

    int port = 0;

private:
    QTemporaryDir temporary_;
    QProcess process_;
    QString log_;
};

// Waits, at most a minute, for `condition`.
bool Eventually(const std::function<bool()>& condition) {
    for (int i = 0; i < 240; ++i) {
        if (condition()) return true;
        QThread::msleep(250);
    }
    return condition();
}

// The files of a ZIP answer, checked whole (every entry's CRC) by Python's zipfile.
QMap<QString, QByteArray> Unzip(const QByteArray& zip) {
    QTemporaryDir folder;
    QFile archive(folder.filePath("answer.zip"));
    archive.open(QIODevice::WriteOnly);
    archive.write(zip);
    archive.close();
    QProcess python;
    python.start("python3", {"-c",
                             "import sys, zipfile\n"
                             "z = zipfile.ZipFile(sys.argv[1])\n"
                             "sys.exit('bad entry: %s' % z.testzip()) if z.testzip() else z.extractall(sys.argv[2])",
                             archive.fileName(), folder.filePath("files")});
    python.waitForFinished(60000);
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    QMap<QString, QByteArray> files;
    for (const QString& name : QDir(folder.filePath("files")).entryList(QDir::Files)) {
        QFile file(folder.filePath("files/" + name));
        file.open(QIODevice::ReadOnly);
        files.insert(name, file.readAll());
    }
    return files;
}

// What quillivar-cli writes for the documents with these options: file name to bytes.
QMap<QString, QByteArray> CliPages(const QStringList& documents, const QStringList& options) {
    QTemporaryDir out;
    QProcess cli;
    cli.start(kBin + "/quillivar-cli", QStringList{"--out", out.path(), "--jobs", "1"} + options + documents);
    cli.waitForFinished(300000);
    QMap<QString, QByteArray> pages;
    for (const QString& name : QDir(out.path()).entryList(QDir::Files)) {
        QFile file(out.filePath(name));
        file.open(QIODevice::ReadOnly);
        pages.insert(name, file.readAll());
    }
    return pages;
}

// The answer to converting `documents` with the form's `fields` (name, value, ...) holds
// quillivar-cli's pages for them byte for byte, and a manifest that tells them right.
void ExpectCliPages(int port, const QStringList& documents, const QList<QByteArray>& fields) {
    Form form;
    QStringList options;
    for (qsizetype i = 0; i + 1 < fields.size(); i += 2) {
        form.Field(fields[i], fields[i + 1]);
        options << "--" + QString::fromUtf8(fields[i]) << QString::fromUtf8(fields[i + 1]);
    }
    for (const QString& document : documents) form.Document(document);
    const Response response = Exchange(port, form.Request());
    ASSERT_EQ(response.status, 200) << response.body.toStdString();
    EXPECT_EQ(response.headers.value("content-type"), "application/zip");
    QMap<QString, QByteArray> files = Unzip(response.body);
    const QJsonArray manifest = QJsonDocument::fromJson(files.take("manifest.json")).object().value("documents").toArray();
    const QMap<QString, QByteArray> expected = CliPages(documents, options);
    ASSERT_FALSE(expected.isEmpty());
    EXPECT_EQ(files.keys(), expected.keys());
    for (const QString& name : expected.keys()) EXPECT_TRUE(files.value(name) == expected.value(name)) << name.toStdString();

    ASSERT_EQ(manifest.size(), documents.size());
    int pagesListed = 0;
    for (qsizetype i = 0; i < documents.size(); ++i) {
        const QJsonObject document = manifest[i].toObject();
        EXPECT_EQ(document.value("name").toString(), QFileInfo(documents[i]).fileName());
        EXPECT_EQ(document.value("outcome").toString(), "converted");
        EXPECT_GT(document.value(document.contains("page_count") ? "page_count" : "page_count_at_least").toInt(), 0);
        for (const QJsonValue& value : document.value("pages").toArray()) {
            const QJsonObject page = value.toObject();
            const QString file = page.value("file").toString();
            ++pagesListed;
            EXPECT_TRUE(file.endsWith(QStringLiteral("_%1.").arg(page.value("page").toInt()) + QFileInfo(file).suffix()));
            EXPECT_EQ(page.value("sha256").toString(),
                      QCryptographicHash::hash(files.value(file), QCryptographicHash::Sha256).toHex());
            QTemporaryDir folder;
            QFile copy(folder.filePath(file));
            copy.open(QIODevice::WriteOnly);
            copy.write(files.value(file));
            copy.close();
            const DecodedImage image = DecodeImage(copy.fileName());
            EXPECT_EQ(page.value("width_px").toInt(), image.width) << file.toStdString();
            EXPECT_EQ(page.value("height_px").toInt(), image.height) << file.toStdString();
            // An A4 page, whatever size it was drawn at.
            EXPECT_NEAR(page.value("width_pt").toDouble(), 595.3, 0.1) << file.toStdString();
            EXPECT_NEAR(page.value("height_pt").toDouble(), 841.9, 0.1) << file.toStdString();
        }
    }
    EXPECT_EQ(pagesListed, files.size());
}

}  // namespace

// Two clients at once, on two engines: each gets quillivar-cli's own pages, whatever the other
// converts beside it.
TEST(Server, PagesAreThoseOfTheCommandLine) {
    Server server({"--jobs", "2"});
    ASSERT_NE(server.port, 0) << server.Log().toStdString();
    QStringList samples;
    for (const QString& name : QDir(QUILLIVAR_SOURCE_DIR "/Samples").entryList(QDir::Files)) samples << QUILLIVAR_SOURCE_DIR "/Samples/" + name;
    auto samplesDone = std::async(std::launch::async, [&] { ExpectCliPages(server.port, samples, {}); });
    ExpectCliPages(server.port, {TestDocument("seven-pages.odt"), TestDocument("three-pages.doc")},
                   {"format", "png", "pages", "2-3,6", "dpi", "120"});
    samplesDone.get();
    // The same engines again, now warm, with other choices.
    ExpectCliPages(server.port, {TestDocument("three-pages.docx")}, {"format", "webp", "quality", "60", "width", "300"});
    EXPECT_TRUE(server.Leftovers().isEmpty()) << server.Leftovers().join(' ').toStdString();
    EXPECT_EQ(server.Stop(), 0);
}

// Every refusal answers JSON with the status that fits, and the service goes on.
TEST(Server, RefusalsAnswerJsonWithTheirStatus) {
    QTemporaryDir folder;
    QFile tokenFile(folder.filePath("token"));
    tokenFile.open(QIODevice::WriteOnly);
    tokenFile.write("s3cret-token\n");
    tokenFile.close();
    Server server({"--jobs", "1", "--queue", "0", "--max-upload", "1", "--token-file", tokenFile.fileName()});
    ASSERT_NE(server.port, 0) << server.Log().toStdString();
    const QByteArray auth = "Authorization: Bearer s3cret-token\r\n";
    const QByteArray oneDocument = Form().Document(TestDocument("one-page.rtf")).Request(auth);

    const auto expectError = [](const Response& response, int status, const QString& detailPart) {
        EXPECT_EQ(response.status, status) << response.body.toStdString();
        EXPECT_EQ(response.headers.value("content-type"), "application/json") << status;
        EXPECT_FALSE(response.Json().value("error").toString().isEmpty()) << response.body.toStdString();
        EXPECT_TRUE(response.Json().value("detail").toString().contains(detailPart)) << response.body.toStdString();
    };
    expectError(Exchange(server.port, Form().Document(TestDocument("one-page.rtf")).Request()), 401, "Bearer");
    expectError(Exchange(server.port, Form().Document(TestDocument("one-page.rtf")).Request("Authorization: Bearer s3cret-tokeN\r\n")), 401, "Bearer");
    expectError(Get(server.port, "/metrics"), 401, "Bearer");
    EXPECT_EQ(Get(server.port, "/health").status, 200);  // probes need no token

    // The command line's own checks and words.
    const QByteArray rtf = "{\\rtf1 x}";
    expectError(Exchange(server.port, Form().Field("quality", "0").File("a.rtf", rtf).Request(auth)), 400,
                "quality must be a whole number from 1 to 100, not '0'");
    expectError(Exchange(server.port, Form().Field("dpi", "100").Field("width", "50").File("a.rtf", rtf).Request(auth)), 400,
                "width and height cannot be used together with dpi");
    expectError(Exchange(server.port, Form().Field("pages", "3-1").File("a.rtf", rtf).Request(auth)), 400, "'3-1'");
    expectError(Exchange(server.port, Form().Field("format", "gif").File("a.rtf", rtf).Request(auth)), 400, "'gif'");
    expectError(Exchange(server.port, Form().Field("colour", "red").File("a.rtf", rtf).Request(auth)), 400, "colour");
    expectError(Exchange(server.port, Form().Field("dpi", "100").Request(auth)), 400, "no document");
    expectError(Exchange(server.port, Form().File("a.rtf", rtf).File("a.doc", rtf).Request(auth)), 400, "a.rtf, a.doc");
    // No path from a request: names that could reach outside the request's folder are refused.
    for (const QByteArray& name : {QByteArray("../../etc/passwd"), QByteArray("..")}) {
        expectError(Exchange(server.port, Form().File(name, rtf).Request(auth)), 400, "plain name");
    }
    // Refused as a name, or (cpp-httplib 0.18) as a part header.
    expectError(Exchange(server.port, Form().File("bad\x01name.rtf", rtf).Request(auth)), 400, "");
    expectError(Exchange(server.port, Form().File("big.rtf", QByteArray(1536 * 1024, 'x')).Request(auth)), 413, "1 MiB");
    expectError(Get(server.port, "/v2/nothing", auth), 404, "/v2/nothing");

    // What follows a refused body on its connection is never taken for a request of its own.
    {
        const QByteArray inner = "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        Connection connection(server.port);
        connection.Send("POST /v1/convert HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: text/plain\r\nContent-Length: " +
                        QByteArray::number(inner.size()) + "\r\n" + auth + "\r\n" + inner);
        Response refused = connection.ReadHead();
        connection.ReadBody(refused);
        expectError(refused, 400, "multipart");
        connection.Send(inner);
        EXPECT_EQ(connection.ReadHead().status, 0);
    }

    // Nothing converted: 422 with the document's report.
    const Response empty = Exchange(server.port, Form().File("empty.docx", {}).Request(auth));
    expectError(empty, 422, "empty");
    EXPECT_FALSE(empty.body.contains("quillivar-server-")) << "the service's folder shown: " << empty.body.toStdString();
    const QJsonObject document = empty.Json().value("documents").toArray().first().toObject();
    EXPECT_EQ(document.value("outcome").toString(), "failed");
    EXPECT_GT(document.value("reports").toArray().first().toObject().value("step").toInt(), 0);

    // The one place taken by an upload under way: the next request waits for nothing.
    Connection holding(server.port);
    const QByteArray held = oneDocument;
    holding.Send(held.left(held.size() / 2));
    ASSERT_TRUE(Eventually([&] { return Get(server.port, "/metrics", auth).body.contains("quillivar_requests_in_progress 1"); }));
    const Response busy = Exchange(server.port, oneDocument);
    expectError(busy, 429, "busy");
    EXPECT_GE(busy.headers.value("retry-after").toInt(), 1);
    holding.Send(held.mid(held.size() / 2));
    Response finished = holding.ReadHead();
    holding.ReadBody(finished);
    EXPECT_EQ(finished.status, 200);

    const Response converted = Exchange(server.port, oneDocument);  // and the service goes on
    EXPECT_EQ(converted.status, 200);
    // A streamed answer is timed when the service has let go of it, just after its last byte.
    QString metrics;
    EXPECT_TRUE(Eventually([&] {
        metrics = QString::fromUtf8(Get(server.port, "/metrics", auth).body);
        return metrics.contains("quillivar_request_duration_seconds_count 18");
    }));
    for (const char* line : {"quillivar_http_responses_total{code=\"401\"} 3", "quillivar_http_responses_total{code=\"429\"} 1",
                             "quillivar_http_responses_total{code=\"413\"} 1", "quillivar_http_responses_total{code=\"422\"} 1",
                             "quillivar_documents_total{outcome=\"converted\"} 2", "quillivar_documents_total{outcome=\"failed\"} 1",
                             "quillivar_pages_total 2", "quillivar_request_duration_seconds_count 18", "quillivar_queue_length 0"}) {
        EXPECT_TRUE(metrics.contains(line)) << line << "\n" << metrics.toStdString();
    }
    EXPECT_TRUE(Eventually([&] { return server.Leftovers().isEmpty(); })) << server.Leftovers().join(' ').toStdString();
    EXPECT_EQ(server.Stop(), 0);
}

// A client that goes away midway leaves no file and no busy engine; one whose engine is killed
// gets that document's report, and the next request converts.
TEST(Server, LostClientsAndEnginesLeaveNothingBehind) {
    // One processor: no page is painted ahead, which a lost engine would be asked again for.
    Server server({"--jobs", "1"}, 1);
    ASSERT_NE(server.port, 0) << server.Log().toStdString();
    const QByteArray longRequest = Form().Field("dpi", "400").Field("format", "png").Document(TestDocument("seven-pages.odt")).Request();
    {
        Connection leaving(server.port);
        leaving.Send(longRequest);
        EXPECT_EQ(leaving.ReadHead().status, 200);
        EXPECT_FALSE(leaving.ReadChunk().isEmpty());  // the first page is under way
    }
    EXPECT_TRUE(Eventually([&] { return server.Leftovers().isEmpty() && Get(server.port, "/ready").status == 200; }))
        << server.Leftovers().join(' ').toStdString();

    Connection connection(server.port);
    connection.Send(longRequest);
    Response response = connection.ReadHead();
    ASSERT_EQ(response.status, 200);
    response.body = connection.ReadChunk();
    const std::vector<pid_t> engines = server.Engines();
    ASSERT_EQ(engines.size(), 1u);
    kill(-engines[0], SIGKILL);
    for (QByteArray chunk = connection.ReadChunk(); !chunk.isEmpty(); chunk = connection.ReadChunk()) response.body += chunk;
    QMap<QString, QByteArray> files = Unzip(response.body);
    const QJsonObject document =
        QJsonDocument::fromJson(files.take("manifest.json")).object().value("documents").toArray().first().toObject();
    EXPECT_NE(document.value("outcome").toString(), "converted");
    EXPECT_LT(files.size(), 7);
    EXPECT_EQ(document.value("pages").toArray().size(), files.size());
    EXPECT_TRUE(document.value("reports").toArray().first().toObject().value("text").toString().contains("LibreOffice stopped"))
        << QJsonDocument(document).toJson().toStdString();

    // The fresh engine waiting for the next request dies too, unasked: the request gets another.
    ASSERT_TRUE(Eventually([&] { return Get(server.port, "/ready").status == 200 && server.Engines().size() == 1; }));
    const pid_t idle = server.Engines()[0];
    kill(-idle, SIGKILL);
    ASSERT_TRUE(Eventually([&] { return !ProcessGroupAlive(idle); }));
    const Response next = Exchange(server.port, Form().Document(TestDocument("three-pages.odt")).Request());
    EXPECT_EQ(next.status, 200);
    EXPECT_EQ(Unzip(next.body).size(), 4);  // three pages and the manifest
    const QString metrics = QString::fromUtf8(Get(server.port, "/metrics").body);
    EXPECT_TRUE(metrics.contains("quillivar_engines_lost_total 1")) << metrics.toStdString();
    EXPECT_TRUE(Eventually([&] { return server.Leftovers().isEmpty(); })) << server.Leftovers().join(' ').toStdString();
    EXPECT_EQ(server.Stop(), 0);
}

// SIGTERM: the request under way finishes whole, new ones get 503, every engine ends, exit 0.
TEST(Server, StopsGentlyOnSigterm) {
    Server server({"--jobs", "1", "--grace", "120"});
    ASSERT_NE(server.port, 0) << server.Log().toStdString();
    const std::vector<pid_t> engines = server.Engines();
    ASSERT_FALSE(engines.empty());
    // Four documents of seven pages at 600 dpi: seconds of work, which the stop must outlast.
    QFile document(TestDocument("seven-pages.docx"));
    ASSERT_TRUE(document.open(QIODevice::ReadOnly));
    const QByteArray bytes = document.readAll();
    Connection connection(server.port);
    connection.Send(Form().Field("dpi", "600").File("a.docx", bytes).File("b.docx", bytes).File("c.docx", bytes)
                        .File("d.docx", bytes).Request());
    Response response = connection.ReadHead();
    ASSERT_EQ(response.status, 200);
    response.body = connection.ReadChunk();

    kill(server.Pid(), SIGTERM);
    // Not ready because it stops, not merely because its one engine is busy.
    EXPECT_TRUE(Eventually([&] { return Get(server.port, "/ready").Json().value("error").toString() == "stopping"; }));
    const Response refused = Exchange(server.port, Form().Document(TestDocument("one-page.rtf")).Request());
    EXPECT_EQ(refused.status, 503);
    EXPECT_EQ(refused.Json().value("error").toString(), "stopping");

    for (QByteArray chunk = connection.ReadChunk(); !chunk.isEmpty(); chunk = connection.ReadChunk()) response.body += chunk;
    EXPECT_EQ(Unzip(response.body).size(), 4 * 7 + 1);  // every page and the manifest
    EXPECT_EQ(server.Stop(), 0);
    for (const pid_t engine : engines) EXPECT_FALSE(ProcessGroupAlive(engine));
    EXPECT_TRUE(server.Leftovers().isEmpty());
}

// A stop asked for as soon as it says it listens, while its engines start: still a gentle one.
TEST(Server, StopsGentlyOnSigtermAtOnce) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        QTemporaryDir temporary;
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TMPDIR", temporary.path());
        process.setProcessEnvironment(environment);
        process.setReadChannel(QProcess::StandardError);
        process.start(kBin + "/quillivar-server", {"--listen", "127.0.0.1:0", "--jobs", "1"});
        QByteArray log;
        while (!log.contains("listening") && process.waitForReadyRead(30000)) log += process.readAllStandardError();
        ASSERT_TRUE(log.contains("listening")) << log.toStdString();
        kill(static_cast<pid_t>(process.processId()), SIGTERM);
        ASSERT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0);
    }
}

TEST(Server, HelpAndVersion) {
    QProcess help;
    help.start(kBin + "/quillivar-server", {"--help"});
    help.waitForFinished(30000);
    const QString text = QString::fromUtf8(help.readAllStandardOutput());
    EXPECT_EQ(help.exitCode(), 0);
    EXPECT_TRUE(text.startsWith("Usage: quillivar-server [options]")) << text.toStdString();
    for (const char* part : {"--listen", "--token-file", "--queue", "POST /v1/convert", "GET /metrics"}) EXPECT_TRUE(text.contains(part)) << part;
    QProcess bad;
    bad.start(kBin + "/quillivar-server", {"--queue", "many"});
    bad.waitForFinished(30000);
    EXPECT_EQ(bad.exitCode(), 2);
    EXPECT_TRUE(bad.readAllStandardError().contains("--queue must be a whole number from 0 to 10000, not 'many'"));
}
