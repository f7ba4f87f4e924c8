// Strangers' bytes through the readers that tell an encrypted document (OLE containers, Word
// file headers, OpenDocument manifests) and a document laid out whole before its first page.

#include "encryption.h"
#include "fuzzinput.h"
#include "wholelayout.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const std::string file = quillivar::fuzz::AsFile(data, size);
    quillivar::engine::ReadDocumentBytes(file);
    quillivar::engine::PagesNeedWholeLayout(file);
    return 0;
}
