#pragma once
// Documents locked with a password, and containers holding no Word document, told from their
// bytes before LibreOffice opens them.
//
// LibreOffice asks for a password only in some versions and for some formats; in others an
// encrypted document fails to load as if damaged, or loads as pages of its encrypted bytes.
// So the engine looks first: an OLE container holding an encrypted OOXML package, a Word
// 97-2003 (or 6/95) document whose header says it is encrypted, an OpenDocument package whose
// manifest carries encryption data.

#include <string>

namespace quillivar::engine {

enum class DocumentBytes {
    kEncrypted,
    // An OLE compound file without a Word document in it, which LibreOffice 26.8 would read as
    // plain text and draw as pages of stray characters.
    kNoWordDocument,
    kOther,  // for LibreOffice to tell
};
DocumentBytes ReadDocumentBytes(const std::string& path);

}  // namespace quillivar::engine
