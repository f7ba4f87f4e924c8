#include "jpegwriter.h"

#include <png.h>
#include <turbojpeg.h>
#include <webp/encode.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <cstdlib>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace quillivar {

namespace {

struct TurboJpegHandle {
    tjhandle handle = tjInitCompress();
    ~TurboJpegHandle() {
        if (handle) tjDestroy(handle);
    }
};

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool IsFolder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Like the read-only attribute elsewhere: a file nobody may write to is left alone.
bool IsReadOnlyFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 0222) == 0;
}

// An encoded picture in memory, freed by the encoder's own function.
struct Encoded {
    std::shared_ptr<unsigned char> owner;
    const unsigned char* data = nullptr;
    unsigned long size = 0;
};

std::optional<Encoded> EncodeJpeg(const PageImage& image, int quality) {
    TurboJpegHandle encoder;
    if (!encoder.handle) return std::nullopt;
    unsigned char* bytes = nullptr;
    unsigned long size = 0;
    const int failed = tjCompress2(encoder.handle, image.pixels.data(), image.width, image.width * 4, image.height,
                                   TJPF_BGRX, &bytes, &size, TJSAMP_420, quality, 0);
    Encoded encoded{std::shared_ptr<unsigned char>(bytes, [](unsigned char* p) { tjFree(p); }), bytes, size};
    if (failed != 0) return std::nullopt;
    return encoded;
}

std::optional<Encoded> EncodeWebp(const PageImage& image, int quality) {
    uint8_t* bytes = nullptr;
    const std::size_t size = WebPEncodeBGRA(image.pixels.data(), image.width, image.height, image.width * 4,
                                            static_cast<float>(quality), &bytes);
    if (size == 0) return std::nullopt;
    return Encoded{std::shared_ptr<unsigned char>(bytes, [](unsigned char* p) { WebPFree(p); }), bytes, size};
}

std::optional<Encoded> EncodePng(const PageImage& image) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_BGRA;  // the fourth byte is opaque: every page is on white
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&png, nullptr, &size, 0, image.pixels.data(), image.width * 4, nullptr)) {
        return std::nullopt;
    }
    auto* bytes = static_cast<unsigned char*>(std::malloc(size));
    Encoded encoded{std::shared_ptr<unsigned char>(bytes, [](unsigned char* p) { std::free(p); }), bytes, 0};
    if (!bytes || !png_image_write_to_memory(&png, bytes, &size, 0, image.pixels.data(), image.width * 4, nullptr)) {
        return std::nullopt;
    }
    encoded.size = static_cast<unsigned long>(size);
    return encoded;
}

JpegStatus WriteAll(int fd, const unsigned char* data, unsigned long size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return JpegStatus::WriteFailed;
        }
        data += written;
        size -= static_cast<unsigned long>(written);
    }
    return JpegStatus::Ok;
}

}  // namespace

bool PageImage::IsValid() const {
    return width > 0 && height > 0 &&
           pixels.size() >= static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
}

std::string JpegErrorText(JpegStatus status) {
    return "Cannot save the image. GDI+ Error:" + std::to_string(static_cast<int>(status));
}

JpegError::JpegError(JpegStatus status, int systemError)
    : std::runtime_error(JpegErrorText(status)), status_(status), systemError_(systemError) {}

std::string JpegTemporaryPath(const std::string& path, long processId) {
    // Short whatever the target's name, so that every name the file system allows can be
    // written; one writer process saves one file at a time, so its process id makes it unique.
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    return folder + ".quillivar-" + std::to_string(processId) + ".part";
}

std::string FormatName(ImageFormat format) {
    switch (format) {
        case ImageFormat::Png: return "png";
        case ImageFormat::Webp: return "webp";
        case ImageFormat::Jpeg: break;
    }
    return "jpg";
}

bool FormatFromName(const std::string& name, ImageFormat& format) {
    for (const ImageFormat known : {ImageFormat::Jpeg, ImageFormat::Png, ImageFormat::Webp}) {
        if (name == FormatName(known)) {
            format = known;
            return true;
        }
    }
    return false;
}

JpegStatus WriteJpegFile(const PageImage& image, const std::string& path, int quality) {
    return WritePageFile(image, path, ImageFormat::Jpeg, quality);
}

JpegStatus WritePageFile(const PageImage& image, const std::string& path, ImageFormat format, int quality,
                         int* systemError) {
    const auto failed = [systemError](JpegStatus status) {
        if (systemError) *systemError = errno;
        return status;
    };
    if (!image.IsValid()) return JpegStatus::InvalidImage;
    if (quality < 0 || quality > 100) return JpegStatus::InvalidQuality;
    if (!IsFolder(FolderOf(path))) return JpegStatus::FolderMissing;
    if (IsReadOnlyFile(path)) return JpegStatus::TargetReadOnly;

    // Encode in memory first: nothing touches the disk unless the whole picture exists.
    const std::optional<Encoded> encoded = format == ImageFormat::Png    ? EncodePng(image)
                                           : format == ImageFormat::Webp ? EncodeWebp(image, quality)
                                                                         : EncodeJpeg(image, quality);
    if (!encoded || encoded->size == 0) return JpegStatus::EncoderFailed;

    // Then a hidden file beside the target, renamed over it once complete.
    const std::string temporary = JpegTemporaryPath(path, static_cast<long>(getpid()));
    unlink(temporary.c_str());
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return failed(JpegStatus::CannotCreateFile);
    JpegStatus status = WriteAll(fd, encoded->data, encoded->size);
    if (status != JpegStatus::Ok) failed(status);
    if (close(fd) != 0 && status == JpegStatus::Ok) status = failed(JpegStatus::WriteFailed);
    if (status == JpegStatus::Ok && rename(temporary.c_str(), path.c_str()) != 0) {
        status = failed(JpegStatus::CannotReplaceTarget);
    }
    if (status != JpegStatus::Ok) unlink(temporary.c_str());
    return status;
}

void SavePictureAsJPG(const PageImage& image, const std::string& path, int quality) {
    const JpegStatus status = WriteJpegFile(image, path, quality);
    if (status != JpegStatus::Ok) throw JpegError(status);
}

}  // namespace quillivar
