// Strangers' bytes through the readers that tell an encrypted document (OLE containers, Word
// file headers, OpenDocument manifests).

#include "encryption.h"
#include "fuzzinput.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    quillivar::engine::ReadDocumentBytes(quillivar::fuzz::AsFile(data, size));
    return 0;
}
