#include "hostiledocuments.h"

#include <QFile>
#include <QImage>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>

namespace quillivar::test {

namespace {

std::uint32_t Crc32(const QByteArray& data) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> entries{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            entries[i] = c;
        }
        return entries;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char byte : data) crc = table[(crc ^ static_cast<std::uint8_t>(byte)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

void Little(QByteArray& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

const char* kOdfManifest =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<manifest:manifest xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\" manifest:version=\"1.3\">"
    "<manifest:file-entry manifest:full-path=\"/\" manifest:media-type=\"%1\"/>"
    "<manifest:file-entry manifest:full-path=\"content.xml\" manifest:media-type=\"text/xml\"/>%2"
    "</manifest:manifest>";

const char* kOdfContentStart =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<office:document-content xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
    "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
    "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
    "xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\" "
    "xmlns:svg=\"urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0\" "
    "xmlns:script=\"urn:oasis:names:tc:opendocument:xmlns:script:1.0\" "
    "xmlns:xlink=\"http://www.w3.org/1999/xlink\" office:version=\"1.3\">";

QByteArray Manifest(const char* mediaType, const QString& moreEntries = QString()) {
    return QString::fromLatin1(kOdfManifest).arg(QString::fromLatin1(mediaType), moreEntries).toUtf8();
}

}  // namespace

void WriteZip(const QString& path, const std::vector<std::pair<QString, QByteArray>>& entries, bool deflate) {
    QByteArray archive;
    QByteArray directory;
    for (const auto& [name, data] : entries) {
        const QByteArray fileName = name.toUtf8();
        const std::uint32_t crc = Crc32(data);
        const auto offset = static_cast<std::uint32_t>(archive.size());
        // qCompress gives a 4-byte size and a zlib stream: its 2-byte header and 4-byte check
        // sum around the raw deflate data a zip holds.
        const bool packed = deflate && name != QLatin1String("mimetype");
        const QByteArray body = packed ? qCompress(data, 1).mid(6).chopped(4) : data;
        const std::uint16_t method = packed ? 8 : 0;
        archive.append("PK\x03\x04", 4);
        Little(archive, 20, 2);  // version needed
        Little(archive, 0, 2);   // flags
        Little(archive, method, 2);
        Little(archive, 0, 4);   // time and date
        Little(archive, crc, 4);
        Little(archive, static_cast<std::uint32_t>(body.size()), 4);
        Little(archive, static_cast<std::uint32_t>(data.size()), 4);
        Little(archive, static_cast<std::uint32_t>(fileName.size()), 2);
        Little(archive, 0, 2);
        archive.append(fileName).append(body);

        directory.append("PK\x01\x02", 4);
        Little(directory, 20, 2);  // made by
        Little(directory, 20, 2);
        Little(directory, 0, 2);
        Little(directory, method, 2);
        Little(directory, 0, 4);
        Little(directory, crc, 4);
        Little(directory, static_cast<std::uint32_t>(body.size()), 4);
        Little(directory, static_cast<std::uint32_t>(data.size()), 4);
        Little(directory, static_cast<std::uint32_t>(fileName.size()), 2);
        Little(directory, 0, 2);  // extra
        Little(directory, 0, 2);  // comment
        Little(directory, 0, 2);  // disk
        Little(directory, 0, 2);  // internal attributes
        Little(directory, 0, 4);  // external attributes
        Little(directory, offset, 4);
        directory.append(fileName);
    }
    const auto directoryOffset = static_cast<std::uint32_t>(archive.size());
    archive.append(directory);
    archive.append("PK\x05\x06", 4);
    Little(archive, 0, 4);
    Little(archive, static_cast<std::uint32_t>(entries.size()), 2);
    Little(archive, static_cast<std::uint32_t>(entries.size()), 2);
    Little(archive, static_cast<std::uint32_t>(directory.size()), 4);
    Little(archive, directoryOffset, 4);
    Little(archive, 0, 2);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) file.write(archive);
}

void MakeMacroOdt(const QString& path, const QString& marker) {
    const QByteArray content = QByteArray(kOdfContentStart) +
        "<office:scripts><office:event-listeners>"
        "<script:event-listener script:language=\"ooo:script\" script:event-name=\"dom:load\" "
        "xlink:href=\"vnd.sun.star.script:Standard.Module1.Main?language=Basic&amp;location=document\" "
        "xlink:type=\"simple\"/></office:event-listeners></office:scripts>"
        "<office:body><office:text><text:p>This document runs a macro when it opens.</text:p>"
        "</office:text></office:body></office:document-content>";
    const QByteArray module =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE script:module PUBLIC \"-//OpenOffice.org//DTD OfficeDocument 1.0//EN\" \"module.dtd\">\n"
        "<script:module xmlns:script=\"http://openoffice.org/2000/script\" script:name=\"Module1\" "
        "script:language=\"StarBasic\">Sub Main\n  Open &quot;" + marker.toUtf8() +
        "&quot; For Output As #1\n  Print #1, &quot;ran&quot;\n  Close #1\nEnd Sub\n</script:module>";
    const QByteArray library =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE library:library PUBLIC \"-//OpenOffice.org//DTD OfficeDocument 1.0//EN\" \"library.dtd\">\n"
        "<library:library xmlns:library=\"http://openoffice.org/2000/library\" library:name=\"Standard\" "
        "library:readonly=\"false\" library:passwordprotected=\"false\">"
        "<library:element library:name=\"Module1\"/></library:library>";
    const QByteArray libraries =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE library:libraries PUBLIC \"-//OpenOffice.org//DTD OfficeDocument 1.0//EN\" \"libraries.dtd\">\n"
        "<library:libraries xmlns:library=\"http://openoffice.org/2000/library\" "
        "xmlns:xlink=\"http://www.w3.org/1999/xlink\"><library:library library:name=\"Standard\" "
        "library:link=\"false\"/></library:libraries>";
    const QString basicEntries = QStringLiteral(
        "<manifest:file-entry manifest:full-path=\"Basic/Standard/Module1.xml\" manifest:media-type=\"text/xml\"/>"
        "<manifest:file-entry manifest:full-path=\"Basic/Standard/script-lb.xml\" manifest:media-type=\"text/xml\"/>"
        "<manifest:file-entry manifest:full-path=\"Basic/script-lc.xml\" manifest:media-type=\"text/xml\"/>");
    WriteZip(path, {{"mimetype", "application/vnd.oasis.opendocument.text"},
                    {"META-INF/manifest.xml", Manifest("application/vnd.oasis.opendocument.text", basicEntries)},
                    {"content.xml", content},
                    {"Basic/Standard/Module1.xml", module},
                    {"Basic/Standard/script-lb.xml", library},
                    {"Basic/script-lc.xml", libraries}});
}

void MakeHugeParagraphOdt(const QString& path, int megabytes) {
    const QByteArray sentence = "The quick brown fox jumps over the lazy dog again. ";
    QByteArray text;
    text.reserve(qsizetype(megabytes) * 1000 * 1000 + sentence.size());
    while (text.size() < qsizetype(megabytes) * 1000 * 1000) text += sentence;
    const QByteArray content = QByteArray(kOdfContentStart) + "<office:body><office:text><text:p>" + text +
                               "</text:p></office:text></office:body></office:document-content>";
    text.clear();
    WriteZip(path, {{"mimetype", "application/vnd.oasis.opendocument.text"},
                    {"META-INF/manifest.xml", Manifest("application/vnd.oasis.opendocument.text")},
                    {"content.xml", content}},
             true);
}

void MakeLinkedPictureOdt(const QString& path, const QString& address) {
    const QByteArray content = QByteArray(kOdfContentStart) +
        "<office:body><office:text><text:p>A picture linked from outside:</text:p><text:p>"
        "<draw:frame draw:name=\"Linked\" text:anchor-type=\"as-char\" svg:width=\"12cm\" svg:height=\"8cm\">"
        "<draw:image xlink:href=\"" + address.toUtf8() + "\" xlink:type=\"simple\" xlink:show=\"embed\" "
        "xlink:actuate=\"onLoad\"/></draw:frame></text:p></office:text></office:body></office:document-content>";
    WriteZip(path, {{"mimetype", "application/vnd.oasis.opendocument.text"},
                    {"META-INF/manifest.xml", Manifest("application/vnd.oasis.opendocument.text")},
                    {"content.xml", content}});
}

void MakeEpsPictureOdt(const QString& path) {
    const QByteArray content = QByteArray(kOdfContentStart) +
        "<office:body><office:text><text:p>A PostScript picture without a preview:</text:p><text:p>"
        "<draw:frame draw:name=\"Eps\" text:anchor-type=\"as-char\" svg:width=\"4cm\" svg:height=\"4cm\">"
        "<draw:image xlink:href=\"Pictures/square.eps\" xlink:type=\"simple\" xlink:show=\"embed\" "
        "xlink:actuate=\"onLoad\"/></draw:frame></text:p></office:text></office:body></office:document-content>";
    const QByteArray eps =
        "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 100 100\n%%EndComments\n"
        "newpath 10 10 moveto 90 10 lineto 90 90 lineto 10 90 lineto closepath fill\nshowpage\n%%EOF\n";
    WriteZip(path, {{"mimetype", "application/vnd.oasis.opendocument.text"},
                    {"META-INF/manifest.xml",
                     Manifest("application/vnd.oasis.opendocument.text",
                              "<manifest:file-entry manifest:full-path=\"Pictures/square.eps\" "
                              "manifest:media-type=\"image/x-eps\"/>")},
                    {"content.xml", content},
                    {"Pictures/square.eps", eps}});
}

void MakeLinkedPictureDocx(const QString& path, const QString& address) {
    const QByteArray types =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
        "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
        "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
        "<Override PartName=\"/word/document.xml\" "
        "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/></Types>";
    const QByteArray packageRelations =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
        "officeDocument\" Target=\"word/document.xml\"/></Relationships>";
    const QByteArray documentRelations =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rIdPicture\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
        "relationships/image\" Target=\"" + address.toUtf8() + "\" TargetMode=\"External\"/></Relationships>";
    const QByteArray document =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" "
        "xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\" "
        "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
        "xmlns:pic=\"http://schemas.openxmlformats.org/drawingml/2006/picture\"><w:body>"
        "<w:p><w:r><w:t>A picture linked from outside:</w:t></w:r></w:p><w:p><w:r><w:drawing><wp:inline>"
        "<wp:extent cx=\"4320000\" cy=\"2880000\"/><wp:docPr id=\"1\" name=\"Linked\"/><a:graphic>"
        "<a:graphicData uri=\"http://schemas.openxmlformats.org/drawingml/2006/picture\"><pic:pic>"
        "<pic:nvPicPr><pic:cNvPr id=\"1\" name=\"Linked\"/><pic:cNvPicPr/></pic:nvPicPr><pic:blipFill>"
        "<a:blip r:link=\"rIdPicture\"/><a:stretch><a:fillRect/></a:stretch></pic:blipFill><pic:spPr>"
        "<a:xfrm><a:off x=\"0\" y=\"0\"/><a:ext cx=\"4320000\" cy=\"2880000\"/></a:xfrm>"
        "<a:prstGeom prst=\"rect\"/></pic:spPr></pic:pic></a:graphicData></a:graphic></wp:inline>"
        "</w:drawing></w:r></w:p></w:body></w:document>";
    WriteZip(path, {{"[Content_Types].xml", types},
                    {"_rels/.rels", packageRelations},
                    {"word/document.xml", document},
                    {"word/_rels/document.xml.rels", documentRelations}});
}

void MakeOdt(const QString& path, const QByteArray& body, const QByteArray& savedBreaks) {
    const QByteArray content = QByteArray(kOdfContentStart) + "<office:body><office:text>" + body +
                               "</office:text></office:body></office:document-content>";
    const char* listed = "<manifest:file-entry manifest:full-path=\"layout-cache\" manifest:media-type=\"application/binary\"/>";
    std::vector<std::pair<QString, QByteArray>> entries{
        {"mimetype", "application/vnd.oasis.opendocument.text"},
        {"META-INF/manifest.xml", Manifest("application/vnd.oasis.opendocument.text", savedBreaks.isEmpty() ? "" : listed)},
        {"content.xml", content}};
    if (!savedBreaks.isEmpty()) entries.emplace_back("layout-cache", savedBreaks);
    WriteZip(path, entries, true);
}

void MakeSpreadsheet(const QString& path) {
    const QByteArray content = QByteArray(kOdfContentStart) +
        "<office:body><office:spreadsheet><table:table table:name=\"Sheet1\"><table:table-row>"
        "<table:table-cell office:value-type=\"float\" office:value=\"42\"><text:p>42</text:p></table:table-cell>"
        "</table:table-row></table:table></office:spreadsheet></office:body></office:document-content>";
    WriteZip(path, {{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
                    {"META-INF/manifest.xml", Manifest("application/vnd.oasis.opendocument.spreadsheet")},
                    {"content.xml", content}});
}

void RenameWordDocumentStream(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite)) return;
    QByteArray bytes = file.readAll();
    const QByteArray name = QByteArray("W\0o\0r\0d\0D\0o\0c\0u\0m\0e\0n\0t\0", 24);
    const qsizetype at = bytes.indexOf(name, 512);
    if (at < 0) return;
    bytes[at] = 'X';
    file.seek(0);
    file.write(bytes);
}

void MakeRedPicture(const QString& path) {
    QImage picture(240, 160, QImage::Format_RGB32);
    picture.fill(QColor(224, 16, 16));
    picture.save(path, "PNG");
}

LoopbackServer::LoopbackServer(QByteArray body) : body_(std::move(body)) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    listen(listener_, 16);
    thread_ = std::thread([this] { Serve(); });
}

LoopbackServer::~LoopbackServer() {
    stopping_ = true;
    thread_.join();
    close(listener_);
}

void LoopbackServer::Serve() {
    while (!stopping_) {
        pollfd waiting{listener_, POLLIN, 0};
        if (poll(&waiting, 1, 50) <= 0) continue;
        const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        ++connections_;
        char request[4096];
        pollfd readable{connection, POLLIN, 0};
        if (poll(&readable, 1, 2000) > 0 && read(connection, request, sizeof request) > 0) {
            const QByteArray reply = "HTTP/1.0 200 OK\r\nContent-Type: image/png\r\nContent-Length: " +
                                     QByteArray::number(body_.size()) + "\r\nConnection: close\r\n\r\n" + body_;
            if (write(connection, reply.constData(), static_cast<size_t>(reply.size())) < 0) {
                // the client went away: it still counts as a request made
            }
        }
        close(connection);
    }
}

}  // namespace quillivar::test
