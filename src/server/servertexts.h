#pragma once
// Every text the service shows, in one place: its usage, its log lines and its error answers.

#include <QString>

namespace quillivar::server::texts {

inline const QString kDescription = QStringLiteral(
    "An HTTP service that turns word-processor documents (.doc, .docx, .odt, .rtf and whatever\n"
    "else LibreOffice opens) into page images, as quillivar-cli does: POST them to /v1/convert\n"
    "and the answer is a ZIP of the pages with a manifest.json. Its engines stay warm between\n"
    "requests.");

inline const QString kAfterOptions = QStringLiteral(
    "\n"
    "Endpoints:\n"
    "  POST /v1/convert  multipart/form-data: one or more file parts named \"file\", and the\n"
    "                    fields format, quality, dpi, width, height and pages, checked as\n"
    "                    quillivar-cli checks its options. The answer, application/zip, is\n"
    "                    streamed as pages are drawn: the page files named as quillivar-cli\n"
    "                    names them, and manifest.json (each document's name, page count,\n"
    "                    pages with their pixel size, size in points and SHA-256, reports).\n"
    "  GET /health       200 while the process answers.\n"
    "  GET /ready        200 when an engine is free now; 503 when none is, or while stopping.\n"
    "  GET /metrics      Prometheus text format.\n"
    "\n"
    "Errors come as JSON {\"error\": ..., \"detail\": ...}: 400 bad choices or form, 401 without\n"
    "the token (with --token-file; /health and /ready need none), 413 over --max-upload, 422\n"
    "when no document of the request could be converted (with its reports), 429 with\n"
    "Retry-After when engines and queue are full, 503 while stopping.\n"
    "\n"
    "SIGTERM or SIGINT: new requests get 503, the ones under way may finish within --grace\n"
    "seconds, then every engine is ended and the service exits with status 0. Exit status 2\n"
    "for a usage error, 1 when it cannot listen.\n");

// Options' explanations.
inline const QString kListenHelp = QStringLiteral("Listen on ADDR:PORT (default 127.0.0.1:8080; port 0: any free one).");
inline const QString kQueueHelp = QStringLiteral(
    "Requests that may wait for an engine beyond those converting (default 8); more get 429.");
inline const QString kMaxUploadHelp = QStringLiteral("MiB a request's body may have (default 100); more gets 413.");
inline const QString kTokenFileHelp = QStringLiteral(
    "Require \"Authorization: Bearer TOKEN\" on /v1/convert and /metrics, TOKEN being this file's "
    "first line.");
inline const QString kGraceHelp = QStringLiteral(
    "Seconds the requests under way may take to finish once SIGTERM came (default 30).");
inline const QString kUnexpectedArgument = QStringLiteral("unexpected argument '%1'");

// What the service says on standard error.
inline const QString kListening = QStringLiteral("listening on http://%1:%2/ with %3 engine(s)");
inline const QString kCannotListen = QStringLiteral("cannot listen on %1:%2");
inline const QString kBadListen = QStringLiteral("--listen takes ADDR:PORT, such as 127.0.0.1:8080, not '%1'");
inline const QString kBadTokenFile = QStringLiteral("cannot read a token from %1");
inline const QString kStopping = QStringLiteral("stopping: %1 answer(s) under way may take %2 s to finish");
inline const QString kStopped = QStringLiteral("stopped");
inline const QString kEnginesUnavailable = QStringLiteral("engine %1 could not be started: %2");

// Error answers: "error" says what kind, "detail" what exactly.
namespace errors {
inline const QString kBadChoices = QStringLiteral("bad choices");
inline const QString kBadForm = QStringLiteral("bad form");
inline const QString kUnauthorised = QStringLiteral("unauthorised");
inline const QString kTooLarge = QStringLiteral("upload too large");
inline const QString kNotConverted = QStringLiteral("no document could be converted");
inline const QString kBusy = QStringLiteral("busy");
inline const QString kStopping = QStringLiteral("stopping");
inline const QString kNotFound = QStringLiteral("not found");
inline const QString kInternal = QStringLiteral("internal error");
inline const QString kHttp = QStringLiteral("HTTP error");

inline const QString kNotMultipart = QStringLiteral("the body must be multipart/form-data");
inline const QString kUnreadableForm = QStringLiteral("the multipart body could not be read");
inline const QString kNoDocument = QStringLiteral("no document: send each one as a file part named \"file\"");
inline const QString kUnknownField = QStringLiteral("unknown field '%1': the fields are file, format, quality, dpi, width, height and pages");
inline const QString kFieldTwice = QStringLiteral("the field '%1' is given twice");
inline const QString kFieldTooLong = QStringLiteral("the field '%1' is too long");
inline const QString kFileWithoutName = QStringLiteral("a file part needs a file name");
inline const QString kBadFileName = QStringLiteral(
    "the file name '%1' cannot be used: it must be a plain name, without '/', '\\', control "
    "characters or a leading '.'");
inline const QString kSharedPageNames = QStringLiteral(
    "these documents would write page files of the same names: %1; send them in separate requests");
inline const QString kWantToken = QStringLiteral("this service wants \"Authorization: Bearer <token>\"");
inline const QString kOverLimit = QStringLiteral("the body may have at most %1 MiB");
inline const QString kFull = QStringLiteral("every engine is busy and %1 request(s) are waiting; try again later");
inline const QString kDraining = QStringLiteral("the service is stopping");
inline const QString kNoRoute = QStringLiteral("no such endpoint: %1 %2");
inline const QString kNoTemporaryFolder = QStringLiteral("cannot make a temporary folder: %1");
inline const QString kCannotStoreUpload = QStringLiteral("cannot store the upload: %1");
inline const QString kNotReady = QStringLiteral("no engine is free now");
}  // namespace errors

}  // namespace quillivar::server::texts
