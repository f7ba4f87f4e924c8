#include "jpegwriter.h"

#include <png.h>
#include <turbojpeg.h>
#include <webp/encode.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <jerror.h>  // these two after <cstdio>, which they need
#include <jpeglib.h>
#include <fcntl.h>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
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

JpegStatus WriteEncoded(const std::optional<Encoded>& encoded, std::FILE* file, int& systemError) {
    if (!encoded || encoded->size == 0) return JpegStatus::EncoderFailed;
    if (std::fwrite(encoded->data, 1, encoded->size, file) != encoded->size) {
        systemError = errno;
        return JpegStatus::WriteFailed;
    }
    return JpegStatus::Ok;
}

// A page painted band by band, for the encoders that take rows.
struct Bands {
    int width;
    int height;
    int rowsPerBand;
    const PaintRows& paint;
    std::vector<std::uint8_t>& band;  // rowsPerBand rows

    // Paints the page band by band and hands `write` each row in turn; false when a paint failed.
    template <typename WriteRow>
    bool ForEachRow(WriteRow write) const {
        for (int top = 0; top < height; top += rowsPerBand) {
            const int rows = std::min(rowsPerBand, height - top);
            if (!paint(top, rows, band.data())) return false;
            for (int row = 0; row < rows; ++row) write(band.data() + static_cast<std::size_t>(row) * width * 4);
        }
        return true;
    }
};

// libjpeg and libpng report a failure by calling back; this jumps out of the encoder with the
// system's error of the moment, which is the write's when the write failed.
struct EncoderFailure {
    jpeg_error_mgr jpeg{};
    std::jmp_buf jump{};
    int systemError = 0;
};

[[noreturn]] void JpegFailed(j_common_ptr info) {
    auto* failure = reinterpret_cast<EncoderFailure*>(info->err);
    failure->systemError = failure->jpeg.msg_code == JERR_FILE_WRITE ? errno : 0;
    std::longjmp(failure->jump, 1);
}

[[noreturn]] void PngFailed(png_structp png, png_const_charp message) {
    auto* failure = static_cast<EncoderFailure*>(png_get_error_ptr(png));
    failure->systemError = std::strcmp(message, "Write Error") == 0 ? errno : 0;  // libpng's own words for it
    std::longjmp(failure->jump, 1);
}

// Encodes as TurboJPEG does for WritePageFile (4:2:0, the same quality tables), row by row.
JpegStatus StreamJpeg(std::FILE* file, const Bands& bands, int quality, int& systemError) {
    jpeg_compress_struct info{};
    EncoderFailure failure;
    info.err = jpeg_std_error(&failure.jpeg);
    failure.jpeg.error_exit = JpegFailed;
    if (setjmp(failure.jump)) {
        jpeg_destroy_compress(&info);
        systemError = failure.systemError;
        return systemError != 0 ? JpegStatus::WriteFailed : JpegStatus::EncoderFailed;
    }
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = static_cast<JDIMENSION>(bands.width);
    info.image_height = static_cast<JDIMENSION>(bands.height);
    info.input_components = 4;
    info.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    info.dct_method = quality >= 96 ? JDCT_ISLOW : JDCT_FASTEST;  // as TurboJPEG chooses
    jpeg_start_compress(&info, TRUE);
    const bool painted = bands.ForEachRow([&info](std::uint8_t* row) { jpeg_write_scanlines(&info, &row, 1); });
    if (painted) jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return painted ? JpegStatus::Ok : JpegStatus::NoPageImage;
}

JpegStatus StreamPng(std::FILE* file, const Bands& bands, int& systemError) {
    EncoderFailure failure;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, PngFailed, nullptr);
    png_infop header = png ? png_create_info_struct(png) : nullptr;
    if (!header || setjmp(failure.jump)) {
        png_destroy_write_struct(&png, &header);
        systemError = failure.systemError;
        return systemError != 0 ? JpegStatus::WriteFailed : JpegStatus::EncoderFailed;
    }
    png_init_io(png, file);
    // The fourth byte is opaque on every page: written as RGB.
    png_set_IHDR(png, header, static_cast<png_uint_32>(bands.width), static_cast<png_uint_32>(bands.height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, header);
    png_set_bgr(png);
    png_set_filler(png, 0, PNG_FILLER_AFTER);
    const bool painted = bands.ForEachRow([png](std::uint8_t* row) { png_write_row(png, row); });
    if (painted) png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &header);
    return painted ? JpegStatus::Ok : JpegStatus::NoPageImage;
}

