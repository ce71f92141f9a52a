// Drives a fuzz harness without libFuzzer: each file argument is one input;
// without arguments, a fixed series of pseudo-random inputs.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv)
{
    if (argc > 1) {
        for (int i = 1; i < argc; ++i) {
            std::ifstream file(argv[i], std::ios::binary);
            if (!file) {
                std::fprintf(stderr, "cannot read %s\n", argv[i]);
                return 1;
            }
            const std::vector<std::uint8_t> input{std::istreambuf_iterator<char>(file), {}};
            LLVMFuzzerTestOneInput(input.data(), input.size());
        }
        return 0;
    }
    std::mt19937 random(20261207);
    std::vector<std::uint8_t> input;
    for (int round = 0; round < 2000; ++round) {
        input.resize(random() % 3000);
        for (auto& byte : input)
            byte = std::uint8_t(random());
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    return 0;
}
