#include "support/Fixtures.h"

#include <sys/wait.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace rekkon::test {

std::string fixtureImage(const std::string& relative) {
    return std::string(REKKON_TEST_DATA_DIR) + "/" + relative;
}

std::string fixtureSource(const std::string& relative) {
    return std::string(REKKON_TEST_SOURCE_DATA_DIR) + "/" + relative;
}

std::vector<ManifestRow> readManifest(const std::string& path) {
    std::ifstream in(path);
    std::vector<ManifestRow> rows;
    std::string line;
    std::vector<std::string> header;
    auto split = [](const std::string& s) {
        std::vector<std::string> out;
        std::stringstream ss(s);
        std::string field;
        while (std::getline(ss, field, '\t'))
            out.push_back(field);
        if (!s.empty() && s.back() == '\t') out.emplace_back();
        return out;
    };
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        auto fields = split(line);
        if (header.empty()) {
            header = fields;
            continue;
        }
        ManifestRow row;
        for (std::size_t i = 0; i < header.size() && i < fields.size(); ++i)
            row[header[i]] = fields[i];
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string runCommand(const std::string& command, int& status) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        status = -1;
        return out;
    }
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0)
        out.append(buf, n);
    const int raw = ::pclose(pipe);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

bool commandAvailable(const std::string& name) {
    int status = 0;
    runCommand("command -v " + name + " >/dev/null 2>&1", status);
    return status == 0;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "rekkon-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

}  // namespace rekkon::test
