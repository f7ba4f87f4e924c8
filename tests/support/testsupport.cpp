#include "testsupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>

#include <turbojpeg.h>
#include <webp/decode.h>

#include <array>
#include <cmath>
#include <climits>
#include <cstdlib>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillivar::test {

QString TestDocument(const QString& name) {
    return QStringLiteral(QUILLIVAR_TEST_DATA) + QLatin1Char('/') + name;
}

QString CorpusFolder() {
    const QString configured = qEnvironmentVariable("QUILLIVAR_CORPUS");
    if (!configured.isEmpty()) return configured;
    return QDir::cleanPath(QStringLiteral(QUILLIVAR_SOURCE_DIR "/../shared/corpus"));
}

const CancelToken& NeverCancelled() {
    static const CancelToken never;
    return never;
}

int LibreOfficeMajor() {
    static const int major =
        Engine::Start(DefaultEngineOptions(), NeverCancelled())->LibreOfficeVersion().section('.', 0, 0).toInt();
    return major;
}

EngineOptions FakeEngineOptions(const QString& behaviour) {
    EngineOptions options = DefaultEngineOptions();
    options.program = QStringLiteral(QUILLIVAR_BUILD_BIN "/fake-engine");
    options.forkEngines = false;  // it can only pretend to be an engine, not a parent of engines
    options.environment << QStringLiteral("FAKE_ENGINE=") + behaviour;
    return options;
}

QString CopyInto(const QString& source, const QString& folder, const QString& name) {
    const QString target = folder + QLatin1Char('/') + (name.isEmpty() ? QFileInfo(source).fileName() : name);
    QFile::remove(target);
    if (!QFile::copy(source, target)) return QString();
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return target;
}

void RecordingObserver::ShowErrorReport(const QString& description, const QString& location, int line, const QString& cause) {
    reports.push_back({description, location, line, cause});
}

void RecordingObserver::ShowStatus(const QString& text) {
    statusTexts << text;
    if (onStatus) onStatus(text);
}

std::vector<int> RecordingObserver::lines() const {
    std::vector<int> result;
    for (const Report& report : reports) result.push_back(report.line);
    return result;
}

DecodedImage DecodeImage(const QString& path) {
    if (path.endsWith(".jpg")) return DecodeJpeg(path);
    DecodedImage decoded;
    if (path.endsWith(".webp")) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) return {};
        const QByteArray bytes = file.readAll();
        uint8_t* rgb = WebPDecodeRGB(reinterpret_cast<const uint8_t*>(bytes.constData()), static_cast<size_t>(bytes.size()),
                                     &decoded.width, &decoded.height);
        if (!rgb) return {};
        decoded.rgb.assign(rgb, rgb + static_cast<std::size_t>(decoded.width) * decoded.height * 3);
        WebPFree(rgb);
        return decoded;
    }
    QImageReader::setAllocationLimit(0);  // pages of any size
    const QImage image = QImage(path).convertToFormat(QImage::Format_RGB888);
    decoded.width = image.width();
    decoded.height = image.height();
    for (int y = 0; y < image.height(); ++y) {
        decoded.rgb.insert(decoded.rgb.end(), image.constScanLine(y), image.constScanLine(y) + image.width() * 3);
    }
    return decoded;
}

double GreyDifference(const DecodedImage& a, const DecodedImage& b) {
    if (a.width != b.width || a.height != b.height || a.rgb.size() != b.rgb.size() || a.rgb.empty()) return -1;
    double total = 0;
    for (std::size_t i = 0; i + 2 < a.rgb.size(); i += 3) {
        const double greyA = (a.rgb[i] + a.rgb[i + 1] + a.rgb[i + 2]) / 3.0;
        const double greyB = (b.rgb[i] + b.rgb[i + 1] + b.rgb[i + 2]) / 3.0;
        total += std::abs(greyA - greyB);
    }
    return total / static_cast<double>(a.rgb.size() / 3);
}

QString PosterDocument(const QString& folder, const QString& name, int twipsWide, int twipsHigh, int lines) {
    QByteArray rtf = "{\\rtf1\\ansi{\\fonttbl{\\f0 Liberation Serif;}}\\paperw" + QByteArray::number(twipsWide) +
                     "\\paperh" + QByteArray::number(twipsHigh) + "\\margl1440\\margr1440\\margt1440\\margb1440\\f0\\fs24";
    for (int line = 1; line <= lines; ++line) {
        rtf += "\\pard\\box\\brdrs\\brdrw60 Line " + QByteArray::number(line) + " of a page drawn in bands.\\par\n";
    }
    const QString path = folder + "/" + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(rtf + "}") < 0) return QString();
    return path;
}

QString TruncatedCopy(const QString& source, const QString& target) {
    QFile whole(source);
    QFile cut(target);
    if (!whole.open(QIODevice::ReadOnly) || !cut.open(QIODevice::WriteOnly)) return QString();
    cut.write(whole.read(whole.size() / 2));
    return target;
}

