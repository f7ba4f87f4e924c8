#include "service.h"

#include "choices.h"
#include "conversion.h"
#include "engineregistry.h"
#include "servertexts.h"
#include "zipstream.h"

#include <httplib.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <map>
#include <thread>

namespace quillivar::server {

namespace {

namespace errors = texts::errors;

constexpr qint64 kMaxFieldBytes = 4096;
constexpr int kSpareHttpThreads = 4;  // for /health, /ready and /metrics while every place is taken

std::string Json(const QJsonObject& object) { return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString(); }

void SetError(httplib::Response& res, int status, const QString& error, const QString& detail, QJsonObject body = {}) {
    body.insert(QStringLiteral("error"), error);
    body.insert(QStringLiteral("detail"), detail);
    res.status = status;
    res.set_content(Json(body), "application/json");
}

QByteArray Sha256(const QByteArray& bytes) { return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256); }

// A name the service may store an upload under: a plain name of valid UTF-8, nothing that a
// path could be made of, nothing hidden.
bool IsPlainFileName(const std::string& raw, QString& name) {
    name = QString::fromStdString(raw);
    if (raw.empty() || raw.size() > 255 || name.toUtf8() != QByteArray::fromStdString(raw)) return false;
    if (name.startsWith(QLatin1Char('.'))) return false;  // also "." and ".."
    for (const QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20 || c.unicode() == 0x7F) return false;
    }
    return true;
}

// The multipart body as it arrives: documents into the request's folder, fields kept.
class Upload {
public:
    Upload(QString folder, qint64 limit) : folder_(std::move(folder)), limit_(limit) {}

    bool Part(const httplib::MultipartFormData& part) {
        if (!Close()) return false;
        field_ = nullptr;
        if (part.name == "file") {
            QString name;
            if (part.filename.empty()) return Fail(400, errors::kBadForm, errors::kFileWithoutName);
            if (!IsPlainFileName(part.filename, name)) {
                return Fail(400, errors::kBadForm, errors::kBadFileName.arg(QString::fromStdString(part.filename).toHtmlEscaped()));
            }
            if (names.contains(name)) return Fail(400, errors::kBadForm, errors::kSharedPageNames.arg(name + QStringLiteral(", ") + name));
            file_ = std::make_unique<QFile>(QDir(folder_).filePath(name));
            if (!file_->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
                return Fail(500, errors::kInternal, errors::kCannotStoreUpload.arg(file_->errorString()));
            }
            names << name;
            paths << file_->fileName();
            return true;
        }
        const std::map<std::string, std::optional<QString>*> fields{
            {"format", &choices.format}, {"quality", &choices.quality}, {"dpi", &choices.dpi},
            {"width", &choices.width},   {"height", &choices.height},   {"pages", &choices.pages}};
        const QString fieldName = QString::fromStdString(part.name);
        const auto found = fields.find(part.name);
        if (found == fields.end()) return Fail(400, errors::kBadChoices, errors::kUnknownField.arg(fieldName));
        if (found->second->has_value()) return Fail(400, errors::kBadChoices, errors::kFieldTwice.arg(fieldName));
        field_ = found->second;
        fieldName_ = fieldName;
        fieldBytes_.clear();
        *field_ = QString();
        return true;
    }

    bool Data(const char* data, std::size_t length) {
        received_ += static_cast<qint64>(length);
        if (received_ > limit_) return Fail(413, errors::kTooLarge, errors::kOverLimit.arg(limit_ / (1024 * 1024)));
        if (file_) {
            if (file_->write(data, static_cast<qint64>(length)) != static_cast<qint64>(length)) {
                return Fail(500, errors::kInternal, errors::kCannotStoreUpload.arg(file_->errorString()));
            }
        } else if (field_) {
            fieldBytes_.append(data, static_cast<qsizetype>(length));
            if (fieldBytes_.size() > kMaxFieldBytes) return Fail(400, errors::kBadChoices, errors::kFieldTooLong.arg(fieldName_));
            *field_ = QString::fromUtf8(fieldBytes_);
        }
        return true;
    }

    // The last document written out whole.
    bool Close() {
        if (file_ && !file_->flush()) return Fail(500, errors::kInternal, errors::kCannotStoreUpload.arg(file_->errorString()));
        file_.reset();
        return true;
    }

    QStringList names;  // as uploaded, in order
    QStringList paths;  // where each is stored
    NamedPageChoices choices;
    int status = 0;  // after a failure: the answer's status, error and detail
    QString error;
    QString detail;

private:
    bool Fail(int failStatus, const QString& failError, const QString& failDetail) {
        if (status == 0) {
            status = failStatus;
            error = failError;
            detail = failDetail;
        }
        return false;
    }

