// Strangers' bytes through the ZIP reader and the copy without saved page breaks.

#include "fuzzinput.h"
#include "savedbreaks.h"

#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const std::string copy = quillivar::engine::CopyWithoutSavedBreaks(quillivar::fuzz::AsFile(data, size),
                                                                       quillivar::fuzz::ScratchFolder());
    if (!copy.empty()) {
        unlink(copy.c_str());
        rmdir(copy.substr(0, copy.rfind('/')).c_str());
    }
    return 0;
}