DecodedImage DecodeJpeg(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = file.readAll();
    tjhandle decoder = tjInitDecompress();
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    DecodedImage image;
    if (tjDecompressHeader3(decoder, data, static_cast<unsigned long>(bytes.size()), &width, &height,
                            &subsampling, &colourspace) == 0) {
        image.rgb.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
        if (tjDecompress2(decoder, data, static_cast<unsigned long>(bytes.size()), image.rgb.data(), width, 0,
                          height, TJPF_RGB, 0) == 0) {
            image.width = width;
            image.height = height;
        } else {
            image.rgb.clear();
        }
    }
    tjDestroy(decoder);
    return image;
}

int BoxColour(const DecodedImage& image) {
    // The palette of make-test-documents.sh.
    static const std::array<std::array<int, 3>, 7> kPalette = {{
        {210, 30, 30}, {30, 160, 60}, {40, 60, 200}, {180, 40, 180}, {20, 170, 170}, {230, 140, 20}, {110, 110, 110},
    }};
    std::array<long, 7> votes{};
    for (std::size_t i = 0; i + 2 < image.rgb.size(); i += 3) {
        const int r = image.rgb[i], g = image.rgb[i + 1], b = image.rgb[i + 2];
        int best = -1;
        int bestDistance = INT_MAX;
        for (std::size_t k = 0; k < kPalette.size(); ++k) {
            const int distance = std::abs(r - kPalette[k][0]) + std::abs(g - kPalette[k][1]) + std::abs(b - kPalette[k][2]);
            if (distance < bestDistance) {
                bestDistance = distance;
                best = static_cast<int>(k);
            }
        }
        if (bestDistance < 40) ++votes[static_cast<std::size_t>(best)];
    }
    const long pixels = static_cast<long>(image.rgb.size() / 3);
    for (std::size_t k = 0; k < votes.size(); ++k) {
        if (votes[k] > pixels / 20) return static_cast<int>(k) + 1;
    }
    return 0;
}

bool ProcessGroupAlive(pid_t group) {
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool isProcess = false;
        entry.toInt(&isProcess);
        if (!isProcess) continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray text = stat.readAll();
        // pid (comm) state ppid pgrp ...; comm may hold blanks, so count from its ")".
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 2 && fields[0] != "Z" && fields[2].toInt() == group) return true;
    }
    return false;
}

pid_t ParentProcess(pid_t process) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(process));
    if (!stat.open(QIODevice::ReadOnly)) return 0;
    const QByteArray text = stat.readAll();
    return text.mid(text.lastIndexOf(')') + 2).split(' ').value(1).toInt();
}

std::vector<pid_t> ChildProcesses(pid_t parent, const QByteArray& command) {
    std::vector<pid_t> children;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray text = stat.readAll();
        const QByteArray name = text.mid(text.indexOf('(') + 1, text.lastIndexOf(')') - text.indexOf('(') - 1);
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[0] != "Z" && fields[1].toInt() == parent && name.startsWith(command)) {
            children.push_back(entry.toInt());
        }
    }
    return children;
}

std::vector<pid_t> EnginesOf(pid_t process) {
    std::vector<pid_t> engines;
    for (const pid_t child : ChildProcesses(process, "quillivar-engi")) {
        QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(child));
        commandLine.open(QIODevice::ReadOnly);
        if (!commandLine.readAll().split('\0').contains("--children")) {
            engines.push_back(child);
        } else {
            for (const pid_t forked : ChildProcesses(child, "quillivar-engi")) engines.push_back(forked);
        }
    }
    return engines;
}

QByteArray FileDigest(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

QStringList FolderEntries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QString RunInChild(const std::function<QString()>& work, const std::function<bool()>& prepare) {
    int channel[2];
    if (pipe(channel) != 0) return QStringLiteral("(no pipe)");
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        if (prepare && !prepare()) _exit(2);
        const QByteArray result = work().toUtf8();
        if (write(channel[1], result.constData(), static_cast<size_t>(result.size())) < 0) _exit(3);
        _exit(0);
    }
    close(channel[1]);
    QByteArray result;
    char buffer[4096];
    ssize_t n;
    while ((n = read(channel[0], buffer, sizeof buffer)) > 0) result.append(buffer, n);
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return QStringLiteral("(the child's run failed)");
    return QString::fromUtf8(result);
}

QString RunAsOrdinaryUser(const std::function<QString()>& work) {
    if (getuid() != 0) return work();
    return RunInChild(work, [] {
        constexpr uid_t kNobody = 65534;
        return setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0;
    });
}

QString ProgramForOrdinaryUser(const QString& relativePath) {
    static const QString folder = [] {
        static QTemporaryDir copies;
        const QString build = QFileInfo(QStringLiteral(QUILLIVAR_BUILD_BIN)).path();
        for (const char* program : {"bin/quillivar-cli", "lib/quillivar/quillivar-engine"}) {
            const QString target = copies.path() + "/" + program;
            QDir().mkpath(QFileInfo(target).path());
            QFile::copy(build + "/" + program, target);
        }
        for (const QString& path : {copies.path(), copies.path() + "/bin", copies.path() + "/lib", copies.path() + "/lib/quillivar"}) {
            chmod(QFile::encodeName(path).constData(), 0755);
        }
        return copies.path();
    }();
    return folder + "/" + relativePath;
}

void Touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    file.open(QIODevice::WriteOnly);
}

}  // namespace quillivar::test