// Checks that `path` may be written, then has `write` fill a hidden file beside it, renamed over
// it once whole: the target is replaced whole or not at all.
JpegStatus WriteThroughTemporary(const std::string& path, int quality, int* systemError,
                                 const std::function<JpegStatus(std::FILE* file, int& systemError)>& write) {
    int error = 0;
    const auto finish = [&](JpegStatus status) {
        if (systemError) *systemError = error;
        return status;
    };
    if (quality < 0 || quality > 100) return JpegStatus::InvalidQuality;
    if (!IsFolder(FolderOf(path))) return JpegStatus::FolderMissing;
    if (IsReadOnlyFile(path)) return JpegStatus::TargetReadOnly;
    const std::string temporary = JpegTemporaryPath(path, static_cast<long>(getpid()));
    unlink(temporary.c_str());
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    std::FILE* file = fd < 0 ? nullptr : fdopen(fd, "wb");
    if (!file) {
        error = errno;
        if (fd >= 0) close(fd);
        unlink(temporary.c_str());
        return finish(JpegStatus::CannotCreateFile);
    }
    JpegStatus status = write(file, error);
    if (status == JpegStatus::Ok && std::fflush(file) != 0) {
        error = errno;
        status = JpegStatus::WriteFailed;
    }
    if (std::fclose(file) != 0 && status == JpegStatus::Ok) {
        error = errno;
        status = JpegStatus::WriteFailed;
    }
    if (status == JpegStatus::Ok && rename(temporary.c_str(), path.c_str()) != 0) {
        error = errno;
        status = JpegStatus::CannotReplaceTarget;
    }
    if (status != JpegStatus::Ok) unlink(temporary.c_str());
    return finish(status);
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
    if (!image.IsValid()) return JpegStatus::InvalidImage;
    return WriteThroughTemporary(path, quality, systemError, [&](std::FILE* file, int& error) {
        // Encoded in memory first: nothing is written unless the whole picture exists.
        const std::optional<Encoded> encoded = format == ImageFormat::Png    ? EncodePng(image)
                                               : format == ImageFormat::Webp ? EncodeWebp(image, quality)
                                                                             : EncodeJpeg(image, quality);
        return WriteEncoded(encoded, file, error);
    });
}

int MostPixelsASide(ImageFormat format) {
    switch (format) {
        case ImageFormat::Png: return PNG_USER_WIDTH_MAX;
        case ImageFormat::Webp: return WEBP_MAX_DIMENSION;
        case ImageFormat::Jpeg: break;
    }
    return static_cast<int>(JPEG_MAX_DIMENSION);
}

JpegStatus WritePageFileInBands(int width, int height, int rowsPerBand, const PaintRows& paint, const std::string& path,
                                ImageFormat format, int quality, int* systemError) {
    if (width <= 0 || height <= 0 || rowsPerBand <= 0) return JpegStatus::InvalidImage;
    if (width > MostPixelsASide(format) || height > MostPixelsASide(format)) return JpegStatus::EncoderFailed;
    return WriteThroughTemporary(path, quality, systemError, [&](std::FILE* file, int& error) {
        std::vector<std::uint8_t> band;
        try {
            band.resize(static_cast<std::size_t>(width) * 4 * static_cast<std::size_t>(format == ImageFormat::Webp ? height : rowsPerBand));
        } catch (const std::bad_alloc&) {
            return JpegStatus::EncoderFailed;
        }
        if (format == ImageFormat::Webp) {
            for (int top = 0; top < height; top += rowsPerBand) {
                if (!paint(top, std::min(rowsPerBand, height - top), band.data() + static_cast<std::size_t>(top) * width * 4)) {
                    return JpegStatus::NoPageImage;
                }
            }
            PageImage image{width, height, std::move(band)};
            const std::optional<Encoded> encoded = EncodeWebp(image, quality);
            return WriteEncoded(encoded, file, error);
        }
        const Bands bands{width, height, rowsPerBand, paint, band};
        return format == ImageFormat::Png ? StreamPng(file, bands, error) : StreamJpeg(file, bands, quality, error);
    });
}

void SavePictureAsJPG(const PageImage& image, const std::string& path, int quality) {
    const JpegStatus status = WriteJpegFile(image, path, quality);
    if (status != JpegStatus::Ok) throw JpegError(status);
}

}  // namespace quillivar
