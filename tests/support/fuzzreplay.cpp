// main() for a fuzz target outside libFuzzer: runs every input once, each
// file named on the command line and each file in a directory named there
// (in name order). Fails when it finds no input at all, so a missing seed
// directory cannot pass.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int *argc, char ***argv);

static void replay(const std::filesystem::path &file)
{
    std::ifstream in(file, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // A copy of exactly the input's size, so a read past it is caught as under libFuzzer.
    std::vector<uint8_t> exact(bytes);
    LLVMFuzzerTestOneInput(exact.empty() ? nullptr : exact.data(), exact.size());
}

int main(int argc, char **argv)
{
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    int count = 0;
    for (int i = 1; i < argc; i++) {
        std::filesystem::path arg = argv[i];
        std::set<std::filesystem::path> files;
        if (std::filesystem::is_directory(arg)) {
            for (const auto &entry : std::filesystem::directory_iterator(arg))
                if (entry.is_regular_file())
                    files.insert(entry.path());
        } else if (std::filesystem::is_regular_file(arg)) {
            files.insert(arg);
        } else {
            std::fprintf(stderr, "%s: no such input or directory\n", argv[i]);
            return 1;
        }
        for (const auto &file : files) {
            replay(file);
            count++;
        }
    }
    std::printf("replayed %d inputs\n", count);
    return count > 0 ? 0 : 1;
}