    const QString folder_;
    const qint64 limit_;
    qint64 received_ = 0;
    std::unique_ptr<QFile> file_;
    std::optional<QString>* field_ = nullptr;
    QString fieldName_;
    QByteArray fieldBytes_;
};

QJsonArray ReportsJson(const QList<Report>& reports) {
    QJsonArray array;
    for (const Report& report : reports) {
        QJsonObject entry{{QStringLiteral("step"), report.step},
                          {QStringLiteral("location"), report.location},
                          {QStringLiteral("text"), report.text}};
        if (!report.cause.isEmpty()) entry.insert(QStringLiteral("cause"), report.cause);
        array.append(entry);
    }
    return array;
}

}  // namespace

// One conversion request, from its arrival to the end of its answer; its folder goes with it.
struct Service::Answer {
    explicit Answer(Service& owner) : service(owner) { service.AnswerStarted(); }
    ~Answer() {
        if (job) {
            job->Cancel();  // the client went away, or the service is stopping: the engine stops
            job->Wait();
        }
        service.metrics_.ObserveRequestSeconds(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
        service.AnswerEnded();
    }

    // The ZIP's next bytes: a page file, or at the end the manifest and the central directory.
    bool Stream(httplib::DataSink& sink) {
        std::optional<ConversionEvent> event = conversion->Next();
        if (!event) {
            place.reset();  // the engine is done with it: the next request may have its place
            QByteArray end = zip.Entry(QStringLiteral("manifest.json"), QJsonDocument(Manifest()).toJson());
            end += zip.Finish();
            if (!sink.write(end.constData(), static_cast<std::size_t>(end.size()))) return false;
            sink.done();
            return true;
        }
        if (auto* finished = std::get_if<DocumentFinished>(&*event)) {
            Record(*finished);
            return true;
        }
        const auto& page = std::get<PageWritten>(*event);
        QFile file(page.path);
        const QByteArray data = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        file.close();
        QFile::remove(page.path);  // sent: the folder holds only what is still to be sent
        const QString name = QFileInfo(page.path).fileName();
        pagesOf[page.document].append(QJsonObject{{QStringLiteral("file"), name},
                                                  {QStringLiteral("page"), page.page},
                                                  {QStringLiteral("sha256"), QString::fromLatin1(Sha256(data).toHex())}});
        const QByteArray bytes = zip.Entry(name, data);
        return sink.write(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    }

    // The document's entry in the manifest, its pages sized as the engine drew them.
    void Record(const DocumentFinished& finished) {
        const ExportResult& result = finished.result;
        QHash<QString, Engine::DrawnPage> drawn;
        for (qsizetype i = 0; i < result.pagesWritten.size() && i < result.pageSizes.size(); ++i) {
            drawn.insert(QFileInfo(result.pagesWritten[i]).fileName(), result.pageSizes[i]);
        }
        QJsonArray pages;
        for (const QJsonValue& value : pagesOf.value(finished.document)) {
            QJsonObject page = value.toObject();
            const Engine::DrawnPage size = drawn.value(page.value(QStringLiteral("file")).toString());
            page.insert(QStringLiteral("width_px"), size.widthPixels);
            page.insert(QStringLiteral("height_px"), size.heightPixels);
            page.insert(QStringLiteral("width_pt"), size.widthPoints);
            page.insert(QStringLiteral("height_pt"), size.heightPoints);
            pages.append(page);
        }
        // Where LibreOffice stopped the layout after the pages asked for, the count is a floor.
        QJsonObject document{{QStringLiteral("name"), names.value(finished.document)},
                             {result.pageCountWhole ? QStringLiteral("page_count") : QStringLiteral("page_count_at_least"),
                              result.pageCount},
                             {QStringLiteral("outcome"), finished.outcome},
                             {QStringLiteral("pages"), pages},
                             {QStringLiteral("reports"), ReportsJson(finished.reports)}};
        if (!finished.result.fontsMissing.isEmpty()) {
            document.insert(QStringLiteral("fonts_missing"), QJsonArray::fromStringList(finished.result.fontsMissing));
        }
        documents.insert(finished.document, document);
    }

    // Every uploaded document in order; one the run did not reach (the service stopping) is
    // "skipped".
    QJsonObject Manifest() const {
        QJsonArray list;
        for (int i = 0; i < names.size(); ++i) {
            list.append(documents.value(i, QJsonObject{{QStringLiteral("name"), names[i]},
                                                       {QStringLiteral("outcome"), QStringLiteral("skipped")},
                                                       {QStringLiteral("pages"), QJsonArray()},
                                                       {QStringLiteral("reports"), QJsonArray()}}));
        }
        return {{QStringLiteral("documents"), list}};
    }

    Service& service;
    const std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    std::unique_ptr<QTemporaryDir> folder;  // mode 0700; removed with the answer
    std::unique_ptr<EnginePool::Place> place;
    std::shared_ptr<Conversion> conversion;
    std::shared_ptr<EnginePool::Job> job;
    QStringList names;
    ZipStream zip;
    QMap<int, QJsonArray> pagesOf;
    QMap<int, QJsonObject> documents;
};

Service::Service(ServiceOptions options, EngineLauncher launcher)
    : options_(std::move(options)), http_(std::make_unique<httplib::Server>()) {
    pool_ = std::make_unique<EnginePool>(std::move(launcher), options_.engines, options_.queue, [](int slot, const QString& why) {
        std::fprintf(stderr, "quillivar-server: %s\n", qPrintable(texts::kEnginesUnavailable.arg(slot).arg(why)));
    });
    Route();
}

Service::~Service() = default;

int Service::Bind() {
    const std::string host = options_.host.toStdString();
    if (options_.port == 0) return http_->bind_to_any_port(host);
    return http_->bind_to_port(host, options_.port) ? options_.port : -1;
}

void Service::Serve() {
    http_->listen_after_bind();
    pool_.reset();  // every engine ends here
}

void Service::Drain() {
    draining_ = true;
    std::unique_lock lock(answersMutex_);
    std::fprintf(stderr, "quillivar-server: %s\n",
                 qPrintable(texts::kStopping.arg(answersUnderWay_).arg(options_.grace.count())));
    if (!answersChanged_.wait_for(lock, options_.grace, [&] { return answersUnderWay_ == 0; })) {
        pool_->CancelAll();  // their answers end with what was converted, and say what was not
        answersChanged_.wait_for(lock, std::chrono::seconds(30), [&] { return answersUnderWay_ == 0; });
    }
    lock.unlock();
    // cpp-httplib ignores a stop asked for before it runs: wait until it does.
    while (!http_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    http_->stop();
}

void Service::AnswerStarted() {
    const std::lock_guard lock(answersMutex_);
    ++answersUnderWay_;
}

void Service::AnswerEnded() {
    {
        const std::lock_guard lock(answersMutex_);
        --answersUnderWay_;
    }
    answersChanged_.notify_all();
}

bool Service::Authorised(const std::string& header) const {
    if (options_.token.isEmpty()) return true;
    const std::string prefix = "Bearer ";
    const QByteArray given = header.rfind(prefix, 0) == 0 ? QByteArray::fromStdString(header.substr(prefix.size())) : QByteArray();
    // Digests of equal length, compared in full: the time taken tells nothing of the token.
    const QByteArray a = Sha256(given);
    const QByteArray b = Sha256(options_.token);
    unsigned char difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

void Service::Route() {
    httplib::Server& http = *http_;
    const std::size_t threads = static_cast<std::size_t>(options_.engines + options_.queue + kSpareHttpThreads);
    http.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    http.set_payload_max_length(static_cast<std::size_t>(options_.maxUploadBytes));
    http.set_read_timeout(30);
    http.set_write_timeout(60);
    // One request per connection. A refusal is answered before its body is read whole, and
    // Debian's cpp-httplib (0.11, 0.18) would then read the rest of that body as the next
    // request; it closes the connection only after the last request it allows.
    http.set_keep_alive_max_count(1);
    http.set_logger([this](const httplib::Request&, const httplib::Response& res) { metrics_.CountResponse(res.status); });
    http.set_error_handler(httplib::Server::Handler([](const httplib::Request& req, httplib::Response& res) {
        if (!res.body.empty()) return;
        if (res.status == 404) {
            SetError(res, 404, errors::kNotFound, errors::kNoRoute.arg(QString::fromStdString(req.method), QString::fromStdString(req.path)));
        } else if (res.status == 413) {
            SetError(res, 413, errors::kTooLarge, QString());
        } else {
            SetError(res, res.status, errors::kHttp, QString::number(res.status));
        }
    }));
    http.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        SetError(res, 500, errors::kInternal, QString());
    });

    http.Get("/health", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(Json({{QStringLiteral("status"), QStringLiteral("ok")}}), "application/json");
    });
    http.Get("/ready", [this](const httplib::Request&, httplib::Response& res) {
        if (draining_) return SetError(res, 503, errors::kStopping, errors::kDraining);
        if (!pool_->EngineFreeNow()) return SetError(res, 503, errors::kBusy, errors::kNotReady);
        res.set_content(Json({{QStringLiteral("status"), QStringLiteral("ready")}}), "application/json");
    });
    http.Get("/metrics", [this](const httplib::Request& req, httplib::Response& res) {
        if (!Authorised(req.get_header_value("Authorization"))) return SetError(res, 401, errors::kUnauthorised, errors::kWantToken);
        const Gauges gauges{pool_->Admitted(), pool_->Busy(), pool_->Waiting(), EngineProcessesStarted(),
                            pool_->LargestResidentKib()};
        const QByteArray text = metrics_.Text(gauges);
        res.set_content(text.constData(), static_cast<std::size_t>(text.size()), "text/plain; version=0.0.4");
    });
    http.Post("/v1/convert", [this](const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& content) {
        auto answer = std::make_shared<Answer>(*this);
        if (!Authorised(req.get_header_value("Authorization"))) {
            res.set_header("WWW-Authenticate", "Bearer");
            return SetError(res, 401, errors::kUnauthorised, errors::kWantToken);
        }
        if (draining_) return SetError(res, 503, errors::kStopping, errors::kDraining);
        if (req.has_header("Content-Length") &&
            QByteArray::fromStdString(req.get_header_value("Content-Length")).toULongLong() >
                static_cast<qulonglong>(options_.maxUploadBytes)) {
            return SetError(res, 413, errors::kTooLarge, errors::kOverLimit.arg(options_.maxUploadBytes / (1024 * 1024)));
        }
        if (!req.is_multipart_form_data()) return SetError(res, 400, errors::kBadForm, errors::kNotMultipart);
        answer->place = pool_->Admit();
        if (!answer->place) {
            const double seconds = std::clamp(std::ceil(metrics_.MeanRequestSeconds(5)), 1.0, 60.0);
            res.set_header("Retry-After", std::to_string(static_cast<int>(seconds)));
            return SetError(res, 429, errors::kBusy, errors::kFull.arg(pool_->Waiting()));
        }
        answer->folder = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/quillivar-server-XXXXXX"));
        const QDir folder(answer->folder->path());
        if (!answer->folder->isValid() || !folder.mkdir(QStringLiteral("in")) || !folder.mkdir(QStringLiteral("out"))) {
            return SetError(res, 500, errors::kInternal, errors::kNoTemporaryFolder.arg(answer->folder->errorString()));
        }

        Upload upload(folder.filePath(QStringLiteral("in")), options_.maxUploadBytes);
        const bool read = content([&](const httplib::MultipartFormData& part) { return upload.Part(part); },
                                  [&](const char* data, std::size_t length) { return upload.Data(data, length); });
        if (!read || !upload.Close()) {
            if (upload.status == 0) return SetError(res, 400, errors::kBadForm, errors::kUnreadableForm);
            return SetError(res, upload.status, upload.error, upload.detail);
        }
        ExportChoices choices;
        choices.place = OutputPlace::ChosenFolder;
        choices.outputFolder = folder.filePath(QStringLiteral("out"));
        if (const std::optional<QString> error = ApplyPageChoices(upload.choices, QString(), choices)) {
            return SetError(res, 400, errors::kBadChoices, *error);
        }
        if (upload.paths.isEmpty()) return SetError(res, 400, errors::kBadForm, errors::kNoDocument);
        for (const QStringList& shared : DocumentsSharingPageNames(upload.paths, choices)) {
            QStringList names;
            for (const QString& path : shared) names << QFileInfo(path).fileName();
            return SetError(res, 400, errors::kBadForm, errors::kSharedPageNames.arg(names.join(QStringLiteral(", "))));
        }

        answer->names = upload.names;
        answer->conversion = std::make_shared<Conversion>(upload.paths, choices, metrics_);
        answer->job = pool_->Submit([conversion = answer->conversion](EngineSession& engines, const CancelToken& cancel) {
            conversion->Run(engines, cancel);
        });
        if (!answer->conversion->WaitForSomethingConverted()) {
            if (draining_) return SetError(res, 503, errors::kStopping, errors::kDraining);
            for (ConversionEvent& event : answer->conversion->TakeAll()) {
                if (auto* finished = std::get_if<DocumentFinished>(&event)) answer->Record(*finished);
            }
            const QJsonArray documents = answer->Manifest().value(QStringLiteral("documents")).toArray();
            const QJsonArray firstReports = documents.first().toObject().value(QStringLiteral("reports")).toArray();
            const QString detail = firstReports.isEmpty() ? QString() : firstReports.first().toObject().value(QStringLiteral("text")).toString();
            return SetError(res, 422, errors::kNotConverted, detail, {{QStringLiteral("documents"), documents}});
        }
        res.set_header("Content-Disposition", "attachment; filename=\"pages.zip\"");
        res.set_chunked_content_provider(
            "application/zip", [answer](std::size_t, httplib::DataSink& sink) { return answer->Stream(sink); },
            [](bool) {});
    });
}

}  // namespace quillivar::server
