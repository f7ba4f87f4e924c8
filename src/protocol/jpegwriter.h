#pragma once
// The JPEG writer: one page image in, one .jpg file out, written whole or not at all; and
// the same for PNG and WebP, which the command line offers besides.
// Plain C++ without Qt, because the engine process uses it too.

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quillivar {

// A page image: rows top-down, 4 bytes per pixel in the order blue, green, red, unused.
struct PageImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;

    bool IsValid() const;
};

// Our own numeric statuses, quoted after "GDI+ Error:" in the error text.
enum class JpegStatus : int {
    Ok = 0,
    InvalidImage = 1,         // no pixels, or fewer pixels than width x height
    InvalidQuality = 2,       // outside 0 to 100
    EncoderFailed = 3,        // libjpeg-turbo refused the image
    FolderMissing = 4,        // the target's folder does not exist
    CannotCreateFile = 5,     // no file can be made in the target's folder
    WriteFailed = 6,          // the disk refused the bytes (full, quota, I/O error)
    TargetReadOnly = 7,       // an existing target file is marked read-only
    CannotReplaceTarget = 8,  // the finished file cannot take the target's name
    NoPageImage = 9,          // there is no rendered page to save
};

// "Cannot save the image. GDI+ Error:" followed at once by the status number.
std::string JpegErrorText(JpegStatus status);

class JpegError : public std::runtime_error {
public:
    explicit JpegError(JpegStatus status, int systemError = 0);
    JpegStatus status() const { return status_; }
    int systemError() const { return systemError_; }  // errno where a system call failed, else 0

private:
    JpegStatus status_;
    int systemError_;
};

// The hidden temporary file a writer with this process id uses beside `path`: a short name
// in the same folder, whatever the length of the target's own.
std::string JpegTemporaryPath(const std::string& path, long processId);

enum class ImageFormat { Jpeg, Png, Webp };

// "jpg", "png", "webp": the page files' extension and the protocol's word for the format.
std::string FormatName(ImageFormat format);
bool FormatFromName(const std::string& name, ImageFormat& format);

// Encodes `image` at `quality` and puts it under `path`; returns the status, never throws.
// PNG is lossless and takes no quality.
// Where a system call failed (the folder, the file, the disk), `systemError` gets its errno.
JpegStatus WritePageFile(const PageImage& image, const std::string& path, ImageFormat format, int quality,
                         int* systemError = nullptr);
JpegStatus WriteJpegFile(const PageImage& image, const std::string& path, int quality);

// The most pixels a side a page file of `format` can have (JPEG 65,500; WebP 16,383; PNG, as
// libpng writes it, 1,000,000).
int MostPixelsASide(ImageFormat format);

// Fills `rows` rows of a page from `firstRow` into `into` (the page image's layout, width x 4
// bytes a row); false when it cannot.
using PaintRows = std::function<bool(int firstRow, int rows, std::uint8_t* into)>;

// As WritePageFile, for a page too large to hold whole: `paint` is asked for it `rowsPerBand`
// rows at a time, top down, and JPEG and PNG are encoded as the rows come, so that only a band
// is held. WebP, whose encoder takes only a whole picture, is put together first. A paint
// that fails gives NoPageImage.
JpegStatus WritePageFileInBands(int width, int height, int rowsPerBand, const PaintRows& paint, const std::string& path,
                                ImageFormat format, int quality, int* systemError = nullptr);

// As WriteJpegFile, but a failure throws JpegError with the error text.
void SavePictureAsJPG(const PageImage& image, const std::string& path, int quality);

}  // namespace quillivar
