#include "profile.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

namespace quillivar::engine {

namespace {

struct Setting {
    std::string path;
    std::string name;
    std::string value;
};

// A whole node replaced rather than one property fused: for entries of sets that may not
// exist yet.
struct Node {
    std::string path;
    std::string name;
    std::string property;
    std::string value;
};

std::vector<Setting> Settings(const std::string& version) {
    std::vector<Setting> settings = {
        {"/org.openoffice.Office.Common/Misc", "FirstRun", "false"},
        // No lock files beside the user's documents, no backups or recovery data.
        {"/org.openoffice.Office.Common/Misc", "UseLocking", "false"},
        {"/org.openoffice.Office.Common/Save/Document", "AutoSave", "false"},
        {"/org.openoffice.Office.Recovery/AutoSave", "Enabled", "false"},
        {"/org.openoffice.Office.Recovery/RecoveryInfo", "Enabled", "false"},
        // Documents are data: no macro runs, nothing is fetched or refreshed.
        {"/org.openoffice.Office.Common/Security/Scripting", "MacroSecurityLevel", "3"},
        {"/org.openoffice.Office.Common/Security/Scripting", "DisableMacrosExecution", "true"},
        {"/org.openoffice.Office.Common/Security/Scripting", "BlockUntrustedRefererLinks", "true"},
        {"/org.openoffice.Office.Writer/Content/Update", "Link", "0"},
        {"/org.openoffice.Office.Writer/Content/Update", "Field", "false"},
        // No background work after a load: spelling and collecting words for completion would
        // hold LibreOffice's lock while the first page waits. (Word counting has no setting; it
        // runs for the status bar, which is off.)
        {"/org.openoffice.Office.Linguistic/SpellChecking", "IsSpellAuto", "false"},
        {"/org.openoffice.Office.Writer/AutoFunction/Completion", "CollectWords", "false"},
        // Pages as printed: no text boundaries, object frames, shadings or shadows.
        {"/org.openoffice.Office.UI/ColorScheme", "CurrentColorScheme", "LibreOffice"},
        // From 24.2 on, boundaries are also a view option of their own. Set here, before any view
        // exists: the command that sets it on a view takes effect only some time later.
        {"/org.openoffice.Office.Writer/Content/Display", "ShowBoundaries", "false"},
    };
    // 7.4's colour scheme is called "LibreOffice"; from 24.8 on it is the automatic one.
    for (const char* name : {"LibreOffice", "COLOR_SCHEME_LIBREOFFICE_AUTOMATIC"}) {
        const std::string scheme = std::string("/org.openoffice.Office.UI/ColorScheme/ColorSchemes/") +
                                   "org.openoffice.Office.UI:ColorScheme['" + name + "']/";
        for (const char* decoration : {"DocBoundaries", "ObjectBoundaries", "TableBoundaries",
                                       "WriterSectionBoundaries", "WriterFieldShadings",
                                       "WriterIdxShadings", "Shadow"}) {
            settings.push_back({scheme + decoration, "IsVisible", "false"});
        }
    }
    if (!version.empty()) settings.push_back({"/org.openoffice.Setup/Product", "ooSetupLastVersion", version});
    return settings;
}

// No window furniture: the sidebar and the status bar only cost time (building decks,
// counting words) for a view nobody sees.
const std::vector<Node> kNodes = {
    {"/org.openoffice.Office.Views/Windows", "swriter/10336", "Visible", "false"},
    {"/org.openoffice.Office.UI.WriterWindowState/UIElements/States", "private:resource/statusbar/statusbar",
     "Visible", "false"},
};

}  // namespace

// Recorded in a profile, it spares a new profile the first-start work (several seconds).
std::string InstalledVersion(const std::string& libreOfficeProgram) {
    std::ifstream registry(std::filesystem::path(libreOfficeProgram) / ".." / "share" / "registry" / "main.xcd");
    std::stringstream text;
    text << registry.rdbuf();
    const std::string all = text.str();
    const std::string marker = "<prop oor:name=\"ooSetupVersion\">";
    const auto prop = all.find(marker);
    if (prop == std::string::npos) return {};
    const auto open = all.find("<value>", prop);
    const auto close = all.find("</value>", open);
    if (open == std::string::npos || close == std::string::npos) return {};
    return all.substr(open + 7, close - open - 7);
}

bool SeedProfile(const std::string& profileFolder, const std::string& libreOfficeProgram,
                 std::string& error) {
    const std::filesystem::path user = std::filesystem::path(profileFolder) / "user";
    std::error_code failure;
    std::filesystem::create_directories(user, failure);
    if (failure) {
        error = user.string() + ": " + failure.message();
        return false;
    }
    const std::filesystem::path file = user / "registrymodifications.xcu";
    const std::filesystem::path partial = user / "registrymodifications.xcu.new";
    {
        std::ofstream out(partial, std::ios::trunc);
        out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" "
               "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
               "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n";
        for (const Setting& setting : Settings(InstalledVersion(libreOfficeProgram))) {
            out << "<item oor:path=\"" << setting.path << "\"><prop oor:name=\"" << setting.name
                << "\" oor:op=\"fuse\"><value>" << setting.value << "</value></prop></item>\n";
        }
        for (const Node& node : kNodes) {
            out << "<item oor:path=\"" << node.path << "\"><node oor:name=\"" << node.name
                << "\" oor:op=\"replace\"><prop oor:name=\"" << node.property << "\" oor:op=\"fuse\"><value>"
                << node.value << "</value></prop></node></item>\n";
        }
        out << "</oor:items>\n";
        if (!out) {
            error = partial.string() + ": cannot be written";
            return false;
        }
    }
    std::filesystem::rename(partial, file, failure);
    if (failure) {
        error = file.string() + ": " + failure.message();
        return false;
    }
    return true;
}

std::string LayoutLanguageTag() {
    std::string locale;
    for (const char* variable : {"LC_ALL", "LC_PAPER", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) {
            locale = value;
            break;
        }
    }
    locale = locale.substr(0, locale.find_first_of(".@"));
    std::string tag;
    for (const char c : locale) {
        if (c == '_') {
            tag += '-';
        } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-') {
            tag += c;
        } else {
            return "en-GB";
        }
    }
    if (tag.empty() || tag == "C" || tag == "POSIX") return "en-GB";
    return tag;
}

}  // namespace quillivar::engine
