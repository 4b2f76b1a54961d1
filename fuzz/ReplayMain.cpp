// Runs a fuzz target's LLVMFuzzerTestOneInput once over every file named on
// the command line, or every file inside a named directory, so that the seed
// corpus and every input that ever crashed a target are checked by a normal
// build. Exits non-zero when a path cannot be read or holds no input at all;
// a target that finds a fault aborts.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace fs = std::filesystem;

static bool readFile(const fs::path &path, std::vector<uint8_t> &out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

int main(int argc, char **argv)
{
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const fs::path arg(argv[i]);
        std::error_code ec;
        if (fs::is_directory(arg, ec)) {
            for (const auto &entry : fs::directory_iterator(arg))
                if (entry.is_regular_file())
                    inputs.push_back(entry.path());
        } else if (fs::is_regular_file(arg, ec)) {
            inputs.push_back(arg);
        } else {
            std::fprintf(stderr, "replay: cannot read %s\n", argv[i]);
            return 2;
        }
    }
    if (inputs.empty()) {
        std::fprintf(stderr, "replay: no inputs (usage: %s DIR|FILE ...)\n", argv[0]);
        return 2;
    }
    std::sort(inputs.begin(), inputs.end());
    std::vector<uint8_t> data;
    for (const fs::path &path : inputs) {
        if (!readFile(path, data)) {
            std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
            return 2;
        }
        std::fprintf(stderr, "replay: %s (%zu bytes)\n", path.filename().c_str(), data.size());
        // A copy of exactly the input's size, so that reads past its end are
        // caught by the address sanitizer rather than landing in spare room.
        uint8_t *copy = new uint8_t[data.size() ? data.size() : 1];
        std::copy(data.begin(), data.end(), copy);
        LLVMFuzzerTestOneInput(copy, data.size());
        delete[] copy;
    }
    std::printf("replay: %zu inputs passed\n", inputs.size());
    return 0;
}
