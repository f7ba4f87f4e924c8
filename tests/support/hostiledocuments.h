#pragma once
// Documents that try something, made by the tests, and a web server on loopback that counts
// what is asked of it.

#include <QByteArray>
#include <QString>

#include <atomic>
#include <thread>
#include <utility>
#include <vector>

namespace quillivar::test {

// A zip archive of the entries in the given order, stored as they are or deflated.
void WriteZip(const QString& path, const std::vector<std::pair<QString, QByteArray>>& entries, bool deflate = false);

// An .odt whose open event runs a Basic macro that writes `marker`.
void MakeMacroOdt(const QString& path, const QString& marker);

// An .odt and a .docx showing one picture linked from `address` (http://... or file://...).
void MakeLinkedPictureOdt(const QString& path, const QString& address);
void MakeLinkedPictureDocx(const QString& path, const QString& address);

// An .odt showing an embedded EPS picture without a preview, which LibreOffice would have a
// program on the path draw.
void MakeEpsPictureOdt(const QString& path);

// An .odt of one paragraph holding `megabytes` MB of text: small on disk, huge once opened.
void MakeHugeParagraphOdt(const QString& path, int megabytes);

// An .odt of the given body (text:p elements), with page breaks saved as LibreOffice saves
// them when `savedBreaks` holds some (their content is not checked by anyone but LibreOffice).
void MakeOdt(const QString& path, const QByteArray& body, const QByteArray& savedBreaks = {});

// A spreadsheet, in OpenDocument form.
void MakeSpreadsheet(const QString& path);

// Renames the Word document inside an OLE compound file (a .doc): what is left is a container
// of other streams, which no word processor reads.
void RenameWordDocumentStream(const QString& path);

// A solid red PNG picture.
void MakeRedPicture(const QString& path);

// A web server on 127.0.0.1 that answers every request with `body` and counts connections.
class LoopbackServer {
public:
    explicit LoopbackServer(QByteArray body);
    ~LoopbackServer();
    int port() const { return port_; }
    int connections() const { return connections_; }

private:
    void Serve();

    QByteArray body_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<int> connections_{0};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace quillivar::test
