// Feeds files to a fuzz target without libFuzzer, so that every build (gcc
// included) replays the committed corpus. Arguments are files or directories;
// directories are read recursively, in sorted order. A crash ends the process,
// so reaching the end means every input passed.
// No input at all counts as a failure.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool collect(const std::filesystem::path& path, std::vector<std::filesystem::path>& files)
{
    std::error_code error;
    if (std::filesystem::is_regular_file(path, error)) {
        files.push_back(path);
        return true;
    }
    if (!std::filesystem::is_directory(path, error)) {
        std::fprintf(stderr, "replay: no such file or directory: %s\n", path.c_str());
        return false;
    }
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path, error)) {
        if (entry.is_regular_file(error))
            files.push_back(entry.path());
    }
    return !error;
}

}

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE_OR_DIRECTORY...\n", argv[0]);
        return 2;
    }
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        if (!collect(argv[i], files))
            return 1;
    }
    // An empty corpus would pass without checking anything: a wrong path, most likely.
    if (files.empty()) {
        std::fprintf(stderr, "replay: no inputs found\n");
        return 1;
    }
    std::sort(files.begin(), files.end());

    for (const auto& file : files) {
        std::ifstream stream(file, std::ios::binary);
        if (!stream) {
            std::fprintf(stderr, "replay: cannot read %s\n", file.c_str());
            return 1;
        }
        const std::vector<char> bytes{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
        std::fprintf(stderr, "replay: %s\n", file.c_str());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("replayed %zu inputs, none failed\n", files.size());
    return 0;
}
