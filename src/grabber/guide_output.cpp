#include "grabber/guide_output.h"

#include "base/error.h"
#include "base/write_all.h"

#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;

namespace brevan {
namespace {

// A private folder for one run's document, removed with it.
class TemporaryFolder {
public:
    explicit TemporaryFolder(const std::string& root) {
        std::string pattern = (root.empty() ? std::string("/tmp") : root) + "/tv_grab_de_brevan-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (::mkdtemp(name.data()) == nullptr)
            throw Error("Cannot make a temporary folder in " + pattern.substr(0, pattern.rfind('/')) + ": " +
                        std::strerror(errno));
        path_ = name.data();
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

void CopyToStandardOutput(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> buffer(1 << 16);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got == 0) break;
        if (const int error = WriteAll(STDOUT_FILENO, buffer.data(), got))
            throw Error(std::string("Cannot write the guide to standard output: ") + std::strerror(error));
    }
    if (in.bad()) throw Error("Cannot read the guide back from " + path + ".");
}

}  // namespace

void WriteGuideToStandardOutput(ConversionRequest request, const std::string& temporaryRoot) {
    const TemporaryFolder folder(temporaryRoot);
    request.outputFolder = folder.path();
    request.guideName = "guide.xml";
    ConvertListing(request);
    CopyToStandardOutput(folder.path() + "/guide.xml");
}

void WriteGuideToFile(ConversionRequest request, const std::string& file) {
    const fs::path path(file);
    if (!path.has_filename() || fs::is_directory(path))
        throw Error("Cannot write the guide file " + file + ": it names a folder, not a file.");
    request.outputFolder = path.has_parent_path() ? path.parent_path().string() : ".";
    request.guideName = path.filename().string();
    request.guideShown = file;
    ConvertListing(request);
}

}  // namespace brevan
