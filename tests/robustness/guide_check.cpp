#include "guide_check.h"

#include <pugixml.hpp>

#include <sys/wait.h>
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace robustness {

namespace {
constexpr const char* kDtd = "/usr/share/xmltv/xmltv.dtd";
}

std::string GuideProblems(const std::string& path) {
    if (fs::exists(kDtd) && std::system("command -v xmllint >/dev/null 2>&1") == 0) {
        const std::string command = "xmllint --noout --dtdvalid " + std::string(kDtd) + " '" + path + "' 2>&1";
        std::string said;
        FILE* pipe = ::popen(command.c_str(), "r");
        if (!pipe) return "cannot run xmllint";
        std::array<char, 4096> chunk;
        while (std::size_t n = std::fread(chunk.data(), 1, chunk.size(), pipe)) said.append(chunk.data(), n);
        const int status = ::pclose(pipe);
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
        return said.empty() ? "xmllint failed" : said.substr(0, 2000);
    }
    pugi::xml_document doc;
    const pugi::xml_parse_result result = doc.load_file(path.c_str());
    return result ? std::string() : std::string(result.description());
}

std::vector<std::string> OtherFiles(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename() != "tvdata.xml" && entry.path().filename() != ".tvdata.xml.lock")
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace robustness
