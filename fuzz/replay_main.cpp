// Replays inputs through a fuzz target without libFuzzer, so the seed corpora
// (and any input a fuzzing run found) run as ordinary tests with the normal
// compiler and sanitizers. Each argument is a file or a directory of files
// (not recursed); every input is fed to LLVMFuzzerTestOneInput once. A target
// that finds a fault aborts; the name of the input it was given is printed first.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

bool ReadFile(const fs::path& path, std::vector<uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// The files an argument names, sorted so that runs are repeatable.
std::vector<fs::path> Inputs(const fs::path& arg) {
    std::vector<fs::path> files;
    if (fs::is_directory(arg)) {
        for (const auto& entry : fs::directory_iterator(arg))
            if (entry.is_regular_file()) files.push_back(entry.path());
        std::sort(files.begin(), files.end());
    } else {
        files.push_back(arg);
    }
    return files;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <file or directory>...\n", argv[0]);
        return 2;
    }
    size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        for (const fs::path& file : Inputs(argv[i])) {
            std::vector<uint8_t> bytes;
            if (!ReadFile(file, bytes)) {
                std::fprintf(stderr, "cannot read %s\n", file.c_str());
                return 2;
            }
            std::fprintf(stderr, "%s\n", file.c_str());
            // A null pointer for an empty input, as libFuzzer may pass.
            (void)LLVMFuzzerTestOneInput(bytes.empty() ? nullptr : bytes.data(), bytes.size());
            ++replayed;
        }
    }
    if (replayed == 0) {
        std::fprintf(stderr, "no inputs\n");
        return 2;
    }
    std::printf("%zu inputs replayed\n", replayed);
    return 0;
}
