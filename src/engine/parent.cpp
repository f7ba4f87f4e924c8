#include "parent.h"

#include "engineprotocol.h"
#include "profile.h"

#include <LibreOfficeKit/LibreOfficeKitInit.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace quillivar::engine {

namespace {

namespace reason = protocol::reason;
namespace fs = std::filesystem;

// LibreOffice's configuration layers as its own start-up file lists them, with the user's
// writable layer replaced by the seeded settings, read-only ("user:*"): a writable layer keeps
// a writer thread alive, which a fork cannot take along, and would be shared by every engine.
// The desktop's settings (dconf) stay out as they do for any engine.
std::string ConfigurationLayers(const std::string& libreOfficeProgram, const std::string& seeded) {
    std::ifstream rc(fs::path(libreOfficeProgram) / "fundamentalrc");
    std::string layers;
    for (std::string line; std::getline(rc, line);) {
        if (line.rfind("CONFIGURATION_LAYERS=", 0) == 0) layers = line.substr(21);
    }
    std::istringstream words(layers);
    std::string kept;
    for (std::string layer; words >> layer;) {
        if (layer.rfind("user:", 0) != 0 && layer.rfind("dconf:", 0) != 0) kept += layer + ' ';
    }
    return kept + "user:*" + protocol::FileUrl(seeded);
}

int ThreadCount() {
    int count = 0;
    for ([[maybe_unused]] const auto& task : fs::directory_iterator("/proc/self/task")) ++count;
    return count;
}

// Loads LibreOffice's library as lok_init_2 will in each engine, and prepares it. An empty
// answer means success.
std::string PrepareLibreOffice(const std::string& libreOfficeProgram, const std::string& profileFolder) {
    void* library = nullptr;
    for (const char* name : {"libsofficeapp.so", "libmergedlo.so"}) {
        library = dlopen((libreOfficeProgram + '/' + name).c_str(), RTLD_LAZY | RTLD_GLOBAL);
        if (library) break;
    }
    if (!library) return "LibreOfficeKit could not be loaded from " + libreOfficeProgram;
    const auto preInit = reinterpret_cast<LokHookPreInit2*>(dlsym(library, "lok_preinit_2"));
    if (!preInit) return "this LibreOffice cannot be prepared ahead (no lok_preinit_2)";
    if (preInit(libreOfficeProgram.c_str(), protocol::FileUrl(profileFolder).c_str(), nullptr) != 0) {
        return "LibreOffice could not be prepared";
    }
    // From 25.2 on, LibreOffice comes back from preparing with its big lock held by this thread
    // (7.4 without). A lock's owner is a thread id, and an engine's thread has another: it would
    // wait for the lock forever in lok_init_2. Taken once more, so that it is surely held, the
    // lock is then let go of at every level.
    const auto takeLock = reinterpret_cast<void (*)(unsigned)>(dlsym(library, "_ZN11Application17AcquireSolarMutexEj"));
    const auto releaseLock = reinterpret_cast<unsigned (*)()>(dlsym(library, "_ZN11Application17ReleaseSolarMutexEv"));
    if (!takeLock || !releaseLock) return "this LibreOffice cannot hand its lock over to engines";
    takeLock(1);
    releaseLock();
    // A thread left running would be missing in every engine, which then hangs in it.
    if (const int threads = ThreadCount(); threads != 1) {
        return "LibreOffice left " + std::to_string(threads - 1) + " thread(s) running after preparing";
    }
    return {};
}

void Send(int control, const std::vector<std::string>& fields) {
    const std::string message = protocol::JoinFields(fields) + '\n';
    while (send(control, message.data(), message.size(), MSG_NOSIGNAL) < 0 && errno == EINTR) {
    }
}

// The next request, with the descriptor that came with it (-1: none). False once the core hangs up.
bool Receive(int control, std::string& line, int& descriptor) {
    char text[protocol::kMaxLineBytes];
    alignas(cmsghdr) char ancillary[CMSG_SPACE(sizeof(int))];
    iovec part{text, sizeof text};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = ancillary;
    message.msg_controllen = sizeof ancillary;
    ssize_t n;
    while ((n = recvmsg(control, &message, MSG_CMSG_CLOEXEC)) < 0 && errno == EINTR) {
    }
    if (n <= 0) return false;
    descriptor = -1;
    const cmsghdr* header = CMSG_FIRSTHDR(&message);
    if (header && header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS) {
        std::memcpy(&descriptor, CMSG_DATA(header), sizeof descriptor);
    }
    line.assign(text, static_cast<std::size_t>(n));
    if (!line.empty() && line.back() == '\n') line.pop_back();
    return true;
}

// Waits for an engine the core has killed, or that ended, and removes its folder.
std::string Reap(pid_t engine, const fs::path& folder) {
    siginfo_t info{};
    while (waitid(P_PID, static_cast<id_t>(engine), &info, WEXITED) < 0 && errno == EINTR) {
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    if (info.si_code == CLD_EXITED) return "exit " + std::to_string(info.si_status);
    return "signal " + std::to_string(info.si_status);
}

}  // namespace

int RunParent(int control, const std::string& libreOfficeProgram, const std::string& profileFolder,
              const std::string& childrenFolder, ServeEngine serve) {
    const std::string seeded = (fs::path(profileFolder) / "user" / "registrymodifications.xcu").string();
    setenv("CONFIGURATION_LAYERS", ConfigurationLayers(libreOfficeProgram, seeded).c_str(), 1);
    // Only 7.4's forked engines are known to give the pages of engines started cold. 26.8 ends
    // the main loop of a forked engine as soon as it begins; under 25.2 a forked engine drew a
    // page of the corpus differently now and then under load. Their engines start cold without
    // a try. (Should another version fail to start one, the core finds out from the first.)
    if (const std::string version = InstalledVersion(libreOfficeProgram); std::atoi(version.c_str()) >= 25) {
        Send(control, {"0", "fail", std::string(reason::kStart), "LibreOffice " + version + " cannot serve from a forked engine"});
        return 1;
    }
    if (const std::string error = PrepareLibreOffice(libreOfficeProgram, profileFolder); !error.empty()) {
        Send(control, {"0", "fail", std::string(reason::kStart), error});
        return 1;
    }
    Send(control, {"0", "ready"});

    const pid_t parent = getpid();
    std::map<pid_t, fs::path> engines;  // forked and not yet reaped, with their folders
    std::string line;
    int descriptor = -1;
    long long expected = 1;
    while (Receive(control, line, descriptor)) {
        const std::vector<std::string> request = protocol::SplitFields(line);
        if (request.size() != 3 || protocol::ParseNumber(request[0], expected, expected) != expected) break;
        ++expected;
        const std::string& id = request[0];
        if (request[1] == "fork" && descriptor >= 0) {
            const bool drawAhead = request[2] == "1";
            const pid_t engine = fork();
            if (engine == 0) {
                close(control);
                setpgid(0, 0);                     // a group of its own, as a cold engine has
                prctl(PR_SET_PDEATHSIG, SIGKILL);  // and never outlives us
                if (getppid() != parent) _exit(127);
                // LibreOffice names its temporary folder after the process, but every engine
                // would inherit ours; and engines sharing a profile fail to start now and then.
                const fs::path folder = fs::path(childrenFolder) / std::to_string(getpid());
                std::error_code failure;
                fs::create_directories(folder / "profile", failure);
                fs::create_directories(folder / "tmp", failure);
                setenv("TMPDIR", (folder / "tmp").c_str(), 1);
                serve(descriptor, libreOfficeProgram, (folder / "profile").string(), drawAhead, true);
            }
            close(descriptor);
            if (engine < 0) {
                Send(control, {id, "fail", std::string(reason::kStart), std::strerror(errno)});
                continue;
            }
            setpgid(engine, engine);  // before the core may signal the group
            engines[engine] = fs::path(childrenFolder) / std::to_string(engine);
            Send(control, {id, "ok", std::to_string(engine)});
        } else if (request[1] == "ended") {
            const auto engine = engines.find(static_cast<pid_t>(protocol::ParseNumber(request[2], 1, INT32_MAX).value_or(0)));
            if (engine == engines.end()) {
                Send(control, {id, "fail", std::string(reason::kBadRequest), request[2]});
                continue;
            }
            const std::string how = Reap(engine->first, engine->second);
            engines.erase(engine);
            Send(control, {id, "ok", how.substr(0, how.find(' ')), how.substr(how.find(' ') + 1)});
        } else {
            if (descriptor >= 0) close(descriptor);
            Send(control, {id, "fail", std::string(reason::kBadRequest), request[1]});
        }
    }
    // The core is gone, or talks nonsense: no engine of ours outlives it.
    for (const auto& [engine, folder] : engines) {
        kill(-engine, SIGKILL);
        Reap(engine, folder);
    }
    return 0;
}

}  // namespace quillivar::engine
